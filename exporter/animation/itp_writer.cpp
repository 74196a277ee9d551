// The texture pattern animation file: the distinct images and palettes of
// every flipbook material, the keys at which another image takes over, and
// where each material's keys begin.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "exporter/animation/curve.h"
#include "exporter/animation/writers.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

namespace {

constexpr const char* kListLabel = "ITP: Writing Texture Pattern List Data";
constexpr const char* kKeyLabel = "ITP: Writing Texture Pattern Data";
constexpr const char* kArrayLabel = "ITP: Writing Texture Animation Array";

constexpr const char* kSizeWarning =
    "Warning: Exported KAVRO morpher material contains textures of different sizes.  ITP "
    "texture animation may not work as desired.";

constexpr int kMorphChannels = 100;

bool animated(const SceneMaterial& m) {
  return m.pattern_textures.size() >= 2;
}

struct PatternKey {
  int frame, image, palette;
};

// The distinct images (by path) and palettes (by name), in order of first
// appearance.
struct PatternLists {
  std::vector<std::string> image_names;
  std::vector<int> image_palette;  // palette index of each image, -1 without palette
  std::vector<std::string> palette_names;
  std::unordered_map<std::string, int> image_of_path;
  std::unordered_map<std::string, int> palette_of_name;
};

// Texture records by path, first match. A path that no texture has resolves
// to the first texture, as texture references do everywhere; without any
// texture there is no record at all.
class TextureLookup {
 public:
  explicit TextureLookup(const std::vector<SceneTexture>& textures) : textures_(textures) {
    for (std::size_t i = 0; i < textures.size(); ++i) {
      by_path_.emplace(textures[i].path, static_cast<int>(i));
    }
  }
  const SceneTexture* find(const std::string& path) const {
    if (textures_.empty()) return nullptr;
    auto it = by_path_.find(path);
    return &textures_[it == by_path_.end() ? 0 : it->second];
  }

