// The batch runner and kvsExport over real scene files, the real exporter
// and Lua scripts: the per-scene sequence, every failure with its message on
// the listener and in the log, the log's blocks, the summary, -root and
// -script, batch mode, and the options saved and restored.
#include "exporter/batch/batch_runner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "exporter/batch/kvs_commands.h"
#include "exporter/kavro_exporter.h"
#include "exporter/ui/settings_file.h"
#include "exporter/ui/user_settings.h"
#include "host/recording_host.h"
#include "host/script_host.h"
#include "tests/fuzz/k3be_check.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

// Body (mesh) > arm (helper); ARM and Lamp at the top. In document order ARM
// comes before arm, in depth-first order after it.
const char* const kScene = R"({"format":"kavro-scene","version":1,"file_name":"box.max",
  "animation_range":[0,10],
  "materials":[{"name":"Paint","class":"kavro_standard"}],
  "nodes":[
   {"id":1,"name":"Body","material":0,"object":{"class":"mesh","mesh":{
     "vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}},
   {"id":3,"name":"ARM"},
   {"id":2,"name":"arm","parent":1},
   {"id":4,"name":"Lamp"}]})";

const char* const kEmptyScene = R"({"format":"kavro-scene","version":1,"nodes":[]})";

struct Outcome {
  bool ok = false;
  std::string listener;
  std::string log;  // with LF line ends; "" when no log was written
  bool log_written = false;
};

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() : session(host), script(host, &session), plugin(host), env(host, session) {
    std::filesystem::create_directories(dir.file("in/sub"));
    std::filesystem::create_directories(dir.file("k3es"));
    std::filesystem::create_directories(dir.file("scripts"));
    test::write_file(dir.file("in/box.kscene"), kScene);
    test::write_file(dir.file("in/other.kscene"), kScene);
    test::write_file(dir.file("in/empty.kscene"), kEmptyScene);
    test::write_file(dir.file("k3es/batch.k3es"),
                     "# KVS_Export settings\r\noutput_imd=\"on\"\r\nmagnify=\"2.0\"\r\n");
    test::write_file(
        dir.file("scripts/mark.lua"),
        "for _, n in ipairs(scene.nodes()) do\n"
        "  if n.name:lower() == 'lamp' then n:set_prop('Kvs_billboard', 'Billboard') end\n"
        "end\nprint('marked')\n");
    test::write_file(dir.file("scripts/hello.lua"), "print('hello')\n");
    test::write_file(dir.file("scripts/bad.lua"), "local x = 1\nerror('nope')\n");
    test::write_file(dir.file("scripts/spin.lua"), "while true do end\n");
    session.RegisterExporter(kKavroExporterClassId, &plugin);
    session.set_loader([this](const std::string& path) {
      ++loads;
      return host::load_scene_file(path);
    });
    env.execute_script = [this](const std::string& command, const std::string& path) {
      return script.execute(command, path);
    };
    env.read_settings = read_settings_file;
    env.clock = [this] {
      std::time_t now = clock_times.empty() ? 1000 : clock_times.front();
      if (clock_times.size() > 1) clock_times.erase(clock_times.begin());
      return now;
    };
    register_kvs_commands(script, env);
    reset_options(current_options(), true);
  }

  // The standard keys with the log named first.
  std::string keys(bool with_log = true) const {
    std::string text = "# KVS_Batch_Export\n";
    if (with_log) text += "log \"" + dir.file("batch.log") + "\"\n";
    text += "input_folder \"" + dir.file("in") + "\"\noutput_folder \"" + dir.file("out") +
            "\"\nk3es_folder \"" + dir.file("k3es") + "\"\nk3es \"batch.k3es\"\n" +
            "script_folder \"" + dir.file("scripts") + "\"\n";
    return text;
  }

  Outcome run(const std::string& description) {
    test::write_file(dir.file("batch.k3be"), description);
    Outcome out;
    out.ok = kvs_export(dir.file("batch.k3be"), env);
    for (const std::string& line : host.listener) out.listener += line;
    out.log_written = test::file_exists(dir.file("batch.log"));
    if (out.log_written) {
      std::string raw = test::read_file(dir.file("batch.log"));
      out.log = test::lf(raw);
      EXPECT_EQ(test::crlf(out.log), raw) << "every log line ends with CR LF";
    }
    return out;
  }

  // The scene block of the log for the standard keys.
  std::string block(int n, const std::string& scene, const std::string& output,
                    const std::string& script_value = "") const {
    std::string b = "[" + std::to_string(n) + "] " + std::string(50, '-') + "\n";
    b += "# input_folder: " + dir.file("in") + "\n# k3es_folder: " + dir.file("k3es") + "\n";
    if (!script_value.empty()) b += "# script_folder: " + dir.file("scripts") + "\n";
    b += "# k3es: batch.k3es\n# scene: " + scene + "\n";
    if (!script_value.empty()) b += "# script: " + script_value + "\n";
    b += "# output_folder: " + dir.file("out") + "\n# output: " + output + "\n";
    return b;
  }

  std::string header() const {
    return "# Log of KVS_Batch_Export\n# user: tester\n# host: testhost\n"
           "# date: 2009-05-28T12:34:56\n# k3be: " +
           dir.file("batch.k3be") + "\n\n";
  }

  std::string announce(int n, const std::string& scene) const {
    return "[" + std::to_string(n) + "] " + std::string(50, '-') +
           "\n# scene: " + dir.file("in/" + scene) + "\n";
  }

  test::TempDir dir;
  host::RecordingHost host;
  host::SceneSession session;
  host::ScriptHost script;
  KavroExporterPlugin plugin;
  BatchEnvironment env;
  std::vector<std::time_t> clock_times;
  int loads = 0;
};

