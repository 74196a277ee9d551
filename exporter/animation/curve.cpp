#include "exporter/animation/curve.h"

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

// Values that compare equal get equal codes: -0.0 is coded as 0.0.
std::uint64_t value_code(float v) {
  if (v == 0.0f) return 1;
  return std::uint64_t{std::bit_cast<std::uint32_t>(v)} + 2;
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
  return ((key * 0x9E3779B97F4A7C15ull) >> 17) & mask;
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
  int b = (n - 1) / step;
  out.reserve(static_cast<std::size_t>(stored_length(n, step)));
  for (int k = 0; k <= b; ++k) out.push_back(samples[static_cast<std::size_t>(k * step)]);
  for (int f = b * step + 1; f < n; ++f) out.push_back(samples[static_cast<std::size_t>(f)]);
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
    float a = v[static_cast<std::size_t>(lo)] * static_cast<float>(s - r);
    a = a / fs;
    float c = v[static_cast<std::size_t>(hi)] * static_cast<float>(r);
    c = c / fs;
    float sum = a + c;
    double diff =
        std::fabs(static_cast<double>(sum) - static_cast<double>(v[static_cast<std::size_t>(i)]));
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
    int a = (v[static_cast<std::size_t>(lo)] * (s - r)) / s;
    int c = (r * v[static_cast<std::size_t>(hi)]) / s;
    int sum = (a + c) % 256;
    if (!(std::abs(sum - v[static_cast<std::size_t>(i)]) < t)) return false;
  }
  return true;
}

