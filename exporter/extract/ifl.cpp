#include "exporter/extract/ifl.h"

#include <sys/stat.h>

#include <cstdio>

#include "exporter/pipeline/messages.h"
#include "exporter/pipeline/text.h"
#include "host/cp932.h"
#include "host/file_journal.h"

namespace kavro {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// One line of the file with its leading spaces and tabs skipped and its
// trailing blanks and line end removed. At most kIflLineLimit bytes are kept
// however long the line is; `overlong` tells that more would have followed.
struct IflLine {
  std::string text;
  bool overlong = false;
  bool has_control = false;  // a byte below 0x20 but tab, or 0x7F, inside the text
};

// Reads the next line; false at the end of the file when no line begins.
bool next_line(std::FILE* f, IflLine& line) {
  line = IflLine{};
  std::string pending;  // blanks since the last kept byte, kept once text follows
  std::size_t pending_count = 0;
  bool leading = true;
  bool any = false;
  int ch;
  while ((ch = std::getc(f)) != EOF) {
    any = true;
    const char c = static_cast<char>(ch);
    if (c == '\n') break;
    if (leading && (c == ' ' || c == '\t')) continue;
    leading = false;
    if (is_blank(c)) {
      if (pending.size() <= kIflLineLimit) pending += c;
      ++pending_count;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') line.has_control = true;
    if (pending.find('\r') != std::string::npos) line.has_control = true;  // "\r" inside the text
    if (line.overlong || line.text.size() + pending_count + 1 > kIflLineLimit) {
      line.overlong = true;
    } else {
      line.text += pending;
      line.text += c;
    }
    pending.clear();
    pending_count = 0;
  }
  return any;
}

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!is_digit(c)) return false;
  }
  return true;
}

// A path that does not depend on the list's folder: rooted, or with a drive.
bool is_absolute(const std::string& slashed) {
  if (!slashed.empty() && slashed[0] == '/') return true;
  return slashed.size() >= 2 && slashed[1] == ':' &&
         ((slashed[0] >= 'A' && slashed[0] <= 'Z') || (slashed[0] >= 'a' && slashed[0] <= 'z'));
}

// Removes "." segments and folds "name/.." pairs; ".." segments that would
// climb above the start of a relative path stay. False when the result names
// no file (it ends in a separator, ".", or "..").
bool normalize(const std::string& slashed, std::string& out) {
  std::string prefix;
  std::size_t start = 0;
  if (!slashed.empty() && slashed[0] == '/') {
    prefix = "/";
    start = 1;
  } else if (slashed.size() >= 2 && slashed[1] == ':') {
    prefix = slashed.substr(0, 2);
    start = 2;
    if (slashed.size() > 2 && slashed[2] == '/') {
      prefix += '/';
      start = 3;
    }
  }
  std::vector<std::string> parts;
  std::string last;
  std::size_t i = start;
  while (i <= slashed.size()) {
    std::size_t j = slashed.find('/', i);
    if (j == std::string::npos) j = slashed.size();
    std::string seg = slashed.substr(i, j - i);
    last = seg;
    if (seg == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (prefix.empty()) {
        parts.push_back(seg);
      }
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    i = j + 1;
  }
  if (last.empty() || last == "." || last == "..") return false;
  out = prefix;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out += '/';
    out += parts[k];
  }
  return true;
}

// Splits an image line into its name and repeat count and resolves the name
// against the list's folder (`base`, slashed, ending in "/" or empty).
bool parse_image_line(const std::string& text, const std::string& base, IflEntry& entry) {
  std::string name = text;
  long long count = 1;
  if (is_digit(text.back())) {
    if (all_digits(text)) return false;  // a count without an image
    std::size_t blank = text.find_last_of(" \t");
    if (blank != std::string::npos && all_digits(text.substr(blank + 1))) {
      count = 0;
      for (std::size_t k = blank + 1; k < text.size(); ++k) {
        count = count * 10 + (text[k] - '0');
        if (count > 0x7FFFFFFF) return false;  // no frame count is that long
      }
      std::size_t end = blank;
      while (end > 0 && is_blank(text[end - 1])) --end;
      name = text.substr(0, end);
    }
    // Otherwise the digits belong to the name ("frame10"): shown once.
  }
  std::string slashed = slash_form(name);
  if (!is_absolute(slashed)) slashed = base + slashed;
  if (!normalize(slashed, entry.path)) return false;
  entry.duration = static_cast<int>(count);
  return true;
}

// The list's folder with its trailing separator, slashed.
std::string list_base(const std::string& path) {
  std::size_t sep = last_separator(path);
  return sep == std::string::npos ? std::string() : slash_form(path.substr(0, sep + 1));
}

}  // namespace

bool is_ifl(const std::string& path) {
  std::size_t dot = path.rfind('.');
  return dot != std::string::npos && path.compare(dot + 1, std::string::npos, "ifl") == 0;
}

IflStatus parse_ifl(const std::string& path, std::vector<IflEntry>& entries) {
  entries.clear();
  struct stat st {};
  if (path.empty() || ::stat(host::system_path(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return IflStatus::kCannotOpen;
  }
  std::FILE* f = std::fopen(host::system_path(path).c_str(), "rb");
  if (f == nullptr) return IflStatus::kCannotOpen;
  host::note_file_read(path);
  const std::string base = list_base(path);
  IflStatus status = IflStatus::kOk;
  IflLine line;
  while (next_line(f, line)) {
    const std::string& t = line.text;
    if (t.empty() && !line.overlong) continue;
    if (!t.empty() && (t[0] == '#' || t[0] == ';')) continue;
    IflEntry entry;
    // No image is named with control characters: a line holding them is
    // binary garbage, not a name to look for.
    if (line.overlong || line.has_control || !parse_image_line(t, base, entry)) {
      status = IflStatus::kIncorrect;
      break;
    }
    entries.push_back(std::move(entry));
  }
  if (status == IflStatus::kOk && std::ferror(f)) status = IflStatus::kCannotOpen;
  std::fclose(f);
  if (status != IflStatus::kOk) entries.clear();
  return status;
}

bool read_ifl(host::Host& host, const std::string& path, std::vector<std::string>& pattern_textures,
              std::vector<int>& ifl_durations) {
  pattern_textures.clear();
  ifl_durations.clear();
  std::vector<IflEntry> entries;
  switch (parse_ifl(path, entries)) {
    case IflStatus::kCannotOpen:
      show_error(host, format("Can't open file. %s", path.c_str()), "Can't open IFL file");
      return false;
    case IflStatus::kIncorrect:
      show_error(host, format("IFL File is incorrect. %s", path.c_str()), "Error");
      return false;
    case IflStatus::kOk:
      break;
  }
  pattern_textures.reserve(entries.size());
  ifl_durations.reserve(entries.size());
  for (IflEntry& e : entries) {
    pattern_textures.push_back(std::move(e.path));
    ifl_durations.push_back(e.duration);
  }
  return true;
}

bool count_ifl_images(const std::string& path, int& count) {
  std::vector<IflEntry> entries;
  if (parse_ifl(path, entries) != IflStatus::kOk) return false;
  count = static_cast<int>(entries.size());
  return true;
}

}  // namespace kavro
