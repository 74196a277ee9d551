// The switches of every command that reads a scene file from a modelling
// tool (import, export, info), and the progress and log around the reading.
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "cli/command.h"

namespace kavro::cli {

void add_import_flags(CLI::App& command, ImportFlags& flags) {
  command
      .add_option("--animation", flags.animation,
                  "the animation to import from a file that has\n"
                  "several: its name or its position from 0\n"
                  "(default: the first)")
      ->type_name("NAME|INDEX");
  command
      .add_option("--fps", flags.fps,
                  "frames per second of the imported timeline\n"
                  "(default: the file's own rate, else 30)")
      ->type_name("RATE")
      ->check(CLI::Range(0.001, 10000.0));
  command
      .add_option("--scale", flags.scale,
                  "multiply every imported length by FACTOR, after the\n"
                  "file's unit has become the metre")
      ->type_name("FACTOR")
      ->check(CLI::Range(1e-9, 1e9));
  auto* kavro = command.add_flag("--kavro-materials", flags.kavro_materials,
                                 "import materials as \"KAVRO Standard\" platform\n"
                                 "materials (the default)");
  command
      .add_flag("--standard-materials", flags.standard_materials,
                "import materials as the host's standard materials")
      ->excludes(kavro);
  command.add_flag("-v,--verbose", flags.verbose, "show the importer's own log");
}

host::ImportOptions import_options(const ImportFlags& flags) {
  host::ImportOptions o;
  o.animation = flags.animation;  // compared with the file's own (UTF-8) names
  o.fps = flags.fps;
  o.scale = flags.scale;
  o.standard_materials = flags.standard_materials;
  return o;
}

ImportReporting::ImportReporting(host::Host& host, const ImportFlags& flags,
                                 const std::string& file)
    : host_(host), file_(file) {
  if (flags.verbose) {
    log_ = [this](const std::string& line) { host_.listener_print(line + "\n"); };
  }
  started_ = std::chrono::steady_clock::now();
  progress_ = [this](float done) {
    // Only a reading that takes longer than a moment shows its progress.
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    if (!shown_ && seconds < 0.5) return;
    if (!shown_) host_.progress_start("Importing");
    shown_ = true;
    int percent = static_cast<int>(std::lround(done * 100));
    host_.progress_update(percent, "Reading " + file_);
  };
}

ImportReporting::~ImportReporting() {
  if (shown_) host_.progress_end();
}

void ImportReporting::attach(host::ImportOptions& options) {
  options.log = log_;
  options.progress = progress_;
}

}  // namespace kavro::cli
