// Plug-in class data: the base64 text of chunks, the document section, and
// the host handing chunks to the loaded classes and collecting them again.
#include "host/class_data.h"

#include <gtest/gtest.h>

#include "host/recording_host.h"
#include "host/scene_document.h"
#include "host/scene_io.h"
#include "host/scene_session.h"
#include "tests/support/support.h"

namespace kavro::host {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) {
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

TEST(Base64, StandardVectorsBothWays) {
  // The test vectors of RFC 4648.
  const char* const cases[][2] = {{"", ""},
                                  {"f", "Zg=="},
                                  {"fo", "Zm8="},
                                  {"foo", "Zm9v"},
                                  {"foob", "Zm9vYg=="},
                                  {"fooba", "Zm9vYmE="},
                                  {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(base64_encode(bytes(c[0])), c[1]) << c[0];
    std::vector<std::uint8_t> back;
    EXPECT_TRUE(base64_decode(c[1], back)) << c[1];
    EXPECT_EQ(back, bytes(c[0])) << c[1];
  }
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> back;
  ASSERT_TRUE(base64_decode(base64_encode(all), back));
  EXPECT_EQ(back, all);
}

TEST(Base64, MalformedTextIsRefused) {
  for (const char* text : {"Zg=", "Zg", "Zh==", "Zm9=", "Z===", "====", "Zm9v!AAA", "=m9v",
                           "Zg==Zg==", "Zm 9v", "Zm9v\n"}) {
    std::vector<std::uint8_t> out;
    EXPECT_FALSE(base64_decode(text, out)) << text;
  }
}

std::string doc_with(const std::string& section) {
  return R"({"format":"kavro-scene","version":1,"plugin_class_data":)" + section + "}";
}

TEST(ClassDataSection, ReadFromTheDocument) {
  doc::LoadResult r = doc::parse_scene_document(
      doc_with(R"([{"class_id":[2068035666,911962577],"chunks":[{"id":1,"data":"Zm9v"},)"
               R"({"id":65535}]},{"class_id":[1,2]}])"),
      "t.kscene");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.document.class_data.size(), 2u);
  const PluginClassData& first = r.document.class_data[0];
  EXPECT_EQ(first.class_id, (ClassId{0x7b43b852, 0x365b71d1}));
  ASSERT_EQ(first.chunks.size(), 2u);
  EXPECT_EQ(first.chunks[0].id, 1);
  EXPECT_EQ(first.chunks[0].data, bytes("foo"));
  EXPECT_EQ(first.chunks[1].id, 65535);
  EXPECT_TRUE(first.chunks[1].data.empty());
  EXPECT_TRUE(r.document.class_data[1].chunks.empty());
}

TEST(ClassDataSection, BadSectionsAreRefusedNamingThePlace) {
  struct Case {
    const char* section;
    const char* error;
  } cases[] = {
      {R"({})", "t.kscene, at /plugin_class_data: expected an array, found an object"},
      {R"([{"chunks":[]}])", "t.kscene, at /plugin_class_data/0: missing field \"class_id\""},
      {R"([{"class_id":[1]}])", "t.kscene, at /plugin_class_data/0/class_id: expected [a, b]"},
      {R"([{"class_id":[1,-2]}])", "t.kscene, at /plugin_class_data/0/class_id/1: the value is"},
      {R"([{"class_id":[1,2]},{"class_id":[1,2]}])",
       "t.kscene, at /plugin_class_data/1/class_id: the class appears twice"},
      {R"([{"class_id":[1,2],"chunks":[{"id":65536}]}])",
       "t.kscene, at /plugin_class_data/0/chunks/0/id: the value is out of range"},
      {R"([{"class_id":[1,2],"chunks":[{"data":"Zm9v"}]}])",
       "t.kscene, at /plugin_class_data/0/chunks/0: missing field \"id\""},
      {R"([{"class_id":[1,2],"chunks":[{"id":1,"data":"Zm9"}]}])",
       "t.kscene, at /plugin_class_data/0/chunks/0/data: the chunk data is not base64"},
      {R"([{"class_id":[1,2],"chunks":[{"id":1,"data":[1]}]}])",
       "t.kscene, at /plugin_class_data/0/chunks/0/data: expected a base64 string"},
      {R"([{"class_id":[1,2],"size":3}])",
       "t.kscene, at /plugin_class_data/0/size: unknown field \"size\""},
  };
  for (const Case& c : cases) {
    doc::LoadResult r = doc::parse_scene_document(doc_with(c.section), "t.kscene");
    EXPECT_FALSE(r.ok) << c.section;
    EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << c.section << "\n" << r.error;
  }
}

// A class that records its calls.
class FakeOwner : public ClassDataOwner {
 public:
  explicit FakeOwner(ClassId id) : id_(id) {}
  ClassId class_id() const override { return id_; }
  void save_class_data(Host&, std::vector<ClassDataChunk>& chunks) override {
    chunks.insert(chunks.end(), to_save.begin(), to_save.end());
  }
  void load_class_data(Host&, const std::string& source,
                       const std::vector<ClassDataChunk>& chunks) override {
    loads.push_back(source);
    loaded = chunks;
  }
  std::vector<ClassDataChunk> to_save, loaded;
  std::vector<std::string> loads;

