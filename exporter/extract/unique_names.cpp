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

namespace {

std::size_t name_hash(std::string_view name) {
  return std::hash<std::string_view>{}(name)*0x9E3779B97F4A7C15ull;
}

}  // namespace

void UniqueNames::clear() {
  // Assigned empty rather than cleared, so that their storage goes too.
  entries_ = {};
  slots_ = {};
  size_ = 0;
}

bool UniqueNames::contains(const std::string& name) const {
  const std::uint32_t e = find(name, name_hash(name));
  return e != kNone && entries_[e].listed;
}

std::uint32_t UniqueNames::find(std::string_view name, std::size_t hash) const {
  if (slots_.empty()) return kNone;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = (hash >> 16) & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.entry == kNone) return kNone;
    if (slot.hash == hash && entries_[slot.entry].name == name) return slot.entry;
  }
}

std::uint32_t UniqueNames::find_or_add(const std::string& name) {
  const std::size_t hash = name_hash(name);
  if (2 * (entries_.size() + 1) > slots_.size()) {
    // Doubled, and every entry placed anew.
    slots_.assign(slots_.empty() ? 64 : 2 * slots_.size(), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t e = 0; e < entries_.size(); ++e) {
      const std::size_t h = entries_[e].hash;
      std::size_t at = (h >> 16) & mask;
      while (slots_[at].entry != kNone) at = (at + 1) & mask;
      slots_[at] = Slot{h, static_cast<std::uint32_t>(e)};
    }
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = (hash >> 16) & mask;
  for (; slots_[at].entry != kNone; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.hash == hash && entries_[slot.entry].name == name) return slot.entry;
  }
  const auto e = static_cast<std::uint32_t>(entries_.size());
  Entry& added = entries_.emplace_back();
  added.name = name;
  added.hash = hash;
  slots_[at] = Slot{hash, e};
  return e;
}

void UniqueNames::sync(std::size_t count,
                       const std::function<const std::string&(std::size_t)>& name) {
  if (count < size_) clear();
  while (size_ < count) {
    Entry& entry = entries_[find_or_add(name(size_))];
    if (!entry.listed) {
      entry.listed = true;
      entry.positions.first = size_;
    } else {
      entry.positions.more.push_back(size_);
    }
    ++size_;
  }
}

std::string UniqueNames::unique(const std::string& host_name, bool* changed) {
  std::string base = sanitize_name(host_name);
  const std::uint32_t own = find_or_add(base);
  if (!entries_[own].has_pass) {
    entries_[own].has_pass = true;
    entries_[own].pass = Pass{base, 1, 0};
  }
  // The pass of unique_name, jumping from match to match: each name it gives
  // is looked for after the position of the previous match. The names it
  // gives are looked up without being added.
  Pass& pass = entries_[own].pass;
  for (;;) {
    // Suffixed names are longer than their base: the same size is the base.
    const std::uint32_t e =
        pass.name.size() == base.size() ? own : find(pass.name, name_hash(pass.name));
    std::size_t match = 0;
    if (e == kNone || !entries_[e].listed || !entries_[e].positions.at_or_after(pass.from, match)) {
      break;
    }
    pass.from = match + 1;
    pass.name = with_suffix(base, pass.next_suffix++);
  }
  if (changed != nullptr) *changed = pass.name != host_name;
  return pass.name;
}

}  // namespace kavro
