// Extraction from small scene documents: the export filter, naming, polygon
// sets, quadrilaterals, subdivision and NURBS messages, skins, transform and
// visibility samples, hierarchy order, selection exports, materials, lights
// and cameras.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

struct Extraction {
  host::RecordingHost host;
  ExportScene scene;
  bool ok = false;

  bool has_warning(const std::string& w) const {
    const auto& ws = scene.warnings();
    return std::find(ws.begin(), ws.end(), w) != ws.end();
  }
  const SceneNode* node(const std::string& name) const {
    for (const SceneNode& n : scene.nodes) {
      if (n.name == name) return &n;
    }
    return nullptr;
  }
  std::vector<std::string> node_names() const {
    std::vector<std::string> out;
    for (const SceneNode& n : scene.nodes) out.push_back(n.name);
    return out;
  }
  std::vector<std::string> warnings_starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& w : scene.warnings()) {
      if (w.rfind(prefix, 0) == 0) out.push_back(w);
    }
    return out;
  }
  int messages_with(const std::string& text) const {
    int n = 0;
    for (const auto& m : host.messages) n += m.text == text ? 1 : 0;
    return n;
  }
};

struct Settings {
  Triangulation triangulation = Triangulation::kAsIs;
  bool force_full_weight = false;
  bool export_all = true;
  std::vector<std::string> select;
  // The folder relative bitmap names are found in, and the map folders.
  std::string folder;
  std::vector<std::string> map_paths;
};

Settings triangulating(Triangulation mode) {
  Settings s;
  s.triangulation = mode;
  return s;
}

// Runs extraction as the export driver does (steps 5 to 12).
void extract(Extraction& run, const std::string& json, const Settings& settings = {}) {
  doc::LoadResult loaded = doc::parse_scene_document(json, "test.kscene");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  loaded.document.folder = settings.folder;
  loaded.document.map_paths.insert(loaded.document.map_paths.end(), settings.map_paths.begin(),
                                   settings.map_paths.end());
  auto document = max::make_document_host(std::move(loaded.document));
  if (!settings.select.empty()) {
    ASSERT_TRUE(document->select_by_names(settings.select));
  }
  HostExtraction ex(std::move(document), run.host);
  ExportScene& scene = run.scene;
  scene.host_interface = &run.host;
  scene.stage_count = 10;
  SceneRange range = ex.scene_range();
  scene.start_frame = range.start_time / range.ticks_per_frame;
  scene.end_frame = range.end_time / range.ticks_per_frame;
  scene.frame_count = scene.end_frame - scene.start_frame + 1;
  scene.triangulation = settings.triangulation;
  scene.force_full_weight = settings.force_full_weight;
  ExportOptions options{};
  reset_options(options, true);
  options.triangulation = settings.triangulation;
  options.force_full_weight = settings.force_full_weight ? 1 : 0;
  options.export_all = settings.export_all ? ExportScope::kAll : ExportScope::kSelection;
  ex.initialise(settings.export_all);
  ex.switch_off_skins();
  run.ok = ex.extract_materials(scene, options) && ex.extract_nodes(scene, options);
  ex.switch_on_skins();
  if (run.ok) ex.extract_lights(scene);
  ex.release();
}

std::string scene_json(const std::string& nodes, const std::string& materials = "",
                       const std::string& extra = "") {
  return R"({"format":"kavro-scene","version":1,)" + extra + R"("materials":[)" + materials +
         R"(],"nodes":[)" + nodes + "]}";
}

// A unit square in the host's XY plane as two triangles and one polygon.
std::string square_mesh(const std::string& polygons = R"([{"v":[0,1,2,3]}])", float lift = 0) {
  return R"({"vertices":[[0,0,0],[1,0,0],[1,1,)" + std::to_string(lift) +
         R"(],[0,1,0]],"faces":[[0,1,2],[0,2,3]],"polygons":)" + polygons + "}";
}

std::string mesh_node(int id, const std::string& name, const std::string& more = "",
                      const std::string& mesh = square_mesh()) {
  return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name + R"(",)" + more +
         R"("object":{"class":"mesh","mesh":)" + mesh + "}}";
}

void expect_vec(Vec3 a, Vec3 b, float tol = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// ---------------------------------------------------------------------------

TEST(ExtractNodes, ExportFilter) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"HiddenParent","hidden":true},
      {"id":2,"name":"Child","parent":1},
      {"id":3,"name":"HiddenLeaf","hidden":true},
      {"id":4,"name":"Target","target":true},
      {"id":5,"name":"KeptLeaf","hidden":true,"user_properties":{"Kvs_no_cut":true}},
      {"id":6,"name":"KeptTarget","target":true,"user_properties":{"Kvs_no_cut":1}})"));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(),
            (std::vector<std::string>{"HiddenParent", "Child", "KeptLeaf", "KeptTarget"}));
  EXPECT_EQ(run.node("KeptLeaf")->no_cut, 1);
  EXPECT_EQ(run.node("Child")->no_cut, 0);
}

TEST(ExtractNodes, NamesAreMadeUniqueWithSuffixes) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box 01") + "," + mesh_node(2, "Box-01") + "," +
                          mesh_node(3, "Box_01")));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"Box_01", "Box_01_1", "Box_01_2"}));
  ASSERT_EQ(run.scene.polygons.size(), 3u);
  EXPECT_EQ(run.scene.polygons[1].node_name, "Box_01_1");
  EXPECT_EQ(run.scene.polygons[2].node_name, "Box_01_2");
  EXPECT_TRUE(run.has_warning("Warning: Node name changed: Box-01"));
  EXPECT_TRUE(run.has_warning("Warning: Node name changed: Box_01"));
  EXPECT_FALSE(run.has_warning("Warning: Node name changed: Box 01"));
}

TEST(ExtractNodes, UniqueNameIsOnePassOverEarlierNames) {
  // "a" meets "a" (becomes a_1), then "a_1" (becomes a_2); "a_2" came
  // before the change and is not looked at again.
  std::vector<std::string> earlier = {"a_2", "a", "a_1"};
  bool changed = false;
  std::string name = unique_name(
      "a", earlier.size(), [&](std::size_t i) -> const std::string& { return earlier[i]; },
      &changed);
  EXPECT_EQ(name, "a_2");
  EXPECT_TRUE(changed);
  EXPECT_EQ(
      unique_name(
          "b c", 0, [&](std::size_t i) -> const std::string& { return earlier[i]; }, &changed),
      "b_c");
  EXPECT_TRUE(changed);
}

TEST(ExtractNodes, IndexedUniqueNamesEqualThePlainPass) {
  // Lists grown as extraction grows them (each new name appended after it
  // was given), with names from a small pool so that bases, their suffixed
  // forms and names that merely look suffixed ("a_1" given as a host name)
  // all collide; sometimes a name is appended as it is, and the list is
  // sometimes shortened.
  const std::vector<std::string> pool = {"a", "a_1", "a_2", "a-1", "b", "a_1_1", "b_1", "a 2"};
  std::srand(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> list;
    UniqueNames index;
    auto at = [&](std::size_t i) -> const std::string& { return list[i]; };
    for (int step = 0; step < 60; ++step) {
      const std::string& host = pool[static_cast<std::size_t>(std::rand()) % pool.size()];
      if (std::rand() % 17 == 0 && !list.empty()) list.resize(list.size() / 2);
      index.sync(list.size(), at);
      bool plain_changed = false, indexed_changed = true;
      const std::string plain = unique_name(host, list.size(), at, &plain_changed);
      ASSERT_EQ(index.unique(host, &indexed_changed), plain) << "round " << round << " " << step;
      ASSERT_EQ(indexed_changed, plain_changed);
      ASSERT_EQ(index.contains(host), std::find(list.begin(), list.end(), host) != list.end());
      list.push_back(std::rand() % 5 == 0 ? host : plain);
    }
  }
}

TEST(ExtractNodes, NodeKindsBillboardsAndEmptyNames) {
  Extraction run;
  extract(
      run,
      scene_json(
          mesh_node(1, "Mesh", R"("user_properties":{"Kvs_billboard":"Y-Billboard"},)") +
          R"(,{"id":2,"name":"Joint","object":{"class":"bone"},"user_properties":{"Kvs_billboard":"Billboard"}},
                      {"id":3,"name":"Chain","object":{"class":"ik_chain"},"user_properties":{"Kvs_billboard":"billboard"}},
                      {"id":4,"name":"Help","object":{"class":"helper"}},
                      {"id":5,"name":"Old","object":{"class":"legacy_bone","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}},)" +
          mesh_node(6, "AsBone", R"("exclude_geometry":true,)")));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node("Mesh")->kind, kNodeMesh);
  EXPECT_EQ(run.node("Mesh")->billboard, 2);
  EXPECT_EQ(run.node("Joint")->kind, kNodeJoint);
  EXPECT_EQ(run.node("Joint")->billboard, 1);
  EXPECT_EQ(run.node("Chain")->kind, kNodeChain);
  EXPECT_EQ(run.node("Chain")->billboard, 0);  // comparison is case-sensitive
  EXPECT_EQ(run.node("Help")->kind, kNodeNull);
  EXPECT_EQ(run.node("Old")->kind, kNodeNull);
  EXPECT_EQ(run.node("AsBone")->kind, kNodeNull);
  // The legacy bone's set is filled but deleted; the excluded node has none.
  ASSERT_EQ(run.scene.polygons.size(), 2u);
  EXPECT_FALSE(run.scene.polygons[0].deleted);
  EXPECT_EQ(run.scene.polygons[1].node_name, "Old");
  EXPECT_TRUE(run.scene.polygons[1].deleted);
  EXPECT_EQ(run.scene.polygons[1].triangle_count(), 1);

  Extraction empty;
  extract(empty, scene_json(R"({"id":1,"name":""})"));
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.messages_with("Node name is empty"), 1);
  EXPECT_EQ(empty.host.messages[0].caption, "Node Export Error");

  Extraction none;
  extract(none, scene_json(R"({"id":1,"name":"T","target":true})"));
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.messages_with("No effective node"), 1);
}

