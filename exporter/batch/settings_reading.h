// Reads an export settings file (*.k3es) over an options record for the
// batch: every line "key=\"value\"" of a known key sets that option, other
// lines are ignored. False when the file cannot be opened.
#pragma once

#include <string>

#include "exporter/pipeline/options.h"

namespace kavro {

bool read_batch_settings(const std::string& path, ExportOptions& options);

}  // namespace kavro
