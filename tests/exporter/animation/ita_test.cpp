#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exporter/animation/writers.h"
#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

std::string info_block(const std::string& material_size) {
  return "\n<tex_srt_info\n"
         "\tframe_size=\"3\"\n"
         "\ttool_start_frame=\"0\"\n"
         "\ttool_end_frame=\"2\"\n"
         "\tinterpolation=\"linear\"\n"
         "\tinterp_end_to_start=\"on\"\n"
         "\ttex_matrix_mode=\"maya\"\n"
         "\tcompress_material=\"on\" material_size=\"" +
         material_size +
         "\"\n"
         "\tframe_step_mode=\"auto\"\n"
         "\ttolerance_tex_scale=\"0.001000\"\n"
         "\ttolerance_tex_rotate=\"0.500000\"\n"
         "\ttolerance_tex_translate=\"0.001000\"\n"
         "/>\n";
}

SceneMaterial srt_material(const std::string& name, std::vector<float> scale_s,
                           std::vector<float> translate_s, std::vector<float> translate_t,
                           std::vector<float> rotate) {
  SceneMaterial m;
  m.name = name;
  m.tex_srt_animated = true;
  m.tex_scale_t_frames.assign(scale_s.size(), 1.0f);
  m.tex_scale_s_frames = std::move(scale_s);
  m.tex_translate_s_frames = std::move(translate_s);
  m.tex_translate_t_frames = std::move(translate_t);
  m.tex_rotate_frames = std::move(rotate);
  return m;
}

void set_options(ExportScene& s) {
  s.interpolation = Interpolation::kLinear;
  s.interp_end_to_start = 1;
  s.compress_material = 1;
  s.material_count_before = 3;
  s.tolerance_tex_scale = 0.001f;
  s.tolerance_tex_rotate = 0.5f;
  s.tolerance_tex_translate = 0.001f;
}

TEST(ItaFile, AnimatedMaterialsOnlyWithRunningIndices) {
  AnimScene a(0, 2);
  set_options(a.scene);
  a.scene.textures.emplace_back();
  // Material 0 scrolls in s only; material 1 has no texture animation;
  // material 2 stands still at other values.
  a.scene.materials.push_back(
      srt_material("scroll", {1, 1, 1}, {0, 0.25f, 0.5f}, {0, 0, 0}, {0, 0, 0}));
  SceneMaterial plain;
  plain.name = "plain";
  a.scene.materials.push_back(plain);
  a.scene.materials.push_back(
      srt_material("still", {2, 2, 2}, {0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f}, {90, 90, 90}));
  std::string body = a.body(write_ita_body);
  // Scroll's translate s: frame 1 is on the line from 0 to 2 and no frame
  // lies beyond step 4 for three frames, so step 4 keeps all three values.
  // Translate s is encoded before translate t, so its run starts the pool.
  const std::string expected =
      info_block("3 3") +
      "\n<tex_scale_data size=\"2\">\n\t1.000000 2.000000 \n</tex_scale_data>\n"
      "\n<tex_rotate_data size=\"2\">\n\t0.000000 90.000000 \n</tex_rotate_data>\n"
      "\n<tex_translate_data size=\"3\">\n\t0.000000 0.250000 0.500000 \n</tex_translate_data>\n"
      "\n<tex_srt_anm_array size=\"2\">\n"
      "\t<tex_srt_anm index=\"0\" material_name=\"scroll\">\n"
      "\t\t<tex_scale_s frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<tex_scale_t frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<tex_rotate frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<tex_translate_s frame_step=\"4\" data_size=\"3\" data_head=\"0\"/>\n"
      "\t\t<tex_translate_t frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t</tex_srt_anm>\n"
      "\t<tex_srt_anm index=\"1\" material_name=\"still\">\n"
      "\t\t<tex_scale_s frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<tex_scale_t frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<tex_rotate frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<tex_translate_s frame_step=\"1\" data_size=\"1\" data_head=\"2\"/>\n"
      "\t\t<tex_translate_t frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t</tex_srt_anm>\n"
      "</tex_srt_anm_array>\n";
  EXPECT_EQ(body, expected);
  EXPECT_TRUE(a.scene.warnings().empty());
}

TEST(ItaFile, RotationUsesItsOwnTolerance) {
  AnimScene a(0, 2);
  set_options(a.scene);
  a.scene.textures.emplace_back();
  // A wobble of 0.4 degrees is within the rotate tolerance of 0.5.
  a.scene.materials.push_back(srt_material("m", {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {10, 10.4f, 10}));
  a.body(write_ita_body);
  EXPECT_EQ(a.scene.records.tex_srt_channels.at(0)[2].data_size, 1);
}

TEST(ItaFile, SceneWithoutTexturesWritesTheInformationBlockOnly) {
  AnimScene a(0, 2);
  set_options(a.scene);
  a.scene.materials.push_back(
      srt_material("scroll", {1, 1, 1}, {0, 0.25f, 0.5f}, {0, 0, 0}, {0, 0, 0}));
  std::string body = a.body(write_ita_body);
  EXPECT_EQ(body, info_block("3 1"));
  EXPECT_EQ(a.scene.warnings(), std::vector<std::string>{"Warning: No texture SRT animation."});
}

TEST(ItaFile, TexturesWithoutAnimationWriteEmptyPoolsAndArray) {
  AnimScene a(0, 2);
  set_options(a.scene);
  a.scene.textures.emplace_back();
  SceneMaterial plain;
  plain.name = "plain";
  a.scene.materials.push_back(plain);
  std::string body = a.body(write_ita_body);
  EXPECT_EQ(body, info_block("3 1") +
                      "\n<tex_scale_data size=\"0\">\n</tex_scale_data>\n"
                      "\n<tex_rotate_data size=\"0\">\n</tex_rotate_data>\n"
                      "\n<tex_translate_data size=\"0\">\n</tex_translate_data>\n"
                      "\n<tex_srt_anm_array size=\"0\">\n</tex_srt_anm_array>\n");
  EXPECT_TRUE(a.scene.warnings().empty());
}

}  // namespace
}  // namespace kavro
