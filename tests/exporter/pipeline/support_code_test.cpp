// Math, text and file helpers that every writer relies on.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

#include "exporter/pipeline/format.h"
#include "exporter/pipeline/math.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"
#include "host/clock.h"
#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

std::string f6(float v) {
  char b[64];
  std::snprintf(b, sizeof b, "%f", static_cast<double>(v));
  return b;
}

TEST(Round4096, TiesAwayFromZeroAndNeverNegativeZero) {
  EXPECT_EQ(f6(round4096(0.1)), "0.100098");  // 409.6 -> 410
  EXPECT_EQ(f6(round4096(-0.1)), "-0.100098");
  EXPECT_EQ(round4096(0.5 / 4096), 1.0f / 4096);  // a tie goes away from zero
  EXPECT_EQ(round4096(-0.5 / 4096), -1.0f / 4096);
  EXPECT_EQ(f6(round4096(-0.00001)), "0.000000");  // not "-0.000000"
  EXPECT_FALSE(std::signbit(round4096(-0.0001)));
  EXPECT_EQ(round4096(7.99995), 8.0f);
}

// The rounding truncates through an integer where that is exact: it must
// give what truncating in floating point gives, bit for bit, on ties of both
// signs, zeros, tiny and huge values, both sides of 2^52 and 2^63 (scaled),
// infinities, NaN and random doubles and floats.
TEST(Round4096, EqualsTruncatingInFloatingPoint) {
  auto plain = [](double v) {
    double scaled = v * 4096.0;
    double t = std::trunc(v > 0 ? scaled + 0.5 : scaled - 0.5);
    if (t == 0.0) return 0.0f;
    return static_cast<float>(t / 4096.0);
  };
  // Raw bits: the sign of a NaN shows when it is printed.
  auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
  std::vector<double> values = {0.0,
                                -0.0,
                                1e-300,
                                -4.9e-324,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::nan(""),
                                3.4e38,
                                -3.5e38,
                                1e300};
  for (int e = 40; e <= 66; ++e) {
    for (double d : {-1.0, -0.5, 0.0, 0.5, 1.0}) {
      const double scaled = std::ldexp(1.0, e) + d;
      values.push_back(scaled / 4096);
      values.push_back(-scaled / 4096);
      values.push_back(std::nextafter(scaled, 0.0) / 4096);
    }
  }
  for (int k = -5000; k <= 5000; ++k) {
    values.push_back((k + 0.5) / 4096);  // ties
    values.push_back(std::nextafter((k + 0.5) / 4096, 0.0));
    values.push_back(k / 4096.0);
  }
  std::mt19937_64 rng(2);
  for (int i = 0; i < 200000; ++i) {
    values.push_back(std::uniform_real_distribution<double>(-1e6, 1e6)(rng));
    values.push_back(std::bit_cast<double>(rng()));
    values.push_back(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(rng()))));
  }
  for (double v : values) ASSERT_EQ(bits(round4096(v)), bits(plain(v))) << v;
}

TEST(Matrices, LocalMatrixOrderIsTranslateRotateScale) {
  Mat4 m = local_matrix({2, 2, 2}, {0, 0, 90}, {1, 0, 0});
  Vec3 p = transform_point(m, {1, 0, 0});  // scaled to 2, turned onto +y, moved by x 1
  EXPECT_NEAR(p.x, 1.0f, 1e-5);
  EXPECT_NEAR(p.y, 2.0f, 1e-5);
  EXPECT_NEAR(p.z, 0.0f, 1e-5);
  Mat4 inv = inverse(m);
  Vec3 back = transform_point(inv, p);
  EXPECT_NEAR(back.x, 1.0f, 1e-5);
  EXPECT_NEAR(back.y, 0.0f, 1e-5);
}

