// Feeds arbitrary text to the image file list reader and counter.
#include "exporter/extract/ifl.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/recording_host.h"
#include "tests/fuzz/scratch_file.h"

namespace {

const kavro::fuzz::ScratchFile& scratch() {
  static const kavro::fuzz::ScratchFile file(".ifl");
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!scratch().write(data, size)) return 0;
  const std::string& path = scratch().path();

  kavro::host::RecordingHost host;
  std::vector<std::string> textures;
  std::vector<int> durations;
  bool ok = kavro::read_ifl(host, path, textures, durations);
  int count = -1;
  bool counted = kavro::count_ifl_images(path, count);
  // Reading and counting see the same lines.
  if (ok != counted || (ok && count != static_cast<int>(textures.size()))) std::abort();
  if (textures.size() != durations.size()) std::abort();
  return 0;
}
