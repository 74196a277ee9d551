#include "exporter/imd/polygon_array.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "exporter/imd/faces.h"
#include "exporter/imd/material_array.h"
#include "exporter/imd/vertex_lists.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

namespace {

// The strips of one kind of face: from each head face not yet taken, along
// the next-face chain for as many faces as the head claims, stopping at a
// face already taken or a link out of range. `strip` is called with each
// strip's first face, `face` with every face in chain order; `taken` marks
// the faces the strips took (n flags).
template <class Face, class Strip, class Next>
void walk_strips(const std::vector<Face>& faces, std::uint32_t head_bit, char* taken, Strip strip,
                 Next face) {
  const std::size_t n = faces.size();
  std::fill(taken, taken + n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    if ((faces[i].strip_flags & head_bit) == 0 || taken[i]) continue;
    const std::size_t length = std::max<std::size_t>(1, faces[i].strip_flags & kStripCountMask);
    strip();
    std::int32_t f = static_cast<std::int32_t>(i);
    for (std::size_t count = 0; count < length && !taken[f]; ++count) {
      taken[f] = 1;
      face(f);
      f = faces[f].next;
      if (f < 0 || f >= std::ssize(faces)) break;
    }
  }
}

// Strips from their heads along the chain, then the faces no strip took. The
// arrays are filled in place, keeping what they hold from the last set.
template <class Face>
void lay_out(const std::vector<Face>& faces, std::uint32_t head_bit,
             std::vector<std::vector<int>>& strips, std::vector<int>& separate,
             std::vector<char>& taken) {
  taken.resize(faces.size());
  std::size_t used = 0;
  std::vector<int>* chain = nullptr;
  walk_strips(
      faces, head_bit, taken.data(),
      [&] {
        if (used == strips.size()) strips.emplace_back();
        chain = &strips[used++];
        chain->clear();
      },
      [&](int f) { chain->push_back(f); });
  strips.resize(used);
  separate.clear();
  for (std::size_t i = 0; i < faces.size(); ++i) {
    if (!taken[i]) separate.push_back(static_cast<int>(i));
  }
}

// face_layout into a layout kept from set to set.
void face_layout(const PolygonSet& set, FaceLayout& layout, std::vector<char>& taken) {
  lay_out(set.quads, kQuadStripHeadBit, layout.quad_strips, layout.separate_quads, taken);
  lay_out(set.triangles, kTriStripHeadBit, layout.tri_strips, layout.separate_tris, taken);
}

}  // namespace

FaceLayout face_layout(const PolygonSet& set) {
  FaceLayout layout;
  std::vector<char> taken;
  face_layout(set, layout, taken);
  return layout;
}

int sent_vertex_count(const FaceLayout& layout) {
  int sent = 0;
  for (const auto& strip : layout.quad_strips) sent += 2 * static_cast<int>(strip.size()) + 2;
  for (const auto& strip : layout.tri_strips) sent += static_cast<int>(strip.size()) + 2;
  sent += 4 * static_cast<int>(layout.separate_quads.size());
  sent += 3 * static_cast<int>(layout.separate_tris.size());
  return sent;
}

namespace {

// What lay_out's strips and separate faces send, counted along the same
// walk without building them: most sets are small, and their flags fit on
// the stack.
template <class Face>
int sent_by_walk(const std::vector<Face>& faces, std::uint32_t head_bit, bool quads) {
  const std::size_t n = faces.size();
  char small[512];
  std::vector<char> large;
  char* taken = small;
  if (n > sizeof small) {
    large.resize(n);
    taken = large.data();
  }
  int strips = 0;
  int in_strips = 0;
  walk_strips(
      faces, head_bit, taken, [&] { ++strips; }, [&](int) { ++in_strips; });
  // n + 2 per triangle strip of n faces, 2n + 2 per quad strip; 3 or 4 per
  // separate face.
  const int separate = static_cast<int>(n) - in_strips;
  return quads ? 2 * in_strips + 2 * strips + 4 * separate : in_strips + 2 * strips + 3 * separate;
}

}  // namespace

