#include "menu/marking_tools.h"

#include <algorithm>

#include "host/scene_edit.h"

namespace kavro::menu {

const char* const kBillboardKey = "Kvs_billboard";
const char* const kNoCutKey = "Kvs_no_cut";

const std::vector<std::string>& billboard_words() {
  static const std::vector<std::string> words = {"No_Billboard", "Billboard", "Y-Billboard"};
  return words;
}

const doc::Material* examined_material(const doc::SceneDocument& scene, const doc::Node& node) {
  const doc::Material* m = host::node_material(scene, node);
  while (m != nullptr && m->cls == doc::MaterialClass::kMulti) {
    m = m->sub_materials.empty() ? nullptr : &m->sub_materials.front();
  }
  return m != nullptr && host::is_platform_material(*m) ? m : nullptr;
}

// ---------------------------------------------------------------------------
// Set Billboard, Set No Cut Node

SetPropertyTool::SetPropertyTool(host::PluginHost& host, bool billboard)
    : ToolWindow(host, billboard ? "KAVRO Set Billboard" : "KAVRO Set No Cut Node",
                 billboard ? 103 : 105),
      billboard_(billboard) {
  add(names_id(), host::ControlKind::kLabel, "Node Names");
  host::DialogControl& combo =
      add(combo_id(), host::ControlKind::kCombo, billboard ? "Billboard" : "No Cut");
  combo.choices =
      billboard ? std::vector<std::string>{"No Billboard", "Billboard", "Y-Billboard"}
                : std::vector<std::string>{"Cut this node if possible", "Don't cut this node"};
  add(kShowClose, host::ControlKind::kButton, "Close");
}

void SetPropertyTool::open() {
  mark_open();
  refresh();
}

void SetPropertyTool::refresh() {
  doc::SceneDocument& scene = host_.scene();
  std::vector<int> selection = host_.session.selection();
  at(names_id()).text = selection_names(scene, selection, "(No transform node is selected)");
  int value = 0;
  if (!selection.empty()) {
    const doc::Node& first = scene.nodes[selection.front()];
    if (billboard_) {
      std::string word;
      if (host::GetUserPropString(first, kBillboardKey, word)) {
        const auto& words = billboard_words();
        auto found = std::find(words.begin(), words.end(), word);
        if (found != words.end()) value = static_cast<int>(found - words.begin());
      }
    } else {
      bool flag = false;
      if (host::GetUserPropBool(first, kNoCutKey, flag) && flag) value = 1;
    }
  }
  shown_ = value;
  at(combo_id()).selection = value;
  set_enabled(combo_id(), !selection.empty());
}

void SetPropertyTool::clicked(int id) {
  if (id == kShowClose) finish_close();
}

void SetPropertyTool::chosen(int id, int index) {
  if (id != combo_id() || index == shown_) return;
  shown_ = index;
  doc::SceneDocument& scene = host_.scene();
  for (int n : host_.session.selection()) {
    if (billboard_) {
      host::SetUserPropString(scene.nodes[n], kBillboardKey, billboard_words()[index]);
    } else {
      host::SetUserPropBool(scene.nodes[n], kNoCutKey, index == 1);
    }
  }
}

// ---------------------------------------------------------------------------
// The "Show" windows

ShowWindow::ShowWindow(host::PluginHost& host, std::string caption, int resource, int keep_id,
                       int close_id)
    : ToolWindow(host, std::move(caption), resource), keep_id_(keep_id), close_id_(close_id) {}

void ShowWindow::open_show() {
  saved_ = selected_ids(host_);
  set_checked(keep_id_, true);
  mark_open();
}

void ShowWindow::clicked(int id) {
  if (id == close_id_) {
    close_button();
  } else if (id != keep_id_) {
    radio(id);
  }
}

void ShowWindow::close_button() {
  if (!control(keep_id_).checked) restore_selection(host_, saved_);
  finish_close();
}

void ShowWindow::close_command() {
  finish_close();
}

ShowBillboardTool::ShowBillboardTool(host::PluginHost& host)
    : ShowWindow(host, "KAVRO Show Billboard", 104, kBillboardKeep, kShowClose) {
  add(kBillboardRadio, host::ControlKind::kRadio, "Billboard");
  add(kYBillboardRadio, host::ControlKind::kRadio, "Y-Billboard");
  add(kBillboardKeep, host::ControlKind::kCheck, "Keep Selection");
  add(kShowClose, host::ControlKind::kButton, "Close");
}

void ShowBillboardTool::radio(int id) {
  check_radio(id, {kBillboardRadio, kYBillboardRadio});
  const std::string& wanted = billboard_words()[id == kBillboardRadio ? 1 : 2];
  const doc::SceneDocument& scene = host_.scene();
  select_by_rule(host_, host_.session.nodes_depth_first(), [&](int n) {
    std::string word;
    return host::GetUserPropString(scene.nodes[n], kBillboardKey, word) && word == wanted;
  });
}

ShowDisplayFaceTool::ShowDisplayFaceTool(host::PluginHost& host)
    : ShowWindow(host, "KAVRO Show Display Face", 102, kDisplayFaceKeep, kShowClose) {
  add(kFrontFaceRadio, host::ControlKind::kRadio, "Front Face");
  add(kBackFaceRadio, host::ControlKind::kRadio, "Back Face");
  add(kBothFaceRadio, host::ControlKind::kRadio, "Both Face");
  add(kDisplayFaceKeep, host::ControlKind::kCheck, "Keep Selection");
  add(kShowClose, host::ControlKind::kButton, "Close");
}

void ShowDisplayFaceTool::radio(int id) {
  const std::vector<int> group = {kFrontFaceRadio, kBackFaceRadio, kBothFaceRadio};
  check_radio(id, group);
  int wanted = static_cast<int>(std::find(group.begin(), group.end(), id) - group.begin()) + 1;
  const doc::SceneDocument& scene = host_.scene();
  select_by_rule(host_, host_.session.nodes_depth_first(), [&](int n) {
    const doc::Material* m = examined_material(scene, scene.nodes[n]);
    return m != nullptr && host::material_int(*m, "displayFace") == wanted;
  });
}

bool lighting_matches(const doc::Material& material, int rule) {
  int on[4];
  for (int i = 0; i < 4; ++i) on[i] = host::material_int(material, "light_" + std::to_string(i));
  switch (rule) {
    case 0:
      return on[0] == 0 && on[1] == 0 && on[2] == 0 && on[3] == 0;
    case 1:
    case 2:
    case 3:
    case 4:
      return on[rule - 1] != 0;
    default:
      return on[0] != 0 || on[1] != 0 || on[2] != 0 || on[3] != 0;
  }
}

ShowLightingTool::ShowLightingTool(host::PluginHost& host)
    : ShowWindow(host, "KAVRO Show Lighting", 101, kLightingKeep, kShowClose) {
  add(kLightOffRadio, host::ControlKind::kRadio, "Off");
  add(kLight0Radio, host::ControlKind::kRadio, "Light0 On");
  add(kLight1Radio, host::ControlKind::kRadio, "Light1 On");
  add(kLight2Radio, host::ControlKind::kRadio, "Light2 On");
  add(kLight3Radio, host::ControlKind::kRadio, "Light3 On");
  add(kAnyLightRadio, host::ControlKind::kRadio, "Any Light On");
  add(kLightingKeep, host::ControlKind::kCheck, "Keep Selection");
  add(kShowClose, host::ControlKind::kButton, "Close");
}

void ShowLightingTool::radio(int id) {
  const std::vector<int> group = {kLightOffRadio, kLight0Radio, kLight1Radio,
                                  kLight2Radio,   kLight3Radio, kAnyLightRadio};
  check_radio(id, group);
  int rule = static_cast<int>(std::find(group.begin(), group.end(), id) - group.begin());
  const doc::SceneDocument& scene = host_.scene();
  select_by_rule(host_, host_.session.nodes_depth_first(), [&](int n) {
    const doc::Material* m = examined_material(scene, scene.nodes[n]);
    return m != nullptr && lighting_matches(*m, rule);
  });
}

// ---------------------------------------------------------------------------
// Show Render Priority

const std::vector<std::string>& priority_compare_labels() {
  static const std::vector<std::string> labels = {"< : ( under )", "<= : ( below )",
                                                  "= ( exactly )", ">= ( above )", "> : ( over )"};
  return labels;
}

int render_priority(const doc::Material& material) {
  if (host::material_int(material, "priorityRadio") == 1) return 0;
  return host::material_int(material, "priorityValue");
}

bool priority_matches(int p, int v, PriorityCompare compare) {
  if (p == 0 && v != 0) return false;
  switch (compare) {
    case PriorityCompare::kLess:
      return p < v;
    case PriorityCompare::kLessEqual:
      return p <= v;
    case PriorityCompare::kEqual:
      return p == v;
    case PriorityCompare::kGreaterEqual:
      return p >= v;
    case PriorityCompare::kGreater:
      return p > v;
  }
  return false;
}

bool node_priority_matches(const doc::SceneDocument& scene, const doc::Node& node, int v,
                           PriorityCompare compare) {
  if (!node.has_object || node.object.cls != doc::ObjectClass::kMesh) return false;
  const bool zero_rule = v == 0 && compare == PriorityCompare::kEqual;
  auto counts = [&](const doc::Material* m) {
    if (m == nullptr || !host::is_platform_material(*m)) return zero_rule;
    return priority_matches(render_priority(*m), v, compare);
  };
  const doc::Material* m = host::node_material(scene, node);
  if (m != nullptr && m->cls == doc::MaterialClass::kMulti && !m->sub_materials.empty()) {
    const auto count = static_cast<int>(m->sub_materials.size());
    std::vector<bool> seen(m->sub_materials.size(), false);
    for (const doc::Face& f : node.object.mesh.faces) {
      int sub = ((f.material % count) + count) % count;  // ids wrap over the sub-materials
      if (seen[sub]) continue;
      seen[sub] = true;
      if (counts(&m->sub_materials[sub])) return true;
    }
    return false;
  }
  return counts(m);
}

ShowRenderPriorityTool::ShowRenderPriorityTool(host::PluginHost& host, RenderPriorityMemory& memory)
    : ShowWindow(host, "KAVRO Show Render Priority", 113, kPriorityKeep, kPriorityClose),
      memory_(memory) {
  add(kPriorityDontCare, host::ControlKind::kRadio, "Don't Care");
  add(kPriorityRadio, host::ControlKind::kRadio, "");
  add(kPriorityCompare, host::ControlKind::kCombo, "").choices = priority_compare_labels();
  add(kPriorityValue, host::ControlKind::kEdit, "");
  add(kPriorityKeep, host::ControlKind::kCheck, "Keep Selection");
  add(kPriorityClose, host::ControlKind::kButton, "Close");
}

void ShowRenderPriorityTool::open() {
  open_show();
  at(kPriorityValue).text = "1";
  at(kPriorityCompare).selection = memory_.compare;
  check_radio(memory_.dont_care ? kPriorityDontCare : kPriorityRadio,
              {kPriorityDontCare, kPriorityRadio});
}

void ShowRenderPriorityTool::radio(int id) {
  if (id == kPriorityDontCare) {
    check_radio(kPriorityDontCare, {kPriorityDontCare, kPriorityRadio});
    const doc::SceneDocument& scene = host_.scene();
    select_by_rule(host_, host_.session.nodes_depth_first(), [&](int n) {
      return node_priority_matches(scene, scene.nodes[n], 0, PriorityCompare::kEqual);
    });
  } else if (id == kPriorityRadio) {
    check_radio(kPriorityRadio, {kPriorityDontCare, kPriorityRadio});
    select_value();
  }
}

void ShowRenderPriorityTool::chosen(int id, int index) {
  if (id != kPriorityCompare) return;
  memory_.compare = index;
  edited(kPriorityValue);
}

void ShowRenderPriorityTool::edited(int id) {
  if (id != kPriorityValue) return;
  if (control(kPriorityDontCare).checked) {
    radio(kPriorityDontCare);
  } else {
    radio(kPriorityRadio);
  }
}

void ShowRenderPriorityTool::select_value() {
  // The edit takes digits only; its value is the number they make.
  unsigned long long value = 0;
  for (char c : control(kPriorityValue).text) {
    if (c < '0' || c > '9') break;
    value = std::min<unsigned long long>(value * 10 + static_cast<unsigned>(c - '0'), 0x7fffffff);
  }
  const int v = static_cast<int>(value);
  const auto compare = static_cast<PriorityCompare>(memory_.compare);
  const doc::SceneDocument& scene = host_.scene();
  select_by_rule(host_, host_.session.nodes_depth_first(),
                 [&](int n) { return node_priority_matches(scene, scene.nodes[n], v, compare); });
}

void ShowRenderPriorityTool::close_button() {
  // Like the other "Show" windows: "Keep Selection" keeps what was shown.
  memory_.dont_care = control(kPriorityDontCare).checked;
  ShowWindow::close_button();
}

void ShowRenderPriorityTool::close_command() {
  memory_.dont_care = control(kPriorityDontCare).checked;
  restore_selection(host_, saved_);
  finish_close();
}

void show_no_cut_nodes(host::PluginHost& host) {
  const doc::SceneDocument& scene = host.scene();
  select_by_rule(host, host.session.nodes_depth_first(), [&](int n) {
    bool flag = false;
    return host::GetUserPropBool(scene.nodes[n], kNoCutKey, flag) && flag;
  });
}

}  // namespace kavro::menu
