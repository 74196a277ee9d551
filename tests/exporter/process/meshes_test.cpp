// Set boxes, magnify and position scaling.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "exporter/process/passes.h"
#include "host/recording_host.h"
#include "tests/exporter/process/builders.h"

namespace kavro::process {
namespace {

using test::make_set;

TEST(SetBox, CountsOnlyPositionsThatFacesUse) {
  PolygonSet s = make_set(1, "m", {{0, 0, 0}, {1, 2, 3}, {-1, 0, 5}, {100, 100, 100}});
  ASSERT_EQ(s.triangles.size(), 1u);  // the fourth position is unused
  set_box(s);
  EXPECT_EQ(s.box_min, (Vec3{-1, 0, 0}));
  EXPECT_EQ(s.box_max, (Vec3{1, 2, 5}));
  EXPECT_FLOAT_EQ(s.box_r, std::sqrt(8.25f));  // |(1,2,5) - (0,1,2.5)|

  s.quads.push_back(test::quad(0, 1, 2, 3));  // the fourth corner counts
  set_box(s);
  EXPECT_EQ(s.box_max, (Vec3{100, 100, 100}));
}

TEST(SetBox, SetWithoutFacesKeepsTheExtremes) {
  PolygonSet s = make_set(1, "m", {{1, 1, 1}});
  set_box(s);
  EXPECT_EQ(s.box_min, (Vec3{kFloatMax, kFloatMax, kFloatMax}));
  EXPECT_EQ(s.box_max, (Vec3{-kFloatMax, -kFloatMax, -kFloatMax}));
}

TEST(Magnify, ScalesPositionsBoxesTranslationsAndVolumes) {
  ExportScene s;
  s.magnify = 2;
  PolygonSet set = make_set(1, "m", {{1, 2, 3}, {-4, 0, 0}, {0, 0, 5}});
  set_box(set);
  const float r = set.box_r;
  PolygonSet gone = make_set(1, "m", {{1, 1, 1}});
  gone.deleted = true;
  s.polygons = {set, gone};
  SceneNode n = test::make_node(1, "n", kNodeMesh, 2);
  n.translate = {1, 1, 1};
  n.translate_frames = {{1, 0, 0}, {0, 2, 0}};
  n.scale_frames = {{3, 3, 3}, {3, 3, 3}};
  n.rotate = {0, 45, 0};
  n.volume_min = {-1, -1, -1};
  n.volume_max = {1, 1, 1};
  n.volume_r = 2;
  s.nodes = {n};

  magnify_scene(s);

  const PolygonSet& p = s.polygons[0];
  EXPECT_EQ(p.positions[0], (Vec3{2, 4, 6}));
  EXPECT_EQ(p.positions[1], (Vec3{-8, 0, 0}));
  EXPECT_EQ(p.normals[0], (Vec3{0, 0, 1}));
  EXPECT_EQ(p.box_min, (Vec3{-8, 0, 0}));
  EXPECT_EQ(p.box_max, (Vec3{2, 4, 10}));
  EXPECT_FLOAT_EQ(p.box_r, 2 * r);
  EXPECT_EQ(s.polygons[1].positions[0], (Vec3{2, 2, 2}));  // deleted sets too
  const SceneNode& m = s.nodes[0];
  EXPECT_EQ(m.translate, (Vec3{2, 2, 2}));
  EXPECT_EQ(m.translate_frames[1], (Vec3{0, 4, 0}));
  EXPECT_EQ(m.scale_frames[0], (Vec3{3, 3, 3}));
  EXPECT_EQ(m.rotate, (Vec3{0, 45, 0}));
  EXPECT_EQ(m.volume_max, (Vec3{2, 2, 2}));
  EXPECT_EQ(m.volume_r, 4.0f);

  // The largest coordinate went from 5 to 10: one halving now.
  ASSERT_TRUE(scale_positions(s));
  EXPECT_EQ(s.pos_scale, 1);
}

// ---------------------------------------------------------------------------
// Position scaling.

ExportScene one_set(std::vector<Vec3> positions) {
  ExportScene s;
  s.polygons = {make_set(1, "m", std::move(positions), "body")};
  return s;
}

TEST(ScalePositions, HalvesUntilEveryCoordinateIsInRange) {
  ExportScene a = one_set({{7.99f, 0, 0}});
  ASSERT_TRUE(scale_positions(a));
  EXPECT_EQ(a.pos_scale, 0);
  EXPECT_EQ(a.polygons[0].positions[0].x, 32727.0f / 4096.0f);  // 7.99 * 4096 = 32727.04

  ExportScene b = one_set({{0, 8.0f, 0}});
  ASSERT_TRUE(scale_positions(b));
  EXPECT_EQ(b.pos_scale, 1);
  EXPECT_EQ(b.polygons[0].positions[0].y, 4.0f);

  ExportScene c = one_set({{0, 0, -8.0f}});
  ASSERT_TRUE(scale_positions(c));
  EXPECT_EQ(c.pos_scale, 0);
  EXPECT_EQ(c.polygons[0].positions[0].z, -8.0f);

  ExportScene d = one_set({{-8.001f, 100.0f, 0}});
  ASSERT_TRUE(scale_positions(d));
  EXPECT_EQ(d.pos_scale, 4);  // 100 / 16 = 6.25
  EXPECT_EQ(d.polygons[0].positions[0].y, 6.25f);
}

TEST(ScalePositions, ValuesThatRoundUpToEightAreHalvedOnceMore) {
  const float tiny = 0.6f / 4096.0f;
  ExportScene s = one_set({{7.99995f, tiny, 0}});
  ASSERT_TRUE(scale_positions(s));
  EXPECT_EQ(s.pos_scale, 1);
  // 7.99995 / 2 rounds to 4; tiny / 2 is 0.3/4096 and rounds to 0 (rounding
  // first and halving after would have kept 1/4096).
  EXPECT_EQ(s.polygons[0].positions[0].x, 4.0f);
  EXPECT_EQ(s.polygons[0].positions[0].y, 0.0f);
  EXPECT_EQ(s.polygons[0].unscaled_positions[0], (Vec3{7.99995f, tiny, 0}));

  ExportScene t = one_set({{15.99995f, 0, 0}});
  ASSERT_TRUE(scale_positions(t));
  EXPECT_EQ(t.pos_scale, 2);
  EXPECT_EQ(t.polygons[0].positions[0].x, 4.0f);
}

TEST(ScalePositions, WrittenPositionsStayInsideTheFixedPointRange) {
  for (float v : {7.9998f, 7.99988f, 7.99993f, 7.99999f, 15.9999f, 63.9999f, -7.99999f, -8.0f,
                  -15.99999f, 1e30f}) {
    ExportScene s = one_set({{v, -v, 0}});
    ASSERT_TRUE(scale_positions(s)) << v;
    for (const Vec3& p : s.polygons[0].positions) {
      for (float c : {p.x, p.y, p.z}) {
        EXPECT_GE(c, -8.0f) << v;
        EXPECT_LE(c, 8.0f - 1.0f / 4096.0f) << v;
        EXPECT_FALSE(std::signbit(c) && c == 0.0f) << v;  // never -0
      }
    }
  }
}

TEST(ScalePositions, DeletedSetsAreRoundedButNeitherMeasuredNorHalved) {
  ExportScene s = one_set({{9, 0, 0}});
  PolygonSet gone = make_set(1, "m", {{100.00001f, -0.00001f, 0}});
  gone.deleted = true;
  s.polygons.push_back(gone);
  ASSERT_TRUE(scale_positions(s));
  EXPECT_EQ(s.pos_scale, 1);
  EXPECT_EQ(s.polygons[0].positions[0].x, 4.5f);
  EXPECT_EQ(s.polygons[1].positions[0].x, 100.0f);
  EXPECT_EQ(s.polygons[1].positions[0].y, 0.0f);
  EXPECT_FALSE(std::signbit(s.polygons[1].positions[0].y));
  EXPECT_EQ(s.polygons[1].unscaled_positions[0].x, 100.00001f);
}

TEST(ScalePositions, RefusesCoordinatesThatNeverComeIntoRange) {
  for (float bad : {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()}) {
    host::RecordingHost host;
    ExportScene s = one_set({{1, 1, 1}});
    s.polygons.push_back(make_set(2, "m", {{0, bad, 0}}, "broken"));
    s.host_interface = &host;
    s.pos_scale = -5;
    EXPECT_FALSE(scale_positions(s));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Position out of range in polygon set broken.");
    EXPECT_EQ(host.messages[0].caption, "Node Export Error");
    EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kError);
    EXPECT_EQ(s.pos_scale, -5);
  }
}

TEST(ScalePositions, DeletedSetsAreNotRefused) {
  host::RecordingHost host;
  ExportScene s = one_set({{1, 1, 1}});
  PolygonSet gone = make_set(2, "m", {{0, std::numeric_limits<float>::infinity(), 0}});
  gone.deleted = true;
  s.polygons.push_back(gone);
  s.host_interface = &host;
  EXPECT_TRUE(scale_positions(s));
  EXPECT_EQ(s.pos_scale, 0);
  EXPECT_TRUE(host.messages.empty());
}

// ---------------------------------------------------------------------------
// Sets sharing their node's vertex arrays.

// Three sets of one node holding its arrays, the last one deleted, and a
// copy of the positions held elsewhere.
struct SharedSets {
  ExportScene scene;
  SharedArray<Vec3> elsewhere;

