// Dependency files for build systems: the Make-style "targets: inputs" text
// that Make and Ninja read, listing the files an export wrote and every file
// it read, and the output files an export of given options writes.
//
// Paths are written as the file system knows them (UTF-8), with the
// characters Make and Ninja treat specially escaped; lines end with LF, since
// Make would take a CR for part of a file name.
#pragma once

#include <string>
#include <vector>

#include "exporter/pipeline/options.h"

namespace kavro {

// "t1 t2: \\\n  d1 \\\n  d2\n"; paths in the host code page.
std::string depfile_text(const std::vector<std::string>& targets,
                         const std::vector<std::string>& inputs);

// Writes the text whole or not at all; false with the reason.
bool write_depfile(const std::string& path, const std::vector<std::string>& targets,
                   const std::vector<std::string>& inputs, std::string& error);

// The files an export with these options writes into `folder`: the model
// path's name with each selected kind's extension, in writing order.
std::vector<std::string> export_outputs(const ExportOptions& options, const std::string& folder);

// A path escaped for a Make or Ninja file.
std::string make_escaped(const std::string& path);

}  // namespace kavro
