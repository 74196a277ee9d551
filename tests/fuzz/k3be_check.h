// The description-file syntax run over arbitrary text, with the properties
// every result must have. Shared by the fuzz target and the corpus replay of
// the ordinary tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exporter/batch/k3be.h"

namespace kavro::fuzz {

inline void check_k3be_text(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (first) {
      k3be_header_ok(line);
      first = false;
      continue;
    }
    std::size_t pos = 0;
    std::string key = next_word(line, pos);
    if (pos > line.size()) std::abort();
    bool unterminated = false;
    std::string value = read_value(line, pos, &unterminated);
    if (pos > line.size() || value.find('"') != std::string::npos) std::abort();
    std::string folder = k3be_folder_form(value);
    if (!folder.empty() && folder.back() == '/') std::abort();
    if (k3be_slash_form(value).size() != value.size()) std::abort();
    for (const std::string& piece : split_list(value)) {
      if (piece.empty() || piece.front() == ' ' || piece.back() == '\t') std::abort();
    }
    std::string name = default_output_name(value);
    if (name.size() > value.size() || value.compare(0, name.size(), name) != 0) std::abort();
    ExportOptions options{};
    reset_options(options, true);
    SceneOptions parsed = parse_scene_options(line, pos, name, options);
    if (parsed.ok == !parsed.message.empty()) std::abort();
    if (parsed.ok && parsed.output_name.empty() && !name.empty()) std::abort();
  }
}

}  // namespace kavro::fuzz
