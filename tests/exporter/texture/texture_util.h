// Small builders for the texture tests: images made in code and
// pre-converted TGA files made byte by byte.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro::test {

inline SourceTexel px(int r, int g, int b, int a = 255) {
  SourceTexel t;
  t.red = static_cast<std::uint8_t>(r);
  t.green = static_cast<std::uint8_t>(g);
  t.blue = static_cast<std::uint8_t>(b);
  t.alpha = static_cast<std::uint8_t>(a);
  return t;
}

// A grey of 5-bit level v, opaque.
inline SourceTexel grey5(int v, int a = 255) {
  return px(v << 3, v << 3, v << 3, a);
}

inline SceneTexture make_texture(int w, int h, const std::string& path,
                                 const SourceTexel& fill = SourceTexel{}) {
  SceneTexture t;
  t.width = t.original_width = static_cast<std::uint16_t>(w);
  t.height = t.original_height = static_cast<std::uint16_t>(h);
  t.texels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
  t.path = path;
  return t;
}

inline void set_px(SceneTexture& t, int x, int y, const SourceTexel& v) {
  t.texels[static_cast<std::size_t>(y) * t.width + static_cast<std::size_t>(x)] = v;
}

struct Chunk {
  std::string tag;
  std::vector<std::uint8_t> payload;
  std::uint32_t size_override = 0;  // nonzero: written instead of the true size
};

inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xff));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline std::vector<std::uint8_t> text_bytes(const std::string& s) {
  return std::vector<std::uint8_t>(s.begin(), s.end());
}
inline std::vector<std::uint8_t> words16(const std::vector<std::uint16_t>& w) {
  std::vector<std::uint8_t> out;
  for (std::uint16_t v : w) put16(out, v);
  return out;
}
inline std::vector<std::uint8_t> words32(const std::vector<std::uint32_t>& w) {
  std::vector<std::uint8_t> out;
  for (std::uint32_t v : w) put32(out, v);
  return out;
}

// An 18-byte TGA header, the signature, the chunk offset, four bytes of
// image data and the chunks.
inline std::vector<std::uint8_t> preconverted_file(const std::vector<Chunk>& chunks) {
  std::vector<std::uint8_t> out(18, 0);
  out[0] = 16;  // identification length
  out[2] = 2;   // true-colour image
  const char sig[16] = "KVS_Tga Ver 1.0";
  for (char c : sig) out.push_back(static_cast<std::uint8_t>(c));
  put32(out, 42);
  put32(out, 0xdeadbeef);  // image data, not read
  for (const Chunk& c : chunks) {
    std::string tag = c.tag;
    tag.resize(8, ' ');
    out.insert(out.end(), tag.begin(), tag.end());
    put32(out, c.size_override != 0 ? c.size_override
                                    : static_cast<std::uint32_t>(12 + c.payload.size()));
    out.insert(out.end(), c.payload.begin(), c.payload.end());
  }
  return out;
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kavro::test
