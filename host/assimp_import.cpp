#include "host/assimp_import.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/import_precheck.h"
#include "host/polygon_triangulation.h"

namespace kavro::host {
namespace {

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

// The basis that turns the standard frame of Assimp (X right, Y up, Z toward
// the viewer) into the host's (X right, Y away from the viewer, Z up).
Basis y_up_to_z_up() {
  Basis b;
  b.axis = {0, 2, 1};
  b.sign = {1, -1, 1};
  return b;
}

// a after b.
Basis compose(const Basis& a, const Basis& b) {
  Basis c;
  for (std::size_t i = 0; i < 3; ++i) {
    c.axis[i] = b.axis[a.axis[i]];
    c.sign[i] = a.sign[i] * b.sign[a.axis[i]];
  }
  c.scale = a.scale * b.scale;
  return c;
}

bool meta_number(const aiMetadata* meta, const char* key, double& value) {
  if (meta == nullptr) return false;
  for (unsigned i = 0; i < meta->mNumProperties; ++i) {
    if (std::strcmp(meta->mKeys[i].C_Str(), key) != 0) continue;
    const aiMetadataEntry& e = meta->mValues[i];
    if (e.mData == nullptr) return false;
    switch (e.mType) {
      case AI_INT32:
        value = *static_cast<const int32_t*>(e.mData);
        return true;
      case AI_UINT64:
        value = static_cast<double>(*static_cast<const uint64_t*>(e.mData));
        return true;
      case AI_FLOAT:
        value = *static_cast<const float*>(e.mData);
        return true;
      case AI_DOUBLE:
        value = *static_cast<const double*>(e.mData);
        return true;
      default:
        return false;
    }
  }
  return false;
}

// The FBX frame rate codes.
double fbx_frame_rate(int code, double custom) {
  switch (code) {
    case 1:
      return 120;
    case 2:
      return 100;
    case 3:
      return 60;
    case 4:
      return 50;
    case 5:
      return 48;
    case 6:
    case 7:
      return 30;
    case 8:
    case 9:
      return 29.97;
    case 10:
      return 25;
    case 11:
      return 24;
    case 12:
      return 1000;
    case 13:
      return 23.976;
    case 14:
      return custom > 0 ? custom : 0;
    case 15:
      return 96;
    case 16:
      return 72;
    case 17:
      return 59.94;
    case 18:
      return 119.88;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------
// Names.

// UTF-8 text in the host code page; characters CP932 cannot hold (and bytes
// that are not UTF-8) become "_".
std::string to_host_text(const std::string& utf8, bool& changed) {
  changed = false;
  Cp932Result whole = utf8_to_cp932(utf8);
  if (whole.ok) return whole.text;
  changed = true;
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t len = c < 0x80         ? 1
                      : (c >> 5) == 6  ? 2
                      : (c >> 4) == 14 ? 3
                      : (c >> 3) == 30 ? 4
                                       : 1;
    if (i + len > utf8.size()) len = 1;
    Cp932Result one = utf8_to_cp932(utf8.substr(i, len));
    out += one.ok ? one.text : std::string("_");
    i += len;
  }
  return out;
}

// A texture path as this platform finds it: Blender's "//" (the file's own
// folder) dropped, and in a relative path every "\\" made a "/" (not the
// second byte of a double-byte character). Drive paths stay as they are.
std::string portable_path(std::string path) {
  if (path.rfind("//", 0) == 0) path = path.substr(2);
  bool drive = path.size() >= 2 && path[1] == ':';
  if (drive) return path;
  for (std::size_t i = 0; i < path.size(); ++i) {
    auto c = static_cast<unsigned char>(path[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF)) {
      ++i;
    } else if (c == '\\') {
      path[i] = '/';
    }
  }
  return path;
}

std::string base_name(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string format_number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

bool finite(const aiVector3D& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite(const aiMatrix4x4& m) {
  for (unsigned i = 0; i < 4; ++i) {
    for (unsigned j = 0; j < 4; ++j) {
      if (!std::isfinite(m[i][j])) return false;
    }
  }
  return true;
}

// A unit quaternion that normalising leaves unchanged, so that a saved and
// reloaded document holds the very same value.
Quat stable_unit(Quat q) {
  q = max::Normalize(q);
  for (int i = 0; i < 4; ++i) {
    Quat again = max::Normalize(q);
    if (again == q) break;
    q = again;
  }
  return q;
}

// Assimp's log lines, handed to the caller's function.
class LogToFunction : public Assimp::LogStream {
 public:
  explicit LogToFunction(std::function<void(const std::string&)> f) : f_(std::move(f)) {}
  void write(const char* message) override {
    std::string line = message;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    f_(line);
  }

 private:
  std::function<void(const std::string&)> f_;
};

class ProgressToFunction : public Assimp::ProgressHandler {
 public:
  explicit ProgressToFunction(std::function<void(float)> f) : f_(std::move(f)) {}
  bool Update(float percentage) override {
    if (percentage >= 0) f_(std::min(percentage, 1.0f));
    return true;
  }

 private:
  std::function<void(float)> f_;
};

// ---------------------------------------------------------------------------

class Mapper {
 public:
  Mapper(const aiScene& scene, const std::string& path, const ImportOptions& options)
      : s_(scene), path_(path), options_(options) {
    std::size_t dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    gltf_ = ext == "gltf" || ext == "glb";
  }

  bool run(SceneLoadResult& result) {
    doc_.file_name = base_name(path_);
    std::size_t slash = path_.find_last_of("/\\");
    doc_.folder = slash == std::string::npos ? std::string() : path_.substr(0, slash);
    doc_.ticks_per_frame = kTicksPerFrame;
    if (!choose_basis() || !choose_animation() || !collect_nodes() || !build_nodes() ||
        !build_materials() || !build_meshes() || !build_lights_and_cameras() || !finish_range()) {
      result.error = error_;
      return false;
    }
    result.document = std::move(doc_);
    result.warnings = std::move(warnings_);
    return true;
  }

 private:
  // ---- messages
  void warn(const std::string& text) {
    std::string line = "Warning: " + text;
    if (std::find(warnings_.begin(), warnings_.end(), line) == warnings_.end())
      warnings_.push_back(line);
  }
  bool fail(const std::string& text) {
    error_ = path_ + ": " + text;
    return false;
  }
  std::string name_of(const aiString& s, const char* kind) {
    bool changed = false;
    std::string name = to_host_text(s.C_Str(), changed);
    if (changed) {
      warn("The " + std::string(kind) + " name \"" + std::string(s.C_Str()) +
           "\" has characters the host code page cannot hold; it is imported as \"" +
           cp932_to_utf8(name) + "\".");
    }
    return name;
  }

  // ---- axes, units, rate
  bool choose_basis() {
    Basis file;  // file axes to Assimp's standard frame
    double up = 0, up_sign = 0, front = 0, front_sign = 0, coord = 0, coord_sign = 0;
    const aiMetadata* meta = s_.mMetaData;
    if (meta_number(meta, "UpAxis", up) && meta_number(meta, "UpAxisSign", up_sign) &&
        meta_number(meta, "FrontAxis", front) && meta_number(meta, "FrontAxisSign", front_sign) &&
        meta_number(meta, "CoordAxis", coord) && meta_number(meta, "CoordAxisSign", coord_sign)) {
      int r = static_cast<int>(coord), u = static_cast<int>(up), f = static_cast<int>(front);
      bool valid =
          r >= 0 && r < 3 && u >= 0 && u < 3 && f >= 0 && f < 3 && r != u && u != f && r != f;
      if (valid) {
        file.axis = {r, u, f};
        file.sign = {coord_sign < 0 ? -1 : 1, up_sign < 0 ? -1 : 1, front_sign < 0 ? -1 : 1};
      } else {
        warn("The file's axis settings are inconsistent; its axes are taken as Y up.");
      }
    }
    double unit = 0;
    if (meta_number(meta, "UnitScaleFactor", unit) && unit > 0 && std::isfinite(unit)) {
      file.scale = unit / 100.0;  // centimetres per file unit, to metres
    }
    if (!(options_.scale > 0) || !std::isfinite(options_.scale)) {
      return fail("the scale must be a positive number");
    }
    basis_ = compose(y_up_to_z_up(), file);
    basis_.scale = file.scale * options_.scale;
    mirrored_ = basis_.det() < 0;
    fps_ = options_.fps;
    if (!(fps_ > 0)) {
      double code = 0, custom = 0;
      if (meta_number(meta, "FrameRate", code)) {
        meta_number(meta, "CustomFrameRate", custom);
        fps_ = fbx_frame_rate(static_cast<int>(code), custom);
      }
      if (!(fps_ > 0)) fps_ = kDefaultFps;
    }
    return true;
  }

  bool choose_animation() {
    if (s_.mNumAnimations == 0) {
      if (options_.animation.empty()) return true;
      return fail("the file has no animation \"" + options_.animation + "\" (it has none)");
    }
    if (options_.animation.empty()) {
      anim_ = s_.mAnimations[0];
      if (s_.mNumAnimations > 1) {
        warn("The file has " + std::to_string(s_.mNumAnimations) +
             " animations; only the first, \"" + std::string(anim_->mName.C_Str()) +
             "\", is imported (choose another with --animation).");
      }
      return true;
    }
    const std::string& want = options_.animation;
    bool digits =
        std::all_of(want.begin(), want.end(), [](char c) { return c >= '0' && c <= '9'; });
    std::string names;
    for (unsigned i = 0; i < s_.mNumAnimations; ++i) {
      std::string name = s_.mAnimations[i]->mName.C_Str();
      if (name == want) {
        anim_ = s_.mAnimations[i];
        return true;
      }
      names += (i ? ", \"" : "\"") + name + "\"";
    }
    if (digits && want.size() < 9) {
      unsigned index = static_cast<unsigned>(std::stoul(want));
      if (index < s_.mNumAnimations) {
        anim_ = s_.mAnimations[index];
        return true;
      }
    }
    return fail("the file has no animation \"" + want + "\" (its animations are " + names +
                ", or their positions from 0)");
  }

  // ---- nodes
  struct NodeInfo {
    const aiNode* node = nullptr;
    int parent = -1;  // position in nodes_
    bool dropped = false;
  };

  bool collect_nodes() {
    const aiNode* root = s_.mRootNode;
    std::set<const aiNode*> seen;
    std::vector<std::pair<const aiNode*, std::pair<int, int>>> stack{{root, {-1, 0}}};
    while (!stack.empty()) {
      auto [node, where] = stack.back();
      stack.pop_back();
      if (node == nullptr) continue;
      if (!seen.insert(node).second) return fail("the node hierarchy has a cycle");
      if (where.second > doc::kMaxHierarchyDepth) {
        return fail("the node hierarchy is deeper than " + std::to_string(doc::kMaxHierarchyDepth) +
                    " levels");
      }
      if (!finite(node->mTransformation)) {
        return fail("the node \"" + std::string(node->mName.C_Str()) +
                    "\" has a transform that is not a number");
      }
      int index = static_cast<int>(nodes_.size());
      nodes_.push_back({node, where.first, false});
      by_name_.emplace(node->mName.C_Str(), index);
      for (unsigned i = node->mNumChildren; i-- > 0;)
        stack.push_back({node->mChildren[i], {index, where.second + 1}});
    }
    // Names that other parts of the file point at.
    for (unsigned m = 0; m < s_.mNumMeshes; ++m) {
      const aiMesh* mesh = s_.mMeshes[m];
      for (unsigned b = 0; b < mesh->mNumBones; ++b)
        bone_names_.insert(mesh->mBones[b]->mName.C_Str());
    }
    std::set<std::string> referenced = bone_names_;
    if (anim_ != nullptr) {
      for (unsigned c = 0; c < anim_->mNumChannels; ++c)
        referenced.insert(anim_->mChannels[c]->mNodeName.C_Str());
    }
    for (unsigned i = 0; i < s_.mNumLights; ++i) referenced.insert(s_.mLights[i]->mName.C_Str());
    for (unsigned i = 0; i < s_.mNumCameras; ++i) referenced.insert(s_.mCameras[i]->mName.C_Str());
    // The root of the file is a container of its own making unless it holds
    // something: then it stays a node.
    const aiNode* r = nodes_[0].node;
    bool has_meta =
        r->mMetaData != nullptr && r->mMetaData->mNumProperties > 0 && !user_properties(r).empty();
    nodes_[0].dropped = r->mNumMeshes == 0 && !has_meta && !referenced.count(r->mName.C_Str()) &&
                        r->mNumChildren > 0;
    return true;
  }

  std::vector<doc::UserProperty> user_properties(const aiNode* node) {
    std::vector<doc::UserProperty> out;
    const aiMetadata* meta = node->mMetaData;
    if (meta == nullptr) return out;
    std::map<std::string, doc::UserProperty> by_key;  // sorted, first one wins
    auto add = [&](const std::string& key, doc::UserProperty p) {
      if (key.empty()) return;
      bool changed = false;
      p.key = to_host_text(key, changed);
      if (changed)
        warn("A user property name of the node \"" + std::string(node->mName.C_Str()) +
             "\" has characters the host code page cannot hold; they became \"_\".");
      by_key.emplace(key, std::move(p));
    };
    for (unsigned i = 0; i < meta->mNumProperties; ++i) {
      std::string key = meta->mKeys[i].C_Str();
      const aiMetadataEntry& e = meta->mValues[i];
      if (e.mData == nullptr) continue;
      doc::UserProperty p;
      switch (e.mType) {
        case AI_BOOL:
          p.kind = doc::UserProperty::kBool;
          p.flag = *static_cast<const bool*>(e.mData);
          break;
        case AI_INT32:
          p.kind = doc::UserProperty::kNumber;
          p.number = *static_cast<const int32_t*>(e.mData);
          break;
        case AI_UINT64:
          p.kind = doc::UserProperty::kNumber;
          p.number = static_cast<double>(*static_cast<const uint64_t*>(e.mData));
          break;
        case AI_FLOAT:
          p.kind = doc::UserProperty::kNumber;
          p.number = *static_cast<const float*>(e.mData);
          break;
        case AI_DOUBLE:
          p.kind = doc::UserProperty::kNumber;
          p.number = *static_cast<const double*>(e.mData);
          break;
        case AI_AISTRING: {
          std::string text = static_cast<const aiString*>(e.mData)->C_Str();
          if (key == "UDP3DSMAX" || key == "UserProperties") {
            // The host's own user-property buffer: "key = value" lines.
            std::size_t at = 0;
            while (at < text.size()) {
              std::size_t end = text.find_first_of("\r\n", at);
              if (end == std::string::npos) end = text.size();
              std::string line = text.substr(at, end - at);
              at = end + 1;
              std::size_t eq = line.find('=');
              if (eq == std::string::npos) continue;
              auto trim = [](std::string t) {
                std::size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
                return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
              };
              doc::UserProperty line_prop;
              bool changed = false;
              line_prop.text = to_host_text(trim(line.substr(eq + 1)), changed);
              add(trim(line.substr(0, eq)), std::move(line_prop));
            }
            continue;
          }
          bool changed = false;
          p.text = to_host_text(text, changed);
          break;
        }
        case AI_AIVECTOR3D: {
          const auto* v = static_cast<const aiVector3D*>(e.mData);
          p.text = format_number(v->x) + " " + format_number(v->y) + " " + format_number(v->z);
          break;
        }
        default:
          continue;
      }
      if (p.kind == doc::UserProperty::kNumber && !std::isfinite(p.number)) continue;
      // Assimp's own bookkeeping is not the artist's.
      if (key.rfind("IsNull", 0) == 0 || key == "InheritType" || key == "DefaultAttributeIndex")
        continue;
      add(key, std::move(p));
    }
    out.reserve(by_key.size());
    for (auto& [key, p] : by_key) out.push_back(std::move(p));
    return out;
  }

  // The node's transform relative to its document parent, in the file's
  // frame: a dropped root's transform is carried into its children.
  aiMatrix4x4 local_matrix(std::size_t i) const {
    const NodeInfo& n = nodes_[i];
    aiMatrix4x4 m = n.node->mTransformation;
    if (n.parent >= 0 && nodes_[n.parent].dropped) {
      m = nodes_[n.parent].node->mTransformation * m;
    }
    return m;
  }

  bool build_nodes() {
    std::set<std::string> used_names;
    int unnamed = 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      NodeInfo& info = nodes_[i];
      if (info.dropped) continue;
      doc::Node n;
      n.id = static_cast<int>(doc_.nodes.size());
      doc_index_[i] = n.id;
      n.name = name_of(info.node->mName, "node");
      if (n.name.empty()) {
        n.name = "Node_" + std::to_string(++unnamed);
        warn("Nodes without a name are named Node_1, Node_2 and so on.");
      }
      int parent = info.parent;
      if (parent >= 0 && nodes_[parent].dropped) parent = -1;
      n.parent = parent < 0 ? doc::kNone : doc_index_.at(parent);
      n.user_properties = user_properties(info.node);
      // The static transform.
      max::AffineParts parts;
      max::decomp_affine(basis_.matrix(local_matrix(i)), &parts);
      n.transform.position.value = parts.t;
      n.transform.rotation.value = stable_unit(parts.q);
      // A scale that is 1 up to the rounding of the decomposition is 1.
      for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(parts.k[axis] - 1.0f) < 1e-6f) parts.k[axis] = 1.0f;
      }
      n.transform.scale.value = parts.k;
      if (parts.f < 0) n.transform.scale.value = {-parts.k.x, -parts.k.y, -parts.k.z};
      if (bone_names_.count(info.node->mName.C_Str()) && info.node->mNumMeshes == 0) {
        n.has_object = true;
        n.object.cls = doc::ObjectClass::kBone;
      }
      doc_.nodes.push_back(std::move(n));
    }
    if (anim_ != nullptr && !animate_nodes()) return false;
    return true;
  }

  double frame_of(double time) const {
    double tps = anim_->mTicksPerSecond > 0 ? anim_->mTicksPerSecond : 25.0;
    double f = time / tps * fps_;
    // Key times that are whole frames up to rounding stay whole.
    double r = std::round(f);
    return std::fabs(f - r) < 1e-4 ? r : f;
  }

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

  bool animate_nodes() {
    for (unsigned c = 0; c < anim_->mNumChannels; ++c) {
      const aiNodeAnim* ch = anim_->mChannels[c];
      auto it = by_name_.find(ch->mNodeName.C_Str());
      if (it == by_name_.end()) {
        warn("Animation keys of nodes that are not in the file are dropped.");
        continue;
      }
      std::size_t i = it->second;
      if (nodes_[i].dropped) continue;
      doc::Node& n = doc_.nodes[doc_index_.at(i)];
      std::string name = ch->mNodeName.C_Str();
      if (!keys_to_track(
              n.transform.position, ch->mPositionKeys, ch->mNumPositionKeys,
              [&](const aiVector3D& v, Point3& out) {
                out = basis_.point(v);
                return finite(v);
              },
              name) ||
          !keys_to_track(
              n.transform.rotation, ch->mRotationKeys, ch->mNumRotationKeys,
              [&](const aiQuaternion& q, Quat& out) {
                bool ok = std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) &&
                          std::isfinite(q.w);
                out = stable_unit(basis_.rotation(q));
                return ok;
              },
              name) ||
          !keys_to_track(
              n.transform.scale, ch->mScalingKeys, ch->mNumScalingKeys,
              [&](const aiVector3D& v, Point3& out) {
                out = basis_.scaling(v);
                return finite(v);
              },
              name)) {
        return false;
      }
    }
    return true;
  }

