// Reads scene documents (".kscene", JSON in UTF-8) into SceneDocument.
// Every field is checked: a bad document is refused with one message that
// names the file, the JSON path (a JSON pointer) and the problem.
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "host/cp932.h"
#include "host/file_journal.h"
#include "host/files.h"
#include "host/scene_document.h"

namespace kavro::doc {
namespace {

using nlohmann::json;
constexpr const char* kFormatName = "kavro-scene";
constexpr int kFormatVersion = 1;
constexpr double kMaxFrameValue = 1e7;
constexpr double kMaxReal = 1e15;

// Thrown inside this file only; load_scene_document turns it into a result.
struct DocError {
  std::string path;
  std::string problem;
};

std::string pointer_escape(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

// A JSON value together with the way to it, for messages. The path is
// built only when something fails: a value knows its parent (which outlives
// it: values live on the stack of the reader's calls) and its key, kept in
// the document itself, or its array index.
class Value {
 public:
  explicit Value(const json& j) : j_(j) {}
  const json& raw() const { return j_; }
  std::string path() const {
    if (parent_ == nullptr) return "";
    return parent_->path() + "/" +
           (key_ != nullptr ? pointer_escape(*key_) : std::to_string(index_));
  }

  [[noreturn]] void fail(const std::string& problem) const { throw DocError{path(), problem}; }

  Value at(const std::string& key) const {
    if (j_.is_object()) {
      auto it = j_.find(key);
      if (it != j_.end()) return Value(*it, this, &it.key(), 0);
    }
    return Value(j_.at(key), this, nullptr, 0);  // throws: no such field
  }
  Value at(std::size_t i) const { return Value(j_.at(i), this, nullptr, i); }
  bool has(const std::string& key) const { return j_.contains(key); }
  std::size_t size() const { return j_.size(); }

  void expect_object() const {
    if (!j_.is_object()) fail("expected an object, found " + kind());
  }
  void expect_array() const {
    if (!j_.is_array()) fail("expected an array, found " + kind());
  }
  // Refuses fields this object may not have (usually a misspelling).
  void only(std::initializer_list<const char*> allowed) const {
    expect_object();
    for (auto it = j_.begin(); it != j_.end(); ++it) {
      bool known = false;
      for (const char* a : allowed) known = known || it.key() == a;
      if (!known) at(it.key()).fail("unknown field \"" + it.key() + "\"");
    }
  }

  double number() const {
    if (!j_.is_number()) fail("expected a number, found " + kind());
    double v = j_.get<double>();
    if (!std::isfinite(v)) fail("the number is not finite");
    return v;
  }
  // Single-precision values: coordinates, scales, angles, weights. Their
  // bound keeps the exporter's arithmetic finite, since the square or the
  // product of two of them still fits in single precision.
  float real() const {
    double v = number();
    if (std::fabs(v) > kMaxReal) fail("the number is too large (values lie within -1e15 and 1e15)");
    return static_cast<float>(v);
  }
  int integer(long long lo = std::numeric_limits<int>::min(),
              long long hi = std::numeric_limits<int>::max()) const {
    if (!j_.is_number()) fail("expected an integer, found " + kind());
    if (j_.is_number_float()) {
      double d = j_.get<double>();
      if (!std::isfinite(d) || d != std::floor(d)) fail("expected an integer, found a fraction");
      if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) out_of_range(lo, hi);
      return static_cast<int>(d);
    }
    if (j_.is_number_unsigned()) {
      auto u = j_.get<unsigned long long>();
      if (u > static_cast<unsigned long long>(hi) ||
          (lo > 0 && u < static_cast<unsigned long long>(lo))) {
        out_of_range(lo, hi);
      }
      return static_cast<int>(u);
    }
    long long v = j_.get<long long>();
    if (v < lo || v > hi) out_of_range(lo, hi);
    return static_cast<int>(v);
  }
  bool boolean() const {
    if (!j_.is_boolean()) fail("expected true or false, found " + kind());
    return j_.get<bool>();
  }
  // A text converted to the host code page.
  std::string text() const {
    if (!j_.is_string()) fail("expected a string, found " + kind());
    host::Cp932Result r = host::utf8_to_cp932(j_.get<std::string>());
    if (!r.ok) fail(r.error);
    return r.text;
  }
  // A keyword: one of the given words.
  int word(std::initializer_list<const char*> words) const {
    if (!j_.is_string()) fail("expected a string, found " + kind());
    const std::string& s = j_.get_ref<const std::string&>();
    int i = 0;
    std::string list;
    for (const char* w : words) {
      if (s == w) return i;
      list += (i ? ", " : "") + std::string("\"") + w + "\"";
      ++i;
    }
    fail("\"" + s + "\" is not one of " + list);
  }

  std::string kind() const {
    switch (j_.type()) {
      case json::value_t::null:
        return "null";
      case json::value_t::object:
        return "an object";
      case json::value_t::array:
        return "an array";
      case json::value_t::string:
        return "a string";
      case json::value_t::boolean:
        return "a boolean";
      case json::value_t::number_integer:
      case json::value_t::number_unsigned:
      case json::value_t::number_float:
        return "a number";
      default:
        return "an unexpected value";
    }
  }

 private:
  [[noreturn]] void out_of_range(long long lo, long long hi) const {
    fail("the value is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }
  Value(const json& j, const Value* parent, const std::string* key, std::size_t index)
      : j_(j), parent_(parent), key_(key), index_(index) {}
  const json& j_;
  const Value* parent_ = nullptr;
  const std::string* key_ = nullptr;
  std::size_t index_ = 0;
};

max::Point3 read_point(const Value& v) {
  v.expect_array();
  if (v.size() != 3) v.fail("expected 3 numbers, found " + std::to_string(v.size()) + " values");
  return {v.at(0).real(), v.at(1).real(), v.at(2).real()};
}

// Three Euler angles in degrees (x, y, z: the x rotation applies first) or a
// quaternion x, y, z, w.
max::Quat read_rotation(const Value& v) {
  v.expect_array();
  if (v.size() == 3) {
    constexpr float k = 3.14159265358979f / 180.0f;
    float a[3] = {v.at(0).real() * k, v.at(1).real() * k, v.at(2).real() * k};
    return max::EulerToQuat(a);
  }
  if (v.size() == 4) {
    max::Quat q{v.at(0).real(), v.at(1).real(), v.at(2).real(), v.at(3).real()};
    double l = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                         static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
    if (!(l > 1e-6)) v.fail("a rotation quaternion must not be zero");
    return max::Normalize(q);
  }
  v.fail("expected 3 Euler angles in degrees or a quaternion of 4 numbers, found " +
         std::to_string(v.size()) + " values");
}

template <class T>
Track<T> read_track(const Value& v, const std::function<T(const Value&)>& read_value) {
  Track<T> track;
  if (!v.raw().is_object()) {
    track.value = read_value(v);
    return track;
  }
  v.only({"keys"});
  if (!v.has("keys")) v.fail("a track needs \"keys\"");
  Value keys = v.at("keys");
  keys.expect_array();
  if (keys.size() == 0) keys.fail("a track needs at least one key");
  track.keys.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    Value key = keys.at(i);
    key.only({"frame", "value"});
    if (!key.has("frame")) key.fail("a key needs \"frame\"");
    if (!key.has("value")) key.fail("a key needs \"value\"");
    double frame = key.at("frame").number();
    if (std::fabs(frame) > kMaxFrameValue) key.at("frame").fail("the frame is out of range");
    if (!track.keys.empty() && frame <= track.keys.back().frame) {
      key.at("frame").fail("key frames must ascend");
    }
    track.keys.push_back({frame, read_value(key.at("value"))});
  }
  track.value = track.keys.front().value;
  return track;
}

FloatTrack read_float_track(const Value& v) {
  return read_track<float>(v, [](const Value& x) { return x.real(); });
}
PointTrack read_point_track(const Value& v) {
  return read_track<max::Point3>(v, read_point);
}
RotationTrack read_rotation_track(const Value& v) {
  return read_track<max::Quat>(v, read_rotation);
}

// Refuses text nested deeper than the format ever needs, before parsing, so
// that neither the parser nor anything after it recurses without bound.
bool nesting_within(const std::string& text, int limit) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

class Reader {
 public:
  SceneDocument read(const json& root) {
    Value top(root);
    top.only({"format", "version", "file_name", "ticks_per_frame", "animation_range", "selection",
              "map_paths", "materials", "nodes", "plugin_class_data"});
    if (!top.has("format")) top.fail("missing field \"format\" (\"kavro-scene\")");
    Value format = top.at("format");
    if (!format.raw().is_string() || format.raw().get<std::string>() != kFormatName) {
      format.fail("this is not a KAVRO scene document (format must be \"kavro-scene\")");
    }
    if (!top.has("version")) top.fail("missing field \"version\"");
    int version = top.at("version").integer();
    if (version != kFormatVersion) {
      top.at("version").fail("version " + std::to_string(version) +
                             " is not supported (this program reads version 1)");
    }
    if (top.has("file_name")) {
      doc_.file_name = top.at("file_name").text();
      has_file_name_ = true;
    }
    if (top.has("ticks_per_frame"))
      doc_.ticks_per_frame = top.at("ticks_per_frame").integer(1, 4800);
    if (top.has("animation_range")) {
      Value r = top.at("animation_range");
      r.expect_array();
      if (r.size() != 2) r.fail("expected [first frame, last frame]");
      doc_.start_frame = r.at(0).integer(-1000000, 1000000);
      doc_.end_frame = r.at(1).integer(-1000000, 1000000);
      if (doc_.end_frame < doc_.start_frame) r.fail("the last frame is before the first");
      if (static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1 > kMaxFrames) {
        r.fail("the range has more than " + std::to_string(kMaxFrames) + " frames");
      }
    }
    long long extreme = std::max(std::llabs(doc_.start_frame), std::llabs(doc_.end_frame));
    if (extreme * doc_.ticks_per_frame > std::numeric_limits<int>::max() / 2) {
      top.fail("the animation range in ticks does not fit the host's time values");
    }
    if (top.has("map_paths")) {
      Value paths = top.at("map_paths");
      paths.expect_array();
      for (std::size_t i = 0; i < paths.size(); ++i) doc_.map_paths.push_back(paths.at(i).text());
    }
    if (top.has("materials")) {
      Value ms = top.at("materials");
      ms.expect_array();
      for (std::size_t i = 0; i < ms.size(); ++i)
        doc_.materials.push_back(read_material(ms.at(i), 0));
    }
    if (top.has("nodes")) {
      Value ns = top.at("nodes");
      ns.expect_array();
      doc_.nodes.reserve(ns.size());
      for (std::size_t i = 0; i < ns.size(); ++i) doc_.nodes.push_back(read_node(ns.at(i)));
      check_nodes(ns);
    }
    check_sample_count(top);
    if (top.has("plugin_class_data")) read_class_data(top.at("plugin_class_data"));
    if (top.has("selection")) {
      Value sel = top.at("selection");
      sel.expect_array();
      std::unordered_set<int> seen;
      for (std::size_t i = 0; i < sel.size(); ++i) {
        int id = sel.at(i).integer(0);
        if (!ids_.count(id)) sel.at(i).fail("no node has the id " + std::to_string(id));
        if (seen.insert(id).second) doc_.selection.push_back(id);
      }
    }
    return std::move(doc_);
  }

  bool has_file_name() const { return has_file_name_; }

 private:
  // [{"class_id": [a, b], "chunks": [{"id": n, "data": base64}, ...]}, ...]
  void read_class_data(const Value& v) {
    v.expect_array();
    for (std::size_t i = 0; i < v.size(); ++i) {
      Value entry = v.at(i);
      entry.only({"class_id", "chunks"});
      if (!entry.has("class_id")) entry.fail("missing field \"class_id\"");
      Value id = entry.at("class_id");
      id.expect_array();
      if (id.size() != 2) id.fail("expected [a, b], two 32-bit numbers");
      host::PluginClassData data;
      data.class_id = {static_cast<std::uint32_t>(id.at(0).integer(0, 0xFFFFFFFFLL)),
                       static_cast<std::uint32_t>(id.at(1).integer(0, 0xFFFFFFFFLL))};
      for (const host::PluginClassData& earlier : doc_.class_data) {
        if (earlier.class_id == data.class_id) id.fail("the class appears twice");
      }
      if (entry.has("chunks")) {
        Value chunks = entry.at("chunks");
        chunks.expect_array();
        for (std::size_t c = 0; c < chunks.size(); ++c) {
          Value chunk = chunks.at(c);
          chunk.only({"id", "data"});
          if (!chunk.has("id")) chunk.fail("missing field \"id\"");
          host::ClassDataChunk out;
          out.id = static_cast<std::uint16_t>(chunk.at("id").integer(0, 0xFFFF));
          if (chunk.has("data")) {
            Value data_text = chunk.at("data");
            if (!data_text.raw().is_string())
              data_text.fail("expected a base64 string, found " + data_text.kind());
            if (!host::base64_decode(data_text.raw().get<std::string>(), out.data)) {
              data_text.fail("the chunk data is not base64");
            }
          }
          data.chunks.push_back(std::move(out));
        }
      }
      doc_.class_data.push_back(std::move(data));
    }
  }

  Material read_material(const Value& v, int depth) {
    v.only({"name", "class", "class_id", "ambient", "diffuse", "specular", "self_illum_color",
            "self_illum_color_on", "opacity", "params", "diffuse_map", "sub_materials"});
    if (depth >= kMaxMaterialDepth) v.fail("materials are nested too deeply");
    Material m;
    if (!v.has("name")) v.fail("a material needs \"name\"");
    m.name = v.at("name").text();
    if (v.has("class")) {
      m.cls = static_cast<MaterialClass>(
          v.at("class").word({"standard", "multi", "kavro_standard", "kavro_morpher", "other"}));
    }
    if (v.has("class_id")) {
      if (m.cls != MaterialClass::kOther)
        v.at("class_id").fail("only an \"other\" material has a class_id");
      Value id = v.at("class_id");
      id.expect_array();
      if (id.size() != 2) id.fail("expected two numbers");
      m.class_id = {static_cast<std::uint32_t>(id.at(0).integer(0, 0xFFFFFFFFLL)),
                    static_cast<std::uint32_t>(id.at(1).integer(0, 0xFFFFFFFFLL))};
    }
    if (v.has("ambient")) m.ambient = read_point_track(v.at("ambient"));
    if (v.has("diffuse")) m.diffuse = read_point_track(v.at("diffuse"));
    if (v.has("specular")) m.specular = read_point_track(v.at("specular"));
    if (v.has("self_illum_color")) m.self_illum_color = read_point_track(v.at("self_illum_color"));
    if (v.has("self_illum_color_on")) m.self_illum_color_on = v.at("self_illum_color_on").boolean();
    if (v.has("opacity")) m.opacity = read_float_track(v.at("opacity"));
    if (v.has("params")) {
      Value ps = v.at("params");
      ps.expect_object();
      for (auto it = ps.raw().begin(); it != ps.raw().end(); ++it) {
        Value p = ps.at(it.key());
        double value = p.raw().is_boolean() ? (p.boolean() ? 1.0 : 0.0) : p.number();
        m.params.emplace_back(it.key(), value);
      }
    }
    if (v.has("diffuse_map")) {
      m.has_diffuse_map = true;
      m.diffuse_map = read_texmap(v.at("diffuse_map"));
    }
    if (v.has("sub_materials")) {
      if (m.cls == MaterialClass::kStandard || m.cls == MaterialClass::kKavroStandard) {
        v.at("sub_materials").fail("this material class has no sub-materials");
      }
      Value subs = v.at("sub_materials");
      subs.expect_array();
      if (subs.size() > static_cast<std::size_t>(kMaxSubMaterials)) {
        subs.fail("a material has at most " + std::to_string(kMaxSubMaterials) + " sub-materials");
      }
      for (std::size_t i = 0; i < subs.size(); ++i) {
        m.sub_materials.push_back(read_material(subs.at(i), depth + 1));
      }
    }
    return m;
  }

  Texmap read_texmap(const Value& v) {
    v.only({"class", "name", "file", "u_offset", "v_offset", "u_tiling", "v_tiling", "w_angle",
            "u_wrap", "v_wrap", "u_mirror", "v_mirror"});
    Texmap t;
    if (!v.has("class")) v.fail("a texture map needs \"class\" (\"bitmap\" or \"procedural\")");
    t.cls = static_cast<TexmapClass>(v.at("class").word({"bitmap", "procedural"}));
    if (v.has("name")) t.name = v.at("name").text();
    if (v.has("file")) {
      if (t.cls != TexmapClass::kBitmap) v.at("file").fail("only a bitmap has a file");
      t.file = v.at("file").text();
    }
    if (v.has("u_offset")) t.u_offset = read_float_track(v.at("u_offset"));
    if (v.has("v_offset")) t.v_offset = read_float_track(v.at("v_offset"));
    if (v.has("u_tiling")) t.u_tiling = read_float_track(v.at("u_tiling"));
    if (v.has("v_tiling")) t.v_tiling = read_float_track(v.at("v_tiling"));
    if (v.has("w_angle")) t.w_angle = read_float_track(v.at("w_angle"));
    auto flag = [&](const char* key, int bit) {
      if (!v.has(key)) return;
      if (v.at(key).boolean()) {
        t.tiling |= bit;
      } else {
        t.tiling &= ~bit;
      }
    };
    flag("u_wrap", kUWrap);
    flag("v_wrap", kVWrap);
    flag("u_mirror", kUMirror);
    flag("v_mirror", kVMirror);
    return t;
  }

  Node read_node(const Value& v) {
    v.only({"id", "name", "parent", "hidden", "target", "show_vertex_colors", "exclude_geometry",
            "user_properties", "transform", "visibility", "material", "object"});
    Node n;
    if (!v.has("id")) v.fail("a node needs \"id\"");
    n.id = v.at("id").integer(0);
    if (!ids_.insert(n.id).second)
      v.at("id").fail("another node has the id " + std::to_string(n.id));
    if (!v.has("name")) v.fail("a node needs \"name\"");
    n.name = v.at("name").text();
    if (v.has("parent") && !v.at("parent").raw().is_null()) n.parent = v.at("parent").integer(0);
    if (v.has("hidden")) n.hidden = v.at("hidden").boolean();
    if (v.has("target")) n.target = v.at("target").boolean();
    if (v.has("show_vertex_colors")) n.show_vertex_colors = v.at("show_vertex_colors").boolean();
    if (v.has("exclude_geometry")) n.exclude_geometry = v.at("exclude_geometry").boolean();
    if (v.has("user_properties")) {
      Value ps = v.at("user_properties");
      ps.expect_object();
      for (auto it = ps.raw().begin(); it != ps.raw().end(); ++it) {
        Value p = ps.at(it.key());
        UserProperty up;
        host::Cp932Result key = host::utf8_to_cp932(it.key());
        if (!key.ok) p.fail(key.error);
        up.key = key.text;
        if (p.raw().is_boolean()) {
          up.kind = UserProperty::kBool;
          up.flag = p.boolean();
        } else if (p.raw().is_number()) {
          up.kind = UserProperty::kNumber;
          up.number = p.number();
        } else if (p.raw().is_string()) {
          up.kind = UserProperty::kString;
          up.text = p.text();
        } else {
          p.fail("a user property is a string, a boolean or a number, not " + p.kind());
        }
        n.user_properties.push_back(std::move(up));
      }
    }
    if (v.has("transform")) {
      Value t = v.at("transform");
      t.only({"position", "rotation", "scale"});
      if (t.has("position")) n.transform.position = read_point_track(t.at("position"));
      if (t.has("rotation")) n.transform.rotation = read_rotation_track(t.at("rotation"));
      if (t.has("scale")) n.transform.scale = read_point_track(t.at("scale"));
    }
    if (v.has("visibility")) n.visibility = read_float_track(v.at("visibility"));
    if (v.has("material") && !v.at("material").raw().is_null()) {
      Value m = v.at("material");
      n.material = m.integer(0);
      if (static_cast<std::size_t>(n.material) >= doc_.materials.size()) {
        m.fail("there is no material " + std::to_string(n.material) + " (the scene has " +
               std::to_string(doc_.materials.size()) + ")");
      }
    }
    if (v.has("object")) {
      n.has_object = true;
      n.object = read_object(v.at("object"));
    }
    return n;
  }

  Object read_object(const Value& v) {
    v.only({"class", "offset", "mesh", "modifiers", "nurbs_objects", "light", "camera"});
    Object o;
    if (!v.has("class")) v.fail("an object needs \"class\"");
    o.cls = static_cast<ObjectClass>(
        v.at("class").word({"mesh", "helper", "bone", "ik_chain", "legacy_bone", "light", "camera",
                            "target", "nurbs_curve", "nurbs_surface", "nurbs_set", "subdivision"}));
    if (v.has("offset")) {
      Value off = v.at("offset");
      off.only({"position", "rotation", "scale"});
      if (off.has("position")) o.offset_position = read_point(off.at("position"));
      if (off.has("rotation")) o.offset_rotation = read_rotation(off.at("rotation"));
      if (off.has("scale")) o.offset_scale = read_point(off.at("scale"));
    }
    bool geometric = o.cls == ObjectClass::kMesh || o.cls == ObjectClass::kLegacyBone ||
                     o.cls == ObjectClass::kNurbsSurface || o.cls == ObjectClass::kNurbsSet ||
                     o.cls == ObjectClass::kSubdivision;
    if (v.has("mesh")) {
      if (!geometric) v.at("mesh").fail("an object of this class has no mesh");
      o.has_mesh = true;
      o.mesh = read_mesh(v.at("mesh"));
    }
    if (v.has("modifiers")) {
      Value ms = v.at("modifiers");
      ms.expect_array();
      for (std::size_t i = 0; i < ms.size(); ++i) o.modifiers.push_back(read_modifier(ms.at(i), o));
    }
    if (v.has("nurbs_objects")) {
      if (o.cls != ObjectClass::kNurbsSet)
        v.at("nurbs_objects").fail("only a nurbs_set has objects");
      Value ks = v.at("nurbs_objects");
      ks.expect_array();
      for (std::size_t i = 0; i < ks.size(); ++i)
        o.nurbs_kinds.push_back(ks.at(i).integer(0, 1000));
    }
    if (v.has("light")) {
      if (o.cls != ObjectClass::kLight)
        v.at("light").fail("only a light object has light settings");
      Value l = v.at("light");
      l.only({"type", "on", "color"});
      if (l.has("type")) {
        o.light.type = static_cast<LightType>(l.at("type").word(
            {"omni", "target_spot", "directional", "free_spot", "target_directional"}));
      }
      if (l.has("on")) o.light.on = l.at("on").boolean();
      o.light.has_color = l.has("color");
      if (l.has("color")) o.light.color = read_point_track(l.at("color"));
    }
    if (v.has("camera")) {
      if (o.cls != ObjectClass::kCamera)
        v.at("camera").fail("only a camera object has camera settings");
      Value c = v.at("camera");
      c.only({"target", "target_distance", "roll", "projection", "near", "far", "fov", "aspect",
              "ortho_width", "ortho_height"});
      Camera& cam = o.camera;
      if (c.has("target")) {
        cam.target_node = c.at("target").integer(0);
        camera_targets_.push_back({c.at("target").path(), cam.target_node});
      }
      if (c.has("target_distance")) cam.target_distance = c.at("target_distance").real();
      if (c.has("roll")) cam.roll = read_float_track(c.at("roll"));
      if (c.has("projection")) cam.projection = c.at("projection").word({"perspective", "ortho"});
      if (c.has("near")) cam.near_plane = c.at("near").real();
      if (c.has("far")) cam.far_plane = c.at("far").real();
      if (c.has("fov")) cam.fov = c.at("fov").real();
      if (c.has("aspect")) cam.aspect = c.at("aspect").real();
      if (c.has("ortho_width")) cam.ortho_width = c.at("ortho_width").real();
      if (c.has("ortho_height")) cam.ortho_height = c.at("ortho_height").real();
    }
    return o;
  }

  static void check_index(const Value& v, int index, std::size_t count, const char* what) {
    if (index < 0 || static_cast<std::size_t>(index) >= count) {
      v.fail(std::string(what) + " index " + std::to_string(index) +
             " is out of range (the mesh has " + std::to_string(count) + ")");
    }
  }

  static std::array<int, 3> read_corners(const Value& v) {
    v.expect_array();
    if (v.size() != 3) v.fail("a face has 3 corners, found " + std::to_string(v.size()));
    return {v.at(0).integer(), v.at(1).integer(), v.at(2).integer()};
  }

  Mesh read_mesh(const Value& v) {
    v.only({"vertices", "normals", "texture_vertices", "color_vertices", "faces", "polygons"});
    Mesh m;
    auto points = [&](const char* key, std::vector<max::Point3>& out, bool two_allowed) {
      if (!v.has(key)) return;
      Value a = v.at(key);
      a.expect_array();
      out.reserve(a.size());
      for (std::size_t i = 0; i < a.size(); ++i) {
        Value p = a.at(i);
        if (two_allowed && p.raw().is_array() && p.size() == 2) {
          out.push_back({p.at(0).real(), p.at(1).real(), 0});
        } else {
          out.push_back(read_point(p));
        }
      }
    };
    points("vertices", m.vertices, false);
    points("normals", m.normals, false);
    points("texture_vertices", m.tex_vertices, true);
    points("color_vertices", m.color_vertices, false);
    bool computed_normals = m.normals.empty();
    if (v.has("faces")) {
      Value fs = v.at("faces");
      fs.expect_array();
      m.faces.reserve(fs.size());
      for (std::size_t i = 0; i < fs.size(); ++i) {
        Value f = fs.at(i);
        Face face;
        auto channel = [&](const char* key, std::array<int, 3>& out, std::size_t count,
                           const char* what) {
          if (f.has(key)) {
            out = read_corners(f.at(key));
            for (std::size_t k = 0; k < 3; ++k) check_index(f.at(key).at(k), out[k], count, what);
          } else if (count > 0) {
            // Without its own indices a channel follows the vertex indices.
            out = face.v;
            for (std::size_t k = 0; k < 3; ++k) check_index(f.at("v").at(k), out[k], count, what);
          } else {
            out = {0, 0, 0};
          }
        };
        if (f.raw().is_array()) {
          face.v = read_corners(f);
          for (std::size_t k = 0; k < 3; ++k)
            check_index(f.at(k), face.v[k], m.vertices.size(), "vertex");
          auto follow = [&](std::array<int, 3>& out, std::size_t count, const char* what) {
            out = count > 0 ? face.v : std::array<int, 3>{0, 0, 0};
            if (count > 0) {
              for (std::size_t k = 0; k < 3; ++k) check_index(f.at(k), out[k], count, what);
            }
          };
          follow(face.t, m.tex_vertices.size(), "texture vertex");
          follow(face.c, m.color_vertices.size(), "colour vertex");
          if (!computed_normals) follow(face.n, m.normals.size(), "normal");
        } else {
          f.only({"v", "t", "c", "n", "material"});
          if (!f.has("v")) f.fail("a face needs \"v\"");
          face.v = read_corners(f.at("v"));
          for (std::size_t k = 0; k < 3; ++k) {
            check_index(f.at("v").at(k), face.v[k], m.vertices.size(), "vertex");
          }
          channel("t", face.t, m.tex_vertices.size(), "texture vertex");
          channel("c", face.c, m.color_vertices.size(), "colour vertex");
          if (computed_normals) {
            if (f.has("n")) f.at("n").fail("the mesh has no normals to index");
          } else {
            channel("n", face.n, m.normals.size(), "normal");
          }
          if (f.has("material")) face.material = f.at("material").integer(0, 65535);
        }
        if (computed_normals) face.n = face.v;
        m.faces.push_back(face);
      }
    }
    if (computed_normals && !m.faces.empty()) compute_normals(m);
    if (v.has("polygons")) {
      Value ps = v.at("polygons");
      ps.expect_array();
      m.polygons.reserve(ps.size());
      for (std::size_t i = 0; i < ps.size(); ++i) {
        Value p = ps.at(i);
        p.only({"v", "material"});
        if (!p.has("v")) p.fail("a polygon needs \"v\"");
        Value pv = p.at("v");
        pv.expect_array();
        if (pv.size() < 3) pv.fail("a polygon has at least 3 corners");
        Polygon poly;
        poly.v.reserve(pv.size());
        for (std::size_t k = 0; k < pv.size(); ++k) {
          int index = pv.at(k).integer();
          check_index(pv.at(k), index, m.vertices.size(), "vertex");
          poly.v.push_back(index);
        }
        if (p.has("material")) poly.material = p.at("material").integer(0, 65535);
        m.polygons.push_back(std::move(poly));
      }
    }
    return m;
  }

  // Per-vertex normals when the document gives none: the area-weighted mean
  // of the normals of the faces around each vertex.
  static void compute_normals(Mesh& m) {
    m.normals.assign(m.vertices.size(), max::Point3{});
    for (const Face& f : m.faces) {
      max::Point3 p0 = m.vertices[f.v[0]];
      max::Point3 n = max::CrossProd(m.vertices[f.v[1]] - p0, m.vertices[f.v[2]] - p0);
      for (int k : f.v) m.normals[k] = m.normals[k] + n;
    }
    for (max::Point3& n : m.normals) n = max::Normalize(n);
  }

  Modifier read_modifier(const Value& v, const Object& o) {
    v.only({"type", "internal_name", "enabled", "bones", "weights", "channels"});
    Modifier mod;
    if (!v.has("type")) v.fail("a modifier needs \"type\" (\"skin\", \"morpher\" or \"other\")");
    mod.type = static_cast<ModifierType>(v.at("type").word({"skin", "morpher", "other"}));
    mod.internal_name = mod.type == ModifierType::kSkin      ? "Skin"
                        : mod.type == ModifierType::kMorpher ? "Morpher"
                                                             : "";
    if (v.has("internal_name")) {
      if (mod.type != ModifierType::kOther)
        v.at("internal_name").fail("only an \"other\" modifier is named");
      mod.internal_name = v.at("internal_name").text();
    } else if (mod.type == ModifierType::kOther) {
      v.fail("an \"other\" modifier needs \"internal_name\"");
    }
    if (v.has("enabled")) mod.enabled = v.at("enabled").boolean();
    if (v.has("bones")) {
      if (mod.type != ModifierType::kSkin) v.at("bones").fail("only a skin has bones");
      Value bs = v.at("bones");
      bs.expect_array();
      for (std::size_t i = 0; i < bs.size(); ++i) {
        mod.bones.push_back(bs.at(i).integer(0));
        bone_refs_.push_back({bs.at(i).path(), mod.bones.back()});
      }
    }
    if (v.has("weights")) {
      if (mod.type != ModifierType::kSkin) v.at("weights").fail("only a skin has weights");
      Value ws = v.at("weights");
      ws.expect_array();
      if (ws.size() > o.mesh.vertices.size()) {
        ws.fail("the skin lists " + std::to_string(ws.size()) + " vertices but the mesh has " +
                std::to_string(o.mesh.vertices.size()));
      }
      mod.weights.reserve(ws.size());
      for (std::size_t i = 0; i < ws.size(); ++i) {
        Value list = ws.at(i);
        list.expect_array();
        std::vector<Influence> influences;
        for (std::size_t k = 0; k < list.size(); ++k) {
          Value pair = list.at(k);
          pair.expect_array();
          if (pair.size() != 2) pair.fail("an influence is [bone index, weight]");
          Influence inf;
          inf.bone = pair.at(0).integer(0);
          if (static_cast<std::size_t>(inf.bone) >= mod.bones.size()) {
            pair.at(0).fail("bone index " + std::to_string(inf.bone) +
                            " is out of range (the skin has " + std::to_string(mod.bones.size()) +
                            " bones)");
          }
          inf.weight = pair.at(1).real();
          influences.push_back(inf);
        }
        mod.weights.push_back(std::move(influences));
      }
    }
    if (v.has("channels")) {
      if (mod.type != ModifierType::kMorpher) v.at("channels").fail("only a morpher has channels");
      Value cs = v.at("channels");
      cs.expect_array();
      if (cs.size() > static_cast<std::size_t>(kMaxMorphChannels)) {
        cs.fail("a morpher has at most 100 channels");
      }
      for (std::size_t i = 0; i < cs.size(); ++i)
        mod.channels.push_back(read_float_track(cs.at(i)));
    }
    return mod;
  }

  // Every node, material and morph channel is sampled once per frame: a short
  // document with a long range must not ask for unbounded memory.
  void check_sample_count(const Value& top) const {
    std::function<long long(const std::vector<Material>&)> materials =
        [&](const std::vector<Material>& ms) {
          long long n = 0;
          for (const Material& m : ms) n += 1 + materials(m.sub_materials);
          return n;
        };
    long long series = static_cast<long long>(doc_.nodes.size()) + materials(doc_.materials);
    for (const Node& n : doc_.nodes) {
      for (const Modifier& m : n.object.modifiers)
        series += m.type == ModifierType::kMorpher ? 100 : 0;
    }
    long long frames = static_cast<long long>(doc_.end_frame) - doc_.start_frame + 1;
    if (series * frames > kMaxSamples) {
      top.fail("the scene needs more than " + std::to_string(kMaxSamples) + " samples over its " +
               std::to_string(frames) + " frames; shorten the animation range");
    }
  }

  // Parents exist, the hierarchy has no cycle and is not absurdly deep;
  // skin bones and camera targets name nodes.
  void check_nodes(const Value& nodes) {
    std::unordered_map<int, std::size_t> position;
    for (std::size_t i = 0; i < doc_.nodes.size(); ++i) position[doc_.nodes[i].id] = i;
    std::vector<int> depth(doc_.nodes.size(), -1);  // -2: being walked
    for (std::size_t i = 0; i < doc_.nodes.size(); ++i) {
      const Node& n = doc_.nodes[i];
      if (n.parent != kNone && !position.count(n.parent)) {
        nodes.at(i).at("parent").fail("no node has the id " + std::to_string(n.parent));
      }
    }
    constexpr std::size_t kRoot = static_cast<std::size_t>(-1);
    for (std::size_t i = 0; i < doc_.nodes.size(); ++i) {
      // Walk up to the root or to a node of known depth, then set the depths
      // on the way back down.
      std::vector<std::size_t> chain;
      std::size_t k = i;
      while (k != kRoot && depth[k] == -1) {
        depth[k] = -2;
        chain.push_back(k);
        int parent = doc_.nodes[k].parent;
        if (parent == kNone) {
          k = kRoot;
          break;
        }
        k = position[parent];
        if (depth[k] == -2) {
          nodes.at(k).at("parent").fail("the node hierarchy has a cycle through the node " +
                                        std::to_string(doc_.nodes[k].id));
        }
      }
      int next = k == kRoot ? 0 : depth[k] + 1;
      for (std::size_t c = chain.size(); c-- > 0;) {
        depth[chain[c]] = next++;
        if (depth[chain[c]] > kMaxHierarchyDepth) {
          nodes.at(chain[c]).fail("the node hierarchy is deeper than " +
                                  std::to_string(kMaxHierarchyDepth) + " levels");
        }
      }
    }
    for (const auto& [path, id] : bone_refs_) {
      if (!position.count(id)) throw DocError{path, "no node has the id " + std::to_string(id)};
    }
    for (const auto& [path, id] : camera_targets_) {
      if (!position.count(id)) throw DocError{path, "no node has the id " + std::to_string(id)};
    }
  }

  SceneDocument doc_;
  bool has_file_name_ = false;
  std::unordered_set<int> ids_;
  std::vector<std::pair<std::string, int>> bone_refs_;
  std::vector<std::pair<std::string, int>> camera_targets_;
};

std::string strip_json_prefix(const std::string& what) {
  // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
  std::size_t close = what.find("] ");
  return close != std::string::npos && what.rfind("[json.", 0) == 0 ? what.substr(close + 2) : what;
}

}  // namespace

LoadResult parse_scene_document(const std::string& text, const std::string& source) {
  LoadResult result;
  auto failed = [&](const std::string& path, const std::string& problem) {
    result.ok = false;
    result.error = source + (path.empty() ? std::string(", at the top level") : ", at " + path) +
                   ": " + problem;
    return result;
  };
  if (text.size() > kMaxDocumentBytes) return failed("", "the document is too large");
  if (!nesting_within(text, kMaxNesting)) {
    return failed(
        "", "the document is nested more than " + std::to_string(kMaxNesting) + " levels deep");
  }
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    result.ok = false;
    result.error = source + ": not valid JSON: " + strip_json_prefix(e.what());
    return result;
  }
  try {
    Reader reader;
    result.document = reader.read(root);
    if (!reader.has_file_name()) {
      // The source is a path in the host code page: a two-byte character's
      // second byte is no separator.
      const std::size_t slash = host::cp932_last_separator(source);
      result.document.file_name = slash == std::string::npos ? source : source.substr(slash + 1);
    }
  } catch (const DocError& e) {
    return failed(e.path, e.problem);
  } catch (const json::exception& e) {
    return failed("", strip_json_prefix(e.what()));
  } catch (const std::bad_alloc&) {
    return failed("", "the document is too large for memory");
  }
  result.ok = true;
  return result;
}

LoadResult load_scene_document(const std::string& path) {
  return load_scene_document_up_to(path, kMaxDocumentBytes);
}

LoadResult load_scene_document_up_to(const std::string& path, std::size_t max_bytes) {
  auto refused = [&](const std::string& problem) {
    LoadResult r;
    r.error = path + ": " + problem;
    return r;
  };
  const std::string system = host::system_path(path);
  struct stat st {};
  if (::stat(system.c_str(), &st) != 0) return refused("the file cannot be opened");
  if (S_ISDIR(st.st_mode)) return refused("a folder, not a scene document");
  // A regular file says its size; a pipe or a device is read until it ends.
  if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
    return refused("the file is too large to be a scene document");
  }
  std::FILE* in = std::fopen(system.c_str(), "rb");
  if (in == nullptr) return refused("the file cannot be opened");
  host::note_file_read(path);
  std::string text;
  if (S_ISREG(st.st_mode)) text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  bool too_large = false;
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (n > max_bytes - text.size()) {
      too_large = true;
      break;
    }
    text.append(buffer, n);
  }
  bool read_error = std::ferror(in) != 0;
  std::fclose(in);
  if (too_large) return refused("the file is too large to be a scene document");
  if (read_error) return refused("the file cannot be read");
  LoadResult result = parse_scene_document(text, path);
  // Relative bitmap names and map paths are taken from the document's
  // folder, which is absolute like the folder of a scene the host opened. A
  // piped document has no folder of its own: the current folder stands in.
  if (result.ok) {
    const std::size_t slash = host::cp932_last_separator(path);
    const bool in_folder = slash != std::string::npos && S_ISREG(st.st_mode);
    result.document.folder =
        host::absolute_path(in_folder ? path.substr(0, slash == 0 ? 1 : slash) : std::string("."));
    for (std::string& dir : result.document.map_paths) {
      if (host::path_is_absolute(dir)) continue;
      const std::string& folder = result.document.folder;
      dir = folder.back() == '/' ? folder + dir : folder + "/" + dir;
    }
  }
  return result;
}

}  // namespace kavro::doc