TEST_F(BatchTest, LogOfTwoScenesOneWithTwoWarnings) {
  clock_times = {1000, 1125};
  Outcome r =
      run(keys() +
          "\n# comment line\nunknown_key \"ignored\"\n"
          "scene \"box.kscene\"\n"
          "scene \"box.kscene\" -name \"box_range\" -start \"200\" -end \"150\" -ica \"on\"\n");
  ASSERT_TRUE(r.ok) << r.listener;
  const std::string summary = "Batch Export is finished. Total 2 scenes. ( Total Time = 2:05 )\n";
  EXPECT_EQ(r.log, header() + block(1, "box.kscene", "box.imd") + "\nSuccess ( Warning = 0 )\n\n" +
                       block(2, "box.kscene", "box_range.imd  box_range.ica") +
                       "Warning: Invalid start frame.\nWarning: Invalid end frame.\n\n"
                       "Success ( Warning = 2 )\n\n" +
                       summary);
  EXPECT_EQ(r.listener, announce(1, "box.kscene") + announce(2, "box.kscene") +
                            "[2009-05-28 T12:34:56]\nWarning: Invalid start frame.\n"
                            "Warning: Invalid end frame.\n\n\n" +
                            summary);
  EXPECT_TRUE(test::file_exists(dir.file("out/box.imd")));
  EXPECT_TRUE(test::file_exists(dir.file("out/box_range.ica")));
  EXPECT_EQ(loads, 1) << "the same scene twice without scripts is loaded once";
  EXPECT_TRUE(host.messages.empty()) << "no message box during a batch";
}

