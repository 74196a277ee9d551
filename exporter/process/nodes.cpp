// Node passes: world root, cull, merge, placing of multi-influence vertices,
// skinning to the first frame, unite, and the node volumes.
//
// Nodes refer to each other by id. Every link is followed through a
// NodeIndex over the current array (first node with the id wins), rebuilt
// whenever the array is replaced. Walks over links are bounded by the node
// count, so a damaged hierarchy (a loop of links) cannot hang a pass.

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "exporter/process/passes.h"

namespace kavro::process {
namespace {

// Position of the node a link names; -1 for "none" or an id that no node has.
int link(const NodeIndex& index, int id) {
  return id == -1 ? -1 : index.position(id);
}

Vec3 first_or(const std::vector<Vec3>& frames, Vec3 fallback) {
  return frames.empty() ? fallback : frames[0];
}

Mat4 base_local(const SceneNode& n) {
  return local_matrix(n.scale, n.rotate, n.translate);
}

Mat4 first_frame_local(const SceneNode& n) {
  return local_matrix(first_or(n.scale_frames, n.scale), first_or(n.rotate_frames, n.rotate),
                      first_or(n.translate_frames, n.translate));
}

Mat4 frame_local(const SceneNode& n, std::size_t f) {
  return local_matrix(n.scale_frames[f], n.rotate_frames[f], n.translate_frames[f]);
}

// Inverse of the base local matrix, built as S^-1 * R^T * T^-1.
Mat4 base_local_inverse(const SceneNode& n) {
  Vec3 inv_scale{1.0f / n.scale.x, 1.0f / n.scale.y, 1.0f / n.scale.z};
  return scale_matrix(inv_scale) * transpose(rotation_matrix(n.rotate)) *
         translate_matrix(Vec3{} - n.translate);
}

// True when the columns of the matrix's 3x3 part are not perpendicular:
// the cosine of some pair's angle exceeds the 1/4096 that rounding allows.
// A zero column has no direction and counts as perpendicular.
bool has_shear(const Mat4& m) {
  Vec3 col[3];
  for (int c = 0; c < 3; ++c) col[c] = normalize(Vec3{m(0, c), m(1, c), m(2, c)});
  constexpr float kLimit = 1.0f / 4096.0f;
  return std::fabs(dot(col[0], col[1])) > kLimit || std::fabs(dot(col[0], col[2])) > kLimit ||
         std::fabs(dot(col[1], col[2])) > kLimit;
}

Mat4 zero_matrix() {
  Mat4 m;
  m.m.fill(0.0f);
  return m;
}

// Combines one matrix per node along the parent links. Going down (from the
// root), a node's result is its parent's result times its own matrix; going
// up (from the node), its own matrix times its parent's result. A node whose
// parent cannot be found, or whose parent chain loops, starts the chain.
std::vector<Mat4> accumulate(const std::vector<SceneNode>& nodes, const NodeIndex& index,
                             const std::vector<Mat4>& local, bool from_root) {
  const int n = static_cast<int>(nodes.size());
  std::vector<Mat4> out(nodes.size());
  std::vector<char> state(nodes.size(), 0);  // 0 to do, 1 on the current chain, 2 done
  std::vector<int> chain;
  for (int start = 0; start < n; ++start) {
    if (state[start] == 2) continue;
    chain.clear();
    int p = start;
    while (p >= 0 && state[p] == 0) {
      state[p] = 1;
      chain.push_back(p);
      p = link(index, nodes[p].parent);
    }
    const Mat4* above = (p >= 0 && state[p] == 2) ? &out[p] : nullptr;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const int q = *it;
      if (above == nullptr) {
        out[q] = local[q];
      } else {
        out[q] = from_root ? *above * local[q] : local[q] * *above;
      }
      state[q] = 2;
      above = &out[q];
    }
  }
  return out;
}

// For every node: whether `base` holds for it, for anything below it, or for
// a later brother or anything below one, following the first-child and
// next-brother links. Computed once per node; a link back into the walk
// in progress contributes nothing.
std::vector<char> reach(const std::vector<SceneNode>& nodes, const NodeIndex& index,
                        const std::vector<char>& base) {
  const int n = static_cast<int>(nodes.size());
  std::vector<char> value(nodes.size(), 0);
  std::vector<char> state(nodes.size(), 0);  // 0 to do, 1 in progress, 2 done
  struct Frame {
    int pos;
    int next_link;  // 0: first child, 1: next brother, 2: both followed
  };
  std::vector<Frame> stack;
  for (int start = 0; start < n; ++start) {
    if (state[start] != 0) continue;
    state[start] = 1;
    stack.push_back({start, 0});
    while (!stack.empty()) {
      Frame& top = stack.back();
      const SceneNode& node = nodes[top.pos];
      if (top.next_link < 2) {
        const int id = top.next_link == 0 ? node.child : node.brother_next;
        ++top.next_link;
        const int q = link(index, id);
        if (q >= 0 && state[q] == 0) {
          state[q] = 1;
          stack.push_back({q, 0});  // `top` is not used after this
        }
        continue;
      }
      char v = base[top.pos];
      for (int id : {node.child, node.brother_next}) {
        const int q = link(index, id);
        if (q >= 0 && state[q] == 2 && value[q]) v = 1;
      }
      value[top.pos] = v;
      state[top.pos] = 2;
      stack.pop_back();
    }
  }
  return value;
}

// Calls f(position) for each direct child of the node at `pos`, following
// the brother links from its first child.
template <class F>
void for_each_child(std::vector<SceneNode>& nodes, const NodeIndex& index, int pos, F f) {
  int c = link(index, nodes[pos].child);
  for (std::size_t steps = 0; c >= 0 && steps < nodes.size(); ++steps) {
    const int next = link(index, nodes[c].brother_next);
    f(c);
    c = next;
  }
}

// Takes a node marked for removal out of the hierarchy: its children take
// its place among its brothers (or under its parent) and get its parent.
void unlink(std::vector<SceneNode>& nodes, const NodeIndex& index, int pos) {
  SceneNode& node = nodes[pos];
  auto at = [&](int id) -> SceneNode* {
    const int q = link(index, id);
    return q < 0 ? nullptr : &nodes[q];
  };
  SceneNode* parent = at(node.parent);
  SceneNode* first = at(node.child);
  SceneNode* prev = at(node.brother_prev);
  SceneNode* next = at(node.brother_next);
  const bool has_children = first != nullptr;

  if (node.brother_prev == -1 && node.parent != -1) {
    if (parent != nullptr) parent->child = has_children ? node.child : node.brother_next;
  } else if (prev != nullptr) {
    prev->brother_next = has_children ? node.child : node.brother_next;
  }

  if (has_children) {
    first->brother_prev = node.brother_prev;
    SceneNode* last = nullptr;
    int c = link(index, node.child);
    for (std::size_t steps = 0; c >= 0 && steps < nodes.size(); ++steps) {
      nodes[c].parent = node.parent;
      last = &nodes[c];
      c = link(index, nodes[c].brother_next);
    }
    last->brother_next = node.brother_next;
    if (next != nullptr) next->brother_prev = last->id;
  } else if (next != nullptr) {
    next->brother_prev = node.brother_prev;
  }
}

// Makes nodes[0], a fresh world root, the parent of every root after it;
// its first child is the root that has no previous brother.
void attach_roots(std::vector<SceneNode>& nodes) {
  SceneNode& world = nodes[0];
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    SceneNode& n = nodes[i];
    if (n.parent != -1) continue;
    if (world.child == -1 && n.brother_prev == -1) world.child = n.id;
    n.parent = kWorldRootId;
  }
}

