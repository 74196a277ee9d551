// Writes a scene document as ".kscene" text. The layout is fixed: keys in
// the order docs/scene-format.md lists them (the plug-in class data last), user properties and
// parameters sorted by name (the reader keeps them so), fields at their defaults left out, floats
// in the shortest form that reads back to the same float, one vertex or face per line. Reading the
// text gives the same document, and writing that again gives the same bytes.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "host/class_data.h"
#include "host/cp932.h"
#include "host/scene_io.h"

namespace kavro::host {
namespace {

// A text that cannot be written (bytes that are no CP932 text).
struct SaveError {
  std::string text;
};

class Writer {
 public:
  Writer(const std::vector<std::pair<std::string, std::string>>& references,
         const std::vector<host::PluginClassData>& class_data)
      : references_(references), class_data_(class_data) {}

  std::string run(const doc::SceneDocument& d) {
    out_ += "{";
    field(1, "format");
    out_ += "\"kavro-scene\"";
    field(1, "version");
    out_ += "1";
    field(1, "file_name");
    text(d.file_name);
    if (d.ticks_per_frame != 160) {
      field(1, "ticks_per_frame");
      integer(d.ticks_per_frame);
    }
    if (d.start_frame != 0 || d.end_frame != 0) {
      field(1, "animation_range");
      out_ += "[";
      integer(d.start_frame);
      out_ += ", ";
      integer(d.end_frame);
      out_ += "]";
    }
    if (!d.selection.empty()) {
      field(1, "selection");
      out_ += "[";
      for (std::size_t i = 0; i < d.selection.size(); ++i) {
        if (i) out_ += ", ";
        integer(d.selection[i]);
      }
      out_ += "]";
    }
    if (!d.map_paths.empty()) {
      field(1, "map_paths");
      out_ += "[";
      for (std::size_t i = 0; i < d.map_paths.size(); ++i) {
        if (i) out_ += ", ";
        text(relocated(d.map_paths[i]));
      }
      out_ += "]";
    }
    if (!d.materials.empty()) {
      field(1, "materials");
      out_ += "[";
      for (std::size_t i = 0; i < d.materials.size(); ++i) {
        out_ += i ? ",\n" : "\n";
        indent(2);
        material(d.materials[i], 2);
      }
      out_ += "\n";
      indent(1);
      out_ += "]";
    }
    if (!d.nodes.empty()) {
      field(1, "nodes");
      out_ += "[";
      for (std::size_t i = 0; i < d.nodes.size(); ++i) {
        out_ += i ? ",\n" : "\n";
        indent(2);
        node(d.nodes[i]);
      }
      out_ += "\n";
      indent(1);
      out_ += "]";
    }
    if (!class_data_.empty()) {
      field(1, "plugin_class_data");
      out_ += "[";
      for (std::size_t i = 0; i < class_data_.size(); ++i) {
        const host::PluginClassData& c = class_data_[i];
        out_ += i ? ",\n" : "\n";
        indent(2);
        out_ += "{\"class_id\": [";
        integer(c.class_id.a);
        out_ += ", ";
        integer(c.class_id.b);
        out_ += "]";
        if (!c.chunks.empty()) {
          out_ += ", \"chunks\": [";
          for (std::size_t k = 0; k < c.chunks.size(); ++k) {
            if (k) out_ += ", ";
            out_ += "{\"id\": ";
            integer(c.chunks[k].id);
            if (!c.chunks[k].data.empty()) {
              out_ += ", \"data\": \"";
              out_ += base64_encode(c.chunks[k].data);
              out_ += "\"";
            }
            out_ += "}";
          }
          out_ += "]";
        }
        out_ += "}";
      }
      out_ += "\n";
      indent(1);
      out_ += "]";
    }
    out_ += "\n}\n";
    return std::move(out_);
  }

