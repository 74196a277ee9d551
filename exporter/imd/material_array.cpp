#include "exporter/imd/material_array.h"

#include <string>
#include <unordered_map>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

namespace {

constexpr const char* kStage = "IMD: Exporting Materials";

// Keyword of a stored value; a value outside the table takes the first word.
template <std::size_t N>
const char* keyword(const char* const (&words)[N], int value) {
  return value >= 0 && value < std::ssize(words) ? words[value] : words[0];
}

const char* const kOnOff[] = {"off", "on"};
const char* const kFace[] = {"front", "back", "both"};
const char* const kPolygonMode[] = {"modulate", "decal", "toon_highlight", "shadow"};
const char* const kTiling[] = {"clamp", "repeat", "flip"};
const char* const kTexGenMode[] = {"none", "tex", "nrm", "pos"};
const char* const kTexGenSource[] = {"polygon", "material"};

// First-frame value of a per-frame array; `fallback` when it is empty.
template <typename T>
T first(const std::vector<T>& frames, T fallback) {
  return frames.empty() ? fallback : frames.front();
}

bool power_of_two_side(int side) {
  return side >= 8 && side <= 1024 && (side & (side - 1)) == 0;
}

void write_color(OutputFile& out, const char* key, const std::vector<ColorEntry>& frames) {
  ColorEntry c = first(frames, ColorEntry{});
  out.line() << "\t\t" << key << "=\"" << (c.r >> 3) << " " << (c.g >> 3) << " " << (c.b >> 3)
             << "\"\n";
}

void write_texture_settings(OutputFile& out, const ExportScene& scene, ExportLog& log,
                            const SceneMaterial& m, int image, int palette) {
  const SceneTexture& t = scene.textures[image];

  if ((m.tex_tiling_t == 1 || m.tex_tiling_t == 2) && !power_of_two_side(t.original_height)) {
    log.add_warning("Warning: Texture height must be power of 2 for tile / mirror" +
                    std::string(": Texture: ") + t.path);
  }
  if ((m.tex_tiling_s == 1 || m.tex_tiling_s == 2) && !power_of_two_side(t.original_width)) {
    log.add_warning("Warning: Texture width must be power of 2 for tile / mirror" +
                    std::string(": Texture: ") + t.path);
  }
  out.line() << "\t\ttex_image_idx=\"" << image << "\" tex_palette_idx=\""
             << (t.format == TextureFormat::kDirect ? -1 : palette) << "\"\n";
  out.line() << "\t\ttex_tiling=\"" << keyword(kTiling, m.tex_tiling_s) << " "
             << keyword(kTiling, m.tex_tiling_t) << "\"\n";

  float scale_s = first(m.tex_scale_s_frames, 1.0f), scale_t = first(m.tex_scale_t_frames, 1.0f);
  float rotate = first(m.tex_rotate_frames, 0.0f);
  float trans_s = first(m.tex_translate_s_frames, 0.0f);
  float trans_t = first(m.tex_translate_t_frames, 0.0f);
  out.line() << "\t\ttex_scale=\"" << static_cast<double>(scale_s) << " "
             << static_cast<double>(scale_t) << "\"\n";
  out.line() << "\t\ttex_rotate=\"" << static_cast<double>(rotate) << "\"\n";
  out.line() << "\t\ttex_translate=\"" << static_cast<double>(trans_s) << " "
             << static_cast<double>(trans_t) << "\"\n";

  // A texture transform needs texture coordinate generation to take effect.
  int mode = m.tex_gen_mode;
  bool identity =
      scale_s == 1.0f && scale_t == 1.0f && trans_s == 0.0f && trans_t == 0.0f && rotate == 0.0f;
  if (mode == 0 && !identity) mode = 1;
  out.line() << "\t\ttex_gen_mode=\"" << keyword(kTexGenMode, mode) << "\"\n";

  if (m.tex_gen_mode == 2 || m.tex_gen_mode == 3) {
    out.line() << "\t\ttex_gen_st_src=\"" << keyword(kTexGenSource, m.tex_gen_st_src) << "\"\n";
    const Mat4& e = m.tex_effect_mtx;
    for (int row = 0; row < 4; ++row) {
      const char* lead = row == 0 ? "\t\ttex_effect_mtx=\"" : "\t\t                ";
      const char* tail = row == 3 ? "\"\n" : "\n";
      out.line() << lead << static_cast<double>(e(row, 0)) << " " << static_cast<double>(e(row, 1))
                 << " " << static_cast<double>(e(row, 2)) << " " << static_cast<double>(e(row, 3))
                 << tail;
    }
  }
}

}  // namespace

