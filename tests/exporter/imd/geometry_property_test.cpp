// Properties that hold for every mesh: strips visit exactly the faces they
// replace, with their winding; the counts in the headers match the commands
// written; malformed scenes are written without crashing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "exporter/imd/faces.h"
#include "exporter/imd/matrix_array.h"
#include "exporter/imd/node_array.h"
#include "exporter/imd/polygon_array.h"
#include "exporter/imd/quads.h"
#include "exporter/imd/strips.h"
#include "exporter/imd/vertex_lists.h"
#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::quad;
using test::tri;

// A grid of cells with holes; each cell a quadrilateral or two triangles
// (either diagonal), all facing +z.
PolygonSet random_grid(std::mt19937& rng, bool skinned) {
  int w = 1 + static_cast<int>(rng() % 9), h = 1 + static_cast<int>(rng() % 6);
  PolygonSet set;
  for (int r = 0; r <= h; ++r) {
    for (int c = 0; c <= w; ++c) {
      set.positions.edit().push_back(
          {0.1f * static_cast<float>(c), 0.1f * static_cast<float>(r), 0});
      if (skinned) {
        SkinInfluence inf;
        inf.node_ids = {static_cast<int>(rng() % 40)};
        inf.weights = {1.0f};
        set.weights.push_back(inf);
      }
    }
  }
  auto v = [&](int r, int c) { return r * (w + 1) + c; };
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      unsigned kind = rng() % 8;
      if (kind == 0) continue;
      int a = v(r, c), b = v(r, c + 1), cc = v(r + 1, c + 1), d = v(r + 1, c);
      if (kind < 4) {
        set.quads.push_back(quad(a, b, cc, d));
      } else if (kind < 6) {
        set.triangles.push_back(tri(a, b, cc));
        set.triangles.push_back(tri(a, cc, d));
      } else {
        set.triangles.push_back(tri(a, b, d));
        set.triangles.push_back(tri(b, cc, d));
      }
    }
  }
  return set;
}

template <class Face>
std::vector<int> positions_of(const Face& f) {
  std::vector<int> p;
  for (const Corner& c : f.corners) p.push_back(c.pos);
  return p;
}

// True when b lists the same positions as a, in the same cyclic order.
bool same_winding(const std::vector<int>& a, const std::vector<int>& b) {
  for (std::size_t shift = 0; shift < a.size(); ++shift) {
    bool all = true;
    for (std::size_t i = 0; i < a.size() && all; ++i) all = a[i] == b[(i + shift) % b.size()];
    if (all) return true;
  }
  return false;
}

// Folds a quadrilateral over some cells of the top row: for the cell
// (a, b, c, d) the quadrilateral (a, p, d, c) with p a new position above the
// row. It shares the edge d-c with the cell, wound the other way, and also
// holds the cell's diagonal pair c-a; its own diagonal a-d is an edge of the
// cell on the left.
void add_folds(std::mt19937& rng, PolygonSet& set) {
  std::vector<NQuadFace> folds;
  for (const NQuadFace& q : set.quads) {
    Vec3 c = set.positions[q.corners[2].pos];
    if (rng() % 2 == 0) continue;
    bool top = true;
    for (const Vec3& p : set.positions) top = top && p.y <= c.y;
    if (!top) continue;
    int p = set.vertex_count();
    set.positions.edit().push_back({c.x, c.y, 0.1f});
    if (!set.weights.empty()) {
      SkinInfluence same = set.weights[q.corners[2].pos];
      set.weights.push_back(same);
    }
    folds.push_back(quad(q.corners[0].pos, p, q.corners[3].pos, q.corners[2].pos));
  }
  set.quads.insert(set.quads.end(), folds.begin(), folds.end());
}