 private:
  // ---- layout
  void indent(int level) { out_.append(level * 2, ' '); }
  // A key on a line of its own; the first key of an object opens it.
  void field(int level, const char* key) {
    out_ += out_.back() == '{' ? "\n" : ",\n";
    indent(level);
    out_ += "\"";
    out_ += key;
    out_ += "\": ";
  }
  // A key within a one-line object.
  void inline_field(bool& first, const char* key) {
    out_ += first ? "" : ", ";
    first = false;
    out_ += "\"";
    out_ += key;
    out_ += "\": ";
  }
  void open_object() { out_ += "{"; }
  void close_object(int level) {
    if (out_.back() == '{') {
      out_ += "}";
      return;
    }
    out_ += "\n";
    indent(level);
    out_ += "}";
  }

  // ---- values
  void integer(long long v) { out_ += std::to_string(v); }
  void boolean(bool v) { out_ += v ? "true" : "false"; }
  // The shortest text that reads back as the same float.
  void real(float v) {
    if (v == 0) {
      out_ += std::signbit(v) ? "-0.0" : "0";
      return;
    }
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    std::string t(buffer, r.ptr);
    if (static_cast<float>(std::strtod(t.c_str(), nullptr)) != v) {
      std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
      t = buffer;
    }
    out_ += t;
  }
  void real(double v) {
    if (v == 0) {
      out_ += std::signbit(v) ? "-0.0" : "0";
      return;
    }
    char buffer[40];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out_.append(buffer, r.ptr);
  }
  void point(const max::Point3& p) {
    out_ += "[";
    real(p.x);
    out_ += ", ";
    real(p.y);
    out_ += ", ";
    real(p.z);
    out_ += "]";
  }
  void quat(const max::Quat& q) {
    out_ += "[";
    real(q.x);
    out_ += ", ";
    real(q.y);
    out_ += ", ";
    real(q.z);
    out_ += ", ";
    real(q.w);
    out_ += "]";
  }
  void value(float v) { real(v); }
  void value(const max::Point3& p) { point(p); }
  void value(const max::Quat& q) { quat(q); }

  template <class T>
  void track(const doc::Track<T>& t) {
    if (!t.animated()) {
      value(t.value);
      return;
    }
    out_ += "{\"keys\": [";
    for (std::size_t i = 0; i < t.keys.size(); ++i) {
      if (i) out_ += ", ";
      out_ += "{\"frame\": ";
      real(t.keys[i].frame);
      out_ += ", \"value\": ";
      value(t.keys[i].value);
      out_ += "}";
    }
    out_ += "]}";
  }
  template <class T>
  static bool is_constant(const doc::Track<T>& t, const T& v) {
    return !t.animated() && t.value == v && !negative_zero(t.value);
  }
  static bool negative_zero(float v) { return v == 0 && std::signbit(v); }
  static bool negative_zero(const max::Point3& p) {
    return negative_zero(p.x) || negative_zero(p.y) || negative_zero(p.z);
  }
  static bool negative_zero(const max::Quat& q) {
    return negative_zero(q.x) || negative_zero(q.y) || negative_zero(q.z) || negative_zero(q.w);
  }

  // A host-code-page text as a JSON string.
  void text(const std::string& cp932) {
    std::string utf8 = cp932_to_utf8(cp932);
    Cp932Result back = utf8_to_cp932(utf8);
    if (!back.ok || back.text != cp932) {
      throw SaveError{"the text \"" + utf8 + "\" is not in the host code page"};
    }
    out_ += "\"";
    for (char c : utf8) {
      auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (u < 0x20) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
        out_ += buffer;
      } else {
        out_ += c;
      }
    }
    out_ += "\"";
  }

  std::string relocated(const std::string& path) const {
    for (const auto& [from, to] : references_) {
      if (from == path) return to;
    }
    return path;
  }

