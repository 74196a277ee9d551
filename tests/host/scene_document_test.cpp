// The scene document: loading and refusing documents, CP932 names, tracks,
// the host math and the host-shaped views over a document.
#include "host/scene_document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/cp932.h"
#include "host/document_views.h"
#include "host/max_math.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using max::Matrix3;
using max::Point3;

std::string doc_with_nodes(const std::string& nodes, const std::string& extra = "") {
  return R"({"format":"kavro-scene","version":1,)" + extra + R"("nodes":[)" + nodes + "]}";
}

// The error of a document that must be refused.
std::string refusal(const std::string& text) {
  doc::LoadResult r = doc::parse_scene_document(text, "t.kscene");
  EXPECT_FALSE(r.ok);
  return r.error;
}

doc::SceneDocument parse(const std::string& text) {
  doc::LoadResult r = doc::parse_scene_document(text, "t.kscene");
  EXPECT_TRUE(r.ok) << r.error;
  return std::move(r.document);
}

void expect_near(Point3 a, Point3 b, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(Cp932, ConvertsJapaneseAndRefusesWhatItCannotHold) {
  host::Cp932Result r = host::utf8_to_cp932("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88_1");  // テスト_1
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.text, "\x83\x65\x83\x58\x83\x67_1");
  host::Cp932Result emoji = host::utf8_to_cp932("a\xF0\x9F\x98\x80");  // U+1F600
  EXPECT_FALSE(emoji.ok);
  EXPECT_NE(emoji.error.find("U+1F600"), std::string::npos) << emoji.error;
  EXPECT_FALSE(host::utf8_to_cp932("\xC3").ok);      // cut short
  EXPECT_FALSE(host::utf8_to_cp932("\xC0\xAF").ok);  // overlong
}

TEST(SceneDocumentLoad, ReadsNodesMeshesAndDefaults) {
  doc::SceneDocument d = parse(doc_with_nodes(
      R"({"id":7,"name":"Box","parent":null,"hidden":true,"user_properties":{"Kvs_billboard":"Billboard","Kvs_no_cut":true},
          "object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"texture_vertices":[[0,0],[1,0],[0,1]],
          "faces":[[0,1,2]]}}},
         {"id":8,"name":"Kid","parent":7})",
      R"("animation_range":[0,30],"ticks_per_frame":80,"selection":[8],)"));
  EXPECT_EQ(d.file_name, "t.kscene");
  EXPECT_EQ(d.ticks_per_frame, 80);
  EXPECT_EQ(d.end_frame, 30);
  ASSERT_EQ(d.nodes.size(), 2u);
  const doc::Node& box = d.nodes[0];
  EXPECT_TRUE(box.hidden);
  ASSERT_EQ(box.user_properties.size(), 2u);
  const doc::Mesh& m = box.object.mesh;
  ASSERT_EQ(m.faces.size(), 1u);
  // Omitted texture and normal indices follow the vertex indices; normals are
  // computed (the face lies in the XY plane, facing +Z).
  EXPECT_EQ(m.faces[0].t, (std::array<int, 3>{0, 1, 2}));
  EXPECT_EQ(m.faces[0].n, (std::array<int, 3>{0, 1, 2}));
  expect_near(m.normals[0], {0, 0, 1});
  EXPECT_EQ(d.nodes[1].parent, 7);
  EXPECT_EQ(d.selection, std::vector<int>{8});
}

