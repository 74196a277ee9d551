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

namespace {

// One scratch file per process, removed when the process ends.
struct ScratchFile {
  std::string path;
  ScratchFile() {
    char name[] = "/tmp/kavro-fuzz-XXXXXX.ifl";
    int fd = ::mkstemps(name, 4);
    if (fd < 0) std::abort();
    ::close(fd);
    path = name;
  }
  ~ScratchFile() { ::unlink(path.c_str()); }
};

const std::string& temp_path() {
  static ScratchFile file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = temp_path();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

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
