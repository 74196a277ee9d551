// Node passes: world root, cull, merge, placing of skinned vertices, skinning
// to the first frame, unite and node volumes. Expected values are worked out
// by hand from small hierarchies.

#include <gtest/gtest.h>

#include <cmath>

#include "exporter/process/passes.h"
#include "tests/exporter/process/builders.h"

namespace kavro::process {
namespace {

using test::add_node;
using test::links;
using test::make_set;
using test::names;

using Names = std::vector<std::string>;
using Links = std::vector<int>;

void expect_vec(Vec3 v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

ExportScene scene_with(CompressNode mode, int frames = 1) {
  ExportScene s;
  s.compress_node = mode;
  s.frame_count = frames;
  return s;
}

// ---------------------------------------------------------------------------
// World root.

TEST(WorldRoot, OneRootInModeNoneKeepsTheArray) {
  ExportScene s = scene_with(CompressNode::kNone);
  add_node(s.nodes, 1, "root", -1, kNodeMesh);
  add_node(s.nodes, 2, "leaf", 1, kNodeMesh);
  process_nodes(s);
  EXPECT_EQ(names(s.nodes), (Names{"root", "leaf"}));
  EXPECT_EQ(links(s.nodes[0]), (Links{-1, 2, -1, -1}));
  EXPECT_EQ(s.node_count_before, 2);
}

TEST(WorldRoot, TwoRootsHangBelowANewWorldRoot) {
  ExportScene s = scene_with(CompressNode::kNone, 3);
  add_node(s.nodes, 10, "a", -1, kNodeMesh, 3);
  add_node(s.nodes, 11, "c", 10, kNodeMesh, 3);
  add_node(s.nodes, 20, "b", -1, kNodeMesh, 3);
  process_nodes(s);

  ASSERT_EQ(names(s.nodes), (Names{"world_root", "a", "c", "b"}));
  const SceneNode& w = s.nodes[0];
  EXPECT_EQ(w.id, -1000);
  EXPECT_EQ(w.kind, kNodeNull);
  EXPECT_EQ(links(w), (Links{-1, 10, -1, -1}));
  EXPECT_EQ(w.work_flags, 0u);  // not even the first-frame visibility bit
  ASSERT_EQ(w.scale_frames.size(), 3u);
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(w.scale_frames[f], (Vec3{1, 1, 1}));
    EXPECT_EQ(w.rotate_frames[f], (Vec3{}));
    EXPECT_EQ(w.translate_frames[f], (Vec3{}));
    EXPECT_EQ(w.visibility_frames[f], 1);
  }
  EXPECT_EQ(w.scale, (Vec3{1, 1, 1}));
  EXPECT_EQ(links(s.nodes[1]), (Links{-1000, 11, 20, -1}));
  EXPECT_EQ(links(s.nodes[2]), (Links{10, -1, -1, -1}));
  EXPECT_EQ(links(s.nodes[3]), (Links{-1000, -1, -1, 10}));
  EXPECT_EQ(s.node_count_before, 4);
}

// ---------------------------------------------------------------------------
// Cull.

TEST(Cull, KeepsProtectedReferencedAndParentNodesAndClosesGaps) {
  ExportScene s = scene_with(CompressNode::kCull);
  auto& n = s.nodes;
  add_node(n, 1, "root", -1);
  add_node(n, 2, "guard", 1).no_cut = 1;  // protected leaf
  add_node(n, 3, "early", 1);             // a later brother's subtree is named
  add_node(n, 4, "rig", 1);               // something below is named
  add_node(n, 5, "hand", 4, kNodeJoint);  // named in the weights
  add_node(n, 6, "chain_a", 1);           // null chain, nothing below
  add_node(n, 7, "chain_b", 6);
  add_node(n, 8, "chain_c", 7);
  add_node(n, 9, "grp", 1);  // null with a kept descendant
  add_node(n, 10, "part", 9, kNodeMesh);
  add_node(n, 11, "tail", 1);  // null leaf, owns only a deleted set

  PolygonSet skinned = make_set(10, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  skinned.weights = test::single_bone(3, 5);
  PolygonSet gone = make_set(11, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  gone.weights = test::single_bone(3, 8);
  gone.deleted = true;
  s.polygons = {skinned, gone};

  process_nodes(s);

  ASSERT_EQ(names(n), (Names{"root", "guard", "early", "rig", "hand", "grp", "part"}));
  EXPECT_EQ(links(n[0]), (Links{-1, 2, -1, -1}));
  EXPECT_EQ(links(n[1]), (Links{1, -1, 3, -1}));
  EXPECT_EQ(links(n[2]), (Links{1, -1, 4, 2}));
  EXPECT_EQ(links(n[3]), (Links{1, 5, 9, 3}));  // the chain is skipped
  EXPECT_EQ(links(n[4]), (Links{4, -1, -1, -1}));
  EXPECT_EQ(links(n[5]), (Links{1, 10, -1, 4}));  // the tail is gone
  EXPECT_EQ(links(n[6]), (Links{9, -1, -1, -1}));
  for (const SceneNode& node : n) {
    EXPECT_EQ(node.work_flags & kScratchBits, 0u) << node.name;
    EXPECT_NE(node.work_flags & kVisibleAtFirstFrame, 0u) << node.name;
  }
  EXPECT_EQ(s.node_count_before, 11);
}

TEST(Cull, RemovedFirstChildHandsTheParentItsBrother) {
  ExportScene s = scene_with(CompressNode::kCull);
  add_node(s.nodes, 1, "top", -1);
  add_node(s.nodes, 2, "empty", 1);
  add_node(s.nodes, 3, "mesh", 1, kNodeMesh);
  s.polygons = {make_set(3, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  cull_nodes(s);
  ASSERT_EQ(names(s.nodes), (Names{"top", "mesh"}));
  EXPECT_EQ(links(s.nodes[0]), (Links{-1, 3, -1, -1}));
  EXPECT_EQ(links(s.nodes[1]), (Links{1, -1, -1, -1}));
}

TEST(Cull, CanRemoveEveryNode) {
  ExportScene s = scene_with(CompressNode::kCull);
  add_node(s.nodes, 1, "a", -1);
  add_node(s.nodes, 2, "b", 1);
  add_node(s.nodes, 3, "c", -1);
  process_nodes(s);
  EXPECT_TRUE(s.nodes.empty());
  EXPECT_EQ(s.node_count_before, 4);  // two roots: the world root is counted
}

TEST(Cull, TwoKeptRootsGetAWorldRoot) {
  ExportScene s = scene_with(CompressNode::kCull);
  add_node(s.nodes, 1, "junk", -1);
  add_node(s.nodes, 2, "m1", -1, kNodeMesh);
  add_node(s.nodes, 3, "junk2", -1);
  add_node(s.nodes, 4, "m2", -1, kNodeMesh);
  s.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                make_set(4, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  cull_nodes(s);
  ASSERT_EQ(names(s.nodes), (Names{"world_root", "m1", "m2"}));
  EXPECT_EQ(links(s.nodes[0]), (Links{-1, 2, -1, -1}));
  EXPECT_EQ(links(s.nodes[1]), (Links{-1000, -1, 4, -1}));
  EXPECT_EQ(links(s.nodes[2]), (Links{-1000, -1, -1, 2}));
}

TEST(Cull, LinkLoopsDoNotHang) {
  ExportScene s = scene_with(CompressNode::kCull);
  add_node(s.nodes, 1, "a", -1);
  add_node(s.nodes, 2, "b", 1);
  s.nodes[1].child = 1;  // damaged: b claims a as its child
  s.nodes[1].brother_next = 2;
  cull_nodes(s);
  EXPECT_TRUE(s.nodes.empty());
}

// ---------------------------------------------------------------------------
// Merge.

TEST(Merge, FoldsATranslatedRotatedNullIntoItsChildFrameByFrame) {
  ExportScene s = scene_with(CompressNode::kMerge, 2);
  SceneNode& p = add_node(s.nodes, 1, "pivot", -1, kNodeNull, 2);
  p.rotate_frames = {{0, 0, 90}, {0, 90, 0}};
  p.translate_frames = {{1, 2, 3}, {0, 0, 0}};
  p.translate = {0, 5, 0};
  SceneNode& c = add_node(s.nodes, 2, "body", 1, kNodeMesh, 2);
  c.scale_frames = {{1, 1, 1}, {2, 2, 2}};
  c.translate_frames = {{1, 0, 0}, {0, 0, 1}};
  c.translate = {0, 0, 1};
  s.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};

  process_nodes(s);

  ASSERT_EQ(names(s.nodes), (Names{"body"}));
  const SceneNode& b = s.nodes[0];
  EXPECT_EQ(links(b), (Links{-1, -1, -1, -1}));  // one root: no world root
  // Frame 0: T(1,2,3) Rz(90) T(1,0,0) moves the origin to (1,3,3).
  expect_vec(b.scale_frames[0], 1, 1, 1);
  expect_vec(b.rotate_frames[0], 0, 0, 90, 1e-4f);
  expect_vec(b.translate_frames[0], 1, 3, 3);
  // Frame 1: Ry(90) T(0,0,1) S(2) moves the origin to (1,0,0).
  expect_vec(b.scale_frames[1], 2, 2, 2);
  expect_vec(b.rotate_frames[1], 0, 90, 0, 1e-4f);
  expect_vec(b.translate_frames[1], 1, 0, 0);
  // Base: T(0,5,0) T(0,0,1).
  expect_vec(b.scale, 1, 1, 1);
  EXPECT_EQ(b.rotate, (Vec3{}));
  expect_vec(b.translate, 0, 5, 1);
  EXPECT_EQ(s.node_count_before, 2);
}

TEST(Merge, MirroredParentShowsAsNegativeZScale) {
  ExportScene s = scene_with(CompressNode::kMerge);
  SceneNode& p = add_node(s.nodes, 1, "mirror", -1);
  p.scale_frames = {{-1, 1, 1}};
  p.scale = {-1, 1, 1};
  add_node(s.nodes, 2, "body", 1, kNodeMesh);
  s.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  process_nodes(s);
  ASSERT_EQ(names(s.nodes), (Names{"body"}));
  // diag(-1, 1, 1) = Rz(180) Rx(180) diag(1, 1, -1).
  expect_vec(s.nodes[0].scale_frames[0], 1, 1, -1);
  expect_vec(s.nodes[0].rotate_frames[0], 180, 0, 180, 1e-4f);
  expect_vec(s.nodes[0].scale, 1, 1, -1);
  expect_vec(s.nodes[0].rotate, 180, 0, 180, 1e-4f);
}

// diag(1, 2, 1) * Rz(45) has the columns (c, 2s, 0) and (-s, 2c, 0) with
// c = s = 0.7071: their normalised dot product is 1.5 / 2.5 = 0.6, a shear
// that no scale, rotation and translation can hold.
TEST(Merge, NonUniformScaleOverARotatedChildKeepsTheNull) {
  ExportScene s = scene_with(CompressNode::kMerge, 2);
  SceneNode& h = add_node(s.nodes, 1, "helper", -1, kNodeNull, 2);
  h.scale_frames = {{1, 1, 1}, {1, 2, 1}};  // only the second frame shears
  h.scale = {1, 1, 1};
  SceneNode& c = add_node(s.nodes, 2, "body", 1, kNodeMesh, 2);
  c.rotate_frames = {{0, 0, 45}, {0, 0, 45}};
  c.rotate = {0, 0, 45};
  s.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};

  process_nodes(s);

  ASSERT_EQ(names(s.nodes), (Names{"helper", "body"}));
  EXPECT_EQ(links(s.nodes[1]), (Links{1, -1, -1, -1}));
  expect_vec(s.nodes[1].scale_frames[1], 1, 1, 1);
  expect_vec(s.nodes[1].rotate_frames[1], 0, 0, 45);
  EXPECT_EQ(s.warnings(),
            (Names{"Warning: Node not merged, its scale would shear its children: helper"}));

  // The base transform is checked too.
  ExportScene base = scene_with(CompressNode::kMerge);
  add_node(base.nodes, 1, "helper", -1).scale = {1, 2, 1};
  add_node(base.nodes, 2, "body", 1, kNodeMesh).rotate = {0, 0, 45};
  base.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  process_nodes(base);
  EXPECT_EQ(names(base.nodes), (Names{"helper", "body"}));
  EXPECT_EQ(base.warnings().size(), 1u);
}

TEST(Merge, UniformOrAxisAlignedScalesStillFold) {
  // diag(2, 2, 2) * Rz(45) = Rz(45) * diag(2, 2, 2).
  ExportScene s = scene_with(CompressNode::kMerge);
  SceneNode& h = add_node(s.nodes, 1, "helper", -1);
  h.scale_frames = {{2, 2, 2}};
  h.scale = {2, 2, 2};
  SceneNode& c = add_node(s.nodes, 2, "body", 1, kNodeMesh);
  c.rotate_frames = {{0, 0, 45}};
  c.rotate = {0, 0, 45};
  s.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  process_nodes(s);
  ASSERT_EQ(names(s.nodes), (Names{"body"}));
  expect_vec(s.nodes[0].scale_frames[0], 2, 2, 2);
  expect_vec(s.nodes[0].rotate_frames[0], 0, 0, 45, 1e-4f);
  expect_vec(s.nodes[0].scale, 2, 2, 2);
  EXPECT_TRUE(s.warnings().empty());

  // diag(1, 2, 1) over a child turned by 90 degrees stays axis-aligned:
  // the child's scale becomes (2, 1, 1).
  ExportScene turned = scene_with(CompressNode::kMerge);
  SceneNode& t = add_node(turned.nodes, 1, "helper", -1);
  t.scale_frames = {{1, 2, 1}};
  t.scale = {1, 2, 1};
  SceneNode& b = add_node(turned.nodes, 2, "body", 1, kNodeMesh);
  b.rotate_frames = {{0, 0, 90}};
  b.rotate = {0, 0, 90};
  turned.polygons = {make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  process_nodes(turned);
  ASSERT_EQ(names(turned.nodes), (Names{"body"}));
  expect_vec(turned.nodes[0].scale_frames[0], 2, 1, 1);
  expect_vec(turned.nodes[0].rotate_frames[0], 0, 0, 90, 1e-4f);
  EXPECT_TRUE(turned.warnings().empty());
}

TEST(Merge, FoldsProtectedNullsWithChildrenAndKeepsChildlessOnes) {
  ExportScene s = scene_with(CompressNode::kMerge);
  SceneNode& r = add_node(s.nodes, 1, "holder", -1);
  r.no_cut = 1;
  r.translate_frames = {{0, 0, 5}};
  r.translate = {0, 0, 5};
  add_node(s.nodes, 2, "marker", 1).no_cut = 1;  // childless null
  add_node(s.nodes, 3, "mesh", 1, kNodeMesh);
  s.polygons = {make_set(3, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};

  process_nodes(s);

  // The two children become roots, so a world root takes the holder's place.
  ASSERT_EQ(names(s.nodes), (Names{"world_root", "marker", "mesh"}));
  EXPECT_EQ(links(s.nodes[0]), (Links{-1, 2, -1, -1}));
  EXPECT_EQ(links(s.nodes[1]), (Links{-1000, -1, 3, -1}));
  EXPECT_EQ(links(s.nodes[2]), (Links{-1000, -1, -1, 2}));
  expect_vec(s.nodes[1].translate_frames[0], 0, 0, 5);
  expect_vec(s.nodes[2].translate, 0, 0, 5);
  EXPECT_EQ(s.node_count_before, 3);
}

TEST(Merge, NodesNamedInWeightsAreNotFolded) {
  ExportScene s = scene_with(CompressNode::kMerge);
  add_node(s.nodes, 1, "bone", -1, kNodeJoint);
  add_node(s.nodes, 2, "skin", 1, kNodeMesh);
  PolygonSet set = make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  set.weights = test::single_bone(3, 1);
  s.polygons = {set};
  process_nodes(s);
  EXPECT_EQ(names(s.nodes), (Names{"bone", "skin"}));
}

TEST(Merge, WorldRootOfCullIsFoldedAndAddedAgain) {
  ExportScene s = scene_with(CompressNode::kMerge);
  SceneNode& a = add_node(s.nodes, 1, "a", -1, kNodeMesh);
  a.translate_frames = {{1, 2, 3}};
  add_node(s.nodes, 2, "b", -1, kNodeMesh);
  s.polygons = {make_set(1, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})};
  process_nodes(s);
  ASSERT_EQ(names(s.nodes), (Names{"world_root", "a", "b"}));
  EXPECT_EQ(links(s.nodes[0]), (Links{-1, 1, -1, -1}));
  EXPECT_EQ(links(s.nodes[1]), (Links{-1000, -1, 2, -1}));
  EXPECT_EQ(links(s.nodes[2]), (Links{-1000, -1, -1, 1}));
  expect_vec(s.nodes[1].translate_frames[0], 1, 2, 3);
}

// ---------------------------------------------------------------------------
// Skinned vertices in the node-keeping modes.

TEST(PlaceVertices, MovesOnlyMultiInfluenceVerticesToWorldSpace) {
  ExportScene s = scene_with(CompressNode::kNone);
  add_node(s.nodes, 1, "group", -1).translate = {0, 0, 2};
  add_node(s.nodes, 2, "skin", 1, kNodeMesh).translate = {1, 0, 0};
  PolygonSet set = make_set(2, "m", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  set.weights = {test::influence({{2, 1.0f}}), test::influence({{1, 0.5f}, {2, 0.5f}}),
                 test::influence({{1, 0.5f}, {2, 0.5f}})};
  s.polygons = {set};
  process_nodes(s);

  const PolygonSet& p = s.polygons[0];
  expect_vec(p.positions[0], 0, 0, 0);
  expect_vec(p.positions[1], 2, 0, 2);
  expect_vec(p.positions[2], 1, 1, 2);
  // (2,0,2) x (1,1,2) = (-2,-2,2), normalised.
  const float k = 1.0f / std::sqrt(3.0f);
  expect_vec(p.triangles[0].normal, -k, -k, k);
  expect_vec(p.normals[1], 0, 0, 1);  // vertex normals stay
  expect_vec(p.box_min, 0, 0, 0);
  expect_vec(p.box_max, 2, 1, 2);
  EXPECT_NEAR(p.box_r, 1.5f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Unite.

// Bone "bone" (base at y 2, first frame at y 3), skinned mesh "skin" (x 1)
// and an unskinned child "lamp" turned 90 degrees about z at the first frame.
ExportScene unite_scene(CompressNode mode) {
  ExportScene s = scene_with(mode, 2);
  SceneNode& bone = add_node(s.nodes, 5, "bone", -1, kNodeJoint, 2);
  bone.translate = {0, 2, 0};
  bone.translate_frames = {{0, 3, 0}, {0, 9, 0}};
  SceneNode& skin = add_node(s.nodes, 6, "skin", -1, kNodeMesh, 2);
  skin.translate = {1, 0, 0};
  skin.translate_frames = {{1, 0, 0}, {7, 0, 0}};
  SceneNode& lamp = add_node(s.nodes, 7, "lamp", 6, kNodeMesh, 2);
  lamp.translate_frames = {{0, 0, 1}, {0, 0, 0}};
  lamp.rotate_frames = {{0, 0, 90}, {0, 0, 0}};

  PolygonSet skinned = make_set(6, "m", {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}});
  skinned.normals = {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
  skinned.weights = {test::influence({{5, 1.0f}}), test::influence({{5, 0.5f}, {6, 0.5f}}),
                     test::influence({{6, 1.0f}})};
  PolygonSet plain = make_set(7, "m", {{1, 0, 0}, {0, 1, 0}, {0, 0, 0}});
  plain.normals = {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
  plain.triangles[0].normal = {0, 0, 1};
  set_box(plain);
  s.polygons = {skinned, plain};
  return s;
}

TEST(Skin, FirstFrameAndInverseBindMatrices) {
  ExportScene s = scene_with(CompressNode::kUnite);
  SceneNode& top = add_node(s.nodes, 1, "top", -1, kNodeJoint);
  top.scale = {2, 2, 2};
  top.rotate = {0, 0, 90};
  top.translate = {1, 0, 0};
  top.rotate_frames = {{0, 0, 90}};
  top.translate_frames = {{4, 0, 0}};
  SceneNode& low = add_node(s.nodes, 2, "low", 1, kNodeJoint);
  low.translate = {0, 1, 0};
  low.translate_frames = {{0, 1, 0}};
  skin_to_first_frame(s);

  // First frame: T(4,0,0) Rz(90) T(0,1,0) takes the origin to (4,0,0) + (-1,0,0).
  expect_vec(transform_point(s.nodes[1].world_matrix, {}), 3, 0, 0);
  // Base world of low: T(1,0,0) Rz(90) S(2) T(0,1,0) takes the origin to
  // (1,0,0) + Rz(90) (0,2,0) = (-1,0,0); its inverse takes it back.
  expect_vec(transform_point(s.nodes[1].inverse_bind_matrix, {-1, 0, 0}), 0, 0, 0);
  // (-1,2,0): less (1,0,0), turned by -90 degrees, halved, less (0,1,0).
  expect_vec(transform_point(s.nodes[1].inverse_bind_matrix, {-1, 2, 0}), 1, 0, 0);
  // Rotation parts: Rz(-90) undoes the parent's turn.
  expect_vec(transform_vector(s.nodes[1].inverse_bind_rotation, {0, 1, 0}), 1, 0, 0);
  expect_vec(transform_vector(s.nodes[0].world_rotation, {1, 0, 0}), 0, 1, 0);
}

// Two sets of "lamp" share its arrays; a copy held elsewhere stays unchanged.
TEST(Unite, SetsSharingArraysMoveIntoTheWorldOnce) {
  ExportScene s = unite_scene(CompressNode::kUnite);
  s.polygons.push_back(s.polygons[1]);
  s.polygons.push_back(s.polygons[0]);
  const SharedArray<Vec3> plain_before = s.polygons[1].positions;
  const SharedArray<Vec3> skinned_before = s.polygons[0].positions;
  process_nodes(s);

  const PolygonSet& pl = s.polygons[1];
  const PolygonSet& twin = s.polygons[2];
  EXPECT_TRUE(twin.positions.shares_with(pl.positions));
  EXPECT_TRUE(twin.normals.shares_with(pl.normals));
  expect_vec(twin.positions[0], 1, 1, 1);
  expect_vec(twin.positions[1], 0, 0, 1);
  expect_vec(twin.positions[2], 1, 0, 1);
  expect_vec(twin.normals[0], 0, 1, 0);
  EXPECT_EQ(plain_before, (std::vector<Vec3>{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}));

  // Skinned sets are placed one by one, each into an array of its own.
  const PolygonSet& sk = s.polygons[3];
  expect_vec(sk.positions[0], 1, 3, 0);
  expect_vec(sk.positions[1], 1, 0.5f, 0);
  expect_vec(sk.positions[2], 1, 0, 1);
  EXPECT_EQ(sk.positions, s.polygons[0].positions);
  EXPECT_EQ(skinned_before, (std::vector<Vec3>{{1, 0, 0}, {0, 0, 0}, {0, 0, 1}}));
}

TEST(Unite, BakesEverythingIntoOneWorldRoot) {
  ExportScene s = unite_scene(CompressNode::kUnite);
  process_nodes(s);

  ASSERT_EQ(s.nodes.size(), 1u);
  const SceneNode& r = s.nodes[0];
  EXPECT_EQ(r.name, "world_root");
  EXPECT_EQ(r.id, 0);
  EXPECT_EQ(r.kind, kNodeMesh);
  EXPECT_EQ(links(r), (Links{-1, -1, -1, -1}));
  ASSERT_EQ(r.translate_frames.size(), 2u);
  EXPECT_EQ(r.translate_frames[0], (Vec3{}));
  EXPECT_EQ(r.translate_frames[1], (Vec3{}));
  EXPECT_EQ(r.translate, (Vec3{}));
  EXPECT_EQ(r.visibility_frames, (std::vector<int>{1, 1}));
  EXPECT_EQ(s.node_count_before, 4);

  const PolygonSet& sk = s.polygons[0];
  EXPECT_EQ(sk.node_id, 0);
  EXPECT_TRUE(sk.weights.empty());
  expect_vec(sk.positions[0], 1, 3, 0);     // bone at its first frame
  expect_vec(sk.positions[1], 1, 0.5f, 0);  // half (1,1,0), half (1,0,0)
  expect_vec(sk.positions[2], 1, 0, 1);     // the mesh node at its first frame
  expect_vec(sk.normals[0], 1, 0, 0);
  expect_vec(sk.normals[1], 0, 0, 1);
  // (0,-2.5,0) x (0,-3,1), not normalised.
  expect_vec(sk.triangles[0].normal, -2.5f, 0, 0);
  expect_vec(sk.box_min, 1, 0, 0);
  expect_vec(sk.box_max, 1, 3, 1);

  // lamp's first frame world: T(1,0,0) T(0,0,1) Rz(90).
  const PolygonSet& pl = s.polygons[1];
  EXPECT_EQ(pl.node_id, 0);
  expect_vec(pl.positions[0], 1, 1, 1);
  expect_vec(pl.positions[1], 0, 0, 1);
  expect_vec(pl.positions[2], 1, 0, 1);
  expect_vec(pl.normals[0], 0, 1, 0);
  expect_vec(pl.triangles[0].normal, 0, 0, 1);
  expect_vec(pl.box_min, 0, 0, 1);
  expect_vec(pl.box_max, 1, 1, 1);
  EXPECT_NEAR(pl.box_r, std::sqrt(0.5f), 1e-6f);

  // The survivor's volume spans both sets.
  expect_vec(r.volume_min, 0, 0, 0);
  expect_vec(r.volume_max, 1, 3, 1);
  EXPECT_NEAR(r.volume_r, std::sqrt(2.75f), 1e-5f);
}

TEST(UniteCombine, MergesSetsByMaterialPriorityAndColourPresence) {
  ExportScene s = scene_with(CompressNode::kUniteCombine);
  add_node(s.nodes, 1, "a", -1, kNodeMesh);
  add_node(s.nodes, 2, "b", -1, kNodeMesh);
  auto set = [](int node, const char* mat, std::vector<Vec3> pos) {
    PolygonSet p = make_set(node, mat, std::move(pos), mat);
    set_box(p);
    return p;
  };
  PolygonSet s0 = set(1, "a", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  s0.normals.edit().push_back({0, 0, 1});  // 4 normals
  s0.texcoords.edit().assign(5, TexCoord{});
  s0.morph_weights = {{0.25f}};
  PolygonSet s1 = set(2, "b", {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}});
  PolygonSet s2 = set(2, "a", {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}});
  s2.texcoords.edit().assign(3, TexCoord{});
  PolygonSet s3 = set(1, "a", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  s3.colors.edit().assign(3, VertexColor{1, 2, 3});
  PolygonSet s4 = set(2, "a", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  s4.priority = 1;
  PolygonSet s5 = set(1, "a", {{0, 0, -1}, {2, 0, -1}, {0, 2, -1}});
  s5.texcoords.edit().assign(3, TexCoord{});
  PolygonSet s6 = set(1, "a", {{9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
  s6.deleted = true;  // already merged elsewhere: never taken again
  s.polygons = {s0, s1, s2, s3, s4, s5, s6};

  process_nodes(s);

  const auto& p = s.polygons;
  EXPECT_FALSE(p[0].deleted);
  EXPECT_FALSE(p[1].deleted);
  EXPECT_TRUE(p[2].deleted);
  EXPECT_FALSE(p[3].deleted);  // has colours
  EXPECT_FALSE(p[4].deleted);  // other priority
  EXPECT_TRUE(p[5].deleted);
  ASSERT_EQ(p[0].positions.size(), 9u);
  expect_vec(p[0].positions[3], 0, 0, 2);
  expect_vec(p[0].positions[8], 0, 2, -1);
  EXPECT_EQ(p[0].normals.size(), 10u);
  EXPECT_EQ(p[0].texcoords.size(), 11u);
  EXPECT_TRUE(p[0].colors.empty());
  ASSERT_EQ(p[0].triangles.size(), 3u);
  EXPECT_EQ(p[0].triangles[0].corners[2], (Corner{2, 2, 2, 2}));
  // s2's faces: positions +3, colours +0, texcoords +5, normals +4.
  EXPECT_EQ(p[0].triangles[1].corners[0], (Corner{3, 0, 5, 4}));
  EXPECT_EQ(p[0].triangles[1].corners[1], (Corner{4, 1, 6, 5}));
  // s5's faces: positions +6, texcoords +8, normals +7.
  EXPECT_EQ(p[0].triangles[2].corners[2], (Corner{8, 2, 10, 9}));
  EXPECT_EQ(p[0].node_name, "a");
  EXPECT_EQ(p[0].node_id, 0);
  expect_vec(p[0].box_min, 0, 0, -1);
  expect_vec(p[0].box_max, 2, 2, 2);
  EXPECT_NEAR(p[0].box_r, std::sqrt(4.25f), 1e-6f);
  EXPECT_EQ(p[0].morph_weights, (std::vector<std::vector<float>>{{0.25f}}));
  EXPECT_EQ(p[6].positions.size(), 3u);

  ASSERT_EQ(s.nodes.size(), 1u);
  expect_vec(s.nodes[0].volume_min, 0, 0, -1);
  expect_vec(s.nodes[0].volume_max, 6, 6, 5);
}

// ---------------------------------------------------------------------------
// Volumes and boxes.

TEST(NodeVolumes, SpanTheLiveSetsOfEachMeshNode) {
  ExportScene s = scene_with(CompressNode::kNone);
  add_node(s.nodes, 1, "mesh", -1, kNodeMesh);
  SceneNode& empty = add_node(s.nodes, 2, "empty_mesh", 1, kNodeMesh);
  empty.volume_max = {2, 0, 0};
  SceneNode& null = add_node(s.nodes, 3, "null", 1);
  null.volume_max = {4, 0, 0};
  null.volume_r = 7;
  PolygonSet a, b, gone;
  a.node_id = b.node_id = gone.node_id = 1;
  a.box_min = {0, 0, 0};
  a.box_max = {2, 2, 0};
  b.box_min = {-1, 0, 0};
  b.box_max = {0, 1, 4};
  gone.box_min = {-100, -100, -100};
  gone.box_max = {100, 100, 100};
  gone.deleted = true;
  s.polygons = {a, gone, b};
  compute_node_volumes(s);
  expect_vec(s.nodes[0].volume_min, -1, 0, 0);
  expect_vec(s.nodes[0].volume_max, 2, 2, 4);
  EXPECT_NEAR(s.nodes[0].volume_r, std::sqrt(7.25f), 1e-6f);
  EXPECT_NEAR(s.nodes[1].volume_r, 1.0f, 1e-6f);  // kept box, radius recomputed
  EXPECT_EQ(s.nodes[2].volume_r, 7.0f);           // other kinds are left alone
}

TEST(Decompose, MirroredAndTinyAngles) {
  const Decomposed d = decompose(scale_matrix({2, 3, -4}));
  EXPECT_EQ(d.scale, (Vec3{2, 3, -4}));
  EXPECT_EQ(d.rotate, (Vec3{}));
  const Decomposed t = decompose(local_matrix({1, 1, 1}, {0.000001f, 30, 0}, {1, 2, 3}));
  EXPECT_EQ(t.rotate.x, 0.0f);
  EXPECT_FALSE(std::signbit(t.rotate.z));
  EXPECT_NEAR(t.rotate.y, 30.0f, 1e-4f);
  EXPECT_EQ(t.translate, (Vec3{1, 2, 3}));
}

}  // namespace
}  // namespace kavro::process
