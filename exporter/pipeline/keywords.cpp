#include "exporter/pipeline/keywords.h"

#include <cstddef>

namespace kavro {
namespace {

template <std::size_t N>
const char* word(const char* const (&words)[N], int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? words[value] : words[0];
}

template <std::size_t N, typename Enum>
const char* word(const char* const (&words)[N], Enum value) {
  return word(words, static_cast<int>(value));
}

}  // namespace

const char* on_off_keyword(int value) {
  static const char* const words[] = {"off", "on"};
  return word(words, value);
}

const char* vertex_style_keyword(VertexStyle value) {
  static const char* const words[] = {"direct", "index"};
  return word(words, value);
}

const char* compress_node_keyword(CompressNode value) {
  static const char* const words[] = {"none", "cull", "merge", "unite", "unite_combine"};
  return word(words, value);
}

const char* output_texture_keyword(OutputTexture value) {
  static const char* const words[] = {"used", "all"};
  return word(words, value);
}

const char* interpolation_keyword(Interpolation value) {
  static const char* const words[] = {"frame", "linear"};
  return word(words, value);
}

const char* frame_step_mode_keyword(FrameStepMode value) {
  static const char* const words[] = {"auto", "1", "2", "4"};
  return word(words, value);
}

}  // namespace kavro