TEST(ExtractMeshes, GeometryInTheYUpFrame) {
  // Host vertex (1,2,3) with object offset (0,0,5): node space (1,2,8) in Z-up,
  // (1,8,-2) with Y up. Colours need the node's display switch; texture
  // coordinates are stored as (u, 1 - v).
  Extraction run;
  extract(run, scene_json(
                   R"({"id":1,"name":"M","show_vertex_colors":true,"transform":{"position":[1,2,3]},
      "object":{"class":"mesh","offset":{"position":[0,0,5]},"mesh":{
        "vertices":[[1,2,3],[2,2,3],[1,3,3]],"texture_vertices":[[0.25,0.75],[1,0],[0,1]],
        "color_vertices":[[1,0.5,0],[0,0,0],[1,1,1]],
        "normals":[[0,0,1]],"faces":[{"v":[0,1,2],"n":[0,0,0]}]}}},
      {"id":2,"name":"N","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],
        "color_vertices":[[1,1,1]],"faces":[{"v":[0,1,2],"c":[0,0,0]}]}}})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.polygons.size(), 2u);
  const PolygonSet& m = run.scene.polygons[0];
  expect_vec(m.positions[0], {1, 8, -2});
  expect_vec(m.positions[1], {2, 8, -2});
  expect_vec(m.positions[2], {1, 8, -3});
  ASSERT_EQ(m.texcoords.size(), 3u);
  EXPECT_EQ(m.texcoords[0], (TexCoord{0.25f, 0.25f}));
  ASSERT_EQ(m.colors.size(), 3u);
  EXPECT_EQ(m.colors[0], (VertexColor{255, 127, 0}));
  ASSERT_EQ(m.normals.size(), 1u);
  expect_vec(m.normals[0], {0, 1, 0});
  ASSERT_EQ(m.triangle_count(), 1);
  // (p1 - p0) x (p2 - p0) = (1,0,0) x (0,0,-1) = (0,1,0)
  expect_vec(m.triangles[0].normal, {0, 1, 0});
  EXPECT_EQ(m.node_id, 1);
  EXPECT_EQ(m.material_name, "dummy_material");
  expect_vec(m.box_min, {1, 8, -3});
  expect_vec(m.box_max, {2, 8, -2});
  EXPECT_TRUE(run.scene.polygons[1].colors.empty());  // display switch off
  expect_vec(run.node("M")->translate, {1, 3, -2});
  expect_vec(run.node("M")->translate_frames[0], {1, 3, -2});
}

TEST(ExtractMeshes, ObjectOffsetRotationAndNormalsInTheNodeFrame) {
  // Offset: scale 2, then a quarter turn about host Z. Vertex (1,0,0) becomes
  // (0,2,0) in the node's host frame, (0,0,-2) with Y up. The node's own
  // turn about X does not reach the node-frame data; the offset turns the
  // normal (1,0,0) the same way as the vertex.
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"M","transform":{"rotation":[90,0,0]},
      "object":{"class":"mesh","offset":{"rotation":[0,0,90],"scale":[2,2,2]},"mesh":{
        "vertices":[[1,0,0],[0,1,0],[0,0,0]],"normals":[[1,0,0]],"faces":[{"v":[0,1,2],"n":[0,0,0]}]}}})"));
  ASSERT_TRUE(run.ok);
  const PolygonSet& m = run.scene.polygons[0];
  expect_vec(m.positions[0], {0, 0, -2});
  expect_vec(m.positions[1], {-2, 0, 0});
  expect_vec(m.normals[0], {0, 0, -1});
  // The node's turn shows in its samples instead: a quarter turn about X.
  expect_vec(run.node("M")->rotate_frames[0], {90, 0, 0}, 1e-3f);
}

TEST(ExtractMeshes, DegenerateFacesAreDropped) {
  Extraction run;
  extract(run, scene_json(mesh_node(
                   1, "M", "",
                   R"({"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2],[0,0,2],[1,2,2]]})")));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.scene.polygons[0].triangle_count(), 1);
}

TEST(ExtractMeshes, OutOfRangeInputIsKeptSafe) {
  // Colour components above 1 stay at 255 instead of wrapping around.
  Extraction bright;
  extract(bright, scene_json(mesh_node(
                      1, "M", R"("show_vertex_colors":true,)",
                      R"({"vertices":[[0,0,0],[1,0,0],[0,1,0]],"color_vertices":[[2,1.2,-1]],
                                           "faces":[{"v":[0,1,2],"c":[0,0,0]}]})")));
  ASSERT_TRUE(bright.ok);
  EXPECT_EQ(bright.scene.polygons[0].colors[0], (VertexColor{255, 255, 0}));

  // A multi-material without sub-materials gives no set (and no division by zero).
  Extraction empty_multi;
  extract(empty_multi,
          scene_json(mesh_node(1, "M", R"("material":0,)"), R"({"name":"Multi","class":"multi"})"));
  ASSERT_TRUE(empty_multi.ok);
  EXPECT_TRUE(empty_multi.scene.polygons.empty());

  // Corner indices are 16-bit: a mesh beyond them is refused, not cut short.
  std::string vertices;
  for (int i = 0; i < 65537; ++i) vertices += (i ? ",[" : "[") + std::to_string(i % 7) + ",0,0]";
  Extraction big;
  extract(big, scene_json(mesh_node(1, "Big", "",
                                    R"({"vertices":[)" + vertices + R"(],"faces":[[0,1,2]]})")));
  EXPECT_FALSE(big.ok);
  ASSERT_EQ(big.host.messages.size(), 1u);
  EXPECT_EQ(big.host.messages[0].caption, "Node Export Error");
  EXPECT_NE(big.host.messages[0].text.find("Big"), std::string::npos);
}

TEST(ExtractMeshes, OneSetPerSubMaterial) {
  std::string materials =
      R"({"name":"Multi","class":"multi","sub_materials":[
          {"name":"A","class":"kavro_standard","params":{"priorityRadio":2,"priorityValue":3}},
          {"name":"B","class":"kavro_standard","params":{"priorityRadio":2,"priorityValue":4}}]})";
  std::string mesh =
      R"({"vertices":[[0,0,0],[1,0,0],[0,1,0],[1,1,0]],"faces":[{"v":[0,1,2],"material":1},{"v":[1,3,2],"material":3}]})";
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Body", R"("material":0,)", mesh), materials));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.polygons.size(), 2u);
  const PolygonSet& first = run.scene.polygons[0];
  const PolygonSet& second = run.scene.polygons[1];
  EXPECT_TRUE(first.deleted);
  EXPECT_EQ(first.material_name, "A");
  EXPECT_EQ(first.triangle_count(), 0);
  EXPECT_EQ(first.vertex_count(), 4);  // every vertex, not only the set's
  EXPECT_FALSE(second.deleted);
  EXPECT_EQ(second.material_name, "B");
  EXPECT_EQ(second.triangle_count(), 2);  // ids 1 and 3 modulo 2
  EXPECT_EQ(second.priority, 4);
  EXPECT_EQ(second.node_name, "Body_1");
  ASSERT_EQ(run.scene.materials.size(), 3u);
  EXPECT_TRUE(run.scene.materials[0].unreferenced);  // dummy_material
  EXPECT_TRUE(run.scene.materials[1].unreferenced);  // A: only a deleted set
  EXPECT_FALSE(run.scene.materials[2].unreferenced);
  // A multi-material's sets carry no name-change warning.
  EXPECT_TRUE(run.scene.warnings().empty() || !run.has_warning("Warning: Node name changed: Body"));
  // The sets hold the node's arrays, not copies of them.
  EXPECT_TRUE(second.positions.shares_with(first.positions));
  EXPECT_TRUE(second.normals.shares_with(first.normals));
  EXPECT_TRUE(second.texcoords.empty() || second.texcoords.shares_with(first.texcoords));
  // A and B sample the same colours: their per-frame arrays are shared too.
  const SceneMaterial& a = run.scene.materials[1];
  const SceneMaterial& b = run.scene.materials[2];
  EXPECT_TRUE(b.diffuse_frames.shares_with(a.diffuse_frames));
  EXPECT_TRUE(b.alpha_frames.shares_with(a.alpha_frames));
}

