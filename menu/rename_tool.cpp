#include "menu/rename_tool.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "host/scene_edit.h"
#include "menu/replace_tool.h"

namespace kavro::menu {
namespace {

std::string sanitised(const std::string& name) {
  std::string out = name;
  for (char& ch : out) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool keep =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    if (!keep) ch = '_';
  }
  return out;
}

// The file name of a texture path, without folder ("\" or "/") and without
// its last four characters.
std::string texture_name(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  return file.size() > 4 ? file.substr(0, file.size() - 4) : std::string();
}

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

std::vector<std::string> model_file_names(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  for (const std::string& name : names) {
    const std::string base = sanitised(name);
    std::string candidate = base;
    int counter = 1;
    for (const std::string& earlier : out) {
      if (earlier.compare(0, candidate.size(), candidate) == 0) {
        candidate = base + "_" + std::to_string(counter++);
      }
    }
    out.push_back(candidate);
  }
  return out;
}

RenameTool::RenameTool(host::PluginHost& host, RenameMemory& memory)
    : ToolWindow(host, "KAVRO Rename Over 16 Characters", 112), memory_(memory) {
  add(kRenameAll, host::ControlKind::kRadio, "All");
  add(kRenameSelection, host::ControlKind::kRadio, "Selection");
  add(kRenameSearch, host::ControlKind::kButton, "Search");
  add(kRenameObjectPane, host::ControlKind::kGroup, "Object (0)");
  add(kRenameMaterialPane, host::ControlKind::kGroup, "Material (0)");
  add(kRenameTexturePane, host::ControlKind::kGroup, "Texture (0)");
  add(kRenameOutput, host::ControlKind::kButton, "Output Text File");
  add(kRenameApplyClose, host::ControlKind::kButton, "Apply and Close");
  add(kRenameApply, host::ControlKind::kButton, "Apply");
  add(kRenameClose, host::ControlKind::kButton, "Close");
}

void RenameTool::open() {
  mark_open();
  check_radio(memory_.selection ? kRenameSelection : kRenameAll, {kRenameAll, kRenameSelection});
  search();
}

std::string RenameTool::pane_title(int pane) const {
  static const char* const titles[] = {"Object", "Material", "Texture"};
  const std::vector<Row>* rows[] = {&nodes_, &materials_, &textures_};
  return std::string(titles[pane]) + " (" + std::to_string(rows[pane]->size()) + ")";
}

void RenameTool::search() {
  doc::SceneDocument& scene = host_.scene();
  std::vector<int> targets = control(kRenameSelection).checked ? host_.session.selection()
                                                               : host_.session.nodes_depth_first();
  std::vector<Row> nodes, materials, textures;
  std::vector<std::vector<int>> material_seen;
  std::vector<int> path;
  auto visit = [&](auto& self, const doc::Material& m) -> void {
    if (std::find(material_seen.begin(), material_seen.end(), path) != material_seen.end()) return;
    material_seen.push_back(path);
    materials.push_back({m.name, {}, {}, 0, path, {}});
    if (m.has_diffuse_map && m.diffuse_map.cls == doc::TexmapClass::kBitmap &&
        !m.diffuse_map.file.empty()) {
      const std::string& file = m.diffuse_map.file;
      bool known = std::any_of(textures.begin(), textures.end(),
                               [&](const Row& r) { return r.path == file; });
      if (!known) textures.push_back({texture_name(file), {}, {}, 0, {}, file});
    }
    for (std::size_t i = 0; i < m.sub_materials.size(); ++i) {
      path.push_back(static_cast<int>(i));
      self(self, m.sub_materials[i]);
      path.pop_back();
    }
  };
  for (int n : targets) {
    const doc::Node& node = scene.nodes[n];
    nodes.push_back({node.name, {}, {}, node.id, {}, {}});
    if (node.material >= 0 && node.material < static_cast<int>(scene.materials.size())) {
      path = {node.material};
      visit(visit, scene.materials[node.material]);
    }
  }
  auto name_and_filter = [](std::vector<Row>& rows, std::vector<Row>& kept, const char* suffix) {
    std::vector<std::string> names;
    for (const Row& r : rows) names.push_back(r.old_name);
    std::vector<std::string> file_names = model_file_names(names);
    kept.clear();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      rows[i].file_name = file_names[i] + suffix;
      if (rows[i].file_name.size() > 16) kept.push_back(rows[i]);
    }
  };
  name_and_filter(nodes, nodes_, "");
  name_and_filter(materials, materials_, "");
  name_and_filter(textures, textures_, "_pl");
  at(kRenameObjectPane).label = pane_title(0);
  at(kRenameMaterialPane).label = pane_title(1);
  at(kRenameTexturePane).label = pane_title(2);
}

