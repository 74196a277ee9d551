#include "menu/material_attribute_tool.h"

#include <algorithm>

#include "host/scene_edit.h"

namespace kavro::menu {
namespace {

const std::vector<std::string> kDisplayFace = {"Front Face", "Back Face", "Both Face"};
const std::vector<std::string> kPolygonMode = {"Modulate", "Decal", "Toon / Highlight", "Shadow"};
const std::vector<std::string> kTexGen = {"None", "TexCoord", "Normal", "Vertex"};
const std::vector<std::string> kTexGenSt = {"Polygon", "Material"};
const std::vector<std::string> kCompress = {"Compress if possible", "Don't compress"};

// The platform material a node's attributes are read from: its own material
// when that is a platform one, else the first platform sub-material of a
// multi-material.
const doc::Material* attribute_source(const doc::SceneDocument& scene, const doc::Node& node) {
  const doc::Material* m = host::node_material(scene, node);
  if (m == nullptr) return nullptr;
  if (host::is_platform_material(*m)) return m;
  if (m->cls == doc::MaterialClass::kMulti) {
    for (const doc::Material& sub : m->sub_materials) {
      if (host::is_platform_material(sub)) return &sub;
    }
  }
  return nullptr;
}

}  // namespace

const std::array<MaterialAttributeField, 9>& material_attribute_fields() {
  static const std::array<MaterialAttributeField, 9> fields = {{
      {"light", &MaterialAttributes::light, 0},
      {"displayFace", &MaterialAttributes::display_face, 3},
      {"wireFrame", &MaterialAttributes::wire_frame, 0},
      {"polyMode", &MaterialAttributes::polygon_mode, 4},
      {"polyID", &MaterialAttributes::polygon_id, 0},
      {"texGen", &MaterialAttributes::tex_gen, 4},
      {"texGenST", &MaterialAttributes::tex_gen_st, 2},
      {"comPress", &MaterialAttributes::compress, 2},
      {"iflLoop", &MaterialAttributes::ifl_loop, 0},
  }};
  return fields;
}

int clamp_polygon_id(const std::string& text) {
  int value = host::read_dialog_int(text);
  return std::clamp(value, 0, 63);
}

MaterialAttributeTool::MaterialAttributeTool(host::PluginHost& host,
                                             MaterialAttributeMemory& memory)
    : ToolWindow(host, "KAVRO Set Material Attribute", 108), memory_(memory) {
  add(kMatNames, host::ControlKind::kLabel, "");
  add(kMatLighting, host::ControlKind::kCheck, "Lighting");
  add(kMatDisplayFace, host::ControlKind::kCombo, "Display Face").choices = kDisplayFace;
  add(kMatWireFrame, host::ControlKind::kCheck, "Wire Frame");
  add(kMatPolygonMode, host::ControlKind::kCombo, "Polygon Mode").choices = kPolygonMode;
  add(kMatPolygonId, host::ControlKind::kEdit, "Polygon ID");
  add(kMatTexGenMode, host::ControlKind::kCombo, "Tex Gen Mode").choices = kTexGen;
  add(kMatTexGenStLabel, host::ControlKind::kLabel, "Tex Gen ST Source");
  add(kMatTexGenSt, host::ControlKind::kCombo, "Tex Gen ST Source").choices = kTexGenSt;
  add(kMatCompress, host::ControlKind::kCombo, "Compress").choices = kCompress;
  add(kMatIflLoop, host::ControlKind::kCheck, "Loop IFL Texture Animation");
  add(kMatClose, host::ControlKind::kButton, "Close");
}

void MaterialAttributeTool::open() {
  loaded_ = false;
  mark_open();
  for (int id : {kMatDisplayFace, kMatPolygonMode, kMatTexGenMode, kMatTexGenSt, kMatCompress}) {
    at(id).selection = 0;
  }
  set_enabled(kMatTexGenSt, false);
  set_enabled(kMatTexGenStLabel, false);
  at(kMatPolygonId).text_size = 3;  // two characters
  refresh();
}

void MaterialAttributeTool::refresh() {
  doc::SceneDocument& scene = host_.scene();
  std::vector<int> selection = host_.session.selection();
  bool any = std::any_of(selection.begin(), selection.end(), [&](int n) {
    const doc::Material* m = host::node_material(scene, scene.nodes[n]);
    return m != nullptr && host::is_platform_material(*m);
  });
  if (!any) {
    at(kMatNames).text = "(No KAVRO material selected)";
    return;
  }
  at(kMatNames).text = selection_names(scene, selection, "");
  const doc::Material* source = attribute_source(scene, scene.nodes[selection.front()]);
  if (source == nullptr) return;  // nothing to show: keep the state unloaded
  for (const MaterialAttributeField& f : material_attribute_fields()) {
    int value = host::material_int(*source, f.parameter);
    memory_.state.*f.field = f.list_size > 0 ? value - 1 : value;
  }
  show_state();
  loaded_ = true;
}

void MaterialAttributeTool::show_state() {
  const MaterialAttributes& s = memory_.state;
  set_checked(kMatLighting, s.light != 0);
  set_checked(kMatWireFrame, s.wire_frame != 0);
  set_checked(kMatIflLoop, s.ifl_loop != 0);
  auto list = [&](int id, int value) {
    host::DialogControl& c = at(id);
    c.selection = value >= 0 && value < static_cast<int>(c.choices.size()) ? value : -1;
  };
  list(kMatDisplayFace, s.display_face);
  list(kMatPolygonMode, s.polygon_mode);
  list(kMatTexGenMode, s.tex_gen);
  list(kMatTexGenSt, s.tex_gen_st);
  list(kMatCompress, s.compress);
  at(kMatPolygonId).text = std::to_string(s.polygon_id);
  update_tex_gen_st();
}

void MaterialAttributeTool::update_tex_gen_st() {
  bool on = memory_.state.tex_gen == 2 || memory_.state.tex_gen == 3;
  set_enabled(kMatTexGenSt, on);
  set_enabled(kMatTexGenStLabel, on);
}

void MaterialAttributeTool::clicked(int id) {
  MaterialAttributes& s = memory_.state;
  switch (id) {
    case kMatLighting:
      s.light = control(id).checked ? 1 : 0;
      break;
    case kMatWireFrame:
      s.wire_frame = control(id).checked ? 1 : 0;
      break;
    case kMatIflLoop:
      s.ifl_loop = control(id).checked ? 1 : 0;
      break;
    case kMatClose:
      close();
      return;
    default:
      return;
  }
  apply();
}

void MaterialAttributeTool::chosen(int id, int index) {
  MaterialAttributes& s = memory_.state;
  switch (id) {
    case kMatDisplayFace:
      s.display_face = index;
      break;
    case kMatPolygonMode:
      s.polygon_mode = index;
      break;
    case kMatTexGenMode:
      s.tex_gen = index;
      update_tex_gen_st();
      break;
    case kMatTexGenSt:
      s.tex_gen_st = index;
      break;
    case kMatCompress:
      s.compress = index;
      break;
    default:
      return;
  }
  apply();
}

void MaterialAttributeTool::edited(int id) {
  if (id != kMatPolygonId) return;
  memory_.state.polygon_id = clamp_polygon_id(control(id).text);
  apply();
}

void MaterialAttributeTool::apply() {
  if (!loaded_) return;
  doc::SceneDocument& scene = host_.scene();
  for (int n : host_.session.selection()) {
    doc::Material* m = host::node_material(scene, scene.nodes[n]);
    if (m == nullptr || !host::is_platform_material(*m)) continue;
    for (const MaterialAttributeField& f : material_attribute_fields()) {
      int value = memory_.state.*f.field;
      host::SetMaterialParam(*m, f.parameter, f.list_size > 0 ? value + 1 : value);
    }
  }
}

void MaterialAttributeTool::close() {
  finish_close();
}

}  // namespace kavro::menu