TEST(ExtractMeshes, QuadsAsIsAndWithChecking) {
  // Triangles (0,1,2) and (0,2,3) share the edge 0-2: the quad starts at the
  // first triangle's own corner 1 and goes round: 1, 2, 3, 0.
  Extraction as_is;
  extract(as_is, scene_json(mesh_node(1, "Q")), triangulating(Triangulation::kAsIs));
  ASSERT_TRUE(as_is.ok);
  const PolygonSet& s = as_is.scene.polygons[0];
  ASSERT_EQ(s.quad_count(), 1);
  EXPECT_EQ(s.triangle_count(), 0);
  EXPECT_EQ(s.quads[0].corners[0].pos, 1);
  EXPECT_EQ(s.quads[0].corners[1].pos, 2);
  EXPECT_EQ(s.quads[0].corners[2].pos, 3);
  EXPECT_EQ(s.quads[0].corners[3].pos, 0);
  EXPECT_EQ(s.quads[0].strip_flags & kQuadBit, kQuadBit);

  // One corner lifted by 0.01: still a quad as it is, two triangles when checked.
  Extraction lifted;
  extract(lifted, scene_json(mesh_node(1, "Q", "", square_mesh(R"([{"v":[0,1,2,3]}])", 0.01f))),
          triangulating(Triangulation::kAsIs));
  EXPECT_EQ(lifted.scene.polygons[0].quad_count(), 1);
  Extraction checked;
  extract(checked, scene_json(mesh_node(1, "Q", "", square_mesh(R"([{"v":[0,1,2,3]}])", 0.01f))),
          triangulating(Triangulation::kAsIsChecking));
  EXPECT_EQ(checked.scene.polygons[0].quad_count(), 0);
  EXPECT_EQ(checked.scene.polygons[0].triangle_count(), 2);
  Extraction flat_checked;
  extract(flat_checked, scene_json(mesh_node(1, "Q")), triangulating(Triangulation::kAsIsChecking));
  EXPECT_EQ(flat_checked.scene.polygons[0].quad_count(), 1);

  // Generated quads and all triangles make no quads here.
  for (Triangulation mode : {Triangulation::kGenerateQuads, Triangulation::kAllTris}) {
    Extraction r;
    extract(r, scene_json(mesh_node(1, "Q")), triangulating(mode));
    EXPECT_EQ(r.scene.polygons[0].quad_count(), 0);
    EXPECT_EQ(r.scene.polygons[0].triangle_count(), 2);
  }
}

TEST(ExtractMeshes, PentagonGivesTheHigherOrderWarningOnce) {
  std::string pentagon =
      R"({"vertices":[[0,0,0],[2,0,0],[3,1,0],[1,2,0],[-1,1,0]],
          "faces":[[0,1,2],[0,2,3],[0,3,4]],"polygons":[{"v":[0,1,2,3,4]}]})";
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Penta", "", pentagon)));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.scene.polygons[0].triangle_count(), 3);
  EXPECT_EQ(run.scene.polygons[0].quad_count(), 0);
  EXPECT_EQ(
      run.warnings_starting("Warning: Polygons"),
      std::vector<std::string>{"Warning: Polygons of a higher order than quadrilateral were found "
                               "on node \"Penta\" and have been converted to triangles."});
}

TEST(ExtractMeshes, RebuildQuadsStopsAtTheSecondTriangleInOrder) {
  // Three triangles inside one polygon's corners: the first two in triangle
  // order are joined, even though the first lies far later in space order.
  PolygonSet set;
  set.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  auto tri = [](std::uint16_t a, std::uint16_t b, std::uint16_t c) {
    NTriFace t;
    t.corners = {Corner{a, 0, 0, 0}, Corner{b, 0, 0, 0}, Corner{c, 0, 0, 0}};
    return t;
  };
  set.triangles = {tri(3, 0, 2), tri(2, 1, 0), tri(0, 1, 3)};
  rebuild_quads(set, {{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{1, 1, 0}, Vec3{0, 1, 0}}}, false);
  ASSERT_EQ(set.quad_count(), 1);
  ASSERT_EQ(set.triangle_count(), 1);
  EXPECT_EQ(set.triangles[0].corners[0].pos, 0);
  EXPECT_EQ(set.triangles[0].corners[2].pos, 3);
  // Triangles within the tolerance of the corners are found; 0.001 away is not.
  PolygonSet near;
  near.positions = {{0.0009f, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.001f, 0, 0}};
  near.triangles = {tri(4, 1, 2), tri(0, 1, 2), tri(0, 2, 3)};
  rebuild_quads(near, {{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{1, 1, 0}, Vec3{0, 1, 0}}}, false);
  ASSERT_EQ(near.quad_count(), 1);
  ASSERT_EQ(near.triangle_count(), 1);
  EXPECT_EQ(near.triangles[0].corners[0].pos, 4);
}

// The indexed search must find what a scan of every triangle in order finds.
TEST(ExtractMeshes, RebuildQuadsMatchesAFullScan) {
  std::uint32_t seed = 12345;
  auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  int total_quads = 0;
  for (int round = 0; round < 20; ++round) {
    PolygonSet set;
    // Coordinates on a lattice of half the tolerance, so that corners fall
    // just inside and just outside each other's reach.
    for (int i = 0; i < 40; ++i) {
      set.positions.edit().push_back({static_cast<float>(next(8)) * 0.0005f,
                                      static_cast<float>(next(8)) * 0.0005f,
                                      static_cast<float>(next(2)) * 0.0005f});
    }
    for (int i = 0; i < 60; ++i) {
      NTriFace t;
      for (auto& c : t.corners) c.pos = static_cast<std::uint16_t>(next(40));
      set.triangles.push_back(t);
    }
    std::vector<std::array<Vec3, 4>> polygons;
    for (int i = 0; i < 15; ++i) {
      std::array<Vec3, 4> p;
      for (Vec3& c : p) c = set.positions[next(40)];
      polygons.push_back(p);
    }
    // The full scan, as the rule reads.
    std::vector<bool> consumed(set.triangles.size(), false);
    int quads = 0;
    auto within = [](Vec3 a, Vec3 b) {
      return std::fabs(a.x - b.x) < 0.001f && std::fabs(a.y - b.y) < 0.001f &&
             std::fabs(a.z - b.z) < 0.001f;
    };
    for (const auto& poly : polygons) {
      std::vector<std::size_t> found;
      for (std::size_t i = 0; i < set.triangles.size() && found.size() < 2; ++i) {
        if (consumed[i]) continue;
        bool inside = true;
        for (const Corner& c : set.triangles[i].corners) {
          bool hit = false;
          for (const Vec3& q : poly) hit = hit || within(set.positions[c.pos], q);
          inside = inside && hit;
        }
        if (inside) found.push_back(i);
      }
      if (found.size() != 2) continue;
      const NTriFace& a = set.triangles[found[0]];
      const NTriFace& b = set.triangles[found[1]];
      int common = 0;
      for (const Corner& x : a.corners) {
        bool in_b = false;
        for (const Corner& y : b.corners) in_b = in_b || x.pos == y.pos;
        common += in_b ? 1 : 0;
      }
      if (common != 2) continue;
      consumed[found[0]] = consumed[found[1]] = true;
      ++quads;
    }
    std::vector<NTriFace> expected_rest;
    for (std::size_t i = 0; i < set.triangles.size(); ++i) {
      if (!consumed[i] || quads == 0) expected_rest.push_back(set.triangles[i]);
    }
    rebuild_quads(set, polygons, false);
    total_quads += quads;
    ASSERT_EQ(set.quad_count(), quads) << "round " << round;
    ASSERT_EQ(set.triangles.size(), expected_rest.size());
    for (std::size_t i = 0; i < expected_rest.size(); ++i) {
      EXPECT_EQ(set.triangles[i].corners, expected_rest[i].corners);
    }
  }
  EXPECT_GT(total_quads, 10);  // the rounds do exercise the joining
}

TEST(ExtractMeshes, SubdivisionIsRefusedAndTheNodeStaysNull) {
  Extraction run;
  extract(
      run,
      scene_json(
          R"({"id":1,"name":"Ball","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
                        "modifiers":[{"type":"other","internal_name":"SmoothMod"}]}},
                      {"id":2,"name":"Hsds","object":{"class":"subdivision"}},
                      {"id":3,"name":"Soft","object":{"class":"mesh","modifiers":[{"type":"other","internal_name":"Smooth"}]}})"));
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.scene.polygons.empty());
  // Shown by the mesh pass and again by the node pass.
  EXPECT_EQ(run.messages_with("Error: Can't export subdivision surface. Ball"), 2);
  EXPECT_EQ(run.messages_with("Error: Can't export subdivision surface. Hsds"), 2);
  EXPECT_EQ(run.host.messages[0].caption, "Subdivision Modifier Applied");
  EXPECT_EQ(run.node("Ball")->kind, kNodeNull);
  EXPECT_EQ(run.node("Soft")->kind, kNodeMesh);  // not an exact name
  // Refused nodes get no material warning.
  EXPECT_FALSE(run.has_warning("Warning: No material on node \"Ball\""));
  EXPECT_TRUE(run.has_warning("Warning: No material on node \"Soft\""));
}

TEST(ExtractNodes, NurbsWarnings) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"Curve","object":{"class":"nurbs_curve"}},
      {"id":2,"name":"Surf","object":{"class":"nurbs_surface"}},
      {"id":3,"name":"SetC","object":{"class":"nurbs_set","nurbs_objects":[1,3]}},
      {"id":4,"name":"SetS","object":{"class":"nurbs_set","nurbs_objects":[1]}})"));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(
      run.warnings_starting("Warning: Can't export NURBS"),
      (std::vector<std::string>{
          "Warning: Can't export NURBS curve.", "Warning: Can't export NURBS curve: Curve",
          "Warning: Can't export NURBS surface: Surf", "Warning: Can't export NURBS curve: SetC",
          "Warning: Can't export NURBS surface: SetS"}));
}

