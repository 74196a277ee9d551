// The host's script search path: where `fileIn` looks for a script named
// without a folder that is not in the current folder. The folders are those
// of KAVRO_SCRIPT_PATH (separated by ":"), then the scripts installed with
// the program (share/kavro/scripts beside its bin folder), then the scripts
// of the source tree the program was built from.
#pragma once

#include <string>
#include <vector>

namespace kavro::host {

std::vector<std::string> script_search_path();

// The path to open for a script file name: the name itself when that file
// exists or the name has a folder part, else the first file of that name on
// the search path, else the name unchanged (so that the open fails naming it).
std::string find_script_file(const std::string& name);

}  // namespace kavro::host