TEST_F(BatchTest, SummaryCountsScenesAndSplitsTheTime) {
  struct Case {
    int scenes;
    std::time_t seconds;
    const char* summary;
  } cases[] = {
      {1, 7, "Batch Export is finished. Total 1 scene. ( Total Time = 0:07 )"},
      {2, 125, "Batch Export is finished. Total 2 scenes. ( Total Time = 2:05 )"},
      {1, 3600 + 61, "Batch Export is finished. Total 1 scene. ( Total Time = 61:01 )"},
  };
  for (const Case& c : cases) {
    host.listener.clear();
    clock_times = {5000, 5000 + c.seconds};
    std::string lines = keys(false);
    for (int i = 0; i < c.scenes; ++i)
      lines += "scene \"box.kscene\" -name \"s" + std::to_string(i) + "\"\n";
    Outcome r = run(lines);
    ASSERT_TRUE(r.ok) << r.listener;
    EXPECT_EQ(host.listener.back(), std::string(c.summary) + "\n");
    EXPECT_EQ(batch_summary(c.scenes, c.seconds), c.summary);
  }
}

TEST_F(BatchTest, EveryFailureStopsTheBatchWithItsMessage) {
  const std::string in = dir.file("in");
  struct Case {
    const char* name;
    std::string description;
    std::string message;  // the last listener line
    bool in_log;          // the message is also the last log line
  } cases[] = {
      {"blank first line", "\n" + keys(), "k3be file is wrong", false},
      {"binary garbage", std::string("\x00\xff\x13\x80garbage", 11), "k3be file is wrong", false},
      {"empty file", "", "k3be file is wrong", false},
      {"empty log value", "# KVS_Batch_Export\nlog \"\"\n", "\"log\" is wrong", false},
      {"log that cannot be created",
       "# KVS_Batch_Export\nlog \"" + dir.file("no/such/x.log") + "\"\n",
       "Can't open file: " + dir.file("no/such/x.log"), false},
      {"scene before k3es",
       "# KVS_Batch_Export\nlog \"" + dir.file("batch.log") + "\"\ninput_folder \"" + in +
           "\"\noutput_folder \"" + dir.file("out") + "\"\nk3es_folder \"" + dir.file("k3es") +
           "\"\nscene \"box.kscene\"\n",
       "\"k3es\" is not specified", true},
      {"scene before anything", "# KVS_Batch_Export\nscene \"box.kscene\"\n",
       "\"input_folder\" is not specified", false},
      {"missing input folder", keys() + "input_folder \"" + in + "/nope\"\n",
       "\"input_folder\" is wrong: " + in + "/nope", true},
      {"output folder two levels below a missing one",
       keys() + "output_folder \"" + dir.file("a/b") + "\"\n",
       "\"output_folder\" is wrong: " + dir.file("a/b"), true},
      {"missing k3es folder", keys() + "k3es_folder \"" + dir.file("nope") + "\"\n",
       "\"k3es_folder\" is wrong: " + dir.file("nope"), true},
      {"missing script folder", keys() + "script_folder \"" + dir.file("nope") + "\"\n",
       "\"script_folder\" is wrong: " + dir.file("nope"), true},
      {"settings file missing", keys() + "k3es \"none.k3es\"\nscene \"box.kscene\"\n",
       "\"k3es\" is wrong: none.k3es", true},
      {"scene that fails to load", keys() + "scene \"missing.kscene\"\n",
       "\"scene\" is wrong: missing.kscene", true},
      {"no scene line", keys(), "\"scene\" is not specified", true},
      {"unterminated quote", keys() + "scene \"box.kscene\" -name \"box\n",
       "\"-name\" is wrong (value has no closing quote): box", true},
      {"unterminated key value", keys() + "input_folder \"" + in + "\n",
       "\"input_folder\" is wrong (value has no closing quote): " + in, true},
      {"bad option", keys() + "scene \"box.kscene\" -frame_step \"8\"\n",
       "\"-frame_step\" is wrong: 8", true},
      {"script not found", keys() + "scene \"box.kscene\" -script \"none.lua\"\n",
       "Script is not found: " + dir.file("scripts/none.lua"), true},
      {"script raising an error", keys() + "scene \"box.kscene\" -script \"bad.lua\"\n",
       "Script error: " + dir.file("scripts/bad.lua"), true},
      {"script looping for ever", keys() + "scene \"box.kscene\" -script \"spin.lua\"\n",
       "Script error: " + dir.file("scripts/spin.lua"), true},
      {"unknown root", keys() + "scene \"box.kscene\" -root \"Body, Nope \"\n",
       "Node is not found: Nope", true},
      {"export that fails", keys() + "scene \"empty.kscene\"\n", "Failed to export", false},
  };
  script.set_timeout(0.2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.listener.clear();
    std::filesystem::remove(dir.file("batch.log"));
    ExportOptions& o = current_options();
    o.magnify = 7.5f;
    set_text_field(o.output_file_name, "mine");
    ExportOptions before = o;
    Outcome r = run(c.description);
    EXPECT_FALSE(r.ok);
    ASSERT_FALSE(host.listener.empty());
    EXPECT_EQ(host.listener.back(), c.message + "\n");
    if (c.in_log) {
      EXPECT_GE(r.log.size(), c.message.size() + 1);
      EXPECT_EQ(r.log.substr(r.log.size() - c.message.size() - 1), c.message + "\n");
    } else if (r.log_written) {
      EXPECT_EQ(r.log.find(c.message), std::string::npos);
    }
    EXPECT_EQ(r.listener.find("Batch Export is finished"), std::string::npos);
    EXPECT_EQ(std::memcmp(&before, &current_options(), sizeof before), 0) << "options restored";
  }
}

