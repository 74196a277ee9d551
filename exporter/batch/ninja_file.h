// The Ninja build file of a batch description: one edge per scene line that
// runs that line alone (kavro batch FILE --only N) with a dependency file, so
// that Ninja exports scene lines in parallel, again only when one of their
// inputs changed, and can hand the edges to a distributed runner.
#pragma once

#include <string>
#include <vector>

#include "exporter/batch/batch_runner.h"

namespace kavro {

// The build file text. `kavro` is the program the edges run, `k3be` the
// description (both as paths the build runs them by); paths are taken from
// the folder Ninja runs in. False with the reason when two scene lines would
// write the same file.
bool ninja_file_text(const std::vector<ScenePlan>& plan, const std::string& kavro,
                     const std::string& k3be, std::string& text, std::string& error);

// A path escaped for a Ninja file ("$", blank, ":" and line ends).
std::string ninja_escaped(const std::string& path);

}  // namespace kavro
