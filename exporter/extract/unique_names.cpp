#include "exporter/extract/unique_names.h"

#include <algorithm>
#include <charconv>

#include "exporter/pipeline/text.h"

namespace kavro {
namespace {

// base + "_N".
std::string with_suffix(const std::string& base, int suffix) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, suffix).ptr;
  std::string name;
  name.reserve(base.size() + 1 + static_cast<std::size_t>(end - digits));
  name.append(base);
  name += '_';
  name.append(digits, end);
  return name;
}

}  // namespace

std::string unique_name(const std::string& host_name, std::size_t earlier_count,
                        const std::function<const std::string&(std::size_t)>& earlier,
                        bool* changed) {
  std::string base = sanitize_name(host_name);
  std::string name = base;
  int suffix = 1;
  for (std::size_t i = 0; i < earlier_count; ++i) {
    if (earlier(i) == name) name = with_suffix(base, suffix++);
  }
  if (changed != nullptr) *changed = name != host_name;
  return name;
}

bool UniqueNames::Positions::at_or_after(std::size_t from, std::size_t& position) const {
  if (first >= from) {
    position = first;
    return true;
  }
  auto it = std::lower_bound(more.begin(), more.end(), from);
  if (it == more.end()) return false;
  position = *it;
  return true;
}

void UniqueNames::clear() {
  // Assigned empty rather than cleared, so that their buckets go too.
  at_ = {};
  passes_ = {};
  size_ = 0;
}

void UniqueNames::sync(std::size_t count,
                       const std::function<const std::string&(std::size_t)>& name) {
  if (count < size_) clear();
  while (size_ < count) {
    auto [it, added] = at_.try_emplace(name(size_));
    if (added) {
      it->second.first = size_;
    } else {
      it->second.more.push_back(size_);
    }
    ++size_;
  }
}

std::string UniqueNames::unique(const std::string& host_name, bool* changed) {
  std::string base = sanitize_name(host_name);
  auto known = passes_.find(base);
  if (known == passes_.end()) known = passes_.emplace(base, Pass{base, 1, 0}).first;
  // The pass of unique_name, jumping from match to match: each name it gives
  // is looked for after the position of the previous match.
  Pass& pass = known->second;
  for (;;) {
    auto it = at_.find(pass.name);
    std::size_t match = 0;
    if (it == at_.end() || !it->second.at_or_after(pass.from, match)) break;
    pass.from = match + 1;
    pass.name = with_suffix(base, pass.next_suffix++);
  }
  if (changed != nullptr) *changed = pass.name != host_name;
  return pass.name;
}

}  // namespace kavro
