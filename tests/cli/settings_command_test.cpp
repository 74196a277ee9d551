// `kavro settings` and the settings switches of `kavro export`: the user's
// kept settings, a scene's own settings, --settings and --defaults.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "exporter/pipeline/options.h"
#include "exporter/ui/settings_file.h"
#include "host/class_data.h"
#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

// No test of this program reads or writes the settings of the user who runs
// it: the settings folder is a fresh temporary one, unless a test names its own.
class SettingsFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<test::TempDir>();
    ::setenv("KAVRO_SETTINGS_DIR", dir_->file("settings").c_str(), 1);
  }
  void TearDown() override { dir_.reset(); }

 private:
  std::unique_ptr<test::TempDir> dir_;
};
[[maybe_unused]] ::testing::Environment* const kSettingsFolder =
    ::testing::AddGlobalTestEnvironment(new SettingsFolderEnvironment);

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const char* const kTriangle = R"({"format":"kavro-scene","version":1,)"
                              R"("nodes":[{"id":1,"name":"A","object":{"class":"mesh","mesh":{)"
                              R"("vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}}])";

// A clean settings folder of its own, and a scene.
class SettingsCommand : public ::testing::Test {
 protected:
  SettingsCommand() {
    saved_ = std::getenv("KAVRO_SETTINGS_DIR");
    ::setenv("KAVRO_SETTINGS_DIR", cfg().c_str(), 1);
    test::write_file(scene(), std::string(kTriangle) + "}");
  }
  ~SettingsCommand() override { ::setenv("KAVRO_SETTINGS_DIR", saved_.c_str(), 1); }
  std::string cfg() const { return dir.file("cfg"); }
  std::string scene() const { return dir.file("a.kscene"); }
  std::string k3es() const { return dir.file("cfg/max.k3es"); }
  // A scene that carries its own settings: the defaults with `magnify` and
  // the ICA file on.
  std::string scene_with_settings(float magnify) {
    ExportOptions o{};
    reset_options(o, true);
    o.magnify = magnify;
    o.output_ica = 1;
    std::string path = dir.file("own.kscene");
    test::write_file(path, std::string(kTriangle) +
                               R"(,"plugin_class_data":[{"class_id":[2068035666,911962577],)"
                               R"("chunks":[{"id":1,"data":")" +
                               host::base64_encode(options_chunk(o)) + "\"}]}]}");
    return path;
  }
  Result export_to(const std::string& name, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"export", "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(scene());
    args.push_back(dir.file(name + ".imd"));
    return kavro(args);
  }
  std::string magnify_written(const std::string& name) {
    std::string imd = test::read_file(dir.file(name + ".imd"));
    std::size_t at = imd.find("magnify=\"");
    return at == std::string::npos ? "<none>" : imd.substr(at + 9, imd.find('"', at + 9) - at - 9);
  }

  test::TempDir dir;

 private:
  std::string saved_;
};

TEST_F(SettingsCommand, SavedSettingsAreWhatTheNextExportUses) {
  Result save =
      kavro({"settings", "save", dir.file("mine"), "--set", "magnify=2", "--set", "output_ica=on"});
  ASSERT_EQ(save.status, kExitOk) << save.err;
  EXPECT_EQ(save.out, "Saved the settings to " + dir.file("mine.k3es") +
                          "\nKept them as the user's settings in " + k3es() + "\n");
  EXPECT_TRUE(has(test::read_file(dir.file("mine.k3es")), "\r\nmagnify=\"2.0\"\r\n"));
  EXPECT_TRUE(has(test::read_file(k3es()), "\r\noutput_ica=\"on\"\r\n"));
  EXPECT_EQ(test::read_file(dir.file("cfg/menusettings.bin")).size(), 17u);

  Result kept = export_to("kept");
  ASSERT_EQ(kept.status, kExitOk) << kept.err;
  EXPECT_EQ(magnify_written("kept"), "2.000000");
  EXPECT_TRUE(test::file_exists(dir.file("kept.ica")));

  Result hermetic = export_to("hermetic", {"--defaults"});
  ASSERT_EQ(hermetic.status, kExitOk) << hermetic.err;
  EXPECT_EQ(magnify_written("hermetic"), "1.000000");
  EXPECT_FALSE(test::file_exists(dir.file("hermetic.ica")));
}

