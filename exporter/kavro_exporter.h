// Wires the concrete stages into the export driver and opens scenes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/stages.h"

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

}  // namespace kavro
