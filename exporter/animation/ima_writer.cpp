// The material colour animation file: diffuse, ambient, specular and emission
// colour and polygon alpha of every material, reduced to five bits, as
// thirteen integer channels in one pool.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

namespace {

constexpr const char* kBuildLabel = "IMA: Building Color List";
constexpr const char* kDataLabel = "IMA: Exporting Material Color Data";
constexpr const char* kArrayLabel = "IMA: Exporting Material Color Array";

constexpr int kChannels = 13;
constexpr const char* kChannelNames[kChannels] = {
    "diffuse_r",  "diffuse_g",  "diffuse_b",    "ambient_r",  "ambient_g",
    "ambient_b",  "specular_r", "specular_g",   "specular_b", "emission_r",
    "emission_g", "emission_b", "polygon_alpha"};

std::uint8_t component(const ColorEntry& c, int k) {
  return k == 0 ? c.r : k == 1 ? c.g : c.b;
}

// The samples of channel c of a material, each reduced to five bits, and the
// array they come from with the component read from it: materials share
// equal sample arrays, so equal keys mean equal samples.
const void* channel_source(const SceneMaterial& m, int c) {
  if (c == kChannels - 1) return &m.alpha_frames.vector();
  const std::vector<ColorEntry>* arrays[4] = {
      &m.diffuse_frames.vector(), &m.ambient_frames.vector(), &m.specular_frames.vector(),
      &m.emission_frames.vector()};
  return arrays[c / 3];
}

std::vector<std::uint8_t> channel_samples(const SceneMaterial& m, int c, int frame_count) {
  auto reduce = [](std::uint8_t v) { return static_cast<std::uint8_t>(v >> 3); };
  if (c == kChannels - 1) {
    return anim::frame_samples<std::uint8_t>(m.alpha_frames.vector(), frame_count, reduce);
  }
  const auto& frames = *static_cast<const std::vector<ColorEntry>*>(channel_source(m, c));
  int k = c % 3;
  return anim::frame_samples<std::uint8_t>(
      frames, frame_count, [&](const ColorEntry& e) { return reduce(component(e, k)); });
}

using ColorChannels = std::array<ChannelRecord, kChannels>;

// A sample array and the component read from it (3: alpha).
struct SourceKey {
  const void* array;
  int component;
  bool operator==(const SourceKey&) const = default;
};
struct SourceKeyHash {
  std::size_t operator()(const SourceKey& k) const {
    return std::hash<const void*>()(k.array) * 4 + static_cast<std::size_t>(k.component);
  }
};

// Whether every sample of channel c of a material is the same value (as
// channel_samples reduces it), and that value: most channels hold still.
// An empty array gives zeros; a short one repeats its last entry.
bool constant_channel(const SceneMaterial& m, int c, int frame_count, std::uint8_t& value) {
  const std::size_t frames = frame_count > 0 ? frame_count : 0;
  auto held = [&](const auto& array, auto reduce) {
    const std::size_t n = std::min(frames, array.size());
    value = n == 0 ? 0 : reduce(array[0]);
    for (std::size_t f = 1; f < n; ++f) {
      if (reduce(array[f]) != value) return false;
    }
    return true;
  };
  auto reduce = [](std::uint8_t v) { return static_cast<std::uint8_t>(v >> 3); };
  if (c == kChannels - 1) return held(m.alpha_frames.vector(), reduce);
  const auto& frames_of = *static_cast<const std::vector<ColorEntry>*>(channel_source(m, c));
  const int k = c % 3;
  return held(frames_of, [&](const ColorEntry& e) { return reduce(component(e, k)); });
}

// A channel holding one value over a number of frames.
struct ConstantKey {
  std::uint8_t value;
  int frames;
  bool operator==(const ConstantKey&) const = default;
};
struct ConstantKeyHash {
  std::size_t operator()(const ConstantKey& k) const {
    return std::hash<int>()(k.frames) * 256 + k.value;
  }
};

std::vector<ColorChannels> build_channels(const ExportScene& scene, ExportLog& log,
                                          anim::ColorPool& pool) {
  const std::size_t frames = scene.frame_count > 0 ? scene.frame_count : 0;
  pool.reserve(kChannels * scene.materials.size() * frames);
  std::vector<ColorChannels> channels(scene.materials.size());
  // Thinning and placing depend on the samples alone, so a record found
  // once serves every channel with the same samples: its values lie in the
  // pool, where the channels reusing it find them (see below). Most materials share their sample
  // arrays with the material before them (every still material of one colour does), and most
  // channels hold one value: those are known without a table of every array; the other arrays are
  // thinned once each.
  //
  // A record placed by another channel is given the pool's first match of
  // its values, which can lie before where they were placed when they were
  // appended after a partial match at the pool's end. Once found, that first
  // match stays the first: the pool only grows, and a match that appears
  // later reaches past the end the pool had, so it starts after a match that
  // lay wholly inside it. So each held record is looked up in the pool once.
  struct Held {
    ChannelRecord record;
    bool first_match = false;  // data_head is the pool's first match
  };
  std::array<SourceKey, kChannels> last_key{};
  std::array<Held, kChannels> last{};
  std::unordered_map<ConstantKey, Held, ConstantKeyHash> constant_placed;
  std::unordered_map<SourceKey, Held, SourceKeyHash> moving_placed;
  auto place = [&](const std::vector<std::uint8_t>& samples) {
    return anim::place_channel(
        anim::thin_channel(samples, scene.frame_step_mode, scene.tolerance_color), pool);
  };
  float step = log.step_size(kChannels * scene.material_count());
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = scene.materials[i];
    for (int c = 0; c < kChannels; ++c) {
      log.advance(step, kBuildLabel);
      const SourceKey key{channel_source(m, c), c == kChannels - 1 ? 3 : c % 3};
      Held* held = nullptr;
      bool placed_now = false;
      std::uint8_t value = 0;
      if (i > 0 && key == last_key[c]) {
        held = &last[c];
      } else if (constant_channel(m, c, scene.frame_count, value)) {
        auto [it, added] = constant_placed.try_emplace(ConstantKey{value, scene.frame_count});
        if (added) it->second.record = place(std::vector<std::uint8_t>(frames, value));
        held = &it->second;
        placed_now = added;
      } else {
        auto [it, added] = moving_placed.try_emplace(key);
        if (added) it->second.record = place(channel_samples(m, c, scene.frame_count));
        held = &it->second;
        placed_now = added;
      }
      ChannelRecord record = held->record;
      if (!placed_now && record.data_size > 0) {
        if (!held->first_match) {
          held->record.data_head =
              pool.find(pool.values().data() + record.data_head, record.data_size);
          held->first_match = true;
        }
        record = held->record;
      }
      last_key[c] = key;
      last[c] = *held;
      channels[i][c] = record;
    }
  }
  log.finish_stage(kBuildLabel);
  return channels;
}

