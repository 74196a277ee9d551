// The model's matrix table: one entry per rigid node or single-bone
// influence, one per blend of several nodes (an envelope). Building it assigns
// every polygon set the entries its vertices use (matrix_list); the envelope
// list and the matrix array describe it in the model file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

class OutputFile;

// A weight as a whole percentage: w x 100 + 0.5 truncated toward zero
// (clamped to the int range; NaN gives 0).
int weight_percent(float w);

// The influence list a vertex of a set is drawn with. A vertex of a skinned
// set without any influence is bound wholly to the set's own node, the way
// weight reading treats such vertices; pairs beyond the shorter of the
// weight and node arrays are ignored.
SkinInfluence vertex_influence(const PolygonSet& set, int vertex);

// Two influence lists are equal when their counts are equal and every pair of
// each has a pair in the other with the same node id and the same percentage.
bool influences_equal(const SkinInfluence& a, const SkinInfluence& b);

// A text that is the same for two lists exactly when they are equal.
std::string influence_key(const SkinInfluence& list);

// Per vertex of a skinned set, a class number: equal numbers for equal
// influence lists. Empty for an unskinned set.
std::vector<int> influence_classes(const PolygonSet& set);

struct MatrixEntry {
  int count = 1;  // number of influences; 1 for a single node
  int node = -1;  // node position; -1 for a blend
  int list = -1;  // index into MatrixTable::lists; -1 for a rigid node
};

struct MatrixTable {
  std::vector<SkinInfluence> lists;  // distinct influence lists, most influences first
  std::vector<MatrixEntry> entries;  // the table in written order
  std::vector<int> rigid_nodes;      // positions of mesh nodes with unskinned geometry
};

// Builds the table and fills matrix_list of every polygon set that is not
// deleted (a skinned set gets one entry per vertex, an unskinned set the entry
// of its node). Advances the stage "IMD: Building Skin Vertex List".
MatrixTable build_matrix_table(ExportScene& scene);

// The envelope block (only with force_full_weight off and some blend weight).
void write_envelope_list(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         const MatrixTable& table);

// The matrix_array block; its size is the number of entries written.
void write_matrix_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                        const MatrixTable& table);

// Reorders items exactly as this exchange sort does:
//   for p in order: for every later i: if key(items[i]) > key(items[p]) swap.
// (The sort is not stable; equal keys may change order, and the output files
// depend on that order.) Each pass moves the running maxima along one cycle,
// so the cost is that of the swaps made, each found in logarithmic time.
template <class T, class KeyFn>
void exchange_sort(std::vector<T>& items, KeyFn key);

}  // namespace kavro

#include "exporter/imd/exchange_sort_impl.h"
