// Encodes channels read from the input into an indexed and a plain data pool
// and stops when the two disagree on a channel record or on the pool.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "exporter/animation/curve.h"

namespace {

using kavro::ChannelRecord;

bool same(const ChannelRecord& a, const ChannelRecord& b) {
  return a.frame_step == b.frame_step && a.data_size == b.data_size && a.data_head == b.data_head;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Header: frame count (1 to 64) and the step mode.
  const int frames = 1 + data[0] % 64;
  const auto mode = static_cast<kavro::FrameStepMode>(data[1] % 4);
  std::size_t at = 2;
  kavro::anim::FloatPool fast_f(true), plain_f(false);
  kavro::anim::ColorPool fast_c(true), plain_c(false);
  const float alphabet[8] = {0.0f, -0.0f, 1.0f, 0.5f, -2.0f, 90.0f, 0.25f, 1e-9f};
  std::vector<float> f(static_cast<std::size_t>(frames));
  std::vector<std::uint8_t> c(static_cast<std::size_t>(frames));
  while (at + static_cast<std::size_t>(frames) <= size) {
    for (int i = 0; i < frames; ++i) {
      std::uint8_t b = data[at + static_cast<std::size_t>(i)];
      f[i] = alphabet[b % 8];
      c[i] = static_cast<std::uint8_t>(b >> 3);
    }
    at += static_cast<std::size_t>(frames);
    ChannelRecord a = kavro::anim::encode_channel(std::span<const float>(f), mode, 0.1f, fast_f);
    ChannelRecord b = kavro::anim::encode_channel(std::span<const float>(f), mode, 0.1f, plain_f);
    if (!same(a, b)) __builtin_trap();
    ChannelRecord x =
        kavro::anim::encode_channel(std::span<const std::uint8_t>(c), mode, 1, fast_c);
    ChannelRecord y =
        kavro::anim::encode_channel(std::span<const std::uint8_t>(c), mode, 1, plain_c);
    if (!same(x, y)) __builtin_trap();
  }
  // Both pools hold the same values bit for bit (negative zeros included).
  const std::vector<float>& u = fast_f.values();
  const std::vector<float>& v = plain_f.values();
  if (u.size() != v.size() || fast_c.values() != plain_c.values()) __builtin_trap();
  if (!u.empty() && std::memcmp(u.data(), v.data(), u.size() * sizeof(float)) != 0) {
    __builtin_trap();
  }
  return 0;
}
