#include "exporter/imd/polygon_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::one_set_scene;
using test::polygon_text;
using test::quad;
using test::tri;
using test::vertex_commands;

bool has_warning(const ExportScene& scene, const std::string& text) {
  const auto& w = scene.warnings();
  return std::find(w.begin(), w.end(), text) != w.end();
}

int count_prefix(const ExportScene& scene, const std::string& prefix) {
  int n = 0;
  for (const std::string& w : scene.warnings()) n += w.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

TEST(PolygonArray, IsolatedTriangleIsATrianglesPrimitive) {
  PolygonSet set;
  set.positions = {{0.5f, -0.25f, 1.0f}, {0.6f, -0.15f, 1.1f}, {0.6f, 1.0f, 2.0f}};
  set.triangles = {tri(0, 1, 2)};
  set.node_name = "tri";
  ExportScene scene = one_set_scene(set);
  ImdTotals totals;
  compress_color_lists(scene);
  build_matrix_table(scene);
  OutputFile out;
  write_polygon_array(out, scene, scene.log(), totals);
  // Corner 0 is a multiple of 1/64 (short form), corner 1 lies 0.1 away in
  // every axis (difference), corner 2 keeps x (y and z only).
  EXPECT_EQ(test::lf(out.text()),
            "\n<polygon_array size=\"1\">\n"
            "\t<polygon index=\"0\" name=\"tri\"\n"
            "\t\tvertex_size=\"3\" polygon_size=\"1\"\n"
            "\t\ttriangle_size=\"1\" quad_size=\"0\"\n"
            "\t\tvolume_min=\"0.000000 0.000000 0.000000\"\n"
            "\t\tvolume_max=\"0.000000 0.000000 0.000000\"\n"
            "\t\tvolume_r=\"0.000000\"\n"
            "\t\tmtx_prim_size=\"1\"\n"
            "\t\tnrm_flag=\"off\" clr_flag=\"off\" tex_flag=\"off\"\n"
            "\t>\n"
            "\t\t<mtx_prim index=\"0\">\n"
            "\t\t\t<mtx_list size=\"1\">0</mtx_list>\n"
            "\t\t\t<primitive_array size=\"1\">\n"
            "\t\t\t\t<primitive index=\"0\" type=\"triangles\" vertex_size=\"3\">\n"
            "\t\t\t\t\t<mtx idx=\"0\"/>\n"
            "\t\t\t\t\t<pos_s xyz=\"0.500000 -0.250000 1.000000\"/>\n"
            "\t\t\t\t\t<pos_diff xyz=\"0.100000 0.100000 0.100000\"/>\n"
            "\t\t\t\t\t<pos_yz yz=\"1.000000 2.000000\"/>\n"
            "\t\t\t\t</primitive>\n"
            "\t\t\t</primitive_array>\n"
            "\t\t</mtx_prim>\n"
            "\t</polygon>\n"
            "</polygon_array>\n");
  EXPECT_EQ(totals.vertices, 3);
  EXPECT_EQ(totals.triangles, 1);
  EXPECT_EQ(totals.quads, 0);
}

TEST(PolygonArray, HeaderVolumesAreScaledAndRounded) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}};
  set.triangles = {tri(0, 1, 2)};
  set.box_min = {-3.0f, -1.0f, 0.0001f};
  set.box_max = {3.0f, 1.0f, 2.0f};
  set.box_r = 10.0f;
  ExportScene scene = one_set_scene(set);
  scene.pos_scale = 2;
  std::string text = polygon_text(scene);
  // Divided by 4; 0.0001 / 4 rounds to 0 (never "-0").
  EXPECT_NE(text.find("\t\tvolume_min=\"-0.750000 -0.250000 0.000000\"\n"
                      "\t\tvolume_max=\"0.750000 0.250000 0.500000\"\n"
                      "\t\tvolume_r=\"2.500000\"\n"),
            std::string::npos);
}

