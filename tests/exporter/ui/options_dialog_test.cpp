#include "exporter/ui/options_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "exporter/ui/settings_file.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"
#include "tests/support/support.h"

namespace kavro::ui {
namespace {

using host::ControlKind;

// Records the settings actions; reading a file sets magnify to 3.
struct RecordingSettings : DialogSettingsFiles {
  void write_menu_settings(const ExportOptions& current) override {
    menu_writes.push_back(current.save_scene_settings);
  }
  bool read_settings_file(const std::string& path, ExportOptions& current) override {
    reads.push_back(path);
    if (!readable) return false;
    current.magnify = 3.0f;
    return true;
  }
  void write_settings_file(const std::string& path, ExportOptions& current) override {
    writes.push_back(path);
    written_magnify = current.magnify;
  }
  void write_kept_settings(ExportOptions&) override { ++kept_writes; }
  std::vector<int> menu_writes;
  std::vector<std::string> reads, writes;
  bool readable = true;
  float written_magnify = 0;
  int kept_writes = 0;
};

struct FakeExport : DialogExport {
  void run_export(ProgressDisplay&) override { ++runs; }
  std::string scene_file_name() override { return file_name; }
  max::Interface* scene_interface() override { return core; }
  int runs = 0;
  std::string file_name;
  max::Interface* core = nullptr;
};

ExportOptions defaults() {
  ExportOptions o{};
  reset_options(o, true);
  return o;
}

class DialogTest : public ::testing::Test {
 protected:
  DialogTest() {
    reset_options(current_options(), true);
    current_options().save_scene_settings = 1;
    working = defaults();
    set_text_field(working.output_file_name, "robot");
    set_text_field(working.output_folder, dir.path());
  }
  std::unique_ptr<OptionsDialog> open_dialog() {
    return std::make_unique<OptionsDialog>(working, host, exporter, &settings);
  }
  test::TempDir dir;
  ExportOptions working;
  host::RecordingHost host;
  FakeExport exporter;
  RecordingSettings settings;
};

TEST(DialogTable, ControlsHaveTheirKindsLabelsAndFieldSizes) {
  std::vector<host::DialogControl> table = options_dialog_controls();
  struct Expect {
    int id;
    ControlKind kind;
    const char* label;
  };
  const Expect expected[] = {
      {kIdExportAll, ControlKind::kRadio, "All"},
      {kIdExportSelection, ControlKind::kRadio, "Selection"},
      {kIdOutputFileName, ControlKind::kEdit, ""},
      {kIdSceneName, ControlKind::kButton, "Scene"},
      {kIdNodeName, ControlKind::kButton, "Node"},
      {kIdIntermediateFiles, ControlKind::kRadio, "Output Intermediate Files"},
      {kIdBrowseFolder, ControlKind::kButton, ""},
      {kIdMaterialEditor, ControlKind::kRadio, "Use 3D Material Editor"},
      {kIdMergeImd, ControlKind::kCheck, "Merge Imd File"},
      {kIdBrowseMerge, ControlKind::kButton, ""},
      {kIdCompressNode, ControlKind::kCombo, ""},
      {kIdFrameAll, ControlKind::kRadio, "All"},
      {kIdFrameRange, ControlKind::kRadio, "Range"},
      {kIdOutputImd, ControlKind::kCheck, "[.imd]"},
      {kIdOutputIta, ControlKind::kCheck, "[.ita]"},
      {kIdOutputIsd, ControlKind::kCheck, "[.isd]"},
      {kIdForceQuads, ControlKind::kCheck, "Force Quads"},
      {kIdInterpEndToStart, ControlKind::kCheck, "Interpolate End Frame to Start Frame"},
      {kIdToleranceColor, ControlKind::kEdit, ""},
      {kIdStatus, ControlKind::kStatus, ""},
      {kIdProgress, ControlKind::kProgress, ""},
      {kIdExport, ControlKind::kButton, "Export"},
      {kIdApply, ControlKind::kButton, "Apply"},
      {kIdCancel, ControlKind::kButton, "Cancel"},
  };
  for (const Expect& e : expected) {
    int found = 0;
    for (const auto& c : table) {
      if (c.id != e.id) continue;
      ++found;
      EXPECT_EQ(c.kind, e.kind) << e.id;
      EXPECT_EQ(c.label, e.label) << e.id;
    }
    EXPECT_EQ(found, 1) << e.id;
  }
  auto find = [&](int id) -> const host::DialogControl& {
    for (const auto& c : table) {
      if (c.id == id) return c;
    }
    static host::DialogControl none;
    return none;
  };
  EXPECT_EQ(find(kIdOutputFileName).text_size, 256u);
  EXPECT_EQ(find(kIdOutputFolder).text_size, 256u);
  EXPECT_EQ(find(kIdMergeImdPath).text_size, 260u);
  // Hidden and disabled; hidden only.
  for (int id : {kIdOutputIsd, kIdOutputTexture}) {
    EXPECT_TRUE(find(id).hidden) << id;
    EXPECT_FALSE(find(id).enabled) << id;
  }
  EXPECT_TRUE(find(kIdForceQuads).hidden);
  EXPECT_EQ(find(kIdCompressNode).choices,
            (std::vector<std::string>{"None", "Cull Useless Node", "Merge Useless Node", "Unite",
                                      "Unite & Combine Polygon"}));
  EXPECT_EQ(find(kIdTriangulation).choices,
            (std::vector<std::string>{"As Is", "As Is With Quad Checking", "Generate Quads",
                                      "All Triangles"}));
  EXPECT_EQ(find(kIdFrameStepMode).choices, (std::vector<std::string>{"Auto", "1", "2", "4"}));
  EXPECT_EQ(find(kIdOutputTexture).choices, (std::vector<std::string>{"Only Used", "All"}));
}

TEST(DialogTable, GroupsRunTopToBottomAndHoldTheirControls) {
  std::vector<host::DialogControl> table = options_dialog_controls();
  std::vector<const host::DialogControl*> groups;
  for (const auto& c : table) {
    if (c.kind == ControlKind::kGroup) groups.push_back(&c);
  }
  ASSERT_EQ(groups.size(), 6u);
  const char* titles[] = {"Output Options", "General Options",   "Output File Selection",
                          "Imd Options",    "Animation Options", "Tolerance Options"};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    EXPECT_EQ(groups[g]->label, titles[g]);
    if (g > 0) {
      EXPECT_GE(groups[g]->rect.top, groups[g - 1]->rect.bottom);
    }
  }
  // Every control lies inside the dialog; a control that follows a group
  // box (until the next one) lies inside that box.
  const host::DialogControl* current = nullptr;
  for (const auto& c : table) {
    EXPECT_GE(c.rect.left, 0);
    EXPECT_GE(c.rect.top, 0);
    EXPECT_LE(c.rect.right, kDialogWidthUnits);
    EXPECT_LE(c.rect.bottom, kDialogHeightUnits);
    if (c.kind == ControlKind::kGroup) {
      current = &c;
      continue;
    }
    if (c.id == kIdStatus) current = nullptr;
    if (current == nullptr) continue;
    EXPECT_GE(c.rect.left, current->rect.left) << c.id << " " << c.label;
    EXPECT_GT(c.rect.top, current->rect.top) << c.id << " " << c.label;
    EXPECT_LE(c.rect.right, current->rect.right) << c.id << " " << c.label;
    EXPECT_LE(c.rect.bottom, current->rect.bottom) << c.id << " " << c.label;
  }
}

TEST_F(DialogTest, FillsNumbersRadiosCombosAndTexts) {
  working.magnify = 2.5f;
  working.tolerance_rotate = 0.123456f;
  working.start_frame = -5;
  working.end_frame = 120;
  working.tolerance_color = 3;
  working.compress_node = CompressNode::kUniteCombine;
  working.triangulation = Triangulation::kGenerateQuads;
  working.frame_step_mode = FrameStepMode::kAuto;
  working.export_all = ExportScope::kSelection;
  working.frame_range = FrameRange::kRange;
  working.process_mode = ProcessMode::k3dMaterialEditor;
  working.output_ica = 1;
  set_text_field(working.merge_imd_path, "C:/m/base.imd");
  auto d = open_dialog();
  EXPECT_EQ(d->control(kIdMagnify).text, "2.5000");
  EXPECT_EQ(d->control(kIdToleranceTranslate).text, "0.0100");
  EXPECT_EQ(d->control(kIdToleranceRotate).text, "0.1235");
  EXPECT_EQ(d->control(kIdToleranceTexScale).text, "0.1000");
  EXPECT_EQ(d->control(kIdStartFrame).text, "-5");
  EXPECT_EQ(d->control(kIdEndFrame).text, "120");
  EXPECT_EQ(d->control(kIdToleranceColor).text, "3");
  EXPECT_EQ(d->control(kIdCompressNode).selection, 4);
  EXPECT_EQ(d->control(kIdTriangulation).selection, 2);
  EXPECT_EQ(d->control(kIdFrameStepMode).selection, 0);
  EXPECT_FALSE(d->control(kIdExportAll).checked);
  EXPECT_TRUE(d->control(kIdExportSelection).checked);
  EXPECT_FALSE(d->control(kIdFrameAll).checked);
  EXPECT_TRUE(d->control(kIdFrameRange).checked);
  EXPECT_FALSE(d->control(kIdIntermediateFiles).checked);
  EXPECT_TRUE(d->control(kIdMaterialEditor).checked);
  EXPECT_TRUE(d->control(kIdOutputImd).checked);
  EXPECT_TRUE(d->control(kIdOutputIca).checked);
  EXPECT_FALSE(d->control(kIdOutputIva).checked);
  EXPECT_TRUE(d->control(kIdUsePrimitiveStrip).checked);
  EXPECT_EQ(d->control(kIdOutputFileName).text, "robot");
  EXPECT_EQ(d->control(kIdMergeImdPath).text, "C:/m/base.imd");
}

TEST_F(DialogTest, ReadingBackGivesTheOptionsThatWereFilled) {
  working.magnify = 2.5f;
  working.start_frame = -5;
  working.end_frame = 42;
  working.compress_node = CompressNode::kUnite;
  working.compress_material = 1;
  working.output_iva = working.output_itp = 1;
  working.vertex_style = VertexStyle::kIndex;
  working.interpolation = Interpolation::kLinear;
  working.frame_step_mode = FrameStepMode::kFour;
  working.interp_end_to_start = 1;
  working.tolerance_translate = 0.5f;
  working.tolerance_color = 7;
  working.force_full_weight = 1;
  working.frame_range = FrameRange::kRange;
  working.use_primitive_strip = 0;
  working.force_quads = 0;
  working.merge_imd = 1;
  working.export_all = ExportScope::kSelection;
  working.process_mode = ProcessMode::k3dMaterialEditor;
  working.triangulation = Triangulation::kAllTris;
  set_text_field(working.merge_imd_path, "/m/base.imd");
  ExportOptions before = working;
  auto d = open_dialog();
  std::memset(&working, 0, offsetof(ExportOptions, save_scene_settings));
  d->read();
  EXPECT_EQ(std::memcmp(&working, &before, offsetof(ExportOptions, save_scene_settings)), 0);
}

TEST_F(DialogTest, AStoredValueOutsideAListSelectsNothingAndIsKept) {
  working.compress_node = static_cast<CompressNode>(7);
  working.triangulation = static_cast<Triangulation>(-1);
  auto d = open_dialog();
  EXPECT_EQ(d->control(kIdCompressNode).selection, -1);
  EXPECT_EQ(d->control(kIdTriangulation).selection, -1);
  d->read();
  EXPECT_EQ(working.compress_node, static_cast<CompressNode>(7));
  EXPECT_EQ(working.triangulation, static_cast<Triangulation>(-1));
  d->choose(kIdCompressNode, 2);
  d->read();
  EXPECT_EQ(working.compress_node, CompressNode::kMerge);
}

TEST_F(DialogTest, EditTextsAreReadWithTheHostReaders) {
  auto d = open_dialog();
  d->edit(kIdMagnify, " 1.25 ");
  d->click(kIdOutputIca);
  d->click(kIdOutputIma);
  d->edit(kIdToleranceTranslate, "abc");
  d->edit(kIdToleranceColor, "12abc");
  d->read();
  EXPECT_FLOAT_EQ(working.magnify, 1.25f);
  EXPECT_EQ(working.tolerance_translate, 0.0f);
  EXPECT_EQ(working.tolerance_color, 0);
  // Edits are cut to their field sizes.
  d->edit(kIdOutputFileName, std::string(300, 'n'));
  d->edit(kIdMergeImdPath, std::string(300, 'p'));  // disabled: ignored
  d->read();
  EXPECT_EQ(std::strlen(working.output_file_name), 255u);
  EXPECT_EQ(working.merge_imd_path[0], '\0');
}

TEST(DialogReaders, NumbersAndTextThatIsNone) {
  struct FloatCase {
    const char* text;
    float value;
    bool valid;
  };
  const FloatCase floats[] = {{"0.0100", 0.01f, true}, {" 2.5 ", 2.5f, true}, {"-3", -3.0f, true},
                              {"1e3", 1000.0f, true},  {"", 0.0f, false},     {"abc", 0.0f, false},
                              {"1.5x", 0.0f, false},   {"inf", 0.0f, false},  {"nan", 0.0f, false},
                              {"0x10", 0.0f, false},   {"1e60", 0.0f, false}, {"1,5", 0.0f, false}};
  for (const FloatCase& c : floats) {
    bool valid = !c.valid;
    EXPECT_FLOAT_EQ(host::read_dialog_float(c.text, &valid), c.value) << c.text;
    EXPECT_EQ(valid, c.valid) << c.text;
  }
  struct IntCase {
    const char* text;
    int value;
    bool valid;
  };
  const IntCase ints[] = {{"42", 42, true},
                          {" -7 ", -7, true},
                          {"2147483647", 2147483647, true},
                          {"-2147483648", -2147483647 - 1, true},
                          {"2147483648", 0, false},
                          {"-2147483649", 0, false},
                          {"", 0, false},
                          {"-", 0, false},
                          {"+5", 0, false},
                          {"12abc", 0, false},
                          {"1.5", 0, false},
                          {"99999999999999999999", 0, false}};
  for (const IntCase& c : ints) {
    bool valid = !c.valid;
    EXPECT_EQ(host::read_dialog_int(c.text, &valid), c.value) << c.text;
    EXPECT_EQ(valid, c.valid) << c.text;
  }
}

// The enabled state of the animation and tolerance controls.
struct AnimationCase {
  const char* name;
  bool ica, ima, ita;
  Interpolation interpolation;
  bool node_tol, tex_tol, color_tol, combos, end_to_start;
};

TEST_F(DialogTest, AnimationOutputsEnableTheirCombosAndTolerances) {
  const AnimationCase cases[] = {
      {"none", false, false, false, Interpolation::kLinear, false, false, false, false, false},
      {"ica", true, false, false, Interpolation::kLinear, true, false, false, true, true},
      {"ima", false, true, false, Interpolation::kLinear, false, false, true, true, true},
      {"ita", false, false, true, Interpolation::kLinear, false, true, false, true, true},
      {"ica frame", true, false, false, Interpolation::kFrame, true, false, false, true, false},
      {"all linear", true, true, true, Interpolation::kLinear, true, true, true, true, true},
  };
  for (const AnimationCase& c : cases) {
    working.output_ica = c.ica;
    working.output_ima = c.ima;
    working.output_ita = c.ita;
    working.interpolation = c.interpolation;
    auto d = open_dialog();
    for (int id : {kIdToleranceTranslate, kIdToleranceRotate, kIdToleranceScale}) {
      EXPECT_EQ(d->control(id).enabled, c.node_tol) << c.name << " " << id;
    }
    for (int id : {kIdToleranceTexTranslate, kIdToleranceTexRotate, kIdToleranceTexScale}) {
      EXPECT_EQ(d->control(id).enabled, c.tex_tol) << c.name << " " << id;
    }
    EXPECT_EQ(d->control(kIdToleranceColor).enabled, c.color_tol) << c.name;
    EXPECT_EQ(d->control(kIdInterpolation).enabled, c.combos) << c.name;
    EXPECT_EQ(d->control(kIdFrameStepMode).enabled, c.combos) << c.name;
    EXPECT_EQ(d->control(kIdInterpEndToStart).enabled, c.end_to_start) << c.name;
  }
}

TEST_F(DialogTest, ClicksAndChoicesRunTheRules) {
  auto d = open_dialog();
  // Defaults: no animation output, all frames, intermediate files, strips.
  EXPECT_FALSE(d->control(kIdInterpolation).enabled);
  EXPECT_FALSE(d->control(kIdStartFrame).enabled);
  EXPECT_TRUE(d->control(kIdOutputFolder).enabled);
  EXPECT_TRUE(d->control(kIdBrowseFolder).enabled);
  EXPECT_FALSE(d->control(kIdMergeImd).enabled);
  EXPECT_TRUE(d->control(kIdForceQuads).enabled);

  d->click(kIdOutputIca);
  EXPECT_TRUE(d->control(kIdToleranceRotate).enabled);
  EXPECT_TRUE(d->control(kIdInterpolation).enabled);
  EXPECT_FALSE(d->control(kIdInterpEndToStart).enabled);  // "Frame"
  d->choose(kIdInterpolation, 1);
  EXPECT_TRUE(d->control(kIdInterpEndToStart).enabled);
  d->choose(kIdInterpolation, 0);
  EXPECT_FALSE(d->control(kIdInterpEndToStart).enabled);
  d->click(kIdOutputIca);
  EXPECT_FALSE(d->control(kIdToleranceRotate).enabled);

  d->click(kIdFrameRange);
  EXPECT_FALSE(d->control(kIdFrameAll).checked);
  EXPECT_TRUE(d->control(kIdStartFrame).enabled);
  EXPECT_TRUE(d->control(kIdEndFrame).enabled);
  d->click(kIdFrameAll);
  EXPECT_FALSE(d->control(kIdFrameRange).checked);
  EXPECT_FALSE(d->control(kIdEndFrame).enabled);

  d->click(kIdMaterialEditor);
  EXPECT_FALSE(d->control(kIdIntermediateFiles).checked);
  EXPECT_FALSE(d->control(kIdOutputFolder).enabled);
  EXPECT_FALSE(d->control(kIdBrowseFolder).enabled);
  EXPECT_TRUE(d->control(kIdMergeImd).enabled);
  EXPECT_FALSE(d->control(kIdMergeImdPath).enabled);
  d->click(kIdMergeImd);
  EXPECT_TRUE(d->control(kIdMergeImdPath).enabled);
  EXPECT_TRUE(d->control(kIdBrowseMerge).enabled);
  d->click(kIdIntermediateFiles);
  EXPECT_FALSE(d->control(kIdMaterialEditor).checked);
  EXPECT_FALSE(d->control(kIdMergeImd).enabled);
  EXPECT_FALSE(d->control(kIdMergeImdPath).enabled);

  d->click(kIdUsePrimitiveStrip);
  EXPECT_FALSE(d->control(kIdForceQuads).enabled);
  d->click(kIdUsePrimitiveStrip);
  EXPECT_TRUE(d->control(kIdForceQuads).enabled);

  // Disabled, hidden and unknown controls take no action.
  d->click(kIdOutputIsd);
  EXPECT_FALSE(d->control(kIdOutputIsd).checked);
  d->edit(kIdStartFrame, "50");
  EXPECT_EQ(d->control(kIdStartFrame).text, "0");
  d->click(9999);
  d->choose(kIdCompressNode, 9);
  EXPECT_EQ(d->control(kIdCompressNode).selection, 0);
}

TEST_F(DialogTest, ChoosingATriangulationReadsTheWholeDialog) {
  auto d = open_dialog();
  d->edit(kIdMagnify, "4");
  d->edit(kIdOutputFileName, "hero");
  EXPECT_EQ(working.magnify, 1.0f);
  d->choose(kIdTriangulation, 2);
  EXPECT_EQ(working.magnify, 4.0f);
  EXPECT_STREQ(working.output_file_name, "hero");
  EXPECT_EQ(working.triangulation, Triangulation::kGenerateQuads);
}

TEST_F(DialogTest, ExportValidatesAndClosesOnlyWhenValid) {
  auto d = open_dialog();
  d->click(kIdOutputImd);  // nothing selected
  d->edit(kIdOutputFileName, "");
  d->click(kIdExport);
  EXPECT_FALSE(d->closed());
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "No output file.");
  EXPECT_EQ(host.messages[1].text, "Output File Name is empty.");
  d->click(kIdOutputImd);
  d->edit(kIdOutputFileName, "hero");
  d->click(kIdExport);
  EXPECT_TRUE(d->closed());
  EXPECT_EQ(d->result(), host::DialogResult::kExport);
  EXPECT_STREQ(working.output_file_name, "hero");
  EXPECT_EQ(exporter.runs, 0);
}

