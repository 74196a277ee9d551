// Wires the concrete stages into the export driver and opens scenes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/stages.h"
#include "host/scene_io.h"
#include "host/scene_session.h"

namespace kavro {

namespace host {
class Host;
}

// The stages of a complete exporter (shared, stateless instances).
Stages exporter_stages();

struct SceneOpenOptions {
  std::vector<std::string> map_paths;  // folders searched for relative bitmaps
  std::vector<std::string> select;     // node names that become the selection
  // Hand the scene's plug-in class data to the loaded classes, as the host
  // does when it loads a scene (the exporter's scene settings).
  bool restore_class_data = true;
  host::ImportOptions import;  // for files that are not scene documents
  // Where the images embedded in an imported file are written (and kept);
  // empty: a cache folder of the temporary folder named after the images.
  std::string maps_dir;
};

class ExporterClassData;
class UserSettings;

// The user's settings files wired into `stages`: an exporter's start and end
// and the options dialog's menu and "Apply" use them.
void attach_user_settings(Stages& stages, UserSettings& settings);

// Loads the exporter plug-in into this process: the process-wide options are
// reset as at plug-in load and the exporter's class is registered for scene
// class data. Every call starts afresh (a command is one host session).
void load_exporter_plugin();
// The exporter class's scene data handler.
ExporterClassData& exporter_class_data();

// Opens a scene file for extraction: a scene document, or any file the
// importer reads (its warnings go to the listener, its embedded images to a
// cache folder of the temporary folder, see maps_dir). On failure a message
// naming the file and the problem has been shown and the result is empty.
std::unique_ptr<SceneExtraction> open_scene(const std::string& path, host::Host& host,
                                            const SceneOpenOptions& options);

// Opens a scene as open_scene does, except that names of `options.select`
// that no node of the scene has are returned in `unknown_names` without a
// message (the result is then empty), so that the caller can treat them as a
// usage error.
std::unique_ptr<SceneExtraction> open_scene_selecting(const std::string& path, host::Host& host,
                                                      const SceneOpenOptions& options,
                                                      std::vector<std::string>& unknown_names);

// The exporter as the host's export-to-file service reaches it: each call
// exports the open scene with a new KavroExporter.
class KavroExporterPlugin : public host::SceneExporterPlugin {
 public:
  // `map_paths`: folders searched for bitmaps after the scene's own.
  explicit KavroExporterPlugin(host::Host& host, std::vector<std::string> map_paths = {});
  int DoExport(const std::string& name, const doc::SceneDocument& scene, bool suppress_prompts,
               unsigned options) override;

 private:
  host::Host& host_;
  Stages stages_;
  std::vector<std::string> map_paths_;
};

}  // namespace kavro
