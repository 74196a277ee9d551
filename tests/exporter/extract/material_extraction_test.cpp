// Extraction of materials: defaults, colours, platform parameters, warnings
// and errors, morpher weights.

#include <gtest/gtest.h>

#include "tests/exporter/extract/extraction_fixture.h"

namespace kavro {
namespace {

using namespace extract_test;

TEST(ExtractMaterials, StandardMaterialGetsDefaultsAndItsColours) {
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "Box", R"("material":0,)"),
                     R"({"name":"Paint","class":"standard","diffuse":[1,0.5,0],"ambient":[0,0,0.2],
                              "self_illum_color":[1,1,1],"opacity":0.5})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.materials.size(), 2u);
  EXPECT_EQ(run.scene.materials[0].name, "dummy_material");
  const SceneMaterial& m = run.scene.materials[1];
  EXPECT_EQ(m.name, "Paint");
  EXPECT_EQ(m.light0, 1);
  EXPECT_EQ(m.polygon_mode, 0);
  EXPECT_EQ(m.diffuse_frames[0], (ColorEntry{255, 128, 0}));
  EXPECT_EQ(m.ambient_frames[0], (ColorEntry{0, 0, 51}));
  EXPECT_EQ(m.emission_frames[0], (ColorEntry{0, 0, 0}));  // self-illumination colour off
  EXPECT_EQ(m.alpha_frames[0], 127);
  EXPECT_FALSE(m.ambient_frames.shares_with(m.diffuse_frames));  // different samples
  EXPECT_TRUE(
      run.has_warning("Warning: Exported material is not KAVRO standard or KAVRO morpher and will "
                      "be set to default "
                      "parameters: \"Paint\""));
  // Sets of a non-platform material use the default material.
  EXPECT_EQ(run.scene.polygons[0].material_name, "dummy_material");
  EXPECT_FALSE(run.scene.materials[0].unreferenced);
  EXPECT_TRUE(m.unreferenced);
}

// Colours are sampled on every frame: one that moves and comes back, one that
// holds, and the self-illumination colour once it is switched on.
TEST(ExtractMaterials, ColoursAreSampledOnEveryFrame) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":0,)"),
                          R"({"name":"Pulse","class":"kavro_standard",
                         "diffuse":{"keys":[{"frame":0,"value":[0,0,0]},{"frame":2,"value":[1,0.5,0]},
                                            {"frame":4,"value":[0,0,0]}]},
                         "specular":[0.2,0.2,0.2],"self_illum_color_on":true,
                         "self_illum_color":{"keys":[{"frame":3,"value":[1,1,1]},{"frame":4,"value":[0,0,1]}]}})",
                          R"("animation_range":[0,4],)"));
  ASSERT_TRUE(run.ok);
  const SceneMaterial* m = material_named(run, "Pulse");
  ASSERT_NE(m, nullptr);
  // Halfway: 0.5 * 255 + 0.5 = 128, 0.25 * 255 + 0.5 = 64.25 -> 64.
  const std::vector<ColorEntry> diffuse = {
      {0, 0, 0}, {128, 64, 0}, {255, 128, 0}, {128, 64, 0}, {0, 0, 0}};
  EXPECT_EQ(m->diffuse_frames.vector(), diffuse);
  EXPECT_EQ(m->specular_frames.vector(), std::vector<ColorEntry>(5, ColorEntry{51, 51, 51}));
  const std::vector<ColorEntry> emission = {
      {255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {255, 255, 255}, {0, 0, 255}};
  EXPECT_EQ(m->emission_frames.vector(), emission);
}

