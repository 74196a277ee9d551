// Material extraction: one record per supported host material (multi
// materials contribute their sub-materials), after the default material, with
// the platform parameters and the colours and alpha of every frame.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "exporter/extract/host_extraction.h"
#include "exporter/extract/texture_files.h"
#include "exporter/pipeline/messages.h"
#include "host/host.h"

namespace kavro {
namespace {

bool supported(const max::IGameMaterial* m) {
  max::Class_ID id = m->ClassID();
  return id == max::kStandardMaterialClassID || id == max::kMultiMaterialClassID ||
         id == max::kKavroStandardClassID || id == max::kKavroMorpherClassID;
}

// The records a material makes: one per material that is not a multi
// material, below multi materials too.
std::size_t leaf_count(max::IGameMaterial* material) {
  if (material == nullptr || !supported(material)) return 0;
  if (!material->IsMultiType()) return 1;
  std::size_t n = 0;
  for (int i = 0; i < material->GetSubMaterialCount(); ++i) {
    n += leaf_count(material->GetSubMaterial(i));
  }
  return n;
}

bool is_bitmap(const max::IGameTextureMap* map) {
  return map != nullptr && map->ClassID() == max::kBitmapTexClassID;
}

// A colour channel: component * 255 + 0.5, truncated, kept in 0 to 255.
std::uint8_t channel(float c) {
  double v = static_cast<double>(c) * 255.0 + 0.5;
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(v);
}

ColorEntry color_entry(max::Point3 c) {
  return {channel(c.x), channel(c.y), channel(c.z)};
}

// color_entry of a colour sampled frame after frame: most colours do not
// move, so the last conversion is kept and reused while the colour's bits
// stay the same.
class ColorSampler {
 public:
  ColorEntry operator()(max::Point3 c) {
    if (!valid_ || std::memcmp(&c, &last_, sizeof c) != 0) {
      entry_ = color_entry(c);
      last_ = c;
      valid_ = true;
    }
    return entry_;
  }

