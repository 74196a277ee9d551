// Wires the concrete stages into the export driver and opens scenes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/stages.h"
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
};

// Opens a scene file for extraction. On failure a message naming the file and
// the problem has been shown and the result is empty.
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
