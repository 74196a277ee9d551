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

void write_palette(OutputFile& out, ExportScene& scene, const SceneTexture& t, int index) {
  const std::string& name = t.output_palette_name;
  int size = color_size(t);
  out.printf("\t<tex_palette index=\"%d\" name=\"%s\" color_size=\"%d\">", index, name.c_str(),
             size);
  if (name.size() > 16) {
    scene.add_warning_f("Warning: Length of name over 16 characters. palette: %s", name.c_str());
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

bool write_texture_sections(OutputFile& out, ExportScene& scene) {
  std::vector<SceneTexture>& textures = scene.textures;
  const int n = scene.texture_count();
  for (SceneTexture& t : textures) {
    t.flags &= ~kSharesPalette;
    t.output_palette_name.clear();
    t.palette_index = -1;
  }
  if (n == 0) {
    scene.finish_stage(kStage);
    return true;
  }
  const float step = scene.step_size(3 * n);

  out.printf("\n<tex_image_array size=\"%d\">\n", n);
  for (int i = 0; i < n; ++i) {
    SceneTexture& t = textures[i];
    scene.advance(step, kStage);
    if (t.name.size() > 16) {
      scene.add_warning_f("Warning: Length of name over 16 characters. texture: %s",
                          t.name.c_str());
    }
    convert_texture(scene, t, i, &out);
  }
  out.write("</tex_image_array>\n");

  // Palettes: a texture with an explicit palette name shares the palette of
  // the first earlier texture of that name, which must hold the same colours.
  std::unordered_map<std::string, int> first_named;
  std::vector<int> palettes;
  for (int p = 0; p < n; ++p) {
    SceneTexture& t = textures[p];
    scene.advance(step, kStage);
    if (!t.palette_name.empty()) {
      // Earlier textures of any format hold their name, direct ones too.
      auto [it, fresh] = first_named.try_emplace(t.palette_name, p);
      if (!fresh && t.format != TextureFormat::kDirect) {
        const SceneTexture& earlier = textures[it->second];
        if (earlier.palette != t.palette) {
          if (scene.host_interface != nullptr) {
            show_error(*scene.host_interface,
                       format("Texture palette data is not identical. %s", t.palette_name.c_str()),
                       "Palette Error");
          }
          scene.finish_stage(kStage);
          return false;
        }
        t.flags |= kSharesPalette;
      }
    }
    if (t.format == TextureFormat::kDirect) continue;  // no palette
    t.output_palette_name = sanitize_name(t.palette_name.empty() ? t.name + "_pl" : t.palette_name);
    if ((t.flags & kSharesPalette) == 0) palettes.push_back(p);
  }
  if (palettes.empty()) {
    scene.finish_stage(kStage);
    return true;
  }

  std::stable_sort(palettes.begin(), palettes.end(), [&](int a, int b) {
    return textures[a].output_palette_name < textures[b].output_palette_name;
  });
  out.printf("\n<tex_palette_array size=\"%d\">\n", static_cast<int>(palettes.size()));
  std::unordered_map<std::string, int> position_of;
  for (std::size_t i = 0; i < palettes.size(); ++i) {
    scene.advance(step, kStage);
    const SceneTexture& t = textures[palettes[i]];
    write_palette(out, scene, t, static_cast<int>(i));
    position_of.try_emplace(t.output_palette_name, static_cast<int>(i));
  }
  out.write("</tex_palette_array>\n");
  for (SceneTexture& t : textures) {
    if (t.output_palette_name.empty()) continue;
    auto it = position_of.find(t.output_palette_name);
    if (it != position_of.end()) t.palette_index = it->second;
  }
  scene.finish_stage(kStage);
  return true;
}

}  // namespace kavro
