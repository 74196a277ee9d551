// Internal to the document views: the host's node, object, modifier and
// polygon views of a scene document's nodes.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/document_view_support.h"

namespace kavro::max::docview {

// An allocator whose elements made without a value are left unset: a
// vector grown with resize() then costs no writes. For arrays whose every
// element is written before it is read (the kept frames, whose frame_known_
// says which are); Matrix3 is trivially copyable, so its bytes may be
// assigned to without a constructor having run.
template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <class U>
  void construct(U*) noexcept {
    static_assert(std::is_trivially_copyable_v<U>);
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

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
  Point3 GetVert(int i) const override { return m_.vertices[i]; }
  int NumFaces() const override {
    return static_cast<int>(m_.polygons.empty() ? m_.faces.size() : m_.polygons.size());
  }
  int FaceDegree(int f) const override {
    return m_.polygons.empty() ? 3 : static_cast<int>(m_.polygons[f].v.size());
  }
  int FaceVertex(int f, int k) const override {
    return m_.polygons.empty() ? m_.faces[f].v[k] : m_.polygons[f].v[k];
  }
  int FaceMatID(int f) const override {
    return m_.polygons.empty() ? m_.faces[f].material : m_.polygons[f].material;
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
  Modifier* GetModifier(int i) const override { return modifiers_[i].get(); }
  DocModifier* modifier(int i) const { return modifiers_[i].get(); }
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
  INode* GetChildNode(int i) const override { return children_[i]; }
  Matrix3 GetNodeTM(TimeValue t) const override;
  void GetNodeTMs(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const override;
  Matrix3 GetParentTM(TimeValue t) const override {
    return parent_ != nullptr ? parent_->GetNodeTM(t) : Matrix3();
  }
  void GetParentTMs(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const override {
    if (parent_ != nullptr) {
      parent_->GetNodeTMs(t0, t1, tm);
    } else {
      tm[0] = tm[1] = Matrix3();
    }
  }
  Matrix3 GetObjectTM(TimeValue t) const override { return offset_matrix() * GetNodeTM(t); }
  void ReleaseKeptTransforms() const override {
    frame_tm_ = {};
    frame_known_ = {};
    frames_from_ = 0;
  }
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
  void compute_node_tms(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const;
  void find_node_tms(TimeValue t0, TimeValue t1, Matrix3 (&tm)[2]) const;
  std::int64_t frame_index(TimeValue t) const;
  Matrix3* frame_slot(TimeValue t) const;

  // The last world transform computed, by time.
  mutable TimeValue cached_time_ = 0;
  mutable bool cached_ = false;
  mutable Matrix3 cached_tm_;
  // The last pair of times asked together, and their transforms.
  mutable bool last_pair_known_ = false;
  mutable TimeValue last_pair_[2] = {0, 0};
  mutable Matrix3 last_pair_tm_[2];
  // The keys around the last time sampled, and the rotation keys' arc.
  mutable doc::TrackCursor position_cursor_, scale_cursor_;
  mutable doc::RotationArcCache rotation_arc_;
  // A node with children keeps its world transform at every whole frame
  // asked for: nodes are sampled one after another over all frames, so each
  // child asks for every frame of its parent once more. Kept, each node's
  // transform at a frame is one product with its parent's instead of a walk
  // to the root.
  mutable std::int64_t frames_from_ = 0;  // the frame of frame_tm_[0]
  // The last whole frame's time and number, and the ticks of a frame then.
  struct WholeFrame {
    std::int64_t time = 0, frame = 0, ticks = 0;  // ticks 0: none yet
  };
  mutable WholeFrame last_whole_;
  mutable std::vector<Matrix3, UnsetAllocator<Matrix3>> frame_tm_;
  mutable std::vector<char> frame_known_;
};

}  // namespace kavro::max::docview
