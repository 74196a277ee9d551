#include "exporter/pipeline/scene.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <string>

#include "exporter/pipeline/finite_values.h"
#include "host/recording_host.h"

namespace kavro {
namespace {

TEST(SceneLookups, FirstMatchAndTheirDefaults) {
  ExportScene s;
  EXPECT_EQ(s.node_position(5), -1);
  s.nodes.resize(3);
  s.nodes[0].id = 7;
  s.nodes[1].id = 5;
  s.nodes[2].id = 5;
  EXPECT_EQ(s.node_position(5), 1);
  EXPECT_EQ(s.node_position(9), -1);
  EXPECT_EQ(NodeIndex(s.nodes).position(5), 1);
  EXPECT_EQ(NodeIndex(s.nodes).position(9), -1);

  s.materials.resize(2);
  s.materials[0].name = "dummy_material";
  s.materials[1].name = "Skin";
  EXPECT_EQ(s.material_position("Skin"), 1);
  EXPECT_EQ(s.material_position("skin"), 0);  // no match resolves to material 0
  EXPECT_EQ(MaterialIndex(s.materials).position("Skin"), 1);
  EXPECT_EQ(MaterialIndex(s.materials).position("nope"), 0);

  s.textures.resize(2);
  s.textures[0].path = "/a.tga";
  s.textures[1].path = "/b.tga";
  EXPECT_EQ(s.texture_position("/b.tga"), 1);
  EXPECT_EQ(s.texture_position("/c.tga"), 0);
}

TEST(SceneLookups, MaterialIndexGivesTheLinearSearchsFirstMatch) {
  ExportScene s;
  EXPECT_EQ(MaterialIndex(s.materials).position("a"), 0);  // no materials at all
  // Names over a small alphabet: many repeats (only the first counts) and,
  // in a table of a few thousand slots, many shared probe chains.
  s.materials.resize(3000);
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  std::vector<std::string> asked;
  for (SceneMaterial& m : s.materials) {
    m.name = "m" + std::to_string(next() % 1000);
    if (next() % 7 == 0) m.name.clear();
    asked.push_back(m.name);
  }
  for (int i = 0; i < 300; ++i) asked.push_back("m" + std::to_string(1000 + i));  // absent
  asked.push_back("M1");
  const MaterialIndex index(s.materials);
  for (const std::string& name : asked) {
    ASSERT_EQ(index.position(name), s.material_position(name)) << name;
  }
  // A guess is taken only when it holds the first material of the name:
  // every material guessed for its own name (later ones of a name too), and
  // guesses off the end, before the start, and at random.
  for (std::size_t j = 0; j < s.materials.size(); ++j) {
    const std::string& name = s.materials[j].name;
    ASSERT_EQ(index.position(name, static_cast<int>(j)), s.material_position(name)) << j;
  }
  for (const std::string& name : asked) {
    for (int guess : {-1, 3000, 3001, static_cast<int>(next() % 3000)}) {
      ASSERT_EQ(index.position(name, guess), s.material_position(name)) << name << " " << guess;
    }
  }
}

// A value that is not finite is found wherever it stands in a per-frame
// array (read many values a step, the rest one by one), and the largest,
// smallest, subnormal and negative-zero values pass.
TEST(FiniteCheck, FindsABadValueAtEveryPlaceOfArraysOfEveryLength) {
  const float bad[] = {
      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
      std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::signaling_NaN()};
  const float fine[] = {FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -0.0f, 1.5f};
  ExportScene s;
  s.nodes.resize(1);
  SceneNode& n = s.nodes[0];
  n.name = "arm";
  for (std::size_t frames = 0; frames <= 24; ++frames) {
    n.rotate_frames.assign(frames, Vec3{});
    for (std::size_t f = 0; f < frames; ++f) {
      const float v = fine[f % 6];
      n.rotate_frames[f] = {v, fine[(f + 1) % 6], fine[(f + 2) % 6]};
    }
    ASSERT_EQ(find_non_finite(s), "") << frames;
    for (std::size_t f = 0; f < frames; ++f) {
      for (int axis = 0; axis < 3; ++axis) {
        for (float b : bad) {
          Vec3 kept = n.rotate_frames[f];
          (axis == 0   ? n.rotate_frames[f].x
           : axis == 1 ? n.rotate_frames[f].y
                       : n.rotate_frames[f].z) = b;
          ASSERT_EQ(find_non_finite(s), "node arm")
              << frames << " frames, frame " << f << " axis " << axis;
          n.rotate_frames[f] = kept;
        }
      }
    }
  }
}

TEST(SceneWarnings, KeptOnceInOrderAndCaseSensitive) {
  ExportScene s;
  s.add_warning("Warning: B");
  s.add_warning("Warning: A");
  s.add_warning("Warning: B");
  s.add_warning("warning: b");
  s.add_warning_f("Warning: %s %d", "x", 3);
  s.add_warning("Warning: x 3");
  ASSERT_EQ(s.warnings().size(), 4u);
  EXPECT_EQ(s.warnings()[0], "Warning: B");
  EXPECT_EQ(s.warnings()[1], "Warning: A");
  EXPECT_EQ(s.warnings()[2], "warning: b");
  EXPECT_EQ(s.warnings()[3], "Warning: x 3");
  s.clear_warnings();
  s.add_warning("Warning: B");
  EXPECT_EQ(s.warnings().size(), 1u);
}

TEST(SceneReset, EmptiesEverythingButKeepsTheHost) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  s.nodes.resize(2);
  s.pos_scale = 3;
  s.stage_count = 9;
  s.progress_text = "x";
  s.source_name = "robot.max";
  s.add_warning("Warning: w");
  s.reset();
  EXPECT_EQ(s.node_count(), 0);
  EXPECT_EQ(s.pos_scale, 0);
  EXPECT_EQ(s.stage_count, 0);
  EXPECT_TRUE(s.progress_text.empty());
  EXPECT_TRUE(s.source_name.empty());
  EXPECT_TRUE(s.warnings().empty());
  EXPECT_EQ(s.host_interface, &h);
}

TEST(SceneProgress, WithoutStagesNothingMoves) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  EXPECT_EQ(s.step_size(4), 0.0f);
  s.stage_count = 4;
  EXPECT_EQ(s.step_size(0), 0.0f);
  EXPECT_FLOAT_EQ(s.step_size(5), 5.0f);  // 100 / 4 / 5
}

