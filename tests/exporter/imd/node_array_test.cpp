#include "exporter/imd/node_array.h"

#include <gtest/gtest.h>

#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::make_node;
using test::quad;
using test::tri;

PolygonSet drawn_by(int node_id, const std::string& material, int priority) {
  PolygonSet set;
  set.node_id = node_id;
  set.material_name = material;
  set.priority = priority;
  return set;
}

// root (16-character name) > body (mesh) > joint (17 characters); "empty" is
// a mesh whose geometry was merged away and whose parent is not exported.
ExportScene hierarchy() {
  ExportScene scene;
  SceneNode root = make_node(1, "abcdefghijklmnop", kNodeNull);
  root.child = 2;
  SceneNode body = make_node(2, "body", kNodeMesh);
  body.parent = 1;
  body.child = 3;
  body.brother_next = 4;
  body.billboard = 2;
  body.work_flags = 0;
  body.scale = {1, 2, 3};
  body.rotate = {10, 20, 30};
  body.translate = {4, 5, 6};
  body.scale_frames[0] = {2, 2, 2};
  body.rotate_frames[0] = {0, 90, 0};
  body.translate_frames[0] = {-1, -2, -3};
  body.volume_min = {-2, -2, -2};
  body.volume_max = {2, 2, 2};
  body.volume_r = 10;
  SceneNode joint = make_node(3, "abcdefghijklmnopq", kNodeJoint);
  joint.parent = 2;
  SceneNode empty = make_node(4, "empty", kNodeMesh);
  empty.parent = 99;
  empty.brother_prev = 2;
  scene.nodes = {root, body, joint, empty};
  scene.materials = {test::material("a"), test::material("b")};
  PolygonSet p0 = drawn_by(2, "b", 3);
  p0.triangles = {tri(0, 1, 2)};
  PolygonSet p1 = drawn_by(2, "a", 0);
  p1.deleted = true;
  PolygonSet p2 = drawn_by(4, "a", 0);
  p2.deleted = true;
  PolygonSet p3 = drawn_by(2, "zz", 0);
  p3.quads = {quad(0, 1, 2, 3)};
  scene.polygons = {p0, p1, p2, p3};
  scene.pos_scale = 2;
  return scene;
}

