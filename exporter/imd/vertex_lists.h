// The shared position and colour lists of the index vertex style, and the
// colour list compression that runs for every model file.
#pragma once

#include <vector>

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;
struct PolygonSet;

// Removes repeated colours (equal red, green and blue) from one set's colour
// list, keeping the first of each, and points every corner at the kept entry.
void compress_colors(PolygonSet& set);

// Every polygon set that is not deleted and has colours, with the progress of
// the stage "IMD: Compressing Color Lists".
void compress_color_lists(ExportScene& scene);

// Where each polygon set's positions and colours begin in the shared lists
// of the index vertex style: the counts of the sets before it that are not
// deleted (0 for a deleted set).
struct VertexListBases {
  std::vector<int> pos, color;
};
VertexListBases vertex_list_bases(const ExportScene& scene);

// vtx_pos_data and vtx_color_data (index style only). Finishes the stage
// "IMD: Exporting Vertex List" in both styles.
void write_vertex_lists(OutputFile& out, const ExportScene& scene, ExportLog& log);

}  // namespace kavro
