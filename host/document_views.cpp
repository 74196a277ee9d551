#include "host/document_views.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "host/scene_edit.h"

namespace kavro::max {
namespace {

using doc::ObjectClass;

// Host Z-up to IGame Y-up for row vectors: p_y = p_z * kToYUp.
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

class Views;

// ---------------------------------------------------------------------------

class DocModifier : public Modifier, public IGameModifier {
 public:
  explicit DocModifier(const doc::Modifier& m, Views& views)
      : m_(m), views_(views), enabled_(m.enabled) {}
  Class_ID ClassID() const override {
    switch (m_.type) {
      case doc::ModifierType::kSkin:
        return kSkinClassID;
      case doc::ModifierType::kMorpher:
        return kMorpherClassID;
      case doc::ModifierType::kOther:
        break;
    }
    return {0xFFFFFFFFu, 0xFFFFFFFFu};
  }
  std::string GetInternalName() const override { return m_.internal_name; }
  bool IsEnabled() const override { return enabled_; }
  void EnableMod() override { enabled_ = true; }
  void DisableMod() override { enabled_ = false; }
  int GetNumBones() const override { return static_cast<int>(m_.bones.size()); }
  INode* GetBone(int i) const override;
  int NumChannels() const override { return m_.type == doc::ModifierType::kMorpher ? 100 : 0; }
  float GetChannelWeight(int channel, TimeValue t) const override;
  bool IsSkin() const override { return m_.type == doc::ModifierType::kSkin; }
  bool IsMorpher() const override { return m_.type == doc::ModifierType::kMorpher; }
  Modifier* GetMaxModifier() const override { return const_cast<DocModifier*>(this); }
  const doc::Modifier& data() const { return m_; }

 private:
  const doc::Modifier& m_;
  Views& views_;
  bool enabled_;
};

class DocPoly : public PolyObject {
 public:
  explicit DocPoly(const doc::Mesh& m) : m_(m) {}
  int NumVerts() const override { return static_cast<int>(m_.vertices.size()); }
  Point3 GetVert(int i) const override { return m_.vertices[static_cast<std::size_t>(i)]; }
  int NumFaces() const override {
    return static_cast<int>(m_.polygons.empty() ? m_.faces.size() : m_.polygons.size());
  }
  int FaceDegree(int f) const override {
    return m_.polygons.empty()
               ? 3
               : static_cast<int>(m_.polygons[static_cast<std::size_t>(f)].v.size());
  }
  int FaceVertex(int f, int k) const override {
    std::size_t fi = static_cast<std::size_t>(f), ki = static_cast<std::size_t>(k);
    return m_.polygons.empty() ? m_.faces[fi].v[ki] : m_.polygons[fi].v[ki];
  }
  int FaceMatID(int f) const override {
    std::size_t fi = static_cast<std::size_t>(f);
    return m_.polygons.empty() ? m_.faces[fi].material : m_.polygons[fi].material;
  }

 private:
  const doc::Mesh& m_;
};

class DocObject : public Object {
 public:
  DocObject(const doc::Object& o, Views& views) : o_(o), poly_(o.mesh) {
    for (const doc::Modifier& m : o.modifiers)
      modifiers_.push_back(std::make_unique<DocModifier>(m, views));
  }
  Class_ID ClassID() const override { return object_class_id(o_.cls); }
  bool CanConvertToType(Class_ID type) const override {
    return type == kEditablePolyClassID && igame_type(o_.cls) == IGAME_MESH && o_.has_mesh;
  }
  const PolyObject* ConvertToPoly(TimeValue) override {
    return CanConvertToType(kEditablePolyClassID) ? &poly_ : nullptr;
  }
  int NumModifiers() const override { return static_cast<int>(modifiers_.size()); }
  Modifier* GetModifier(int i) const override {
    return modifiers_[static_cast<std::size_t>(i)].get();
  }
  DocModifier* modifier(int i) const { return modifiers_[static_cast<std::size_t>(i)].get(); }
  std::vector<int> GetNurbsSetKinds(TimeValue) const override { return o_.nurbs_kinds; }
  const doc::Object& data() const { return o_; }

