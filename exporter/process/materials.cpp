// Material compression, merging of one node's sets that share a material,
// and removal of the textures no material refers to.

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "exporter/process/passes.h"
#include "exporter/process/set_groups.h"

namespace kavro::process {
namespace {

template <class T>
bool unchanging(const std::vector<T>& frames) {
  for (std::size_t i = 1; i < frames.size(); ++i) {
    if (!(frames[i] == frames[i - 1])) return false;
  }
  return true;
}

// Both absent, or both present with equal first samples.
template <class T>
bool same_first(const std::vector<T>& a, const std::vector<T>& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return a[0] == b[0];
}

bool nan_first(const std::vector<float>& v) {
  return !v.empty() && std::isnan(v[0]);
}

// The float per-frame arrays, in field order.
std::array<const std::vector<float>*, 5> float_frames(const SceneMaterial& m) {
  return {&m.tex_translate_s_frames, &m.tex_translate_t_frames, &m.tex_scale_s_frames,
          &m.tex_scale_t_frames, &m.tex_rotate_frames};
}

std::array<const std::vector<ColorEntry>*, 4> color_frames(const SceneMaterial& m) {
  return {&m.diffuse_frames.vector(), &m.ambient_frames.vector(), &m.specular_frames.vector(),
          &m.emission_frames.vector()};
}

// A static material whose settings may be shared with an equal one.
bool merge_candidate(const SceneMaterial& m) {
  if (m.compress_mode != 0 || !m.pattern_textures.empty() || !material_is_static(m)) return false;
  // A first sample that is not a number equals nothing, not even itself.
  for (const std::vector<float>* f : float_frames(m)) {
    if (nan_first(*f)) return false;
  }
  return true;
}

// Hash of everything materials_equal compares; equal materials hash alike.
std::size_t material_hash(const SceneMaterial& m) {
  std::size_t h = 0;
  auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
  for (const std::vector<float>* f : float_frames(m)) {
    // +0.0f turns -0 into +0: the two compare equal.
    mix(f->empty() ? 1u : std::hash<float>{}((*f)[0] + 0.0f));
  }
  for (const std::vector<ColorEntry>* c : color_frames(m)) {
    mix(c->empty() ? 1u
                   : (static_cast<std::size_t>((*c)[0].r) << 17 |
                      static_cast<std::size_t>((*c)[0].g) << 9 | (*c)[0].b) +
                         2);
  }
  mix(m.alpha_frames.empty() ? 1u : m.alpha_frames[0] + 2u);
  for (int v : {m.tex_tiling_s,
                m.tex_tiling_t,
                m.tex_image_idx,
                m.texture_image_count,
                m.lighting,
                m.light0,
                m.light1,
                m.light2,
                m.light3,
                m.shininess_table_flag,
                m.fog_flag,
                m.face,
                m.wire_mode,
                m.polygon_mode,
                m.polygon_id,
                m.tex_gen_mode,
                m.tex_gen_st_src,
                m.compress_mode,
                static_cast<int>(m.unreferenced),
                static_cast<int>(m.pattern_is_ifl),
                m.depth_test_decal,
                m.translucent_update_depth,
                m.render_1_pixel,
                m.far_clipping}) {
    mix(std::hash<int>{}(v));
  }
  mix(std::hash<std::string>{}(m.texture_path));
  mix(std::hash<std::string_view>{}(std::string_view(
      reinterpret_cast<const char*>(m.tex_effect_mtx.m.data()), sizeof(m.tex_effect_mtx.m))));
  return h;
}

// Sets that are not deleted, by material name.
class SetsByMaterial {
 public:
  explicit SetsByMaterial(const std::vector<PolygonSet>& sets) {
    for (std::size_t i = 0; i < sets.size(); ++i) {
      if (!sets[i].deleted) by_name_[sets[i].material_name].push_back(i);
    }
  }

  // Every set named `from` takes the name `to`.
  void rename(std::vector<PolygonSet>& sets, const std::string& from, const std::string& to) {
    if (from == to) return;
    auto it = by_name_.find(from);
    if (it == by_name_.end()) return;
    std::vector<std::size_t> moved = std::move(it->second);
    by_name_.erase(it);
    for (std::size_t i : moved) sets[i].material_name = to;
    std::vector<std::size_t>& target = by_name_[to];
    target.insert(target.end(), moved.begin(), moved.end());
  }

