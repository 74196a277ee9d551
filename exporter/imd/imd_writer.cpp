#include "exporter/imd/imd_writer.h"

#include <cmath>
#include <map>
#include <vector>

#include "exporter/imd/material_array.h"
#include "exporter/imd/matrix_array.h"
#include "exporter/imd/node_array.h"
#include "exporter/imd/polygon_array.h"
#include "exporter/imd/quads.h"
#include "exporter/imd/strips.h"
#include "exporter/imd/vertex_lists.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/keywords.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/texture/convert.h"

namespace kavro {

void write_model_info(OutputFile& out, const ExportScene& s) {
  out.write("\n<model_info\n");
  out.printf("\tpos_scale=\"%d\"\n", s.pos_scale);
  out.printf("\tscaling_rule=\"%s\"\n", "standard");
  out.printf("\tvertex_style=\"%s\"\n", vertex_style_keyword(s.vertex_style));
  out.printf("\tmagnify=\"%f\"\n", static_cast<double>(s.magnify));
  out.printf("\ttool_start_frame=\"%d\"\n", s.start_frame);
  out.printf("\ttex_matrix_mode=\"%s\"\n", "3dsmax");
  out.printf("\tcompress_node=\"%s\" node_size=\"%d %d\"\n", compress_node_keyword(s.compress_node),
             s.node_count_before, s.node_count());
  out.printf("\tcompress_material=\"%s\" material_size=\"%d %d\"\n",
             on_off_keyword(s.compress_material), s.material_count_before, s.material_count());
  out.printf("\toutput_texture=\"%s\"\n", output_texture_keyword(s.output_texture));
  out.printf("\tforce_full_weight=\"%s\"\n", on_off_keyword(s.force_full_weight));
  out.printf("\tuse_primitive_strip=\"%s\"\n", on_off_keyword(s.use_primitive_strip));
  out.write("/>\n");
}

namespace {

bool fits(Vec3 v) {
  return v.x >= -8.0f && v.x < 8.0f && v.y >= -8.0f && v.y < 8.0f && v.z >= -8.0f && v.z < 8.0f;
}

constexpr int kMaxHalvings = 256;

// World matrices of every node at the first frame (from element 0 of the
// per-frame arrays) and from the base transforms, each computed once.
struct WorldMatrices {
  std::vector<Mat4> first_frame, base;
};

WorldMatrices world_matrices(const ExportScene& s) {
  NodeIndex index(s.nodes);
  std::size_t n = s.nodes.size();
  WorldMatrices w;
  w.first_frame.resize(n);
  w.base.resize(n);
  std::vector<char> state(n, 0);  // 0 unknown, 1 in progress, 2 done
  // Iterative post-order over the parent chain, guarding against cycles.
  for (std::size_t start = 0; start < n; ++start) {
    if (state[start] == 2) continue;
    std::vector<int> chain;
    int cur = static_cast<int>(start);
    while (cur >= 0 && state[cur] == 0) {
      state[cur] = 1;
      chain.push_back(cur);
      cur = index.position(s.nodes[cur].parent);
    }
    int parent = (cur >= 0 && state[cur] == 2) ? cur : -1;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const SceneNode& node = s.nodes[*it];
      Mat4 first = Mat4::identity();
      if (!node.scale_frames.empty() && !node.rotate_frames.empty() &&
          !node.translate_frames.empty()) {
        first = local_matrix(node.scale_frames[0], node.rotate_frames[0], node.translate_frames[0]);
      }
      Mat4 base = local_matrix(node.scale, node.rotate, node.translate);
      if (parent >= 0) {
        first = w.first_frame[parent] * first;
        base = w.base[parent] * base;
      }
      w.first_frame[*it] = first;
      w.base[*it] = base;
      state[*it] = 2;
      parent = *it;
    }
  }
  return w;
}

}  // namespace

int halving_count(Vec3& v) {
  int count = 0;
  while (!fits(v) && count < kMaxHalvings) {
    v = v * 0.5f;
    ++count;
  }
  return count;
}

ModelBox compute_model_box(const ExportScene& s) {
  ModelBox result;
  if (s.node_count() == 0) return result;
  WorldMatrices world = world_matrices(s);
  NodeIndex index(s.nodes);
  struct Box {
    Vec3 lo{kFloatMax, kFloatMax, kFloatMax};
    Vec3 hi{-kFloatMax, -kFloatMax, -kFloatMax};
    bool any = false;
    bool overflowed = false;

    void fold(Vec3 p) {
      if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))) {
        overflowed = true;
        return;
      }
      lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
      hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
      any = true;
    }
    // Folding a run of values into a fresh box and that box into this one
    // picks the very values folding the run into this one would.
    void fold(const Box& b) {
      if (!b.any) return;
      lo = {std::fmin(lo.x, b.lo.x), std::fmin(lo.y, b.lo.y), std::fmin(lo.z, b.lo.z)};
      hi = {std::fmax(hi.x, b.hi.x), std::fmax(hi.y, b.hi.y), std::fmax(hi.z, b.hi.z)};
      any = true;
    }
  };
  Box all;
  const PolygonSet* overflowed = nullptr;
  // The unskinned sets a node was split into share its positions: each
  // array is moved into the world once per owner.
  std::map<std::pair<const void*, int>, Box> unskinned;
  for (const PolygonSet& set : s.polygons) {
    int owner = index.position(set.node_id);
    Box own;
    const Box* add = &own;
    if (!set.skinned()) {
      auto [it, first] = unskinned.try_emplace({set.unscaled_positions.identity(), owner});
      if (first) {
        for (const Vec3& p : set.unscaled_positions) {
          it->second.fold(owner >= 0 ? transform_point(world.first_frame[owner], p) : p);
        }
      }
      add = &it->second;
    } else {
      for (std::size_t v = 0; v < set.unscaled_positions.size(); ++v) {
        Vec3 p = set.unscaled_positions[v];
        const SkinInfluence* inf = v < set.weights.size() ? &set.weights[v] : nullptr;
        int count = inf != nullptr ? inf->count() : 0;
        if (count > 1) {
          own.fold(p);
        } else {
          int node = count == 1 ? index.position(inf->node_ids[0]) : owner;
          own.fold(node >= 0 ? transform_point(world.base[node], p) : p);
        }
      }
    }
    if (add->overflowed && overflowed == nullptr) overflowed = &set;
    all.fold(*add);
  }
  if (overflowed != nullptr) {
    result.overflowed = overflowed->node_name;
    return result;
  }
  // A model without a single vertex has no box rather than an infinite one.
  if (!all.any) return result;
  result.min = all.lo;
  result.size = all.hi - all.lo;
  return result;
}

