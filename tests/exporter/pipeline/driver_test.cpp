#include "exporter/pipeline/driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <limits>
#include <memory>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/prepared_scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

// Records each call; optionally writes a small file through the usual open.
class FakeWriter : public OutputWriter {
 public:
  FakeWriter(std::string kind, std::vector<std::string>& log) : kind_(std::move(kind)), log_(log) {}
  bool write(const ExportScene& s, ExportLog& run, const std::string& path) override {
    log_.push_back(kind_ + " " + path);
    start = s.start_frame;
    end = s.end_frame;
    frames = s.frame_count;
    stages = run.stage_count;
    if (fail) return false;
    if (!touch_file) return true;
    OutputFile f;
    if (!open_for_export(run, f, path)) return false;
    f.write(kind_ + "\n");
    return commit_export(run, f);
  }
  bool fail = false;
  bool touch_file = true;
  int start = -1, end = -1, frames = -1, stages = -1;

 private:
  std::string kind_;
  std::vector<std::string>& log_;
};

// A dialog stage that only passes the host's scripted answer on.
struct AnsweringDialog : OptionsDialogStage {
  explicit AnsweringDialog(host::Host& h) : host(h) {}
  host::DialogResult show(KavroExporter&, SceneExtraction&) override {
    struct Empty : host::DialogModel {
      std::string text;
      std::vector<host::DialogControl> none;
      std::vector<host::Menu> no_menus;
      const std::string& caption() const override { return text; }
      const std::vector<host::DialogControl>& controls() const override { return none; }
      const std::vector<host::Menu>& menus() const override { return no_menus; }
      host::Rect open(const host::Rect& r, const host::Rect&, int, int) override { return r; }
      void moved(const host::Rect&) override {}
      void click(int) override {}
      void choose(int, int) override {}
      void edit(int, const std::string&) override {}
      void command(int) override {}
      void close() override {}
      void client_resized(int, int, const host::DialogMetrics&) override {}
      void scroll(host::ScrollBar, host::ScrollAction, int) override {}
      host::ScrollInfo scroll_info(host::ScrollBar) const override { return {}; }
      bool closed() const override { return true; }
      host::DialogResult result() const override { return host::DialogResult::kCancel; }
    } model;
    return host.show_dialog(model);
  }
  host::Host& host;
};

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() {
    stages.dialog = &dialog;
    const char* names[] = {"imd", "ica", "iva", "ima", "ita", "itp", "isd"};
    for (int k = 0; k < kOutputKinds; ++k) {
      writers.push_back(std::make_unique<FakeWriter>(names[k], log));
      stages.writers[k] = writers.back().get();
    }
    scene.nodes.push_back(test::make_node(1, "root"));
    scene.range = {0, 100 * 160, 160};
    scene.file_name = "robot.max";
  }

  FakeWriter& writer(int kind) { return *writers[kind]; }

  // Runs one export with the given option bits; `set` adjusts the options.
  int run(const std::function<void(ExportOptions&)>& set, unsigned bits = 0,
          const std::string& name = "") {
    KavroExporter exporter(host, stages);
    ExportOptions& o = current_options();
    set_text_field(o.output_folder, dir.path());
    set_text_field(o.output_file_name, "robot");
    set(o);
    std::string target = name.empty() ? dir.file("robot.imd") : name;
    return exporter.DoExport(target, scene, true, bits);
  }

  test::TempDir dir;
  host::RecordingHost host;
  AnsweringDialog dialog{host};
  std::vector<std::string> log;
  std::vector<std::unique_ptr<FakeWriter>> writers;
  Stages stages;
  PreparedScene scene;
};

void all_outputs(ExportOptions& o) {
  o.output_imd = o.output_ica = o.output_iva = o.output_ima = o.output_itp = o.output_ita =
      o.output_isd = 1;
}

