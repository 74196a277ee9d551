// Extraction of skins and of transform and visibility samples: weight rules,
// hierarchy order and selection exports.

#include <gtest/gtest.h>

#include "tests/exporter/extract/extraction_fixture.h"

namespace kavro {
namespace {

using namespace extract_test;

std::string skinned(const std::string& weights, const std::string& extra_nodes = "") {
  return scene_json(
      R"({"id":1,"name":"Body","object":{"class":"mesh","mesh":{"vertices":[[0,0,5],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
          "modifiers":[{"type":"skin","bones":[2,3],"weights":)" +
      weights +
      R"(}]}},
        {"id":2,"name":"BoneA","object":{"class":"bone"},"transform":{"position":[0,0,5]}},
        {"id":3,"name":"BoneB","object":{"class":"bone"}})" +
      extra_nodes);
}

TEST(ExtractSkins, WeightRules) {
  Extraction run;
  extract(run, skinned(R"([[[0,0.9995],[1,0.0005]], [[0,0.5],[1,0.4995],[0,0.0005]], [[1,1.0]]])"));
  ASSERT_TRUE(run.ok) << (run.host.messages.empty() ? "" : run.host.messages[0].text);
  const auto& w = run.scene.polygons[0].weights;
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].count(), 1);
  EXPECT_EQ(w[0].node_ids[0], 2);
  EXPECT_FLOAT_EQ(w[0].weights[0], 0.9995f);  // not normalised
  ASSERT_EQ(w[1].count(), 2);
  EXPECT_EQ(w[1].node_ids, (std::vector<int>{2, 3}));
  EXPECT_EQ(w[1].list_positions, (std::vector<int>{0, 1}));
  EXPECT_EQ(w[2].node_ids, std::vector<int>{3});
  // Vertex 0 follows BoneA alone and moves into its space: host (0,0,5) is
  // (0,5,0) with Y up, and so is the bone.
  expect_vec(run.scene.polygons[0].positions[0], {0, 0, 0});
  // Vertex 1 has two influences and stays in the mesh's space.
  expect_vec(run.scene.polygons[0].positions[1], {1, 0, 0});
}

TEST(ExtractSkins, WrongWeightsFailTheExtraction) {
  Extraction run;
  extract(run, skinned(R"([[[1,1.0]], [[0,0.5],[1,0.4]], [[0,0.0005]]])"));
  EXPECT_FALSE(run.ok);
  ASSERT_EQ(run.host.messages.size(), 1u);
  EXPECT_EQ(run.host.messages[0].text, "Wrong weighted vertices exist. Body ( vertex 1 )");
  EXPECT_EQ(run.host.messages[0].caption, "Wrong weighted vertices");
  EXPECT_TRUE(run.scene.polygons.empty());
}

TEST(ExtractSkins, ForceFullWeightKeepsTheHeaviestFirstBone) {
  Settings s;
  s.force_full_weight = true;
  Extraction run;
  extract(run, skinned(R"([[[0,0.5],[1,0.5]], [[0,0.3],[1,0.7]], [[1,1.0]]])"), s);
  ASSERT_TRUE(run.ok);
  const auto& w = run.scene.polygons[0].weights;
  EXPECT_EQ(w[0].node_ids, std::vector<int>{2});
  EXPECT_EQ(w[0].weights, std::vector<float>{1.0f});
  EXPECT_EQ(w[1].node_ids, std::vector<int>{3});
  // Reduced to one bone, vertex 0 now moves into BoneA's space.
  expect_vec(run.scene.polygons[0].positions[0], {0, 0, 0});
}

TEST(ExtractSkins, SkinWithoutBonesIsAWarning) {
  Extraction run;
  extract(run, skinned("[[[0,1.0]]]"));  // vertices 1 and 2 are not in the skin
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.scene.polygons[0].weights.empty());
  EXPECT_TRUE(run.has_warning(
      "Warning: Skinning modifier applied to node \"Body\" with no bones attached."));
}