// Every face is drawn exactly once with its winding, and no strip needs more
// than one matrix primitive's influence lists.
void check_strips(const PolygonSet& before, bool skinned, int round) {
  PolygonSet set = before;
  {
    std::vector<int> classes = influence_classes(set);
    build_strips(set, true, classes);
    FaceLayout layout = face_layout(set);
    // The count without a layout walks the chains the same way.
    ASSERT_EQ(sent_vertex_count(set), sent_vertex_count(layout)) << round;

    std::vector<int> seen_quads(set.quads.size()), seen_tris(set.triangles.size());
    for (const auto& strip : layout.quad_strips) {
      ASSERT_GE(strip.size(), 2u);
      std::vector<int> seq;
      for (std::size_t k = 0; k < strip.size(); ++k) {
        const auto& c = set.quads[strip[k]].corners;
        if (k == 0) {
          seq.push_back(c[0].pos);
          seq.push_back(c[1].pos);
        }
        seq.push_back(c[3].pos);
        seq.push_back(c[2].pos);
      }
      std::set<int> lists;
      for (std::size_t k = 0; k < strip.size(); ++k) {
        std::size_t f = static_cast<std::size_t>(strip[k]);
        ++seen_quads[f];
        // Quad k of the strip is drawn as v2k, v2k+1, v2k+3, v2k+2.
        std::vector<int> drawn = {seq[2 * k], seq[2 * k + 1], seq[2 * k + 3], seq[2 * k + 2]};
        ASSERT_TRUE(same_winding(positions_of(before.quads[f]), drawn)) << "round " << round;
      }
      for (int p : seq) lists.insert(skinned ? classes[p] : 0);
      EXPECT_LE(lists.size(), 31u);
    }
    for (const auto& strip : layout.tri_strips) {
      ASSERT_GE(strip.size(), 2u);
      std::vector<int> seq;
      for (std::size_t k = 0; k < strip.size(); ++k) {
        const auto& c = set.triangles[strip[k]].corners;
        if (k == 0) {
          seq.push_back(c[0].pos);
          seq.push_back(c[1].pos);
        }
        seq.push_back(c[2].pos);
      }
      std::set<int> lists;
      for (std::size_t k = 0; k < strip.size(); ++k) {
        std::size_t f = static_cast<std::size_t>(strip[k]);
        ++seen_tris[f];
        // Odd triangles of a strip are drawn with their order reversed.
        std::vector<int> drawn = {seq[k], seq[k + 1], seq[k + 2]};
        if (k % 2 == 1) std::swap(drawn[0], drawn[1]);
        ASSERT_TRUE(same_winding(positions_of(before.triangles[f]), drawn)) << "round " << round;
      }
      for (int p : seq) lists.insert(skinned ? classes[p] : 0);
      EXPECT_LE(lists.size(), 31u);
    }
    for (int f : layout.separate_quads) ++seen_quads[f];
    for (int f : layout.separate_tris) ++seen_tris[f];
    for (int n : seen_quads) ASSERT_EQ(n, 1);
    for (int n : seen_tris) ASSERT_EQ(n, 1);
  }
}

TEST(StripProperties, StripsCoverEachFaceOnceWithItsWinding) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    bool skinned = round % 3 == 0;
    check_strips(random_grid(rng, skinned), skinned, round);
    if (HasFatalFailure()) return;
  }
}

TEST(StripProperties, FoldedQuadrilateralsSharingADiagonalPair) {
  std::mt19937 rng(77);
  for (int round = 0; round < 300; ++round) {
    bool skinned = round % 3 == 0;
    PolygonSet set = random_grid(rng, skinned);
    add_folds(rng, set);
    check_strips(set, skinned, round);
    if (HasFatalFailure()) return;
  }
}

// Faces over few positions, so that edges are shared by one, two or many
// faces and some faces repeat a position. Corners pick attributes (unless
// `attributes` is kNone) from short lists: near-equal normals (within and
// beyond the tolerance), equal and different texture coordinates and
// colours, indices past the lists' ends, and with kInfinite or kNaN one
// normal that matches nothing, not even itself. `base` moves the positions
// to the top of the 16-bit range.
enum class Attributes { kNone, kFinite, kInfinite, kNaN };

