#include "exporter/imd/isd_writer.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

const char* const kHead =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "\n<isd version=\"1.6.0\">\n"
    "\n<head>\n"
    "\t<create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
    "source=\"untitled\"/>\n"
    "\t<title>Scene Data for MERIDANE KAVRO-System</title>\n"
    "\t<generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
    "</head>\n"
    "\n<body>\n\n"
    "<original_create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
    "source=\"untitled\"/>\n"
    "<original_generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n";

const char* const kClosing = "\n</body>\n\n</isd>\n";

class IsdWriterTest : public ::testing::Test {
 protected:
  IsdWriterTest() {
    scene.host_interface = &host;
    scene.stage_count = 2;
  }
  std::string write() {
    IsdWriter writer;
    EXPECT_TRUE(writer.write(scene, scene.log(), dir.file("scene.isd")));
    return test::read_file(dir.file("scene.isd"));
  }
  test::TempDir dir;
  host::RecordingHost host;
  ExportScene scene;
};

TEST_F(IsdWriterTest, WithoutCameraAndLights) {
  EXPECT_EQ(write(), test::crlf(std::string(kHead) +
                                "\n<camera\n/>\n"
                                "\n<light>\n</light>\n" +
                                kClosing));
}

TEST_F(IsdWriterTest, FirstCameraAndEveryLight) {
  SceneCamera cam;
  cam.position = {1, 2.5f, -3};
  cam.lookat = {0, 0, 0};
  cam.twist = 0.5f;
  cam.projection = 1;
  cam.near_plane = 0.1f;
  cam.far_plane = 1000;
  cam.fovy = 45;
  cam.aspect = 1.333333f;
  cam.ortho_width = 320;
  cam.ortho_height = 240;
  SceneCamera second;
  second.position = {9, 9, 9};
  scene.cameras = {cam, second};
  SceneLight a, b, c;
  a.direction = {0, -1, 0};
  b.direction = {0.5f, 0.5f, -0.5f};
  b.r = 8;
  b.g = 16;
  b.b = 7;
  c.direction = {1, 0, 0};
  c.r = 128;
  c.g = 64;
  c.b = 32;
  scene.lights = {a, b, c};
  scene.source_name = "c:\\scenes\\robot.max";
  std::string head = kHead;
  for (std::string from = "source=\"untitled\""; head.find(from) != std::string::npos;) {
    head.replace(head.find(from), from.size(), "source=\"c:\\scenes\\robot.max\"");
  }
  EXPECT_EQ(write(), test::crlf(head +
                                "\n<camera\n"
                                "\tposition=\"1.000000 2.500000 -3.000000\"\n"
                                "\tlookat=\"0.000000 0.000000 0.000000\"\n"
                                "\ttwist=\"0.500000\"\n"
                                "\tprojection=\"ortho\"\n"
                                "\tnear=\"0.100000\"\n"
                                "\tfar=\"1000.000000\"\n"
                                "\tperspective fovy=\"45.000000\"\n"
                                "\tperspective aspect=\"1.333333\"\n"
                                "\tortho width=\"320.000000\"\n"
                                "\tortho height=\"240.000000\"\n"
                                "/>\n"
                                "\n<light>\n"
                                "\t<light0\n"
                                "\t\tdirection=\"0.000000 -1.000000 0.000000\"\n"
                                "\t\tcolor=\"31 31 31\"\n"
                                "\t/>\n"
                                "\t<light1\n"
                                "\t\tdirection=\"0.500000 0.500000 -0.500000\"\n"
                                "\t\tcolor=\"1 2 0\"\n"
                                "\t/>\n"
                                "\t<light2\n"
                                "\t\tdirection=\"1.000000 0.000000 0.000000\"\n"
                                "\t\tcolor=\"16 8 4\"\n"
                                "\t/>\n"
                                "</light>\n" +
                                kClosing));
  EXPECT_EQ(scene.stages_done, 2);
}

TEST_F(IsdWriterTest, PerspectiveKeyword) {
  SceneCamera cam;
  cam.projection = 0;
  scene.cameras = {cam};
  EXPECT_NE(write().find("\tprojection=\"perspective\"\r\n"), std::string::npos);
}

TEST_F(IsdWriterTest, UnwritableTargetFails) {
  IsdWriter writer;
  EXPECT_FALSE(writer.write(scene, scene.log(), dir.file("missing/folder/scene.isd")));
}

}  // namespace
}  // namespace kavro
