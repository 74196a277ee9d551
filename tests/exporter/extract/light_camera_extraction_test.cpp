// Extraction of lights and cameras, and of the example scenes.

#include <gtest/gtest.h>

#include "tests/exporter/extract/extraction_fixture.h"

namespace kavro {
namespace {

using namespace extract_test;

TEST(ExtractLights, DirectionalLightsThatAreOn) {
  Extraction run;
  extract(
      run,
      scene_json(
          R"({"id":1,"name":"Sun","object":{"class":"light","light":{"type":"directional","color":[1,0.5,0]}}},
      {"id":2,"name":"Tilted","transform":{"rotation":[90,0,0]},"object":{"class":"light","light":{"type":"directional"}}},
      {"id":3,"name":"Dark","object":{"class":"light","light":{"type":"directional","on":false}}},
      {"id":4,"name":"Bulb","object":{"class":"light","light":{"type":"omni"}}})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.lights.size(), 2u);
  // Third row of the identity: (0,0,1) -> (m8, -m10, m9) = (0,-1,0).
  expect_vec(run.scene.lights[0].direction, {0, -1, 0});
  EXPECT_EQ(run.scene.lights[0].r, 255);
  EXPECT_EQ(run.scene.lights[0].g, 127);
  EXPECT_EQ(run.scene.lights[0].b, 0);
  // A quarter turn about X: third row (0,-1,0) -> (0, 0, -1).
  expect_vec(run.scene.lights[1].direction, {0, 0, -1});
  EXPECT_EQ(run.scene.lights[1].g, 255);  // no colour property
}

TEST(ExtractLights, FirstCameraLooksAtItsTarget) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"Cam","transform":{"position":[0,-10,2]},
      "object":{"class":"camera","camera":{"target":2,"roll":5,"projection":"ortho","near":0.5,"far":500,
                "fov":30,"aspect":1.5,"ortho_width":40,"ortho_height":30}}},
      {"id":2,"name":"Cam.Target","target":true,"transform":{"position":[0,0,2]}})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.cameras.size(), 1u);
  const SceneCamera& c = run.scene.cameras[0];
  expect_vec(c.position, {0, 2, 10});
  expect_vec(c.lookat, {0, 2, 0});
  EXPECT_FLOAT_EQ(c.twist, 5);
  EXPECT_EQ(c.projection, 1);
  EXPECT_FLOAT_EQ(c.near_plane, 0.5f);
  EXPECT_FLOAT_EQ(c.far_plane, 500);
  EXPECT_FLOAT_EQ(c.fovy, 30);
  EXPECT_FLOAT_EQ(c.aspect, 1.5f);
  EXPECT_FLOAT_EQ(c.ortho_width, 40);
  EXPECT_FLOAT_EQ(c.ortho_height, 30);
  EXPECT_EQ(run.node("Cam_Target"), nullptr);  // targets are not exported
}

// The example scenes load and extract with the counts they were made with.
TEST(ExampleScenes, ExtractWithTheirNodesAndMaterials) {
  const char* root = std::getenv("KAVRO_SOURCE_DIR");
  std::string folder = root != nullptr                          ? std::string(root) + "/examples/"
                       : std::ifstream("examples/robot.kscene") ? "examples/"
                                                                : "../examples/";
  struct Expect {
    const char* file;
    std::size_t nodes, materials;
  };
  for (const Expect& e : {Expect{"robot.kscene", 8, 5}, Expect{"character.kscene", 4, 2},
                          Expect{"warnings.kscene", 8, 4}}) {
    std::ifstream in(folder + e.file, std::ios::binary);
    ASSERT_TRUE(in) << folder + e.file;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Extraction run;
    extract(run, text);
    ASSERT_TRUE(run.ok) << e.file;
    EXPECT_EQ(run.scene.nodes.size(), e.nodes) << e.file;
    EXPECT_EQ(run.scene.materials.size(), e.materials) << e.file;
    if (std::string(e.file) == "character.kscene") {
      ASSERT_EQ(run.scene.polygons.size(), 1u);
      EXPECT_TRUE(run.scene.polygons[0].skinned());
      EXPECT_FALSE(run.scene.polygons[0].colors.empty());
      // Quads are rebuilt after the single-bone vertices moved into their
      // bones' space: the four quads reaching the Head ring no longer match
      // the host's polygons and stay triangles.
      EXPECT_EQ(run.scene.polygons[0].quad_count(), 12);
      EXPECT_EQ(run.scene.polygons[0].triangle_count(), 8);
    }
  }

  // The textured example finds its maps beside it.
  std::ifstream in(folder + "textured.kscene", std::ios::binary);
  ASSERT_TRUE(in);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Settings s;
  s.folder = folder + ".";
  Extraction run;
  extract(run, text, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.scene.nodes.size(), 6u);
  EXPECT_EQ(run.scene.materials.size(), 7u);
  // Checker, glass, three walk frames, two faces, water and stone.
  EXPECT_EQ(run.scene.textures.size(), 9u);
  const SceneMaterial* walk = material_named(run, "Walk");
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->ifl_durations, (std::vector<int>{4, 4, 8}));
  EXPECT_TRUE(material_named(run, "Water")->tex_srt_animated);
  EXPECT_EQ(material_named(run, "Face")->pattern_textures.size(), 2u);
}

}  // namespace
}  // namespace kavro