namespace {

template <typename T, typename Tol>
int choose_step_impl(std::span<const T> samples, int mode, Tol tolerance) {
  switch (mode) {
    case kStepOne:
      return 1;
    case kStepTwo:
      return 2;
    case kStepFour:
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
ChannelRecord encode_impl(std::span<const T> samples, int mode, Tol tolerance, DataPool<T>& pool) {
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

int choose_step(std::span<const float> samples, int mode, float tolerance) {
  return choose_step_impl(samples, mode, tolerance);
}

int choose_step(std::span<const std::uint8_t> samples, int mode, int tolerance) {
  return choose_step_impl(samples, mode, tolerance);
}

ChannelRecord encode_channel(std::span<const float> samples, int mode, float tolerance,
                             FloatPool& pool) {
  return encode_impl(samples, mode, tolerance, pool);
}

ChannelRecord encode_channel(std::span<const std::uint8_t> samples, int mode, int tolerance,
                             ColorPool& pool) {
  return encode_impl(samples, mode, tolerance, pool);
}

// ---------------------------------------------------------------------------
// Data pool.

template <typename T>
int plain_find(const std::vector<T>& pool, const T* run, int len) {
  if (len <= 0) return -1;
  std::size_t n = static_cast<std::size_t>(len);
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
  values_.reserve(values);
  if (indexed_) {
    prefix_.reserve(values + 1);
    unmatchable_.reserve(values + 1);
  }
}

template <typename T>
int DataPool<T>::plain_find(const T* run, int len) const {
  return anim::plain_find(values_, run, len);
}

template <typename T>
bool DataPool<T>::equal_at(int position, const T* run, int len) const {
  const T* at = values_.data() + position;
  for (int k = 0; k < len; ++k) {
    if (!(at[k] == run[k])) return false;
  }
  return true;
}

template <typename T>
std::uint64_t DataPool<T>::window_hash(const WindowIndex& index, int position) const {
  std::size_t p = static_cast<std::size_t>(position);
  return sub_mod(prefix_[p + static_cast<std::size_t>(index.length)],
                 mul_mod(prefix_[p], index.power));
}

template <typename T>
const typename DataPool<T>::Slot* DataPool<T>::lookup(const WindowIndex& index,
                                                      std::uint64_t key) const {
  if (index.slots.empty()) return nullptr;
  std::size_t mask = index.slots.size() - 1;
  for (std::size_t i = slot_of(key, mask);; i = (i + 1) & mask) {
    const Slot& slot = index.slots[i];
    if (slot.head < 0) return nullptr;
    if (slot.key == key) return &slot;
  }
}

template <typename T>
void DataPool<T>::insert(WindowIndex& index, std::uint64_t key, int position) {
  if ((index.used + 1) * 2 > index.slots.size()) {
    std::vector<Slot> old = std::move(index.slots);
    index.slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    std::size_t mask = index.slots.size() - 1;
    for (const Slot& slot : old) {
      if (slot.head < 0) continue;
      std::size_t i = slot_of(slot.key, mask);
      while (index.slots[i].head >= 0) i = (i + 1) & mask;
      index.slots[i] = slot;
    }
  }
  std::size_t mask = index.slots.size() - 1;
  std::size_t i = slot_of(key, mask);
  while (index.slots[i].head >= 0 && index.slots[i].key != key) i = (i + 1) & mask;
  Slot& slot = index.slots[i];
  if (slot.head < 0) {
    slot.key = key;
    slot.head = position;
    ++index.used;
  } else {
    index.next[static_cast<std::size_t>(slot.tail)] = position;
  }
  slot.tail = position;
}

template <typename T>
void DataPool<T>::extend(WindowIndex& index) {
  int last = size() - index.length;  // last window that lies wholly inside
  if (last < 0) return;
  index.next.resize(static_cast<std::size_t>(last) + 1, -1);
  std::size_t len = static_cast<std::size_t>(index.length);
  for (int p = index.windows; p <= last; ++p) {
    std::size_t q = static_cast<std::size_t>(p);
    // A window holding a value that equals nothing can never be found.
    if (unmatchable_[q + len] != unmatchable_[q]) continue;
    insert(index, window_hash(index, p), p);
  }
  index.windows = last + 1;
}

template <typename T>
typename DataPool<T>::WindowIndex& DataPool<T>::index_for(int len) {
  for (WindowIndex& index : indexes_) {
    if (index.length == len) return index;
  }
  WindowIndex index;
  index.length = len;
  for (int k = 0; k < len; ++k) index.power = mul_mod(index.power, kBase);
  indexes_.push_back(std::move(index));
  WindowIndex& added = indexes_.back();
  extend(added);
  return added;
}

template <typename T>
int DataPool<T>::find(const T* run, int len) {
  if (len <= 0) return -1;
  if (!indexed_) return plain_find(run, len);
  std::uint64_t key = 0;
  for (int k = 0; k < len; ++k) {
    if (unmatchable(run[k])) return -1;
    key = add_mod(mul_mod(key, kBase), value_code(run[k]));
  }
  if (len > size()) return -1;
  const WindowIndex& index = index_for(len);
  const Slot* slot = lookup(index, key);
  if (slot == nullptr) return -1;
  // Positions of one chain share the hash and come in increasing order; the
  // first whose values are equal is the answer.
  for (std::int32_t p = slot->head; p >= 0; p = index.next[static_cast<std::size_t>(p)]) {
    if (equal_at(p, run, len)) return p;
  }
  return -1;
}

template <typename T>
int DataPool<T>::append(const T* run, int len) {
  int head = size();
  if (len <= 0) return head;
  values_.insert(values_.end(), run, run + len);
  if (!indexed_) return head;
  for (int k = 0; k < len; ++k) {
    prefix_.push_back(add_mod(mul_mod(prefix_.back(), kBase), value_code(run[k])));
    unmatchable_.push_back(unmatchable_.back() + (unmatchable(run[k]) ? 1 : 0));
  }
  for (WindowIndex& index : indexes_) extend(index);
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
  out.printf("\n<%s size=\"%d\">", element, static_cast<int>(values.size()));
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k % 10 == 0) out.write("\n\t");
    put(values[k]);
    if (progress.scene != nullptr && progress.label != nullptr) {
      progress.scene->advance(progress.step, progress.label);
    }
  }
  out.printf("\n</%s>\n", element);
}

}  // namespace

void write_pool(OutputFile& out, const char* element, const std::vector<float>& values,
                PoolProgress progress) {
  write_pool_impl(out, element, values, progress,
                  [&out](float v) { out.printf("%f ", static_cast<double>(v)); });
}

void write_pool(OutputFile& out, const char* element, const std::vector<std::uint8_t>& values,
                PoolProgress progress) {
  write_pool_impl(out, element, values, progress, [&out](std::uint8_t v) { out.printf("%d ", v); });
}

void write_channel_line(OutputFile& out, const char* name, const ChannelRecord& record) {
  out.printf("\t\t<%s frame_step=\"%d\" data_size=\"%d\" data_head=\"%d\"/>\n", name,
             record.data_size < 2 ? 1 : record.frame_step, record.data_size, record.data_head);
}

namespace {

template <std::size_t N>
const char* word(const char* const (&words)[N], int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? words[value] : words[0];
}

}  // namespace

const char* frame_step_mode_word(int mode) {
  static const char* const words[] = {"auto", "1", "2", "4"};
  return word(words, mode);
}

const char* interpolation_word(int value) {
  static const char* const words[] = {"frame", "linear"};
  return word(words, value);
}

const char* off_on_word(int value) {
  static const char* const words[] = {"off", "on"};
  return word(words, value);
}

const char* compress_node_word(int value) {
  static const char* const words[] = {"none", "cull", "merge", "unite", "unite_combine"};
  return word(words, value);
}

int frame_size(const ExportScene& scene) {
  return scene.end_frame - scene.start_frame + 1;
}

}  // namespace kavro::anim
