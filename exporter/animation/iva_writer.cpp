// The visibility animation file: for every node, a key at the first frame
// and at every frame whose visibility differs from the frame before.
#include <cstddef>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

constexpr const char* kCountLabel = "IVA: Calculating Number Difference Visibility Keys";
constexpr const char* kDataLabel = "IVA: Writing Visibility Data";
constexpr const char* kArrayLabel = "IVA: Writing Visibility Animation Data";

struct VisibilityKey {
  int frame;
  int value;
};

struct KeyRange {
  int data_size = 0;
  int data_head = 0;
};

// Keys of every node in node order, with each node's range of them.
struct VisibilityKeys {
  std::vector<VisibilityKey> keys;
  std::vector<KeyRange> ranges;  // per node
};

VisibilityKeys count_keys(const ExportScene& scene, ExportLog& log) {
  VisibilityKeys result;
  std::vector<VisibilityKey>& keys = result.keys;
  result.ranges.resize(scene.nodes.size());
  float step = log.step_size(scene.node_count());
  const std::size_t frames = scene.frame_count > 0 ? scene.frame_count : 0;
  for (std::size_t i = 0; i < scene.nodes.size(); ++i) {
    const SceneNode& node = scene.nodes[i];
    log.advance(step, kCountLabel);
    int head = static_cast<int>(keys.size());
    std::size_t n = node.visibility_frames.size() < frames ? node.visibility_frames.size() : frames;
    for (std::size_t f = 0; f < n; ++f) {
      int v = node.visibility_frames[f];
      if (f == 0 || v != keys.back().value) keys.push_back({static_cast<int>(f), v});
    }
    result.ranges[i].data_head = head;
    result.ranges[i].data_size = static_cast<int>(keys.size()) - head;
  }
  log.finish_stage(kCountLabel);
  return result;
}

void write_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<visibility_info\n");
  out.line() << "\tframe_size=\"" << anim::frame_size(s) << "\"\n";
  out.line() << "\ttool_start_frame=\"" << s.start_frame << "\"\n";
  out.line() << "\ttool_end_frame=\"" << s.end_frame << "\"\n";
  out.line() << "\tcompress_node=\"" << compress_node_keyword(s.compress_node) << "\" node_size=\""
             << s.node_count_before << " " << s.node_count() << "\"\n";
  out.write("/>\n");
}

// One key list: ten values a line, each followed by a blank; the progress
// advances once per node.
template <typename Get>
void write_key_list(OutputFile& out, ExportLog& log, const VisibilityKeys& keys, float step,
                    Get get) {
  std::size_t k = 0;
  for (const KeyRange& range : keys.ranges) {
    log.advance(step, kDataLabel);
    for (int i = 0; i < range.data_size; ++i, ++k) {
      if (k % 10 == 0) out.write("\n\t\t");
      out.line() << get(keys.keys[k]) << " ";
    }
  }
}

void write_key_data(OutputFile& out, const ExportScene& scene, ExportLog& log,
                    const VisibilityKeys& keys) {
  int total = static_cast<int>(keys.keys.size());
  float step = log.step_size(2 * scene.node_count());
  out.write("\n<visibility_data>\n");
  out.line() << "\t<frame_idx size=\"" << total << "\">";
  write_key_list(out, log, keys, step, [](const VisibilityKey& key) { return key.frame; });
  out.write("\n\t</frame_idx>\n");
  // One key per node means no node ever changes its visibility.
  if (total == scene.node_count()) log.add_warning("Warning: No visibility animation.");
  out.line() << "\t<visibility size=\"" << total << "\">";
  write_key_list(out, log, keys, step, [](const VisibilityKey& key) { return key.value; });
  out.write("\n\t</visibility>\n");
  out.write("</visibility_data>\n");
  log.finish_stage(kDataLabel);
}

void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                      const VisibilityKeys& keys) {
  out.line() << "\n<visibility_anm_array size=\"" << scene.node_count() << "\">\n";
  float step = log.step_size(scene.node_count());
  for (std::size_t i = 0; i < keys.ranges.size(); ++i) {
    log.advance(step, kArrayLabel);
    const KeyRange& range = keys.ranges[i];
    out.line() << "\t<visibility_anm index=\"" << static_cast<int>(i) << "\" data_size=\""
               << range.data_size << "\" data_head=\"" << range.data_head << "\"/>\n";
  }
  out.write("</visibility_anm_array>\n");
  log.finish_stage(kArrayLabel);
}

}  // namespace

void write_iva_body(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  VisibilityKeys keys = count_keys(scene, log);
  write_info(out, scene);
  write_key_data(out, scene, log, keys);
  write_node_array(out, scene, log, keys);
}

bool IvaWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  return write_enveloped_file(scene, log, path, FileKind::kIva,
                              [&](OutputFile& out) { write_iva_body(out, scene, log); });
}

}  // namespace kavro
