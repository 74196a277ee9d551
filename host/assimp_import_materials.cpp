// Maps the file's materials and textures onto document materials.
#include "host/assimp_import_mapper.h"

namespace kavro::host::assimp_mapping {

doc::Material Mapper::make_material(unsigned index) {
  const aiMaterial* m = s_.mMaterials[index];
  doc::Material out;
  aiString name;
  if (m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0) {
    out.name = name_of(name, "material");
  }
  if (out.name.empty()) out.name = "Material_" + std::to_string(index);
  out.cls = options_.standard_materials ? doc::MaterialClass::kStandard
                                        : doc::MaterialClass::kKavroStandard;
  auto colour = [&](const char* key, unsigned type, unsigned idx, doc::PointTrack& track) {
    aiColor4D c;
    if (m->Get(key, type, idx, c) != AI_SUCCESS) return false;
    if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b)) return false;
    track.value = {std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f),
                   std::clamp(c.b, 0.0f, 1.0f)};
    return true;
  };
  colour(AI_MATKEY_COLOR_DIFFUSE, out.diffuse);
  colour(AI_MATKEY_COLOR_AMBIENT, out.ambient);
  colour(AI_MATKEY_COLOR_SPECULAR, out.specular);
  if (colour(AI_MATKEY_COLOR_EMISSIVE, out.self_illum_color)) {
    Point3 e = out.self_illum_color.value;
    out.self_illum_color_on = e.x > 0 || e.y > 0 || e.z > 0;
  }
  float opacity = 1;
  if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && std::isfinite(opacity)) {
    out.opacity.value = std::clamp(opacity, 0.0f, 1.0f);
  }
  // The diffuse texture (glTF's base colour).
  aiTextureType type = aiTextureType_DIFFUSE;
  if (m->GetTextureCount(type) == 0 && m->GetTextureCount(aiTextureType_BASE_COLOR) > 0)
    type = aiTextureType_BASE_COLOR;
  for (int t = aiTextureType_NONE + 1; t <= static_cast<int>(aiTextureType_UNKNOWN); ++t) {
    if (t == aiTextureType_DIFFUSE || t == aiTextureType_BASE_COLOR) continue;
    if (m->GetTextureCount(static_cast<aiTextureType>(t)) > 0) {
      warn(
          "Texture maps other than the diffuse map (normal, specular, emissive and the like) "
          "are not imported.");
      break;
    }
  }
  if (m->GetTextureCount(type) > 1) {
    warn(
        "Only the first diffuse texture of a material is imported; the other layers are "
        "dropped.");
  }
  if (m->GetTextureCount(type) > 0) {
    aiString file;
    aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    unsigned uv_index = 0;
    aiTextureMapping mapping = aiTextureMapping_UV;
    if (m->GetTexture(type, 0, &file, &mapping, &uv_index, nullptr, nullptr, modes) == AI_SUCCESS) {
      m->Get(AI_MATKEY_MAPPINGMODE_U(type, 0), modes[0]);
      m->Get(AI_MATKEY_MAPPINGMODE_V(type, 0), modes[1]);
      out.has_diffuse_map = true;
      doc::Texmap& map = out.diffuse_map;
      map.cls = doc::TexmapClass::kBitmap;
      map.file = texture_file(file);
      map.name = map.file;
      int tiling = 0;
      auto flags = [&](aiTextureMapMode mode, int wrap, int mirror) {
        if (mode == aiTextureMapMode_Mirror) tiling |= mirror | wrap;
        if (mode == aiTextureMapMode_Wrap) tiling |= wrap;
      };
      flags(modes[0], doc::kUWrap, doc::kUMirror);
      flags(modes[1], doc::kVWrap, doc::kVMirror);
      map.tiling = tiling;
      aiUVTransform uv;
      if (m->Get(AI_MATKEY_UVTRANSFORM(type, 0), uv) == AI_SUCCESS &&
          std::isfinite(uv.mTranslation.x) && std::isfinite(uv.mTranslation.y) &&
          std::isfinite(uv.mScaling.x) && std::isfinite(uv.mScaling.y) &&
          std::isfinite(uv.mRotation)) {
        map.u_offset.value = uv.mTranslation.x;
        map.v_offset.value = uv.mTranslation.y;
        map.u_tiling.value = uv.mScaling.x;
        map.v_tiling.value = uv.mScaling.y;
        map.w_angle.value = static_cast<float>(uv.mRotation * 180.0 / kPi);
      }
      if (uv_index != 0 || mapping != aiTextureMapping_UV) {
        warn(
            "Textures that use another texture-coordinate channel than the first, or a "
            "projection, are mapped through the first channel.");
      }
    }
  }
  return out;
}