  // ---- records
  void material(const doc::Material& m, int level) {
    open_object();
    field(level + 1, "name");
    text(m.name);
    static const char* const kClasses[] = {"standard", "multi", "kavro_standard", "kavro_morpher",
                                           "other"};
    if (m.cls != doc::MaterialClass::kStandard) {
      field(level + 1, "class");
      out_ += "\"";
      out_ += kClasses[static_cast<int>(m.cls)];
      out_ += "\"";
    }
    if (m.cls == doc::MaterialClass::kOther && (m.class_id[0] != 0 || m.class_id[1] != 0)) {
      field(level + 1, "class_id");
      out_ += "[";
      integer(m.class_id[0]);
      out_ += ", ";
      integer(m.class_id[1]);
      out_ += "]";
    }
    const doc::Material defaults;
    auto colour = [&](const char* key, const doc::PointTrack& t, const doc::PointTrack& def) {
      if (is_constant(t, def.value)) return;
      field(level + 1, key);
      track(t);
    };
    colour("ambient", m.ambient, defaults.ambient);
    colour("diffuse", m.diffuse, defaults.diffuse);
    colour("specular", m.specular, defaults.specular);
    colour("self_illum_color", m.self_illum_color, defaults.self_illum_color);
    if (m.self_illum_color_on) {
      field(level + 1, "self_illum_color_on");
      boolean(true);
    }
    if (!is_constant(m.opacity, 1.0f)) {
      field(level + 1, "opacity");
      track(m.opacity);
    }
    if (!m.params.empty()) {
      // By name, the first of a name: the order and the choice the reader makes.
      std::map<std::string, double> sorted;
      for (const auto& [key, v] : m.params) sorted.emplace(cp932_to_utf8(key), v);
      field(level + 1, "params");
      out_ += "{";
      bool first = true;
      for (const auto& [key, v] : sorted) {
        out_ += first ? "" : ", ";
        first = false;
        Cp932Result k = utf8_to_cp932(key);
        text(k.ok ? k.text : key);
        out_ += ": ";
        real(v);
      }
      out_ += "}";
    }
    if (m.has_diffuse_map) {
      field(level + 1, "diffuse_map");
      texmap(m.diffuse_map);
    }
    if (!m.sub_materials.empty()) {
      field(level + 1, "sub_materials");
      out_ += "[";
      for (std::size_t i = 0; i < m.sub_materials.size(); ++i) {
        out_ += i ? ",\n" : "\n";
        indent(level + 2);
        material(m.sub_materials[i], level + 2);
      }
      out_ += "\n";
      indent(level + 1);
      out_ += "]";
    }
    close_object(level);
  }

  void texmap(const doc::Texmap& t) {
    out_ += "{";
    bool first = true;
    inline_field(first, "class");
    out_ += t.cls == doc::TexmapClass::kBitmap ? "\"bitmap\"" : "\"procedural\"";
    if (!t.name.empty()) {
      inline_field(first, "name");
      text(t.name);
    }
    if (t.cls == doc::TexmapClass::kBitmap && !t.file.empty()) {
      inline_field(first, "file");
      text(relocated(t.file));
    }
    auto number = [&](const char* key, const doc::FloatTrack& track_value, float def) {
      if (is_constant(track_value, def)) return;
      inline_field(first, key);
      track(track_value);
    };
    number("u_offset", t.u_offset, 0);
    number("v_offset", t.v_offset, 0);
    number("u_tiling", t.u_tiling, 1);
    number("v_tiling", t.v_tiling, 1);
    number("w_angle", t.w_angle, 0);
    auto flag = [&](const char* key, int bit, bool def) {
      bool on = (t.tiling & bit) != 0;
      if (on == def) return;
      inline_field(first, key);
      boolean(on);
    };
    flag("u_wrap", doc::kUWrap, true);
    flag("v_wrap", doc::kVWrap, true);
    flag("u_mirror", doc::kUMirror, false);
    flag("v_mirror", doc::kVMirror, false);
    out_ += "}";
  }