TEST_F(DriverTest, WritesEverySelectedKindInOrderBesideTheModel) {
  EXPECT_EQ(run(all_outputs), 1);
  std::string base = dir.file("robot.");
  std::vector<std::string> expected = {
      "imd " + base + "imd", "ica " + base + "ica", "iva " + base + "iva", "ima " + base + "ima",
      "ita " + base + "ita", "itp " + base + "itp", "isd " + base + "isd"};
  EXPECT_EQ(log, expected);
  EXPECT_TRUE(host.questions.empty());  // File > Export asks nothing
}

// The preparation steps run once each, after processing and before any
// writer, and only in runs that write a file that needs them: the geometry
// for the model file, the texture conversion for the model file and the
// texture pattern file.
TEST_F(DriverTest, PreparationStepsRunBeforeTheWritersOfTheFilesThatNeedThem) {
  struct Steps : GeometryPreparation, TextureConversion {
    explicit Steps(std::vector<std::string>& l) : log(l) {}
    void prepare(ExportScene&) override { log.push_back("prepare"); }
    void convert(ExportScene&) override { log.push_back("convert"); }
    std::vector<std::string>& log;
  } steps{log};
  stages.preparation = &steps;
  stages.texture_conversion = &steps;
  struct Case {
    int imd, ica, itp;
    std::vector<std::string> calls;  // the steps, then each writer's kind
  };
  const Case cases[] = {
      {1, 1, 0, {"prepare", "convert", "imd", "ica"}},
      {0, 1, 0, {"ica"}},
      {0, 0, 1, {"convert", "itp"}},
      {1, 0, 1, {"prepare", "convert", "imd", "itp"}},
  };
  for (const Case& c : cases) {
    log.clear();
    EXPECT_EQ(run([&](ExportOptions& o) {
                o.output_imd = c.imd;
                o.output_ica = c.ica;
                o.output_itp = c.itp;
              }),
              1);
    std::vector<std::string> calls;
    for (const std::string& entry : log) calls.push_back(entry.substr(0, entry.find(' ')));
    EXPECT_EQ(calls, c.calls) << c.imd << c.ica << c.itp;
  }
}

TEST_F(DriverTest, FileExportTakesNameAndFolderFromThePath) {
  writer(kOutImd).touch_file = false;
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.DoExport("D:\\work\\robot.imd", scene, true, 0), 1);
  EXPECT_STREQ(exporter.working_options().output_file_name, "robot");
  EXPECT_STREQ(exporter.working_options().output_folder, "D:/work");
  EXPECT_EQ(log, std::vector<std::string>{"imd D:/work/robot.imd"});
  // A name without a folder gives an empty folder: the current folder.
  log.clear();
  EXPECT_EQ(exporter.DoExport("hero.imd", scene, true, 0), 1);
  EXPECT_STREQ(exporter.working_options().output_folder, "");
  EXPECT_EQ(log, std::vector<std::string>{"imd hero.imd"});
}

TEST_F(DriverTest, RangeOutsideTheSceneIsClampedWithBothWarnings) {
  EXPECT_EQ(run([](ExportOptions& o) {
              o.frame_range = FrameRange::kRange;
              o.start_frame = 200;
              o.end_frame = 150;
            }),
            1);
  EXPECT_EQ(writer(kOutImd).start, 100);
  EXPECT_EQ(writer(kOutImd).end, 100);
  EXPECT_EQ(writer(kOutImd).frames, 1);
  ASSERT_EQ(host.listener.size(), 4u);
  EXPECT_EQ(host.listener[0], "[2009-05-28 T12:34:56]\n");
  EXPECT_EQ(host.listener[1], "Warning: Invalid start frame.\n");
  EXPECT_EQ(host.listener[2], "Warning: Invalid end frame.\n");
  EXPECT_EQ(host.listener[3], "\n\n");
  EXPECT_EQ(host.listener_shown, 1);
}