  // ---- materials
  doc::Material make_material(unsigned index) {
    const aiMaterial* m = s_.mMaterials[index];
    doc::Material out;
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0) {
      out.name = name_of(name, "material");
    }
    if (out.name.empty()) out.name = "Material_" + std::to_string(index);
    out.cls = options_.standard_materials ? doc::MaterialClass::kStandard
                                          : doc::MaterialClass::kKavroStandard;
    auto colour = [&](const char* key, unsigned type, unsigned idx, doc::PointTrack& track) {
      aiColor4D c;
      if (m->Get(key, type, idx, c) != AI_SUCCESS) return false;
      if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b)) return false;
      track.value = {std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f),
                     std::clamp(c.b, 0.0f, 1.0f)};
      return true;
    };
    colour(AI_MATKEY_COLOR_DIFFUSE, out.diffuse);
    colour(AI_MATKEY_COLOR_AMBIENT, out.ambient);
    colour(AI_MATKEY_COLOR_SPECULAR, out.specular);
    if (colour(AI_MATKEY_COLOR_EMISSIVE, out.self_illum_color)) {
      Point3 e = out.self_illum_color.value;
      out.self_illum_color_on = e.x > 0 || e.y > 0 || e.z > 0;
    }
    float opacity = 1;
    if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && std::isfinite(opacity)) {
      out.opacity.value = std::clamp(opacity, 0.0f, 1.0f);
    }
    // The diffuse texture (glTF's base colour).
    aiTextureType type = aiTextureType_DIFFUSE;
    if (m->GetTextureCount(type) == 0 && m->GetTextureCount(aiTextureType_BASE_COLOR) > 0)
      type = aiTextureType_BASE_COLOR;
    for (int t = aiTextureType_NONE + 1; t <= static_cast<int>(aiTextureType_UNKNOWN); ++t) {
      if (t == aiTextureType_DIFFUSE || t == aiTextureType_BASE_COLOR) continue;
      if (m->GetTextureCount(static_cast<aiTextureType>(t)) > 0) {
        warn(
            "Texture maps other than the diffuse map (normal, specular, emissive and the like) "
            "are not imported.");
        break;
      }
    }
    if (m->GetTextureCount(type) > 1) {
      warn(
          "Only the first diffuse texture of a material is imported; the other layers are "
          "dropped.");
    }
    if (m->GetTextureCount(type) > 0) {
      aiString file;
      aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
      unsigned uv_index = 0;
      aiTextureMapping mapping = aiTextureMapping_UV;
      if (m->GetTexture(type, 0, &file, &mapping, &uv_index, nullptr, nullptr, modes) ==
          AI_SUCCESS) {
        m->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), modes[0]);
        m->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), modes[1]);
        out.has_diffuse_map = true;
        doc::Texmap& map = out.diffuse_map;
        map.cls = doc::TexmapClass::kBitmap;
        map.file = texture_file(file);
        map.name = map.file;
        int tiling = 0;
        auto flags = [&](aiTextureMapMode mode, int wrap, int mirror) {
          if (mode == aiTextureMapMode_Mirror) tiling |= mirror | wrap;
          if (mode == aiTextureMapMode_Wrap) tiling |= wrap;
        };
        flags(modes[0], doc::kUWrap, doc::kUMirror);
        flags(modes[1], doc::kVWrap, doc::kVMirror);
        map.tiling = tiling;
        aiUVTransform uv;
        if (m->Get(AI_MATKEY_UVTRANSFORM(type, 0), uv) == AI_SUCCESS &&
            std::isfinite(uv.mTranslation.x) && std::isfinite(uv.mTranslation.y) &&
            std::isfinite(uv.mScaling.x) && std::isfinite(uv.mScaling.y) &&
            std::isfinite(uv.mRotation)) {
          map.u_offset.value = uv.mTranslation.x;
          map.v_offset.value = uv.mTranslation.y;
          map.u_tiling.value = uv.mScaling.x;
          map.v_tiling.value = uv.mScaling.y;
          map.w_angle.value = static_cast<float>(uv.mRotation * 180.0 / kPi);
        }
        if (uv_index != 0 || mapping != aiTextureMapping_UV) {
          warn(
              "Textures that use another texture-coordinate channel than the first, or a "
              "projection, are mapped through the first channel.");
        }
      }
    }
    return out;
  }

  // The file name a texture map refers to: an embedded image gets a file of
  // its own (written when the document is saved).
  std::string texture_file(const aiString& path) {
    const aiTexture* embedded = s_.GetEmbeddedTexture(path.C_Str());
    if (embedded == nullptr) {
      bool changed = false;
      std::string file = to_host_text(path.C_Str(), changed);
      if (changed) {
        warn("The texture path \"" + std::string(path.C_Str()) +
             "\" has characters the host code page cannot hold.");
      }
      return portable_path(file);
    }
    auto known = embedded_names_.find(embedded);
    if (known != embedded_names_.end()) return known->second;
    std::string ext = embedded->mHeight == 0 ? std::string(embedded->achFormatHint) : "tga";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpeg") ext = "jpg";
    if (ext.empty() ||
        ext.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) {
      ext = "bin";
    }
    // Its own name when the file keeps one, else the scene's name and a number.
    std::string stem;
    bool changed = false;
    std::string own = to_host_text(base_name(embedded->mFilename.C_Str()), changed);
    if (!changed && !own.empty() && own.find_first_of(":*?\"<>|") == std::string::npos) {
      std::size_t dot = own.find_last_of('.');
      stem = dot == std::string::npos || dot == 0 ? own : own.substr(0, dot);
    }
    if (stem.empty()) {
      std::string scene = base_name(path_);
      std::size_t dot = scene.find_last_of('.');
      stem = (dot == std::string::npos ? scene : scene.substr(0, dot)) + "_" +
             std::to_string(doc_.embedded_images.size());
    }
    std::string file = stem + "." + ext;
    for (int n = 1; std::any_of(doc_.embedded_images.begin(), doc_.embedded_images.end(),
                                [&](const doc::EmbeddedImage& e) { return e.file == file; });
         ++n) {
      file = stem + "_" + std::to_string(n) + "." + ext;
    }
    doc::EmbeddedImage image;
    image.file = file;
    if (embedded->mHeight == 0) {
      image.bytes.assign(reinterpret_cast<const char*>(embedded->pcData), embedded->mWidth);
    } else {
      image.bytes = tga_of(*embedded);
    }
    doc_.embedded_images.push_back(std::move(image));
    embedded_names_[embedded] = file;
    return file;
  }

  // An uncompressed embedded image as a 32-bit true-colour TGA, top row first.
  static std::string tga_of(const aiTexture& t) {
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = static_cast<char>(t.mWidth & 0xFF);
    out[13] = static_cast<char>((t.mWidth >> 8) & 0xFF);
    out[14] = static_cast<char>(t.mHeight & 0xFF);
    out[15] = static_cast<char>((t.mHeight >> 8) & 0xFF);
    out[16] = 32;
    out[17] = 0x28;  // 8 alpha bits, top-left origin
    std::size_t count = static_cast<std::size_t>(t.mWidth) * t.mHeight;
    out.reserve(out.size() + count * 4);
    for (std::size_t i = 0; i < count; ++i) {
      const aiTexel& x = t.pcData[i];
      out += static_cast<char>(x.b);
      out += static_cast<char>(x.g);
      out += static_cast<char>(x.r);
      out += static_cast<char>(x.a);
    }
    return out;
  }

  bool build_materials() {
    materials_.reserve(s_.mNumMaterials);
    for (unsigned i = 0; i < s_.mNumMaterials; ++i) materials_.push_back(make_material(i));
    return true;
  }

  // The root material of a node with the given source materials: the
  // material itself, or a multi/sub-object material over them.
  int root_material(const std::vector<unsigned>& list, const std::string& node_name) {
    auto it = root_of_list_.find(list);
    if (it != root_of_list_.end()) return it->second;
    doc::Material root;
    if (list.size() == 1) {
      root = materials_[list[0]];
    } else {
      root.name = node_name + "_Multi";
      root.cls = doc::MaterialClass::kMulti;
      for (unsigned m : list) root.sub_materials.push_back(materials_[m]);
    }
    int index = static_cast<int>(doc_.materials.size());
    doc_.materials.push_back(std::move(root));
    root_of_list_[list] = index;
    return index;
  }

  // ---- meshes
  struct PointKey {
    std::array<std::uint32_t, 3> bits;
    bool operator<(const PointKey& o) const { return bits < o.bits; }
    bool operator==(const PointKey& o) const { return bits == o.bits; }
  };
  static PointKey key_of(Point3 p) {
    PointKey k;
    // +0 and -0 are the same position.
    float v[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
    for (std::size_t i = 0; i < 3; ++i) std::memcpy(&k.bits[i], &v[i], 4);
    return k;
  }
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
  Matrix3 world_at(int id, double frame) {
    Matrix3 m;
    for (int n = id; n != doc::kNone; n = doc_.nodes[n].parent) {
      const doc::Transform& t = doc_.nodes[n].transform;
      m = m * (max::ScaleMatrix(doc::evaluate(t.scale, frame)) *
               max::QuatToMatrix(doc::evaluate(t.rotation, frame)) *
               max::TransMatrix(doc::evaluate(t.position, frame)));
    }
    return m;
  }

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

  bool build_meshes() {
    DroppedParts dropped;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const aiNode* an = nodes_[i].node;
      if (an->mNumMeshes == 0) continue;
      if (nodes_[i].dropped) continue;
      if (!build_node_mesh(an, doc_index_.at(i), dropped)) return false;
    }
    if (dropped.lines) warn("Points and lines are not imported; only faces are.");
    if (dropped.uv) warn("Only the first texture-coordinate channel of a mesh is imported.");
    if (dropped.colors) warn("Only the first vertex-colour channel of a mesh is imported.");
    if (dropped.alpha) warn("The alpha of vertex colours is not imported.");
    if (dropped.morph_shapes) {
      warn("Morph target shapes are not imported; their weights are kept in a Morpher modifier.");
    }
    return true;
  }

  // The mesh of one node: its source meshes welded into one, then the
  // channels, polygons, material and skin of the whole.
  bool build_node_mesh(const aiNode* an, int id, DroppedParts& dropped) {
    doc::Node& node = doc_.nodes[id];
    node.has_object = true;
    node.object.cls = doc::ObjectClass::kMesh;
    node.object.has_mesh = true;
    NodeMesh b;
    b.an = an;
    b.id = id;
    b.node = &node;
    b.frame0 = doc_.start_frame;
    for (unsigned k = 0; k < an->mNumMeshes; ++k) {
      if (an->mMeshes[k] >= s_.mNumMeshes) continue;
      if (s_.mMeshes[an->mMeshes[k]]->mNumBones > 0) b.skinned = true;
    }
    for (unsigned k = 0; k < an->mNumMeshes; ++k) {
      if (an->mMeshes[k] >= s_.mNumMeshes) continue;
      if (!add_source_mesh(b, s_.mMeshes[an->mMeshes[k]], dropped)) return false;
    }
    return finish_node_mesh(b);
  }

  bool add_source_mesh(NodeMesh& b, const aiMesh* am, DroppedParts& dropped) {
    if (am->mNumAnimMeshes > 0) dropped.morph_shapes = true;
    SourceMesh m;
    m.am = am;
    m.material_id = static_cast<int>(b.material_list.size());
    b.material_list.push_back(am->mMaterialIndex < s_.mNumMaterials ? am->mMaterialIndex : 0);
    if (am->GetNumUVChannels() > 1) dropped.uv = true;
    if (am->GetNumColorChannels() > 1) dropped.colors = true;
    if (!read_bone_weights(b, m) || !weld_vertices(b, m)) return false;
    // Corner channels.
    m.has_normals = am->HasNormals();
    m.has_uv = am->HasTextureCoords(0);
    m.has_color = am->HasVertexColors(0);
    if (m.has_color) b.node->show_vertex_colors = true;
    if (!m.has_normals) m.smooth.assign(am->mNumVertices, Point3{});
    if (!read_faces(m, dropped)) return false;
    triangulate_faces(b, m);
    add_triangles(b, m, dropped);
    return true;
  }

  // Each source vertex's bones and weights; the skin matrix of every bone at
  // the first frame.
  bool read_bone_weights(NodeMesh& b, SourceMesh& m) {
    const aiMesh* am = m.am;
    m.vertex_bones.resize(am->mNumVertices);
    for (unsigned k = 0; k < am->mNumBones; ++k) {
      const aiBone* bone = am->mBones[k];
      auto found = by_name_.find(bone->mName.C_Str());
      if (found == by_name_.end() || nodes_[found->second].dropped) {
        warn("Skin bones that are not nodes of the file are dropped with their weights.");
        continue;
      }
      int bone_id = doc_index_.at(found->second);
      if (!finite(bone->mOffsetMatrix)) {
        return fail("the bone \"" + std::string(bone->mName.C_Str()) +
                    "\" has an offset matrix that is not a number");
      }
      if (!b.skin_matrix.count(bone_id)) {
        if (!b.have_inverse) {
          b.mesh_world_inverse = max::Inverse(world_at(b.id, b.frame0));
          b.have_inverse = true;
        }
        b.skin_matrix[bone_id] =
            basis_.matrix(bone->mOffsetMatrix) * world_at(bone_id, b.frame0) * b.mesh_world_inverse;
      }
      for (unsigned w = 0; w < bone->mNumWeights; ++w) {
        const aiVertexWeight& vw = bone->mWeights[w];
        if (vw.mVertexId >= am->mNumVertices || !std::isfinite(vw.mWeight) || vw.mWeight <= 0)
          continue;
        m.vertex_bones[vw.mVertexId].push_back({bone_id, vw.mWeight});
      }
    }
    return true;
  }

  // Welds the source vertices into the node's mesh: one document vertex per
  // bind position and skin, placed at the first frame.
  bool weld_vertices(NodeMesh& b, SourceMesh& m) {
    const aiMesh* am = m.am;
    doc::Mesh& mesh = b.node->object.mesh;
    m.welded.resize(am->mNumVertices);
    m.placed.resize(am->mNumVertices);
    if (b.skinned) m.vertex_matrix.resize(am->mNumVertices);
    for (unsigned v = 0; v < am->mNumVertices; ++v) {
      if (!finite(am->mVertices[v])) {
        return fail("the mesh \"" + std::string(am->mName.C_Str()) + "\" of the node \"" +
                    std::string(b.an->mName.C_Str()) + "\" has a vertex position (" +
                    std::to_string(v) + ") that is not a number");
      }
      Point3 p = basis_.point(am->mVertices[v]);
      std::string skin_key;
      auto& list = m.vertex_bones[v];
      Matrix3 place;
      if (b.skinned) {
        std::sort(list.begin(), list.end());
        double sum = 0;
        for (auto& [bone, w] : list) sum += w;
        if (list.empty() || !(sum > 0)) {
          // Outside the skin: it follows the mesh's own node.
          list.assign(1, {b.id, 1.0f});
          b.skin_matrix.emplace(b.id, Matrix3());
          sum = 1;
        }
        // Weights that sum to one, as the host keeps them.
        for (auto& [bone, w] : list) w = static_cast<float>(w / sum);
        // The vertex at the first frame: the weighted blend of its bones.
        Matrix3 blend;
        for (int r = 0; r < 4; ++r) blend[r] = Point3{0, 0, 0};
        for (auto& [bone, w] : list) {
          const Matrix3& s = b.skin_matrix.at(bone);
          for (int r = 0; r < 4; ++r) blend[r] = blend[r] + s[r] * w;
        }
        place = blend;
        m.vertex_matrix[v] = blend;
        for (auto& [bone, w] : list) {
          skin_key.append(reinterpret_cast<const char*>(&bone), sizeof bone);
          skin_key.append(reinterpret_cast<const char*>(&w), sizeof w);
        }
      }
      std::string weld_key(reinterpret_cast<const char*>(key_of(p).bits.data()), 12);
      weld_key += skin_key;
      auto [it, added] =
          b.weld.emplace(std::move(weld_key), static_cast<int>(mesh.vertices.size()));
      if (added) {
        mesh.vertices.push_back(b.skinned ? p * place : p);
        if (b.skinned) {
          std::vector<doc::Influence> influences;
          for (auto& [bone, w] : list) {
            auto pos = std::find(b.bones.begin(), b.bones.end(), bone);
            if (pos == b.bones.end()) pos = b.bones.insert(b.bones.end(), bone);
            influences.push_back({static_cast<int>(pos - b.bones.begin()), w});
          }
          b.weights.push_back(std::move(influences));
        }
      }
      m.welded[v] = it->second;
      m.placed[v] = mesh.vertices[it->second];
    }
    return true;
  }

  // The faces of three corners or more, in the document's winding.
  bool read_faces(SourceMesh& m, DroppedParts& dropped) {
    const aiMesh* am = m.am;
    m.faces.reserve(am->mNumFaces);
    for (unsigned f = 0; f < am->mNumFaces; ++f) {
      const aiFace& face = am->mFaces[f];
      if (face.mNumIndices < 3) {
        dropped.lines = true;
        continue;
      }
      std::vector<unsigned> corners(face.mIndices, face.mIndices + face.mNumIndices);
      bool valid = std::all_of(corners.begin(), corners.end(),
                               [&](unsigned c) { return c < am->mNumVertices; });
      if (!valid)
        return fail("the mesh \"" + std::string(am->mName.C_Str()) +
                    "\" has a face with a vertex index out of range");
      if (mirrored_) std::reverse(corners.begin(), corners.end());
      m.faces.push_back(std::move(corners));
    }
    return true;
  }

  // Cuts every face into triangles and, for a mesh without normals, sums the
  // triangles' normals at their corners.
  void triangulate_faces(NodeMesh& b, SourceMesh& m) {
    const std::vector<Point3>& placed = m.placed;
    m.face_triangles.resize(m.faces.size());
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
      const auto& c = m.faces[f];
      if (c.size() == 3) {
        m.face_triangles[f] = {{0, 1, 2}};
      } else if (c.size() == 4) {
        // The shorter diagonal, so that a bent quad folds the flatter way.
        Point3 p[4];
        for (std::size_t q = 0; q < 4; ++q) p[q] = placed[c[q]];
        float d02 = max::Length(p[2] - p[0]), d13 = max::Length(p[3] - p[1]);
        m.face_triangles[f] = d13 < d02 ? std::vector<std::array<int, 3>>{{0, 1, 3}, {1, 2, 3}}
                                        : std::vector<std::array<int, 3>>{{0, 1, 2}, {0, 2, 3}};
      } else {
        std::vector<Point3> outline;
        for (unsigned v : c) outline.push_back(placed[v]);
        m.face_triangles[f] = triangulate_polygon(outline);
      }
      if (c.size() > 3) b.has_polygons = true;
      if (!m.has_normals) {
        for (const auto& t : m.face_triangles[f]) {
          Point3 a = placed[c[t[0]]];
          Point3 n = max::CrossProd(placed[c[t[1]]] - a, placed[c[t[2]]] - a);
          for (int corner : t) {
            Point3& s = m.smooth[c[corner]];
            s = s + n;
          }
        }
      }
    }
  }

  // The document faces of the source mesh (its triangles, each corner's
  // normal, texture and colour entry) and each face as a polygon.
  void add_triangles(NodeMesh& b, const SourceMesh& m, DroppedParts& dropped) {
    const aiMesh* am = m.am;
    doc::Mesh& mesh = b.node->object.mesh;
    auto normal_of = [&](unsigned v) {
      if (!m.has_normals) return max::Normalize(m.smooth[v]);
      const aiVector3D& n = am->mNormals[v];
      if (!finite(n)) return Point3{0, 0, 0};
      Point3 d = basis_.normal(n);
      if (b.skinned) d = max::VectorTransform(m.vertex_matrix[v], d);
      return max::Normalize(d);
    };
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
      const auto& c = m.faces[f];
      for (const auto& t : m.face_triangles[f]) {
        doc::Face face;
        face.material = m.material_id;
        for (std::size_t q = 0; q < 3; ++q) {
          unsigned v = c[t[q]];
          face.v[q] = m.welded[v];
          face.n[q] = b.normals.add(normal_of(v));
          if (m.has_uv) {
            const aiVector3D& uv = am->mTextureCoords[0][v];
            Point3 tv{std::isfinite(uv.x) ? uv.x : 0.0f, std::isfinite(uv.y) ? uv.y : 0.0f, 0};
            face.t[q] = b.uvs.add(tv);
          } else {
            face.t[q] = b.uvs.add({0, 0, 0});
          }
          if (m.has_color) {
            const aiColor4D& col = am->mColors[0][v];
            if (col.a < 1) dropped.alpha = true;
            auto clamp01 = [](float x) {
              return std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f;
            };
            face.c[q] = b.colors.add({clamp01(col.r), clamp01(col.g), clamp01(col.b)});
          } else {
            face.c[q] = b.colors.add({1, 1, 1});
          }
        }
        mesh.faces.push_back(face);
      }
      doc::Polygon poly;
      poly.material = m.material_id;
      for (unsigned v : c) poly.v.push_back(m.welded[v]);
      b.polygons.push_back(std::move(poly));
    }
  }

  // The node's channels, polygons, material and skin once all its source
  // meshes are in.
  bool finish_node_mesh(NodeMesh& b) {
    const aiNode* an = b.an;
    doc::Node& node = *b.node;
    doc::Mesh& mesh = node.object.mesh;
    mesh.normals = std::move(b.normals.values);
    // Channels that no source mesh has stay empty.
    bool any_uv = false, any_color = false;
    for (unsigned k = 0; k < an->mNumMeshes; ++k) {
      if (an->mMeshes[k] >= s_.mNumMeshes) continue;
      any_uv = any_uv || s_.mMeshes[an->mMeshes[k]]->HasTextureCoords(0);
      any_color = any_color || s_.mMeshes[an->mMeshes[k]]->HasVertexColors(0);
    }
    if (any_uv) {
      mesh.tex_vertices = std::move(b.uvs.values);
    } else {
      for (doc::Face& f : mesh.faces) f.t = {0, 0, 0};
    }
    if (any_color) {
      mesh.color_vertices = std::move(b.colors.values);
    } else {
      for (doc::Face& f : mesh.faces) f.c = {0, 0, 0};
    }
    if (b.has_polygons) mesh.polygons = std::move(b.polygons);
    if (!b.material_list.empty()) node.material = root_material(b.material_list, node.name);
    if (b.skinned) {
      doc::Modifier skin;
      skin.type = doc::ModifierType::kSkin;
      skin.internal_name = "Skin";
      skin.bones = b.bones;
      skin.weights = std::move(b.weights);
      node.object.modifiers.push_back(std::move(skin));
    }
    if (mesh.vertices.size() > 65536) {
      return fail("the node \"" + std::string(an->mName.C_Str()) + "\" has a mesh of " +
                  std::to_string(mesh.vertices.size()) +
                  " vertices; the host's meshes hold at most 65,536");
    }
    morph_weights(an, node);
    return true;
  }

  // Morph weights of the node's meshes, in percent, as the channels of a
  // Morpher modifier (first mesh's targets first).
  void morph_weights(const aiNode* an, doc::Node& node) {
    unsigned targets = 0;
    for (unsigned k = 0; k < an->mNumMeshes; ++k) {
      if (an->mMeshes[k] < s_.mNumMeshes)
        targets = std::max(targets, s_.mMeshes[an->mMeshes[k]]->mNumAnimMeshes);
    }
    if (targets == 0) return;
    doc::Modifier morpher;
    morpher.type = doc::ModifierType::kMorpher;
    morpher.internal_name = "Morpher";
    unsigned count = std::min(targets, static_cast<unsigned>(doc::kMaxMorphChannels));
    morpher.channels.resize(count);
    const aiMesh* first = s_.mMeshes[an->mMeshes[0]];
    for (unsigned t = 0; t < std::min(count, first->mNumAnimMeshes); ++t) {
      float w = first->mAnimMeshes[t]->mWeight;
      morpher.channels[t].value = std::isfinite(w) ? w * 100.0f : 0.0f;
    }
    if (anim_ != nullptr) {
      for (unsigned c = 0; c < anim_->mNumMorphMeshChannels; ++c) {
        const aiMeshMorphAnim* ch = anim_->mMorphMeshChannels[c];
        std::string target = ch->mName.C_Str();
        // glTF names the channel after the node, with "*" and the mesh.
        std::size_t star = target.find('*');
        if (star != std::string::npos) target = target.substr(0, star);
        if (target != an->mName.C_Str() && target != first->mName.C_Str()) continue;
        for (unsigned k = 0; k < ch->mNumKeys; ++k) {
          const aiMeshMorphKey& key = ch->mKeys[k];
          double frame = frame_of(key.mTime);
          if (!std::isfinite(frame)) continue;
          first_frame_ = std::min(first_frame_, frame);
          last_frame_ = std::max(last_frame_, frame);
          std::vector<float> values(count, 0.0f);
          for (unsigned v = 0; v < key.mNumValuesAndWeights; ++v) {
            if (key.mValues[v] < count && std::isfinite(key.mWeights[v]))
              values[key.mValues[v]] = static_cast<float>(key.mWeights[v] * 100.0);
          }
          for (unsigned t = 0; t < count; ++t) {
            auto& keys = morpher.channels[t].keys;
            if (!keys.empty() && frame <= keys.back().frame) continue;
            keys.push_back({frame, values[t]});
          }
        }
        for (auto& ch_track : morpher.channels) {
          if (!ch_track.keys.empty()) ch_track.value = ch_track.keys.front().value;
        }
        break;
      }
    }
    node.object.modifiers.push_back(std::move(morpher));
  }

  // ---- lights and cameras
  bool build_lights_and_cameras() {
    bool dropped_light_kind = false;
    for (unsigned i = 0; i < s_.mNumLights; ++i) {
      const aiLight* l = s_.mLights[i];
      auto it = by_name_.find(l->mName.C_Str());
      if (it == by_name_.end() || nodes_[it->second].dropped) continue;
      doc::Node& n = doc_.nodes[doc_index_.at(it->second)];
      if (n.object.cls == doc::ObjectClass::kMesh) continue;
      n.has_object = true;
      n.object.cls = doc::ObjectClass::kLight;
      doc::Light& light = n.object.light;
      switch (l->mType) {
        case aiLightSource_DIRECTIONAL:
          light.type = doc::LightType::kDirectional;
          break;
        case aiLightSource_SPOT:
          light.type = doc::LightType::kFreeSpot;
          break;
        case aiLightSource_POINT:
          light.type = doc::LightType::kOmni;
          break;
        default:
          light.type = doc::LightType::kOmni;
          dropped_light_kind = true;
          break;
      }
      light.on = true;
      aiColor3D c = l->mColorDiffuse;
      float top = std::max({c.r, c.g, c.b});
      // Colours scaled by an intensity are brought back into 0 to 1.
      if (top > 1 && std::isfinite(top)) c = aiColor3D(c.r / top, c.g / top, c.b / top);
      auto clamp01 = [](float x) { return std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f; };
      light.has_color = true;
      light.color.value = {clamp01(c.r), clamp01(c.g), clamp01(c.b)};
      aim_node(n, l->mDirection, aiVector3D(0, 1, 0));
    }
    if (dropped_light_kind) warn("Ambient and area lights are imported as omni lights.");
    for (unsigned i = 0; i < s_.mNumCameras; ++i) {
      const aiCamera* c = s_.mCameras[i];
      auto it = by_name_.find(c->mName.C_Str());
      if (it == by_name_.end() || nodes_[it->second].dropped) continue;
      int id = doc_index_.at(it->second);
      doc::Node& n = doc_.nodes[id];
      if (n.object.cls == doc::ObjectClass::kMesh) continue;
      n.has_object = true;
      n.object.cls = doc::ObjectClass::kCamera;
      doc::Camera& cam = n.object.camera;
      cam.near_plane = std::isfinite(c->mClipPlaneNear) ? c->mClipPlaneNear : 1.0f;
      cam.far_plane = std::isfinite(c->mClipPlaneFar) ? c->mClipPlaneFar : 1000.0f;
      cam.near_plane = static_cast<float>(cam.near_plane * basis_.scale);
      cam.far_plane = static_cast<float>(cam.far_plane * basis_.scale);
      if (c->mAspect > 0 && std::isfinite(c->mAspect)) cam.aspect = c->mAspect;
      if (c->mOrthographicWidth > 0 && std::isfinite(c->mOrthographicWidth)) {
        cam.projection = 1;
        cam.ortho_width = static_cast<float>(2 * c->mOrthographicWidth * basis_.scale);
        cam.ortho_height = cam.ortho_width / cam.aspect;
      }
      if (c->mHorizontalFOV > 0 && std::isfinite(c->mHorizontalFOV)) {
        // The readers give the whole horizontal angle; the host keeps the
        // whole vertical one. Assimp's glTF reader makes its horizontal
        // angle as the vertical one times the aspect, which is undone.
        double h = c->mHorizontalFOV, aspect = cam.aspect;
        double vertical = gltf_ ? h / aspect : 2 * std::atan(std::tan(h / 2) / aspect);
        cam.fov = static_cast<float>(vertical * 180.0 / kPi);
      }
      aiVector3D look = c->mLookAt, up = c->mUp;
      aim_node(n, look, up);
      cam.target_distance =
          static_cast<float>(std::max(1e-3, static_cast<double>(look.Length()) * basis_.scale));
      if (cam.target_distance <= 1e-3f) cam.target_distance = 100;
    }
    return true;
  }

  // The host's lights and cameras look along their node's -Z with +Y up. The
  // file's may look another way within their node: the node is turned by
  // the rotation that takes -Z to the file's direction (and Y to its up), so
  // that the world direction stays. The node's children keep their places.
  void aim_node(doc::Node& n, aiVector3D look, aiVector3D up) {
    if (!finite(look) || look.Length() < 1e-12f) return;
    look.Normalize();
    Point3 d = basis_.normal(look);
    Point3 u = finite(up) && up.Length() > 1e-12f ? basis_.normal(up.Normalize()) : Point3{0, 0, 1};
    if (max::Length(max::CrossProd(d, u)) < 1e-6f)
      u = std::fabs(d.z) < 0.9f ? Point3{0, 0, 1} : Point3{0, 1, 0};
    // Rows of the rotation: local X, Y, Z in the node's frame.
    Point3 z = max::Normalize(d * -1.0f);
    Point3 x = max::Normalize(max::CrossProd(u, z));
    Point3 y = max::CrossProd(z, x);
    Matrix3 turn(x, y, z, Point3{0, 0, 0});
    if (max::Length(x) < 0.5f) return;
    Quat q = max::MatrixToQuat(turn);
    if (std::fabs(q.w) > 0.9999999f) return;  // already aimed
    bool has_children = std::any_of(doc_.nodes.begin(), doc_.nodes.end(),
                                    [&](const doc::Node& o) { return o.parent == n.id; });
    if (has_children || n.transform.rotation.animated()) {
      // The object offset turns the object alone.
      n.object.offset_rotation = stable_unit(q);
      return;
    }
    n.transform.rotation.value =
        stable_unit(max::MatrixToQuat(turn * max::QuatToMatrix(n.transform.rotation.value)));
  }

  // ---- range and limits
  bool finish_range() {
    if (last_frame_ >= first_frame_) {
      double first = std::floor(std::max(first_frame_, -1e6));
      double last = std::ceil(std::min(last_frame_, 1e6) - 1e-6);
      doc_.start_frame = static_cast<int>(std::min(first, 0.0));
      doc_.end_frame = static_cast<int>(std::max(last, 0.0));
      if (doc_.start_frame < 0) doc_.start_frame = 0;
      if (static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1 > doc::kMaxFrames) {
        return fail("the animation covers more than " + std::to_string(doc::kMaxFrames) +
                    " frames at " + format_number(fps_) +
                    " frames per second (choose a lower rate with --fps)");
      }
    }
    long long series = static_cast<long long>(doc_.nodes.size());
    std::function<long long(const std::vector<doc::Material>&)> count =
        [&](const std::vector<doc::Material>& ms) {
          long long c = 0;
          for (const doc::Material& m : ms) c += 1 + count(m.sub_materials);
          return c;
        };
    series += count(doc_.materials);
    for (const doc::Node& n : doc_.nodes) {
      for (const doc::Modifier& m : n.object.modifiers)
        series += m.type == doc::ModifierType::kMorpher ? 100 : 0;
    }
    long long frames = static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1;
    if (series * frames > doc::kMaxSamples) {
      return fail("the scene needs more than " + std::to_string(doc::kMaxSamples) +
                  " samples over its " + std::to_string(frames) +
                  " frames (choose a lower rate with --fps)");
    }
    return true;
  }

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

}  // namespace

