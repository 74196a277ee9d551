// `kavro export` when the export cannot or must not write: failed writes name
// the file and the reason, paths the options cannot hold and values that are
// not finite are refused, and a run with every output off says so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

// One triangle whose far corners lie at `far` on two axes.
std::string triangle_scene(const std::string& far = "1") {
  return R"({"format":"kavro-scene","version":1,
      "materials":[{"name":"M","class":"kavro_standard"}],
      "nodes":[{"id":1,"name":"A","material":0,"object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[)" +
         far + R"(,0,0],[0,)" + far + R"(,0]],"faces":[[0,1,2]]}}}]})";
}

bool has_non_finite_value(const std::string& text) {
  for (const char* word : {"\"inf", " inf", "-inf", "nan"}) {
    if (text.find(word) != std::string::npos) return true;
  }
  return false;
}

class ExportRefusals : public ::testing::Test {
 protected:
  ExportRefusals() { test::write_file(scene, triangle_scene()); }
  test::TempDir dir;
  std::string scene = dir.file("s.kscene");
};

TEST_F(ExportRefusals, WriteFailuresNameTheFileAndTheReason) {
  Result missing = kavro({"export", scene, dir.file("missing/m.imd")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_NE(missing.err.find("Export Error: Can't write file " + dir.file("missing/m.imd") +
                             ": No such file or directory\n"),
            std::string::npos)
      << missing.err;

  std::filesystem::create_directories(dir.file("taken.imd"));
  Result folder = kavro({"export", scene, dir.file("taken.imd")});
  EXPECT_EQ(folder.status, kExitFailed);
  EXPECT_NE(folder.err.find("Can't write file " + dir.file("taken.imd") + ": Is a directory\n"),
            std::string::npos)
      << folder.err;

  // 253 bytes fit the options, but the file name with ".imd" is 257.
  Result too_long = kavro({"export", scene, dir.file(std::string(253, 'n') + ".imd")});
  EXPECT_EQ(too_long.status, kExitFailed);
  EXPECT_NE(too_long.err.find(": File name too long\n"), std::string::npos) << too_long.err;

  // The second file fails: the model stays and the message says so.
  std::filesystem::create_directories(dir.file("m.ica"));
  Result second = kavro({"export", "--set", "output_ica=on", scene, dir.file("m.imd")});
  EXPECT_EQ(second.status, kExitFailed);
  EXPECT_NE(second.err.find("Can't write file " + dir.file("m.ica") +
                            ": Is a directory; already written: " + dir.file("m.imd") + "\n"),
            std::string::npos)
      << second.err;
  EXPECT_NE(test::read_file(dir.file("m.imd")).find("<imd version=\"1.6.0\">"), std::string::npos);
}

TEST_F(ExportRefusals, PathsTheOptionsCannotHoldAreRefusedNotCut) {
  const std::string folder = dir.path() + "/" + std::string(260, 'f');
  Result r = kavro({"export", scene, folder + "/m.imd"});
  EXPECT_EQ(r.status, kExitFailed);
  EXPECT_NE(
      r.err.find("Export Error: The output folder is longer than 255 bytes: " + folder + "\n"),
      std::string::npos)
      << r.err;

  Result set =
      kavro({"export", "--set", "output_file_name=m", "--set", "output_folder=" + folder, scene});
  EXPECT_EQ(set.status, kExitUsage);
  EXPECT_NE(set.err.find("output_folder is longer than 255 bytes"), std::string::npos) << set.err;
  // 255 bytes of Shift_JIS fit, although their UTF-8 form is longer:
  // 100 times "シ" is 300 bytes in UTF-8 but 200 in Shift_JIS.
  std::string kana;
  for (int i = 0; i < 100; ++i) kana += "\xE3\x82\xB7";
  Result fits = kavro({"export", "--set", "output_file_name=" + kana, "--set",
                       "output_folder=" + dir.path(), "--set", "output_imd=off", scene});
  EXPECT_EQ(fits.status, kExitOk) << fits.err;
}

TEST_F(ExportRefusals, ModelNamesWithoutANameAreUsageErrors) {
  std::filesystem::create_directories(dir.file("d"));
  for (const std::string& output :
       {dir.file("d/.imd"), std::string(".imd"), std::string("d/.imd")}) {
    Result r = kavro({"export", scene, output});
    EXPECT_EQ(r.status, kExitUsage) << output;
    EXPECT_NE(r.err.find("OUTPUT must name a model file, not only its extension"),
              std::string::npos)
        << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("d")));
}

TEST_F(ExportRefusals, EveryOutputOffWarnsAndSucceeds) {
  Result r = kavro({"export", "--set", "output_imd=off", scene, dir.file("m.imd")});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_NE(r.err.find("Warning: Nothing to export: every output is off.\n"), std::string::npos)
      << r.err;
  EXPECT_FALSE(test::file_exists(dir.file("m.imd")));
}

TEST_F(ExportRefusals, HugeCoordinatesAreRefusedAndNoFileHoldsInfOrNan) {
  test::write_file(scene, triangle_scene("1e29"));
  Result huge = kavro({"export", scene, dir.file("m.imd")});
  EXPECT_EQ(huge.status, kExitFailed);
  EXPECT_NE(huge.err.find("/nodes/0/object/mesh/vertices/1/0: the number is too large"),
            std::string::npos)
      << huge.err;
  EXPECT_FALSE(test::file_exists(dir.file("m.imd")));

  // At the bound every file is written, with finite numbers only.
  test::write_file(scene, triangle_scene("-1e15"));
  Result bound = kavro(
      {"export", "--set", "output_ica=on", "--set", "output_isd=on", scene, dir.file("m.imd")});
  EXPECT_EQ(bound.status, kExitOk) << bound.err;
  for (const char* ext : {"imd", "ica", "isd"}) {
    std::string text = test::read_file(dir.file(std::string("m.") + ext));
    EXPECT_FALSE(text.empty()) << ext;
    EXPECT_FALSE(has_non_finite_value(text)) << ext;
  }
  EXPECT_NE(test::read_file(dir.file("m.imd")).find("<nrm xyz=\"0.000000 0.998047 0.000000\"/>"),
            std::string::npos);

  // Large values that overflow only in their product stop the export by name.
  test::write_file(scene, R"({"format":"kavro-scene","version":1,
      "nodes":[{"id":1,"name":"Big","transform":{"scale":[1e15,1e15,1e15]}},
               {"id":2,"name":"Bigger","parent":1,"transform":{"scale":[1e15,1e15,1e15]}},
               {"id":3,"name":"Far","parent":2,"object":{"class":"mesh","mesh":{
                 "vertices":[[0,0,0],[1e15,0,0],[0,1e15,0]],"faces":[[0,1,2]]}}}]})");
  Result product = kavro({"export", "--set", "compress_node=none", scene, dir.file("p.imd")});
  EXPECT_EQ(product.status, kExitFailed);
  EXPECT_NE(product.err.find("Node Export Error: "), std::string::npos) << product.err;
  EXPECT_NE(product.err.find("out of range in "), std::string::npos) << product.err;
  EXPECT_FALSE(test::file_exists(dir.file("p.imd")));
}

// "... | kavro export /dev/stdin OUT.imd": the scene comes from a pipe.
TEST_F(ExportRefusals, AScenePipedInIsRead) {
  const std::string text = triangle_scene();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fds[1]);
  Result r = kavro({"export", "/dev/fd/" + std::to_string(fds[0]), dir.file("m.imd")});
  ::close(fds[0]);
  EXPECT_EQ(r.status, kExitOk) << r.err;
  EXPECT_TRUE(test::file_exists(dir.file("m.imd")));
}

}  // namespace
}  // namespace kavro::cli
