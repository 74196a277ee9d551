#include "exporter/pipeline/prepared_scene.h"

namespace kavro {

int PreparedScene::top_level_node_count() {
  int roots = 0;
  for (const SceneNode& n : nodes) roots += n.parent == -1 ? 1 : 0;
  return roots;
}

bool PreparedScene::extract_materials(ExportScene& scene, const ExportOptions&) {
  scene.materials = materials;
  scene.textures = textures;
  return true;
}

bool PreparedScene::extract_nodes(ExportScene& scene, const ExportOptions&) {
  scene.nodes = nodes;
  scene.polygons = polygons;
  return true;
}

void PreparedScene::extract_lights(ExportScene& scene) {
  scene.lights = lights;
  scene.cameras = cameras;
}

}  // namespace kavro