PolygonSet random_soup(std::mt19937& rng, int faces, int positions, int base,
                       Attributes attributes) {
  PolygonSet set;
  if (attributes != Attributes::kNone) {
    set.normals = {{0, 0, 1}, {0, 0.0005f, 1}, {0, 0.01f, 1}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    if (attributes == Attributes::kInfinite) {
      set.normals.edit()[3] = {std::numeric_limits<float>::infinity(), 0, 0};
    } else if (attributes == Attributes::kNaN) {
      set.normals.edit()[3] = {std::nanf(""), 0, 1};
    }
    set.texcoords = {{0, 0}, {0, 0}, {0.5f, 0}};
    set.colors = {{1, 2, 3}, {1, 2, 3}, {9, 2, 3}};
  }
  // Half the corners take attribute indices from their position, so that
  // corners at one position often have the same indices (the NaN and the
  // infinite normal included); the others pick at random.
  auto corner = [&] {
    Corner c;
    const int p = static_cast<int>(rng() % positions);
    c.pos = static_cast<std::uint16_t>(base + p);
    const bool by_position = rng() % 2 == 0;
    c.nrm = static_cast<std::uint16_t>(by_position ? p % 8 : rng() % 8);
    c.tex = static_cast<std::uint16_t>(by_position ? p % 4 : rng() % 2 == 0 ? 0 : rng() % 4);
    c.clr = static_cast<std::uint16_t>(by_position ? p % 4 : rng() % 2 == 0 ? 0 : rng() % 4);
    return c;
  };
  for (int i = 0; i < faces; ++i) {
    if (rng() % 3 == 0) {
      NQuadFace q;
      for (Corner& c : q.corners) c = corner();
      set.quads.push_back(q);
    } else {
      NTriFace t;
      for (Corner& c : t.corners) c = corner();
      set.triangles.push_back(t);
    }
  }
  return set;
}

// The neighbour lists by their definition: every other face, in order, that
// has two corners following each other matching two different corners of
// the face; at most as many as the face has corners.
template <class Face>
std::vector<std::vector<int>> plain_neighbours(const PolygonSet& set,
                                               const std::vector<Face>& faces) {
  const int k_corners = Face::kCorners;
  std::vector<std::vector<int>> lists(faces.size());
  for (std::size_t f = 0; f < faces.size(); ++f) {
    for (std::size_t g = 0; g < faces.size() && static_cast<int>(lists[f].size()) < k_corners;
         ++g) {
      if (g == f) continue;
      bool found = false;
      for (int k = 0; k < k_corners && !found; ++k) {
        const Corner& g0 = faces[g].corners[k];
        const Corner& g1 = faces[g].corners[(k + 1) % k_corners];
        for (int a = 0; a < k_corners && !found; ++a) {
          for (int b = 0; b < k_corners && !found; ++b) {
            found = a != b && corners_match(set, g0, faces[f].corners[a]) &&
                    corners_match(set, g1, faces[f].corners[b]);
          }
        }
      }
      if (found) lists[f].push_back(static_cast<int>(g));
    }
  }
  return lists;
}

TEST(StripProperties, NeighboursAreTheFirstFacesWithAMatchingEdge) {
  std::mt19937 rng(5);
  struct Case {
    int faces, positions, base;
  };
  // Small soups are sorted directly, big ones (over 1,024 edges of each
  // kind) by counting.
  const Case cases[] = {{30, 6, 0},   {30, 40, 0},   {30, 8, 65528},
                        {800, 14, 0}, {800, 300, 0}, {800, 30, 65500}};
  for (const Case& c : cases) {
    for (int round = 0; round < (c.faces > 100 ? 4 : 40); ++round) {
      const auto attributes = static_cast<Attributes>(round % 4);
      PolygonSet set = random_soup(rng, c.faces, c.positions, c.base, attributes);
      SCOPED_TRACE(::testing::Message() << "faces " << c.faces << " positions " << c.positions
                                        << " base " << c.base << " round " << round);
      EXPECT_EQ(strip_neighbours(set, false), plain_neighbours(set, set.triangles));
      EXPECT_EQ(strip_neighbours(set, true), plain_neighbours(set, set.quads));
      if (HasFailure()) return;
    }
  }
}

TEST(QuadProperties, GridTrianglesPairIntoTheirCells) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    PolygonSet set = random_grid(rng, false);
    set.quads.clear();
    const PolygonSet before = set;
    generate_quads(set);
    // Every triangle is used once; each quadrilateral is strictly convex and
    // faces +z like its triangles.
    EXPECT_EQ(2 * set.quad_count() + set.triangle_count(), before.triangle_count());
    for (const NQuadFace& q : set.quads) {
      Vec3 p[4];
      for (int k = 0; k < 4; ++k) p[k] = set.positions[q.corners[k].pos];
      for (int k = 0; k < 4; ++k) {
        Vec3 a = p[(k + 1) % 4] - p[k], b = p[(k + 2) % 4] - p[(k + 1) % 4];
        EXPECT_GT(cross(a, b).z, 0.0f) << "round " << round;
      }
    }
  }
}

