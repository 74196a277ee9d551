// The model file's material array: every material's lights, culling, alpha,
// polygon attributes, colours and texture settings.
#pragma once

#include <vector>

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

// The tex_image_array entry of each material: -1 without a texture path or
// when the scene has no texture, else the first texture of the material's
// path (0 when no texture has that path).
std::vector<int> texture_image_indices(const ExportScene& scene);

// `palette_index` holds each texture's entry in tex_palette_array, as the
// texture sections wrote it.
void write_material_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                          const std::vector<int>& palette_index);

}  // namespace kavro
