// Texture sources of the materials: finding each material's image files,
// reading image lists, loading the images into the scene's texture list, and
// the texture path, pattern lists and texture transform samples of a
// material record.
#include <cmath>

#include "exporter/extract/host_extraction.h"
#include "exporter/extract/ifl.h"
#include "exporter/extract/texture_files.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/files.h"
#include "host/host.h"

namespace kavro {
namespace {

bool is_bitmap(const max::IGameTextureMap* map) {
  return map != nullptr && map->ClassID() == max::kBitmapTexClassID;
}

bool walks_sub_materials(const max::IGameMaterial& m) {
  return m.IsMultiType() || m.ClassID() == max::kKavroMorpherClassID;
}

// Rooted, with a drive letter, or a network name: independent of any folder.
bool is_absolute_path(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  // A folder ending in a two-byte character whose second byte is "\\" has
  // no separator at its end.
  return last_separator(folder) + 1 == folder.size() ? folder + name : folder + "/" + name;
}

// Position of the first texture with this path; -1 when none has it.
int texture_index(const ExportScene& scene, const std::string& path) {
  for (std::size_t i = 0; i < scene.textures.size(); ++i) {
    if (scene.textures[i].path == path) return static_cast<int>(i);
  }
  return -1;
}

// Loads one image into the texture list; an image already listed is not
// loaded again.
bool add_texture(ExportScene& scene, const std::string& material_name, const std::string& path) {
  if (!path.empty() && texture_index(scene, path) >= 0) return true;
  SceneTexture texture;
  if (!load_texture_file(scene, material_name, path, texture)) return false;
  scene.textures.push_back(std::move(texture));
  return true;
}

bool changes(const std::vector<float>& frames) {
  for (float v : frames) {
    if (v != frames.front()) return true;
  }
  return false;
}

}  // namespace

std::string HostExtraction::absolute_bitmap_path(const std::string& file) const {
  if (file.empty() || is_absolute_path(file)) return file;
  max::Interface& core = scene_->GetCOREInterface();
  std::vector<std::string> folders;
  folders.push_back(core.GetCurFileFolder());
  for (int i = 0; i < core.GetMapDirCount(); ++i) folders.push_back(core.GetMapDir(i));
  for (const std::string& folder : folders) {
    std::string candidate = joined(folder, file);
    if (host_.file_exists(candidate)) return candidate;
  }
  // Found nowhere: the scene folder's candidate is the one reported missing.
  return joined(folders.front(), file);
}

bool HostExtraction::count_texture_images(const max::IGameMaterial* material, int& count) {
  if (material == nullptr) return true;
  const max::IGameTextureMap* map = material->GetDiffuseMap();
  if (!walks_sub_materials(*material) && is_bitmap(map)) {
    const std::string path = absolute_bitmap_path(map->GetBitmapFileName());
    if (!is_ifl(path)) {
      count += 1;
      return true;
    }
    int images = 0;
    if (!count_ifl_images(path, images)) {
      show_error(host_,
                 format("Error reading IFL file: %s applied to material: %s", path.c_str(),
                        material->GetMaterialName().c_str()),
                 "IFL File Read Error");
      show_error(host_, "All materials must be either \"KAVRO Standard\" or \"KAVRO Morpher\"",
                 "Material Error");
      return false;
    }
    count += images;
    return true;
  }
  for (int i = 0; i < material->GetSubMaterialCount(); ++i) {
    if (!count_texture_images(material->GetSubMaterial(i), count)) return false;
  }
  return true;
}

bool HostExtraction::collect_textures(ExportScene& scene, const max::IGameMaterial* material) {
  if (material == nullptr) return true;
  if (walks_sub_materials(*material)) {
    for (int i = 0; i < material->GetSubMaterialCount(); ++i) {
      if (!collect_textures(scene, material->GetSubMaterial(i))) return false;
    }
    return true;
  }
  const max::IGameTextureMap* map = material->GetDiffuseMap();
  if (map == nullptr) return true;
  const std::string name = material->GetMaterialName();
  if (!map->IsEntitySupported()) {
    scene.add_warning("Warning: Procedural texture is ignored on material: " + name);
    return true;
  }
  if (!is_bitmap(map)) {
    show_error(host_, "Texture must be a bitmap", "Texture Error");
    return false;
  }
  const std::string path = absolute_bitmap_path(map->GetBitmapFileName());
  if (!is_ifl(path)) return add_texture(scene, name, path);
  std::vector<std::string> images;
  std::vector<int> durations;
  if (!read_ifl(host_, path, images, durations)) return false;
  for (const std::string& image : images) {
    if (!add_texture(scene, name, image)) return false;
  }
  return true;
}

bool HostExtraction::attach_textures(ExportScene& scene, const max::IGameMaterial& material,
                                     SceneMaterial& m) {
  m.pattern_textures.clear();
  m.ifl_durations.clear();
  m.pattern_is_ifl = false;
  if (material.ClassID() == max::kKavroMorpherClassID) {
    // Pattern i shows sub-material i - 1; the first shows the last one.
    const int count = material.GetSubMaterialCount();
    m.texture_image_count = count;
    for (int i = 0; i < count; ++i) {
      const max::IGameMaterial* sub = material.GetSubMaterial(i == 0 ? count - 1 : i - 1);
      const max::IGameTextureMap* map = sub != nullptr ? sub->GetDiffuseMap() : nullptr;
      std::string path = is_bitmap(map) ? absolute_bitmap_path(map->GetBitmapFileName()) : "";
      // A pattern shows one image: a sub-material given an image list shows
      // the list's first image, which is a texture, rather than the list.
      std::vector<IflEntry> entries;
      if (is_ifl(path) && parse_ifl(path, entries) == IflStatus::kOk && !entries.empty()) {
        path = entries.front().path;
      }
      m.pattern_textures.push_back(path);
    }
  } else {
    int count = 0;
    if (!count_texture_images(&material, count)) return false;
    m.texture_image_count = count;
    const max::IGameTextureMap* map = material.GetDiffuseMap();
    if (is_bitmap(map)) {
      const std::string path = absolute_bitmap_path(map->GetBitmapFileName());
      if (is_ifl(path)) {
        m.pattern_is_ifl = true;
        if (!read_ifl(host_, path, m.pattern_textures, m.ifl_durations)) return false;
      }
    }
  }
  sample_texture_transform(scene, material, m);
  return true;
}

void HostExtraction::sample_texture_transform(ExportScene& scene,
                                              const max::IGameMaterial& material,
                                              SceneMaterial& m) {
  const max::IGameMaterial* source = &material;
  if (material.ClassID() == max::kKavroMorpherClassID) {
    const int count = material.GetSubMaterialCount();
    source = count > 0 ? material.GetSubMaterial(count - 1) : nullptr;
  }
  const max::IGameTextureMap* map = source != nullptr ? source->GetDiffuseMap() : nullptr;
  if (!is_bitmap(map) || map->GetUVGen() == nullptr) return;
  const max::UVGen& uv = *map->GetUVGen();

  if (!m.pattern_textures.empty()) {
    // The pattern image that comes first in the texture list.
    int best = -1;
    for (const std::string& path : m.pattern_textures) {
      int at = texture_index(scene, path);
      if (at >= 0 && (best < 0 || at < best)) best = at;
    }
    m.texture_path = best >= 0 ? scene.textures[best].path : m.pattern_textures.front();
  } else {
    m.texture_path = absolute_bitmap_path(map->GetBitmapFileName());
  }

  const int tiling = uv.GetTextureTiling();
  m.tex_tiling_s = (tiling & max::U_MIRROR) ? 2 : (tiling & max::U_WRAP) ? 1 : 0;
  m.tex_tiling_t = (tiling & max::V_MIRROR) ? 2 : (tiling & max::V_WRAP) ? 1 : 0;
  const bool flip_s = m.tex_tiling_s == 2;
  const bool flip_t = m.tex_tiling_t == 2;

  const std::size_t frames = std::max(0, scene.frame_count);
  m.tex_translate_s_frames.assign(frames, 0);
  m.tex_translate_t_frames.assign(frames, 0);
  m.tex_scale_s_frames.assign(frames, 0);
  m.tex_scale_t_frames.assign(frames, 0);
  m.tex_rotate_frames.assign(frames, 0);
  for (std::size_t i = 0; i < frames; ++i) {
    const max::TimeValue t = frame_time(scene.start_frame + static_cast<int>(i));
    double translate_s = round4096(uv.GetUOffs(t));
    double translate_t = round4096(uv.GetVOffs(t));
    double scale_s = round4096(uv.GetUScl(t));
    double scale_t = round4096(uv.GetVScl(t));
    double rotate = round4096(-static_cast<double>(uv.GetWAng(t)) * 180.0 / 3.1415927);
    // A mirrored direction shows the image twice per repeat: the scale
    // doubles and the image is shifted back by a quarter of a repeat.
    if (flip_s) {
      if (scale_s != 0) translate_s -= 0.25 / scale_s;
      scale_s *= 2;
    }
    if (flip_t) {
      if (scale_t != 0) translate_t -= 0.25 / scale_t;
      scale_t *= 2;
    }
    m.tex_translate_s_frames[i] = round4096(translate_s);
    m.tex_translate_t_frames[i] = round4096(translate_t);
    m.tex_scale_s_frames[i] = round4096(scale_s);
    m.tex_scale_t_frames[i] = round4096(scale_t);
    m.tex_rotate_frames[i] = round4096(rotate);
  }
  m.tex_srt_animated = changes(m.tex_translate_s_frames) || changes(m.tex_translate_t_frames) ||
                       changes(m.tex_scale_s_frames) || changes(m.tex_scale_t_frames) ||
                       changes(m.tex_rotate_frames);
}

}  // namespace kavro
