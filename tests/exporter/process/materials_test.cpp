// Material compression, merging of one node's same-material sets, and
// texture pruning.

#include <gtest/gtest.h>

#include "exporter/process/passes.h"
#include "tests/exporter/process/builders.h"

namespace kavro::process {
namespace {

using test::make_set;

// A static, referenced material of two frames.
SceneMaterial material(const std::string& name) {
  SceneMaterial m;
  m.name = name;
  m.diffuse_frames = {{10, 20, 30}, {10, 20, 30}};
  m.ambient_frames = {{1, 2, 3}, {1, 2, 3}};
  m.alpha_frames = {255, 255};
  m.tex_rotate_frames = {0.5f, 0.5f};
  m.texture_path = "C:/tex/wood.tga";
  return m;
}

PolygonSet set_of(int node, const std::string& mat, int priority = 0) {
  PolygonSet s = make_set(node, mat, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  s.priority = priority;
  return s;
}

std::vector<std::string> material_names(const ExportScene& s) {
  std::vector<std::string> out;
  for (const SceneMaterial& m : s.materials) out.push_back(m.name);
  return out;
}

using Names = std::vector<std::string>;

TEST(CompressMaterials, UnusedMaterialsGoEvenWithCompressionOff) {
  ExportScene s;
  SceneMaterial def = material("default");
  def.unreferenced = true;
  s.materials = {def, material("red"), material("red_copy")};
  s.polygons = {set_of(1, "red"), set_of(1, "red_copy")};
  compress_materials(s);
  EXPECT_EQ(material_names(s), (Names{"red", "red_copy"}));  // twins stay apart
  EXPECT_EQ(s.material_count_before, 3);
  EXPECT_EQ(s.polygons[1].material_name, "red_copy");
}

TEST(CompressMaterials, MaterialsDifferingOnlyInNameMergeIntoTheFirst) {
  ExportScene s;
  s.compress_material = 1;
  SceneMaterial blue = material("blue");
  blue.diffuse_frames = {{0, 0, 255}, {0, 0, 255}};
  SceneMaterial copy = material("red_copy");
  copy.priority = 7;  // stored after the pattern list: does not take part
  s.materials = {material("red"), blue, copy};
  PolygonSet gone = set_of(3, "red_copy");
  gone.deleted = true;
  s.polygons = {set_of(1, "red"), set_of(2, "red_copy"), set_of(1, "blue"), gone};

  compress_materials(s);

  EXPECT_EQ(material_names(s), (Names{"red", "blue"}));
  EXPECT_EQ(s.material_count_before, 3);
  EXPECT_EQ(s.polygons[1].material_name, "red");
  EXPECT_EQ(s.polygons[2].material_name, "blue");
  EXPECT_EQ(s.polygons[3].material_name, "red_copy");  // deleted sets keep theirs
}

TEST(CompressMaterials, OnlyStaticCompressibleMaterialsWithoutPatternsMerge) {
  auto survivors = [](SceneMaterial a, SceneMaterial b) {
    ExportScene s;
    s.compress_material = 1;
    s.materials = {a, b};
    s.polygons = {set_of(1, a.name), set_of(1, b.name)};
    compress_materials(s);
    return material_names(s).size();
  };
  SceneMaterial a = material("a"), b = material("b");
  EXPECT_EQ(survivors(a, b), 1u);

  // Same first frame, but the colour changes later.
  SceneMaterial anim_a = a, anim_b = b;
  anim_a.diffuse_frames.edit()[1] = {99, 20, 30};
  anim_b.diffuse_frames.edit()[1] = {50, 20, 30};
  EXPECT_EQ(survivors(anim_a, anim_b), 2u);
  SceneMaterial float_anim = b;
  float_anim.tex_rotate_frames = {0.5f, 0.75f};
  EXPECT_EQ(survivors(a, float_anim), 2u);

  // "Don't compress" on both twins.
  SceneMaterial keep_a = a, keep_b = b;
  keep_a.compress_mode = keep_b.compress_mode = 1;
  EXPECT_EQ(survivors(keep_a, keep_b), 2u);

  // Identical pattern lists.
  SceneMaterial pat_a = a, pat_b = b;
  pat_a.pattern_textures = pat_b.pattern_textures = {"x.tga", "y.tga"};
  EXPECT_EQ(survivors(pat_a, pat_b), 2u);
}

TEST(CompressMaterials, ComparesFirstSamplesAndEveryStoredSetting) {
  auto merges = [](void (*change)(SceneMaterial&)) {
    ExportScene s;
    s.compress_material = 1;
    SceneMaterial b = material("b");
    change(b);
    s.materials = {material("a"), b};
    s.polygons = {set_of(1, "a"), set_of(2, "b")};
    compress_materials(s);
    return s.materials.size() == 1;
  };
  EXPECT_TRUE(merges([](SceneMaterial& m) { m.name = "other"; }));
  EXPECT_TRUE(materials_equal(material("a"), material("b")));
  SceneMaterial ifl = material("b");
  ifl.pattern_is_ifl = true;
  EXPECT_FALSE(materials_equal(material("a"), ifl));
  SceneMaterial fx = material("b");
  fx.tex_effect_mtx(2, 1) = -0.0f;  // same value, other bytes
  EXPECT_FALSE(materials_equal(material("a"), fx));
  SceneMaterial path = material("b");
  path.texture_path += "x";
  EXPECT_FALSE(materials_equal(material("a"), path));
  SceneMaterial specular = material("b");
  specular.specular_frames = {{0, 0, 0}};
  EXPECT_FALSE(materials_equal(material("a"), specular));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.tex_rotate_frames.clear(); }));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.alpha_frames = {254, 254}; }));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.ambient_frames = {{1, 2, 4}, {1, 2, 4}}; }));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.texture_path = "C:/tex/Wood.tga"; }));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.pattern_is_ifl = true; }));
  EXPECT_FALSE(merges([](SceneMaterial& m) { m.tex_effect_mtx(0, 3) = 0.5f; }));
  EXPECT_TRUE(merges([](SceneMaterial& m) { m.priority = 3; }));
  EXPECT_TRUE(merges([](SceneMaterial& m) { m.ifl_durations = {4}; }));  // after the list
}

