// Animation curves: one value per frame, thinned to every first, second or
// fourth frame where linear interpolation reproduces the frames in between,
// reduced to a single value when the curve does not move, and placed in a
// data pool shared by every curve of one kind, where equal runs of values are
// stored once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {

class ExportLog;
class ExportScene;
class OutputFile;

namespace anim {

// Number of values stored for n frames at step s: the frames 0, s, 2s, ...,
// B*s (B = (n - 1) / s) followed by every frame after B*s.
int stored_length(int n, int step);
// The stored values themselves.
template <typename T>
std::vector<T> stored_sequence(std::span<const T> samples, int step);

// Whether linear interpolation between every s-th frame reproduces each
// frame in between to within the tolerance (strictly). Float terms are each
// rounded to single precision; colour terms use integer division and wrap at
// 256, and the tolerance is taken as an 8-bit value.
bool step_fits(std::span<const float> samples, int step, float tolerance);
bool step_fits(std::span<const std::uint8_t> samples, int step, int tolerance);

// The step a channel is stored with under a frame_step_mode.
int choose_step(std::span<const float> samples, FrameStepMode mode, float tolerance);
int choose_step(std::span<const std::uint8_t> samples, FrameStepMode mode, int tolerance);

// A flat array of values shared by the channels of one kind. Channels refer
// to it by position; a run of values is stored once and found again wherever
// it occurs, even across or inside the runs of other channels.
//
// Finding a run is exact: equality is numeric (0.0 equals -0.0, NaN equals
// nothing), and the answer is the first position, as a scan of every position
// would give it (the plain pool does exactly that and is kept as the
// reference). The indexed pool keeps a polynomial hash of every prefix of the
// pool, so any window's hash is known in constant time, and indexes that
// list candidate positions in increasing order:
// - the first position of every value, which answers a run of one value;
// - every kSample-th position by the kGram values from it: any occurrence of
//   a run of at least kGram + kSample - 1 values holds such a gram at an
//   offset d below kSample, and at d + kSample, d + 2 kSample ... as far as
//   the run reaches; the chain of any of those grams leads to every
//   occurrence with that offset, and a rare one is walked (the rarest, or
//   the first seen that stands at most a few times), so long stretches of
//   common values (idle zeros, rest poses) are not walked;
// - for runs shorter than that, every position by its value, built the first
//   time such a run is asked for.
// The first candidate is compared value by value; later ones are confirmed
// by the hash of their window first, then value by value.
template <typename T>
class DataPool {
 public:
  static constexpr int kGram = 8;
  static constexpr int kSample = 8;

  explicit DataPool(bool indexed = true) : indexed_(indexed) { prefix_.push_back(0); }

  // Room for `values` values, up to kMaxReserve.
  void reserve(std::size_t values);
  static constexpr std::size_t kMaxReserve = std::size_t{1} << 22;
  int size() const { return static_cast<int>(values_.size()); }
  const std::vector<T>& values() const { return values_; }
  bool indexed() const { return indexed_; }

  // The first position p where the pool holds run[0..len) from p on, the run
  // lying wholly inside the pool; -1 when there is none.
  int find(const T* run, int len);
  // Appends a run; returns the position of its first value.
  int append(const T* run, int len);

 private:
  // Entries (positions, or numbers standing for them) chained by a key, in
  // increasing order.
  class Chains {
   public:
    // Appends a position to its key's chain.
    void add(std::uint64_t key, std::int32_t position);
    std::int32_t first(std::uint64_t key) const;  // -1 when none
    // The first entry and the number of entries of a key's chain.
    std::int32_t first(std::uint64_t key, std::int32_t& count) const;
    std::int32_t next(std::int32_t position) const { return next_[position]; }
    void reserve(std::size_t positions) { next_.reserve(positions); }

   private:
    struct Slot;
    Slot& slot_for(std::uint64_t key);
    struct Slot {
      std::uint64_t key = 0;
      std::int32_t head = -1;  // -1: empty slot
      std::int32_t tail = -1;
      std::int32_t count = 0;
    };
    std::vector<Slot> slots_;  // open addressing, power-of-two size
    std::size_t used_ = 0;
    std::vector<std::int32_t> next_;  // by position; -1 ends a chain
  };

