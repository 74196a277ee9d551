// The polygon array: one polygon per polygon set that is not deleted, cut into
// matrix primitives of fewer than 32 matrices, each holding strips and lists
// of separate faces written as per-vertex display-list commands.
#pragma once

#include <vector>

#include "exporter/imd/imd_writer.h"

namespace kavro {

class ExportLog;
class ExportScene;
class MaterialIndex;
class OutputFile;
struct PolygonSet;

// The faces of a set as the writer sees them: strips (from their head face
// along the next-face chain) and the faces that belong to no strip. A face no
// strip reaches counts as a separate face.
struct FaceLayout {
  std::vector<std::vector<int>> quad_strips;  // quads indices, in chain order
  std::vector<std::vector<int>> tri_strips;   // triangles indices, in chain order
  std::vector<int> separate_quads;
  std::vector<int> separate_tris;
};
FaceLayout face_layout(const PolygonSet& set);

// The number of vertices the set's display list sends: 3 per separate
// triangle, 4 per separate quadrilateral, n + 2 per triangle strip and
// 2n + 2 per quad strip of n faces.
int sent_vertex_count(const PolygonSet& set);
int sent_vertex_count(const FaceLayout& layout);

struct Primitive {
  bool quads = false;
  bool strip = false;
  std::vector<int> faces;  // indices into quads or triangles
};

struct MatrixPrimitive {
  std::vector<int> matrices;  // matrix_array entries
  std::vector<Primitive> primitives;
};

// The matrix_array entry a vertex is drawn with (-1 when it has none).
int vertex_matrix(const PolygonSet& set, int position);

// Groups the faces into matrix primitives: quad strips, triangle strips,
// separate quadrilaterals, separate triangles, each added to the current
// matrix primitive while its matrices keep the list below 32.
std::vector<MatrixPrimitive> group_matrix_primitives(const PolygonSet& set,
                                                     const FaceLayout& layout);

// Writes the polygon array, adds to the totals, checks the limits and warns
// about zero normals.
void write_polygon_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         ImdTotals& totals);
// The same with the scene's material index, built once for the file.
void write_polygon_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         ImdTotals& totals, const MaterialIndex& materials);

}  // namespace kavro
