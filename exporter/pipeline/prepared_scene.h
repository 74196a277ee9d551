// A scene built in code, handed to the driver as if it had been read from a
// host: extraction copies the prepared records into the export's scene model.
#pragma once

#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/stages.h"

namespace kavro {

class PreparedScene : public SceneExtraction {
 public:
  std::vector<SceneNode> nodes;
  std::vector<PolygonSet> polygons;
  std::vector<SceneMaterial> materials;
  std::vector<SceneTexture> textures;
  std::vector<SceneLight> lights;
  std::vector<SceneCamera> cameras;
  SceneRange range;
  std::string file_name;

  SceneRange scene_range() override { return range; }
  void initialise(bool) override {}
  int top_level_node_count() override;
  std::string scene_file_name() override { return file_name; }
  void switch_off_skins() override {}
  void switch_on_skins() override {}
  bool extract_materials(ExportScene& scene, const ExportOptions& options) override;
  bool extract_nodes(ExportScene& scene, const ExportOptions& options) override;
  void extract_lights(ExportScene& scene) override;
  void release() override {}
};

}  // namespace kavro