int sent_vertex_count(const PolygonSet& set) {
  return sent_by_walk(set.quads, kQuadStripHeadBit, true) +
         sent_by_walk(set.triangles, kTriStripHeadBit, false);
}

int vertex_matrix(const PolygonSet& set, int position) {
  if (set.skinned()) {
    return position >= 0 && position < std::ssize(set.matrix_list) ? set.matrix_list[position] : -1;
  }
  return set.matrix_list.empty() ? -1 : set.matrix_list[0];
}

namespace {

// Matrices of the given faces' corners that the list lacks, each once, in
// corner order face by face.
template <class Face>
void missing_matrices(const PolygonSet& set, const std::vector<Face>& faces,
                      const std::vector<int>& which, const std::vector<int>& list,
                      std::vector<int>& missing) {
  missing.clear();
  for (int f : which) {
    for (const Corner& c : faces[f].corners) {
      int m = vertex_matrix(set, c.pos);
      if (m < 0) continue;
      if (std::find(list.begin(), list.end(), m) != list.end()) continue;
      if (std::find(missing.begin(), missing.end(), m) != missing.end()) continue;
      missing.push_back(m);
    }
  }
}

constexpr std::size_t kMatrixLimit = 32;  // a matrix primitive holds fewer

// The units still to place while grouping, kept from set to set.
struct GroupWork {
  std::vector<std::size_t> quad_strips, tri_strips, still_strips;
  std::vector<int> quads, tris, still_faces, missing;
  std::vector<int> one = std::vector<int>(1);
};

// group_matrix_primitives into an array kept from set to set: its entries,
// their matrix lists and primitives are filled in place.
void group_matrix_primitives(const PolygonSet& set, const FaceLayout& layout,
                             std::vector<MatrixPrimitive>& result, GroupWork& w) {
  bool skinned = set.skinned();
  // Units still to place: strips and single faces, in the order they are tried.
  w.quad_strips.resize(layout.quad_strips.size());
  w.tri_strips.resize(layout.tri_strips.size());
  for (std::size_t i = 0; i < w.quad_strips.size(); ++i) w.quad_strips[i] = i;
  for (std::size_t i = 0; i < w.tri_strips.size(); ++i) w.tri_strips[i] = i;
  w.quads.assign(layout.separate_quads.begin(), layout.separate_quads.end());
  w.tris.assign(layout.separate_tris.begin(), layout.separate_tris.end());

  std::size_t used = 0;
  while (!w.quad_strips.empty() || !w.tri_strips.empty() || !w.quads.empty() || !w.tris.empty()) {
    if (used == result.size()) result.emplace_back();
    MatrixPrimitive& mp = result[used];
    mp.matrices.clear();
    std::size_t prims = 0;
    auto next_primitive = [&](bool is_quad, bool strip) -> Primitive& {
      if (prims == mp.primitives.size()) mp.primitives.emplace_back();
      Primitive& p = mp.primitives[prims++];
      p.quads = is_quad;
      p.strip = strip;
      p.faces.clear();
      return p;
    };
    auto fits_and_add = [&](const auto& faces, const std::vector<int>& which) {
      missing_matrices(set, faces, which, mp.matrices, w.missing);
      if (skinned && mp.matrices.size() + w.missing.size() >= kMatrixLimit) return false;
      mp.matrices.insert(mp.matrices.end(), w.missing.begin(), w.missing.end());
      return true;
    };
    auto place_strips = [&](const auto& faces, const std::vector<std::vector<int>>& strips,
                            std::vector<std::size_t>& left, bool is_quad) {
      w.still_strips.clear();
      for (std::size_t s : left) {
        if (fits_and_add(faces, strips[s])) {
          next_primitive(is_quad, true).faces.assign(strips[s].begin(), strips[s].end());
        } else {
          w.still_strips.push_back(s);
        }
      }
      left.swap(w.still_strips);
    };
    // The faces that fit go into one primitive, made at the first of them.
    auto place_faces = [&](const auto& faces, std::vector<int>& left, bool is_quad) {
      Primitive* prim = nullptr;
      w.still_faces.clear();
      for (int f : left) {
        w.one[0] = f;
        if (fits_and_add(faces, w.one)) {
          if (prim == nullptr) prim = &next_primitive(is_quad, false);
          prim->faces.push_back(f);
        } else {
          w.still_faces.push_back(f);
        }
      }
      left.swap(w.still_faces);
    };
    place_strips(set.quads, layout.quad_strips, w.quad_strips, true);
    place_strips(set.triangles, layout.tri_strips, w.tri_strips, false);
    place_faces(set.quads, w.quads, true);
    place_faces(set.triangles, w.tris, false);
    mp.primitives.resize(prims);
    // Every unit fits an empty matrix primitive (strips are cut at 30
    // influence lists); one that does not cannot be written.
    if (prims == 0) break;
    ++used;
  }
  result.resize(used);
}

}  // namespace

