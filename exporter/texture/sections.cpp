// The model file's texture sections: tex_image_array (one converted image per
// texture) and tex_palette_array (one entry per distinct palette, sorted by
// name).
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "exporter/texture/convert.h"

namespace kavro {

namespace {

constexpr const char* kStage = "IMD: Exporting Textures";

// Written colour count: a multiple of 4 for palette4, of 8 otherwise.
int color_size(const SceneTexture& t) {
  int n = static_cast<int>(t.palette.size());
  int unit = t.format == TextureFormat::kPalette4 ? 4 : 8;
  return (n + unit - 1) / unit * unit;
}

void write_palette(OutputFile& out, ExportLog& log, const SceneTexture& t, const std::string& name,
                   int index) {
  int size = color_size(t);
  out.printf("\t<tex_palette index=\"%d\" name=\"%s\" color_size=\"%d\">", index, name.c_str(),
             size);
  if (name.size() > 16) {
    log.add_warning_f("Warning: Length of name over 16 characters. palette: %s", name.c_str());
  }
  for (int j = 0; j < size; ++j) {
    if (j % 8 == 0) out.write("\n\t\t");
    unsigned word = j < static_cast<int>(t.palette.size()) ? t.palette[j] : 0x7fffu;
    out.printf("%.4x", word);
    if (j % 8 != 7) out.write(" ");
  }
  out.write("\n\t</tex_palette>\n");
}

}  // namespace

bool write_texture_sections(OutputFile& out, const ExportScene& scene, ExportLog& log,
                            std::vector<int>& palette_index) {
  const std::vector<SceneTexture>& textures = scene.textures;
  const int n = scene.texture_count();
  palette_index.assign(textures.size(), -1);
  if (n == 0) {
    log.finish_stage(kStage);
    return true;
  }
  const float step = log.step_size(3 * n);

  out.printf("\n<tex_image_array size=\"%d\">\n", n);
  for (int i = 0; i < n; ++i) {
    const SceneTexture& t = textures[i];
    log.advance(step, kStage);
    if (t.name.size() > 16) {
      log.add_warning_f("Warning: Length of name over 16 characters. texture: %s", t.name.c_str());
    }
    write_tex_image(out, t, i);
  }
  out.write("</tex_image_array>\n");

  // Palettes: a texture with an explicit palette name shares the palette of
  // the first earlier texture of that name, which must hold the same colours.
  std::unordered_map<std::string, int> first_named;
  std::vector<std::string> output_name(textures.size());
  std::vector<int> palettes;
  for (int p = 0; p < n; ++p) {
    const SceneTexture& t = textures[p];
    log.advance(step, kStage);
    bool shares = false;
    if (!t.palette_name.empty()) {
      // Earlier textures of any format hold their name, direct ones too.
      auto [it, fresh] = first_named.try_emplace(t.palette_name, p);
      if (!fresh && t.format != TextureFormat::kDirect) {
        const SceneTexture& earlier = textures[it->second];
        if (earlier.palette != t.palette) {
          if (log.host_interface != nullptr) {
            show_error(*log.host_interface,
                       format("Texture palette data is not identical. %s", t.palette_name.c_str()),
                       "Palette Error");
          }
          log.finish_stage(kStage);
          return false;
        }
        shares = true;
      }
    }
    if (t.format == TextureFormat::kDirect) continue;  // no palette
    output_name[p] = sanitize_name(t.palette_name.empty() ? t.name + "_pl" : t.palette_name);
    if (!shares) palettes.push_back(p);
  }
  if (palettes.empty()) {
    log.finish_stage(kStage);
    return true;
  }

  std::stable_sort(palettes.begin(), palettes.end(),
                   [&](int a, int b) { return output_name[a] < output_name[b]; });
  out.printf("\n<tex_palette_array size=\"%d\">\n", static_cast<int>(palettes.size()));
  std::unordered_map<std::string, int> position_of;
  for (std::size_t i = 0; i < palettes.size(); ++i) {
    log.advance(step, kStage);
    const int p = palettes[i];
    write_palette(out, log, textures[p], output_name[p], static_cast<int>(i));
    position_of.try_emplace(output_name[p], static_cast<int>(i));
  }
  out.write("</tex_palette_array>\n");
  for (std::size_t i = 0; i < textures.size(); ++i) {
    if (output_name[i].empty()) continue;
    auto it = position_of.find(output_name[i]);
    if (it != position_of.end()) palette_index[i] = it->second;
  }
  log.finish_stage(kStage);
  return true;
}

}  // namespace kavro
