// Extraction of one mesh node: its host object read into one polygon set per
// sub-material (one for a node without a multi-material), in named steps:
// the index limits, the vertex arrays in the node's frame, the triangles of
// each set, skin weights, the set's material and morph weights, and the
// quadrilaterals rebuilt from the host's polygons.
#include <algorithm>
#include <unordered_map>

#include "exporter/extract/host_extraction.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"

namespace kavro {
namespace {

using max::IGameNode;
using max::IGameObject;
using max::Matrix3;
using max::Point3;

constexpr int kMaxIndexCount = 65536;  // corner indices are 16-bit

bool is_platform_material(const max::IGameMaterial* m) {
  if (m == nullptr) return false;
  max::Class_ID id = m->ClassID();
  return id == max::kKavroStandardClassID || id == max::kKavroMorpherClassID;
}

VertexColor vertex_color(Point3 c) {
  return {color_byte(static_cast<double>(c.x)), color_byte(static_cast<double>(c.y)),
          color_byte(static_cast<double>(c.z))};
}

// The node's host object, released when the extraction of the node ends,
// whichever way it ends.
class HostObjectRelease {
 public:
  explicit HostObjectRelease(IGameNode& node) : node_(node) {}
  ~HostObjectRelease() { node_.ReleaseIGameObject(); }
  HostObjectRelease(const HostObjectRelease&) = delete;
  HostObjectRelease& operator=(const HostObjectRelease&) = delete;

 private:
  IGameNode& node_;
};

}  // namespace

// The state of one mesh node while its sets are made, and the steps.
struct HostExtraction::MeshPass {
  MeshPass(HostExtraction& extraction, ExportScene& scene, const ExportOptions& options,
           IGameNode& node, IGameObject& object);

  // Shows the error and answers false when an array is too long for the
  // 16-bit corner indices.
  bool index_counts_fit() const;
  // Positions (object offset applied, Y-up), vertex colours (when the node
  // shows them), normals in the node's frame, texture coordinates (v
  // flipped) and the faces.
  void read_arrays();
  // Set k: its unique name, the arrays and the triangles of its faces.
  PolygonSet make_set(int k);
  // The set's skin weights; false (the message shown) when they are wrong.
  bool attach_skin(PolygonSet& set) const;
  void assign_material(PolygonSet& set, const max::IGameMaterial* sub) const;
  void sample_morph_weights(PolygonSet& set, const max::IGameMaterial* sub) const;
  // Quadrilaterals from the host's four-sided polygons, into the sets from
  // `first_set` on ("as_is" and "as_is_checking").
  void rebuild_host_quads(std::size_t first_set) const;

  HostExtraction& ex;
  ExportScene& scene;
  const ExportOptions& options;
  IGameNode& node;
  IGameObject& obj;
  const max::INode* maxnode;
  const max::Object* object;
  const std::string& host_name;
  const int vertex_count;
  max::IGameMaterial* material;
  const bool multi;
  const bool morpher;
  const int set_count;
  const bool legacy_bone;
  Matrix3 offset;  // object offset carried into the Y-up frame

