#include "exporter/imd/isd_writer.h"

#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"

namespace kavro {

namespace {

double d(float v) {
  return static_cast<double>(v);
}

}  // namespace

void write_camera_block(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  out.write("\n<camera\n");
  if (!scene.cameras.empty()) {
    const SceneCamera& c = scene.cameras.front();
    out.printf("\tposition=\"%f %f %f\"\n", d(c.position.x), d(c.position.y), d(c.position.z));
    out.printf("\tlookat=\"%f %f %f\"\n", d(c.lookat.x), d(c.lookat.y), d(c.lookat.z));
    out.printf("\ttwist=\"%f\"\n", d(c.twist));
    out.printf("\tprojection=\"%s\"\n", c.projection == 1 ? "ortho" : "perspective");
    out.printf("\tnear=\"%f\"\n", d(c.near_plane));
    out.printf("\tfar=\"%f\"\n", d(c.far_plane));
    out.printf("\tperspective fovy=\"%f\"\n", d(c.fovy));
    out.printf("\tperspective aspect=\"%f\"\n", d(c.aspect));
    out.printf("\tortho width=\"%f\"\n", d(c.ortho_width));
    out.printf("\tortho height=\"%f\"\n", d(c.ortho_height));
  }
  out.write("/>\n");
  log.advance(log.step_size(1), "Exporting Camera");
  log.finish_stage("Exporting Camera");
}

void write_light_block(OutputFile& out, const ExportScene& scene, ExportLog& log) {
  out.write("\n<light>\n");
  float step = log.step_size(static_cast<int>(scene.lights.size()));
  for (std::size_t j = 0; j < scene.lights.size(); ++j) {
    log.advance(step, "Exporting Lights");
    const SceneLight& l = scene.lights[j];
    out.printf("\t<light%d\n", static_cast<int>(j));
    out.printf("\t\tdirection=\"%f %f %f\"\n", d(l.direction.x), d(l.direction.y),
               d(l.direction.z));
    out.printf("\t\tcolor=\"%d %d %d\"\n", l.r >> 3, l.g >> 3, l.b >> 3);
    out.write("\t/>\n");
  }
  out.write("</light>\n");
  log.finish_stage("Exporting Lights");
}

bool IsdWriter::write(const ExportScene& scene, ExportLog& log, const std::string& path) {
  return write_enveloped_file(scene, log, path, FileKind::kIsd, [&](OutputFile& out) {
    write_camera_block(out, scene, log);
    write_light_block(out, scene, log);
  });
}

}  // namespace kavro