TEST_F(DialogTest, CancelAndClosingExportNothing) {
  auto d = open_dialog();
  d->edit(kIdOutputFileName, "changed");
  d->click(kIdCancel);
  EXPECT_TRUE(d->closed());
  EXPECT_EQ(d->result(), host::DialogResult::kCancel);
  EXPECT_STREQ(working.output_file_name, "robot");
  auto e = open_dialog();
  e->close();
  EXPECT_EQ(e->result(), host::DialogResult::kCancel);
}

TEST_F(DialogTest, ApplyWithAnEmptyNameExportsNothingAndKeepsTheControls) {
  auto d = open_dialog();
  std::vector<bool> enabled;
  for (const auto& c : d->controls()) enabled.push_back(c.enabled);
  d->edit(kIdOutputFileName, "");
  d->click(kIdApply);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Output File Name is empty.");
  EXPECT_EQ(host.messages[0].caption, "No Output File Name");
  EXPECT_EQ(exporter.runs, 0);
  EXPECT_EQ(settings.kept_writes, 0);
  EXPECT_FALSE(d->closed());
  for (std::size_t i = 0; i < enabled.size(); ++i) {
    EXPECT_EQ(d->controls()[i].enabled, enabled[i]) << d->controls()[i].id;
  }
}

TEST_F(DialogTest, SceneButtonNamesFromTheSceneFile) {
  struct Case {
    const char* file;
    const char* name;
  };
  const Case cases[] = {{"D:\\work\\robot.max", "robot"},
                        {"/home/a/hero.max", "hero"},
                        {"plain.max", "plain"},
                        {"", "untitled"}};
  for (const Case& c : cases) {
    EXPECT_EQ(scene_button_name(c.file), c.name) << c.file;
    exporter.file_name = c.file;
    auto d = open_dialog();
    d->click(kIdSceneName);
    EXPECT_EQ(d->control(kIdOutputFileName).text, c.name) << c.file;
  }
}

