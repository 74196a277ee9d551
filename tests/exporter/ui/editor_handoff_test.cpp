#include "exporter/ui/editor_handoff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/prepared_scene.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro::ui {
namespace {

// Sets or clears an environment variable for one test and restores it after.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~EnvVar() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

ExportOptions named(const char* name) {
  ExportOptions o{};
  reset_options(o, true);
  set_text_field(o.output_file_name, name);
  return o;
}

TEST(EditorLookup, EachVariableInItsTurn) {
  test::TempDir sdk;
  ::mkdir(sdk.file("tools").c_str(), 0777);
  ::mkdir(sdk.file("tools/KVS_3DMaterialEditor").c_str(), 0777);
  test::TempDir bare_sdk;
  host::RecordingHost host;
  struct Case {
    const char* what;
    std::optional<std::string> sdk_root, editor_root;
    std::string expected;
  };
  const Case cases[] = {
      {"sdk root with the editor", sdk.path(), "/opt/editor", sdk.path() + "/" + kEditorSubfolder},
      {"sdk root with trailing slashes", sdk.path() + "//", std::nullopt,
       sdk.path() + "/" + kEditorSubfolder},
      {"sdk root without the editor, editor root set", bare_sdk.path(), "C:\\KVS\\3DME",
       "C:/KVS/3DME"},
      {"sdk root without the editor only", bare_sdk.path(), std::nullopt, ""},
      {"editor root that does not exist", std::nullopt, "/no/such/editor/", "/no/such/editor/"},
      {"editor root empty", std::nullopt, "", ""},
      {"neither", std::nullopt, std::nullopt, ""},
  };
  for (const Case& c : cases) {
    EnvVar a("QRLSYSTEM_ROOT", c.sdk_root ? c.sdk_root->c_str() : nullptr);
    EnvVar b("KVS_3DME_ROOT", c.editor_root ? c.editor_root->c_str() : nullptr);
    EXPECT_EQ(find_editor_folder(host), c.expected) << c.what;
  }
}

TEST(EditorLookup, JoiningNamesToFolders) {
  EXPECT_EQ(join_editor_path("/opt/ed", "CGToolWork"), "/opt/ed/CGToolWork");
  EXPECT_EQ(join_editor_path("/opt/ed/", "CGToolWork"), "/opt/ed/CGToolWork");
  EXPECT_EQ(join_editor_path("C:\\ed", "CGToolWork"), "C:\\ed\\CGToolWork");
  EXPECT_EQ(join_editor_path("C:\\ed\\", "CGToolWork"), "C:\\ed\\CGToolWork");
  // The first separator of the folder is repeated.
  EXPECT_EQ(join_editor_path("C:\\a/b", "x"), "C:\\a/b\\x");
  EXPECT_EQ(join_editor_path("editor", "x"), "editor/x");
  // "\x83\x5c" is one two-byte character whose second byte is no separator.
  EXPECT_EQ(join_editor_path("ed\x83\x5c", "x"), "ed\x83\x5c/x");
  EXPECT_EQ(join_editor_path("\x83\x5c\\ed", "x"), "\x83\x5c\\ed\\x");
}

TEST(EditorCommandLine, NameSwitchesAndMerge) {
  struct Case {
    const char* what;
    ExportOptions options;
    std::string expected;
  };
  ExportOptions hero = named("hero");
  hero.output_ica = 1;
  hero.merge_imd = 1;
  set_text_field(hero.merge_imd_path, "C:/models/base hero.imd");
  ExportOptions all = named("all");
  all.output_iva = all.output_itp = all.output_ita = all.output_ima = all.output_ica = 1;
  ExportOptions only_model = named("m");
  ExportOptions no_merge = named("n");
  no_merge.merge_imd = 0;
  set_text_field(no_merge.merge_imd_path, "/filled/but/off.imd");
  ExportOptions no_model = named("v");
  no_model.output_imd = 0;
  no_model.output_iva = 1;
  const Case cases[] = {
      {"hero", hero,
       "/ed/KVS_3DME_Starter.exe -name hero -ica -imd -merge \"C:/models/base hero.imd\""},
      {"all six in order", all, "/ed/KVS_3DME_Starter.exe -name all -ica -ima -imd -ita -itp -iva"},
      {"model only", only_model, "/ed/KVS_3DME_Starter.exe -name m -imd"},
      {"merge off", no_merge, "/ed/KVS_3DME_Starter.exe -name n -imd"},
      {"no model", no_model, "/ed/KVS_3DME_Starter.exe -name v -iva"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(editor_command_line("/ed", c.options), c.expected) << c.what;
  }
  EXPECT_EQ(editor_command_line("C:\\ed\\", only_model),
            "'C:\\ed\\KVS_3DME_Starter.exe' -name m -imd");  // "\\" means something to sh
  // Words the shell would read are quoted for it; two-byte characters are
  // taken whole ("\x83\x5c" ends in the byte of "\").
  EXPECT_EQ(editor_command_line("/my ed", named("it's")),
            "'/my ed/KVS_3DME_Starter.exe' -name 'it'\\''s' -imd");
  EXPECT_EQ(editor_command_line("/ed", named("\x83\x5c")),
            "/ed/KVS_3DME_Starter.exe -name \x83\x5c -imd");
  ExportOptions odd_merge = named("m");
  odd_merge.merge_imd = 1;
  set_text_field(odd_merge.merge_imd_path, "C:\\a\"$b`\x83\x5c.imd");
  EXPECT_EQ(editor_command_line("/ed", odd_merge),
            "/ed/KVS_3DME_Starter.exe -name m -imd -merge \"C:\\\\a\\\"\\$b\\`\x83\x5c.imd\"");
}

// An editor folder with a starter script that records its arguments and
// exits with the given status.
class FakeEditor {
 public:
  explicit FakeEditor(int exit_status = 0) {
    test::write_file(folder.file(kEditorStarter),
                     "#!/bin/sh\n"
                     "for a in \"$@\"; do echo \"$a\"; done > \"" +
                         folder.file("args.txt") + "\"\nexit " + std::to_string(exit_status) +
                         "\n");
    ::chmod(folder.file(kEditorStarter).c_str(), 0755);
  }
  std::string arguments() const { return test::read_file(folder.file("args.txt")); }
  bool ran() const { return test::file_exists(folder.file("args.txt")); }
  test::TempDir folder;
};

TEST(EditorHandoff, PrepareFindsAndMakesTheWorkFolder) {
  host::RecordingHost host;
  MaterialEditorHandoff handoff;
  FakeEditor editor;
  EnvVar a("QRLSYSTEM_ROOT", nullptr);
  {
    EnvVar b("KVS_3DME_ROOT", editor.folder.path().c_str());
    std::string work;
    ASSERT_TRUE(handoff.prepare(host, work));
    EXPECT_EQ(work, editor.folder.path() + "/CGToolWork");
    EXPECT_TRUE(host.folder_exists(work));
    // A second time the folder is there already.
    ASSERT_TRUE(handoff.prepare(host, work));
  }
  {
    // An editor folder that does not exist: found, the work folder is not made
    // (one level only), and the export goes on.
    EnvVar b("KVS_3DME_ROOT", (editor.folder.path() + "/missing").c_str());
    std::string work;
    ASSERT_TRUE(handoff.prepare(host, work));
    EXPECT_EQ(work, editor.folder.path() + "/missing/CGToolWork");
    EXPECT_FALSE(host.folder_exists(work));
  }
  EnvVar b("KVS_3DME_ROOT", nullptr);
  std::string work = "unchanged";
  EXPECT_FALSE(handoff.prepare(host, work));
  EXPECT_TRUE(host.messages.empty());  // the driver shows the message
}

TEST(EditorHandoff, TheStarterGetsTheSwitchesAndItsFailureIsShown) {
  host::RecordingHost host;
  MaterialEditorHandoff handoff;
  EnvVar a("QRLSYSTEM_ROOT", nullptr);
  ExportOptions o = named("hero");
  o.output_ica = 1;
  o.merge_imd = 1;
  set_text_field(o.merge_imd_path, "/models/base hero.imd");
  {
    FakeEditor editor;
    EnvVar b("KVS_3DME_ROOT", editor.folder.path().c_str());
    handoff.start(host, o);
    EXPECT_EQ(editor.arguments(), "-name\nhero\n-ica\n-imd\n-merge\n/models/base hero.imd\n");
    EXPECT_TRUE(host.messages.empty());
  }
  {
    FakeEditor failing(3);
    EnvVar b("KVS_3DME_ROOT", failing.folder.path().c_str());
    handoff.start(host, o);
    EXPECT_TRUE(failing.ran());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failed to start 3D Material Editor");
    EXPECT_EQ(host.messages[0].caption, "Failed");
    EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kError);
  }
  {
    // The starter is missing: the interpreter fails.
    test::TempDir empty;
    EnvVar b("KVS_3DME_ROOT", empty.path().c_str());
    handoff.start(host, o);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "Failed to start 3D Material Editor");
  }
  {
    // Names and paths the shell would read arrive as they are, and nothing
    // in them runs.
    FakeEditor editor;
    std::string spaced = editor.folder.file("my editor");
    ::mkdir(spaced.c_str(), 0777);
    ::rename(editor.folder.file(kEditorStarter).c_str(), (spaced + "/" + kEditorStarter).c_str());
    EnvVar b("KVS_3DME_ROOT", spaced.c_str());
    std::string marker = editor.folder.file("hacked");
    ExportOptions odd = named(("a;touch " + marker).c_str());
    odd.merge_imd = 1;
    set_text_field(odd.merge_imd_path, "/m/$HOME \"q\" `x`.imd");
    handoff.start(host, odd);
    EXPECT_EQ(editor.arguments(),
              "-name\na;touch " + marker + "\n-imd\n-merge\n/m/$HOME \"q\" `x`.imd\n");
    EXPECT_FALSE(test::file_exists(marker));
    EXPECT_EQ(host.messages.size(), 2u);
  }
  EnvVar b("KVS_3DME_ROOT", nullptr);
  handoff.start(host, o);
  ASSERT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.messages[2].text, "3D Material Editor is not found.");
  EXPECT_EQ(host.messages[2].caption, "Not Found");
}

