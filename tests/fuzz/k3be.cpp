// Feeds arbitrary text to the batch description syntax: header, words,
// quoted values, path forms, lists and scene options.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/k3be_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kavro::fuzz::check_k3be_text(data, size);
  return 0;
}