// A scene with a hierarchy: Body > Arm > Hand, and Zeta, alpha at the top.
std::unique_ptr<max::DocumentHost> naming_scene(const std::vector<std::string>& names,
                                                const std::vector<std::string>& selection) {
  doc::SceneDocument d;
  int id = 1;
  for (const std::string& n : names) {
    doc::Node node;
    node.id = id;
    node.name = n;
    // "Arm" hangs below "Body", "Hand" below "Arm".
    if (n == "Arm") node.parent = 1;
    if (n == "Hand") node.parent = 2;
    d.nodes.push_back(node);
    ++id;
  }
  auto host = max::make_document_host(std::move(d));
  host->select_by_names(selection);
  return host;
}

TEST(NodeButton, NamesFromTheSelectionOrTheSmallestName) {
  struct Case {
    const char* what;
    std::vector<std::string> names, selection;
    const char* expected;
  };
  const std::vector<std::string> tree = {"Body", "Arm", "Hand", "Zeta", "alpha"};
  const Case cases[] = {
      {"nothing selected", tree, {}, "alpha"},
      {"a prefix sorts first", {"Body", "Arm", "Hand", "ALPHABET", "alp"}, {}, "alp"},
      {"smallest of several", {"Body", "Arm", "Hand", "zz"}, {}, "Arm"},
      {"all after untitled", {"vv", "xx"}, {}, "untitled"},
      {"one selected", tree, {"Zeta"}, "Zeta"},
      {"child then parent", tree, {"Hand", "Body"}, "Body"},
      {"parent then child", tree, {"Body", "Hand"}, "Body"},
      {"child, unrelated, grandparent", tree, {"Hand", "Zeta", "Arm", "Body"}, "Body"},
      {"unrelated", tree, {"Zeta", "alpha"}, "Zeta"},
  };
  for (const Case& c : cases) {
    auto scene = naming_scene(c.names, {});
    // select_by_names keeps the order of the list it is given.
    scene->select_by_names(c.selection);
    EXPECT_EQ(node_button_name(scene->GetCOREInterface()), c.expected) << c.what;
  }
  EXPECT_LT(compare_names_no_case("abc", "ABCD"), 0);
  EXPECT_EQ(compare_names_no_case("Abc", "aBC"), 0);
  EXPECT_GT(compare_names_no_case("b", "A"), 0);
  EXPECT_LT(compare_names_no_case("_", "a"), 0);  // '_' 0x5F before 'a' 0x61
}

