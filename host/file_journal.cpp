#include "host/file_journal.h"

#include <mutex>
#include <unordered_set>

namespace kavro::host {
namespace {

struct Journal {
  std::mutex lock;
  bool on = false;
  std::vector<std::string> order;
  std::unordered_set<std::string> seen;
};

Journal& journal() {
  static Journal j;
  return j;
}

}  // namespace

void start_file_journal() {
  Journal& j = journal();
  std::lock_guard<std::mutex> guard(j.lock);
  j.on = true;
  j.order.clear();
  j.seen.clear();
}

void stop_file_journal() {
  Journal& j = journal();
  std::lock_guard<std::mutex> guard(j.lock);
  j.on = false;
}

void note_file_read(const std::string& path) {
  Journal& j = journal();
  std::lock_guard<std::mutex> guard(j.lock);
  if (!j.on || path.empty()) return;
  if (j.seen.insert(path).second) j.order.push_back(path);
}

std::vector<std::string> files_read() {
  Journal& j = journal();
  std::lock_guard<std::mutex> guard(j.lock);
  return j.order;
}

}  // namespace kavro::host
