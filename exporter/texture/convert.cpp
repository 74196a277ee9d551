#include "exporter/texture/convert.h"

#include <string>
#include <vector>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "exporter/texture/format_info.h"
#include "exporter/texture/palette_convert.h"
#include "exporter/texture/preconverted.h"
#include "exporter/texture/tex4x4.h"

namespace kavro {

namespace {

// Eight 16-bit words to a line, separated by single blanks.
void write_bitmap(OutputFile& out, const std::vector<std::uint16_t>& words) {
  out.printf("\t\t<bitmap size=\"%zu\">", words.size());
  for (std::size_t w = 0; w < words.size(); ++w) {
    if (w % 8 == 0) out.write("\n\t\t\t");
    out.printf("%.4x", static_cast<unsigned>(words[w]));
    if (w % 8 != 7) out.write(" ");
  }
  out.write("\n\t\t</bitmap>\n");
}

void write_tex4x4_words(OutputFile& out, const SceneTexture& t) {
  out.printf("\t\t<bitmap size=\"%zu\">", t.bitmap.size());
  for (std::size_t b = 0; b < t.bitmap.size(); ++b) {
    if (b % 4 == 0) out.write("\n\t\t\t");
    out.printf("%.8x", static_cast<unsigned>(t.bitmap[b]));
    if (b % 4 != 3) out.write(" ");
  }
  out.write("\n\t\t</bitmap>");
  out.printf("\n\t\t<tex4x4_palette_idx size=\"%zu\">", t.tex4x4_palette_idx.size());
  for (std::size_t b = 0; b < t.tex4x4_palette_idx.size(); ++b) {
    if (b % 8 == 0) out.write("\n\t\t\t");
    out.printf("%.4x ", static_cast<unsigned>(t.tex4x4_palette_idx[b]));
  }
  out.write("\n\t\t</tex4x4_palette_idx>\n");
}

// Images whose path holds "_cmp" are compressed (tex4x4), "_cmp2" with
// interpolated block colours.
bool compressed(const SceneTexture& t) {
  return t.path.find("_cmp") != std::string::npos;
}

}  // namespace

void convert_texture(SceneTexture& texture) {
  // A texture converted a second time starts from an empty palette.
  texture.palette.clear();
  if (read_preconverted(texture)) return;
  texture.preconverted = false;
  texture.bitmap.clear();
  texture.tex4x4_palette_idx.clear();

  if (compressed(texture)) {
    texture.format = TextureFormat::kTex4x4;
    Tex4x4Mode mode = texture.path.find("_cmp2") != std::string::npos ? Tex4x4Mode::kInterpolated
                                                                      : Tex4x4Mode::kExplicit;
    Tex4x4Result r = encode_tex4x4(texture, mode);
    texture.palette = std::move(r.palette);
    texture.bitmap = std::move(r.texel_words);
    texture.tex4x4_palette_idx = std::move(r.palette_idx);
    return;
  }

  ColorAnalysis analysis = analyse_and_choose(texture);
  texture.format = analysis.format;
  texture.color0_transparent = analysis.transparency ? 1 : 0;
  if (analysis.format != TextureFormat::kDirect) {
    texture.palette = analysis.colors;
    sort_palette(texture.palette, analysis.transparency);
    assign_indices(texture, texture.palette, analysis.transparency);
  }
}

void convert_textures(ExportScene& scene) {
  for (SceneTexture& t : scene.textures) convert_texture(t);
  scene.textures_converted = true;
}

void write_tex_image(OutputFile& out, const SceneTexture& texture, int index) {
  if (texture.preconverted) {
    write_preconverted(out, texture, index);
    return;
  }
  const std::string path = xml_escape(slash_form(texture.path));
  const std::string name = image_name(texture.path);
  out.printf("\t<tex_image index=\"%d\" name=\"%s\"\n", index, name.c_str());
  out.printf("\t\twidth=\"%d\" height=\"%d\" original_width=\"%d\" original_height=\"%d\"\n",
             texture.width, texture.height, texture.original_width, texture.original_height);
  out.printf("\t\tformat=\"%s\"\n", texture_format_name(texture.format));
  if (texture.format == TextureFormat::kTex4x4) {
    out.printf("\t\tpalette_name=\"%s_pl\"\n", name.c_str());
    out.printf("\t\tpath=\"%s\"\n", path.c_str());
    out.write("\t>\n");
    write_tex4x4_words(out, texture);
    out.write("\t</tex_image>\n");
    return;
  }
  if (texture.format != TextureFormat::kDirect) {
    if (has_color0_mode(texture.format)) {
      out.printf("\t\tcolor0_mode=\"%s\"\n",
                 texture.color0_transparent != 0 ? "transparency" : "color");
    }
    out.printf("\t\tpalette_name=\"%s_pl\"\n", name.c_str());
  }
  out.printf("\t\tpath=\"%s\"\n", path.c_str());
  out.write("\t>\n");
  write_bitmap(out, pack_texels(texture, texture.format));
  out.write("\t</tex_image>\n");
}

}  // namespace kavro
