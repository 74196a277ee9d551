#include "host/scene_session.h"

#include <algorithm>
#include <unordered_map>

#include "host/class_data.h"
#include "host/host.h"
#include "host/scene_io.h"

namespace kavro::host {

SceneSession::SceneSession(Host& host)
    : host_(host), loader_([](const std::string& path) { return load_scene_file(path); }) {
  // The session hands the saver the loaded classes' data itself (SaveToFile).
  saver_ = [](const doc::SceneDocument& scene, const std::string& path, std::string& error) {
    return save_scene_file(scene, path, SaveOptions{}, error);
  };
}

bool SceneSession::LoadFromFile(const std::string& path) {
  SceneLoadResult loaded = loader_(path);
  if (!loaded.ok) {
    last_error_ = loaded.error;
    return false;
  }
  load_scene_class_data(host_, path, loaded.document.class_data);
  load_warnings_ = std::move(loaded.warnings);
  set_scene(std::move(loaded.document), path);
  last_error_.clear();
  return true;
}

bool SceneSession::SaveToFile(const std::string& path) {
  if (!has_scene_) {
    last_error_ = "there is no open scene to save";
    return false;
  }
  if (!saver_) {
    last_error_ = "scene saving is not available in this build";
    return false;
  }
  // What the loaded plug-in classes hold now replaces their chunks; the data
  // of classes that are not loaded is kept as it was.
  doc::SceneDocument saved = scene_;
  saved.class_data = save_scene_class_data(host_, scene_.class_data);
  std::string error;
  if (!saver_(saved, path, error)) {
    last_error_ = error;
    return false;
  }
  last_error_.clear();
  return true;
}

void SceneSession::set_scene(doc::SceneDocument scene, const std::string& path) {
  scene_ = std::move(scene);
  scene_path_ = path;
  has_scene_ = true;
  ++generation_;
}

void SceneSession::RegisterExporter(ClassId id, SceneExporterPlugin* exporter) {
  for (auto& [known, plugin] : exporters_) {
    if (known == id) {
      plugin = exporter;
      return;
    }
  }
  exporters_.emplace_back(id, exporter);
}

bool SceneSession::ExportToFile(const std::string& name, bool suppress_prompts, unsigned options,
                                ClassId id) {
  for (auto& [known, plugin] : exporters_) {
    if (known == id && plugin != nullptr) {
      if (!has_scene_) {
        last_error_ = "there is no open scene to export";
        return false;
      }
      return plugin->DoExport(name, scene_, suppress_prompts, options) != 0;
    }
  }
  last_error_ = "no exporter is registered for this class";
  return false;
}

int SceneSession::index_of_id(int node_id) const {
  for (std::size_t i = 0; i < scene_.nodes.size(); ++i) {
    if (scene_.nodes[i].id == node_id) return static_cast<int>(i);
  }
  return doc::kNone;
}

std::vector<int> SceneSession::children_of(int node_index) const {
  std::vector<int> out;
  int parent_id = node_index == doc::kNone ? doc::kNone : scene_.nodes[node_index].id;
  for (std::size_t i = 0; i < scene_.nodes.size(); ++i) {
    if (scene_.nodes[i].parent == parent_id) out.push_back(static_cast<int>(i));
  }
  return out;
}

std::vector<int> SceneSession::nodes_depth_first() const {
  // Child lists by parent position, built once; a parent id that names no
  // node makes the node a top-level one, as the loader treats it.
  std::unordered_map<int, int> position;
  for (std::size_t i = 0; i < scene_.nodes.size(); ++i) {
    position.emplace(scene_.nodes[i].id, static_cast<int>(i));
  }
  const int n = static_cast<int>(scene_.nodes.size());
  std::vector<std::vector<int>> children(scene_.nodes.size() + 1);  // last: the scene root
  for (int i = 0; i < n; ++i) {
    auto found = position.find(scene_.nodes[i].parent);
    int parent = found == position.end() || found->second == i ? n : found->second;
    children[parent].push_back(i);
  }
  std::vector<int> order;
  order.reserve(scene_.nodes.size());
  std::vector<bool> seen(scene_.nodes.size(), false);
  std::vector<std::pair<int, std::size_t>> stack{{n, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (next == children[node].size()) {
      stack.pop_back();
      continue;
    }
    int child = children[node][next++];
    if (seen[child]) continue;  // a cycle in a hand-made document
    seen[child] = true;
    order.push_back(child);
    stack.emplace_back(child, 0);
  }
  return order;
}

std::vector<int> SceneSession::selection() const {
  std::vector<int> out;
  for (int id : scene_.selection) {
    int index = index_of_id(id);
    if (index != doc::kNone) out.push_back(index);
  }
  return out;
}

void SceneSession::SelectNode(int node_index, bool clear_selection) {
  if (clear_selection) scene_.selection.clear();
  if (node_index < 0 || node_index >= static_cast<int>(scene_.nodes.size())) return;
  int id = scene_.nodes[node_index].id;
  if (std::find(scene_.selection.begin(), scene_.selection.end(), id) == scene_.selection.end()) {
    scene_.selection.push_back(id);
  }
}

void SceneSession::ClearSelection() {
  scene_.selection.clear();
}

}  // namespace kavro::host