TEST_F(BatchTest, ScriptErrorsAndRunawayScriptsAreNamedOnTheListener) {
  script.set_timeout(0.2);
  Outcome bad = run(keys(false) + "scene \"box.kscene\" -script \"bad.lua\"\n");
  EXPECT_NE(bad.listener.find("-- Error: " + dir.file("scripts/bad.lua") + ":2: nope\n"),
            std::string::npos)
      << bad.listener;
  host.listener.clear();
  Outcome spin = run(keys(false) + "scene \"box.kscene\" -script \"spin.lua\"\n");
  EXPECT_NE(spin.listener.find(dir.file("scripts/spin.lua") + " was stopped: it ran longer than "
                                                              "the limit of 0.2 seconds"),
            std::string::npos)
      << spin.listener;
}

TEST_F(BatchTest, FilesOfScenesExportedBeforeAFailureStay) {
  Outcome r = run(keys() +
                  "scene \"box.kscene\" -name \"first\"\nscene \"missing.kscene\"\n"
                  "scene \"box.kscene\" -name \"third\"\n");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(test::file_exists(dir.file("out/first.imd")));
  EXPECT_FALSE(test::file_exists(dir.file("out/third.imd")));
  EXPECT_EQ(r.log, header() + block(1, "box.kscene", "first.imd") +
                       "\nSuccess ( Warning = 0 )\n\n\"scene\" is wrong: missing.kscene\n");
}

TEST_F(BatchTest, ErrorsOfTheExportBecomeErrorLinesInBatchMode) {
  Outcome r = run(keys() + "scene \"empty.kscene\"\n");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(r.listener,
            announce(1, "empty.kscene") + "Error: No nodes in the scene\nFailed to export\n");
  EXPECT_EQ(r.log,
            header() + block(1, "empty.kscene", "empty.imd") + "Error: No nodes in the scene\n\n");
  EXPECT_FALSE(host.batch_running());
}

TEST_F(BatchTest, RootSelectsTheFirstNodeInDepthFirstOrderIgnoringCase) {
  struct Case {
    const char* root;
    std::vector<int> selection;  // node ids
  } cases[] = {
      {"Arm", {2}},  // arm (below Body) comes before ARM
      {"ARM", {2}},
      {" lamp , BODY", {4, 1}},  // the first name replaces the selection
      {" , ", {}},               // no names: the whole scene
  };
  for (const Case& c : cases) {
    Outcome r = run(keys(false) + "scene \"box.kscene\" -root \"" + c.root + "\"\n");
    ASSERT_TRUE(r.ok) << c.root << "\n" << r.listener;
    if (c.selection.empty()) {
      EXPECT_EQ(session.scene().selection, std::vector<int>{}) << "the loaded scene's own";
    } else {
      EXPECT_EQ(session.scene().selection, c.selection) << c.root;
    }
  }
}