TEST_F(DriverTest, RangeInsideTheSceneAndTheWholeRange) {
  EXPECT_EQ(run([](ExportOptions& o) {
              o.frame_range = FrameRange::kRange;
              o.start_frame = 10;
              o.end_frame = 20;
            }),
            1);
  EXPECT_EQ(writer(kOutImd).start, 10);
  EXPECT_EQ(writer(kOutImd).frames, 11);
  EXPECT_TRUE(host.listener.empty());

  scene.range = {-10 * 160, 30 * 160 + 159, 160};  // the last frame is whole ticks / 160
  EXPECT_EQ(run([](ExportOptions& o) {
              o.frame_range = FrameRange::kRange;
              o.start_frame = -20;  // before the scene: start warning
              o.end_frame = 5;
            }),
            1);
  EXPECT_EQ(writer(kOutImd).start, -10);
  EXPECT_EQ(writer(kOutImd).end, 5);
  ASSERT_EQ(host.listener.size(), 3u);
  EXPECT_EQ(host.listener[1], "Warning: Invalid start frame.\n");

  host.listener.clear();
  EXPECT_EQ(run([](ExportOptions& o) { o.frame_range = FrameRange::kAll; }), 1);
  EXPECT_EQ(writer(kOutImd).start, -10);
  EXPECT_EQ(writer(kOutImd).end, 30);
  EXPECT_EQ(writer(kOutImd).frames, 41);
}

TEST_F(DriverTest, EndBeforeStartInsideTheSceneMovesTheStart) {
  EXPECT_EQ(run([](ExportOptions& o) {
              o.frame_range = FrameRange::kRange;
              o.start_frame = 50;
              o.end_frame = 40;
            }),
            1);
  EXPECT_EQ(writer(kOutImd).start, 40);
  EXPECT_EQ(writer(kOutImd).end, 40);
  ASSERT_EQ(host.listener.size(), 3u);
  EXPECT_EQ(host.listener[1], "Warning: Invalid end frame.\n");
}

TEST_F(DriverTest, StageCountFollowsTheOptions) {
  run([](ExportOptions& o) {
    o.output_ica = 1;
    o.compress_node = CompressNode::kMerge;
    o.use_primitive_strip = 1;
  });
  EXPECT_EQ(writer(kOutImd).stages, 7 + 9 + 3 + 2 + 1);
  run([](ExportOptions& o) {
    o.output_imd = 0;
    o.output_isd = 1;
    o.output_iva = 1;
    o.compress_node = CompressNode::kUnite;
    o.use_primitive_strip = 0;
  });
  EXPECT_EQ(writer(kOutIva).stages, 7 + 3 + 2 + 1);
}

class OverwriteTest : public DriverTest {
 protected:
  void make_existing() {
    for (const char* ext : {"imd", "ica", "iva", "ima", "ita", "itp", "isd"}) {
      test::write_file(dir.file(std::string("robot.") + ext), "old");
    }
  }
  std::vector<std::string> written() const {
    std::vector<std::string> kinds;
    for (const std::string& entry : log) kinds.push_back(entry.substr(0, 3));
    return kinds;
  }
};

TEST_F(OverwriteTest, NoSkipsOneKindAndTheRestAreStillWritten) {
  make_existing();
  host.overwrite_answers = {host::OverwriteAnswer::kYes, host::OverwriteAnswer::kNo};
  EXPECT_EQ(run(all_outputs, kExportPlaceholderName, "C:\\test.imd"), 1);
  EXPECT_EQ(written(), (std::vector<std::string>{"imd", "iva", "ima", "ita", "itp", "isd"}));
  EXPECT_EQ(host.questions.size(), 7u);
  EXPECT_EQ(test::read_file(dir.file("robot.ica")), "old");
}

TEST_F(OverwriteTest, CancelStopsAndCountsAsSuccess) {
  make_existing();
  host.overwrite_answers = {host::OverwriteAnswer::kYes, host::OverwriteAnswer::kCancel};
  EXPECT_EQ(run(all_outputs, kExportPlaceholderName, "C:\\test.imd"), 1);
  EXPECT_EQ(written(), std::vector<std::string>{"imd"});
  EXPECT_EQ(test::read_file(dir.file("robot.iva")), "old");
}

TEST_F(OverwriteTest, YesToAllSilencesTheRestOfTheRun) {
  make_existing();
  host.overwrite_answers = {host::OverwriteAnswer::kYesToAll, host::OverwriteAnswer::kNo};
  EXPECT_EQ(run(all_outputs, kExportPlaceholderName, "C:\\test.imd"), 1);
  EXPECT_EQ(written().size(), 7u);
  EXPECT_EQ(host.questions, std::vector<std::string>{dir.file("robot.imd")});
}

