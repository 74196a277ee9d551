// Internal to the document views: the IGame node, object and skin views of
// a scene document's nodes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/document_node_views.h"
#include "host/document_view_support.h"

namespace kavro::max::docview {

class DocIGameNode;

class DocSkin : public IGameSkin {
 public:
  DocSkin(const doc::Modifier& m, const Views& views) : m_(m), views_(views) {}
  int GetNumberOfBones(int v) const override {
    return v >= 0 && v < std::ssize(m_.weights) ? static_cast<int>(m_.weights[v].size()) : -1;
  }
  float GetWeight(int v, int b) const override { return influence(v, b).weight; }
  int GetBoneID(int v, int b) const override { return m_.bones[influence(v, b).bone]; }
  IGameNode* GetIGameBone(int v, int b) const override;
  int GetTotalNumberOfBones() const override { return static_cast<int>(m_.bones.size()); }

 private:
  const doc::Influence& influence(int v, int b) const { return m_.weights[v][b]; }
  const doc::Modifier& m_;
  const Views& views_;
};

class DocIGameObject : public IGameObject {
 public:
  DocIGameObject(DocINode& node, const Views& views);
  IGameType GetIGameType() const override { return igame_type(o_.cls); }
  bool InitializeData() override {
    initialised_ = GetIGameType() != IGAME_MESH || o_.has_mesh;
    return initialised_;
  }
  Object* GetMaxObject() const override { return node_.object(); }
  int GetNumModifiers() const override { return node_.object()->NumModifiers(); }
  IGameModifier* GetIGameModifier(int i) const override { return node_.object()->modifier(i); }
  bool IsObjectSkinned() const override { return skin_ != nullptr; }
  IGameSkin* GetIGameSkin() const override { return skin_.get(); }

  int GetNumberOfVerts() const override { return count(mesh().vertices); }
  Point3 GetVertex(int i, bool object_space) const override;
  int GetNumberOfColorVerts() const override { return count(mesh().color_vertices); }
  Point3 GetColorVertex(int i) const override { return mesh().color_vertices[i]; }
  int GetNumberOfNormals() const override { return count(mesh().normals); }
  Point3 GetNormal(int i) const override;
  int GetNumberOfTexVerts() const override { return count(mesh().tex_vertices); }
  Point3 GetTexVertex(int i) const override { return mesh().tex_vertices[i]; }
  int GetNumberOfFaces() const override { return count(mesh().faces); }
  FaceEx GetFace(int i) const override {
    const doc::Face& f = mesh().faces[i];
    FaceEx r;
    for (std::size_t k = 0; k < 3; ++k) {
      r.vert[k] = f.v[k];
      r.texCoord[k] = f.t[k];
      r.norm[k] = f.n[k];
      r.color[k] = f.c[k];
    }
    r.matID = f.material;
    return r;
  }

  IGameLightType GetLightType() const override {
    return static_cast<IGameLightType>(o_.light.type);
  }
  bool IsLightOn() const override { return o_.light.on; }
  bool GetLightColor(TimeValue t, Point3& color) const override;

  bool GetCameraTarget(TimeValue t, Point3& target) const override;
  float GetCameraRoll(TimeValue t) const override;
  bool IsOrtho() const override { return o_.camera.projection == 1; }
  float GetCameraNearClip() const override { return o_.camera.near_plane; }
  float GetCameraFarClip() const override { return o_.camera.far_plane; }
  float GetCameraFOV() const override { return o_.camera.fov; }
  float GetCameraAspect() const override { return o_.camera.aspect; }
  float GetCameraOrthoWidth() const override { return o_.camera.ortho_width; }
  float GetCameraOrthoHeight() const override { return o_.camera.ortho_height; }

 private:
  template <class V>
  int count(const V& v) const {
    return initialised_ ? static_cast<int>(v.size()) : 0;
  }
  const doc::Mesh& mesh() const { return o_.mesh; }
  DocINode& node_;
  const doc::Object& o_;
  const Views& views_;
  std::unique_ptr<DocSkin> skin_;
  bool initialised_ = false;
  // World normals are computed once.
  mutable std::vector<Point3> world_normals_;
  mutable bool normals_done_ = false;
};

class DocIGameNode : public IGameNode {
 public:
  DocIGameNode(DocINode& node, Views& views) : node_(node), views_(views) {}
  int GetNodeID() const override { return node_.data()->id; }
  const std::string& GetName() const override { return node_.data()->name; }
  INode* GetMaxNode() const override { return &node_; }
  bool IsTarget() const override {
    return node_.data()->target || node_.data()->object.cls == ObjectClass::kTarget;
  }
  bool IsNodeHidden() const override { return node_.data()->hidden; }
  int GetChildCount() const override { return static_cast<int>(children_.size()); }
  IGameNode* GetNodeChild(int i) const override { return children_[i]; }
  IGameNode* GetNodeParent() const override { return parent_; }
  IGameMaterial* GetNodeMaterial() const override;
  IGameObject* GetIGameObject() override;
  void ReleaseIGameObject() override {}
  Matrix3 GetWorldTM(TimeValue t) const override {
    return to_z_up() * node_.GetNodeTM(t) * to_y_up();
  }
  Matrix3 GetObjectTM(TimeValue t) const override {
    return to_z_up() * node_.GetObjectTM(t) * to_y_up();
  }

  DocINode& inode() const { return node_; }
  std::vector<DocIGameNode*> children_;
  DocIGameNode* parent_ = nullptr;

 private:
  DocINode& node_;
  Views& views_;
  std::unique_ptr<DocIGameObject> object_;
};

}  // namespace kavro::max::docview
