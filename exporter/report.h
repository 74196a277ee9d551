// The export report: what a build engineer wants to see after an export, as
// JSON (the fields are described in docs/report.md). A report is built from
// what the run recorded (the driver's ExportRun), the scene as it was
// written, and the files on disk; report_json only formats it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

struct ExportReport {
  std::string scene;  // the input, as given
  bool success = false;
  std::vector<std::pair<std::string, std::string>> options;  // keyword, stored value

  struct File {
    std::string kind;  // "imd", "ica", ...
    std::string path;
    long long bytes = 0;
    long long lines = 0;
  };
  std::vector<File> files;

  struct Counts {
    int nodes_before = 0, nodes_after = 0;
    int materials_before = 0, materials_after = 0;
    int polygon_sets = 0;
    long long vertices_sent = 0, triangles = 0, quads = 0;
    int quad_strips = 0, triangle_strips = 0;
    int matrices_used = 0;
  } counts;

  struct Texture {
    std::string name;
    std::string format;
    int width = 0, height = 0;
    long long texel_bytes = 0, palette_bytes = 0;
    // Peak signal-to-noise ratio in dB of the converted image (decoded as
    // the console draws it) against the source texels, over red, green and
    // blue; -1 when the two are equal, -2 when it cannot be told (a
    // pre-converted image).
    double psnr_db = -2;
  };
  std::vector<Texture> textures;

  std::vector<std::string> warnings;
  std::vector<std::pair<std::string, double>> stage_seconds;
  double texture_conversion_seconds = 0;  // before the writers; shown after the "imd" stage
  long long peak_memory_bytes = 0;

  // An animated channel of the node (ica), material colour (ima) or texture
  // SRT (ita) animation file; node channels name their node, the others
  // their material.
  struct Channel {
    std::string file = "ica";
    std::string node;
    std::string material;
    std::string channel;  // "scale_x", "diffuse_r", "tex_rotate", ... as the file names it
    int frame_step = 1;
    int stored_values = 0;
    double largest_error = 0;  // against the sampled values (colours: five bits), after thinning
  };
  std::vector<Channel> channels;
};

// The counts, textures and animated channels of a scene as its files were
// written (called through ExportRun::inspect, before the scene is released).
void describe_scene(const ExportScene& scene, ExportReport& report);

// The PSNR of a converted texture as described in ExportReport::Texture.
double texture_psnr(const SceneTexture& texture);

// The largest difference between a channel's samples and the values the
// console rebuilds from what was stored: the first value when one value was
// stored, else the kept samples (every frame_step-th, then every frame after
// the last whole step) with straight lines between them.
double thinning_error(const std::vector<float>& samples, int frame_step, int stored_values);
// The same for colour channels, whose in-between values the console rebuilds
// with integer division, each term on its own, wrapping at 256.
int color_thinning_error(const std::vector<std::uint8_t>& samples, int frame_step,
                         int stored_values);

// Everything else: the run's record, the options, and the files' sizes and
// line counts read back from disk.
void describe_run(const ExportRun& run, const ExportOptions& options, ExportReport& report);

// The report as JSON text (UTF-8; names and paths converted from the host
// code page).
std::string report_json(const ExportReport& report);

}  // namespace kavro