TEST_F(BatchTest, ScriptsRunInOrderSkippingEmptyPiecesAndForceAReload) {
  Outcome r = run(keys() +
                  "scene \"box.kscene\" -script \" mark.lua , ,, hello.lua\t\"\n"
                  "scene \"box.kscene\" -name \"again\"\n"
                  "scene \"box.kscene\" -name \"third\"\n");
  ASSERT_TRUE(r.ok) << r.listener;
  EXPECT_NE(r.listener.find("# scene: " + dir.file("in/box.kscene") + "\nmarked\nhello\n[2]"),
            std::string::npos)
      << r.listener;
  EXPECT_EQ(loads, 2) << "the line after one with -script reloads; the next does not";
  EXPECT_NE(r.log.find(block(1, "box.kscene", "box.imd", " mark.lua , ,, hello.lua\t")),
            std::string::npos)
      << r.log;
}

TEST_F(BatchTest, ScriptsChangeTheSceneThatIsExported) {
  Outcome r = run(keys(false) + "scene \"box.kscene\" -script \"mark.lua\"\n");
  ASSERT_TRUE(r.ok) << r.listener;
  const doc::Node& lamp = session.scene().nodes[3];
  ASSERT_EQ(lamp.user_properties.size(), 1u);
  EXPECT_EQ(lamp.user_properties[0].text, "Billboard");
}

TEST_F(BatchTest, LogKeyAfterAFolderIsIgnoredAndWithoutLogOnlyTheFilesAreWritten) {
  std::string late_log = "# KVS_Batch_Export\ninput_folder \"" + dir.file("in") + "\"\nlog \"" +
                         dir.file("batch.log") + "\"\n" + keys(false).substr(19) +
                         "scene \"box.kscene\"\n";
  Outcome r = run(late_log);
  ASSERT_TRUE(r.ok) << r.listener;
  EXPECT_FALSE(r.log_written);
  std::vector<std::string> written;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (e.path().parent_path() == std::filesystem::path(dir.file("out"))) {
      written.push_back(e.path().filename().string());
    }
  }
  EXPECT_EQ(written, std::vector<std::string>{"box.imd"});
}

TEST_F(BatchTest, FoldersWithBackslashesAndTrailingSeparatorsAndANewOutputFolder) {
  auto backslashed = [](std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path + "\\";
  };
  std::string text = "# KVS_Batch_Export\ninput_folder \"" + backslashed(dir.file("in")) +
                     "\"\noutput_folder \"" + dir.file("fresh") + "//\"\nk3es_folder \"" +
                     backslashed(dir.file("k3es")) +
                     "\"\nk3es \"batch.k3es\"\n"
                     "scene \"box.kscene\" -imd \"off\" -ica \"on\"\n";
  Outcome r = run(text);
  ASSERT_TRUE(r.ok) << r.listener;
  EXPECT_NE(r.listener.find("# scene: " + dir.file("in") + "/box.kscene\n"), std::string::npos);
  EXPECT_TRUE(test::file_exists(dir.file("fresh/box.ica")));
  EXPECT_FALSE(test::file_exists(dir.file("fresh/box.imd")));
}

TEST_F(BatchTest, OptionsAreTheUsersAgainAfterABatch) {
  ExportOptions& o = current_options();
  o.magnify = 3.0f;
  o.output_ica = 1;
  o.compress_node = CompressNode::kMerge;
  set_text_field(o.output_file_name, "users_name");
  set_text_field(o.output_folder, "/users/folder");
  ExportOptions before = o;
  Outcome r = run(keys() + "scene \"box.kscene\" -start \"1\" -end \"5\" -name \"other\"\n");
  ASSERT_TRUE(r.ok) << r.listener;
  EXPECT_EQ(std::memcmp(&before, &current_options(), sizeof before), 0);
}

