#include "exporter/imd/vertex_lists.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::quad;
using test::tri;

std::vector<int> color_indices(const PolygonSet& set) {
  std::vector<int> out;
  for (const NTriFace& f : set.triangles) {
    for (const Corner& c : f.corners) out.push_back(c.clr);
  }
  for (const NQuadFace& f : set.quads) {
    for (const Corner& c : f.corners) out.push_back(c.clr);
  }
  return out;
}

TEST(ColorCompression, RepeatedColourFoldsIntoTheFirst) {
  PolygonSet set;
  set.colors = {{255, 0, 0}, {0, 255, 0}, {255, 0, 0}};
  set.triangles = {tri(0, 1, 2), tri(2, 1, 0)};
  compress_colors(set);
  EXPECT_EQ(set.colors, (std::vector<VertexColor>{{255, 0, 0}, {0, 255, 0}}));
  EXPECT_EQ(color_indices(set), (std::vector<int>{0, 1, 0, 0, 1, 0}));
}

TEST(ColorCompression, IndicesAboveARemovedEntryMoveDown) {
  // A B A B C: the second A and B go, C moves from 4 to 2; an index past the
  // list moves down by the two removed entries.
  const VertexColor a{10, 20, 30}, b{40, 50, 60}, c{70, 80, 90};
  PolygonSet set;
  set.colors = {a, b, a, b, c};
  set.triangles = {tri(0, 1, 2)};
  set.quads = {quad(3, 4, 2, 1)};
  set.triangles[0].corners[2].clr = 9;
  compress_colors(set);
  EXPECT_EQ(set.colors, (std::vector<VertexColor>{a, b, c}));
  EXPECT_EQ(color_indices(set), (std::vector<int>{0, 1, 7, 1, 2, 0, 1}));
}

TEST(ColorCompression, RunsForEverySetThatIsNotDeleted) {
  ExportScene scene;
  PolygonSet set;
  set.colors = {{1, 1, 1}, {1, 1, 1}};
  set.triangles = {tri(0, 1, 1)};
  scene.polygons = {set, set};
  scene.polygons[1].deleted = true;
  compress_color_lists(scene);
  EXPECT_EQ(scene.polygons[0].color_count(), 1);
  EXPECT_EQ(color_indices(scene.polygons[0]), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(scene.polygons[1].color_count(), 2);
}

PolygonSet sized_set(int vertices, int colors) {
  PolygonSet set;
  for (int v = 0; v < vertices; ++v) {
    set.positions.edit().push_back({0.5f * static_cast<float>(v), -0.25f, 1.0f / 4096});
  }
  for (int c = 0; c < colors; ++c) {
    auto u = static_cast<std::uint8_t>(8 * c + 7);
    set.colors.edit().push_back({u, 255, 0});
  }
  return set;
}

TEST(VertexLists, IndexStyleWritesSharedListsAndBases) {
  ExportScene scene;
  scene.vertex_style = VertexStyle::kIndex;
  scene.polygons = {sized_set(2, 1), sized_set(3, 3), sized_set(1, 2)};
  scene.polygons[1].deleted = true;
  OutputFile out;
  write_vertex_lists(out, scene, scene.log());
  EXPECT_EQ(test::lf(out.text()),
            "\n<vtx_pos_data pos_size=\"3\">\n"
            "\t0.000000 -0.250000 0.000244\n"
            "\t0.500000 -0.250000 0.000244\n"
            "\t0.000000 -0.250000 0.000244\n"
            "</vtx_pos_data>\n"
            "\n<vtx_color_data color_size=\"3\">\n"
            "\t0 31 0\n"
            "\t0 31 0\n"
            "\t1 31 0\n"
            "</vtx_color_data>\n");
  VertexListBases bases = vertex_list_bases(scene);
  EXPECT_EQ(bases.pos, (std::vector<int>{0, 0, 2}));
  EXPECT_EQ(bases.color, (std::vector<int>{0, 0, 1}));
}

TEST(VertexLists, BasesFollowTheSizesOfEarlierSets) {
  ExportScene scene;
  scene.vertex_style = VertexStyle::kIndex;
  scene.polygons = {sized_set(5, 2), sized_set(3, 4)};
  OutputFile out;
  write_vertex_lists(out, scene, scene.log());
  EXPECT_EQ(vertex_list_bases(scene).pos, (std::vector<int>{0, 5}));
  EXPECT_EQ(vertex_list_bases(scene).color, (std::vector<int>{0, 2}));
  EXPECT_NE(out.text().find("pos_size=\"8\""), std::string::npos);
  EXPECT_NE(out.text().find("color_size=\"6\""), std::string::npos);
}

TEST(VertexLists, DirectStyleWritesNoLists) {
  ExportScene scene;
  scene.polygons = {sized_set(5, 2)};
  OutputFile out;
  write_vertex_lists(out, scene, scene.log());
  EXPECT_EQ(out.text(), "");
}

TEST(VertexLists, AllSetsDeletedWritesAnEmptyPositionList) {
  ExportScene scene;
  scene.vertex_style = VertexStyle::kIndex;
  scene.polygons = {sized_set(5, 2)};
  scene.polygons[0].deleted = true;
  OutputFile out;
  write_vertex_lists(out, scene, scene.log());
  EXPECT_EQ(test::lf(out.text()), "\n<vtx_pos_data pos_size=\"0\">\n</vtx_pos_data>\n");
}

}  // namespace
}  // namespace kavro