// Splices the nodes marked for removal out of the hierarchy and replaces the
// array by the kept nodes, behind a world root when two or more roots are
// kept.
void remove_marked(ExportScene& scene, const NodeIndex& index) {
  std::vector<SceneNode>& nodes = scene.nodes;
  auto removed = [](const SceneNode& n) { return (n.work_flags & kRemoveBit) != 0; };
  int kept_roots = 0;
  for (const SceneNode& n : nodes) {
    if (!removed(n) && n.parent == -1) ++kept_roots;
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (removed(nodes[i])) unlink(nodes, index, static_cast<int>(i));
  }
  // Kept nodes move down in place, keeping their order.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (removed(nodes[i])) continue;
    if (kept != i) nodes[kept] = std::move(nodes[i]);
    ++kept;
  }
  nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(kept), nodes.end());
  if (kept_roots >= 2) {
    nodes.insert(nodes.begin(), make_world_root(scene.frame_count));
    attach_roots(nodes);
  }
}

void clear_scratch_bits(std::vector<SceneNode>& nodes) {
  for (SceneNode& n : nodes) n.work_flags &= ~kScratchBits;
}

}  // namespace

int count_roots(const std::vector<SceneNode>& nodes) {
  return static_cast<int>(
      std::count_if(nodes.begin(), nodes.end(), [](const SceneNode& n) { return n.parent == -1; }));
}

