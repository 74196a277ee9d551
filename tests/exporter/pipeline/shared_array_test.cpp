#include "exporter/pipeline/shared_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro {
namespace {

TEST(SharedArray, ReadsLikeAConstVector) {
  const SharedArray<int> none;
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.size(), 0u);
  EXPECT_EQ(none.data(), nullptr);
  EXPECT_EQ(none.begin(), none.end());
  EXPECT_EQ(none.identity(), nullptr);

  const SharedArray<int> three = std::vector<int>{4, 5, 6};
  EXPECT_EQ(three.size(), 3u);
  EXPECT_EQ(three[1], 5);
  EXPECT_EQ(three.front(), 4);
  EXPECT_EQ(three.back(), 6);
  EXPECT_EQ(three.data()[2], 6);
  EXPECT_EQ(std::accumulate(three.begin(), three.end(), 0), 15);
  EXPECT_EQ(three, (std::vector<int>{4, 5, 6}));
  // An empty vector holds nothing to share.
  SharedArray<int> emptied = three;
  emptied = std::vector<int>{};
  EXPECT_EQ(emptied.identity(), nullptr);
  EXPECT_EQ(three.size(), 3u);
}

TEST(SharedArray, CopiesShareUntilOneOfThemEdits) {
  SharedArray<int> a = {1, 2, 3};
  SharedArray<int> b = a;
  SharedArray<int> c = a;
  EXPECT_TRUE(b.shares_with(a));
  EXPECT_EQ(b.data(), a.data());  // no elements copied

  b.edit()[0] = 9;
  EXPECT_FALSE(b.shares_with(a));
  EXPECT_EQ(a, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(c, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(b, (std::vector<int>{9, 2, 3}));
  EXPECT_TRUE(c.shares_with(a));

  // Growing one holder leaves the others' size alone.
  c.edit().push_back(4);
  EXPECT_EQ(a.size(), 3u);
  EXPECT_EQ(c.size(), 4u);

  // The last holder edits in place: nothing is copied.
  const int* before = a.data();
  a.edit()[2] = 7;
  EXPECT_EQ(a.data(), before);
  EXPECT_EQ(a, (std::vector<int>{1, 2, 7}));
}

TEST(SharedArray, AssigningOrClearingChangesOneHolder) {
  SharedArray<int> a = {1, 2};
  SharedArray<int> b = a;
  b = std::vector<int>{5};
  EXPECT_EQ(a, (std::vector<int>{1, 2}));
  EXPECT_EQ(b, (std::vector<int>{5}));

  b = a;
  b.clear();
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(a, (std::vector<int>{1, 2}));

  // An empty holder edits an array of its own.
  b.edit().push_back(3);
  EXPECT_EQ(b, (std::vector<int>{3}));
  EXPECT_EQ(a.size(), 2u);
  EXPECT_NE(b.identity(), a.identity());
}

TEST(ArrayInterner, EqualContentsShareOneArray) {
  ArrayInterner<std::uint8_t> pool;
  SharedArray<std::uint8_t> a = pool.intern({1, 2, 3});
  SharedArray<std::uint8_t> b = pool.intern({1, 2, 3});
  SharedArray<std::uint8_t> c = pool.intern({1, 2, 4});
  SharedArray<std::uint8_t> d = pool.intern({1, 2});
  EXPECT_TRUE(b.shares_with(a));
  EXPECT_FALSE(c.shares_with(a));
  EXPECT_FALSE(d.shares_with(a));
  EXPECT_EQ(c, (std::vector<std::uint8_t>{1, 2, 4}));
  EXPECT_EQ(d, (std::vector<std::uint8_t>{1, 2}));
  EXPECT_TRUE(pool.intern({}).empty());

  // An interned array is still copied on its holder's edit.
  b.edit()[0] = 9;
  EXPECT_EQ(a, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_TRUE(pool.intern({1, 2, 3}).shares_with(a));
}

TEST(ArrayInterner, FilledArraysAreTheInternedOnes) {
  ArrayInterner<ColorEntry> pool;
  const ColorEntry red{255, 0, 0}, blue{0, 0, 255};
  SharedArray<ColorEntry> interned = pool.intern(std::vector<ColorEntry>(3, red));
  SharedArray<ColorEntry> filled = pool.filled(3, red);
  EXPECT_TRUE(filled.shares_with(interned));
  EXPECT_TRUE(pool.filled(3, red).shares_with(interned));
  // Another count or value is another array.
  SharedArray<ColorEntry> longer = pool.filled(4, red);
  SharedArray<ColorEntry> other = pool.filled(3, blue);
  EXPECT_EQ(longer, std::vector<ColorEntry>(4, red));
  EXPECT_EQ(other, std::vector<ColorEntry>(3, blue));
  EXPECT_FALSE(longer.shares_with(interned));
  EXPECT_FALSE(other.shares_with(interned));
  // Filled first, interned later: still one array.
  EXPECT_TRUE(pool.intern(std::vector<ColorEntry>(3, blue)).shares_with(other));
  EXPECT_TRUE(pool.filled(0, red).empty());
}

}  // namespace
}  // namespace kavro
