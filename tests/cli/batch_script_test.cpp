// `kavro batch` and `kavro script`: exit statuses, the listener on standard
// output, and the example batch with its script.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

struct Result {
  int status;
  std::string out, err;
};

std::string slurp(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

Result kavro(std::vector<std::string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int status = run(args, out, err);
  return {status, slurp(out), slurp(err)};
}

std::string source_dir() {
  const char* dir = std::getenv("KAVRO_SOURCE_DIR");
  return dir != nullptr ? dir : "..";
}

TEST(CliBatch, ExportsTheExampleBatchAndExitsByItsSummary) {
  test::TempDir dir;
  std::string examples = source_dir() + "/examples";
  // The example description with its folders made absolute.
  std::string text = test::read_file(examples + "/batch/all.k3be");
  auto replace = [&text](const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace("log \"out/batch/all.log\"", "log \"" + dir.file("all.log") + "\"");
  replace("input_folder \"examples\"", "input_folder \"" + examples + "\"");
  replace("output_folder \"out/batch\"", "output_folder \"" + dir.file("out") + "\"");
  replace("k3es_folder \"examples/batch\"", "k3es_folder \"" + examples + "/batch\"");
  replace("script_folder \"examples/batch\"", "script_folder \"" + examples + "/batch\"");
  test::write_file(dir.file("all.k3be"), text);

  Result r = kavro({"batch", dir.file("all.k3be")});
  EXPECT_EQ(r.status, kExitOk) << r.out << r.err;
  // The summary is the last line.
  std::size_t summary = r.out.rfind("Batch Export is finished. Total 5 scenes. ( Total Time = ");
  ASSERT_NE(summary, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\n', summary), r.out.size() - 1);
  EXPECT_NE(r.out.find("mark_billboards: 1 node(s) marked\n"), std::string::npos) << r.out;
  for (const char* file : {"robot.imd", "robot_parts.imd", "character.ica", "character.iva",
                           "textured.itp", "textured.ita", "warnings_model.imd"}) {
    EXPECT_TRUE(test::file_exists(dir.file(std::string("out/") + file))) << file;
  }
  // The script marked the lamp before the export.
  std::string robot = test::read_file(dir.file("out/robot.imd"));
  std::size_t lamp = robot.find("name=\"Lamp\"");
  ASSERT_NE(lamp, std::string::npos);
  EXPECT_EQ(robot.find("billboard=\"on\""), robot.find("billboard=\"on\"", lamp));
  std::string log = test::lf(test::read_file(dir.file("all.log")));
  EXPECT_NE(log.find("# scene: robot.kscene (root: head, ARM_L)\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nSuccess ( Warning = 12 )\n\nBatch Export is finished. Total 5 scenes."),
            std::string::npos)
      << log;

  Result missing = kavro({"batch", dir.file("none.k3be")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_EQ(missing.out, "Can't open file: " + dir.file("none.k3be") + "\n");
  EXPECT_EQ(kavro({"batch"}).status, kExitUsage);
  EXPECT_EQ(kavro({"batch", "a.k3be", "--script-timeout", "-1"}).status, kExitUsage);
}

TEST(CliScript, RunsTextsAndFilesOnALoadedScene) {
  test::TempDir dir;
  test::write_file(dir.file("count.lua"), "print(#scene.nodes(), scene.nodes()[1].name)\n");
  std::string robot = source_dir() + "/examples/robot.kscene";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"script", "-e", "print(1 + 1)"}, kExitOk, "2\n"},
      {{"script", "--scene", robot, dir.file("count.lua")}, kExitOk, "9\tBody\n"},
      {{"script", "-e", "\nerror('x')"}, kExitFailed, "-- Error: -e:2: x\n"},
      {{"script", "-e", "scene.nodes()"}, kExitFailed, "-- Error: -e:1: no scene is open\n"},
      {{"script", "--script-timeout", "0.2", "-e", "while true do end"},
       kExitFailed,
       "-- Error: -e was stopped: it ran longer than the limit of 0.2 seconds\n"},
      {{"script", "-e", "print(kvsExport('" + dir.file("none.k3be") + "'))"},
       kExitOk,
       "Can't open file: " + dir.file("none.k3be") + "\nfalse\n"},
      {{"script"}, kExitUsage, ""},
      {{"script", dir.file("count.lua"), "-e", "x"}, kExitUsage, ""},
  };
  for (const Case& c : cases) {
    Result r = kavro(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.back();
  }
  Result bad_scene = kavro({"script", "--scene", dir.file("none.kscene"), "-e", "print(1)"});
  EXPECT_EQ(bad_scene.status, kExitFailed);
  EXPECT_NE(bad_scene.err.find("can't load the scene " + dir.file("none.kscene")),
            std::string::npos);
}

}  // namespace
}  // namespace kavro::cli
