// Reads the materials of a scene document and their texture maps.
#include <cstdint>
#include <string>

#include "host/scene_document_json.h"

namespace kavro::doc::json_reader {

Material Reader::read_material(const Value& v, int depth) {
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
    m.sub_materials.reserve(subs.size());
    for (std::size_t i = 0; i < subs.size(); ++i) {
      m.sub_materials.push_back(read_material(subs.at(i), depth + 1));
    }
  }
  return m;
}

Texmap Reader::read_texmap(const Value& v) {
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

}  // namespace kavro::doc::json_reader