 private:
  const std::vector<SceneTexture>& textures_;
  std::unordered_map<std::string, int> by_path_;
};

void add_image(PatternLists& lists, const std::string& path, const SceneTexture* texture) {
  if (lists.image_of_path.count(path) != 0) return;
  std::string name = image_name(path);
  int palette = -1;
  if (texture != nullptr && !texture->palette.empty()) {
    std::string palette_name = texture->palette_name.empty() ? name + "_pl" : texture->palette_name;
    auto it = lists.palette_of_name.find(palette_name);
    if (it == lists.palette_of_name.end()) {
      palette = static_cast<int>(lists.palette_names.size());
      lists.palette_names.push_back(palette_name);
      lists.palette_of_name.emplace(palette_name, palette);
    } else {
      palette = it->second;
    }
  }
  lists.image_of_path.emplace(path, static_cast<int>(lists.image_names.size()));
  lists.image_names.push_back(name);
  lists.image_palette.push_back(palette);
}

PatternLists build_lists(const ExportScene& scene, ExportLog& log) {
  PatternLists lists;
  TextureLookup lookup(scene.textures);
  float step = log.step_size(scene.material_count());
  for (const SceneMaterial& m : scene.materials) {
    log.advance(step, kListLabel);
    if (!animated(m)) continue;
    const SceneTexture* first = nullptr;
    for (const std::string& path : m.pattern_textures) {
      const SceneTexture* texture = lookup.find(path);
      if (first == nullptr) {
        first = texture;
      } else if (texture != nullptr &&
                 (texture->width != first->width || texture->height != first->height)) {
        log.add_warning(std::string(kSizeWarning) + " Material: " + m.name);
      }
      add_image(lists, path, texture);
    }
  }
  return lists;
}

void write_lists(OutputFile& out, const PatternLists& lists) {
  if (lists.image_names.empty()) return;
  out.line() << "\n<tex_pattern_list_data image_size=\""
             << static_cast<int>(lists.image_names.size()) << "\" palette_size=\""
             << static_cast<int>(lists.palette_names.size()) << "\">\n";
  for (std::size_t i = 0; i < lists.image_names.size(); ++i) {
    out.line() << "\t<image_name index=\"" << static_cast<int>(i) << "\" name=\""
               << OutputFile::Line::XmlEscaped{lists.image_names[i]} << "\"/>\n";
  }
  for (std::size_t i = 0; i < lists.palette_names.size(); ++i) {
    out.line() << "\t<palette_name index=\"" << static_cast<int>(i) << "\" name=\""
               << OutputFile::Line::XmlEscaped{lists.palette_names[i]} << "\"/>\n";
  }
  out.write("</tex_pattern_list_data>\n");
}

// Cycle number of a frame: the quotient truncated toward zero, lowered by one
// for a negative frame.
std::int64_t cycle_of(std::int64_t frame, std::int64_t cycle_length) {
  std::int64_t q = cycle_length == 0 ? 0 : frame / cycle_length;
  return frame < 0 ? q - 1 : q;
}

// Keys of an image file list: each entry in each cycle that the exported
// range shows, the first key always at frame 0.
void ifl_keys(const ExportScene& scene, const SceneMaterial& m, const PatternLists& lists,
              std::vector<PatternKey>& keys) {
  std::size_t count = m.pattern_textures.size();
  std::vector<std::int64_t> offset(count + 1, 0);
  for (std::size_t j = 0; j < count; ++j) {
    std::int64_t duration = j < m.ifl_durations.size() ? m.ifl_durations[j] : 0;
    offset[j + 1] = offset[j] + duration;
  }
  const std::int64_t cycle_length = offset[count];
  const std::int64_t start = scene.start_frame;
  const std::int64_t size = anim::frame_size(scene);
  std::int64_t first_cycle = 0, last_cycle = 0;
  if (m.ifl_repeat) {
    first_cycle = cycle_of(start, cycle_length);
    last_cycle = cycle_of(scene.end_frame, cycle_length);
  }
  std::size_t first_key = keys.size();
  for (std::int64_t c = first_cycle; c <= last_cycle; ++c) {
    for (std::size_t j = 0; j < count; ++j) {
      bool have_key = keys.size() > first_key;
      std::int64_t e = c * cycle_length + offset[j] - start;
      if (e < 0) {
        // An entry that ends before the range starts is not shown at all.
        if (j + 1 < count && start >= c * cycle_length + offset[j + 1]) continue;
        e = 0;
      } else if (e >= size) {
        if (!(c == last_cycle && j + 1 == count && !have_key)) continue;
        e = 0;
      } else if (!have_key) {
        e = 0;
      }
      int image = lists.image_of_path.at(m.pattern_textures[j]);
      keys.push_back({static_cast<int>(e), image, lists.image_palette[image]});
    }
  }
}

// Keys of a morpher: the texture of the most strongly weighted channel, a key
// wherever that channel changes.
void morpher_keys(const ExportScene& scene, const SceneMaterial& m, const PatternLists& lists,
                  std::vector<PatternKey>& keys) {
  const std::vector<std::vector<float>>* weights = nullptr;
  for (const PolygonSet& set : scene.polygons) {
    if (set.material_name == m.name) {
      weights = &set.morph_weights;
      break;
    }
  }
  int size = anim::frame_size(scene);
  int previous = -1;
  for (int f = 0; f < size; ++f) {
    float best = 0;
    int number = 0;
    if (weights != nullptr) {
      std::size_t channels = weights->size() < kMorphChannels ? weights->size() : kMorphChannels;
      for (std::size_t k = 0; k < channels; ++k) {
        const std::vector<float>& w = (*weights)[k];
        if (f >= std::ssize(w)) continue;
        if (w[f] > best) {
          best = w[f];
          number = static_cast<int>(k) + 1;
        }
      }
    }
    if (number == previous) continue;
    previous = number;
    // A channel without a texture of its own keeps the image shown before.
    if (number >= std::ssize(m.pattern_textures)) continue;
    int image = lists.image_of_path.at(m.pattern_textures[number]);
    keys.push_back({f, image, lists.image_palette[image]});
  }
}

// The keys of every material in material order, with each material's count
// of them.
struct PatternKeys {
  std::vector<PatternKey> keys;
  std::vector<int> counts;  // per material
};

PatternKeys build_keys(const ExportScene& scene, ExportLog& log, const PatternLists& lists) {
  PatternKeys result;
  std::vector<PatternKey>& keys = result.keys;
  result.counts.assign(scene.materials.size(), 0);
  float step = log.step_size(scene.material_count());
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = scene.materials[i];
    log.advance(step, kListLabel);
    if (!animated(m)) continue;
    std::size_t before = keys.size();
    if (m.pattern_is_ifl) {
      ifl_keys(scene, m, lists, keys);
    } else {
      morpher_keys(scene, m, lists, keys);
    }
    result.counts[i] = static_cast<int>(keys.size() - before);
  }
  return result;
}

