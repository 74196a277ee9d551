// A small skinned, animated scene exported through the driver with the real
// model and scene data writers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "exporter/imd/imd_writer.h"
#include "exporter/imd/isd_writer.h"
#include "exporter/pipeline/driver.h"
#include "exporter/pipeline/prepared_scene.h"
#include "exporter/texture/convert.h"
#include "host/recording_host.h"
#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::make_node;
using test::quad;

SkinInfluence bound(std::vector<std::pair<int, float>> pairs) {
  SkinInfluence inf;
  for (auto [id, w] : pairs) {
    inf.node_ids.push_back(id);
    inf.weights.push_back(w);
  }
  return inf;
}

// hip > leg (joints) and body (mesh): a 2 x 2 grid of quadrilaterals whose
// bottom row follows the hip, top row the leg and middle row both.
PreparedScene skinned_scene() {
  PreparedScene s;
  s.range = {0, 2 * 160, 160};
  s.file_name = "walk.max";
  SceneNode hip = make_node(1, "hip", kNodeJoint, 3);
  hip.child = 2;
  hip.brother_next = 3;
  SceneNode leg = make_node(2, "leg", kNodeJoint, 3);
  leg.parent = 1;
  leg.translate = {0, -0.5f, 0};
  for (int f = 0; f < 3; ++f) {
    leg.rotate_frames[f] = {10.0f * static_cast<float>(f), 0, 0};
  }
  SceneNode body = make_node(3, "body", kNodeMesh, 3);
  body.brother_prev = 1;
  body.volume_min = {0, 0, 0};
  body.volume_max = {0.5f, 0.5f, 0};
  body.volume_r = 0.5f;
  s.nodes = {hip, leg, body};

  PolygonSet set;
  set.node_id = 3;
  set.node_name = "body";
  set.material_name = "skin";
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      set.positions.edit().push_back(
          {0.25f * static_cast<float>(c), 0.25f * static_cast<float>(r), 0});
      set.normals.edit().push_back({0, 0, 1});
      set.colors.edit().push_back({255, 255, 255});
      set.weights.push_back(r == 0   ? bound({{1, 1.0f}})
                            : r == 1 ? bound({{1, 0.5f}, {2, 0.5f}})
                                     : bound({{2, 1.0f}}));
    }
  }
  set.unscaled_positions = set.positions;
  set.quads = {quad(0, 1, 4, 3), quad(1, 2, 5, 4), quad(3, 4, 7, 6), quad(4, 5, 8, 7)};
  set.box_max = {0.5f, 0.5f, 0};
  set.box_r = 0.5f;
  s.polygons = {set};
  SceneMaterial skin;
  skin.name = "skin";
  skin.lighting = 1;
  s.materials = {skin};
  SceneCamera cam;
  cam.position = {0, 1, 5};
  s.cameras = {cam};
  SceneLight light;
  light.direction = {0, -1, 0};
  s.lights = {light};
  return s;
}

// Parses a file with xmllint after declaring it UTF-8 (the text is ASCII).
// `renames` replaces texts before parsing.
bool well_formed(const std::string& path, const test::TempDir& dir,
                 const std::vector<std::pair<std::string, std::string>>& renames = {}) {
  std::string text = test::read_file(path);
  std::size_t at = text.find("Shift_JIS");
  if (at == std::string::npos) return false;
  text.replace(at, 9, "UTF-8");
  for (const auto& [from, to] : renames) {
    for (std::size_t p = text.find(from); p != std::string::npos; p = text.find(from, p)) {
      text.replace(p, from.size(), to);
    }
  }
  std::string copy = dir.file("utf8_copy.xml");
  test::write_file(copy, text);
  std::string command = "xmllint --noout '" + copy + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(ImdExport, SkinnedAnimatedSceneThroughTheDriver) {
  test::TempDir dir;
  host::RecordingHost host;
  ImdWriter imd;
  IsdWriter isd;
  TextureConverter textures;
  Stages stages;
  stages.preparation = &imd;
  stages.texture_conversion = &textures;
  stages.writers[kOutImd] = &imd;
  stages.writers[kOutIsd] = &isd;
  PreparedScene scene = skinned_scene();
  KavroExporter exporter(host, stages);
  ExportOptions& o = current_options();
  o.output_imd = 1;
  o.output_isd = 1;
  o.output_ica = o.output_iva = o.output_ima = o.output_ita = o.output_itp = 0;
  o.use_primitive_strip = 1;
  o.process_mode = ProcessMode::kIntermediateFile;
  o.vertex_style = VertexStyle::kDirect;
  ASSERT_EQ(exporter.DoExport(dir.file("walk.imd"), scene, true, 0), 1);
  ASSERT_TRUE(host.messages.empty()) << host.messages[0].text;

  std::string model = test::lf(test::read_file(dir.file("walk.imd")));
  EXPECT_NE(model.find("\n<matrix_array size=\"3\">\n"
                       "\t<matrix index=\"0\" mtx_weight=\"2\" envelope_head=\"0\"/>\n"
                       "\t<matrix index=\"1\" mtx_weight=\"1\" node_idx=\"0\"/>\n"
                       "\t<matrix index=\"2\" mtx_weight=\"1\" node_idx=\"1\"/>\n"
                       "</matrix_array>\n"),
            std::string::npos);
  EXPECT_NE(model.find("\t<weight size=\"2\">\n\t\t50 50 \n\t</weight>\n"), std::string::npos);
  EXPECT_NE(model.find("\t\t\t<mtx_list size=\"3\">0 1 2</mtx_list>\n"), std::string::npos);
  EXPECT_NE(model.find("<primitive index=\"0\" type=\"quad_strip\" vertex_size=\"6\">"),
            std::string::npos);
  EXPECT_NE(model.find("<primitive index=\"1\" type=\"quad_strip\" vertex_size=\"6\">"),
            std::string::npos);
  EXPECT_NE(model.find("\n<output_info vertex_size=\"12\" polygon_size=\"4\"\n"
                       "\ttriangle_size=\"0\" quad_size=\"4\"/>\n"),
            std::string::npos);
  EXPECT_NE(model.find("\t<node index=\"2\" name=\"body\" kind=\"mesh\"\n"), std::string::npos);
  EXPECT_NE(model.find("<box_test pos_scale=\"0\""), std::string::npos);
  // The blocks come in the writer's order.
  std::size_t last = 0;
  for (const char* block : {"<model_info", "<box_test", "<envelope>", "<matrix_array",
                            "<polygon_array", "<node_array", "<output_info", "</imd>"}) {
    std::size_t at = model.find(block);
    ASSERT_NE(at, std::string::npos) << block;
    EXPECT_GT(at, last) << block;
    last = at;
  }
  std::string scene_data = test::read_file(dir.file("walk.isd"));
  EXPECT_NE(scene_data.find("\tposition=\"0.000000 1.000000 5.000000\"\r\n"), std::string::npos);

  ASSERT_TRUE(test::xmllint_available());
  EXPECT_TRUE(well_formed(dir.file("walk.imd"), dir));
  // The camera's last four attribute names hold a space ("perspective fovy"
  // ...), which the scene data format keeps; apart from them the file is XML.
  EXPECT_FALSE(well_formed(dir.file("walk.isd"), dir));
  EXPECT_TRUE(well_formed(dir.file("walk.isd"), dir,
                          {{"perspective fovy", "perspective_fovy"},
                           {"perspective aspect", "perspective_aspect"},
                           {"ortho width", "ortho_width"},
                           {"ortho height", "ortho_height"}}));
}

}  // namespace
}  // namespace kavro