TEST(PolygonArray, EmptyArrayWritesNothingButChecksLimits) {
  ExportScene scene;
  PolygonSet gone;
  gone.deleted = true;
  gone.normals = {{0, 0, 0}};
  gone.node_name = "gone";
  scene.polygons.push_back(gone);
  OutputFile out;
  ImdTotals totals;
  write_polygon_array(out, scene, scene.log(), totals);
  EXPECT_EQ(out.text(), "");
  // Deleted sets are still searched for zero normals.
  EXPECT_TRUE(has_warning(scene, "Warning: Zero normals exist gone"));
}

// The position command of the second corner of a triangle whose first two
// corners are a and b.
std::string second_command(Vec3 a, Vec3 b) {
  PolygonSet set;
  set.positions = {a, b, {7.5f, 7.5f, 7.5f}};
  set.triangles = {tri(0, 1, 2)};
  ExportScene scene = one_set_scene(set);
  std::string cmds = vertex_commands(polygon_text(scene));
  std::size_t first = cmds.find('\n', cmds.find("<pos_"));
  return cmds.substr(first + 1, cmds.find('\n', first + 1) - first - 1);
}

std::string first_command(Vec3 a) {
  PolygonSet set;
  set.positions = {a, {0, 0, 0}, {0, 0, 0}};
  set.triangles = {tri(0, 1, 2)};
  ExportScene scene = one_set_scene(set);
  std::string cmds = vertex_commands(polygon_text(scene));
  std::size_t at = cmds.find("<pos_");
  return cmds.substr(at, cmds.find('\n', at) - at);
}

TEST(PolygonArray, FirstCornerShortFormOnlyForMultiplesOfOneSixtyFourth) {
  EXPECT_EQ(first_command({0.5f, -0.25f, 1.0f}), "<pos_s xyz=\"0.500000 -0.250000 1.000000\"/>");
  EXPECT_EQ(first_command({0.51f, 0, 0}), "<pos_xyz xyz=\"0.510000 0.000000 0.000000\"/>");
  EXPECT_EQ(first_command({0.015625f, 0, 0}), "<pos_s xyz=\"0.015625 0.000000 0.000000\"/>");
  EXPECT_EQ(first_command({0.015625f + 1.0f / 4096, 0, 0}),
            "<pos_xyz xyz=\"0.015869 0.000000 0.000000\"/>");
  EXPECT_EQ(first_command({0, 0, -0.015625f - 1.0f / 4096}),
            "<pos_xyz xyz=\"0.000000 0.000000 -0.015869\"/>");
  EXPECT_EQ(first_command({-8.0f, 7.984375f, 0}), "<pos_s xyz=\"-8.000000 7.984375 0.000000\"/>");
}

TEST(PolygonArray, ShortFormNeverWrapsOutOfRangeValues) {
  // 8 x 4096 does not fit 16 signed bits; written in full, not as -8.
  EXPECT_EQ(first_command({8.0f, 0, 0}), "<pos_xyz xyz=\"8.000000 0.000000 0.000000\"/>");
  EXPECT_EQ(first_command({0, 16.0f, 0}), "<pos_xyz xyz=\"0.000000 16.000000 0.000000\"/>");
  EXPECT_EQ(first_command({0, 0, -8.015625f}), "<pos_xyz xyz=\"0.000000 0.000000 -8.015625\"/>");
}

