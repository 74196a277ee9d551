#include "exporter/pipeline/finite_values.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {
namespace {

bool finite(float v) {
  return std::isfinite(v);
}
bool finite(Vec3 v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
bool finite(const TexCoord& t) {
  return std::isfinite(t.s) && std::isfinite(t.t);
}
bool finite(const Mat4& m) {
  for (float v : m.m) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}
// Whether n floats are all finite: a float is not when its exponent bits
// are all set. One pass without a branch per value (the per-frame arrays
// hold millions of them), sixteen values a step in four vector registers.
bool all_finite(const void* values, std::size_t n) {
  using U4 = std::uint32_t __attribute__((vector_size(16)));
  const auto* bytes = static_cast<const unsigned char*>(values);
  const U4 exponent = {0x7F800000u, 0x7F800000u, 0x7F800000u, 0x7F800000u};
  U4 bad4 = {};
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    U4 v[4];
    std::memcpy(v, bytes + i * sizeof(float), sizeof v);
    bad4 |= reinterpret_cast<U4>((v[0] & exponent) == exponent) |
            reinterpret_cast<U4>((v[1] & exponent) == exponent) |
            reinterpret_cast<U4>((v[2] & exponent) == exponent) |
            reinterpret_cast<U4>((v[3] & exponent) == exponent);
  }
  std::uint32_t bad = bad4[0] | bad4[1] | bad4[2] | bad4[3];
  for (; i < n; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, bytes + i * sizeof bits, sizeof bits);
    bad |= static_cast<std::uint32_t>((bits & 0x7F800000u) == 0x7F800000u);
  }
  return bad == 0;
}
template <class T>
bool finite(const std::vector<T>& values) {
  if constexpr (std::is_same_v<T, float> || std::is_same_v<T, Vec3>) {
    static_assert(sizeof(T) % sizeof(float) == 0);
    return all_finite(values.data(), values.size() * (sizeof(T) / sizeof(float)));
  } else {
    for (const T& v : values) {
      if (!finite(v)) return false;
    }
    return true;
  }
}
// The shared arrays already found finite: the sets of one node hold the
// same arrays, each is read once per check.
class FiniteArrays {
 public:
  template <class T>
  bool finite(const SharedArray<T>& values) {
    if (values.empty() || known_.count(values.identity()) != 0) return true;
    if (!kavro::finite(values.vector())) return false;
    known_.insert(values.identity());
    return true;
  }

 private:
  std::unordered_set<const void*> known_;
};
template <class Face>
bool finite_normals(const std::vector<Face>& faces) {
  for (const Face& f : faces) {
    if (!finite(f.normal)) return false;
  }
  return true;
}

bool finite(const SceneNode& n) {
  return finite(n.scale) && finite(n.rotate) && finite(n.translate) && finite(n.scale_frames) &&
         finite(n.rotate_frames) && finite(n.translate_frames) && finite(n.volume_min) &&
         finite(n.volume_max) && finite(n.volume_r) && finite(n.world_matrix) &&
         finite(n.world_rotation) && finite(n.inverse_bind_matrix) &&
         finite(n.inverse_bind_rotation);
}

bool finite(const PolygonSet& s, FiniteArrays& arrays) {
  if (!(arrays.finite(s.positions) && arrays.finite(s.unscaled_positions) &&
        arrays.finite(s.normals) && arrays.finite(s.texcoords) && finite(s.box_min) &&
        finite(s.box_max) && finite(s.box_r) && finite_normals(s.triangles) &&
        finite_normals(s.quads))) {
    return false;
  }
  for (const SkinInfluence& w : s.weights) {
    if (!finite(w.weights)) return false;
  }
  for (const std::vector<float>& w : s.morph_weights) {
    if (!finite(w)) return false;
  }
  return true;
}

bool finite(const SceneMaterial& m) {
  return finite(m.tex_translate_s_frames) && finite(m.tex_translate_t_frames) &&
         finite(m.tex_scale_s_frames) && finite(m.tex_scale_t_frames) &&
         finite(m.tex_rotate_frames) && finite(m.tex_effect_mtx);
}

bool finite(const SceneCamera& c) {
  return finite(c.position) && finite(c.lookat) && finite(c.twist) && finite(c.near_plane) &&
         finite(c.far_plane) && finite(c.fovy) && finite(c.aspect) && finite(c.ortho_width) &&
         finite(c.ortho_height);
}

}  // namespace

std::string find_non_finite(const ExportScene& scene) {
  for (const SceneNode& n : scene.nodes) {
    if (!finite(n)) return "node " + n.name;
  }
  FiniteArrays arrays;
  for (const PolygonSet& s : scene.polygons) {
    if (!s.deleted && !finite(s, arrays)) return "polygon set " + s.node_name;
  }
  for (const SceneMaterial& m : scene.materials) {
    if (!finite(m)) return "material " + m.name;
  }
  for (std::size_t i = 0; i < scene.lights.size(); ++i) {
    if (!finite(scene.lights[i].direction)) return "light " + std::to_string(i);
  }
  for (std::size_t i = 0; i < scene.cameras.size(); ++i) {
    if (!finite(scene.cameras[i])) return "camera " + std::to_string(i);
  }
  return {};
}

}  // namespace kavro
