// Saving scene documents: the fixed layout (checked on a small document
// against a text written out by hand), reading a saved document back gives
// the same scene and saving it again the same bytes, relative references
// follow the document, and failures leave nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/scene_io.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

std::string source_dir() {
  const char* s = std::getenv("KAVRO_SOURCE_DIR");
  return s != nullptr ? s : "..";
}

std::string text_of(const doc::SceneDocument& d) {
  std::string text, error;
  EXPECT_TRUE(host::scene_document_text(d, {}, text, error)) << error;
  return text;
}

doc::SceneDocument small_document() {
  doc::SceneDocument d;
  d.file_name = "box.fbx";
  d.end_frame = 10;
  doc::Material red;
  red.name = "Red";
  red.cls = doc::MaterialClass::kKavroStandard;
  red.diffuse.value = {1, 0, 0};
  red.params = {{"polyID", 3}, {"light_0", 1}};
  red.has_diffuse_map = true;
  red.diffuse_map.file = "maps/red.tga";
  red.diffuse_map.u_tiling.value = 2;
  red.diffuse_map.tiling = doc::kUWrap;
  d.materials.push_back(red);
  doc::Node box;
  box.id = 0;
  box.name = "Box";
  box.user_properties = {{"b", doc::UserProperty::kBool, "", true, 0},
                         {"a", doc::UserProperty::kString, "x\"y", false, 0}};
  box.transform.position.keys = {{0, {0, 0, 0}}, {10, {1, 2, 3.5f}}};
  box.transform.position.value = {0, 0, 0};
  box.transform.rotation.value = {0, 0, 0.70710677f, 0.70710677f};
  box.material = 0;
  box.has_object = true;
  box.object.cls = doc::ObjectClass::kMesh;
  box.object.has_mesh = true;
  doc::Mesh& m = box.object.mesh;
  m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, -0.0f, 0.1f}};
  m.normals = {{0, -1, 0}};
  m.tex_vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  doc::Face f;
  f.v = {0, 1, 2};
  f.t = {0, 1, 2};
  f.n = {0, 0, 0};
  m.faces = {f};
  d.nodes.push_back(box);
  doc::Node tip;
  tip.id = 1;
  tip.name = "Tip";
  tip.parent = 0;
  tip.hidden = true;
  d.nodes.push_back(tip);
  return d;
}

TEST(SceneSave, SmallDocumentInTheFixedLayout) {
  // Keys in the documented order, defaults left out, user properties and
  // parameters by name, -0 kept as -0.0, floats in their shortest form,
  // a face whose texture indices follow its vertices written as "v" alone
  // with its normal indices.
  const std::string expected =
      "{\n"
      "  \"format\": \"kavro-scene\",\n"
      "  \"version\": 1,\n"
      "  \"file_name\": \"box.fbx\",\n"
      "  \"animation_range\": [0, 10],\n"
      "  \"materials\": [\n"
      "    {\n"
      "      \"name\": \"Red\",\n"
      "      \"class\": \"kavro_standard\",\n"
      "      \"diffuse\": [1, 0, 0],\n"
      "      \"params\": {\"light_0\": 1, \"polyID\": 3},\n"
      "      \"diffuse_map\": {\"class\": \"bitmap\", \"file\": \"maps/red.tga\", \"u_tiling\": 2, "
      "\"v_wrap\": false}\n"
      "    }\n"
      "  ],\n"
      "  \"nodes\": [\n"
      "    {\n"
      "      \"id\": 0,\n"
      "      \"name\": \"Box\",\n"
      "      \"user_properties\": {\"a\": \"x\\\"y\", \"b\": true},\n"
      "      \"transform\": {\"position\": {\"keys\": [{\"frame\": 0, \"value\": [0, 0, 0]}, "
      "{\"frame\": 10, \"value\": [1, 2, 3.5]}]}, \"rotation\": [0, 0, 0.70710677, "
      "0.70710677]},\n"
      "      \"material\": 0,\n"
      "      \"object\": {\n"
      "        \"class\": \"mesh\",\n"
      "        \"mesh\": {\n"
      "          \"vertices\": [\n"
      "            [0, 0, 0],\n"
      "            [1, 0, 0],\n"
      "            [0, -0.0, 0.1]\n"
      "          ],\n"
      "          \"normals\": [\n"
      "            [0, -1, 0]\n"
      "          ],\n"
      "          \"texture_vertices\": [\n"
      "            [0, 0],\n"
      "            [1, 0],\n"
      "            [0, 1]\n"
      "          ],\n"
      "          \"faces\": [\n"
      "            {\"v\": [0, 1, 2], \"n\": [0, 0, 0]}\n"
      "          ]\n"
      "        }\n"
      "      }\n"
      "    },\n"
      "    {\n"
      "      \"id\": 1,\n"
      "      \"name\": \"Tip\",\n"
      "      \"parent\": 0,\n"
      "      \"hidden\": true\n"
      "    }\n"
      "  ]\n"
      "}\n";
  EXPECT_EQ(text_of(small_document()), expected);
}

TEST(SceneSave, ReadingBackGivesTheSameSceneAndTheSameBytes) {
  doc::SceneDocument d = small_document();
  std::string first = text_of(d);
  doc::LoadResult back = doc::parse_scene_document(first, "box.kscene");
  ASSERT_TRUE(back.ok) << back.error;
  const doc::Mesh& m = back.document.nodes[0].object.mesh;
  // Bit for bit: 0.1f and a negative zero survive.
  EXPECT_EQ(std::memcmp(&m.vertices[2], &d.nodes[0].object.mesh.vertices[2], sizeof(max::Point3)),
            0);
  EXPECT_EQ(back.document.nodes[0].transform.rotation.value, d.nodes[0].transform.rotation.value);
  EXPECT_EQ(back.document.nodes[0].user_properties[0].text, "x\"y");
  EXPECT_EQ(text_of(back.document), first);
}

