// Lines built piece by piece on an OutputFile must hold the bytes the same
// line written with printf holds: numbers, line ends, the non-finite check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "exporter/pipeline/format.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/text.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

std::string c_fixed(double v, int precision) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", precision, v);
  return buf;
}

double from_bits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Values where a fixed-point writer goes wrong: ties of the binary value at
// each precision, negative zero and negative values that round to zero,
// carries into a new digit, the edges of the integer path (2^43 and its
// neighbours), subnormals, the largest finite values.
std::vector<double> edge_values() {
  std::vector<double> v = {0.0,
                           -0.0,
                           0.5,
                           1.5,
                           2.5,
                           -2.5,
                           0.25,
                           0.125,
                           0.0078125,
                           0.0234375,
                           -0.0078125,
                           0.9999995,
                           9.9999995,
                           999999.9999995,
                           -1e-9,
                           1e-7,
                           5e-7,
                           4095.0 / 4096.0,
                           1.0 / 3.0,
                           0.1,
                           123456.789,
                           std::ldexp(1.0, 43),
                           std::nextafter(std::ldexp(1.0, 43), 0.0),
                           -std::nextafter(std::ldexp(1.0, 43), 0.0),
                           std::ldexp(1.0, 42) + 0.5,
                           std::ldexp(1.0, 64),
                           1e15,
                           -1e300,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(),
                           1e-310,
                           3.4028234663852886e38};
  // Halves of the last decimal at every precision: k + 0.5 scaled by 2^-j
  // is exact, and a tie of "%.jf" for small j.
  for (int j = 0; j <= 8; ++j) {
    for (int k = -9; k <= 9; ++k) v.push_back(std::ldexp(k + 0.5, -j));
  }
  return v;
}

// The number writer against the C library at every precision, over edge
// values, multiples of 1/8192 (the files' fixed-point values and their
// halves) and random bit patterns of doubles, floats and scaled integers.
TEST(TextLine, FixedNumbersAreThoseOfTheCLibrary) {
  auto check = [](double v) {
    for (int p = 0; p <= 9; ++p) {
      std::string got;
      append_fixed(got, v, p);
      ASSERT_EQ(got, c_fixed(v, p)) << "%." << p << "f of " << v;
    }
  };
  for (double v : edge_values()) {
    check(v);
    check(-v);
  }
  for (int k = -200000; k <= 200000; k += 3) check(k / 8192.0);
  std::mt19937_64 rng(19);
  for (int i = 0; i < 40000; ++i) {
    const std::uint64_t bits = rng();
    const auto fbits = static_cast<std::uint32_t>(bits >> 32);
    float f;
    std::memcpy(&f, &fbits, sizeof f);
    const double scaled = std::ldexp(static_cast<double>(bits >> 11), -static_cast<int>(bits % 64));
    for (double v : {from_bits(bits), static_cast<double>(f), scaled}) {
      if (std::isfinite(v)) check(v);
    }
  }
}

// A line of every kind of piece equals the printf line of the same values.
TEST(TextLine, LinesEqualTheirPrintfForm) {
  std::mt19937_64 rng(7);
  std::vector<double> values = edge_values();
  for (int i = 0; i < 2000; ++i) values.push_back(from_bits(rng()));
  OutputFile built;
  OutputFile printed;
  int i = 0;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    const int n = static_cast<int>(rng());
    const auto u = static_cast<unsigned>(rng());
    const std::string name = "node_" + std::to_string(i++);
    built.line() << "\t\t<x i=\"" << n << "\" u=\"" << u << "\" name=\"" << name << "\" at=\"" << v
                 << " " << OutputFile::Line::Fixed{v, 2} << "\"/>\n";
    printed.printf("\t\t<x i=\"%d\" u=\"%u\" name=\"%s\" at=\"%f %.2f\"/>\n", n, u, name.c_str(), v,
                   v);
  }
  ASSERT_EQ(built.text(), printed.text());
}

// Lines longer than the room a line gathers on the stack: long strings,
// many numbers, literals with line ends inside, in every order.
TEST(TextLine, LongLinesEqualTheirPrintfForm) {
  OutputFile built;
  OutputFile printed;
  for (std::size_t size : {0u, 1u, 200u, 255u, 256u, 257u, 600u}) {
    const std::string name(size, 'n');
    built.line() << "<" << name << "|" << name.c_str() << "|a\nb\nc|";
    printed.printf("<%s|%s|a\nb\nc|", name.c_str(), name.c_str());
    OutputFile::Line line = built.line();
    for (int k = 0; k < 40; ++k) {
      const double v = -123456789.0 / (k + 1) + static_cast<double>(size);
      line << v << " " << k * -99999 << "\n\t";
      printed.printf("%f %d\n\t", v, k * -99999);
    }
  }
  ASSERT_EQ(built.text(), printed.text());
}

