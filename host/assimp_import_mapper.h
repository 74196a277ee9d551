// The importer's mapping of an Assimp scene onto a scene document: the
// change of axes and units, the helpers the mapping shares and the Mapper,
// whose steps are spread over files by what they map:
// assimp_import.cpp (axes, units, rate, the animation range and the entry
// point), assimp_import_nodes.cpp (nodes and their animation),
// assimp_import_materials.cpp, assimp_import_meshes.cpp and
// assimp_import_cameras.cpp (lights and cameras).
#pragma once

#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/assimp_import.h"
#include "host/cp932.h"

namespace kavro::host::assimp_mapping {

using max::Matrix3;
using max::Point3;
using max::Quat;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDefaultFps = 30;
constexpr int kTicksPerFrame = 160;

// ---------------------------------------------------------------------------
// Axes and units.

// A change of basis made of a signed permutation and a uniform scale:
// component i of the result is sign[i] * v[axis[i]] * scale.
struct Basis {
  std::array<int, 3> axis{0, 1, 2};
  std::array<int, 3> sign{1, 1, 1};
  double scale = 1;

  int det() const {
    // Sign of the permutation times the signs.
    int inversions = 0;
    for (int i = 0; i < 3; ++i) {
      for (int j = i + 1; j < 3; ++j) inversions += axis[i] > axis[j];
    }
    int d = inversions % 2 ? -1 : 1;
    for (int s : sign) d *= s;
    return d;
  }
  std::array<double, 3> direction(double x, double y, double z) const {
    double v[3] = {x, y, z};
    std::array<double, 3> out{};
    // + 0.0 makes a negated zero a plain one.
    for (std::size_t i = 0; i < 3; ++i) out[i] = sign[i] * v[axis[i]] + 0.0;
    return out;
  }
  Point3 point(const aiVector3D& v) const {
    auto d = direction(v.x, v.y, v.z);
    return {static_cast<float>(d[0] * scale), static_cast<float>(d[1] * scale),
            static_cast<float>(d[2] * scale)};
  }
  Point3 normal(const aiVector3D& v) const {
    auto d = direction(v.x, v.y, v.z);
    return {static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2])};
  }
  // A scale along the file's axes, along the host's.
  Point3 scaling(const aiVector3D& k) const {
    double v[3] = {k.x, k.y, k.z};
    return {static_cast<float>(v[axis[0]]), static_cast<float>(v[axis[1]]),
            static_cast<float>(v[axis[2]])};
  }
  // The rotation A R A^T as a quaternion: the axis turns with the basis (a
  // mirroring basis also flips it).
  Quat rotation(const aiQuaternion& q) const {
    auto v = direction(q.x, q.y, q.z);
    double d = det();
    return {static_cast<float>(v[0] * d), static_cast<float>(v[1] * d),
            static_cast<float>(v[2] * d), static_cast<float>(q.w)};
  }
  // A transform of the file (column vectors) as a host matrix (row vectors)
  // in the host's frame: B L B^-1, transposed.
  Matrix3 matrix(const aiMatrix4x4& m) const {
    double a[3][4];
    const ai_real* r[3] = {m[0], m[1], m[2]};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 4; ++j) a[i][j] = r[i][j];
    }
    Matrix3 out;
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) {
        // (B L B^-1)[i][j] = sign_i sign_j L[axis_i][axis_j]
        double v = sign[i] * sign[j] * a[axis[i]][axis[j]] + 0.0;
        out[static_cast<int>(j)][static_cast<int>(i)] = static_cast<float>(v);
      }
      out[3][static_cast<int>(i)] = static_cast<float>(sign[i] * a[axis[i]][3] * scale + 0.0);
    }
    return out;
  }
};

// Helpers of the mapping (assimp_import.cpp).
Basis y_up_to_z_up();
Basis compose(const Basis& a, const Basis& b);
bool meta_number(const aiMetadata* meta, const char* key, double& value);
double fbx_frame_rate(int code, double custom);
std::string to_host_text(const std::string& utf8, bool& changed);
std::string portable_path(std::string path);
std::string base_name(const std::string& path);
std::string format_number(double v);
bool finite(const aiVector3D& v);
bool finite(const aiMatrix4x4& m);
Quat stable_unit(Quat q);

