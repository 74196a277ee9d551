// The host scene as the exporter reads it: views shaped after the authoring
// host's classic scene classes (INode, Object, Modifier, Mtl, Texmap) and its
// IGame layer (IGameScene, IGameNode, IGameObject, IGameMesh, IGameSkin,
// IGameMaterial, IGameTextureMap). Extraction is written against these
// interfaces only; document_views.h serves them from a scene document, and a
// real host adapter could serve them from the host.
//
// Frames: the classic calls work in the host's Z-up frame; everything the
// IGame views hand out (vertices, normals, GetWorldTM, GetObjectTM) is in
// IGame's OpenGL-style frame, Y up: a host point (x, y, z) is (x, z, -y).
#pragma once

#include <string>
#include <vector>

#include "host/max_math.h"

namespace kavro::max {

struct Class_ID {
  unsigned a = 0, b = 0;
  friend bool operator==(const Class_ID&, const Class_ID&) = default;
};

// Host classes the exporter knows by id.
constexpr Class_ID kStandardMaterialClassID{2, 0};
constexpr Class_ID kMultiMaterialClassID{0x200, 0};
constexpr Class_ID kKavroStandardClassID{0x20956F29, 0x76885288};
constexpr Class_ID kKavroMorpherClassID{0x75825CEE, 0x1A3508AD};
constexpr Class_ID kBitmapTexClassID{0x240, 0};
constexpr Class_ID kSkinClassID{9815843, 87654};
constexpr Class_ID kMorpherClassID{0x17BB6854, 0xA5CBA2A3};
constexpr Class_ID kEditablePolyClassID{0x5D21369A, 0};
constexpr Class_ID kEditableMeshClassID{0xE44F10B3, 0};
constexpr Class_ID kLegacyBoneClassID{0x9125, 0};
constexpr Class_ID kNurbsCurveClassID1{0x76A11646, 0x12A83145};
constexpr Class_ID kNurbsCurveClassID2{0x76A11646, 0x12A92143};
constexpr Class_ID kNurbsSurfaceClassID{0x76A11646, 0x0BADBEFF};
constexpr Class_ID kNurbsSetClassID{0x76A11646, 0x12A822FB};
// The host's subdivision-surface object (hierarchical subdivision surfaces).
constexpr Class_ID kHSDSObjectClassID{0x7FB0FB2, 0x5C1F6C1E};
constexpr Class_ID kHelperClassID{0x8E0, 0};
constexpr Class_ID kBoneObjectClassID{0x28BF6E8D, 0x2ECCA6E5};
constexpr Class_ID kIkChainClassID{0x5C5E4D3E, 0x55E6C4AE};
constexpr Class_ID kLightClassID{0x1011, 0};
constexpr Class_ID kCameraClassID{0x1001, 0};
constexpr Class_ID kTargetClassID{0x1020, 0};

// IGame object types.
enum IGameType {
  IGAME_UNKNOWN = 0,
  IGAME_LIGHT = 1,
  IGAME_MESH = 2,
  IGAME_SPLINE = 3,
  IGAME_CAMERA = 4,
  IGAME_HELPER = 5,
  IGAME_BONE = 6,
  IGAME_IKCHAIN = 7,
};

// IGame light types.
enum IGameLightType {
  IGAME_OMNI = 0,
  IGAME_TSPOT = 1,
  IGAME_DIR = 2,
  IGAME_FSPOT = 3,
  IGAME_TDIR = 4
};

// NURBS object kind of a curve in a NURBS set.
constexpr int kNurbsCurveKind = 3;

// Tiling flags of a UV generator.
constexpr int U_WRAP = 1, V_WRAP = 2, U_MIRROR = 4, V_MIRROR = 8;

class INode;
class IGameNode;

// ---------------------------------------------------------------------------
// Classic scene classes.

class Modifier {
 public:
  virtual ~Modifier() = default;
  virtual Class_ID ClassID() const = 0;
  virtual std::string GetInternalName() const = 0;
  virtual bool IsEnabled() const = 0;
  virtual void EnableMod() = 0;
  virtual void DisableMod() = 0;
  // The skin interface: the bones of a Skin modifier.
  virtual int GetNumBones() const { return 0; }
  virtual INode* GetBone(int) const { return nullptr; }
  // The Morpher's channel weights.
  virtual int NumChannels() const { return 0; }
  virtual float GetChannelWeight(int, TimeValue) const { return 0; }
};

// The editable-poly form of an object: polygons of any degree over the
// object's vertices, in the host's object space (Z up).
class PolyObject {
 public:
  virtual ~PolyObject() = default;
  virtual int NumVerts() const = 0;
  virtual Point3 GetVert(int i) const = 0;
  virtual int NumFaces() const = 0;
  virtual int FaceDegree(int face) const = 0;
  virtual int FaceVertex(int face, int corner) const = 0;
  virtual int FaceMatID(int face) const = 0;
};

class Object {
 public:
  virtual ~Object() = default;
  virtual Class_ID ClassID() const = 0;
  virtual bool CanConvertToType(Class_ID type) const = 0;
  // The editable-poly form at a time, owned by the object; null when the
  // object cannot be converted.
  virtual const PolyObject* ConvertToPoly(TimeValue t) = 0;
  // The modifier stack, top first.
  virtual int NumModifiers() const = 0;
  virtual Modifier* GetModifier(int i) const = 0;
  // The objects of a NURBS set at a time, by kind.
  virtual std::vector<int> GetNurbsSetKinds(TimeValue t) const = 0;
};

class INode {
 public:
  virtual ~INode() = default;
  virtual const std::string& GetName() const = 0;
  virtual bool IsRootNode() const = 0;
  // The scene root for a top-level node; null for the root itself.
  virtual INode* GetParentNode() const = 0;
  virtual int NumberOfChildren() const = 0;
  virtual INode* GetChildNode(int i) const = 0;
  // The node's world transform, its parent's, and the node's with the
  // object offset (row vectors, Z up).
  virtual Matrix3 GetNodeTM(TimeValue t) const = 0;
  // The world transforms at two times, equal to GetNodeTM at each; a host
  // may compute the two together.
  virtual void GetNodeTMs(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const {
    tm[0] = GetNodeTM(t0);
    tm[1] = GetNodeTM(t1);
  }
  virtual Matrix3 GetParentTM(TimeValue t) const = 0;
  // The parent's world transforms at two times, equal to GetParentTM at each.
  virtual void GetParentTMs(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const {
    tm[0] = GetParentTM(t0);
    tm[1] = GetParentTM(t1);
  }
  virtual Matrix3 GetObjectTM(TimeValue t) const = 0;
  // Lets the host drop what it keeps to answer GetNodeTM at many times (once
  // the node's children are sampled, nothing asks for them again soon); a
  // later call computes them anew, with the same results.
  virtual void ReleaseKeptTransforms() const {}
  virtual float GetVisibility(TimeValue t) const = 0;
  virtual bool GetUserPropString(const std::string& key, std::string& value) const = 0;
  virtual bool GetUserPropBool(const std::string& key, bool& value) const = 0;
  virtual Point3 GetObjOffsetPos() const = 0;
  virtual Quat GetObjOffsetRot() const = 0;
  virtual Point3 GetObjOffsetScale() const = 0;
  // The object with its modifiers; null for a node without object.
  virtual Object* GetObjectRef() const = 0;
  // The vertex-colour display switch.
  virtual bool GetCVertMode() const = 0;
  // The node's geometry serves as a bone (the host's Bone On switch).
  virtual bool GetBoneNodeOnOff() const = 0;
  virtual bool Selected() const = 0;
  virtual int GetHandle() const = 0;
};

// The classic host interface.
class Interface {
 public:
  virtual ~Interface() = default;
  virtual INode* GetRootNode() = 0;
  virtual int GetSelNodeCount() = 0;
  virtual INode* GetSelNode(int i) = 0;
  // The path configuration: the folder of the open scene file ("" for a
  // scene never saved) and the map folders searched for bitmaps whose file
  // names are relative.
  virtual std::string GetCurFileFolder() const { return {}; }
  virtual int GetMapDirCount() const { return 0; }
  virtual std::string GetMapDir(int) const { return {}; }
};

// ---------------------------------------------------------------------------
// Materials and maps.

// A bitmap's UV generator.
class UVGen {
 public:
  virtual ~UVGen() = default;
  virtual float GetUOffs(TimeValue t) const = 0;
  virtual float GetVOffs(TimeValue t) const = 0;
  virtual float GetUScl(TimeValue t) const = 0;
  virtual float GetVScl(TimeValue t) const = 0;
  virtual float GetWAng(TimeValue t) const = 0;  // radians
  virtual int GetTextureTiling() const = 0;
};

class IGameTextureMap {
 public:
  virtual ~IGameTextureMap() = default;
  virtual Class_ID ClassID() const = 0;
  virtual std::string GetTextureName() const = 0;
  // The bitmap's file name; empty for other maps.
  virtual std::string GetBitmapFileName() const = 0;
  virtual bool IsEntitySupported() const = 0;
  // The map's slot in its material (1: diffuse).
  virtual int GetStdMapSlot() const = 0;
  // Null for maps that are not bitmaps.
  virtual const UVGen* GetUVGen() const = 0;
};

constexpr int ID_DI = 1;

class IGameMaterial {
 public:
  virtual ~IGameMaterial() = default;
  virtual std::string GetMaterialName() const = 0;
  virtual Class_ID ClassID() const = 0;
  virtual bool IsMultiType() const = 0;
  virtual int GetSubMaterialCount() const = 0;
  virtual IGameMaterial* GetSubMaterial(int i) const = 0;
  // The property container: a parameter by name at TIME_NegInfinity.
  virtual bool QueryProperty(const std::string& name, float& value) const = 0;
  // The standard material's colours at a time (0 to 1 per channel).
  virtual Point3 GetAmbient(TimeValue t) const = 0;
  virtual Point3 GetDiffuse(TimeValue t) const = 0;
  virtual Point3 GetSpecular(TimeValue t) const = 0;
  virtual Point3 GetSelfIllumColor(TimeValue t) const = 0;
  virtual bool GetSelfIllumColorOn() const = 0;
  virtual float GetOpacity(TimeValue t) const = 0;
  // Whether any of the colours above or the opacity has keys (the IGame
  // property's IsPropAnimated): when none has, every time gives the same
  // values. Saying true is always safe.
  virtual bool IsColorAnimated() const { return true; }
  virtual int GetNumberOfTextureMaps() const = 0;
  virtual IGameTextureMap* GetIGameTextureMap(int i) const = 0;
  // The map of the diffuse slot, or null.
  IGameTextureMap* GetDiffuseMap() const {
    for (int i = 0; i < GetNumberOfTextureMaps(); ++i) {
      IGameTextureMap* map = GetIGameTextureMap(i);
      if (map != nullptr && map->GetStdMapSlot() == ID_DI) return map;
    }
    return nullptr;
  }
};

// ---------------------------------------------------------------------------
// IGame objects and nodes.

// A face: per corner the vertex, texture, normal and colour indices.
struct FaceEx {
  int vert[3] = {0, 0, 0};
  int texCoord[3] = {0, 0, 0};
  int norm[3] = {0, 0, 0};
  int color[3] = {0, 0, 0};
  int matID = 0;
};

class IGameSkin {
 public:
  virtual ~IGameSkin() = default;
  // -1 for a vertex the skin does not hold.
  virtual int GetNumberOfBones(int vertex) const = 0;
  virtual float GetWeight(int vertex, int bone) const = 0;
  virtual int GetBoneID(int vertex, int bone) const = 0;
  virtual IGameNode* GetIGameBone(int vertex, int bone) const = 0;
  virtual int GetTotalNumberOfBones() const = 0;
};

class IGameModifier {
 public:
  virtual ~IGameModifier() = default;
  virtual std::string GetInternalName() const = 0;
  virtual bool IsSkin() const = 0;
  virtual bool IsMorpher() const = 0;
  virtual Modifier* GetMaxModifier() const = 0;
};

class IGameObject {
 public:
  virtual ~IGameObject() = default;
  virtual IGameType GetIGameType() const = 0;
  // Reads the object's data; false when there is none to read.
  virtual bool InitializeData() = 0;
  virtual Object* GetMaxObject() const = 0;
  virtual int GetNumModifiers() const = 0;
  virtual IGameModifier* GetIGameModifier(int i) const = 0;
  virtual bool IsObjectSkinned() const = 0;
  virtual IGameSkin* GetIGameSkin() const = 0;

  // Meshes (type IGAME_MESH, after InitializeData).
  virtual int GetNumberOfVerts() const { return 0; }
  virtual Point3 GetVertex(int, bool /*object_space*/) const { return {}; }
  virtual int GetNumberOfColorVerts() const { return 0; }
  virtual Point3 GetColorVertex(int) const { return {}; }
  virtual int GetNumberOfNormals() const { return 0; }
  // In world space, as IGame hands them out by default.
  virtual Point3 GetNormal(int) const { return {}; }
  virtual int GetNumberOfTexVerts() const { return 0; }
  virtual Point3 GetTexVertex(int) const { return {}; }
  virtual int GetNumberOfFaces() const { return 0; }
  virtual FaceEx GetFace(int) const { return {}; }

  // Lights (type IGAME_LIGHT).
  virtual IGameLightType GetLightType() const { return IGAME_OMNI; }
  virtual bool IsLightOn() const { return false; }
  // The light's colour property at a time; false when it has none.
  virtual bool GetLightColor(TimeValue, Point3&) const { return false; }

  // Cameras (type IGAME_CAMERA).
  virtual bool GetCameraTarget(TimeValue, Point3&) const { return false; }  // Y up, world
  virtual float GetCameraRoll(TimeValue) const { return 0; }                // degrees
  virtual bool IsOrtho() const { return false; }
  virtual float GetCameraNearClip() const { return 0; }
  virtual float GetCameraFarClip() const { return 0; }
  virtual float GetCameraFOV() const { return 0; }  // vertical, degrees
  virtual float GetCameraAspect() const { return 0; }
  virtual float GetCameraOrthoWidth() const { return 0; }
  virtual float GetCameraOrthoHeight() const { return 0; }
};

class IGameNode {
 public:
  virtual ~IGameNode() = default;
  virtual int GetNodeID() const = 0;
  virtual const std::string& GetName() const = 0;
  virtual INode* GetMaxNode() const = 0;
  virtual bool IsTarget() const = 0;
  virtual bool IsNodeHidden() const = 0;
  virtual int GetChildCount() const = 0;
  virtual IGameNode* GetNodeChild(int i) const = 0;
  virtual IGameNode* GetNodeParent() const = 0;
  virtual IGameMaterial* GetNodeMaterial() const = 0;
  virtual IGameObject* GetIGameObject() = 0;
  virtual void ReleaseIGameObject() = 0;
  // World transforms in the Y-up frame; the object TM includes the offset.
  virtual Matrix3 GetWorldTM(TimeValue t) const = 0;
  virtual Matrix3 GetObjectTM(TimeValue t) const = 0;
};

class IGameScene {
 public:
  virtual ~IGameScene() = default;
  // The whole scene, or the given nodes with their hierarchies below them.
  virtual void InitialiseIGame() = 0;
  virtual void InitialiseIGame(const std::vector<INode*>& nodes) = 0;
  virtual void SetStaticFrame(int frame) = 0;
  virtual TimeValue GetSceneStartTime() const = 0;
  virtual TimeValue GetSceneEndTime() const = 0;
  virtual int GetSceneTicks() const = 0;
  virtual std::string GetSceneFileName() const = 0;
  virtual int GetTopLevelNodeCount() const = 0;
  virtual IGameNode* GetTopLevelNode(int i) const = 0;
  virtual int GetTotalNodeCount() const = 0;
  // Nodes of one IGame object type, in the host's order.
  virtual std::vector<IGameNode*> GetIGameNodeByType(IGameType type) = 0;
  virtual int GetRootMaterialCount() const = 0;
  virtual IGameMaterial* GetRootMaterial(int i) const = 0;
  virtual IGameNode* GetIGameNode(const INode* node) const = 0;
  virtual void ReleaseIGame() = 0;
};

// The host as the exporter sees it: the classic interface and IGame.
class HostScene {
 public:
  virtual ~HostScene() = default;
  virtual Interface& GetCOREInterface() = 0;
  virtual IGameScene& GetIGameInterface() = 0;
};

}  // namespace kavro::max