std::vector<int> texture_image_indices(const ExportScene& scene) {
  std::unordered_map<std::string, int> by_path;
  for (std::size_t i = 0; i < scene.textures.size(); ++i) {
    by_path.try_emplace(scene.textures[i].path, static_cast<int>(i));
  }
  std::vector<int> image(scene.materials.size(), -1);
  for (std::size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = scene.materials[i];
    if (m.texture_path.empty() || scene.textures.empty()) continue;
    auto it = by_path.find(m.texture_path);
    image[i] = it == by_path.end() ? 0 : it->second;
  }
  return image;
}

void write_material_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                          const std::vector<int>& palette_index) {
  const int count = scene.material_count();
  if (count > 0) {
    const std::vector<int> image = texture_image_indices(scene);
    const float step = log.step_size(count);
    out.line() << "\n<material_array size=\"" << count << "\">\n";
    for (int i = 0; i < count; ++i) {
      log.advance(step, kStage);
      const SceneMaterial& m = scene.materials[i];
      if (m.name.size() > 16) {
        log.add_warning_f("Warning: Length of name over 16 characters. material: %s",
                          m.name.c_str());
      }
      out.line() << "\t<material index=\"" << i << "\" name=\""
                 << OutputFile::Line::XmlEscaped{m.name} << "\"\n";
      out.line() << "\t\tlight0=\"" << keyword(kOnOff, m.light0) << "\" light1=\""
                 << keyword(kOnOff, m.light1) << "\" light2=\"" << keyword(kOnOff, m.light2)
                 << "\" light3=\"" << keyword(kOnOff, m.light3) << "\"\n";
      out.line() << "\t\tface=\"" << keyword(kFace, m.face) << "\"\n";
      out.line() << "\t\talpha=\"" << (first(m.alpha_frames.vector(), std::uint8_t{255}) >> 3)
                 << "\"\n";
      out.line() << "\t\twire_mode=\"" << keyword(kOnOff, m.wire_mode) << "\"\n";
      out.line() << "\t\tpolygon_mode=\"" << keyword(kPolygonMode, m.polygon_mode) << "\"\n";
      out.line() << "\t\tpolygon_id=\"" << m.polygon_id << "\"\n";
      out.line() << "\t\tfog_flag=\"" << keyword(kOnOff, m.fog_flag) << "\"\n";
      out.line() << "\t\tdepth_test_decal=\"" << keyword(kOnOff, m.depth_test_decal) << "\"\n";
      out.line() << "\t\ttranslucent_update_depth=\"" << keyword(kOnOff, m.translucent_update_depth)
                 << "\"\n";
      out.line() << "\t\trender_1_pixel=\"" << keyword(kOnOff, m.render_1_pixel) << "\"\n";
      out.line() << "\t\tfar_clipping=\"" << keyword(kOnOff, m.far_clipping) << "\"\n";
      write_color(out, "diffuse", m.diffuse_frames);
      write_color(out, "ambient", m.ambient_frames);
      write_color(out, "specular", m.specular_frames);
      write_color(out, "emission", m.emission_frames);
      out.line() << "\t\tshininess_table_flag=\""
                 << (m.shininess_table_flag != 0 && m.lighting != 0 ? "on" : "off") << "\"\n";
      if (image[i] < 0) {
        // A scene without any texture has no image to refer to: the material
        // is written as untextured.
        out.write("\t\ttex_image_idx=\"-1\" tex_palette_idx=\"-1\"\n");
      } else {
        const int palette = image[i] < std::ssize(palette_index) ? palette_index[image[i]] : -1;
        write_texture_settings(out, scene, log, m, image[i], palette);
      }
      out.write("\t/>\n");
    }
    out.write("</material_array>\n");
  }
  log.finish_stage(kStage);
}

}  // namespace kavro