// Number of position commands of each polygon and the vertex_size in its
// header, in order.
std::vector<std::pair<int, int>> sizes_and_positions(const std::string& text) {
  std::vector<std::pair<int, int>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("\t\tvertex_size=\"", 0) == 0) {
      out.emplace_back(std::stoi(line.substr(15)), 0);
    } else if (line.find("<pos_") != std::string::npos && !out.empty()) {
      ++out.back().second;
    }
  }
  return out;
}

TEST(PolygonProperties, VertexSizeMatchesThePositionsWritten) {
  std::mt19937 rng(5);
  for (int round = 0; round < 100; ++round) {
    ExportScene scene;
    scene.vertex_style = round % 2 == 0 ? VertexStyle::kDirect : VertexStyle::kIndex;
    scene.nodes = {test::make_node(1, "mesh")};
    scene.materials = {test::material("m")};
    for (int s = 0; s < 3; ++s) {
      PolygonSet set = random_grid(rng, round % 4 == 0);
      set.node_id = 1;
      set.material_name = "m";
      scene.polygons.push_back(set);
    }
    if (round % 3 == 0) generate_quads(scene);
    scene.use_primitive_strip = 1;
    build_strips(scene);
    std::string text = test::polygon_text(scene);
    auto polygons = sizes_and_positions(text);
    EXPECT_EQ(polygons.size(), 3u);
    for (auto [size, positions] : polygons) EXPECT_EQ(size, positions) << "round " << round;
  }
}

