// Skin weights: the skin's per-vertex influences under the platform's rules,
// the full-weight reduction, and the placing of single-bone vertices in
// their bones' space.
#include <unordered_map>
#include <vector>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/messages.h"

namespace kavro {

bool has_bones(const max::IGameObject& object, int vertex_count) {
  const max::IGameSkin* skin = object.GetIGameSkin();
  if (skin == nullptr) return false;
  for (int v = 0; v < vertex_count; ++v) {
    if (skin->GetNumberOfBones(v) < 0) return false;
  }
  return true;
}

bool read_skin_weights(host::Host& host, const max::IGameSkin& skin, int vertex_count, int node_id,
                       const std::string& node_name, std::vector<SkinInfluence>& weights) {
  std::vector<SkinInfluence> read(vertex_count);
  int first_wrong = -1;
  auto wrong = [&](int v) {
    if (first_wrong < 0) first_wrong = v;
  };
  auto on_self = [&](SkinInfluence& inf) {
    inf = SkinInfluence{};
    inf.weights.push_back(1.0f);
    inf.node_ids.push_back(node_id);
    inf.list_positions.push_back(-1);
  };
  for (int v = 0; v < vertex_count; ++v) {
    SkinInfluence& inf = read[v];
    int n = skin.GetNumberOfBones(v);
    if (n <= 0) {
      on_self(inf);
      wrong(v);
      continue;
    }
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      float w = skin.GetWeight(v, i);
      sum += w;
      if (w <= 0.001f) continue;
      if (w >= 0.999f) {
        // One bone carries the vertex: it becomes the only influence.
        inf.weights.assign(1, w);
        inf.node_ids.assign(1, skin.GetBoneID(v, i));
        inf.list_positions.assign(1, i);
        inf.last_list_position = i;
        break;
      }
      inf.weights.push_back(w);
      inf.node_ids.push_back(skin.GetBoneID(v, i));
      inf.list_positions.push_back(i);
      inf.last_list_position = i;
    }
    if (inf.count() == 0) {
      on_self(inf);
      wrong(v);
    } else if (sum < 0.999) {
      wrong(v);
    }
  }
  if (first_wrong >= 0) {
    std::string where = format("( vertex %d )", first_wrong);
    show_error(host,
               format("Wrong weighted vertices exist. %s %s", node_name.c_str(), where.c_str()),
               "Wrong weighted vertices");
    return false;
  }
  weights = std::move(read);
  return true;
}

void force_full_weight(std::vector<SkinInfluence>& weights) {
  for (SkinInfluence& inf : weights) {
    if (inf.count() <= 1) continue;
    std::size_t best = 0;
    for (std::size_t i = 1; i < inf.weights.size(); ++i) {
      if (inf.weights[i] > inf.weights[best]) best = i;
    }
    int id = inf.node_ids[best], pos = inf.list_positions[best];
    inf.weights.assign(1, 1.0f);
    inf.node_ids.assign(1, id);
    inf.list_positions.assign(1, pos);
    inf.last_list_position = pos;
  }
}

void place_single_bone_vertices(PolygonSet& set, const max::Matrix3& mesh_tm,
                                const std::function<max::Matrix3(int node_id)>& bone_tm) {
  const std::size_t count = set.positions.size();
  if (set.weights.size() != count) return;
  // Each vertex's matrix into its bone's space (identity-free: computed per
  // bone once).
  std::unordered_map<int, max::Matrix3> to_bone;
  auto matrix_for = [&](int bone) -> const max::Matrix3& {
    auto it = to_bone.find(bone);
    if (it == to_bone.end())
      it = to_bone.emplace(bone, mesh_tm * max::Inverse(bone_tm(bone))).first;
    return it->second;
  };
  std::vector<Vec3>& positions = set.positions.edit();
  for (std::size_t v = 0; v < count; ++v) {
    const SkinInfluence& inf = set.weights[v];
    if (inf.count() > 1) continue;
    const max::Matrix3& m = matrix_for(inf.node_ids.empty() ? set.node_id : inf.node_ids[0]);
    Vec3& p = positions[v];
    max::Point3 q = max::Point3{p.x, p.y, p.z} * m;
    p = {q.x, q.y, q.z};
  }
  // Normals follow the inverse transpose of the same matrix, once per normal.
  std::vector<bool> handled(set.normals.size(), false);
  std::vector<Vec3>* normals = nullptr;  // this set's own, taken on the first change
  auto carry = [&](const Corner& c) {
    if (c.nrm >= set.normals.size() || handled[c.nrm] || c.pos >= count) return;
    handled[c.nrm] = true;
    const SkinInfluence& inf = set.weights[c.pos];
    max::Matrix3 x = inf.count() <= 1
                         ? matrix_for(inf.node_ids.empty() ? set.node_id : inf.node_ids[0])
                         : mesh_tm;
    max::Matrix3 inv = max::Inverse(x);
    max::Matrix3 it;  // transpose of the inverse, rotation part only
    for (int r = 0; r < 3; ++r) {
      for (int k = 0; k < 3; ++k) it[r][k] = inv[k][r];
    }
    it.SetTrans({});
    if (normals == nullptr) normals = &set.normals.edit();
    Vec3& n = (*normals)[c.nrm];
    max::Point3 q = max::Normalize(max::VectorTransform(it, {n.x, n.y, n.z}));
    n = {q.x, q.y, q.z};
  };
  for (const NTriFace& f : set.triangles) {
    for (const Corner& c : f.corners) carry(c);
  }
  for (const NQuadFace& f : set.quads) {
    for (const Corner& c : f.corners) carry(c);
  }
}

}  // namespace kavro