TEST(SceneDocumentLoad, RefusesBadDocumentsNamingFileAndPath) {
  EXPECT_NE(refusal("{\"format\":").find("t.kscene: not valid JSON"), std::string::npos);
  EXPECT_NE(refusal("{}").find("missing field \"format\""), std::string::npos);
  EXPECT_NE(refusal(R"({"format":"kavro-scene","version":2})").find("version 2 is not supported"),
            std::string::npos);
  EXPECT_EQ(refusal(doc_with_nodes(R"({"id":1,"name":5})")),
            "t.kscene, at /nodes/0/name: expected a string, found a number");
  EXPECT_EQ(refusal(doc_with_nodes(R"({"id":1,"name":"a","colour":1})")),
            "t.kscene, at /nodes/0/colour: unknown field \"colour\"");
  EXPECT_EQ(
      refusal(doc_with_nodes(
          R"({"id":1,"name":"a","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[{"v":[0,1,9]}]}}})")),
      "t.kscene, at /nodes/0/object/mesh/faces/0/v/2: vertex index 9 is out of range (the mesh "
      "has 3)");
  EXPECT_EQ(refusal(doc_with_nodes(R"({"id":1,"name":"a"},{"id":1,"name":"b"})")),
            "t.kscene, at /nodes/1/id: another node has the id 1");
  EXPECT_NE(
      refusal(doc_with_nodes(R"({"id":1,"name":"a","parent":2},{"id":2,"name":"b","parent":1})"))
          .find("cycle"),
      std::string::npos);
  EXPECT_NE(refusal(doc_with_nodes(R"({"id":1,"name":"a","parent":3})"))
                .find("/nodes/0/parent: no node has the id 3"),
            std::string::npos);
  EXPECT_NE(refusal(doc_with_nodes(R"({"id":1,"name":"a","transform":{"position":[1e400,0,0]}})"))
                .find("number overflow"),
            std::string::npos);
  EXPECT_NE(refusal(doc_with_nodes(R"({"id":1,"name":"\ud83d\ude00"})")).find("U+1F600"),
            std::string::npos);
  EXPECT_NE(
      refusal(doc_with_nodes("", R"("animation_range":[0,100000000],)")).find("/animation_range"),
      std::string::npos);
  std::string many;
  for (int i = 0; i < 300; ++i)
    many += (i ? "," : "") + std::string("{\"id\":") + std::to_string(i) + ",\"name\":\"n\"}";
  EXPECT_NE(refusal(doc_with_nodes(many, R"("animation_range":[0,99999],)"))
                .find("shorten the animation range"),
            std::string::npos);
  EXPECT_NE(refusal(std::string(200, '[') + std::string(200, ']')).find("nested"),
            std::string::npos);
  // Keys out of order, skin bone index beyond the bone list.
  EXPECT_NE(
      refusal(
          doc_with_nodes(
              R"({"id":1,"name":"a","visibility":{"keys":[{"frame":5,"value":1},{"frame":5,"value":0}]}})"))
          .find("/nodes/0/visibility/keys/1/frame: key frames must ascend"),
      std::string::npos);
  EXPECT_NE(
      refusal(doc_with_nodes(
                  R"({"id":1,"name":"a","object":{"class":"mesh","mesh":{"vertices":[[0,0,0]]},
                    "modifiers":[{"type":"skin","bones":[1],"weights":[[[1,1.0]]]}]}})"))
          .find("/weights/0/0/0: bone index 1 is out of range"),
      std::string::npos);
}

// Numbers are bounded where the exporter's single-precision arithmetic stays
// finite: squares and products of two values still fit.
TEST(SceneDocumentLoad, CoordinatesBeyondTheBoundAreRefused) {
  auto mesh_at = [](const std::string& far) {
    return doc_with_nodes(
        R"({"id":1,"name":"a","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[)" + far +
        R"(,0,0],[0,)" + far + R"(,0]],"faces":[[0,1,2]]}}})");
  };
  EXPECT_EQ(refusal(mesh_at("1e29")),
            "t.kscene, at /nodes/0/object/mesh/vertices/1/0: the number is too large (values "
            "lie within -1e15 and 1e15)");
  EXPECT_EQ(refusal(mesh_at("-1.0000001e15")).find("/vertices/1/0: the number is too large"),
            std::string("t.kscene, at /nodes/0/object/mesh").size());
  EXPECT_NE(refusal(doc_with_nodes(R"({"id":1,"name":"a","transform":{"position":[0,2e15,0]}})"))
                .find("/nodes/0/transform/position/1: the number is too large"),
            std::string::npos);
  EXPECT_NE(
      refusal(
          doc_with_nodes(
              R"({"id":1,"name":"a","transform":{"scale":{"keys":[{"frame":0,"value":[1,1,-5e20]}]}}})"))
          .find("/nodes/0/transform/scale/keys/0/value/2: the number is too large"),
      std::string::npos);

  // At the bound the computed normals are still unit vectors, not zero.
  doc::SceneDocument d = parse(mesh_at("1e15"));
  const doc::Mesh& m = d.nodes[0].object.mesh;
  ASSERT_EQ(m.normals.size(), 3u);
  for (const Point3& n : m.normals) expect_near(n, {0, 0, 1});
}

