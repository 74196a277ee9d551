#include "exporter/kavro_exporter.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "exporter/animation/writers.h"
#include "exporter/extract/host_extraction.h"
#include "exporter/imd/imd_writer.h"
#include "exporter/imd/isd_writer.h"
#include "exporter/pipeline/messages.h"
#include "exporter/process/processing.h"
#include "exporter/texture/convert.h"
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
  static TextureConverter textures;
  static SceneProcessor processing;
  static ui::MaterialEditorHandoff editor;
  Stages stages;
  stages.editor = &editor;
  // Settings files are attached by the caller (attach_user_settings).
  dialog_stage().set_settings(nullptr);
  stages.dialog = &dialog_stage();
  stages.processing = &processing;
  stages.preparation = &imd;
  stages.texture_conversion = &textures;
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

// Writes the embedded images of an imported document into a folder under
// the temporary folder named after the user and the images' names and bytes
// (kavro-images-UID/HASH), and points its texture maps there. The model file
// names the texture files it read, so the same file exports to the same bytes
// every time; the folder stays as a cache (an export running at the same time
// writes the same bytes there, each file whole).
bool images_to_temporary_folder(doc::SceneDocument& document, host::Host& host,
                                const std::string& path, std::string& folder) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  auto mix = [&hash](const std::string& bytes) {
    for (char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
    hash ^= 0xFF;
    hash *= 1099511628211ull;
  };
  for (const doc::EmbeddedImage& image : document.embedded_images) {
    mix(image.file);
    mix(image.bytes);
  }
  char name[64];
  std::snprintf(name, sizeof name, "kavro-images-%u/%016llx", static_cast<unsigned>(::getuid()),
                static_cast<unsigned long long>(hash));
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec) / name;
  std::filesystem::create_directories(dir, ec);
  // Temporary folders are ASCII: the same name in the host code page.
  folder = dir.string();
  std::string error;
  if (ec || !host::write_embedded_images(document, folder, error)) {
    show_error(host,
               "Can't read the scene " +
                   (error.empty() ? path + ": no temporary folder for its images" : error),
               "Scene Error");
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
    if (!unknown_names.empty()) return nullptr;
    document->select_by_names(options.select);
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
  // An imported scene's embedded images are read from a temporary folder.
  std::string image_folder;
  if (!copy.embedded_images.empty() &&
      !images_to_temporary_folder(copy, host_, scene.file_name, image_folder)) {
    return 0;
  }
  HostExtraction extraction(max::make_document_host(std::move(copy)), host_);
  KavroExporter exporter(host_, stages_);
  int result = exporter.DoExport(name, extraction, suppress_prompts, options);
  return result;
}

}  // namespace kavro
