// Texture conversion into the console's formats and the model file's texture
// sections.
#pragma once

namespace kavro {

class ExportScene;
class OutputFile;
struct SceneTexture;

// Converts one texture: sets its format, palette and texel indices. With
// `out` given, also writes its tex_image element under `index`.
void convert_texture(ExportScene& scene, SceneTexture& texture, int index, OutputFile* out);

// Writes tex_image_array and tex_palette_array and fills every texture's
// output_palette_name, palette_index and flags. False on a palette conflict
// (the message has been shown).
bool write_texture_sections(OutputFile& out, ExportScene& scene);

}  // namespace kavro
