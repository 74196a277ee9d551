#include "exporter/imd/strips.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "exporter/imd/quads.h"
#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::position_indices;
using test::quad;
using test::tri;

std::vector<int> corners_of(const NQuadFace& f) {
  return {f.corners[0].pos, f.corners[1].pos, f.corners[2].pos, f.corners[3].pos};
}
std::vector<int> corners_of(const NTriFace& f) {
  return {f.corners[0].pos, f.corners[1].pos, f.corners[2].pos};
}

// ---------------------------------------------------------------------------
// Quadrilateral generation

PolygonSet unit_square() {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 0.5f, 0}, {0, 0.5f, 0}};
  set.triangles = {tri(0, 1, 2), tri(0, 2, 3)};
  return set;
}

TEST(QuadGeneration, TwoTriangleSquareBecomesOneQuad) {
  PolygonSet set = unit_square();
  generate_quads(set);
  ASSERT_EQ(set.quad_count(), 1);
  EXPECT_EQ(set.triangle_count(), 0);
  // The first triangle's winding from its free corner, with the second
  // triangle's free corner on the shared edge.
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit);
  EXPECT_EQ(set.quads[0].next, kNoNextFace);
  EXPECT_EQ(set.quads[0].normal, (Vec3{0, 0, 1}));

  ExportScene scene = test::one_set_scene(set);
  std::string text = test::polygon_text(scene);
  EXPECT_NE(text.find("\t\ttriangle_size=\"0\" quad_size=\"1\"\n"), std::string::npos);
  EXPECT_EQ(test::vertex_commands(text),
            "<mtx idx=\"0\"/>\n"
            "<pos_s xyz=\"0.500000 0.000000 0.000000\"/>\n"
            "<pos_yz yz=\"0.500000 0.000000\"/>\n"
            "<pos_xz xz=\"0.000000 0.000000\"/>\n"
            "<pos_yz yz=\"0.000000 0.000000\"/>\n");
  EXPECT_NE(text.find("type=\"quads\" vertex_size=\"4\""), std::string::npos);
}

TEST(QuadGeneration, FoldedTrianglesStayTriangles) {
  const float kDegree = 3.14159265f / 180.0f;
  for (float angle : {0.5f, 0.2f}) {
    PolygonSet set = unit_square();
    set.triangles[1].normal = {0, std::sin(angle * kDegree), std::cos(angle * kDegree)};
    generate_quads(set);
    // cos(0.5 degrees) is below 0.99999, cos(0.2 degrees) above.
    EXPECT_EQ(set.quad_count(), angle > 0.26f ? 0 : 1) << angle;
  }
}

TEST(QuadGeneration, AttributesMustMatchAcrossTheEdge) {
  PolygonSet set = unit_square();
  set.texcoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}};
  set.triangles[1].corners[1].tex = 4;  // corner at position 2 takes another coordinate
  generate_quads(set);
  EXPECT_EQ(set.quad_count(), 0);
  EXPECT_EQ(set.triangle_count(), 2);

  PolygonSet normals = unit_square();
  normals.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0.0005f, 1}, {0, 0.002f, 1}};
  normals.triangles[1].corners[0].nrm = 4;  // within 0.001: still matches
  generate_quads(normals);
  EXPECT_EQ(normals.quad_count(), 1);
  normals = unit_square();
  normals.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0.002f, 1}};
  normals.triangles[1].corners[0].nrm = 4;
  generate_quads(normals);
  EXPECT_EQ(normals.quad_count(), 0);
}

TEST(QuadGeneration, NonConvexOrDegeneratePairsStayTriangles) {
  PolygonSet reflex = unit_square();
  reflex.positions.edit()[3] = {-0.5f, -0.4f, 0};  // the quadrilateral turns back at corner 0
  generate_quads(reflex);
  EXPECT_EQ(reflex.quad_count(), 0);

  PolygonSet flat = unit_square();
  flat.positions.edit()[3] = {0.0005f, 0.0005f, 0};  // an edge shorter than 0.001 in every axis
  generate_quads(flat);
  EXPECT_EQ(flat.quad_count(), 0);
}