TEST_F(DialogTest, NodeButtonFillsTheName) {
  auto scene = naming_scene({"Body", "Arm", "Hand"}, {"Hand", "Body"});
  exporter.core = &scene->GetCOREInterface();
  auto d = open_dialog();
  d->click(kIdNodeName);
  EXPECT_EQ(d->control(kIdOutputFileName).text, "Body");
}

TEST_F(DialogTest, BrowseButtonsUseTheHostPickers) {
  auto d = open_dialog();
  host.picked_paths = {"C:\\out\\models"};
  d->click(kIdBrowseFolder);
  ASSERT_EQ(host.folder_picks.size(), 1u);
  EXPECT_EQ(host.folder_picks[0], dir.path());
  EXPECT_EQ(d->control(kIdOutputFolder).text, "C:/out/models");
  // A folder that does not exist starts the picker nowhere; a cancelled
  // picker leaves the edit box alone.
  d->click(kIdBrowseFolder);
  EXPECT_EQ(host.folder_picks[1], "");
  EXPECT_EQ(d->control(kIdOutputFolder).text, "C:/out/models");

  d->click(kIdMaterialEditor);
  d->click(kIdMergeImd);
  host.picked_paths = {"D:\\m\\base.imd"};
  d->click(kIdBrowseMerge);
  ASSERT_EQ(host.file_picks.size(), 1u);
  const host::FilePick& pick = host.file_picks[0].first;
  EXPECT_FALSE(host.file_picks[0].second);
  ASSERT_EQ(pick.filters.size(), 2u);
  EXPECT_EQ(pick.filters[0],
            std::make_pair(std::string("Filtered Files [*.imd]"), std::string("*.imd")));
  EXPECT_EQ(pick.filters[1], std::make_pair(std::string("All Files"), std::string("*.*")));
  EXPECT_EQ(pick.default_extension, "imd");
  EXPECT_TRUE(pick.must_exist);
  EXPECT_EQ(d->control(kIdMergeImdPath).text, "D:/m/base.imd");
}