template <typename Get>
void write_key_list(OutputFile& out, const char* name, const std::vector<PatternKey>& keys,
                    Get get) {
  out.line() << "\t<" << name << " size=\"" << static_cast<int>(keys.size()) << "\">";
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (k % 10 == 0) out.write("\n\t\t");
    out.line() << get(keys[k]) << " ";
  }
  out.line() << "\n\t</" << name << ">\n";
}

void write_keys(OutputFile& out, ExportLog& log, const std::vector<PatternKey>& keys) {
  if (keys.empty()) {
    log.add_warning("Warning: No texture pattern animation.");
  } else {
    out.write("\n<tex_pattern_data>\n");
    write_key_list(out, "frame_idx", keys, [](const PatternKey& k) { return k.frame; });
    write_key_list(out, "image_idx", keys, [](const PatternKey& k) { return k.image; });
    write_key_list(out, "palette_idx", keys, [](const PatternKey& k) { return k.palette; });
    out.write("</tex_pattern_data>\n");
  }
  log.finish_stage(kKeyLabel);
}

void write_material_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                          const std::vector<int>& key_counts) {
  if (scene.texture_count() > 0) {
    int count = 0;
    for (const SceneMaterial& m : scene.materials) count += animated(m) ? 1 : 0;
    out.line() << "\n<tex_pattern_anm_array size=\"" << count << "\">\n";
    float step = log.step_size(scene.material_count());
    int index = 0;
    int head = 0;
    for (std::size_t i = 0; i < scene.materials.size(); ++i) {
      const SceneMaterial& m = scene.materials[i];
      log.advance(step, kArrayLabel);
      if (!animated(m)) continue;
      out.line() << "\t<tex_pattern_anm index=\"" << index++ << "\" material_name=\""
                 << OutputFile::Line::XmlEscaped{m.name} << "\" data_size=\"" << key_counts[i]
                 << "\" data_head=\"" << head << "\"/>\n";
      head += key_counts[i];
    }
    out.write("</tex_pattern_anm_array>\n");
  }
  log.finish_stage(kArrayLabel);
}

void write_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<tex_pattern_info\n");
  out.line() << "\tframe_size=\"" << anim::frame_size(s) << "\"\n";
  out.line() << "\ttool_start_frame=\"" << s.start_frame << "\"\n";
  out.line() << "\ttool_end_frame=\"" << s.end_frame << "\"\n";
  out.line() << "\tcompress_material=\"" << on_off_keyword(s.compress_material)
             << "\" material_size=\"" << s.material_count_before << " " << s.material_count()
             << "\"\n";
  out.write("/>\n");
}

}  // namespace

void write_itp_body(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  write_info(out, scene);
  PatternLists lists = build_lists(scene, log);
  write_lists(out, lists);
  log.finish_stage(kListLabel);
  PatternKeys keys = build_keys(scene, log, lists);
  write_keys(out, log, keys.keys);
  write_material_array(out, scene, log, keys.counts);
}

bool ItpWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  // Palettes come from texture conversion, which the driver runs before the
  // writers whenever this file is written.
  if (!scene.textures_converted) {
    if (log.host_interface != nullptr) {
      show_error(*log.host_interface,
                 "The texture pattern file needs the textures converted first.", "Export Error");
    }
    return false;
  }
  return write_enveloped_file(scene, log, path, FileKind::kItp,
                              [&](OutputFile& out) { write_itp_body(out, scene, log); });
}

}  // namespace kavro
