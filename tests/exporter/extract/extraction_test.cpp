// Extraction of nodes and meshes from small scene documents: the export
// filter, naming, polygon sets, quadrilaterals, subdivision and NURBS
// messages.

#include <gtest/gtest.h>

#include "tests/exporter/extract/extraction_fixture.h"

namespace kavro {
namespace {

using namespace extract_test;

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

TEST(ExtractNodes, IndexedUniqueNamesEqualThePlainPassOnLongLists) {
  // Thousands of names, as a mesh split into many sets or a scene of many
  // materials gives them: long runs of one host name (suffixes climbing into
  // the hundreds) between names from a wider pool, so that the index grows
  // many times while passes are under way.
  std::vector<std::string> pool;
  for (int i = 0; i < 40; ++i) pool.push_back("n" + std::to_string(i % 20) + (i < 20 ? "" : "_1"));
  pool.push_back("Multi Material Mesh");
  std::srand(11);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::string> list;
    UniqueNames index;
    auto at = [&](std::size_t i) -> const std::string& { return list[i]; };
    for (int step = 0; step < 3000; ++step) {
      const std::string& host = std::rand() % 3 == 0
                                    ? pool.back()
                                    : pool[static_cast<std::size_t>(std::rand()) % pool.size()];
      index.sync(list.size(), at);
      bool plain_changed = false, indexed_changed = true;
      const std::string plain = unique_name(host, list.size(), at, &plain_changed);
      ASSERT_EQ(index.unique(host, &indexed_changed), plain) << "round " << round << " " << step;
      ASSERT_EQ(indexed_changed, plain_changed);
      list.push_back(std::rand() % 50 == 0 ? host : plain);
    }
    ASSERT_TRUE(index.contains("Multi_Material_Mesh_300"));
    ASSERT_FALSE(index.contains("Multi Material Mesh_1"));
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

}  // namespace
}  // namespace kavro