// A material without keys gives its values on every frame; its arrays are the
// ones an animated material of the same samples gets, in either order.
TEST(ExtractMaterials, StillColoursFillEveryFrameAndShareWithEqualSamples) {
  const std::string materials =
      R"({"name":"Moving","class":"kavro_standard",
          "diffuse":{"keys":[{"frame":0,"value":[1,0,0]},{"frame":3,"value":[1,0,0]}]},
          "opacity":{"keys":[{"frame":0,"value":0.5},{"frame":3,"value":0.5}]}},
         {"name":"Still","class":"kavro_standard","diffuse":[1,0,0],"opacity":0.5,
          "specular":[0.2,0.2,0.2],"self_illum_color":[1,1,1]},
         {"name":"Lit","class":"kavro_standard","diffuse":[1,0,0],"self_illum_color_on":true,
          "self_illum_color":[0,0,1]},
         {"name":"Later","class":"kavro_standard",
          "diffuse":{"keys":[{"frame":1,"value":[0,0,1]},{"frame":2,"value":[0,0,1]}]}})";
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":0,)"), materials,
                          R"("animation_range":[0,3],)"));
  ASSERT_TRUE(run.ok);
  const SceneMaterial* moving = material_named(run, "Moving");
  const SceneMaterial* still = material_named(run, "Still");
  const SceneMaterial* lit = material_named(run, "Lit");
  const SceneMaterial* later = material_named(run, "Later");
  ASSERT_TRUE(moving != nullptr && still != nullptr && lit != nullptr && later != nullptr);
  EXPECT_EQ(still->diffuse_frames.vector(), std::vector<ColorEntry>(4, ColorEntry{255, 0, 0}));
  // 0.2 * 255 + 0.5 = 51.5 -> 51; 0.5 * 255 = 127.5 -> 127.
  EXPECT_EQ(still->specular_frames.vector(), std::vector<ColorEntry>(4, ColorEntry{51, 51, 51}));
  EXPECT_EQ(still->alpha_frames.vector(), std::vector<std::uint8_t>(4, 127));
  // The self-illumination colour counts only when it is switched on.
  EXPECT_EQ(still->emission_frames.vector(), std::vector<ColorEntry>(4, ColorEntry{0, 0, 0}));
  EXPECT_EQ(lit->emission_frames.vector(), std::vector<ColorEntry>(4, ColorEntry{0, 0, 255}));
  EXPECT_EQ(lit->alpha_frames.vector(), std::vector<std::uint8_t>(4, 255));
  EXPECT_TRUE(still->diffuse_frames.shares_with(moving->diffuse_frames));
  EXPECT_TRUE(still->alpha_frames.shares_with(moving->alpha_frames));
  EXPECT_TRUE(lit->diffuse_frames.shares_with(still->diffuse_frames));
  EXPECT_TRUE(still->emission_frames.shares_with(moving->emission_frames));
  // An animated material after still ones finds their arrays too.
  EXPECT_EQ(later->diffuse_frames.vector(), std::vector<ColorEntry>(4, ColorEntry{0, 0, 255}));
  EXPECT_TRUE(later->diffuse_frames.shares_with(lit->emission_frames));
  EXPECT_FALSE(later->diffuse_frames.shares_with(still->diffuse_frames));
}

TEST(ExtractMaterials, ParametersBeyondTheIntRangeAreHeldAtItsEnds) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":0,)"),
                          R"({"name":"Huge","class":"kavro_standard",
                              "params":{"polyID":1e14,"light_1":-1e14,"displayFace":-5e13,
                                        "priorityValue":3e9}})",
                          R"("animation_range":[0,1],)"));
  ASSERT_TRUE(run.ok);
  const SceneMaterial& m = run.scene.materials[1];
  EXPECT_EQ(m.polygon_id, 2147483647);
  EXPECT_EQ(m.light1, -2147483647 - 1);
  EXPECT_EQ(m.face, 0);  // a choice below 1 is stored as 0
  EXPECT_EQ(m.priority, 2147483647);
}

TEST(ExtractMaterials, PlatformParametersAndNames) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":1,)"),
                          R"({"name":"Skin","class":"kavro_standard"},
                             {"name":"Skin","class":"kavro_standard","self_illum_color":[0,1,0],"self_illum_color_on":true,
                              "params":{"light_0":0,"light_2":1,"displayFace":3,"polyMode":0,"texGen":2,"comPress":2,
                                        "polyID":12,"fogOn":true,"priorityRadio":2,"priorityValue":5,
                                        "tex_effect_mtx_1_0":0.5,"tex_effect_mtx_3_1":2}},
                             {"name":"Odd","class":"other","class_id":[1,2]})",
                          R"("animation_range":[0,1],)"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.materials.size(), 3u);
  const SceneMaterial& m = run.scene.materials[2];
  EXPECT_EQ(m.name, "Skin_1");
  EXPECT_TRUE(run.has_warning("Warning: Material name changed: Skin_1"));
  EXPECT_EQ(m.light0, 0);
  EXPECT_EQ(m.light2, 1);
  EXPECT_EQ(m.face, 2);
  EXPECT_EQ(m.polygon_mode, 0);  // a choice of 0 is stored as 0
  EXPECT_EQ(m.tex_gen_mode, 1);
  EXPECT_EQ(m.compress_mode, 1);
  EXPECT_EQ(m.polygon_id, 12);
  EXPECT_EQ(m.fog_flag, 1);
  EXPECT_EQ(m.priority, 5);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(1, 0), 0.5f);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(3, 1), 2.0f);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(0, 0), 1.0f);
  EXPECT_EQ(m.emission_frames.size(), 2u);
  EXPECT_EQ(m.emission_frames[1], (ColorEntry{0, 255, 0}));
  // The node's set takes the platform material, its priority and its mark.
  EXPECT_EQ(run.scene.polygons[0].material_name, "Skin_1");
  EXPECT_EQ(run.scene.polygons[0].priority, 5);
  EXPECT_FALSE(m.unreferenced);
  EXPECT_TRUE(run.scene.materials[1].unreferenced);
  EXPECT_FALSE(
      run.has_warning("Warning: Exported material is not KAVRO standard or KAVRO morpher and will "
                      "be set to default "
                      "parameters: \"Skin\""));
}

