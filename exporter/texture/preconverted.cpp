#include "exporter/texture/preconverted.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "exporter/texture/format_info.h"
#include "host/cp932.h"
#include "host/file_journal.h"

namespace kavro {

namespace {

constexpr char kSignature[16] = "KVS_Tga Ver 1.0";  // with its terminating zero
constexpr std::size_t kSignatureOffset = 18;
constexpr std::size_t kChunkOffsetField = 34;
constexpr std::size_t kChunkHeader = 12;
constexpr std::size_t kMaxFormatName = 15;
constexpr std::size_t kMaxPaletteName = 31;

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The text of a fixed-size name field: its bytes up to the first zero.
std::string field_text(const std::uint8_t* p, std::size_t n) {
  std::size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

bool read_whole_file(const std::string& path, std::vector<std::uint8_t>& data) {
  std::FILE* f = std::fopen(host::system_path(path).c_str(), "rb");
  if (f == nullptr) return false;
  host::note_file_read(path);
  // Check the signature before reading a possibly large ordinary image.
  std::uint8_t head[kChunkOffsetField + 4];
  bool ok = std::fread(head, 1, sizeof head, f) == sizeof head &&
            std::memcmp(head + kSignatureOffset, kSignature, sizeof kSignature) == 0;
  if (ok) {
    data.assign(head, head + sizeof head);
    std::uint8_t buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + got);
    ok = std::ferror(f) == 0;
  }
  std::fclose(f);
  return ok;
}

TextureFormat format_by_name(const std::string& name) {
  for (int i = 0; i < 7; ++i) {
    if (name == kTextureFormatNames[i]) return static_cast<TextureFormat>(i);
  }
  return TextureFormat::kInvalid;
}

bool tag_is(const std::uint8_t* tag, const char* name) {
  return std::memcmp(tag, name, 8) == 0;
}

}  // namespace

bool read_preconverted(SceneTexture& texture) {
  const std::string& path = texture.path;
  if (path.size() < 4 || path.compare(path.size() - 4, 4, ".tga") != 0) return false;
  std::vector<std::uint8_t> data;
  if (!read_whole_file(path, data)) return false;

  // Everything is collected apart and given to the texture only when the
  // whole chain has been read, so a file that turns out incomplete leaves no
  // partial fields behind.
  TextureFormat format = TextureFormat::kInvalid;
  int color0_transparent = 0;
  std::vector<std::uint32_t> bitmap;
  std::vector<std::uint16_t> palette_idx;
  std::string palette_name;
  std::vector<std::uint16_t> palette;
  bool have_texels = false, have_indices = false;

  const std::size_t size = data.size();
  std::size_t pos = le32(&data[kChunkOffsetField]);
  for (bool first = true;; first = false) {
    if (pos > size || size - pos < 8) return false;
    const std::uint8_t* tag = &data[pos];
    pos += 8;
    if (tag_is(tag, "kvs_gnam")) break;
    if (size - pos < 4) return false;
    std::uint32_t chunk_size = le32(&data[pos]);
    pos += 4;
    // A size below the header's own would step backwards; a payload past the
    // end of the file cannot be read.
    if (chunk_size < kChunkHeader) return false;
    std::size_t payload = chunk_size - kChunkHeader;
    if (payload > size - pos) return false;
    const std::uint8_t* p = &data[pos];

    if (tag_is(tag, "kvs_frmt")) {
      if (!first || payload > kMaxFormatName) return false;
      format = format_by_name(field_text(p, payload));
      // A name outside the table: the image is converted as an ordinary one.
      if (format == TextureFormat::kInvalid) return false;
    } else if (tag_is(tag, "kvs_c0xp")) {
      color0_transparent = 1;
    } else if (tag_is(tag, "kvs_txel")) {
      if (format == TextureFormat::kInvalid) return false;
      std::size_t words = format_word_count(format, texture.width, texture.height);
      std::size_t bytes = format_word_bytes(format);
      if (payload / bytes < words) return false;
      bitmap.resize(words);
      for (std::size_t i = 0; i < words; ++i) {
        bitmap[i] = bytes == 4 ? le32(p + i * 4) : le16(p + i * 2);
      }
      have_texels = true;
    } else if (tag_is(tag, "kvs_pidx")) {
      if (format == TextureFormat::kTex4x4) {
        std::size_t words = format_word_count(format, texture.width, texture.height);
        if (payload / 2 < words) return false;
        palette_idx.resize(words);
        for (std::size_t i = 0; i < words; ++i) palette_idx[i] = le16(p + i * 2);
        have_indices = true;
      }
    } else if (tag_is(tag, "kvs_pnam")) {
      if (payload > kMaxPaletteName) return false;
      palette_name = field_text(p, payload);
    } else if (tag_is(tag, "kvs_pcol")) {
      for (std::size_t i = 0; i + 1 < payload; i += 2) palette.push_back(le16(p + i));
    }
    pos += payload;
  }

  // Without its texel words (and, for tex4x4, its palette index words) the
  // image cannot be written as it stands.
  if (format == TextureFormat::kInvalid || !have_texels) return false;
  if (format == TextureFormat::kTex4x4 && !have_indices) return false;

  texture.format = format;
  texture.color0_transparent = color0_transparent;
  texture.preconverted = true;
  texture.bitmap = std::move(bitmap);
  texture.tex4x4_palette_idx = std::move(palette_idx);
  texture.palette_name = std::move(palette_name);
  texture.palette = std::move(palette);
  return true;
}

namespace {

// Lines of `per_line` words separated by single blanks; the last line holds
// what remains.
template <typename Word>
void write_word_lines(OutputFile& out, const std::vector<Word>& words, std::size_t count,
                      std::size_t per_line, const char* word_format) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i % per_line == 0) {
      out.write("\n\t\t\t");
    } else {
      out.write(" ");
    }
    unsigned value = i < words.size() ? static_cast<unsigned>(words[i]) : 0u;
    out.printf(word_format, value);
  }
}

}  // namespace

