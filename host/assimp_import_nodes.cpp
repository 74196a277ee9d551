// Maps the file's nodes onto document nodes: names, user properties,
// transforms and their animation keys.
#include "host/assimp_import_mapper.h"

namespace kavro::host::assimp_mapping {

bool Mapper::collect_nodes() {
  const aiNode* root = s_.mRootNode;
  std::set<const aiNode*> seen;
  std::vector<std::pair<const aiNode*, std::pair<int, int>>> stack{{root, {-1, 0}}};
  while (!stack.empty()) {
    auto [node, where] = stack.back();
    stack.pop_back();
    if (node == nullptr) continue;
    if (!seen.insert(node).second) return fail("the node hierarchy has a cycle");
    if (where.second > doc::kMaxHierarchyDepth) {
      return fail("the node hierarchy is deeper than " + std::to_string(doc::kMaxHierarchyDepth) +
                  " levels");
    }
    if (!finite(node->mTransformation)) {
      return fail("the node \"" + std::string(node->mName.C_Str()) +
                  "\" has a transform that is not a number");
    }
    int index = static_cast<int>(nodes_.size());
    nodes_.push_back({node, where.first, false});
    by_name_.emplace(node->mName.C_Str(), index);
    for (unsigned i = node->mNumChildren; i-- > 0;)
      stack.push_back({node->mChildren[i], {index, where.second + 1}});
  }
  // Names that other parts of the file point at.
  for (unsigned m = 0; m < s_.mNumMeshes; ++m) {
    const aiMesh* mesh = s_.mMeshes[m];
    for (unsigned b = 0; b < mesh->mNumBones; ++b)
      bone_names_.insert(mesh->mBones[b]->mName.C_Str());
  }
  std::set<std::string> referenced = bone_names_;
  if (anim_ != nullptr) {
    for (unsigned c = 0; c < anim_->mNumChannels; ++c)
      referenced.insert(anim_->mChannels[c]->mNodeName.C_Str());
  }
  for (unsigned i = 0; i < s_.mNumLights; ++i) referenced.insert(s_.mLights[i]->mName.C_Str());
  for (unsigned i = 0; i < s_.mNumCameras; ++i) referenced.insert(s_.mCameras[i]->mName.C_Str());
  // The root of the file is a container of its own making unless it holds
  // something: then it stays a node.
  const aiNode* r = nodes_[0].node;
  bool has_meta =
      r->mMetaData != nullptr && r->mMetaData->mNumProperties > 0 && !user_properties(r).empty();
  nodes_[0].dropped =
      r->mNumMeshes == 0 && !has_meta && !referenced.count(r->mName.C_Str()) && r->mNumChildren > 0;
  return true;
}

std::vector<doc::UserProperty> Mapper::user_properties(const aiNode* node) {
  std::vector<doc::UserProperty> out;
  const aiMetadata* meta = node->mMetaData;
  if (meta == nullptr) return out;
  std::map<std::string, doc::UserProperty> by_key;  // sorted, first one wins
  auto add = [&](const std::string& key, doc::UserProperty p) {
    if (key.empty()) return;
    bool changed = false;
    p.key = to_host_text(key, changed);
    if (changed)
      warn("A user property name of the node \"" + std::string(node->mName.C_Str()) +
           "\" has characters the host code page cannot hold; they became \"_\".");
    by_key.emplace(key, std::move(p));
  };
  for (unsigned i = 0; i < meta->mNumProperties; ++i) {
    std::string key = meta->mKeys[i].C_Str();
    const aiMetadataEntry& e = meta->mValues[i];
    if (e.mData == nullptr) continue;
    doc::UserProperty p;
    switch (e.mType) {
      case AI_BOOL:
        p.kind = doc::UserProperty::kBool;
        p.flag = *static_cast<const bool*>(e.mData);
        break;
      case AI_INT32:
        p.kind = doc::UserProperty::kNumber;
        p.number = *static_cast<const int32_t*>(e.mData);
        break;
      case AI_UINT64:
        p.kind = doc::UserProperty::kNumber;
        p.number = static_cast<double>(*static_cast<const uint64_t*>(e.mData));
        break;
      case AI_FLOAT:
        p.kind = doc::UserProperty::kNumber;
        p.number = *static_cast<const float*>(e.mData);
        break;
      case AI_DOUBLE:
        p.kind = doc::UserProperty::kNumber;
        p.number = *static_cast<const double*>(e.mData);
        break;
      case AI_AISTRING: {
        std::string text = static_cast<const aiString*>(e.mData)->C_Str();
        if (key == "UDP3DSMAX" || key == "UserProperties") {
          // The host's own user-property buffer: "key = value" lines.
          std::size_t at = 0;
          while (at < text.size()) {
            std::size_t end = text.find_first_of("\r\n", at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            at = end + 1;
            std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            auto trim = [](std::string t) {
              std::size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
              return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
            };
            doc::UserProperty line_prop;
            bool changed = false;
            line_prop.text = to_host_text(trim(line.substr(eq + 1)), changed);
            add(trim(line.substr(0, eq)), std::move(line_prop));
          }
          continue;
        }
        bool changed = false;
        p.text = to_host_text(text, changed);
        break;
      }
      case AI_AIVECTOR3D: {
        const auto* v = static_cast<const aiVector3D*>(e.mData);
        p.text = format_number(v->x) + " " + format_number(v->y) + " " + format_number(v->z);
        break;
      }
      default:
        continue;
    }
    if (p.kind == doc::UserProperty::kNumber && !std::isfinite(p.number)) continue;
    // Assimp's own bookkeeping is not the artist's.
    if (key.rfind("IsNull", 0) == 0 || key == "InheritType" || key == "DefaultAttributeIndex")
      continue;
    add(key, std::move(p));
  }
  out.reserve(by_key.size());
  for (auto& [key, p] : by_key) out.push_back(std::move(p));
  return out;
}

aiMatrix4x4 Mapper::local_matrix(std::size_t i) const {
  const NodeInfo& n = nodes_[i];
  aiMatrix4x4 m = n.node->mTransformation;
  if (n.parent >= 0 && nodes_[n.parent].dropped) {
    m = nodes_[n.parent].node->mTransformation * m;
  }
  return m;
}

bool Mapper::build_nodes() {
  std::set<std::string> used_names;
  int unnamed = 0;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    NodeInfo& info = nodes_[i];
    if (info.dropped) continue;
    doc::Node n;
    n.id = static_cast<int>(doc_.nodes.size());
    doc_index_[i] = n.id;
    n.name = name_of(info.node->mName, "node");
    if (n.name.empty()) {
      n.name = "Node_" + std::to_string(++unnamed);
      warn("Nodes without a name are named Node_1, Node_2 and so on.");
    }
    int parent = info.parent;
    if (parent >= 0 && nodes_[parent].dropped) parent = -1;
    n.parent = parent < 0 ? doc::kNone : doc_index_.at(parent);
    n.user_properties = user_properties(info.node);
    // The static transform.
    max::AffineParts parts;
    max::decomp_affine(basis_.matrix(local_matrix(i)), &parts);
    n.transform.position.value = parts.t;
    n.transform.rotation.value = stable_unit(parts.q);
    // A scale that is 1 up to the rounding of the decomposition is 1.
    for (int axis = 0; axis < 3; ++axis) {
      if (std::fabs(parts.k[axis] - 1.0f) < 1e-6f) parts.k[axis] = 1.0f;
    }
    n.transform.scale.value = parts.k;
    if (parts.f < 0) n.transform.scale.value = {-parts.k.x, -parts.k.y, -parts.k.z};
    if (bone_names_.count(info.node->mName.C_Str()) && info.node->mNumMeshes == 0) {
      n.has_object = true;
      n.object.cls = doc::ObjectClass::kBone;
    }
    doc_.nodes.push_back(std::move(n));
  }
  if (anim_ != nullptr && !animate_nodes()) return false;
  return true;
}

double Mapper::frame_of(double time) const {
  double tps = anim_->mTicksPerSecond > 0 ? anim_->mTicksPerSecond : 25.0;
  double f = time / tps * fps_;
  // Key times that are whole frames up to rounding stay whole.
  double r = std::round(f);
  return std::fabs(f - r) < 1e-4 ? r : f;
}

bool Mapper::animate_nodes() {
  for (unsigned c = 0; c < anim_->mNumChannels; ++c) {
    const aiNodeAnim* ch = anim_->mChannels[c];
    auto it = by_name_.find(ch->mNodeName.C_Str());
    if (it == by_name_.end()) {
      warn("Animation keys of nodes that are not in the file are dropped.");
      continue;
    }
    std::size_t i = it->second;
    if (nodes_[i].dropped) continue;
    doc::Node& n = doc_.nodes[doc_index_.at(i)];
    std::string name = ch->mNodeName.C_Str();
    if (!keys_to_track(
            n.transform.position, ch->mPositionKeys, ch->mNumPositionKeys,
            [&](const aiVector3D& v, Point3& out) {
              out = basis_.point(v);
              return finite(v);
            },
            name) ||
        !keys_to_track(
            n.transform.rotation, ch->mRotationKeys, ch->mNumRotationKeys,
            [&](const aiQuaternion& q, Quat& out) {
              bool ok = std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) &&
                        std::isfinite(q.w);
              out = stable_unit(basis_.rotation(q));
              return ok;
            },
            name) ||
        !keys_to_track(
            n.transform.scale, ch->mScalingKeys, ch->mNumScalingKeys,
            [&](const aiVector3D& v, Point3& out) {
              out = basis_.scaling(v);
              return finite(v);
            },
            name)) {
      return false;
    }
  }
  return true;
}

}  // namespace kavro::host::assimp_mapping
