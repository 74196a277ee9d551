#include "exporter/extract/texture_files.h"

#include <unordered_map>
#include <utility>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "exporter/texture/colormap_tga.h"
#include "host/bitmap.h"
#include "host/files.h"

namespace kavro {

namespace {

void report(const ExportScene& scene, const std::string& text, const std::string& caption) {
  if (scene.host_interface != nullptr) show_error(*scene.host_interface, text, caption);
}

bool failed_to_open(const ExportScene& scene, const std::string& material,
                    const std::string& path) {
  report(
      scene,
      format("Failed to open texture on material %s at path: %s", material.c_str(), path.c_str()),
      "Bitmap Error");
  return false;
}

// A colour-mapped TGA that cannot hold what its header describes: no other
// reader gets a chance to make an image of it.
bool damaged(const ExportScene& scene, const std::string& path, const std::string& damage) {
  report(scene, format("Can't read texture %s: %s", path.c_str(), damage.c_str()), "Texture Error");
  return false;
}

void to_source_image(const host::RgbaImage& rgba, SourceImage& image) {
  image.width = rgba.width;
  image.height = rgba.height;
  image.texels.resize(rgba.pixels.size() / 4);
  for (std::size_t i = 0; i < image.texels.size(); ++i) {
    SourceTexel& t = image.texels[i];
    t.red = rgba.pixels[i * 4];
    t.green = rgba.pixels[i * 4 + 1];
    t.blue = rgba.pixels[i * 4 + 2];
    t.alpha = rgba.pixels[i * 4 + 3];
  }
}

}  // namespace

bool is_power_of_two(int n) {
  return n > 0 && (n & (n - 1)) == 0;
}

bool is_texture_side(int side) {
  return side == 0 || (is_power_of_two(side) && side >= 8 && side <= kMaxTextureSide);
}

int converted_side(int original) {
  int side = 8;
  while (side < original && side <= kMaxTextureSide) side *= 2;
  return side;
}

bool load_texture_file(ExportScene& scene, const std::string& material_name,
                       const std::string& path, SceneTexture& texture) {
  texture.path = path;
  if (path.empty()) {
    report(scene, format("No texture image name on material %s.", material_name.c_str()),
           "Bitmap Error");
    return false;
  }
  const bool exists = scene.host_interface != nullptr ? scene.host_interface->file_exists(path)
                                                      : host::path_is_file(path);
  if (!exists) {
    report(scene,
           format("Texture image missing on material %s at the path: %s.", material_name.c_str(),
                  path.c_str()),
           "Bitmap Error");
    return false;
  }

  // The size comes from the reader that will load the pixels. A colour-mapped
  // TGA small enough to convert is decoded at once; anything else is measured
  // from its header, so that no pixels of a too-large image are decoded.
  int width = 0, height = 0;
  SourceImage image;
  bool decoded = false;
  std::string damage;
  bool colormapped = has_tga_extension(path) && colormap_tga_size(path, width, height, &damage);
  if (!damage.empty()) return damaged(scene, path, damage);
  if (colormapped && width <= kMaxTextureSide && height <= kMaxTextureSide) {
    decoded = decode_colormap_tga(path, image, &damage);
    if (!damage.empty()) return damaged(scene, path, damage);
  }
  if (!decoded) {
    std::string error;
    int w = 0, h = 0;
    if (host::bitmap_info(path, w, h, error)) {
      width = w;
      height = h;
    } else if (!colormapped || (width <= kMaxTextureSide && height <= kMaxTextureSide)) {
      return failed_to_open(scene, material_name, path);
    }
    // A colour-mapped file too large to decode that the host cannot measure
    // keeps the size of its header and is refused below as too large.
  }

  texture.original_width = static_cast<std::uint16_t>(width);
  texture.original_height = static_cast<std::uint16_t>(height);
  if (!is_texture_side(width) || !is_texture_side(height)) {
    scene.add_warning_f("Warning: Size of texture is wrong. %s.", path.c_str());
  }
  const int cw = converted_side(width);
  const int ch = converted_side(height);
  if (cw > kMaxTextureSide || ch > kMaxTextureSide) {
    report(scene, format("Texture size over. %s", path.c_str()), "Texture Size Over");
    return false;
  }
  texture.width = static_cast<std::uint16_t>(cw);
  texture.height = static_cast<std::uint16_t>(ch);

  if (!decoded) {
    host::RgbaImage rgba;
    std::string error;
    if (!host::load_bitmap(path, rgba, error)) return failed_to_open(scene, material_name, path);
    to_source_image(rgba, image);
  }
  // The file must still be the image that was measured.
  if (image.width != width || image.height != height) {
    return failed_to_open(scene, material_name, path);
  }
  place_source_image(std::move(image), texture);
  return true;
}

void name_textures(ExportScene& scene) {
  std::unordered_map<std::string, std::size_t> first;  // name -> first texture with it
  for (std::size_t i = 0; i < scene.textures.size(); ++i) {
    SceneTexture& t = scene.textures[i];
    t.name = image_name(t.path);
    auto [it, added] = first.emplace(t.name, i);
    if (!added && scene.textures[it->second].path != t.path) {
      scene.add_warning_f("Same named texture file exist. %s", t.path.c_str());
    }
  }
}

}  // namespace kavro
