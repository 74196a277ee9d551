// Extraction of texture sources, texture transforms and pattern lists.

#include <gtest/gtest.h>

#include "tests/exporter/extract/extraction_fixture.h"

namespace kavro {
namespace {

using namespace extract_test;

// A kavro_standard material with a diffuse bitmap; `uv` adds fields of the map.
std::string textured(const std::string& name, const std::string& file, const std::string& uv = "") {
  return R"({"name":")" + name + R"(","class":"kavro_standard","diffuse_map":{"class":"bitmap",)" +
         uv + R"("file":")" + file + R"("}})";
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

}  // namespace
}  // namespace kavro
