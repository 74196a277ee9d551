// `kavro batch` and `kavro script`: exit statuses, the listener on standard
// output, and the example batch with its script.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

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
  std::size_t summary = r.out.rfind("Batch Export is finished. Total 7 scenes. ( Total Time = ");
  ASSERT_NE(summary, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\n', summary), r.out.size() - 1);
  EXPECT_NE(r.out.find("mark_billboards: 1 node(s) marked\n"), std::string::npos) << r.out;
  for (const char* file :
       {"robot.imd", "robot_parts.imd", "character.ica", "character.iva", "textured.itp",
        "textured.ita", "warnings_model.imd", "walker.ica", "kiosk.imd"}) {
    EXPECT_TRUE(test::file_exists(dir.file(std::string("out/") + file))) << file;
  }
  // The script marked the lamp before the export.
  std::string robot = test::read_file(dir.file("out/robot.imd"));
  std::size_t lamp = robot.find("name=\"Lamp\"");
  ASSERT_NE(lamp, std::string::npos);
  EXPECT_EQ(robot.find("billboard=\"on\""), robot.find("billboard=\"on\"", lamp));
  std::string log = test::lf(test::read_file(dir.file("all.log")));
  EXPECT_NE(log.find("# scene: robot.kscene (root: head, ARM_L)\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nSuccess ( Warning = 12 )\n\n[6] ---"), std::string::npos) << log;

  Result missing = kavro({"batch", dir.file("none.k3be")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_EQ(missing.out, "Can't open file: " + dir.file("none.k3be") + "\n");
  EXPECT_EQ(kavro({"batch"}).status, kExitUsage);
  EXPECT_EQ(kavro({"batch", "a.k3be", "--script-timeout", "-1"}).status, kExitUsage);
}

// Fixes the dates of written files for the life of the object.
struct FixedDates {
  FixedDates() { ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1); }
  ~FixedDates() { ::unsetenv("SOURCE_DATE_EPOCH"); }
};

// The built program beside this test program.
std::string kavro_program() {
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "cli" / "kavro").string();
}

std::vector<std::string> lines_with(const std::string& text, const std::string& needle) {
  std::vector<std::string> found;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.find(needle) != std::string::npos) found.push_back(line);
    start = end + 1;
  }
  return found;
}

// A batch as a Ninja build: the same files as the sequential run, byte for
// byte (options carried from line to line included), and after a texture
// changes only the scene lines that read it run again.
TEST(CliBatch, NinjaBuildsWhatTheBatchWritesAndRebuildsOnlyChangedScenes) {
  test::TempDir dir;
  FixedDates dates;
  std::filesystem::copy(source_dir() + "/examples", dir.file("in"),
                        std::filesystem::copy_options::recursive);
  auto description = [&](const std::string& out) {
    return "# KVS_Batch_Export\ninput_folder \"" + dir.file("in") + "\"\noutput_folder \"" +
           dir.file(out) + "\"\nk3es_folder \"" + dir.file("in/batch") +
           "\"\nk3es \"examples.k3es\"\nscript_folder \"" + dir.file("in/batch") +
           "\"\n"
           "scene \"robot.kscene\" -script \"mark_billboards.lua\"\n"
           "scene \"robot.kscene\" -name \"parts\" -root \"head\"\n"
           "scene \"textured.kscene\" -ica \"on\" -tolerance_r \"0.5\"\n"
           "scene \"textured.kscene\" -name \"textured2\" -ica \"on\"\n";
  };
  test::write_file(dir.file("seq.k3be"), description("seq"));
  test::write_file(dir.file("nin.k3be"), description("nin"));
  ASSERT_EQ(kavro({"batch", "-q", dir.file("seq.k3be")}).status, kExitOk);
  Result gen = kavro({"batch", dir.file("nin.k3be"), "--ninja", dir.file("build.ninja"), "--kavro",
                      kavro_program()});
  ASSERT_EQ(gen.status, kExitOk) << gen.out << gen.err;

  std::string ninja = "ninja -C " + dir.path() + " -f build.ninja";
  ASSERT_EQ(std::system((ninja + " > " + dir.file("ninja1.txt") + " 2>&1").c_str()), 0)
      << test::read_file(dir.file("ninja1.txt"));
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("seq"))) {
    std::string name = entry.path().filename().string();
    EXPECT_EQ(test::read_file(entry.path().string()), test::read_file(dir.file("nin/" + name)))
        << name;
    ++compared;
  }
  EXPECT_EQ(compared, 6);  // robot, parts, textured and textured2 with their ica

  ASSERT_EQ(std::system((ninja + " -n > " + dir.file("ninja2.txt") + " 2>&1").c_str()), 0);
  EXPECT_NE(test::read_file(dir.file("ninja2.txt")).find("no work to do"), std::string::npos);
  auto later =
      std::filesystem::last_write_time(dir.file("nin/textured.imd")) + std::chrono::seconds(5);
  std::filesystem::last_write_time(dir.file("in/maps/water.tga"), later);
  ASSERT_EQ(std::system((ninja + " > " + dir.file("ninja3.txt") + " 2>&1").c_str()), 0);
  std::string rebuilt = test::read_file(dir.file("ninja3.txt"));
  std::vector<std::string> edges = lines_with(rebuilt, "EXPORT");
  ASSERT_EQ(edges.size(), 2u) << rebuilt;
  for (const std::string& edge : edges) {
    EXPECT_NE(edge.find("textured.kscene"), std::string::npos) << edge;
  }
}

