#include "exporter/imd/strips.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <utility>

#include "exporter/imd/faces.h"
#include "exporter/imd/matrix_array.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

constexpr std::size_t kMaxStripFaces = kStripCountMask;  // the count field's limit

// Builds the strips of one kind of face (triangles or quadrilaterals) of a
// set, greedily: the faces with the fewest free neighbours start first (a
// queue by neighbour count, whose outdated entries are skipped). From a start
// the longest strip through any of its neighbours is taken; its faces get
// their corners rearranged to the strip order, are chained, and leave the
// neighbour lists of the faces still free.
template <class Face>
class StripBuilder {
 public:
  static constexpr int K = Face::kCorners;

  StripBuilder(const PolygonSet& set, std::vector<Face>& faces, const std::vector<int>& classes)
      : set_(set), faces_(faces), classes_(classes) {}

  void run(std::uint32_t head_bit) {
    std::size_t n = faces_.size();
    for (Face& f : faces_) {
      f.next = kNoNextFace;
      f.strip_flags &= kQuadBit;
    }
    if (n < 2) return;
    build_adjacency();
    in_strip_.assign(n, 0);
    stamp_.assign(n, 0);
    StartQueue starts(n);
    for (std::size_t f = 0; f < n; ++f) {
      if (count_[f] > 0) starts.insert(count_[f], static_cast<int>(f));
    }
    for (;;) {
      int c = 0;
      const int s = starts.first(c);
      if (s < 0) break;
      // A face that starts no strip comes back only when its count drops.
      starts.erase(c, s);
      Candidate best = best_candidate(s);
      if (best.faces.size() < 2) continue;
      arrange(best);
      chain(best, head_bit);
      for (int f : best.faces) {
        const std::size_t fu = static_cast<std::size_t>(f);
        in_strip_[fu] = 1;
        if (count_[fu] > 0) starts.erase(count_[fu], f);
      }
      for (int x : best.faces) {
        std::size_t xu = static_cast<std::size_t>(x);
        for (int r = rev_start_[xu]; r < rev_start_[xu + 1]; ++r) {
          int y = rev_[r];
          std::size_t yu = static_cast<std::size_t>(y);
          if (in_strip_[yu]) continue;
          auto& list = adj_[yu];
          int& cnt = count_[yu];
          auto end = list.begin() + cnt;
          auto it = std::find(list.begin(), end, x);
          if (it == end) continue;
          std::copy(it + 1, end, it);
          starts.erase(cnt, y);
          --cnt;
          if (cnt > 0) starts.insert(cnt, y);
        }
      }
    }
  }

 private:
  // The faces that may start a strip, by neighbour count (1 to K): the
  // next start is the face of the smallest count, the first in face order
  // on a tie. One bit per face and count; counts only drop, and a face that
  // moves to a smaller count moves that count's search back to it.
  class StartQueue {
   public:
    explicit StartQueue(std::size_t faces) : words_((faces + 63) / 64) {
      for (auto& b : bits_) b.assign(words_, 0);
    }
    void insert(int count, int f) {
      const std::size_t w = static_cast<std::size_t>(f) / 64;
      bits_[slot(count)][w] |= bit(f);
      from_[slot(count)] = std::min(from_[slot(count)], w);
    }
    void erase(int count, int f) {
      bits_[slot(count)][static_cast<std::size_t>(f) / 64] &= ~bit(f);
    }
    // The next start and its count; -1 when no face is left.
    int first(int& count) {
      for (int c = 1; c <= K; ++c) {
        const std::vector<std::uint64_t>& b = bits_[slot(c)];
        std::size_t& w = from_[slot(c)];
        while (w < words_ && b[w] == 0) ++w;
        if (w < words_) {
          count = c;
          return static_cast<int>(w * 64 + static_cast<std::size_t>(std::countr_zero(b[w])));
        }
      }
      return -1;
    }