TEST(QuadGeneration, PairsWithTheFirstQualifyingLaterTriangle) {
  PolygonSet set = unit_square();
  set.positions.edit().push_back({0, 0.6f, 0});
  set.triangles.push_back(tri(0, 2, 4));
  // A triangle that already has quadrilaterals is left alone.
  PolygonSet has_quads = set;
  has_quads.quads.push_back(quad(0, 1, 2, 3));
  generate_quads(set);
  ASSERT_EQ(set.quad_count(), 1);
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{1, 2, 3, 0}));
  ASSERT_EQ(set.triangle_count(), 1);
  EXPECT_EQ(corners_of(set.triangles[0]), (std::vector<int>{0, 2, 4}));
  generate_quads(has_quads);
  EXPECT_EQ(has_quads.triangle_count(), 3);
}

TEST(QuadGeneration, ManyPairsInAGrid) {
  // A 10 x 10 grid of cells, each split along its diagonal.
  PolygonSet set;
  const int n = 10;
  for (int r = 0; r <= n; ++r) {
    for (int c = 0; c <= n; ++c) {
      set.positions.edit().push_back(
          {0.1f * static_cast<float>(c), 0.1f * static_cast<float>(r), 0});
    }
  }
  auto v = [&](int r, int c) { return r * (n + 1) + c; };
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      set.triangles.push_back(tri(v(r, c), v(r, c + 1), v(r + 1, c + 1)));
      set.triangles.push_back(tri(v(r, c), v(r + 1, c + 1), v(r + 1, c)));
    }
  }
  generate_quads(set);
  EXPECT_EQ(set.quad_count(), n * n);
  EXPECT_EQ(set.triangle_count(), 0);
  // Each cell's own two triangles were paired: the first quad is cell (0, 0).
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{v(0, 1), v(1, 1), v(1, 0), v(0, 0)}));
}

// ---------------------------------------------------------------------------
// Strips

// A row of `cells` quadrilaterals: bottom positions 0..cells, top positions
// cells + 1 .. 2 cells + 1.
PolygonSet quad_row(int cells, std::vector<int> order = {}) {
  PolygonSet set;
  for (int i = 0; i <= cells; ++i)
    set.positions.edit().push_back({0.25f * static_cast<float>(i), 0, 0});
  for (int i = 0; i <= cells; ++i) {
    set.positions.edit().push_back({0.25f * static_cast<float>(i), 0.25f, 0});
  }
  if (order.empty()) {
    for (int i = 0; i < cells; ++i) order.push_back(i);
  }
  int top = cells + 1;
  for (int i : order) set.quads.push_back(quad(i, i + 1, top + i + 1, top + i));
  return set;
}

std::string written_order(PolygonSet set) {
  ExportScene scene = test::one_set_scene(std::move(set));
  scene.vertex_style = VertexStyle::kIndex;
  return position_indices(test::polygon_text(scene));
}

TEST(Strips, QuadRowBecomesOneQuadStrip) {
  PolygonSet set = quad_row(3);
  build_strips(set, true, {});
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 3u);
  EXPECT_EQ(set.quads[1].strip_flags, kQuadBit);
  EXPECT_EQ(set.quads[0].next, 1);
  EXPECT_EQ(set.quads[1].next, 2);
  EXPECT_EQ(set.quads[2].next, kStripEnd);
  // First face: its far corners in exit order, then the shared edge; later
  // faces: the entry edge, then the exit corners.
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{4, 0, 1, 5}));
  EXPECT_EQ(corners_of(set.quads[1]), (std::vector<int>{5, 1, 2, 6}));
  EXPECT_EQ(corners_of(set.quads[2]), (std::vector<int>{6, 2, 3, 7}));
  ExportScene scene = test::one_set_scene(set);
  scene.vertex_style = VertexStyle::kIndex;
  std::string text = test::polygon_text(scene);
  EXPECT_NE(text.find("\t\tvertex_size=\"8\" polygon_size=\"3\"\n"), std::string::npos);
  EXPECT_NE(text.find("<primitive index=\"0\" type=\"quad_strip\" vertex_size=\"8\">"),
            std::string::npos);
  // Corners 0, 1, 3, 2 of the first face, then 3, 2 of each later one.
  EXPECT_EQ(position_indices(text), "4 0 5 1 6 2 7 3");
}

