// Scenes from modelling tools: small glTF, OBJ and FBX files written here
// pin the mapping into the scene document (hierarchy, axes and units,
// transforms, user properties, welded meshes with quads kept, texture
// transforms, skins at the first frame, animation, materials) and the
// refusal of bad files.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "host/document_views.h"
#include "host/max_math.h"
#include "host/polygon_triangulation.h"
#include "host/scene_io.h"
#include "tests/support/gltf_builder.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

using max::Point3;
using max::Quat;

constexpr float kS = 0.70710678f;  // sin 45°

void expect_point(Point3 a, Point3 b, const std::string& what, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

host::SceneLoadResult load_text(const test::TempDir& dir, const std::string& name,
                                const std::string& text, const host::ImportOptions& o = {}) {
  test::write_file(dir.file(name), text);
  return host::load_scene_file(dir.file(name), o);
}

host::SceneLoadResult load_ok(const test::TempDir& dir, const std::string& name,
                              const std::string& text, const host::ImportOptions& o = {}) {
  host::SceneLoadResult r = load_text(dir, name, text, o);
  EXPECT_TRUE(r.ok) << r.error;
  return r;
}

const doc::Node* find(const doc::SceneDocument& d, const std::string& name) {
  for (const doc::Node& n : d.nodes) {
    if (n.name == name) return &n;
  }
  return nullptr;
}

bool has_warning(const host::SceneLoadResult& r, const std::string& part) {
  for (const std::string& w : r.warnings) {
    if (w.find(part) != std::string::npos) return true;
  }
  return false;
}

// A world matrix from the document's transforms at a frame.
max::Matrix3 world(const doc::SceneDocument& d, const doc::Node& n, double frame = 0) {
  max::Matrix3 m;
  for (const doc::Node* at = &n; at != nullptr;) {
    m = m * (max::ScaleMatrix(doc::evaluate(at->transform.scale, frame)) *
             max::QuatToMatrix(doc::evaluate(at->transform.rotation, frame)) *
             max::TransMatrix(doc::evaluate(at->transform.position, frame)));
    const doc::Node* parent = nullptr;
    for (const doc::Node& p : d.nodes) {
      if (p.id == at->parent) parent = &p;
    }
    at = parent;
  }
  return m;
}

// One triangle in the XY plane of the file.
int triangle_mesh(test::Gltf& g) {
  int pos = g.floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  int idx = g.indices({0, 1, 2});
  g.json()["meshes"].push_back(
      {{"primitives", {{{"attributes", {{"POSITION", pos}}}, {"indices", idx}}}}});
  return static_cast<int>(g.json()["meshes"].size()) - 1;
}

TEST(Import, TwoNodeGltfKeepsHierarchyRotationAndUserProperties) {
  test::TempDir dir;
  test::Gltf g;
  int mesh = triangle_mesh(g);
  g.json()["scenes"] = {{{"nodes", {0}}}};
  g.json()["nodes"] = {
      {{"name", "Parent"},
       {"translation", {1, 2, 3}},
       {"children", {1}},
       {"extras", {{"Kvs_billboard", "Billboard"}, {"Kvs_no_cut", true}, {"lod", 2}}}},
      {{"name", "Child"}, {"rotation", {0, 0, kS, kS}}, {"mesh", mesh}}};
  host::SceneLoadResult r = load_ok(dir, "two.gltf", g.text());
  const doc::SceneDocument& d = r.document;
  ASSERT_EQ(d.nodes.size(), 2u);  // the file's own root is not a node
  const doc::Node* parent = find(d, "Parent");
  const doc::Node* child = find(d, "Child");
  ASSERT_TRUE(parent && child);
  EXPECT_EQ(parent->parent, doc::kNone);
  EXPECT_EQ(child->parent, parent->id);
  EXPECT_EQ(d.file_name, "two.gltf");
  // Y up to Z up: (x, y, z) becomes (x, -z, y).
  expect_point(parent->transform.position.value, {1, -3, 2}, "parent position");
  // 90 degrees about the file's Z is 90 degrees about the host's -Y.
  Quat q = child->transform.rotation.value;
  EXPECT_NEAR(q.x, 0, 1e-6);
  EXPECT_NEAR(q.y, -kS, 1e-6);
  EXPECT_NEAR(q.z, 0, 1e-6);
  EXPECT_NEAR(q.w, kS, 1e-6);
  expect_point(child->transform.scale.value, {1, 1, 1}, "child scale", 0);
  // The mesh corner (1, 0, 0) of the file lands at the file's (1, 3, 3):
  // turned to (0, 1, 0) and moved by the parent. In the host: (1, -3, 3).
  ASSERT_TRUE(child->object.has_mesh);
  Point3 corner = child->object.mesh.vertices[1] * world(d, *child);
  expect_point(corner, {1, -3, 3}, "corner in the world");
  // Extras arrive as user properties the exporter reads.
  std::unique_ptr<max::DocumentHost> views = max::make_document_host(r.document);
  max::INode* p = views->GetCOREInterface().GetRootNode()->GetChildNode(0);
  std::string billboard;
  bool no_cut = false;
  ASSERT_TRUE(p->GetUserPropString("Kvs_billboard", billboard));
  EXPECT_EQ(billboard, "Billboard");
  ASSERT_TRUE(p->GetUserPropBool("Kvs_no_cut", no_cut));
  EXPECT_TRUE(no_cut);
  std::string lod;
  ASSERT_TRUE(p->GetUserPropString("lod", lod));
  EXPECT_EQ(lod, "2");
  EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
}

TEST(Import, ObjQuadsStayQuadsAndPositionsAreWelded) {
  test::TempDir dir;
  // A quad, a pentagon and a triangle; the eighth position repeats the first.
  host::SceneLoadResult r = load_ok(dir, "shapes.obj",
                                    "o Shapes\n"
                                    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                    "v 2 0 0\nv 3 0.5 0\nv 2.5 1.5 0\nv 0 0 0\n"
                                    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                    "f 1/1 2/2 3/3 4/4\n"
                                    "f 2/1 5/2 6/3 7/4 3/1\n"
                                    "f 8/1 2/2 4/4\n");
  const doc::SceneDocument& d = r.document;
  const doc::Node* shapes = find(d, "Shapes");
  ASSERT_NE(shapes, nullptr);
  const doc::Mesh& m = shapes->object.mesh;
  ASSERT_EQ(m.vertices.size(), 7u);
  // (1, 1, 0) of the Y-up file is (1, 0, 1) in the host.
  expect_point(m.vertices[2], {1, 0, 1}, "third position", 0);
  EXPECT_EQ(m.tex_vertices.size(), 4u);  // texture coordinates keep their own indices
  ASSERT_EQ(m.polygons.size(), 3u);
  EXPECT_EQ(m.polygons[0].v, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(m.polygons[1].v, (std::vector<int>{1, 4, 5, 6, 2}));
  EXPECT_EQ(m.polygons[2].v, (std::vector<int>{0, 1, 3}));
  // Two triangles for the quad, three for the pentagon, one for the triangle.
  ASSERT_EQ(m.faces.size(), 6u);
  for (int f = 0; f < 2; ++f) {
    for (int k = 0; k < 3; ++k) {
      int v = m.faces[f].v[k];
      EXPECT_TRUE(v >= 0 && v <= 3) << "quad triangle " << f;
    }
  }
  EXPECT_EQ(m.faces[5].v, (std::array<int, 3>{0, 1, 3}));
  // The first quad corner's texture vertex is (0, 0), its fourth (0, 1).
  EXPECT_EQ(m.tex_vertices[m.faces[5].t[0]], (Point3{0, 0, 0}));
  EXPECT_EQ(m.tex_vertices[m.faces[5].t[2]], (Point3{0, 1, 0}));
  // One normal: everything lies in one plane, facing the file's +Z (host -Y).
  ASSERT_EQ(m.normals.size(), 1u);
  expect_point(m.normals[0], {0, -1, 0}, "normal");
}

TEST(Import, TextureTransformWrapModesAndEmbeddedImage) {
  test::TempDir dir;
  test::Gltf g;
  int pos = g.floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  int uv = g.floats({0, 0, 1, 0, 0, 1}, "VEC2");
  int idx = g.indices({0, 1, 2});
  // A 1 x 1 PNG.
  const std::string png_b64 =
      "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/"
      "q842iQAAAABJRU5ErkJggg==";
  auto& j = g.json();
  j["extensionsUsed"] = {"KHR_texture_transform"};
  j["scenes"] = {{{"nodes", {0}}}};
  j["nodes"] = {{{"name", "N"}, {"mesh", 0}}};
  j["meshes"] = {{{"primitives",
                   {{{"attributes", {{"POSITION", pos}, {"TEXCOORD_0", uv}}},
                     {"indices", idx},
                     {"material", 0}}}}}};
  j["materials"] = {
      {{"name", "Tiles"},
       {"pbrMetallicRoughness",
        {{"baseColorFactor", {0.5, 0.25, 1, 1}},
         {"baseColorTexture",
          {{"index", 0},
           {"extensions",
            {{"KHR_texture_transform", {{"offset", {0.25, 0.5}}, {"scale", {2, 3}}}}}}}}}}}};
  j["textures"] = {{{"source", 0}, {"sampler", 0}}};
  j["samplers"] = {{{"wrapS", 33648}, {"wrapT", 33071}}};  // mirrored repeat, clamp
  j["images"] = {{{"uri", "data:image/png;base64," + png_b64}}};
  host::SceneLoadResult r = load_ok(dir, "uv.gltf", g.text());
  const doc::SceneDocument& d = r.document;
  ASSERT_EQ(d.materials.size(), 1u);
  const doc::Material& m = d.materials[0];
  EXPECT_EQ(m.name, "Tiles");
  EXPECT_EQ(m.cls, doc::MaterialClass::kKavroStandard);
  expect_point(m.diffuse.value, {0.5f, 0.25f, 1}, "diffuse", 0);
  ASSERT_TRUE(m.has_diffuse_map);
  const doc::Texmap& t = m.diffuse_map;
  // glTF's u' = 2u + 0.25 and, with v measured from the top, v' = 3v + 0.5.
  // Measured from the bottom (v = 1 - v_top) that is v' = 3v + (1 - 3 - 0.5).
  EXPECT_FLOAT_EQ(t.u_offset.value, 0.25f);
  EXPECT_FLOAT_EQ(t.v_offset.value, -2.5f);
  EXPECT_FLOAT_EQ(t.u_tiling.value, 2);
  EXPECT_FLOAT_EQ(t.v_tiling.value, 3);
  EXPECT_FLOAT_EQ(t.w_angle.value, 0);
  EXPECT_EQ(t.tiling, doc::kUWrap | doc::kUMirror);
  // The embedded image gets a file name of its own, written on saving.
  EXPECT_EQ(t.file, "uv_0.png");
  ASSERT_EQ(d.embedded_images.size(), 1u);
  EXPECT_EQ(d.embedded_images[0].file, "uv_0.png");
  EXPECT_EQ(d.embedded_images[0].bytes.substr(1, 3), "PNG");
  // The texture coordinates measured from the bottom: glTF's (0, 0) is the
  // top-left corner, (0, 1) here.
  const doc::Mesh& mesh = d.nodes[0].object.mesh;
  EXPECT_EQ(mesh.tex_vertices[mesh.faces[0].t[0]], (Point3{0, 1, 0}));

  // Saving writes the image beside the document, or into the maps folder.
  std::string error;
  ASSERT_TRUE(host::save_scene_file(d, dir.file("beside.kscene"), {}, error)) << error;
  EXPECT_EQ(test::read_file(dir.file("uv_0.png")), d.embedded_images[0].bytes);
  host::SaveOptions maps;
  maps.maps_dir = dir.file("maps");
  ASSERT_TRUE(host::save_scene_file(d, dir.file("away.kscene"), maps, error)) << error;
  EXPECT_TRUE(test::file_exists(dir.file("maps/uv_0.png")));
  EXPECT_NE(test::read_file(dir.file("away.kscene")).find("\"file\": \"maps/uv_0.png\""),
            std::string::npos);
  // Standard materials on request.
  host::ImportOptions standard;
  standard.standard_materials = true;
  EXPECT_EQ(load_ok(dir, "uv.gltf", g.text(), standard).document.materials[0].cls,
            doc::MaterialClass::kStandard);
}

// A mesh over two joints: Root at the origin, Tip one unit up; vertex 0 on
// Root, vertex 1 on Tip, vertex 2 half on each. At the first frame Tip is
// turned 90 degrees about Z; at one second it is straight again.
test::Gltf skinned_gltf() {
  test::Gltf g;
  int pos = g.floats({0, 0, 0, 0, 2, 0, 1, 2, 0}, "VEC3");
  int idx = g.indices({0, 1, 2});
  int joints = g.joints({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
  int weights = g.floats({1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0}, "VEC4");
  std::vector<float> ibm = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,
                            1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1};
  int inverse_bind = g.floats(ibm, "MAT4");
  int times = g.floats({0, 1}, "SCALAR");
  int turns = g.floats({0, 0, kS, kS, 0, 0, 0, 1}, "VEC4");
  auto& j = g.json();
  j["scenes"] = {{{"nodes", {0, 1}}}};
  j["nodes"] = {{{"name", "Body"}, {"mesh", 0}, {"skin", 0}},
                {{"name", "Root"}, {"children", {2}}},
                {{"name", "Tip"}, {"translation", {0, 1, 0}}}};
  j["skins"] = {{{"joints", {1, 2}}, {"inverseBindMatrices", inverse_bind}}};
  j["meshes"] = {
      {{"primitives",
        {{{"attributes", {{"POSITION", pos}, {"JOINTS_0", joints}, {"WEIGHTS_0", weights}}},
          {"indices", idx}}}}}};
  j["animations"] = {
      {{"name", "Bend"},
       {"samplers", {{{"input", times}, {"output", turns}, {"interpolation", "LINEAR"}}}},
       {"channels", {{{"sampler", 0}, {"target", {{"node", 2}, {"path", "rotation"}}}}}}}};
  return g;
}

TEST(Import, SkinnedMeshIsStoredAsItStandsAtTheFirstFrame) {
  test::TempDir dir;
  test::Gltf g = skinned_gltf();
  host::SceneLoadResult r = load_ok(dir, "skin.gltf", g.text());
  const doc::SceneDocument& d = r.document;
  const doc::Node* body = find(d, "Body");
  const doc::Node* root = find(d, "Root");
  const doc::Node* tip = find(d, "Tip");
  ASSERT_TRUE(body && root && tip);
  EXPECT_EQ(root->object.cls, doc::ObjectClass::kBone);
  EXPECT_EQ(tip->object.cls, doc::ObjectClass::kBone);
  // File positions at frame 0: vertex 1, (0, 1, 0) from Tip, turned to
  // (-1, 0, 0) and moved up by one: (-1, 1, 0). Vertex 2: Tip's part (1, 1, 0)
  // turned and moved gives (-1, 2, 0), Root's part (1, 2, 0); half of each:
  // (0, 2, 0). In the host (x, -z, y).
  const doc::Mesh& m = body->object.mesh;
  ASSERT_EQ(m.vertices.size(), 3u);
  expect_point(m.vertices[0], {0, 0, 0}, "vertex 0");
  expect_point(m.vertices[1], {-1, 0, 1}, "vertex 1");
  expect_point(m.vertices[2], {0, 0, 2}, "vertex 2");
  ASSERT_EQ(body->object.modifiers.size(), 1u);
  const doc::Modifier& skin = body->object.modifiers[0];
  ASSERT_EQ(skin.type, doc::ModifierType::kSkin);
  ASSERT_EQ(skin.weights.size(), 3u);
  auto bone_of = [&](const doc::Influence& i) { return skin.bones[i.bone]; };
  ASSERT_EQ(skin.weights[1].size(), 1u);
  EXPECT_EQ(bone_of(skin.weights[1][0]), tip->id);
  ASSERT_EQ(skin.weights[2].size(), 2u);
  EXPECT_FLOAT_EQ(skin.weights[2][0].weight + skin.weights[2][1].weight, 1.0f);
  // The rotation keys at 0 and 1 second: frames 0 and 30 at 30 frames a second.
  ASSERT_EQ(tip->transform.rotation.keys.size(), 2u);
  EXPECT_EQ(tip->transform.rotation.keys[1].frame, 30);
  EXPECT_EQ(d.start_frame, 0);
  EXPECT_EQ(d.end_frame, 30);
  // --fps 10: the second key at frame 10.
  host::ImportOptions ten;
  ten.fps = 10;
  host::SceneLoadResult slow = load_ok(dir, "skin.gltf", g.text(), ten);
  EXPECT_EQ(find(slow.document, "Tip")->transform.rotation.keys[1].frame, 10);
  EXPECT_EQ(slow.document.end_frame, 10);
}

TEST(Import, AnimationsAreChosenByNameOrPosition) {
  test::TempDir dir;
  test::Gltf g;
  int mesh = triangle_mesh(g);
  int times = g.floats({0, 2}, "SCALAR");
  int moves = g.floats({0, 0, 0, 0, 5, 0}, "VEC3");
  int times2 = g.floats({0, 1}, "SCALAR");
  int moves2 = g.floats({0, 0, 0, 3, 0, 0}, "VEC3");
  auto& j = g.json();
  j["scenes"] = {{{"nodes", {0}}}};
  j["nodes"] = {{{"name", "Box"}, {"mesh", mesh}}};
  auto anim = [&](const char* name, int in, int out) {
    return nlohmann::json{
        {"name", name},
        {"samplers", {{{"input", in}, {"output", out}}}},
        {"channels", {{{"sampler", 0}, {"target", {{"node", 0}, {"path", "translation"}}}}}}};
  };
  j["animations"] = {anim("Walk", times, moves), anim("Run", times2, moves2)};
  std::string text = g.text();
  host::SceneLoadResult first = load_ok(dir, "anim.gltf", text);
  EXPECT_TRUE(has_warning(first, "only the first, \"Walk\"")) << first.warnings.size();
  EXPECT_EQ(first.document.end_frame, 60);
  // (0, 5, 0) of the file is (0, 0, 5) in the host.
  expect_point(first.document.nodes[0].transform.position.keys.back().value, {0, 0, 5}, "walk");
  for (const char* which : {"Run", "1"}) {
    host::ImportOptions o;
    o.animation = which;
    host::SceneLoadResult run = load_ok(dir, "anim.gltf", text, o);
    EXPECT_EQ(run.document.end_frame, 30) << which;
    expect_point(run.document.nodes[0].transform.position.keys.back().value, {3, 0, 0}, which);
  }
  host::ImportOptions missing;
  missing.animation = "Jump";
  host::SceneLoadResult jump = load_text(dir, "anim.gltf", text, missing);
  EXPECT_FALSE(jump.ok);
  EXPECT_NE(jump.error.find("no animation \"Jump\""), std::string::npos) << jump.error;
  EXPECT_NE(jump.error.find("\"Walk\", \"Run\""), std::string::npos) << jump.error;
}

TEST(Import, SeveralMeshesOfANodeShareOneMultiMaterial) {
  test::TempDir dir;
  test::Gltf g;
  int pos = g.floats({0, 0, 0, 1, 0, 0, 0, 1, 0}, "VEC3");
  int pos2 = g.floats({0, 0, 0, 1, 0, 0, 0, 0, 1}, "VEC3");
  int idx = g.indices({0, 1, 2});
  auto& j = g.json();
  j["scenes"] = {{{"nodes", {0}}}};
  j["nodes"] = {{{"name", "Two"}, {"mesh", 0}}};
  j["materials"] = {{{"name", "Red"}}, {{"name", "Blue"}}};
  j["meshes"] = {{{"primitives",
                   {{{"attributes", {{"POSITION", pos}}}, {"indices", idx}, {"material", 0}},
                    {{"attributes", {{"POSITION", pos2}}}, {"indices", idx}, {"material", 1}}}}}};
  host::SceneLoadResult r = load_ok(dir, "two_materials.gltf", g.text());
  const doc::SceneDocument& d = r.document;
  const doc::Node* two = find(d, "Two");
  ASSERT_NE(two, nullptr);
  ASSERT_NE(two->material, doc::kNone);
  const doc::Material& multi = d.materials[two->material];
  EXPECT_EQ(multi.cls, doc::MaterialClass::kMulti);
  ASSERT_EQ(multi.sub_materials.size(), 2u);
  EXPECT_EQ(multi.sub_materials[0].name, "Red");
  EXPECT_EQ(multi.sub_materials[1].name, "Blue");
  const doc::Mesh& m = two->object.mesh;
  ASSERT_EQ(m.faces.size(), 2u);
  EXPECT_EQ(m.faces[0].material, 0);
  EXPECT_EQ(m.faces[1].material, 1);
  // The shared corners (0, 0, 0) and (1, 0, 0) are one vertex each.
  EXPECT_EQ(m.vertices.size(), 4u);
}

// An FBX file as a tool that works Y up in inches writes it.
std::string fbx(int up, int front, int front_sign, double unit, const std::string& model_props) {
  return "; FBX 7.4.0 project file\n"
         "FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n}\n"
         "GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n"
         "\t\tP: \"UpAxis\", \"int\", \"Integer\", \"\"," +
         std::to_string(up) +
         "\n"
         "\t\tP: \"UpAxisSign\", \"int\", \"Integer\", \"\",1\n"
         "\t\tP: \"FrontAxis\", \"int\", \"Integer\", \"\"," +
         std::to_string(front) +
         "\n"
         "\t\tP: \"FrontAxisSign\", \"int\", \"Integer\", \"\"," +
         std::to_string(front_sign) +
         "\n"
         "\t\tP: \"CoordAxis\", \"int\", \"Integer\", \"\",0\n"
         "\t\tP: \"CoordAxisSign\", \"int\", \"Integer\", \"\",1\n"
         "\t\tP: \"UnitScaleFactor\", \"double\", \"Number\", \"\"," +
         std::to_string(unit) +
         "\n\t}\n}\n"
         "Objects:  {\n"
         "\tGeometry: 100, \"Geometry::Tri\", \"Mesh\" {\n"
         "\t\tVertices: *9 {\n\t\t\ta: 0,0,0,10,0,0,0,10,0\n\t\t}\n"
         "\t\tPolygonVertexIndex: *3 {\n\t\t\ta: 0,1,-3\n\t\t}\n\t}\n"
         "\tModel: 200, \"Model::Tri\", \"Mesh\" {\n\t\tVersion: 232\n\t\tProperties70:  {\n"
         "\t\t\tP: \"Lcl Translation\", \"Lcl Translation\", \"\", \"A\",0,5,0\n" +
         model_props +
         "\t\t}\n\t}\n}\nConnections:  {\n\tC: \"OO\",200,0\n\tC: \"OO\",100,200\n}\n";
}

TEST(Import, FbxAxesAndUnitsBecomeZUpMetres) {
  test::TempDir dir;
  const std::string props =
      "\t\t\tP: \"Kvs_billboard\", \"KString\", \"\", \"U\", \"Y-Billboard\"\n"
      "\t\t\tP: \"Kvs_no_cut\", \"bool\", \"\", \"U\",1\n";
  // Y up, 2.54 centimetres a unit: 10 units are 0.254 metres; the file's Y
  // is the host's Z.
  host::SceneLoadResult y_up = load_ok(dir, "y_up.fbx", fbx(1, 2, 1, 2.54, props));
  const doc::Node* tri = find(y_up.document, "Tri");
  ASSERT_NE(tri, nullptr);
  expect_point(tri->transform.position.value, {0, 0, 0.127f}, "position");
  const doc::Mesh& m = tri->object.mesh;
  ASSERT_EQ(m.vertices.size(), 3u);
  expect_point(m.vertices[1], {0.254f, 0, 0}, "x corner");
  expect_point(m.vertices[2], {0, 0, 0.254f}, "y corner");
  std::unique_ptr<max::DocumentHost> views = max::make_document_host(y_up.document);
  max::INode* node = views->GetCOREInterface().GetRootNode()->GetChildNode(0);
  std::string billboard;
  bool no_cut = false;
  ASSERT_TRUE(node->GetUserPropString("Kvs_billboard", billboard));
  EXPECT_EQ(billboard, "Y-Billboard");
  ASSERT_TRUE(node->GetUserPropBool("Kvs_no_cut", no_cut));
  EXPECT_TRUE(no_cut);

  // Z up with the front along -Y (the host's own frame), in centimetres:
  // only the unit changes; --scale multiplies after it.
  host::ImportOptions tenfold;
  tenfold.scale = 10;
  host::SceneLoadResult z_up = load_ok(dir, "z_up.fbx", fbx(2, 1, -1, 1.0, ""), tenfold);
  const doc::Node* z = find(z_up.document, "Tri");
  ASSERT_NE(z, nullptr);
  expect_point(z->transform.position.value, {0, 0.5f, 0}, "z-up position");
  expect_point(z->object.mesh.vertices[2], {0, 1, 0}, "z-up y corner");
}

TEST(Import, CamerasAndLightsLookWhereTheFileSays) {
  test::TempDir dir;
  test::Gltf g;
  auto& j = g.json();
  j["extensionsUsed"] = {"KHR_lights_punctual"};
  j["extensions"] = {
      {"KHR_lights_punctual",
       {{"lights", {{{"type", "directional"}, {"color", {1, 0.5, 0.25}}, {"intensity", 2}}}}}}};
  j["cameras"] = {
      {{"type", "perspective"},
       {"perspective", {{"yfov", 0.8}, {"aspectRatio", 1.5}, {"znear", 0.1}, {"zfar", 100}}}}};
  j["scenes"] = {{{"nodes", {0, 1}}}};
  j["nodes"] = {{{"name", "Cam"}, {"camera", 0}, {"translation", {0, 1, 5}}},
                {{"name", "Sun"}, {"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}}};
  host::SceneLoadResult r = load_ok(dir, "lights.gltf", g.text());
  const doc::Node* cam = find(r.document, "Cam");
  const doc::Node* sun = find(r.document, "Sun");
  ASSERT_TRUE(cam && sun);
  ASSERT_EQ(cam->object.cls, doc::ObjectClass::kCamera);
  const doc::Camera& c = cam->object.camera;
  EXPECT_EQ(c.projection, 0);
  EXPECT_NEAR(c.fov, 0.8 * 180 / 3.14159265358979, 1e-3);  // glTF's vertical angle
  EXPECT_FLOAT_EQ(c.aspect, 1.5f);
  EXPECT_FLOAT_EQ(c.near_plane, 0.1f);
  EXPECT_FLOAT_EQ(c.far_plane, 100);
  // glTF cameras and lights look along their -Z, into the screen: the
  // host's +Y. The host's look along their node's -Z with +Y up (the file's
  // up, the host's +Z).
  expect_point(max::VectorTransform(world(r.document, *cam), {0, 0, -1}), {0, 1, 0}, "camera look");
  expect_point(max::VectorTransform(world(r.document, *cam), {0, 1, 0}), {0, 0, 1}, "camera up");
  expect_point(world(r.document, *cam).GetTrans(), {0, -5, 1}, "camera place");
  ASSERT_EQ(sun->object.cls, doc::ObjectClass::kLight);
  EXPECT_EQ(sun->object.light.type, doc::LightType::kDirectional);
  // The colour times its intensity, brought back into 0 to 1.
  expect_point(sun->object.light.color.value, {1, 0.5f, 0.25f}, "light colour");
  expect_point(max::VectorTransform(world(r.document, *sun), {0, 0, -1}), {0, 1, 0}, "light look");
}

TEST(Import, BadFilesAreRefusedWithTheFileAndTheReason) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  };
  test::Gltf nan;
  int pos = nan.floats({0, 0, 0, std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 1, 0}, "VEC3");
  nan.json()["accessors"][pos]["min"] = {0, 0, 0};
  nan.json()["accessors"][pos]["max"] = {1, 1, 0};
  int idx = nan.indices({0, 1, 2});
  nan.json()["meshes"] = {
      {{"primitives", {{{"attributes", {{"POSITION", pos}}}, {"indices", idx}}}}}};
  nan.json()["scenes"] = {{{"nodes", {0}}}};
  nan.json()["nodes"] = {{{"name", "Bad"}, {"mesh", 0}}};
  // A position the importer reads but a scene document may not hold.
  test::Gltf huge;
  int far = huge.floats({0, 0, 0, 1e20f, 0, 0, 0, 1, 0}, "VEC3");
  huge.json()["accessors"][far]["min"] = {0, 0, 0};
  huge.json()["accessors"][far]["max"] = {1e20, 1, 0};
  int far_idx = huge.indices({0, 1, 2});
  huge.json()["meshes"] = {
      {{"primitives", {{{"attributes", {{"POSITION", far}}}, {"indices", far_idx}}}}}};
  huge.json()["scenes"] = {{{"nodes", {0}}}};
  huge.json()["nodes"] = {{{"name", "Far"}, {"mesh", 0}}};
  test::Gltf cycle;
  cycle.json()["scenes"] = {{{"nodes", {0}}}};
  cycle.json()["nodes"] = {{{"name", "A"}, {"children", {1}}}, {{"name", "B"}, {"children", {0}}}};
  test::Gltf good = skinned_gltf();
  std::string truncated = good.text();
  truncated.resize(truncated.size() / 2);
  std::string deep_obj;
  const Case cases[] = {
      {"garbage.fbx", "this is not a scene at all", "cannot be imported"},
      {"truncated.gltf", truncated, "cannot be imported"},
      {"nan.gltf", nan.text(), "not a number"},
      {"huge.gltf", huge.text(),
       "cannot be used: at /nodes/0/object/mesh/vertices/1/0: the number is too large"},
      {"cycle.gltf", cycle.text(), ""},
      {"empty.obj", "", "cannot be imported"},
      {"huge.off", "OFF\n99999999999 1 0\n0 0 0\n", "declares 99999999999 vertices"},
      {"huge.ply", "ply\nformat ascii 1.0\nelement vertex 4000000000\nend_header\n",
       "declares 4000000000 elements"},
      // Headers Assimp's reader would loop on for ever are refused first.
      {"unended.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n",
       "has no end_header line"},
      {"mistyped.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty floa 1 2\nend_header\n",
       "broken property line: property floa 1 2"},
      {"late.ply", "\x04ply\nformat ascii 1.0\nend_header\n", "does not begin with \"ply\""},
      {"format.ply", "ply\nformat text 1.0\nend_header\n", "unknown format"},
      // Assimp reads content it recognises whatever the extension says.
      {"named.gltf", "ply\nformat ascii 1.0\nelement vertex 3\n", "has no end_header line"},
  };
  for (const Case& c : cases) {
    host::SceneLoadResult r = load_text(dir, c.name, c.text);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.error.rfind(dir.file(c.name) + ": ", 0), 0u) << c.name << ": " << r.error;
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.name << ": " << r.error;
  }
  host::SceneLoadResult missing = host::load_scene_file(dir.file("none.fbx"));
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, dir.file("none.fbx") + ": the file does not exist");
  host::SceneLoadResult folder = host::load_scene_file(dir.path());
  EXPECT_NE(folder.error.find("is a folder"), std::string::npos) << folder.error;
}

TEST(Import, TexturePathsBecomePortable) {
  test::TempDir dir;
  test::write_file(dir.file("paths.mtl"),
                   "newmtl Wood\nKd 1 1 1\nmap_Kd maps\\wood.png\n"
                   "newmtl Stone\nKd 1 1 1\nmap_Kd C:\\art\\stone.png\n");
  host::SceneLoadResult r = load_ok(dir, "paths.obj",
                                    "mtllib paths.mtl\no A\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                    "usemtl Wood\nf 1 2 3\no B\nv 0 0 1\nv 1 0 1\nv 0 1 1\n"
                                    "usemtl Stone\nf 4 5 6\n");
  std::vector<std::string> files;
  for (const doc::Material& m : r.document.materials) {
    if (m.has_diffuse_map) files.push_back(m.diffuse_map.file);
  }
  // A relative path takes "/"; a drive path stays as it is.
  EXPECT_EQ(files, (std::vector<std::string>{"maps/wood.png", "C:\\art\\stone.png"}));
}

TEST(Import, NamesTheHostCodePageCannotHoldAreMadeSafe) {
  test::TempDir dir;
  test::Gltf g;
  int mesh = triangle_mesh(g);
  g.json()["scenes"] = {{{"nodes", {0}}}};
  // "ロボ" then U+1F600, which CP932 lacks.
  g.json()["nodes"] = {{{"name", "\xE3\x83\xAD\xE3\x83\x9C\xF0\x9F\x98\x80"}, {"mesh", mesh}}};
  host::SceneLoadResult r = load_ok(dir, "names.gltf", g.text());
  ASSERT_EQ(r.document.nodes.size(), 1u);
  EXPECT_EQ(r.document.nodes[0].name, "\x83\x8D\x83\x7B_");
  EXPECT_TRUE(has_warning(r, "cannot hold")) << r.warnings.size();
}

TEST(PolygonTriangulation, ConcavePolygonsStayInsideTheirOutline) {
  // An L: six corners, one of them reflex; and a comb with three teeth.
  const std::vector<std::vector<Point3>> outlines = {
      {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}},
      {{0, 0, 0},
       {5, 0, 0},
       {5, 2, 0},
       {4, 2, 0},
       {4, 1, 0},
       {3, 1, 0},
       {3, 2, 0},
       {2, 2, 0},
       {2, 1, 0},
       {1, 1, 0},
       {1, 2, 0},
       {0, 2, 0}},
  };
  const double areas[] = {3, 8};
  for (std::size_t o = 0; o < outlines.size(); ++o) {
    // The same outline in the X Z plane.
    for (bool turned : {false, true}) {
      std::vector<Point3> c = outlines[o];
      if (turned) {
        for (Point3& p : c) p = {p.y, 0, p.x};
      }
      auto tris = host::triangulate_polygon(c);
      ASSERT_EQ(tris.size(), c.size() - 2) << o;
      double sum = 0;
      for (const auto& t : tris) {
        Point3 n = max::CrossProd(c[t[1]] - c[t[0]], c[t[2]] - c[t[0]]);
        double signed_area = turned ? n.y : n.z;
        // Every triangle winds as the polygon (no flipped, outside ones).
        EXPECT_GT(signed_area, 0) << o;
        sum += std::fabs(signed_area) / 2;
      }
      EXPECT_NEAR(sum, areas[o], 1e-9) << o;
    }
  }
}

}  // namespace
}  // namespace kavro