 private:
  std::unordered_map<std::string, std::vector<std::size_t>> by_name_;
};

}  // namespace

bool material_is_static(const SceneMaterial& m) {
  for (const std::vector<float>* f : float_frames(m)) {
    if (!unchanging(*f)) return false;
  }
  for (const std::vector<ColorEntry>* c : color_frames(m)) {
    if (!unchanging(*c)) return false;
  }
  return unchanging(m.alpha_frames.vector());
}

bool materials_equal(const SceneMaterial& a, const SceneMaterial& b) {
  const auto fa = float_frames(a), fb = float_frames(b);
  for (std::size_t i = 0; i < fa.size(); ++i) {
    if (!same_first(*fa[i], *fb[i])) return false;
  }
  const auto ca = color_frames(a), cb = color_frames(b);
  for (std::size_t i = 0; i < ca.size(); ++i) {
    if (!same_first(*ca[i], *cb[i])) return false;
  }
  if (!same_first(a.alpha_frames.vector(), b.alpha_frames.vector())) return false;
  // The settings stored before the pattern list, in field order; the name
  // does not take part, nor does the priority stored after the list.
  return a.tex_tiling_s == b.tex_tiling_s && a.tex_tiling_t == b.tex_tiling_t &&
         a.tex_image_idx == b.tex_image_idx && a.texture_path == b.texture_path &&
         a.texture_image_count == b.texture_image_count && a.lighting == b.lighting &&
         a.light0 == b.light0 && a.light1 == b.light1 && a.light2 == b.light2 &&
         a.light3 == b.light3 && a.shininess_table_flag == b.shininess_table_flag &&
         a.fog_flag == b.fog_flag && a.face == b.face && a.wire_mode == b.wire_mode &&
         a.polygon_mode == b.polygon_mode && a.polygon_id == b.polygon_id &&
         a.tex_gen_mode == b.tex_gen_mode && a.tex_gen_st_src == b.tex_gen_st_src &&
         a.compress_mode == b.compress_mode && a.unreferenced == b.unreferenced &&
         a.pattern_is_ifl == b.pattern_is_ifl && a.depth_test_decal == b.depth_test_decal &&
         a.translucent_update_depth == b.translucent_update_depth &&
         a.render_1_pixel == b.render_1_pixel && a.far_clipping == b.far_clipping &&
         std::memcmp(a.tex_effect_mtx.m.data(), b.tex_effect_mtx.m.data(),
                     sizeof(a.tex_effect_mtx.m)) == 0;
}

void compress_materials(ExportScene& scene) {
  std::vector<SceneMaterial>& mats = scene.materials;
  const std::size_t n = mats.size();
  scene.material_count_before = scene.material_count();

  if (scene.compress_material) {
    // Candidates grouped by hash; only members of one group can be equal.
    std::vector<char> candidate(n);
    std::vector<std::size_t> group(n), rank(n);
    std::vector<std::vector<std::size_t>> members;
    std::unordered_map<std::size_t, std::size_t> group_of_hash;
    for (std::size_t i = 0; i < n; ++i) {
      candidate[i] = merge_candidate(mats[i]);
      if (!candidate[i]) continue;
      auto [it, fresh] = group_of_hash.try_emplace(material_hash(mats[i]), members.size());
      if (fresh) members.emplace_back();
      group[i] = it->second;
      rank[i] = members[it->second].size();
      members[it->second].push_back(i);
    }
    SetsByMaterial sets(scene.polygons);
    for (std::size_t i = 0; i < n; ++i) {
      if (!candidate[i] || mats[i].unreferenced) continue;
      const std::vector<std::size_t>& g = members[group[i]];
      for (std::size_t r = rank[i] + 1; r < g.size(); ++r) {
        SceneMaterial& k = mats[g[r]];
        if (!materials_equal(mats[i], k)) continue;
        sets.rename(scene.polygons, k.name, mats[i].name);
        k.unreferenced = true;
      }
    }
  }

  // The materials still referenced move down in place, keeping their order.
  const float step = scene.step_size(static_cast<int>(n));
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    scene.advance(step, kCompressMaterialsLabel);
    if (mats[i].unreferenced) continue;
    if (kept != i) mats[kept] = std::move(mats[i]);
    ++kept;
  }
  mats.erase(mats.begin() + static_cast<std::ptrdiff_t>(kept), mats.end());
  scene.finish_stage(kCompressMaterialsLabel);
}

void merge_same_material_sets(ExportScene& scene) {
  if (!scene.compress_material) return;
  std::vector<PolygonSet>& sets = scene.polygons;
  // Sets of one node are skinned alike; a set with influence lists is never
  // merged with one without, which would misalign the lists and positions.
  const SetGroups groups(sets, [](const PolygonSet& s) {
    return SetKey{s.node_id, s.priority, s.has_colors(), s.skinned(), s.material_name};
  });
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (sets[i].deleted) continue;
    reserve_for_appends(sets[i], groups.live_later(sets, i));
    groups.for_each_later(i, [&](std::size_t j) {
      if (sets[j].deleted || !fits_after(sets[i], sets[j])) return;
      append_set(sets[i], sets[j], true);
      sets[j].deleted = true;
    });
  }
}

void remove_unused_textures(ExportScene& scene) {
  std::unordered_set<std::string> used;
  for (const SceneMaterial& m : scene.materials) {
    if (m.pattern_textures.empty()) {
      used.insert(m.texture_path);
    } else {
      used.insert(m.pattern_textures.begin(), m.pattern_textures.end());
    }
  }
  const float step = scene.step_size(scene.texture_count());
  std::vector<char> unused(scene.textures.size());
  bool any_unused = false;
  for (std::size_t i = 0; i < scene.textures.size(); ++i) {
    scene.advance(step, kRemoveTexturesLabel);
    unused[i] = used.count(scene.textures[i].path) == 0;
    any_unused = any_unused || unused[i];
  }
  if (any_unused) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < scene.textures.size(); ++i) {
      if (unused[i]) continue;
      if (kept != i) scene.textures[kept] = std::move(scene.textures[i]);
      ++kept;
    }
    scene.textures.erase(scene.textures.begin() + static_cast<std::ptrdiff_t>(kept),
                         scene.textures.end());
  }
  scene.finish_stage(kRemoveTexturesLabel);
}

}  // namespace kavro::process
