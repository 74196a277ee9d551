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
  const char* const kStage = "IMD: Exporting Nodes";
  out.printf("\n<node_array size=\"%d\">\n", scene.node_count());
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
  MaterialIndex materials(scene.materials);
  auto link = [&](int id) { return id == -1 ? -1 : nodes.position(id); };
  double s = std::ldexp(1.0, -scene.pos_scale);
  auto scaled = [s](float v) { return d(round4096(d(v) * s)); };
  bool unite = unites_nodes(scene.compress_node);
  static const std::vector<DrawnSet> kNone;

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
    out.printf("\t<node index=\"%d\" name=\"%s\" kind=\"%s\"\n", static_cast<int>(p),
               xml_escape(node.name).c_str(), node_kind_keyword(kind));
    out.printf("\t\tparent=\"%d\"\n", link(node.parent));
    out.printf("\t\tchild=\"%d\"\n", link(node.child));
    out.printf("\t\tbrother_next=\"%d\"\n", link(node.brother_next));
    out.printf("\t\tbrother_prev=\"%d\"\n", link(node.brother_prev));
    out.printf("\t\tdraw_mtx=\"%s\"\n", "on");
    out.printf("\t\tbillboard=\"%s\"\n", billboard_keyword(node.billboard));
    Vec3 scale = node.scale, rotate = node.rotate, translate = node.translate;
    if (unite && !node.scale_frames.empty() && !node.rotate_frames.empty() &&
        !node.translate_frames.empty()) {
      scale = node.scale_frames[0];
      rotate = node.rotate_frames[0];
      translate = node.translate_frames[0];
    }
    out.printf("\t\tscale=\"%f %f %f\"\n", d(scale.x), d(scale.y), d(scale.z));
    out.printf("\t\trotate=\"%f %f %f\"\n", d(rotate.x), d(rotate.y), d(rotate.z));
    out.printf("\t\ttranslate=\"%f %f %f\"\n", d(translate.x), d(translate.y), d(translate.z));
    out.printf("\t\tvisibility=\"%s\"\n",
               (node.work_flags & kVisibleAtFirstFrame) != 0 ? "on" : "off");
    out.printf("\t\tdisplay_size=\"%d\"\n", display);
    if (display > 0) {
      int vertices = 0, triangles = 0, quads = 0;
      for (const DrawnSet& ds : sets) {
        const PolygonSet& set = scene.polygons[ds.set];
        vertices += sent_vertex_count(set);
        triangles += set.triangle_count();
        quads += set.quad_count();
      }
      out.printf("\t\tvertex_size=\"%d\" polygon_size=\"%d\"\n", vertices, triangles + quads);
      out.printf("\t\ttriangle_size=\"%d\" quad_size=\"%d\"\n", triangles, quads);
      out.printf("\t\tvolume_min=\"%f %f %f\"\n", scaled(node.volume_min.x),
                 scaled(node.volume_min.y), scaled(node.volume_min.z));
      out.printf("\t\tvolume_max=\"%f %f %f\"\n", scaled(node.volume_max.x),
                 scaled(node.volume_max.y), scaled(node.volume_max.z));
      out.printf("\t\tvolume_r=\"%f\"\n", scaled(node.volume_r));
    }
    out.write("\t>\n");
    int index = 0;
    for (const DrawnSet& ds : sets) {
      const PolygonSet& set = scene.polygons[ds.set];
      out.printf("\t\t<display index=\"%d\" material=\"%d\" polygon=\"%d\" priority=\"%d\"/>\n",
                 index++, materials.position(set.material_name), ds.polygon, set.priority);
    }
    out.write("\t</node>\n");
  }
  out.write("</node_array>\n");
  log.finish_stage(kStage);
}

}  // namespace kavro