void RenameTool::set_rename(int pane, std::size_t row, const std::string& text) {
  std::vector<Row>& rows = pane == 0 ? nodes_ : materials_;
  if (pane < 0 || pane > 1 || row >= rows.size()) return;
  rows[row].rename = text;
}

doc::Material* RenameTool::material_at(const std::vector<int>& path) {
  return host::material_at_path(host_.scene(), path);
}

RenameTool::ApplyResult RenameTool::apply() {
  auto error = [&](const std::string& text) {
    host_.host.message_box(text, "Error", host::MessageIcon::kError);
  };
  for (std::vector<Row>* rows : {&nodes_, &materials_}) {
    for (Row& r : *rows) {
      if (!valid_name(r.rename)) {
        error("Invalid name: \"" + r.rename + "\"");
        r.rename.clear();
        return ApplyResult::kRefused;
      }
    }
  }
  doc::SceneDocument& scene = host_.scene();
  host_.session.ClearSelection();
  bool failed = false;
  const std::vector<int> order = host_.session.nodes_depth_first();
  for (const Row& r : nodes_) {
    if (r.rename.empty()) continue;
    auto found = std::find_if(order.begin(), order.end(),
                              [&](int n) { return scene.nodes[n].id == r.node_id; });
    if (found == order.end()) {
      error("No object matches name: \"" + r.old_name + "\"");
      failed = true;
    } else if (r.rename.size() > 16) {
      error("Over 16 Characters: \"" + r.rename + "\"");
      failed = true;
    } else {
      scene.nodes[*found].name = r.rename;
      host_.session.SelectNode(*found, false);
    }
  }
  for (const Row& r : materials_) {
    if (r.rename.empty()) continue;
    doc::Material* m = material_at(r.material_path);
    if (m == nullptr) {
      error("No material matches name: \"" + r.old_name + "\"");
      failed = true;
    } else if (r.rename.size() > 16) {
      error("Over 16 Characters: \"" + r.rename + "\"");
      failed = true;
    } else {
      m->name = r.rename;
      host_.ExecuteStringScript(kMaterialEditorRefreshScript);
    }
  }
  return failed ? ApplyResult::kFailed : ApplyResult::kDone;
}

void RenameTool::output_text_file() {
  host::FilePick pick;
  pick.filters = {{"Text Files [*.txt]", "*.txt"}};
  pick.default_extension = "txt";
  pick.prompt_overwrite = true;
  std::string path;
  if (!host_.host.pick_save_file(pick, path)) return;
  write_list(path);
}

bool RenameTool::write_list(const std::string& path) {
  const host::LocalTime t = host_.host.local_time();
  std::string text;
  auto line = [&](const std::string& s) { text += s + "\r\n"; };
  char date[96];
  std::snprintf(date, sizeof date, "# Date \"%d-%.2d-%.2dT%.2d:%.2d:%.2d\"", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  line("# KVS Rename Over 16 Characters");
  line(date);
  const char* const headings[] = {"# Node", "# Material"};
  const std::vector<Row>* panes[] = {&nodes_, &materials_};
  for (int p = 0; p < 2; ++p) {
    line("");
    line(headings[p]);
    line(std::to_string(panes[p]->size()));
    for (const Row& r : *panes[p]) {
      line(quoted(r.old_name) + " " + quoted(r.file_name) + " " + quoted(r.rename));
    }
  }
  line("");
  line("# Texture");
  line(std::to_string(textures_.size()));
  for (const Row& r : textures_) {
    line(quoted(r.old_name) + "\t" + quoted(r.file_name) + "\t" + quoted(r.path));
  }
  // Written whole or not at all: a temporary file beside the target, then
  // renamed over it.
  const std::string temporary = path + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  bool ok = f != nullptr;
  if (ok) {
    ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
  }
  if (!ok) host_.host.message_box("Failed to output to file.", "Error", host::MessageIcon::kError);
  return ok;
}

void RenameTool::clicked(int id) {
  switch (id) {
    case kRenameAll:
    case kRenameSelection:
      check_radio(id, {kRenameAll, kRenameSelection});
      break;
    case kRenameSearch:
      search();
      break;
    case kRenameApply:
      if (apply() != ApplyResult::kRefused) search();
      break;
    case kRenameApplyClose: {
      ApplyResult result = apply();
      if (result == ApplyResult::kDone) {
        close();
      } else if (result == ApplyResult::kFailed) {
        search();
      }
      break;
    }
    case kRenameOutput:
      output_text_file();
      break;
    case kRenameClose:
      close();
      break;
    default:
      break;
  }
}

void RenameTool::close() {
  memory_.selection = control(kRenameSelection).checked;
  nodes_.clear();
  materials_.clear();
  textures_.clear();
  finish_close();
}

}  // namespace kavro::menu
