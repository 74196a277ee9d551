// The options dialog as a model. It holds the control table (ids, kinds,
// labels, groups, field sizes, hidden and disabled controls), fills the
// controls from an exporter's working options and reads them back, runs the
// enable rules and the single events, carries out the buttons and the
// settings menu, keeps its placement in the options and scrolls its content.
// A front end draws the model and forwards the user's actions; the tests
// drive it the same way.
#pragma once

#include <string>
#include <vector>

#include "exporter/pipeline/options.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/stages.h"
#include "exporter/ui/dialog_layout.h"
#include "host/dialog.h"
#include "host/host.h"

namespace kavro {
namespace max {
class Interface;
}
}  // namespace kavro

namespace kavro::ui {

// Control ids.
enum DialogId {
  kIdStatic = -1,  // group boxes and fixed labels
  kIdExport = 1,
  kIdCancel = 2,
  kIdApply = 3,
  kIdMagnify = 1001,
  kIdStartFrame = 1002,
  kIdEndFrame = 1003,
  kIdCompressNode = 1004,
  kIdCompressMaterial = 1005,
  kIdOutputImd = 1006,
  kIdOutputIca = 1007,
  kIdOutputIva = 1008,
  kIdOutputIma = 1009,
  kIdOutputItp = 1010,
  kIdOutputIta = 1011,
  kIdVertexStyle = 1012,
  kIdOutputTexture = 1013,
  kIdInterpolation = 1014,
  kIdFrameStepMode = 1015,
  kIdInterpEndToStart = 1016,
  kIdToleranceTranslate = 1017,
  kIdToleranceRotate = 1018,
  kIdToleranceScale = 1019,
  kIdToleranceTexTranslate = 1020,
  kIdToleranceTexRotate = 1021,
  kIdToleranceTexScale = 1022,
  kIdToleranceColor = 1023,
  kIdForceFullWeight = 1024,
  kIdFrameAll = 1025,
  kIdTriangulation = 1026,
  kIdFrameRange = 1027,
  kIdUsePrimitiveStrip = 1028,
  kIdOutputIsd = 1029,
  kIdExportAll = 1030,
  kIdExportSelection = 1031,
  kIdOutputFileName = 1032,
  kIdSceneName = 1033,
  kIdNodeName = 1034,
  kIdIntermediateFiles = 1035,
  kIdOutputFolder = 1036,
  kIdBrowseFolder = 1037,
  kIdMaterialEditor = 1038,
  kIdMergeImd = 1039,
  kIdBrowseMerge = 1040,
  kIdMergeImdPath = 1041,
  kIdForceQuads = 1049,
  kIdProgress = 1050,
  kIdStatus = 1051,
};

// Menu commands.
enum DialogCommand {
  kCmdResetSettings = 40002,
  kCmdAsAction = 40004,
  kCmdAsTool = 40005,
  kCmdNoHelp = 40006,
  kCmdSceneSettings = 40007,
  kCmdLoadSettings = 40009,
  kCmdSaveSettings = 40010,
};

// The three fixed-size text fields.
constexpr std::size_t kNameSize = sizeof(ExportOptions::output_file_name);
constexpr std::size_t kFolderSize = sizeof(ExportOptions::output_folder);
constexpr std::size_t kMergePathSize = sizeof(ExportOptions::merge_imd_path);

constexpr int kDialogWidthUnits = 328;
constexpr int kDialogHeightUnits = 505;

// The control table in its initial state (nothing filled yet).
std::vector<host::DialogControl> options_dialog_controls();
// The dialog's menu; "&Save / Load Scene Settings" checked as given.
std::vector<host::Menu> options_dialog_menus(bool save_scene_settings);

// The settings files the menu and "Apply" act on.
class DialogSettingsFiles {
 public:
  virtual ~DialogSettingsFiles() = default;
  // menusettings.bin from the process-wide options.
  virtual void write_menu_settings(const ExportOptions& current) = 0;
  // A chosen k3es file over the process-wide options; false when it cannot be
  // opened.
  virtual bool read_settings_file(const std::string& path, ExportOptions& current) = 0;
  // A chosen k3es file from the process-wide options (shows its own failure).
  virtual void write_settings_file(const std::string& path, ExportOptions& current) = 0;
  // "max.k3es" in the settings folder, after "Apply" exported.
  virtual void write_kept_settings(ExportOptions& current) = 0;
};

// What the dialog asks of the export around it.
class DialogExport {
 public:
  virtual ~DialogExport() = default;
  // Runs one export with the working options while the dialog stays open,
  // its progress shown on `display`.
  virtual void run_export(ProgressDisplay& display) = 0;
  // The open scene's file name ("" when it was never saved).
  virtual std::string scene_file_name() = 0;
  // The host's root node and selection; null when there is no scene.
  virtual max::Interface* scene_interface() = 0;
};

// "Scene": the file name without folder and its last four characters, or
// "untitled" for a scene never saved.
std::string scene_button_name(const std::string& scene_file_name);
// "Node": with nothing selected the smallest of "untitled" and the names of
// all nodes below the root; one selected node its name; several, walking the
// selection in order, the name of the last one found that is an ancestor of
// the one found before it.
std::string node_button_name(max::Interface& core);
// The order "Node" uses: byte by byte with ASCII letters folded to lower
// case; on a common prefix the shorter name comes first.
int compare_names_no_case(const std::string& a, const std::string& b);

class OptionsDialog : public host::DialogModel, public ProgressDisplay {
 public:
  OptionsDialog(ExportOptions& working, host::Host& host, DialogExport& exporter,
                DialogSettingsFiles* settings);

