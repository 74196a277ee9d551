#include "exporter/imd/imd_writer.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

PolygonSet set_of(int node_id, std::vector<Vec3> points) {
  PolygonSet set;
  set.node_id = node_id;
  set.positions = points;
  set.unscaled_positions = points;
  return set;
}

std::string box_text(ExportScene& s) {
  OutputFile out;
  write_box_test(out, s, s.log());
  return out.text();
}

TEST(ModelInfo, EveryLineInOrder) {
  ExportScene s;
  s.pos_scale = 2;
  s.vertex_style = VertexStyle::kIndex;
  s.magnify = 1.5f;
  s.start_frame = 3;
  s.compress_node = CompressNode::kMerge;
  s.node_count_before = 5;
  s.nodes.resize(3);
  s.compress_material = 1;
  s.material_count_before = 4;
  s.materials.resize(2);
  s.use_primitive_strip = 1;
  OutputFile out;
  write_model_info(out, s);
  EXPECT_EQ(out.text(),
            "\r\n<model_info\r\n"
            "\tpos_scale=\"2\"\r\n"
            "\tscaling_rule=\"standard\"\r\n"
            "\tvertex_style=\"index\"\r\n"
            "\tmagnify=\"1.500000\"\r\n"
            "\ttool_start_frame=\"3\"\r\n"
            "\ttex_matrix_mode=\"3dsmax\"\r\n"
            "\tcompress_node=\"merge\" node_size=\"5 3\"\r\n"
            "\tcompress_material=\"on\" material_size=\"4 2\"\r\n"
            "\toutput_texture=\"used\"\r\n"
            "\tforce_full_weight=\"off\"\r\n"
            "\tuse_primitive_strip=\"on\"\r\n"
            "/>\r\n");
}

TEST(BoxTest, AFittingBoxNeedsNoHalving) {
  ExportScene s;
  SceneNode node = test::make_node(1, "n");
  node.translate_frames[0] = {1, 0, 0};
  s.nodes.push_back(node);
  s.polygons.push_back(set_of(1, {{0, 0, 0}, {1, 2, 3}}));
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"0\" xyz=\"1.000000 0.000000 0.000000\" "
            "whd=\"1.000000 2.000000 3.000000\"/>\r\n");
}

TEST(BoxTest, DifferentHalvingCountsAreEvenedOut) {
  ExportScene s;
  s.nodes.push_back(test::make_node(1, "n"));
  // min (-20,0,0) needs two halvings; the extent (4,4,4) none, so it is
  // divided by 4 as well.
  s.polygons.push_back(set_of(1, {{-20, 0, 0}, {-16, 4, 4}}));
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"2\" xyz=\"-5.000000 0.000000 0.000000\" "
            "whd=\"1.000000 1.000000 1.000000\"/>\r\n");
}

TEST(BoxTest, TheSumOfCornerAndExtentMustFitToo) {
  ExportScene s;
  s.nodes.push_back(test::make_node(1, "n"));
  s.polygons.push_back(set_of(1, {{5, 0, 0}, {11, 1, 1}}));
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"1\" xyz=\"2.500000 0.000000 0.000000\" "
            "whd=\"3.000000 0.500000 0.500000\"/>\r\n");
}

// Finite positions under large world scales can overflow in the model box:
// the box is refused by the name of the set, and nothing is written.
TEST(BoxTest, AWorldPositionThatOverflowsIsRefusedByName) {
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  SceneNode node = test::make_node(1, "n");
  node.scale_frames[0] = {1e30f, 1e30f, 1e30f};
  s.nodes.push_back(node);
  PolygonSet set = set_of(1, {{0, 0, 0}, {1e15f, 0, 0}});
  set.node_name = "far";
  s.polygons.push_back(set);
  OutputFile out;
  EXPECT_FALSE(write_box_test(out, s, s.log()));
  EXPECT_EQ(out.text(), "");
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].text, "Value out of range in polygon set far (not a finite number).");
  EXPECT_EQ(h.messages[0].caption, "Node Export Error");
}

TEST(BoxTest, SkinnedVerticesUseTheirBonesBindPose) {
  ExportScene s;
  SceneNode a = test::make_node(1, "a");
  a.translate = {10, 0, 0};  // base transform; the first frame stays at the origin
  SceneNode b = test::make_node(2, "b", kNodeJoint);
  b.translate = {0, 5, 0};
  s.nodes = {a, b};
  PolygonSet set = set_of(1, {{1, 1, 1}, {0, 0, 0}, {0, 0, 0}});
  set.weights.resize(3);
  set.weights[0].weights = {0.5f, 0.5f};  // two influences: already in model space
  set.weights[0].node_ids = {1, 2};
  set.weights[1].weights = {1.0f};  // one influence: through its bone
  set.weights[1].node_ids = {2};
  // The third has no influence: through its owner's bind pose.
  s.polygons.push_back(set);
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"1\" xyz=\"0.000000 0.000000 0.000000\" "
            "whd=\"5.000000 2.500000 0.500000\"/>\r\n");
}

