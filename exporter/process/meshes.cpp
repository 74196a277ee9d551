// Polygon set geometry: boxes, face normals, appending one set to another,
// combining the sets of the united node, magnify and position scaling.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "exporter/pipeline/messages.h"
#include "exporter/process/passes.h"
#include "exporter/process/set_groups.h"

namespace kavro::process {
namespace {

// Corner indices are 16 bits wide.
constexpr std::size_t kMaxIndexed = 65536;

Vec3 position_at(const PolygonSet& set, std::uint16_t i) {
  return i < set.positions.size() ? set.positions[i] : Vec3{};
}

template <class Face>
void face_normal(const PolygonSet& set, Face& f, bool normalise) {
  const Vec3 p0 = position_at(set, f.corners[0].pos);
  const Vec3 p1 = position_at(set, f.corners[1].pos);
  const Vec3 p2 = position_at(set, f.corners[2].pos);
  const Vec3 n = cross(p1 - p0, p2 - p0);
  f.normal = normalise ? normalize(n) : n;
}

std::uint16_t raise(std::uint16_t index, std::size_t by) {
  return static_cast<std::uint16_t>(index + by);
}

template <class Face>
void append_faces(std::vector<Face>& into, const std::vector<Face>& from, const Corner& offset) {
  const std::size_t face_offset = into.size();
  for (Face f : from) {
    for (Corner& c : f.corners) {
      c.pos = raise(c.pos, offset.pos);
      c.clr = raise(c.clr, offset.clr);
      c.tex = raise(c.tex, offset.tex);
      c.nrm = raise(c.nrm, offset.nrm);
    }
    // A strip link points into the same array, which now starts later.
    if (f.next >= 0) f.next += static_cast<std::int32_t>(face_offset);
    into.push_back(f);
  }
}

template <class T>
void append(std::vector<T>& into, const std::vector<T>& from) {
  into.insert(into.end(), from.begin(), from.end());
}

template <class T>
void append(SharedArray<T>& into, const SharedArray<T>& from) {
  if (from.empty()) return;
  // Read `from` before editing: the edit may replace into's elements.
  const SharedArray<T> keep = from;
  append(into.edit(), keep.vector());
}

template <class T>
void reserve(SharedArray<T>& array, std::size_t size) {
  if (size > array.size()) array.edit().reserve(size);
}

bool non_finite(Vec3 p) {
  return !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z);
}

}  // namespace

void set_box(PolygonSet& set) {
  Vec3 lo{kFloatMax, kFloatMax, kFloatMax};
  Vec3 hi{-kFloatMax, -kFloatMax, -kFloatMax};
  auto widen = [&](std::uint16_t i) {
    if (i >= set.positions.size()) return;
    const Vec3 p = set.positions[i];
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  };
  for (const NTriFace& f : set.triangles) {
    for (const Corner& c : f.corners) widen(c.pos);
  }
  for (const NQuadFace& f : set.quads) {
    for (const Corner& c : f.corners) widen(c.pos);
  }
  set.box_min = lo;
  set.box_max = hi;
  set.box_r = length(hi - (lo + hi) * 0.5f);
}

void recompute_face_normals(PolygonSet& set, bool normalise) {
  for (NTriFace& f : set.triangles) face_normal(set, f, normalise);
  for (NQuadFace& f : set.quads) face_normal(set, f, normalise);
}

bool fits_after(const PolygonSet& into, const PolygonSet& from) {
  return into.positions.size() + from.positions.size() <= kMaxIndexed &&
         into.colors.size() + from.colors.size() <= kMaxIndexed &&
         into.texcoords.size() + from.texcoords.size() <= kMaxIndexed &&
         into.normals.size() + from.normals.size() <= kMaxIndexed;
}

void append_set(PolygonSet& into, const PolygonSet& from, bool keep_weights) {
  Corner offset;
  offset.pos = static_cast<std::uint16_t>(into.positions.size());
  offset.clr = static_cast<std::uint16_t>(into.colors.size());
  offset.tex = static_cast<std::uint16_t>(into.texcoords.size());
  offset.nrm = static_cast<std::uint16_t>(into.normals.size());

  append(into.positions, from.positions);
  append(into.normals, from.normals);
  append(into.colors, from.colors);
  append(into.texcoords, from.texcoords);
  append_faces(into.triangles, from.triangles, offset);
  append_faces(into.quads, from.quads, offset);
  if (keep_weights) {
    append(into.weights, from.weights);
  } else {
    into.weights.clear();
  }

  into.box_min = {std::min(into.box_min.x, from.box_min.x),
                  std::min(into.box_min.y, from.box_min.y),
                  std::min(into.box_min.z, from.box_min.z)};
  into.box_max = {std::max(into.box_max.x, from.box_max.x),
                  std::max(into.box_max.y, from.box_max.y),
                  std::max(into.box_max.z, from.box_max.z)};
  // The radius belongs to the united box; the polygon array writes it.
  into.box_r = length(into.box_max - (into.box_min + into.box_max) * 0.5f);

  // Per-output data is rebuilt later for the grown set. The morph samples
  // stay: the texture pattern writer reads them from the first set that uses
  // the material, which is still this one.
  into.unscaled_positions.clear();
  into.matrix_list.clear();
}

