#include "exporter/texture/tex4x4.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "exporter/pipeline/scene.h"
#include "exporter/texture/color_word.h"

namespace kavro {

int tex4x4_distance(std::uint16_t a, std::uint16_t b) {
  int dr = (word_red(a) - word_red(b)) * 30;
  int dg = (word_green(a) - word_green(b)) * 59;
  int db = (word_blue(a) - word_blue(b)) * 11;
  return dr * dr + dg * dg + db * db;
}

int tex4x4_luminance(std::uint16_t w) {
  auto widen = [](int c) { return (c << 3) | (c >> 2); };
  double v =
      0.299 * widen(word_red(w)) + 0.587 * widen(word_green(w)) + 0.114 * widen(word_blue(w));
  return static_cast<int>(v);
}

namespace {

std::uint16_t blend(std::uint16_t a, std::uint16_t b, int wa, int wb, int div) {
  return make_word((word_red(a) * wa + word_red(b) * wb) / div,
                   (word_green(a) * wa + word_green(b) * wb) / div,
                   (word_blue(a) * wa + word_blue(b) * wb) / div);
}

}  // namespace

int tex4x4_candidates(const std::uint16_t* run, int count, bool transparent, Tex4x4Mode mode,
                      std::array<std::uint16_t, 4>& out) {
  out = {};
  out[0] = run[0];
  if (count <= 1) return 1;
  out[1] = run[1];
  if (count == 2) {
    // Explicit blocks never select more colours than they hold; interpolated
    // ones mix the two colours.
    if (mode == Tex4x4Mode::kExplicit) return 2;
    if (transparent) {
      out[2] = blend(run[0], run[1], 1, 1, 2);
      return 3;
    }
    out[2] = blend(run[0], run[1], 5, 3, 8);
    out[3] = blend(run[0], run[1], 3, 5, 8);
    return 4;
  }
  out[2] = run[2];
  if (count == 3 || transparent) return 3;
  out[3] = run[3];
  return 4;
}

namespace {

// The distinct opaque colours of a block and how many texels hold each.
struct ColorList {
  int n = 0;
  std::array<std::uint16_t, 16> color{};
  std::array<int, 16> count{};
};

// The k colours (3 or 4) of an explicit block that has more distinct colours
// than k: the subset of least block error, subsets tried in increasing order
// of their indices (a < b < c < d), and only a strictly smaller error
// replaces the best, so of equal subsets the first wins.
//
// Texels of one colour all have the same least distance to a subset, so the
// block error is summed per distinct colour: col[j][i] is colour i's texel
// count times its distance to colour j, and a subset's error is the sum over
// i of the least col[j][i] among its members j. Lanes from n to 15 stay zero
// in every row, so the sums run over 16 lanes.
//
// Two shortcuts give the same pick as trying every subset in full:
// - suffix[j][i] is the least col[m][i] over every m >= j, so a partial
//   subset whose remaining members all come from j on can at best reach the
//   sum over i of min(own[i], suffix[j][i]); a branch whose bound is not
//   below the best error holds no strictly better subset and is skipped.
// - a subset's sum stops after its first eight lanes when they already reach
//   the best error: the full sum could only be larger.
void explicit_subset(const ColorList& list, int k, std::array<std::uint16_t, 4>& chosen) {
  const int n = list.n;
  // col[j][i]: weighted distance of colour i to colour j.
  alignas(32) int col[16][16] = {};
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i)
      col[j][i] = list.count[i] * tex4x4_distance(list.color[i], list.color[j]);
  }
  alignas(32) int suffix[17][16] = {};
  for (int i = 0; i < n; ++i) suffix[n][i] = INT_MAX / 16;
  for (int j = n - 1; j >= 0; --j) {
    for (int i = 0; i < 16; ++i) suffix[j][i] = std::min(col[j][i], suffix[j + 1][i]);
  }
  auto bound = [&](const int* own, int from) {
    int acc = 0;
    for (int i = 0; i < 16; ++i) acc += std::min(own[i], suffix[from][i]);
    return acc;
  };
  // Sum of the lane-wise minimum, in two halves: the second half is skipped
  // once the first already reaches the best error.
  auto error = [](const int* own, const int* other, int best) {
    int acc = 0;
    for (int i = 0; i < 8; ++i) acc += std::min(own[i], other[i]);
    if (acc >= best) return acc;
    for (int i = 8; i < 16; ++i) acc += std::min(own[i], other[i]);
    return acc;
  };