  // host::DialogModel
  const std::string& caption() const override { return caption_; }
  const std::vector<host::DialogControl>& controls() const override { return controls_; }
  const std::vector<host::Menu>& menus() const override { return menus_; }
  host::Rect open(const host::Rect& parent, const host::Rect& main_window, int width,
                  int height) override;
  void moved(const host::Rect& screen) override;
  void click(int id) override;
  void choose(int id, int index) override;
  void edit(int id, const std::string& text) override;
  void command(int menu_command) override;
  void close() override;
  void client_resized(int width, int height, const host::DialogMetrics& metrics) override;
  void scroll(host::ScrollBar bar, host::ScrollAction action, int track_position) override;
  host::ScrollInfo scroll_info(host::ScrollBar bar) const override;
  bool closed() const override { return closed_; }
  host::DialogResult result() const override { return result_; }

  // ProgressDisplay: the status line and bar while "Apply" exports.
  void show_progress(int percent, const std::string& text) override;
  void end_progress() override;

  // Filling from and reading into the working options.
  void fill();
  void read();
  // The enable rules.
  void apply_enable_rules();

  // The control with this id (a blank one for an unknown id).
  const host::DialogControl& control(int id) const;
  const ExportOptions& working() const { return working_; }

 private:
  const host::DialogControl* find(int id) const;
  host::DialogControl& at(int id);
  void set_enabled(int id, bool enabled) { at(id).enabled = enabled; }
  bool checked(int id) const { return control(id).checked; }
  void press_export();
  void press_apply();
  void browse_folder();
  void browse_merge_file();
  void toggle_scene_settings();
  void load_settings();
  void save_settings();

  ExportOptions& working_;
  host::Host& host_;
  DialogExport& exporter_;
  DialogSettingsFiles* settings_;
  std::string caption_ = "MERIDANE_KAVRO_System";
  std::vector<host::DialogControl> controls_;
  std::vector<host::Menu> menus_;
  std::vector<std::size_t> disabled_by_apply_;  // positions in controls_
  ScrollState scroll_;
  bool closed_ = false;
  host::DialogResult result_ = host::DialogResult::kCancel;
};

// The dialog stage the export driver calls: shows an OptionsDialog over the
// exporter's working options through the host's dialog service. Without
// settings files of its own it uses the user's (UserDialogSettings).
class OptionsDialogStageImpl : public OptionsDialogStage {
 public:
  explicit OptionsDialogStageImpl(DialogSettingsFiles* settings = nullptr) : settings_(settings) {}
  void set_settings(DialogSettingsFiles* settings) { settings_ = settings; }
  host::DialogResult show(KavroExporter& exporter, SceneExtraction& scene) override;

 private:
  DialogSettingsFiles* settings_;
};

}  // namespace kavro::ui
