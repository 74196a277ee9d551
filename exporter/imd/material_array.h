// The model file's material array: every material's lights, culling, alpha,
// polygon attributes, colours and texture settings. Writing it also fixes
// each textured material's tex_image_idx for the polygon array.
#pragma once

namespace kavro {

class ExportScene;
class OutputFile;

void write_material_array(OutputFile& out, ExportScene& scene);

}  // namespace kavro