  // The node's arrays, shared by every set it is split into.
  SharedArray<Vec3> positions;
  SharedArray<VertexColor> colors;
  SharedArray<Vec3> normals;
  SharedArray<TexCoord> texcoords;
  std::vector<max::FaceEx> faces;
  // When faces are split by material id: every set's faces in order, set
  // after set; set k's are set_faces[set_start[k] .. set_start[k + 1]).
  std::vector<std::size_t> set_faces;
  std::vector<std::size_t> set_start;
};

HostExtraction::MeshPass::MeshPass(HostExtraction& extraction, ExportScene& s,
                                   const ExportOptions& o, IGameNode& n, IGameObject& g)
    : ex(extraction),
      scene(s),
      options(o),
      node(n),
      obj(g),
      maxnode(n.GetMaxNode()),
      object(maxnode->GetObjectRef()),
      host_name(n.GetName()),
      vertex_count(g.GetNumberOfVerts()),
      material(n.GetNodeMaterial()),
      multi(material != nullptr && material->IsMultiType()),
      morpher(material != nullptr && material->ClassID() == max::kKavroMorpherClassID),
      set_count(multi ? material->GetSubMaterialCount() : 1),
      legacy_bone(object != nullptr && object->ClassID() == max::kLegacyBoneClassID) {
  // Object offset, carried between the frames: O = R(+90) * offset * R(-90).
  Matrix3 m = max::ScaleMatrix(maxnode->GetObjOffsetScale());
  m = m * max::QuatToMatrix(maxnode->GetObjOffsetRot());
  m = m * max::TransMatrix(maxnode->GetObjOffsetPos());
  offset = max::RotateXMatrix(max::kHalfPi) * m * max::RotateXMatrix(-max::kHalfPi);
}

bool HostExtraction::MeshPass::index_counts_fit() const {
  for (int count : {vertex_count, obj.GetNumberOfNormals(), obj.GetNumberOfTexVerts(),
                    obj.GetNumberOfColorVerts()}) {
    if (count > kMaxIndexCount) {
      show_error(ex.host_,
                 format("Node %s has more than %d vertices, normals, texture or colour vertices; "
                        "split the mesh.",
                        host_name.c_str(), kMaxIndexCount),
                 "Node Export Error");
      return false;
    }
  }
  return true;
}

void HostExtraction::MeshPass::read_arrays() {
  // Normals into the node's frame: the transposed rotation of its world
  // transform (inverse, transpose, inverse).
  Matrix3 world = node.GetWorldTM(max::TIME_NegInfinity);
  Matrix3 normal_tm;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) normal_tm[r][c] = world[c][r];
  }
  normal_tm.SetTrans({});

  std::vector<Vec3>& p = positions.edit();
  p.resize(vertex_count);
  for (int i = 0; i < vertex_count; ++i) p[i] = to_vec3(obj.GetVertex(i, true) * offset);
  if (maxnode->GetCVertMode() && obj.GetNumberOfColorVerts() > 0) {
    std::vector<VertexColor>& c = colors.edit();
    c.reserve(obj.GetNumberOfColorVerts());
    for (int i = 0; i < obj.GetNumberOfColorVerts(); ++i)
      c.push_back(vertex_color(obj.GetColorVertex(i)));
  }
  std::vector<Vec3>& n = normals.edit();
  n.reserve(obj.GetNumberOfNormals());
  for (int i = 0; i < obj.GetNumberOfNormals(); ++i) {
    n.push_back(to_vec3(max::Normalize(max::VectorTransform(normal_tm, obj.GetNormal(i)))));
  }
  std::vector<TexCoord>& tc = texcoords.edit();
  tc.reserve(obj.GetNumberOfTexVerts());
  for (int i = 0; i < obj.GetNumberOfTexVerts(); ++i) {
    Point3 t = obj.GetTexVertex(i);
    tc.push_back({t.x, 1.0f - t.y});
  }
  faces.resize(std::max(0, obj.GetNumberOfFaces()));
  for (std::size_t i = 0; i < faces.size(); ++i) faces[i] = obj.GetFace(static_cast<int>(i));
  // A face belongs to set k by its material id: sorted out once rather than
  // once per set.
  if (multi && !morpher && set_count > 0) {
    set_start.assign(static_cast<std::size_t>(set_count) + 1, 0);
    for (const max::FaceEx& f : faces) {
      const int k = f.matID % set_count;
      if (k >= 0) ++set_start[static_cast<std::size_t>(k) + 1];
    }
    for (std::size_t k = 1; k < set_start.size(); ++k) set_start[k] += set_start[k - 1];
    set_faces.resize(set_start.back());
    std::vector<std::size_t> fill(set_start.begin(), set_start.end() - 1);
    for (std::size_t i = 0; i < faces.size(); ++i) {
      const int k = faces[i].matID % set_count;
      if (k >= 0) set_faces[fill[k]++] = i;
    }
  }
}

