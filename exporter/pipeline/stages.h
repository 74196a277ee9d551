// The stages the export driver calls. The driver knows them only through
// these interfaces; exporter/kavro_exporter.cpp wires the concrete ones in.
#pragma once

#include <string>

#include "host/dialog.h"

namespace kavro {

namespace max {
class Interface;
}
namespace host {
class Host;
}

class ExportLog;
class ExportScene;
class KavroExporter;
struct ExportOptions;

// The host scene as extraction sees it.
struct SceneRange {
  int start_time = 0;
  int end_time = 0;
  int ticks_per_frame = 160;
};

class SceneExtraction {
 public:
  virtual ~SceneExtraction() = default;
  virtual SceneRange scene_range() = 0;
  // Prepares the scene for reading: the whole scene, or the selection with
  // the bones of selected skinned nodes and the hierarchies below them.
  virtual void initialise(bool export_all) = 0;
  virtual int top_level_node_count() = 0;
  virtual std::string scene_file_name() = 0;
  // Skin modifiers are switched off while meshes are read.
  virtual void switch_off_skins() = 0;
  virtual void switch_on_skins() = 0;
  virtual bool extract_materials(ExportScene& scene, const ExportOptions& options) = 0;
  virtual bool extract_nodes(ExportScene& scene, const ExportOptions& options) = 0;
  // Directional lights (and cameras) for the scene data file.
  virtual void extract_lights(ExportScene& scene) = 0;
  virtual void release() = 0;
  // The host's classic interface (root node, selection), for the options
  // dialog's naming buttons; null when the scene has none.
  virtual max::Interface* core_interface() { return nullptr; }
};

// Scene processing, called in this fixed order.
class SceneProcessing {
 public:
  virtual ~SceneProcessing() = default;
  virtual void compress_materials(ExportScene& scene) = 0;
  virtual void merge_same_material_sets(ExportScene& scene) = 0;
  virtual void process_nodes(ExportScene& scene) = 0;
  virtual void magnify(ExportScene& scene) = 0;
  // Sets pos_scale; false when the positions cannot be brought into range
  // (the message has been shown).
  virtual bool scale_positions(ExportScene& scene) = 0;
  virtual void remove_unused_textures(ExportScene& scene) = 0;
};

// Reshapes the scene model for the model file before any file is written:
// the driver calls it once per run in which the model file is selected, after
// scene processing, so every change the model file's geometry goes through
// is made in view of the driver.
class GeometryPreparation {
 public:
  virtual ~GeometryPreparation() = default;
  virtual void prepare(ExportScene& scene) = 0;
};

// Converts every texture into the console's formats before any file is
// written: the driver calls it once per run in which the model file or the
// texture pattern file is selected, after scene processing.
class TextureConversion {
 public:
  virtual ~TextureConversion() = default;
  virtual void convert(ExportScene& scene) = 0;
};

// One output kind. A writer reads the scene model and changes only the run's
// log: its progress, its warnings and the records it keeps for reports.
class OutputWriter {
 public:
  virtual ~OutputWriter() = default;
  virtual bool write(const ExportScene& scene, ExportLog& log, const std::string& path) = 0;
};

// Settings kept between exports (max.k3es and menusettings.bin).
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual bool read_menu_settings(ExportOptions& options) = 0;
  virtual bool read_settings_file(ExportOptions& options) = 0;
  // Writing a settings file puts its paths in slash form in the record itself.
  virtual void write_settings(ExportOptions& options) = 0;
};

// The external material editor.
class EditorHandoff {
 public:
  virtual ~EditorHandoff() = default;
  // The editor's work folder, or false when the editor cannot be found.
  virtual bool prepare(host::Host& host, std::string& work_folder) = 0;
  // Starts the editor on the files just written with these options.
  virtual void start(host::Host& host, const ExportOptions& options) = 0;
};

// The options dialog. It edits the exporter's working options through the
// host's dialog service and may run exports itself while it stays open.
class OptionsDialogStage {
 public:
  virtual ~OptionsDialogStage() = default;
  virtual host::DialogResult show(KavroExporter& exporter, SceneExtraction& scene) = 0;
};

}  // namespace kavro
