// The scene data file (ISD): the scene's first camera and its lights.
#pragma once

#include <string>

#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

class IsdWriter : public OutputWriter {
 public:
  bool write(const ExportScene& scene, ExportLog& log, const std::string& path) override;
};

// The camera element (empty without a camera) and the light list.
void write_camera_block(OutputFile& out, const ExportScene& scene, ExportLog& log);
void write_light_block(OutputFile& out, const ExportScene& scene, ExportLog& log);

}  // namespace kavro