TEST(PolygonArray, LaterCornerCommandChoice) {
  Vec3 o{0, 0, 0};
  EXPECT_EQ(second_command(o, {0.1f, 0.1f, 0.1f}),
            "<pos_diff xyz=\"0.100000 0.100000 0.100000\"/>");
  EXPECT_EQ(second_command(o, {511.0f / 4096, -511.0f / 4096, 0.1f}),
            "<pos_diff xyz=\"0.124756 -0.124756 0.100000\"/>");
  // 0.125 away in one axis is no longer a difference.
  EXPECT_EQ(second_command(o, {0.125f, 0.1f, 0.1f}),
            "<pos_xyz xyz=\"0.125000 0.100000 0.100000\"/>");
  EXPECT_EQ(second_command(o, {0.1f, -0.125f, 0.1f}),
            "<pos_xyz xyz=\"0.100000 -0.125000 0.100000\"/>");
  // Kept coordinates, tried in the order x, y, z.
  EXPECT_EQ(second_command(o, {0, 1, 2}), "<pos_yz yz=\"1.000000 2.000000\"/>");
  EXPECT_EQ(second_command(o, {1, 0, 2}), "<pos_xz xz=\"1.000000 2.000000\"/>");
  EXPECT_EQ(second_command(o, {1, 2, 0}), "<pos_xy xy=\"1.000000 2.000000\"/>");
  EXPECT_EQ(second_command(o, {-0.125f, 0, 0}), "<pos_xz xz=\"-0.125000 0.000000\"/>");
  EXPECT_EQ(second_command({1, 1, 1}, {2, 3, 4}), "<pos_xyz xyz=\"2.000000 3.000000 4.000000\"/>");
}

TEST(PolygonArray, ColourCommandsOnlyWhenTheFiveBitColourChanges) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.0625f, 0, 0}, {0.0625f, 0.0625f, 0}, {0, 0.0625f, 0}};
  set.colors = {{255, 0, 0}, {248, 7, 0}, {0, 255, 0}, {0, 255, 0}};
  set.quads = {quad(0, 1, 2, 3)};
  ExportScene scene = one_set_scene(set);
  PolygonSet second = scene.polygons[0];
  second.node_name = "second";
  scene.polygons.push_back(second);
  std::string text = polygon_text(scene);
  EXPECT_NE(text.find("nrm_flag=\"off\" clr_flag=\"on\" tex_flag=\"off\""), std::string::npos);
  // 248 and 255 give the same five bits; the previous colour is reset for
  // every polygon, so the second writes its first colour again.
  const std::string one =
      "<clr rgb=\"31 0 0\"/>\n"
      "<pos_s xyz=\"0.000000 0.000000 0.000000\"/>\n"
      "<pos_diff xyz=\"0.062500 0.000000 0.000000\"/>\n"
      "<clr rgb=\"0 31 0\"/>\n"
      "<pos_diff xyz=\"0.000000 0.062500 0.000000\"/>\n"
      "<pos_diff xyz=\"-0.062500 0.000000 0.000000\"/>\n";
  EXPECT_EQ(vertex_commands(text), "<mtx idx=\"0\"/>\n" + one + "<mtx idx=\"0\"/>\n" + one);
  // The repeated colour entry was merged into the first.
  EXPECT_EQ(scene.polygons[0].color_count(), 3);
  EXPECT_EQ(scene.polygons[0].quads[0].corners[3].clr, 2);
}

TEST(PolygonArray, LitMaterialWritesNormalsAndNoColours) {
  PolygonSet set;
  set.node_name = "lit";
  const float h = 0.0625f;
  set.positions = {{0, 0, 0},    {h, 0, 0},        {h, h, 0},        {0, h, 0},
                   {0.5f, 0, 0}, {0.5f + h, 0, 0}, {0.5f + h, h, 0}, {0.5f, h, 0}};
  set.colors = {{255, 255, 255}};
  set.normals = {{0, 0, 2},  {0, 0, 1}, {0, 0.0009f, 1}, {0, 0.0018f, 1},
                 {-1, 0, 0}, {0, 0, 0}, {0, 0, 0},       {0, 0.5f, 0}};
  set.quads = {quad(0, 1, 2, 3), quad(4, 5, 6, 7)};
  for (auto& q : set.quads) {
    for (auto& c : q.corners) c.clr = 0;
  }
  ExportScene scene = one_set_scene(set, 1);
  std::string text = polygon_text(scene);
  EXPECT_NE(text.find("nrm_flag=\"on\" clr_flag=\"on\" tex_flag=\"off\""), std::string::npos);
  // Components are clamped below 1; a change under 0.001 from the previous
  // normal (which follows every vertex, written or not) is left out; a zero
  // normal stays zero.
  EXPECT_EQ(vertex_commands(text),
            "<mtx idx=\"0\"/>\n"
            "<nrm xyz=\"0.000000 0.000000 0.998047\"/>\n"
            "<pos_s xyz=\"0.000000 0.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.062500 0.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.000000 0.062500 0.000000\"/>\n"
            "<pos_diff xyz=\"-0.062500 0.000000 0.000000\"/>\n"
            "<nrm xyz=\"-1.000000 0.000000 0.000000\"/>\n"
            "<pos_s xyz=\"0.500000 0.000000 0.000000\"/>\n"
            "<nrm xyz=\"0.000000 0.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.062500 0.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.000000 0.062500 0.000000\"/>\n"
            "<nrm xyz=\"0.000000 0.998047 0.000000\"/>\n"
            "<pos_diff xyz=\"-0.062500 0.000000 0.000000\"/>\n");
  // The scene keeps its normals as they were given.
  EXPECT_EQ(scene.polygons[0].normals, set.normals);
  EXPECT_TRUE(has_warning(scene, "Warning: Zero normals exist lit"));
  EXPECT_EQ(count_prefix(scene, "Warning: Zero normals exist"), 1);
}