// Scenes with indices past their arrays, broken links and chains, odd
// weights and non-finite numbers.
ExportScene malformed_scene(std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto value = [&]() {
    switch (pick(8)) {
      case 0:
        return std::nanf("");
      case 1:
        return 1e30f;
      case 2:
        return -8.0f;
      default:
        return static_cast<float>(pick(2000) - 1000) / 64.0f;
    }
  };
  ExportScene scene;
  scene.vertex_style = pick(2) == 0 ? VertexStyle::kDirect : VertexStyle::kIndex;
  scene.pos_scale = pick(5) - 1;
  scene.force_full_weight = pick(2);
  scene.compress_node = static_cast<CompressNode>(pick(6));  // 5: a value outside the list
  int nodes = pick(5);
  for (int i = 0; i < nodes; ++i) {
    SceneNode n = test::make_node(pick(4), "n", pick(6), pick(2));
    n.parent = pick(6) - 1;
    n.child = pick(6) - 1;
    n.billboard = pick(4);
    scene.nodes.push_back(n);
  }
  int materials = pick(3);
  for (int i = 0; i < materials; ++i) {
    SceneMaterial m = test::material(pick(2) ? "m" : "x", pick(2));
    m.texture_path = pick(2) ? "t.tga" : "";
    m.tex_image_idx = pick(4) - 1;
    m.texture_image_count = pick(2);
    m.tex_gen_mode = pick(5);
    m.tex_gen_st_src = pick(2);
    scene.materials.push_back(m);
  }
  if (pick(2)) {
    SceneTexture t;
    t.original_width = static_cast<std::uint16_t>(pick(3) * 64);
    t.original_height = 16;
    scene.textures.push_back(t);
  }
  int sets = pick(4);
  for (int s = 0; s < sets; ++s) {
    PolygonSet set;
    set.node_id = pick(4);
    set.material_name = pick(2) ? "m" : "y";
    set.deleted = pick(5) == 0;
    int verts = pick(10);
    for (int v = 0; v < verts; ++v) set.positions.edit().push_back({value(), value(), value()});
    int colors = pick(6);
    for (int c = 0; c < colors; ++c) {
      set.colors.edit().push_back({static_cast<std::uint8_t>(pick(3) * 100), 0, 0});
    }
    int normals = pick(6);
    for (int c = 0; c < normals; ++c) set.normals.edit().push_back({value(), value(), value()});
    int tex = pick(6);
    for (int c = 0; c < tex; ++c) set.texcoords.edit().push_back({value(), value()});
    if (pick(2)) {
      int w = pick(12);
      for (int v = 0; v < w; ++v) {
        SkinInfluence inf;
        int k = pick(4);
        for (int i = 0; i < k; ++i) {
          inf.node_ids.push_back(pick(5));
          inf.weights.push_back(pick(4) == 0 ? value() : 0.25f * static_cast<float>(pick(5)));
        }
        if (pick(3) == 0) inf.node_ids.push_back(7);
        set.weights.push_back(inf);
      }
    }
    auto corner = [&]() {
      auto u = [&]() { return static_cast<std::uint16_t>(pick(12)); };
      return Corner{u(), u(), u(), u()};
    };
    int tris = pick(10);
    for (int t = 0; t < tris; ++t) {
      NTriFace f;
      f.corners = {corner(), corner(), corner()};
      f.normal = {0, 0, pick(2) ? 1.0f : value()};
      if (pick(4) == 0) f.next = pick(14) - 2;
      if (pick(4) == 0) f.strip_flags = static_cast<std::uint32_t>(rng());
      set.triangles.push_back(f);
    }
    int quads = pick(6);
    for (int q = 0; q < quads; ++q) {
      NQuadFace f;
      f.corners = {corner(), corner(), corner(), corner()};
      if (pick(4) == 0) f.next = pick(10) - 2;
      if (pick(4) == 0) f.strip_flags = static_cast<std::uint32_t>(rng());
      set.quads.push_back(f);
    }
    scene.polygons.push_back(set);
  }
  return scene;
}

TEST(Robustness, MalformedScenesAreWrittenWithoutCrashing) {
  std::mt19937 rng(77);
  for (int round = 0; round < 400; ++round) {
    ExportScene scene = malformed_scene(rng);
    bool strips = round % 2 == 0;
    OutputFile out, polygons;
    ImdTotals totals;
    compress_color_lists(scene);
    MatrixTable table = build_matrix_table(scene);
    if (round % 3 == 0) generate_quads(scene);
    if (strips) build_strips(scene);
    write_vertex_lists(out, scene, scene.log());
    write_envelope_list(out, scene, scene.log(), table);
    write_matrix_array(out, scene, scene.log(), table);
    write_polygon_array(polygons, scene, scene.log(), totals);
    write_node_array(out, scene, scene.log());
    for (auto [size, positions] : sizes_and_positions(test::lf(polygons.text()))) {
      EXPECT_EQ(size, positions) << "round " << round;
    }
    if (strips) {
      // After strip generation every face is written once.
      int faces = 0;
      for (const PolygonSet& set : scene.polygons) {
        if (set.deleted) continue;
        FaceLayout layout = face_layout(set);
        for (const auto& s : layout.quad_strips) faces += static_cast<int>(s.size());
        for (const auto& s : layout.tri_strips) faces += static_cast<int>(s.size());
        faces += static_cast<int>(layout.separate_quads.size() + layout.separate_tris.size());
      }
      EXPECT_EQ(faces, totals.triangles + totals.quads);
    }
  }
}

}  // namespace
}  // namespace kavro