void write_preconverted(OutputFile& out, const SceneTexture& texture, int index) {
  std::string name = image_name(texture.path);
  std::string path = xml_escape(slash_form(texture.path));
  TextureFormat format = texture.format;
  out.printf("\t<tex_image index=\"%d\" name=\"%s\"\n", index, name.c_str());
  out.printf("\t\twidth=\"%d\" height=\"%d\" original_width=\"%d\" original_height=\"%d\"\n",
             texture.width, texture.height, texture.original_width, texture.original_height);
  out.printf("\t\tformat=\"%s\"\n", texture_format_name(format));
  if (has_color0_mode(format)) {
    out.printf("\t\tcolor0_mode=\"%s\"\n",
               texture.color0_transparent != 0 ? "transparency" : "color");
  }
  if (format != TextureFormat::kDirect) {
    if (!texture.palette_name.empty()) {
      out.printf("\t\tpalette_name=\"%s\"\n", sanitize_name(texture.palette_name).c_str());
    } else {
      out.printf("\t\tpalette_name=\"%s_pl\"\n", name.c_str());
    }
  }
  out.printf("\t\tpath=\"%s\"\n", path.c_str());
  out.write("\t>\n");

  std::size_t words = format_word_count(format, texture.width, texture.height);
  out.printf("\t\t<bitmap size=\"%zu\">", words);
  if (format == TextureFormat::kTex4x4) {
    write_word_lines(out, texture.bitmap, words, 4, "%.8x");
  } else {
    std::vector<std::uint16_t> narrow(texture.bitmap.size());
    for (std::size_t i = 0; i < narrow.size(); ++i) {
      narrow[i] = static_cast<std::uint16_t>(texture.bitmap[i] & 0xffffu);
    }
    write_word_lines(out, narrow, words, 8, "%.4x");
  }
  out.write("\n\t\t</bitmap>\n");
  if (format == TextureFormat::kTex4x4) {
    out.printf("\t\t<tex4x4_palette_idx size=\"%zu\">", words);
    write_word_lines(out, texture.tex4x4_palette_idx, words, 8, "%.4x");
    out.write("\n\t\t</tex4x4_palette_idx>\n");
  }
  out.write("\t</tex_image>\n");
}

}  // namespace kavro