   private:
    static std::size_t slot(int count) { return static_cast<std::size_t>(count - 1); }
    static std::uint64_t bit(int f) { return std::uint64_t{1} << (static_cast<unsigned>(f) % 64); }
    std::size_t words_;
    std::array<std::vector<std::uint64_t>, K> bits_;
    std::array<std::size_t, K> from_{};
  };

  struct Step {
    int face;
    int p0, p1;  // the pair of positions the face is arranged by
  };
  struct Candidate {
    std::vector<int> faces;
    std::vector<Step> steps;  // from the second face on
    int e0 = 0, e1 = 0;       // the first face's edge after the order check
  };

  const Face& face(int f) const { return faces_[f]; }
  static int pos(const Face& f, int corner) { return f.corners[corner].pos; }

  static int corner_of(const Face& f, int position) {
    for (int k = 0; k < K; ++k) {
      if (pos(f, k) == position) return k;
    }
    return -1;
  }

  // Two corners of g that follow each other in g's order match two corners of f.
  bool neighbours(const Face& f, const Face& g) const {
    for (int k = 0; k < K; ++k) {
      const Corner& g0 = g.corners[k];
      const Corner& g1 = g.corners[(k + 1) % K];
      for (int a = 0; a < K; ++a) {
        if (!corners_match(set_, g0, f.corners[a])) continue;
        for (int b = 0; b < K; ++b) {
          if (b != a && corners_match(set_, g1, f.corners[b])) {
            return true;
          }
        }
      }
    }
    return false;
  }

  // The faces' edges bucketed by their smaller position (a counting sort,
  // positions are 16-bit): each bucket lists (larger position, face) in face
  // order, and holds about as many entries as edges meet at a vertex.
  struct EdgeBuckets {
    struct Entry {
      int other;  // the edge's larger position
      int face;
      int corner;  // the edge runs from this corner of the face to the next
    };
    std::vector<int> start;  // bucket p: entries [start[p], start[p + 1])
    std::vector<Entry> entries;
  };

  EdgeBuckets bucket_edges() const {
    EdgeBuckets e;
    int top = 0;
    for (const Face& f : faces_) {
      for (int k = 0; k < K; ++k) top = std::max(top, pos(f, k));
    }
    e.start.assign(static_cast<std::size_t>(top) + 2, 0);
    auto ends = [&](const Face& f, int k) {
      int a = pos(f, k), b = pos(f, (k + 1) % K);
      return a < b ? std::pair<int, int>{a, b} : std::pair<int, int>{b, a};
    };
    for (const Face& f : faces_) {
      for (int k = 0; k < K; ++k) ++e.start[static_cast<std::size_t>(ends(f, k).first) + 1];
    }
    for (std::size_t p = 1; p < e.start.size(); ++p) e.start[p] += e.start[p - 1];
    e.entries.resize(static_cast<std::size_t>(e.start.back()));
    std::vector<int> fill(e.start.begin(), e.start.end() - 1);
    for (std::size_t g = 0; g < faces_.size(); ++g) {
      for (int k = 0; k < K; ++k) {
        auto [lo, hi] = ends(faces_[g], k);
        e.entries[fill[static_cast<std::size_t>(lo)]++] = {hi, static_cast<int>(g), k};
      }
    }
    return e;
  }

