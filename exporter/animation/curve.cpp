#include "exporter/animation/curve.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"

namespace kavro::anim {

namespace {

// Window hashes are polynomials in a fixed base modulo the prime 2^61 - 1.
constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kBase = 0x1F3A5C7E9B2D4F61ull % kModulus;

__extension__ using U128 = unsigned __int128;

std::uint64_t mul_mod(std::uint64_t a, std::uint64_t b) {
  U128 z = static_cast<U128>(a) * b;
  std::uint64_t r =
      static_cast<std::uint64_t>(z >> 61) + (static_cast<std::uint64_t>(z) & kModulus);
  return r >= kModulus ? r - kModulus : r;
}

std::uint64_t add_mod(std::uint64_t a, std::uint64_t b) {
  std::uint64_t r = a + b;
  return r >= kModulus ? r - kModulus : r;
}

std::uint64_t sub_mod(std::uint64_t a, std::uint64_t b) {
  return a >= b ? a - b : a + kModulus - b;
}

// Values that compare equal get equal keys (and so equal hash terms): -0.0
// has the key of 0.0. NaN keeps a key but is never matched (unmatchable).
std::uint32_t value_key(float v) {
  return v == 0.0f ? 0u : std::bit_cast<std::uint32_t>(v);
}
std::uint32_t value_key(std::uint8_t v) {
  return v;
}
// The term of a value in the polynomial hashes (never zero).
std::uint64_t value_code(float v) {
  return std::uint64_t{value_key(v)} + 1;
}
std::uint64_t value_code(std::uint8_t v) {
  return std::uint64_t{v} + 1;
}

// A value that equals nothing, itself included.
bool unmatchable(float v) {
  return std::isnan(v);
}
bool unmatchable(std::uint8_t) {
  return false;
}

std::uint64_t slot_of(std::uint64_t key, std::size_t mask) {
  // The finaliser of splitmix64: every key bit reaches the low bits.
  key ^= key >> 30;
  key *= 0xBF58476D1CE4E5B9ull;
  key ^= key >> 27;
  key *= 0x94D049BB133111EBull;
  key ^= key >> 31;
  return key & mask;
}

}  // namespace

int stored_length(int n, int step) {
  if (n <= 0) return 0;
  if (step < 1) step = 1;
  int b = (n - 1) / step;
  return b + n - b * step;
}

template <typename T>
std::vector<T> stored_sequence(std::span<const T> samples, int step) {
  int n = static_cast<int>(samples.size());
  std::vector<T> out;
  if (n <= 0) return out;
  if (step < 1) step = 1;
  if (step == 1) return {samples.begin(), samples.end()};
  int b = (n - 1) / step;
  out.resize(stored_length(n, step));
  T* to = out.data();
  for (int k = 0; k <= b; ++k) *to++ = samples[k * step];
  for (int f = b * step + 1; f < n; ++f) *to++ = samples[f];
  return out;
}

template std::vector<float> stored_sequence(std::span<const float>, int);
template std::vector<std::uint8_t> stored_sequence(std::span<const std::uint8_t>, int);

bool step_fits(std::span<const float> v, int s, float tolerance) {
  int n = static_cast<int>(v.size());
  if (n <= 0 || s < 1) return true;
  int b = (n - 1) / s;
  const float fs = static_cast<float>(s);
  for (int i = 0; i < b * s; ++i) {
    int r = i % s;
    int lo = i - r;
    int hi = lo + s;
    // Each term is rounded to single precision: the product, then the quotient.
    float a = v[lo] * static_cast<float>(s - r);
    a = a / fs;
    float c = v[hi] * static_cast<float>(r);
    c = c / fs;
    float sum = a + c;
    double diff = std::fabs(static_cast<double>(sum) - static_cast<double>(v[i]));
    if (!(diff < static_cast<double>(tolerance))) return false;
  }
  return true;
}

bool step_fits(std::span<const std::uint8_t> v, int s, int tolerance) {
  int n = static_cast<int>(v.size());
  if (n <= 0 || s < 1) return true;
  int b = (n - 1) / s;
  const int t = static_cast<std::uint8_t>(tolerance);
  for (int i = 0; i < b * s; ++i) {
    int r = i % s;
    int lo = i - r;
    int hi = lo + s;
    int a = (v[lo] * (s - r)) / s;
    int c = (r * v[hi]) / s;
    int sum = (a + c) % 256;
    if (!(std::abs(sum - v[i]) < t)) return false;
  }
  return true;
}

namespace {

template <typename T, typename Tol>
int choose_step_impl(std::span<const T> samples, FrameStepMode mode, Tol tolerance) {
  switch (mode) {
    case FrameStepMode::kOne:
      return 1;
    case FrameStepMode::kTwo:
      return 2;
    case FrameStepMode::kFour:
      return 4;
    default:
      break;
  }
  if (!step_fits(samples, 2, tolerance)) return 1;
  return step_fits(samples, 4, tolerance) ? 4 : 2;
}

bool within(float value, float first, float tolerance) {
  return std::fabs(static_cast<double>(value) - static_cast<double>(first)) <=
         static_cast<double>(tolerance);
}

bool within(std::uint8_t value, std::uint8_t first, int tolerance) {
  return std::abs(int{value} - int{first}) <= int{static_cast<std::uint8_t>(tolerance)};
}

template <typename T, typename Tol>
ChannelRecord encode_impl(std::span<const T> samples, FrameStepMode mode, Tol tolerance,
                          DataPool<T>& pool) {
  ChannelRecord record;
  if (samples.empty()) return record;
  record.frame_step = choose_step_impl(samples, mode, tolerance);
  std::vector<T> seq = stored_sequence(samples, record.frame_step);
  bool constant = true;
  for (std::size_t k = 1; k < seq.size() && constant; ++k) {
    constant = within(seq[k], seq[0], tolerance);
  }
  int len = constant ? 1 : static_cast<int>(seq.size());
  int head = pool.find(seq.data(), len);
  record.data_size = len;
  record.data_head = head >= 0 ? head : pool.append(seq.data(), len);
  return record;
}

}  // namespace

int choose_step(std::span<const float> samples, FrameStepMode mode, float tolerance) {
  return choose_step_impl(samples, mode, tolerance);
}

int choose_step(std::span<const std::uint8_t> samples, FrameStepMode mode, int tolerance) {
  return choose_step_impl(samples, mode, tolerance);
}

ChannelRecord encode_channel(std::span<const float> samples, FrameStepMode mode, float tolerance,
                             FloatPool& pool) {
  return encode_impl(samples, mode, tolerance, pool);
}

ChannelRecord encode_channel(std::span<const std::uint8_t> samples, FrameStepMode mode,
                             int tolerance, ColorPool& pool) {
  return place_channel(thin_channel(samples, mode, tolerance), pool);
}

ThinnedColors thin_channel(std::span<const std::uint8_t> samples, FrameStepMode mode,
                           int tolerance) {
  ThinnedColors thinned;
  if (samples.empty()) return thinned;
  thinned.frame_step = choose_step_impl(samples, mode, tolerance);
  thinned.values = stored_sequence(samples, thinned.frame_step);
  bool constant = true;
  for (std::size_t k = 1; k < thinned.values.size() && constant; ++k) {
    constant = within(thinned.values[k], thinned.values[0], tolerance);
  }
  if (constant) thinned.values.resize(1);
  return thinned;
}

ChannelRecord place_channel(const ThinnedColors& thinned, ColorPool& pool) {
  ChannelRecord record;
  if (thinned.values.empty()) return record;
  record.frame_step = thinned.frame_step;
  const int len = static_cast<int>(thinned.values.size());
  const int head = pool.find(thinned.values.data(), len);
  record.data_size = len;
  record.data_head = head >= 0 ? head : pool.append(thinned.values.data(), len);
  return record;
}

// ---------------------------------------------------------------------------
// Data pool.

template <typename T>
int plain_find(const std::vector<T>& pool, const T* run, int len) {
  if (len <= 0) return -1;
  std::size_t n = len;
  for (std::size_t p = 0; p + n <= pool.size(); ++p) {
    std::size_t k = 0;
    while (k < n && pool[p + k] == run[k]) ++k;
    if (k == n) return static_cast<int>(p);
  }
  return -1;
}

template int plain_find(const std::vector<float>&, const float*, int);
template int plain_find(const std::vector<std::uint8_t>&, const std::uint8_t*, int);

template <typename T>
void DataPool<T>::reserve(std::size_t values) {
  // Callers reserve for the worst case, every sample stored. Past a few
  // million values that is address space a big scene's pool never uses (the
  // index keeps eight bytes a value): beyond it the arrays grow as needed.
  values = std::min(values, kMaxReserve);
  values_.reserve(values);
  if (indexed_) {
    prefix_.reserve(values + 1);
    by_gram_.reserve(values / kSample + 1);
  }
}

template <typename T>
typename DataPool<T>::Chains::Slot& DataPool<T>::Chains::slot_for(std::uint64_t key) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.head < 0) continue;
      std::size_t i = slot_of(slot.key, mask);
      while (slots_[i].head >= 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }
  std::size_t mask = slots_.size() - 1;
  std::size_t i = slot_of(key, mask);
  while (slots_[i].head >= 0 && slots_[i].key != key) i = (i + 1) & mask;
  return slots_[i];
}

