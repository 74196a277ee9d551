// Writes the materials of a scene document and their texture maps.
#include "host/scene_document_save.h"

namespace kavro::host::document_writer {

void Writer::material(const doc::Material& m, int level) {
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

void Writer::texmap(const doc::Texmap& t) {
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

}  // namespace kavro::host::document_writer