  void build_adjacency() {
    std::size_t n = faces_.size();
    const EdgeBuckets by_edge = bucket_edges();
    adj_.assign(n, {});
    count_.assign(n, 0);
    // Other faces with an edge between two of f's corners: the face, that
    // edge's first corner in it, and f's two corners.
    struct Found {
      int face, corner, a, b;
    };
    std::vector<Found> candidates;
    for (std::size_t f = 0; f < n; ++f) {
      const Face& ff = faces_[f];
      candidates.clear();
      for (int a = 0; a < K; ++a) {
        for (int b = a + 1; b < K; ++b) {
          int lo = pos(ff, a), hi = pos(ff, b);
          if (lo > hi) std::swap(lo, hi);
          const std::size_t p = static_cast<std::size_t>(lo);
          for (int i = by_edge.start[p]; i < by_edge.start[p + 1]; ++i) {
            const auto& e = by_edge.entries[i];
            if (e.other != hi || e.face == static_cast<int>(f)) continue;
            // Insertion in face order (the lists are short).
            Found c{e.face, e.corner, a, b};
            auto at = candidates.end();
            while (at != candidates.begin() && (at - 1)->face > c.face) --at;
            candidates.insert(at, c);
          }
        }
      }
      for (std::size_t i = 0; i < candidates.size() && count_[f] < K; ++i) {
        const Found& c = candidates[i];
        if (i > 0 && candidates[i - 1].face == c.face) continue;
        const Face& g = face(c.face);
        // The edge that found g usually matches: then g is a neighbour
        // without the full test, which looks at every edge of g.
        const Corner& g0 = g.corners[c.corner];
        const Corner& g1 = g.corners[(c.corner + 1) % K];
        const Corner& fa = ff.corners[c.a];
        const Corner& fb = ff.corners[c.b];
        bool quick = (corners_match(set_, g0, fa) && corners_match(set_, g1, fb)) ||
                     (corners_match(set_, g0, fb) && corners_match(set_, g1, fa));
        if (!quick && !neighbours(ff, g)) continue;
        adj_[f][count_[f]++] = c.face;
      }
    }
    // Reverse lists (which faces list a face), in one flat array.
    rev_start_.assign(n + 1, 0);
    for (std::size_t f = 0; f < n; ++f) {
      for (int i = 0; i < count_[f]; ++i) ++rev_start_[static_cast<std::size_t>(adj_[f][i]) + 1];
    }
    for (std::size_t f = 0; f < n; ++f) rev_start_[f + 1] += rev_start_[f];
    rev_.assign(static_cast<std::size_t>(rev_start_[n]), 0);
    std::vector<int> fill(rev_start_.begin(), rev_start_.end() - 1);
    for (std::size_t f = 0; f < n; ++f) {
      for (int i = 0; i < count_[f]; ++i) {
        std::size_t g = static_cast<std::size_t>(adj_[f][i]);
        rev_[fill[g]++] = static_cast<int>(f);
      }
    }
  }

  // True when the positions p and q are consecutive corners of f.
  static bool is_edge(const Face& f, int p, int q) {
    for (int k = 0; k < K; ++k) {
      int a = pos(f, k), b = pos(f, (k + 1) % K);
      if ((a == p && b == q) || (a == q && b == p)) return true;
    }
    return false;
  }

  // The edge two faces share, its positions in a's corner order. Every two
  // corners of a triangle form an edge: the first two positions both faces
  // have. A quadrilateral's diagonal never counts: the first of a's edges
  // that is also an edge of b (entering through a diagonal would make the
  // exit corners repeat a corner of the edge and lose another).
  static bool shared_edge(const Face& a, const Face& b, int& e0, int& e1) {
    if constexpr (K == 4) {
      for (int k = 0; k < K; ++k) {
        int p = pos(a, k), q = pos(a, (k + 1) % K);
        if (p == q || !is_edge(b, p, q)) continue;
        e0 = k + 1 < K ? p : q;  // the earlier corner of a first
        e1 = k + 1 < K ? q : p;
        return true;
      }
      return false;
    }
    int found = 0;
    for (int k = 0; k < K && found < 2; ++k) {
      int p = pos(a, k);
      if (corner_of(b, p) < 0 || (found == 1 && p == e0)) continue;
      (found == 0 ? e0 : e1) = p;
      ++found;
    }
    return found == 2;
  }