TEST(ExtractSkins, SkinsAreSwitchedOffForReadingAndBackOnAfterwards) {
  doc::LoadResult loaded = doc::parse_scene_document(skinned("[[[0,1]],[[0,1]],[[0,1]]]"), "s");
  ASSERT_TRUE(loaded.ok);
  auto document = max::make_document_host(std::move(loaded.document));
  max::HostScene* hs = document.get();
  host::RecordingHost host;
  HostExtraction ex(std::move(document), host);
  ex.initialise(true);
  max::Modifier* skin =
      hs->GetCOREInterface().GetRootNode()->GetChildNode(0)->GetObjectRef()->GetModifier(0);
  ASSERT_TRUE(skin->IsEnabled());
  ex.switch_off_skins();
  EXPECT_FALSE(skin->IsEnabled());
  ex.switch_on_skins();
  EXPECT_TRUE(skin->IsEnabled());
}

// ---------------------------------------------------------------------------
// Samples.

TEST(SampleNodes, TransformsVisibilityAndBit6) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"Spin","transform":{"rotation":{"keys":[
          {"frame":0,"value":[0,0,0]},{"frame":2,"value":[0,0,90]}]}},
          "visibility":{"keys":[{"frame":0,"value":1},{"frame":1,"value":1},{"frame":2,"value":0}]}},
        {"id":2,"name":"Off","visibility":0})",
                          "", R"("animation_range":[0,2],)"));
  ASSERT_TRUE(run.ok);
  const SceneNode* spin = run.node("Spin");
  ASSERT_EQ(spin->rotate_frames.size(), 3u);
  // A host turn about Z is a turn about Y with Y up.
  expect_vec(spin->rotate_frames[1], {0, 45, 0}, 1e-3f);
  expect_vec(spin->rotate_frames[2], {0, 90, 0}, 1e-3f);
  EXPECT_EQ(spin->visibility_frames, (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(spin->work_flags & kVisibleAtFirstFrame, kVisibleAtFirstFrame);
  EXPECT_EQ(run.node("Off")->visibility_frames, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(run.node("Off")->work_flags & kVisibleAtFirstFrame, 0u);
  // Samples are multiples of 1/4096.
  for (const Vec3& r : spin->rotate_frames) EXPECT_EQ(r.y * 4096, std::round(r.y * 4096));
}

TEST(SampleNodes, MirrorShowsAsNegativeXScale) {
  // Host scale (-1, 1, 1) with a turn about X: the sample rebuilds the matrix.
  Extraction run;
  extract(
      run,
      scene_json(
          R"({"id":1,"name":"Mirror","transform":{"scale":[-1,1,1],"rotation":[30,0,0],"position":[1,2,3]}})"));
  ASSERT_TRUE(run.ok);
  const SceneNode* n = run.node("Mirror");
  EXPECT_LT(n->scale_frames[0].x, 0);
  expect_vec(n->scale_frames[0], {-1, 1, 1});
  Mat4 rebuilt = local_matrix(n->scale_frames[0], n->rotate_frames[0], n->translate_frames[0]);
  // Expected, column vectors with Y up: X mirrored, then 30 degrees about X.
  Mat4 expected =
      translate_matrix({1, 3, -2}) * rotate_x_matrix(30 * kPi / 180) * scale_matrix({-1, 1, 1});
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(rebuilt.m[i], expected.m[i], 1e-3f);
  expect_vec(n->scale, {-1, 1, 1});
}

TEST(SampleNodes, DecomposeSampleRebuildsMirroredMatrices) {
  const float angles[][3] = {{0.3f, -0.2f, 1.0f}, {2.0f, 0.1f, -0.7f}, {0, 0, 0}};
  for (const auto& a : angles) {
    for (max::Point3 k : {max::Point3{-2, 1, 0.5f}, max::Point3{1, -3, 1}, max::Point3{1, 1, -1}}) {
      max::Matrix3 m = max::ScaleMatrix(k) * max::RotateXMatrix(a[0]) * max::RotateYMatrix(a[1]) *
                       max::RotateZMatrix(a[2]) * max::TransMatrix({1, 2, 3});
      TransformSample s = decompose_sample(m);
      EXPECT_LT(s.scale.x, 0);
      max::Matrix3 back = sample_matrix(s);
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[r][c], m[r][c], 2e-3f);
      }
    }
  }
}

