#include "host/document_material_views.h"

#include "host/document_scene_views.h"

namespace kavro::max::docview {

float DocUVGen::GetUOffs(TimeValue t) const {
  return doc::evaluate(t_.u_offset, views_.frame_of(t));
}
float DocUVGen::GetVOffs(TimeValue t) const {
  return doc::evaluate(t_.v_offset, views_.frame_of(t));
}
float DocUVGen::GetUScl(TimeValue t) const {
  return doc::evaluate(t_.u_tiling, views_.frame_of(t));
}
float DocUVGen::GetVScl(TimeValue t) const {
  return doc::evaluate(t_.v_tiling, views_.frame_of(t));
}
float DocUVGen::GetWAng(TimeValue t) const {
  return static_cast<float>(doc::evaluate(t_.w_angle, views_.frame_of(t)) * 3.14159265358979 /
                            180.0);
}

Point3 DocMaterial::GetAmbient(TimeValue t) const {
  return doc::evaluate(m_.ambient, views_.frame_of(t));
}
Point3 DocMaterial::GetDiffuse(TimeValue t) const {
  return doc::evaluate(m_.diffuse, views_.frame_of(t));
}
Point3 DocMaterial::GetSpecular(TimeValue t) const {
  return doc::evaluate(m_.specular, views_.frame_of(t));
}
Point3 DocMaterial::GetSelfIllumColor(TimeValue t) const {
  return doc::evaluate(m_.self_illum_color, views_.frame_of(t));
}
float DocMaterial::GetOpacity(TimeValue t) const {
  return doc::evaluate(m_.opacity, views_.frame_of(t));
}

}  // namespace kavro::max::docview
