// Reads the nodes of a scene document and their objects (offsets, lights,
// cameras).
#include <cstddef>
#include <string>
#include <utility>

#include "host/scene_document_json.h"

namespace kavro::doc::json_reader {

Node Reader::read_node(const Value& v) {
  v.only({"id", "name", "parent", "hidden", "target", "show_vertex_colors", "exclude_geometry",
          "user_properties", "transform", "visibility", "material", "object"});
  Node n;
  if (!v.has("id")) v.fail("a node needs \"id\"");
  n.id = v.at("id").integer(0);
  if (!ids_.insert(n.id).second) v.at("id").fail("another node has the id " + std::to_string(n.id));
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

Object Reader::read_object(const Value& v) {
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
    if (o.cls != ObjectClass::kNurbsSet) v.at("nurbs_objects").fail("only a nurbs_set has objects");
    Value ks = v.at("nurbs_objects");
    ks.expect_array();
    for (std::size_t i = 0; i < ks.size(); ++i) o.nurbs_kinds.push_back(ks.at(i).integer(0, 1000));
  }
  if (v.has("light")) {
    if (o.cls != ObjectClass::kLight) v.at("light").fail("only a light object has light settings");
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

}  // namespace kavro::doc::json_reader