// ---------------------------------------------------------------------------
// Skins.

std::string skinned(const std::string& weights, const std::string& extra_nodes = "") {
  return scene_json(
      R"({"id":1,"name":"Body","object":{"class":"mesh","mesh":{"vertices":[[0,0,5],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
          "modifiers":[{"type":"skin","bones":[2,3],"weights":)" +
      weights +
      R"(}]}},
        {"id":2,"name":"BoneA","object":{"class":"bone"},"transform":{"position":[0,0,5]}},
        {"id":3,"name":"BoneB","object":{"class":"bone"}})" +
      extra_nodes);
}

TEST(ExtractSkins, WeightRules) {
  Extraction run;
  extract(run, skinned(R"([[[0,0.9995],[1,0.0005]], [[0,0.5],[1,0.4995],[0,0.0005]], [[1,1.0]]])"));
  ASSERT_TRUE(run.ok) << (run.host.messages.empty() ? "" : run.host.messages[0].text);
  const auto& w = run.scene.polygons[0].weights;
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].count(), 1);
  EXPECT_EQ(w[0].node_ids[0], 2);
  EXPECT_FLOAT_EQ(w[0].weights[0], 0.9995f);  // not normalised
  ASSERT_EQ(w[1].count(), 2);
  EXPECT_EQ(w[1].node_ids, (std::vector<int>{2, 3}));
  EXPECT_EQ(w[1].list_positions, (std::vector<int>{0, 1}));
  EXPECT_EQ(w[2].node_ids, std::vector<int>{3});
  // Vertex 0 follows BoneA alone and moves into its space: host (0,0,5) is
  // (0,5,0) with Y up, and so is the bone.
  expect_vec(run.scene.polygons[0].positions[0], {0, 0, 0});
  // Vertex 1 has two influences and stays in the mesh's space.
  expect_vec(run.scene.polygons[0].positions[1], {1, 0, 0});
}

TEST(ExtractSkins, WrongWeightsFailTheExtraction) {
  Extraction run;
  extract(run, skinned(R"([[[1,1.0]], [[0,0.5],[1,0.4]], [[0,0.0005]]])"));
  EXPECT_FALSE(run.ok);
  ASSERT_EQ(run.host.messages.size(), 1u);
  EXPECT_EQ(run.host.messages[0].text, "Wrong weighted vertices exist. Body ( vertex 1 )");
  EXPECT_EQ(run.host.messages[0].caption, "Wrong weighted vertices");
  EXPECT_TRUE(run.scene.polygons.empty());
}

TEST(ExtractSkins, ForceFullWeightKeepsTheHeaviestFirstBone) {
  Settings s;
  s.force_full_weight = true;
  Extraction run;
  extract(run, skinned(R"([[[0,0.5],[1,0.5]], [[0,0.3],[1,0.7]], [[1,1.0]]])"), s);
  ASSERT_TRUE(run.ok);
  const auto& w = run.scene.polygons[0].weights;
  EXPECT_EQ(w[0].node_ids, std::vector<int>{2});
  EXPECT_EQ(w[0].weights, std::vector<float>{1.0f});
  EXPECT_EQ(w[1].node_ids, std::vector<int>{3});
  // Reduced to one bone, vertex 0 now moves into BoneA's space.
  expect_vec(run.scene.polygons[0].positions[0], {0, 0, 0});
}

TEST(ExtractSkins, SkinWithoutBonesIsAWarning) {
  Extraction run;
  extract(run, skinned("[[[0,1.0]]]"));  // vertices 1 and 2 are not in the skin
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(run.scene.polygons[0].weights.empty());
  EXPECT_TRUE(run.has_warning(
      "Warning: Skinning modifier applied to node \"Body\" with no bones attached."));
}

TEST(ExtractSkins, SkinsAreSwitchedOffForReadingAndBackOnAfterwards) {
  doc::LoadResult loaded = doc::parse_scene_document(skinned("[[[0,1]],[[0,1]],[[0,1]]]"), "s");
  ASSERT_TRUE(loaded.ok);
  auto document = max::make_document_host(std::move(loaded.document));
  max::HostScene* hs = document.get();
  host::RecordingHost host;
  HostExtraction ex(std::move(document), host);
  ex.initialise(true);
  max::Modifier* skin =
      hs->GetCOREInterface().GetRootNode()->GetChildNode(0)->GetObjectRef()->GetModifier(0);
  ASSERT_TRUE(skin->IsEnabled());
  ex.switch_off_skins();
  EXPECT_FALSE(skin->IsEnabled());
  ex.switch_on_skins();
  EXPECT_TRUE(skin->IsEnabled());
}

// ---------------------------------------------------------------------------
// Samples.

TEST(SampleNodes, TransformsVisibilityAndBit6) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"Spin","transform":{"rotation":{"keys":[
          {"frame":0,"value":[0,0,0]},{"frame":2,"value":[0,0,90]}]}},
          "visibility":{"keys":[{"frame":0,"value":1},{"frame":1,"value":1},{"frame":2,"value":0}]}},
        {"id":2,"name":"Off","visibility":0})",
                          "", R"("animation_range":[0,2],)"));
  ASSERT_TRUE(run.ok);
  const SceneNode* spin = run.node("Spin");
  ASSERT_EQ(spin->rotate_frames.size(), 3u);
  // A host turn about Z is a turn about Y with Y up.
  expect_vec(spin->rotate_frames[1], {0, 45, 0}, 1e-3f);
  expect_vec(spin->rotate_frames[2], {0, 90, 0}, 1e-3f);
  EXPECT_EQ(spin->visibility_frames, (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(spin->work_flags & kVisibleAtFirstFrame, kVisibleAtFirstFrame);
  EXPECT_EQ(run.node("Off")->visibility_frames, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(run.node("Off")->work_flags & kVisibleAtFirstFrame, 0u);
  // Samples are multiples of 1/4096.
  for (const Vec3& r : spin->rotate_frames) EXPECT_EQ(r.y * 4096, std::round(r.y * 4096));
}

TEST(SampleNodes, MirrorShowsAsNegativeXScale) {
  // Host scale (-1, 1, 1) with a turn about X: the sample rebuilds the matrix.
  Extraction run;
  extract(
      run,
      scene_json(
          R"({"id":1,"name":"Mirror","transform":{"scale":[-1,1,1],"rotation":[30,0,0],"position":[1,2,3]}})"));
  ASSERT_TRUE(run.ok);
  const SceneNode* n = run.node("Mirror");
  EXPECT_LT(n->scale_frames[0].x, 0);
  expect_vec(n->scale_frames[0], {-1, 1, 1});
  Mat4 rebuilt = local_matrix(n->scale_frames[0], n->rotate_frames[0], n->translate_frames[0]);
  // Expected, column vectors with Y up: X mirrored, then 30 degrees about X.
  Mat4 expected =
      translate_matrix({1, 3, -2}) * rotate_x_matrix(30 * kPi / 180) * scale_matrix({-1, 1, 1});
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(rebuilt.m[static_cast<std::size_t>(i)], expected.m[static_cast<std::size_t>(i)],
                1e-3f);
  expect_vec(n->scale, {-1, 1, 1});
}

TEST(SampleNodes, DecomposeSampleRebuildsMirroredMatrices) {
  const float angles[][3] = {{0.3f, -0.2f, 1.0f}, {2.0f, 0.1f, -0.7f}, {0, 0, 0}};
  for (const auto& a : angles) {
    for (max::Point3 k : {max::Point3{-2, 1, 0.5f}, max::Point3{1, -3, 1}, max::Point3{1, 1, -1}}) {
      max::Matrix3 m = max::ScaleMatrix(k) * max::RotateXMatrix(a[0]) * max::RotateYMatrix(a[1]) *
                       max::RotateZMatrix(a[2]) * max::TransMatrix({1, 2, 3});
      TransformSample s = decompose_sample(m);
      EXPECT_LT(s.scale.x, 0);
      max::Matrix3 back = sample_matrix(s);
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[r][c], m[r][c], 2e-3f);
      }
    }
  }
}

TEST(SampleNodes, HierarchyIsOrderedByByteOrder) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"b"},{"id":2,"name":"a"},{"id":3,"name":"C"},
      {"id":4,"name":"z","parent":2},{"id":5,"name":"Y","parent":2},{"id":6,"name":"x","parent":5})"));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"C", "a", "Y", "x", "z", "b"}));
  const SceneNode* a = run.node("a");
  EXPECT_EQ(a->brother_prev, 3);
  EXPECT_EQ(a->brother_next, 1);
  EXPECT_EQ(a->child, 5);
  EXPECT_EQ(run.node("C")->brother_prev, -1);
  EXPECT_EQ(run.node("b")->brother_next, -1);
  EXPECT_EQ(run.node("Y")->brother_next, 4);
  EXPECT_EQ(run.node("z")->brother_prev, 5);
  EXPECT_EQ(run.node("x")->parent, 5);
}