// Two sets of one node hold the node's normal array. What the first one
// normalises while it is written must not show in the second: a normal of
// length 0.0001 is about zero for a set that leaves it as it is.
TEST(PolygonArray, SetsSharingNormalsEachNormaliseTheirOwn) {
  PolygonSet uses;
  uses.node_name = "uses";
  uses.positions = {{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}};
  uses.normals = {{0, 0, 0.0001f}, {1, 0, 0}};
  uses.triangles = {tri(0, 1, 2)};
  for (auto& c : uses.triangles[0].corners) c.nrm = 0;
  PolygonSet other = uses;
  other.node_name = "other";
  for (auto& c : other.triangles[0].corners) c.nrm = 1;
  ASSERT_TRUE(other.normals.shares_with(uses.normals));
  auto scene_of_both = [&](bool deleted) {
    ExportScene scene = one_set_scene(uses, 1);
    scene.polygons.push_back(scene.polygons[0]);
    PolygonSet& second = scene.polygons[1];
    second.node_name = other.node_name;
    second.triangles = other.triangles;
    for (PolygonSet& set : scene.polygons) set.deleted = deleted;
    return scene;
  };

  ExportScene scene = scene_of_both(false);
  const std::string both = polygon_text(scene);
  EXPECT_NE(both.find("<nrm xyz=\"0.000000 0.000000 0.998047\"/>"), std::string::npos);
  // The second set is written as it would be on its own.
  const std::string other_text = both.substr(both.find("name=\"other\""));
  ExportScene alone = one_set_scene(other, 1);
  EXPECT_EQ(vertex_commands(other_text), vertex_commands(polygon_text(alone)));
  EXPECT_NE(other_text.find("<nrm xyz=\"0.998047 0.000000 0.000000\"/>"), std::string::npos);
  EXPECT_FALSE(has_warning(scene, "Warning: Zero normals exist uses"));
  EXPECT_TRUE(has_warning(scene, "Warning: Zero normals exist other"));
  EXPECT_EQ(scene.polygons[1].normals[0], (Vec3{0, 0, 0.0001f}));

  // Deleted sets are not written: their normals count as they are.
  ExportScene gone = scene_of_both(true);
  polygon_text(gone);
  EXPECT_TRUE(has_warning(gone, "Warning: Zero normals exist uses"));
  EXPECT_TRUE(has_warning(gone, "Warning: Zero normals exist other"));
}

// A normal counts as zero as it was drawn: a short one that a vertex sends
// is normalised first (0, 0, 1), one that no vertex sends stays short.
TEST(PolygonArray, ZeroNormalsAreJudgedAsTheyWereDrawn) {
  for (bool both_sent : {false, true}) {
    PolygonSet set;
    set.node_name = "short";
    set.positions = {{0, 0, 0}, {0.0625f, 0, 0}, {0, 0.0625f, 0}};
    set.normals = {{0, 0, 0.0001f}, {0, 0, 0.0001f}};
    set.triangles = {tri(0, 1, 2)};
    for (Corner& c : set.triangles[0].corners) c.nrm = 0;
    if (both_sent) set.triangles[0].corners[2].nrm = 1;
    ExportScene scene = one_set_scene(set, 1);
    std::string text = polygon_text(scene);
    EXPECT_NE(vertex_commands(text).find("<nrm xyz=\"0.000000 0.000000 0.998047\"/>"),
              std::string::npos);
    EXPECT_EQ(has_warning(scene, "Warning: Zero normals exist short"), !both_sent);
  }
}