bool write_box_test(OutputFile& out, const ExportScene& s, ExportLog& log) {
  bool any_set = false;
  for (const PolygonSet& set : s.polygons) any_set = any_set || !set.deleted;
  if (!any_set) return true;
  // World positions are products of finite values that may still overflow.
  ModelBox box = compute_model_box(s);
  if (!box.overflowed.empty()) {
    if (log.host_interface != nullptr) {
      show_error(*log.host_interface,
                 format("Value out of range in polygon set %s (not a finite number).",
                        box.overflowed.c_str()),
                 "Node Export Error");
    }
    return false;
  }
  Vec3 lo = box.min;
  Vec3 size = box.size;
  int a = halving_count(lo);
  int b = halving_count(size);
  int count = a;
  if (a != b) {
    int diff = a > b ? a - b : b - a;
    float factor = 1.0f / std::ldexp(1.0f, diff);
    if (a < b) {
      lo = lo * factor;
      count = b;
    } else {
      size = size * factor;
    }
  }
  for (int guard = 0; guard < kMaxHalvings; ++guard) {
    Vec3 sum = round4096(lo) + round4096(size);
    if (fits(sum)) break;
    lo = lo * 0.5f;
    size = size * 0.5f;
    ++count;
  }
  lo = round4096(lo);
  size = round4096(size);
  out.printf("\n<box_test pos_scale=\"%d\" xyz=\"%f %f %f\" whd=\"%f %f %f\"/>\n", count,
             static_cast<double>(lo.x), static_cast<double>(lo.y), static_cast<double>(lo.z),
             static_cast<double>(size.x), static_cast<double>(size.y), static_cast<double>(size.z));
  return true;
}

void write_output_info(OutputFile& out, const ImdTotals& t) {
  out.printf("\n<output_info vertex_size=\"%d\" polygon_size=\"%d\"\n", t.vertices,
             t.triangles + t.quads);
  out.printf("\ttriangle_size=\"%d\" quad_size=\"%d\"/>\n", t.triangles, t.quads);
}

void check_limits(ExportLog& log, const ImdTotals& t) {
  if (t.vertices > 6144) {
    log.add_warning_f("%s: %d Vertices (Max %d)", "Warning: Total vertex size over", t.vertices,
                      6144);
  }
  if (t.triangles == 0 && t.quads > 1706) {
    log.add_warning_f("%s: %d Quadrilaterals (Max %d)", "Warning: Total quadrilateral size over",
                      t.quads, 1706);
  } else if (t.quads == 0 && t.triangles > 2048) {
    log.add_warning_f("%s: %d Polygons (Max %d)", "Warning: Total polygon size over", t.triangles,
                      2048);
  } else if (static_cast<long long>(t.triangles) * 20 + static_cast<long long>(t.quads) * 24 >
             40960) {
    log.add_warning_f("%s: Must satisfy formula (numPolys * 20 + numQuads * 24 <= %d)",
                      "Warning: Total polygon and quadrilateral size over", 40960);
  }
}

void ImdWriter::prepare(ExportScene& scene) {
  compress_color_lists(scene);
  table_ = build_matrix_table(scene);
  if (scene.triangulation == Triangulation::kGenerateQuads) generate_quads(scene);
  if (scene.use_primitive_strip != 0) build_strips(scene);
  scene.geometry_prepared = true;
  prepared_ = &scene;
}

bool ImdWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  if (prepared_ != &scene || !scene.geometry_prepared || !scene.textures_converted) {
    if (log.host_interface != nullptr) {
      show_error(*log.host_interface,
                 "The model file needs its geometry prepared and its textures converted first.",
                 "Export Error");
    }
    return false;
  }
  const MatrixTable& table = table_;
  ImdTotals totals;
  OutputFile out;
  if (!open_for_export(log, out, path)) return false;

  write_head(out, scene, FileKind::kImd);
  write_model_info(out, scene);
  if (!write_box_test(out, scene, log)) {
    out.discard();
    return false;
  }
  write_vertex_lists(out, scene, log);
  std::vector<int> palette_index;
  if (!write_texture_sections(out, scene, log, palette_index)) {
    // The file is abandoned: the temporary file is removed, nothing is left.
    out.discard();
    return false;
  }
  write_material_array(out, scene, log, palette_index);
  write_envelope_list(out, scene, log, table);
  write_matrix_array(out, scene, log, table);
  // The polygon array adds to the totals and checks the limits.
  const MaterialIndex materials(scene.materials);
  write_polygon_array(out, scene, log, totals, materials);
  write_node_array(out, scene, log, materials);
  write_output_info(out, totals);
  write_closing(out, FileKind::kImd);
  return commit_export(log, out);
}

}  // namespace kavro