std::vector<MatrixPrimitive> group_matrix_primitives(const PolygonSet& set,
                                                     const FaceLayout& layout) {
  std::vector<MatrixPrimitive> result;
  GroupWork work;
  group_matrix_primitives(set, layout, result, work);
  return result;
}

namespace {

const float kNormalMax = std::bit_cast<float>(0x3F7F8002u);  // 0.99804699

double d(float v) {
  return static_cast<double>(v);
}

// v x 4096 truncated toward zero, when it fits a signed 16-bit value.
bool fixed16(float v, int& out) {
  double x = static_cast<double>(v) * 4096.0;
  if (!(x > -32769.0 && x < 32768.0)) return false;
  out = static_cast<int>(x);
  return out >= -32768 && out <= 32767;
}

struct Previous {
  int matrix = -1;
  TexCoord tex{1000000.0f, 1000000.0f};
  int rgb[3] = {255, 255, 255};
  int color_index = -1;
  Vec3 normal{};
  Vec3 position{};
  bool uv_warned = false;
};

bool is_zero(const Vec3& n) {
  return n.x > -0.0005f && n.x < 0.0005f && n.y > -0.0005f && n.y < 0.0005f && n.z > -0.0005f &&
         n.z < 0.0005f;
}

// The indices of the zero normals of each normal array, found once per array
// (the sets of one node share theirs).
class ZeroNormals {
 public:
  const std::vector<std::uint16_t>& of(const PolygonSet& set) {
    auto [it, added] = found_.try_emplace(set.normals.identity());
    if (added) {
      for (std::size_t k = 0; k < set.normals.size(); ++k) {
        if (is_zero(set.normals[k])) it->second.push_back(static_cast<std::uint16_t>(k));
      }
    }
    return it->second;
  }

 private:
  std::unordered_map<const void*, std::vector<std::uint16_t>> found_;
};

class PolygonWriter {
 public:
  PolygonWriter(OutputFile& out, const ExportScene& scene, ExportLog& log, ZeroNormals& zeros)
      : out_(out), scene_(scene), log_(log), bases_(vertex_list_bases(scene)), zeros_(zeros) {
    no_material_.lighting = 0;
  }

  // `image` is the material's tex_image_array entry (-1 for none).
  void write_polygon(const PolygonSet& set, int set_index, int index, ImdTotals& totals,
                     const SceneMaterial& mat, int image);
  // Whether a normal of the set last written is zero, as it was drawn.
  bool zero_normal();
  // What a set whose scene has no material at all is drawn with: unlit and
  // untextured.
  const SceneMaterial& no_material() const { return no_material_; }

 private:
  void write_primitive(const PolygonSet& set, const Primitive& prim, int index);
  void write_vertex(const Corner& c, bool corner0);
  // Normal k of the set as drawn so far.
  Vec3 drawn_normal(std::uint16_t k) const {
    return k < stamp_.size() && stamp_[k] == pass_ ? unit_[k] : element_or_zero(set_->normals, k);
  }

