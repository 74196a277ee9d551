// A text file that appears whole or not at all. Output is buffered with every
// "\n" written as CR LF; open() creates a temporary file in the target
// folder, the buffer goes to it whenever it has grown to a megabyte (a model
// file can be far bigger than the scene it comes from), commit() writes the
// rest and renames the file into place, and a file that is never committed
// leaves nothing behind. A failed open or commit
// keeps the system's reason in error(). A number that is not finite given to
// printf() is never written: the file then fails to commit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavro {

class ExportLog;

class OutputFile {
 public:
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
  void write(const char* text);
  void write(std::string_view text);
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
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
  // Sends a full buffer to the open file.
  void spill();
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

// Opens an intermediate file the way every writer does: a target that exists
// and is read-only adds "Warning: Can't write to read-only file. %s" and is
// refused (false); otherwise the temporary file is created. Every failure is
// shown as "Can't write file %s: %s" with the path and the reason, followed by
// the files this run has already written, under the caption "Export Error".
bool open_for_export(ExportLog& log, OutputFile& file, const std::string& path);
// Commits a file opened by open_for_export; a failure is shown the same way.
bool commit_export(ExportLog& log, OutputFile& file);

}  // namespace kavro
