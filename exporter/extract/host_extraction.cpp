#include "exporter/extract/host_extraction.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/host.h"

namespace kavro {
namespace {

using max::IGameNode;
using max::IGameObject;
using max::Matrix3;
using max::Point3;

bool is_nurbs_curve(max::Class_ID id) {
  return id == max::kNurbsCurveClassID1 || id == max::kNurbsCurveClassID2;
}

}  // namespace

HostExtraction::HostExtraction(std::unique_ptr<max::HostScene> scene, host::Host& host)
    : scene_(std::move(scene)), host_(host) {}

HostExtraction::~HostExtraction() {
  switch_on_skins();
  release();
}

SceneRange HostExtraction::scene_range() {
  max::IGameScene& ig = scene_->GetIGameInterface();
  SceneRange r;
  r.start_time = ig.GetSceneStartTime();
  r.end_time = ig.GetSceneEndTime();
  r.ticks_per_frame = ig.GetSceneTicks();
  return r;
}

std::string HostExtraction::scene_file_name() {
  return scene_->GetIGameInterface().GetSceneFileName();
}

int HostExtraction::top_level_node_count() {
  return scene_->GetIGameInterface().GetTopLevelNodeCount();
}

void HostExtraction::initialise(bool export_all) {
  max::IGameScene& ig = scene_->GetIGameInterface();
  max::Interface& ip = scene_->GetCOREInterface();
  export_all_ = export_all;
  ticks_ = ig.GetSceneTicks() > 0 ? ig.GetSceneTicks() : 160;
  released_ = false;
  // IGame hands out everything in its Y-up frame (the views always do).
  if (export_all) {
    ig.InitialiseIGame();
    return;
  }
  // Skinned nodes, walking the scene from its root depth first.
  auto skin_of = [](const max::INode* n) -> max::Modifier* {
    const max::Object* o = n->GetObjectRef();
    if (o == nullptr) return nullptr;
    for (int i = 0; i < o->NumModifiers(); ++i) {
      if (o->GetModifier(i)->ClassID() == max::kSkinClassID) return o->GetModifier(i);
    }
    return nullptr;
  };
  std::vector<max::INode*> list;
  std::unordered_set<const max::INode*> listed;
  auto add = [&](max::INode* n) {
    if (n != nullptr && listed.insert(n).second) list.push_back(n);
  };
  for (int i = 0; i < ip.GetSelNodeCount(); ++i) {
    max::INode* n = ip.GetSelNode(i);
    add(n);
    if (max::Modifier* skin = n != nullptr ? skin_of(n) : nullptr) {
      for (int b = 0; b < skin->GetNumBones(); ++b) add(skin->GetBone(b));
    }
  }
  // Only the topmost listed nodes remain: their hierarchies come along.
  std::vector<max::INode*> tops;
  for (max::INode* n : list) {
    bool below = false;
    for (const max::INode* p = n->GetParentNode(); p != nullptr && !below; p = p->GetParentNode()) {
      below = listed.count(p) != 0;
    }
    if (!below) tops.push_back(n);
  }
  ig.InitialiseIGame(tops);
  ig.SetStaticFrame(0);
}

void HostExtraction::release() {
  if (released_) return;
  scene_->GetIGameInterface().ReleaseIGame();
  released_ = true;
  // The name and material indexes serve extraction only (the next one
  // builds them anew), and the IGame objects they point at are gone: they
  // need not stay beside the scene model while the files are written.
  material_names_ = {};
  nodes_by_id_ = {};
  material_record_names_.clear();
  set_names_.clear();
  node_names_.clear();
  material_at_.reset();
  color_frames_ = {};
  alpha_frames_ = {};
}

void HostExtraction::switch_off_skins() {
  switched_skins_.clear();
  for (IGameNode* n : scene_->GetIGameInterface().GetIGameNodeByType(max::IGAME_MESH)) {
    IGameObject* obj = n->GetIGameObject();
    if (obj == nullptr || !obj->IsObjectSkinned() || obj->GetMaxObject() == nullptr) continue;
    max::Object* o = obj->GetMaxObject();
    for (int i = 0; i < o->NumModifiers(); ++i) {
      max::Modifier* m = o->GetModifier(i);
      if (m->ClassID() == max::kSkinClassID && m->IsEnabled()) {
        m->DisableMod();
        switched_skins_.push_back(m);
      }
    }
  }
}

void HostExtraction::switch_on_skins() {
  for (max::Modifier* m : switched_skins_) m->EnableMod();
  switched_skins_.clear();
}

// ---------------------------------------------------------------------------
// Nodes and meshes.

bool HostExtraction::passes_filter(IGameNode* node, bool geometry) const {
  const max::INode* maxnode = node->GetMaxNode();
  bool no_cut = false;
  if (maxnode != nullptr && maxnode->GetUserPropBool("Kvs_no_cut", no_cut) && no_cut) return true;
  if (node->IsTarget()) return false;
  if (node->IsNodeHidden()) {
    bool visible_child = false;
    for (int i = 0; i < node->GetChildCount() && !visible_child; ++i) {
      visible_child = !node->GetNodeChild(i)->IsNodeHidden();
    }
    if (!visible_child) return false;
  }
  if (geometry && maxnode != nullptr && maxnode->GetBoneNodeOnOff()) return false;
  return true;
}

bool HostExtraction::is_subdivision(IGameNode* node, bool report) {
  bool subdivision = false;
  const max::INode* maxnode = node->GetMaxNode();
  const max::Object* o = maxnode != nullptr ? maxnode->GetObjectRef() : nullptr;
  if (o != nullptr && o->ClassID() == max::kHSDSObjectClassID) subdivision = true;
  IGameObject* obj = node->GetIGameObject();
  for (int i = 0; obj != nullptr && !subdivision && i < obj->GetNumModifiers(); ++i) {
    std::string name = obj->GetIGameModifier(i)->GetInternalName();
    subdivision = name == "SmoothMod" || name == "Subdivide";
  }
  if (subdivision && report) {
    show_error(host_, "Error: Can't export subdivision surface. " + node->GetName(),
               "Subdivision Modifier Applied");
  }
  return subdivision;
}

bool HostExtraction::extract_nodes(ExportScene& scene, const ExportOptions& options) {
  max::IGameScene& ig = scene_->GetIGameInterface();
  nodes_by_id_.clear();
  set_names_.clear();
  node_names_.clear();
  material_at_.emplace(scene.materials);

  // Mesh pass.
  std::vector<IGameNode*> meshes = ig.GetIGameNodeByType(max::IGAME_MESH);
  std::size_t sets = 0;
  for (IGameNode* n : meshes) {
    if (!passes_filter(n, true)) continue;
    max::IGameMaterial* m = n->GetNodeMaterial();
    sets +=
        m != nullptr && m->IsMultiType() ? static_cast<std::size_t>(m->GetSubMaterialCount()) : 1;
  }
  scene.polygons.reserve(sets);
  float step = scene.step_size(static_cast<int>(meshes.size()));
  for (IGameNode* n : meshes) {
    scene.advance(step, "Exporting Meshes");
    if (!passes_filter(n, true)) continue;
    if (!extract_mesh_node(scene, options, n)) return false;
  }
  scene.finish_stage("Exporting Meshes");

  // Node pass.
  scene.nodes.reserve(std::max(0, ig.GetTotalNodeCount()));
  int previous_root = -1;
  for (int i = 0; i < ig.GetTopLevelNodeCount(); ++i) {
    IGameNode* n = ig.GetTopLevelNode(i);
    if (!passes_filter(n, false)) continue;
    SceneNode record;
    record.id = n->GetNodeID();
    record.parent = -1;
    record.brother_prev = previous_root;
    if (previous_root != -1)
      scene.nodes[scene.node_position(previous_root)].brother_next = record.id;
    scene.nodes.push_back(std::move(record));
    previous_root = n->GetNodeID();
    if (!fill_node(scene, n, scene.node_count() - 1, 0)) return false;
  }
  scene.finish_stage("Exporting Nodes");
  if (scene.nodes.empty()) {
    show_error(host_, "No effective node", "Node Export Error");
    return false;
  }
  order_hierarchy(scene.nodes);
  if (!export_all_) adjust_unselected(scene);
  return true;
}

void HostExtraction::add_nurbs_warnings(ExportScene& scene, IGameNode* node) {
  const max::INode* maxnode = node->GetMaxNode();
  const max::Object* o = maxnode != nullptr ? maxnode->GetObjectRef() : nullptr;
  if (o == nullptr) return;
  const std::string& name = node->GetName();
  max::Class_ID id = o->ClassID();
  if (is_nurbs_curve(id)) scene.add_warning("Warning: Can't export NURBS curve.");
  if (is_nurbs_curve(id)) {
    scene.add_warning("Warning: Can't export NURBS curve: " + name);
  } else if (id == max::kNurbsSurfaceClassID) {
    scene.add_warning("Warning: Can't export NURBS surface: " + name);
  } else if (id == max::kNurbsSetClassID) {
    std::vector<int> kinds = o->GetNurbsSetKinds(0);
    bool curve = std::find(kinds.begin(), kinds.end(), max::kNurbsCurveKind) != kinds.end();
    scene.add_warning(
        (curve ? "Warning: Can't export NURBS curve: " : "Warning: Can't export NURBS surface: ") +
        name);
  }
}

bool HostExtraction::fill_node(ExportScene& scene, IGameNode* node, int index, int depth) {
  const std::string& host_name = node->GetName();
  if (host_name.empty()) {
    show_error(host_, "Node name is empty", "Node Export Error");
    return false;
  }
  nodes_by_id_[node->GetNodeID()] = node;
  const max::INode* maxnode = node->GetMaxNode();
  {
    SceneNode& record = scene.nodes[index];
    node_names_.sync(static_cast<std::size_t>(index),
                     [&](std::size_t i) -> const std::string& { return scene.nodes[i].name; });
    record.name = node_names_.unique(host_name, nullptr);
  }
  add_nurbs_warnings(scene, node);
  std::string billboard;
  bool no_cut = false;
  int billboard_value = 0;
  if (maxnode->GetUserPropString("Kvs_billboard", billboard)) {
    billboard_value = billboard == "Y-Billboard" ? 2 : billboard == "Billboard" ? 1 : 0;
  }
  bool has_no_cut = maxnode->GetUserPropBool("Kvs_no_cut", no_cut);
  int kind = kNodeNull;
  if (!is_subdivision(node, true)) {
    IGameObject* obj = node->GetIGameObject();
    const max::Object* o = maxnode->GetObjectRef();
    switch (obj != nullptr ? obj->GetIGameType() : max::IGAME_UNKNOWN) {
      case max::IGAME_MESH:
        kind = o != nullptr && o->ClassID() == max::kLegacyBoneClassID ? kNodeNull : kNodeMesh;
        break;
      case max::IGAME_BONE:
        kind = kNodeJoint;
        break;
      case max::IGAME_IKCHAIN:
        kind = kNodeChain;
        break;
      default:
        kind = kNodeNull;
        break;
    }
    if (maxnode->GetBoneNodeOnOff()) kind = kNodeNull;
    node->ReleaseIGameObject();
  }
  {
    SceneNode& record = scene.nodes[index];
    record.billboard = billboard_value;
    record.no_cut = has_no_cut && no_cut ? 1 : 0;
    record.kind = kind;
    record.child = -1;
  }
  sample_node(scene, node, index);

  const int id = node->GetNodeID();
  int previous = -1;
  for (int i = 0; i < node->GetChildCount(); ++i) {
    IGameNode* c = node->GetNodeChild(i);
    if (!passes_filter(c, false)) continue;
    SceneNode record;
    record.id = c->GetNodeID();
    record.parent = id;
    record.brother_prev = previous;
    record.brother_next = -1;
    scene.nodes.push_back(std::move(record));
    const int child_index = scene.node_count() - 1;
    if (previous == -1) {
      scene.nodes[index].child = c->GetNodeID();
    } else {
      scene.nodes[scene.node_position(previous)].brother_next = c->GetNodeID();
    }
    previous = c->GetNodeID();
    if (!fill_node(scene, c, child_index, depth + 1)) return false;
  }
  // The children have their samples: the transforms the host kept for them
  // can go, and their memory serves the next nodes.
  node->GetMaxNode()->ReleaseKeptTransforms();
  return true;
}

// ---------------------------------------------------------------------------
// Transform and visibility samples.

void HostExtraction::sample_node(ExportScene& scene, IGameNode* node, int index) {
  // The skins deform again while transforms are sampled.
  for (max::Modifier* m : switched_skins_) m->EnableMod();
  const max::INode* maxnode = node->GetMaxNode();
  SceneNode& n = scene.nodes[index];
  const std::size_t frames = std::max(0, scene.frame_count);
  // Filled frame after frame: appended to reserved room rather than set
  // over zeros.
  for (auto* a : {&n.scale_frames, &n.rotate_frames, &n.translate_frames}) {
    a->clear();
    a->reserve(frames);
  }
  n.visibility_frames.clear();
  n.visibility_frames.reserve(frames);
  auto add = [&n](const TransformSample& s) {
    n.scale_frames.push_back(s.scale);
    n.rotate_frames.push_back(s.rotate);
    n.translate_frames.push_back(s.translate);
  };
  // Two frames at a time: their arithmetic shares the registers.
  std::size_t i = 0;
  for (; i + 1 < frames; i += 2) {
    const max::TimeValue t0 = frame_time(scene.start_frame + static_cast<int>(i));
    const max::TimeValue t1 = frame_time(scene.start_frame + static_cast<int>(i + 1));
    Matrix3 world[2], parent[2];
    maxnode->GetNodeTMs(t0, t1, world);
    maxnode->GetParentTMs(t0, t1, parent);
    n.visibility_frames.push_back(maxnode->GetVisibility(t0) > 0 ? 1 : 0);
    n.visibility_frames.push_back(maxnode->GetVisibility(t1) > 0 ? 1 : 0);
    TransformSample s[2];
    local_sample_pair(world, parent, s);
    add(s[0]);
    add(s[1]);
  }
  for (; i < frames; ++i) {
    max::TimeValue t = frame_time(scene.start_frame + static_cast<int>(i));
    Matrix3 local = maxnode->GetNodeTM(t) * max::Inverse(maxnode->GetParentTM(t));
    add(decompose_sample(carry_to_y_up(local)));
    n.visibility_frames.push_back(maxnode->GetVisibility(t) > 0 ? 1 : 0);
  }
  if (!n.visibility_frames.empty() && n.visibility_frames[0] == 1) {
    n.work_flags |= kVisibleAtFirstFrame;
  } else {
    n.work_flags &= ~kVisibleAtFirstFrame;
  }
  if (frames == 0) {
    n.scale = {1, 1, 1};
    n.rotate = {};
    n.translate = {};
  } else {
    // GetWorldTM is already in the Y-up frame, so node * inverse(parent) is
    // the carried local matrix.
    max::TimeValue t0 = frame_time(scene.start_frame);
    Matrix3 parent;
    const max::INode* host_parent = maxnode->GetParentNode();
    if (host_parent != nullptr && !host_parent->IsRootNode()) {
      if (IGameNode* p = scene_->GetIGameInterface().GetIGameNode(host_parent)) {
        parent = p->GetWorldTM(t0);
      } else {
        parent = carry_to_y_up(host_parent->GetNodeTM(t0));
      }
    }
    TransformSample base = decompose_sample(node->GetWorldTM(t0) * max::Inverse(parent));
    n.scale = base.scale;
    n.rotate = base.rotate;
    n.translate = base.translate;
  }
  for (max::Modifier* m : switched_skins_) m->DisableMod();
}

void HostExtraction::adjust_unselected(ExportScene& scene) {
  std::unordered_set<int> exported;
  for (const SceneNode& n : scene.nodes) exported.insert(n.id);
  for (SceneNode& n : scene.nodes) {
    auto it = nodes_by_id_.find(n.id);
    if (it == nodes_by_id_.end()) continue;
    const max::INode* maxnode = it->second->GetMaxNode();
    if (maxnode->Selected()) continue;
    bool exported_ancestor = false;
    for (const max::INode* p = maxnode->GetParentNode();
         p != nullptr && !p->IsRootNode() && !exported_ancestor; p = p->GetParentNode()) {
      exported_ancestor = exported.count(p->GetHandle()) != 0;
    }
    if (exported_ancestor) continue;
    for (std::size_t i = 0; i < n.scale_frames.size(); ++i) {
      max::TimeValue t = frame_time(scene.start_frame + static_cast<int>(i));
      Matrix3 local = sample_matrix({n.scale_frames[i], n.rotate_frames[i], n.translate_frames[i]});
      TransformSample s = decompose_sample(local * carry_to_y_up(maxnode->GetParentTM(t)));
      n.scale_frames[i] = s.scale;
      n.rotate_frames[i] = s.rotate;
      n.translate_frames[i] = s.translate;
    }
  }
}

// ---------------------------------------------------------------------------
// Lights and cameras.

void HostExtraction::extract_lights(ExportScene& scene) {
  max::IGameScene& ig = scene_->GetIGameInterface();
  std::vector<IGameNode*> lights = ig.GetIGameNodeByType(max::IGAME_LIGHT);
  float step = scene.step_size(static_cast<int>(lights.size()));
  for (IGameNode* n : lights) {
    scene.advance(step, "Exporting Lights");
    IGameObject* obj = n->GetIGameObject();
    if (obj == nullptr || n->IsTarget()) continue;
    if (obj->GetLightType() != max::IGAME_DIR || !obj->IsLightOn()) continue;
    Matrix3 world = n->GetWorldTM(max::TIME_NegInfinity);
    Point3 row = world.GetRow(2);
    SceneLight light;
    light.direction = {row.x, -row.z, row.y};
    Point3 color;
    if (obj->GetLightColor(max::TIME_NegInfinity, color)) {
      light.r = color_byte(static_cast<double>(color.x));
      light.g = color_byte(static_cast<double>(color.y));
      light.b = color_byte(static_cast<double>(color.z));
    }
    scene.lights.push_back(light);
    n->ReleaseIGameObject();
  }
  scene.finish_stage("Exporting Lights");
  // Cameras at the first exported frame.
  max::TimeValue t0 = frame_time(scene.start_frame);
  for (IGameNode* n : ig.GetIGameNodeByType(max::IGAME_CAMERA)) {
    IGameObject* obj = n->GetIGameObject();
    if (obj == nullptr) continue;
    SceneCamera cam;
    cam.position = to_vec3(n->GetWorldTM(t0).GetTrans());
    Point3 target;
    cam.lookat = obj->GetCameraTarget(t0, target) ? to_vec3(target) : cam.position;
    cam.twist = obj->GetCameraRoll(t0);
    cam.projection = obj->IsOrtho() ? 1 : 0;
    cam.near_plane = obj->GetCameraNearClip();
    cam.far_plane = obj->GetCameraFarClip();
    cam.fovy = obj->GetCameraFOV();
    cam.aspect = obj->GetCameraAspect();
    cam.ortho_width = obj->GetCameraOrthoWidth();
    cam.ortho_height = obj->GetCameraOrthoHeight();
    scene.cameras.push_back(cam);
    n->ReleaseIGameObject();
  }
}

}  // namespace kavro