TEST(CompressMaterials, EveryIntegerSettingTakesPart) {
  using Field = int SceneMaterial::*;
  const Field fields[] = {&SceneMaterial::tex_tiling_s,
                          &SceneMaterial::tex_tiling_t,
                          &SceneMaterial::tex_image_idx,
                          &SceneMaterial::texture_image_count,
                          &SceneMaterial::lighting,
                          &SceneMaterial::light0,
                          &SceneMaterial::light1,
                          &SceneMaterial::light2,
                          &SceneMaterial::light3,
                          &SceneMaterial::shininess_table_flag,
                          &SceneMaterial::fog_flag,
                          &SceneMaterial::face,
                          &SceneMaterial::wire_mode,
                          &SceneMaterial::polygon_mode,
                          &SceneMaterial::polygon_id,
                          &SceneMaterial::tex_gen_mode,
                          &SceneMaterial::tex_gen_st_src,
                          &SceneMaterial::depth_test_decal,
                          &SceneMaterial::translucent_update_depth,
                          &SceneMaterial::render_1_pixel,
                          &SceneMaterial::far_clipping};
  for (std::size_t f = 0; f < std::size(fields); ++f) {
    ExportScene s;
    s.compress_material = 1;
    SceneMaterial b = material("b");
    b.*fields[f] += 2;
    EXPECT_FALSE(materials_equal(material("a"), b)) << "field " << f;
    s.materials = {material("a"), b};
    s.polygons = {set_of(1, "a"), set_of(2, "b")};
    compress_materials(s);
    EXPECT_EQ(s.materials.size(), 2u) << "field " << f;
  }
}

TEST(CompressMaterials, ZeroAndMinusZeroFirstSamplesAreEqual) {
  ExportScene s;
  s.compress_material = 1;
  SceneMaterial a = material("a"), b = material("b");
  a.tex_rotate_frames = {0.0f};
  b.tex_rotate_frames = {-0.0f};
  s.materials = {a, b};
  s.polygons = {set_of(1, "a"), set_of(2, "b")};
  compress_materials(s);
  EXPECT_EQ(material_names(s), (Names{"a"}));
  EXPECT_EQ(s.polygons[1].material_name, "a");
}

TEST(CompressMaterials, ChainsOfTwinsAllLandOnTheFirst) {
  ExportScene s;
  s.compress_material = 1;
  SceneMaterial other = material("other");
  other.face = 2;
  s.materials = {material("m0"), other, material("m1"), material("m2")};
  s.polygons = {set_of(1, "m2"), set_of(1, "m1"), set_of(2, "other"), set_of(3, "m0")};
  compress_materials(s);
  EXPECT_EQ(material_names(s), (Names{"m0", "other"}));
  EXPECT_EQ(s.polygons[0].material_name, "m0");
  EXPECT_EQ(s.polygons[1].material_name, "m0");
  EXPECT_EQ(s.polygons[2].material_name, "other");
}

// ---------------------------------------------------------------------------
// Merging one node's sets that share a material.