TEST_F(SettingsCommand, AnExportNeverWritesTheUserSettingsBack) {
  ASSERT_EQ(kavro({"settings", "save", dir.file("mine.k3es"), "--set", "magnify=2"}).status,
            kExitOk);
  std::string before = test::read_file(k3es());
  std::filesystem::remove(dir.file("cfg/menusettings.bin"));
  Result r = export_to("once", {"--set", "magnify=3"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(magnify_written("once"), "3.000000");
  EXPECT_EQ(test::read_file(k3es()), before);
  EXPECT_FALSE(test::file_exists(dir.file("cfg/menusettings.bin")));
  Result next = export_to("next");
  EXPECT_EQ(magnify_written("next"), "2.000000");
}

TEST_F(SettingsCommand, ASettingsFileIsReadBeforeSet) {
  test::write_file(dir.file("batch.k3es"), "magnify=\"4\"\r\noutput_ica=\"on\"\r\n");
  Result r = export_to("b", {"--settings", dir.file("batch.k3es"), "--set", "output_ica=off"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(magnify_written("b"), "4.000000");
  EXPECT_FALSE(test::file_exists(dir.file("b.ica")));

  Result missing = export_to("m", {"--settings", dir.file("none.k3es")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_TRUE(has(missing.err, "\"k3es\" is wrong: " + dir.file("none.k3es"))) << missing.err;
  EXPECT_FALSE(test::file_exists(dir.file("m.imd")));
}

TEST_F(SettingsCommand, AScenesOwnSettingsWinOverTheUserSettingsUnlessDefaults) {
  ASSERT_EQ(kavro({"settings", "save", dir.file("mine"), "--set", "magnify=2"}).status, kExitOk);
  std::string own = scene_with_settings(5.0f);
  Result r = kavro({"export", "-q", own, dir.file("own.imd")});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(magnify_written("own"), "5.000000");
  EXPECT_TRUE(test::file_exists(dir.file("own.ica")));

  Result plain = kavro({"export", "-q", "--defaults", own, dir.file("plain.imd")});
  ASSERT_EQ(plain.status, kExitOk) << plain.err;
  EXPECT_EQ(magnify_written("plain"), "1.000000");
  EXPECT_FALSE(test::file_exists(dir.file("plain.ica")));

  // With "Save / Load Scene Settings" off in menusettings.bin the scene's
  // settings are left alone.
  std::string menu = test::read_file(dir.file("cfg/menusettings.bin"));
  menu[0] = '\0';
  test::write_file(dir.file("cfg/menusettings.bin"), menu);
  Result off = kavro({"export", "-q", own, dir.file("off.imd")});
  ASSERT_EQ(off.status, kExitOk) << off.err;
  EXPECT_EQ(magnify_written("off"), "2.000000");
}

TEST_F(SettingsCommand, ShowPrintsTheEffectiveOptionsAsASettingsFile) {
  Result fresh = kavro({"settings", "show", "--set", "compress_node=merge"});
  ASSERT_EQ(fresh.status, kExitOk) << fresh.err;
  EXPECT_EQ(fresh.out.rfind("# KVS_Export settings\r\nsettings_version=\"1.0\"\r\n", 0), 0u);
  EXPECT_TRUE(has(fresh.out, "\r\ncompress_node=\"merge\"\r\n"));
  EXPECT_TRUE(has(fresh.out, "\r\ntolerance_color=\"2\"\r\n"));
  EXPECT_FALSE(test::file_exists(cfg()));  // showing writes nothing

  // What it prints reads back as the same options.
  test::write_file(dir.file("shown.k3es"), fresh.out);
  Result again = kavro({"settings", "show", "--settings", dir.file("shown.k3es")});
  auto without_date = [](std::string text) { return text.erase(text.find("date="), 30); };
  EXPECT_EQ(without_date(again.out), without_date(fresh.out));

  std::string own = scene_with_settings(0.0f);  // below the lower bound: 1.0
  Result scene = kavro({"settings", "show", own});
  EXPECT_TRUE(has(scene.out, "\r\nmagnify=\"1.0\"\r\n"));
  EXPECT_TRUE(has(scene.out, "\r\noutput_ica=\"on\"\r\n"));
  Result hermetic = kavro({"settings", "show", "--defaults", own});
  EXPECT_TRUE(has(hermetic.out, "\r\noutput_ica=\"off\"\r\n"));
}

TEST_F(SettingsCommand, LoadAndResetActOnTheUserSettings) {
  test::write_file(dir.file("team.k3es"),
                   "magnify=\"6\"\r\noutput_file_name=\"hero\"\r\noutput_folder=\"C:\\out\"\r\n");
  Result load = kavro({"settings", "load", dir.file("team.k3es")});
  ASSERT_EQ(load.status, kExitOk) << load.err;
  EXPECT_EQ(load.out,
            "Loaded " + dir.file("team.k3es") + " into the user's settings in " + k3es() + "\n");
  std::string kept = test::read_file(k3es());
  EXPECT_TRUE(has(kept, "\r\nmagnify=\"6.0\"\r\n"));
  EXPECT_TRUE(has(kept, "\r\noutput_folder=\"C:/out\"\r\n"));

  Result reset = kavro({"settings", "reset"});
  ASSERT_EQ(reset.status, kExitOk) << reset.err;
  EXPECT_TRUE(has(reset.out, "Reset the user's settings in " + k3es()));
  kept = test::read_file(k3es());
  EXPECT_TRUE(has(kept, "\r\nmagnify=\"1.0\"\r\n"));
  EXPECT_TRUE(has(kept, "\r\noutput_file_name=\"hero\"\r\n"));
  EXPECT_TRUE(has(kept, "\r\noutput_folder=\"C:/out\"\r\n"));

  Result missing = kavro({"settings", "load", dir.file("none.k3es")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_TRUE(has(missing.err, "\"k3es\" is wrong: " + dir.file("none.k3es")));
  EXPECT_EQ(test::read_file(k3es()), kept);
}

TEST_F(SettingsCommand, SaveNamesAndFailures) {
  Result txt = kavro({"settings", "save", dir.file("mine.txt")});
  ASSERT_EQ(txt.status, kExitOk) << txt.err;
  EXPECT_TRUE(test::file_exists(dir.file("mine.txt.k3es")));

  std::string before = test::read_file(k3es());
  Result fail = kavro({"settings", "save", dir.file("no/such/x.k3es"), "--set", "magnify=9"});
  EXPECT_EQ(fail.status, kExitFailed);
  EXPECT_TRUE(has(fail.err,
                  "Can't save k3es settings file: Can't save file. " + dir.file("no/such/x.k3es")))
      << fail.err;
  EXPECT_EQ(test::read_file(k3es()), before);  // a failed command keeps the old settings

  EXPECT_EQ(kavro({"settings"}).status, kExitUsage);
  EXPECT_EQ(kavro({"settings", "save"}).status, kExitUsage);
  EXPECT_EQ(kavro({"settings", "save", "x", "--set", "magnify=big"}).status, kExitUsage);
}

}  // namespace
}  // namespace kavro::cli