TEST(SceneSave, PluginClassDataIsWrittenBackLast) {
  doc::SceneDocument d;
  d.file_name = "c.kscene";
  host::PluginClassData data;
  data.class_id = {1, 4294967295u};
  data.chunks = {{1, {'a', 'b', 'c'}}, {2, {}}};
  d.class_data.push_back(data);
  // "abc" in base64 is "YWJj"; a chunk without bytes has no "data".
  const std::string expected =
      "{\n"
      "  \"format\": \"kavro-scene\",\n"
      "  \"version\": 1,\n"
      "  \"file_name\": \"c.kscene\",\n"
      "  \"plugin_class_data\": [\n"
      "    {\"class_id\": [1, 4294967295], \"chunks\": [{\"id\": 1, \"data\": \"YWJj\"}, "
      "{\"id\": 2}]}\n"
      "  ]\n"
      "}\n";
  std::string text = text_of(d);
  EXPECT_EQ(text, expected);
  doc::LoadResult back = doc::parse_scene_document(text, "c.kscene");
  ASSERT_TRUE(back.ok) << back.error;
  ASSERT_EQ(back.document.class_data.size(), 1u);
  EXPECT_EQ(back.document.class_data[0].chunks[0].data, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(text_of(back.document), text);
}

TEST(SceneSave, EveryExampleSavesAndReloadsToTheSameBytes) {
  for (const char* name : {"robot", "character", "warnings", "textured"}) {
    test::TempDir dir;
    host::SceneLoadResult loaded =
        host::load_scene_file(source_dir() + "/examples/" + name + ".kscene");
    ASSERT_TRUE(loaded.ok) << loaded.error;
    std::string error;
    // Saved elsewhere and saved again from there.
    ASSERT_TRUE(host::save_scene_file(loaded.document, dir.file("a.kscene"), {}, error)) << error;
    host::SceneLoadResult again = host::load_scene_file(dir.file("a.kscene"));
    ASSERT_TRUE(again.ok) << name << ": " << again.error;
    ASSERT_TRUE(host::save_scene_file(again.document, dir.file("a.kscene"), {}, error)) << error;
    ASSERT_TRUE(host::save_scene_file(again.document, dir.file("b.kscene"), {}, error)) << error;
    std::string a = test::read_file(dir.file("a.kscene"));
    EXPECT_EQ(a, test::read_file(dir.file("b.kscene"))) << name;
    host::SceneLoadResult third = host::load_scene_file(dir.file("a.kscene"));
    ASSERT_TRUE(third.ok) << third.error;
    std::string text = text_of(third.document);
    EXPECT_EQ(text, a) << name;
    // The same nodes, materials and selection as the original.
    EXPECT_EQ(third.document.nodes.size(), loaded.document.nodes.size()) << name;
    EXPECT_EQ(third.document.materials.size(), loaded.document.materials.size()) << name;
    EXPECT_EQ(third.document.selection, loaded.document.selection) << name;
    EXPECT_EQ(third.document.file_name, loaded.document.file_name) << name;
  }
}

TEST(SceneSave, RelativeTexturesStillPointAtTheirFilesFromTheNewFolder) {
  test::TempDir dir;
  host::SceneLoadResult loaded = host::load_scene_file(source_dir() + "/examples/textured.kscene");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  std::string error;
  ASSERT_TRUE(host::save_scene_file(loaded.document, dir.file("moved.kscene"), {}, error)) << error;
  host::SceneLoadResult moved = host::load_scene_file(dir.file("moved.kscene"));
  ASSERT_TRUE(moved.ok) << moved.error;
  // Each bitmap of the moved document names a file that exists.
  int checked = 0;
  std::function<void(const std::vector<doc::Material>&)> walk =
      [&](const std::vector<doc::Material>& ms) {
        for (const doc::Material& m : ms) {
          if (m.has_diffuse_map && !m.diffuse_map.file.empty()) {
            const std::string& f = m.diffuse_map.file;
            std::string full = f[0] == '/' ? f : moved.document.folder + "/" + f;
            EXPECT_TRUE(test::file_exists(full)) << full;
            ++checked;
          }
          walk(m.sub_materials);
        }
      };
  walk(moved.document.materials);
  EXPECT_GT(checked, 0);
}

TEST(SceneSave, FailuresNameTheFileAndLeaveNothingBehind) {
  test::TempDir dir;
  std::string error;
  doc::SceneDocument d = small_document();
  EXPECT_FALSE(host::save_scene_file(d, dir.file("no/such/folder/x.kscene"), {}, error));
  EXPECT_EQ(error.rfind(dir.file("no/such/folder/x.kscene") + ": ", 0), 0u) << error;
  // A name that is not CP932 text: nothing is written.
  d.nodes[1].name = "\x81";
  EXPECT_FALSE(host::save_scene_file(d, dir.file("x.kscene"), {}, error));
  EXPECT_NE(error.find("host code page"), std::string::npos) << error;
  EXPECT_FALSE(test::file_exists(dir.file("x.kscene")));
  // An existing file is replaced only by a complete one.
  test::write_file(dir.file("keep.kscene"), "old");
  EXPECT_FALSE(host::save_scene_file(d, dir.file("keep.kscene"), {}, error));
  EXPECT_EQ(test::read_file(dir.file("keep.kscene")), "old");
}

}  // namespace
}  // namespace kavro