TEST(Matrices, DecomposeRecoversScaleRotationAndTranslation) {
  Decomposed d = decompose(local_matrix({1, 2, 3}, {10, 20, 30}, {4, 5, 6}));
  EXPECT_NEAR(d.scale.x, 1, 1e-5);
  EXPECT_NEAR(d.scale.y, 2, 1e-5);
  EXPECT_NEAR(d.scale.z, 3, 1e-5);
  EXPECT_NEAR(d.rotate.x, 10, 1e-3);
  EXPECT_NEAR(d.rotate.y, 20, 1e-3);
  EXPECT_NEAR(d.rotate.z, 30, 1e-3);
  EXPECT_EQ(d.translate, (Vec3{4, 5, 6}));
}

TEST(Matrices, DecomposeShowsAMirrorAsNegativeZScaleAndZeroesTinyAngles) {
  // Mirrored in x: the triple product is negative, so the Z scale turns negative.
  Decomposed d = decompose(scale_matrix({-1, 1, 1}));
  EXPECT_EQ(d.scale.x, 1.0f);
  EXPECT_EQ(d.scale.z, -1.0f);
  // Rebuilding from the parts gives the same matrix back.
  Mat4 again = local_matrix(d.scale, d.rotate, d.translate);
  Mat4 original = scale_matrix({-1, 1, 1});
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(again.m[i], original.m[i], 1e-5) << i;
  Decomposed plain = decompose(Mat4::identity());
  EXPECT_EQ(plain.rotate, (Vec3{0, 0, 0}));
  EXPECT_FALSE(std::signbit(plain.rotate.x));
}

TEST(Matrices, DecomposeAtGimbalLock) {
  Decomposed d = decompose(rotation_matrix({30, 90, 0}));
  EXPECT_NEAR(d.rotate.y, 90.0f, 1e-3);
  EXPECT_EQ(d.rotate.z, 0.0f);
  Mat4 again = rotation_matrix(d.rotate);
  Mat4 original = rotation_matrix({30, 90, 0});
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(again.m[i], original.m[i], 1e-4) << i;
}

// Lengths and unit vectors of vectors whose squares overflow single
// precision are still right; ordinary ones are computed as before.
TEST(VectorMath, LengthAndNormalizeSurviveHugeVectors) {
  EXPECT_FLOAT_EQ(length({3e20f, 4e20f, 0}), 5e20f);
  EXPECT_FLOAT_EQ(length({0, -3e30f, 4e30f}), 5e30f);
  Vec3 n = normalize({0, 2e30f, 0});
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_FLOAT_EQ(n.y, 1.0f);
  EXPECT_EQ(n.z, 0.0f);
  n = normalize({-1e38f, 1e38f, 0});
  EXPECT_FLOAT_EQ(n.x, -0.70710678f);
  EXPECT_FLOAT_EQ(n.y, 0.70710678f);
  EXPECT_EQ(length({3, 4, 0}), 5.0f);
  EXPECT_EQ(normalize(Vec3{}), Vec3{});
}

TEST(Text, NameRuleAndImageName) {
  EXPECT_EQ(sanitize_name("Box 01"), "Box_01");
  EXPECT_EQ(sanitize_name("a-b.c"), "a_b_c");
  EXPECT_EQ(sanitize_name("\x83\x5c"
                          "x"),
            "__x");  // both bytes of a two-byte character
  EXPECT_EQ(image_name("C:\\maps\\wall-01.tga"), "wall_01");
  EXPECT_EQ(image_name("/maps/skin.bmp"), "skin");
  EXPECT_EQ(image_name("abc"), "");
}

