// The options dialog shown by the export driver: Export, Apply with its
// progress in the dialog, Cancel.
#include <gtest/gtest.h>

#include <cstring>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/prepared_scene.h"
#include "exporter/ui/options_dialog.h"
#include "host/console_host.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro::ui {
namespace {

// Writes a one-line file, reporting two progress stages on the way, and
// records what the dialog showed while it ran.
class ObservingWriter : public OutputWriter {
 public:
  bool write(const ExportScene&, ExportLog& s, const std::string& path) override {
    paths.push_back(path);
    s.finish_stage("IMD: Test Stage");
    if (dialog != nullptr) {
      status_seen = dialog->control(kIdStatus).text;
      bar_seen = dialog->control(kIdProgress).position;
      for (const auto& c : dialog->controls()) {
        if (c.enabled && c.id != kIdStatus && c.id != kIdProgress) ++enabled_seen;
      }
    }
    OutputFile f;
    if (!open_for_export(s, f, path)) return false;
    f.write("imd\n");
    return f.commit();
  }
  const OptionsDialog* dialog = nullptr;
  std::vector<std::string> paths;
  std::string status_seen;
  int bar_seen = -1;
  int enabled_seen = 0;
};

struct CountingSettings : DialogSettingsFiles {
  void write_menu_settings(const ExportOptions&) override {}
  bool read_settings_file(const std::string&, ExportOptions&) override { return false; }
  void write_settings_file(const std::string&, ExportOptions&) override {}
  void write_kept_settings(ExportOptions& current) override {
    kept.push_back(current.output_file_name);
  }
  std::vector<std::string> kept;
};

class DialogExportTest : public ::testing::Test {
 protected:
  DialogExportTest() : dialog_stage(&settings) {
    reset_options(current_options(), true);
    stages.writers[kOutImd] = &writer;
    stages.dialog = &dialog_stage;
    scene.nodes.push_back(test::make_node(1, "root"));
    scene.range = {0, 10 * 160, 160};
    scene.file_name = "D:\\work\\hero.max";
  }

  // Starts a menu export with the settings-dialog bit, which shows the dialog.
  int export_with_dialog() {
    KavroExporter exporter(host, stages);
    ExportOptions& o = current_options();
    set_text_field(o.output_folder, dir.path());
    set_text_field(o.output_file_name, "robot");
    return exporter.DoExport("C:\\test.imd", scene, true,
                             kExportPlaceholderName | kExportShowDialog);
  }

