#include "exporter/imd/matrix_array.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "exporter/pipeline/output_file.h"

namespace kavro {

int weight_percent(float w) {
  double v = static_cast<double>(w * 100.0f) + 0.5;
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

SkinInfluence vertex_influence(const PolygonSet& set, int vertex) {
  SkinInfluence out;
  if (vertex >= 0 && vertex < std::ssize(set.weights)) {
    const SkinInfluence& in = set.weights[vertex];
    std::size_t n = std::min(in.weights.size(), in.node_ids.size());
    out.weights.assign(in.weights.begin(), in.weights.begin() + static_cast<std::ptrdiff_t>(n));
    out.node_ids.assign(in.node_ids.begin(), in.node_ids.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (out.weights.empty()) {
    out.weights.push_back(1.0f);
    out.node_ids.push_back(set.node_id);
  }
  return out;
}

namespace {

std::size_t pair_count(const SkinInfluence& list) {
  return std::min(list.weights.size(), list.node_ids.size());
}

// The distinct (node id, percentage) pairs of a list, sorted.
std::vector<std::pair<int, int>> pair_set(const SkinInfluence& list) {
  std::vector<std::pair<int, int>> pairs;
  std::size_t n = pair_count(list);
  pairs.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    pairs.emplace_back(list.node_ids[i], weight_percent(list.weights[i]));
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  return pairs;
}

void append_int(std::string& s, std::int64_t v) {
  char bytes[sizeof v];
  std::memcpy(bytes, &v, sizeof v);
  s.append(bytes, sizeof v);
}

}  // namespace

bool influences_equal(const SkinInfluence& a, const SkinInfluence& b) {
  std::size_t na = pair_count(a), nb = pair_count(b);
  if (na != nb) return false;
  auto contained = [](const SkinInfluence& x, const SkinInfluence& y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      bool found = false;
      for (std::size_t j = 0; j < n && !found; ++j) {
        found = x.node_ids[i] == y.node_ids[j] &&
                weight_percent(x.weights[i]) == weight_percent(y.weights[j]);
      }
      if (!found) return false;
    }
    return true;
  };
  return contained(a, b, na) && contained(b, a, na);
}

std::string influence_key(const SkinInfluence& list) {
  // Equal lists have equal counts and the same set of pairs, and the
  // reverse holds too; so the count and the sorted distinct pairs identify
  // the list.
  std::string key;
  append_int(key, static_cast<std::int64_t>(pair_count(list)));
  for (const auto& [node, percent] : pair_set(list)) {
    append_int(key, (static_cast<std::int64_t>(node) << 32) |
                        static_cast<std::int64_t>(static_cast<std::uint32_t>(percent)));
  }
  return key;
}

std::vector<int> influence_classes(const PolygonSet& set) {
  std::vector<int> classes;
  if (!set.skinned()) return classes;
  std::unordered_map<std::string, int> seen;
  classes.reserve(set.positions.size());
  for (int v = 0; v < set.vertex_count(); ++v) {
    auto [it, added] =
        seen.emplace(influence_key(vertex_influence(set, v)), static_cast<int>(seen.size()));
    (void)added;
    classes.push_back(it->second);
  }
  return classes;
}

MatrixTable build_matrix_table(ExportScene& scene) {
  const char* const kStage = "IMD: Building Skin Vertex List";
  MatrixTable table;
  float step = scene.step_size(2 * scene.polygon_count());

  // 1. The distinct influence lists, in the order their first vertices come.
  std::unordered_map<std::string, int> seen;
  std::vector<SkinInfluence> found;
  std::vector<std::vector<int>> vertex_lists(scene.polygons.size());
  for (std::size_t s = 0; s < scene.polygons.size(); ++s) {
    scene.advance(step, kStage);
    const PolygonSet& set = scene.polygons[s];
    if (set.deleted || !set.skinned()) continue;
    vertex_lists[s].reserve(set.positions.size());
    for (int v = 0; v < set.vertex_count(); ++v) {
      SkinInfluence list = vertex_influence(set, v);
      auto [it, added] = seen.emplace(influence_key(list), static_cast<int>(found.size()));
      if (added) found.push_back(std::move(list));
      vertex_lists[s].push_back(it->second);
    }
  }

  // 2. Most influences first.
  std::vector<int> order(found.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  exchange_sort(order, [&](int i) { return found[i].count(); });
  std::vector<int> sorted_position(found.size());
  table.lists.reserve(found.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    sorted_position[order[i]] = static_cast<int>(i);
    table.lists.push_back(std::move(found[order[i]]));
  }

  // 3. Mesh nodes that own unskinned geometry.
  std::unordered_map<int, std::vector<int>> rigid_sets;  // node id -> set indices
  for (std::size_t s = 0; s < scene.polygons.size(); ++s) {
    const PolygonSet& set = scene.polygons[s];
    if (!set.deleted && !set.skinned()) rigid_sets[set.node_id].push_back(static_cast<int>(s));
  }
  for (std::size_t p = 0; p < scene.nodes.size(); ++p) {
    const SceneNode& node = scene.nodes[p];
    if (node.kind == kNodeMesh && rigid_sets.count(node.id) != 0) {
      table.rigid_nodes.push_back(static_cast<int>(p));
    }
  }

  // 4. The table: the lists, then the rigid nodes no single influence names.
  NodeIndex node_index(scene.nodes);
  std::unordered_set<int> named;
  for (std::size_t i = 0; i < table.lists.size(); ++i) {
    const SkinInfluence& list = table.lists[i];
    MatrixEntry e;
    e.count = list.count();
    e.list = static_cast<int>(i);
    if (e.count == 1) {
      e.node = node_index.position(list.node_ids[0]);
      named.insert(e.node);
    }
    table.entries.push_back(e);
  }
  for (int p : table.rigid_nodes) {
    if (named.count(p) == 0) table.entries.push_back(MatrixEntry{1, p, -1});
  }

  // 5. Blends first, most influences first, then single nodes by position.
  exchange_sort(table.entries, [](const MatrixEntry& e) {
    return static_cast<long long>(e.count) * (1LL << 33) +
           (static_cast<long long>(INT_MAX) - static_cast<long long>(e.node));
  });

  // 6. Matrix lists.
  std::vector<int> list_entry(table.lists.size(), -1);
  std::unordered_map<int, int> node_entry;  // node position -> first entry naming it
  for (std::size_t i = 0; i < table.entries.size(); ++i) {
    const MatrixEntry& e = table.entries[i];
    if (e.list >= 0 && list_entry[e.list] < 0) {
      list_entry[e.list] = static_cast<int>(i);
    }
    if (e.count == 1) node_entry.emplace(e.node, static_cast<int>(i));
  }
  for (std::size_t s = 0; s < scene.polygons.size(); ++s) {
    scene.advance(step, kStage);
    PolygonSet& set = scene.polygons[s];
    if (set.deleted) continue;
    set.matrix_list.clear();
    for (int original : vertex_lists[s]) {
      set.matrix_list.push_back(list_entry[sorted_position[original]]);
    }
  }
  for (std::size_t p = 0; p < scene.nodes.size(); ++p) {
    const SceneNode& node = scene.nodes[p];
    if (node.kind != kNodeMesh) continue;
    auto sets = rigid_sets.find(node.id);
    auto entry = node_entry.find(static_cast<int>(p));
    if (sets == rigid_sets.end() || entry == node_entry.end()) continue;
    for (int s : sets->second) {
      scene.polygons[s].matrix_list.push_back(entry->second);
    }
  }
  scene.finish_stage(kStage);
  return table;
}

namespace {

// Writes values ten to a line, each followed by a space.
template <class Fn>
void write_ten_per_line(OutputFile& out, const ExportScene& scene, const MatrixTable& table,
                        Fn value) {
  int written = 0;
  for (const MatrixEntry& e : table.entries) {
    if (e.count == 1 || e.list < 0) continue;
    const SkinInfluence& list = table.lists[e.list];
    std::size_t n = std::min(list.weights.size(), list.node_ids.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (list.weights[i] == 0.0f) continue;
      if (written % 10 == 0) out.write("\n\t\t");
      out.line() << value(scene, list, i) << " ";
      ++written;
    }
  }
}

int nonzero_weights(const SkinInfluence& list) {
  int n = 0;
  std::size_t pairs = std::min(list.weights.size(), list.node_ids.size());
  for (std::size_t i = 0; i < pairs; ++i) n += list.weights[i] != 0.0f ? 1 : 0;
  return n;
}

}  // namespace

void write_envelope_list(OutputFile& out, const ExportScene& scene, ExportLog& log,
                         const MatrixTable& table) {
  const char* const kStage = "IMD: Exporting Weights";
  if (scene.force_full_weight == 0) {
    float step = log.step_size(3 * static_cast<int>(table.lists.size()));
    int count = 0;
    for (const MatrixEntry& e : table.entries) {
      if (e.list < 0) continue;
      log.advance(step, kStage);
      if (e.count != 1) count += nonzero_weights(table.lists[e.list]);
    }
    if (count > 0) {
      NodeIndex node_index(scene.nodes);
      out.write("\n<envelope>\n");
      out.line() << "\t<weight size=\"" << count << "\">";
      write_ten_per_line(out, scene, table,
                         [](const ExportScene&, const SkinInfluence& list, std::size_t i) {
                           return weight_percent(list.weights[i]);
                         });
      out.write("\n\t</weight>\n");
      out.line() << "\t<node_idx size=\"" << count << "\">";
      write_ten_per_line(out, scene, table,
                         [&](const ExportScene&, const SkinInfluence& list, std::size_t i) {
                           return node_index.position(list.node_ids[i]);
                         });
      out.write("\n\t</node_idx>\n");
      out.write("</envelope>\n");
      for (const MatrixEntry& e : table.entries) {
        if (e.list >= 0) log.advance(step, kStage);
      }
    }
  }
  log.finish_stage(kStage);
}

void write_matrix_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                        const MatrixTable& table) {
  const char* const kStage = "IMD: Exporting Matrix Array";
  // The size is the number of entries written: a node that is both a rigid
  // mesh node and the single influence of skinned vertices has one entry.
  int size = static_cast<int>(table.entries.size());
  float step = log.step_size(static_cast<int>(table.lists.size()) + 2 * scene.node_count());
  if (size > 0) {
    out.line() << "\n<matrix_array size=\"" << size << "\">\n";
    if (size > 31) {
      log.add_warning_f("Warning: The number of matrices for displaying this model is over 31. %d",
                        size);
    }
    int head = 0;
    for (int i = 0; i < size; ++i) {
      log.advance(step, kStage);
      const MatrixEntry& e = table.entries[i];
      if (e.count == 1) {
        out.line() << "\t<matrix index=\"" << i << "\" mtx_weight=\"1\" node_idx=\"" << e.node
                   << "\"/>\n";
      } else {
        int weights = e.list >= 0 ? nonzero_weights(table.lists[e.list]) : 0;
        out.line() << "\t<matrix index=\"" << i << "\" mtx_weight=\"" << weights
                   << "\" envelope_head=\"" << head << "\"/>\n";
        head += weights;
      }
    }
    out.write("</matrix_array>\n");
  }
  log.finish_stage(kStage);
}

}  // namespace kavro