std::string Mapper::texture_file(const aiString& path) {
  const aiTexture* embedded = s_.GetEmbeddedTexture(path.C_Str());
  if (embedded == nullptr) {
    bool changed = false;
    std::string file = to_host_text(path.C_Str(), changed);
    if (changed) {
      warn("The texture path \"" + std::string(path.C_Str()) +
           "\" has characters the host code page cannot hold.");
    }
    return portable_path(file);
  }
  auto known = embedded_names_.find(embedded);
  if (known != embedded_names_.end()) return known->second;
  std::string ext = embedded->mHeight == 0 ? std::string(embedded->achFormatHint) : "tga";
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "jpeg") ext = "jpg";
  if (ext.empty() ||
      ext.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) {
    ext = "bin";
  }
  // Its own name when the file keeps one, else the scene's name and a number.
  std::string stem;
  bool changed = false;
  std::string own = to_host_text(base_name(embedded->mFilename.C_Str()), changed);
  if (!changed && !own.empty() && own.find_first_of(":*?\"<>|") == std::string::npos) {
    std::size_t dot = own.find_last_of('.');
    stem = dot == std::string::npos || dot == 0 ? own : own.substr(0, dot);
  }
  if (stem.empty()) {
    std::string scene = base_name(path_);
    std::size_t dot = scene.find_last_of('.');
    stem = (dot == std::string::npos ? scene : scene.substr(0, dot)) + "_" +
           std::to_string(doc_.embedded_images.size());
  }
  std::string file = stem + "." + ext;
  for (int n = 1; std::any_of(doc_.embedded_images.begin(), doc_.embedded_images.end(),
                              [&](const doc::EmbeddedImage& e) { return e.file == file; });
       ++n) {
    file = stem + "_" + std::to_string(n) + "." + ext;
  }
  doc::EmbeddedImage image;
  image.file = file;
  if (embedded->mHeight == 0) {
    image.bytes.assign(reinterpret_cast<const char*>(embedded->pcData), embedded->mWidth);
  } else {
    image.bytes = tga_of(*embedded);
  }
  doc_.embedded_images.push_back(std::move(image));
  embedded_names_[embedded] = file;
  return file;
}

std::string Mapper::tga_of(const aiTexture& t) {
  std::string out(18, '\0');
  out[2] = 2;
  out[12] = static_cast<char>(t.mWidth & 0xFF);
  out[13] = static_cast<char>((t.mWidth >> 8) & 0xFF);
  out[14] = static_cast<char>(t.mHeight & 0xFF);
  out[15] = static_cast<char>((t.mHeight >> 8) & 0xFF);
  out[16] = 32;
  out[17] = 0x28;  // 8 alpha bits, top-left origin
  std::size_t count = static_cast<std::size_t>(t.mWidth) * t.mHeight;
  out.reserve(out.size() + count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    const aiTexel& x = t.pcData[i];
    out += static_cast<char>(x.b);
    out += static_cast<char>(x.g);
    out += static_cast<char>(x.r);
    out += static_cast<char>(x.a);
  }
  return out;
}

bool Mapper::build_materials() {
  materials_.reserve(s_.mNumMaterials);
  for (unsigned i = 0; i < s_.mNumMaterials; ++i) materials_.push_back(make_material(i));
  return true;
}

int Mapper::root_material(const std::vector<unsigned>& list, const std::string& node_name) {
  auto it = root_of_list_.find(list);
  if (it != root_of_list_.end()) return it->second;
  doc::Material root;
  if (list.size() == 1) {
    root = materials_[list[0]];
  } else {
    root.name = node_name + "_Multi";
    root.cls = doc::MaterialClass::kMulti;
    for (unsigned m : list) root.sub_materials.push_back(materials_[m]);
  }
  int index = static_cast<int>(doc_.materials.size());
  doc_.materials.push_back(std::move(root));
  root_of_list_[list] = index;
  return index;
}

}  // namespace kavro::host::assimp_mapping