  // The corners a face leaves by when entered through the edge (e0, e1): one
  // for a triangle, two for a quadrilateral. False when the face has no such
  // corners.
  static bool exit_corners(const Face& f, int e0, int e1, std::array<int, 2>& exit) {
    int c0 = corner_of(f, e0), c1 = corner_of(f, e1);
    if (c0 < 0 || c1 < 0 || c0 == c1) return false;
    if constexpr (K == 3) {
      for (int k = 0; k < 3; ++k) {
        if (k != c0 && k != c1 && pos(f, k) != e0 && pos(f, k) != e1) {
          exit = {k, -1};
          return true;
        }
      }
      return false;
    } else {
      int b = std::max(c0, c1);
      if ((b + 1) % 4 == c0 || (b + 1) % 4 == c1) ++b;
      exit = {(b + 1) % 4, (b + 2) % 4};
      return true;
    }
  }

  // Adds the influence class of `position` to `held` unless it is there
  // already; a position without a class counts as the class -1.
  void collect(std::vector<int>& held, int position) const {
    int cls = position >= 0 && static_cast<std::size_t>(position) < classes_.size()
                  ? classes_[position]
                  : -1;
    if (std::find(held.begin(), held.end(), cls) == held.end()) held.push_back(cls);
  }

  // The strip that starts with face s and goes on into its neighbour n: each
  // next face is the first unvisited neighbour entered through the pair of
  // positions the current face leaves by. It stops where no neighbour
  // continues, at the count field's limit, or, for a skinned set, once its
  // vertices use kStripInfluenceLimit influence classes. `stamp` marks the
  // faces this attempt has visited. Empty when s and n share no edge that
  // both can be entered by.
  Candidate grow(int s, int n, int stamp) {
    Candidate c;
    const Face& sf = face(s);
    const Face& nf = face(n);
    int e0 = -1, e1 = -1;
    if (!shared_edge(sf, nf, e0, e1)) return c;
    if (corner_of(sf, e1) != (corner_of(sf, e0) + 1) % K) std::swap(e0, e1);
    std::array<int, 2> s_exit{}, n_exit{};
    if (!exit_corners(sf, e0, e1, s_exit) || !exit_corners(nf, e0, e1, n_exit)) return c;
    c.e0 = e0;
    c.e1 = e1;
    c.faces = {s, n};
    stamp_[s] = stamp;
    stamp_[n] = stamp;

    bool skinned = !classes_.empty();
    std::vector<int> held;
    if (skinned) {
      collect(held, e0);
      collect(held, e1);
      for (int k = 0; k < K - 2; ++k) collect(held, pos(sf, s_exit[k]));
    }
    // The face just added, the vertex added before it (triangles) and the
    // pair of positions it leaves by.
    int current = n;
    int newest_before = e1;
    std::array<int, 2> exit = n_exit;
    auto add_step = [&](int f, std::array<int, 2> ex) {
      const Face& ff = face(f);
      Step st{f, 0, 0};
      if constexpr (K == 3) {
        st.p0 = newest_before;
        st.p1 = pos(ff, ex[0]);
      } else {
        st.p0 = pos(ff, ex[0]);
        st.p1 = pos(ff, ex[1]);
      }
      if (skinned) {
        for (int k = 0; k < K - 2; ++k) collect(held, pos(ff, ex[k]));
      }
      c.steps.push_back(st);
    };
    add_step(n, n_exit);

    for (;;) {
      if (skinned && static_cast<int>(held.size()) >= kStripInfluenceLimit) break;
      if (c.faces.size() >= kMaxStripFaces) break;
      const Face& cf = face(current);
      int q0 = -1, q1 = -1;
      if constexpr (K == 3) {
        q0 = pos(cf, exit[0]);
        q1 = newest_before;
      } else {
        q0 = pos(cf, exit[0]);
        q1 = pos(cf, exit[1]);
      }
      int next = -1;
      std::array<int, 2> next_exit{};
      const auto& list = adj_[current];
      for (int i = 0; i < count_[current]; ++i) {
        int d = list[i];
        if (stamp_[d] == stamp) continue;
        int a = -1, b = -1;
        if (!shared_edge(cf, face(d), a, b)) continue;
        if (!((a == q0 && b == q1) || (a == q1 && b == q0))) continue;
        if (!exit_corners(face(d), q0, q1, next_exit)) continue;
        next = d;
        break;
      }
      if (next < 0) break;
      if constexpr (K == 3) newest_before = q0;  // the vertex the current face added
      c.faces.push_back(next);
      stamp_[next] = stamp;
      add_step(next, next_exit);
      current = next;
      exit = next_exit;
    }
    return c;
  }

