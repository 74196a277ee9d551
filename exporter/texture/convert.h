// Texture conversion into the console's formats and the model file's texture
// sections.
#pragma once

#include <vector>

#include "exporter/pipeline/stages.h"

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;
struct SceneTexture;

// Converts one texture: reads it as a pre-converted image, or chooses its
// format and fills its palette and texel indices (tex4x4: its texel words and
// block palette indices in bitmap and tex4x4_palette_idx).
void convert_texture(SceneTexture& texture);

// Converts every texture of the scene and marks the scene converted.
void convert_textures(ExportScene& scene);

// The driver's texture conversion step: runs before any file is written in
// every run that writes the model file or the texture pattern file.
class TextureConverter : public TextureConversion {
 public:
  void convert(ExportScene& scene) override { convert_textures(scene); }
};

// Writes the tex_image element of a converted texture under `index`.
void write_tex_image(OutputFile& out, const SceneTexture& texture, int index);

// Writes tex_image_array and tex_palette_array of converted textures, and
// gives each texture's position in tex_palette_array in `palette_index` (-1
// without a palette). False on a palette conflict (the message has been
// shown).
bool write_texture_sections(OutputFile& out, const ExportScene& scene, ExportLog& log,
                            std::vector<int>& palette_index);

}  // namespace kavro