TEST(PolygonArray, IndexStyleWritesIndicesWithBases) {
  ExportScene scene;
  scene.vertex_style = VertexStyle::kIndex;
  scene.nodes = {test::make_node(1, "a"), test::make_node(2, "b")};
  scene.materials = {test::material("m")};
  PolygonSet a;
  a.node_id = 1;
  a.node_name = "a";
  a.material_name = "m";
  a.positions = {{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}};
  a.colors = {{255, 255, 255}, {0, 0, 0}};
  a.triangles = {tri(0, 1, 2)};
  a.triangles[0].corners[2].clr = 1;
  PolygonSet b = a;
  b.node_id = 2;
  b.node_name = "b";
  b.positions.edit().push_back({0.01f, 0.01f, 0});
  b.colors = {{8, 8, 8}, {16, 16, 16}, {24, 24, 24}};
  b.triangles.clear();
  b.quads = {quad(0, 1, 2, 3)};
  b.quads[0].corners[1].clr = 0;
  b.quads[0].corners[2].clr = 1;
  b.quads[0].corners[3].clr = 2;
  scene.polygons = {a, b};
  std::string text = polygon_text(scene);
  EXPECT_EQ(vertex_commands(text),
            "<mtx idx=\"0\"/>\n"
            "<clr_idx idx=\"0\"/>\n"
            "<pos_idx idx=\"0\"/>\n"
            "<clr_idx idx=\"1\"/>\n"
            "<pos_idx idx=\"1\"/>\n"
            "<pos_idx idx=\"2\"/>\n"
            "<mtx idx=\"0\"/>\n"
            "<clr_idx idx=\"2\"/>\n"
            "<pos_idx idx=\"3\"/>\n"
            "<pos_idx idx=\"4\"/>\n"
            "<clr_idx idx=\"3\"/>\n"
            "<pos_idx idx=\"5\"/>\n"
            "<clr_idx idx=\"4\"/>\n"
            "<pos_idx idx=\"6\"/>\n");
  EXPECT_NE(text.find("<mtx_list size=\"1\">1</mtx_list>"), std::string::npos);
}

ExportScene textured_scene(std::vector<TexCoord> st, int texture_count = 1) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}};
  set.texcoords = std::move(st);
  set.triangles = {tri(0, 1, 2)};
  ExportScene scene = one_set_scene(set);
  SceneMaterial& m = scene.materials[0];
  m.texture_path = "c:\\maps\\a.tga";
  m.texture_image_count = 1;
  for (int i = 0; i < texture_count; ++i) {
    SceneTexture t;
    t.path = m.texture_path;
    t.original_width = 64;
    t.original_height = 32;
    scene.textures.push_back(t);
  }
  return scene;
}

TEST(PolygonArray, TextureCoordinatesScaledByTextureSizeWithOneWarning) {
  ExportScene scene = textured_scene({{40, 0.5f}, {50, 0.25f}, {0.5f, 0.5f}});
  PolygonSet again = scene.polygons[0];
  again.node_name = "again";
  scene.polygons.push_back(again);
  std::string text = polygon_text(scene);
  EXPECT_NE(text.find("tex_flag=\"on\""), std::string::npos);
  std::string cmds = vertex_commands(text);
  EXPECT_NE(cmds.find("<tex st=\"2560.000000 16.000000\"/>\n<pos_s"), std::string::npos);
  EXPECT_NE(cmds.find("<tex st=\"3200.000000 8.000000\"/>\n"), std::string::npos);
  EXPECT_NE(cmds.find("<tex st=\"32.000000 16.000000\"/>\n"), std::string::npos);
  // One warning per polygon, with the first offending corner's values.
  EXPECT_EQ(count_prefix(scene, "Warning: UV range over."), 2);
  EXPECT_TRUE(has_warning(scene, "Warning: UV range over. mesh (m) 2560.000000, 16.000000"));
  EXPECT_TRUE(has_warning(scene, "Warning: UV range over. again (m) 2560.000000, 16.000000"));
}

