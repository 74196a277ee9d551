// Polygon sets grouped by the fields two sets must share to be merged, so
// that each set is compared only with the later sets of its own group, in
// array order: the same pairs, in the same order, as a scan over all later
// sets, without the quadratic cost.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "exporter/pipeline/scene.h"

namespace kavro::process {

struct SetKey {
  int node_id = 0;
  int priority = 0;
  bool colors = false;
  bool skinned = false;
  std::string material;
  friend bool operator==(const SetKey&, const SetKey&) = default;
};

struct SetKeyHash {
  std::size_t operator()(const SetKey& k) const {
    std::size_t h = std::hash<std::string>{}(k.material);
    auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2); };
    mix(std::hash<int>{}(k.node_id));
    mix(std::hash<int>{}(k.priority));
    mix(static_cast<std::size_t>(k.colors) | static_cast<std::size_t>(k.skinned) << 1);
    return h;
  }
};

class SetGroups {
 public:
  // key_of(set) gives the set's key; the keys must not change while the
  // groups are in use.
  template <class KeyOf>
  SetGroups(const std::vector<PolygonSet>& sets, KeyOf key_of)
      : group_(sets.size()), rank_(sets.size()) {
    std::unordered_map<SetKey, std::size_t, SetKeyHash> ids;
    for (std::size_t i = 0; i < sets.size(); ++i) {
      auto [it, fresh] = ids.try_emplace(key_of(sets[i]), members_.size());
      if (fresh) members_.emplace_back();
      group_[i] = it->second;
      rank_[i] = members_[it->second].size();
      members_[it->second].push_back(i);
    }
  }

  // The later sets of set i's group that are not deleted, in array order.
  std::vector<const PolygonSet*> live_later(const std::vector<PolygonSet>& sets,
                                            std::size_t i) const {
    std::vector<const PolygonSet*> out;
    for_each_later(i, [&](std::size_t j) {
      if (!sets[j].deleted) out.push_back(&sets[j]);
    });
    return out;
  }

  // Calls f(j) for every later set j of set i's group, in array order.
  template <class F>
  void for_each_later(std::size_t i, F f) const {
    const std::vector<std::size_t>& g = members_[group_[i]];
    for (std::size_t r = rank_[i] + 1; r < g.size(); ++r) f(g[r]);
  }

 private:
  std::vector<std::size_t> group_;  // per set: its group
  std::vector<std::size_t> rank_;   // per set: its place in the group
  std::vector<std::vector<std::size_t>> members_;
};

}  // namespace kavro::process
