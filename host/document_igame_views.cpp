#include "host/document_igame_views.h"

#include "host/document_scene_views.h"

namespace kavro::max::docview {

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
  Point3 p = mesh().vertices[i];
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
  return world_normals_[i];
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

}  // namespace kavro::max::docview