TEST(Strips, StripStartsAtTheFaceWithFewestNeighbours) {
  // The middle cell comes first in the array but has two neighbours.
  PolygonSet set = quad_row(3, {1, 0, 2});
  build_strips(set, true, {});
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit);
  EXPECT_EQ(set.quads[1].strip_flags, kQuadBit | kQuadStripHeadBit | 3u);
  EXPECT_EQ(set.quads[1].next, 0);
  EXPECT_EQ(set.quads[0].next, 2);
  EXPECT_EQ(set.quads[2].next, kStripEnd);
  EXPECT_EQ(written_order(set), "4 0 5 1 6 2 7 3");
}

TEST(Strips, QuadGridMakesStripsAlongRows) {
  // 2 x 2 cells over a 3 x 3 grid of positions r * 3 + c.
  PolygonSet set;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      set.positions.edit().push_back(
          {0.25f * static_cast<float>(c), 0.25f * static_cast<float>(r), 0});
    }
  }
  set.quads = {quad(0, 1, 4, 3), quad(1, 2, 5, 4), quad(3, 4, 7, 6), quad(4, 5, 8, 7)};
  build_strips(set, true, {});
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 2u);
  EXPECT_EQ(set.quads[2].strip_flags, kQuadBit | kQuadStripHeadBit | 2u);
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{3, 0, 1, 4}));
  EXPECT_EQ(corners_of(set.quads[1]), (std::vector<int>{4, 1, 2, 5}));
  EXPECT_EQ(corners_of(set.quads[2]), (std::vector<int>{6, 3, 4, 7}));
  EXPECT_EQ(corners_of(set.quads[3]), (std::vector<int>{7, 4, 5, 8}));
  EXPECT_EQ(written_order(set), "3 0 4 1 5 2 6 3 7 4 8 5");
}

// Two quadrilaterals that share the edge 2-3 (wound oppositely, as in a
// mesh), where the second also holds the first's diagonal pair 0-2. The strip
// must be entered through the edge: through the diagonal, the first face's
// exit corners would be 3 and 0, so corner 0 would be written twice and
// corner 1 lost.
TEST(Strips, DiagonalPairIsNeverTheSharedEdge) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                   {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0.5f, 0.5f, 1}};
  set.quads = {quad(0, 1, 2, 3), quad(0, 7, 3, 2)};
  build_strips(set, true, {});
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 2u);
  EXPECT_EQ(set.quads[0].next, 1);
  EXPECT_EQ(set.quads[1].next, kStripEnd);
  // Entered through (2, 3): the first face leaves by 0, 1; the second is
  // entered through 3, 2 and leaves by its corners 0, 7.
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(corners_of(set.quads[1]), (std::vector<int>{3, 2, 0, 7}));
  EXPECT_EQ(written_order(set), "0 1 3 2 7 0");
}

// A quadrilateral whose only pair in common with another is that one's
// diagonal shares no edge with it: no strip joins them.
TEST(Strips, FacesMeetingOnlyAtADiagonalMakeNoStrip) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1, 1, 1}, {0, 0, 1}};
  set.quads = {quad(0, 1, 2, 3), quad(2, 0, 5, 4)};
  build_strips(set, true, {});
  for (const NQuadFace& q : set.quads) {
    EXPECT_EQ(q.next, kNoNextFace);
    EXPECT_EQ(q.strip_flags, kQuadBit);
  }
  EXPECT_EQ(corners_of(set.quads[0]), (std::vector<int>{0, 1, 2, 3}));
}