TEST(SampleNodes, SelectionExportsAdjustUnselectedNodesToWorld) {
  // Body is selected; its skin brings BoneA, child of the unselected Rig.
  std::string json = scene_json(
      R"({"id":1,"name":"Body","object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
          "modifiers":[{"type":"skin","bones":[2],"weights":[[[0,1]],[[0,1]],[[0,1]]]}]}},
        {"id":3,"name":"Rig","transform":{"position":[5,0,0]}},
        {"id":2,"name":"BoneA","parent":3,"object":{"class":"bone"},"transform":{"position":[0,0,3]}},
        {"id":4,"name":"Other"})");
  Settings s;
  s.export_all = false;
  s.select = {"Body"};
  Extraction run;
  extract(run, json, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"Body", "BoneA"}));
  const SceneNode* bone = run.node("BoneA");
  expect_vec(bone->translate_frames[0], {5, 3, 0});  // world
  expect_vec(bone->translate, {0, 3, 0});            // base transform unchanged
  // The same scene exported whole keeps the bone's local samples.
  Extraction all;
  extract(all, json);
  expect_vec(all.node("BoneA")->translate_frames[0], {0, 3, 0});
  EXPECT_EQ(all.node_names(), (std::vector<std::string>{"Body", "Other", "Rig", "BoneA"}));
}

TEST(SampleNodes, SelectionKeepsOnlyTheTopmostListedNodes) {
  // Arm and its child Hand both selected: Hand comes along with Arm once,
  // and keeps its local samples (its parent is exported).
  std::string json = scene_json(R"({"id":1,"name":"Arm","transform":{"position":[1,0,0]}},
      {"id":2,"name":"Hand","parent":1,"transform":{"position":[0,0,2]}},
      {"id":3,"name":"Leg"})");
  Settings s;
  s.export_all = false;
  s.select = {"Hand", "Arm"};
  Extraction run;
  extract(run, json, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.node_names(), (std::vector<std::string>{"Arm", "Hand"}));
  expect_vec(run.node("Hand")->translate_frames[0], {0, 2, 0});
  EXPECT_EQ(run.node("Hand")->parent, 1);
  // A selected node below an unselected parent keeps samples local to it.
  s.select = {"Hand"};
  Extraction hand;
  extract(hand, json, s);
  ASSERT_TRUE(hand.ok);
  EXPECT_EQ(hand.node_names(), std::vector<std::string>{"Hand"});
  EXPECT_EQ(hand.node("Hand")->parent, -1);
  expect_vec(hand.node("Hand")->translate_frames[0], {0, 2, 0});
}

// ---------------------------------------------------------------------------
// Materials.

TEST(ExtractMaterials, StandardMaterialGetsDefaultsAndItsColours) {
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "Box", R"("material":0,)"),
                     R"({"name":"Paint","class":"standard","diffuse":[1,0.5,0],"ambient":[0,0,0.2],
                              "self_illum_color":[1,1,1],"opacity":0.5})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.materials.size(), 2u);
  EXPECT_EQ(run.scene.materials[0].name, "dummy_material");
  const SceneMaterial& m = run.scene.materials[1];
  EXPECT_EQ(m.name, "Paint");
  EXPECT_EQ(m.light0, 1);
  EXPECT_EQ(m.polygon_mode, 0);
  EXPECT_EQ(m.diffuse_frames[0], (ColorEntry{255, 128, 0}));
  EXPECT_EQ(m.ambient_frames[0], (ColorEntry{0, 0, 51}));
  EXPECT_EQ(m.emission_frames[0], (ColorEntry{0, 0, 0}));  // self-illumination colour off
  EXPECT_EQ(m.alpha_frames[0], 127);
  EXPECT_FALSE(m.ambient_frames.shares_with(m.diffuse_frames));  // different samples
  EXPECT_TRUE(
      run.has_warning("Warning: Exported material is not KAVRO standard or KAVRO morpher and will "
                      "be set to default "
                      "parameters: \"Paint\""));
  // Sets of a non-platform material use the default material.
  EXPECT_EQ(run.scene.polygons[0].material_name, "dummy_material");
  EXPECT_FALSE(run.scene.materials[0].unreferenced);
  EXPECT_TRUE(m.unreferenced);
}

TEST(ExtractMaterials, ParametersBeyondTheIntRangeAreHeldAtItsEnds) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":0,)"),
                          R"({"name":"Huge","class":"kavro_standard",
                              "params":{"polyID":1e14,"light_1":-1e14,"displayFace":-5e13,
                                        "priorityValue":3e9}})",
                          R"("animation_range":[0,1],)"));
  ASSERT_TRUE(run.ok);
  const SceneMaterial& m = run.scene.materials[1];
  EXPECT_EQ(m.polygon_id, 2147483647);
  EXPECT_EQ(m.light1, -2147483647 - 1);
  EXPECT_EQ(m.face, 0);  // a choice below 1 is stored as 0
  EXPECT_EQ(m.priority, 2147483647);
}

TEST(ExtractMaterials, PlatformParametersAndNames) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "Box", R"("material":1,)"),
                          R"({"name":"Skin","class":"kavro_standard"},
                             {"name":"Skin","class":"kavro_standard","self_illum_color":[0,1,0],"self_illum_color_on":true,
                              "params":{"light_0":0,"light_2":1,"displayFace":3,"polyMode":0,"texGen":2,"comPress":2,
                                        "polyID":12,"fogOn":true,"priorityRadio":2,"priorityValue":5,
                                        "tex_effect_mtx_1_0":0.5,"tex_effect_mtx_3_1":2}},
                             {"name":"Odd","class":"other","class_id":[1,2]})",
                          R"("animation_range":[0,1],)"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.materials.size(), 3u);
  const SceneMaterial& m = run.scene.materials[2];
  EXPECT_EQ(m.name, "Skin_1");
  EXPECT_TRUE(run.has_warning("Warning: Material name changed: Skin_1"));
  EXPECT_EQ(m.light0, 0);
  EXPECT_EQ(m.light2, 1);
  EXPECT_EQ(m.face, 2);
  EXPECT_EQ(m.polygon_mode, 0);  // a choice of 0 is stored as 0
  EXPECT_EQ(m.tex_gen_mode, 1);
  EXPECT_EQ(m.compress_mode, 1);
  EXPECT_EQ(m.polygon_id, 12);
  EXPECT_EQ(m.fog_flag, 1);
  EXPECT_EQ(m.priority, 5);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(1, 0), 0.5f);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(3, 1), 2.0f);
  EXPECT_FLOAT_EQ(m.tex_effect_mtx(0, 0), 1.0f);
  EXPECT_EQ(m.emission_frames.size(), 2u);
  EXPECT_EQ(m.emission_frames[1], (ColorEntry{0, 255, 0}));
  // The node's set takes the platform material, its priority and its mark.
  EXPECT_EQ(run.scene.polygons[0].material_name, "Skin_1");
  EXPECT_EQ(run.scene.polygons[0].priority, 5);
  EXPECT_FALSE(m.unreferenced);
  EXPECT_TRUE(run.scene.materials[1].unreferenced);
  EXPECT_FALSE(
      run.has_warning("Warning: Exported material is not KAVRO standard or KAVRO morpher and will "
                      "be set to default "
                      "parameters: \"Skin\""));
}

TEST(ExtractMaterials, UnsupportedAndMissingMaterialsAreWarnings) {
  Extraction run;
  extract(run, scene_json(mesh_node(1, "A", R"("material":0,)") + "," + mesh_node(2, "B"),
                          R"({"name":"Blend","class":"other","class_id":[3,4]})"));
  ASSERT_TRUE(run.ok);
  EXPECT_TRUE(
      run.has_warning("Warning: Material \"Blend\" is not of a supported material type and has "
                      "been assigned a default "
                      "material."));
  EXPECT_TRUE(run.has_warning("Warning: No material on node \"B\""));
  EXPECT_EQ(run.scene.materials.size(), 1u);  // only the default material
}

TEST(ExtractMaterials, Errors) {
  Extraction empty;
  extract(empty, scene_json(mesh_node(1, "A"), R"({"name":"","class":"kavro_standard"})"));
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.messages_with("Material name is empty"), 1);
  EXPECT_EQ(empty.host.messages[0].caption, "Material Export Error");

  test::TempDir dir;
  test::write_file(dir.file("a.tga"), test::indexed_tga(8, 8));
  Settings in_dir;
  in_dir.folder = dir.path();
  Extraction morpher;
  extract(morpher,
          scene_json(mesh_node(1, "A"),
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                                 {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}},
                                 {"name":"s1","diffuse_map":{"class":"procedural","name":"Checker"}}]})"),
          in_dir);
  EXPECT_FALSE(morpher.ok);
  ASSERT_EQ(morpher.host.messages.size(), 1u);
  EXPECT_EQ(morpher.host.messages[0].caption, "Missing Morpher Diffuse Map");
  EXPECT_EQ(morpher.host.messages[0].text.rfind(
                "Error: A sub material has not been assigned a diffuse map", 0),
            0u);
}

