// An array several records can hold at once: the polygon sets a mesh node is
// split into by material all hold the node's whole vertex arrays, and copying
// those per set costs memory in proportion to sets times vertices.
//
// Reading looks like reading a const std::vector. Changing goes through
// edit(), which first copies the elements when another holder shares them,
// so a change to one holder never shows in another. Assigning a vector
// replaces this holder's array alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace kavro {

template <class T>
class SharedArray {
 public:
  using value_type = T;
  using size_type = std::size_t;
  using const_reference = const T&;
  using const_iterator = typename std::vector<T>::const_iterator;
  using iterator = const_iterator;

  SharedArray() = default;
  SharedArray(std::vector<T> items) { *this = std::move(items); }  // NOLINT: implicit on purpose
  SharedArray(std::initializer_list<T> items) { *this = items; }

  SharedArray& operator=(std::vector<T> items) {
    if (items.empty()) {
      items_.reset();
    } else {
      items_ = std::make_shared<std::vector<T>>(std::move(items));
    }
    return *this;
  }
  SharedArray& operator=(std::initializer_list<T> items) {
    if (items.size() == 0) {
      items_.reset();
    } else {
      items_ = std::make_shared<std::vector<T>>(items);
    }
    return *this;
  }

  // The read side of std::vector.
  size_type size() const { return items_ ? items_->size() : 0; }
  bool empty() const { return size() == 0; }
  const T& operator[](size_type i) const { return (*items_)[i]; }
  const T& front() const { return items_->front(); }
  const T& back() const { return items_->back(); }
  const T* data() const { return items_ ? items_->data() : nullptr; }
  const_iterator begin() const { return vector().begin(); }
  const_iterator end() const { return vector().end(); }
  // The elements as a vector, for code that takes one.
  const std::vector<T>& vector() const { return items_ ? *items_ : empty_vector(); }
  operator const std::vector<T>&() const { return vector(); }  // NOLINT: implicit on purpose

  // The elements to change in place; copied first when shared.
  std::vector<T>& edit() {
    if (!items_) {
      items_ = std::make_shared<std::vector<T>>();
    } else if (items_.use_count() > 1) {
      items_ = std::make_shared<std::vector<T>>(*items_);
    }
    return *items_;
  }
  // Lets go of the elements (the other holders keep theirs).
  void clear() { items_.reset(); }

  // True when both hold the same elements (not merely equal ones).
  bool shares_with(const SharedArray& other) const { return items_ && items_ == other.items_; }
  // One address per array held, null for an empty one: a key for doing
  // work once per array rather than once per holder.
  const void* identity() const { return items_.get(); }

  friend bool operator==(const SharedArray& a, const SharedArray& b) {
    return a.vector() == b.vector();
  }
  friend bool operator==(const SharedArray& a, const std::vector<T>& b) { return a.vector() == b; }

 private:
  static const std::vector<T>& empty_vector() {
    static const std::vector<T> none;
    return none;
  }

  std::shared_ptr<std::vector<T>> items_;
};

// Hands out one shared array per distinct content: arrays of equal elements
// given to intern() come back sharing one copy. For many records whose
// per-frame samples are mostly alike (ten thousand materials with the same
// ambient colour over a thousand frames). T's bytes are its value: no padding.
//
// Both lookups are open-addressing tables of positions into one list of the
// arrays held, so that a new array costs its own allocation and no table node.
template <class T>
class ArrayInterner {
 public:
  SharedArray<T> intern(std::vector<T> items) {
    if (items.empty()) return {};
    return held_[intern_position(std::move(items))];
  }

  // intern(std::vector<T>(count, value)), with the arrays of one value kept
  // apart: a thousand equal samples are then built and hashed once per value
  // and count, not once per material that holds them.
  SharedArray<T> filled(std::size_t count, const T& value) {
    static_assert(sizeof(T) <= sizeof(std::uint64_t));
    if (count == 0) return {};
    if (count > kMaxFillCount) return intern(std::vector<T>(count, value));
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(T));
    const FillSlot key{bits, static_cast<std::uint32_t>(count), kEmpty};
    const std::size_t hash = slot_hash(key);
    if (2 * (fill_count_ + 1) > fills_.size()) grow(fills_);
    const std::size_t mask = fills_.size() - 1;
    std::size_t at = (hash >> 16) & mask;
    for (; fills_[at].position != kEmpty; at = (at + 1) & mask) {
      const FillSlot& slot = fills_[at];
      if (slot.bits == key.bits && slot.count == key.count) return held_[slot.position];
    }
    const std::uint32_t position = intern_position(std::vector<T>(count, value));
    fills_[at] = FillSlot{bits, key.count, position};
    ++fill_count_;
    return held_[position];
  }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  struct ArraySlot {
    std::size_t hash = 0;
    std::uint32_t position = kEmpty;
  };
  // Sixteen bytes, so that a table of ten thousand values stays small: the
  // hash is computed again when the table grows.
  struct FillSlot {
    std::uint64_t bits = 0;
    std::uint32_t count = 0;
    std::uint32_t position = kEmpty;
  };
  static constexpr std::size_t kMaxFillCount = 0xFFFFFFFFu;
  static std::size_t slot_hash(const ArraySlot& slot) { return slot.hash; }
  static std::size_t slot_hash(const FillSlot& slot) {
    return std::hash<std::uint64_t>{}(slot.bits * 0x9E3779B97F4A7C15ull ^ slot.count) *
           0x9E3779B97F4A7C15ull;
  }

  // Doubles a table (at least 16 slots) and places its slots anew by hash.
  template <class Slot>
  static void grow(std::vector<Slot>& table) {
    std::vector<Slot> old = std::move(table);
    table.assign(old.empty() ? 16 : 2 * old.size(), Slot{});
    const std::size_t mask = table.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position == kEmpty) continue;
      std::size_t at = (slot_hash(slot) >> 16) & mask;
      while (table[at].position != kEmpty) at = (at + 1) & mask;
      table[at] = slot;
    }
  }

  // The position in held_ of the array equal to `items` (non-empty), added
  // when none is held yet.
  std::uint32_t intern_position(std::vector<T> items) {
    const std::size_t hash =
        std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(items.data()),
                                                       items.size() * sizeof(T))) *
        0x9E3779B97F4A7C15ull;
    if (2 * (held_.size() + 1) > arrays_.size()) grow(arrays_);
    const std::size_t mask = arrays_.size() - 1;
    std::size_t at = (hash >> 16) & mask;
    for (; arrays_[at].position != kEmpty; at = (at + 1) & mask) {
      const ArraySlot& slot = arrays_[at];
      if (slot.hash == hash && held_[slot.position].vector() == items) return slot.position;
    }
    const auto position = static_cast<std::uint32_t>(held_.size());
    held_.emplace_back(std::move(items));
    arrays_[at] = ArraySlot{hash, position};
    return position;
  }

  std::vector<SharedArray<T>> held_;  // every distinct array, in order of arrival
  std::vector<ArraySlot> arrays_;     // by content
  std::vector<FillSlot> fills_;       // by value and count
  std::size_t fill_count_ = 0;
};

}  // namespace kavro