TEST(PolygonArray, TextureRangeBoundaries) {
  // -2048 and 2047 are in range; 2048 is not.
  ExportScene in_range = textured_scene({{-32, 0}, {31.984375f, 0}, {0, -64}});
  std::string cmds = vertex_commands(polygon_text(in_range));
  EXPECT_NE(cmds.find("<tex st=\"-2048.000000 0.000000\"/>"), std::string::npos);
  EXPECT_NE(cmds.find("<tex st=\"2047.000000 0.000000\"/>"), std::string::npos);
  EXPECT_NE(cmds.find("<tex st=\"0.000000 -2048.000000\"/>"), std::string::npos);
  EXPECT_EQ(count_prefix(in_range, "Warning: UV range over."), 0);
  ExportScene over = textured_scene({{32, 0}, {0, 0}, {0, 0}});
  polygon_text(over);
  EXPECT_TRUE(has_warning(over, "Warning: UV range over. mesh (m) 2048.000000, 0.000000"));
}

TEST(PolygonArray, NoTextureRecordMeansNoTextureCommands) {
  // A texture path with nothing to take the size from: no tex commands,
  // tex_flag off, no warning.
  ExportScene none = textured_scene({{40, 0.5f}, {1, 1}, {0, 0}}, 0);
  std::string text = polygon_text(none);
  EXPECT_NE(text.find("tex_flag=\"off\""), std::string::npos);
  EXPECT_EQ(vertex_commands(text).find("<tex"), std::string::npos);
  EXPECT_EQ(count_prefix(none, "Warning: UV range over."), 0);

  // A path no texture has takes the first texture, as the material array
  // refers to it: its size scales the coordinates.
  ExportScene other = textured_scene({{0.5f, 0.5f}, {1, 1}, {0, 0}});
  other.materials[0].texture_path = "c:\\maps\\other.tga";
  text = polygon_text(other);
  EXPECT_NE(text.find("tex_flag=\"on\""), std::string::npos);
  EXPECT_NE(vertex_commands(text).find("<tex st=\"32.000000 16.000000\"/>"), std::string::npos);
}

TEST(PolygonArray, MaterialSourcedGenerationWritesNoTexCommands) {
  ExportScene scene = textured_scene({{0.5f, 0.5f}, {1, 1}, {0, 0}});
  scene.materials[0].tex_gen_mode = 3;
  scene.materials[0].tex_gen_st_src = 1;
  std::string text = polygon_text(scene);
  EXPECT_NE(text.find("tex_flag=\"off\""), std::string::npos);
  EXPECT_EQ(vertex_commands(text).find("<tex"), std::string::npos);
}

TEST(PolygonArray, NormalGenerationResendsTheNormalWhenTheCoordinateChanges) {
  ExportScene scene = textured_scene({{0, 0}, {0.5f, 0}, {0.5f, 0}});
  scene.materials[0].lighting = 1;
  scene.materials[0].tex_gen_mode = 2;
  scene.materials[0].tex_gen_st_src = 0;
  scene.polygons[0].normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
  EXPECT_EQ(vertex_commands(polygon_text(scene)),
            "<mtx idx=\"0\"/>\n"
            "<tex st=\"0.000000 0.000000\"/>\n"
            "<nrm xyz=\"0.000000 0.000000 0.998047\"/>\n"
            "<pos_s xyz=\"0.000000 0.000000 0.000000\"/>\n"
            "<tex st=\"32.000000 0.000000\"/>\n"
            "<nrm xyz=\"0.000000 0.000000 0.998047\"/>\n"
            "<pos_diff xyz=\"0.010000 0.000000 0.000000\"/>\n"
            "<tex st=\"32.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"-0.010000 0.010000 0.000000\"/>\n");
}