  test::TempDir dir;
  host::RecordingHost host;
  ObservingWriter writer;
  CountingSettings settings;
  OptionsDialogStageImpl dialog_stage;
  Stages stages;
  PreparedScene scene;
};

TEST_F(DialogExportTest, ExportClosesTheDialogAndExportsWithItsOptions) {
  host.dialog_script = [&](host::DialogModel& model) {
    model.click(kIdSceneName);
    model.click(kIdExport);
    return model.result();
  };
  EXPECT_EQ(export_with_dialog(), 1);
  EXPECT_EQ(host.dialogs_shown, 1);
  ASSERT_EQ(writer.paths.size(), 1u);
  EXPECT_EQ(writer.paths[0], dir.path() + "/hero.imd");
  // Progress went to the host's bar.
  ASSERT_FALSE(host.progress.empty());
  EXPECT_EQ(host.progress.front().kind, host::RecordedProgress::kStart);
  EXPECT_EQ(host.progress.back().kind, host::RecordedProgress::kEnd);
  EXPECT_TRUE(settings.kept.empty());
}

TEST_F(DialogExportTest, CancelExportsNothingAndSucceeds) {
  host.dialog_script = [&](host::DialogModel& model) {
    model.click(kIdCancel);
    return model.result();
  };
  EXPECT_EQ(export_with_dialog(), 1);
  EXPECT_TRUE(writer.paths.empty());
  EXPECT_TRUE(host.progress.empty());
}

TEST_F(DialogExportTest, ApplyExportsWithTheDialogDisabledAndShowingProgress) {
  std::vector<bool> enabled_before, enabled_after;
  std::string status_after;
  int bar_after = -1;
  host.dialog_script = [&](host::DialogModel& model) {
    writer.dialog = dynamic_cast<const OptionsDialog*>(&model);
    model.edit(kIdOutputFileName, "first");
    for (const auto& c : model.controls()) enabled_before.push_back(c.enabled);
    model.click(kIdApply);
    for (const auto& c : model.controls()) enabled_after.push_back(c.enabled);
    status_after = writer.dialog->control(kIdStatus).text;
    bar_after = writer.dialog->control(kIdProgress).position;
    EXPECT_FALSE(model.closed());
    // A second Apply starts its progress afresh.
    model.edit(kIdOutputFileName, "second");
    model.click(kIdApply);
    model.click(kIdCancel);
    return model.result();
  };
  EXPECT_EQ(export_with_dialog(), 1);
  ASSERT_EQ(writer.paths.size(), 2u);
  EXPECT_EQ(writer.paths[0], dir.path() + "/first.imd");
  EXPECT_EQ(writer.paths[1], dir.path() + "/second.imd");
  // While the export ran: no control enabled, the stage shown as text and bar.
  // The run has 7 + 9 (imd) + 1 (compress_node 0) + 1 (strips) = 18 stages;
  // the writer finished the first: 100 / 18 = 5.55 percent.
  EXPECT_EQ(writer.enabled_seen, 0);
  EXPECT_EQ(writer.status_seen, "IMD: Test Stage (5%)");
  EXPECT_EQ(writer.bar_seen, 5);
  // Afterwards: the same controls enabled again, status and bar cleared.
  EXPECT_EQ(enabled_after, enabled_before);
  EXPECT_EQ(status_after, "");
  EXPECT_EQ(bar_after, 0);
  // Nothing went to the host's bar; the settings were kept after each run
  // and the process-wide options hold what was applied.
  EXPECT_TRUE(host.progress.empty());
  EXPECT_EQ(settings.kept, (std::vector<std::string>{"first", "second"}));
}

TEST_F(DialogExportTest, ApplyGivesTheControlsBackWhenTheRunStopsEarly) {
  // Editor mode without an editor stage: the run stops before its progress.
  std::vector<bool> enabled_before, enabled_after;
  host.dialog_script = [&](host::DialogModel& model) {
    model.click(kIdMaterialEditor);
    for (const auto& c : model.controls()) enabled_before.push_back(c.enabled);
    model.click(kIdApply);
    for (const auto& c : model.controls()) enabled_after.push_back(c.enabled);
    model.close();
    return model.result();
  };
  EXPECT_EQ(export_with_dialog(), 1);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "3D Material Editor is not found.");
  EXPECT_EQ(enabled_after, enabled_before);
  EXPECT_TRUE(writer.paths.empty());
}

TEST_F(DialogExportTest, ApplyWithAnEmptyNameLeavesEverythingAlone) {
  host.dialog_script = [&](host::DialogModel& model) {
    model.edit(kIdOutputFileName, "");
    model.click(kIdApply);
    // The process-wide options took nothing.
    EXPECT_STREQ(current_options().output_file_name, "robot");
    for (const auto& c : model.controls()) {
      if (c.id == kIdOutputFileName || c.id == kIdApply) {
        EXPECT_TRUE(c.enabled);
      }
    }
    model.click(kIdCancel);
    return model.result();
  };
  EXPECT_EQ(export_with_dialog(), 1);
  EXPECT_TRUE(writer.paths.empty());
  EXPECT_TRUE(settings.kept.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Output File Name is empty.");
}

TEST_F(DialogExportTest, AHostWithoutDialogsExportsTheOptionsAsTheyAre) {
  // No script: the recording host answers "unavailable" like the console.
  host.dialog_answer = host::DialogResult::kUnavailable;
  EXPECT_EQ(export_with_dialog(), 1);
  EXPECT_EQ(writer.paths.size(), 1u);
  // The console host refuses dialogs and pickers: the command line has --set.
  std::FILE* err = std::tmpfile();
  host::ConsoleHost bare(err, false, nullptr);
  ExportOptions working{};
  reset_options(working, true);
  struct NoExport : DialogExport {
    void run_export(ProgressDisplay&) override {}
    std::string scene_file_name() override { return {}; }
    max::Interface* scene_interface() override { return nullptr; }
  } around;
  OptionsDialog model(working, bare, around, nullptr);
  EXPECT_EQ(bare.show_dialog(model), host::DialogResult::kUnavailable);
  std::string chosen;
  EXPECT_FALSE(bare.pick_folder("", chosen));
  EXPECT_FALSE(bare.pick_open_file({}, chosen));
  EXPECT_FALSE(bare.pick_save_file({}, chosen));
  std::fclose(err);
}

}  // namespace
}  // namespace kavro::ui
