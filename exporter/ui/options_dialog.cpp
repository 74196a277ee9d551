#include "exporter/ui/options_dialog.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <utility>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "exporter/ui/dialog_settings.h"
#include "exporter/ui/settings_file.h"
#include "host/max_views.h"

namespace kavro::ui {

namespace {

using host::ControlKind;
using host::DialogControl;

// The float edits and the option each shows.
struct FloatEdit {
  int id;
  float ExportOptions::*field;
};
constexpr FloatEdit kFloatEdits[] = {
    {kIdMagnify, &ExportOptions::magnify},
    {kIdToleranceTranslate, &ExportOptions::tolerance_translate},
    {kIdToleranceRotate, &ExportOptions::tolerance_rotate},
    {kIdToleranceScale, &ExportOptions::tolerance_scale},
    {kIdToleranceTexTranslate, &ExportOptions::tolerance_tex_translate},
    {kIdToleranceTexRotate, &ExportOptions::tolerance_tex_rotate},
    {kIdToleranceTexScale, &ExportOptions::tolerance_tex_scale},
};

struct IntField {
  int id;
  std::int32_t ExportOptions::*field;
};
constexpr IntField kIntEdits[] = {
    {kIdStartFrame, &ExportOptions::start_frame},
    {kIdEndFrame, &ExportOptions::end_frame},
    {kIdToleranceColor, &ExportOptions::tolerance_color},
};
constexpr IntField kChecks[] = {
    {kIdOutputImd, &ExportOptions::output_imd},
    {kIdOutputIca, &ExportOptions::output_ica},
    {kIdOutputIva, &ExportOptions::output_iva},
    {kIdOutputIma, &ExportOptions::output_ima},
    {kIdOutputItp, &ExportOptions::output_itp},
    {kIdOutputIta, &ExportOptions::output_ita},
    {kIdOutputIsd, &ExportOptions::output_isd},
    {kIdForceFullWeight, &ExportOptions::force_full_weight},
    {kIdUsePrimitiveStrip, &ExportOptions::use_primitive_strip},
    {kIdForceQuads, &ExportOptions::force_quads},
    {kIdInterpEndToStart, &ExportOptions::interp_end_to_start},
    {kIdMergeImd, &ExportOptions::merge_imd},
};
// A drop-down list whose selection is the stored value of its option (an
// integer or an option enumeration).
struct ComboField {
  int id;
  std::int32_t (*get)(const ExportOptions&);
  void (*set)(ExportOptions&, std::int32_t);
};
template <auto field>
constexpr ComboField combo(int id) {
  using Value = std::remove_cvref_t<decltype(std::declval<ExportOptions&>().*field)>;
  return {id, [](const ExportOptions& o) { return static_cast<std::int32_t>(o.*field); },
          [](ExportOptions& o, std::int32_t v) { o.*field = static_cast<Value>(v); }};
}
constexpr ComboField kCombos[] = {
    combo<&ExportOptions::compress_node>(kIdCompressNode),
    combo<&ExportOptions::compress_material>(kIdCompressMaterial),
    combo<&ExportOptions::vertex_style>(kIdVertexStyle),
    combo<&ExportOptions::output_texture>(kIdOutputTexture),
    combo<&ExportOptions::triangulation>(kIdTriangulation),
    combo<&ExportOptions::interpolation>(kIdInterpolation),
    combo<&ExportOptions::frame_step_mode>(kIdFrameStepMode),
};

// The other button of each radio pair.
int radio_partner(int id) {
  switch (id) {
    case kIdExportAll:
      return kIdExportSelection;
    case kIdExportSelection:
      return kIdExportAll;
    case kIdFrameAll:
      return kIdFrameRange;
    case kIdFrameRange:
      return kIdFrameAll;
    case kIdIntermediateFiles:
      return kIdMaterialEditor;
    case kIdMaterialEditor:
      return kIdIntermediateFiles;
    default:
      return 0;
  }
}

std::string cut_to(const std::string& text, std::size_t size) {
  return size == 0 || text.size() < size ? text : text.substr(0, size - 1);
}

bool is_ancestor(const max::INode* candidate, const max::INode* node) {
  for (const max::INode* p = node->GetParentNode(); p != nullptr; p = p->GetParentNode()) {
    if (p == candidate) return true;
  }
  return false;
}

void smallest_below(const max::INode& node, std::string& best) {
  for (int i = 0; i < node.NumberOfChildren(); ++i) {
    const max::INode* child = node.GetChildNode(i);
    if (child == nullptr) continue;
    if (compare_names_no_case(child->GetName(), best) < 0) best = child->GetName();
    smallest_below(*child, best);
  }
}

}  // namespace

std::string scene_button_name(const std::string& scene_file_name) {
  if (scene_file_name.empty()) return "untitled";
  return drop_last_four(file_name_of(scene_file_name));
}

int compare_names_no_case(const std::string& a, const std::string& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string node_button_name(max::Interface& core) {
  int count = core.GetSelNodeCount();
  if (count <= 0) {
    std::string best = "untitled";
    if (const max::INode* root = core.GetRootNode()) smallest_below(*root, best);
    return best;
  }
  const max::INode* found = core.GetSelNode(0);
  for (int i = 1; i < count; ++i) {
    const max::INode* next = core.GetSelNode(i);
    if (next != nullptr && found != nullptr && is_ancestor(next, found)) found = next;
  }
  return found != nullptr ? found->GetName() : std::string("untitled");
}

// ---------------------------------------------------------------------------

OptionsDialog::OptionsDialog(ExportOptions& working, host::Host& host, DialogExport& exporter,
                             DialogSettingsFiles* settings)
    : working_(working),
      host_(host),
      exporter_(exporter),
      settings_(settings),
      controls_(options_dialog_controls()),
      menus_(options_dialog_menus(current_options().save_scene_settings != 0)) {
  fill();
}

const DialogControl* OptionsDialog::find(int id) const {
  if (id == kIdStatic) return nullptr;
  for (const DialogControl& c : controls_) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const DialogControl& OptionsDialog::control(int id) const {
  static const DialogControl none{};
  const DialogControl* c = find(id);
  return c != nullptr ? *c : none;
}

DialogControl& OptionsDialog::at(int id) {
  // Only ids of the table reach here.
  return *const_cast<DialogControl*>(find(id));
}

void OptionsDialog::fill() {
  const ExportOptions& o = working_;
  for (const FloatEdit& f : kFloatEdits) {
    at(f.id).text = format("%.4f", static_cast<double>(o.*f.field));
  }
  for (const IntField& f : kIntEdits) at(f.id).text = format("%d", o.*f.field);
  for (const IntField& f : kChecks) at(f.id).checked = o.*f.field != 0;
  for (const ComboField& f : kCombos) {
    DialogControl& c = at(f.id);
    int value = f.get(o);
    // A value outside the list selects nothing, as a drop-down list does.
    c.selection = value >= 0 && value < static_cast<int>(c.choices.size()) ? value : -1;
  }
  at(kIdExportAll).checked = o.export_all == ExportScope::kAll;
  at(kIdExportSelection).checked = o.export_all != ExportScope::kAll;
  at(kIdFrameAll).checked = o.frame_range == FrameRange::kAll;
  at(kIdFrameRange).checked = o.frame_range != FrameRange::kAll;
  at(kIdIntermediateFiles).checked = o.process_mode == ProcessMode::kIntermediateFile;
  at(kIdMaterialEditor).checked = o.process_mode != ProcessMode::kIntermediateFile;
  at(kIdOutputFileName).text = o.output_file_name;
  at(kIdOutputFolder).text = o.output_folder;
  at(kIdMergeImdPath).text = o.merge_imd_path;
  apply_enable_rules();
}

void OptionsDialog::read() {
  ExportOptions& o = working_;
  for (const FloatEdit& f : kFloatEdits) o.*f.field = host::read_dialog_float(control(f.id).text);
  for (const IntField& f : kIntEdits) o.*f.field = host::read_dialog_int(control(f.id).text);
  for (const IntField& f : kChecks) o.*f.field = checked(f.id) ? 1 : 0;
  for (const ComboField& f : kCombos) {
    // Nothing selected keeps the option (a list never offers an index it
    // does not hold).
    int selection = control(f.id).selection;
    if (selection >= 0) f.set(o, selection);
  }
  o.frame_range = checked(kIdFrameAll) ? FrameRange::kAll : FrameRange::kRange;
  o.export_all = checked(kIdExportAll) ? ExportScope::kAll : ExportScope::kSelection;
  o.process_mode = checked(kIdIntermediateFiles) ? ProcessMode::kIntermediateFile
                                                 : ProcessMode::k3dMaterialEditor;
  set_text_field(o.output_file_name, control(kIdOutputFileName).text);
  set_text_field(o.output_folder, control(kIdOutputFolder).text);
  set_text_field(o.merge_imd_path, control(kIdMergeImdPath).text);
}

void OptionsDialog::apply_enable_rules() {
  bool ica = checked(kIdOutputIca), ita = checked(kIdOutputIta), ima = checked(kIdOutputIma);
  for (int id : {kIdToleranceTranslate, kIdToleranceRotate, kIdToleranceScale}) {
    set_enabled(id, ica);
  }
  for (int id : {kIdToleranceTexTranslate, kIdToleranceTexRotate, kIdToleranceTexScale}) {
    set_enabled(id, ita);
  }
  set_enabled(kIdToleranceColor, ima);
  bool animated = ica || ita || ima;
  set_enabled(kIdInterpolation, animated);
  set_enabled(kIdFrameStepMode, animated);
  set_enabled(kIdInterpEndToStart, animated && control(kIdInterpolation).selection == 1);
  bool range = checked(kIdFrameRange);
  set_enabled(kIdStartFrame, range);
  set_enabled(kIdEndFrame, range);
  bool files = checked(kIdIntermediateFiles);
  set_enabled(kIdOutputFolder, files);
  set_enabled(kIdBrowseFolder, files);
  bool editor = checked(kIdMaterialEditor);
  set_enabled(kIdMergeImd, editor);
  set_enabled(kIdMergeImdPath, editor && checked(kIdMergeImd));
  set_enabled(kIdBrowseMerge, editor && checked(kIdMergeImd));
  set_enabled(kIdForceQuads, checked(kIdUsePrimitiveStrip));
}

void OptionsDialog::click(int id) {
  const DialogControl* found = find(id);
  if (closed_ || found == nullptr || !found->enabled || found->hidden) return;
  DialogControl& c = at(id);
  if (c.kind == ControlKind::kCheck) {
    c.checked = !c.checked;
  } else if (c.kind == ControlKind::kRadio) {
    c.checked = true;
    at(radio_partner(id)).checked = false;
  }
  switch (id) {
    case kIdOutputIca:
    case kIdOutputIma:
    case kIdOutputIta:
    case kIdFrameAll:
    case kIdFrameRange:
    case kIdIntermediateFiles:
    case kIdMaterialEditor:
      apply_enable_rules();
      break;
    case kIdUsePrimitiveStrip:
      set_enabled(kIdForceQuads, c.checked);
      break;
    case kIdMergeImd:
      set_enabled(kIdMergeImdPath, c.checked);
      set_enabled(kIdBrowseMerge, c.checked);
      break;
    case kIdExport:
      press_export();
      break;
    case kIdApply:
      press_apply();
      break;
    case kIdCancel:
      close();
      break;
    case kIdSceneName:
      at(kIdOutputFileName).text =
          cut_to(scene_button_name(exporter_.scene_file_name()), kNameSize);
      break;
    case kIdNodeName:
      if (max::Interface* core = exporter_.scene_interface()) {
        at(kIdOutputFileName).text = cut_to(node_button_name(*core), kNameSize);
      }
      break;
    case kIdBrowseFolder:
      browse_folder();
      break;
    case kIdBrowseMerge:
      browse_merge_file();
      break;
    default:
      break;
  }
}

void OptionsDialog::choose(int id, int index) {
  const DialogControl* found = find(id);
  if (closed_ || found == nullptr || !found->enabled || found->hidden) return;
  DialogControl& c = at(id);
  if (c.kind != ControlKind::kCombo) return;
  if (index < 0 || index >= static_cast<int>(c.choices.size())) return;
  c.selection = index;
  if (id == kIdInterpolation) set_enabled(kIdInterpEndToStart, index == 1);
  if (id == kIdTriangulation) read();
}

void OptionsDialog::edit(int id, const std::string& text) {
  const DialogControl* found = find(id);
  if (closed_ || found == nullptr || !found->enabled || found->hidden) return;
  DialogControl& c = at(id);
  if (c.kind != ControlKind::kEdit) return;
  c.text = cut_to(text, c.text_size);
}

void OptionsDialog::close() {
  closed_ = true;
  result_ = host::DialogResult::kCancel;
}

void OptionsDialog::press_export() {
  read();
  if (!validate_for_export(working_, host_)) return;
  closed_ = true;
  result_ = host::DialogResult::kExport;
}

void OptionsDialog::press_apply() {
  read();
  if (!validate_for_export(working_, host_)) return;
  disabled_by_apply_.clear();
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    DialogControl& c = controls_[i];
    if (c.id == kIdStatus || c.id == kIdProgress || !c.enabled) continue;
    c.enabled = false;
    disabled_by_apply_.push_back(i);
  }
  copy_options(working_, current_options());
  exporter_.run_export(*this);
  if (settings_ != nullptr) settings_->write_kept_settings(current_options());
  // A run that stopped before its progress ended still gives the controls back.
  if (!disabled_by_apply_.empty()) end_progress();
}

void OptionsDialog::show_progress(int percent, const std::string& text) {
  at(kIdStatus).text = text;
  at(kIdProgress).position = percent;
}

void OptionsDialog::end_progress() {
  at(kIdStatus).text.clear();
  at(kIdProgress).position = 0;
  for (std::size_t i : disabled_by_apply_) controls_[i].enabled = true;
  disabled_by_apply_.clear();
}

void OptionsDialog::browse_folder() {
  // The picker starts at the folder of the edit box when that exists, given
  // as it stands (forward slashes are this system's separators).
  const std::string& current = control(kIdOutputFolder).text;
  std::string start = host_.folder_exists(current) ? current : std::string();
  std::string chosen;
  if (!host_.pick_folder(start, chosen)) return;
  at(kIdOutputFolder).text = cut_to(slash_form(chosen), kFolderSize);
}

void OptionsDialog::browse_merge_file() {
  host::FilePick pick;
  pick.filters = {{"Filtered Files [*.imd]", "*.imd"}, {"All Files", "*.*"}};
  pick.default_extension = "imd";
  pick.must_exist = true;
  std::string chosen;
  if (!host_.pick_open_file(pick, chosen)) return;
  at(kIdMergeImdPath).text = cut_to(slash_form(chosen), kMergePathSize);
}

void OptionsDialog::command(int menu_command) {
  if (closed_) return;
  switch (menu_command) {
    case kCmdResetSettings:
      reset_options(current_options(), false);
      copy_options(current_options(), working_);
      fill();
      break;
    case kCmdSceneSettings:
      toggle_scene_settings();
      break;
    case kCmdLoadSettings:
      load_settings();
      break;
    case kCmdSaveSettings:
      save_settings();
      break;
    default:  // "As Tool", "As Action" and "Help" do nothing
      break;
  }
}

void OptionsDialog::toggle_scene_settings() {
  ExportOptions& current = current_options();
  current.save_scene_settings = current.save_scene_settings ? 0 : 1;
  for (host::Menu& menu : menus_) {
    for (host::MenuItem& item : menu.items) {
      if (item.command == kCmdSceneSettings) item.checked = current.save_scene_settings != 0;
    }
  }
  if (settings_ != nullptr) settings_->write_menu_settings(current);
}

void OptionsDialog::load_settings() {
  host::FilePick pick;
  pick.filters = {{"Filtered Files [*.k3es]", "*.k3es"}, {"All Files", "*.*"}};
  pick.default_extension = "k3es";
  pick.must_exist = true;
  std::string chosen;
  if (!host_.pick_open_file(pick, chosen) || settings_ == nullptr) return;
  if (!settings_->read_settings_file(chosen, current_options())) return;
  copy_options(current_options(), working_);
  fill();
}

void OptionsDialog::save_settings() {
  host::FilePick pick;
  pick.filters = {{"Filtered Files [*.k3es]", "*.k3es"}};
  pick.default_extension = "k3es";
  pick.prompt_overwrite = true;
  std::string chosen;
  if (!host_.pick_save_file(pick, chosen)) return;
  read();
  copy_options(working_, current_options());
  if (settings_ != nullptr)
    settings_->write_settings_file(k3es_save_name(chosen), current_options());
}

host::Rect OptionsDialog::open(const host::Rect& parent, const host::Rect& main_window, int width,
                               int height) {
  host::Rect r = place_dialog(working_.dialog_rect, parent, main_window, width, height);
  moved(r);
  return r;
}

void OptionsDialog::moved(const host::Rect& screen) {
  working_.dialog_rect[0] = screen.left;
  working_.dialog_rect[1] = screen.top;
  working_.dialog_rect[2] = screen.right;
  working_.dialog_rect[3] = screen.bottom;
}

void OptionsDialog::client_resized(int width, int height, const host::DialogMetrics& metrics) {
  std::vector<host::Rect> children;
  for (const DialogControl& c : controls_) {
    if (!c.hidden) children.push_back(dialog_units_to_pixels(c.rect, metrics));
  }
  set_scroll_content(scroll_, children, metrics);
  resize_scroll_client(scroll_, width, height);
}

void OptionsDialog::scroll(host::ScrollBar bar, host::ScrollAction action, int track_position) {
  scroll_by(scroll_, bar, action, track_position);
}

host::ScrollInfo OptionsDialog::scroll_info(host::ScrollBar bar) const {
  return bar == host::ScrollBar::kHorizontal ? scroll_.horizontal : scroll_.vertical;
}

// ---------------------------------------------------------------------------

namespace {

// The export around a dialog shown by the driver.
class ExporterDialogExport : public DialogExport {
 public:
  ExporterDialogExport(KavroExporter& exporter, SceneExtraction& scene)
      : exporter_(exporter), scene_(scene) {}

  void run_export(ProgressDisplay& display) override {
    ExportScene& s = exporter_.scene();
    s.progress_in_host = false;
    s.progress_display = &display;
    exporter_.run_export(scene_);
    // The next run starts its progress from nothing.
    s.progress_display = nullptr;
    s.progress_percent = 0;
    s.shown_percent = 0;
    s.stages_done = 0;
    s.progress_text.clear();
  }
  std::string scene_file_name() override { return scene_.scene_file_name(); }
  max::Interface* scene_interface() override { return scene_.core_interface(); }

 private:
  KavroExporter& exporter_;
  SceneExtraction& scene_;
};

}  // namespace

host::DialogResult OptionsDialogStageImpl::show(KavroExporter& exporter, SceneExtraction& scene) {
  ExporterDialogExport around(exporter, scene);
  // Without files of its own the dialog works on the user's settings files.
  UserDialogSettings user_files(exporter.host());
  DialogSettingsFiles* files = settings_ != nullptr ? settings_ : &user_files;
  OptionsDialog dialog(exporter.working_options(), exporter.host(), around, files);
  host::DialogResult result = exporter.host().show_dialog(dialog);
  // A host without dialogs answers unavailable; one that closed the dialog
  // any other way than by "Export" cancelled it.
  if (result == host::DialogResult::kUnavailable) return result;
  return dialog.closed() ? dialog.result() : result;
}

}  // namespace kavro::ui
