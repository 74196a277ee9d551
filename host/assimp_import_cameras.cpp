// Maps the file's lights and cameras onto the nodes that carry them.
#include "host/assimp_import_mapper.h"

namespace kavro::host::assimp_mapping {

bool Mapper::build_lights_and_cameras() {
  bool dropped_light_kind = false;
  for (unsigned i = 0; i < s_.mNumLights; ++i) {
    const aiLight* l = s_.mLights[i];
    auto it = by_name_.find(l->mName.C_Str());
    if (it == by_name_.end() || nodes_[it->second].dropped) continue;
    doc::Node& n = doc_.nodes[doc_index_.at(it->second)];
    if (n.object.cls == doc::ObjectClass::kMesh) continue;
    n.has_object = true;
    n.object.cls = doc::ObjectClass::kLight;
    doc::Light& light = n.object.light;
    switch (l->mType) {
      case aiLightSource_DIRECTIONAL:
        light.type = doc::LightType::kDirectional;
        break;
      case aiLightSource_SPOT:
        light.type = doc::LightType::kFreeSpot;
        break;
      case aiLightSource_POINT:
        light.type = doc::LightType::kOmni;
        break;
      default:
        light.type = doc::LightType::kOmni;
        dropped_light_kind = true;
        break;
    }
    light.on = true;
    aiColor3D c = l->mColorDiffuse;
    float top = std::max({c.r, c.g, c.b});
    // Colours scaled by an intensity are brought back into 0 to 1.
    if (top > 1 && std::isfinite(top)) c = aiColor3D(c.r / top, c.g / top, c.b / top);
    auto clamp01 = [](float x) { return std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f; };
    light.has_color = true;
    light.color.value = {clamp01(c.r), clamp01(c.g), clamp01(c.b)};
    aim_node(n, l->mDirection, aiVector3D(0, 1, 0));
  }
  if (dropped_light_kind) warn("Ambient and area lights are imported as omni lights.");
  for (unsigned i = 0; i < s_.mNumCameras; ++i) {
    const aiCamera* c = s_.mCameras[i];
    auto it = by_name_.find(c->mName.C_Str());
    if (it == by_name_.end() || nodes_[it->second].dropped) continue;
    int id = doc_index_.at(it->second);
    doc::Node& n = doc_.nodes[id];
    if (n.object.cls == doc::ObjectClass::kMesh) continue;
    n.has_object = true;
    n.object.cls = doc::ObjectClass::kCamera;
    doc::Camera& cam = n.object.camera;
    cam.near_plane = std::isfinite(c->mClipPlaneNear) ? c->mClipPlaneNear : 1.0f;
    cam.far_plane = std::isfinite(c->mClipPlaneFar) ? c->mClipPlaneFar : 1000.0f;
    cam.near_plane = static_cast<float>(cam.near_plane * basis_.scale);
    cam.far_plane = static_cast<float>(cam.far_plane * basis_.scale);
    if (c->mAspect > 0 && std::isfinite(c->mAspect)) cam.aspect = c->mAspect;
    if (c->mOrthographicWidth > 0 && std::isfinite(c->mOrthographicWidth)) {
      cam.projection = 1;
      cam.ortho_width = static_cast<float>(2 * c->mOrthographicWidth * basis_.scale);
      cam.ortho_height = cam.ortho_width / cam.aspect;
    }
    if (c->mHorizontalFOV > 0 && std::isfinite(c->mHorizontalFOV)) {
      // The readers give the whole horizontal angle; the host keeps the
      // whole vertical one. Assimp's glTF reader makes its horizontal
      // angle as the vertical one times the aspect, which is undone.
      double h = c->mHorizontalFOV, aspect = cam.aspect;
      double vertical = gltf_ ? h / aspect : 2 * std::atan(std::tan(h / 2) / aspect);
      cam.fov = static_cast<float>(vertical * 180.0 / kPi);
    }
    aiVector3D look = c->mLookAt, up = c->mUp;
    aim_node(n, look, up);
    cam.target_distance =
        static_cast<float>(std::max(1e-3, static_cast<double>(look.Length()) * basis_.scale));
    if (cam.target_distance <= 1e-3f) cam.target_distance = 100;
  }
  return true;
}

void Mapper::aim_node(doc::Node& n, aiVector3D look, aiVector3D up) {
  if (!finite(look) || look.Length() < 1e-12f) return;
  look.Normalize();
  Point3 d = basis_.normal(look);
  Point3 u = finite(up) && up.Length() > 1e-12f ? basis_.normal(up.Normalize()) : Point3{0, 0, 1};
  if (max::Length(max::CrossProd(d, u)) < 1e-6f)
    u = std::fabs(d.z) < 0.9f ? Point3{0, 0, 1} : Point3{0, 1, 0};
  // Rows of the rotation: local X, Y, Z in the node's frame.
  Point3 z = max::Normalize(d * -1.0f);
  Point3 x = max::Normalize(max::CrossProd(u, z));
  Point3 y = max::CrossProd(z, x);
  Matrix3 turn(x, y, z, Point3{0, 0, 0});
  if (max::Length(x) < 0.5f) return;
  Quat q = max::MatrixToQuat(turn);
  if (std::fabs(q.w) > 0.9999999f) return;  // already aimed
  bool has_children = std::any_of(doc_.nodes.begin(), doc_.nodes.end(),
                                  [&](const doc::Node& o) { return o.parent == n.id; });
  if (has_children || n.transform.rotation.animated()) {
    // The object offset turns the object alone.
    n.object.offset_rotation = stable_unit(q);
    return;
  }
  n.transform.rotation.value =
      stable_unit(max::MatrixToQuat(turn * max::QuatToMatrix(n.transform.rotation.value)));
}

}  // namespace kavro::host::assimp_mapping