TEST_F(OverwriteTest, OnlyExistingFilesAreAskedAbout) {
  test::write_file(dir.file("robot.ica"), "old");
  host.overwrite_answers = {host::OverwriteAnswer::kNo};
  EXPECT_EQ(run(all_outputs, kExportPlaceholderName, "C:\\test.imd"), 1);
  EXPECT_EQ(host.questions, std::vector<std::string>{dir.file("robot.ica")});
  EXPECT_EQ(written(), (std::vector<std::string>{"imd", "iva", "ima", "ita", "itp", "isd"}));
}

TEST_F(OverwriteTest, NoQuestionsInABatchOrWithoutThePlaceholderBit) {
  make_existing();
  host.set_batch_running(true);
  EXPECT_EQ(run(all_outputs, kExportPlaceholderName, "C:\\dummy.imd"), 1);
  host.set_batch_running(false);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(written().size(), 7u);
  ASSERT_EQ(host.batch_results.size(), 1u);
  EXPECT_TRUE(host.batch_results[0].second);
  log.clear();
  EXPECT_EQ(run(all_outputs), 1);
  EXPECT_TRUE(host.questions.empty());
}

TEST_F(DriverTest, ReadOnlyTargetIsWarnedAboutAndTheExportFails) {
  std::string path = dir.file("robot.imd");
  test::write_file(path, "old");
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(run([](ExportOptions&) {}), 0);
  EXPECT_EQ(test::read_file(path), "old");
  ASSERT_EQ(host.listener.size(), 3u);
  EXPECT_EQ(host.listener[1], "Warning: Can't write to read-only file. " + path + "\n");
}

TEST_F(DriverTest, AFailingWriterStopsTheRunButEarlierFilesStay) {
  writer(kOutIva).fail = true;
  EXPECT_EQ(run(all_outputs), 0);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_TRUE(test::file_exists(dir.file("robot.ica")));
  EXPECT_FALSE(test::file_exists(dir.file("robot.ima")));
}

// A write failure names the file, the reason and the files this run wrote
// before it; those stay, the run stops and fails.
TEST_F(DriverTest, AWriteFailureNamesTheFileAndTheFilesAlreadyWritten) {
  std::filesystem::create_directories(dir.file("robot.iva"));
  EXPECT_EQ(run(all_outputs), 0);
  EXPECT_EQ(log.size(), 3u);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Can't write file " + dir.file("robot.iva") +
                                       ": Is a directory; already written: " +
                                       dir.file("robot.imd") + ", " + dir.file("robot.ica"));
  EXPECT_EQ(host.messages[0].caption, "Export Error");
  EXPECT_EQ(test::read_file(dir.file("robot.imd")), "imd\r\n");
  EXPECT_EQ(test::read_file(dir.file("robot.ica")), "ica\r\n");
  EXPECT_FALSE(test::file_exists(dir.file("robot.ima")));

  // The first file of a run into a missing folder names only the reason.
  host.messages.clear();
  log.clear();
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.DoExport(dir.file("gone/hero.imd"), scene, true, 0), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "Can't write file " + dir.file("gone/hero.imd") + ": No such file or directory");
}

// The options hold 255 bytes of folder and of name: a longer one is refused
// by name, never cut to another folder.
TEST_F(DriverTest, APathLongerThanTheOptionsHoldIsRefused) {
  const std::string folder = "/" + std::string(254, 'f') + "/deeper";  // 261 bytes
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.DoExport(folder + "/robot.imd", scene, true, 0), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The output folder is longer than 255 bytes: " + folder);
  EXPECT_EQ(host.messages[0].caption, "Export Error");
  EXPECT_TRUE(log.empty());

  const std::string name = std::string(256, 'n');
  EXPECT_EQ(exporter.DoExport(dir.file(name + ".imd"), scene, true, 0), 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text, "The output file name is longer than 255 bytes: " + name);
  EXPECT_TRUE(log.empty());

  // Exactly 255 bytes fit.
  const std::string longest_folder = "/" + std::string(254, 'f');
  writer(kOutImd).touch_file = false;
  EXPECT_EQ(exporter.DoExport(longest_folder + "/robot.imd", scene, true, 0), 1);
  EXPECT_EQ(std::string(exporter.working_options().output_folder), longest_folder);
  EXPECT_EQ(log, std::vector<std::string>{"imd " + longest_folder + "/robot.imd"});
}