SceneNode make_world_root(int frame_count) {
  const std::size_t frames = std::max(0, frame_count);
  SceneNode r;
  r.name = "world_root";
  r.id = kWorldRootId;
  r.kind = kNodeNull;
  r.scale_frames.assign(frames, Vec3{1, 1, 1});
  r.rotate_frames.assign(frames, Vec3{});
  r.translate_frames.assign(frames, Vec3{});
  r.visibility_frames.assign(frames, 1);
  r.work_flags = 0;  // not even the first-frame visibility bit
  r.world_matrix = r.world_rotation = r.inverse_bind_matrix = r.inverse_bind_rotation =
      zero_matrix();
  r.scale = {1, 1, 1};
  return r;
}

std::vector<Mat4> base_world_matrices(const std::vector<SceneNode>& nodes, const NodeIndex& index) {
  std::vector<Mat4> local;
  local.reserve(nodes.size());
  for (const SceneNode& n : nodes) local.push_back(base_local(n));
  return accumulate(nodes, index, local, true);
}

std::vector<Mat4> base_world_rotations(const std::vector<SceneNode>& nodes,
                                       const NodeIndex& index) {
  std::vector<Mat4> local;
  local.reserve(nodes.size());
  for (const SceneNode& n : nodes) local.push_back(rotation_matrix(n.rotate));
  return accumulate(nodes, index, local, true);
}

void add_world_root(ExportScene& scene) {
  if (count_roots(scene.nodes) != 1) {
    scene.nodes.insert(scene.nodes.begin(), make_world_root(scene.frame_count));
    attach_roots(scene.nodes);
  }
  scene.finish_stage(kWorldRootLabel);
}

void cull_nodes(ExportScene& scene) {
  std::vector<SceneNode>& nodes = scene.nodes;
  const std::size_t n = nodes.size();
  clear_scratch_bits(nodes);
  NodeIndex index(nodes);

  std::unordered_set<int> owned, named;
  for (const PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    owned.insert(set.node_id);
    for (const SkinInfluence& inf : set.weights)
      named.insert(inf.node_ids.begin(), inf.node_ids.end());
  }

  // A node is referenced when a set's weights name it, something below it,
  // or a later brother of it or something below that brother.
  std::vector<char> is_named(n);
  for (std::size_t i = 0; i < n; ++i) is_named[i] = named.count(nodes[i].id) != 0;
  const std::vector<char> referenced = reach(nodes, index, is_named);

  // Nodes that keep themselves; the others are removed (leaves) or wait for
  // the verdict on their descendants.
  std::vector<char> keeps(n);
  for (std::size_t i = 0; i < n; ++i) {
    SceneNode& node = nodes[i];
    keeps[i] = node.no_cut != 0 || owned.count(node.id) != 0 || referenced[i];
    if (!keeps[i]) node.work_flags |= node.child != -1 ? kUndecidedBit : kRemoveBit;
  }

  // An undecided node stays when anything in its subtree keeps itself.
  const std::vector<char> kept_from = reach(nodes, index, keeps);
  const float step = scene.step_size(static_cast<int>(n));
  for (std::size_t i = 0; i < n; ++i) {
    scene.advance(step, kCullLabel);
    SceneNode& node = nodes[i];
    if ((node.work_flags & kUndecidedBit) == 0) continue;
    node.work_flags &= ~kUndecidedBit;
    const int c = link(index, node.child);
    if (c < 0 || !kept_from[c]) node.work_flags |= kRemoveBit;
  }

  remove_marked(scene, index);
  scene.finish_stage(kCullLabel);
}

