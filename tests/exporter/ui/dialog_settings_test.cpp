// The options dialog on the user's real settings files.
#include "exporter/ui/dialog_settings.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/prepared_scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro::ui {
namespace {

struct NoExport : DialogExport {
  void run_export(ProgressDisplay&) override {}
  std::string scene_file_name() override { return {}; }
  max::Interface* scene_interface() override { return nullptr; }
};

class DialogSettingsTest : public ::testing::Test {
 protected:
  DialogSettingsTest() {
    reset_options(current_options(), true);
    current_options().save_scene_settings = 1;
    host.settings_folder = settings_dir.file("user/settings");
    working = current_options();
  }
  test::TempDir settings_dir, files;
  host::RecordingHost host;
  ExportOptions working{};
  NoExport around;
};

TEST_F(DialogSettingsTest, MenuCommandsReadAndWriteTheFiles) {
  UserDialogSettings user(host);
  OptionsDialog dialog(working, host, around, &user);

  // "Save / Load Scene Settings" off: menusettings.bin holds 0 first.
  dialog.command(kCmdSceneSettings);
  std::string menu = test::read_file(host.settings_folder + "/menusettings.bin");
  ASSERT_EQ(menu.size(), 17u);
  EXPECT_EQ(menu[0], '\0');

  // Saving under a .txt name writes the dialog's values to name.txt.k3es.
  dialog.edit(kIdMagnify, "2.5");
  host.picked_paths = {files.file("mine.txt")};
  dialog.command(kCmdSaveSettings);
  std::string saved = test::read_file(files.file("mine.txt.k3es"));
  EXPECT_NE(saved.find("magnify=\"2.5\"\r\n"), std::string::npos);
  EXPECT_NE(saved.find("output_imd=\"on\"\r\n"), std::string::npos);

  // Loading a file that holds only magnify changes only magnify.
  test::write_file(files.file("only.k3es"), "magnify=\"3\"\n");
  dialog.click(kIdOutputIca);
  host.picked_paths = {files.file("only.k3es")};
  dialog.command(kCmdLoadSettings);
  EXPECT_EQ(dialog.control(kIdMagnify).text, "3.0000");
  EXPECT_EQ(working.magnify, 3.0f);
  // The process-wide options had ica off; loading refills from them.
  EXPECT_FALSE(dialog.control(kIdOutputIca).checked);

  // A file that cannot be read changes nothing.
  dialog.edit(kIdMagnify, "4");
  host.picked_paths = {files.file("missing.k3es")};
  dialog.command(kCmdLoadSettings);
  EXPECT_EQ(dialog.control(kIdMagnify).text, "4");
  EXPECT_TRUE(host.messages.empty());
}

// Writes one small file.
class SmallWriter : public OutputWriter {
 public:
  bool write(const ExportScene&, ExportLog& s, const std::string& path) override {
    OutputFile f;
    if (!open_for_export(s, f, path)) return false;
    f.write("x\n");
    return f.commit();
  }
};

TEST_F(DialogSettingsTest, ApplyKeepsTheSettingsInMaxK3es) {
  SmallWriter writer;
  OptionsDialogStageImpl stage;  // the user's files
  Stages stages;
  stages.writers[kOutImd] = &writer;
  stages.dialog = &stage;
  PreparedScene scene;
  scene.nodes.push_back(test::make_node(1, "root"));
  host.dialog_script = [&](host::DialogModel& model) {
    model.edit(kIdOutputFileName, "applied");
    model.click(kIdApply);
    // max.k3es is there while the dialog is still open.
    EXPECT_NE(test::read_file(host.settings_folder + "/max.k3es")
                  .find("output_file_name=\"applied\"\r\n"),
              std::string::npos);
    model.click(kIdCancel);
    return model.result();
  };
  {
    KavroExporter exporter(host, stages);
    set_text_field(current_options().output_folder, files.path());
    set_text_field(current_options().output_file_name, "first");
    EXPECT_EQ(
        exporter.DoExport("C:\\test.imd", scene, true, kExportPlaceholderName | kExportShowDialog),
        1);
  }
  EXPECT_TRUE(test::file_exists(files.file("applied.imd")));
}

}  // namespace
}  // namespace kavro::ui
