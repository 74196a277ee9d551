// Maps the file's meshes onto one welded document mesh per node, with its
// skin and morph weights.
#include <cstring>

#include "host/assimp_import_mapper.h"
#include "host/polygon_triangulation.h"

namespace kavro::host::assimp_mapping {

Mapper::PointKey Mapper::key_of(Point3 p) {
  PointKey k;
  // +0 and -0 are the same position.
  float v[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
  for (std::size_t i = 0; i < 3; ++i) std::memcpy(&k.bits[i], &v[i], 4);
  return k;
}

Matrix3 Mapper::world_at(int id, double frame) {
  Matrix3 m;
  for (int n = id; n != doc::kNone; n = doc_.nodes[n].parent) {
    const doc::Transform& t = doc_.nodes[n].transform;
    m = m * (max::ScaleMatrix(doc::evaluate(t.scale, frame)) *
             max::QuatToMatrix(doc::evaluate(t.rotation, frame)) *
             max::TransMatrix(doc::evaluate(t.position, frame)));
  }
  return m;
}

bool Mapper::build_meshes() {
  DroppedParts dropped;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const aiNode* an = nodes_[i].node;
    if (an->mNumMeshes == 0) continue;
    if (nodes_[i].dropped) continue;
    if (!build_node_mesh(an, doc_index_.at(i), dropped)) return false;
  }
  if (dropped.lines) warn("Points and lines are not imported; only faces are.");
  if (dropped.uv) warn("Only the first texture-coordinate channel of a mesh is imported.");
  if (dropped.colors) warn("Only the first vertex-colour channel of a mesh is imported.");
  if (dropped.alpha) warn("The alpha of vertex colours is not imported.");
  if (dropped.morph_shapes) {
    warn("Morph target shapes are not imported; their weights are kept in a Morpher modifier.");
  }
  return true;
}

bool Mapper::build_node_mesh(const aiNode* an, int id, DroppedParts& dropped) {
  doc::Node& node = doc_.nodes[id];
  node.has_object = true;
  node.object.cls = doc::ObjectClass::kMesh;
  node.object.has_mesh = true;
  NodeMesh b;
  b.an = an;
  b.id = id;
  b.node = &node;
  b.frame0 = doc_.start_frame;
  for (unsigned k = 0; k < an->mNumMeshes; ++k) {
    if (an->mMeshes[k] >= s_.mNumMeshes) continue;
    if (s_.mMeshes[an->mMeshes[k]]->mNumBones > 0) b.skinned = true;
  }
  for (unsigned k = 0; k < an->mNumMeshes; ++k) {
    if (an->mMeshes[k] >= s_.mNumMeshes) continue;
    if (!add_source_mesh(b, s_.mMeshes[an->mMeshes[k]], dropped)) return false;
  }
  return finish_node_mesh(b);
}

bool Mapper::add_source_mesh(NodeMesh& b, const aiMesh* am, DroppedParts& dropped) {
  if (am->mNumAnimMeshes > 0) dropped.morph_shapes = true;
  SourceMesh m;
  m.am = am;
  m.material_id = static_cast<int>(b.material_list.size());
  b.material_list.push_back(am->mMaterialIndex < s_.mNumMaterials ? am->mMaterialIndex : 0);
  if (am->GetNumUVChannels() > 1) dropped.uv = true;
  if (am->GetNumColorChannels() > 1) dropped.colors = true;
  if (!read_bone_weights(b, m) || !weld_vertices(b, m)) return false;
  // Corner channels.
  m.has_normals = am->HasNormals();
  m.has_uv = am->HasTextureCoords(0);
  m.has_color = am->HasVertexColors(0);
  if (m.has_color) b.node->show_vertex_colors = true;
  if (!m.has_normals) m.smooth.assign(am->mNumVertices, Point3{});
  if (!read_faces(m, dropped)) return false;
  triangulate_faces(b, m);
  add_triangles(b, m, dropped);
  return true;
}

bool Mapper::read_bone_weights(NodeMesh& b, SourceMesh& m) {
  const aiMesh* am = m.am;
  m.vertex_bones.resize(am->mNumVertices);
  for (unsigned k = 0; k < am->mNumBones; ++k) {
    const aiBone* bone = am->mBones[k];
    auto found = by_name_.find(bone->mName.C_Str());
    if (found == by_name_.end() || nodes_[found->second].dropped) {
      warn("Skin bones that are not nodes of the file are dropped with their weights.");
      continue;
    }
    int bone_id = doc_index_.at(found->second);
    if (!finite(bone->mOffsetMatrix)) {
      return fail("the bone \"" + std::string(bone->mName.C_Str()) +
                  "\" has an offset matrix that is not a number");
    }
    if (!b.skin_matrix.count(bone_id)) {
      if (!b.have_inverse) {
        b.mesh_world_inverse = max::Inverse(world_at(b.id, b.frame0));
        b.have_inverse = true;
      }
      b.skin_matrix[bone_id] =
          basis_.matrix(bone->mOffsetMatrix) * world_at(bone_id, b.frame0) * b.mesh_world_inverse;
    }
    for (unsigned w = 0; w < bone->mNumWeights; ++w) {
      const aiVertexWeight& vw = bone->mWeights[w];
      if (vw.mVertexId >= am->mNumVertices || !std::isfinite(vw.mWeight) || vw.mWeight <= 0)
        continue;
      m.vertex_bones[vw.mVertexId].push_back({bone_id, vw.mWeight});
    }
  }
  return true;
}

bool Mapper::weld_vertices(NodeMesh& b, SourceMesh& m) {
  const aiMesh* am = m.am;
  doc::Mesh& mesh = b.node->object.mesh;
  m.welded.resize(am->mNumVertices);
  m.placed.resize(am->mNumVertices);
  if (b.skinned) m.vertex_matrix.resize(am->mNumVertices);
  for (unsigned v = 0; v < am->mNumVertices; ++v) {
    if (!finite(am->mVertices[v])) {
      return fail("the mesh \"" + std::string(am->mName.C_Str()) + "\" of the node \"" +
                  std::string(b.an->mName.C_Str()) + "\" has a vertex position (" +
                  std::to_string(v) + ") that is not a number");
    }
    Point3 p = basis_.point(am->mVertices[v]);
    std::string skin_key;
    auto& list = m.vertex_bones[v];
    Matrix3 place;
    if (b.skinned) {
      std::sort(list.begin(), list.end());
      double sum = 0;
      for (auto& [bone, w] : list) sum += w;
      if (list.empty() || !(sum > 0)) {
        // Outside the skin: it follows the mesh's own node.
        list.assign(1, {b.id, 1.0f});
        b.skin_matrix.emplace(b.id, Matrix3());
        sum = 1;
      }
      // Weights that sum to one, as the host keeps them.
      for (auto& [bone, w] : list) w = static_cast<float>(w / sum);
      // The vertex at the first frame: the weighted blend of its bones.
      Matrix3 blend;
      for (int r = 0; r < 4; ++r) blend[r] = Point3{0, 0, 0};
      for (auto& [bone, w] : list) {
        const Matrix3& s = b.skin_matrix.at(bone);
        for (int r = 0; r < 4; ++r) blend[r] = blend[r] + s[r] * w;
      }
      place = blend;
      m.vertex_matrix[v] = blend;
      for (auto& [bone, w] : list) {
        skin_key.append(reinterpret_cast<const char*>(&bone), sizeof bone);
        skin_key.append(reinterpret_cast<const char*>(&w), sizeof w);
      }
    }
    std::string weld_key(reinterpret_cast<const char*>(key_of(p).bits.data()), 12);
    weld_key += skin_key;
    auto [it, added] = b.weld.emplace(std::move(weld_key), static_cast<int>(mesh.vertices.size()));
    if (added) {
      mesh.vertices.push_back(b.skinned ? p * place : p);
      if (b.skinned) {
        std::vector<doc::Influence> influences;
        for (auto& [bone, w] : list) {
          auto pos = std::find(b.bones.begin(), b.bones.end(), bone);
          if (pos == b.bones.end()) pos = b.bones.insert(b.bones.end(), bone);
          influences.push_back({static_cast<int>(pos - b.bones.begin()), w});
        }
        b.weights.push_back(std::move(influences));
      }
    }
    m.welded[v] = it->second;
    m.placed[v] = mesh.vertices[it->second];
  }
  return true;
}

bool Mapper::read_faces(SourceMesh& m, DroppedParts& dropped) {
  const aiMesh* am = m.am;
  m.faces.reserve(am->mNumFaces);
  for (unsigned f = 0; f < am->mNumFaces; ++f) {
    const aiFace& face = am->mFaces[f];
    if (face.mNumIndices < 3) {
      dropped.lines = true;
      continue;
    }
    std::vector<unsigned> corners(face.mIndices, face.mIndices + face.mNumIndices);
    bool valid = std::all_of(corners.begin(), corners.end(),
                             [&](unsigned c) { return c < am->mNumVertices; });
    if (!valid)
      return fail("the mesh \"" + std::string(am->mName.C_Str()) +
                  "\" has a face with a vertex index out of range");
    if (mirrored_) std::reverse(corners.begin(), corners.end());
    m.faces.push_back(std::move(corners));
  }
  return true;
}

void Mapper::triangulate_faces(NodeMesh& b, SourceMesh& m) {
  const std::vector<Point3>& placed = m.placed;
  m.face_triangles.resize(m.faces.size());
  for (std::size_t f = 0; f < m.faces.size(); ++f) {
    const auto& c = m.faces[f];
    if (c.size() == 3) {
      m.face_triangles[f] = {{0, 1, 2}};
    } else if (c.size() == 4) {
      // The shorter diagonal, so that a bent quad folds the flatter way.
      Point3 p[4];
      for (std::size_t q = 0; q < 4; ++q) p[q] = placed[c[q]];
      float d02 = max::Length(p[2] - p[0]), d13 = max::Length(p[3] - p[1]);
      m.face_triangles[f] = d13 < d02 ? std::vector<std::array<int, 3>>{{0, 1, 3}, {1, 2, 3}}
                                      : std::vector<std::array<int, 3>>{{0, 1, 2}, {0, 2, 3}};
    } else {
      std::vector<Point3> outline;
      for (unsigned v : c) outline.push_back(placed[v]);
      m.face_triangles[f] = triangulate_polygon(outline);
    }
    if (c.size() > 3) b.has_polygons = true;
    if (!m.has_normals) {
      for (const auto& t : m.face_triangles[f]) {
        Point3 a = placed[c[t[0]]];
        Point3 n = max::CrossProd(placed[c[t[1]]] - a, placed[c[t[2]]] - a);
        for (int corner : t) {
          Point3& s = m.smooth[c[corner]];
          s = s + n;
        }
      }
    }
  }
}

void Mapper::add_triangles(NodeMesh& b, const SourceMesh& m, DroppedParts& dropped) {
  const aiMesh* am = m.am;
  doc::Mesh& mesh = b.node->object.mesh;
  auto normal_of = [&](unsigned v) {
    if (!m.has_normals) return max::Normalize(m.smooth[v]);
    const aiVector3D& n = am->mNormals[v];
    if (!finite(n)) return Point3{0, 0, 0};
    Point3 d = basis_.normal(n);
    if (b.skinned) d = max::VectorTransform(m.vertex_matrix[v], d);
    return max::Normalize(d);
  };
  for (std::size_t f = 0; f < m.faces.size(); ++f) {
    const auto& c = m.faces[f];
    for (const auto& t : m.face_triangles[f]) {
      doc::Face face;
      face.material = m.material_id;
      for (std::size_t q = 0; q < 3; ++q) {
        unsigned v = c[t[q]];
        face.v[q] = m.welded[v];
        face.n[q] = b.normals.add(normal_of(v));
        if (m.has_uv) {
          const aiVector3D& uv = am->mTextureCoords[0][v];
          Point3 tv{std::isfinite(uv.x) ? uv.x : 0.0f, std::isfinite(uv.y) ? uv.y : 0.0f, 0};
          face.t[q] = b.uvs.add(tv);
        } else {
          face.t[q] = b.uvs.add({0, 0, 0});
        }
        if (m.has_color) {
          const aiColor4D& col = am->mColors[0][v];
          if (col.a < 1) dropped.alpha = true;
          auto clamp01 = [](float x) {
            return std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f;
          };
          face.c[q] = b.colors.add({clamp01(col.r), clamp01(col.g), clamp01(col.b)});
        } else {
          face.c[q] = b.colors.add({1, 1, 1});
        }
      }
      mesh.faces.push_back(face);
    }
    doc::Polygon poly;
    poly.material = m.material_id;
    for (unsigned v : c) poly.v.push_back(m.welded[v]);
    b.polygons.push_back(std::move(poly));
  }
}

bool Mapper::finish_node_mesh(NodeMesh& b) {
  const aiNode* an = b.an;
  doc::Node& node = *b.node;
  doc::Mesh& mesh = node.object.mesh;
  mesh.normals = std::move(b.normals.values);
  // Channels that no source mesh has stay empty.
  bool any_uv = false, any_color = false;
  for (unsigned k = 0; k < an->mNumMeshes; ++k) {
    if (an->mMeshes[k] >= s_.mNumMeshes) continue;
    any_uv = any_uv || s_.mMeshes[an->mMeshes[k]]->HasTextureCoords(0);
    any_color = any_color || s_.mMeshes[an->mMeshes[k]]->HasVertexColors(0);
  }
  if (any_uv) {
    mesh.tex_vertices = std::move(b.uvs.values);
  } else {
    for (doc::Face& f : mesh.faces) f.t = {0, 0, 0};
  }
  if (any_color) {
    mesh.color_vertices = std::move(b.colors.values);
  } else {
    for (doc::Face& f : mesh.faces) f.c = {0, 0, 0};
  }
  if (b.has_polygons) mesh.polygons = std::move(b.polygons);
  if (!b.material_list.empty()) node.material = root_material(b.material_list, node.name);
  if (b.skinned) {
    doc::Modifier skin;
    skin.type = doc::ModifierType::kSkin;
    skin.internal_name = "Skin";
    skin.bones = b.bones;
    skin.weights = std::move(b.weights);
    node.object.modifiers.push_back(std::move(skin));
  }
  if (mesh.vertices.size() > 65536) {
    return fail("the node \"" + std::string(an->mName.C_Str()) + "\" has a mesh of " +
                std::to_string(mesh.vertices.size()) +
                " vertices; the host's meshes hold at most 65,536");
  }
  morph_weights(an, node);
  return true;
}

void Mapper::morph_weights(const aiNode* an, doc::Node& node) {
  unsigned targets = 0;
  for (unsigned k = 0; k < an->mNumMeshes; ++k) {
    if (an->mMeshes[k] < s_.mNumMeshes)
      targets = std::max(targets, s_.mMeshes[an->mMeshes[k]]->mNumAnimMeshes);
  }
  if (targets == 0) return;
  doc::Modifier morpher;
  morpher.type = doc::ModifierType::kMorpher;
  morpher.internal_name = "Morpher";
  unsigned count = std::min(targets, static_cast<unsigned>(doc::kMaxMorphChannels));
  morpher.channels.resize(count);
  const aiMesh* first = s_.mMeshes[an->mMeshes[0]];
  for (unsigned t = 0; t < std::min(count, first->mNumAnimMeshes); ++t) {
    float w = first->mAnimMeshes[t]->mWeight;
    morpher.channels[t].value = std::isfinite(w) ? w * 100.0f : 0.0f;
  }
  if (anim_ != nullptr) {
    for (unsigned c = 0; c < anim_->mNumMorphMeshChannels; ++c) {
      const aiMeshMorphAnim* ch = anim_->mMorphMeshChannels[c];
      std::string target = ch->mName.C_Str();
      // glTF names the channel after the node, with "*" and the mesh.
      std::size_t star = target.find('*');
      if (star != std::string::npos) target = target.substr(0, star);
      if (target != an->mName.C_Str() && target != first->mName.C_Str()) continue;
      for (unsigned k = 0; k < ch->mNumKeys; ++k) {
        const aiMeshMorphKey& key = ch->mKeys[k];
        double frame = frame_of(key.mTime);
        if (!std::isfinite(frame)) continue;
        first_frame_ = std::min(first_frame_, frame);
        last_frame_ = std::max(last_frame_, frame);
        std::vector<float> values(count, 0.0f);
        for (unsigned v = 0; v < key.mNumValuesAndWeights; ++v) {
          if (key.mValues[v] < count && std::isfinite(key.mWeights[v]))
            values[key.mValues[v]] = static_cast<float>(key.mWeights[v] * 100.0);
        }
        for (unsigned t = 0; t < count; ++t) {
          auto& keys = morpher.channels[t].keys;
          if (!keys.empty() && frame <= keys.back().frame) continue;
          keys.push_back({frame, values[t]});
        }
      }
      for (auto& ch_track : morpher.channels) {
        if (!ch_track.keys.empty()) ch_track.value = ch_track.keys.front().value;
      }
      break;
    }
  }
  node.object.modifiers.push_back(std::move(morpher));
}

}  // namespace kavro::host::assimp_mapping