void merge_nodes(ExportScene& scene) {
  std::vector<SceneNode>& nodes = scene.nodes;
  const std::size_t n = nodes.size();
  clear_scratch_bits(nodes);
  NodeIndex index(nodes);

  // Every set counts here, deleted or not.
  std::unordered_set<int> used;
  for (const PolygonSet& set : scene.polygons) {
    used.insert(set.node_id);
    for (const SkinInfluence& inf : set.weights)
      used.insert(inf.node_ids.begin(), inf.node_ids.end());
  }

  bool any_removed = false;
  const float step = scene.step_size(static_cast<int>(n));
  for (std::size_t i = 0; i < n; ++i) {
    scene.advance(step, kMergeLabel);
    SceneNode& node = nodes[i];
    if (used.count(node.id) != 0 || node.child == -1) continue;
    const Mat4 node_base = base_local(node);
    auto frames_of = [&](const SceneNode& child) {
      return std::min({node.scale_frames.size(), node.rotate_frames.size(),
                       node.translate_frames.size(), child.scale_frames.size(),
                       child.rotate_frames.size(), child.translate_frames.size()});
    };
    // A scale that is not uniform over a turned child makes a product with
    // shear, which the child's scale, rotation and translation cannot hold:
    // such a node stays.
    bool shear = false;
    for_each_child(nodes, index, static_cast<int>(i), [&](int c) {
      if (c == static_cast<int>(i) || shear) return;
      const SceneNode& child = nodes[c];
      shear = has_shear(node_base * base_local(child));
      const std::size_t frames = frames_of(child);
      for (std::size_t f = 0; f < frames && !shear; ++f)
        shear = has_shear(frame_local(node, f) * frame_local(child, f));
    });
    if (shear) {
      scene.add_warning_f("Warning: Node not merged, its scale would shear its children: %s",
                          node.name.c_str());
      continue;
    }
    node.work_flags |= kRemoveBit;
    any_removed = true;
    // Fold the node's transform into each direct child, frame by frame and
    // for the base transform; the child moves up to the node's parent.
    for_each_child(nodes, index, static_cast<int>(i), [&](int c) {
      if (c == static_cast<int>(i)) return;
      SceneNode& child = nodes[c];
      const std::size_t frames = frames_of(child);
      for (std::size_t f = 0; f < frames; ++f) {
        const Decomposed d = decompose(frame_local(node, f) * frame_local(child, f));
        child.scale_frames[f] = d.scale;
        child.rotate_frames[f] = d.rotate;
        child.translate_frames[f] = d.translate;
      }
      const Decomposed b = decompose(node_base * base_local(child));
      child.scale = b.scale;
      child.rotate = b.rotate;
      child.translate = b.translate;
      child.parent = node.parent;
    });
  }

  if (any_removed) remove_marked(scene, index);
  scene.finish_stage(kMergeLabel);
}

void place_multi_influence_vertices(ExportScene& scene) {
  NodeIndex index(scene.nodes);
  std::vector<Mat4> world;  // computed on the first skinned set
  for (PolygonSet& set : scene.polygons) {
    if (!set.skinned()) continue;
    if (world.empty() && !scene.nodes.empty()) world = base_world_matrices(scene.nodes, index);
    const int owner = link(index, set.node_id);
    const Mat4 w = owner >= 0 ? world[owner] : Mat4::identity();
    const std::size_t count = std::min(set.positions.size(), set.weights.size());
    std::vector<Vec3>* positions = nullptr;  // the set's own, taken on the first change
    for (std::size_t v = 0; v < count; ++v) {
      if (set.weights[v].count() <= 1) continue;
      if (positions == nullptr) positions = &set.positions.edit();
      (*positions)[v] = transform_point(w, (*positions)[v]);
    }
    recompute_face_normals(set, true);
    set_box(set);
  }
}

