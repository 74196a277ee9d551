// The `kavro` command.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kavro::host {
class Host;
}

namespace kavro::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs the command with its arguments (without the program name). Output
// goes to `out`, diagnostics to `err`.
int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kavro::cli
