// The passes that rewrite the scene model between extraction and writing:
// node culling, merging and uniting, mesh combining, magnify, position
// scaling, material compression and texture pruning. Each pass works in place
// on one ExportScene; SceneProcessor (processing.h) calls them in the order
// the driver expects.
#pragma once

#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro::process {

// Scratch bits of the node passes in SceneNode::work_flags.
constexpr std::uint32_t kRemoveBit = 1u << 0;
constexpr std::uint32_t kUndecidedBit = 1u << 1;
constexpr std::uint32_t kScratchBits = 0xFu;

// Progress labels.
inline constexpr const char* kCullLabel = "Culling Useless Nodes";
inline constexpr const char* kMergeLabel = "Merging Nodes";
inline constexpr const char* kWorldRootLabel = "Adding World Root";
inline constexpr const char* kUniteLabel = "Uniting Nodes";
inline constexpr const char* kCombineLabel = "Combining Meshes";
inline constexpr const char* kMagnifyLabel = "Magnifying Scene";
inline constexpr const char* kCompressMaterialsLabel = "Compressing Materials";
inline constexpr const char* kRemoveTexturesLabel = "Removing Unused Textures";

// ---------------------------------------------------------------------------
// Nodes.

// Number of nodes whose parent is -1.
int count_roots(const std::vector<SceneNode>& nodes);

// The synthetic root "world_root" (id -1000) with identity samples for
// frame_count frames, every frame visible.
SceneNode make_world_root(int frame_count);

// World matrices from the base transforms (product of the local matrices
// from the root down), one per node position. A parent that cannot be found
// ends the chain.
std::vector<Mat4> base_world_matrices(const std::vector<SceneNode>& nodes, const NodeIndex& index);
// The same from the rotations alone (Rz * Ry * Rx per level).
std::vector<Mat4> base_world_rotations(const std::vector<SceneNode>& nodes, const NodeIndex& index);

// Sets node_count_before, runs the passes of the scene's compress_node mode
// and computes the node volumes.
void process_nodes(ExportScene& scene);

// The single passes, in the order process_nodes runs them.
void add_world_root(ExportScene& scene);
void cull_nodes(ExportScene& scene);
void merge_nodes(ExportScene& scene);
void place_multi_influence_vertices(ExportScene& scene);
void skin_to_first_frame(ExportScene& scene);
void unite_nodes(ExportScene& scene);
void compute_node_volumes(ExportScene& scene);

// ---------------------------------------------------------------------------
// Polygon sets.

// Changes one vertex array of the sets `select` picks, once per array they
// hold rather than once per set: the sets a node was split into share its
// arrays. The first picked set holding an array changes it (a copy of its
// own when anything else still holds it) with change(elements, set); later
// picked sets holding that array and giving the same key(set) take the
// changed one. So the change must depend on nothing of the set but its key:
// sets whose keys differ get changes of their own.
template <class T, class Select, class Key, class Change>
void change_once_per_array(std::vector<PolygonSet>& sets, SharedArray<T> PolygonSet::*member,
                           Select select, Key key, Change change) {
  std::map<std::pair<const void*, decltype(key(sets.front()))>, std::size_t> changed;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    PolygonSet& set = sets[i];
    SharedArray<T>& array = set.*member;
    if (!select(set) || array.empty()) continue;
    auto [it, first] = changed.try_emplace({array.identity(), key(set)}, i);
    if (first) {
      change(array.edit(), static_cast<const PolygonSet&>(set));
    } else {
      array = sets[it->second].*member;
    }
  }
}

// Recomputes box_min, box_max and box_r from the positions the faces use.
void set_box(PolygonSet& set);

// Recomputes every face normal as (p1 - p0) x (p2 - p0) from the first three
// corners, normalised when asked and when its length is above 0.
void recompute_face_normals(PolygonSet& set, bool normalise);

// True when `from` can be appended to `into` without a corner index
// overflowing its 16 bits (every combined array holds at most 65536 entries).
bool fits_after(const PolygonSet& into, const PolygonSet& from);

// Appends `from` to `into`: vertex arrays concatenated, the appended faces'
// corner indices raised by into's former counts, boxes united. The influence
// lists are concatenated when keep_weights is set and dropped otherwise.
// `from` is left as it was; the caller marks it deleted.
void append_set(PolygonSet& into, const PolygonSet& from, bool keep_weights);

// Reserves room in `into` for appending, in order, the sets of `from` that
// fit after the ones before them.
void reserve_for_appends(PolygonSet& into, const std::vector<const PolygonSet*>& from);

// Combines the sets of the one united node that share material name,
// priority and vertex colour presence (unite_combine).
void combine_meshes(ExportScene& scene);

// Multiplies positions, set boxes, node translations and node volumes by
// the scene's magnify factor.
void magnify_scene(ExportScene& scene);

// Keeps a copy of the positions in unscaled_positions, halves every position
// of the non-deleted sets until all lie in [-8, 8) also after rounding to
// 1/4096, rounds them and stores the number of halvings in pos_scale.
// Refuses (false, with a message through the scene's host) a set holding a
// coordinate that is infinite or not a number.
bool scale_positions(ExportScene& scene);

// ---------------------------------------------------------------------------
// Materials and textures.

// True when none of the material's per-frame arrays changes over the frames.
bool material_is_static(const SceneMaterial& m);

// True when two materials would be written identically: same presence and
// first sample of every per-frame array, and every other field stored before
// pattern_textures equal, the name excepted.
bool materials_equal(const SceneMaterial& a, const SceneMaterial& b);

// Sets material_count_before, merges equal static materials when
// compress_material is on (renaming the sets of the merged ones) and drops
// every material that no set refers to.
void compress_materials(ExportScene& scene);

// Merges the sets of one node that share material name, priority, vertex
// colour presence and skinning; influence lists are concatenated.
void merge_same_material_sets(ExportScene& scene);

// Drops the textures no remaining material refers to.
void remove_unused_textures(ExportScene& scene);

}  // namespace kavro::process
