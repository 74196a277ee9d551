#include <gtest/gtest.h>

#include <string>

#include "exporter/animation/writers.h"
#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

std::string ica_body(AnimScene& a) {
  return a.body(write_ica_body);
}

// A node over `frames` frames, still at its rest pose.
SceneNode still_node(int id, int frames) {
  return test::make_node(id, "n", kNodeJoint, frames);
}

TEST(IcaFile, WholeFileOfOneMovingNode) {
  test::TempDir dir;
  AnimScene a(0, 2);
  ExportScene& s = a.scene;
  s.node_count_before = 1;
  s.tolerance_scale = 0.001f;
  s.tolerance_rotate = 0.001f;
  s.tolerance_translate = 0.0001f;
  SceneNode node = still_node(1, 3);
  for (int f = 0; f < 3; ++f) {
    node.rotate_frames[f] = {0, 0, 90};
    node.translate_frames[f] = {0.1f * static_cast<float>(f), 0.1f, 0};
  }
  s.nodes.push_back(node);

  std::string path = dir.file("walk.ica");
  ASSERT_TRUE(IcaWriter().write(s, s.log(), path));
  // Translate x rounds to 0, 410/4096, 819/4096; frame 1 lies 1/8192 off the
  // line from frame 0 to 2, beyond the tolerance, so every frame is kept.
  // Translate y (0.1, rounded) is found inside translate x's run.
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
      "\n<ica version=\"1.6.0\">\n"
      "\n<head>\n"
      "\t<create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\n"
      "\t<title>Character Animation Data for MERIDANE KAVRO-System</title>\n"
      "\t<generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "</head>\n"
      "\n<body>\n\n"
      "<original_create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\n"
      "<original_generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "\n<node_anm_info\n"
      "\tframe_size=\"3\"\n"
      "\tscaling_rule=\"standard\"\n"
      "\tmagnify=\"1.000000\"\n"
      "\ttool_start_frame=\"0\"\n"
      "\ttool_end_frame=\"2\"\n"
      "\tinterpolation=\"frame\"\n"
      "\tinterp_end_to_start=\"off\"\n"
      "\tcompress_node=\"none\" node_size=\"1 1\"\n"
      "\tframe_step_mode=\"auto\"\n"
      "\ttolerance_scale=\"0.001000\"\n"
      "\ttolerance_rotate=\"0.001000\"\n"
      "\ttolerance_translate=\"0.000100\"\n"
      "/>\n"
      "\n<node_scale_data size=\"1\">\n\t1.000000 \n</node_scale_data>\n"
      "\n<node_rotate_data size=\"2\">\n\t0.000000 90.000000 \n</node_rotate_data>\n"
      "\n<node_translate_data size=\"3\">\n\t0.000000 0.100098 0.199951 \n"
      "</node_translate_data>\n"
      "\n<node_anm_array size=\"1\">\n"
      "\t<node_anm index=\"0\">\n"
      "\t\t<scale_x frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<scale_y frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<scale_z frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<rotate_x frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<rotate_y frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t\t<rotate_z frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<translate_x frame_step=\"1\" data_size=\"3\" data_head=\"0\"/>\n"
      "\t\t<translate_y frame_step=\"1\" data_size=\"1\" data_head=\"1\"/>\n"
      "\t\t<translate_z frame_step=\"1\" data_size=\"1\" data_head=\"0\"/>\n"
      "\t</node_anm>\n"
      "</node_anm_array>\n"
      "\n</body>\n"
      "\n</ica>\n";
  EXPECT_EQ(test::read_file(path), test::crlf(expected));
  // The channels as stored are kept in the records for reports.
  EXPECT_EQ(s.records.node_channels[0][6].data_size, 3);
  EXPECT_EQ(s.records.node_channels[0][6].frame_step, 1);
}

TEST(IcaFile, StillNodeStoresEachDistinctValueOnce) {
  AnimScene a(0, 10);
  a.scene.nodes.push_back(still_node(1, 11));
  std::string body = ica_body(a);
  EXPECT_NE(body.find("\tframe_size=\"11\"\n"), std::string::npos);
  EXPECT_NE(body.find("\n<node_scale_data size=\"1\">\n\t1.000000 \n</node_scale_data>\n"),
            std::string::npos);
  EXPECT_NE(body.find("\n<node_rotate_data size=\"1\">\n\t0.000000 \n</node_rotate_data>\n"),
            std::string::npos);
  for (const ChannelRecord& r : a.scene.records.node_channels.at(0)) {
    EXPECT_EQ(r.data_size, 1);
    EXPECT_EQ(r.data_head, 0);
  }
}