TEST_F(BatchTest, KvsExportCommandInTheScriptLanguage) {
  test::write_file(dir.file("batch.k3be"), keys(false) + "scene \"box.kscene\"\n");
  struct Case {
    std::string text;
    std::string listener_end;
  } cases[] = {
      {"print(kvsExport('" + dir.file("batch.k3be") + "'))", "( Total Time = 0:00 )\ntrue\n"},
      {"print(kvsExport('" + dir.file("none.k3be") + "'))",
       "Can't open file: " + dir.file("none.k3be") + "\nfalse\n"},
      {"kvsExport('a', 'b')",
       "-- Error: t:1: wrong number of arguments to 'kvsExport' (1 expected, got 2)\n"},
      {"kvsExport()",
       "-- Error: t:1: wrong number of arguments to 'kvsExport' (1 expected, got 0)\n"},
      {"kvsExport(42)", "-- Error: t:1: type error: kvsExport <k3be_file> expected, got number\n"},
  };
  for (const Case& c : cases) {
    host.listener.clear();
    script.execute(c.text, "t");
    std::string all;
    for (const std::string& l : host.listener) all += l;
    ASSERT_GE(all.size(), c.listener_end.size()) << c.text << "\n" << all;
    EXPECT_EQ(all.substr(all.size() - c.listener_end.size()), c.listener_end) << c.text;
  }
  // A batch script that starts a batch is told that one is running.
  test::write_file(dir.file("scripts/nested.lua"),
                   "print(kvsExport('" + dir.file("batch.k3be") + "'))\n");
  host.listener.clear();
  Outcome nested = run(keys(false) + "scene \"box.kscene\" -script \"nested.lua\"\n");
  EXPECT_TRUE(nested.ok) << nested.listener;
  EXPECT_NE(nested.listener.find("kvsExport: a batch is already running\nfalse\n"),
            std::string::npos)
      << nested.listener;
  host.messages.clear();
  EXPECT_TRUE(script.execute("kvsAbout()"));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("MERIDANE KAVRO-System Plugin for 3ds Max 2008", 0), 0u);
}

// The kept fuzz corpus: the syntax properties hold, and the runner reads
// every file to a clean failure or success without touching the options.
TEST(BatchCorpus, EveryKeptInputRunsCleanly) {
  const char* source = std::getenv("KAVRO_SOURCE_DIR");
  std::filesystem::path corpus =
      std::filesystem::path(source != nullptr ? source : "..") / "tests/fuzz/corpus/k3be";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().string());
    std::string text = test::read_file(entry.path().string());
    fuzz::check_k3be_text(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    host::RecordingHost host;
    host::SceneSession session(host);
    BatchEnvironment env(host, session);
    env.read_settings = read_settings_file;
    ExportOptions before = current_options();
    EXPECT_FALSE(kvs_export(entry.path().string(), env));
    EXPECT_FALSE(host.listener.empty());
    EXPECT_EQ(std::memcmp(&before, &current_options(), sizeof before), 0);
    ++files;
  }
  EXPECT_GE(files, 6);
}

TEST(BatchHelpers, FileInCommandEscapesWhatLuaWouldRead) {
  EXPECT_EQ(file_in_command("/s/a.lua"), "fileIn \"/s/a.lua\"");
  EXPECT_EQ(file_in_command("C:\\s\\\"q\".lua"), "fileIn \"C:\\\\s\\\\\\\"q\\\".lua\"");
  EXPECT_EQ(file_in_command("/s/\x95\x5C.lua"), "fileIn \"/s/\x95\\\\.lua\"");
}

}  // namespace
}  // namespace kavro