TEST(SceneDocumentLoad, RefusesInconsistentObjects) {
  auto object = [](const std::string& o) {
    return doc_with_nodes(R"({"id":1,"name":"a","object":)" + o + "}");
  };
  EXPECT_EQ(refusal(object(R"({"class":"camera","camera":{"target":9}})")),
            "t.kscene, at /nodes/0/object/camera/target: no node has the id 9");
  EXPECT_EQ(refusal(object(R"({"class":"helper","mesh":{}})")),
            "t.kscene, at /nodes/0/object/mesh: an object of this class has no mesh");
  EXPECT_NE(refusal(object(R"({"class":"mesh","mesh":{"vertices":[[0,0,0]]},
                               "modifiers":[{"type":"skin","bones":[1],"weights":[[[0,1]],[[0,1]]]}]})"))
                .find("/weights: the skin lists 2 vertices but the mesh has 1"),
            std::string::npos);
  std::string channels;
  for (int i = 0; i < 101; ++i) channels += i ? ",0" : "0";
  EXPECT_NE(refusal(object(R"({"class":"mesh","modifiers":[{"type":"morpher","channels":[)" +
                           channels + "]}]}"))
                .find("at most 100 channels"),
            std::string::npos);
  EXPECT_NE(refusal(doc_with_nodes(R"({"id":1,"name":"a","transform":{"rotation":[0,0,0,0]}})"))
                .find("must not be zero"),
            std::string::npos);
  EXPECT_NE(refusal(object(R"({"class":"sphere"})")).find("\"sphere\" is not one of"),
            std::string::npos);
  // A quaternion is normalised; Euler angles give the same rotation.
  doc::SceneDocument d = parse(doc_with_nodes(
      R"({"id":1,"name":"a","transform":{"rotation":[0,0,2,2]}},{"id":2,"name":"b","transform":{"rotation":[0,0,90]}})"));
  max::Quat q = d.nodes[0].transform.rotation.value, e = d.nodes[1].transform.rotation.value;
  EXPECT_NEAR(q.z, 0.7071068f, 1e-6);
  EXPECT_NEAR(q.w, 0.7071068f, 1e-6);
  EXPECT_NEAR(e.z, q.z, 1e-6);
  EXPECT_NEAR(e.w, q.w, 1e-6);
}

TEST(SceneDocumentLoad, DeepHierarchiesAreRefusedNotRecursed) {
  std::string nodes;
  for (int i = 0; i <= doc::kMaxHierarchyDepth + 1; ++i) {
    if (i) nodes += ",";
    nodes += "{\"id\":" + std::to_string(i) + ",\"name\":\"n\"" +
             (i ? ",\"parent\":" + std::to_string(i - 1) : std::string()) + "}";
  }
  EXPECT_NE(refusal(doc_with_nodes(nodes)).find("deeper than"), std::string::npos);
}

TEST(Tracks, InterpolateLinearlyAndHoldOutside) {
  doc::FloatTrack t;
  t.keys = {{0, 0.0f}, {10, 1.0f}};
  EXPECT_FLOAT_EQ(doc::evaluate(t, 5), 0.5f);
  EXPECT_FLOAT_EQ(doc::evaluate(t, -3), 0.0f);
  EXPECT_FLOAT_EQ(doc::evaluate(t, 12), 1.0f);
  // A frame that is no number takes the first key instead of reading past the last.
  EXPECT_FLOAT_EQ(doc::evaluate(t, std::nan("")), 0.0f);
  doc::PointTrack p;
  p.keys = {{0, {1, 2, 3}}, {10, {4, 5, 6}}};
  doc::TrackCursor cursor;
  EXPECT_FLOAT_EQ(doc::evaluate(p, 5, &cursor).x, 2.5f);
  EXPECT_FLOAT_EQ(doc::evaluate(p, std::nan(""), &cursor).z, 3.0f);
  doc::RotationTrack r;
  float a0[3] = {0, 0, 0}, a1[3] = {0, 0, max::kHalfPi};
  r.keys = {{0, max::EulerToQuat(a0)}, {10, max::EulerToQuat(a1)}};
  float e[3];
  max::QuatToEuler(doc::evaluate(r, 5), e);
  EXPECT_NEAR(e[2], max::kHalfPi / 2, 1e-5);
}

