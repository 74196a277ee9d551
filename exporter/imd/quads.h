// Quadrilateral generation: pairs of coplanar triangles that share an edge
// and together form a strictly convex quadrilateral become one quadrilateral.
#pragma once

namespace kavro {

class ExportScene;
struct PolygonSet;

// Pairs the triangles of a set that has no quadrilaterals yet. Each triangle
// is paired with the first later unpaired triangle that qualifies; the
// quadrilateral keeps the first triangle's winding, with the second
// triangle's free corner inserted on the shared edge. Unpaired triangles stay
// in their order.
void generate_quads(PolygonSet& set);

// Every polygon set that is not deleted.
void generate_quads(ExportScene& scene);

}  // namespace kavro
