// A text file that appears whole or not at all. Output is buffered with every
// "\n" written as CR LF; open() creates a temporary file in the target
// folder, the buffer goes to it whenever it has grown to a quarter megabyte (a model
// file can be far bigger than the scene it comes from), commit() writes the
// rest and renames the file into place, and a file that is never committed
// leaves nothing behind. A failed open or commit
// keeps the system's reason in error(). A number that is not finite given to
// printf() is never written: the file then fails to commit.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "exporter/pipeline/format.h"

namespace kavro {

class ExportLog;

class OutputFile {
 public:
  class Line;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates the temporary file beside `path`; false when that fails.
  bool open(const std::string& path);
  // Why the last open() or commit() failed (the system's text, such as "No
  // such file or directory").
  const std::string& error() const { return error_; }
  bool is_open() const { return fd_ >= 0; }

  // Appends text; "\n" becomes CR LF.
  void write(const std::string& text);
  void write(std::string_view text);
  // A literal text is copied as a built line is (its length and line ends
  // known when compiled); other texts are given as a pointer. A char array
  // filled at run time is written up to its first NUL.
  template <std::size_t N>
  [[gnu::always_inline]] void write(const char (&literal)[N]);
  template <typename T>
  requires std::is_same_v<T, const char*> || std::is_same_v<T, char*>
  void write(T text) { write(std::string_view(text)); }
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  // Starts text put together from pieces without a format string (see Line).
  Line line();
  // Appends bytes as they are (for binary files).
  void write_bytes(const void* data, std::size_t size);

  // Writes the text and renames the file into place; false on any error
  // (a failed write, flush or rename, or a non-finite number given to
  // printf), in which case nothing is left at `path`'s temporary name.
  bool commit();
  // Drops the temporary file.
  void discard();

  // The text not yet written to the file: all of it when never opened.
  const std::string& text() const { return buffer_; }
  const std::string& path() const { return path_; }

 private:
  friend class Line;

  // The buffered text an open file holds before it is written out, and the
  // room kept beyond it for the line that crosses that size. The buffer's
  // room is set once at open(): grown by doubling it would reach twice the
  // spill size and hold the old and the new block at once while it moves.
  static constexpr std::size_t kSpillSize = std::size_t{1} << 18;
  static constexpr std::size_t kSpillRoom = kSpillSize + (std::size_t{1} << 16);

  // Appends text with each "\n" as CR LF; a piece without one (every
  // literal piece of a line, as the compiler sees) is a plain append.
  void append_text(const char* text, std::size_t size) {
    if (std::memchr(text, '\n', size) == nullptr) {
      buffer_.append(text, size);
    } else {
      append_lines(text, size);
    }
  }
  void append_lines(const char* text, std::size_t size);
  // Sends a full buffer to the open file.
  void spill() {
    if (buffer_.size() >= kSpillSize) spill_now();
  }
  void spill_now();
  // Writes the buffer to the file and empties it; false (error_ set) when
  // the system refuses.
  bool write_buffer();

  std::string path_;
  std::string temp_path_;
  std::string buffer_;
  std::string error_;
  int fd_ = -1;
  bool non_finite_ = false;
  bool write_failed_ = false;
};

// Text put together piece by piece, for the lines written by the hundred
// thousand: literal texts (their length known when compiled), strings,
// integers as "%d" and "%u" write them, and numbers as "%f" writes them
// (Fixed for another number of decimals). No format string is read. As with
// printf, every "\n" becomes CR LF and a number that is not finite fails the
// file's commit. The pieces gather on the stack and go to the file's buffer
// in one append when the line is done (the end of the statement), or
// earlier when they fill their room; a full buffer then goes to the file.
//   out.line() << "\t<node index=\"" << i << "\" name=\"" << name << "\">\n";
// A char array given as a piece is taken as a literal, whole but for its
// last byte: give other texts as a pointer, a std::string or a string_view.
class OutputFile::Line {
 public:
  // "%.Nf" of a number.
  struct Fixed {
    double value;
    int precision;
  };

  explicit Line(OutputFile& file) : file_(file) {}
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;
  ~Line() {
    flush();
    file_.spill();
  }