  SharedSets() {
    PolygonSet a = make_set(1, "m", {{0, 0, 0}, {16, 2, -1}, {1, 1, 1}}, "a");
    PolygonSet b = a;
    b.node_name = "b";
    PolygonSet gone = a;
    gone.node_name = "gone";
    gone.deleted = true;
    elsewhere = a.positions;
    scene.polygons = {a, b, gone};
  }
  const PolygonSet& set(std::size_t i) const { return scene.polygons[i]; }
};

TEST(SharedVertexArrays, MagnifyScalesEachSharedArrayOnce) {
  SharedSets s;
  s.scene.magnify = 2;
  magnify_scene(s.scene);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(s.set(i).positions, (std::vector<Vec3>{{0, 0, 0}, {32, 4, -2}, {2, 2, 2}})) << i;
  }
  EXPECT_TRUE(s.set(1).positions.shares_with(s.set(0).positions));
  EXPECT_TRUE(s.set(2).positions.shares_with(s.set(0).positions));
  EXPECT_EQ(s.elsewhere, (std::vector<Vec3>{{0, 0, 0}, {16, 2, -1}, {1, 1, 1}}));
}

TEST(SharedVertexArrays, ScalingHalvesLiveSetsAndOnlyRoundsDeletedOnes) {
  SharedSets s;
  ASSERT_TRUE(scale_positions(s.scene));
  // 16 is halved twice to come below 8.
  EXPECT_EQ(s.scene.pos_scale, 2);
  const std::vector<Vec3> halved{{0, 0, 0}, {4, 0.5f, -0.25f}, {0.25f, 0.25f, 0.25f}};
  const std::vector<Vec3> original{{0, 0, 0}, {16, 2, -1}, {1, 1, 1}};
  EXPECT_EQ(s.set(0).positions, halved);
  EXPECT_EQ(s.set(1).positions, halved);
  EXPECT_EQ(s.set(2).positions, original);
  EXPECT_TRUE(s.set(1).positions.shares_with(s.set(0).positions));
  EXPECT_FALSE(s.set(2).positions.shares_with(s.set(0).positions));
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(s.set(i).unscaled_positions, original) << i;
  EXPECT_TRUE(s.set(2).unscaled_positions.shares_with(s.set(0).unscaled_positions));
  EXPECT_EQ(s.elsewhere, original);
}

TEST(SharedVertexArrays, AppendingToOneSetLeavesTheOthersAlone) {
  SharedSets s;
  PolygonSet& a = s.scene.polygons[0];
  const PolygonSet extra = make_set(1, "m", {{5, 5, 5}, {6, 6, 6}, {7, 7, 7}});
  reserve_for_appends(a, {&extra});
  append_set(a, extra, false);
  EXPECT_EQ(a.positions.size(), 6u);
  EXPECT_EQ(a.normals.size(), 6u);
  EXPECT_EQ(a.positions[3], (Vec3{5, 5, 5}));
  EXPECT_EQ(s.set(1).positions.size(), 3u);
  EXPECT_EQ(s.set(1).normals.size(), 3u);
  EXPECT_TRUE(s.set(1).positions.shares_with(s.set(2).positions));

  // A set nothing fits after keeps sharing.
  PolygonSet& b = s.scene.polygons[1];
  PolygonSet huge = extra;
  huge.positions = std::vector<Vec3>(65536);
  reserve_for_appends(b, {&huge});
  EXPECT_TRUE(b.positions.shares_with(s.set(2).positions));
}

}  // namespace
}  // namespace kavro::process
