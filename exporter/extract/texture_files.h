// Checking and loading the image file of one texture, and naming the
// textures of a scene.
#pragma once

#include <string>

namespace kavro {

class ExportScene;
struct SceneTexture;

// Textures are converted at most this large on a side.
constexpr int kMaxTextureSide = 1024;

bool is_power_of_two(int n);

// A side the console can use as it is: a power of two from 8 to 1024. Any
// other side (but 0, which no reader gives) draws the size warning, since the
// texture is converted at another size: 4 is a power of two but is converted
// at 8.
bool is_texture_side(int side);

// The side a texture is converted at: the smallest power of two that is at
// least 8 and not below `original`. Above kMaxTextureSide the result is the
// next power of two beyond it, which counts as too large.
int converted_side(int original);

// Checks and loads one image file into `texture`: its path, original size,
// converted size and source texels (top row first, zero texels right of and
// below the image at the converted size). TGA files are offered to the
// colour-mapped reader first, then to the host's bitmap loading, unless the
// colour-mapped reader finds them damaged; images too large to convert are
// refused before their pixels are decoded.
// Adds the size warning for sides that are not texture sides. False when the
// export must stop; the message has been shown.
bool load_texture_file(ExportScene& scene, const std::string& material_name,
                       const std::string& path, SceneTexture& texture);

// Gives every texture its name (its file name without folder and extension,
// with the name rule applied) and warns about each texture whose name an
// earlier texture from another file already has; both are kept.
void name_textures(ExportScene& scene);

}  // namespace kavro