void write_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<mat_color_info\n");
  out.line() << "\tframe_size=\"" << anim::frame_size(s) << "\"\n";
  out.line() << "\ttool_start_frame=\"" << s.start_frame << "\"\n";
  out.line() << "\ttool_end_frame=\"" << s.end_frame << "\"\n";
  out.line() << "\tinterpolation=\"" << interpolation_keyword(s.interpolation) << "\"\n";
  out.line() << "\tinterp_end_to_start=\"" << on_off_keyword(s.interp_end_to_start) << "\"\n";
  out.line() << "\tcompress_material=\"" << on_off_keyword(s.compress_material)
             << "\" material_size=\"" << s.material_count_before << " " << s.material_count()
             << "\"\n";
  out.line() << "\tframe_step_mode=\"" << frame_step_mode_keyword(s.frame_step_mode) << "\"\n";
  out.line() << "\ttolerance_color=\"" << s.tolerance_color << "\"\n";
  out.write("/>\n");
}

void write_material_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                          const std::vector<ColorChannels>& channels) {
  out.line() << "\n<mat_color_anm_array size=\"" << scene.material_count() << "\">\n";
  float step = log.step_size(scene.material_count());
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    log.advance(step, kArrayLabel);
    const SceneMaterial& m = scene.materials[i];
    out.line() << "\t<mat_color_anm index=\"" << static_cast<int>(i) << "\" material_name=\""
               << OutputFile::Line::XmlEscaped{m.name} << "\">\n";
    for (int c = 0; c < kChannels; ++c) {
      anim::write_channel_line(out, kChannelNames[c], channels[i][c]);
    }
    out.write("\t</mat_color_anm>\n");
  }
  out.write("</mat_color_anm_array>\n");
}

}  // namespace

void write_ima_body(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  anim::ColorPool pool;
  std::vector<ColorChannels> channels = build_channels(scene, log, pool);
  write_info(out, scene);
  if (pool.size() > 0) {
    anim::write_pool(out, "mat_color_data", pool.values(),
                     {&log, log.step_size(pool.size()), kDataLabel});
  }
  log.finish_stage(kDataLabel);
  if (scene.material_count() > 0) write_material_array(out, scene, log, channels);
  bool animated = false;
  for (const ColorChannels& material : channels) {
    for (const ChannelRecord& r : material) animated = animated || r.data_size > 1;
  }
  if (!animated) log.add_warning("Warning: No material color animation.");
  log.finish_stage(kArrayLabel);
  log.records.color_channels = std::move(channels);
}

bool ImaWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  return write_enveloped_file(scene, log, path, FileKind::kIma,
                              [&](OutputFile& out) { write_ima_body(out, scene, log); });
}

}  // namespace kavro