 private:
  ClassId id_;
};

TEST(ClassDataRegistry, LoadGoesToTheOwnerAndSaveKeepsTheOthers) {
  RecordingHost host;
  FakeOwner mine({10, 20}), quiet({30, 40}), twin({10, 20});
  register_class_data_owner(mine);
  register_class_data_owner(mine);
  register_class_data_owner(twin);  // a second owner of a class id is not taken
  register_class_data_owner(quiet);
  std::vector<PluginClassData> section = {
      {{99, 1}, {{5, bytes("keep")}}},
      {{10, 20}, {{1, bytes("old")}}},
  };
  load_scene_class_data(host, "a.kscene", section);
  ASSERT_EQ(mine.loads.size(), 1u);
  EXPECT_EQ(mine.loads[0], "a.kscene");
  ASSERT_EQ(mine.loaded.size(), 1u);
  EXPECT_EQ(mine.loaded[0].data, bytes("old"));
  EXPECT_TRUE(quiet.loads.empty());  // the scene holds nothing of it
  EXPECT_TRUE(twin.loads.empty());

  mine.to_save = {{1, bytes("new")}, {2, {}}};
  std::vector<PluginClassData> saved = save_scene_class_data(host, section);
  ASSERT_EQ(saved.size(), 2u);  // the quiet class gave nothing and is left out
  EXPECT_EQ(saved[0].class_id, (ClassId{10, 20}));
  ASSERT_EQ(saved[0].chunks.size(), 2u);
  EXPECT_EQ(saved[0].chunks[0].data, bytes("new"));
  EXPECT_EQ(saved[1].class_id, (ClassId{99, 1}));
  EXPECT_EQ(saved[1].chunks[0].data, bytes("keep"));

  unregister_class_data_owner(mine);
  unregister_class_data_owner(quiet);
  load_scene_class_data(host, "b.kscene", section);
  EXPECT_EQ(mine.loads.size(), 1u);
}

TEST(ClassDataRegistry, TheHostsSceneSessionLoadsAndSavesTheSection) {
  RecordingHost host;
  FakeOwner mine({10, 20});
  register_class_data_owner(mine);
  SceneSession session(host);
  session.set_loader([](const std::string&) {
    SceneLoadResult r;
    r.ok = true;
    r.document.class_data = {{{10, 20}, {{1, bytes("old")}}}, {{99, 1}, {{5, bytes("keep")}}}};
    return r;
  });
  ASSERT_TRUE(session.LoadFromFile("s.kscene"));
  ASSERT_EQ(mine.loads.size(), 1u);
  EXPECT_EQ(mine.loaded[0].data, bytes("old"));

  // Saved and read back: the class's new chunk and the other class's data.
  mine.to_save = {{1, bytes("new")}};
  test::TempDir dir;
  ASSERT_TRUE(session.SaveToFile(dir.file("t.kscene"))) << session.last_error();
  doc::LoadResult back = doc::load_scene_document(dir.file("t.kscene"));
  ASSERT_TRUE(back.ok) << back.error;
  ASSERT_EQ(back.document.class_data.size(), 2u);
  EXPECT_EQ(back.document.class_data[0].chunks[0].data, bytes("new"));
  EXPECT_EQ(back.document.class_data[1].chunks[0].data, bytes("keep"));
  unregister_class_data_owner(mine);
}

}  // namespace
}  // namespace kavro::host