  void node(const doc::Node& n) {
    const int level = 2;
    open_object();
    field(level + 1, "id");
    integer(n.id);
    field(level + 1, "name");
    text(n.name);
    if (n.parent != doc::kNone) {
      field(level + 1, "parent");
      integer(n.parent);
    }
    auto flag = [&](const char* key, bool on) {
      if (!on) return;
      field(level + 1, key);
      boolean(true);
    };
    flag("hidden", n.hidden);
    flag("target", n.target);
    flag("show_vertex_colors", n.show_vertex_colors);
    flag("exclude_geometry", n.exclude_geometry);
    if (!n.user_properties.empty()) {
      std::map<std::string, const doc::UserProperty*> sorted;
      for (const doc::UserProperty& p : n.user_properties) sorted.emplace(cp932_to_utf8(p.key), &p);
      field(level + 1, "user_properties");
      out_ += "{";
      bool first = true;
      for (const auto& [key, p] : sorted) {
        out_ += first ? "" : ", ";
        first = false;
        text(p->key);
        out_ += ": ";
        switch (p->kind) {
          case doc::UserProperty::kString:
            text(p->text);
            break;
          case doc::UserProperty::kBool:
            boolean(p->flag);
            break;
          case doc::UserProperty::kNumber:
            real(p->number);
            break;
        }
      }
      out_ += "}";
    }
    const doc::Transform& t = n.transform;
    bool position = !is_constant(t.position, max::Point3{0, 0, 0});
    bool rotation = !is_constant(t.rotation, max::Quat{});
    bool scale = !is_constant(t.scale, max::Point3{1, 1, 1});
    if (position || rotation || scale) {
      field(level + 1, "transform");
      out_ += "{";
      bool first = true;
      if (position) {
        inline_field(first, "position");
        track(t.position);
      }
      if (rotation) {
        inline_field(first, "rotation");
        track(t.rotation);
      }
      if (scale) {
        inline_field(first, "scale");
        track(t.scale);
      }
      out_ += "}";
    }
    if (!is_constant(n.visibility, 1.0f)) {
      field(level + 1, "visibility");
      track(n.visibility);
    }
    if (n.material != doc::kNone) {
      field(level + 1, "material");
      integer(n.material);
    }
    if (n.has_object) {
      field(level + 1, "object");
      object(n.object, level + 1);
    }
    close_object(level);
  }