// A row of `cells` cells, each cut into two triangles: bottom positions
// 0..cells, top positions cells + 1 ..; cell c gives (b_c, b_c+1, t_c+1)
// and (b_c, t_c+1, t_c).
PolygonSet triangle_row(int cells) {
  PolygonSet set;
  for (int i = 0; i <= cells; ++i)
    set.positions.edit().push_back({0.25f * static_cast<float>(i), 0, 0});
  for (int i = 0; i <= cells; ++i) {
    set.positions.edit().push_back({0.25f * static_cast<float>(i), 0.25f, 0});
  }
  int top = cells + 1;
  for (int c = 0; c < cells; ++c) {
    set.triangles.push_back(tri(c, c + 1, top + c + 1));
    set.triangles.push_back(tri(c, top + c + 1, top + c));
  }
  return set;
}

TEST(Strips, TriangleRowBecomesOneTriangleStrip) {
  PolygonSet set = triangle_row(2);  // positions: bottom 0 1 2, top 3 4 5
  build_strips(set, true, {});
  // Triangle 1 has one neighbour and starts the strip: 1, 0, 3, 2.
  EXPECT_EQ(set.triangles[1].strip_flags, kTriStripHeadBit | 4u);
  EXPECT_EQ(set.triangles[1].next, 0);
  EXPECT_EQ(set.triangles[0].next, 3);
  EXPECT_EQ(set.triangles[3].next, 2);
  EXPECT_EQ(set.triangles[2].next, kStripEnd);
  EXPECT_EQ(corners_of(set.triangles[1]), (std::vector<int>{3, 0, 4}));
  EXPECT_EQ(corners_of(set.triangles[0]), (std::vector<int>{0, 4, 1}));
  EXPECT_EQ(corners_of(set.triangles[3]), (std::vector<int>{4, 1, 5}));
  EXPECT_EQ(corners_of(set.triangles[2]), (std::vector<int>{1, 5, 2}));
  ExportScene scene = test::one_set_scene(set);
  scene.vertex_style = VertexStyle::kIndex;
  std::string text = test::polygon_text(scene);
  EXPECT_NE(text.find("<primitive index=\"0\" type=\"triangle_strip\" vertex_size=\"6\">"),
            std::string::npos);
  EXPECT_EQ(position_indices(text), "3 0 4 1 5 2");
}

// A set holds its node's whole normal array: a normal that is not a number
// but that no face of the set uses changes none of its strips.
TEST(Strips, NormalsTheFacesDoNotUseDoNotMatter) {
  PolygonSet plain = triangle_row(2);
  plain.normals = std::vector<Vec3>(6, Vec3{0, 0, 1});
  PolygonSet with_unused = plain;
  with_unused.normals.edit().push_back({std::nanf(""), 0, 1});
  build_strips(plain, true, {});
  build_strips(with_unused, true, {});
  ASSERT_EQ(with_unused.triangles.size(), plain.triangles.size());
  EXPECT_EQ(plain.triangles[1].strip_flags, kTriStripHeadBit | 4u);
  for (std::size_t f = 0; f < plain.triangles.size(); ++f) {
    EXPECT_EQ(with_unused.triangles[f].strip_flags, plain.triangles[f].strip_flags) << f;
    EXPECT_EQ(with_unused.triangles[f].next, plain.triangles[f].next) << f;
    EXPECT_EQ(corners_of(with_unused.triangles[f]), corners_of(plain.triangles[f])) << f;
  }
}

TEST(Strips, CornerArrangementKeepsAllIndicesOfACorner) {
  PolygonSet set = triangle_row(2);
  set.texcoords.edit().assign(6, TexCoord{});
  set.colors.edit().assign(6, VertexColor{});
  for (NTriFace& f : set.triangles) {
    for (Corner& c : f.corners) {
      c.clr = static_cast<std::uint16_t>(c.pos + 100);  // the matching reads these in range
      c.tex = static_cast<std::uint16_t>(c.pos);
      c.nrm = static_cast<std::uint16_t>(c.pos + 200);
    }
  }
  set.colors.edit().assign(300, VertexColor{});
  build_strips(set, true, {});
  for (const NTriFace& f : set.triangles) {
    for (const Corner& c : f.corners) {
      EXPECT_EQ(c.clr, c.pos + 100);
      EXPECT_EQ(c.tex, c.pos);
      EXPECT_EQ(c.nrm, c.pos + 200);
    }
  }
}

