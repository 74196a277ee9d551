#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exporter/animation/writers.h"
#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

SceneNode node_with_visibility(int id, std::vector<int> visibility) {
  SceneNode node = test::make_node(id, "n", kNodeMesh, static_cast<int>(visibility.size()));
  node.visibility_frames = std::move(visibility);
  return node;
}

bool has_warning(const ExportScene& s, const std::string& text) {
  for (const std::string& w : s.warnings()) {
    if (w == text) return true;
  }
  return false;
}

TEST(IvaFile, WholeFileOfTwoNodes) {
  test::TempDir dir;
  AnimScene a(10, 14);
  a.scene.compress_node = CompressNode::kCull;
  a.scene.node_count_before = 3;
  a.scene.source_name = "C:\\scenes\\door.max";
  a.scene.nodes.push_back(node_with_visibility(1, {1, 1, 1, 0, 0}));
  a.scene.nodes.push_back(node_with_visibility(2, {0, 1, 0, 1, 1}));
  std::string path = dir.file("door.iva");
  ASSERT_TRUE(IvaWriter().write(a.scene, a.scene.log(), path));
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
      "\n<iva version=\"1.6.0\">\n"
      "\n<head>\n"
      "\t<create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"C:\\scenes\\door.max\"/>\n"
      "\t<title>Visibility Animation Data for MERIDANE KAVRO-System</title>\n"
      "\t<generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "</head>\n"
      "\n<body>\n\n"
      "<original_create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"C:\\scenes\\door.max\"/>\n"
      "<original_generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "\n<visibility_info\n"
      "\tframe_size=\"5\"\n"
      "\ttool_start_frame=\"10\"\n"
      "\ttool_end_frame=\"14\"\n"
      "\tcompress_node=\"cull\" node_size=\"3 2\"\n"
      "/>\n"
      "\n<visibility_data>\n"
      "\t<frame_idx size=\"6\">\n\t\t0 3 0 1 2 3 \n\t</frame_idx>\n"
      "\t<visibility size=\"6\">\n\t\t1 0 0 1 0 1 \n\t</visibility>\n"
      "</visibility_data>\n"
      "\n<visibility_anm_array size=\"2\">\n"
      "\t<visibility_anm index=\"0\" data_size=\"2\" data_head=\"0\"/>\n"
      "\t<visibility_anm index=\"1\" data_size=\"4\" data_head=\"2\"/>\n"
      "</visibility_anm_array>\n"
      "\n</body>\n"
      "\n</iva>\n";
  EXPECT_EQ(test::read_file(path), test::crlf(expected));
  EXPECT_TRUE(a.scene.warnings().empty());
}

TEST(IvaFile, NodesThatNeverChangeGiveTheWarning) {
  AnimScene a(0, 4);
  a.scene.nodes.push_back(node_with_visibility(1, {1, 1, 1, 1, 1}));
  a.scene.nodes.push_back(node_with_visibility(2, {1, 1, 1, 1, 1}));
  std::string body = a.body(write_iva_body);
  EXPECT_NE(body.find("\t<frame_idx size=\"2\">\n\t\t0 0 \n\t</frame_idx>\n"
                      "\t<visibility size=\"2\">\n\t\t1 1 \n\t</visibility>\n"),
            std::string::npos)
      << body;
  EXPECT_EQ(a.scene.warnings(), std::vector<std::string>{"Warning: No visibility animation."});
}

TEST(IvaFile, EleventhKeyStartsANewLineAndHeadsAreRunningSums) {
  AnimScene a(0, 7);
  a.scene.nodes.push_back(node_with_visibility(1, {1, 0, 1, 0, 1, 0, 1, 0}));  // 8 keys
  a.scene.nodes.push_back(node_with_visibility(2, {0, 0, 0, 0, 0, 0, 0, 0}));  // 1 key
  a.scene.nodes.push_back(node_with_visibility(3, {1, 1, 1, 1, 0, 0, 1, 1}));  // 3 keys
  std::string body = a.body(write_iva_body);
  EXPECT_NE(body.find("\t<frame_idx size=\"12\">\n\t\t0 1 2 3 4 5 6 7 0 0 \n\t\t4 6 \n"
                      "\t</frame_idx>\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("\t<visibility size=\"12\">\n\t\t1 0 1 0 1 0 1 0 0 1 \n\t\t0 1 \n"
                      "\t</visibility>\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("\t<visibility_anm index=\"0\" data_size=\"8\" data_head=\"0\"/>\n"
                      "\t<visibility_anm index=\"1\" data_size=\"1\" data_head=\"8\"/>\n"
                      "\t<visibility_anm index=\"2\" data_size=\"3\" data_head=\"9\"/>\n"),
            std::string::npos);
  EXPECT_FALSE(has_warning(a.scene, "Warning: No visibility animation."));
}

TEST(IvaFile, ExactlyTenKeysFitOnOneLine) {
  AnimScene a(0, 9);
  a.scene.nodes.push_back(node_with_visibility(1, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
  std::string body = a.body(write_iva_body);
  EXPECT_NE(body.find("\t<frame_idx size=\"10\">\n\t\t0 1 2 3 4 5 6 7 8 9 \n\t</frame_idx>\n"),
            std::string::npos)
      << body;
}

TEST(IvaFile, SceneWithoutNodes) {
  AnimScene a(0, 0);
  std::string body = a.body(write_iva_body);
  EXPECT_NE(body.find("\n<visibility_data>\n\t<frame_idx size=\"0\">\n\t</frame_idx>\n"
                      "\t<visibility size=\"0\">\n\t</visibility>\n</visibility_data>\n"
                      "\n<visibility_anm_array size=\"0\">\n</visibility_anm_array>\n"),
            std::string::npos)
      << body;
}

TEST(IvaFile, ProgressRunsThroughThreeStages) {
  AnimScene a(0, 1);
  a.scene.stage_count = 3;
  a.scene.nodes.push_back(node_with_visibility(1, {1, 0}));
  a.body(write_iva_body);
  EXPECT_EQ(a.scene.stages_done, 3);
  ASSERT_FALSE(a.host.progress.empty());
  EXPECT_EQ(a.host.progress.back().text.rfind("IVA: Writing Visibility Animation Data (", 0), 0u);
}

}  // namespace
}  // namespace kavro