  // The first position of every value, by the value's 32-bit key.
  class FirstPositions {
   public:
    void add(std::uint32_t key, std::int32_t position);  // kept only when first
    std::int32_t find(std::uint32_t key) const;          // -1 when none

   private:
    struct Slot {
      std::uint32_t key = 0;
      std::int32_t position = -1;  // -1: empty slot
    };
    std::vector<Slot> slots_;  // open addressing, power-of-two size
    std::size_t used_ = 0;
  };

  std::uint64_t power(int len);
  std::uint64_t window_hash(int position, int len, std::uint64_t power) const;
  // How many values from `position` on equal the run's first ones.
  int equal_prefix(int position, const T* run, int len) const;

  bool indexed_;
  std::vector<T> values_;
  std::vector<std::uint64_t> prefix_;  // hash of values_[0..i)
  FirstPositions first_of_value_;
  Chains by_gram_;   // position / kSample of every kSample-th position, by its kGram values
  Chains by_value_;  // every position by its value, once a short run is asked for
  bool by_value_built_ = false;
  std::vector<std::pair<int, std::uint64_t>> powers_;  // base^len for the lengths asked
  std::vector<std::uint64_t> run_prefix_;              // scratch: hashes of a run's prefixes
};

using FloatPool = DataPool<float>;
using ColorPool = DataPool<std::uint8_t>;

// The plain search over a pool's values (first position, run wholly inside).
template <typename T>
int plain_find(const std::vector<T>& pool, const T* run, int len);

// Encodes one channel: chooses the step, tests whether it is constant
// (every stored value within the tolerance of the first, inclusive) and finds
// or appends its values in the pool. A channel without frames stores nothing.
ChannelRecord encode_channel(std::span<const float> samples, FrameStepMode mode, float tolerance,
                             FloatPool& pool);
ChannelRecord encode_channel(std::span<const std::uint8_t> samples, FrameStepMode mode,
                             int tolerance, ColorPool& pool);

// encode_channel in its two halves: the thinning, which depends on the samples
// alone (the frame step and the values to store, one value when the curve
// does not move), and the placing in a pool, which depends on what the pool
// holds by then. Channels with equal samples can share one thinning; each is
// still placed on its own, where the pool's first match lies at that time.
struct ThinnedColors {
  int frame_step = 1;
  std::vector<std::uint8_t> values;  // empty: no samples
};
ThinnedColors thin_channel(std::span<const std::uint8_t> samples, FrameStepMode mode,
                           int tolerance);
ChannelRecord place_channel(const ThinnedColors& thinned, ColorPool& pool);

// Progress reported while a pool is written: one advance per value.
struct PoolProgress {
  ExportLog* log = nullptr;
  float step = 0;
  const char* label = nullptr;
};

// "\n<name size=\"n\">", ten values a line ("%f " or "%d "), "\n</name>\n".
void write_pool(OutputFile& out, const char* element, const std::vector<float>& values,
                PoolProgress progress = {});
void write_pool(OutputFile& out, const char* element, const std::vector<std::uint8_t>& values,
                PoolProgress progress = {});

// "\t\t<name frame_step=... data_size=... data_head=.../>\n"; a channel of
// fewer than two values is written with frame_step 1.
void write_channel_line(OutputFile& out, const char* name, const ChannelRecord& record);

// tool_end_frame - tool_start_frame + 1.
int frame_size(const ExportScene& scene);
// The samples of one channel over the scene's frame count, read from a
// per-frame array through `get`: a shorter array holds its last value, an
// empty one gives zeros.
template <typename V, typename Src, typename Get>
std::vector<V> frame_samples(const std::vector<Src>& frames, int frame_count, Get get) {
  std::vector<V> out(frame_count > 0 ? frame_count : 0, V{});
  if (frames.empty()) return out;
  for (std::size_t f = 0; f < out.size(); ++f) {
    out[f] = get(frames[f < frames.size() ? f : frames.size() - 1]);
  }
  return out;
}

}  // namespace anim
}  // namespace kavro