  int best = INT_MAX;
  std::array<int, 4> pick{};
  alignas(32) int m2[16], m3[16];
  for (int a = 0; a <= n - k; ++a) {
    if (bound(col[a], a + 1) >= best) continue;
    for (int b = a + 1; b <= n - k + 1; ++b) {
      for (int i = 0; i < 16; ++i) m2[i] = std::min(col[a][i], col[b][i]);
      if (bound(m2, b + 1) >= best) continue;
      for (int c = b + 1; c <= n - k + 2; ++c) {
        if (k == 3) {
          int acc = error(m2, col[c], best);
          if (acc < best) {
            best = acc;
            pick = {a, b, c, 0};
          }
          continue;
        }
        for (int i = 0; i < 16; ++i) m3[i] = std::min(m2[i], col[c][i]);
        if (bound(m3, c + 1) >= best) continue;
        for (int d = c + 1; d < n; ++d) {
          int acc = error(m3, col[d], best);
          if (acc < best) {
            best = acc;
            pick = {a, b, c, d};
          }
        }
      }
    }
  }
  for (int i = 0; i < k; ++i) chosen[i] = list.color[pick[i]];
}

// The two colours of an interpolated block that has more than two distinct
// colours: the pair (a, b) of least block error, where each texel takes the
// nearest of a, b and their mixes (the half-way mix when the block has
// transparent texels, else the 5:3 and 3:5 mixes, as tex4x4_candidates
// makes them). Pairs are tried in index order, a colour's running sum stops
// once it reaches the best error, and only a strictly smaller error replaces
// the best, so of equal pairs the first wins.
void interpolated_pair(const ColorList& list, bool transparent,
                       std::array<std::uint16_t, 4>& chosen) {
  const int n = list.n;
  int w[16][16];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j)
      w[i][j] = list.count[i] * tex4x4_distance(list.color[i], list.color[j]);
  }
  int best = INT_MAX;
  int pa = 0, pb = 1;
  for (int a = 0; a < n; ++a) {
    for (int b = a + 1; b < n; ++b) {
      std::uint16_t mid1, mid2;
      if (transparent) {
        mid1 = mid2 = blend(list.color[a], list.color[b], 1, 1, 2);
      } else {
        mid1 = blend(list.color[a], list.color[b], 5, 3, 8);
        mid2 = blend(list.color[a], list.color[b], 3, 5, 8);
      }
      int acc = 0;
      for (int i = 0; i < n && acc < best; ++i) {
        int v = std::min(w[i][a], w[i][b]);
        if (v > 0) {
          v = std::min(v, list.count[i] * tex4x4_distance(list.color[i], mid1));
          v = std::min(v, list.count[i] * tex4x4_distance(list.color[i], mid2));
        }
        acc += v;
      }
      if (acc < best) {
        best = acc;
        pa = a;
        pb = b;
      }
    }
  }
  chosen[0] = list.color[pa];
  chosen[1] = list.color[pb];
}

}  // namespace

BlockColors choose_block_colors(const Tex4x4Block& block, Tex4x4Mode mode) {
  BlockColors result;
  ColorList list;
  for (int k = 0; k < 16; ++k) {
    if (!block.opaque[k]) {
      result.transparent = true;
      continue;
    }
    std::uint16_t c = block.color[k];
    int found = -1;
    for (int i = 0; i < list.n; ++i) {
      if (list.color[i] == c) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      list.color[list.n] = c;
      list.count[list.n] = 1;
      ++list.n;
    } else {
      ++list.count[found];
    }
  }
  if (list.n == 0) return result;

  int limit = mode == Tex4x4Mode::kInterpolated ? 2 : (result.transparent ? 3 : 4);
  std::array<std::uint16_t, 4> chosen{};
  int m = list.n;
  if (list.n <= limit) {
    for (int i = 0; i < list.n; ++i) chosen[i] = list.color[i];
  } else {
    m = limit;
    if (mode == Tex4x4Mode::kInterpolated) {
      interpolated_pair(list, result.transparent, chosen);
    } else {
      explicit_subset(list, limit, chosen);
    }
  }

  // Brightest first: a selection sort that swaps the first colour of
  // greatest luminance into each position.
  for (int i = 0; i < m; ++i) {
    int best = i;
    for (int j = i + 1; j < m; ++j) {
      if (tex4x4_luminance(chosen[j]) > tex4x4_luminance(chosen[best])) best = j;
    }
    std::swap(chosen[i], chosen[best]);
  }
  // The brightest and the darkest colour lead the stored run.
  result.count = m;
  if (m == 3) {
    result.colors = {chosen[0], chosen[2], chosen[1], 0};
  } else if (m == 4) {
    result.colors = {chosen[0], chosen[3], chosen[1], chosen[2]};
  } else {
    result.colors = chosen;
  }
  return result;
}

