#include "exporter/report.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "exporter/imd/polygon_array.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/options.h"
#include "exporter/texture/decode.h"
#include "exporter/texture/format_info.h"
#include "exporter/texture/palette_convert.h"
#include "host/cp932.h"

namespace kavro {
namespace {

constexpr const char* kChannelNames[9] = {"scale_x",     "scale_y",     "scale_z",
                                          "rotate_x",    "rotate_y",    "rotate_z",
                                          "translate_x", "translate_y", "translate_z"};
// Material colour channels in record order.
constexpr const char* kColorChannelNames[13] = {
    "diffuse_r",  "diffuse_g",  "diffuse_b",    "ambient_r",  "ambient_g",
    "ambient_b",  "specular_r", "specular_g",   "specular_b", "emission_r",
    "emission_g", "emission_b", "polygon_alpha"};
// Texture SRT channels in record order (the order the file writes them).
constexpr const char* kTexSrtChannelNames[5] = {"tex_scale_s", "tex_scale_t", "tex_rotate",
                                                "tex_translate_s", "tex_translate_t"};

template <typename T>
bool varies(const std::vector<T>& samples) {
  for (const T& x : samples)
    if (x != samples[0]) return true;
  return false;
}

// A channel's entry in the report: what its file stores, and the largest
// error that storing left against the samples.
ExportReport::Channel channel_entry(const char* file, const char* name, const ChannelRecord& r,
                                    double largest_error) {
  ExportReport::Channel out;
  out.file = file;
  out.channel = name;
  out.frame_step = r.data_size < 2 ? 1 : r.frame_step;
  out.stored_values = r.data_size;
  out.largest_error = largest_error;
  return out;
}

// The samples the material colour file encodes: the first frame_count
// frames (the last one repeated when fewer were sampled), reduced to five
// bits.
std::vector<std::uint8_t> color_samples(const SceneMaterial& m, int c, int frame_count) {
  std::vector<std::uint8_t> out;
  const std::vector<ColorEntry>* arrays[4] = {
      &m.diffuse_frames.vector(), &m.ambient_frames.vector(), &m.specular_frames.vector(),
      &m.emission_frames.vector()};
  const std::size_t size = c == 12 ? m.alpha_frames.size() : arrays[c / 3]->size();
  if (size == 0) return std::vector<std::uint8_t>(frame_count, 0);
  for (int f = 0; f < frame_count; ++f) {
    const std::size_t i = std::min<std::size_t>(f, size - 1);
    std::uint8_t v = 0;
    if (c == 12) {
      v = m.alpha_frames[i];
    } else {
      const ColorEntry& e = (*arrays[c / 3])[i];
      v = c % 3 == 0 ? e.r : c % 3 == 1 ? e.g : e.b;
    }
    out.push_back(static_cast<std::uint8_t>(v >> 3));
  }
  return out;
}

// The samples of a texture SRT channel, as they are encoded (no rounding).
std::vector<float> tex_srt_samples(const SceneMaterial& m, int c, int frame_count) {
  const std::vector<float>* arrays[5] = {&m.tex_scale_s_frames, &m.tex_scale_t_frames,
                                         &m.tex_rotate_frames, &m.tex_translate_s_frames,
                                         &m.tex_translate_t_frames};
  const std::vector<float>& a = *arrays[c];
  std::vector<float> out(frame_count, 0.0f);
  if (a.empty()) return out;
  for (int f = 0; f < frame_count; ++f) out[f] = a[std::min<std::size_t>(f, a.size() - 1)];
  return out;
}

// Bytes of the written texel data: the texel words, and for tex4x4 also the
// 16-bit palette index word of each block of 4 x 4.
long long texel_bytes(const SceneTexture& t) {
  long long bytes = static_cast<long long>(format_word_count(t.format, t.width, t.height) *
                                           format_word_bytes(t.format));
  if (t.format == TextureFormat::kTex4x4)
    bytes += 2 * static_cast<long long>(t.width / 4) * (t.height / 4);
  return bytes;
}

template <class Face>
void count_faces(const std::vector<Face>& faces, std::uint32_t head_bit, long long& faces_out,
                 int& strips) {
  faces_out += static_cast<long long>(faces.size());
  for (const Face& f : faces) {
    if ((f.strip_flags & head_bit) != 0) ++strips;
  }
}

// The record of channel c of item i; an empty record when the file that
// stores it was not written in the run.
template <std::size_t N>
ChannelRecord record_of(const std::vector<std::array<ChannelRecord, N>>& records, std::size_t i,
                        int c) {
  return i < records.size() ? records[i][c] : ChannelRecord{};
}

std::string utf8(const std::string& host_text) {
  return host::cp932_to_utf8(host_text);
}

}  // namespace

double texture_psnr(const SceneTexture& t) {
  const std::size_t count = static_cast<std::size_t>(t.width) * t.height;
  if (t.format == TextureFormat::kInvalid || count == 0 || t.texels.size() != count ||
      t.preconverted) {
    return -2;
  }
  EncodedTexture e;
  e.format = t.format;
  e.width = t.width;
  e.height = t.height;
  if (t.format == TextureFormat::kTex4x4) {
    e.words = t.bitmap;
    e.palette = t.palette;
    e.palette_idx = t.tex4x4_palette_idx;
  } else {
    for (std::uint16_t w : pack_texels(t, t.format)) e.words.push_back(w);
    e.palette = t.palette;
  }
  const std::vector<Rgba> decoded = decode_texture(e);
  if (decoded.size() != count) return -2;
  double squares = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const SourceTexel& s = t.texels[i];
    const double dr = static_cast<double>(s.red) - decoded[i].r;
    const double dg = static_cast<double>(s.green) - decoded[i].g;
    const double db = static_cast<double>(s.blue) - decoded[i].b;
    squares += dr * dr + dg * dg + db * db;
  }
  if (squares == 0) return -1;
  const double mse = squares / (3.0 * static_cast<double>(count));
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double thinning_error(const std::vector<float>& v, int frame_step, int stored_values) {
  const int n = static_cast<int>(v.size());
  double worst = 0;
  if (n == 0) return 0;
  if (stored_values <= 1) {
    for (float x : v) worst = std::max(worst, std::fabs(static_cast<double>(x) - v[0]));
    return worst;
  }
  const int s = std::max(1, frame_step);
  const int b = (n - 1) / s;
  for (int f = 0; f < b * s; ++f) {
    const int r = f % s, lo = f - r, hi = lo + s;
    const double rebuilt =
        (static_cast<double>(v[lo]) * (s - r) + static_cast<double>(v[hi]) * r) / s;
    worst = std::max(worst, std::fabs(rebuilt - v[f]));
  }
  return worst;  // the frames after the last whole step are stored as they are
}

int color_thinning_error(const std::vector<std::uint8_t>& v, int frame_step, int stored_values) {
  const int n = static_cast<int>(v.size());
  int worst = 0;
  if (n == 0) return 0;
  if (stored_values <= 1) {
    for (std::uint8_t x : v) worst = std::max(worst, std::abs(x - v[0]));
    return worst;
  }
  const int s = std::max(1, frame_step);
  const int b = (n - 1) / s;
  for (int f = 0; f < b * s; ++f) {
    const int r = f % s, lo = f - r, hi = lo + s;
    const int rebuilt = (v[lo] * (s - r) / s + r * v[hi] / s) % 256;
    worst = std::max(worst, std::abs(rebuilt - v[f]));
  }
  return worst;
}

void describe_scene(const ExportScene& scene, ExportReport& report) {
  const WriterRecords& records = scene.log().records;
  report.texture_conversion_seconds = records.texture_conversion_seconds;
  ExportReport::Counts& c = report.counts;
  c.nodes_before = scene.node_count_before;
  c.nodes_after = scene.node_count();
  c.materials_before = scene.material_count_before;
  c.materials_after = static_cast<int>(scene.materials.size());
  std::set<int> matrices;
  for (const PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    ++c.polygon_sets;
    count_faces(set.triangles, kTriStripHeadBit, c.triangles, c.triangle_strips);
    count_faces(set.quads, kQuadStripHeadBit, c.quads, c.quad_strips);
    c.vertices_sent += sent_vertex_count(set);
    for (int m : set.matrix_list) {
      if (m >= 0) matrices.insert(m);
    }
  }
  c.matrices_used = static_cast<int>(matrices.size());

  for (const SceneTexture& t : scene.textures) {
    ExportReport::Texture out;
    out.name = t.name;
    out.format = t.format == TextureFormat::kInvalid ? "" : texture_format_name(t.format);
    out.width = t.width;
    out.height = t.height;
    out.texel_bytes = texel_bytes(t);
    out.palette_bytes = 2 * static_cast<long long>(t.palette.size());
    out.psnr_db = texture_psnr(t);
    report.textures.push_back(out);
  }

  // Animated channels, as the animation files store them (only for the files
  // written: their records are filled then).
  if (scene.frame_count <= 0) return;
  for (std::size_t n = 0; n < scene.nodes.size(); ++n) {
    if (scene.output_ica == 0) break;
    const SceneNode& node = scene.nodes[n];
    const std::vector<Vec3>* arrays[3] = {&node.scale_frames, &node.rotate_frames,
                                          &node.translate_frames};
    for (int ch = 0; ch < 9; ++ch) {
      const std::vector<Vec3>& frames = *arrays[ch / 3];
      std::vector<float> samples;
      for (int f = 0; f < std::ssize(frames) && f < scene.frame_count; ++f) {
        const Vec3 v = frames[f];
        const float x = ch % 3 == 0 ? v.x : ch % 3 == 1 ? v.y : v.z;
        samples.push_back(round4096(static_cast<double>(x)));
      }
      if (!varies(samples)) continue;
      const ChannelRecord r = record_of(records.node_channels, n, ch);
      ExportReport::Channel out = channel_entry("ica", kChannelNames[ch], r,
                                                thinning_error(samples, r.frame_step, r.data_size));
      out.node = node.name;
      report.channels.push_back(out);
    }
  }
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    if (scene.output_ima == 0) break;
    const SceneMaterial& m = scene.materials[i];
    for (int k = 0; k < 13; ++k) {
      const std::vector<std::uint8_t> samples = color_samples(m, k, scene.frame_count);
      if (!varies(samples)) continue;
      const ChannelRecord r = record_of(records.color_channels, i, k);
      ExportReport::Channel out =
          channel_entry("ima", kColorChannelNames[k], r,
                        color_thinning_error(samples, r.frame_step, r.data_size));
      out.material = m.name;
      report.channels.push_back(out);
    }
  }
  // The texture SRT file encodes channels only when the scene has textures,
  // and only for materials with sampled texture transforms.
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    if (scene.output_ita == 0 || scene.texture_count() == 0) break;
    const SceneMaterial& m = scene.materials[i];
    if (m.tex_scale_s_frames.empty()) continue;
    for (int k = 0; k < 5; ++k) {
      const std::vector<float> samples = tex_srt_samples(m, k, scene.frame_count);
      if (!varies(samples)) continue;
      const ChannelRecord r = record_of(records.tex_srt_channels, i, k);
      ExportReport::Channel out = channel_entry("ita", kTexSrtChannelNames[k], r,
                                                thinning_error(samples, r.frame_step, r.data_size));
      out.material = m.name;
      report.channels.push_back(out);
    }
  }
}

