// The node animation file: the scale, rotation and translation of every node
// as nine channels, each sample rounded to 1/4096, in three pools.
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/math_lanes.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

constexpr const char* kBuildLabel = "ICA: Building Node Animation Lists";
constexpr const char* kListsLabel = "ICA: Exporting Node Animation Lists";
constexpr const char* kDataLabel = "ICA: Exporting Node Animation Data";

constexpr const char* kChannelNames[9] = {"scale_x",     "scale_y",     "scale_z",
                                          "rotate_x",    "rotate_y",    "rotate_z",
                                          "translate_x", "translate_y", "translate_z"};

struct NodePools {
  anim::FloatPool scale, rotate, translate;
};

using NodeChannels = std::array<ChannelRecord, 9>;

std::vector<NodeChannels> build_channels(const ExportScene& scene, ExportLog& log,
                                         NodePools& pools) {
  const std::size_t frames = scene.frame_count > 0 ? scene.frame_count : 0;
  const std::size_t capacity = 3 * scene.nodes.size() * frames;
  pools.scale.reserve(capacity);
  pools.rotate.reserve(capacity);
  pools.translate.reserve(capacity);
  std::vector<NodeChannels> channels(scene.nodes.size());
  // The three channels of one kind (x, y, z) at a time, in arrays kept from
  // node to node, read from the node's samples in one pass: as frame_samples
  // gives them (a short array repeats its last entry, an empty one gives
  // zeros), each rounded to 1/4096, four values at a time.
  std::array<std::vector<float>, 3> samples;
  for (auto& s : samples) s.resize(frames);
  float step = log.step_size(9 * scene.node_count());
  for (std::size_t n = 0; n < scene.nodes.size(); ++n) {
    const SceneNode& node = scene.nodes[n];
    const std::vector<Vec3>* arrays[3] = {&node.scale_frames, &node.rotate_frames,
                                          &node.translate_frames};
    anim::FloatPool* kind_pools[3] = {&pools.scale, &pools.rotate, &pools.translate};
    const float tolerances[3] = {scene.tolerance_scale, scene.tolerance_rotate,
                                 scene.tolerance_translate};
    for (int kind = 0; kind < 3; ++kind) {
      const std::vector<Vec3>& from = *arrays[kind];
      const std::size_t held = std::min(frames, from.size());
      for (std::size_t f = 0; f < held; ++f) {
        samples[0][f] = from[f].x;
        samples[1][f] = from[f].y;
        samples[2][f] = from[f].z;
      }
      for (auto& axis : samples) round4096_floats(axis.data(), held);
      for (int axis = 0; axis < 3; ++axis) {
        std::vector<float>& out = samples[axis];
        const float last = held > 0 ? out[held - 1] : 0.0f;
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(held), out.end(), last);
        log.advance(step, kBuildLabel);
        channels[n][kind * 3 + axis] =
            anim::encode_channel(out, scene.frame_step_mode, tolerances[kind], *kind_pools[kind]);
      }
    }
  }
  log.finish_stage(kBuildLabel);
  return channels;
}
void write_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<node_anm_info\n");
  out.line() << "\tframe_size=\"" << anim::frame_size(s) << "\"\n";
  out.line() << "\tscaling_rule=\"standard\"\n";
  out.line() << "\tmagnify=\"" << static_cast<double>(s.magnify) << "\"\n";
  out.line() << "\ttool_start_frame=\"" << s.start_frame << "\"\n";
  out.line() << "\ttool_end_frame=\"" << s.end_frame << "\"\n";
  out.line() << "\tinterpolation=\"" << interpolation_keyword(s.interpolation) << "\"\n";
  out.line() << "\tinterp_end_to_start=\"" << on_off_keyword(s.interp_end_to_start) << "\"\n";
  out.line() << "\tcompress_node=\"" << compress_node_keyword(s.compress_node) << "\" node_size=\""
             << s.node_count_before << " " << s.node_count() << "\"\n";
  out.line() << "\tframe_step_mode=\"" << frame_step_mode_keyword(s.frame_step_mode) << "\"\n";
  out.line() << "\ttolerance_scale=\"" << static_cast<double>(s.tolerance_scale) << "\"\n";
  out.line() << "\ttolerance_rotate=\"" << static_cast<double>(s.tolerance_rotate) << "\"\n";
  out.line() << "\ttolerance_translate=\"" << static_cast<double>(s.tolerance_translate) << "\"\n";
  out.write("/>\n");
}

void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                      const std::vector<NodeChannels>& channels) {
  out.line() << "\n<node_anm_array size=\"" << scene.node_count() << "\">\n";
  float step = log.step_size(scene.node_count());
  for (std::size_t i = 0; i < scene.nodes.size(); ++i) {
    log.advance(step, kDataLabel);
    out.line() << "\t<node_anm index=\"" << static_cast<int>(i) << "\">\n";
    for (int c = 0; c < 9; ++c) anim::write_channel_line(out, kChannelNames[c], channels[i][c]);
    out.write("\t</node_anm>\n");
  }
  out.write("</node_anm_array>\n");
  log.finish_stage(kDataLabel);
}

}  // namespace

void write_ica_body(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  NodePools pools;
  std::vector<NodeChannels> channels = build_channels(scene, log, pools);
  write_info(out, scene);
  anim::write_pool(out, "node_scale_data", pools.scale.values());
  anim::write_pool(out, "node_rotate_data", pools.rotate.values());
  anim::write_pool(out, "node_translate_data", pools.translate.values());
  log.advance(log.step_size(1), kListsLabel);
  log.finish_stage(kListsLabel);
  write_node_array(out, scene, log, channels);
  log.records.node_channels = std::move(channels);
}

bool IcaWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  return write_enveloped_file(scene, log, path, FileKind::kIca,
                              [&](OutputFile& out) { write_ica_body(out, scene, log); });
}

}  // namespace kavro
