#include "exporter/imd/strips.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "exporter/imd/faces.h"
#include "exporter/imd/matrix_array.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

constexpr std::size_t kMaxStripFaces = kStripCountMask;  // the count field's limit

// The working arrays of strip building, kept from set to set: a scene of ten
// thousand two-face sets would otherwise allocate them all for every set.
// Every array is sized or cleared before it is read.
template <int K>
struct StripWorkspace {
  std::vector<std::array<int, K>> adj;
  std::vector<int> count;
  std::vector<int> rev_start, rev, fill;
  std::vector<char> in_strip;
  std::vector<int> stamp;
  std::vector<int> class_stamp;
  std::array<std::vector<std::uint64_t>, K> start_bits;
  std::vector<std::uint64_t> sorted, by_larger;
  std::vector<int> partner, smaller_end, counts;
  struct Step {
    int face;
    int p0, p1;  // the pair of positions the face is arranged by
  };
  struct Candidate {
    std::vector<int> faces;
    std::vector<Step> steps;  // from the second face on
    int e0 = 0, e1 = 0;       // the first face's edge after the order check
  };
  Candidate trial, best;
};

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

  StripBuilder(const PolygonSet& set, std::vector<Face>& faces, const std::vector<int>& classes,
               StripWorkspace<K>& work)
      : set_(set), faces_(faces), classes_(classes), work_(work) {
    attributes_ = set.has_normals() || set.has_texcoords() || set.has_colors();
    // Corners with the same attribute indices match unless a normal holds
    // an infinity or NaN (whose difference with itself is NaN) or a texture
    // coordinate a NaN; such sets take corners_match every time. Only the
    // entries these faces use count: the arrays are the node's, shared by
    // all its sets.
    auto finite = [](float v) { return std::isfinite(v); };
    same_indices_match_ = true;
    for (const Face& f : faces_) {
      for (const Corner& c : f.corners) {
        if (c.nrm < set.normals.size()) {
          const Vec3& v = set.normals[c.nrm];
          if (!(finite(v.x) && finite(v.y) && finite(v.z))) same_indices_match_ = false;
        }
        if (c.tex < set.texcoords.size()) {
          const TexCoord& t = set.texcoords[c.tex];
          if (!(finite(t.s) && finite(t.t))) same_indices_match_ = false;
        }
      }
    }
  }

  // The neighbour lists, for the tests: per face, its neighbours in face order.
  std::vector<std::vector<int>> neighbour_lists() {
    build_adjacency();
    std::vector<std::vector<int>> lists(faces_.size());
    for (std::size_t f = 0; f < faces_.size(); ++f) {
      lists[f].assign(adj_[f].begin(), adj_[f].begin() + count_[f]);
    }
    return lists;
  }

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
    // Classes run from class_base_ (at most -1, a position without one).
    class_base_ = -1;
    int top = -1;
    for (int c : classes_) {
      class_base_ = std::min(class_base_, c);
      top = std::max(top, c);
    }
    class_stamp_.assign(top - class_base_ + 1, 0);
    StartQueue starts(n, work_.start_bits);
    for (std::size_t f = 0; f < n; ++f) {
      if (count_[f] > 0) starts.insert(count_[f], static_cast<int>(f));
    }
    for (;;) {
      int c = 0;
      const int s = starts.first(c);
      if (s < 0) break;
      // A face that starts no strip comes back only when its count drops.
      starts.erase(c, s);
      find_best(s);
      const Candidate& best = best_;
      if (best.faces.size() < 2) continue;
      arrange(best);
      chain(best, head_bit);
      for (int f : best.faces) {
        in_strip_[f] = 1;
        if (count_[f] > 0) starts.erase(count_[f], f);
      }
      for (int x : best.faces) {
        for (int r = rev_start_[x]; r < rev_start_[x + 1]; ++r) {
          int y = rev_[r];
          if (in_strip_[y]) continue;
          auto& list = adj_[y];
          int& cnt = count_[y];
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
    StartQueue(std::size_t faces, std::array<std::vector<std::uint64_t>, K>& bits)
        : words_((faces + 63) / 64), bits_(bits) {
      for (auto& b : bits_) b.assign(words_, 0);
    }
    void insert(int count, int f) {
      const std::size_t w = f / 64;
      bits_[slot(count)][w] |= bit(f);
      from_[slot(count)] = std::min(from_[slot(count)], w);
    }
    void erase(int count, int f) { bits_[slot(count)][f / 64] &= ~bit(f); }
    // The next start and its count; -1 when no face is left.
    int first(int& count) {
      for (int c = 1; c <= K; ++c) {
        const std::vector<std::uint64_t>& b = bits_[slot(c)];
        std::size_t& w = from_[slot(c)];
        while (w < words_ && b[w] == 0) ++w;
        if (w < words_) {
          count = c;
          return static_cast<int>(w * 64) + std::countr_zero(b[w]);
        }
      }
      return -1;
    }

   private:
    static std::size_t slot(int count) { return count - 1; }
    static std::uint64_t bit(int f) { return std::uint64_t{1} << (static_cast<unsigned>(f) % 64); }
    std::size_t words_;
    std::array<std::vector<std::uint64_t>, K>& bits_;
    std::array<std::size_t, K> from_{};
  };

  using Step = typename StripWorkspace<K>::Step;
  using Candidate = typename StripWorkspace<K>::Candidate;

  const Face& face(int f) const { return faces_[f]; }
  static int pos(const Face& f, int corner) { return f.corners[corner].pos; }

  static int corner_of(const Face& f, int position) {
    for (int k = 0; k < K; ++k) {
      if (pos(f, k) == position) return k;
    }
    return -1;
  }

  // corners_match without the call where the answer is plain: different
  // positions never match; without attributes equal positions do, and so do
  // corners with the same attribute indices when every normal and texture
  // coordinate is finite.
  bool match(const Corner& a, const Corner& b) const {
    if (a.pos != b.pos) return false;
    if (!attributes_) return true;
    if (same_indices_match_ && a.nrm == b.nrm && a.tex == b.tex && a.clr == b.clr) return true;
    return corners_match(set_, a, b);
  }

  // Two corners of g that follow each other in g's order match two corners of f.
  bool neighbours(const Face& f, const Face& g) const {
    for (int k = 0; k < K; ++k) {
      const Corner& g0 = g.corners[k];
      const Corner& g1 = g.corners[(k + 1) % K];
      for (int a = 0; a < K; ++a) {
        if (!match(g0, f.corners[a])) continue;
        for (int b = 0; b < K; ++b) {
          if (b != a && match(g1, f.corners[b])) {
            return true;
          }
        }
      }
    }
    return false;
  }

  // The faces' edges (edge k of face f has the id f * K + k) ordered by
  // their pair of positions, the smaller one first; the edges over one pair
  // form a run. Most runs hold two edges of two faces: their ids are kept as
  // each other's partner.
  struct EdgeRuns {
    static constexpr int kAlone = -1;    // the only edge over its pair
    static constexpr int kCrowded = -2;  // a run of more than two, or of one face
    // Per place: the edge's key (smaller << 16 | larger position) above its id.
    std::vector<std::uint64_t>& sorted;
    std::vector<int>& partner;  // per edge id: the other edge of its run, or a mark
    // When counted: where the edges of each smaller position end in sorted.
    std::vector<int>& smaller_end;

    std::uint32_t key(int i) const { return static_cast<std::uint32_t>(sorted[i] >> 32); }
    int id(int i) const { return static_cast<int>(sorted[i] & 0xFFFFFFFFu); }
    // The run over the key k: [first, last) in sorted.
    std::pair<int, int> find(std::uint32_t k) const {
      if (!smaller_end.empty()) {
        // The few edges of k's smaller position, in order.
        const int lo = static_cast<int>(k >> 16);
        int b = lo == 0 ? 0 : smaller_end[lo - 1];
        const int end = smaller_end[lo];
        while (b < end && key(b) < k) ++b;
        int e = b;
        while (e < end && key(e) == k) ++e;
        return {b, e};
      }
      auto b = std::lower_bound(sorted.begin(), sorted.end(), std::uint64_t{k} << 32);
      auto e = std::upper_bound(b, sorted.end(), std::uint64_t{k} << 32 | 0xFFFFFFFFu);
      return {static_cast<int>(b - sorted.begin()), static_cast<int>(e - sorted.begin())};
    }
  };

  static std::uint32_t pair_key(std::uint32_t a, std::uint32_t b) {
    return a < b ? a << 16 | b : b << 16 | a;
  }
  static std::uint32_t edge_key(const Face& f, int k) {
    return pair_key(f.corners[k].pos, f.corners[(k + 1) % K].pos);
  }

  EdgeRuns edge_runs() const {
    EdgeRuns e{work_.sorted, work_.partner, work_.smaller_end};
    const std::size_t edges = faces_.size() * K;
    e.sorted.resize(edges);
    for (std::size_t f = 0; f < faces_.size(); ++f) {
      for (int k = 0; k < K; ++k) {
        e.sorted[f * K + k] = std::uint64_t{edge_key(faces_[f], k)} << 32 | (f * K + k);
      }
    }
    // Two counting sorts, by the larger position and then by the smaller;
    // fewer edges than the counts' 65,536 places are sorted directly.
    if (edges < 1024) {
      std::sort(e.sorted.begin(), e.sorted.end());
      e.smaller_end.clear();
    } else {
      std::vector<std::uint64_t>& by_larger = work_.by_larger;
      by_larger.resize(edges);
      std::vector<int>& count = work_.counts;
      count.resize(65537);
      auto sort_by = [&](int shift, const std::vector<std::uint64_t>& from,
                         std::vector<std::uint64_t>& to) {
        std::fill(count.begin(), count.end(), 0);
        for (std::uint64_t v : from) ++count[(v >> shift & 0xFFFF) + 1];
        for (std::size_t p = 1; p < count.size(); ++p) count[p] += count[p - 1];
        for (std::uint64_t v : from) to[count[v >> shift & 0xFFFF]++] = v;
      };
      sort_by(32, e.sorted, by_larger);
      sort_by(48, by_larger, e.sorted);
      e.smaller_end.assign(count.begin(), count.end() - 1);
    }
    e.partner.resize(edges);
    const int places = static_cast<int>(edges);
    for (int i = 0; i < places;) {
      int j = i + 1;
      while (j < places && e.key(j) == e.key(i)) ++j;
      if (j - i == 1) {
        e.partner[e.id(i)] = EdgeRuns::kAlone;
      } else if (j - i == 2 && e.id(i) / K != e.id(i + 1) / K) {
        e.partner[e.id(i)] = e.id(i + 1);
        e.partner[e.id(i + 1)] = e.id(i);
      } else {
        for (int x = i; x < j; ++x) e.partner[e.id(x)] = EdgeRuns::kCrowded;
      }
      i = j;
    }
    return e;
  }

  // A face that may be f's neighbour: the face, the first corner in it of
  // the edge that found it, and the two corners of f that edge lies between.
  struct Found {
    int face, corner, a, b;
  };

  // Adds g to f's neighbours if two of its corners that follow each other
  // match two corners of f. The edge that found g usually matches: then g is
  // a neighbour without the full test, which looks at every edge of g.
  void try_neighbour(int f, const Found& c) {
    const Face& ff = faces_[f];
    const Face& g = face(c.face);
    const Corner& g0 = g.corners[c.corner];
    const Corner& g1 = g.corners[(c.corner + 1) % K];
    const Corner& fa = ff.corners[c.a];
    const Corner& fb = ff.corners[c.b];
    bool quick = (match(g0, fa) && match(g1, fb)) || (match(g0, fb) && match(g1, fa));
    if (!quick && !neighbours(ff, g)) return;
    adj_[f][count_[f]++] = c.face;
  }

  // Per face, its first K neighbours in face order: other faces with an
  // edge between two of its corners whose corners match. The candidates are
  // the other faces on the runs of the face's position pairs (its edges, and
  // for quadrilaterals its diagonals too). An edge with a partner gives its
  // partner's face, an edge alone gives none; so a triangle whose edges are
  // not crowded has at most three candidates, kept in a small array.
  void build_adjacency() {
    std::size_t n = faces_.size();
    const EdgeRuns runs = edge_runs();
    adj_.assign(n, {});
    count_.assign(n, 0);
    std::vector<Found> candidates;
    for (std::size_t f = 0; f < n; ++f) {
      const int fi = static_cast<int>(f);
      const Face& ff = faces_[f];
      bool simple = K == 3;
      for (int k = 0; k < K && simple; ++k) simple = runs.partner[f * K + k] != EdgeRuns::kCrowded;
      if (simple) {
        std::array<Found, K> found;
        int m = 0;
        for (int k = 0; k < K; ++k) {
          const int p = runs.partner[f * K + k];
          if (p < 0) continue;
          Found c{p / K, p % K, k, (k + 1) % K};
          int at = m++;
          for (; at > 0 && found[at - 1].face > c.face; --at) found[at] = found[at - 1];
          found[at] = c;
        }
        for (int i = 0; i < m; ++i) {
          if (i == 0 || found[i - 1].face != found[i].face) try_neighbour(fi, found[i]);
        }
        continue;
      }
      candidates.clear();
      auto gather = [&](std::uint32_t key, int a0, int b0) {
        auto [b, e] = runs.find(key);
        for (int i = b; i < e; ++i) {
          const int id = runs.id(i);
          const int g = id / K;
          if (g != fi) candidates.push_back({g, id - g * K, a0, b0});
        }
      };
      for (int k = 0; k < K; ++k) {
        const int p = runs.partner[f * K + k];
        if (p == EdgeRuns::kCrowded) {
          gather(edge_key(ff, k), k, (k + 1) % K);
        } else if (p >= 0) {
          candidates.push_back({p / K, p % K, k, (k + 1) % K});
        }
      }
      if constexpr (K == 4) {
        for (int a = 0; a < 2; ++a) gather(pair_key(pos(ff, a), pos(ff, a + 2)), a, a + 2);
      }
      // Face order (the lists are short).
      for (std::size_t i = 1; i < candidates.size(); ++i) {
        for (std::size_t j = i; j > 0 && candidates[j].face < candidates[j - 1].face; --j) {
          std::swap(candidates[j], candidates[j - 1]);
        }
      }
      for (std::size_t i = 0; i < candidates.size() && count_[f] < K; ++i) {
        if (i > 0 && candidates[i - 1].face == candidates[i].face) continue;
        try_neighbour(fi, candidates[i]);
      }
    }
    // Reverse lists (which faces list a face), in one flat array.
    rev_start_.assign(n + 1, 0);
    for (std::size_t f = 0; f < n; ++f) {
      for (int i = 0; i < count_[f]; ++i) ++rev_start_[adj_[f][i] + 1];
    }
    for (std::size_t f = 0; f < n; ++f) rev_start_[f + 1] += rev_start_[f];
    rev_.assign(rev_start_[n], 0);
    std::vector<int>& fill = work_.fill;
    fill.assign(rev_start_.begin(), rev_start_.end() - 1);
    for (std::size_t f = 0; f < n; ++f) {
      for (int i = 0; i < count_[f]; ++i) rev_[fill[adj_[f][i]]++] = static_cast<int>(f);
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

  // Counts the influence class of `position` in `held_` unless this attempt
  // (`stamp`) has counted it already; a position without a class counts as
  // the class -1.
  void collect(int position, int stamp) {
    int cls =
        position >= 0 && position < static_cast<int>(classes_.size()) ? classes_[position] : -1;
    int& seen = class_stamp_[cls - class_base_];
    if (seen == stamp) return;
    seen = stamp;
    ++held_;
  }

  // The strip that starts with face s and goes on into its neighbour n: each
  // next face is the first unvisited neighbour entered through the pair of
  // positions the current face leaves by. It stops where no neighbour
  // continues, at the count field's limit, or, for a skinned set, once its
  // vertices use kStripInfluenceLimit influence classes. `stamp` marks the
  // faces this attempt has visited. Empty when s and n share no edge that
  // both can be entered by.
  void grow(int s, int n, int stamp, Candidate& c) {
    c.faces.clear();
    c.steps.clear();
    const Face& sf = face(s);
    const Face& nf = face(n);
    int e0 = -1, e1 = -1;
    if (!shared_edge(sf, nf, e0, e1)) return;
    if (corner_of(sf, e1) != (corner_of(sf, e0) + 1) % K) std::swap(e0, e1);
    std::array<int, 2> s_exit{}, n_exit{};
    if (!exit_corners(sf, e0, e1, s_exit) || !exit_corners(nf, e0, e1, n_exit)) return;
    c.e0 = e0;
    c.e1 = e1;
    c.faces.push_back(s);
    c.faces.push_back(n);
    stamp_[s] = stamp;
    stamp_[n] = stamp;

    bool skinned = !classes_.empty();
    held_ = 0;
    if (skinned) {
      collect(e0, stamp);
      collect(e1, stamp);
      for (int k = 0; k < K - 2; ++k) collect(pos(sf, s_exit[k]), stamp);
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
        for (int k = 0; k < K - 2; ++k) collect(pos(ff, ex[k]), stamp);
      }
      c.steps.push_back(st);
    };
    add_step(n, n_exit);

    for (;;) {
      if (skinned && held_ >= kStripInfluenceLimit) break;
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
  }

  // The longest strip from s through each of its neighbours in turn, in
  // best_; of equally long ones the first.
  void find_best(int s) {
    best_.faces.clear();
    best_.steps.clear();
    for (int i = 0; i < count_[s]; ++i) {
      grow(s, adj_[s][i], ++stamp_id_, trial_);
      if (trial_.faces.size() > best_.faces.size()) std::swap(best_, trial_);
    }
  }

  // New corner order: the face's other corners (those it would leave by when
  // entered through (p0, p1)), then the corners at p0 and p1.
  void rearrange(Face& f, int p0, int p1) {
    std::array<int, 2> other{};
    if (!exit_corners(f, p0, p1, other)) return;
    std::array<Corner, K> old = f.corners;
    std::array<Corner, K> now{};
    for (int k = 0; k < K - 2; ++k) {
      now[k] = old[other[k]];
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
  StripWorkspace<K>& work_;
  std::vector<std::array<int, K>>& adj_ = work_.adj;
  std::vector<int>& count_ = work_.count;
  std::vector<int>& rev_start_ =
      work_.rev_start;  // rev_[rev_start_[f] .. rev_start_[f + 1]) list face f
  std::vector<int>& rev_ = work_.rev;
  std::vector<char>& in_strip_ = work_.in_strip;
  std::vector<int>& stamp_ = work_.stamp;
  int stamp_id_ = 0;
  std::vector<int>& class_stamp_ =
      work_.class_stamp;  // per influence class: the attempt that last counted it
  int class_base_ = -1;   // the class at class_stamp_[0]
  int held_ = 0;          // influence classes the current attempt uses
  Candidate& trial_ = work_.trial;
  Candidate& best_ = work_.best;
  bool attributes_ = false;
  bool same_indices_match_ = false;
};

// The workspaces of both kinds of face.
struct StripWorkspaces {
  StripWorkspace<3> triangles;
  StripWorkspace<4> quads;
};

void build_strips(PolygonSet& set, bool quad_strips, const std::vector<int>& influence_class,
                  StripWorkspaces& work) {
  if (quad_strips) {
    StripBuilder<NQuadFace>(set, set.quads, influence_class, work.quads).run(kQuadStripHeadBit);
  } else {
    for (NQuadFace& q : set.quads) {
      q.next = kNoNextFace;
      q.strip_flags &= kQuadBit;
    }
  }
  StripBuilder<NTriFace>(set, set.triangles, influence_class, work.triangles).run(kTriStripHeadBit);
}

}  // namespace

void build_strips(PolygonSet& set, bool quad_strips, const std::vector<int>& influence_class) {
  StripWorkspaces work;
  build_strips(set, quad_strips, influence_class, work);
}

std::vector<std::vector<int>> strip_neighbours(const PolygonSet& set, bool quads) {
  std::vector<int> no_classes;
  StripWorkspaces work;
  if (quads) {
    std::vector<NQuadFace> faces = set.quads;
    return StripBuilder<NQuadFace>(set, faces, no_classes, work.quads).neighbour_lists();
  }
  std::vector<NTriFace> faces = set.triangles;
  return StripBuilder<NTriFace>(set, faces, no_classes, work.triangles).neighbour_lists();
}

void build_strips(ExportScene& scene) {
  float step = scene.step_size(scene.polygon_count());
  bool quad_strips = scene.triangulation != Triangulation::kAllTris;
  StripWorkspaces work;
  std::string label;
  for (PolygonSet& set : scene.polygons) {
    if (set.deleted) continue;
    label.assign("Stripping Mesh: ").append(set.node_name);
    scene.advance(step, label);
    build_strips(set, quad_strips, influence_classes(set), work);
  }
  scene.finish_stage("IMD: Stripping Meshes");
}

}  // namespace kavro
