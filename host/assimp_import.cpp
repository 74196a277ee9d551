#include "host/assimp_import.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/ProgressHandler.hpp>
#include <cstdio>
#include <functional>
#include <mutex>

#include "host/assimp_import_mapper.h"
#include "host/file_journal.h"
#include "host/import_precheck.h"

namespace kavro::host {
namespace assimp_mapping {

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

bool Mapper::run(SceneLoadResult& result) {
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
void Mapper::warn(const std::string& text) {
  std::string line = "Warning: " + text;
  if (std::find(warnings_.begin(), warnings_.end(), line) == warnings_.end())
    warnings_.push_back(line);
}
bool Mapper::fail(const std::string& text) {
  error_ = path_ + ": " + text;
  return false;
}
std::string Mapper::name_of(const aiString& s, const char* kind) {
  bool changed = false;
  std::string name = to_host_text(s.C_Str(), changed);
  if (changed) {
    warn("The " + std::string(kind) + " name \"" + std::string(s.C_Str()) +
         "\" has characters the host code page cannot hold; it is imported as \"" +
         cp932_to_utf8(name) + "\".");
  }
  return name;
}
bool Mapper::choose_basis() {
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
bool Mapper::choose_animation() {
  if (s_.mNumAnimations == 0) {
    if (options_.animation.empty()) return true;
    return fail("the file has no animation \"" + options_.animation + "\" (it has none)");
  }
  if (options_.animation.empty()) {
    anim_ = s_.mAnimations[0];
    if (s_.mNumAnimations > 1) {
      warn("The file has " + std::to_string(s_.mNumAnimations) + " animations; only the first, \"" +
           std::string(anim_->mName.C_Str()) +
           "\", is imported (choose another with --animation).");
    }
    return true;
  }
  const std::string& want = options_.animation;
  bool digits = std::all_of(want.begin(), want.end(), [](char c) { return c >= '0' && c <= '9'; });
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
bool Mapper::finish_range() {
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

}  // namespace assimp_mapping

namespace {

using assimp_mapping::Mapper;

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