TEST(BoxTest, AncestorsAreOutermost) {
  ExportScene s;
  SceneNode a = test::make_node(1, "a", kNodeNull);
  a.rotate_frames[0] = {0, 0, 90};
  a.translate_frames[0] = {1, 0, 0};
  a.child = 3;
  SceneNode c = test::make_node(3, "c");
  c.parent = 1;
  c.translate_frames[0] = {0, 1, 0};
  s.nodes = {a, c};
  // (1,0,0) in c is (1,1,0) in a, turned to (-1,1,0) and moved to (0,1,0).
  s.polygons.push_back(set_of(3, {{1, 0, 0}}));
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"0\" xyz=\"0.000000 1.000000 0.000000\" "
            "whd=\"0.000000 0.000000 0.000000\"/>\r\n");
}

TEST(BoxTest, WrittenOnlyWithASetThatIsNotDeleted) {
  ExportScene s;
  s.nodes.push_back(test::make_node(1, "n"));
  EXPECT_EQ(box_text(s), "");
  s.polygons.push_back(set_of(1, {{1, 1, 1}}));
  s.polygons[0].deleted = true;
  EXPECT_EQ(box_text(s), "");
  // Without nodes the box stays zero.
  s.nodes.clear();
  s.polygons[0].deleted = false;
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"0\" xyz=\"0.000000 0.000000 0.000000\" "
            "whd=\"0.000000 0.000000 0.000000\"/>\r\n");
}

TEST(BoxTest, ASetWithoutVerticesGivesAZeroBoxNotAnEndlessOne) {
  ExportScene s;
  s.nodes.push_back(test::make_node(1, "n"));
  s.polygons.push_back(set_of(1, {}));
  EXPECT_EQ(box_text(s),
            "\r\n<box_test pos_scale=\"0\" xyz=\"0.000000 0.000000 0.000000\" "
            "whd=\"0.000000 0.000000 0.000000\"/>\r\n");
}

TEST(OutputInfo, TotalsAreWrittenEvenWhenZero) {
  OutputFile out;
  write_output_info(out, {10, 3, 2});
  write_output_info(out, {});
  EXPECT_EQ(out.text(),
            "\r\n<output_info vertex_size=\"10\" polygon_size=\"5\"\r\n"
            "\ttriangle_size=\"3\" quad_size=\"2\"/>\r\n"
            "\r\n<output_info vertex_size=\"0\" polygon_size=\"0\"\r\n"
            "\ttriangle_size=\"0\" quad_size=\"0\"/>\r\n");
}

std::vector<std::string> limit_warnings(ImdTotals t) {
  ExportLog log;
  check_limits(log, t);
  return log.warnings();
}

TEST(Limits, EachAtItsBoundary) {
  EXPECT_TRUE(limit_warnings({6144, 0, 0}).empty());
  EXPECT_EQ(limit_warnings({6145, 0, 0}),
            std::vector<std::string>{"Warning: Total vertex size over: 6145 Vertices (Max 6144)"});
  EXPECT_TRUE(limit_warnings({0, 2048, 0}).empty());
  EXPECT_EQ(limit_warnings({0, 2049, 0}),
            std::vector<std::string>{"Warning: Total polygon size over: 2049 Polygons (Max 2048)"});
  EXPECT_TRUE(limit_warnings({0, 0, 1706}).empty());
  EXPECT_EQ(limit_warnings({0, 0, 1707}),
            std::vector<std::string>{
                "Warning: Total quadrilateral size over: 1707 Quadrilaterals (Max 1706)"});
  EXPECT_EQ(limit_warnings({0, 1, 1706}),
            std::vector<std::string>{"Warning: Total polygon and quadrilateral size over: Must "
                                     "satisfy formula (numPolys * 20 + numQuads * 24 <= 40960)"});
  EXPECT_TRUE(limit_warnings({0, 1000, 800}).empty());  // 20000 + 19200
  std::vector<std::string> both = limit_warnings({7000, 3000, 0});
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[1], "Warning: Total polygon size over: 3000 Polygons (Max 2048)");
}

TEST(ImdFile, AnEmptyModelIsACompleteFile) {
  test::TempDir dir;
  host::RecordingHost h;
  ExportScene s;
  s.host_interface = &h;
  ImdWriter writer, other;
  // The preparation steps come first, as the driver runs them: a writer
  // refuses a scene it did not prepare itself or whose textures were not
  // converted.
  EXPECT_FALSE(writer.write(s, s.log(), dir.file("e.imd")));
  writer.prepare(s);
  EXPECT_FALSE(writer.write(s, s.log(), dir.file("e.imd")));
  convert_textures(s);
  EXPECT_FALSE(other.write(s, s.log(), dir.file("e.imd")));
  EXPECT_EQ(h.messages.size(), 3u);
  EXPECT_FALSE(test::file_exists(dir.file("e.imd")));
  ASSERT_TRUE(writer.write(s, s.log(), dir.file("e.imd")));
  std::string text = test::read_file(dir.file("e.imd"));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\n<model_info\r\n"), std::string::npos);
  EXPECT_EQ(text.find("<box_test"), std::string::npos);
  EXPECT_NE(text.find("<output_info vertex_size=\"0\""), std::string::npos);
  const std::string tail = "\r\n</body>\r\n\r\n</imd>\r\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

}  // namespace
}  // namespace kavro