 private:
  max::Point3 last_{};
  ColorEntry entry_{};
  bool valid_ = false;
};

// The platform parameters, each read by name; a missing one keeps its default.
void read_parameters(const max::IGameMaterial& m, SceneMaterial& out) {
  // Values beyond the int range (a script or a document can store any number)
  // are held at its ends: converting them as they are is undefined.
  auto to_int = [](float v) {
    if (v >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
  };
  // The integer parameters and the 1-based choices (stored as value - 1, and
  // as 0 when the value is 0 or less). Named once: this runs for every
  // material, and the host takes its names as strings.
  struct Param {
    std::string name;
    int SceneMaterial::*field;
    bool choice;
  };
  static const Param kParams[] = {
      {"light_0", &SceneMaterial::light0, false},
      {"light_1", &SceneMaterial::light1, false},
      {"light_2", &SceneMaterial::light2, false},
      {"light_3", &SceneMaterial::light3, false},
      {"specularTblOn", &SceneMaterial::shininess_table_flag, false},
      {"fogOn", &SceneMaterial::fog_flag, false},
      {"wireFrame", &SceneMaterial::wire_mode, false},
      {"displayFace", &SceneMaterial::face, true},
      {"polyMode", &SceneMaterial::polygon_mode, true},
      {"polyID", &SceneMaterial::polygon_id, false},
      {"texGen", &SceneMaterial::tex_gen_mode, true},
      {"texGenST", &SceneMaterial::tex_gen_st_src, true},
      {"comPress", &SceneMaterial::compress_mode, true},
      {"depthTestDecal", &SceneMaterial::depth_test_decal, false},
      {"transUpdateDepth", &SceneMaterial::translucent_update_depth, false},
      {"render1Pixel", &SceneMaterial::render_1_pixel, false},
      {"farClipping", &SceneMaterial::far_clipping, false},
  };
  auto int_param = [&](const std::string& name, int& field) {
    float v;
    if (m.QueryProperty(name, v) && std::isfinite(v)) field = to_int(v);
  };
  for (const Param& p : kParams) {
    float v;
    if (!m.QueryProperty(p.name, v) || !std::isfinite(v)) continue;
    const int value = to_int(v);
    out.*p.field = p.choice ? (value > 0 ? value - 1 : 0) : value;
  }
  static const std::string kIflLoop = "iflLoop", kPriorityRadio = "priorityRadio",
                           kPriorityValue = "priorityValue";
  int loop = out.ifl_repeat ? 1 : 0;
  int_param(kIflLoop, loop);
  out.ifl_repeat = loop != 0;
  int radio = 0, value = 0;
  int_param(kPriorityRadio, radio);
  int_param(kPriorityValue, value);
  out.priority = radio == 1 ? 0 : value;
  // Named once: this runs for every material.
  static const std::string kEffectNames[4][2] = {{"tex_effect_mtx_0_0", "tex_effect_mtx_0_1"},
                                                 {"tex_effect_mtx_1_0", "tex_effect_mtx_1_1"},
                                                 {"tex_effect_mtx_2_0", "tex_effect_mtx_2_1"},
                                                 {"tex_effect_mtx_3_0", "tex_effect_mtx_3_1"}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 2; ++c) {
      float v;
      if (m.QueryProperty(kEffectNames[r][c], v) && std::isfinite(v)) out.tex_effect_mtx(r, c) = v;
    }
  }
}

// The colours of the host's default standard material, for the default
// material's per-frame arrays.
void default_colors(SceneMaterial& m, int frames) {
  std::size_t n = std::max(0, frames);
  m.diffuse_frames = std::vector<ColorEntry>(n, color_entry({0.588f, 0.588f, 0.588f}));
  m.ambient_frames = std::vector<ColorEntry>(n, color_entry({0.588f, 0.588f, 0.588f}));
  m.specular_frames = std::vector<ColorEntry>(n, color_entry({0.9f, 0.9f, 0.9f}));
  m.emission_frames = std::vector<ColorEntry>(n, ColorEntry{});
  m.alpha_frames = std::vector<std::uint8_t>(n, 255);
}

}  // namespace

bool HostExtraction::extract_materials(ExportScene& scene, const ExportOptions& options) {
  (void)options;
  max::IGameScene& ig = scene_->GetIGameInterface();
  material_names_.clear();
  material_record_names_.clear();

  // Every texture image of every material is found, checked and loaded
  // before any material record is built.
  int image_count = 0;
  for (int i = 0; i < ig.GetRootMaterialCount(); ++i) {
    if (!count_texture_images(ig.GetRootMaterial(i), image_count)) return false;
  }
  // The count comes from the files' own lists: it only hints at the size,
  // so that a list of absurd length cannot claim memory before its images
  // are found.
  scene.textures.reserve(static_cast<std::size_t>(std::min(image_count, 1024)));
  for (int i = 0; i < ig.GetRootMaterialCount(); ++i) {
    if (!collect_textures(scene, ig.GetRootMaterial(i))) return false;
  }
  name_textures(scene);

  // Warnings about the materials of the exported mesh nodes.
  std::vector<max::IGameNode*> meshes = ig.GetIGameNodeByType(max::IGAME_MESH);
  float step = scene.step_size(static_cast<int>(meshes.size()));
  for (max::IGameNode* n : meshes) {
    scene.advance(step, "IVA: Exporting Materials");
    if (!passes_filter(n, true) || is_subdivision(n, false)) continue;
    max::IGameMaterial* m = n->GetNodeMaterial();
    if (m == nullptr) {
      scene.add_warning("Warning: No material on node \"" + n->GetName() + "\"");
    } else if (!supported(m)) {
      scene.add_warning("Warning: Material \"" + m->GetMaterialName() +
                        "\" is not of a supported material type and has been assigned a default "
                        "material.");
    }
  }

  // The default material.
  SceneMaterial dummy;
  dummy.name = "dummy_material";
  dummy.unreferenced = true;
  default_colors(dummy, scene.frame_count);
  scene.materials.push_back(std::move(dummy));

  // Room for every record at once: growing ten thousand of them by doubling
  // held both the old and the new array at the peak.
  std::size_t records = scene.materials.size();
  for (int i = 0; i < ig.GetRootMaterialCount(); ++i) records += leaf_count(ig.GetRootMaterial(i));
  scene.materials.reserve(records);
  material_names_.reserve(records);

  bool ok = true;
  step = scene.step_size(std::max(1, ig.GetRootMaterialCount()));
  for (int i = 0; i < ig.GetRootMaterialCount() && ok; ++i) {
    scene.advance(step, "Exporting Materials");
    add_material(scene, ig.GetRootMaterial(i), ok);
  }
  // Only material records take names from this index: the polygon sets
  // that come next need not have it beside them.
  material_record_names_.clear();
  color_frames_ = {};
  alpha_frames_ = {};
  scene.finish_stage("Exporting Materials");
  return ok;
}

void HostExtraction::add_material(ExportScene& scene, max::IGameMaterial* material, bool& ok) {
  if (material == nullptr || !supported(material)) return;
  if (material->IsMultiType()) {
    for (int i = 0; i < material->GetSubMaterialCount() && ok; ++i) {
      add_material(scene, material->GetSubMaterial(i), ok);
    }
    return;
  }
  const std::string host_name = material->GetMaterialName();
  if (host_name.empty()) {
    show_error(host_, "Material name is empty", "Material Export Error");
    ok = false;
    return;
  }
  SceneMaterial m;
  bool changed = false;
  material_record_names_.sync(scene.materials.size(), [&](std::size_t i) -> const std::string& {
    return scene.materials[i].name;
  });
  m.name = material_record_names_.unique(host_name, &changed);
  if (changed) scene.add_warning("Warning: Material name changed: " + m.name);

  const bool morpher = material->ClassID() == max::kKavroMorpherClassID;
  const max::IGameMaterial* colors = material;
  if (morpher) {
    // Every sub-material switched by the morpher needs a bitmap diffuse map.
    for (int i = 0; i < material->GetSubMaterialCount(); ++i) {
      const max::IGameMaterial* sub = material->GetSubMaterial(i);
      if (sub == nullptr || !is_bitmap(sub->GetDiffuseMap())) {
        show_error(
            host_,
            "Error: A sub material has not been assigned a diffuse map in a KAVRO Morpher "
            "modifier. To fix this, open the material editor (press M).  Navigate to the top of "
            "the material hierarchy and select the button for the material that is missing a "
            "diffuse map. You can check which one is missing a diffuse map by clicking each of the "
            "material buttons in the Base Material and Channel Material Setup group boxes.  After "
            "you have clicked one of the materials, expand the Blinn Basic Properties group box if "
            "it is not already expanded.  If the button next to the Diffuse component has an \"M\" "
            "on it, the material already has a Diffuse map.  If it doesn't have an \"M\", click "
            "the button next to the Diffuse component and select Bitmap from the list window that "
            "pops up.  Assign a bitmap to use and that texture will we set for the sub material "
            "of the KAVRO morpher.",
            "Missing Morpher Diffuse Map");
        ok = false;
        return;
      }
    }
    if (material->GetSubMaterialCount() > 0) {
      colors = material->GetSubMaterial(material->GetSubMaterialCount() - 1);
    }
  }
  if (!attach_textures(scene, *material, m)) {
    ok = false;
    return;
  }

  if (morpher || material->ClassID() == max::kKavroStandardClassID) {
    read_parameters(*material, m);
  } else {
    scene.add_warning(
        "Warning: Exported material is not KAVRO standard or KAVRO morpher and will be set to "
        "default parameters: \"" +
        host_name + "\"");
  }

  sample_colors(scene, *colors, m);
  m.unreferenced = true;
  if (m.texture_image_count > 1) {
    scene.add_warning_f("Warning: Multi texture is used. Use first texture only. %s",
                        m.name.c_str());
  }
  material_names_[material] = m.name;
  scene.materials.push_back(std::move(m));
}

void HostExtraction::sample_colors(const ExportScene& scene, const max::IGameMaterial& colors,
                                   SceneMaterial& m) {
  const std::size_t frames = std::max(0, scene.frame_count);
  const bool self_illum = colors.GetSelfIllumColorOn();
  auto alpha_of = [](float opacity) -> std::uint8_t {
    double alpha = static_cast<double>(opacity) * 255.0;
    return alpha > 0 ? (alpha >= 255 ? 255 : static_cast<std::uint8_t>(alpha)) : 0;
  };
  if (!colors.IsColorAnimated()) {
    // Every frame gives the first frame's values: one sample of each, and
    // the arrays of that value shared with every other material holding it.
    const max::TimeValue t = frame_time(scene.start_frame);
    m.diffuse_frames = color_frames_.filled(frames, color_entry(colors.GetDiffuse(t)));
    m.ambient_frames = color_frames_.filled(frames, color_entry(colors.GetAmbient(t)));
    m.specular_frames = color_frames_.filled(frames, color_entry(colors.GetSpecular(t)));
    m.emission_frames = color_frames_.filled(
        frames, self_illum ? color_entry(colors.GetSelfIllumColor(t)) : ColorEntry{});
    m.alpha_frames = alpha_frames_.filled(frames, alpha_of(colors.GetOpacity(t)));
    return;
  }
  std::vector<ColorEntry> diffuse(frames), ambient(frames), specular(frames), emission(frames);
  std::vector<std::uint8_t> alphas(frames);
  ColorSampler to_diffuse, to_ambient, to_specular, to_emission;
  for (std::size_t i = 0; i < frames; ++i) {
    max::TimeValue t = frame_time(scene.start_frame + static_cast<int>(i));
    diffuse[i] = to_diffuse(colors.GetDiffuse(t));
    ambient[i] = to_ambient(colors.GetAmbient(t));
    specular[i] = to_specular(colors.GetSpecular(t));
    emission[i] = self_illum ? to_emission(colors.GetSelfIllumColor(t)) : ColorEntry{};
    alphas[i] = alpha_of(colors.GetOpacity(t));
  }
  // Materials that do not animate a colour, and many that do, have the same
  // samples as another: they share them.
  m.diffuse_frames = color_frames_.intern(std::move(diffuse));
  m.ambient_frames = color_frames_.intern(std::move(ambient));
  m.specular_frames = color_frames_.intern(std::move(specular));
  m.emission_frames = color_frames_.intern(std::move(emission));
  m.alpha_frames = alpha_frames_.intern(std::move(alphas));
}

}  // namespace kavro
