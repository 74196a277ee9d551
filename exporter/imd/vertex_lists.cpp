#include "exporter/imd/vertex_lists.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

std::uint32_t rgb_key(const VertexColor& c) {
  return (static_cast<std::uint32_t>(c.r) << 16) | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
}

}  // namespace

void compress_colors(PolygonSet& set) {
  std::size_t n = set.colors.size();
  if (n < 2) return;
  // Removing each repeated entry j (from the last down) sends the corners
  // that used it to the first equal entry k and moves every index above j
  // down by one. The net effect: an index i whose colour first appears at k
  // ends at k less the repeats below k; an index past the list moves down by
  // the number of repeats below it.
  std::unordered_map<std::uint32_t, std::size_t> first;
  first.reserve(n);
  std::vector<std::size_t> first_of(n);
  std::vector<std::size_t> repeats_below(n + 1, 0);  // repeated entries below each index
  std::vector<VertexColor> kept;
  for (std::size_t i = 0; i < n; ++i) {
    auto [it, added] = first.emplace(rgb_key(set.colors[i]), i);
    first_of[i] = it->second;
    repeats_below[i + 1] = repeats_below[i] + (added ? 0 : 1);
    if (added) kept.push_back(set.colors[i]);
  }
  std::size_t repeats = repeats_below[n];
  if (repeats == 0) return;
  auto remap = [&](std::uint16_t& index) {
    std::size_t i = index;
    if (i < n) {
      std::size_t k = first_of[i];
      index = static_cast<std::uint16_t>(k - repeats_below[k]);
    } else {
      index = static_cast<std::uint16_t>(i - repeats);
    }
  };
  for (NTriFace& f : set.triangles) {
    for (Corner& c : f.corners) remap(c.clr);
  }
  for (NQuadFace& f : set.quads) {
    for (Corner& c : f.corners) remap(c.clr);
  }
  set.colors = std::move(kept);
}

void compress_color_lists(ExportScene& scene) {
  const char* const kStage = "IMD: Compressing Color Lists";
  float step = scene.step_size(scene.polygon_count());
  for (PolygonSet& set : scene.polygons) {
    scene.advance(step, kStage);
    if (!set.deleted && set.has_colors()) compress_colors(set);
  }
  scene.finish_stage(kStage);
}

VertexListBases vertex_list_bases(const ExportScene& scene) {
  VertexListBases bases;
  bases.pos.assign(scene.polygons.size(), 0);
  bases.color.assign(scene.polygons.size(), 0);
  int positions = 0, colors = 0;
  for (std::size_t i = 0; i < scene.polygons.size(); ++i) {
    const PolygonSet& set = scene.polygons[i];
    if (set.deleted) continue;
    bases.pos[i] = positions;
    bases.color[i] = colors;
    positions += set.vertex_count();
    colors += set.color_count();
  }
  return bases;
}

void write_vertex_lists(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  const char* const kStage = "IMD: Exporting Vertex List";
  if (scene.vertex_style == VertexStyle::kIndex) {
    float step = log.step_size(3 * scene.polygon_count());
    int positions = 0;
    for (const PolygonSet& set : scene.polygons) {
      log.advance(step, kStage);
      if (!set.deleted) positions += set.vertex_count();
    }
    if (scene.polygon_count() > 0) {
      out.line() << "\n<vtx_pos_data pos_size=\"" << positions << "\">\n";
      for (const PolygonSet& set : scene.polygons) {
        log.advance(step, kStage);
        if (set.deleted) continue;
        for (const Vec3& p : set.positions) {
          out.line() << "\t" << static_cast<double>(p.x) << " " << static_cast<double>(p.y) << " "
                     << static_cast<double>(p.z) << "\n";
        }
      }
      out.write("</vtx_pos_data>\n");
    }
    int colors = 0;
    for (const PolygonSet& set : scene.polygons) {
      if (!set.deleted) colors += set.color_count();
    }
    if (colors > 0) {
      out.line() << "\n<vtx_color_data color_size=\"" << colors << "\">\n";
      for (const PolygonSet& set : scene.polygons) {
        log.advance(step, kStage);
        if (set.deleted) continue;
        for (const VertexColor& c : set.colors) {
          out.line() << "\t" << (c.r >> 3) << " " << (c.g >> 3) << " " << (c.b >> 3) << "\n";
        }
      }
      out.write("</vtx_color_data>\n");
    }
  }
  log.finish_stage(kStage);
}

}  // namespace kavro