TEST(Strips, DifferentAttributesAcrossAnEdgeBreakTheStrip) {
  PolygonSet set = unit_square();
  set.texcoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}};
  set.triangles[1].corners[1].tex = 4;
  build_strips(set, true, {});
  for (const NTriFace& f : set.triangles) {
    EXPECT_EQ(f.next, kNoNextFace);
    EXPECT_EQ(f.strip_flags, 0u);
  }
  ExportScene scene = test::one_set_scene(set);
  EXPECT_NE(test::polygon_text(scene).find("type=\"triangles\" vertex_size=\"6\""),
            std::string::npos);
}

TEST(Strips, IsolatedFacesStaySeparate) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}, {1, 1, 0}, {1.1f, 1, 0}, {1, 1.1f, 0}};
  set.triangles = {tri(0, 1, 2), tri(3, 4, 5)};
  build_strips(set, true, {});
  EXPECT_EQ(set.triangles[0].next, kNoNextFace);
  EXPECT_EQ(set.triangles[1].next, kNoNextFace);
  ExportScene scene = test::one_set_scene(set);
  std::string text = test::polygon_text(scene);
  EXPECT_NE(text.find("<primitive index=\"0\" type=\"triangles\" vertex_size=\"6\">"),
            std::string::npos);
}

TEST(Strips, AllTrisLeavesQuadsSeparate) {
  ExportScene scene = test::one_set_scene(quad_row(3));
  scene.triangulation = Triangulation::kAllTris;
  scene.use_primitive_strip = 1;
  build_strips(scene);
  for (const NQuadFace& q : scene.polygons[0].quads) {
    EXPECT_EQ(q.next, kNoNextFace);
    EXPECT_EQ(q.strip_flags, kQuadBit);
  }
  scene.triangulation = Triangulation::kAsIs;
  build_strips(scene);
  EXPECT_EQ(scene.polygons[0].quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 3u);
}

TEST(Strips, SkinnedStripStopsAtThirtyInfluenceLists) {
  // 20 cells, 40 triangles, 42 vertices, each on a joint of its own.
  PolygonSet plain = triangle_row(20);
  PolygonSet skinned = plain;
  for (int v = 0; v < skinned.vertex_count(); ++v) {
    SkinInfluence inf;
    inf.weights = {1.0f};
    inf.node_ids = {100 + v};
    skinned.weights.push_back(inf);
  }
  build_strips(plain, true, {});
  EXPECT_EQ(plain.triangles[1].strip_flags, kTriStripHeadBit | 40u);

  build_strips(skinned, true, influence_classes(skinned));
  // 28 faces send 30 vertices; the rest (from triangle 29, with one
  // neighbour left) form a second strip.
  EXPECT_EQ(skinned.triangles[1].strip_flags, kTriStripHeadBit | 28u);
  EXPECT_EQ(skinned.triangles[26].next, kStripEnd);
  EXPECT_EQ(skinned.triangles[29].strip_flags, kTriStripHeadBit | 12u);
  EXPECT_EQ(skinned.triangles[38].next, kStripEnd);

  // Lists shared by many vertices do not stop the strip.
  PolygonSet shared = plain;
  for (int v = 0; v < shared.vertex_count(); ++v) {
    SkinInfluence inf;
    inf.weights = {0.5f, 0.5f};
    inf.node_ids = {1, 2 + v % 3};
    shared.weights.push_back(inf);
  }
  build_strips(shared, true, influence_classes(shared));
  EXPECT_EQ(shared.triangles[1].strip_flags, kTriStripHeadBit | 40u);
}

