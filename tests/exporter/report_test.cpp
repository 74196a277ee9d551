// The parts of the export report derived from the scene: counts, textures,
// and the error thinning leaves in a channel; worked out by hand.
#include "exporter/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "exporter/texture/convert.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

NTriFace triangle(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
  NTriFace f;
  f.corners = {Corner{a, 0, 0, 0}, Corner{b, 0, 0, 0}, Corner{c, 0, 0, 0}};
  return f;
}

TEST(ReportThinning, StraightLinesConstantsAndTails) {
  // Every fourth frame of a line rebuilds it exactly.
  EXPECT_EQ(thinning_error({0, 1, 2, 3, 4}, 4, 2), 0.0);
  // Frame 1 of 0, 0.5, 0, 0, 0 is rebuilt as 0 from frames 0 and 4.
  EXPECT_EQ(thinning_error({0, 0.5f, 0, 0, 0}, 4, 2), 0.5);
  // One stored value stands for every frame: the first.
  EXPECT_EQ(thinning_error({1, 1.25f, 0.75f}, 1, 1), 0.25);
  // Six frames at step 4: frames 4 and 5 are stored as they are, frames 1
  // to 3 lie on the line from 0 to 8 (2, 4, 6); frame 2 holds 5.
  EXPECT_EQ(thinning_error({0, 2, 5, 6, 8, 100}, 4, 3), 1.0);
  EXPECT_EQ(thinning_error({}, 1, 0), 0.0);
}

TEST(ReportThinning, ColoursAreRebuiltWithIntegerDivision) {
  using Bytes = std::vector<std::uint8_t>;
  // 31 at frames 0 and 4: each in-between term is divided on its own,
  // (31 * 3) / 4 + (1 * 31) / 4 = 23 + 7 = 30, so a constant 31 misses by 1.
  EXPECT_EQ(color_thinning_error(Bytes{31, 31, 31, 31, 31}, 4, 2), 1);
  // 0 to 4 at step 4 rebuilds exactly; frame 2 holding 9 misses by 7.
  EXPECT_EQ(color_thinning_error(Bytes{0, 1, 2, 3, 4}, 4, 2), 0);
  EXPECT_EQ(color_thinning_error(Bytes{0, 1, 9, 3, 4}, 4, 2), 7);
  // One stored value: the first stands for every frame.
  EXPECT_EQ(color_thinning_error(Bytes{10, 12, 7}, 1, 1), 3);
  // Frames after the last whole step are stored as they are.
  EXPECT_EQ(color_thinning_error(Bytes{0, 2, 4, 30}, 2, 3), 0);
}

TEST(ReportScene, CountsFacesStripsMatricesAndTextures) {
  ExportScene scene;
  scene.nodes.push_back(test::make_node(1, "body"));
  scene.node_count_before = 3;
  scene.material_count_before = 4;
  scene.materials.resize(2);
  PolygonSet set;
  set.node_id = 1;
  set.positions.edit().resize(6);
  // A strip of two triangles (four vertices sent) and a separate one (three).
  set.triangles = {triangle(0, 1, 2), triangle(2, 1, 3), triangle(3, 4, 5)};
  set.triangles[0].strip_flags = kTriStripHeadBit | 2u;
  set.triangles[0].next = 1;
  set.triangles[1].next = kStripEnd;
  set.matrix_list = {0, 0, 2};
  PolygonSet gone = set;
  gone.deleted = true;
  gone.matrix_list = {5};
  scene.polygons = {set, gone};
  SceneTexture t;
  t.name = "skin";
  t.format = TextureFormat::kPalette16;
  t.width = 8;
  t.height = 4;
  t.palette.resize(16);
  scene.textures = {t, t};

  ExportReport report;
  describe_scene(scene, report);
  const ExportReport::Counts& c = report.counts;
  EXPECT_EQ(c.nodes_before, 3);
  EXPECT_EQ(c.nodes_after, 1);
  EXPECT_EQ(c.materials_before, 4);
  EXPECT_EQ(c.materials_after, 2);
  EXPECT_EQ(c.polygon_sets, 1);  // the deleted set does not count
  EXPECT_EQ(c.triangles, 3);
  EXPECT_EQ(c.triangle_strips, 1);
  EXPECT_EQ(c.vertices_sent, 7);
  EXPECT_EQ(c.matrices_used, 2);  // entries 0 and 2
  ASSERT_EQ(report.textures.size(), 2u);
  // 8 x 4 texels of four bits, sixteen colour words.
  EXPECT_EQ(report.textures[0].format, "palette16");
  EXPECT_EQ(report.textures[0].texel_bytes, 16);
  EXPECT_EQ(report.textures[0].palette_bytes, 32);
  EXPECT_TRUE(report.channels.empty());  // no animation file written

  const nlohmann::json j = nlohmann::json::parse(report_json(report));
  EXPECT_EQ(j["textures_by_format"]["palette16"]["textures"], 2);
  EXPECT_EQ(j["textures_by_format"]["palette16"]["texel_bytes"], 32);
  EXPECT_EQ(j["counts"]["matrices_available"], 31);
}

TEST(ReportScene, TexturePsnrAgainstTheSourceTexels) {
  // 4 x 4 texels of (7, 7, 7) in palette4 with the one colour word 0: the
  // console draws (0, 0, 0), so every channel is 7 off: MSE 49.
  SceneTexture t;
  t.format = TextureFormat::kPalette4;
  t.width = 4;
  t.height = 4;
  t.palette = {0};
  t.texels.assign(16, SourceTexel{7, 7, 7, 255, 0});
  EXPECT_NEAR(texture_psnr(t), 10.0 * std::log10(255.0 * 255.0 / 49.0), 1e-9);
  // Multiples of 8 survive the five-bit colour words: lossless.
  t.texels.assign(16, SourceTexel{248, 8, 0, 255, 0});
  t.palette = {static_cast<std::uint16_t>(31 | (1 << 5))};
  EXPECT_EQ(texture_psnr(t), -1.0);
  // Without texels (a pre-converted image) nothing can be told.
  t.texels.clear();
  EXPECT_EQ(texture_psnr(t), -2.0);

  // A tex4x4 image is judged by the words its conversion kept: one colour
  // that five bits hold exactly is drawn as it was.
  SceneTexture c;
  c.path = "C:/t/stone_cmp.png";
  c.width = c.height = c.original_width = c.original_height = 4;
  c.texels.assign(16, SourceTexel{248, 8, 0, 255, 0});
  convert_texture(c);
  ASSERT_EQ(c.format, TextureFormat::kTex4x4);
  EXPECT_EQ(texture_psnr(c), -1.0);
}

}  // namespace
}  // namespace kavro
