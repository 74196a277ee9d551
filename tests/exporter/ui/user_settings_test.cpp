// When the user's settings files and the scene settings chunk are read and
// written: exporters starting and going, scenes loaded and saved, batches,
// command-line runs, and the dialog's menu commands.
#include "exporter/ui/user_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "exporter/pipeline/driver.h"
#include "exporter/ui/settings_file.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

const std::string kFreshMenuSettings = std::string("\x01", 1) + std::string(16, '\xFF');

// A plug-in freshly loaded, with a settings folder that does not exist yet.
class Lifecycle : public ::testing::Test {
 protected:
  Lifecycle() {
    reset_options_at_plugin_load();
    host.settings_folder = dir.file("cfg");
    stages.settings = &store;
  }
  std::string k3es() const { return dir.file("cfg/max.k3es"); }
  std::string menu() const { return dir.file("cfg/menusettings.bin"); }
  void write_user_files(const std::string& k3es_text, const std::string& menu_bytes) {
    std::filesystem::create_directories(dir.file("cfg"));
    if (!k3es_text.empty()) test::write_file(k3es(), k3es_text);
    if (!menu_bytes.empty()) test::write_file(menu(), menu_bytes);
  }
  std::vector<host::ClassDataChunk> save_scene() {
    std::vector<host::ClassDataChunk> chunks;
    class_data.save_class_data(host, chunks);
    return chunks;
  }
  // A chunk holding the defaults with one change.
  static host::ClassDataChunk chunk_with_magnify(float magnify) {
    ExportOptions o{};
    reset_options(o, true);
    o.magnify = magnify;
    set_text_field(o.output_file_name, "from_scene");
    return {kOptionsChunkId, options_chunk(o)};
  }

  test::TempDir dir;
  host::RecordingHost host;
  UserSettings store{host, true};
  Stages stages;
  ExporterClassData class_data;
};

TEST_F(Lifecycle, AFreshInstallationExportsWithTheDefaultsAndKeepsThem) {
  {
    KavroExporter exporter(host, stages);
    ExportOptions expected{};
    reset_options(expected, true);
    EXPECT_EQ(std::memcmp(&exporter.working_options(), &expected,
                          offsetof(ExportOptions, save_scene_settings)),
              0);
    EXPECT_EQ(current_options().save_scene_settings, 1);
    EXPECT_EQ(current_options().menu_settings_read, 1);
    EXPECT_FALSE(test::file_exists(k3es()));
  }
  // Going, the exporter made the folder and wrote both files.
  std::string text = test::read_file(k3es());
  EXPECT_EQ(text.rfind("# KVS_Export settings\r\nsettings_version=\"1.0\"\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nmagnify=\"1.0\"\r\n"), std::string::npos);
  EXPECT_EQ(test::read_file(menu()), kFreshMenuSettings);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Lifecycle, AnExporterReadsTheUserFilesAndWritesBackItsWorkingCopy) {
  write_user_files("magnify=\"2.5\"\r\noutput_folder=\"C:\\out\"\r\n",
                   std::string(1, '\0') + std::string(16, '\x02'));
  {
    KavroExporter exporter(host, stages);
    EXPECT_EQ(exporter.working_options().magnify, 2.5f);
    EXPECT_EQ(current_options().save_scene_settings, 0);
    EXPECT_EQ(exporter.working_options().dialog_rect[0], 0x02020202);
    exporter.working_options().tolerance_color = 9;
  }
  EXPECT_EQ(current_options().tolerance_color, 9);
  std::string text = test::read_file(k3es());
  EXPECT_NE(text.find("\r\ntolerance_color=\"9\""), std::string::npos);
  EXPECT_NE(text.find("\r\noutput_folder=\"C:/out\"\r\n"), std::string::npos);
  EXPECT_STREQ(current_options().output_folder, "C:/out");
  EXPECT_EQ(test::read_file(menu()), std::string(1, '\0') + std::string(16, '\x02'));
}

TEST_F(Lifecycle, WithoutMaxK3esTheRecordIsResetWithTheNames) {
  set_text_field(current_options().output_file_name, "old");
  current_options().magnify = 4.0f;
  KavroExporter exporter(host, stages);
  EXPECT_STREQ(current_options().output_file_name, "");
  EXPECT_EQ(current_options().magnify, 1.0f);
}