Tex4x4Block read_block(const SceneTexture& texture, int block) {
  Tex4x4Block out;
  int width = texture.width;
  int across = width / 4;
  if (across <= 0) return out;
  int bx = block % across;
  int by = block / across;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      std::size_t at = static_cast<std::size_t>(by * 4 + y) * width + (bx * 4 + x);
      if (at >= texture.texels.size()) continue;  // missing texels count as transparent black
      const SourceTexel& t = texture.texels[at];
      out.color[y * 4 + x] = color_word(t.red, t.green, t.blue);
      out.opaque[y * 4 + x] = t.alpha >= 128;
    }
  }
  return out;
}

namespace {

// Runs `work(begin, end)` over [0, n) in contiguous slices on several
// threads; slices write disjoint results, so the outcome is the same as one
// pass.
void parallel_slices(std::size_t n, int threads,
                     const std::function<void(std::size_t, std::size_t)>& work) {
  std::size_t count = threads > 0 ? static_cast<std::size_t>(threads)
                                  : std::max(1u, std::thread::hardware_concurrency());
  // Small textures are not worth a thread.
  count = std::min(count, n / 256 + 1);
  if (count <= 1) {
    work(0, n);
    return;
  }
  std::size_t slice = (n + count - 1) / count;
  std::vector<std::thread> pool;
  std::size_t begin = slice;  // the first slice runs on this thread
  for (; begin < n; begin += slice) {
    std::size_t end = std::min(n, begin + slice);
    try {
      pool.emplace_back(work, begin, end);
    } catch (...) {
      work(begin, end);  // no thread available: do the slice here
    }
  }
  work(0, std::min(n, slice));
  for (std::thread& t : pool) t.join();
}

// The shared palette while blocks are placed: colours, run markers, the first
// position of every colour and, for every even position, a chain of the even
// positions that start with the same two colours.
class SharedPalette {
 public:
  SharedPalette() : first_at_(32768, -1) {}

  void push(std::uint16_t c) {
    c &= 0x7fff;
    int pos = static_cast<int>(colors.size());
    colors.push_back(c);
    markers.push_back(0);
    if (first_at_[c] < 0) first_at_[c] = pos;
    if (pos % 2 == 1) {
      std::uint32_t key = pair_key(colors[pos - 1], c);
      next_.push_back(-1);
      auto [it, fresh] = chains_.try_emplace(key, std::make_pair(pos - 1, pos - 1));
      if (!fresh) {
        next_[it->second.second / 2] = pos - 1;
        it->second.second = pos - 1;
      }
    }
  }

  // The first position of colour c, or -1.
  int find_single(std::uint16_t c) const { return first_at_[c & 0x7fff]; }

  // The first even position from which the palette holds the n colours of
  // `run`, or -1.
  int find_run(const std::uint16_t* run, int n) const {
    auto it = chains_.find(pair_key(run[0], run[1]));
    if (it == chains_.end()) return -1;
    for (int p = it->second.first; p >= 0; p = next_[p / 2]) {
      if (p + n > std::ssize(colors)) continue;
      bool same = true;
      for (int i = 2; i < n && same; ++i) same = colors[p + i] == run[i];
      if (same) return p;
    }
    return -1;
  }

  std::vector<std::uint16_t> colors;
  std::vector<std::uint8_t> markers;

 private:
  static std::uint32_t pair_key(std::uint16_t a, std::uint16_t b) {
    return (static_cast<std::uint32_t>(a & 0x7fff) << 15) | (b & 0x7fffu);
  }
  std::vector<int> first_at_;
  std::unordered_map<std::uint32_t, std::pair<int, int>> chains_;  // first and last position
  std::vector<int> next_;                                          // by even position / 2
};

}  // namespace

void pad_tex4x4_palette(std::vector<std::uint16_t>& palette) {
  std::size_t size = std::max<std::size_t>(8, (palette.size() + 7) / 8 * 8);
  palette.resize(size, kPaletteFill);
}