TEST(DialogMenu, CommandsSeparatorsAndMarks) {
  std::vector<host::Menu> menus = options_dialog_menus(true);
  ASSERT_EQ(menus.size(), 3u);
  EXPECT_EQ(menus[0].title, "&Edit");
  ASSERT_EQ(menus[0].items.size(), 4u);
  EXPECT_EQ(menus[0].items[0].command, 40002);
  EXPECT_EQ(menus[0].items[0].text, "&Reset Settings");
  EXPECT_EQ(menus[0].items[1].command, 0);  // separator
  EXPECT_EQ(menus[0].items[2].command, 40005);
  EXPECT_EQ(menus[0].items[2].text, "As &Tool");
  EXPECT_TRUE(menus[0].items[2].grayed);
  EXPECT_FALSE(menus[0].items[2].checked);
  EXPECT_EQ(menus[0].items[3].command, 40004);
  EXPECT_EQ(menus[0].items[3].text, "As &Action");
  EXPECT_TRUE(menus[0].items[3].grayed);
  EXPECT_TRUE(menus[0].items[3].checked);
  EXPECT_EQ(menus[1].title, "KAVRO &Settings");
  ASSERT_EQ(menus[1].items.size(), 4u);
  EXPECT_EQ(menus[1].items[0].command, 40007);
  EXPECT_EQ(menus[1].items[0].text, "&Save / Load Scene Settings");
  EXPECT_TRUE(menus[1].items[0].checked);
  EXPECT_EQ(menus[1].items[1].command, 0);
  EXPECT_EQ(menus[1].items[2].command, 40009);
  EXPECT_EQ(menus[1].items[2].text, "&Load Settings from k3es File");
  EXPECT_EQ(menus[1].items[3].command, 40010);
  EXPECT_EQ(menus[1].items[3].text, "Save Settings to &k3es File");
  EXPECT_EQ(menus[2].title, "&Help");
  ASSERT_EQ(menus[2].items.size(), 1u);
  EXPECT_EQ(menus[2].items[0].command, 40006);
  EXPECT_EQ(menus[2].items[0].text, "No Help Currently Available");
  EXPECT_FALSE(options_dialog_menus(false)[1].items[0].checked);
}