TEST(SampleNodes, HierarchyIsOrderedByByteOrder) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"b"},{"id":2,"name":"a"},{"id":3,"name":"C"},
      {"id":4,"name":"z","parent":2},{"id":5,"name":"Y","parent":2},{"id":6,"name":"x","parent":5})"));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"C", "a", "Y", "x", "z", "b"}));
  const SceneNode* a = run.node("a");
  EXPECT_EQ(a->brother_prev, 3);
  EXPECT_EQ(a->brother_next, 1);
  EXPECT_EQ(a->child, 5);
  EXPECT_EQ(run.node("C")->brother_prev, -1);
  EXPECT_EQ(run.node("b")->brother_next, -1);
  EXPECT_EQ(run.node("Y")->brother_next, 4);
  EXPECT_EQ(run.node("z")->brother_prev, 5);
  EXPECT_EQ(run.node("x")->parent, 5);
}

TEST(SampleNodes, SelectionExportsAdjustUnselectedNodesToWorld) {
  // Body is selected; its skin brings BoneA, child of the unselected Rig.
  std::string json = scene_json(
      R"({"id":1,"name":"Body","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
          "modifiers":[{"type":"skin","bones":[2],"weights":[[[0,1]],[[0,1]],[[0,1]]]}]}},
        {"id":3,"name":"Rig","transform":{"position":[5,0,0]}},
        {"id":2,"name":"BoneA","parent":3,"object":{"class":"bone"},"transform":{"position":[0,0,3]}},
        {"id":4,"name":"Other"})");
  Settings s;
  s.export_all = false;
  s.select = {"Body"};
  Extraction run;
  extract(run, json, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"Body", "BoneA"}));
  const SceneNode* bone = run.node("BoneA");
  expect_vec(bone->translate_frames[0], {5, 3, 0});  // world
  expect_vec(bone->translate, {0, 3, 0});            // base transform unchanged
  // The same scene exported whole keeps the bone's local samples.
  Extraction all;
  extract(all, json);
  expect_vec(all.node("BoneA")->translate_frames[0], {0, 3, 0});
  EXPECT_EQ(all.node_names(), (std::vector<std::string>{"Body", "Other", "Rig", "BoneA"}));
}

TEST(SampleNodes, SelectionKeepsOnlyTheTopmostListedNodes) {
  // Arm and its child Hand both selected: Hand comes along with Arm once,
  // and keeps its local samples (its parent is exported).
  std::string json = scene_json(R"({"id":1,"name":"Arm","transform":{"position":[1,0,0]}},
      {"id":2,"name":"Hand","parent":1,"transform":{"position":[0,0,2]}},
      {"id":3,"name":"Leg"})");
  Settings s;
  s.export_all = false;
  s.select = {"Hand", "Arm"};
  Extraction run;
  extract(run, json, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"Arm", "Hand"}));
  expect_vec(run.node("Hand")->translate_frames[0], {0, 2, 0});
  EXPECT_EQ(run.node("Hand")->parent, 1);
  // A selected node below an unselected parent keeps samples local to it.
  s.select = {"Hand"};
  Extraction hand;
  extract(hand, json, s);
  ASSERT_TRUE(hand.ok);
  EXPECT_EQ(hand.node_names(), std::vector<std::string>{"Hand"});
  EXPECT_EQ(hand.node("Hand")->parent, -1);
  expect_vec(hand.node("Hand")->translate_frames[0], {0, 2, 0});
}

}  // namespace
}  // namespace kavro