// --jobs: the listener, the log and the files are those of one process, in
// file order, also when a line fails.
TEST(CliBatch, JobsWriteWhatOneProcessWrites) {
  test::TempDir dir;
  FixedDates dates;
  std::string examples = source_dir() + "/examples";
  auto description = [&](const std::string& out, const std::string& third) {
    return "# KVS_Batch_Export\nlog \"" + dir.file(out + ".log") + "\"\ninput_folder \"" +
           examples + "\"\noutput_folder \"" + dir.file(out) + "\"\nk3es_folder \"" + examples +
           "/batch\"\nk3es \"examples.k3es\"\nscript_folder \"" + examples +
           "/batch\"\n"
           "scene \"robot.kscene\" -script \"mark_billboards.lua\"\n"
           "scene \"robot.kscene\" -name \"parts\" -root \"head\"\n"
           "scene \"" +
           third +
           "\" -ica \"on\" -tolerance_r \"0.5\"\n"
           "scene \"textured.kscene\" -name \"textured2\" -ica \"on\"\n"
           "scene \"warnings.kscene\"\n";
  };
  for (const char* third : {"textured.kscene", "missing.kscene"}) {
    SCOPED_TRACE(third);
    test::write_file(dir.file("seq.k3be"), description("seq", third));
    test::write_file(dir.file("par.k3be"), description("par", third));
    Result seq = kavro({"batch", dir.file("seq.k3be")});
    Result par = kavro({"batch", dir.file("par.k3be"), "--jobs", "3", "--kavro", kavro_program()});
    EXPECT_EQ(par.status, seq.status) << par.err;
    auto same_text = [&](std::string text) {
      for (std::size_t at; (at = text.find("/seq")) != std::string::npos;)
        text.replace(at, 4, "/par");
      return text;
    };
    EXPECT_EQ(same_text(seq.out), par.out);
    EXPECT_EQ(same_text(test::read_file(dir.file("seq.log"))),
              test::read_file(dir.file("par.log")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("seq"))) {
      std::string name = entry.path().filename().string();
      EXPECT_EQ(test::read_file(entry.path().string()), test::read_file(dir.file("par/" + name)))
          << name;
    }
    std::filesystem::remove_all(dir.file("seq"));
    std::filesystem::remove_all(dir.file("par"));
  }
}

TEST(CliExport, DepfileListsTheSceneAndEveryBitmapItRead) {
  test::TempDir dir;
  std::string scene = source_dir() + "/examples/textured.kscene";
  Result r = kavro({"export", "-q", "--set", "output_itp=on", "--depfile", dir.file("t.d"), scene,
                    dir.file("t.imd")});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  std::string dep = test::read_file(dir.file("t.d"));
  EXPECT_EQ(
      dep.rfind(dir.file("t.imd") + " " + dir.file("t.itp") + ": \\\n  " + scene + " \\\n", 0), 0u)
      << dep;
  for (const char* map : {"walk.ifl", "walk01.tga", "walk03.tga", "checker.tga", "glass.png",
                          "water.tga", "stone_cmp.tga", "face_smile.tga"}) {
    EXPECT_NE(dep.find("/maps/" + std::string(map)), std::string::npos) << map;
  }
  EXPECT_EQ(dep.find('\r'), std::string::npos);
  // No depfile for a failed export.
  EXPECT_EQ(kavro({"export", "-q", "--depfile", dir.file("u.d"), dir.file("none.kscene"),
                   dir.file("u.imd")})
                .status,
            kExitFailed);
  EXPECT_FALSE(test::file_exists(dir.file("u.d")));
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
