#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

// A material whose colours and alpha hold one value over `frames` frames.
SceneMaterial still_material(const std::string& name, int frames, ColorEntry diffuse,
                             ColorEntry ambient, std::uint8_t alpha) {
  SceneMaterial m;
  m.name = name;
  std::size_t n = static_cast<std::size_t>(frames);
  m.diffuse_frames.edit().assign(n, diffuse);
  m.ambient_frames.edit().assign(n, ambient);
  m.specular_frames.edit().assign(n, ColorEntry{});
  m.emission_frames.edit().assign(n, ColorEntry{});
  m.alpha_frames.edit().assign(n, alpha);
  return m;
}

TEST(ImaFile, StillMaterialReducesColoursToFiveBits) {
  AnimScene a(0, 0);
  a.scene.material_count_before = 2;
  a.scene.tolerance_color = 1;
  a.scene.materials.push_back(still_material("skin", 1, {7, 8, 255}, {248, 15, 16}, 255));
  std::string body = a.body(write_ima_body);
  const std::string expected =
      "\n<mat_color_info\n"
      "\tframe_size=\"1\"\n"
      "\ttool_start_frame=\"0\"\n"
      "\ttool_end_frame=\"0\"\n"
      "\tinterpolation=\"frame\"\n"
      "\tinterp_end_to_start=\"off\"\n"
      "\tcompress_material=\"off\" material_size=\"2 1\"\n"
      "\tframe_step_mode=\"auto\"\n"
      "\ttolerance_color=\"1\"\n"
      "/>\n"
      // 7 -> 0, 8 -> 1, 255 -> 31, 248 -> 31, 15 -> 1, 16 -> 2.
      "\n<mat_color_data size=\"4\">\n\t0 1 31 2 \n</mat_color_data>\n"
      "\n<mat_color_anm_array size=\"1\">\n"
      "\t<mat_color_anm index=\"0\" material_name=\"skin\">\n"
      "\t\t<diffuse_r frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<diffuse_g frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<diffuse_b frame_step=\"1\" data_size=\"1\" data_head=\"2\"/>\n"
      "\t\t<ambient_r frame_step=\"1\" data_size=\"1\" data_head=\"2\"/>\n"
      "\t\t<ambient_g frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<ambient_b frame_step=\"1\" data_size=\"1\" data_head=\"3\"/>\n"
      "\t\t<specular_r frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<specular_g frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<specular_b frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<emission_r frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<emission_g frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<emission_b frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<polygon_alpha frame_step=\"1\" data_size=\"1\" data_head=\"2\"/>\n"
      "\t</mat_color_anm>\n"
      "</mat_color_anm_array>\n";
  EXPECT_EQ(body, expected);
  EXPECT_EQ(a.scene.warnings(), std::vector<std::string>{"Warning: No material color animation."});
}

TEST(ImaFile, TwoMaterialsShareTheSameDiffuseRedCurve) {
  AnimScene a(0, 2);
  for (const char* name : {"a", "b"}) {
    SceneMaterial m = still_material(name, 3, {}, {}, 255);
    m.diffuse_frames.edit()[1].r = 80;
    m.diffuse_frames.edit()[2].r = 160;
    a.scene.materials.push_back(m);
  }
  std::string body = a.body(write_ima_body);
  // Tolerance 0 in mode auto: the moving channel keeps every frame.
  EXPECT_NE(body.find("\n<mat_color_data size=\"4\">\n\t0 10 20 31 \n</mat_color_data>\n"),
            std::string::npos)
      << body;
  ASSERT_EQ(a.scene.records.color_channels.size(), 2u);
  for (const auto& channels : a.scene.records.color_channels) {
    EXPECT_EQ(channels[0].frame_step, 1);
    EXPECT_EQ(channels[0].data_size, 3);
    EXPECT_EQ(channels[0].data_head, 0);
    EXPECT_EQ(channels[12].data_head, 3);
  }
  EXPECT_NE(body.find("\t<mat_color_anm index=\"1\" material_name=\"b\">\n"
                      "\t\t<diffuse_r frame_step=\"1\" data_size=\"3\" data_head=\"0\"/>\n"),
            std::string::npos);
  EXPECT_TRUE(a.scene.warnings().empty());
}