TEST(IcaFile, SamplesAreRoundedToMultiplesOf4096th) {
  AnimScene a(0, 0);
  SceneNode node = still_node(1, 1);
  node.translate_frames[0] = {0.1f, -0.1f, -0.00001f};
  a.scene.nodes.push_back(node);
  std::string body = ica_body(a);
  // 0.1 -> 410/4096; -0.1 -> -410/4096; a value that rounds to zero is 0, not -0.
  EXPECT_NE(body.find("\n<node_translate_data size=\"3\">\n\t0.100098 -0.100098 0.000000 \n"),
            std::string::npos)
      << body;
}

TEST(IcaFile, ModeTwoOverSixFramesKeepsFrames0245) {
  AnimScene a(0, 5);
  a.scene.frame_step_mode = FrameStepMode::kTwo;
  SceneNode node = still_node(1, 6);
  for (int f = 0; f < 6; ++f) node.rotate_frames[f].y = 10.0f * static_cast<float>(f);
  a.scene.nodes.push_back(node);
  std::string body = ica_body(a);
  // Rotate x (constant 0) comes first; rotate y keeps frames 0, 2, 4, 5.
  EXPECT_NE(body.find("\n<node_rotate_data size=\"5\">"
                      "\n\t0.000000 0.000000 20.000000 40.000000 50.000000 \n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("\t\t<rotate_y frame_step=\"2\" data_size=\"4\" data_head=\"1\"/>\n"),
            std::string::npos);
  EXPECT_NE(body.find("\tframe_step_mode=\"2\"\n"), std::string::npos);
}

TEST(IcaFile, TwoNodesWithTheSameCurveShareItsRun) {
  AnimScene a(0, 4);
  for (int id = 1; id <= 2; ++id) {
    SceneNode node = still_node(id, 5);
    for (int f = 0; f < 5; ++f) {
      node.translate_frames[f].z = static_cast<float>(f * f);
    }
    a.scene.nodes.push_back(node);
  }
  a.scene.nodes[1].translate_frames[0].x = 3;
  std::string body = ica_body(a);
  // Pool: 0 (x and y of node 0), then z's run, then node 1's x run 3, 0, 0, 0, 0.
  EXPECT_NE(body.find("\n<node_translate_data size=\"11\">"
                      "\n\t0.000000 0.000000 1.000000 4.000000 9.000000 16.000000 3.000000 "
                      "0.000000 0.000000 0.000000 "
                      "\n\t0.000000 \n</node_translate_data>\n"),
            std::string::npos)
      << body;
  EXPECT_EQ(a.scene.records.node_channels[0][8].data_head, 1);
  EXPECT_EQ(a.scene.records.node_channels[1][8].data_head, 1);
  EXPECT_EQ(a.scene.records.node_channels[1][8].data_size, 5);
  EXPECT_EQ(a.scene.records.node_channels[1][6].data_head, 6);
  EXPECT_EQ(a.scene.records.node_channels[1][7].data_head, 0);
}

TEST(IcaFile, EmptySceneWritesEmptyPoolsAndArray) {
  AnimScene a(0, 0);
  std::string body = ica_body(a);
  EXPECT_NE(body.find("/>\n\n<node_scale_data size=\"0\">\n</node_scale_data>\n"
                      "\n<node_rotate_data size=\"0\">\n</node_rotate_data>\n"
                      "\n<node_translate_data size=\"0\">\n</node_translate_data>\n"
                      "\n<node_anm_array size=\"0\">\n</node_anm_array>\n"),
            std::string::npos)
      << body;
}

TEST(IcaFile, ShortSampleArraysHoldTheirLastValue) {
  AnimScene a(0, 3);
  SceneNode node = still_node(1, 2);  // two samples for four frames
  node.translate_frames[1].x = 5;
  node.scale_frames.clear();  // none at all: zeros
  a.scene.nodes.push_back(node);
  std::string body = ica_body(a);
  EXPECT_NE(body.find("\n<node_scale_data size=\"1\">\n\t0.000000 \n"), std::string::npos);
  EXPECT_NE(
      body.find("\n<node_translate_data size=\"4\">\n\t0.000000 5.000000 5.000000 5.000000 \n"),
      std::string::npos)
      << body;
}

}  // namespace
}  // namespace kavro
