#include "menu/tool_window.h"

#include <algorithm>

#include "host/scene_edit.h"

namespace kavro::menu {

const host::DialogControl& ToolWindow::control(int id) const {
  for (const host::DialogControl& c : controls_) {
    if (c.id == id) return c;
  }
  static const host::DialogControl missing{};
  return missing;
}

bool ToolWindow::has_control(int id) const {
  return std::any_of(controls_.begin(), controls_.end(),
                     [&](const host::DialogControl& c) { return c.id == id; });
}

host::DialogControl& ToolWindow::at(int id) {
  for (host::DialogControl& c : controls_) {
    if (c.id == id) return c;
  }
  static host::DialogControl scratch;
  scratch = {};
  return scratch;
}

host::DialogControl& ToolWindow::add(int id, host::ControlKind kind, const std::string& label) {
  controls_.push_back({});
  host::DialogControl& c = controls_.back();
  c.id = id;
  c.kind = kind;
  c.label = label;
  return c;
}

void ToolWindow::check_radio(int id, const std::vector<int>& group) {
  for (int other : group) at(other).checked = other == id;
}

void ToolWindow::click(int id) {
  if (!open_ || !has_control(id) || !control(id).enabled) return;
  host::DialogControl& c = at(id);
  if (c.kind == host::ControlKind::kCheck) c.checked = !c.checked;
  clicked(id);
}

void ToolWindow::choose(int id, int index) {
  if (!open_ || !has_control(id) || !control(id).enabled) return;
  host::DialogControl& c = at(id);
  if (c.kind == host::ControlKind::kCombo) {
    if (index < 0 || index >= static_cast<int>(c.choices.size())) return;
    c.selection = index;
  }
  chosen(id, index);
}

void ToolWindow::edit(int id, const std::string& text) {
  if (!open_ || !has_control(id) || !control(id).enabled) return;
  host::DialogControl& c = at(id);
  c.text = text;
  if (c.text_size > 0 && c.text.size() > c.text_size - 1) c.text.resize(c.text_size - 1);
  edited(id);
}

void ToolWindow::finish_close() {
  if (!open_) return;
  open_ = false;
  if (on_closed) on_closed(*this);
}

std::string selection_names(const doc::SceneDocument& scene, const std::vector<int>& selection,
                            const std::string& none) {
  if (selection.empty()) return none;
  std::string text;
  for (std::size_t i = 0; i < selection.size() && i < 3; ++i) {
    if (i > 0) text += ", ";
    text += scene.nodes[selection[i]].name;
  }
  if (selection.size() > 3) text += ", ...";
  return text;
}

void select_by_rule(host::PluginHost& host, const std::vector<int>& candidates,
                    const std::function<bool(int node_index)>& rule) {
  host.session.ClearSelection();
  host.undo.Begin();
  for (int node : candidates) {
    if (rule(node)) host.session.SelectNode(node, false);
  }
  host.undo.Accept("Select");
  host.redraws.RedrawViews();
}

void restore_selection(host::PluginHost& host, const std::vector<int>& saved) {
  for (int node : host.session.nodes_depth_first()) {
    int id = host.scene().nodes[node].id;
    if (std::find(saved.begin(), saved.end(), id) != saved.end()) {
      host.session.SelectNode(node, false);
    } else {
      host::DeselectNode(host.scene(), node);
    }
  }
  host.redraws.RedrawViews();
}

std::vector<int> selected_ids(host::PluginHost& host) {
  std::vector<int> ids;
  for (int node : host.session.selection()) ids.push_back(host.scene().nodes[node].id);
  return ids;
}

bool valid_name(const std::string& text) {
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              c == ' ' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace kavro::menu