TEST_F(Lifecycle, ABatchNeitherReadsNorWritesTheUserFiles) {
  write_user_files("magnify=\"2.5\"", kFreshMenuSettings);
  current_options().magnify = 3.0f;
  host.set_batch_running(true);
  {
    KavroExporter exporter(host, stages);
    EXPECT_EQ(exporter.working_options().magnify, 3.0f);
    exporter.working_options().magnify = 5.0f;
  }
  EXPECT_EQ(current_options().magnify, 5.0f);
  EXPECT_EQ(test::read_file(k3es()), "magnify=\"2.5\"");
  EXPECT_EQ(current_options().menu_settings_read, 0);
}

TEST_F(Lifecycle, ACommandLineRunReadsTheUserFilesButLeavesThemAlone) {
  write_user_files("magnify=\"2.5\"", "");
  store.set_write_back(false);
  {
    KavroExporter exporter(host, stages);
    EXPECT_EQ(exporter.working_options().magnify, 2.5f);
    exporter.working_options().magnify = 7.0f;  // as --set would
  }
  EXPECT_EQ(test::read_file(k3es()), "magnify=\"2.5\"");
  EXPECT_FALSE(test::file_exists(menu()));
}

TEST_F(Lifecycle, SavingASceneBeforeMenuSettingsWereConsultedWritesNothing) {
  EXPECT_TRUE(save_scene().empty());
  EXPECT_FALSE(test::file_exists(menu()));
  EXPECT_FALSE(test::file_exists(dir.file("cfg")));
}

TEST_F(Lifecycle, SavingASceneAfterwardsWritesMenuSettingsAndTheChunkWhenAsked) {
  { KavroExporter exporter(host, stages); }
  std::filesystem::remove(menu());
  current_options().magnify = 6.0f;
  std::vector<host::ClassDataChunk> chunks = save_scene();
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0].id, 1);
  EXPECT_EQ(chunks[0].data, options_chunk(current_options()));
  EXPECT_EQ(test::read_file(menu()), kFreshMenuSettings);

  // "Save / Load Scene Settings" off: menusettings.bin only.
  toggle_scene_settings_command(store);
  EXPECT_EQ(test::read_file(menu()).substr(0, 1), std::string(1, '\0'));
  EXPECT_TRUE(save_scene().empty());
  EXPECT_EQ(test::read_file(menu()).size(), 17u);
}

TEST_F(Lifecycle, LoadingASceneRestoresItsSettingsAndTheNextExporterKeepsThem) {
  write_user_files("magnify=\"2.5\"", kFreshMenuSettings);
  class_data.load_class_data(host, "robot.kscene", {chunk_with_magnify(3.0f)});
  EXPECT_EQ(current_options().settings_from_scene, 1);
  EXPECT_EQ(current_options().magnify, 3.0f);
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.working_options().magnify, 3.0f);  // max.k3es was not read
  EXPECT_STREQ(exporter.working_options().output_file_name, "from_scene");
}

TEST_F(Lifecycle, WithSceneSettingsOffALoadedChunkLeavesTheOptionsAlone) {
  write_user_files("magnify=\"2.5\"", std::string(1, '\0') + std::string(16, '\xFF'));
  current_options().magnify = 8.0f;
  current_options().settings_from_scene = 1;
  class_data.load_class_data(host, "robot.kscene", {chunk_with_magnify(3.0f)});
  EXPECT_EQ(current_options().magnify, 8.0f);
  EXPECT_EQ(current_options().settings_from_scene, 0);
  EXPECT_EQ(current_options().menu_settings_read, 1);
  KavroExporter exporter(host, stages);
  EXPECT_EQ(exporter.working_options().magnify, 2.5f);
}

TEST_F(Lifecycle, WithoutMenuSettingsASceneLoadTurnsSceneSettingsOn) {
  current_options().save_scene_settings = 0;
  class_data.load_class_data(host, "robot.kscene",
                             {{7, {1, 2, 3}}, chunk_with_magnify(3.0f), {9, {}}});
  EXPECT_EQ(current_options().save_scene_settings, 1);
  EXPECT_EQ(current_options().magnify, 3.0f);
  EXPECT_EQ(current_options().settings_from_scene, 1);
}