TEST(HostMath, RowVectorConventions) {
  // Counter-clockwise: a quarter turn about X takes Y to Z, about Z takes X to Y.
  expect_near(Point3{0, 1, 0} * max::RotateXMatrix(max::kHalfPi), {0, 0, 1});
  expect_near(Point3{1, 0, 0} * max::RotateZMatrix(max::kHalfPi), {0, 1, 0});
  expect_near(Point3{0, 0, 1} * max::RotateYMatrix(max::kHalfPi), {1, 0, 0});
  // p * A * B applies A first.
  Matrix3 m = max::ScaleMatrix({2, 2, 2}) * max::TransMatrix({1, 0, 0});
  expect_near(Point3{1, 1, 1} * m, {3, 2, 2});
  expect_near(Point3{3, 2, 2} * max::Inverse(m), {1, 1, 1});
}

TEST(HostMath, DecompAffineAndQuatToEulerRoundTrip) {
  float angles[3] = {0.3f, -0.5f, 1.1f};
  Matrix3 m = max::ScaleMatrix({2, 3, 0.5f}) * max::RotateXMatrix(angles[0]) *
              max::RotateYMatrix(angles[1]) * max::RotateZMatrix(angles[2]) *
              max::TransMatrix({4, 5, 6});
  max::AffineParts ap;
  max::decomp_affine(m, &ap);
  EXPECT_EQ(ap.f, 1.0f);
  expect_near(ap.k, {2, 3, 0.5f});
  expect_near(ap.t, {4, 5, 6});
  float back[3];
  max::QuatToEuler(ap.q, back);
  EXPECT_NEAR(back[0], angles[0], 1e-5);
  EXPECT_NEAR(back[1], angles[1], 1e-5);
  EXPECT_NEAR(back[2], angles[2], 1e-5);
  // A mirror: the determinant's sign and the scale of the negated matrix.
  max::decomp_affine(max::ScaleMatrix({-1, 1, 1}), &ap);
  EXPECT_EQ(ap.f, -1.0f);
  expect_near(ap.k, {1, 1, 1});
}

