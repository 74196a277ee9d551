// The batch log: a text file that a batch starts with its `log` key and that
// is opened, appended to and closed again for every write, so that it is
// complete on disk after every line. Lines end with CR LF.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"

namespace kavro {

class BatchLog {
 public:
  bool is_open() const { return open_; }
  const std::string& path() const { return path_; }
  // Forgets the log (a new run begins).
  void clear();
  // Creates the file (emptying an old one) with the given text; false when
  // it cannot be created, and the log stays closed.
  bool create(const std::string& path, const std::string& text);
  // Appends text ("\n" ends a line) when the log is open; false when the
  // file could not be written.
  bool append(const std::string& text) const;

 private:
  bool open_ = false;
  std::string path_;
};

// The log's header lines.
std::string batch_log_header(const std::string& user, const std::string& computer,
                             const host::LocalTime& time, const std::string& k3be_path);

// The result block of one export: each warning on its own line, an empty
// line, "Success ( Warning = N )" on success, an empty line.
std::string batch_log_result(const std::vector<std::string>& warnings, bool success);

}  // namespace kavro