TEST(ExtractMaterials, MorpherWeightsAreSampledPerFrame) {
  test::TempDir dir;
  test::write_file(dir.file("a.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("b.tga"), test::indexed_tga(8, 8));
  Settings in_dir;
  in_dir.folder = dir.path();
  Extraction run;
  extract(run,
          scene_json(R"({"id":1,"name":"Face","material":0,"object":{"class":"mesh",
      "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},
      "modifiers":[{"type":"morpher","channels":[{"keys":[{"frame":0,"value":0},{"frame":10,"value":100}]},50]}]}})",
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                              {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}},
                              {"name":"s1","diffuse":[0,0,1],"diffuse_map":{"class":"bitmap","file":"b.tga"}}]})",
                     R"("animation_range":[0,2],)"),
          in_dir);
  ASSERT_TRUE(run.ok);
  const PolygonSet& set = run.scene.polygons[0];
  EXPECT_EQ(set.material_name, "M");
  ASSERT_EQ(set.morph_weights.size(), 100u);
  EXPECT_EQ(set.morph_weights[0], (std::vector<float>{0, 10, 20}));
  EXPECT_EQ(set.morph_weights[1], (std::vector<float>{50, 50, 50}));
  EXPECT_EQ(set.morph_weights[99], (std::vector<float>{0, 0, 0}));
  // A morpher's colours come from its last sub-material.
  EXPECT_EQ(run.scene.materials[1].diffuse_frames[0], (ColorEntry{0, 0, 255}));

  // The first of two Morpher modifiers is read; a set whose material is not a
  // morpher gets no weights.
  const std::string two_morphers = R"("modifiers":[{"type":"morpher","channels":[25]},
                                                   {"type":"morpher","channels":[75]}]}})";
  Extraction first;
  extract(first,
          scene_json(R"({"id":1,"name":"Face","material":0,"object":{"class":"mesh",
              "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},)" +
                         two_morphers + "," +
                         R"({"id":2,"name":"Rock","material":1,"object":{"class":"mesh",
              "mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]},)" +
                         two_morphers,
                     R"({"name":"M","class":"kavro_morpher","sub_materials":[
                         {"name":"s0","diffuse_map":{"class":"bitmap","file":"a.tga"}}]},
                        {"name":"Plain","class":"kavro_standard"})",
                     R"("animation_range":[3,4],)"),
          in_dir);
  ASSERT_TRUE(first.ok);
  ASSERT_EQ(first.scene.polygons.size(), 2u);
  for (const PolygonSet& p : first.scene.polygons) {
    if (p.node_name == "Face") {
      ASSERT_EQ(p.morph_weights.size(), 100u);
      EXPECT_EQ(p.morph_weights[0], (std::vector<float>{25, 25}));
    } else {
      EXPECT_TRUE(p.morph_weights.empty());
    }
  }
}

// ---------------------------------------------------------------------------
// Texture sources, texture transforms and pattern lists.

// A kavro_standard material with a diffuse bitmap; `uv` adds fields of the map.
std::string textured(const std::string& name, const std::string& file, const std::string& uv = "") {
  return R"({"name":")" + name + R"(","class":"kavro_standard","diffuse_map":{"class":"bitmap",)" +
         uv + R"("file":")" + file + R"("}})";
}

const SceneMaterial* material_named(const Extraction& run, const std::string& name) {
  for (const SceneMaterial& m : run.scene.materials) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

TEST(ExtractTextures, SizesAreRoundedWithTheSizeWarning) {
  test::TempDir dir;
  test::write_file(dir.file("odd.tga"), test::indexed_tga(100, 60));
  test::write_file(dir.file("tiny.tga"), test::indexed_tga(4, 4));
  test::write_file(dir.file("fine.tga"), test::indexed_tga(16, 32));
  Settings s;
  s.folder = dir.path();
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "A", R"("material":0,)"),
                     R"({"name":"Multi","class":"multi","sub_materials":[)" +
                         textured("Odd", "odd.tga") + "," + textured("Tiny", "tiny.tga") + "," +
                         textured("Fine", "fine.tga") + "]}"),
          s);
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.textures.size(), 3u);
  const SceneTexture& odd = run.scene.textures[0];
  EXPECT_EQ(odd.path, dir.file("odd.tga"));
  EXPECT_EQ(odd.name, "odd");
  EXPECT_EQ(odd.original_width, 100);
  EXPECT_EQ(odd.original_height, 60);
  EXPECT_EQ(odd.width, 128);
  EXPECT_EQ(odd.height, 64);
  EXPECT_EQ(run.scene.textures[1].width, 8);
  EXPECT_EQ(run.scene.textures[1].height, 8);
  EXPECT_EQ(run.scene.textures[2].width, 16);
  EXPECT_EQ(run.scene.textures[2].height, 32);
  EXPECT_TRUE(run.has_warning("Warning: Size of texture is wrong. " + dir.file("odd.tga") + "."));
  EXPECT_TRUE(run.has_warning("Warning: Size of texture is wrong. " + dir.file("tiny.tga") + "."));
  EXPECT_EQ(run.warnings_starting("Warning: Size of texture is wrong.").size(), 2u);
  // One image each: no multi-texture warning; each material shows its file.
  EXPECT_TRUE(run.warnings_starting("Warning: Multi texture").empty());
  ASSERT_NE(material_named(run, "Tiny"), nullptr);
  EXPECT_EQ(material_named(run, "Tiny")->texture_path, dir.file("tiny.tga"));
  EXPECT_EQ(material_named(run, "Tiny")->texture_image_count, 1);

  test::write_file(dir.file("wide.tga"), test::indexed_tga(2048, 1));
  Extraction wide;
  extract(wide, scene_json(mesh_node(1, "A"), textured("Wide", "wide.tga")), s);
  EXPECT_FALSE(wide.ok);
  ASSERT_EQ(wide.host.messages.size(), 1u);
  EXPECT_EQ(wide.host.messages[0].text, "Texture size over. " + dir.file("wide.tga"));
  EXPECT_EQ(wide.host.messages[0].caption, "Texture Size Over");
}

TEST(ExtractTextures, MissingUnreadableAndProceduralMaps) {
  test::TempDir dir;
  test::write_file(dir.file("text.png"), "this is not an image");
  Settings s;
  s.folder = dir.path();
  struct Case {
    std::string file, message;
  };
  for (const Case& c :
       {Case{"", "No texture image name on material Skin."},
        Case{"none.tga",
             "Texture image missing on material Skin at the path: " + dir.file("none.tga") + "."},
        Case{"text.png",
             "Failed to open texture on material Skin at path: " + dir.file("text.png")}}) {
    Extraction run;
    extract(run, scene_json(mesh_node(1, "A"), textured("Skin", c.file)), s);
    EXPECT_FALSE(run.ok) << c.file;
    ASSERT_EQ(run.host.messages.size(), 1u) << c.file;
    EXPECT_EQ(run.host.messages[0].text, c.message);
    EXPECT_EQ(run.host.messages[0].caption, "Bitmap Error");
    EXPECT_TRUE(run.scene.materials.empty()) << "no material record is built";
  }

  Extraction procedural;
  extract(procedural,
          scene_json(mesh_node(1, "A"),
                     R"({"name":"Checks","class":"kavro_standard",
                         "diffuse_map":{"class":"procedural","name":"Checker"}})"),
          s);
  ASSERT_TRUE(procedural.ok);
  EXPECT_TRUE(procedural.has_warning("Warning: Procedural texture is ignored on material: Checks"));
  EXPECT_TRUE(procedural.scene.textures.empty());
  const SceneMaterial* m = material_named(procedural, "Checks");
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->texture_path.empty());
  EXPECT_EQ(m->texture_image_count, 0);
  EXPECT_TRUE(m->tex_scale_s_frames.empty());
}

// A host scene of one material whose diffuse map is neither a bitmap nor a
// procedural map the exporter can skip (documents cannot hold such a map).
class OddMapScene : public max::HostScene, public max::Interface, public max::IGameScene {
 public:
  struct Map : max::IGameTextureMap {
    max::Class_ID ClassID() const override { return {0x1234, 0}; }
    std::string GetTextureName() const override { return "Composite"; }
    std::string GetBitmapFileName() const override { return ""; }
    bool IsEntitySupported() const override { return true; }
    int GetStdMapSlot() const override { return max::ID_DI; }
    const max::UVGen* GetUVGen() const override { return nullptr; }
  };
  struct Material : max::IGameMaterial {
    mutable Map map;
    std::string GetMaterialName() const override { return "Odd"; }
    max::Class_ID ClassID() const override { return max::kKavroStandardClassID; }
    bool IsMultiType() const override { return false; }
    int GetSubMaterialCount() const override { return 0; }
    max::IGameMaterial* GetSubMaterial(int) const override { return nullptr; }
    bool QueryProperty(const std::string&, float&) const override { return false; }
    max::Point3 GetAmbient(max::TimeValue) const override { return {}; }
    max::Point3 GetDiffuse(max::TimeValue) const override { return {}; }
    max::Point3 GetSpecular(max::TimeValue) const override { return {}; }
    max::Point3 GetSelfIllumColor(max::TimeValue) const override { return {}; }
    bool GetSelfIllumColorOn() const override { return false; }
    float GetOpacity(max::TimeValue) const override { return 1; }
    int GetNumberOfTextureMaps() const override { return 1; }
    max::IGameTextureMap* GetIGameTextureMap(int) const override { return &map; }
  };