template <typename T>
void DataPool<T>::Chains::add(std::uint64_t key, std::int32_t position) {
  if (std::ssize(next_) <= position) next_.resize(position + 1, -1);
  Slot& slot = slot_for(key);
  if (slot.head < 0) {
    slot.key = key;
    slot.head = position;
    ++used_;
  } else {
    next_[slot.tail] = position;
  }
  slot.tail = position;
  ++slot.count;
}

template <typename T>
std::int32_t DataPool<T>::Chains::first(std::uint64_t key, std::int32_t& count) const {
  count = 0;
  if (slots_.empty()) return -1;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = slot_of(key, mask);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.head < 0) return -1;
    if (slot.key == key) {
      count = slot.count;
      return slot.head;
    }
  }
}

template <typename T>
void DataPool<T>::FirstPositions::add(std::uint32_t key, std::int32_t position) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position < 0) continue;
      std::size_t i = slot_of(slot.key, mask);
      while (slots_[i].position >= 0) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }
  std::size_t mask = slots_.size() - 1;
  std::size_t i = slot_of(key, mask);
  while (slots_[i].position >= 0) {
    if (slots_[i].key == key) return;
    i = (i + 1) & mask;
  }
  slots_[i] = Slot{key, position};
  ++used_;
}

template <typename T>
std::int32_t DataPool<T>::FirstPositions::find(std::uint32_t key) const {
  if (slots_.empty()) return -1;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = slot_of(key, mask);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.position < 0 || slot.key == key) return slot.position;
  }
}