// A skinned set of separate triangles whose every vertex follows its own
// joint: node 0 is the mesh, node v + 1 the joint of vertex v.
ExportScene one_joint_per_vertex(int triangles) {
  ExportScene scene;
  scene.nodes.push_back(test::make_node(1, "skin"));
  PolygonSet set;
  set.node_id = 1;
  set.node_name = "skin";
  set.material_name = "m";
  for (int v = 0; v < 3 * triangles; ++v) {
    scene.nodes.push_back(test::make_node(100 + v, "j" + std::to_string(v), kNodeJoint));
    set.positions.edit().push_back({0.01f * static_cast<float>(v), 0, 0});
    SkinInfluence inf;
    inf.weights = {1.0f};
    inf.node_ids = {100 + v};
    set.weights.push_back(inf);
  }
  for (int t = 0; t < triangles; ++t) set.triangles.push_back(tri(3 * t, 3 * t + 1, 3 * t + 2));
  scene.polygons.push_back(set);
  scene.materials.push_back(test::material("m"));
  return scene;
}

TEST(PolygonArray, SkinnedPolygonSplitsIntoMatrixPrimitivesBelow32Matrices) {
  ExportScene scene = one_joint_per_vertex(12);
  std::string text = polygon_text(scene);
  // Ten triangles use 30 matrices; the eleventh would make 33.
  EXPECT_NE(text.find("\t\tmtx_prim_size=\"2\"\n"), std::string::npos);
  EXPECT_NE(
      text.find("\t\t\t<mtx_list size=\"30\">0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 "
                "20 21 22 23 24 25 26 27 28 29</mtx_list>\n"),
      std::string::npos);
  EXPECT_NE(text.find("\t\t<mtx_prim index=\"1\">\n"
                      "\t\t\t<mtx_list size=\"6\">30 31 32 33 34 35</mtx_list>\n"
                      "\t\t\t<primitive_array size=\"1\">\n"
                      "\t\t\t\t<primitive index=\"0\" type=\"triangles\" vertex_size=\"6\">\n"
                      "\t\t\t\t\t<mtx idx=\"0\"/>\n"),
            std::string::npos);
  EXPECT_TRUE(has_warning(scene, "Warning: Mtx_prim_size of <polygon> is over 1"));

  ExportScene fits = one_joint_per_vertex(10);
  text = polygon_text(fits);
  EXPECT_NE(text.find("\t\tmtx_prim_size=\"1\"\n"), std::string::npos);
  EXPECT_FALSE(has_warning(fits, "Warning: Mtx_prim_size of <polygon> is over 1"));
}

// A set written after a larger one gets only its own matrix primitives,
// matrix list and faces.
TEST(PolygonArray, ASetAfterALargerOneHasOnlyItsOwnPrimitives) {
  ExportScene scene = one_joint_per_vertex(12);
  scene.nodes.push_back(test::make_node(2, "small"));
  PolygonSet small = scene.polygons[0];
  small.node_id = 2;
  small.node_name = "small";
  small.triangles.resize(2);  // on vertices 0 to 5, the joints of entries 0 to 5
  scene.polygons.push_back(small);
  std::string text = polygon_text(scene);
  const std::size_t second = text.find("\t<polygon index=\"1\" name=\"small\"\n");
  ASSERT_NE(second, std::string::npos) << text;
  const std::string tail = text.substr(second);
  EXPECT_NE(tail.find("\t\tmtx_prim_size=\"1\"\n"), std::string::npos) << tail;
  EXPECT_NE(tail.find("\t\t<mtx_prim index=\"0\">\n"
                      "\t\t\t<mtx_list size=\"6\">0 1 2 3 4 5</mtx_list>\n"
                      "\t\t\t<primitive_array size=\"1\">\n"
                      "\t\t\t\t<primitive index=\"0\" type=\"triangles\" vertex_size=\"6\">\n"),
            std::string::npos)
      << tail;
  EXPECT_EQ(tail.find("<mtx_prim index=\"1\">"), std::string::npos) << tail;
}