// Shift_JIS: "\x83\x67" is the kana "to" (its second byte is "g"), "\x95\x5C"
// a kanji whose second byte is "\\", "\xB1" the half-width kana "a".
TEST(Text, NameRuleTakesATwoByteCharacterWhole) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"\x83\x67", "__"},  // never "_g"
      {"\x95\x5C", "__"},  // never "_\\" or half a name
      {"\xB1", "_"},       // half-width kana: one byte, one "_"
      {"a\x83\x67"
       "b\x95\x5C"
       "c\xB1"
       "d",
       "a__b__c_d"},
      {"\x83\x40\x83\x7A", "____"},    // second bytes "@" and "z"
      {"ab\x83", "ab_"},               // a first byte the text cuts off
      {"\xE0\x41\xEF\x61_", "_____"},  // the second lead-byte range
      {"\xF0\x41", "_A"},              // 0xF0 starts no two-byte character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sanitize_name(c.name), c.expected) << c.name;
    EXPECT_EQ(sanitize_name(c.name).size(), std::string(c.name).size()) << c.name;
  }
  EXPECT_EQ(image_name("C:\\maps\\\x83\x67.tga"), "__");
  EXPECT_EQ(image_name("/maps/\x95\x5C.tga"), "__");
  EXPECT_EQ(image_name("C:\\\x95\x5C\\\xB1\x83\x67.bmp"), "___");
  // The last four characters, not bytes: no first byte is left behind.
  EXPECT_EQ(drop_last_four("a\x83\x67xyz"), "a");
  EXPECT_EQ(drop_last_four("ab\x83\x67.tga"), "ab\x83\x67");
  EXPECT_EQ(drop_last_four("\x83\x67\x83\x67\x83\x67\x83\x67"), "");
  EXPECT_EQ(image_name("a\x83\x67xyz"), "a");
}

TEST(Text, SlashFormLeavesTheSecondByteOfTwoByteCharactersAlone) {
  // 0x95 0x5C is one Shift_JIS character whose second byte looks like "\".
  std::string path = "C:\\a\\\x95\x5c\\b";
  EXPECT_EQ(slash_form(path), "C:/a/\x95\x5c/b");
  EXPECT_EQ(file_name_of(path), "b");
  EXPECT_EQ(folder_of("C:\\a\\\x95\x5c"), "C:\\a");
  EXPECT_EQ(file_name_of("C:\\a\\\x95\x5c"), "\x95\x5c");
  EXPECT_EQ(folder_of("robot.imd"), "");
  EXPECT_EQ(file_name_of("out/robot.imd"), "robot.imd");
}

TEST(Text, XmlEscape) {
  EXPECT_EQ(xml_escape("a&b<c>\"d'"), "a&amp;b&lt;c&gt;&quot;d'");
}

// The formatter's two paths: pieces that fit its stack buffer and pieces
// longer than it, appended after what the string holds.
TEST(Format, ShortAndLongPiecesAppendWhole) {
  std::string text = "x=";
  append_format(text, "%d %.3f %s", -7, 0.5, "ok");
  EXPECT_EQ(text, "x=-7 0.500 ok");
  const std::string long_name(300, 'n');
  std::string long_text = "<";
  append_format(long_text, "%s|%05d", long_name.c_str(), 42);
  EXPECT_EQ(long_text, "<" + long_name + "|00042");
  EXPECT_EQ(format("%s", ""), "");
  EXPECT_EQ(format("%-4s|%4.1f", "ab", 2.25), "ab  | 2.2");  // 2.25 rounds to even
}

