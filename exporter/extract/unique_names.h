// Unique names for records given one after another (materials, nodes,
// polygon sets): unique_name's pass over the earlier names, kept per
// sanitised name so that ten thousand names cost no more than one pass each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

// The name rule for nodes, polygon sets and materials: bytes outside ASCII
// letters, digits and "_" become "_"; then, in one pass over the earlier
// names in order, every match writes "_%d" (1, 2, ...) at the end of the
// sanitised name. `changed` tells whether the result differs from the host
// name.
std::string unique_name(const std::string& host_name, std::size_t earlier_count,
                        const std::function<const std::string&(std::size_t)>& earlier,
                        bool* changed);

// unique_name over a list that only grows, without a pass over the list per
// name. The index holds the positions of every name; a pass is kept for every
// sanitised name asked for (the name it gives so far, its next suffix, and
// how far into the list it has looked) and goes on from there when asked
// again: names appended since can only lie beyond where it stopped. Results
// equal unique_name's.
class UniqueNames {
 public:
  // Brings the index up to a list of `count` names (new ones at the end);
  // a list that got shorter is indexed anew. Names already indexed must not
  // change.
  void sync(std::size_t count, const std::function<const std::string&(std::size_t)>& name);
  // unique_name over the names indexed so far.
  std::string unique(const std::string& host_name, bool* changed);
  // Whether any indexed name equals `name`.
  bool contains(const std::string& name) const;
  void clear();

 private:
  // Where a name stands in the list: most names stand once, and need no
  // list of positions of their own.
  struct Positions {
    std::size_t first = 0;
    std::vector<std::size_t> more;  // later positions, ascending
    // The first position at or after `from`; false when there is none.
    bool at_or_after(std::size_t from, std::size_t& position) const;
  };
  struct Pass {
    std::string name;      // the name the pass gives so far
    int next_suffix = 1;   // the suffix it gives next
    std::size_t from = 0;  // where in the list it looks on
  };
  // One record per name either listed or asked for as a sanitised name: a
  // base is mostly a listed name too, so one lookup serves both.
  struct Entry {
    std::string name;
    std::size_t hash = 0;  // of name, for placing it anew when the table grows
    bool listed = false;
    bool has_pass = false;
    Positions positions;  // when listed
    Pass pass;            // when has_pass
  };
  struct Slot {
    std::size_t hash = 0;
    std::uint32_t entry = kNone;
  };
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  std::uint32_t find(std::string_view name, std::size_t hash) const;  // kNone when absent
  std::uint32_t find_or_add(const std::string& name);

  std::deque<Entry> entries_;  // never moved once added
  std::vector<Slot> slots_;    // open addressing into entries_, at most half full
  std::size_t size_ = 0;
};

}  // namespace kavro
