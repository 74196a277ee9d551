// Runs the kavro command in the test process with its standard output and
// error captured, for the command tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace kavro::cli {

struct Result {
  int status;
  std::string out, err;
};

inline std::string slurp(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

inline Result kavro(std::vector<std::string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = run(args, out, err);
  return {status, slurp(out), slurp(err)};
}

}  // namespace kavro::cli