// Numbers go through std::to_chars: the bytes must be the C library's for
// every value the files hold. Hand-picked cases (ties of the binary value,
// negative zero, values just below a carry, large and tiny ones), then
// random floats and doubles of every size against snprintf.
std::string c_library(const char* fmt, double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

namespace {
bool plain(std::string& out, bool& non_finite, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const bool done = append_plain_format_v(out, fmt, args, non_finite);
  va_end(args);
  return done;
}
}  // namespace

// Plain forms are formatted and their non-finite numbers told; any other
// form is left to the general formatter with nothing appended.
TEST(Format, PlainFormsTellNonFiniteNumbersAndRefuseOthers) {
  std::string out = "<";
  bool non_finite = false;
  EXPECT_TRUE(plain(out, non_finite, "%d %s %.3f %x%%", -7, "a", 1.25, 255u));
  EXPECT_EQ(out, "<-7 a 1.250 ff%");
  EXPECT_FALSE(non_finite);
  EXPECT_TRUE(plain(out, non_finite, " %f", -std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(non_finite);
  EXPECT_EQ(out, "<-7 a 1.250 ff% -inf");

  out = "<";
  non_finite = false;
  EXPECT_FALSE(plain(out, non_finite, "%d %5d", 1, 2));  // a width: not plain
  EXPECT_FALSE(plain(out, non_finite, "%s %g", "x", 0.5));
  EXPECT_EQ(out, "<");
  append_format(out, "%d %5d", 1, 2);
  EXPECT_EQ(out, "<1     2");
}

TEST(Format, NumbersAreThoseOfTheCLibrary) {
  // 2^-7 = 0.0078125 and 3/128 = 0.0234375 are ties at the seventh
  // decimal: the C library rounds them to even (0.007812, 0.023438).
  EXPECT_EQ(format("%f", 0.0078125), "0.007812");
  EXPECT_EQ(format("%f", 0.0234375), "0.023438");
  EXPECT_EQ(format("%.1f", 0.25), "0.2");
  EXPECT_EQ(format("%.1f", 0.75), "0.8");
  EXPECT_EQ(format("%f", -0.0), "-0.000000");
  EXPECT_EQ(format("%f", -1e-9), "-0.000000");
  EXPECT_EQ(format("%f", 0.9999995), c_library("%f", 0.9999995));
  EXPECT_EQ(format("%.6f %.4f|%d|%.2d|%.4x|%.8x|%u|%%|%s", 1.5, 2.0 / 3.0, -12, 7, 0xabcu,
                   0xdeadbeefu, 42u, "txt"),
            "1.500000 0.6667|-12|07|0abc|deadbeef|42|%|txt");
  EXPECT_EQ(format("%.2d %.0d|%d", 123, 0, 0), "123 |0");

  const double fixed[] = {0.0,     -0.0,   0.5,       1.0 / 3.0,    4095.0 / 4096.0, -7.99999,
                          1e15,    -1e300, 1e-310,    3.4028235e38, 123456.789,      2.5e-7,
                          -2.5e-7, 0.1,    0.0000005, 1.0000005,    999999.9999995};
  for (double v : fixed) {
    for (const char* f : {"%f", "%.1f", "%.4f", "%.6f"}) {
      char expected[512];
      std::snprintf(expected, sizeof expected, f, v);
      char got[64];
      std::string text;
      append_format(text, f, v);
      std::snprintf(got, sizeof got, "%s", f);
      ASSERT_EQ(text, expected) << got << " of " << v;
    }
  }
  // Multiples of 1/4096 and their halves (the files' fixed-point values,
  // and ties at every precision), then random bit patterns.
  for (int k = -300000; k <= 300000; k += 7) {
    const double v = k / 8192.0;
    ASSERT_EQ(format("%f", v), c_library("%f", v)) << v;
    ASSERT_EQ(format("%.1f", v), c_library("%.1f", v)) << v;
  }
  std::mt19937_64 rng(8);
  for (int i = 0; i < 100000; ++i) {
    const std::uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    float f;
    const std::uint32_t fbits = static_cast<std::uint32_t>(bits >> 32);
    std::memcpy(&f, &fbits, sizeof f);
    for (double v : {d, static_cast<double>(f), std::ldexp(static_cast<double>(bits >> 11), -40)}) {
      ASSERT_EQ(format("%f", v), c_library("%f", v)) << bits;
    }
    const int n = static_cast<int>(bits);
    ASSERT_EQ(format("%d %.2d %.8x", n, n, static_cast<unsigned>(n)), [&] {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%d %.2d %.8x", n, n, static_cast<unsigned>(n));
      return std::string(buf);
    }());
  }
}

TEST(OutputFileTest, CommitWritesCrLfAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  OutputFile out;
  ASSERT_TRUE(out.open(dir.file("a.imd")));
  out.write("one\ntwo\n");
  out.printf("%d-%s\n", 3, "x");
  out.printf("%s\n%s\n", std::string(300, 'a').c_str(), "b");  // longer than a short piece
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(test::read_file(dir.file("a.imd")),
            "one\r\ntwo\r\n3-x\r\n" + std::string(300, 'a') + "\r\nb\r\n");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

// Text far beyond what the file holds in memory goes out whole and in order;
// until the commit only the temporary file holds it. The buffer keeps the room
// it got at open: short lines never make it grow (and copy itself).
TEST(OutputFileTest, LongTextsAreWrittenWhole) {
  test::TempDir dir;
  OutputFile out;
  ASSERT_TRUE(out.open(dir.file("long.imd")));
  const std::size_t room = out.text().capacity();
  std::size_t largest = room;
  std::string expected;
  for (int i = 0; i < 300000; ++i) {
    out.printf("\t%d %s\n", i, "line");
    expected += "\t" + std::to_string(i) + " line\r\n";
    largest = std::max(largest, out.text().capacity());
  }
  EXPECT_EQ(largest, room);
  out.write("end");
  expected += "end";
  EXPECT_LT(out.text().size(), expected.size());
  EXPECT_FALSE(std::filesystem::exists(dir.file("long.imd")));
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(test::read_file(dir.file("long.imd")), expected);
}

TEST(OutputFileTest, AFileNeverCommittedLeavesNothingAndKeepsTheOldOne) {
  test::TempDir dir;
  test::write_file(dir.file("a.imd"), "old");
  {
    OutputFile out;
    ASSERT_TRUE(out.open(dir.file("a.imd")));
    out.write("half of a new file");
  }
  EXPECT_EQ(test::read_file(dir.file("a.imd")), "old");
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  OutputFile missing;
  EXPECT_FALSE(missing.open(dir.file("no/such/folder/a.imd")));
}

TEST(OutputFileTest, ReadOnlyTargetsAreWarnedAboutAndRefused) {
  test::TempDir dir;
  std::string path = dir.file("locked.imd");
  test::write_file(path, "keep");
  ::chmod(path.c_str(), 0444);
  host::RecordingHost h;
  ExportScene scene;
  scene.host_interface = &h;
  OutputFile out;
  EXPECT_FALSE(open_for_export(scene, out, path));
  ASSERT_EQ(scene.warnings().size(), 1u);
  EXPECT_EQ(scene.warnings()[0], "Warning: Can't write to read-only file. " + path);
  EXPECT_EQ(test::read_file(path), "keep");
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].text, "Can't write file " + path + ": the file is read-only");
}

// Each way a write can fail keeps the system's reason; nothing is left behind.
TEST(OutputFileTest, FailuresKeepTheSystemsReason) {
  test::TempDir dir;
  OutputFile missing;
  EXPECT_FALSE(missing.open(dir.file("no/such/folder/a.imd")));
  EXPECT_EQ(missing.error(), "No such file or directory");

  // The target is a folder: the rename at the end fails.
  std::filesystem::create_directories(dir.file("taken.imd"));
  OutputFile folder;
  ASSERT_TRUE(folder.open(dir.file("taken.imd")));
  folder.write("text\n");
  EXPECT_FALSE(folder.commit());
  EXPECT_EQ(folder.error(), "Is a directory");

  // A name longer than the file system allows.
  OutputFile too_long;
  bool opened = too_long.open(dir.file(std::string(300, 'n') + ".imd"));
  if (opened) {
    too_long.write("text\n");
    EXPECT_FALSE(too_long.commit());
  }
  EXPECT_EQ(too_long.error(), "File name too long");

  // A name that just fits is written, although "." + name + ".XXXXXX" would not fit.
  std::string longest = dir.file(std::string(251, 'm') + ".imd");
  OutputFile fits;
  ASSERT_TRUE(fits.open(longest)) << fits.error();
  fits.write("text\n");
  EXPECT_TRUE(fits.commit()) << fits.error();
  EXPECT_EQ(test::read_file(longest), "text\r\n");
  std::filesystem::remove(longest);
  std::filesystem::remove(dir.file("taken.imd"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A write that runs out of room (here a file size limit) is reported and
// the half-written temporary file is removed.
TEST(OutputFileTest, AWriteThatRunsOutOfRoomIsReported) {
  test::TempDir dir;
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  OutputFile out;
  bool opened = out.open(dir.file("big.imd"));
  out.write(std::string(5000, 'x'));
  bool committed = opened && out.commit();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  ASSERT_TRUE(opened);
  EXPECT_FALSE(committed);
  EXPECT_EQ(out.error(), "File too large");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// No file ever holds "inf" or "nan": a non-finite number given to printf
// makes the whole file fail.
TEST(OutputFileTest, ANonFiniteNumberIsNeverWritten) {
  test::TempDir dir;
  const double bad[] = {std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()};
  for (double value : bad) {
    OutputFile out;
    ASSERT_TRUE(out.open(dir.file("a.imd")));
    // Conversions of every kind before the number, so that the arguments
    // are walked as printf walks them.
    out.printf("%s %d %5.2f %.4x %c %ld %f\n", "name", 3, 1.5, 0xabcu, 'c', 7L, value);
    EXPECT_FALSE(out.commit()) << value;
    EXPECT_EQ(out.error(), "a number to be written is not finite") << value;
    EXPECT_FALSE(test::file_exists(dir.file("a.imd")));
  }
  // The same through the plain forms the files are written with.
  for (double value : bad) {
    OutputFile out;
    ASSERT_TRUE(out.open(dir.file("a.imd")));
    out.printf("%s %d %.3f %f\n", "name", 3, 1.5, value);
    EXPECT_FALSE(out.commit()) << value;
    EXPECT_FALSE(test::file_exists(dir.file("a.imd")));
  }
  // Finite numbers, "%%" and names that contain the letters pass.
  OutputFile out;
  ASSERT_TRUE(out.open(dir.file("a.imd")));
  out.printf("%s 100%% %*d %f %e %g\n", "infinite nano", 4, 2, 1e30, -2.5, 0.0);
  ASSERT_TRUE(out.commit()) << out.error();
  EXPECT_EQ(test::read_file(dir.file("a.imd")),
            "infinite nano 100%    2 1000000000000000019884624838656.000000 -2.500000e+00 0\r\n");
}

// Writers open and commit through the exporter's helpers, which show the
// failure with the path and the reason.
TEST(OutputFileTest, ExportHelpersShowThePathAndTheReason) {
  test::TempDir dir;
  host::RecordingHost h;
  ExportScene scene;
  scene.host_interface = &h;
  OutputFile out;
  std::string path = dir.file("missing/robot.imd");
  EXPECT_FALSE(open_for_export(scene, out, path));
  ASSERT_EQ(h.messages.size(), 1u);
  EXPECT_EQ(h.messages[0].text, "Can't write file " + path + ": No such file or directory");
  EXPECT_EQ(h.messages[0].caption, "Export Error");
  EXPECT_EQ(h.messages[0].icon, host::MessageIcon::kError);

  // A later file of the run names the ones already written.
  scene.written_files = {dir.file("robot.imd"), dir.file("robot.ica")};
  std::filesystem::create_directories(dir.file("robot.iva"));
  OutputFile second;
  ASSERT_TRUE(open_for_export(scene, second, dir.file("robot.iva")));
  EXPECT_FALSE(commit_export(scene, second));
  ASSERT_EQ(h.messages.size(), 2u);
  EXPECT_EQ(h.messages[1].text, "Can't write file " + dir.file("robot.iva") +
                                    ": Is a directory; already written: " + dir.file("robot.imd") +
                                    ", " + dir.file("robot.ica"));

  // A batch gets the same text as an error line of its log.
  h.set_batch_running(true);
  OutputFile third;
  EXPECT_FALSE(open_for_export(scene, third, path));
  ASSERT_EQ(h.batch_errors.size(), 1u);
  EXPECT_EQ(h.batch_errors[0].rfind("Can't write file " + path + ": No such file or directory", 0),
            0u);
}

TEST(Clock, SourceDateEpochFixesTheTimeInUtc) {
  ::setenv("SOURCE_DATE_EPOCH", "1243513496", 1);  // 2009-05-28 12:24:56 UTC
  host::LocalTime t = host::clock_now();
  ::unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(t.year, 2009);
  EXPECT_EQ(t.month, 5);
  EXPECT_EQ(t.day, 28);
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 24);
  EXPECT_EQ(t.second, 56);
}

}  // namespace
}  // namespace kavro