void skin_to_first_frame(ExportScene& scene) {
  std::vector<SceneNode>& nodes = scene.nodes;
  const std::size_t n = nodes.size();
  NodeIndex index(nodes);

  std::vector<Mat4> local(n), local_rot(n), local_inv(n), local_rot_inv(n);
  for (std::size_t i = 0; i < n; ++i) {
    const SceneNode& node = nodes[i];
    local[i] = first_frame_local(node);
    local_rot[i] = rotation_matrix(first_or(node.rotate_frames, node.rotate));
    local_inv[i] = base_local_inverse(node);
    local_rot_inv[i] = transpose(rotation_matrix(node.rotate));
  }
  {
    const std::vector<Mat4> world = accumulate(nodes, index, local, true);
    const std::vector<Mat4> world_rot = accumulate(nodes, index, local_rot, true);
    const std::vector<Mat4> bind_inv = accumulate(nodes, index, local_inv, false);
    const std::vector<Mat4> bind_rot_inv = accumulate(nodes, index, local_rot_inv, false);
    for (std::size_t i = 0; i < n; ++i) {
      nodes[i].world_matrix = world[i];
      nodes[i].world_rotation = world_rot[i];
      nodes[i].inverse_bind_matrix = bind_inv[i];
      nodes[i].inverse_bind_rotation = bind_rot_inv[i];
    }
  }

  std::vector<Mat4> base_world, base_rot;  // computed on the first skinned set
  // Per bone: the first-frame world matrix times the inverse bind matrix.
  std::vector<Mat4> bone_move(n), bone_turn(n);
  for (std::size_t i = 0; i < n; ++i) {
    bone_move[i] = nodes[i].world_matrix * nodes[i].inverse_bind_matrix;
    bone_turn[i] = nodes[i].world_rotation * nodes[i].inverse_bind_rotation;
  }

  std::unordered_map<int, std::pair<Mat4, Mat4>> multi;  // per set: bone -> full products
  for (PolygonSet& set : scene.polygons) {
    if (!set.skinned()) continue;
    if (base_world.empty() && n != 0) {
      base_world = base_world_matrices(nodes, index);
      base_rot = base_world_rotations(nodes, index);
    }
    const int owner = link(index, set.node_id);
    const Mat4 w = owner >= 0 ? base_world[owner] : Mat4::identity();
    const Mat4 wr = owner >= 0 ? base_rot[owner] : Mat4::identity();
    multi.clear();
    const std::size_t count = std::min(set.positions.size(), set.weights.size());
    std::vector<Vec3>& positions = set.positions.edit();
    std::vector<Vec3>& normals = set.normals.edit();
    for (std::size_t v = 0; v < count; ++v) {
      const SkinInfluence& inf = set.weights[v];
      const bool has_normal = v < normals.size();
      const Vec3 p = positions[v];
      const Vec3 nrm = has_normal ? normals[v] : Vec3{};
      Vec3 sum_p{}, sum_n{};
      const std::size_t k = std::min(inf.weights.size(), inf.node_ids.size());
      for (std::size_t j = 0; j < k; ++j) {
        const int b = link(index, inf.node_ids[j]);
        if (b < 0) continue;  // a bone outside the scene moves nothing
        const float weight = inf.weights[j];
        const SceneNode& bone = nodes[b];
        Vec3 q, qn;
        if (inf.count() == 1) {
          q = transform_point(bone.world_matrix, p);
          qn = transform_vector(bone.world_rotation, nrm);
        } else {
          auto it = multi.find(b);
          if (it == multi.end()) {
            it = multi.emplace(b, std::make_pair(bone_move[b] * w, bone_turn[b] * wr)).first;
          }
          q = transform_point(it->second.first, p);
          qn = transform_vector(it->second.second, nrm);
        }
        sum_p = sum_p + q * weight;
        sum_n = sum_n + qn * weight;
      }
      positions[v] = sum_p;
      if (has_normal) normals[v] = sum_n;
    }
    recompute_face_normals(set, false);
    set_box(set);
  }
}