namespace {

// New palette of one rebuild. Every even position is filed under the cell of
// its first colour in a grid of (t + 1)-wide cells, so a colour within t on
// every channel lies in the same or a neighbouring cell. Each entry keeps the
// six channels of its first two colours in the bytes of one word, so that a
// candidate is tested with a few word operations: a lane x lies in [lo, hi]
// when bit 7 of both (x + 128 - lo) and (hi + 128 - x) is set.
class ToleranceIndex {
 public:
  explicit ToleranceIndex(int t) : t_(t), cell_(t + 1), cells_(31 / (t + 1) + 1) {
    grid_.resize(cells_ * cells_ * cells_);
  }

  // The first even position of `pal` whose n colours each lie within t of
  // those of `run` on every channel (the least over the neighbouring cells,
  // as a scan of the whole palette would find it), or -1.
  int find(const std::vector<std::uint16_t>& pal, const std::uint16_t* run, int n) const {
    std::uint64_t lo = 0, hi = 0;
    for (int c = 1; c >= 0; --c) {
      for (int v : {word_blue(run[c]), word_green(run[c]), word_red(run[c])}) {
        lo = (lo << 8) | static_cast<std::uint64_t>(std::max(0, v - t_));
        hi = (hi << 8) | static_cast<std::uint64_t>(std::min(31, v + t_));
      }
    }
    const std::uint64_t high = 0x0000808080808080ull;
    int cr = word_red(run[0]) / cell_, cg = word_green(run[0]) / cell_,
        cb = word_blue(run[0]) / cell_;
    int found = -1;
    for (int r = std::max(0, cr - 1); r <= std::min(cells_ - 1, cr + 1); ++r) {
      for (int g = std::max(0, cg - 1); g <= std::min(cells_ - 1, cg + 1); ++g) {
        for (int b = std::max(0, cb - 1); b <= std::min(cells_ - 1, cb + 1); ++b) {
          for (const Entry& e : grid_[(r * cells_ + g) * cells_ + b]) {
            if (found >= 0 && e.position > found) break;  // lists are ascending
            if ((((e.lanes | high) - lo) & ((hi | high) - e.lanes) & high) != high) continue;
            if (e.position + n > std::ssize(pal)) continue;
            if (n == 2 || matches(pal, e.position + 2, run + 2, n - 2)) {
              found = e.position;
              break;
            }
          }
        }
      }
    }
    return found;
  }

  // Files even position q, whose two colours are in place.
  void add(const std::vector<std::uint16_t>& pal, int q) {
    std::uint64_t lanes = 0;
    for (int c = 1; c >= 0; --c) {
      std::uint16_t w = pal[q + c];
      for (int v : {word_blue(w), word_green(w), word_red(w)}) {
        lanes = (lanes << 8) | static_cast<std::uint64_t>(v);
      }
    }
    std::uint16_t first = pal[q];
    int r = word_red(first) / cell_, g = word_green(first) / cell_, b = word_blue(first) / cell_;
    grid_[(r * cells_ + g) * cells_ + b].push_back({q, lanes});
  }

 private:
  struct Entry {
    int position;
    std::uint64_t lanes;
  };
  bool close(std::uint16_t a, std::uint16_t b) const {
    return std::abs(word_red(a) - word_red(b)) <= t_ &&
           std::abs(word_green(a) - word_green(b)) <= t_ &&
           std::abs(word_blue(a) - word_blue(b)) <= t_;
  }
  bool matches(const std::vector<std::uint16_t>& pal, int q, const std::uint16_t* run,
               int n) const {
    for (int i = 0; i < n; ++i) {
      if (!close(pal[q + i], run[i])) return false;
    }
    return true;
  }
  int t_, cell_, cells_;
  std::vector<std::vector<Entry>> grid_;
};

}  // namespace

int shrink_tex4x4_palette(std::vector<std::uint16_t>& palette, std::vector<std::uint8_t>& markers,
                          std::vector<int>& run_positions, std::size_t limit) {
  if (palette.size() <= limit) return 0;
  const std::vector<std::uint16_t> old = palette;
  markers.resize(old.size(), 0);
  const std::size_t pairs = old.size() / 2;
  for (int t = 1;; ++t) {
    std::vector<std::uint16_t> fresh;
    std::vector<std::uint8_t> fresh_markers;
    std::vector<int> moved(pairs, -1);
    ToleranceIndex index(t);
    for (std::size_t p = 0; p + 1 < old.size(); p += 2) {
      int n = markers[p] != 0 && p + 4 <= old.size() ? 4 : 2;
      int q = index.find(fresh, &old[p], n);
      if (q < 0) {
        q = static_cast<int>(fresh.size());
        for (int i = 0; i < n; ++i) {
          fresh.push_back(old[p + i]);
          fresh_markers.push_back(0);
          if (i % 2 == 1) index.add(fresh, q + i - 1);
        }
        if (n == 4) fresh_markers[q] = 1;
      }
      moved[p / 2] = q;
    }
    pad_tex4x4_palette(fresh);
    // With t = 31 every colour matches every other one, so the palette holds
    // at most a run of two and one of four: the loop always ends.
    if (fresh.size() <= limit || t >= 31) {
      fresh_markers.resize(fresh.size(), 0);
      for (int& pos : run_positions) {
        if (pos >= 0 && pos / 2 < std::ssize(moved)) pos = moved[pos / 2];
      }
      palette = std::move(fresh);
      markers = std::move(fresh_markers);
      return t;
    }
  }
}