  // The longest strip from s through each of its neighbours in turn; of
  // equally long ones the first.
  Candidate best_candidate(int s) {
    Candidate best;
    std::size_t su = static_cast<std::size_t>(s);
    // The list is copied: growing reads the lists, which stay unchanged
    // until the strip is chosen.
    std::array<int, K> list = adj_[su];
    int count = count_[su];
    for (int i = 0; i < count; ++i) {
      Candidate c = grow(s, list[i], ++stamp_id_);
      if (c.faces.size() > best.faces.size()) best = std::move(c);
    }
    return best;
  }

  // New corner order: the face's other corners (those it would leave by when
  // entered through (p0, p1)), then the corners at p0 and p1.
  void rearrange(Face& f, int p0, int p1) {
    std::array<int, 2> other{};
    if (!exit_corners(f, p0, p1, other)) return;
    std::array<Corner, K> old = f.corners;
    std::array<Corner, K> now{};
    for (int k = 0; k < K - 2; ++k) {
      now[k] = old[other[static_cast<std::size_t>(k)]];
    }
    now[K - 2] = old[corner_of(f, p0)];
    now[K - 1] = old[corner_of(f, p1)];
    f.corners = now;
  }

  // Gives every face of the strip the corner order the strip is written in.
  void arrange(const Candidate& c) {
    rearrange(faces_[c.faces[0]], c.e0, c.e1);
    for (const Step& st : c.steps) rearrange(faces_[st.face], st.p0, st.p1);
  }

  // Links each face to the next and marks the head with the strip's kind and
  // its number of faces.
  void chain(const Candidate& c, std::uint32_t head_bit) {
    for (std::size_t i = 0; i < c.faces.size(); ++i) {
      Face& f = faces_[c.faces[i]];
      f.next = i + 1 < c.faces.size() ? c.faces[i + 1] : kStripEnd;
    }
    Face& head = faces_[c.faces[0]];
    head.strip_flags = (head.strip_flags & ~kStripCountMask) | head_bit |
                       static_cast<std::uint32_t>(c.faces.size());
  }

  const PolygonSet& set_;
  std::vector<Face>& faces_;
  const std::vector<int>& classes_;
  std::vector<std::array<int, K>> adj_;
  std::vector<int> count_;
  std::vector<int> rev_start_;  // rev_[rev_start_[f] .. rev_start_[f + 1]) list face f
  std::vector<int> rev_;
  std::vector<char> in_strip_;
  std::vector<int> stamp_;
  int stamp_id_ = 0;
};

}  // namespace

void build_strips(PolygonSet& set, bool quad_strips, const std::vector<int>& influence_class) {
  if (quad_strips) {
    StripBuilder<NQuadFace>(set, set.quads, influence_class).run(kQuadStripHeadBit);
  } else {
    for (NQuadFace& q : set.quads) {
      q.next = kNoNextFace;
      q.strip_flags &= kQuadBit;
    }
  }
  StripBuilder<NTriFace>(set, set.triangles, influence_class).run(kTriStripHeadBit);
}

void build_strips(ExportScene& scene) {
  float step = scene.step_size(scene.polygon_count());
  bool quad_strips = scene.triangulation != Triangulation::kAllTris;
  for (PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    scene.advance(step, "Stripping Mesh: " + set.node_name);
    build_strips(set, quad_strips, influence_classes(set));
  }
  scene.finish_stage("IMD: Stripping Meshes");
}

}  // namespace kavro