TEST(NodeArray, KindsLinksVolumesAndDisplayLists) {
  ExportScene scene = hierarchy();
  OutputFile out;
  write_node_array(out, scene, scene.log());
  EXPECT_EQ(test::lf(out.text()),
            "\n<node_array size=\"4\">\n"
            "\t<node index=\"0\" name=\"abcdefghijklmnop\" kind=\"null\"\n"
            "\t\tparent=\"-1\"\n"
            "\t\tchild=\"1\"\n"
            "\t\tbrother_next=\"-1\"\n"
            "\t\tbrother_prev=\"-1\"\n"
            "\t\tdraw_mtx=\"on\"\n"
            "\t\tbillboard=\"off\"\n"
            "\t\tscale=\"1.000000 1.000000 1.000000\"\n"
            "\t\trotate=\"0.000000 0.000000 0.000000\"\n"
            "\t\ttranslate=\"0.000000 0.000000 0.000000\"\n"
            "\t\tvisibility=\"on\"\n"
            "\t\tdisplay_size=\"0\"\n"
            "\t>\n"
            "\t</node>\n"
            "\t<node index=\"1\" name=\"body\" kind=\"mesh\"\n"
            "\t\tparent=\"0\"\n"
            "\t\tchild=\"2\"\n"
            "\t\tbrother_next=\"3\"\n"
            "\t\tbrother_prev=\"-1\"\n"
            "\t\tdraw_mtx=\"on\"\n"
            "\t\tbillboard=\"y_on\"\n"
            "\t\tscale=\"1.000000 2.000000 3.000000\"\n"
            "\t\trotate=\"10.000000 20.000000 30.000000\"\n"
            "\t\ttranslate=\"4.000000 5.000000 6.000000\"\n"
            "\t\tvisibility=\"off\"\n"
            "\t\tdisplay_size=\"2\"\n"
            "\t\tvertex_size=\"7\" polygon_size=\"2\"\n"
            "\t\ttriangle_size=\"1\" quad_size=\"1\"\n"
            "\t\tvolume_min=\"-0.500000 -0.500000 -0.500000\"\n"
            "\t\tvolume_max=\"0.500000 0.500000 0.500000\"\n"
            "\t\tvolume_r=\"2.500000\"\n"
            "\t>\n"
            "\t\t<display index=\"0\" material=\"1\" polygon=\"0\" priority=\"3\"/>\n"
            "\t\t<display index=\"1\" material=\"0\" polygon=\"1\" priority=\"0\"/>\n"
            "\t</node>\n"
            "\t<node index=\"2\" name=\"abcdefghijklmnopq\" kind=\"joint\"\n"
            "\t\tparent=\"1\"\n"
            "\t\tchild=\"-1\"\n"
            "\t\tbrother_next=\"-1\"\n"
            "\t\tbrother_prev=\"-1\"\n"
            "\t\tdraw_mtx=\"on\"\n"
            "\t\tbillboard=\"off\"\n"
            "\t\tscale=\"1.000000 1.000000 1.000000\"\n"
            "\t\trotate=\"0.000000 0.000000 0.000000\"\n"
            "\t\ttranslate=\"0.000000 0.000000 0.000000\"\n"
            "\t\tvisibility=\"on\"\n"
            "\t\tdisplay_size=\"0\"\n"
            "\t>\n"
            "\t</node>\n"
            "\t<node index=\"3\" name=\"empty\" kind=\"null\"\n"
            "\t\tparent=\"-1\"\n"
            "\t\tchild=\"-1\"\n"
            "\t\tbrother_next=\"-1\"\n"
            "\t\tbrother_prev=\"1\"\n"
            "\t\tdraw_mtx=\"on\"\n"
            "\t\tbillboard=\"off\"\n"
            "\t\tscale=\"1.000000 1.000000 1.000000\"\n"
            "\t\trotate=\"0.000000 0.000000 0.000000\"\n"
            "\t\ttranslate=\"0.000000 0.000000 0.000000\"\n"
            "\t\tvisibility=\"on\"\n"
            "\t\tdisplay_size=\"0\"\n"
            "\t>\n"
            "\t</node>\n"
            "</node_array>\n");
  EXPECT_EQ(scene.warnings(),
            (std::vector<std::string>{
                "Warning: Length of name over 16 characters. node: abcdefghijklmnopq",
                "Warning: Mesh has no polygon: empty"}));
}

TEST(NodeArray, UniteModesTakeTheFirstFrameTransform) {
  for (CompressNode mode : {CompressNode::kUnite, CompressNode::kUniteCombine}) {
    ExportScene scene = hierarchy();
    scene.compress_node = mode;
    OutputFile out;
    write_node_array(out, scene, scene.log());
    EXPECT_NE(test::lf(out.text())
                  .find("\t\tscale=\"2.000000 2.000000 2.000000\"\n"
                        "\t\trotate=\"0.000000 90.000000 0.000000\"\n"
                        "\t\ttranslate=\"-1.000000 -2.000000 -3.000000\"\n"),
              std::string::npos);
  }
}

TEST(NodeArray, SizesCountStripsAsWritten) {
  ExportScene scene = hierarchy();
  PolygonSet& p0 = scene.polygons[0];
  p0.triangles = {tri(0, 1, 2), tri(1, 3, 2), tri(2, 3, 4)};
  p0.triangles[0].strip_flags = kTriStripHeadBit | 3;
  p0.triangles[0].next = 1;
  p0.triangles[1].next = 2;
  p0.triangles[2].next = kStripEnd;
  OutputFile out;
  write_node_array(out, scene, scene.log());
  // A strip of three triangles sends five vertices, the quad four.
  EXPECT_NE(out.text().find("vertex_size=\"9\" polygon_size=\"4\""), std::string::npos);
}

TEST(NodeArray, EmptyArrayAndEscapedNames) {
  ExportScene none;
  OutputFile out;
  write_node_array(out, none, none.log());
  EXPECT_EQ(test::lf(out.text()), "\n<node_array size=\"0\">\n</node_array>\n");

  ExportScene odd;
  odd.nodes = {make_node(1, "a<b>&\"c\"", kNodeJoint)};
  OutputFile named;
  write_node_array(named, odd, odd.log());
  EXPECT_NE(named.text().find("name=\"a&lt;b&gt;&amp;&quot;c&quot;\""), std::string::npos);
}

}  // namespace
}  // namespace kavro
