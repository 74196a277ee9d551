// Writes the nodes of a scene document and their objects.
#include "host/scene_document_save.h"

namespace kavro::host::document_writer {

void Writer::node(const doc::Node& n) {
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

void Writer::object(const doc::Object& o, int level) {
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

}  // namespace kavro::host::document_writer