PolygonSet HostExtraction::MeshPass::make_set(int k) {
  ex.set_names_.sync(scene.polygons.size(), [&](std::size_t i) -> const std::string& {
    return scene.polygons[i].node_name;
  });
  if (!multi && ex.set_names_.contains(sanitize_name(host_name)))
    scene.add_warning("Warning: Node name changed: " + host_name);
  PolygonSet set;
  set.node_name = ex.set_names_.unique(host_name, nullptr);
  set.positions = positions;
  set.colors = colors;
  set.normals = normals;
  set.texcoords = texcoords;
  set.node_id = node.GetNodeID();
  // A face belongs to set k by its material id; a face whose three corners
  // are not three positions is dropped but still counts as the set's.
  bool any_face = false;
  const bool split = !set_start.empty();
  const std::size_t first = split ? set_start[k] : 0;
  const std::size_t count = split ? set_start[k + 1] - first : faces.size();
  for (std::size_t i = 0; i < count; ++i) {
    const max::FaceEx& f = faces[split ? set_faces[first + i] : i];
    any_face = true;
    if (f.vert[0] == f.vert[1] || f.vert[1] == f.vert[2] || f.vert[0] == f.vert[2]) continue;
    NTriFace tri;
    for (int c = 0; c < 3; ++c) {
      tri.corners[c] = {
          static_cast<std::uint16_t>(f.vert[c]), static_cast<std::uint16_t>(f.color[c]),
          static_cast<std::uint16_t>(f.texCoord[c]), static_cast<std::uint16_t>(f.norm[c])};
    }
    const Vec3& p0 = positions[f.vert[0]];
    const Vec3& p1 = positions[f.vert[1]];
    const Vec3& p2 = positions[f.vert[2]];
    tri.normal = normalize(cross(p1 - p0, p2 - p0));
    set.triangles.push_back(tri);
  }
  set.deleted = !any_face || legacy_bone;
  return set;
}

bool HostExtraction::MeshPass::attach_skin(PolygonSet& set) const {
  if (!obj.IsObjectSkinned()) return true;
  if (!has_bones(obj, vertex_count)) {
    scene.add_warning("Warning: Skinning modifier applied to node \"" + host_name +
                      "\" with no bones attached.");
    return true;
  }
  if (!read_skin_weights(ex.host_, *obj.GetIGameSkin(), vertex_count, node.GetNodeID(), host_name,
                         set.weights)) {
    return false;
  }
  if (options.force_full_weight) force_full_weight(set.weights);
  // Single-bone vertices move into their bone's space at the first frame.
  const max::TimeValue t0 = ex.frame_time(scene.start_frame);
  const Matrix3 mesh_tm = node.GetWorldTM(t0);
  const max::IGameSkin* skin = obj.GetIGameSkin();
  std::unordered_map<int, IGameNode*> bones;
  for (int v = 0; v < vertex_count; ++v) {
    for (int b = 0; b < skin->GetNumberOfBones(v); ++b)
      bones.emplace(skin->GetBoneID(v, b), nullptr);
  }
  for (int v = 0; v < vertex_count; ++v) {
    for (int b = 0; b < skin->GetNumberOfBones(v); ++b) {
      IGameNode*& slot = bones[skin->GetBoneID(v, b)];
      if (slot == nullptr) slot = skin->GetIGameBone(v, b);
    }
  }
  auto bone_tm = [&](int id) {
    auto it = bones.find(id);
    if (id == node.GetNodeID() || it == bones.end() || it->second == nullptr) return mesh_tm;
    return it->second->GetWorldTM(t0);
  };
  place_single_bone_vertices(set, mesh_tm, bone_tm);
  return true;
}