TEST(ExtractMaterials, UnsupportedAndMissingMaterialsAreWarnings) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "A", R"("material":0,)") + "," + mesh_node(2, "B"),
                          R"({"name":"Blend","class":"other","class_id":[3,4]})"));
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(
      run.has_warning("Warning: Material \"Blend\" is not of a supported material type and has "
                      "been assigned a default "
                      "material."));
  EXPECT_TRUE(run.has_warning("Warning: No material on node \"B\""));
  EXPECT_EQ(run.scene.materials.size(), 1u);  // only the default material
}

TEST(ExtractMaterials, Errors) {
  Extraction empty;
  extract(empty, scene_json(mesh_node(1, "A"), R"({"name":"","class":"kavro_standard"})"));
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.messages_with("Material name is empty"), 1);
  EXPECT_EQ(empty.host.messages[0].caption, "Material Export Error");

  test::TempDir dir;
  test::write_file(dir.file("a.tga"), test::indexed_tga(8, 8));
  Settings in_dir;
  in_dir.folder = dir.path();
  Extraction morpher;
  extract(morpher,
          scene_json(mesh_node(1, "A"),
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                                 {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}},
                                 {"name":"s1","diffuse_map":{"class":"procedural","name":"Checker"}}]})"),
          in_dir);
  EXPECT_FALSE(morpher.ok);
  ASSERT_EQ(morpher.host.messages.size(), 1u);
  EXPECT_EQ(morpher.host.messages[0].caption, "Missing Morpher Diffuse Map");
  EXPECT_EQ(morpher.host.messages[0].text.rfind(
                "Error: A sub material has not been assigned a diffuse map", 0),
            0u);
}

TEST(ExtractMaterials, MorpherWeightsAreSampledPerFrame) {
  test::TempDir dir;
  test::write_file(dir.file("a.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("b.tga"), test::indexed_tga(8, 8));
  Settings in_dir;
  in_dir.folder = dir.path();
  Extraction run;
  extract(run,
          scene_json(R"({"id":1,"name":"Face","material":0,"object":{"class":"mesh",
      "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
      "modifiers":[{"type":"morpher","channels":[{"keys":[{"frame":0,"value":0},{"frame":10,"value":100}]},50]}]}})",
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                              {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}},
                              {"name":"s1","diffuse":[0,0,1],"diffuse_map":{"class":"bitmap","file":"b.tga"}}]})",
                     R"("animation_range":[0,2],)"),
          in_dir);
  ASSERT_TRUE(run.ok);
  const PolygonSet& set = run.scene.polygons[0];
  EXPECT_EQ(set.material_name, "M");
  ASSERT_EQ(set.morph_weights.size(), 100u);
  EXPECT_EQ(set.morph_weights[0], (std::vector<float>{0, 10, 20}));
  EXPECT_EQ(set.morph_weights[1], (std::vector<float>{50, 50, 50}));
  EXPECT_EQ(set.morph_weights[99], (std::vector<float>{0, 0, 0}));
  // A morpher's colours come from its last sub-material.
  EXPECT_EQ(run.scene.materials[1].diffuse_frames[0], (ColorEntry{0, 0, 255}));

  // The first of two Morpher modifiers is read; a set whose material is not a
  // morpher gets no weights.
  const std::string two_morphers = R"("modifiers":[{"type":"morpher","channels":[25]},
                                                   {"type":"morpher","channels":[75]}]}})";
  Extraction first;
  extract(first,
          scene_json(R"({"id":1,"name":"Face","material":0,"object":{"class":"mesh",
              "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},)" +
                         two_morphers + "," +
                         R"({"id":2,"name":"Rock","material":1,"object":{"class":"mesh",
              "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},)" +
                         two_morphers,
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                         {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}}]},
                        {"name":"Plain","class":"kavro_standard"})",
                     R"("animation_range":[3,4],)"),
          in_dir);
  ASSERT_TRUE(first.ok);
  ASSERT_EQ(first.scene.polygons.size(), 2u);
  for (const PolygonSet& p : first.scene.polygons) {
    if (p.node_name == "Face") {
      ASSERT_EQ(p.morph_weights.size(), 100u);
      EXPECT_EQ(p.morph_weights[0], (std::vector<float>{25, 25}));
    } else {
      EXPECT_TRUE(p.morph_weights.empty());
    }
  }
}

}  // namespace
}  // namespace kavro
