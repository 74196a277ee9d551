// Scene extraction: reads the host scene, through the host views of
// host/max_views.h, into the export's scene model: materials, the mesh nodes
// with their polygon sets and skin weights, the node hierarchy with its
// per-frame samples, the lights and the cameras.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "exporter/extract/unique_names.h"
#include "exporter/pipeline/options.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/stages.h"
#include "host/max_views.h"

namespace kavro {

namespace host {
class Host;
}

class HostExtraction : public SceneExtraction {
 public:
  HostExtraction(std::unique_ptr<max::HostScene> scene, host::Host& host);
  ~HostExtraction() override;

  SceneRange scene_range() override;
  void initialise(bool export_all) override;
  int top_level_node_count() override;
  std::string scene_file_name() override;
  void switch_off_skins() override;
  void switch_on_skins() override;
  bool extract_materials(ExportScene& scene, const ExportOptions& options) override;
  bool extract_nodes(ExportScene& scene, const ExportOptions& options) override;
  void extract_lights(ExportScene& scene) override;
  void release() override;
  max::Interface* core_interface() override { return &scene_->GetCOREInterface(); }

  max::HostScene& host_scene() { return *scene_; }

 private:
  struct MeshPass;
  // Export filter: geometry asks for the extra mesh-node condition too.
  bool passes_filter(max::IGameNode* node, bool geometry) const;
  // The subdivision test; shows its message when `report` is set.
  bool is_subdivision(max::IGameNode* node, bool report);
  bool extract_mesh_node(ExportScene& scene, const ExportOptions& options, max::IGameNode* node);
  bool fill_node(ExportScene& scene, max::IGameNode* node, int index, int depth);
  void add_nurbs_warnings(ExportScene& scene, max::IGameNode* node);
  void sample_node(ExportScene& scene, max::IGameNode* node, int index);
  void adjust_unselected(ExportScene& scene);
  void add_material(ExportScene& scene, max::IGameMaterial* material, bool& ok);
  // The per-frame colours and alpha of a material record.
  void sample_colors(const ExportScene& scene, const max::IGameMaterial& colors, SceneMaterial& m);
  // Texture sources (texture_sources.cpp).
  // A bitmap file name made absolute: a relative name is looked for in the
  // scene's folder, then in the map folders; absolute names are kept.
  std::string absolute_bitmap_path(const std::string& file) const;
  // The number of texture images of a material; false (the message shown)
  // when an image list cannot be read.
  bool count_texture_images(const max::IGameMaterial* material, int& count);
  // Checks and loads every image of a material (and its sub-materials) into
  // the scene's texture list. False when the export must stop.
  bool collect_textures(ExportScene& scene, const max::IGameMaterial* material);
  // The texture count, pattern lists, texture path, tiling and texture
  // transform samples of one material record.
  bool attach_textures(ExportScene& scene, const max::IGameMaterial& material, SceneMaterial& m);
  void sample_texture_transform(ExportScene& scene, const max::IGameMaterial& material,
                                SceneMaterial& m);
  max::TimeValue frame_time(int frame) const { return frame * ticks_; }

  std::unique_ptr<max::HostScene> scene_;
  host::Host& host_;
  bool export_all_ = true;
  int ticks_ = 160;
  bool released_ = true;
  // Skin modifiers switched off for extraction.
  std::vector<max::Modifier*> switched_skins_;
  // Exported name of every material record made from a host material.
  std::unordered_map<const max::IGameMaterial*, std::string> material_names_;
  // The IGame node of every exported node, by id.
  std::unordered_map<int, max::IGameNode*> nodes_by_id_;
  // Names given so far to material records, polygon sets and nodes, and the
  // first material record of every name (over the scene's materials, which
  // do not change while nodes are extracted).
  UniqueNames material_record_names_, set_names_, node_names_;
  std::optional<MaterialIndex> material_at_;
  int next_material_ = 0;  // a guess for the next set's material record
  // The materials' per-frame colours and alphas, equal ones shared; emptied
  // when the materials are read.
  ArrayInterner<ColorEntry> color_frames_;
  ArrayInterner<std::uint8_t> alpha_frames_;
};

// ---------------------------------------------------------------------------
// The parts of extraction that stand on their own.

// A transform sample: scale, Euler angles in degrees and translation, each a
// multiple of 1/4096. A mirrored matrix shows as a negative X scale.
struct TransformSample {
  Vec3 scale, rotate, translate;
};
TransformSample decompose_sample(const max::Matrix3& m);
// The sample of a decomposition already made (the second half of
// decompose_sample).
TransformSample sample_from_parts(max::AffineParts parts);
// The sample of a translation, Euler angles in radians and a scale: the
// angles in degrees, all rounded to 1/4096.
TransformSample sample_from_angles(max::Point3 t, const float (&angles)[3], max::Point3 k);
// The local samples of two frames at once: out[k] is
// decompose_sample(carry_to_y_up(world[k] * Inverse(parent[k]))), bit for bit.
void local_sample_pair(const max::Matrix3 (&world)[2], const max::Matrix3 (&parent)[2],
                       TransformSample (&out)[2]);
// The row-vector matrix a sample stands for: Scale * Rx * Ry * Rz * Trans.
max::Matrix3 sample_matrix(const TransformSample& s);
// A host Z-up matrix carried into the Y-up frame: R(+90) * m * R(-90).
max::Matrix3 carry_to_y_up(const max::Matrix3& m);

// A host point as a vector of the scene model.
Vec3 to_vec3(max::Point3 p);
// A colour component from 0 to 1 as a byte: the integer part of
// component * 255, kept within 0 to 255.
std::uint8_t color_byte(double component);

// Skin weights of one polygon set. Returns false (the message shown) when
// some vertex is wrongly weighted.
bool has_bones(const max::IGameObject& object, int vertex_count);
bool read_skin_weights(host::Host& host, const max::IGameSkin& skin, int vertex_count, int node_id,
                       const std::string& node_name, std::vector<SkinInfluence>& weights);
void force_full_weight(std::vector<SkinInfluence>& weights);
// Places the single-bone vertices of a set in their bones' space and carries
// the normals the set's faces use. `mesh_tm` is the mesh node's transform at
// the first frame, `bone_tm` gives a bone's by node id (Y-up, row vectors).
void place_single_bone_vertices(PolygonSet& set, const max::Matrix3& mesh_tm,
                                const std::function<max::Matrix3(int node_id)>& bone_tm);

// Quadrilateral rebuilding of one set from the host's four-sided polygons
// (corner positions in the set's space). With `check_planar` a polygon whose
// corners are not coplanar within 0.001 is skipped.
void rebuild_quads(PolygonSet& set, const std::vector<std::array<Vec3, 4>>& polygons,
                   bool check_planar);

// The set box rule: the box of the positions the faces use.
void compute_set_box(PolygonSet& set);

// Hierarchy ordering: siblings sorted by name (byte order), links rebuilt,
// array rewritten in depth-first pre-order.
void order_hierarchy(std::vector<SceneNode>& nodes);

}  // namespace kavro