TEST(SceneProgress, TextsShowTheWholePercentAndAreNotResent) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  s.stage_count = 3;
  float step = s.step_size(4);  // 8.333...
  s.advance(step, "IMD: Exporting Nodes");
  s.advance(0.1f, "IMD: Exporting Nodes");  // still 8%: not re-sent
  s.advance(step, "IMD: Exporting Nodes");
  ASSERT_EQ(h.progress.size(), 2u);
  EXPECT_EQ(h.progress[0].text, "IMD: Exporting Nodes (8%)");
  EXPECT_EQ(h.progress[0].percent, 8);
  EXPECT_EQ(h.progress[1].text, "IMD: Exporting Nodes (16%)");
  s.finish_stage("IMD: Exporting Nodes");
  EXPECT_EQ(h.progress.back().text, "IMD: Exporting Nodes (33%)");
  EXPECT_EQ(s.stages_done, 1);
}

TEST(SceneProgress, NeverAbove99BeforeTheLastStageEnds) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  s.stage_count = 1;
  for (int i = 0; i < 30; ++i) s.advance(10.0f, "Work");
  EXPECT_EQ(h.progress.back().text, "Work (99%)");
  s.finish_stage("Done");
  EXPECT_EQ(h.progress.back().text, "Done (100%)");
}

TEST(SceneProgress, UpdatesWithoutTextOnlyWhenTheWholePercentChanges) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  s.stage_count = 1;
  s.advance(0.4f);
  s.advance(0.4f);
  EXPECT_TRUE(h.progress.empty());
  s.advance(0.4f);  // 1.2
  ASSERT_EQ(h.progress.size(), 1u);
  EXPECT_EQ(h.progress[0].percent, 1);
}

TEST(SceneProgress, CancelOnlyShowsThatCancellingIsNotSupported) {
  host::RecordingHost h;
  h.cancel_pressed = true;
  ExportScene s;
  s.host_interface = &h;
  s.stage_count = 1;
  s.advance(1.0f, "Work");
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].text, "Cancelling export is not currently supported.");
  EXPECT_EQ(h.messages[0].caption, "Not Supported");
  EXPECT_EQ(h.messages[0].icon, host::MessageIcon::kInformation);
  EXPECT_FALSE(h.cancel_pressed);
  s.advance(1.0f, "Work");
  EXPECT_EQ(h.messages.size(), 1u);
}

TEST(TextureFormats, NamesAndWordCounts) {
  EXPECT_STREQ(texture_format_name(TextureFormat::kPalette4), "palette4");
  EXPECT_STREQ(texture_format_name(TextureFormat::kA3I5), "a3i5");
  EXPECT_STREQ(texture_format_name(TextureFormat::kTex4x4), "tex4x4");
  EXPECT_EQ(texture_word_count(TextureFormat::kPalette4, 8, 8), 8u);
  EXPECT_EQ(texture_word_count(TextureFormat::kPalette16, 8, 8), 16u);
  EXPECT_EQ(texture_word_count(TextureFormat::kTex4x4, 8, 8), 4u);
  EXPECT_EQ(texture_word_count(TextureFormat::kDirect, 8, 8), 64u);
  EXPECT_EQ(texture_word_count(TextureFormat::kDirect, 65535, 65535), 65535u * 65535u);
}

}  // namespace
}  // namespace kavro