// Materials that share a sample array share its thinning, but each channel is
// placed in the pool as it stands when its turn comes: a run appended for one
// material can be found earlier for the next, across the old end of the pool.
TEST(ImaFile, SharedSamplesArePlacedWhereThePoolFirstHoldsThem) {
  AnimScene a(0, 3);
  // a: still, diffuse green 8 -> 1; everything else 0. Pool: 0 1.
  a.scene.materials.push_back(still_material("a", 4, {0, 8, 0}, {}, 0));
  // b: diffuse red 0 1 0 1 (reduced), every frame kept; not yet in the pool,
  // so it is appended at 2. Pool: 0 1 0 1 0 1.
  SceneMaterial b = still_material("b", 4, {}, {}, 0);
  for (std::size_t f : {1u, 3u}) b.diffuse_frames.edit()[f].r = 8;
  a.scene.materials.push_back(b);
  // c shares b's array; 0 1 0 1 now first lies at 0.
  SceneMaterial c = still_material("c", 4, {}, {}, 0);
  c.diffuse_frames = b.diffuse_frames;
  a.scene.materials.push_back(c);
  // d holds equal samples in an array of its own.
  SceneMaterial d = still_material("d", 4, {}, {}, 0);
  d.diffuse_frames = std::vector<ColorEntry>(b.diffuse_frames.vector());
  a.scene.materials.push_back(d);
  std::string body = a.body(write_ima_body);
  EXPECT_NE(body.find("\n<mat_color_data size=\"6\">\n\t0 1 0 1 0 1 \n</mat_color_data>\n"),
            std::string::npos)
      << body;
  const auto& records = a.scene.records.color_channels;
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0][1].data_head, 1);  // a's diffuse green
  EXPECT_EQ(records[1][0].data_size, 4);
  EXPECT_EQ(records[1][0].data_head, 2);
  for (std::size_t m : {2u, 3u}) {
    EXPECT_EQ(records[m][0].frame_step, records[1][0].frame_step);
    EXPECT_EQ(records[m][0].data_size, 4);
    EXPECT_EQ(records[m][0].data_head, 0) << m;
    for (int ch = 1; ch < 13; ++ch) EXPECT_EQ(records[m][ch].data_head, 0) << m << " " << ch;
  }
}

// A channel that holds one value is found where the pool first holds that
// value, whichever array it comes from: here inside another material's
// moving channel, and at the end of the pool.
TEST(ImaFile, ChannelsHoldingOneValueAreFoundWhereThePoolHoldsIt) {
  AnimScene a(0, 3);
  // p: diffuse red 0 3 1 2 (reduced), kept frame by frame; alpha 31. Pool:
  // 0 3 1 2 31.
  SceneMaterial p = still_material("p", 4, {}, {}, 255);
  const std::uint8_t reds[] = {0, 24, 8, 16};
  for (std::size_t f = 0; f < 4; ++f) p.diffuse_frames.edit()[f].r = reds[f];
  a.scene.materials.push_back(p);
  // q and r hold still colours in arrays of their own: 2 3 1, and 2 0 31.
  a.scene.materials.push_back(still_material("q", 4, {16, 24, 8}, {}, 255));
  a.scene.materials.push_back(still_material("r", 4, {16, 0, 248}, {}, 255));
  std::string body = a.body(write_ima_body);
  EXPECT_NE(body.find("\n<mat_color_data size=\"5\">\n\t0 3 1 2 31 \n</mat_color_data>\n"),
            std::string::npos)
      << body;
  const auto& records = a.scene.records.color_channels;
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0][0].data_size, 4);
  EXPECT_EQ(records[0][0].data_head, 0);
  const int q_heads[] = {3, 1, 2}, r_heads[] = {3, 0, 4};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(records[1][c].data_size, 1) << c;
    EXPECT_EQ(records[1][c].data_head, q_heads[c]) << c;
    EXPECT_EQ(records[2][c].data_size, 1) << c;
    EXPECT_EQ(records[2][c].data_head, r_heads[c]) << c;
    EXPECT_EQ(records[2][c].frame_step, records[1][c].frame_step) << c;
  }
  for (std::size_t m = 0; m < 3; ++m) EXPECT_EQ(records[m][12].data_head, 4) << m;
}

