// A growable array of plain elements that takes one pointer in its holder:
// the size and the room are kept in the heap block in front of the elements,
// and an empty array has no block. A scene document's records hold many
// arrays that are mostly empty (a material has ten animation tracks, each
// with its keys), so they are a third smaller than with std::vector. The
// interface is the part of std::vector's those records use.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

namespace kavro::doc {

template <class T>
class CompactArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "elements are copied as bytes");

  struct Header {
    std::size_t size;
    std::size_t capacity;
  };
  static_assert(alignof(T) <= alignof(Header), "elements follow the header");

 public:
  using value_type = T;
  using size_type = std::size_t;
  using reference = T&;
  using const_reference = const T&;
  using iterator = T*;
  using const_iterator = const T*;

  CompactArray() = default;
  CompactArray(std::initializer_list<T> items) { assign(items.begin(), items.end()); }
  CompactArray(const CompactArray& other) { assign(other.begin(), other.end()); }
  CompactArray(CompactArray&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  CompactArray& operator=(const CompactArray& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  CompactArray& operator=(CompactArray&& other) noexcept {
    if (this != &other) {
      std::free(block_);
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  CompactArray& operator=(std::initializer_list<T> items) {
    assign(items.begin(), items.end());
    return *this;
  }
  ~CompactArray() { std::free(block_); }

  size_type size() const { return block_ != nullptr ? header()->size : 0; }
  size_type capacity() const { return block_ != nullptr ? header()->capacity : 0; }
  bool empty() const { return size() == 0; }

  T* data() { return block_ != nullptr ? items() : nullptr; }
  const T* data() const { return block_ != nullptr ? items() : nullptr; }
  T& operator[](size_type i) { return items()[i]; }
  const T& operator[](size_type i) const { return items()[i]; }
  T& front() { return items()[0]; }
  const T& front() const { return items()[0]; }
  T& back() { return items()[size() - 1]; }
  const T& back() const { return items()[size() - 1]; }
  iterator begin() { return data(); }
  iterator end() { return data() + size(); }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + size(); }

  void reserve(size_type n) {
    if (n > capacity()) reallocate(n);
  }
  void push_back(const T& item) {
    const T copy = item;  // `item` may be one of the elements moved by growing
    if (size() == capacity()) reallocate(capacity() == 0 ? 1 : 2 * capacity());
    new (items() + header()->size) T(copy);
    ++header()->size;
  }
  template <class... Args>
  T& emplace_back(Args&&... args) {
    push_back(T{std::forward<Args>(args)...});
    return back();
  }
  void clear() {
    if (block_ != nullptr) header()->size = 0;
  }

  friend bool operator==(const CompactArray& a, const CompactArray& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  Header* header() const { return static_cast<Header*>(block_); }
  T* items() const { return reinterpret_cast<T*>(static_cast<char*>(block_) + sizeof(Header)); }
  // Copies [first, last), which must not lie in this array.
  void assign(const T* first, const T* last) {
    const auto n = static_cast<size_type>(last - first);
    clear();
    if (n == 0) return;
    reserve(n);
    std::memcpy(static_cast<void*>(items()), first, n * sizeof(T));
    header()->size = n;
  }
  void reallocate(size_type room) {
    if (room > (static_cast<size_type>(-1) - sizeof(Header)) / sizeof(T)) throw std::bad_alloc();
    void* grown = std::realloc(block_, sizeof(Header) + room * sizeof(T));
    if (grown == nullptr) throw std::bad_alloc();
    if (block_ == nullptr) static_cast<Header*>(grown)->size = 0;
    block_ = grown;
    header()->capacity = room;
  }

  void* block_ = nullptr;
};

}  // namespace kavro::doc