// Writes one small file per kind.
class SmallWriter : public OutputWriter {
 public:
  bool write(const ExportScene&, ExportLog& s, const std::string& path) override {
    OutputFile f;
    if (!open_for_export(s, f, path)) return false;
    f.write("x\n");
    return f.commit();
  }
};

class EditorExportTest : public ::testing::Test {
 protected:
  EditorExportTest() {
    reset_options(current_options(), true);
    for (auto& w : stages.writers) w = &writer;
    stages.editor = &handoff;
    scene.nodes.push_back(test::make_node(1, "root"));
    scene.range = {0, 0, 160};
  }
  int run(const std::function<void(ExportOptions&)>& set) {
    KavroExporter exporter(host, stages);
    ExportOptions& o = current_options();
    o.process_mode = ProcessMode::k3dMaterialEditor;
    set_text_field(o.output_file_name, "hero");
    set_text_field(o.output_folder, output.path());
    set(o);
    return exporter.DoExport("C:\\test.imd", scene, true, kExportPlaceholderName);
  }
  test::TempDir output;
  host::RecordingHost host;
  SmallWriter writer;
  MaterialEditorHandoff handoff;
  Stages stages;
  PreparedScene scene;
  EnvVar sdk_root{"QRLSYSTEM_ROOT", nullptr};
};