SceneLoadResult import_with_assimp(const std::string& path, const ImportOptions& options) {
  SceneLoadResult result;
  std::string damaged = precheck_scene_file(path);
  if (!damaged.empty()) {
    result.error = path + ": the file cannot be imported: " + damaged;
    return result;
  }
  Assimp::Importer importer;
  // Pivots are folded into their nodes rather than kept as helper nodes.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  if (options.progress) importer.SetProgressHandler(new ProgressToFunction(options.progress));
  // Assimp's logger is process-wide: one import at a time talks to it.
  static std::mutex log_mutex;
  std::unique_lock<std::mutex> log_lock(log_mutex, std::defer_lock);
  LogToFunction* stream = nullptr;
  if (options.log) {
    log_lock.lock();
    Assimp::DefaultLogger::create("", Assimp::Logger::VERBOSE);
    stream = new LogToFunction(options.log);
    Assimp::DefaultLogger::get()->attachStream(
        stream, Assimp::Logger::Debugging | Assimp::Logger::Info | Assimp::Logger::Warn |
                    Assimp::Logger::Err);
  }
  note_file_read(path);
  const aiScene* scene = importer.ReadFile(system_path(path), aiProcess_ValidateDataStructure);
  if (options.log) Assimp::DefaultLogger::kill();  // also frees the stream
  if (scene == nullptr || scene->mRootNode == nullptr) {
    std::string reason = importer.GetErrorString();
    if (reason.empty()) reason = "the file holds no scene";
    result.error = path + ": the file cannot be imported: " + reason;
    return result;
  }
  Mapper mapper(*scene, path, options);
  result.ok = mapper.run(result);
  return result;
}

}  // namespace kavro::host