TEST_F(Lifecycle, AChunkOfTheWrongSizeIsIgnoredWithAWarningNamingTheScene) {
  class_data.load_class_data(host, "/scenes/robot.kscene",
                             {{kOptionsChunkId, std::vector<std::uint8_t>(920, 0x40)}});
  EXPECT_EQ(current_options().settings_from_scene, 0);
  EXPECT_EQ(current_options().magnify, 1.0f);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "Warning: The export settings stored in /scenes/robot.kscene are 920 bytes long "
            "instead of 924; they are ignored.");
  EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kWarning);
}

TEST_F(Lifecycle, TheDialogMenuCommandsOnSettings) {
  KavroExporter exporter(host, stages);
  ExportOptions& working = exporter.working_options();

  // Save: the working copy goes to the process-wide record and to the file,
  // under the chosen name with ".k3es" added unless it has that extension.
  working.magnify = 2.0f;
  set_text_field(working.output_file_name, "hero");
  set_text_field(working.output_folder, "D:\\out");
  std::string written;
  ASSERT_TRUE(save_settings_command(dir.file("mine.txt"), working, host, &written));
  EXPECT_EQ(written, dir.file("mine.txt.k3es"));
  EXPECT_EQ(current_options().magnify, 2.0f);
  std::string text = test::read_file(written);
  EXPECT_NE(text.find("\r\nmagnify=\"2.0\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\noutput_folder=\"D:/out\"\r\n"), std::string::npos);
  ASSERT_TRUE(save_settings_command(dir.file("mine.k3es"), working, host, &written));
  EXPECT_EQ(written, dir.file("mine.k3es"));

  // Reset: defaults, keeping the output name and folder.
  working.compress_node = CompressNode::kMerge;
  copy_options(working, current_options());
  reset_settings_command(working);
  EXPECT_EQ(working.magnify, 1.0f);
  EXPECT_EQ(working.compress_node, CompressNode::kNone);
  EXPECT_STREQ(working.output_file_name, "hero");
  EXPECT_STREQ(current_options().output_folder, "D:\\out");

  // Load: a file that cannot be read changes nothing.
  EXPECT_FALSE(load_settings_command(dir.file("none.k3es"), working));
  EXPECT_EQ(working.magnify, 1.0f);
  ASSERT_TRUE(load_settings_command(dir.file("mine.txt.k3es"), working));
  EXPECT_EQ(working.magnify, 2.0f);
  EXPECT_EQ(current_options().magnify, 2.0f);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Lifecycle, TheDialogReachesTheSameFiles) {
  ui::DialogSettingsFiles& files = store.dialog_files();
  store.set_write_back(false);
  files.write_kept_settings(current_options());
  files.write_menu_settings(current_options());
  EXPECT_FALSE(test::file_exists(dir.file("cfg")));
  // A file the user chose is written all the same.
  current_options().magnify = 2.0f;
  files.write_settings_file(dir.file("chosen.k3es"), current_options());
  EXPECT_NE(test::read_file(dir.file("chosen.k3es")).find("\r\nmagnify=\"2.0\"\r\n"),
            std::string::npos);

  store.set_write_back(true);
  files.write_kept_settings(current_options());  // "Apply": max.k3es only
  EXPECT_TRUE(test::file_exists(k3es()));
  EXPECT_FALSE(test::file_exists(menu()));
  files.write_menu_settings(current_options());
  EXPECT_EQ(test::read_file(menu()), kFreshMenuSettings);
  current_options().magnify = 1.0f;
  EXPECT_TRUE(files.read_settings_file(k3es(), current_options()));
  EXPECT_EQ(current_options().magnify, 2.0f);
  EXPECT_TRUE(store.writes_ok());
  files.write_settings_file(dir.file("none/x.k3es"), current_options());
  EXPECT_FALSE(store.writes_ok());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "Can't save k3es settings file");
}

}  // namespace
}  // namespace kavro