void HostExtraction::MeshPass::assign_material(PolygonSet& set,
                                               const max::IGameMaterial* sub) const {
  if (!is_platform_material(sub)) {
    set.material_name = "dummy_material";
    set.priority = 0;
    if (!scene.materials.empty()) scene.materials[0].unreferenced = false;
    return;
  }
  auto it = ex.material_names_.find(sub);
  set.material_name = it != ex.material_names_.end() ? it->second : "dummy_material";
  if (!set.deleted && !scene.materials.empty()) {
    const int at = ex.material_at_->position(set.material_name, ex.next_material_);
    ex.next_material_ = at + 1;
    SceneMaterial& m = scene.materials[static_cast<std::size_t>(at)];
    set.priority = m.priority;
    m.unreferenced = false;
  }
}

void HostExtraction::MeshPass::sample_morph_weights(PolygonSet& set,
                                                    const max::IGameMaterial* sub) const {
  if (sub == nullptr || sub->ClassID() != max::kKavroMorpherClassID || object == nullptr) return;
  // The first Morpher modifier gives the 100 channel weights at every frame.
  for (int i = 0; i < object->NumModifiers(); ++i) {
    const max::Modifier* mod = object->GetModifier(i);
    if (mod->ClassID() != max::kMorpherClassID) continue;
    set.morph_weights.assign(100, {});
    for (int ch = 0; ch < 100; ++ch) {
      for (int f = scene.start_frame; f <= scene.end_frame; ++f) {
        set.morph_weights[ch].push_back(mod->GetChannelWeight(ch, ex.frame_time(f)));
      }
    }
    return;
  }
}

void HostExtraction::MeshPass::rebuild_host_quads(std::size_t first_set) const {
  if ((options.triangulation != Triangulation::kAsIs &&
       options.triangulation != Triangulation::kAsIsChecking) ||
      object == nullptr) {
    return;
  }
  max::Object* editable = maxnode->GetObjectRef();
  const max::PolyObject* poly =
      editable->CanConvertToType(max::kEditablePolyClassID) ? editable->ConvertToPoly(0) : nullptr;
  if (poly == nullptr) return;
  const Matrix3 to_y = max::RotateXMatrix(-max::kHalfPi);
  std::vector<std::array<Vec3, 4>> quads;
  bool higher = false;
  for (int f = 0; f < poly->NumFaces(); ++f) {
    int degree = poly->FaceDegree(f);
    if (degree > 4) higher = true;
    if (degree != 4) continue;
    std::array<Vec3, 4> corners;
    for (int c = 0; c < 4; ++c) {
      corners[c] = to_vec3(poly->GetVert(poly->FaceVertex(f, c)) * to_y * offset);
    }
    quads.push_back(corners);
  }
  if (higher) {
    scene.add_warning(
        "Warning: Polygons of a higher order than quadrilateral were found on node \"" + host_name +
        "\" and have been converted to triangles.");
  }
  for (std::size_t s = first_set; s < scene.polygons.size(); ++s) {
    rebuild_quads(scene.polygons[s], quads, options.triangulation == Triangulation::kAsIsChecking);
  }
}

bool HostExtraction::extract_mesh_node(ExportScene& scene, const ExportOptions& options,
                                       IGameNode* node) {
  if (is_subdivision(node, true)) return true;
  IGameObject* obj = node->GetIGameObject();
  if (obj == nullptr) return true;
  HostObjectRelease release(*node);
  if (obj->GetIGameType() != max::IGAME_MESH || !obj->InitializeData()) return true;

  MeshPass pass(*this, scene, options, *node, *obj);
  if (!pass.index_counts_fit()) return false;
  pass.read_arrays();
  const std::size_t first_set = scene.polygons.size();
  for (int k = 0; k < pass.set_count; ++k) {
    const max::IGameMaterial* sub = pass.multi ? pass.material->GetSubMaterial(k) : pass.material;
    PolygonSet set = pass.make_set(k);
    if (!pass.attach_skin(set)) return false;
    pass.assign_material(set, sub);
    pass.sample_morph_weights(set, sub);
    compute_set_box(set);
    scene.polygons.push_back(std::move(set));
  }
  pass.rebuild_host_quads(first_set);
  return true;
}

}  // namespace kavro
