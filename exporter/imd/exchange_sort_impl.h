// Implementation of exchange_sort (declared in matrix_array.h).
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace kavro {

namespace detail {

// Maximum tree over the keys, answering "first position after p whose key is
// greater than v".
template <class Key>
class MaxTree {
 public:
  explicit MaxTree(const std::vector<Key>& keys) : n_(keys.size()) {
    size_ = 1;
    while (size_ < n_) size_ *= 2;
    tree_.assign(2 * size_, Key{});
    used_.assign(2 * size_, false);
    for (std::size_t i = 0; i < n_; ++i) set(i, keys[i]);
  }

  void set(std::size_t i, Key k) {
    std::size_t at = size_ + i;
    tree_[at] = k;
    used_[at] = true;
    while (at > 1) {
      at /= 2;
      pull(at);
    }
  }

  // First position >= from whose key is greater than v; n when none.
  std::size_t first_greater(std::size_t from, Key v) const {
    if (from >= n_) return n_;
    return find(1, 0, size_, from, v);
  }

 private:
  void pull(std::size_t at) {
    bool l = used_[2 * at], r = used_[2 * at + 1];
    used_[at] = l || r;
    if (l && r) {
      tree_[at] = tree_[2 * at] < tree_[2 * at + 1] ? tree_[2 * at + 1] : tree_[2 * at];
    } else {
      tree_[at] = l ? tree_[2 * at] : tree_[2 * at + 1];
    }
  }

  std::size_t find(std::size_t at, std::size_t lo, std::size_t hi, std::size_t from, Key v) const {
    if (hi <= from || !used_[at] || !(v < tree_[at])) return n_;
    if (hi - lo == 1) return lo;
    std::size_t mid = (lo + hi) / 2;
    std::size_t left = find(2 * at, lo, mid, from, v);
    if (left != n_) return left;
    return find(2 * at + 1, mid, hi, from, v);
  }

  std::size_t n_, size_;
  std::vector<Key> tree_;
  std::vector<bool> used_;
};

}  // namespace detail

template <class T, class KeyFn>
void exchange_sort(std::vector<T>& items, KeyFn key) {
  using Key = decltype(key(items[0]));
  std::size_t n = items.size();
  if (n < 2) return;
  std::vector<Key> keys;
  keys.reserve(n);
  for (const T& item : items) keys.push_back(key(item));
  detail::MaxTree<Key> tree(keys);
  std::vector<std::size_t> cycle;
  for (std::size_t p = 0; p + 1 < n; ++p) {
    // The positions where the pass swaps: each next key greater than the
    // running maximum held at p.
    cycle.assign(1, p);
    Key current = keys[p];
    std::size_t at = p + 1;
    for (;;) {
      std::size_t i = tree.first_greater(at, current);
      if (i >= n) break;
      cycle.push_back(i);
      current = keys[i];
      at = i + 1;
    }
    if (cycle.size() == 1) continue;
    // p takes the last maximum, every other position the item before it.
    std::size_t last = cycle.back();
    T moved = std::move(items[last]);
    Key moved_key = keys[last];
    for (std::size_t j = cycle.size() - 1; j >= 1; --j) {
      items[cycle[j]] = std::move(items[cycle[j - 1]]);
      keys[cycle[j]] = keys[cycle[j - 1]];
      tree.set(cycle[j], keys[cycle[j]]);
    }
    items[p] = std::move(moved);
    keys[p] = moved_key;
    tree.set(p, moved_key);
  }
}

}  // namespace kavro