TEST(DocumentViews, IGameHandsOutYUpAndClassicCallsStayZUp) {
  doc::SceneDocument d = parse(doc_with_nodes(
      R"({"id":1,"name":"Arm","transform":{"position":[1,2,3]}},
         {"id":2,"name":"Hand","parent":1,"transform":{"position":[0,0,2]},
          "object":{"class":"mesh","offset":{"position":[0,0,5]},"mesh":{"vertices":[[1,2,3]]}}})"));
  auto host = max::make_document_host(std::move(d));
  max::IGameScene& ig = host->GetIGameInterface();
  ig.InitialiseIGame();
  ASSERT_EQ(ig.GetTopLevelNodeCount(), 1);
  max::IGameNode* arm = ig.GetTopLevelNode(0);
  expect_near(arm->GetWorldTM(0).GetTrans(), {1, 3, -2});
  expect_near(arm->GetMaxNode()->GetNodeTM(0).GetTrans(), {1, 2, 3});
  max::IGameNode* hand = arm->GetNodeChild(0);
  expect_near(hand->GetMaxNode()->GetParentTM(0).GetTrans(), {1, 2, 3});
  expect_near(hand->GetWorldTM(0).GetTrans(), {1, 5, -2});
  max::IGameObject* obj = hand->GetIGameObject();
  ASSERT_TRUE(obj->InitializeData());
  expect_near(obj->GetVertex(0, true), {1, 3, -2});
  // World space includes the offset and both nodes: (1,2,3)+(0,0,5)+(0,0,2)+(1,2,3).
  expect_near(obj->GetVertex(0, false), {2, 13, -4});
  EXPECT_EQ(ig.GetTotalNodeCount(), 2);
}

// The world transform of a node the plain way: its local matrix times its
// parent's world transform, walking up to the root every time (the scene
// root's transform is the identity).
Matrix3 plain_node_tm(const doc::SceneDocument& d, std::size_t i, double frame) {
  const doc::Node& n = d.nodes[i];
  Matrix3 local = max::ScaleMatrix(doc::evaluate(n.transform.scale, frame)) *
                  max::QuatToMatrix(doc::evaluate(n.transform.rotation, frame)) *
                  max::TransMatrix(doc::evaluate(n.transform.position, frame));
  if (n.parent == doc::kNone) return local * Matrix3();
  for (std::size_t p = 0; p < d.nodes.size(); ++p) {
    if (d.nodes[p].id == n.parent) return local * plain_node_tm(d, p, frame);
  }
  return local;
}

TEST(DocumentViews, KeptFrameTransformsEqualThePlainWalk) {
  // A chain of six animated nodes with a branch; frames asked node by node
  // (as sampling does), in reverse, between frames and before the first.
  doc::SceneDocument d;
  d.ticks_per_frame = 160;
  for (int i = 0; i < 7; ++i) {
    doc::Node n;
    n.id = i + 1;
    n.name = "n" + std::to_string(i);
    n.parent = i == 0 ? doc::kNone : (i == 6 ? 3 : i);
    float f = static_cast<float>(i);
    n.transform.position.keys = {{0, {f, 1, 0}}, {9, {0, f * 0.5f, 2}}};
    float a0[3] = {0.1f * f, 0, 0.3f}, a1[3] = {0, 0.7f, -0.2f * f};
    n.transform.rotation.keys = {{0, max::EulerToQuat(a0)}, {9, max::EulerToQuat(a1)}};
    n.transform.scale.keys = {{0, {1, 1, 1}}, {9, {1.5f, 0.5f, 1}}};
    d.nodes.push_back(n);
  }
  const doc::SceneDocument copy = d;
  auto host = max::make_document_host(std::move(d));
  max::Interface& ip = host->GetCOREInterface();
  std::vector<const max::INode*> nodes;
  for (std::size_t i = 0; i < copy.nodes.size(); ++i) {
    ASSERT_TRUE(host->select_by_names({copy.nodes[i].name}));
    nodes.push_back(ip.GetSelNode(0));
  }
  auto expect_same = [&](std::size_t i, max::TimeValue t) {
    Matrix3 got = nodes[i]->GetNodeTM(t);
    Matrix3 want = plain_node_tm(copy, i, static_cast<double>(t) / 160.0);
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(got[r].x, want[r].x) << "node " << i << " time " << t;
      EXPECT_EQ(got[r].y, want[r].y) << "node " << i << " time " << t;
      EXPECT_EQ(got[r].z, want[r].z) << "node " << i << " time " << t;
    }
  };
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (int f = 2; f < 12; ++f) expect_same(i, f * 160);
  }
  for (std::size_t i = nodes.size(); i-- > 0;) {
    for (int f = 12; f-- > -3;) expect_same(i, f * 160);
    expect_same(i, 3 * 160 + 40);
    expect_same(i, max::TIME_NegInfinity);
  }
}

TEST(DocumentViews, LocalMatricesEqualTheProductsForZerosTinyAndNonFiniteParts) {
  // Root nodes with constant parts, each beside a child: scales and
  // positions with zeros of both signs, subnormal scales whose products
  // underflow, negative, infinite and NaN parts, rotations with exact and
  // inexact entries. Compared bit for bit, zeros' signs included.
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const Point3 scales[] = {{1, 1, 1},         {-0.0f, 0, 2},         {1e-40f, -1e-40f, 1},
                           {-2, 0.5f, -0.0f}, {std::nanf(""), 1, 1}, {kInf, 1, 1}};
  const Point3 positions[] = {
      {0, -0.0f, 3}, {-0.0f, -0.0f, -0.0f}, {1e-45f, -1, 0}, {kInf, 0, 0}, {0, std::nanf(""), 0}};
  const float angles[][3] = {{0, 0, 0}, {0.3f, -1.2f, 2}, {max::kHalfPi, 0, 0}, {1e-7f, 0, 3.1f}};
  doc::SceneDocument d;
  for (const Point3& s : scales) {
    for (const Point3& p : positions) {
      for (const auto& a : angles) {
        doc::Node n;
        n.id = static_cast<int>(d.nodes.size()) + 1;
        n.name = "n" + std::to_string(n.id);
        n.transform.scale.value = s;
        n.transform.position.value = p;
        n.transform.rotation.value = max::EulerToQuat(a);
        d.nodes.push_back(n);
        doc::Node child = n;
        child.id = n.id + 1;
        child.name = "n" + std::to_string(child.id);
        child.parent = n.id;
        child.transform.scale.value = {1, -0.0f, 2};
        child.transform.position.value = {-0.0f, 1, 0};
        d.nodes.push_back(child);
      }
    }
  }
  const doc::SceneDocument copy = d;
  auto host = max::make_document_host(std::move(d));
  auto bits = [](float v) { return std::isnan(v) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(v); };
  for (std::size_t i = 0; i < copy.nodes.size(); ++i) {
    ASSERT_TRUE(host->select_by_names({copy.nodes[i].name}));
    const Matrix3 got = host->GetCOREInterface().GetSelNode(0)->GetNodeTM(0);
    const Matrix3 want = plain_node_tm(copy, i, 0);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(bits(got[r][c]), bits(want[r][c])) << "node " << i << " entry " << r << "," << c;
      }
    }
  }
}