TEST_F(DriverTest, EveryOutputOffWarnsAndSucceeds) {
  EXPECT_EQ(run([](ExportOptions& o) {
              o.output_imd = o.output_ica = o.output_iva = o.output_ima = o.output_itp =
                  o.output_ita = o.output_isd = 0;
            }),
            1);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(host.listener.size(), 3u);
  EXPECT_EQ(host.listener[1], "Warning: Nothing to export: every output is off.\n");
}

TEST_F(DriverTest, AModelWithoutANameIsRefused) {
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.DoExport(dir.file(".imd"), scene, true, 0), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Output File Name is empty.");
  EXPECT_EQ(host.messages[0].caption, "No Output File Name");
  EXPECT_TRUE(log.empty());
}

// Values that are not finite never reach a writer: the run stops with a
// message naming the node or polygon set that holds one.
TEST_F(DriverTest, NonFiniteValuesAreRefusedByName) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<void(PreparedScene&)> spoil;
    std::string message;
  };
  const Case cases[] = {
      {"node translation", [&](PreparedScene& p) { p.nodes[0].translate.x = inf; },
       "Value out of range in node root (not a finite number)."},
      {"node sample", [&](PreparedScene& p) { p.nodes[0].scale_frames[0].y = nan; },
       "Value out of range in node root (not a finite number)."},
      {"last node sample", [&](PreparedScene& p) { p.nodes[0].translate_frames.back().z = -inf; },
       "Value out of range in node root (not a finite number)."},
      {"node volume", [&](PreparedScene& p) { p.nodes[0].volume_r = inf; },
       "Value out of range in node root (not a finite number)."},
      {"set position", [&](PreparedScene& p) { p.polygons[0].positions.edit()[1].z = -inf; },
       "Value out of range in polygon set root (not a finite number)."},
      {"set normal", [&](PreparedScene& p) { p.polygons[0].normals.edit()[0].x = nan; },
       "Value out of range in polygon set root (not a finite number)."},
      {"set texcoord", [&](PreparedScene& p) { p.polygons[0].texcoords.edit()[0].t = inf; },
       "Value out of range in polygon set root (not a finite number)."},
      {"material SRT", [&](PreparedScene& p) { p.materials[0].tex_rotate_frames[0] = nan; },
       "Value out of range in material skin (not a finite number)."},
      {"light", [&](PreparedScene& p) { p.lights[0].direction.y = nan; },
       "Value out of range in light 0 (not a finite number)."},
  };
  for (const Case& c : cases) {
    PreparedScene prepared = scene;
    PolygonSet set;
    set.node_id = 1;
    set.node_name = "root";
    set.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    set.normals = {{0, 0, 1}};
    set.texcoords = {{0, 0}};
    prepared.polygons = {set};
    SceneMaterial material;
    material.name = "skin";
    material.tex_rotate_frames = {0};
    prepared.materials = {material};
    prepared.lights = {SceneLight{}};
    c.spoil(prepared);
    host.messages.clear();
    log.clear();
    KavroExporter exporter(host, stages);
    set_text_field(current_options().output_folder, dir.path());
    all_outputs(current_options());
    EXPECT_EQ(exporter.DoExport(dir.file("robot.imd"), prepared, true, 0), 0) << c.what;
    EXPECT_TRUE(log.empty()) << c.what;
    ASSERT_EQ(host.messages.size(), 1u) << c.what;
    EXPECT_EQ(host.messages[0].text, c.message) << c.what;
    EXPECT_EQ(host.messages[0].caption, "Node Export Error") << c.what;
  }
}

