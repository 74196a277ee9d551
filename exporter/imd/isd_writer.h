// The scene data file (ISD): the scene's first camera and its lights.
#pragma once

#include <string>

#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportScene;
class OutputFile;

class IsdWriter : public OutputWriter {
 public:
  bool write(ExportScene& scene, const std::string& path) override;
};

// The camera element (empty without a camera) and the light list.
void write_camera_block(OutputFile& out, ExportScene& scene);
void write_light_block(OutputFile& out, ExportScene& scene);

}  // namespace kavro