TEST(DocumentViews, SelectionByNamesAndPartialIGameScenes) {
  doc::SceneDocument d = parse(
      doc_with_nodes(R"({"id":1,"name":"A"},{"id":2,"name":"B","parent":1},{"id":3,"name":"C"})"));
  auto host = max::make_document_host(std::move(d));
  EXPECT_EQ(host->unknown_names({"A", "Z", "C"}), std::vector<std::string>{"Z"});
  EXPECT_FALSE(host->select_by_names({"Z"}));
  ASSERT_TRUE(host->select_by_names({"C", "B"}));
  max::Interface& ip = host->GetCOREInterface();
  ASSERT_EQ(ip.GetSelNodeCount(), 2);
  EXPECT_EQ(ip.GetSelNode(0)->GetName(), "C");
  EXPECT_TRUE(ip.GetSelNode(1)->Selected());
  max::IGameScene& ig = host->GetIGameInterface();
  ig.InitialiseIGame({ip.GetSelNode(1)});
  ASSERT_EQ(ig.GetTopLevelNodeCount(), 1);
  EXPECT_EQ(ig.GetTopLevelNode(0)->GetName(), "B");
  EXPECT_EQ(ig.GetTopLevelNode(0)->GetNodeParent(), nullptr);
  EXPECT_EQ(ig.GetTotalNodeCount(), 1);
}

TEST(SceneDocumentLoad, FileErrorsNameTheFile) {
  doc::LoadResult r = doc::load_scene_document("/nonexistent/x.kscene");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "/nonexistent/x.kscene: the file cannot be opened");
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), doc_with_nodes(R"({"id":1,"name":"A"})"));
  r = doc::load_scene_document(dir.file("s.kscene"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.document.file_name, "s.kscene");

  std::filesystem::create_directories(dir.file("folder.kscene"));
  r = doc::load_scene_document(dir.file("folder.kscene"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, dir.file("folder.kscene") + ": a folder, not a scene document");

  // A regular file over the limit is refused before it is read.
  r = doc::load_scene_document_up_to(dir.file("s.kscene"), 10);
  EXPECT_EQ(r.error, dir.file("s.kscene") + ": the file is too large to be a scene document");
}

// A scene from a pipe (as /dev/stdin is in "... | kavro export /dev/stdin")
// is read as a stream, up to the same limit.
TEST(SceneDocumentLoad, PipesAreReadAsStreamsUpToTheLimit) {
  const std::string text = doc_with_nodes(R"({"id":1,"name":"Piped"})");
  auto through_pipe = [&](std::size_t limit) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fds[1]);
    doc::LoadResult r = doc::load_scene_document_up_to("/dev/fd/" + std::to_string(fds[0]), limit);
    ::close(fds[0]);
    return r;
  };
  doc::LoadResult r = through_pipe(doc::kMaxDocumentBytes);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.document.nodes.size(), 1u);
  EXPECT_EQ(r.document.nodes[0].name, "Piped");
  r = through_pipe(text.size());
  EXPECT_TRUE(r.ok) << r.error;
  r = through_pipe(text.size() - 1);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(": the file is too large to be a scene document"), std::string::npos);
}

