// Scene processing as the export driver calls it: material compression,
// merging of one node's sets that share a material, the node passes,
// magnify, position scaling and texture pruning.
#pragma once

#include "exporter/pipeline/stages.h"

namespace kavro {

class SceneProcessor : public SceneProcessing {
 public:
  void compress_materials(ExportScene& scene) override;
  void merge_same_material_sets(ExportScene& scene) override;
  void process_nodes(ExportScene& scene) override;
  void magnify(ExportScene& scene) override;
  bool scale_positions(ExportScene& scene) override;
  void remove_unused_textures(ExportScene& scene) override;
};

}  // namespace kavro
