// Internal to the document views: the material, texture map and UV
// generator views of a scene document's materials.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/document_view_support.h"

namespace kavro::max::docview {

class DocUVGen : public UVGen {
 public:
  DocUVGen(const doc::Texmap& t, const Views& views) : t_(t), views_(views) {}
  float GetUOffs(TimeValue t) const override;
  float GetVOffs(TimeValue t) const override;
  float GetUScl(TimeValue t) const override;
  float GetVScl(TimeValue t) const override;
  float GetWAng(TimeValue t) const override;
  int GetTextureTiling() const override { return t_.tiling; }

 private:
  const doc::Texmap& t_;
  const Views& views_;
};

class DocTexmap : public IGameTextureMap {
 public:
  DocTexmap(const doc::Texmap& t, const Views& views) : t_(t), uv_(t, views) {}
  Class_ID ClassID() const override {
    return t_.cls == doc::TexmapClass::kBitmap ? kBitmapTexClassID
                                               : Class_ID{0x1DEC5B86, 0x43383A51};
  }
  std::string GetTextureName() const override { return t_.name; }
  std::string GetBitmapFileName() const override {
    return t_.cls == doc::TexmapClass::kBitmap ? t_.file : std::string();
  }
  bool IsEntitySupported() const override { return t_.cls == doc::TexmapClass::kBitmap; }
  int GetStdMapSlot() const override { return ID_DI; }
  const UVGen* GetUVGen() const override {
    return t_.cls == doc::TexmapClass::kBitmap ? &uv_ : nullptr;
  }

 private:
  const doc::Texmap& t_;
  DocUVGen uv_;
};

class DocMaterial : public IGameMaterial {
 public:
  DocMaterial(const doc::Material& m, const Views& views) : m_(m), views_(views) {
    if (m.has_diffuse_map) map_ = std::make_unique<DocTexmap>(m.diffuse_map, views);
    for (const doc::Material& sub : m.sub_materials) {
      subs_.push_back(std::make_unique<DocMaterial>(sub, views));
    }
  }
  std::string GetMaterialName() const override { return m_.name; }
  Class_ID ClassID() const override { return material_class_id(m_); }
  bool IsMultiType() const override { return m_.cls == doc::MaterialClass::kMulti; }
  int GetSubMaterialCount() const override { return static_cast<int>(subs_.size()); }
  IGameMaterial* GetSubMaterial(int i) const override { return subs_[i].get(); }
  bool QueryProperty(const std::string& name, float& value) const override {
    for (const auto& [key, v] : m_.params) {
      if (key == name) {
        value = static_cast<float>(v);
        return true;
      }
    }
    return false;
  }
  bool IsColorAnimated() const override {
    return m_.ambient.animated() || m_.diffuse.animated() || m_.specular.animated() ||
           m_.self_illum_color.animated() || m_.opacity.animated();
  }
  Point3 GetAmbient(TimeValue t) const override;
  Point3 GetDiffuse(TimeValue t) const override;
  Point3 GetSpecular(TimeValue t) const override;
  Point3 GetSelfIllumColor(TimeValue t) const override;
  bool GetSelfIllumColorOn() const override { return m_.self_illum_color_on; }
  float GetOpacity(TimeValue t) const override;
  int GetNumberOfTextureMaps() const override { return map_ ? 1 : 0; }
  IGameTextureMap* GetIGameTextureMap(int i) const override {
    return i == 0 ? map_.get() : nullptr;
  }

 private:
  const doc::Material& m_;
  const Views& views_;
  std::unique_ptr<DocTexmap> map_;
  std::vector<std::unique_ptr<DocMaterial>> subs_;
};

}  // namespace kavro::max::docview
