#include "exporter/kavro_exporter.h"

#include <stdlib.h>

#include <filesystem>

#include "exporter/animation/writers.h"
#include "exporter/extract/host_extraction.h"
#include "exporter/imd/imd_writer.h"
#include "exporter/imd/isd_writer.h"
#include "exporter/pipeline/messages.h"
#include "exporter/process/processing.h"
#include "exporter/ui/editor_handoff.h"
#include "exporter/ui/options_dialog.h"
#include "exporter/ui/user_settings.h"
#include "host/class_data.h"
#include "host/cp932.h"
#include "host/document_views.h"
#include "host/files.h"
#include "host/host.h"
#include "host/scene_document.h"

namespace kavro {

namespace {

ui::OptionsDialogStageImpl& dialog_stage() {
  static ui::OptionsDialogStageImpl dialog;
  return dialog;
}

}  // namespace

Stages exporter_stages() {
  static ImdWriter imd;
  static IsdWriter isd;
  static IcaWriter ica;
  static IvaWriter iva;
  static ImaWriter ima;
  static ItaWriter ita;
  static ItpWriter itp;
  static SceneProcessor processing;
  static ui::MaterialEditorHandoff editor;
  Stages stages;
  stages.editor = &editor;
  // Settings files are attached by the caller (attach_user_settings).
  dialog_stage().set_settings(nullptr);
  stages.dialog = &dialog_stage();
  stages.processing = &processing;
  stages.writers[kOutIca] = &ica;
  stages.writers[kOutIva] = &iva;
  stages.writers[kOutIma] = &ima;
  stages.writers[kOutIta] = &ita;
  stages.writers[kOutItp] = &itp;
  stages.writers[kOutImd] = &imd;
  stages.writers[kOutIsd] = &isd;
  return stages;
}

void attach_user_settings(Stages& stages, UserSettings& settings) {
  stages.settings = &settings;
  dialog_stage().set_settings(&settings.dialog_files());
}

ExporterClassData& exporter_class_data() {
  static ExporterClassData data;
  return data;
}

void load_exporter_plugin() {
  reset_options_at_plugin_load();
  exporter_class_data().set_write_back(true);
  host::register_class_data_owner(exporter_class_data());
}

namespace {

// An imported scene whose embedded images were written to a temporary
// folder for the export; the folder goes with the scene.
class ImportedExtraction : public HostExtraction {
 public:
  ImportedExtraction(std::unique_ptr<max::HostScene> scene, host::Host& host, std::string folder)
      : HostExtraction(std::move(scene), host), folder_(std::move(folder)) {}
  ~ImportedExtraction() override {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

 private:
  std::string folder_;
};

// Writes the embedded images of an imported document into a new temporary
// folder (named in `folder`) and points its texture maps there.
bool images_to_temporary_folder(doc::SceneDocument& document, host::Host& host,
                                const std::string& path, std::string& folder) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavro-images-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    show_error(host, "Can't read the scene " + path + ": no temporary folder for its images",
               "Scene Error");
    return false;
  }
  // Temporary folders are ASCII: the same name in the host code page.
  folder = pattern;
  std::string error;
  if (!host::write_embedded_images(document, folder, error)) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    folder.clear();
    show_error(host, "Can't read the scene " + error, "Scene Error");
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SceneExtraction> open_scene_selecting(const std::string& path, host::Host& host,
                                                      const SceneOpenOptions& options,
                                                      std::vector<std::string>& unknown_names) {
  unknown_names.clear();
  host::SceneLoadResult loaded = host::load_scene_file(path, options.import);
  if (!loaded.ok) {
    show_error(host, "Can't read the scene " + loaded.error, "Scene Error");
    return nullptr;
  }
  if (options.restore_class_data) {
    host::load_scene_class_data(host, path, loaded.document.class_data);
  }
  for (const std::string& warning : loaded.warnings) host.listener_print(warning + "\n");
  std::string image_folder;
  if (!loaded.document.embedded_images.empty() && !options.maps_dir.empty()) {
    std::string error;
    std::error_code ec;
    std::filesystem::create_directories(host::system_path(options.maps_dir), ec);
    if (!host::write_embedded_images(loaded.document, options.maps_dir, error)) {
      show_error(host, "Can't read the scene " + error, "Scene Error");
      return nullptr;
    }
  } else if (!loaded.document.embedded_images.empty()) {
    if (!images_to_temporary_folder(loaded.document, host, path, image_folder)) return nullptr;
  }
  // Map folders given to the command are searched after the document's own;
  // relative ones are taken from the current folder.
  for (const std::string& dir : options.map_paths) {
    loaded.document.map_paths.push_back(host::absolute_path(dir));
  }
  std::unique_ptr<max::DocumentHost> document = max::make_document_host(std::move(loaded.document));
  if (!options.select.empty()) {
    unknown_names = document->unknown_names(options.select);
    if (!unknown_names.empty()) {
      std::error_code ec;
      if (!image_folder.empty()) std::filesystem::remove_all(image_folder, ec);
      return nullptr;
    }
    document->select_by_names(options.select);
  }
  if (!image_folder.empty()) {
    return std::make_unique<ImportedExtraction>(std::move(document), host, image_folder);
  }
  return std::make_unique<HostExtraction>(std::move(document), host);
}

std::unique_ptr<SceneExtraction> open_scene(const std::string& path, host::Host& host,
                                            const SceneOpenOptions& options) {
  std::vector<std::string> unknown;
  std::unique_ptr<SceneExtraction> scene = open_scene_selecting(path, host, options, unknown);
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& n : unknown) names += (names.empty() ? "" : ", ") + n;
    show_error(host, "The scene " + path + " has no node named " + names + ".", "Scene Error");
  }
  return scene;
}

KavroExporterPlugin::KavroExporterPlugin(host::Host& host, std::vector<std::string> map_paths)
    : host_(host), stages_(exporter_stages()), map_paths_(std::move(map_paths)) {}

int KavroExporterPlugin::DoExport(const std::string& name, const doc::SceneDocument& scene,
                                  bool suppress_prompts, unsigned options) {
  doc::SceneDocument copy = scene;
  for (const std::string& dir : map_paths_) copy.map_paths.push_back(host::absolute_path(dir));
  // An imported scene's embedded images live in a temporary folder for the
  // export.
  std::string image_folder;
  if (!copy.embedded_images.empty() &&
      !images_to_temporary_folder(copy, host_, scene.file_name, image_folder)) {
    return 0;
  }
  int result = 0;
  {
    HostExtraction extraction(max::make_document_host(std::move(copy)), host_);
    KavroExporter exporter(host_, stages_);
    result = exporter.DoExport(name, extraction, suppress_prompts, options);
  }
  if (!image_folder.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(image_folder, ec);
  }
  return result;
}

}  // namespace kavro
