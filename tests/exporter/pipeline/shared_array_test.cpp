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

TEST(ArrayInterner, ManyArraysStayFoundAcrossTheTablesGrowth) {
  // Thousands of arrays, arriving filled and interned in turn, with values
  // that differ in one byte only and counts that differ by one: every array
  // equal to an earlier one shares it, every other one is new.
  ArrayInterner<ColorEntry> pool;
  std::vector<SharedArray<ColorEntry>> first;
  std::vector<std::pair<int, std::size_t>> made;  // value, count
  for (int round = 0; round < 2; ++round) {
    for (int v = 0; v < 1500; ++v) {
      const ColorEntry value{static_cast<std::uint8_t>(v % 256), static_cast<std::uint8_t>(v / 256),
                             0};
      const std::size_t count = 1 + static_cast<std::size_t>(v % 3);
      SharedArray<ColorEntry> a = (v + round) % 2 == 0
                                      ? pool.filled(count, value)
                                      : pool.intern(std::vector<ColorEntry>(count, value));
      ASSERT_EQ(a, std::vector<ColorEntry>(count, value));
      if (round == 0) {
        for (const SharedArray<ColorEntry>& earlier : first) ASSERT_FALSE(a.shares_with(earlier));
        first.push_back(a);
      } else {
        ASSERT_TRUE(a.shares_with(first[static_cast<std::size_t>(v)])) << v;
        ASSERT_TRUE(pool.filled(count, value).shares_with(a)) << v;
      }
    }
  }
  // A longer array of the same value is another array.
  EXPECT_FALSE(pool.filled(4, ColorEntry{0, 0, 0}).shares_with(first[0]));
}

}  // namespace
}  // namespace kavro