// Names written as attribute text equal xml_escape()'s text given to
// printf: entities, line ends, the cut at a NUL byte, two-byte characters,
// names longer than a line's room, entities at the room's edge.
TEST(TextLine, EscapedNamesEqualTheirPrintfForm) {
  const char alphabet[] = {'a', '&', '<', '>', '"', '\'', '\n', '\0', '\x82', '\xa0', '%', ' '};
  std::mt19937 rng(3);
  OutputFile built;
  OutputFile printed;
  for (int i = 0; i < 3000; ++i) {
    std::string name(rng() % 300, 'x');
    for (char& c : name) c = alphabet[rng() % (i % 2 == 0 ? 4 : sizeof alphabet)];
    built.line() << "name=\"" << OutputFile::Line::XmlEscaped{name} << "\"\n";
    printed.printf("name=\"%s\"\n", xml_escape(name).c_str());
  }
  ASSERT_EQ(built.text(), printed.text());
  OutputFile out;
  out.line() << OutputFile::Line::XmlEscaped{std::string("a<b>\"c\"&d\ne\0f", 13)};
  EXPECT_EQ(out.text(), "a&lt;b&gt;&quot;c&quot;&amp;d\r\ne");
}

// Derived by hand: every "\n" of a literal or a string piece becomes CR LF,
// wherever it stands; strings go as they are, even with a '%' in them.
TEST(TextLine, LineEndsAndStringsByHand) {
  OutputFile out;
  const std::string two_lines = "a\nb";
  const char* percent = "100%d";
  const char* broken = "p\nq";
  out.line() << "\n<array size=\"" << 2 << "\">\n\t" << two_lines << " " << percent << " "
             << OutputFile::Line::Fixed{2.5, 0} << " " << OutputFile::Line::Fixed{-0.0, 1} << " "
             << 0.0078125 << " " << std::string_view("xyz", 2) << " " << 4294967295u << " "
             << -2147483647 - 1 << broken << "\n";
  EXPECT_EQ(out.text(),
            "\r\n<array size=\"2\">\r\n\ta\r\nb 100%d 2 -0.0 0.007812 xy 4294967295 "
            "-2147483648p\r\nq\r\n");
}

// A char array filled at run time is text up to its first NUL, whether it
// is written or put into a line; what lies after the NUL is never written.
TEST(TextLine, FilledArraysEndAtTheirFirstNul) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  std::memcpy(buffer, "ab\n", 4);
  OutputFile out;
  out.write(buffer);
  out.line() << "[" << buffer << "]\n";
  EXPECT_EQ(out.text(), "ab\r\n[ab\r\n]\r\n");
}

// A non-finite number fails the commit and leaves no file, as with printf;
// finite lines are written whole across many buffer fills.
TEST(TextLine, NonFiniteNumbersFailTheFileAndLongTextsAreWrittenWhole) {
  test::TempDir dir;
  for (double bad :
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()}) {
    OutputFile out;
    ASSERT_TRUE(out.open(dir.file("a.imd")));
    out.line() << "\t" << 1.0 << " " << OutputFile::Line::Fixed{bad, 3} << "\n";
    EXPECT_FALSE(out.commit());
    EXPECT_EQ(out.error(), "a number to be written is not finite");
    EXPECT_FALSE(test::file_exists(dir.file("a.imd")));
  }
  OutputFile out;
  ASSERT_TRUE(out.open(dir.file("long.imd")));
  std::string expected;
  for (int i = 0; i < 100000; ++i) {
    out.line() << "\t" << i << " " << i / 4.0 << "\n";
    expected += "\t" + std::to_string(i) + " " + c_fixed(i / 4.0, 6) + "\r\n";
  }
  EXPECT_LT(out.text().size(), expected.size());  // most of it went to the file already
  ASSERT_TRUE(out.commit()) << out.error();
  EXPECT_EQ(test::read_file(dir.file("long.imd")), expected);
}

}  // namespace
}  // namespace kavro
