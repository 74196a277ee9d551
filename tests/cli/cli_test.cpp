#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

TEST(Cli, AboutPrintsTheAboutText) {
  Result r = kavro({"about"});
  EXPECT_EQ(r.status, kExitOk);
  EXPECT_EQ(
      r.out.rfind("MERIDANE KAVRO-System Plugin for 3ds Max 2008\n\nVer 1.6.0 ( 2009/05/28 )\n", 0),
      0u);
  EXPECT_EQ(kavro({"about", "extra"}).status, kExitUsage);
}

TEST(Cli, HelpExplainsTheCommandsAndEveryOptionKey) {
  Result top = kavro({"--help"});
  EXPECT_EQ(top.status, kExitOk);
  EXPECT_NE(top.out.find("export SCENE [OUTPUT.imd]"), std::string::npos);
  Result help = kavro({"export", "--help"});
  EXPECT_EQ(help.status, kExitOk);
  for (const char* needle :
       {"--set KEY=VALUE", "--overwrite", "--map-path DIR", "compress_node",
        "none|cull|merge|unite|unite_combine", "tolerance_color", "output_isd"}) {
    EXPECT_NE(help.out.find(needle), std::string::npos) << needle;
  }
}

TEST(Cli, UsageErrorsExitWithTwo) {
  EXPECT_EQ(kavro({}).status, kExitUsage);
  EXPECT_EQ(kavro({"frobnicate"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export", "a.kscene", "b.imd", "c.imd"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export", "a.kscene", "out.txt"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export", "--bogus", "a.kscene", "b.imd"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export", "--overwrite=maybe", "a.kscene"}).status, kExitUsage);
}

TEST(Cli, EveryCommandHasItsOwnHelp) {
  struct Case {
    std::vector<std::string> args;
    const char* usage;
  };
  for (const Case& c : std::vector<Case>{
           {{"help"}, "Usage: kavro <command> [options]\n"},
           {{"-h"}, "Usage: kavro <command> [options]\n"},
           {{"export", "-h"}, "Usage: kavro export [options] SCENE [OUTPUT.imd]\n"},
           {{"about", "--help"}, "Usage: kavro about [options]\n"},
       }) {
    Result r = kavro(c.args);
    EXPECT_EQ(r.status, kExitOk) << c.args.front();
    EXPECT_EQ(r.out.rfind(c.usage, 0), 0u) << r.out;
  }
  Result unknown = kavro({"frobnicate"});
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos) << unknown.err;
}