// Random materials sharing arrays with neighbours or far away, with
// still, moving and short arrays: every record and the pool equal encoding
// each channel on its own, in order, into one pool.
TEST(ImaFile, RecordsEqualEncodingEveryChannelOnItsOwn) {
  std::srand(11);
  auto pick = [](int n) { return std::rand() % n; };
  for (int round = 0; round < 60; ++round) {
    const int frames = 1 + pick(6);
    AnimScene a(0, frames - 1);
    a.scene.tolerance_color = pick(3);
    a.scene.frame_step_mode = pick(2) == 0 ? FrameStepMode::kAuto : FrameStepMode::kTwo;
    std::vector<SceneMaterial> made;
    for (int m = 0; m < 12; ++m) {
      SceneMaterial mat = still_material("m" + std::to_string(m), frames,
                                         {static_cast<std::uint8_t>(8 * pick(4)), 0, 255},
                                         {static_cast<std::uint8_t>(8 * pick(2)), 8, 16},
                                         static_cast<std::uint8_t>(255 - 8 * pick(2)));
      if (pick(3) == 0) {  // a moving diffuse colour
        for (int f = 0; f < frames; ++f)
          mat.diffuse_frames.edit()[f].g = static_cast<std::uint8_t>(8 * pick(2));
      }
      if (pick(4) == 0)
        mat.alpha_frames.edit().resize(1 + pick(frames));  // short: repeats its last
      if (!made.empty() && pick(2) == 0) {                 // shares arrays with an earlier material
        const SceneMaterial& other =
            made[static_cast<std::size_t>(pick(static_cast<int>(made.size())))];
        mat.diffuse_frames = other.diffuse_frames;
        if (pick(2) == 0) mat.alpha_frames = other.alpha_frames;
      }
      made.push_back(mat);
    }
    a.scene.materials = made;
    const std::string body = a.body(write_ima_body);

    anim::ColorPool pool;
    for (std::size_t m = 0; m < made.size(); ++m) {
      for (int c = 0; c < 13; ++c) {
        std::vector<std::uint8_t> samples(static_cast<std::size_t>(frames));
        for (int f = 0; f < frames; ++f) {
          std::uint8_t v = 0;
          if (c == 12) {
            const auto& alpha = made[m].alpha_frames;
            v = alpha[std::min<std::size_t>(static_cast<std::size_t>(f), alpha.size() - 1)];
          } else {
            const SharedArray<ColorEntry>* arrays[4] = {
                &made[m].diffuse_frames, &made[m].ambient_frames, &made[m].specular_frames,
                &made[m].emission_frames};
            const ColorEntry& e = (*arrays[c / 3])[static_cast<std::size_t>(f)];
            v = c % 3 == 0 ? e.r : c % 3 == 1 ? e.g : e.b;
          }
          samples[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(v >> 3);
        }
        const ChannelRecord want =
            anim::encode_channel(std::span<const std::uint8_t>(samples), a.scene.frame_step_mode,
                                 a.scene.tolerance_color, pool);
        const ChannelRecord& got = a.scene.records.color_channels[m][static_cast<std::size_t>(c)];
        ASSERT_EQ(got.frame_step, want.frame_step) << round << " " << m << " " << c;
        ASSERT_EQ(got.data_size, want.data_size) << round << " " << m << " " << c;
        ASSERT_EQ(got.data_head, want.data_head) << round << " " << m << " " << c;
      }
    }
    std::string values;
    for (std::uint8_t v : pool.values()) values += " " + std::to_string(v);
    std::string written;
    const std::size_t from = body.find("<mat_color_data");
    if (from != std::string::npos) {
      std::istringstream rows(body.substr(body.find('\n', from) + 1));
      std::string token;
      while (rows >> token && token != "</mat_color_data>") written += " " + token;
    }
    EXPECT_EQ(written, values) << round;
  }
}

TEST(ImaFile, SceneWithoutMaterialsWritesTheInformationBlockOnly) {
  AnimScene a(0, 4);
  std::string body = a.body(write_ima_body);
  EXPECT_EQ(body.find("mat_color_data"), std::string::npos);
  EXPECT_EQ(body.find("mat_color_anm_array"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - 4), "\n/>\n");
  EXPECT_EQ(a.scene.warnings(), std::vector<std::string>{"Warning: No material color animation."});
}

TEST(ImaFile, MaterialNamesAreEscapedForTheAttribute) {
  AnimScene a(0, 0);
  a.scene.materials.push_back(still_material("a&b\"c", 1, {}, {}, 0));
  std::string body = a.body(write_ima_body);
  EXPECT_NE(body.find("material_name=\"a&amp;b&quot;c\""), std::string::npos) << body;
}

}  // namespace
}  // namespace kavro
