// CompactArray: the one-pointer array that holds a track's keys.
#include "host/compact_array.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/scene_document.h"

namespace kavro::doc {
namespace {

using Key = FloatTrack::Key;

std::vector<double> frames(const CompactArray<Key>& a) {
  std::vector<double> out;
  for (const Key& k : a) out.push_back(k.frame);
  return out;
}

TEST(CompactArray, ReadsAndGrowsLikeAVector) {
  EXPECT_EQ(sizeof(CompactArray<Key>), sizeof(void*));
  CompactArray<Key> a;
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.begin(), a.end());
  EXPECT_EQ(a.data(), nullptr);
  std::vector<Key> expected;
  for (int i = 0; i < 100; ++i) {
    a.push_back({i * 0.5, static_cast<float>(i * i)});
    expected.push_back({i * 0.5, static_cast<float>(i * i)});
  }
  ASSERT_EQ(a.size(), 100u);
  EXPECT_GE(a.capacity(), 100u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(a[i].frame, expected[i].frame);
    EXPECT_EQ(a[i].value, expected[i].value);
  }
  EXPECT_EQ(a.front().value, 0.0f);
  EXPECT_EQ(a.back().frame, 49.5);
  EXPECT_EQ(a.end() - a.begin(), 100);
  // Reserving keeps the elements; clearing keeps the room.
  a.reserve(1000);
  EXPECT_EQ(a.capacity(), 1000u);
  EXPECT_EQ(a[99].value, 9801.0f);
  a.clear();
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.capacity(), 1000u);
  a.emplace_back(2.0, 3.0f);
  EXPECT_EQ(frames(a), std::vector<double>{2.0});
}

// push_back of an element of the array itself, when that push moves the
// elements to a bigger block.
TEST(CompactArray, PushingItsOwnElementWhileItGrows) {
  CompactArray<Key> a;
  a.push_back({7, 1.5f});
  for (int i = 0; i < 9; ++i) {
    a.push_back(a.front());
    a.push_back(a.back());
  }
  ASSERT_EQ(a.size(), 19u);
  for (const Key& k : a) {
    EXPECT_EQ(k.frame, 7.0);
    EXPECT_EQ(k.value, 1.5f);
  }
}

TEST(CompactArray, CopiesAreIndependentAndMovesTakeTheBlock) {
  CompactArray<Key> a{{0, 1.0f}, {10, 2.0f}};
  CompactArray<Key> b = a;
  b[0].value = 5.0f;
  b.push_back({20, 3.0f});
  EXPECT_EQ(a[0].value, 1.0f);
  EXPECT_EQ(frames(a), (std::vector<double>{0, 10}));
  EXPECT_EQ(frames(b), (std::vector<double>{0, 10, 20}));

  const Key* block = b.data();
  CompactArray<Key> c = std::move(b);
  EXPECT_EQ(c.data(), block);
  EXPECT_TRUE(b.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
  a = std::move(c);
  EXPECT_EQ(frames(a), (std::vector<double>{0, 10, 20}));
  EXPECT_TRUE(c.empty());  // NOLINT(bugprone-use-after-move)

  CompactArray<Key>& same = a;
  a = same;
  EXPECT_EQ(frames(a), (std::vector<double>{0, 10, 20}));
  a = {{4, 4.0f}};
  EXPECT_EQ(frames(a), std::vector<double>{4});
  a = CompactArray<Key>{};
  EXPECT_TRUE(a.empty());

  CompactArray<int> x{1, 2, 3}, y{1, 2, 3}, z{1, 2};
  EXPECT_TRUE(x == y);
  EXPECT_FALSE(x == z);
  z.push_back(4);
  EXPECT_FALSE(x == z);
}

}  // namespace
}  // namespace kavro::doc