TEST_F(DialogTest, SceneSettingsItemTogglesItsMarkAndWritesMenuSettings) {
  current_options().save_scene_settings = 0;
  auto d = open_dialog();
  EXPECT_FALSE(d->menus()[1].items[0].checked);
  d->command(kCmdSceneSettings);
  EXPECT_TRUE(d->menus()[1].items[0].checked);
  EXPECT_EQ(current_options().save_scene_settings, 1);
  d->command(kCmdSceneSettings);
  EXPECT_FALSE(d->menus()[1].items[0].checked);
  EXPECT_EQ(settings.menu_writes, (std::vector<int>{1, 0}));
  // The grayed and help items do nothing.
  ExportOptions before = working;
  for (int cmd : {kCmdAsTool, kCmdAsAction, kCmdNoHelp}) d->command(cmd);
  EXPECT_EQ(std::memcmp(&before, &working, sizeof working), 0);
}

TEST_F(DialogTest, ResetKeepsTheNamesAndRefillsTheDialog) {
  working.magnify = 5.0f;
  working.output_ica = 1;
  set_text_field(current_options().output_file_name, "kept");
  set_text_field(current_options().output_folder, "/kept/folder");
  current_options().compress_node = CompressNode::kUnite;
  auto d = open_dialog();
  d->click(kIdOutputIva);
  d->command(kCmdResetSettings);
  EXPECT_EQ(d->control(kIdMagnify).text, "1.0000");
  EXPECT_FALSE(d->control(kIdOutputIca).checked);
  EXPECT_FALSE(d->control(kIdOutputIva).checked);
  EXPECT_FALSE(d->control(kIdToleranceRotate).enabled);
  EXPECT_EQ(d->control(kIdOutputFileName).text, "kept");
  EXPECT_EQ(d->control(kIdOutputFolder).text, "/kept/folder");
  EXPECT_EQ(working.compress_node, CompressNode::kNone);
  EXPECT_EQ(current_options().compress_node, CompressNode::kNone);
}