TEST_F(EditorExportTest, FilesGoToTheWorkFolderAndTheEditorStarts) {
  FakeEditor editor;
  EnvVar b("KVS_3DME_ROOT", editor.folder.path().c_str());
  EXPECT_EQ(run([](ExportOptions& o) { o.output_ima = 1; }), 1);
  EXPECT_TRUE(test::file_exists(editor.folder.file("CGToolWork/hero.imd")));
  EXPECT_TRUE(test::file_exists(editor.folder.file("CGToolWork/hero.ima")));
  EXPECT_FALSE(test::file_exists(output.file("hero.imd")));
  EXPECT_EQ(editor.arguments(), "-name\nhero\n-ima\n-imd\n");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.questions.empty());  // no overwrite question in editor mode
}

TEST_F(EditorExportTest, AMissingEditorFolderFailsAfterTheExport) {
  test::TempDir parent;
  EnvVar b("KVS_3DME_ROOT", parent.file("nowhere").c_str());
  // The work folder cannot be made one level deep: the writer fails.
  EXPECT_EQ(run([](ExportOptions&) {}), 0);
  EXPECT_FALSE(test::file_exists(parent.file("nowhere")));
}

TEST_F(EditorExportTest, WithoutAnEditorNothingIsWritten) {
  EnvVar b("KVS_3DME_ROOT", nullptr);
  EXPECT_EQ(run([](ExportOptions&) {}), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "3D Material Editor is not found.");
  EXPECT_EQ(host.messages[0].caption, "Not Found");
  EXPECT_FALSE(test::file_exists(output.file("hero.imd")));
}

}  // namespace
}  // namespace kavro::ui