void reserve_for_appends(PolygonSet& into, const std::vector<const PolygonSet*>& from) {
  std::size_t pos = into.positions.size(), nrm = into.normals.size(), clr = into.colors.size(),
              tex = into.texcoords.size(), tris = into.triangles.size(), quads = into.quads.size(),
              weights = into.weights.size();
  for (const PolygonSet* f : from) {
    // The same test as fits_after, on the sizes the appends will reach.
    if (pos + f->positions.size() > kMaxIndexed || nrm + f->normals.size() > kMaxIndexed ||
        clr + f->colors.size() > kMaxIndexed || tex + f->texcoords.size() > kMaxIndexed) {
      continue;
    }
    pos += f->positions.size();
    nrm += f->normals.size();
    clr += f->colors.size();
    tex += f->texcoords.size();
    tris += f->triangles.size();
    quads += f->quads.size();
    weights += f->weights.size();
  }
  // Only arrays that will grow are made the set's own: a set nothing is
  // appended to keeps sharing its node's arrays.
  reserve(into.positions, pos);
  reserve(into.normals, nrm);
  reserve(into.colors, clr);
  reserve(into.texcoords, tex);
  into.triangles.reserve(tris);
  into.quads.reserve(quads);
  if (!into.weights.empty()) into.weights.reserve(weights);
}

void combine_meshes(ExportScene& scene) {
  std::vector<PolygonSet>& sets = scene.polygons;
  const SetGroups groups(sets, [](const PolygonSet& s) {
    return SetKey{0, s.priority, s.has_colors(), false, s.material_name};
  });
  const float step = scene.step_size(scene.polygon_count());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    scene.advance(step, kCombineLabel);
    if (sets[i].deleted) continue;
    reserve_for_appends(sets[i], groups.live_later(sets, i));
    // A set already merged into another one is not taken twice.
    groups.for_each_later(i, [&](std::size_t j) {
      if (sets[j].deleted || !fits_after(sets[i], sets[j])) return;
      append_set(sets[i], sets[j], false);
      sets[j].deleted = true;
    });
  }
  scene.finish_stage(kCombineLabel);
}

void magnify_scene(ExportScene& scene) {
  const float m = scene.magnify;
  // x * 1 is x for every number: at 1 nothing moves, and the arrays shared
  // between sets and frames are left untouched.
  const bool moves = m != 1.0f;
  const float step = scene.step_size(scene.polygon_count());
  if (moves) {
    change_once_per_array(
        scene.polygons, &PolygonSet::positions, [](const PolygonSet&) { return true; },
        [](const PolygonSet&) { return 0; },
        [m](std::vector<Vec3>& positions, const PolygonSet&) {
          for (Vec3& p : positions) p = p * m;
        });
  }
  for (PolygonSet& set : scene.polygons) {
    scene.advance(step, kMagnifyLabel);
    if (!moves) continue;
    set.box_min = set.box_min * m;
    set.box_max = set.box_max * m;
    set.box_r *= m;
  }
  for (SceneNode& node : scene.nodes) {
    if (!moves) break;
    node.translate = node.translate * m;
    for (Vec3& t : node.translate_frames) t = t * m;
    node.volume_min = node.volume_min * m;
    node.volume_max = node.volume_max * m;
    node.volume_r *= m;
  }
  scene.finish_stage(kMagnifyLabel);
}

bool scale_positions(ExportScene& scene) {
  for (PolygonSet& set : scene.polygons) set.unscaled_positions = set.positions;

  // Halving maps the smallest and largest coordinates to the smallest and
  // largest again, so the extremes decide how often to halve.
  // A shared array is read once, at its first set: reading it again cannot
  // move the extremes, and its first set is the first that would fail.
  float lo = 0, hi = 0;
  bool any = false;
  // The sets of one node come one after another: the one before is asked
  // first, without hashing.
  std::unordered_set<const void*> read;
  const void* last_read = nullptr;
  for (const PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    const void* array = set.positions.identity();
    if (array == last_read || !read.insert(array).second) continue;
    last_read = array;
    for (const Vec3& p : set.positions) {
      if (non_finite(p)) {
        if (scene.host_interface != nullptr) {
          show_error(*scene.host_interface,
                     format("Position out of range in polygon set %s.", set.node_name.c_str()),
                     "Node Export Error");
        }
        return false;
      }
      for (float v : {p.x, p.y, p.z}) {
        if (!any) {
          lo = hi = v;
          any = true;
        }
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
  }

  int count = 0;
  while (lo < -8.0f || hi >= 8.0f) {
    lo *= 0.5f;
    hi *= 0.5f;
    ++count;
  }
  // Rounding to 1/4096 carries values just below 8 up to 8, which the
  // fixed-point format cannot hold: halve once more in that case.
  if (round4096(hi) >= 8.0f) ++count;

  // Deleted sets are rounded but not halved.
  change_once_per_array(
      scene.polygons, &PolygonSet::positions, [](const PolygonSet&) { return true; },
      [count](const PolygonSet& set) { return set.deleted ? 0 : count; },
      [count](std::vector<Vec3>& positions, const PolygonSet& set) {
        const int halvings = set.deleted ? 0 : count;
        for (Vec3& p : positions) {
          for (int h = 0; h < halvings; ++h) p = p * 0.5f;
          p = round4096(p);
        }
      });
  scene.pos_scale = count;
  return true;
}

}  // namespace kavro::process
