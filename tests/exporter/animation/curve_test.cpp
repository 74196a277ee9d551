#include "exporter/animation/curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "exporter/pipeline/output_file.h"
#include "tests/support/support.h"

namespace kavro::anim {
namespace {

using Floats = std::vector<float>;
using Bytes = std::vector<std::uint8_t>;

ChannelRecord encode(const Floats& v, FrameStepMode mode, float tolerance, FloatPool& pool) {
  return encode_channel(std::span<const float>(v), mode, tolerance, pool);
}
ChannelRecord encode(const Bytes& v, FrameStepMode mode, int tolerance, ColorPool& pool) {
  return encode_channel(std::span<const std::uint8_t>(v), mode, tolerance, pool);
}

void expect_record(const ChannelRecord& r, int step, int size, int head) {
  EXPECT_EQ(r.frame_step, step);
  EXPECT_EQ(r.data_size, size);
  EXPECT_EQ(r.data_head, head);
}

// Samples equal to their frame number times ten, so a stored value names its frame.
Floats frames_times_ten(int n) {
  Floats v;
  for (int f = 0; f < n; ++f) v.push_back(static_cast<float>(10 * f));
  return v;
}

TEST(StoredSequence, TakesEveryStepFrameThenTheFramesAfterTheLastOne) {
  Floats five = frames_times_ten(5), six = frames_times_ten(6);
  EXPECT_EQ(stored_sequence(std::span<const float>(five), 2), (Floats{0, 20, 40}));
  EXPECT_EQ(stored_sequence(std::span<const float>(six), 2), (Floats{0, 20, 40, 50}));
  EXPECT_EQ(stored_sequence(std::span<const float>(six), 4), (Floats{0, 40, 50}));
  EXPECT_EQ(stored_sequence(std::span<const float>(five), 4), (Floats{0, 40}));
  EXPECT_EQ(stored_sequence(std::span<const float>(five), 1), five);
  EXPECT_EQ(stored_length(5, 2), 3);
  EXPECT_EQ(stored_length(6, 2), 4);
  EXPECT_EQ(stored_length(6, 4), 3);
  EXPECT_EQ(stored_length(1, 4), 1);
  EXPECT_EQ(stored_length(2, 4), 2);
  EXPECT_EQ(stored_length(0, 2), 0);
}

TEST(StepChoice, LinearRampIsStoredAsItsEndsWithStepFour) {
  FloatPool pool;
  ChannelRecord r = encode(Floats{0, 1, 2, 3, 4}, FrameStepMode::kAuto, 0.001f, pool);
  expect_record(r, 4, 2, 0);
  EXPECT_EQ(pool.values(), (Floats{0, 4}));
}

TEST(StepChoice, ToleranceZeroGivesStepOneButExactConstantsStayConstant) {
  FloatPool pool;
  expect_record(encode(Floats{0, 1, 2}, FrameStepMode::kAuto, 0.0f, pool), 1, 3, 0);
  // Inclusive constant test: exactly equal values are within a tolerance of 0.
  expect_record(encode(Floats{5, 5, 5}, FrameStepMode::kAuto, 0.0f, pool), 1, 1, 3);
  EXPECT_EQ(pool.values(), (Floats{0, 1, 2, 5}));
}

TEST(StepChoice, ShortChannelsPassEveryTrial) {
  // One or two frames: no frame is tested, so step 4 even with tolerance 0.
  EXPECT_EQ(choose_step(Floats{3}, FrameStepMode::kAuto, 0.0f), 4);
  EXPECT_EQ(choose_step(Floats{3, 7}, FrameStepMode::kAuto, 0.0f), 4);
  EXPECT_EQ(choose_step(Floats{3, 7, 9}, FrameStepMode::kAuto, 0.0f), 1);
}

TEST(StepChoice, StepTwoWhenOnlyEveryOtherFrameInterpolates) {
  // A tent peaking at frame 2: straight between even frames, not from 0 to 4.
  Floats v{0, 1, 2, 1, 0};
  EXPECT_TRUE(step_fits(v, 2, 0.001f));
  EXPECT_FALSE(step_fits(v, 4, 0.001f));
  FloatPool pool;
  expect_record(encode(v, FrameStepMode::kAuto, 0.001f, pool), 2, 3, 0);
  EXPECT_EQ(pool.values(), (Floats{0, 2, 0}));
}

TEST(StepChoice, FixedModesIgnoreTheCurve) {
  Floats jagged{0, 9, 0, 9, 0, 9};
  EXPECT_EQ(choose_step(jagged, FrameStepMode::kOne, 0.0f), 1);
  EXPECT_EQ(choose_step(jagged, FrameStepMode::kTwo, 0.0f), 2);
  EXPECT_EQ(choose_step(jagged, FrameStepMode::kFour, 0.0f), 4);
  FloatPool pool;
  // A ramp of six frames in mode "4": frames 0, 4, 5.
  expect_record(encode(Floats{0, 1, 2, 3, 4, 5}, FrameStepMode::kFour, 0.0f, pool), 4, 3, 0);
  EXPECT_EQ(pool.values(), (Floats{0, 4, 5}));
}

TEST(StepChoice, FloatTermsAreRoundedToSinglePrecision) {
  // (0.1f / 2) + (0.2f / 2) rounds to exactly 0.15f in single precision; the
  // unrounded sum lies about 3.7e-9 below it, above this tolerance.
  Floats v{0.1f, 0.15f, 0.2f};
  EXPECT_TRUE(step_fits(v, 2, 1e-9f));
  // The trial is strict: an exact fit does not pass a tolerance of 0.
  EXPECT_FALSE(step_fits(v, 2, 0.0f));
}

TEST(StepChoice, ColourTermsUseIntegerDivision) {
  // Frame 1 interpolates as 0/2 + 3/2 = 1 (not 1.5).
  EXPECT_TRUE(step_fits(Bytes{0, 1, 3}, 2, 1));
  EXPECT_FALSE(step_fits(Bytes{0, 2, 3}, 2, 1));
  ColorPool pool;
  expect_record(encode(Bytes{0, 1, 3}, FrameStepMode::kAuto, 1, pool), 4, 3, 0);
  expect_record(encode(Bytes{0, 2, 3}, FrameStepMode::kAuto, 1, pool), 1, 3, 3);
}

TEST(StepChoice, ColourToleranceIsTakenAsEightBits) {
  ColorPool pool;
  // 256 is 0 as an 8-bit value: a step of one moves the channel.
  expect_record(encode(Bytes{3, 4, 3}, FrameStepMode::kOne, 256, pool), 1, 3, 0);
  expect_record(encode(Bytes{3, 4, 3}, FrameStepMode::kOne, 1, pool), 1, 1, 0);
  expect_record(encode(Bytes{3, 3, 3}, FrameStepMode::kOne, 256, pool), 1, 1, 0);
}

TEST(ConstantTest, LooksOnlyAtTheStoredFrames) {
  FloatPool pool;
  // Step 2 stores frames 0, 2, 4, all 1; frame 1 is never compared.
  expect_record(encode(Floats{1, 7, 1, 1, 1}, FrameStepMode::kTwo, 0.0f, pool), 2, 1, 0);
  // Within the tolerance of the first value, inclusive.
  expect_record(encode(Floats{2, 2.5f, 1.5f}, FrameStepMode::kOne, 0.5f, pool), 1, 1, 1);
  EXPECT_EQ(pool.values(), (Floats{1, 2}));
}

TEST(Pool, IdenticalCurvesShareOneRun) {
  FloatPool pool;
  Floats curve{0, 1, 4, 9};
  expect_record(encode(curve, FrameStepMode::kOne, 0.0f, pool), 1, 4, 0);
  expect_record(encode(Floats{7, 8, 7, 8}, FrameStepMode::kOne, 0.0f, pool), 1, 4, 4);
  expect_record(encode(curve, FrameStepMode::kOne, 0.0f, pool), 1, 4, 0);
  EXPECT_EQ(pool.size(), 8);
}

TEST(Pool, ConstantValueIsFoundInsideAnotherRun) {
  FloatPool pool;
  encode(Floats{1, 2, 3}, FrameStepMode::kOne, 0.0f, pool);
  expect_record(encode(Floats{2, 2, 2}, FrameStepMode::kOne, 0.0f, pool), 1, 1, 1);
  EXPECT_EQ(pool.values(), (Floats{1, 2, 3}));
}

TEST(Pool, RunsMayOverlapButMustLieInsideThePool) {
  FloatPool pool;
  encode(Floats{1, 2, 3, 4}, FrameStepMode::kOne, 0.0f, pool);
  // 2, 3 starts inside the first run; 4, 5 would run past the end.
  expect_record(encode(Floats{2, 3}, FrameStepMode::kOne, 0.0f, pool), 1, 2, 1);
  expect_record(encode(Floats{4, 5}, FrameStepMode::kOne, 0.0f, pool), 1, 2, 4);
  EXPECT_EQ(pool.values(), (Floats{1, 2, 3, 4, 4, 5}));
  // Across the boundary of two runs: 3, 4, 4.
  expect_record(encode(Floats{3, 4, 4}, FrameStepMode::kOne, 0.0f, pool), 1, 3, 2);
}

TEST(Pool, EqualityIsNumericSoZeroMatchesNegativeZero) {
  for (bool indexed : {true, false}) {
    FloatPool pool(indexed);
    encode(Floats{0.0f, 1.0f}, FrameStepMode::kOne, 0.0f, pool);
    expect_record(encode(Floats{-0.0f}, FrameStepMode::kOne, 0.0f, pool), 1, 1, 0);
    expect_record(encode(Floats{-0.0f, 1.0f}, FrameStepMode::kOne, 0.0f, pool), 1, 2, 0);
    EXPECT_EQ(pool.size(), 2);
  }
}

TEST(Pool, NotANumberMatchesNothingAndDoesNotBreakTheSearch) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (bool indexed : {true, false}) {
    FloatPool pool(indexed);
    EXPECT_EQ(encode(Floats{nan}, FrameStepMode::kOne, 0.0f, pool).data_head, 0);
    EXPECT_EQ(encode(Floats{nan}, FrameStepMode::kOne, 0.0f, pool).data_head, 1);
    EXPECT_EQ(encode(Floats{1, nan, 2}, FrameStepMode::kOne, 0.0f, pool).data_head, 2);
    EXPECT_EQ(encode(Floats{2}, FrameStepMode::kOne, 0.0f, pool).data_head, 4);
    EXPECT_EQ(pool.size(), 5);
  }
}

TEST(Pool, ChannelWithoutFramesStoresNothing) {
  FloatPool pool;
  expect_record(encode(Floats{}, FrameStepMode::kAuto, 0.0f, pool), 1, 0, 0);
  EXPECT_EQ(pool.size(), 0);
}

// The indexed search must give the first position the plain scan gives.
// Writers reserve for every sample stored; a huge scene's worst case is room
// the pool never needs (and more than some machines can give), so reserving
// stops at a bound and the pool grows beyond it as values come.
TEST(Pool, ReservingTheWorstCaseOfAHugeSceneStopsAtABound) {
  ColorPool pool;
  EXPECT_NO_THROW(pool.reserve(std::size_t{1} << 40));
  EXPECT_LE(pool.values().capacity(), ColorPool::kMaxReserve);
  std::vector<std::uint8_t> run = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  EXPECT_EQ(pool.append(run.data(), 17), 0);
  EXPECT_EQ(pool.find(run.data() + 3, 12), 3);
}

TEST(Pool, IndexedSearchAgreesWithPlainScanOnRandomPools) {
  std::mt19937 rng(20090528);
  const float alphabet[] = {0.0f, -0.0f, 1.0f, 0.5f};
  for (int round = 0; round < 40; ++round) {
    FloatPool fast(true), plain(false);
    std::uniform_int_distribution<int> pick(0, 3), len(1, 40);
    for (int step = 0; step < 80; ++step) {
      Floats run(static_cast<std::size_t>(len(rng)));
      for (float& x : run) x = alphabet[pick(rng)];
      // Queries taken from the pool itself hit at their first occurrence.
      if (step % 3 == 0 && fast.size() > 0) {
        int at = std::uniform_int_distribution<int>(0, fast.size() - 1)(rng);
        int n = std::min<int>(static_cast<int>(run.size()), fast.size() - at);
        run.assign(fast.values().begin() + at, fast.values().begin() + at + n);
      }
      int len_i = static_cast<int>(run.size());
      int a = fast.find(run.data(), len_i);
      int b = plain.find(run.data(), len_i);
      ASSERT_EQ(a, b);
      ASSERT_EQ(a, plain_find(plain.values(), run.data(), len_i));
      if (a < 0 && step % 2 == 0) {
        fast.append(run.data(), len_i);
        plain.append(run.data(), len_i);
      }
    }
  }
}

TEST(Pool, RarestGramSearchAgreesWithPlainScanOnSharedBeginnings) {
  // Long runs that begin alike (a stretch of zeros, then a rest value) and
  // end differently, so that the grams of their beginnings are common and
  // those of their ends rare; runs are asked for whole, from inside, and
  // with one value changed at a random place.
  std::mt19937 rng(1606);
  for (int round = 0; round < 20; ++round) {
    FloatPool fast(true), plain(false);
    for (int step = 0; step < 60; ++step) {
      const int idle = static_cast<int>(rng() % 120), tail = 1 + static_cast<int>(rng() % 30);
      Floats run(static_cast<std::size_t>(idle), 0.0f);
      run.insert(run.end(), 5, 1.0f);
      for (int k = 0; k < tail; ++k) run.push_back(static_cast<float>(rng() % 4) * 0.5f);
      if (step % 4 == 1 && run.size() > 20) run.erase(run.begin(), run.begin() + 7);
      if (step % 5 == 2) run[rng() % run.size()] = 0.5f;
      const int n = static_cast<int>(run.size());
      const int a = fast.find(run.data(), n);
      ASSERT_EQ(a, plain.find(run.data(), n)) << "round " << round << " step " << step;
      if (a < 0) {
        fast.append(run.data(), n);
        plain.append(run.data(), n);
      }
    }
  }
}

TEST(Pool, IndexedEncodingAgreesWithPlainEncodingOnRandomChannels) {
  std::mt19937 rng(4096);
  for (FrameStepMode mode :
       {FrameStepMode::kAuto, FrameStepMode::kOne, FrameStepMode::kTwo, FrameStepMode::kFour}) {
    FloatPool fast_f(true), plain_f(false);
    ColorPool fast_c(true), plain_c(false);
    for (int channel = 0; channel < 200; ++channel) {
      int n = 1 + static_cast<int>(rng() % 60);
      Floats f(static_cast<std::size_t>(n));
      Bytes c(static_cast<std::size_t>(n));
      int shape = static_cast<int>(rng() % 3);
      for (int i = 0; i < n; ++i) {
        // Constants, ramps and noise over a small alphabet, so runs repeat.
        int v = shape == 0 ? 2 : shape == 1 ? i : static_cast<int>(rng() % 3);
        f[i] = static_cast<float>(v) * 0.25f;
        c[i] = static_cast<std::uint8_t>(v);
      }
      ChannelRecord a = encode(f, mode, 0.01f, fast_f), b = encode(f, mode, 0.01f, plain_f);
      ASSERT_EQ(a.data_head, b.data_head);
      ASSERT_EQ(a.data_size, b.data_size);
      ASSERT_EQ(a.frame_step, b.frame_step);
      ChannelRecord x = encode(c, mode, 0, fast_c), y = encode(c, mode, 0, plain_c);
      ASSERT_EQ(x.data_head, y.data_head);
      ASSERT_EQ(x.data_size, y.data_size);
    }
    EXPECT_EQ(fast_f.values(), plain_f.values());
    EXPECT_EQ(fast_c.values(), plain_c.values());
  }
}

TEST(PoolText, TenValuesALineEachFollowedByABlank) {
  OutputFile out;
  Floats v;
  for (int i = 0; i < 12; ++i) v.push_back(static_cast<float>(i) * 0.5f);
  write_pool(out, "node_scale_data", v);
  EXPECT_EQ(test::lf(out.text()),
            "\n<node_scale_data size=\"12\">"
            "\n\t0.000000 0.500000 1.000000 1.500000 2.000000 2.500000 3.000000 3.500000 "
            "4.000000 4.500000 "
            "\n\t5.000000 5.500000 "
            "\n</node_scale_data>\n");
  OutputFile colours;
  write_pool(colours, "mat_color_data", Bytes{0, 31, 7});
  EXPECT_EQ(test::lf(colours.text()),
            "\n<mat_color_data size=\"3\">\n\t0 31 7 \n</mat_color_data>\n");
}

// The bytes as written, line ends included: a full row, then a row of one;
// negative zero keeps its sign and 2^-7 rounds its tie to even.
TEST(PoolText, RowsEndInCrLfAndNumbersAreThoseOfPrintf) {
  OutputFile out;
  Floats v;
  for (int i = 0; i < 11; ++i) v.push_back(static_cast<float>(i) * -0.25f);
  write_pool(out, "node_rotate_data", v);
  write_pool(out, "node_scale_data", Floats{0.0078125f, 1.0f / 3.0f});
  EXPECT_EQ(out.text(),
            "\r\n<node_rotate_data size=\"11\">"
            "\r\n\t-0.000000 -0.250000 -0.500000 -0.750000 -1.000000 -1.250000 -1.500000 "
            "-1.750000 -2.000000 -2.250000 "
            "\r\n\t-2.500000 "
            "\r\n</node_rotate_data>\r\n"
            "\r\n<node_scale_data size=\"2\">\r\n\t0.007812 0.333333 \r\n</node_scale_data>\r\n");
}

TEST(PoolText, EmptyPoolIsStillAnElement) {
  OutputFile out;
  write_pool(out, "node_rotate_data", Floats{});
  EXPECT_EQ(test::lf(out.text()), "\n<node_rotate_data size=\"0\">\n</node_rotate_data>\n");
}

TEST(PoolText, ChannelLineWritesStepOneBelowTwoValues) {
  OutputFile out;
  write_channel_line(out, "scale_x", ChannelRecord{4, 1, 7});
  write_channel_line(out, "scale_y", ChannelRecord{4, 0, 0});
  write_channel_line(out, "scale_z", ChannelRecord{4, 2, 7});
  EXPECT_EQ(test::lf(out.text()),
            "\t\t<scale_x frame_step=\"1\" data_size=\"1\" data_head=\"7\"/>\n"
            "\t\t<scale_y frame_step=\"1\" data_size=\"0\" data_head=\"0\"/>\n"
            "\t\t<scale_z frame_step=\"4\" data_size=\"2\" data_head=\"7\"/>\n");
}

}  // namespace
}  // namespace kavro::anim