  OutputFile& out_;
  const ExportScene& scene_;
  ExportLog& log_;
  const VertexListBases bases_;
  ZeroNormals& zeros_;
  SceneMaterial no_material_;
  Previous prev_;
  // Per polygon.
  const PolygonSet* set_ = nullptr;
  int pos_base_ = 0, color_base_ = 0;
  // The normals the set has drawn, each normalised when a vertex sends it (a
  // normal sent again is normalised again, from the value sent before). The
  // set's array is shared with the other sets of its node, so these are kept
  // here: unit_[k] is normal k when stamp_[k] == pass_.
  std::vector<Vec3> unit_;
  std::vector<std::uint32_t> stamp_;
  std::vector<std::uint16_t> touched_;
  std::uint32_t pass_ = 0;
  const SceneMaterial* mat_ = nullptr;
  const MatrixPrimitive* mp_ = nullptr;
  // The layout and matrix primitives of the set, kept from set to set.
  FaceLayout layout_;
  std::vector<char> taken_;
  std::vector<MatrixPrimitive> groups_;
  GroupWork group_work_;
  const SceneTexture* texture_ = nullptr;
  bool tex_commands_ = false;
  bool tex_from_material_ = false;
  bool colors_ = false;
  bool normals_ = false;
};

void PolygonWriter::write_polygon(const PolygonSet& set, int set_index, int index,
                                  ImdTotals& totals, const SceneMaterial& mat, int image) {
  set_ = &set;
  mat_ = &mat;
  pos_base_ = bases_.pos[set_index];
  color_base_ = bases_.color[set_index];
  prev_.uv_warned = false;
  face_layout(set, layout_, taken_);
  const FaceLayout& layout = layout_;
  int sent = sent_vertex_count(layout);
  group_matrix_primitives(set, layout, groups_, group_work_);
  const std::vector<MatrixPrimitive>& groups = groups_;

  int tex_index = image;
  texture_ =
      tex_index >= 0 && tex_index < scene_.texture_count() ? &scene_.textures[tex_index] : nullptr;
  tex_from_material_ = (mat.tex_gen_mode == 2 || mat.tex_gen_mode == 3) && mat.tex_gen_st_src == 1;
  // Without a texture record there is no size to scale the coordinates by:
  // the polygon is then written without texture coordinates.
  bool tex_flag = set.has_texcoords() && tex_index != -1 && texture_ != nullptr &&
                  mat.texture_image_count >= 1 && !tex_from_material_;
  tex_commands_ = !mat.texture_path.empty() && set.has_texcoords();
  colors_ = set.has_colors() && mat.lighting == 0;
  normals_ = set.has_normals() && mat.lighting != 0;
  ++pass_;
  touched_.clear();
  if (normals_ && unit_.size() < set.normals.size()) {
    unit_.resize(set.normals.size());
    stamp_.resize(set.normals.size(), 0);
  }

  double s = std::ldexp(1.0, -scene_.pos_scale);
  auto scaled = [s](float v) { return d(round4096(d(v) * s)); };
  out_.line() << "\t<polygon index=\"" << index << "\" name=\""
              << OutputFile::Line::XmlEscaped{set.node_name} << "\"\n";
  out_.line() << "\t\tvertex_size=\"" << sent << "\" polygon_size=\""
              << (set.triangle_count() + set.quad_count()) << "\"\n";
  out_.line() << "\t\ttriangle_size=\"" << set.triangle_count() << "\" quad_size=\""
              << set.quad_count() << "\"\n";
  out_.line() << "\t\tvolume_min=\"" << scaled(set.box_min.x) << " " << scaled(set.box_min.y) << " "
              << scaled(set.box_min.z) << "\"\n";
  out_.line() << "\t\tvolume_max=\"" << scaled(set.box_max.x) << " " << scaled(set.box_max.y) << " "
              << scaled(set.box_max.z) << "\"\n";
  out_.line() << "\t\tvolume_r=\"" << scaled(set.box_r) << "\"\n";
  out_.line() << "\t\tmtx_prim_size=\"" << static_cast<int>(groups.size()) << "\"\n";
  out_.line() << "\t\tnrm_flag=\"" << (mat.lighting != 0 ? "on" : "off") << "\" clr_flag=\""
              << (set.has_colors() ? "on" : "off") << "\" tex_flag=\"" << (tex_flag ? "on" : "off")
              << "\"\n";
  out_.write("\t>\n");
  if (groups.size() > 1) log_.add_warning("Warning: Mtx_prim_size of <polygon> is over 1");

  prev_.normal = {};
  prev_.tex = {1000000.0f, 1000000.0f};
  prev_.rgb[0] = prev_.rgb[1] = prev_.rgb[2] = 255;
  prev_.color_index = -1;

  for (std::size_t g = 0; g < groups.size(); ++g) {
    const MatrixPrimitive& mp = groups[g];
    mp_ = &mp;
    out_.line() << "\t\t<mtx_prim index=\"" << static_cast<int>(g) << "\">\n";
    out_.line() << "\t\t\t<mtx_list size=\"" << static_cast<int>(mp.matrices.size()) << "\">";
    for (std::size_t m = 0; m < mp.matrices.size(); ++m) {
      if (m > 0) out_.line() << " ";
      out_.line() << mp.matrices[m];
    }
    out_.write("</mtx_list>\n");
    out_.line() << "\t\t\t<primitive_array size=\"" << static_cast<int>(mp.primitives.size())
                << "\">\n";
    prev_.matrix = -1;
    for (std::size_t p = 0; p < mp.primitives.size(); ++p) {
      write_primitive(set, mp.primitives[p], static_cast<int>(p));
    }
    out_.write("\t\t\t</primitive_array>\n");
    out_.write("\t\t</mtx_prim>\n");
  }
  out_.write("\t</polygon>\n");
  totals.vertices += sent;
  totals.triangles += set.triangle_count();
  totals.quads += set.quad_count();
}

void PolygonWriter::write_primitive(const PolygonSet& set, const Primitive& prim, int index) {
  int n = static_cast<int>(prim.faces.size());
  const char* type;
  int size;
  if (prim.strip) {
    type = prim.quads ? "quad_strip" : "triangle_strip";
    size = prim.quads ? 2 * n + 2 : n + 2;
  } else {
    type = prim.quads ? "quads" : "triangles";
    size = prim.quads ? 4 * n : 3 * n;
  }
  out_.line() << "\t\t\t\t<primitive index=\"" << index << "\" type=\"" << type
              << "\" vertex_size=\"" << size << "\">\n";
  for (int i = 0; i < n; ++i) {
    const int f = prim.faces[i];
    const Corner* c = prim.quads ? set.quads[f].corners.data() : set.triangles[f].corners.data();
    if (prim.strip) {
      // A strip sends the first face's corners 0 and 1, then per face corner
      // 3 (quadrilaterals) and corner 2.
      if (i == 0) {
        write_vertex(c[0], true);
        write_vertex(c[1], false);
      }
      if (prim.quads) write_vertex(c[3], false);
      write_vertex(c[2], false);
    } else {
      int corners = prim.quads ? 4 : 3;
      for (int k = 0; k < corners; ++k) write_vertex(c[k], k == 0);
    }
  }
  out_.write("\t\t\t\t</primitive>\n");
}

void PolygonWriter::write_vertex(const Corner& c, bool corner0) {
  const PolygonSet& set = *set_;
  const SceneMaterial& mat = *mat_;

  // Matrix.
  bool matrix_written = false;
  int m = vertex_matrix(set, c.pos);
  if (m >= 0 && m != prev_.matrix) {
    auto it = std::find(mp_->matrices.begin(), mp_->matrices.end(), m);
    out_.line() << "\t\t\t\t\t<mtx idx=\"" << static_cast<int>(it - mp_->matrices.begin())
                << "\"/>\n";
    prev_.matrix = m;
    matrix_written = true;
  }

  // Texture coordinate.
  bool tex_changed = false;
  if (tex_commands_) {
    TexCoord tc = element_or_zero(set.texcoords, c.tex);
    if (!tex_from_material_ && texture_ != nullptr) {
      float ps = tc.s * static_cast<float>(texture_->original_width);
      float pt = tc.t * static_cast<float>(texture_->original_height);
      if ((ps < -2048.0f || ps >= 2048.0f || pt < -2048.0f || pt >= 2048.0f) && !prev_.uv_warned) {
        log_.add_warning_f("Warning: UV range over. %s (%s) %.6f, %.6f", set.node_name.c_str(),
                           mat.name.c_str(), d(ps), d(pt));
        prev_.uv_warned = true;
      }
      out_.line() << "\t\t\t\t\t<tex st=\"" << d(ps) << " " << d(pt) << "\"/>\n";
    }
    tex_changed = !(tc == prev_.tex);
    prev_.tex = tc;
  }

  // Colour.
  if (colors_) {
    if (scene_.vertex_style == VertexStyle::kIndex) {
      int idx = c.clr + color_base_;
      if (idx != prev_.color_index) out_.line() << "\t\t\t\t\t<clr_idx idx=\"" << idx << "\"/>\n";
      prev_.color_index = idx;
    } else {
      VertexColor col = element_or_zero(set.colors, c.clr);
      int rgb[3] = {col.r >> 3, col.g >> 3, col.b >> 3};
      if (rgb[0] != prev_.rgb[0] || rgb[1] != prev_.rgb[1] || rgb[2] != prev_.rgb[2]) {
        out_.line() << "\t\t\t\t\t<clr rgb=\"" << rgb[0] << " " << rgb[1] << " " << rgb[2]
                    << "\"/>\n";
      }
      prev_.rgb[0] = rgb[0];
      prev_.rgb[1] = rgb[1];
      prev_.rgb[2] = rgb[2];
    }
  }

  // Normal.
  if (normals_) {
    Vec3 n = normalize(drawn_normal(c.nrm));
    if (c.nrm < set.normals.size()) {
      if (stamp_[c.nrm] != pass_) touched_.push_back(c.nrm);
      stamp_[c.nrm] = pass_;
      unit_[c.nrm] = n;
    }
    bool from_normals = mat.tex_gen_mode == 2 && mat.tex_gen_st_src == 0;
    bool differs = std::fabs(n.x - prev_.normal.x) >= 0.001f ||
                   std::fabs(n.y - prev_.normal.y) >= 0.001f ||
                   std::fabs(n.z - prev_.normal.z) >= 0.001f;
    if ((from_normals && tex_changed) || differs || matrix_written) {
      auto clamp = [](float v) { return d(std::clamp(v, -1.0f, kNormalMax)); };
      out_.line() << "\t\t\t\t\t<nrm xyz=\"" << clamp(n.x) << " " << clamp(n.y) << " " << clamp(n.z)
                  << "\"/>\n";
    }
    prev_.normal = n;
  }

  // Position.
  Vec3 p = element_or_zero(set.positions, c.pos);
  out_.write("\t\t\t\t\t");
  if (scene_.vertex_style == VertexStyle::kIndex) {
    out_.line() << "<pos_idx idx=\"" << (c.pos + pos_base_) << "\"/>\n";
  } else if (corner0) {
    int x, y, z;
    // The short form holds multiples of 1/64 that fit 16 bits; a value
    // outside that range takes the full form rather than wrapping.
    if (fixed16(p.x, x) && fixed16(p.y, y) && fixed16(p.z, z) && (x & 63) == 0 && (y & 63) == 0 &&
        (z & 63) == 0) {
      out_.line() << "<pos_s xyz=\"" << x / 4096.0 << " " << y / 4096.0 << " " << z / 4096.0
                  << "\"/>\n";
    } else {
      out_.line() << "<pos_xyz xyz=\"" << d(p.x) << " " << d(p.y) << " " << d(p.z) << "\"/>\n";
    }
  } else {
    Vec3 delta = p - prev_.position;
    if (std::fabs(delta.x) < 0.125f && std::fabs(delta.y) < 0.125f && std::fabs(delta.z) < 0.125f) {
      out_.line() << "<pos_diff xyz=\"" << d(delta.x) << " " << d(delta.y) << " " << d(delta.z)
                  << "\"/>\n";
    } else if (p.x == prev_.position.x) {
      out_.line() << "<pos_yz yz=\"" << d(p.y) << " " << d(p.z) << "\"/>\n";
    } else if (p.y == prev_.position.y) {
      out_.line() << "<pos_xz xz=\"" << d(p.x) << " " << d(p.z) << "\"/>\n";
    } else if (p.z == prev_.position.z) {
      out_.line() << "<pos_xy xy=\"" << d(p.x) << " " << d(p.y) << "\"/>\n";
    } else {
      out_.line() << "<pos_xyz xyz=\"" << d(p.x) << " " << d(p.y) << " " << d(p.z) << "\"/>\n";
    }
  }
  prev_.position = p;
}

bool PolygonWriter::zero_normal() {
  for (std::uint16_t k : zeros_.of(*set_)) {
    if (!normals_ || stamp_[k] != pass_) return true;
  }
  if (!normals_) return false;
  return std::any_of(touched_.begin(), touched_.end(),
                     [&](std::uint16_t k) { return is_zero(unit_[k]); });
}

}  // namespace