TEST_F(DialogTest, LoadingAFileRefillsOnlyWhenItWasRead) {
  auto d = open_dialog();
  d->command(kCmdLoadSettings);  // picker cancelled
  EXPECT_TRUE(settings.reads.empty());
  ASSERT_EQ(host.file_picks.size(), 1u);
  const host::FilePick& pick = host.file_picks[0].first;
  ASSERT_EQ(pick.filters.size(), 2u);
  EXPECT_EQ(pick.filters[0].first, "Filtered Files [*.k3es]");
  EXPECT_EQ(pick.filters[0].second, "*.k3es");
  EXPECT_EQ(pick.filters[1].second, "*.*");
  EXPECT_EQ(pick.default_extension, "k3es");
  EXPECT_TRUE(pick.must_exist);

  settings.readable = false;
  host.picked_paths = {"/s/missing.k3es"};
  d->command(kCmdLoadSettings);
  EXPECT_EQ(d->control(kIdMagnify).text, "1.0000");
  settings.readable = true;
  host.picked_paths = {"/s/a.k3es"};
  d->command(kCmdLoadSettings);
  EXPECT_EQ(settings.reads, (std::vector<std::string>{"/s/missing.k3es", "/s/a.k3es"}));
  EXPECT_EQ(d->control(kIdMagnify).text, "3.0000");
  EXPECT_EQ(working.magnify, 3.0f);
}