template <typename T>
std::int32_t DataPool<T>::Chains::first(std::uint64_t key) const {
  if (slots_.empty()) return -1;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = slot_of(key, mask);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.head < 0) return -1;
    if (slot.key == key) return slot.head;
  }
}

template <typename T>
int DataPool<T>::equal_prefix(int position, const T* run, int len) const {
  const T* at = values_.data() + position;
  int k = 0;
  while (k < len && at[k] == run[k]) ++k;
  return k;
}

template <typename T>
std::uint64_t DataPool<T>::power(int len) {
  for (const auto& [length, value] : powers_) {
    if (length == len) return value;
  }
  std::uint64_t value = 1;
  for (int k = 0; k < len; ++k) value = mul_mod(value, kBase);
  powers_.emplace_back(len, value);
  return value;
}

template <typename T>
std::uint64_t DataPool<T>::window_hash(int position, int len, std::uint64_t pw) const {
  return sub_mod(prefix_[position + len], mul_mod(prefix_[position], pw));
}

template <typename T>
int DataPool<T>::find(const T* run, int len) {
  if (len <= 0) return -1;
  if (!indexed_) return anim::plain_find(values_, run, len);
  if (len > size()) return -1;
  // A value that equals nothing cannot be found.
  for (int k = 0; k < len; ++k) {
    if (unmatchable(run[k])) return -1;
  }
  constexpr int kReach = kGram + kSample - 1;
  const int last = size() - len;
  // The hashes of the run's prefixes, computed only as far as they are
  // needed: a new curve is mostly told apart by its first grams, and a curve
  // the pool holds is mostly found at the first candidate.
  std::vector<std::uint64_t>& run_prefix = run_prefix_;
  if (run_prefix.size() < static_cast<std::size_t>(len) + 1) run_prefix.resize(len + 1);
  run_prefix[0] = 0;
  int hashed = 0;
  auto hash_to = [&](int end) {
    for (; hashed < end; ++hashed) {
      run_prefix[hashed + 1] = add_mod(mul_mod(run_prefix[hashed], kBase), value_code(run[hashed]));
    }
  };
  // The first candidate is compared value by value; from the second on, the
  // hash of the whole run sorts out the candidates that share only a
  // beginning with it before any value is compared.
  int tried = 0;
  std::uint64_t key = 0, pw = 0;
  auto matches = [&](int p) {
    if (tried++ == 0) return equal_prefix(p, run, len) == len;
    if (tried == 2) {
      hash_to(len);
      key = run_prefix[len];
      pw = power(len);
    }
    return window_hash(p, len, pw) == key && equal_prefix(p, run, len) == len;
  };
  if (len == 1) return first_of_value_.find(value_key(run[0]));
  if (len < kReach) {
    if (!by_value_built_) {
      for (int p = 0; p < size(); ++p) by_value_.add(value_code(values_[p]), p);
      by_value_built_ = true;
    }
    for (std::int32_t p = by_value_.first(value_code(run[0])); p >= 0 && p <= last;
         p = by_value_.next(p)) {
      if (matches(p)) return p;
    }
    return -1;
  }
  // A match at p covers the sampled grams at p + d, p + d + kSample, ...
  // (d the distance to the next multiple of kSample) as far as the run
  // reaches, so the chain of any of those grams leads to every such match;
  // the rarest one found is walked. The search for a rarer gram ends at one
  // that stands at most kFew times: walking a few candidates costs less than
  // hashing the rest of the run to find a rarer one. The first match is the
  // least over the offsets d.
  constexpr std::int32_t kFew = 4;
  const std::uint64_t gram_power = power(kGram);
  auto gram_at = [&](int offset) {
    hash_to(offset + kGram);
    const std::size_t o = offset;
    return sub_mod(run_prefix[o + kGram], mul_mod(run_prefix[o], gram_power));
  };
  int best = -1;
  for (int d = 0; d < kSample; ++d) {
    int offset = d;
    std::int32_t count = 0;
    std::int32_t head = by_gram_.first(gram_at(d), count);
    for (int o = d + kSample; o + kGram <= len && count > kFew; o += kSample) {
      std::int32_t c = 0;
      std::int32_t h = by_gram_.first(gram_at(o), c);
      if (c < count) {
        count = c;
        head = h;
        offset = o;
      }
    }
    for (std::int32_t g = head; g >= 0; g = by_gram_.next(g)) {
      int p = g * kSample - offset;
      if (p < 0) continue;
      if (p > last || (best >= 0 && p >= best)) break;
      if (matches(p)) {
        best = p;
        break;
      }
    }
  }
  return best;
}