TEST(Strips, SkinnedQuadStripStopsAtThirtyInfluenceLists) {
  PolygonSet set = quad_row(20);
  for (int v = 0; v < set.vertex_count(); ++v) {
    SkinInfluence inf;
    inf.weights = {1.0f};
    inf.node_ids = {100 + v};
    set.weights.push_back(inf);
  }
  build_strips(set, true, influence_classes(set));
  // Each quadrilateral adds two vertices: 14 faces send 30.
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 14u);
  EXPECT_EQ(set.quads[14].strip_flags, kQuadBit | kQuadStripHeadBit | 6u);
}

TEST(Strips, RebuildingStartsFromScratch) {
  PolygonSet set = quad_row(3);
  set.quads[2].strip_flags |= kQuadStripHeadBit | 9u;
  set.quads[2].next = 0;
  build_strips(set, true, {});
  EXPECT_EQ(set.quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 3u);
  EXPECT_EQ(set.quads[2].strip_flags, kQuadBit);
  EXPECT_EQ(set.quads[2].next, kStripEnd);
}

// A scene's sets are stripped one after another with the same working
// arrays: a large set (sorted by counting) before small ones (sorted
// directly), and sets of both kinds of face, each come out as on their own.
TEST(Strips, SetsAfterOtherSetsComeOutAsOnTheirOwn) {
  ExportScene scene = test::one_set_scene(triangle_row(300));
  scene.polygons.push_back(triangle_row(2));
  // Three triangles on one edge (a crowded run, looked up among the sorted
  // edges), then a fourth beside the last, at positions the large set has not.
  PolygonSet fan;
  for (int i = 0; i < 700; ++i) {
    fan.positions.edit().push_back(
        {0.25f * static_cast<float>(i % 3), 0.25f * static_cast<float>(i / 3), 0});
  }
  fan.triangles = {tri(650, 651, 652), tri(651, 650, 653), tri(650, 651, 654), tri(651, 654, 655)};
  scene.polygons.push_back(fan);
  scene.polygons.push_back(quad_row(3));
  scene.polygons.push_back(triangle_row(40));
  scene.use_primitive_strip = 1;
  std::vector<PolygonSet> alone = scene.polygons;
  for (PolygonSet& set : alone) build_strips(set, true, {});
  build_strips(scene);
  for (std::size_t s = 0; s < alone.size(); ++s) {
    const PolygonSet& got = scene.polygons[s];
    ASSERT_EQ(got.triangles.size(), alone[s].triangles.size());
    for (std::size_t f = 0; f < got.triangles.size(); ++f) {
      EXPECT_EQ(got.triangles[f].next, alone[s].triangles[f].next) << s << " " << f;
      EXPECT_EQ(got.triangles[f].strip_flags, alone[s].triangles[f].strip_flags) << s << " " << f;
      EXPECT_EQ(corners_of(got.triangles[f]), corners_of(alone[s].triangles[f])) << s << " " << f;
    }
    for (std::size_t f = 0; f < got.quads.size(); ++f) {
      EXPECT_EQ(got.quads[f].next, alone[s].quads[f].next) << s << " " << f;
      EXPECT_EQ(got.quads[f].strip_flags, alone[s].quads[f].strip_flags) << s << " " << f;
    }
  }
  // The small row as worked out by hand above: triangles 1, 0, 3, 2.
  const PolygonSet& small = scene.polygons[1];
  EXPECT_EQ(small.triangles[1].strip_flags, kTriStripHeadBit | 4u);
  EXPECT_EQ(small.triangles[1].next, 0);
  EXPECT_EQ(small.triangles[0].next, 3);
  EXPECT_EQ(small.triangles[3].next, 2);
  EXPECT_EQ(small.triangles[2].next, kStripEnd);
  EXPECT_EQ(scene.polygons[3].quads[0].strip_flags, kQuadBit | kQuadStripHeadBit | 3u);
}

}  // namespace
}  // namespace kavro