  template <std::size_t N>
  [[gnu::always_inline]] Line& operator<<(const char (&literal)[N]) {
    // An array that is not a literal (a buffer filled at run time) is text
    // up to its first NUL; for a literal the compiler folds this test away.
    if (std::char_traits<char>::length(literal) != N - 1) {
      put_c_string(literal);
      return *this;
    }
    constexpr std::size_t n = N - 1;
    // The compiler sees where a literal's line ends are: a literal without
    // one, or with one only at its end or its start, is copied as it is.
    if constexpr (n > 0 && n <= kRoom - 2) {
      if (std::memchr(literal, '\n', n) == nullptr) {
        put(literal, n);
        return *this;
      }
      if (literal[n - 1] == '\n' && std::memchr(literal, '\n', n - 1) == nullptr) {
        put(literal, n - 1);
        put("\r\n", 2);
        return *this;
      }
      if (literal[0] == '\n' && std::memchr(literal + 1, '\n', n - 1) == nullptr) {
        put("\r\n", 2);
        put(literal + 1, n - 1);
        return *this;
      }
    }
    flush();
    file_.append_text(literal, n);
    return *this;
  }
  // A pointer to text (a template, so that a literal takes the one above).
  template <typename T>
  requires std::is_same_v<T, const char*> || std::is_same_v<T, char*> Line& operator<<(T text) {
    put_c_string(text);
    return *this;
  }
  [[gnu::always_inline]] Line& operator<<(std::string_view text) {
    if (text.size() <= kRoom && std::memchr(text.data(), '\n', text.size()) == nullptr) {
      put(text.data(), text.size());
    } else {
      flush();
      file_.append_text(text.data(), text.size());
    }
    return *this;
  }
  [[gnu::always_inline]] Line& operator<<(int value) {
    make_room(11);
    char* p = end();
    auto magnitude = static_cast<unsigned>(value);
    if (value < 0) {
      *p++ = '-';
      magnitude = 0u - magnitude;
    }
    used_ = static_cast<std::size_t>(put_unsigned(p, magnitude) - text_);
    return *this;
  }
  [[gnu::always_inline]] Line& operator<<(unsigned value) {
    make_room(10);
    used_ = static_cast<std::size_t>(put_unsigned(end(), value) - text_);
    return *this;
  }
  [[gnu::always_inline]] Line& operator<<(double value) { return *this << Fixed{value, 6}; }
  [[gnu::always_inline]] Line& operator<<(Fixed number) {
    make_room(kShortFixedRoom);
    if (const char* e = put_short_fixed(end(), number.value, number.precision)) {
      used_ = static_cast<std::size_t>(e - text_);
    } else {
      flush();
      if (!std::isfinite(number.value)) file_.non_finite_ = true;
      append_fixed(file_.buffer_, number.value, number.precision);
    }
    return *this;
  }
  // Text for an XML attribute value, as xml_escape() gives it ("&", "<",
  // ">" and '"' as entities), up to its first NUL byte as a C string is.
  struct XmlEscaped {
    const std::string& text;
  };
  Line& operator<<(XmlEscaped piece);
  // A character or a truth value would be taken as an integer.
  Line& operator<<(char) = delete;
  Line& operator<<(bool) = delete;

 private:
  static constexpr std::size_t kRoom = 256;

  [[gnu::always_inline]] char* end() { return text_ + used_; }
  void flush() {
    file_.buffer_.append(text_, used_);
    used_ = 0;
  }
  [[gnu::always_inline]] void make_room(std::size_t size) {
    if (kRoom - used_ < size) flush();
  }
  // Copies a C string, through the file's buffer when it holds a line end
  // or outgrows the room.
  void put_c_string(const char* text);
  // The decimal digits of a number, two at a time from the last.
  [[gnu::always_inline]] static char* put_unsigned(char* p, unsigned value) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    if (value < 10) {
      *p = static_cast<char>('0' + value);
      return p + 1;
    }
    int digits = 2;
    for (unsigned rest = value / 100; rest != 0; rest /= 10) ++digits;
    char* end = p + digits;
    char* digit = end;
    while (value >= 100) {
      digit -= 2;
      std::memcpy(digit, kPairs + 2 * (value % 100), 2);
      value /= 100;
    }
    if (value >= 10) {
      std::memcpy(digit - 2, kPairs + 2 * value, 2);
    } else {
      digit[-1] = static_cast<char>('0' + value);
    }
    return end;
  }
  // Copies text without line ends; it fits the room.
  [[gnu::always_inline]] void put(const char* text, std::size_t size) {
    make_room(size);
    std::memcpy(end(), text, size);
    used_ += size;
  }

  OutputFile& file_;
  std::size_t used_ = 0;
  char text_[kRoom];
};

inline OutputFile::Line OutputFile::line() {
  return Line(*this);
}

template <std::size_t N>
[[gnu::always_inline]] inline void OutputFile::write(const char (&literal)[N]) {
  line() << literal;
}

// Opens an intermediate file the way every writer does: a target that exists
// and is read-only adds "Warning: Can't write to read-only file. %s" and is
// refused (false); otherwise the temporary file is created. Every failure is
// shown as "Can't write file %s: %s" with the path and the reason, followed by
// the files this run has already written, under the caption "Export Error".
bool open_for_export(ExportLog& log, OutputFile& file, const std::string& path);
// Commits a file opened by open_for_export; a failure is shown the same way.
bool commit_export(ExportLog& log, OutputFile& file);

}  // namespace kavro
