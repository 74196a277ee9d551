// TGA files that a platform texture tool has already converted: the image
// identification field carries "KVS_Tga Ver 1.0" and a chain of extension
// chunks holds the format, the texel words, the palette and its name. Such an
// image is written as it stands, without conversion.
#pragma once

namespace kavro {

class OutputFile;
struct SceneTexture;

// Reads the texture's file as a pre-converted image. On success fills
// format, color0_transparent, bitmap, tex4x4_palette_idx, palette_name and
// palette (replacing what they held). A file that is not pre-converted, ends
// early, breaks the chunk rules or holds fewer words than the texture's size
// and format call for leaves the texture untouched and answers false.
bool read_preconverted(SceneTexture& texture);

// Writes the tex_image element of a texture that read_preconverted filled.
void write_preconverted(OutputFile& out, const SceneTexture& texture, int index);

}  // namespace kavro