Tex4x4Result encode_tex4x4(const SceneTexture& texture, Tex4x4Mode mode, int threads) {
  Tex4x4Result result;
  const std::size_t blocks = (texture.width / 4) * (texture.height / 4);

  // Colour choice, block by block, in parallel.
  std::vector<BlockColors> plans(blocks);
  parallel_slices(blocks, threads, [&](std::size_t begin, std::size_t end) {
    for (std::size_t b = begin; b < end; ++b) {
      plans[b] = choose_block_colors(read_block(texture, static_cast<int>(b)), mode);
    }
  });

  // Placement in block order: the palette depends on every earlier block.
  SharedPalette shared;
  std::vector<int> run_pos(blocks, -1);
  std::vector<std::uint8_t> run_len(blocks, 0);
  for (std::size_t b = 0; b < blocks; ++b) {
    const BlockColors& plan = plans[b];
    if (plan.count == 0) continue;
    if (plan.count == 1) {
      int pos = shared.find_single(plan.colors[0]);
      if (pos < 0) {
        pos = static_cast<int>(shared.colors.size());
        shared.push(plan.colors[0]);
      }
      // At an odd position the block uses the pair that ends with its colour.
      if (pos % 2 == 1) {
        run_pos[b] = pos - 1;
        run_len[b] = 2;
      } else {
        run_pos[b] = pos;
        run_len[b] = 1;
      }
      continue;
    }
    int pos = shared.find_run(plan.colors.data(), plan.count);
    if (pos < 0) {
      if (shared.colors.size() % 2 == 1) shared.push(kPaletteFill);
      pos = static_cast<int>(shared.colors.size());
      for (int i = 0; i < plan.count; ++i) shared.push(plan.colors[i]);
    }
    if (plan.count >= 3) shared.markers[pos] = 1;
    run_pos[b] = pos;
    run_len[b] = static_cast<std::uint8_t>(plan.count);
  }

  // Texel indices against the colours as they stand in the palette.
  result.texel_words.assign(blocks, 0xffffffffu);
  const std::vector<std::uint16_t>& pal = shared.colors;
  parallel_slices(blocks, threads, [&](std::size_t begin, std::size_t end) {
    for (std::size_t b = begin; b < end; ++b) {
      if (run_len[b] == 0) continue;
      Tex4x4Block block = read_block(texture, static_cast<int>(b));
      std::array<std::uint16_t, 4> cand{};
      int n = tex4x4_candidates(&pal[run_pos[b]], run_len[b], plans[b].transparent, mode, cand);
      std::uint32_t word = 0;
      for (int k = 0; k < 16; ++k) {
        std::uint32_t index = 3;
        if (block.opaque[k] || !plans[b].transparent) {
          int best = INT_MAX;
          for (int i = 0; i < n; ++i) {
            int d = tex4x4_distance(block.color[k], cand[i]);
            if (d < best) {
              best = d;
              index = static_cast<std::uint32_t>(i);
            }
          }
        }
        word |= index << (2 * k);
      }
      result.texel_words[b] = word;
    }
  });

  std::vector<std::uint16_t> palette = std::move(shared.colors);
  std::vector<std::uint8_t> markers = std::move(shared.markers);
  pad_tex4x4_palette(palette);
  shrink_tex4x4_palette(palette, markers, run_pos);

  result.palette_idx.assign(blocks, 0);
  for (std::size_t b = 0; b < blocks; ++b) {
    if (run_len[b] == 0) continue;
    std::uint16_t word = static_cast<std::uint16_t>((run_pos[b] / 2) & 0x3fff);
    if (!plans[b].transparent) word |= 0x8000;
    if (mode == Tex4x4Mode::kInterpolated) word |= 0x4000;
    result.palette_idx[b] = word;
  }
  result.palette = std::move(palette);
  return result;
}

}  // namespace kavro
