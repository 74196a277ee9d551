// Strip generation: chains the faces of a polygon set into quad strips and
// triangle strips. The head face of a strip carries the strip head bit of its
// kind and the number of faces; every face refers to the next one, the last
// to kStripEnd. Faces that join no strip keep kNoNextFace.
#pragma once

#include <vector>

namespace kavro {

class ExportScene;
struct PolygonSet;

// A skinned strip stops growing once its vertices use this many distinct
// influence lists, so that it always fits one matrix primitive.
constexpr int kStripInfluenceLimit = 30;

// Builds the strips of one set: quad strips first (unless `quad_strips` is
// false), then triangle strips. `influence_class` gives, per position index of
// a skinned set, a number that is equal for equal influence lists (empty for
// an unskinned set).
void build_strips(PolygonSet& set, bool quad_strips, const std::vector<int>& influence_class);

// The faces each triangle (or, with `quads`, each quadrilateral) of the set
// may continue a strip into, in face order: at most as many as it has
// corners, the first other faces with two corners that follow each other
// matching two of its corners. Exposed for the tests.
std::vector<std::vector<int>> strip_neighbours(const PolygonSet& set, bool quads);

// Every polygon set that is not deleted, with the progress of the stage
// "IMD: Stripping Meshes". Quad strips are skipped under "all_tris".
void build_strips(ExportScene& scene);

}  // namespace kavro
