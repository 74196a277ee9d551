// The processing sequence as the driver runs it, and its progress labels.

#include <gtest/gtest.h>

#include "exporter/pipeline/keywords.h"
#include "exporter/process/passes.h"
#include "exporter/process/processing.h"
#include "host/recording_host.h"
#include "tests/exporter/process/builders.h"

namespace kavro {
namespace {

using test::add_node;
using test::make_set;

// Two mesh roots, the second under a null parent, two equal materials, an
// unused material and an unused texture.
ExportScene sample_scene(CompressNode mode, host::RecordingHost& host) {
  ExportScene s;
  s.host_interface = &host;
  s.compress_node = mode;
  s.compress_material = 1;
  s.frame_count = 1;
  s.magnify = 1;
  s.stage_count = 10;
  add_node(s.nodes, 1, "a", -1, kNodeMesh);
  add_node(s.nodes, 2, "holder", -1);
  add_node(s.nodes, 3, "b", 2, kNodeMesh).translate_frames = {{0, 20, 0}};
  SceneMaterial red, red2, unused;
  red.name = "red";
  red.texture_path = "red.tga";
  red2.name = "red2";
  red2.texture_path = "red.tga";
  unused.name = "unused";
  unused.unreferenced = true;
  unused.texture_path = "unused.tga";
  s.materials = {unused, red, red2};
  SceneTexture t1, t2;
  t1.path = "red.tga";
  t2.path = "unused.tga";
  s.textures = {t1, t2};
  s.polygons = {make_set(1, "red", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                make_set(1, "red2", {{0, 0, 0}, {1, 0, 0}, {0, 12, 0}}),
                make_set(3, "red2", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  for (PolygonSet& p : s.polygons) process::set_box(p);
  return s;
}

// Labels shown, without the percentage, each once in order of appearance.
std::vector<std::string> labels(const host::RecordingHost& host) {
  std::vector<std::string> out;
  for (const host::RecordedProgress& p : host.progress) {
    if (p.kind != host::RecordedProgress::kUpdate) continue;
    std::string label = p.text.substr(0, p.text.rfind(" ("));
    if (out.empty() || out.back() != label) out.push_back(label);
  }
  return out;
}

void run(SceneProcessor& proc, ExportScene& s) {
  proc.compress_materials(s);
  proc.merge_same_material_sets(s);
  proc.process_nodes(s);
  proc.magnify(s);
  ASSERT_TRUE(proc.scale_positions(s));
  proc.remove_unused_textures(s);
}

TEST(SceneProcessor, MergeModeRunsTheWholeSequence) {
  host::RecordingHost host;
  ExportScene s = sample_scene(CompressNode::kMerge, host);
  SceneProcessor proc;
  run(proc, s);

  EXPECT_EQ(labels(host), (std::vector<std::string>{
                              "Compressing Materials", "Culling Useless Nodes", "Merging Nodes",
                              "Magnifying Scene", "Removing Unused Textures"}));
  EXPECT_EQ(host.progress.back().text, "Removing Unused Textures (50%)");
  EXPECT_EQ(s.material_count_before, 3);
  ASSERT_EQ(s.materials.size(), 1u);
  EXPECT_EQ(s.materials[0].name, "red");
  ASSERT_EQ(s.textures.size(), 1u);
  EXPECT_EQ(s.textures[0].path, "red.tga");
  // a's two sets became one; holder was folded into b; a and b are roots.
  EXPECT_TRUE(s.polygons[1].deleted);
  EXPECT_EQ(s.polygons[0].vertex_count(), 6);
  EXPECT_EQ(test::names(s.nodes), (std::vector<std::string>{"world_root", "a", "b"}));
  EXPECT_EQ(s.node_count_before, 4);
  EXPECT_EQ(s.nodes[2].translate_frames[0], (Vec3{0, 20, 0}));
  // Largest live coordinate 12: one halving.
  EXPECT_EQ(s.pos_scale, 1);
  EXPECT_EQ(s.polygons[0].positions[5], (Vec3{0, 6, 0}));
}

TEST(SceneProcessor, ProgressLabelsOfTheOtherModes) {
  const std::vector<std::pair<CompressNode, std::vector<std::string>>> cases = {
      {CompressNode::kNone,
       {"Compressing Materials", "Adding World Root", "Magnifying Scene",
        "Removing Unused Textures"}},
      {CompressNode::kCull,
       {"Compressing Materials", "Culling Useless Nodes", "Magnifying Scene",
        "Removing Unused Textures"}},
      {CompressNode::kUnite,
       {"Compressing Materials", "Uniting Nodes", "Magnifying Scene", "Removing Unused Textures"}},
      {CompressNode::kUniteCombine,
       {"Compressing Materials", "Uniting Nodes", "Combining Meshes", "Magnifying Scene",
        "Removing Unused Textures"}},
  };
  for (const auto& [mode, expected] : cases) {
    host::RecordingHost host;
    ExportScene s = sample_scene(mode, host);
    SceneProcessor proc;
    run(proc, s);
    EXPECT_EQ(labels(host), expected) << "mode " << compress_node_keyword(mode);
  }
}

TEST(SceneProcessor, UniteCombineLeavesOneNodeWithOneSet) {
  host::RecordingHost host;
  ExportScene s = sample_scene(CompressNode::kUniteCombine, host);
  SceneProcessor proc;
  run(proc, s);
  ASSERT_EQ(s.nodes.size(), 1u);
  int live = 0;
  for (const PolygonSet& p : s.polygons) live += p.deleted ? 0 : 1;
  EXPECT_EQ(live, 1);
  EXPECT_EQ(s.polygons[0].vertex_count(), 9);
  // b's set moved up by its first-frame translation of 20: two halvings.
  EXPECT_EQ(s.pos_scale, 2);
  EXPECT_EQ(s.polygons[0].positions[8], (Vec3{0, 5.25f, 0}));
}

}  // namespace
}  // namespace kavro