 private:
  const doc::Object& o_;
  DocPoly poly_;
  std::vector<std::unique_ptr<DocModifier>> modifiers_;
};

class DocINode : public INode {
 public:
  DocINode(const doc::Node* n, Views& views, int index) : n_(n), views_(views), index_(index) {}
  const std::string& GetName() const override;
  bool IsRootNode() const override { return n_ == nullptr; }
  INode* GetParentNode() const override { return parent_; }
  int NumberOfChildren() const override { return static_cast<int>(children_.size()); }
  INode* GetChildNode(int i) const override { return children_[static_cast<std::size_t>(i)]; }
  Matrix3 GetNodeTM(TimeValue t) const override;
  Matrix3 GetParentTM(TimeValue t) const override {
    return parent_ != nullptr ? parent_->GetNodeTM(t) : Matrix3();
  }
  Matrix3 GetObjectTM(TimeValue t) const override { return offset_matrix() * GetNodeTM(t); }
  float GetVisibility(TimeValue t) const override;
  bool GetUserPropString(const std::string& key, std::string& value) const override;
  bool GetUserPropBool(const std::string& key, bool& value) const override;
  Point3 GetObjOffsetPos() const override { return n_ ? n_->object.offset_position : Point3{}; }
  Quat GetObjOffsetRot() const override { return n_ ? n_->object.offset_rotation : Quat{}; }
  Point3 GetObjOffsetScale() const override {
    return n_ ? n_->object.offset_scale : Point3{1, 1, 1};
  }
  Object* GetObjectRef() const override { return object_.get(); }
  bool GetCVertMode() const override { return n_ != nullptr && n_->show_vertex_colors; }
  bool GetBoneNodeOnOff() const override { return n_ != nullptr && n_->exclude_geometry; }
  bool Selected() const override;
  int GetHandle() const override { return n_ ? n_->id : 0; }

  Matrix3 offset_matrix() const {
    return ScaleMatrix(GetObjOffsetScale()) * QuatToMatrix(GetObjOffsetRot()) *
           TransMatrix(GetObjOffsetPos());
  }
  const doc::Node* data() const { return n_; }
  int index() const { return index_; }
  DocObject* object() const { return object_.get(); }

  DocINode* parent_ = nullptr;
  std::vector<DocINode*> children_;
  std::unique_ptr<DocObject> object_;

 private:
  const doc::Node* n_;  // null for the scene root
  Views& views_;
  int index_;
  Matrix3 compute_node_tm(TimeValue t) const;
  Matrix3* frame_slot(TimeValue t) const;