// Values follow their option either after "=" or as the next argument, and
// the options a command may repeat collect every value in order.
TEST(Cli, OptionValuesComeEitherWayAndRepeat) {
  test::TempDir dir;
  test::write_file(dir.file("a.kscene"), R"({"format":"kavro-scene","version":1,
      "nodes":[{"id":1,"name":"A","object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}}]})");
  const std::string scene = dir.file("a.kscene");
  // The later --set wins: the model is written although the first switched it off.
  Result later = kavro(
      {"export", "--set", "output_imd=off", "--set=output_imd=on", "-q", scene, dir.file("m.imd")});
  EXPECT_EQ(later.status, kExitOk) << later.err;
  EXPECT_TRUE(test::file_exists(dir.file("m.imd")));
  // Both --select values reach the scene: the second names no node.
  Result select = kavro({"export", "--select", "A", "--select=Nobody", scene, dir.file("n.imd")});
  EXPECT_EQ(select.status, kExitUsage);
  EXPECT_NE(select.err.find("'Nobody'"), std::string::npos) << select.err;
  EXPECT_EQ(select.err.find("'A'"), std::string::npos) << select.err;
  // "--map-path=" gives an empty folder; it must not take the scene as its value.
  EXPECT_EQ(kavro({"export", "--map-path=", scene, dir.file("n.imd")}).status, kExitUsage);
  EXPECT_FALSE(test::file_exists(dir.file("n.imd")));
}

TEST(Cli, SetRejectsUnknownKeysAndWordsListingTheAllowedOnes) {
  Result key = kavro({"export", "--set", "colour=red", "a.kscene", "b.imd"});
  EXPECT_EQ(key.status, kExitUsage);
  EXPECT_NE(key.err.find("unknown option key 'colour'"), std::string::npos);
  EXPECT_NE(key.err.find("compress_node"), std::string::npos);
  Result word = kavro({"export", "--set=compress_node=Unite", "a.kscene", "b.imd"});
  EXPECT_EQ(word.status, kExitUsage);
  EXPECT_NE(word.err.find("none|cull|merge|unite|unite_combine"), std::string::npos);
  EXPECT_EQ(kavro({"export", "--set", "magnify=big", "a.kscene", "b.imd"}).status, kExitUsage);
  EXPECT_EQ(kavro({"export", "--set", "magnify", "a.kscene", "b.imd"}).status, kExitUsage);
}

// The name and folder may come from the scene's own settings, so they are
// checked once the scene is read.
TEST(Cli, MenuStyleExportNamesTheMissingOption) {
  test::TempDir dir;
  test::write_file(dir.file("a.kscene"), R"({"format":"kavro-scene","version":1})");
  Result name = kavro({"export", dir.file("a.kscene")});
  EXPECT_EQ(name.status, kExitUsage);
  EXPECT_NE(name.err.find("output_file_name"), std::string::npos);
  Result folder = kavro({"export", "--set", "output_file_name=hero", dir.file("a.kscene")});
  EXPECT_EQ(folder.status, kExitUsage);
  EXPECT_NE(folder.err.find("output_folder"), std::string::npos);
}

TEST(Cli, AnUnreadableSceneFailsWithOneAndWritesNothing) {
  test::TempDir dir;
  Result r = kavro({"export", "--overwrite", "yes", dir.file("missing.kscene"), dir.file("m.imd")});
  EXPECT_EQ(r.status, kExitFailed);
  EXPECT_NE(r.err.find("missing.kscene"), std::string::npos);
  EXPECT_FALSE(test::file_exists(dir.file("m.imd")));
}

TEST(Cli, MapPathsAreSearchedForRelativeBitmaps) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("scene"));
  std::filesystem::create_directories(dir.file("maps"));
  test::write_file(dir.file("maps/skin.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("scene/a.kscene"), R"({"format":"kavro-scene","version":1,
      "materials":[{"name":"Skin","class":"kavro_standard",
                    "diffuse_map":{"class":"bitmap","file":"skin.tga"}}],
      "nodes":[{"id":1,"name":"A","material":0,"object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[1,0,0],[0,1,0]],"texture_vertices":[[0,0],[1,0],[0,1]],
               "faces":[[0,1,2]]}}}]})");
  const std::string scene = dir.file("scene/a.kscene");

  Result missing = kavro({"export", "--overwrite=yes", scene, dir.file("m.imd")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_NE(missing.err.find("Texture image missing on material Skin at the path: " +
                             dir.file("scene/skin.tga")),
            std::string::npos)
      << missing.err;
  EXPECT_FALSE(test::file_exists(dir.file("m.imd")));

  Result found = kavro(
      {"export", "--overwrite=yes", "--map-path", dir.file("maps"), scene, dir.file("m.imd")});
  EXPECT_EQ(found.status, kExitOk) << found.err;
  EXPECT_NE(test::read_file(dir.file("m.imd")).find("<tex_image index=\"0\" name=\"skin\""),
            std::string::npos);

  EXPECT_EQ(kavro({"export", scene, dir.file("m.imd"), "--map-path"}).status, kExitUsage);
}

}  // namespace
}  // namespace kavro::cli

namespace kavro::cli {
namespace {

// Paths outside plain ASCII: the command line and the file system speak
// UTF-8, the exporter holds the host code page, and every file access
// converts back.
TEST(Cli, JapaneseFolderNamesWorkForScenesTexturesAndOutputs) {
  const char* source = std::getenv("KAVRO_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "KAVRO_SOURCE_DIR is not set";
  test::TempDir dir;
  std::string scenes = dir.file("\xE3\x82\xB7\xE3\x83\xBC\xE3\x83\xB3");  // "シーン"
  std::string out = dir.file("\xE5\x87\xBA\xE5\x8A\x9B");                 // "出力"
  std::filesystem::create_directories(scenes);
  std::filesystem::create_directories(out);
  std::filesystem::copy(std::string(source) + "/examples/textured.kscene", scenes);
  std::filesystem::copy(std::string(source) + "/examples/maps", scenes + "/maps");
  Result r = kavro({"export", "-q", scenes + "/textured.kscene", out + "/tex.imd"});
  EXPECT_EQ(r.status, kExitOk) << r.err;
  std::string imd = test::read_file(out + "/tex.imd");
  EXPECT_NE(imd.find("<tex_image_array"), std::string::npos);
  // Inside the file the path is written in Shift_JIS: "シーン" is 83 56 81 5B 83 93.
  EXPECT_NE(imd.find("\x83\x56\x81\x5B\x83\x93/maps/"), std::string::npos);

  // A name the host code page cannot hold is a usage error, not a crash.
  Result bad = kavro({"export", scenes + "/textured.kscene", out + "/\xF0\x9F\x98\x80.imd"});
  EXPECT_EQ(bad.status, kExitUsage);
}

}  // namespace
}  // namespace kavro::cli