  max::Interface& GetCOREInterface() override { return *this; }
  max::IGameScene& GetIGameInterface() override { return *this; }
  max::INode* GetRootNode() override { return nullptr; }
  int GetSelNodeCount() override { return 0; }
  max::INode* GetSelNode(int) override { return nullptr; }
  void InitialiseIGame() override {}
  void InitialiseIGame(const std::vector<max::INode*>&) override {}
  void SetStaticFrame(int) override {}
  max::TimeValue GetSceneStartTime() const override { return 0; }
  max::TimeValue GetSceneEndTime() const override { return 0; }
  int GetSceneTicks() const override { return 160; }
  std::string GetSceneFileName() const override { return "odd.max"; }
  int GetTopLevelNodeCount() const override { return 0; }
  max::IGameNode* GetTopLevelNode(int) const override { return nullptr; }
  int GetTotalNodeCount() const override { return 0; }
  std::vector<max::IGameNode*> GetIGameNodeByType(max::IGameType) override { return {}; }
  int GetRootMaterialCount() const override { return 1; }
  max::IGameMaterial* GetRootMaterial(int) const override { return &material_; }
  max::IGameNode* GetIGameNode(const max::INode*) const override { return nullptr; }
  void ReleaseIGame() override {}

 private:
  mutable Material material_;
};

TEST(ExtractTextures, AMapThatIsNoBitmapIsAnError) {
  host::RecordingHost host;
  ExportScene scene;
  scene.host_interface = &host;
  scene.frame_count = 1;
  HostExtraction ex(std::make_unique<OddMapScene>(), host);
  ExportOptions options{};
  reset_options(options, true);
  EXPECT_FALSE(ex.extract_materials(scene, options));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Texture must be a bitmap");
  EXPECT_EQ(host.messages[0].caption, "Texture Error");
}

TEST(ExtractTextures, RelativePathsSceneFolderFirstThenMapPaths) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("maps1"));
  std::filesystem::create_directories(dir.file("maps2"));
  test::write_file(dir.file("skin.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("maps1/skin.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("maps1/cloth.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("maps2/cloth.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("maps2/metal.tga"), test::indexed_tga(8, 8));
  Settings s;
  s.folder = dir.path();
  s.map_paths = {dir.file("maps1"), dir.file("maps2")};
  const std::string absolute = dir.file("maps2/metal.tga");
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "A"),
                     textured("Skin", "skin.tga") + "," + textured("Cloth", "cloth.tga") + "," +
                         textured("Metal", absolute) + "," + textured("Again", "skin.tga")),
          s);
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.textures.size(), 3u) << "one texture per image file";
  EXPECT_EQ(run.scene.textures[0].path, dir.file("skin.tga"));
  EXPECT_EQ(run.scene.textures[1].path, dir.file("maps1/cloth.tga"));
  EXPECT_EQ(run.scene.textures[2].path, absolute);
  EXPECT_EQ(material_named(run, "Again")->texture_path, dir.file("skin.tga"));
  EXPECT_TRUE(run.warnings_starting("Same named texture file exist.").empty());

  // Found in no folder: the scene folder's path is reported.
  Extraction missing;
  extract(missing, scene_json(mesh_node(1, "A"), textured("Gone", "gone.tga")), s);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.messages_with("Texture image missing on material Gone at the path: " +
                                  dir.file("gone.tga") + "."),
            1);

  // Map paths are also read from the document, relative to its folder.
  test::write_file(
      dir.file("doc.kscene"),
      scene_json(mesh_node(1, "A"), textured("Metal", "metal.tga"), R"("map_paths":["maps2"],)"));
  doc::LoadResult loaded = doc::load_scene_document(dir.file("doc.kscene"));
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.document.folder, dir.path());
  EXPECT_EQ(loaded.document.map_paths, std::vector<std::string>{dir.file("maps2")});

  // Same file names in different folders: both kept, the second warned about.
  Extraction same;
  extract(same,
          scene_json(mesh_node(1, "A"),
                     textured("Skin", "skin.tga") + "," + textured("Skin2", "maps1/skin.tga")),
          s);
  ASSERT_TRUE(same.ok);
  EXPECT_EQ(same.scene.textures.size(), 2u);
  EXPECT_TRUE(same.has_warning("Same named texture file exist. " + dir.file("maps1/skin.tga")));
}

TEST(ExtractTextures, IflListsGivePatternsAndDurations) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.file("anim"));
  test::write_file(dir.file("anim/walk01.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("anim/walk02.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("anim/walk.ifl"), "# the walk\r\nwalk01.tga 3\r\n\r\nwalk02.tga\r\n");
  Settings s;
  s.folder = dir.path();
  Extraction run;
  extract(run, scene_json(mesh_node(1, "A"), textured("Walk", "anim/walk.ifl")), s);
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.textures.size(), 2u);
  EXPECT_EQ(run.scene.textures[0].path, dir.file("anim/walk01.tga"));
  EXPECT_EQ(run.scene.textures[1].path, dir.file("anim/walk02.tga"));
  EXPECT_EQ(run.scene.textures[1].name, "walk02");
  const SceneMaterial* m = material_named(run, "Walk");
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->pattern_is_ifl);
  EXPECT_EQ(m->pattern_textures,
            (std::vector<std::string>{dir.file("anim/walk01.tga"), dir.file("anim/walk02.tga")}));
  EXPECT_EQ(m->ifl_durations, (std::vector<int>{3, 1}));
  EXPECT_EQ(m->texture_image_count, 2);
  EXPECT_EQ(m->texture_path, dir.file("anim/walk01.tga"));
  EXPECT_TRUE(run.has_warning("Warning: Multi texture is used. Use first texture only. Walk"));

  // A list that cannot be read for counting, and one with a bare number.
  test::write_file(dir.file("anim/bad.ifl"), "walk01.tga\r\n42\r\n");
  for (const std::string& file : {std::string("anim/none.ifl"), std::string("anim/bad.ifl")}) {
    Extraction failed;
    extract(failed, scene_json(mesh_node(1, "A"), textured("Walk", file)), s);
    EXPECT_FALSE(failed.ok) << file;
    ASSERT_EQ(failed.host.messages.size(), 2u) << file;
    EXPECT_EQ(failed.host.messages[0].text,
              "Error reading IFL file: " + dir.file(file) + " applied to material: Walk");
    EXPECT_EQ(failed.host.messages[0].caption, "IFL File Read Error");
    EXPECT_EQ(failed.host.messages[1].text,
              "All materials must be either \"KAVRO Standard\" or \"KAVRO Morpher\"");
    EXPECT_EQ(failed.host.messages[1].caption, "Material Error");
  }

  // A listed image that is missing stops the export.
  test::write_file(dir.file("anim/gap.ifl"), "walk01.tga\r\nwalk03.tga\r\n");
  Extraction gap;
  extract(gap, scene_json(mesh_node(1, "A"), textured("Walk", "anim/gap.ifl")), s);
  EXPECT_FALSE(gap.ok);
  EXPECT_EQ(gap.messages_with("Texture image missing on material Walk at the path: " +
                              dir.file("anim/walk03.tga") + "."),
            1);
}

TEST(ExtractTextures, MorpherPatternsStartWithTheLastSubMaterial) {
  test::TempDir dir;
  for (const char* f : {"a.tga", "b.tga", "c.tga"}) {
    test::write_file(dir.file(f), test::indexed_tga(8, 8));
  }
  Settings s;
  s.folder = dir.path();
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "A"),
                     R"({"name":"Face","class":"kavro_morpher","sub_materials":[
                         {"name":"A","diffuse_map":{"class":"bitmap","file":"a.tga"}},
                         {"name":"B","diffuse_map":{"class":"bitmap","file":"b.tga"}},
                         {"name":"C","diffuse_map":{"class":"bitmap","file":"c.tga","u_offset":0.5}}]})"),
          s);
  ASSERT_TRUE(run.ok);
  const SceneMaterial* m = material_named(run, "Face");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->pattern_textures,
            (std::vector<std::string>{dir.file("c.tga"), dir.file("a.tga"), dir.file("b.tga")}));
  EXPECT_FALSE(m->pattern_is_ifl);
  EXPECT_EQ(m->texture_image_count, 3);
  // The pattern image first in the texture list is the material's texture.
  EXPECT_EQ(m->texture_path, dir.file("a.tga"));
  // The texture transform is that of the last sub-material's map.
  EXPECT_EQ(m->tex_translate_s_frames, std::vector<float>{0.5f});
  EXPECT_TRUE(run.has_warning("Warning: Multi texture is used. Use first texture only. Face"));

  // A sub-material with an image list shows the list's first image.
  test::write_file(dir.file("walk.ifl"), "b.tga 2\r\nc.tga\r\n");
  Extraction listed;
  extract(listed,
          scene_json(mesh_node(1, "A"),
                     R"({"name":"Face","class":"kavro_morpher","sub_materials":[
                         {"name":"A","diffuse_map":{"class":"bitmap","file":"walk.ifl"}},
                         {"name":"B","diffuse_map":{"class":"bitmap","file":"a.tga"}}]})"),
          s);
  ASSERT_TRUE(listed.ok);
  EXPECT_EQ(material_named(listed, "Face")->pattern_textures,
            (std::vector<std::string>{dir.file("a.tga"), dir.file("b.tga")}));
}