void unite_nodes(ExportScene& scene) {
  std::vector<SceneNode>& nodes = scene.nodes;
  NodeIndex index(nodes);
  const float step = scene.step_size(scene.polygon_count());
  // Unskinned vertices move into the world by their node's matrices, once
  // per array the sets share.
  auto unskinned = [](const PolygonSet& set) { return !set.skinned(); };
  auto owner_of = [&](const PolygonSet& set) { return link(index, set.node_id); };
  change_once_per_array(scene.polygons, &PolygonSet::positions, unskinned, owner_of,
                        [&](std::vector<Vec3>& positions, const PolygonSet& set) {
                          const int owner = owner_of(set);
                          const Mat4 m = owner >= 0 ? nodes[owner].world_matrix : Mat4::identity();
                          for (Vec3& p : positions) p = transform_point(m, p);
                        });
  change_once_per_array(scene.polygons, &PolygonSet::normals, unskinned, owner_of,
                        [&](std::vector<Vec3>& normals, const PolygonSet& set) {
                          const int owner = owner_of(set);
                          const Mat4 mr =
                              owner >= 0 ? nodes[owner].world_rotation : Mat4::identity();
                          for (Vec3& nrm : normals) nrm = normalize(transform_vector(mr, nrm));
                        });
  for (PolygonSet& set : scene.polygons) {
    scene.advance(step, kUniteLabel);
    if (set.skinned()) {
      // Its vertices were placed by the skinning to the first frame.
      std::vector<SkinInfluence>().swap(set.weights);
    } else {
      const int owner = link(index, set.node_id);
      const Mat4 m = owner >= 0 ? nodes[owner].world_matrix : Mat4::identity();
      const Mat4 mr = owner >= 0 ? nodes[owner].world_rotation : Mat4::identity();
      for (NTriFace& f : set.triangles) f.normal = transform_vector(mr, f.normal);
      for (NQuadFace& f : set.quads) f.normal = transform_vector(mr, f.normal);
      // An empty box (a set without faces) stays empty.
      if (set.box_min.x <= set.box_max.x && set.box_min.y <= set.box_max.y &&
          set.box_min.z <= set.box_max.z) {
        Vec3 lo{kFloatMax, kFloatMax, kFloatMax}, hi{-kFloatMax, -kFloatMax, -kFloatMax};
        for (int c = 0; c < 8; ++c) {
          const Vec3 corner{(c & 1) ? set.box_max.x : set.box_min.x,
                            (c & 2) ? set.box_max.y : set.box_min.y,
                            (c & 4) ? set.box_max.z : set.box_min.z};
          const Vec3 t = transform_point(m, corner);
          lo = {std::min(lo.x, t.x), std::min(lo.y, t.y), std::min(lo.z, t.z)};
          hi = {std::max(hi.x, t.x), std::max(hi.y, t.y), std::max(hi.z, t.z)};
        }
        set.box_min = lo;
        set.box_max = hi;
        set.box_r = length(hi - (lo + hi) * 0.5f);
      }
    }
    set.node_id = 0;
  }

  if (!nodes.empty()) {
    SceneNode& r = nodes[0];
    const std::size_t frames = std::max(0, scene.frame_count);
    r.name = "world_root";
    r.id = 0;
    r.kind = kNodeMesh;
    r.parent = r.child = r.brother_next = r.brother_prev = -1;
    r.scale_frames.assign(frames, Vec3{1, 1, 1});
    r.rotate_frames.assign(frames, Vec3{});
    r.translate_frames.assign(frames, Vec3{});
    r.visibility_frames.assign(frames, 1);
    r.scale = {1, 1, 1};
    r.rotate = {};
    r.translate = {};
    nodes.resize(1);
  }
  scene.finish_stage(kUniteLabel);
}

void compute_node_volumes(ExportScene& scene) {
  struct Box {
    Vec3 lo, hi;
  };
  std::unordered_map<int, Box> boxes;
  for (const PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    auto [it, fresh] = boxes.try_emplace(set.node_id, Box{set.box_min, set.box_max});
    if (fresh) continue;
    Box& b = it->second;
    b.lo = {std::min(b.lo.x, set.box_min.x), std::min(b.lo.y, set.box_min.y),
            std::min(b.lo.z, set.box_min.z)};
    b.hi = {std::max(b.hi.x, set.box_max.x), std::max(b.hi.y, set.box_max.y),
            std::max(b.hi.z, set.box_max.z)};
  }
  for (SceneNode& node : scene.nodes) {
    if (node.kind != kNodeMesh) continue;
    auto it = boxes.find(node.id);
    if (it != boxes.end()) {
      node.volume_min = it->second.lo;
      node.volume_max = it->second.hi;
    }
    node.volume_r = length(node.volume_max - (node.volume_min + node.volume_max) * 0.5f);
  }
}

void process_nodes(ExportScene& scene) {
  const CompressNode mode = scene.compress_node;
  const bool extra_root = count_roots(scene.nodes) > 1 || unites_nodes(mode);
  scene.node_count_before = scene.node_count() + (extra_root ? 1 : 0);
  switch (mode) {
    case CompressNode::kCull:
      cull_nodes(scene);
      place_multi_influence_vertices(scene);
      break;
    case CompressNode::kMerge:
      cull_nodes(scene);
      merge_nodes(scene);
      place_multi_influence_vertices(scene);
      break;
    case CompressNode::kUnite:
      skin_to_first_frame(scene);
      unite_nodes(scene);
      break;
    case CompressNode::kUniteCombine:
      skin_to_first_frame(scene);
      unite_nodes(scene);
      combine_meshes(scene);
      break;
    default:
      add_world_root(scene);
      place_multi_influence_vertices(scene);
      break;
  }
  compute_node_volumes(scene);
}

}  // namespace kavro::process