  void object(const doc::Object& o, int level) {
    static const char* const kClasses[] = {
        "mesh",   "helper", "bone",        "ik_chain",      "legacy_bone", "light",
        "camera", "target", "nurbs_curve", "nurbs_surface", "nurbs_set",   "subdivision"};
    open_object();
    field(level + 1, "class");
    out_ += "\"";
    out_ += kClasses[static_cast<int>(o.cls)];
    out_ += "\"";
    bool offset_position =
        !(o.offset_position == max::Point3{0, 0, 0}) || negative_zero(o.offset_position);
    bool offset_rotation = !(o.offset_rotation == max::Quat{}) || negative_zero(o.offset_rotation);
    bool offset_scale = !(o.offset_scale == max::Point3{1, 1, 1});
    if (offset_position || offset_rotation || offset_scale) {
      field(level + 1, "offset");
      out_ += "{";
      bool first = true;
      if (offset_position) {
        inline_field(first, "position");
        point(o.offset_position);
      }
      if (offset_rotation) {
        inline_field(first, "rotation");
        quat(o.offset_rotation);
      }
      if (offset_scale) {
        inline_field(first, "scale");
        point(o.offset_scale);
      }
      out_ += "}";
    }
    if (o.has_mesh) {
      field(level + 1, "mesh");
      mesh(o.mesh, level + 1);
    }
    if (!o.modifiers.empty()) {
      field(level + 1, "modifiers");
      out_ += "[";
      for (std::size_t i = 0; i < o.modifiers.size(); ++i) {
        out_ += i ? ",\n" : "\n";
        indent(level + 2);
        modifier(o.modifiers[i], level + 2);
      }
      out_ += "\n";
      indent(level + 1);
      out_ += "]";
    }
    if (o.cls == doc::ObjectClass::kNurbsSet && !o.nurbs_kinds.empty()) {
      field(level + 1, "nurbs_objects");
      out_ += "[";
      for (std::size_t i = 0; i < o.nurbs_kinds.size(); ++i) {
        if (i) out_ += ", ";
        integer(o.nurbs_kinds[i]);
      }
      out_ += "]";
    }
    if (o.cls == doc::ObjectClass::kLight) {
      static const char* const kTypes[] = {"omni", "target_spot", "directional", "free_spot",
                                           "target_directional"};
      field(level + 1, "light");
      out_ += "{\"type\": \"";
      out_ += kTypes[static_cast<int>(o.light.type)];
      out_ += "\", \"on\": ";
      boolean(o.light.on);
      if (o.light.has_color) {
        out_ += ", \"color\": ";
        track(o.light.color);
      }
      out_ += "}";
    }
    if (o.cls == doc::ObjectClass::kCamera) {
      const doc::Camera& c = o.camera;
      field(level + 1, "camera");
      out_ += "{";
      bool first = true;
      if (c.target_node != doc::kNone) {
        inline_field(first, "target");
        integer(c.target_node);
      }
      inline_field(first, "target_distance");
      real(c.target_distance);
      if (c.roll.animated() || c.roll.value != 0 || negative_zero(c.roll.value)) {
        inline_field(first, "roll");
        track(c.roll);
      }
      inline_field(first, "projection");
      out_ += c.projection == 1 ? "\"ortho\"" : "\"perspective\"";
      inline_field(first, "near");
      real(c.near_plane);
      inline_field(first, "far");
      real(c.far_plane);
      inline_field(first, "fov");
      real(c.fov);
      inline_field(first, "aspect");
      real(c.aspect);
      inline_field(first, "ortho_width");
      real(c.ortho_width);
      inline_field(first, "ortho_height");
      real(c.ortho_height);
      out_ += "}";
    }
    close_object(level);
  }

  void point_list(const char* key, const std::vector<max::Point3>& points, int level, bool uv) {
    if (points.empty()) return;
    field(level, key);
    out_ += "[";
    for (std::size_t i = 0; i < points.size(); ++i) {
      out_ += i ? ",\n" : "\n";
      indent(level + 1);
      const max::Point3& p = points[i];
      if (uv && p.z == 0 && !std::signbit(p.z)) {
        out_ += "[";
        real(p.x);
        out_ += ", ";
        real(p.y);
        out_ += "]";
      } else {
        point(p);
      }
    }
    out_ += "\n";
    indent(level);
    out_ += "]";
  }

  void corners(const std::array<int, 3>& c) {
    out_ += "[";
    integer(c[0]);
    out_ += ", ";
    integer(c[1]);
    out_ += ", ";
    integer(c[2]);
    out_ += "]";
  }