TEST_F(DialogTest, SavingReadsTheDialogAndNamesTheFile) {
  auto d = open_dialog();
  struct Case {
    const char* chosen;
    const char* saved;
  };
  const Case cases[] = {{"/s/a.txt", "/s/a.txt.k3es"},
                        {"/s/b.k3es", "/s/b.k3es"},
                        {"/s/c.K3ES", "/s/c.K3ES.k3es"},
                        {"/s/d", "/s/d.k3es"},
                        {"/s.k3es/e", "/s.k3es/e.k3es"}};
  for (const Case& c : cases) {
    EXPECT_EQ(k3es_save_name(c.chosen), c.saved) << c.chosen;
    host.picked_paths.push_back(c.chosen);
  }
  d->edit(kIdMagnify, "2.5");
  for (std::size_t i = 0; i < std::size(cases); ++i) d->command(kCmdSaveSettings);
  ASSERT_EQ(settings.writes.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(settings.writes[i], cases[i].saved);
  EXPECT_EQ(settings.written_magnify, 2.5f);
  EXPECT_EQ(current_options().magnify, 2.5f);
  const host::FilePick& pick = host.file_picks[0].first;
  EXPECT_TRUE(host.file_picks[0].second);
  ASSERT_EQ(pick.filters.size(), 1u);
  EXPECT_EQ(pick.filters[0].second, "*.k3es");
  EXPECT_TRUE(pick.prompt_overwrite);
}

}  // namespace
}  // namespace kavro::ui
