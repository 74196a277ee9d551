// The exporter class the host calls: its descriptive operations, DoExport and
// the export run (extraction, processing and writing in a fixed order).
#pragma once

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "exporter/pipeline/options.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/stages.h"
#include "host/class_data.h"

namespace kavro {

namespace host {
class Host;
}

// Output kinds in writing order.
enum OutputKind { kOutImd, kOutIca, kOutIva, kOutIma, kOutIta, kOutItp, kOutIsd, kOutputKinds };

struct OutputKindInfo {
  const char* extension;
  int ExportOptions::*option;
};
const OutputKindInfo& output_kind_info(int kind);

// Option bits of an export call.
constexpr unsigned kExportPlaceholderName = 2;  // keep the name and folder of the options
constexpr unsigned kExportShowDialog = 4;       // show the options dialog all the same

struct Stages {
  SceneProcessing* processing = nullptr;
  GeometryPreparation* preparation = nullptr;
  TextureConversion* texture_conversion = nullptr;
  std::array<OutputWriter*, kOutputKinds> writers{};
  SettingsStore* settings = nullptr;
  EditorHandoff* editor = nullptr;
  OptionsDialogStage* dialog = nullptr;
};

// The exporter's class identifier: the host's export-to-file service and its
// scene class data know the exporter by it.
constexpr host::ClassId kKavroExporterClassId{0x7b43b852, 0x365b71d1};

// What one export run did, for reports: filled while a record is attached
// (KavroExporter::record_run). `inspect` is called with the scene once every
// file has been written, before the scene is released.
struct ExportRun {
  bool success = false;
  std::vector<std::pair<std::string, double>> stage_seconds;  // in run order
  std::vector<std::pair<std::string, std::string>> files;     // extension, path written
  std::vector<std::string> warnings;
  std::function<void(const ExportScene&)> inspect;
};

class KavroExporter {
 public:
  // Starts an exporter: reads the kept settings (unless a batch runs), copies
  // the process-wide options and enforces their lower bounds.
  KavroExporter(host::Host& host, Stages stages);
  // Copies the working options back and, outside a batch, saves the settings.
  ~KavroExporter();
  KavroExporter(const KavroExporter&) = delete;
  KavroExporter& operator=(const KavroExporter&) = delete;

  static int ExtCount() { return 1; }
  static const char* Ext(int) { return "imd"; }
  static const char* LongDesc() { return "Meridane KAVRO"; }
  static const char* ShortDesc() { return "Meridane KAVRO"; }
  static const char* AuthorName() { return "Meridane"; }
  static const char* CopyrightMessage() { return "Copyright (C) 2009 Meridane"; }
  static const char* OtherMessage1() { return ""; }
  static const char* OtherMessage2() { return ""; }
  static unsigned Version() { return 100; }
  static void ShowAbout() {}
  static bool SupportsOptions(int, unsigned) { return true; }

  // Nonzero when the export succeeded or the options dialog was cancelled.
  int DoExport(const std::string& name, SceneExtraction& scene, bool suppress_prompts,
               unsigned options);

  // The export run itself (also what the dialog's Apply starts).
  int run_export(SceneExtraction& scene);

  ExportOptions& working_options() { return working_; }
  host::Host& host() { return host_; }
  ExportScene& scene() { return scene_; }
  // Records the next runs into `run` (null: no record).
  void record_run(ExportRun* run) { run_ = run; }
  const std::string& export_folder() const { return export_folder_; }

 private:
  bool write_outputs(const std::string& model_path);
  void report_warnings(bool success);
  void finish_run(bool success);
  // Ends the progress in the host's bar or in the options dialog.
  void end_progress();

  host::Host& host_;
  Stages stages_;
  ExportScene scene_;
  ExportOptions working_{};
  std::string export_folder_;
  ExportRun* run_ = nullptr;
};

// The model path for a folder and an output name: folder + "/" + name +
// ".imd"; an empty folder means the current folder.
std::string model_path_for(const std::string& folder, const std::string& name);

}  // namespace kavro