TEST_F(DriverTest, AnEmptySceneIsRefused) {
  scene.nodes.clear();
  EXPECT_EQ(run([](ExportOptions&) {}), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "No nodes in the scene");
  EXPECT_EQ(host.messages[0].caption, "Node Export Error");
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(host.progress.back().kind, host::RecordedProgress::kEnd);
}

class FailingExtraction : public PreparedScene {
 public:
  bool extract_nodes(ExportScene& s, const ExportOptions&) override {
    s.add_warning("Warning: seen before the failure");
    return false;
  }
  void switch_on_skins() override { ++skins_restored; }
  int skins_restored = 0;
};

TEST_F(DriverTest, FailedExtractionReportsItsWarningsAndWritesNothing) {
  FailingExtraction failing;
  failing.nodes = scene.nodes;
  failing.range = scene.range;
  KavroExporter exporter(host, stages);
  set_text_field(current_options().output_folder, dir.path());
  EXPECT_EQ(exporter.DoExport(dir.file("robot.imd"), failing, true, 0), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(failing.skins_restored, 1);
  ASSERT_EQ(host.listener.size(), 3u);
  EXPECT_EQ(host.listener[1], "Warning: seen before the failure\n");
}

TEST_F(DriverTest, MenuExportWithoutANameShowsTheDialog) {
  host.dialog_answer = host::DialogResult::kCancel;
  EXPECT_EQ(run([](ExportOptions& o) { o.output_file_name[0] = '\0'; }, kExportPlaceholderName,
                "C:\\test.imd"),
            1);
  EXPECT_EQ(host.dialogs_shown, 1);
  EXPECT_TRUE(log.empty());
  // With the settings-dialog bit it is shown even when the names are set.
  host.dialog_answer = host::DialogResult::kExport;
  EXPECT_EQ(run([](ExportOptions&) {}, kExportPlaceholderName | kExportShowDialog, "C:\\test.imd"),
            1);
  EXPECT_EQ(host.dialogs_shown, 2);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(DriverTest, WithoutADialogTheOptionsMustPassItsChecks) {
  host.dialog_answer = host::DialogResult::kUnavailable;
  EXPECT_EQ(run([](ExportOptions& o) { o.output_file_name[0] = '\0'; }, kExportPlaceholderName,
                "C:\\test.imd"),
            0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Output File Name is empty.");
  EXPECT_TRUE(log.empty());
}

TEST_F(DriverTest, EditorModeWithoutAnEditorFails) {
  EXPECT_EQ(run([](ExportOptions& o) { o.process_mode = ProcessMode::k3dMaterialEditor; }), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "3D Material Editor is not found.");
  EXPECT_EQ(host.messages[0].caption, "Not Found");
}

TEST_F(DriverTest, LowerBoundsHoldForOptionsChangedAfterStart) {
  writer(kOutImd).touch_file = false;
  KavroExporter exporter(host, stages);
  current_options().magnify = 0.0f;
  set_text_field(current_options().output_folder, dir.path());
  EXPECT_EQ(exporter.DoExport(dir.file("robot.imd"), scene, true, 0), 1);
  EXPECT_EQ(exporter.working_options().magnify, 1.0f);
}

TEST(DriverInfo, DescriptiveOperations) {
  EXPECT_EQ(KavroExporter::ExtCount(), 1);
  EXPECT_STREQ(KavroExporter::Ext(0), "imd");
  EXPECT_STREQ(KavroExporter::LongDesc(), "Meridane KAVRO");
  EXPECT_STREQ(KavroExporter::ShortDesc(), "Meridane KAVRO");
  EXPECT_STREQ(KavroExporter::OtherMessage1(), "");
  EXPECT_EQ(KavroExporter::Version(), 100u);
  EXPECT_TRUE(KavroExporter::SupportsOptions(0, 0));
  EXPECT_EQ(model_path_for("C:\\out", "robot"), "C:/out/robot.imd");
  EXPECT_EQ(model_path_for("", "robot"), "robot.imd");
}

}  // namespace
}  // namespace kavro
