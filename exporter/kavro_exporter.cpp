#include "exporter/kavro_exporter.h"

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
#include "host/document_views.h"
#include "host/files.h"
#include "host/host.h"
#include "host/scene_document.h"

namespace kavro {

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
  static ui::OptionsDialogStageImpl dialog;
  Stages stages;
  stages.editor = &editor;
  stages.dialog = &dialog;
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

ExporterClassData& exporter_class_data() {
  static ExporterClassData data;
  return data;
}

void load_exporter_plugin() {
  reset_options_at_plugin_load();
  exporter_class_data().set_write_back(true);
  host::register_class_data_owner(exporter_class_data());
}

std::unique_ptr<SceneExtraction> open_scene_selecting(const std::string& path, host::Host& host,
                                                      const SceneOpenOptions& options,
                                                      std::vector<std::string>& unknown_names) {
  unknown_names.clear();
  doc::LoadResult loaded = doc::load_scene_document(path);
  if (!loaded.ok) {
    show_error(host, "Can't read the scene " + loaded.error, "Scene Error");
    return nullptr;
  }
  if (options.restore_class_data) {
    host::load_scene_class_data(host, path, loaded.document.class_data);
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

}  // namespace kavro
