// The host's open scene and the file services around it: the scene loaded
// last (a scene document), its selection, loading a scene file over it,
// saving it, and exporting it through a registered scene exporter, as the
// authoring host's LoadFromFile, SaveToFile and ExportToFile do. The batch
// runner and the script host work on the scene through this one object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/class_data.h"
#include "host/scene_document.h"
#include "host/scene_io.h"

namespace kavro::host {

class Host;

// A scene exporter plug-in as the host calls it.
class SceneExporterPlugin {
 public:
  virtual ~SceneExporterPlugin() = default;
  // Nonzero when the export succeeded (or its options dialog was cancelled).
  virtual int DoExport(const std::string& name, const doc::SceneDocument& scene,
                       bool suppress_prompts, unsigned options) = 0;
};

class SceneSession {
 public:
  // Reads a scene file into a document; the default is the host's loading
  // service (host/scene_io.h: scene documents, and every other file through
  // the importer).
  using Loader = std::function<SceneLoadResult(const std::string& path)>;
  // Writes a document to a file; false with a reason when it cannot. The
  // default is the host's saving service (with the loaded classes' data).
  using Saver = std::function<bool(const doc::SceneDocument& scene, const std::string& path,
                                   std::string& error)>;

  explicit SceneSession(Host& host);

  void set_loader(Loader loader) { loader_ = std::move(loader); }
  void set_saver(Saver saver) { saver_ = std::move(saver); }

  // Loads a scene file as the open scene, without any dialog, and hands the
  // loaded plug-in classes their data stored in it. On failure the open
  // scene stays as it was and last_error() says why.
  bool LoadFromFile(const std::string& path);
  // Saves the open scene; false (with last_error()) when there is none or the
  // file cannot be written.
  bool SaveToFile(const std::string& path);
  // Hands the open scene to the exporter registered under `id`.
  bool ExportToFile(const std::string& name, bool suppress_prompts, unsigned options, ClassId id);
  void RegisterExporter(ClassId id, SceneExporterPlugin* exporter);

  bool has_scene() const { return has_scene_; }
  const std::string& scene_path() const { return scene_path_; }
  doc::SceneDocument& scene() { return scene_; }
  const doc::SceneDocument& scene() const { return scene_; }
  // Replaces the open scene (a scene built in code).
  void set_scene(doc::SceneDocument scene, const std::string& path);
  // Changes whenever another scene is opened, so that handles to the nodes
  // of an earlier scene can be told apart.
  std::uint64_t generation() const { return generation_; }
  const std::string& last_error() const { return last_error_; }
  // What the last load had to drop or change ("Warning: ..." lines).
  const std::vector<std::string>& load_warnings() const { return load_warnings_; }

  // Node positions (indexes into scene().nodes) in depth-first pre-order
  // from the scene root: each top-level node with its subtree, children in
  // the document's order.
  std::vector<int> nodes_depth_first() const;
  // Children of a node (or of the scene root for doc::kNone), as positions.
  std::vector<int> children_of(int node_index) const;
  int index_of_id(int node_id) const;

  // The selection, as node positions in selection order.
  std::vector<int> selection() const;
  void SelectNode(int node_index, bool clear_selection);
  void ClearSelection();

 private:
  Host& host_;
  Loader loader_;
  Saver saver_;
  doc::SceneDocument scene_;
  bool has_scene_ = false;
  std::string scene_path_;
  std::uint64_t generation_ = 0;
  std::string last_error_;
  std::vector<std::string> load_warnings_;
  std::vector<std::pair<ClassId, SceneExporterPlugin*>> exporters_;
};

}  // namespace kavro::host
