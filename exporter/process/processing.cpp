#include "exporter/process/processing.h"

#include "exporter/process/passes.h"

namespace kavro {

void SceneProcessor::compress_materials(ExportScene& scene) {
  process::compress_materials(scene);
}

void SceneProcessor::merge_same_material_sets(ExportScene& scene) {
  process::merge_same_material_sets(scene);
}

void SceneProcessor::process_nodes(ExportScene& scene) {
  process::process_nodes(scene);
}

void SceneProcessor::magnify(ExportScene& scene) {
  process::magnify_scene(scene);
}

bool SceneProcessor::scale_positions(ExportScene& scene) {
  return process::scale_positions(scene);
}

void SceneProcessor::remove_unused_textures(ExportScene& scene) {
  process::remove_unused_textures(scene);
}

}  // namespace kavro