TEST(MergeSameMaterialSets, AppendsSetsOfOneNodeWithOneMaterial) {
  ExportScene s;
  s.compress_material = 1;
  PolygonSet a = set_of(1, "m");
  a.colors.edit().assign(3, VertexColor{9, 9, 9});
  a.weights = test::single_bone(3, 7);
  PolygonSet no_colors = set_of(1, "m");
  PolygonSet b = make_set(1, "m", {{0, 0, 4}, {1, 0, 4}, {0, 1, 4}, {2, 2, 4}});
  b.quads.push_back(test::quad(0, 1, 3, 2));
  b.colors.edit().assign(4, VertexColor{1, 1, 1});
  b.weights = test::single_bone(4, 8);
  PolygonSet other_node = set_of(2, "m");
  PolygonSet other_priority = set_of(1, "m", 1);
  other_priority.colors.edit().assign(3, VertexColor{});
  other_priority.weights = test::single_bone(3, 7);
  s.polygons = {a, no_colors, b, other_node, other_priority};
  for (PolygonSet& p : s.polygons) set_box(p);

  merge_same_material_sets(s);

  const auto& p = s.polygons;
  EXPECT_FALSE(p[0].deleted);
  EXPECT_FALSE(p[1].deleted);
  EXPECT_TRUE(p[2].deleted);
  EXPECT_FALSE(p[3].deleted);
  EXPECT_FALSE(p[4].deleted);
  ASSERT_EQ(p[0].positions.size(), 7u);
  EXPECT_EQ(p[0].colors.size(), 7u);
  ASSERT_EQ(p[0].weights.size(), 7u);
  EXPECT_EQ(p[0].weights[2].node_ids, (std::vector<int>{7}));
  EXPECT_EQ(p[0].weights[3].node_ids, (std::vector<int>{8}));
  ASSERT_EQ(p[0].triangles.size(), 2u);
  // No texcoords in a: their indices are raised by 0.
  EXPECT_EQ(p[0].triangles[1].corners[0], (Corner{3, 3, 0, 3}));
  ASSERT_EQ(p[0].quads.size(), 1u);
  EXPECT_EQ(p[0].quads[0].corners[3], (Corner{5, 5, 2, 5}));
  EXPECT_NE(p[0].quads[0].strip_flags & kQuadBit, 0u);
  EXPECT_EQ(p[0].box_min, (Vec3{0, 0, 0}));
  EXPECT_EQ(p[0].box_max, (Vec3{2, 2, 4}));
}

TEST(MergeSameMaterialSets, DoesNothingWithCompressionOff) {
  ExportScene s;
  s.polygons = {set_of(1, "m"), set_of(1, "m")};
  merge_same_material_sets(s);
  EXPECT_FALSE(s.polygons[1].deleted);
  EXPECT_EQ(s.polygons[0].positions.size(), 3u);
}

TEST(MergeSameMaterialSets, NeverLetsCornerIndicesOverflow) {
  ExportScene s;
  s.compress_material = 1;
  PolygonSet big;
  big.node_id = 1;
  big.material_name = "m";
  big.positions.edit().assign(65535, Vec3{});
  PolygonSet one = big;
  one.positions.edit().assign(1, Vec3{});
  PolygonSet two = big;
  two.positions.edit().assign(2, Vec3{});
  s.polygons = {big, two, one};
  merge_same_material_sets(s);
  EXPECT_FALSE(s.polygons[1].deleted);  // 65537 positions would not fit
  EXPECT_TRUE(s.polygons[2].deleted);   // 65536 do
  EXPECT_EQ(s.polygons[0].positions.size(), 65536u);
}

TEST(MergeSameMaterialSets, AfterCompressionPrioritiesStillSeparate) {
  ExportScene s;
  s.compress_material = 1;
  SceneMaterial copy = material("copy");
  copy.priority = 5;
  s.materials = {material("orig"), copy};
  s.polygons = {set_of(1, "orig"), set_of(1, "copy"), set_of(1, "copy", 2)};
  compress_materials(s);
  merge_same_material_sets(s);
  EXPECT_EQ(material_names(s), (Names{"orig"}));
  EXPECT_TRUE(s.polygons[1].deleted);
  EXPECT_FALSE(s.polygons[2].deleted);
  EXPECT_EQ(s.polygons[2].material_name, "orig");
  EXPECT_EQ(s.polygons[2].priority, 2);
  EXPECT_EQ(s.polygons[0].positions.size(), 6u);
}

// ---------------------------------------------------------------------------
// Textures.

SceneTexture texture(const std::string& path) {
  SceneTexture t;
  t.path = path;
  t.name = path;
  return t;
}

TEST(RemoveUnusedTextures, KeepsTexturesOfPathsAndPatternLists) {
  ExportScene s;
  SceneMaterial plain = material("plain");
  plain.texture_path = "a.tga";
  SceneMaterial flip = material("flip");
  flip.texture_path = "b.tga";  // not in its list: does not keep b alive
  flip.pattern_textures = {"c.tga", "d.tga"};
  s.materials = {plain, flip};
  s.textures = {texture("a.tga"), texture("b.tga"), texture("c.tga"), texture("A.TGA"),
                texture("d.tga")};
  remove_unused_textures(s);
  std::vector<std::string> paths;
  for (const SceneTexture& t : s.textures) paths.push_back(t.path);
  EXPECT_EQ(paths, (Names{"a.tga", "c.tga", "d.tga"}));
  EXPECT_EQ(s.texture_count(), 3);
}

TEST(RemoveUnusedTextures, LeavesAFullyUsedArrayAlone) {
  ExportScene s;
  SceneMaterial m = material("m");
  m.texture_path = "a.tga";
  s.materials = {m};
  s.textures = {texture("a.tga")};
  s.textures[0].palette = {1, 2, 3};
  remove_unused_textures(s);
  ASSERT_EQ(s.textures.size(), 1u);
  EXPECT_EQ(s.textures[0].palette, (std::vector<std::uint16_t>{1, 2, 3}));
}

}  // namespace
}  // namespace kavro::process
