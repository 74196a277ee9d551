#include "exporter/pipeline/envelope.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

std::string envelope_of(ExportScene& scene, FileKind kind) {
  test::TempDir dir;
  OutputFile out;
  EXPECT_TRUE(out.open(dir.file("x.imd")));
  write_head(out, scene, kind);
  write_closing(out, kind);
  EXPECT_TRUE(out.commit());
  return test::read_file(dir.file("x.imd"));
}

TEST(Envelope, ModelFileHeadAndClosingByteForByte) {
  host::RecordingHost h;  // 2009-05-28 12:34:56, tester on testhost
  ExportScene scene;
  scene.host_interface = &h;
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
      "\r\n"
      "<imd version=\"1.6.0\">\r\n"
      "\r\n"
      "<head>\r\n"
      "\t<create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\r\n"
      "\t<title>Model Data for MERIDANE KAVRO-System</title>\r\n"
      "\t<generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\r\n"
      "</head>\r\n"
      "\r\n"
      "<body>\r\n"
      "\r\n"
      "<original_create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\r\n"
      "<original_generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\r\n"
      "\r\n"
      "</body>\r\n"
      "\r\n"
      "</imd>\r\n";
  EXPECT_EQ(envelope_of(scene, FileKind::kImd), expected);
}

TEST(Envelope, EveryKindHasItsRootAndTitle) {
  host::RecordingHost h;
  ExportScene scene;
  scene.host_interface = &h;
  std::string isd = envelope_of(scene, FileKind::kIsd);
  EXPECT_NE(isd.find("\r\n<isd version=\"1.6.0\">\r\n"), std::string::npos);
  EXPECT_NE(isd.find("<title>Scene Data for MERIDANE KAVRO-System</title>"), std::string::npos);
  EXPECT_NE(isd.find("\r\n</isd>\r\n"), std::string::npos);
  EXPECT_STREQ(file_kind_info(FileKind::kItp).root, "itp");
  EXPECT_STREQ(file_kind_info(FileKind::kIta).root, "ita");
  EXPECT_STREQ(file_kind_info(FileKind::kIma).title,
               "Material Color Animation Data for MERIDANE KAVRO-System");
}

TEST(Envelope, DatesArePaddedAndAttributesEscaped) {
  host::RecordingHost h;
  h.time = {2010, 1, 2, 3, 4, 5};
  h.user = "a&b";
  h.computer = "<pc>";
  ExportScene scene;
  scene.host_interface = &h;
  scene.source_name = "C:\\scenes\\\"q\".max";
  std::string text = envelope_of(scene, FileKind::kIca);
  EXPECT_NE(text.find("\t<create user=\"a&amp;b\" host=\"&lt;pc&gt;\" date=\"2010-01-02T03:04:05\" "
                      "source=\"C:\\scenes\\&quot;q&quot;.max\"/>"),
            std::string::npos);
}

TEST(Envelope, AboutText) {
  std::string text = about_text();
  EXPECT_EQ(text.rfind(
                "MERIDANE KAVRO-System Plugin for 3ds Max 2008\n\nVer 1.6.0 ( 2009/05/28 )\n\n", 0),
            0u);
  EXPECT_NE(text.find("Meridane"), std::string::npos);
}

}  // namespace
}  // namespace kavro
