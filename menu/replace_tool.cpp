#include "menu/replace_tool.h"

#include <algorithm>

#include "host/scene_edit.h"

namespace kavro::menu {
namespace {

bool lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}

// Changes the letter case of the ASCII letters; the second byte of a
// double-byte character is left alone.
std::string with_case(const std::string& text, bool upper) {
  std::string out = text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (lead_byte(c)) {
      ++i;
      continue;
    }
    if (upper && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

const char* const kMaterialEditorRefreshScript =
    "(objList = $*; for i = 1 to objList.count do ( if (objList[i].material == undefined) do ( "
    "continue; ); local idx = findItem meditMaterials objList[i].material; if (idx == 0) do ( "
    "continue; ); setMeditMaterial idx objList[i].material; ))";

bool replaced_name(const std::string& name, ReplaceMode mode, const std::string& search,
                   const std::string& replace, bool match_case, std::string& out) {
  if (mode != ReplaceMode::kSequence) {
    out = with_case(name, mode == ReplaceMode::kUpper);
    return out != name;
  }
  const bool prefix = !search.empty() && search[0] == '^';
  const bool suffix = !search.empty() && search[0] == '$';
  const std::string word = prefix || suffix ? search.substr(1) : search;
  if (word.empty()) return false;
  const std::string hay = match_case ? name : with_case(name, false);
  const std::string needle = match_case ? word : with_case(word, false);
  if (prefix) {
    if (hay.compare(0, needle.size(), needle) != 0) return false;
    out = replace + name.substr(needle.size());
  } else if (suffix) {
    if (hay.size() < needle.size() ||
        hay.compare(hay.size() - needle.size(), needle.size(), needle) != 0) {
      return false;
    }
    out = name.substr(0, name.size() - needle.size()) + replace;
  } else {
    std::size_t at = hay.find(needle);
    if (at == std::string::npos) return false;
    out.clear();
    std::size_t from = 0;
    while (at != std::string::npos) {
      out += name.substr(from, at - from) + replace;
      from = at + needle.size();
      at = hay.find(needle, from);
    }
    out += name.substr(from);
  }
  return out != name;
}

ReplaceTool::ReplaceTool(host::PluginHost& host, ReplaceMemory& memory)
    : ToolWindow(host, "KAVRO Replace Character", 110), memory_(memory) {
  add(kReplaceObject, host::ControlKind::kCheck, "Object");
  add(kReplaceMaterial, host::ControlKind::kCheck, "Material");
  add(kReplaceMode, host::ControlKind::kCombo, "Replace Mode").choices = {
      "Character Sequence", "Small to Capital Letter", "Capital to Small Letter"};
  add(kReplaceMatchCase, host::ControlKind::kCheck, "Match Case");
  add(kReplaceSearchWord, host::ControlKind::kEdit, "");
  add(kReplaceArrow, host::ControlKind::kLabel, ">>");
  add(kReplaceReplaceWord, host::ControlKind::kEdit, "");
  add(kReplaceSearch, host::ControlKind::kButton, "Search");
  add(kReplaceList, host::ControlKind::kLabel, "Search Result : Before >> After");
  add(kReplaceSelectAll, host::ControlKind::kButton, "Select All");
  add(kReplaceCounter, host::ControlKind::kLabel, "");
  add(kReplaceApplyClose, host::ControlKind::kButton, "Apply and Close");
  add(kReplaceApply, host::ControlKind::kButton, "Apply");
  add(kReplaceClose, host::ControlKind::kButton, "Close");
}

void ReplaceTool::open() {
  mark_open();
  set_checked(kReplaceObject, (memory_.word & 1u) != 0);
  set_checked(kReplaceMaterial, (memory_.word & 2u) != 0);
  set_checked(kReplaceMatchCase, (memory_.word & 4u) != 0);
  unsigned mode = memory_.word >> 3;
  at(kReplaceMode).selection = mode < 3 ? static_cast<int>(mode) : 0;
  host_.session.ClearSelection();
  results_.clear();
  selected_.clear();
  update_counter();
  mode_rule();
}

void ReplaceTool::mode_rule() {
  bool sequence = control(kReplaceMode).selection == 0;
  for (int id : {kReplaceMatchCase, kReplaceSearchWord, kReplaceReplaceWord, kReplaceArrow}) {
    set_enabled(id, sequence);
  }
}

void ReplaceTool::store_memory() {
  unsigned word = 0;
  if (control(kReplaceObject).checked) word |= 1u;
  if (control(kReplaceMaterial).checked) word |= 2u;
  if (control(kReplaceMatchCase).checked) word |= 4u;
  word |= static_cast<unsigned>(control(kReplaceMode).selection) << 3;
  memory_.word = word;
}

std::vector<std::string> ReplaceTool::lines() const {
  std::vector<std::string> out;
  for (const Result& r : results_) out.push_back(r.old_name + " >> " + r.new_name);
  return out;
}

void ReplaceTool::update_counter() {
  const int total = static_cast<int>(results_.size());
  const int chosen = static_cast<int>(std::count(selected_.begin(), selected_.end(), true));
  set_enabled(kReplaceSelectAll, total > 0);
  set_enabled(kReplaceCounter, total > 0);
  at(kReplaceCounter).text = "Select: " + std::to_string(chosen) + " / " + std::to_string(total);
  set_enabled(kReplaceApply, chosen > 0);
  set_enabled(kReplaceApplyClose, chosen > 0);
}

void ReplaceTool::select_lines(const std::vector<int>& lines) {
  std::fill(selected_.begin(), selected_.end(), false);
  for (int line : lines) {
    if (line >= 0 && line < static_cast<int>(selected_.size())) selected_[line] = true;
  }
  update_counter();
}

bool ReplaceTool::search() {
  results_.clear();
  selected_.clear();
  update_counter();
  const bool objects = control(kReplaceObject).checked;
  const bool materials = control(kReplaceMaterial).checked;
  if (!objects && !materials) return true;
  const auto mode = static_cast<ReplaceMode>(control(kReplaceMode).selection);
  const std::string& search_word = control(kReplaceSearchWord).text;
  const std::string& replace_word = control(kReplaceReplaceWord).text;
  const bool match_case = control(kReplaceMatchCase).checked;
  if (mode == ReplaceMode::kSequence) {
    std::string bare = search_word;
    if (!bare.empty() && (bare[0] == '^' || bare[0] == '$')) bare.erase(0, 1);
    std::string refusal;
    if (search_word.empty()) {
      refusal = "Error: Search word is empty.";
    } else if (!valid_name(bare)) {
      refusal = "Error: Invalid search word: \"" + bare + "\"";
    } else if (!valid_name(replace_word)) {
      refusal = "Error: Invalid replace word: \"" + replace_word + "\"";
    }
    if (!refusal.empty()) {
      host_.host.message_box(refusal, "Error", host::MessageIcon::kError);
      return false;
    }
  }
  doc::SceneDocument& scene = host_.scene();
  std::string renamed;
  if (objects) {
    for (int n : host_.session.nodes_depth_first()) {
      const doc::Node& node = scene.nodes[n];
      if (replaced_name(node.name, mode, search_word, replace_word, match_case, renamed)) {
        results_.push_back({true, node.id, {}, node.name, renamed});
      }
    }
  }
  if (materials) {
    // The materials the scene's nodes use, each once, in the order the
    // nodes reach them (sub-materials after their parent, depth first).
    std::vector<std::vector<int>> seen;
    std::vector<int> path;
    auto visit = [&](auto& self, const doc::Material& m) -> void {
      if (std::find(seen.begin(), seen.end(), path) != seen.end()) return;
      seen.push_back(path);
      if (replaced_name(m.name, mode, search_word, replace_word, match_case, renamed)) {
        results_.push_back({false, 0, path, m.name, renamed});
      }
      for (std::size_t i = 0; i < m.sub_materials.size(); ++i) {
        path.push_back(static_cast<int>(i));
        self(self, m.sub_materials[i]);
        path.pop_back();
      }
    };
    for (int n : host_.session.nodes_depth_first()) {
      int root = scene.nodes[n].material;
      if (root < 0 || root >= static_cast<int>(scene.materials.size())) continue;
      path = {root};
      visit(visit, scene.materials[root]);
    }
  }
  selected_.assign(results_.size(), false);
  update_counter();
  return true;
}

doc::Material* ReplaceTool::material_at(const std::vector<int>& path) {
  return host::material_at_path(host_.scene(), path);
}

bool ReplaceTool::apply() {
  doc::SceneDocument& scene = host_.scene();
  const std::vector<int> order = host_.session.nodes_depth_first();
  for (std::size_t line = 0; line < results_.size(); ++line) {
    if (!selected_[line]) continue;
    const Result& r = results_[line];
    if (r.node) {
      auto found = std::find_if(order.begin(), order.end(), [&](int n) {
        return scene.nodes[n].id == r.node_id && scene.nodes[n].name == r.old_name;
      });
      if (found == order.end()) {
        host_.host.message_box("No object matches name", "Error", host::MessageIcon::kError);
        return false;
      }
      if (r.new_name.empty() || !valid_name(r.new_name)) {
        host_.host.message_box(
            "Warning: Can't rename \"" + scene.nodes[*found].name + "\" -> \"" + r.new_name + "\"",
            "Warning", host::MessageIcon::kInformation);
        continue;
      }
      scene.nodes[*found].name = r.new_name;
      host_.session.SelectNode(*found, false);
    } else {
      doc::Material* m = material_at(r.material_path);
      if (m == nullptr || m->name != r.old_name) {
        host_.host.message_box("No material matches name", "Error", host::MessageIcon::kError);
        return false;
      }
      if (r.new_name.empty() || !valid_name(r.new_name)) {
        host_.host.message_box(
            "Warning: Can't rename \"" + m->name + "\" -> \"" + r.new_name + "\"", "Warning",
            host::MessageIcon::kInformation);
        continue;
      }
      m->name = r.new_name;
      host_.ExecuteStringScript(kMaterialEditorRefreshScript);
    }
  }
  search();
  return true;
}

void ReplaceTool::clicked(int id) {
  switch (id) {
    case kReplaceSearch:
      search();
      break;
    case kReplaceSelectAll: {
      std::vector<int> all(results_.size());
      for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
      select_lines(all);
      break;
    }
    case kReplaceApply:
      apply();
      break;
    case kReplaceApplyClose:
      if (apply()) close();
      break;
    case kReplaceClose:
      close();
      break;
    default:
      break;
  }
}

void ReplaceTool::chosen(int id, int index) {
  (void)index;
  if (id == kReplaceMode) mode_rule();
}

void ReplaceTool::close() {
  store_memory();
  finish_close();
}

}  // namespace kavro::menu