  // The last world transform computed, by time.
  mutable TimeValue cached_time_ = 0;
  mutable bool cached_ = false;
  mutable Matrix3 cached_tm_;
  // A node with children keeps its world transform at every whole frame
  // asked for: nodes are sampled one after another over all frames, so each
  // child asks for every frame of its parent once more. Kept, each node's
  // transform at a frame is one product with its parent's instead of a walk
  // to the root.
  mutable TimeValue frames_from_ = 0;  // the time of frame_tm_[0]
  mutable std::vector<Matrix3> frame_tm_;
  mutable std::vector<char> frame_known_;
};

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
  IGameMaterial* GetSubMaterial(int i) const override {
    return subs_[static_cast<std::size_t>(i)].get();
  }
  bool QueryProperty(const std::string& name, float& value) const override {
    for (const auto& [key, v] : m_.params) {
      if (key == name) {
        value = static_cast<float>(v);
        return true;
      }
    }
    return false;
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

class DocIGameNode;

class DocSkin : public IGameSkin {
 public:
  DocSkin(const doc::Modifier& m, const Views& views) : m_(m), views_(views) {}
  int GetNumberOfBones(int v) const override {
    return v >= 0 && static_cast<std::size_t>(v) < m_.weights.size()
               ? static_cast<int>(m_.weights[static_cast<std::size_t>(v)].size())
               : -1;
  }
  float GetWeight(int v, int b) const override { return influence(v, b).weight; }
  int GetBoneID(int v, int b) const override {
    return m_.bones[static_cast<std::size_t>(influence(v, b).bone)];
  }
  IGameNode* GetIGameBone(int v, int b) const override;
  int GetTotalNumberOfBones() const override { return static_cast<int>(m_.bones.size()); }

 private:
  const doc::Influence& influence(int v, int b) const {
    return m_.weights[static_cast<std::size_t>(v)][static_cast<std::size_t>(b)];
  }
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
  Point3 GetColorVertex(int i) const override {
    return mesh().color_vertices[static_cast<std::size_t>(i)];
  }
  int GetNumberOfNormals() const override { return count(mesh().normals); }
  Point3 GetNormal(int i) const override;
  int GetNumberOfTexVerts() const override { return count(mesh().tex_vertices); }
  Point3 GetTexVertex(int i) const override {
    return mesh().tex_vertices[static_cast<std::size_t>(i)];
  }
  int GetNumberOfFaces() const override { return count(mesh().faces); }
  FaceEx GetFace(int i) const override {
    const doc::Face& f = mesh().faces[static_cast<std::size_t>(i)];
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
  IGameNode* GetNodeChild(int i) const override { return children_[static_cast<std::size_t>(i)]; }
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

// ---------------------------------------------------------------------------

class Views : public DocumentHost, public Interface, public IGameScene {
 public:
  explicit Views(doc::SceneDocument d) : doc_(std::move(d)), root_(nullptr, *this, -1) {
    const auto& nodes = doc_.nodes;
    inodes_.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      inodes_.push_back(std::make_unique<DocINode>(&nodes[i], *this, static_cast<int>(i)));
      by_id_[nodes[i].id] = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      DocINode* n = inodes_[i].get();
      n->object_ = std::make_unique<DocObject>(nodes[i].object, *this);
      DocINode* parent = nodes[i].parent == doc::kNone
                             ? &root_
                             : inodes_[static_cast<std::size_t>(by_id_.at(nodes[i].parent))].get();
      n->parent_ = parent;
      parent->children_.push_back(n);
    }
    for (const doc::Material& m : doc_.materials)
      materials_.push_back(std::make_unique<DocMaterial>(m, *this));
    igame_nodes_.reserve(nodes.size());
    for (auto& n : inodes_) igame_nodes_.push_back(std::make_unique<DocIGameNode>(*n, *this));
    for (int id : doc_.selection) selected_.insert(id);
    selection_ = doc_.selection;
  }

  // DocumentHost
  Interface& GetCOREInterface() override { return *this; }
  IGameScene& GetIGameInterface() override { return *this; }
  const doc::SceneDocument& document() const override { return doc_; }
  std::vector<std::string> unknown_names(const std::vector<std::string>& names) const override {
    std::unordered_set<std::string> known;
    for (const doc::Node& n : doc_.nodes) known.insert(n.name);
    std::vector<std::string> unknown;
    for (const std::string& name : names) {
      if (!known.count(name)) unknown.push_back(name);
    }
    return unknown;
  }
  bool select_by_names(const std::vector<std::string>& names) override {
    if (!unknown_names(names).empty()) return false;
    selection_.clear();
    selected_.clear();
    for (const std::string& name : names) {
      for (const doc::Node& n : doc_.nodes) {
        if (n.name == name && selected_.insert(n.id).second) selection_.push_back(n.id);
      }
    }
    return true;
  }

  // Interface
  INode* GetRootNode() override { return &root_; }
  int GetSelNodeCount() override { return static_cast<int>(selection_.size()); }
  INode* GetSelNode(int i) override { return node_by_id(selection_[static_cast<std::size_t>(i)]); }
  std::string GetCurFileFolder() const override { return doc_.folder; }
  int GetMapDirCount() const override { return static_cast<int>(doc_.map_paths.size()); }
  std::string GetMapDir(int i) const override {
    return i >= 0 && static_cast<std::size_t>(i) < doc_.map_paths.size()
               ? doc_.map_paths[static_cast<std::size_t>(i)]
               : std::string();
  }

  // IGameScene
  void InitialiseIGame() override {
    std::vector<DocINode*> tops(root_.children_.begin(), root_.children_.end());
    build(tops);
  }
  void InitialiseIGame(const std::vector<INode*>& list) override {
    std::vector<DocINode*> tops;
    for (INode* n : list) {
      auto* d = dynamic_cast<DocINode*>(n);
      if (d != nullptr && d->data() != nullptr) tops.push_back(d);
    }
    build(tops);
  }
  void SetStaticFrame(int frame) override { static_time_ = frame * doc_.ticks_per_frame; }
  TimeValue GetSceneStartTime() const override { return doc_.start_frame * doc_.ticks_per_frame; }
  TimeValue GetSceneEndTime() const override { return doc_.end_frame * doc_.ticks_per_frame; }
  int GetSceneTicks() const override { return doc_.ticks_per_frame; }
  std::string GetSceneFileName() const override { return doc_.file_name; }
  int GetTopLevelNodeCount() const override { return static_cast<int>(tops_.size()); }
  IGameNode* GetTopLevelNode(int i) const override { return tops_[static_cast<std::size_t>(i)]; }
  int GetTotalNodeCount() const override { return static_cast<int>(order_.size()); }
  std::vector<IGameNode*> GetIGameNodeByType(IGameType type) override {
    std::vector<IGameNode*> out;
    for (DocIGameNode* n : order_) {
      if (igame_type(n->inode().data()->object.cls) == type) out.push_back(n);
    }
    return out;
  }
  int GetRootMaterialCount() const override { return static_cast<int>(materials_.size()); }
  IGameMaterial* GetRootMaterial(int i) const override {
    return materials_[static_cast<std::size_t>(i)].get();
  }
  IGameNode* GetIGameNode(const INode* node) const override {
    auto* d = dynamic_cast<const DocINode*>(node);
    if (d == nullptr || d->data() == nullptr) return nullptr;
    return igame_nodes_[static_cast<std::size_t>(d->index())].get();
  }
  void ReleaseIGame() override {
    for (auto& n : igame_nodes_) {
      n->children_.clear();
      n->parent_ = nullptr;
    }
    tops_.clear();
    order_.clear();
  }

  // Shared with the views.
  double frame_of(TimeValue t) const {
    if (t == TIME_NegInfinity) return -std::numeric_limits<double>::infinity();
    return static_cast<double>(t) / doc_.ticks_per_frame;
  }
  TimeValue static_time() const { return static_time_; }
  std::int64_t ticks_per_frame() const { return doc_.ticks_per_frame; }
  DocINode* node_by_id(int id) const {
    auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : inodes_[static_cast<std::size_t>(it->second)].get();
  }
  DocIGameNode* igame_node(int index) const {
    return igame_nodes_[static_cast<std::size_t>(index)].get();
  }
  DocMaterial* root_material(int i) const { return materials_[static_cast<std::size_t>(i)].get(); }
  bool is_selected(int id) const { return selected_.count(id) != 0; }

 private:
  void build(const std::vector<DocINode*>& tops) {
    ReleaseIGame();
    std::unordered_set<const DocINode*> taken;
    for (DocINode* t : tops) {
      if (taken.insert(t).second)
        tops_.push_back(igame_nodes_[static_cast<std::size_t>(t->index())].get());
    }
    // Depth first, host order, with an explicit stack.
    std::vector<DocIGameNode*> stack(tops_.rbegin(), tops_.rend());
    while (!stack.empty()) {
      DocIGameNode* n = stack.back();
      stack.pop_back();
      order_.push_back(n);
      for (DocINode* c : n->inode().children_) {
        if (!taken.insert(c).second) continue;
        DocIGameNode* child = igame_nodes_[static_cast<std::size_t>(c->index())].get();
        child->parent_ = n;
        n->children_.push_back(child);
      }
      for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) stack.push_back(*it);
    }
  }

  doc::SceneDocument doc_;
  DocINode root_;
  std::vector<std::unique_ptr<DocINode>> inodes_;
  std::unordered_map<int, int> by_id_;
  std::vector<std::unique_ptr<DocMaterial>> materials_;
  std::vector<std::unique_ptr<DocIGameNode>> igame_nodes_;
  std::vector<DocIGameNode*> tops_;
  std::vector<DocIGameNode*> order_;
  std::vector<int> selection_;
  std::unordered_set<int> selected_;
  TimeValue static_time_ = 0;
};

// ---------------------------------------------------------------------------

INode* DocModifier::GetBone(int i) const {
  return views_.node_by_id(m_.bones[static_cast<std::size_t>(i)]);
}

float DocModifier::GetChannelWeight(int channel, TimeValue t) const {
  if (channel < 0 || static_cast<std::size_t>(channel) >= m_.channels.size()) return 0;
  return doc::evaluate(m_.channels[static_cast<std::size_t>(channel)], views_.frame_of(t));
}

const std::string& DocINode::GetName() const {
  static const std::string kRootName = "Scene Root";
  return n_ != nullptr ? n_->name : kRootName;
}

Matrix3 DocINode::compute_node_tm(TimeValue t) const {
  double frame = views_.frame_of(t);
  Matrix3 local = ScaleMatrix(doc::evaluate(n_->transform.scale, frame)) *
                  QuatToMatrix(doc::evaluate(n_->transform.rotation, frame)) *
                  TransMatrix(doc::evaluate(n_->transform.position, frame));
  return local * GetParentTM(t);
}

// The place of a whole frame's transform in the kept frames, grown to hold
// it; null for other times and for spans too long to keep.
Matrix3* DocINode::frame_slot(TimeValue t) const {
  constexpr std::int64_t kMaxFrames = 1 << 20;
  const std::int64_t ticks = views_.ticks_per_frame();
  if (children_.empty() || ticks <= 0 || t == TIME_NegInfinity || t % ticks != 0) return nullptr;
  if (frame_tm_.empty()) frames_from_ = t;
  std::int64_t at = (static_cast<std::int64_t>(t) - frames_from_) / ticks;
  if (at < 0) {
    const std::int64_t grow = -at;
    if (grow + static_cast<std::int64_t>(frame_tm_.size()) > kMaxFrames) return nullptr;
    frame_tm_.insert(frame_tm_.begin(), static_cast<std::size_t>(grow), Matrix3());
    frame_known_.insert(frame_known_.begin(), static_cast<std::size_t>(grow), 0);
    frames_from_ = t;
    at = 0;
  } else if (at >= static_cast<std::int64_t>(frame_tm_.size())) {
    if (at >= kMaxFrames) return nullptr;
    frame_tm_.resize(static_cast<std::size_t>(at + 1));
    frame_known_.resize(static_cast<std::size_t>(at + 1), 0);
  }
  return &frame_tm_[static_cast<std::size_t>(at)];
}

Matrix3 DocINode::GetNodeTM(TimeValue t) const {
  if (n_ == nullptr) return Matrix3();
  if (cached_ && cached_time_ == t) return cached_tm_;
  if (Matrix3* slot = frame_slot(t)) {
    // The parent's transform comes from the parent's own frames, so this
    // node's arrays stay where they are while it is computed.
    const auto at = static_cast<std::size_t>(slot - frame_tm_.data());
    if (!frame_known_[at]) {
      *slot = compute_node_tm(t);
      frame_known_[at] = 1;
    }
    return *slot;
  }
  cached_tm_ = compute_node_tm(t);
  cached_time_ = t;
  cached_ = true;
  return cached_tm_;
}

float DocINode::GetVisibility(TimeValue t) const {
  return n_ != nullptr ? doc::evaluate(n_->visibility, views_.frame_of(t)) : 1.0f;
}

bool DocINode::GetUserPropString(const std::string& key, std::string& value) const {
  return n_ != nullptr && host::GetUserPropString(*n_, key, value);
}

bool DocINode::GetUserPropBool(const std::string& key, bool& value) const {
  return n_ != nullptr && host::GetUserPropBool(*n_, key, value);
}

bool DocINode::Selected() const {
  return n_ != nullptr && views_.is_selected(n_->id);
}

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

IGameNode* DocSkin::GetIGameBone(int v, int b) const {
  DocINode* bone = views_.node_by_id(GetBoneID(v, b));
  return bone != nullptr ? views_.igame_node(bone->index()) : nullptr;
}

DocIGameObject::DocIGameObject(DocINode& node, const Views& views)
    : node_(node), o_(node.data()->object), views_(views) {
  for (const doc::Modifier& m : o_.modifiers) {
    if (m.type == doc::ModifierType::kSkin) {
      skin_ = std::make_unique<DocSkin>(m, views);
      break;
    }
  }
}

Point3 DocIGameObject::GetVertex(int i, bool object_space) const {
  Point3 p = mesh().vertices[static_cast<std::size_t>(i)];
  if (!object_space) p = p * node_.GetObjectTM(views_.static_time());
  return p * to_y_up();
}

Point3 DocIGameObject::GetNormal(int i) const {
  if (!normals_done_) {
    // Normals follow the inverse transpose of the object transform.
    Matrix3 tm = node_.GetObjectTM(views_.static_time());
    Matrix3 inv = Inverse(tm);
    Matrix3 normal_tm;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) normal_tm[r][c] = inv[c][r];
    }
    normal_tm.SetTrans({});
    world_normals_.reserve(mesh().normals.size());
    for (const Point3& n : mesh().normals) {
      world_normals_.push_back(Normalize(VectorTransform(normal_tm, n)) * to_y_up());
    }
    normals_done_ = true;
  }
  return world_normals_[static_cast<std::size_t>(i)];
}

bool DocIGameObject::GetLightColor(TimeValue t, Point3& color) const {
  if (!o_.light.has_color) return false;
  color = doc::evaluate(o_.light.color, views_.frame_of(t));
  return true;
}

bool DocIGameObject::GetCameraTarget(TimeValue t, Point3& target) const {
  Point3 p;
  if (o_.camera.target_node != doc::kNone) {
    DocINode* tn = views_.node_by_id(o_.camera.target_node);
    if (tn == nullptr) return false;
    p = tn->GetNodeTM(t).GetTrans();
  } else {
    // Along the camera's -Z.
    p = Point3{0, 0, -o_.camera.target_distance} * node_.GetNodeTM(t);
  }
  target = p * to_y_up();
  return true;
}

float DocIGameObject::GetCameraRoll(TimeValue t) const {
  return doc::evaluate(o_.camera.roll, views_.frame_of(t));
}

IGameMaterial* DocIGameNode::GetNodeMaterial() const {
  int m = node_.data()->material;
  return m == doc::kNone ? nullptr : views_.root_material(m);
}

IGameObject* DocIGameNode::GetIGameObject() {
  if (!object_) object_ = std::make_unique<DocIGameObject>(node_, views_);
  return object_.get();
}

}  // namespace

std::unique_ptr<DocumentHost> make_document_host(doc::SceneDocument document) {
  return std::make_unique<Views>(std::move(document));
}

}  // namespace kavro::max