class Mapper {
 public:
  Mapper(const aiScene& scene, const std::string& path, const ImportOptions& options)
      : s_(scene), path_(path), options_(options) {
    std::size_t dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    gltf_ = ext == "gltf" || ext == "glb";
  }

  bool run(SceneLoadResult& result);

 private:
  // ---- messages (assimp_import.cpp)
  void warn(const std::string& text);
  bool fail(const std::string& text);
  std::string name_of(const aiString& s, const char* kind);

  // ---- axes, units, rate (assimp_import.cpp)
  bool choose_basis();

  bool choose_animation();

  // ---- nodes (assimp_import_nodes.cpp)
  struct NodeInfo {
    const aiNode* node = nullptr;
    int parent = -1;  // position in nodes_
    bool dropped = false;
  };

  bool collect_nodes();

  std::vector<doc::UserProperty> user_properties(const aiNode* node);

  // The node's transform relative to its document parent, in the file's
  // frame: a dropped root's transform is carried into its children.
  aiMatrix4x4 local_matrix(std::size_t i) const;

  bool build_nodes();

  double frame_of(double time) const;

  template <class T, class Key, class Convert>
  bool keys_to_track(doc::Track<T>& track, const Key* keys, unsigned count, Convert convert,
                     const std::string& node_name) {
    if (keys == nullptr || count == 0) return true;
    track.keys.reserve(count);
    for (unsigned k = 0; k < count; ++k) {
      if (!std::isfinite(keys[k].mTime))
        return fail("the animation of \"" + node_name + "\" has a key time that is not a number");
      double frame = frame_of(keys[k].mTime);
      if (!track.keys.empty() && frame <= track.keys.back().frame) continue;  // ascending only
      T value;
      if (!convert(keys[k].mValue, value)) {
        return fail("the animation of \"" + node_name + "\" has a key that is not a number");
      }
      track.keys.push_back({frame, value});
      first_frame_ = std::min(first_frame_, frame);
      last_frame_ = std::max(last_frame_, frame);
    }
    if (count == 1 && track.keys.size() == 1) {
      // One key is a constant.
      track.value = track.keys.front().value;
      track.keys.clear();
      return true;
    }
    track.value = track.keys.front().value;
    return true;
  }

  bool animate_nodes();

  // ---- materials (assimp_import_materials.cpp)
  doc::Material make_material(unsigned index);

  // The file name a texture map refers to: an embedded image gets a file of
  // its own (written when the document is saved).
  std::string texture_file(const aiString& path);

  // An uncompressed embedded image as a 32-bit true-colour TGA, top row first.
  static std::string tga_of(const aiTexture& t);

  bool build_materials();

  // The root material of a node with the given source materials: the
  // material itself, or a multi/sub-object material over them.
  int root_material(const std::vector<unsigned>& list, const std::string& node_name);

  // ---- meshes (assimp_import_meshes.cpp)
  struct PointKey {
    std::array<std::uint32_t, 3> bits;
    bool operator<(const PointKey& o) const { return bits < o.bits; }
    bool operator==(const PointKey& o) const { return bits == o.bits; }
  };
  static PointKey key_of(Point3 p);
  struct KeyHash {
    std::size_t operator()(const PointKey& k) const {
      std::size_t h = k.bits[0];
      h = h * 0x9E3779B97F4A7C15ull ^ k.bits[1];
      h = h * 0x9E3779B97F4A7C15ull ^ k.bits[2];
      return h;
    }
  };

  // Deduplicates the entries of one channel.
  struct Channel {
    std::vector<Point3> values;
    std::unordered_map<PointKey, int, KeyHash> index;
    int add(Point3 p) {
      auto [it, added] = index.emplace(key_of(p), static_cast<int>(values.size()));
      if (added) values.push_back(p);
      return it->second;
    }
  };

  // World transform of a document node at a frame (host row vectors).
  Matrix3 world_at(int id, double frame);

  // What the file's meshes carry that the document cannot hold; each kind is
  // reported once, after all meshes are read.
  struct DroppedParts {
    bool lines = false, uv = false, colors = false, alpha = false, morph_shapes = false;
  };