template <typename T>
int DataPool<T>::append(const T* run, int len) {
  int head = size();
  if (len <= 0) return head;
  values_.insert(values_.end(), run, run + len);
  if (!indexed_) return head;
  const std::uint64_t gram_power = power(kGram);
  for (int k = 0; k < len; ++k) {
    int p = head + k;
    prefix_.push_back(add_mod(mul_mod(prefix_.back(), kBase), value_code(run[k])));
    first_of_value_.add(value_key(run[k]), p);
    if (by_value_built_) by_value_.add(value_code(run[k]), p);
    // The gram that ends with this value is complete now; every kSample-th
    // one is indexed.
    int start = p + 1 - kGram;
    if (start >= 0 && start % kSample == 0) {
      by_gram_.add(window_hash(start, kGram, gram_power), start / kSample);
    }
  }
  return head;
}

template class DataPool<float>;
template class DataPool<std::uint8_t>;

// ---------------------------------------------------------------------------
// Text.

namespace {

template <typename T, typename Put>
void write_pool_impl(OutputFile& out, const char* element, const std::vector<T>& values,
                     PoolProgress progress, Put put) {
  out.line() << "\n<" << element << " size=\"" << static_cast<int>(values.size()) << "\">";
  // A row of ten values is one line.
  for (std::size_t row = 0; row < values.size(); row += 10) {
    OutputFile::Line line = out.line();
    line << "\n\t";
    for (std::size_t k = row; k < values.size() && k < row + 10; ++k) {
      put(line, values[k]);
      if (progress.log != nullptr && progress.label != nullptr) {
        progress.log->advance(progress.step, progress.label);
      }
    }
  }
  out.line() << "\n</" << element << ">\n";
}

}  // namespace

void write_pool(OutputFile& out, const char* element, const std::vector<float>& values,
                PoolProgress progress) {
  write_pool_impl(out, element, values, progress,
                  [](OutputFile::Line& line, float v) { line << static_cast<double>(v) << " "; });
}

void write_pool(OutputFile& out, const char* element, const std::vector<std::uint8_t>& values,
                PoolProgress progress) {
  write_pool_impl(out, element, values, progress,
                  [](OutputFile::Line& line, std::uint8_t v) { line << int{v} << " "; });
}

void write_channel_line(OutputFile& out, const char* name, const ChannelRecord& record) {
  out.line() << "\t\t<" << name << " frame_step=\""
             << (record.data_size < 2 ? 1 : record.frame_step) << "\" data_size=\""
             << record.data_size << "\" data_head=\"" << record.data_head << "\"/>\n";
}

int frame_size(const ExportScene& scene) {
  return scene.end_frame - scene.start_frame + 1;
}

}  // namespace kavro::anim