void describe_run(const ExportRun& run, const ExportOptions& options, ExportReport& report) {
  report.success = run.success;
  report.warnings = run.warnings;
  report.stage_seconds = run.stage_seconds;
  // Texture conversion runs inside the model file's stage: shown after it.
  for (std::size_t i = 0; i < report.stage_seconds.size(); ++i) {
    if (report.stage_seconds[i].first != "imd") continue;
    report.stage_seconds.insert(report.stage_seconds.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                {"imd_texture_conversion", report.texture_conversion_seconds});
    break;
  }
  for (const OptionKeyword& k : option_keywords())
    report.options.emplace_back(k.key, format_option_value(options, k));
  for (const auto& [kind, path] : run.files) {
    ExportReport::File f;
    f.kind = kind;
    f.path = path;
    std::ifstream in(host::system_path(path), std::ios::binary);
    char buf[1 << 16];
    while (in) {
      in.read(buf, sizeof buf);
      const std::streamsize got = in.gcount();
      f.bytes += got;
      f.lines += std::count(buf, buf + got, '\n');
    }
    report.files.push_back(f);
  }
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) == 0) report.peak_memory_bytes = usage.ru_maxrss * 1024LL;
}

std::string report_json(const ExportReport& r) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["format"] = "kavro-export-report";
  j["version"] = 1;
  j["scene"] = utf8(r.scene);
  j["success"] = r.success;
  Json options = Json::object();
  for (const auto& [key, value] : r.options) options[key] = utf8(value);
  j["options"] = options;
  Json files = Json::array();
  for (const ExportReport::File& f : r.files) {
    files.push_back(
        {{"kind", f.kind}, {"path", utf8(f.path)}, {"bytes", f.bytes}, {"lines", f.lines}});
  }
  j["files"] = files;
  const ExportReport::Counts& c = r.counts;
  j["counts"] = {{"nodes_before", c.nodes_before},
                 {"nodes_after", c.nodes_after},
                 {"materials_before", c.materials_before},
                 {"materials_after", c.materials_after},
                 {"polygon_sets", c.polygon_sets},
                 {"vertices_sent", c.vertices_sent},
                 {"triangles", c.triangles},
                 {"quads", c.quads},
                 {"triangle_strips", c.triangle_strips},
                 {"quad_strips", c.quad_strips},
                 {"matrices_used", c.matrices_used},
                 {"matrices_available", 31}};
  Json textures = Json::array();
  Json by_format = Json::object();
  for (const ExportReport::Texture& t : r.textures) {
    textures.push_back({{"name", utf8(t.name)},
                        {"format", t.format},
                        {"width", t.width},
                        {"height", t.height},
                        {"texel_bytes", t.texel_bytes},
                        {"palette_bytes", t.palette_bytes},
                        {"psnr_db", t.psnr_db == -2   ? Json(nullptr)
                                    : t.psnr_db == -1 ? Json("lossless")
                                                      : Json(t.psnr_db)}});
    Json& f = by_format[t.format.empty() ? "none" : t.format];
    if (f.is_null()) f = {{"textures", 0}, {"texel_bytes", 0}, {"palette_bytes", 0}};
    f["textures"] = f["textures"].get<long long>() + 1;
    f["texel_bytes"] = f["texel_bytes"].get<long long>() + t.texel_bytes;
    f["palette_bytes"] = f["palette_bytes"].get<long long>() + t.palette_bytes;
  }
  j["textures"] = textures;
  j["textures_by_format"] = by_format;
  Json warnings = Json::array();
  for (const std::string& w : r.warnings) warnings.push_back(utf8(w));
  j["warnings"] = warnings;
  Json stages = Json::array();
  for (const auto& [stage, seconds] : r.stage_seconds)
    stages.push_back({{"stage", stage}, {"seconds", seconds}});
  j["stages"] = stages;
  j["peak_memory_bytes"] = r.peak_memory_bytes;
  Json channels = Json::array();
  for (const ExportReport::Channel& ch : r.channels) {
    Json entry = {{"file", ch.file}};
    if (ch.file == "ica")
      entry["node"] = utf8(ch.node);
    else
      entry["material"] = utf8(ch.material);
    entry.update(Json{{"channel", ch.channel},
                      {"frame_step", ch.frame_step},
                      {"stored_values", ch.stored_values},
                      {"largest_error", ch.largest_error}});
    channels.push_back(entry);
  }
  j["channels"] = channels;
  return j.dump(2) + "\n";
}

}  // namespace kavro