void write_polygon_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         ImdTotals& totals) {
  write_polygon_array(out, scene, log, totals, MaterialIndex(scene.materials));
}

void write_polygon_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         ImdTotals& totals, const MaterialIndex& materials) {
  const char* const kStage = "IMD: Exporting Meshes";
  float step = log.step_size(2 * scene.polygon_count());
  int count = 0;
  for (const PolygonSet& set : scene.polygons) {
    log.advance(step, kStage);
    if (!set.deleted) ++count;
  }
  // Zero normals are told from the normals as they were drawn.
  ZeroNormals zeros;
  std::vector<char> zero_normal(scene.polygons.size(), 0);
  for (std::size_t i = 0; i < scene.polygons.size(); ++i) {
    zero_normal[i] = zeros.of(scene.polygons[i]).empty() ? 0 : 1;
  }
  if (count > 0) {
    out.line() << "\n<polygon_array size=\"" << count << "\">\n";
    const std::vector<int> images = texture_image_indices(scene);
    PolygonWriter writer(out, scene, log, zeros);
    int index = 0;
    int next_material = 0;  // a guess: sets mostly follow their materials
    for (std::size_t i = 0; i < scene.polygons.size(); ++i) {
      const PolygonSet& set = scene.polygons[i];
      if (set.deleted) continue;
      log.advance(step, kStage);
      if (scene.materials.empty()) {
        writer.write_polygon(set, static_cast<int>(i), index++, totals, writer.no_material(), -1);
      } else {
        const int m = materials.position(set.material_name, next_material);
        next_material = m + 1;
        writer.write_polygon(set, static_cast<int>(i), index++, totals, scene.materials[m],
                             images[m]);
      }
      zero_normal[i] = writer.zero_normal() ? 1 : 0;
    }
    out.write("</polygon_array>\n");
  }
  check_limits(log, totals);
  for (std::size_t i = 0; i < scene.polygons.size(); ++i) {
    if (zero_normal[i] != 0)
      log.add_warning("Warning: Zero normals exist " + scene.polygons[i].node_name);
  }
  log.finish_stage(kStage);
}

}  // namespace kavro
