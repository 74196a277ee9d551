// The shared position and colour lists of the index vertex style, and the
// colour list compression that runs for every model file.
#pragma once

namespace kavro {

class ExportScene;
class OutputFile;
struct PolygonSet;

// Removes repeated colours (equal red, green and blue) from one set's colour
// list, keeping the first of each, and points every corner at the kept entry.
void compress_colors(PolygonSet& set);

// Every polygon set that is not deleted and has colours, with the progress of
// the stage "IMD: Compressing Color Lists".
void compress_color_lists(ExportScene& scene);

// vtx_pos_data and vtx_color_data (index style only); sets pos_base and
// color_base of every set that is not deleted. Finishes the stage
// "IMD: Exporting Vertex List" in both styles.
void write_vertex_lists(OutputFile& out, ExportScene& scene);

}  // namespace kavro