TEST(ExtractTextures, TilingFlagsAndTheFlipRule) {
  test::TempDir dir;
  test::write_file(dir.file("t.tga"), test::indexed_tga(8, 8));
  Settings s;
  s.folder = dir.path();
  Extraction run;
  extract(run,
          scene_json(mesh_node(1, "A"),
                     textured("FlipS", "t.tga", R"("u_mirror":true,"v_wrap":false,)") + "," +
                         textured("FlipT", "t.tga",
                                  R"("u_wrap":false,"v_mirror":true,"v_tiling":2,"v_offset":0.1,)"
                                  R"("w_angle":90,)") +
                         "," + textured("Repeat", "t.tga", R"("u_offset":0.3,"u_tiling":3,)")),
          s);
  ASSERT_TRUE(run.ok);
  const SceneMaterial* flip_s = material_named(run, "FlipS");
  ASSERT_NE(flip_s, nullptr);
  EXPECT_EQ(flip_s->tex_tiling_s, 2);
  EXPECT_EQ(flip_s->tex_tiling_t, 0);
  // U tiling 1 and offset 0, mirrored: scale 2, shifted back a quarter.
  EXPECT_EQ(flip_s->tex_scale_s_frames, std::vector<float>{2.0f});
  EXPECT_EQ(flip_s->tex_translate_s_frames, std::vector<float>{-0.25f});
  EXPECT_EQ(flip_s->tex_scale_t_frames, std::vector<float>{1.0f});
  EXPECT_EQ(flip_s->tex_translate_t_frames, std::vector<float>{0.0f});

  const SceneMaterial* flip_t = material_named(run, "FlipT");
  ASSERT_NE(flip_t, nullptr);
  EXPECT_EQ(flip_t->tex_tiling_s, 0);
  EXPECT_EQ(flip_t->tex_tiling_t, 2);
  // 0.1 is 410/4096; less 0.25 / 2 = 512/4096 gives -102/4096.
  EXPECT_EQ(flip_t->tex_translate_t_frames, std::vector<float>{-102.0f / 4096.0f});
  EXPECT_EQ(flip_t->tex_scale_t_frames, std::vector<float>{4.0f});
  // The W angle turns the other way.
  EXPECT_EQ(flip_t->tex_rotate_frames, std::vector<float>{-90.0f});

  const SceneMaterial* repeat = material_named(run, "Repeat");
  ASSERT_NE(repeat, nullptr);
  EXPECT_EQ(repeat->tex_tiling_s, 1);
  EXPECT_EQ(repeat->tex_tiling_t, 1);
  // 0.3 to the nearest 1/4096 is 1229/4096.
  EXPECT_EQ(repeat->tex_translate_s_frames, std::vector<float>{1229.0f / 4096.0f});
  EXPECT_EQ(repeat->tex_scale_s_frames, std::vector<float>{3.0f});
  EXPECT_FALSE(repeat->tex_srt_animated);
}

TEST(ExtractTextures, AnimatedTransformsAreSampledPerFrame) {
  test::TempDir dir;
  test::write_file(dir.file("t.tga"), test::indexed_tga(8, 8));
  Settings s;
  s.folder = dir.path();
  Extraction run;
  extract(
      run,
      scene_json(mesh_node(1, "A"),
                 textured("Scroll", "t.tga",
                          R"("u_offset":{"keys":[{"frame":1,"value":0},{"frame":5,"value":1}]},)") +
                     "," +
                     textured("Turn", "t.tga",
                              R"("w_angle":{"keys":[{"frame":1,"value":0},{"frame":3,"value":0},)"
                              R"({"frame":5,"value":-45}]},)") +
                     "," + textured("Still", "t.tga"),
                 R"("animation_range":[1,5],)"),
      s);
  ASSERT_TRUE(run.ok);
  const SceneMaterial* scroll = material_named(run, "Scroll");
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->tex_translate_s_frames, (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 1}));
  EXPECT_EQ(scroll->tex_scale_s_frames, (std::vector<float>{1, 1, 1, 1, 1}));
  EXPECT_TRUE(scroll->tex_srt_animated);
  const SceneMaterial* turn = material_named(run, "Turn");
  ASSERT_NE(turn, nullptr);
  // Only the last frames turn; -22.5 and -45 degrees of W give 22.5 and 45.
  ASSERT_EQ(turn->tex_rotate_frames.size(), 5u);
  EXPECT_EQ(turn->tex_rotate_frames[2], 0.0f);
  EXPECT_EQ(turn->tex_rotate_frames[3], 22.5f);
  EXPECT_EQ(turn->tex_rotate_frames[4], 45.0f);
  EXPECT_TRUE(turn->tex_srt_animated);
  EXPECT_FALSE(material_named(run, "Still")->tex_srt_animated);
}

// ---------------------------------------------------------------------------
// Lights and cameras.

TEST(ExtractLights, DirectionalLightsThatAreOn) {
  Extraction run;
  extract(
      run,
      scene_json(
          R"({"id":1,"name":"Sun","object":{"class":"light","light":{"type":"directional","color":[1,0.5,0]}}},
      {"id":2,"name":"Tilted","transform":{"rotation":[90,0,0]},"object":{"class":"light","light":{"type":"directional"}}},
      {"id":3,"name":"Dark","object":{"class":"light","light":{"type":"directional","on":false}}},
      {"id":4,"name":"Bulb","object":{"class":"light","light":{"type":"omni"}}})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.lights.size(), 2u);
  // Third row of the identity: (0,0,1) -> (m8, -m10, m9) = (0,-1,0).
  expect_vec(run.scene.lights[0].direction, {0, -1, 0});
  EXPECT_EQ(run.scene.lights[0].r, 255);
  EXPECT_EQ(run.scene.lights[0].g, 127);
  EXPECT_EQ(run.scene.lights[0].b, 0);
  // A quarter turn about X: third row (0,-1,0) -> (0, 0, -1).
  expect_vec(run.scene.lights[1].direction, {0, 0, -1});
  EXPECT_EQ(run.scene.lights[1].g, 255);  // no colour property
}

TEST(ExtractLights, FirstCameraLooksAtItsTarget) {
  Extraction run;
  extract(run, scene_json(R"({"id":1,"name":"Cam","transform":{"position":[0,-10,2]},
      "object":{"class":"camera","camera":{"target":2,"roll":5,"projection":"ortho","near":0.5,"far":500,
                "fov":30,"aspect":1.5,"ortho_width":40,"ortho_height":30}}},
      {"id":2,"name":"Cam.Target","target":true,"transform":{"position":[0,0,2]}})"));
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(run.scene.cameras.size(), 1u);
  const SceneCamera& c = run.scene.cameras[0];
  expect_vec(c.position, {0, 2, 10});
  expect_vec(c.lookat, {0, 2, 0});
  EXPECT_FLOAT_EQ(c.twist, 5);
  EXPECT_EQ(c.projection, 1);
  EXPECT_FLOAT_EQ(c.near_plane, 0.5f);
  EXPECT_FLOAT_EQ(c.far_plane, 500);
  EXPECT_FLOAT_EQ(c.fovy, 30);
  EXPECT_FLOAT_EQ(c.aspect, 1.5f);
  EXPECT_FLOAT_EQ(c.ortho_width, 40);
  EXPECT_FLOAT_EQ(c.ortho_height, 30);
  EXPECT_EQ(run.node("Cam_Target"), nullptr);  // targets are not exported
}

// The example scenes load and extract with the counts they were made with.
TEST(ExampleScenes, ExtractWithTheirNodesAndMaterials) {
  const char* root = std::getenv("KAVRO_SOURCE_DIR");
  std::string folder = root != nullptr                          ? std::string(root) + "/examples/"
                       : std::ifstream("examples/robot.kscene") ? "examples/"
                                                                : "../examples/";
  struct Expect {
    const char* file;
    std::size_t nodes, materials;
  };
  for (const Expect& e : {Expect{"robot.kscene", 8, 5}, Expect{"character.kscene", 4, 2},
                          Expect{"warnings.kscene", 8, 4}}) {
    std::ifstream in(folder + e.file, std::ios::binary);
    ASSERT_TRUE(in) << folder + e.file;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Extraction run;
    extract(run, text);
    ASSERT_TRUE(run.ok) << e.file;
    EXPECT_EQ(run.scene.nodes.size(), e.nodes) << e.file;
    EXPECT_EQ(run.scene.materials.size(), e.materials) << e.file;
    if (std::string(e.file) == "character.kscene") {
      ASSERT_EQ(run.scene.polygons.size(), 1u);
      EXPECT_TRUE(run.scene.polygons[0].skinned());
      EXPECT_FALSE(run.scene.polygons[0].colors.empty());
      // Quads are rebuilt after the single-bone vertices moved into their
      // bones' space: the four quads reaching the Head ring no longer match
      // the host's polygons and stay triangles.
      EXPECT_EQ(run.scene.polygons[0].quad_count(), 12);
      EXPECT_EQ(run.scene.polygons[0].triangle_count(), 8);
    }
  }

  // The textured example finds its maps beside it.
  std::ifstream in(folder + "textured.kscene", std::ios::binary);
  ASSERT_TRUE(in);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Settings s;
  s.folder = folder + ".";
  Extraction run;
  extract(run, text, s);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(run.scene.nodes.size(), 6u);
  EXPECT_EQ(run.scene.materials.size(), 7u);
  // Checker, glass, three walk frames, two faces, water and stone.
  EXPECT_EQ(run.scene.textures.size(), 9u);
  const SceneMaterial* walk = material_named(run, "Walk");
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->ifl_durations, (std::vector<int>{4, 4, 8}));
  EXPECT_TRUE(material_named(run, "Water")->tex_srt_animated);
  EXPECT_EQ(material_named(run, "Face")->pattern_textures.size(), 2u);
}

}  // namespace
}  // namespace kavro
