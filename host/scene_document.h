// The scene document: our stand-in for the authoring host's open scene, as
// plain records. It is read from a ".kscene" file (scene_document_json.cpp)
// and served to the exporter through the host-shaped views (document_views.h).
//
// Host conventions hold inside: Z up, row-vector matrices, node transforms
// relative to the parent node, object-space meshes. Names, paths and user
// property texts are byte strings in the host code page (CP932).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/class_data.h"
#include "host/compact_array.h"
#include "host/max_math.h"

namespace kavro::doc {

// A value over time: keys at frames (ascending), linear in between (rotations
// spherically), the first or last key outside them. No keys: a constant.
template <class T>
struct Track {
  struct Key {
    double frame = 0;
    T value{};
  };
  T value{};
  CompactArray<Key> keys;

  Track() = default;
  explicit Track(T constant) : value(constant) {}
  bool animated() const { return !keys.empty(); }
};

using FloatTrack = Track<float>;
using PointTrack = Track<max::Point3>;
using RotationTrack = Track<max::Quat>;

// Where a track was read last: the first of the two keys around that frame,
// tried first for the next frame (any value is safe, it is only a guess).
struct TrackCursor {
  std::size_t lo = 0;
};

float evaluate(const FloatTrack& track, double frame);
max::Point3 evaluate(const PointTrack& track, double frame, TrackCursor* cursor = nullptr);
max::Quat evaluate(const RotationTrack& track, double frame);
// The arc between the last two keys a rotation track blended, for sampling
// frame after frame between the same keys. It is found again by the keys'
// values (bit for bit), so one cache may serve any track.
struct RotationArcCache {
  bool valid = false;
  max::Quat a, b;
  max::SlerpArc arc;
  TrackCursor cursor;
};
max::Quat evaluate(const RotationTrack& track, double frame, RotationArcCache& cache);
// The rotation at two frames, each equal to evaluate at that frame; when
// both lie between the same two keys their slerps are computed together.
void evaluate(const RotationTrack& track, const double (&frames)[2], RotationArcCache& cache,
              max::Quat (&out)[2]);

// A node transform relative to its parent: scale, then rotation, then
// translation (host row-vector order).
struct Transform {
  PointTrack position{max::Point3{0, 0, 0}};
  RotationTrack rotation{max::Quat{}};
  PointTrack scale{max::Point3{1, 1, 1}};
};

// Sentinel of an absent index.
constexpr int kNone = -1;

struct Face {
  std::array<int, 3> v{}, t{}, c{}, n{};
  int material = 0;  // material id, 0-based
};

// A polygon of the editable-poly view.
struct Polygon {
  std::vector<int> v;
  int material = 0;
};

struct Mesh {
  std::vector<max::Point3> vertices;
  std::vector<max::Point3> normals;         // computed per vertex when the document has none
  std::vector<max::Point3> tex_vertices;    // u, v, w
  std::vector<max::Point3> color_vertices;  // red, green, blue, 0 to 1
  std::vector<Face> faces;
  std::vector<Polygon> polygons;  // empty: each face is its own polygon
};

enum class ModifierType { kSkin, kMorpher, kOther };

struct Influence {
  int bone = 0;  // position in the skin's bone list
  float weight = 0;
};

struct Modifier {
  ModifierType type = ModifierType::kOther;
  std::string internal_name;  // "Skin", "Morpher" or the document's name
  bool enabled = true;
  // Skin: bone node ids, and the influences of each vertex. Vertices beyond
  // the list are not in the skin (the host reports -1 bones for them).
  std::vector<int> bones;
  std::vector<std::vector<Influence>> weights;
  // Morpher: channel weights (percent); channels beyond the list are 0.
  std::vector<FloatTrack> channels;
};

enum class ObjectClass {
  kMesh,
  kHelper,
  kBone,
  kIkChain,
  kLegacyBone,
  kLight,
  kCamera,
  kTarget,
  kNurbsCurve,
  kNurbsSurface,
  kNurbsSet,
  kSubdivision,
};

// IGame's light types.
enum class LightType {
  kOmni = 0,
  kTargetSpot = 1,
  kDirectional = 2,
  kFreeSpot = 3,
  kTargetDirectional = 4
};

struct Light {
  LightType type = LightType::kOmni;
  bool on = true;
  bool has_color = true;
  PointTrack color{max::Point3{1, 1, 1}};
};

struct Camera {
  int target_node = kNone;      // node id of the look-at target
  float target_distance = 100;  // along the camera's -Z when there is no target
  FloatTrack roll;              // degrees
  int projection = 0;           // 0 perspective, 1 ortho
  float near_plane = 1, far_plane = 1000;
  float fov = 45;  // vertical field of view, degrees
  float aspect = 4.0f / 3.0f;
  float ortho_width = 100, ortho_height = 75;
};

struct Object {
  ObjectClass cls = ObjectClass::kHelper;
  // Object offset: scale, rotation, translation of the object in its node.
  max::Point3 offset_position{0, 0, 0};
  max::Quat offset_rotation{};
  max::Point3 offset_scale{1, 1, 1};
  bool has_mesh = false;
  Mesh mesh;
  std::vector<Modifier> modifiers;  // top of the stack first
  std::vector<int> nurbs_kinds;     // objects of a NURBS set, by kind (3: curve)
  Light light;
  Camera camera;
};

struct UserProperty {
  std::string key;
  enum Kind { kString, kBool, kNumber } kind = kString;
  std::string text;
  bool flag = false;
  double number = 0;
};

struct Node {
  int id = 0;
  std::string name;
  int parent = kNone;  // node id
  bool hidden = false;
  bool target = false;  // the node is the target of a camera or light
  bool show_vertex_colors = false;
  bool exclude_geometry = false;  // geometry used as a bone: a null node
  std::vector<UserProperty> user_properties;
  Transform transform;
  FloatTrack visibility{1.0f};
  int material = kNone;  // index into the root materials
  bool has_object = false;
  Object object;
};

enum class TexmapClass { kBitmap, kProcedural };

// Tiling flags of a bitmap's UV generator.
constexpr int kUWrap = 1, kVWrap = 2, kUMirror = 4, kVMirror = 8;

struct Texmap {
  TexmapClass cls = TexmapClass::kBitmap;
  std::string name;
  std::string file;  // bitmap file name
  FloatTrack u_offset{0.0f}, v_offset{0.0f};
  FloatTrack u_tiling{1.0f}, v_tiling{1.0f};
  FloatTrack w_angle{0.0f};  // degrees
  int tiling = kUWrap | kVWrap;
};

enum class MaterialClass { kStandard, kMulti, kKavroStandard, kKavroMorpher, kOther };

struct Material {
  std::string name;
  MaterialClass cls = MaterialClass::kStandard;
  std::array<std::uint32_t, 2> class_id{0, 0};  // of a kOther material
  PointTrack ambient{max::Point3{0.588f, 0.588f, 0.588f}};
  PointTrack diffuse{max::Point3{0.588f, 0.588f, 0.588f}};
  PointTrack specular{max::Point3{0.9f, 0.9f, 0.9f}};
  PointTrack self_illum_color{max::Point3{0, 0, 0}};
  bool self_illum_color_on = false;
  FloatTrack opacity{1.0f};
  std::vector<std::pair<std::string, double>> params;  // platform parameters by name
  bool has_diffuse_map = false;
  Texmap diffuse_map;
  std::vector<Material> sub_materials;
};

// An image that came inside an imported file. Texture maps refer to it by
// `file`, a bare file name; saving the document writes it out beside the
// document (or into a maps folder) under that name.
struct EmbeddedImage {
  std::string file;
  std::string bytes;  // the image file's contents
};

struct SceneDocument {
  std::string file_name;  // the scene's file name; empty: never saved
  int ticks_per_frame = 160;
  int start_frame = 0, end_frame = 0;  // animation range
  std::vector<int> selection;          // node ids, in selection order
  std::vector<Material> materials;     // root materials
  std::vector<Node> nodes;             // host order; parents before children
  // Folders searched, after the document's own folder, for bitmaps with
  // relative names (relative ones are taken from the document's folder).
  std::vector<std::string> map_paths;
  // The host's plug-in class data: per plug-in class, its chunks by id. The
  // loader restores it to the loaded classes (host/class_data.h); saving a
  // scene writes back what they give, and keeps the rest as it was.
  std::vector<host::PluginClassData> class_data;
  // Images of an imported file not yet written to disk; not part of the
  // JSON (saving writes them as files).
  std::vector<EmbeddedImage> embedded_images;
  // The folder the document was read from ("" when it was not read from a
  // file); not part of the JSON.
  std::string folder;
};

// Loading. On failure `error` names the file, the JSON path and the problem.
struct LoadResult {
  bool ok = false;
  SceneDocument document;
  std::string error;
};

// Reads a document file. A regular file over kMaxDocumentBytes is refused
// unread; anything else (a pipe, /dev/stdin) is read as a stream up to it.
LoadResult load_scene_document(const std::string& path);
// Parses document text; `source` names it in messages (and gives the file
// name when the document has none).
LoadResult parse_scene_document(const std::string& text, const std::string& source);

// Limits that keep a bad document from taking unbounded time or memory.
constexpr std::size_t kMaxDocumentBytes = 512u * 1024u * 1024u;
constexpr int kMaxNesting = 64;
constexpr int kMaxHierarchyDepth = 1000;
constexpr int kMaxFrames = 100000;
constexpr int kMaxMorphChannels = 100;
constexpr int kMaxMaterialDepth = 16;
constexpr int kMaxSubMaterials = 1000;
// Per-frame samples of nodes, materials and morph channels together.
constexpr long long kMaxSamples = 20000000;

// load_scene_document with another size limit (not an overload, so that
// load_scene_document stays one function callers can take the address of).
LoadResult load_scene_document_up_to(const std::string& path, std::size_t max_bytes);

}  // namespace kavro::doc
