#include "exporter/imd/node_array.h"

#include <cmath>
#include <unordered_map>
#include <vector>

#include "exporter/imd/polygon_array.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "exporter/pipeline/text.h"

namespace kavro {

const char* node_kind_keyword(int kind) {
  static const char* const words[] = {"null", "mesh", "joint", "chain", "effector"};
  return kind >= 0 && kind < 5 ? words[kind] : "null";
}

const char* billboard_keyword(int billboard) {
  static const char* const words[] = {"off", "on", "y_on"};
  return billboard >= 0 && billboard < 3 ? words[billboard] : "off";
}

namespace {

double d(float v) {
  return static_cast<double>(v);
}

struct DrawnSet {
  int set;      // position in polygons
  int polygon;  // index in the polygon array
};

}  // namespace

void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  write_node_array(out, scene, log, MaterialIndex(scene.materials));
}

void write_node_array(OutputFile& out, const ExportScene& scene, ExportLog& log,
                      const MaterialIndex& materials) {
  const char* const kStage = "IMD: Exporting Nodes";
  out.line() << "\n<node_array size=\"" << scene.node_count() << "\">\n";
  float step = log.step_size(scene.node_count());

  // The sets each node draws, with their polygon indices.
  std::unordered_map<int, std::vector<DrawnSet>> drawn;
  int polygon = 0;
  for (std::size_t s = 0; s < scene.polygons.size(); ++s) {
    const PolygonSet& set = scene.polygons[s];
    if (set.deleted) continue;
    drawn[set.node_id].push_back(DrawnSet{static_cast<int>(s), polygon++});
  }
  NodeIndex nodes(scene.nodes);
  auto link = [&](int id) { return id == -1 ? -1 : nodes.position(id); };
  double s = std::ldexp(1.0, -scene.pos_scale);
  auto scaled = [s](float v) { return d(round4096(d(v) * s)); };
  bool unite = unites_nodes(scene.compress_node);
  static const std::vector<DrawnSet> kNone;
  int next_material = 0;  // a guess: sets mostly follow their materials

  for (std::size_t p = 0; p < scene.nodes.size(); ++p) {
    log.advance(step, kStage);
    const SceneNode& node = scene.nodes[p];
    if (node.name.size() > 16) {
      log.add_warning_f("Warning: Length of name over 16 characters. node: %s", node.name.c_str());
    }
    auto found = drawn.find(node.id);
    const std::vector<DrawnSet>& sets = found != drawn.end() ? found->second : kNone;
    int display = static_cast<int>(sets.size());
    int kind = node.kind;
    if (display == 0 && kind == kNodeMesh) {
      log.add_warning_f("Warning: Mesh has no polygon: %s", node.name.c_str());
      kind = kNodeNull;
    }
    out.line() << "\t<node index=\"" << static_cast<int>(p) << "\" name=\""
               << OutputFile::Line::XmlEscaped{node.name} << "\" kind=\"" << node_kind_keyword(kind)
               << "\"\n";
    out.line() << "\t\tparent=\"" << link(node.parent) << "\"\n";
    out.line() << "\t\tchild=\"" << link(node.child) << "\"\n";
    out.line() << "\t\tbrother_next=\"" << link(node.brother_next) << "\"\n";
    out.line() << "\t\tbrother_prev=\"" << link(node.brother_prev) << "\"\n";
    out.line() << "\t\tdraw_mtx=\"on\"\n";
    out.line() << "\t\tbillboard=\"" << billboard_keyword(node.billboard) << "\"\n";
    Vec3 scale = node.scale, rotate = node.rotate, translate = node.translate;
    if (unite && !node.scale_frames.empty() && !node.rotate_frames.empty() &&
        !node.translate_frames.empty()) {
      scale = node.scale_frames[0];
      rotate = node.rotate_frames[0];
      translate = node.translate_frames[0];
    }
    out.line() << "\t\tscale=\"" << d(scale.x) << " " << d(scale.y) << " " << d(scale.z) << "\"\n";
    out.line() << "\t\trotate=\"" << d(rotate.x) << " " << d(rotate.y) << " " << d(rotate.z)
               << "\"\n";
    out.line() << "\t\ttranslate=\"" << d(translate.x) << " " << d(translate.y) << " "
               << d(translate.z) << "\"\n";
    out.line() << "\t\tvisibility=\""
               << ((node.work_flags & kVisibleAtFirstFrame) != 0 ? "on" : "off") << "\"\n";
    out.line() << "\t\tdisplay_size=\"" << display << "\"\n";
    if (display > 0) {
      int vertices = 0, triangles = 0, quads = 0;
      for (const DrawnSet& ds : sets) {
        const PolygonSet& set = scene.polygons[ds.set];
        vertices += sent_vertex_count(set);
        triangles += set.triangle_count();
        quads += set.quad_count();
      }
      out.line() << "\t\tvertex_size=\"" << vertices << "\" polygon_size=\"" << (triangles + quads)
                 << "\"\n";
      out.line() << "\t\ttriangle_size=\"" << triangles << "\" quad_size=\"" << quads << "\"\n";
      out.line() << "\t\tvolume_min=\"" << scaled(node.volume_min.x) << " "
                 << scaled(node.volume_min.y) << " " << scaled(node.volume_min.z) << "\"\n";
      out.line() << "\t\tvolume_max=\"" << scaled(node.volume_max.x) << " "
                 << scaled(node.volume_max.y) << " " << scaled(node.volume_max.z) << "\"\n";
      out.line() << "\t\tvolume_r=\"" << scaled(node.volume_r) << "\"\n";
    }
    out.write("\t>\n");
    int index = 0;
    for (const DrawnSet& ds : sets) {
      const PolygonSet& set = scene.polygons[ds.set];
      const int material = materials.position(set.material_name, next_material);
      next_material = material + 1;
      out.line() << "\t\t<display index=\"" << index++ << "\" material=\"" << material
                 << "\" polygon=\"" << ds.polygon << "\" priority=\"" << set.priority << "\"/>\n";
    }
    out.write("\t</node>\n");
  }
  out.write("</node_array>\n");
  log.finish_stage(kStage);
}

}  // namespace kavro