TEST(PolygonArray, MatrixCommandOnlyWhenTheMatrixChanges) {
  // Two joints; the vertices alternate A, A, B / B, A, A.
  ExportScene scene;
  scene.nodes = {test::make_node(1, "skin"), test::make_node(2, "a", kNodeJoint),
                 test::make_node(3, "b", kNodeJoint)};
  scene.materials = {test::material("m")};
  PolygonSet set;
  set.node_id = 1;
  set.material_name = "m";
  set.positions = {{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}, {0.01f, 0.01f, 0}};
  auto single = [](int id) {
    SkinInfluence i;
    i.weights = {1.0f};
    i.node_ids = {id};
    return i;
  };
  set.weights = {single(2), single(2), single(3), single(3)};
  set.triangles = {tri(0, 1, 2), tri(3, 0, 1)};
  scene.polygons = {set};
  std::string cmds = vertex_commands(polygon_text(scene));
  // Table: a (entry 0), b (entry 1); the list takes them in corner order.
  EXPECT_EQ(cmds,
            "<mtx idx=\"0\"/>\n"
            "<pos_s xyz=\"0.000000 0.000000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.010000 0.000000 0.000000\"/>\n"
            "<mtx idx=\"1\"/>\n"
            "<pos_diff xyz=\"-0.010000 0.010000 0.000000\"/>\n"
            "<pos_xyz xyz=\"0.010000 0.010000 0.000000\"/>\n"
            "<mtx idx=\"0\"/>\n"
            "<pos_diff xyz=\"-0.010000 -0.010000 0.000000\"/>\n"
            "<pos_diff xyz=\"0.010000 0.000000 0.000000\"/>\n");
}

TEST(PolygonArray, SentVertexCounts) {
  PolygonSet set;
  set.triangles = {tri(0, 1, 2), tri(1, 2, 3), tri(2, 3, 4), tri(5, 6, 7)};
  set.quads = {quad(0, 1, 2, 3), quad(4, 5, 6, 7), quad(8, 9, 10, 11)};
  EXPECT_EQ(sent_vertex_count(set), 4 * 3 + 3 * 4);
  // A triangle strip of three faces and a quad strip of two.
  set.triangles[0].strip_flags = kTriStripHeadBit | 3;
  set.triangles[0].next = 1;
  set.triangles[1].next = 2;
  set.triangles[2].next = kStripEnd;
  set.quads[1].strip_flags |= kQuadStripHeadBit | 2;
  set.quads[1].next = 2;
  set.quads[2].next = kStripEnd;
  EXPECT_EQ(sent_vertex_count(set), (3 + 2) + 3 + (2 * 2 + 2) + 4);
  FaceLayout layout = face_layout(set);
  ASSERT_EQ(layout.tri_strips.size(), 1u);
  EXPECT_EQ(layout.tri_strips[0], (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(layout.separate_tris, (std::vector<int>{3}));
  EXPECT_EQ(layout.separate_quads, (std::vector<int>{0}));
}

TEST(PolygonArray, BrokenChainsNeitherHangNorLoseFaces) {
  PolygonSet set;
  set.positions = {{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}, {0.01f, 0.01f, 0}};
  set.triangles = {tri(0, 1, 2), tri(1, 2, 3), tri(2, 1, 0)};
  // A head claiming five faces whose chain loops back to itself, and a face
  // marked as a strip member that no head reaches.
  set.triangles[0].strip_flags = kTriStripHeadBit | 5;
  set.triangles[0].next = 1;
  set.triangles[1].next = 0;
  set.triangles[2].next = 77;
  ExportScene scene = one_set_scene(set);
  std::string text = polygon_text(scene);
  EXPECT_NE(text.find("type=\"triangle_strip\" vertex_size=\"4\""), std::string::npos);
  EXPECT_NE(text.find("type=\"triangles\" vertex_size=\"3\""), std::string::npos);
}

}  // namespace
}  // namespace kavro