  void mesh(const doc::Mesh& m, int level) {
    open_object();
    point_list("vertices", m.vertices, level + 1, false);
    // Normals are always written: without them the reader would make its
    // own from the faces.
    point_list("normals", m.normals, level + 1, false);
    point_list("texture_vertices", m.tex_vertices, level + 1, true);
    point_list("color_vertices", m.color_vertices, level + 1, false);
    if (!m.faces.empty()) {
      if (m.normals.empty()) throw SaveError{"a mesh with faces has no normals"};
      field(level + 1, "faces");
      out_ += "[";
      const std::array<int, 3> zero{0, 0, 0};
      for (std::size_t i = 0; i < m.faces.size(); ++i) {
        const doc::Face& f = m.faces[i];
        out_ += i ? ",\n" : "\n";
        indent(level + 2);
        // A channel index list is left out when it is what the reader
        // assumes: the vertex indices when the channel has entries, zeros
        // when it has none.
        bool t = f.t != (m.tex_vertices.empty() ? zero : f.v);
        bool c = f.c != (m.color_vertices.empty() ? zero : f.v);
        bool n = f.n != f.v;
        if (!t && !c && !n && f.material == 0) {
          corners(f.v);
          continue;
        }
        out_ += "{\"v\": ";
        corners(f.v);
        if (t) {
          out_ += ", \"t\": ";
          corners(f.t);
        }
        if (c) {
          out_ += ", \"c\": ";
          corners(f.c);
        }
        if (n) {
          out_ += ", \"n\": ";
          corners(f.n);
        }
        if (f.material != 0) {
          out_ += ", \"material\": ";
          integer(f.material);
        }
        out_ += "}";
      }
      out_ += "\n";
      indent(level + 1);
      out_ += "]";
    }
    if (!m.polygons.empty()) {
      field(level + 1, "polygons");
      out_ += "[";
      for (std::size_t i = 0; i < m.polygons.size(); ++i) {
        const doc::Polygon& p = m.polygons[i];
        out_ += i ? ",\n" : "\n";
        indent(level + 2);
        out_ += "{\"v\": [";
        for (std::size_t k = 0; k < p.v.size(); ++k) {
          if (k) out_ += ", ";
          integer(p.v[k]);
        }
        out_ += "]";
        if (p.material != 0) {
          out_ += ", \"material\": ";
          integer(p.material);
        }
        out_ += "}";
      }
      out_ += "\n";
      indent(level + 1);
      out_ += "]";
    }
    close_object(level);
  }

  void modifier(const doc::Modifier& m, int level) {
    open_object();
    static const char* const kTypes[] = {"skin", "morpher", "other"};
    field(level + 1, "type");
    out_ += "\"";
    out_ += kTypes[static_cast<int>(m.type)];
    out_ += "\"";
    if (m.type == doc::ModifierType::kOther) {
      field(level + 1, "internal_name");
      text(m.internal_name);
    }
    if (!m.enabled) {
      field(level + 1, "enabled");
      boolean(false);
    }
    if (m.type == doc::ModifierType::kSkin) {
      field(level + 1, "bones");
      out_ += "[";
      for (std::size_t i = 0; i < m.bones.size(); ++i) {
        if (i) out_ += ", ";
        integer(m.bones[i]);
      }
      out_ += "]";
      field(level + 1, "weights");
      out_ += "[";
      for (std::size_t v = 0; v < m.weights.size(); ++v) {
        out_ += v ? ",\n" : "\n";
        indent(level + 2);
        out_ += "[";
        for (std::size_t k = 0; k < m.weights[v].size(); ++k) {
          if (k) out_ += ", ";
          out_ += "[";
          integer(m.weights[v][k].bone);
          out_ += ", ";
          real(m.weights[v][k].weight);
          out_ += "]";
        }
        out_ += "]";
      }
      if (!m.weights.empty()) {
        out_ += "\n";
        indent(level + 1);
      }
      out_ += "]";
    }
    if (m.type == doc::ModifierType::kMorpher && !m.channels.empty()) {
      field(level + 1, "channels");
      out_ += "[";
      for (std::size_t i = 0; i < m.channels.size(); ++i) {
        if (i) out_ += ", ";
        track(m.channels[i]);
      }
      out_ += "]";
    }
    close_object(level);
  }

  const std::vector<std::pair<std::string, std::string>>& references_;
  const std::vector<host::PluginClassData>& class_data_;
  std::string out_;
};

}  // namespace

bool scene_document_text(const doc::SceneDocument& document,
                         const std::vector<std::pair<std::string, std::string>>& image_references,
                         std::string& text, std::string& error,
                         const std::vector<PluginClassData>* class_data) {
  try {
    Writer writer(image_references, class_data != nullptr ? *class_data : document.class_data);
    text = writer.run(document);
    return true;
  } catch (const SaveError& e) {
    error = e.text;
    return false;
  }
}

}  // namespace kavro::host
