// Image file lists (IFL): text files that name the images of a texture
// pattern animation, one per line, each with an optional repeat count in
// frames.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kavro {

namespace host {
class Host;
}

// The longest image line, in bytes, once its leading and trailing blanks are
// removed. A longer image line cannot name a file on the host and makes the
// list incorrect; comment and empty lines may be of any length.
constexpr std::size_t kIflLineLimit = 520;

// True when the text after the last "." of the path is exactly "ifl".
bool is_ifl(const std::string& path);

struct IflEntry {
  std::string path;  // resolved against the list's folder, "/" separators
  int duration = 1;  // frames the image is shown
};

enum class IflStatus { kOk, kCannotOpen, kIncorrect };

// Reads the list without showing anything. On anything but kOk `entries` is
// empty. Only names are listed: the images (even the list itself) are not
// opened.
IflStatus parse_ifl(const std::string& path, std::vector<IflEntry>& entries);

// Reads the list into a material's pattern lists (both emptied first). On
// failure the message has been shown, the lists are empty, and false is
// returned.
bool read_ifl(host::Host& host, const std::string& path, std::vector<std::string>& pattern_textures,
              std::vector<int>& ifl_durations);

// The number of images the list names, for counting the textures of the
// scene. False when the list cannot be read; the caller reports it.
bool count_ifl_images(const std::string& path, int& count);

}  // namespace kavro
