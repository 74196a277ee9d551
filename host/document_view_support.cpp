#include "host/document_view_support.h"

namespace kavro::max::docview {

const Matrix3& to_y_up() {
  static const Matrix3 m = RotateXMatrix(-kHalfPi);
  return m;
}
const Matrix3& to_z_up() {
  static const Matrix3 m = RotateXMatrix(kHalfPi);
  return m;
}

Class_ID object_class_id(ObjectClass c) {
  switch (c) {
    case ObjectClass::kMesh:
      return kEditableMeshClassID;
    case ObjectClass::kHelper:
      return kHelperClassID;
    case ObjectClass::kBone:
      return kBoneObjectClassID;
    case ObjectClass::kIkChain:
      return kIkChainClassID;
    case ObjectClass::kLegacyBone:
      return kLegacyBoneClassID;
    case ObjectClass::kLight:
      return kLightClassID;
    case ObjectClass::kCamera:
      return kCameraClassID;
    case ObjectClass::kTarget:
      return kTargetClassID;
    case ObjectClass::kNurbsCurve:
      return kNurbsCurveClassID1;
    case ObjectClass::kNurbsSurface:
      return kNurbsSurfaceClassID;
    case ObjectClass::kNurbsSet:
      return kNurbsSetClassID;
    case ObjectClass::kSubdivision:
      return kHSDSObjectClassID;
  }
  return kHelperClassID;
}

IGameType igame_type(ObjectClass c) {
  switch (c) {
    case ObjectClass::kMesh:
    case ObjectClass::kLegacyBone:
    case ObjectClass::kNurbsSurface:
    case ObjectClass::kNurbsSet:
    case ObjectClass::kSubdivision:
      return IGAME_MESH;
    case ObjectClass::kHelper:
      return IGAME_HELPER;
    case ObjectClass::kBone:
      return IGAME_BONE;
    case ObjectClass::kIkChain:
      return IGAME_IKCHAIN;
    case ObjectClass::kLight:
      return IGAME_LIGHT;
    case ObjectClass::kCamera:
      return IGAME_CAMERA;
    case ObjectClass::kNurbsCurve:
      return IGAME_SPLINE;
    case ObjectClass::kTarget:
      return IGAME_UNKNOWN;
  }
  return IGAME_UNKNOWN;
}

Class_ID material_class_id(const doc::Material& m) {
  switch (m.cls) {
    case doc::MaterialClass::kStandard:
      return kStandardMaterialClassID;
    case doc::MaterialClass::kMulti:
      return kMultiMaterialClassID;
    case doc::MaterialClass::kKavroStandard:
      return kKavroStandardClassID;
    case doc::MaterialClass::kKavroMorpher:
      return kKavroMorpherClassID;
    case doc::MaterialClass::kOther:
      return {m.class_id[0], m.class_id[1]};
  }
  return {};
}

}  // namespace kavro::max::docview