// Paths reach the loader in the host code page: "\x95\x5C" is one kanji whose
// second byte is "\\", so neither the file name nor the folder ends there.
TEST(SceneDocumentLoad, TheFolderIsAbsoluteAndTwoByteNamesStayWhole) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("\xE8\xA1\xA8"));  // UTF-8 of the kanji
  test::write_file(dir.file("\xE8\xA1\xA8/\xE8\xA1\xA8.kscene"),
                   doc_with_nodes(R"({"id":1,"name":"A"})"));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string cwd = std::filesystem::current_path().string();
  doc::LoadResult nested = doc::load_scene_document("\x95\x5C/\x95\x5C.kscene");
  doc::LoadResult here = doc::load_scene_document("./\x95\x5C/../\x95\x5C/\x95\x5C.kscene");
  std::filesystem::current_path(previous);
  ASSERT_TRUE(nested.ok) << nested.error;
  EXPECT_EQ(nested.document.file_name, "\x95\x5C.kscene");
  EXPECT_EQ(nested.document.folder, cwd + "/\x95\x5C");
  ASSERT_TRUE(here.ok) << here.error;
  EXPECT_EQ(here.document.folder, cwd + "/\x95\x5C/../\x95\x5C");

  doc::LoadResult absolute = doc::load_scene_document(dir.file("\x95\x5C/\x95\x5C.kscene"));
  ASSERT_TRUE(absolute.ok) << absolute.error;
  EXPECT_EQ(absolute.document.folder, dir.file("\x95\x5C"));
}

// A rotation track sampled with a kept arc gives what it gives without one:
// frames forwards, backwards, on keys and outside them, and one cache shared
// by two tracks whose keys are equal but for the sign of a zero (which the
// blend keeps when both ends have it).
TEST(RotationTracks, AKeptArcGivesTheSameSamples) {
  doc::RotationTrack one, two;
  const max::Quat rest{0, -0.0f, 0, 1};
  one.keys = {{0, rest}, {10, {0, -0.0f, 0.6f, 0.8f}}, {20, {0.6f, 0, 0, -0.8f}}, {25, rest}};
  two.keys = {{0, rest}, {10, {0, 0.0f, 0.6f, 0.8f}}, {20, {0.6f, 0, 0, -0.8f}}, {25, rest}};
  doc::RotationArcCache cache;
  auto bits = [](const max::Quat& q) { return std::bit_cast<std::array<std::uint32_t, 4>>(q); };
  std::vector<double> frames;
  for (double f = -2; f <= 27; f += 0.5) frames.push_back(f);
  for (double f = 27; f >= -2; f -= 0.75) frames.push_back(f);
  int differing = 0;
  for (double f : frames) {
    for (const doc::RotationTrack* track : {&one, &two}) {
      const max::Quat want = doc::evaluate(*track, f);
      EXPECT_EQ(bits(doc::evaluate(*track, f, cache)), bits(want)) << "frame " << f;
    }
    differing += bits(doc::evaluate(one, f)) != bits(doc::evaluate(two, f));
  }
  // The two tracks do differ between their first keys.
  EXPECT_GT(differing, 0);
}

// A point track read with a cursor gives what the search gives: frames in
// order, backwards, jumping about, on keys and outside them, with the
// cursor left anywhere (even past the keys) by another track.
TEST(PointTracks, ACursorGivesTheSameSamples) {
  doc::PointTrack track, other;
  for (int k = 0; k < 12; ++k) {
    const float v = static_cast<float>(k * k % 7);
    track.keys.push_back({k * 2.5, {v, -v, 0.25f * v}});
  }
  for (int k = 0; k < 40; ++k) other.keys.push_back({static_cast<double>(k), {1, 2, 3}});
  auto bits = [](const max::Point3& p) { return std::bit_cast<std::array<std::uint32_t, 3>>(p); };
  std::vector<double> frames;
  for (double f = -3; f <= 31; f += 0.25) frames.push_back(f);
  for (double f = 31; f >= -3; f -= 0.625) frames.push_back(f);
  std::mt19937 rng(6);
  for (int i = 0; i < 500; ++i)
    frames.push_back(std::uniform_real_distribution<double>(-2, 30)(rng));
  doc::TrackCursor cursor;
  for (double f : frames) {
    EXPECT_EQ(bits(doc::evaluate(track, f, &cursor)), bits(doc::evaluate(track, f))) << f;
    if (rng() % 5 == 0)
      doc::evaluate(other, std::uniform_real_distribution<double>(0, 39)(rng), &cursor);
  }
}

}  // namespace
}  // namespace kavro
