// The readers under test take file paths: each fuzz input is written to one
// scratch file per process (with the extension the reader expects), removed
// when the process ends.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kavro::fuzz {

class ScratchFile {
 public:
  // `extension` includes its dot, e.g. ".tga".
  explicit ScratchFile(const std::string& extension) {
    std::string pattern = "/tmp/kavro-fuzz-XXXXXX" + extension;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemps(name.data(), static_cast<int>(extension.size()));
    if (fd < 0) std::abort();
    ::close(fd);
    path_ = name.data();
  }
  ~ScratchFile() { ::unlink(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Replaces the file's contents; false when it cannot be written.
  bool write(const std::uint8_t* data, std::size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr) return false;
    if (size > 0) std::fwrite(data, 1, size, f);
    return std::fclose(f) == 0;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kavro::fuzz
