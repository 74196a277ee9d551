// The options dialog's control table and menu: every control's id, kind,
// label, place in dialog units, field size and initial visibility.
#include <string>
#include <utility>
#include <vector>

#include "exporter/ui/options_dialog.h"

namespace kavro::ui {

namespace {

using host::ControlKind;
using host::DialogControl;
using host::Rect;

// The control table, top to bottom, in dialog units. Group boxes and fixed
// labels carry kIdStatic.
class TableBuilder {
 public:
  DialogControl& add(int id, ControlKind kind, const std::string& label, int x, int y, int w,
                     int h) {
    DialogControl c;
    c.id = id;
    c.kind = kind;
    c.label = label;
    c.rect = Rect{x, y, x + w, y + h};
    controls.push_back(c);
    return controls.back();
  }
  DialogControl& group(const std::string& title, int y, int h) {
    return add(kIdStatic, ControlKind::kGroup, title, 7, y, 314, h);
  }
  DialogControl& label(const std::string& text, int x, int y, int w) {
    return add(kIdStatic, ControlKind::kLabel, text, x, y + 2, w, 8);
  }
  DialogControl& edit(int id, int x, int y, int w, std::size_t size = 0) {
    DialogControl& c = add(id, ControlKind::kEdit, "", x, y, w, 12);
    c.text_size = size;
    return c;
  }
  DialogControl& combo(int id, int x, int y, int w, std::vector<std::string> choices) {
    DialogControl& c = add(id, ControlKind::kCombo, "", x, y, w, 12);
    c.choices = std::move(choices);
    return c;
  }
  DialogControl& check(int id, const std::string& text, int x, int y, int w) {
    return add(id, ControlKind::kCheck, text, x, y, w, 10);
  }
  DialogControl& radio(int id, const std::string& text, int x, int y, int w) {
    return add(id, ControlKind::kRadio, text, x, y, w, 10);
  }
  DialogControl& button(int id, const std::string& text, int x, int y, int w) {
    return add(id, ControlKind::kButton, text, x, y, w, 13);
  }
  std::vector<DialogControl> controls;
};

void hide(DialogControl& c) {
  c.hidden = true;
  c.enabled = false;
}

}  // namespace

std::vector<DialogControl> options_dialog_controls() {
  TableBuilder t;
  // Output Options.
  t.group("Output Options", 4, 100);
  t.label("Export", 14, 16, 50);
  t.radio(kIdExportAll, "All", 100, 16, 40);
  t.radio(kIdExportSelection, "Selection", 145, 16, 60);
  t.label("Output File Name", 14, 30, 80);
  t.edit(kIdOutputFileName, 100, 30, 120, kNameSize);
  t.button(kIdSceneName, "Scene", 225, 29, 40);
  t.button(kIdNodeName, "Node", 270, 29, 40);
  t.radio(kIdIntermediateFiles, "Output Intermediate Files", 14, 46, 140);
  t.label("Output Folder", 24, 59, 70);
  t.edit(kIdOutputFolder, 100, 59, 188, kFolderSize);
  t.button(kIdBrowseFolder, "", 292, 58, 18);
  t.radio(kIdMaterialEditor, "Use 3D Material Editor", 14, 75, 140);
  t.check(kIdMergeImd, "Merge Imd File", 24, 89, 72);
  t.edit(kIdMergeImdPath, 100, 88, 188, kMergePathSize);
  t.button(kIdBrowseMerge, "", 292, 87, 18);
  // General Options.
  t.group("General Options", 108, 68);
  t.label("Magnify", 14, 120, 80);
  t.edit(kIdMagnify, 100, 120, 60);
  t.label("Compress Node", 14, 134, 80);
  t.combo(kIdCompressNode, 100, 134, 120,
          {"None", "Cull Useless Node", "Merge Useless Node", "Unite", "Unite & Combine Polygon"});
  t.label("Compress Material", 14, 148, 80);
  t.combo(kIdCompressMaterial, 100, 148, 120, {"None", "Compress Same Material"});
  t.label("Start / End Frame", 14, 162, 80);
  t.radio(kIdFrameAll, "All", 100, 163, 30);
  t.radio(kIdFrameRange, "Range", 135, 163, 40);
  t.edit(kIdStartFrame, 180, 162, 50);
  t.edit(kIdEndFrame, 240, 162, 50);
  // Output File Selection.
  t.group("Output File Selection", 180, 92);
  struct Row {
    const char* label;
    int id;
    const char* box;
  };
  const Row rows[] = {{"Model Data", kIdOutputImd, "[.imd]"},
                      {"Character Animation Data", kIdOutputIca, "[.ica]"},
                      {"Visibility Animation Data", kIdOutputIva, "[.iva]"},
                      {"Material Color Animation Data", kIdOutputIma, "[.ima]"},
                      {"Texture Pattern Animation Data", kIdOutputItp, "[.itp]"},
                      {"Texture SRT Animation Data", kIdOutputIta, "[.ita]"},
                      {"Scene Data", kIdOutputIsd, "[.isd]"}};
  int y = 191;
  for (const Row& r : rows) {
    DialogControl& label = t.label(r.label, 14, y - 2, 150);
    DialogControl& box = t.check(r.id, r.box, 180, y, 50);
    if (r.id == kIdOutputIsd) {
      hide(label);
      hide(box);
    }
    y += 11;
  }
  // Imd Options.
  t.group("Imd Options", 276, 64);
  t.label("Vertex Style", 14, 288, 80);
  t.combo(kIdVertexStyle, 100, 288, 80, {"Direct", "Index"});
  hide(t.label("Output Texture", 190, 288, 56));
  hide(t.combo(kIdOutputTexture, 250, 288, 64, {"Only Used", "All"}));
  t.check(kIdForceFullWeight, "Force Full Weight", 14, 303, 100);
  t.check(kIdUsePrimitiveStrip, "Use Primitive Strip", 14, 315, 100);
  t.check(kIdForceQuads, "Force Quads", 120, 315, 80).hidden = true;
  t.label("Triangulation", 14, 326, 80);
  t.combo(kIdTriangulation, 100, 326, 130,
          {"As Is", "As Is With Quad Checking", "Generate Quads", "All Triangles"});
  // Animation Options.
  t.group("Animation Options", 344, 52);
  t.label("Interpolation", 14, 356, 80);
  t.combo(kIdInterpolation, 100, 356, 80, {"Frame", "Linear"});
  t.label("Frame Step Mode", 14, 370, 80);
  t.combo(kIdFrameStepMode, 100, 370, 80, {"Auto", "1", "2", "4"});
  t.check(kIdInterpEndToStart, "Interpolate End Frame to Start Frame", 14, 384, 180);
  // Tolerance Options.
  t.group("Tolerance Options", 400, 56);
  struct Tol {
    const char* label;
    int id;
  };
  const Tol tolerances[] = {{"Node Translate", kIdToleranceTranslate},
                            {"Node Rotate", kIdToleranceRotate},
                            {"Node Scale", kIdToleranceScale},
                            {"Texture Translate", kIdToleranceTexTranslate},
                            {"Texture Rotate", kIdToleranceTexRotate},
                            {"Texture Scale", kIdToleranceTexScale},
                            {"Color", kIdToleranceColor}};
  for (int i = 0; i < 7; ++i) {
    int x = 14 + (i % 3) * 102;
    int row_y = 412 + (i / 3) * 14;
    t.label(tolerances[i].label, x, row_y, 58);
    t.edit(tolerances[i].id, x + 60, row_y, 38);
  }
  // Status line, progress bar and the buttons.
  t.add(kIdStatus, ControlKind::kStatus, "", 7, 460, 314, 10);
  t.add(kIdProgress, ControlKind::kProgress, "", 7, 472, 314, 10);
  t.button(kIdExport, "Export", 121, 487, 60).rect.bottom = 501;
  t.button(kIdApply, "Apply", 187, 487, 60).rect.bottom = 501;
  t.button(kIdCancel, "Cancel", 253, 487, 60).rect.bottom = 501;
  return t.controls;
}

std::vector<host::Menu> options_dialog_menus(bool save_scene_settings) {
  using host::MenuItem;
  return {
      {"&Edit",
       {MenuItem{kCmdResetSettings, "&Reset Settings"}, MenuItem{},
        MenuItem{kCmdAsTool, "As &Tool", true, false},
        MenuItem{kCmdAsAction, "As &Action", true, true}}},
      {"KAVRO &Settings",
       {MenuItem{kCmdSceneSettings, "&Save / Load Scene Settings", false, save_scene_settings},
        MenuItem{}, MenuItem{kCmdLoadSettings, "&Load Settings from k3es File"},
        MenuItem{kCmdSaveSettings, "Save Settings to &k3es File"}}},
      {"&Help", {MenuItem{kCmdNoHelp, "No Help Currently Available"}}},
  };
}

}  // namespace kavro::ui