  // One node's mesh while the source meshes it lists are added to it.
  struct NodeMesh {
    const aiNode* an = nullptr;
    int id = 0;  // the document node
    doc::Node* node = nullptr;
    std::vector<unsigned> material_list;
    // Position welding: the bind position and the skin weights.
    // Keyed by the position's bytes followed by the skin's (bone, weight)
    // bytes.
    std::unordered_map<std::string, int> weld;
    std::vector<std::vector<doc::Influence>> weights;  // per welded vertex
    std::vector<int> bones;                            // node ids
    bool skinned = false;
    Channel normals, uvs, colors;
    // The skin matrices at the first frame, by bone node id.
    double frame0 = 0;
    std::unordered_map<int, Matrix3> skin_matrix;
    Matrix3 mesh_world_inverse;
    bool have_inverse = false;
    std::vector<doc::Polygon> polygons;
    bool has_polygons = false;
  };

  // One source mesh on its way into the node's mesh.
  struct SourceMesh {
    const aiMesh* am = nullptr;
    int material_id = 0;  // the face material: the mesh's place in the node's list
    // Each vertex of the source mesh: its bones, its welded vertex, where it
    // lies and the matrix that places it at the first frame.
    std::vector<std::vector<std::pair<int, float>>> vertex_bones;
    std::vector<int> welded;
    std::vector<Point3> placed;
    std::vector<Matrix3> vertex_matrix;  // skinned meshes only
    std::vector<std::vector<unsigned>> faces;
    // Triangles of each face (positions within the face).
    std::vector<std::vector<std::array<int, 3>>> face_triangles;
    bool has_normals = false, has_uv = false, has_color = false;
    std::vector<Point3> smooth;  // normals the file lacks
  };

  bool build_meshes();

  // The mesh of one node: its source meshes welded into one, then the
  // channels, polygons, material and skin of the whole.
  bool build_node_mesh(const aiNode* an, int id, DroppedParts& dropped);

  bool add_source_mesh(NodeMesh& b, const aiMesh* am, DroppedParts& dropped);

  // Each source vertex's bones and weights; the skin matrix of every bone at
  // the first frame.
  bool read_bone_weights(NodeMesh& b, SourceMesh& m);

  // Welds the source vertices into the node's mesh: one document vertex per
  // bind position and skin, placed at the first frame.
  bool weld_vertices(NodeMesh& b, SourceMesh& m);

  // The faces of three corners or more, in the document's winding.
  bool read_faces(SourceMesh& m, DroppedParts& dropped);

  // Cuts every face into triangles and, for a mesh without normals, sums the
  // triangles' normals at their corners.
  void triangulate_faces(NodeMesh& b, SourceMesh& m);

  // The document faces of the source mesh (its triangles, each corner's
  // normal, texture and colour entry) and each face as a polygon.
  void add_triangles(NodeMesh& b, const SourceMesh& m, DroppedParts& dropped);

  // The node's channels, polygons, material and skin once all its source
  // meshes are in.
  bool finish_node_mesh(NodeMesh& b);

  // Morph weights of the node's meshes, in percent, as the channels of a
  // Morpher modifier (first mesh's targets first).
  void morph_weights(const aiNode* an, doc::Node& node);

  // ---- lights and cameras (assimp_import_cameras.cpp)
  bool build_lights_and_cameras();

  // The host's lights and cameras look along their node's -Z with +Y up. The
  // file's may look another way within their node: the node is turned by
  // the rotation that takes -Z to the file's direction (and Y to its up), so
  // that the world direction stays. The node's children keep their places.
  void aim_node(doc::Node& n, aiVector3D look, aiVector3D up);

  // ---- range and limits (assimp_import.cpp)
  bool finish_range();

  const aiScene& s_;
  std::string path_;
  const ImportOptions& options_;
  doc::SceneDocument doc_;
  std::vector<std::string> warnings_;
  std::string error_;
  Basis basis_;
  bool mirrored_ = false;
  bool gltf_ = false;
  double fps_ = kDefaultFps;
  const aiAnimation* anim_ = nullptr;
  std::vector<NodeInfo> nodes_;
  std::unordered_map<std::string, int> by_name_;  // first node of each name
  std::set<std::string> bone_names_;
  std::unordered_map<std::size_t, int> doc_index_;  // nodes_ position -> node id
  std::vector<doc::Material> materials_;
  std::map<std::vector<unsigned>, int> root_of_list_;
  std::unordered_map<const aiTexture*, std::string> embedded_names_;
  double first_frame_ = std::numeric_limits<double>::infinity();
  double last_frame_ = -std::numeric_limits<double>::infinity();
};

}  // namespace kavro::host::assimp_mapping
