// The material array of the model file: keywords, colours, texture settings,
// tiling warnings, texture coordinate generation and the effect matrix.
#include "exporter/imd/material_array.h"

#include <gtest/gtest.h>

#include "exporter/pipeline/output_file.h"
#include "exporter/pipeline/scene.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

SceneMaterial material(const std::string& name, const std::string& texture_path = "") {
  SceneMaterial m;
  m.name = name;
  m.texture_path = texture_path;
  m.alpha_frames = {255};
  m.diffuse_frames = m.ambient_frames = m.specular_frames = m.emission_frames = {{0, 0, 0}};
  m.tex_scale_s_frames = m.tex_scale_t_frames = {1.0f};
  m.tex_rotate_frames = m.tex_translate_s_frames = m.tex_translate_t_frames = {0.0f};
  return m;
}

SceneTexture texture(const std::string& path, int w, int h,
                     TextureFormat format = TextureFormat::kPalette16) {
  SceneTexture t;
  t.path = path;
  t.original_width = static_cast<std::uint16_t>(w);
  t.original_height = static_cast<std::uint16_t>(h);
  t.format = format;
  return t;
}

class MaterialArray : public ::testing::Test {
 protected:
  MaterialArray() { scene_.stage_count = 1; }
  // A texture whose palette went to tex_palette_array entry `palette`.
  void add_texture(SceneTexture t, int palette) {
    scene_.textures.push_back(std::move(t));
    palette_index_.push_back(palette);
  }
  std::string write() {
    OutputFile out;
    write_material_array(out, scene_, scene_.log(), palette_index_);
    return test::lf(out.text());
  }
  ExportScene scene_;
  std::vector<int> palette_index_;
};

TEST_F(MaterialArray, TexturedAndUntexturedMaterials) {
  add_texture(texture("C:/t/wall.png", 64, 64, TextureFormat::kPalette16), 3);
  SceneMaterial m = material("brick", "C:/t/wall.png");
  m.face = 2;
  m.alpha_frames = {200, 0};
  m.polygon_mode = 1;
  m.polygon_id = 5;
  m.fog_flag = 1;
  m.translucent_update_depth = 1;
  m.far_clipping = 1;
  m.diffuse_frames = {{255, 128, 0}, {0, 0, 0}};
  m.ambient_frames = {{8, 16, 24}};
  m.emission_frames = {{255, 255, 255}};
  m.shininess_table_flag = 1;
  m.tex_tiling_s = 1;
  m.tex_tiling_t = 2;
  m.tex_scale_s_frames = {2.0f, 1.0f};
  m.tex_translate_s_frames = {0.5f};
  scene_.materials.push_back(m);
  scene_.materials.push_back(material("plain"));
  EXPECT_EQ(write(),
            "\n<material_array size=\"2\">\n"
            "\t<material index=\"0\" name=\"brick\"\n"
            "\t\tlight0=\"on\" light1=\"off\" light2=\"off\" light3=\"off\"\n"
            "\t\tface=\"both\"\n"
            "\t\talpha=\"25\"\n"
            "\t\twire_mode=\"off\"\n"
            "\t\tpolygon_mode=\"decal\"\n"
            "\t\tpolygon_id=\"5\"\n"
            "\t\tfog_flag=\"on\"\n"
            "\t\tdepth_test_decal=\"off\"\n"
            "\t\ttranslucent_update_depth=\"on\"\n"
            "\t\trender_1_pixel=\"off\"\n"
            "\t\tfar_clipping=\"on\"\n"
            "\t\tdiffuse=\"31 16 0\"\n"
            "\t\tambient=\"1 2 3\"\n"
            "\t\tspecular=\"0 0 0\"\n"
            "\t\temission=\"31 31 31\"\n"
            "\t\tshininess_table_flag=\"on\"\n"
            "\t\ttex_image_idx=\"0\" tex_palette_idx=\"3\"\n"
            "\t\ttex_tiling=\"repeat flip\"\n"
            "\t\ttex_scale=\"2.000000 1.000000\"\n"
            "\t\ttex_rotate=\"0.000000\"\n"
            "\t\ttex_translate=\"0.500000 0.000000\"\n"
            "\t\ttex_gen_mode=\"tex\"\n"
            "\t/>\n"
            "\t<material index=\"1\" name=\"plain\"\n"
            "\t\tlight0=\"on\" light1=\"off\" light2=\"off\" light3=\"off\"\n"
            "\t\tface=\"front\"\n"
            "\t\talpha=\"31\"\n"
            "\t\twire_mode=\"off\"\n"
            "\t\tpolygon_mode=\"modulate\"\n"
            "\t\tpolygon_id=\"0\"\n"
            "\t\tfog_flag=\"off\"\n"
            "\t\tdepth_test_decal=\"off\"\n"
            "\t\ttranslucent_update_depth=\"off\"\n"
            "\t\trender_1_pixel=\"off\"\n"
            "\t\tfar_clipping=\"off\"\n"
            "\t\tdiffuse=\"0 0 0\"\n"
            "\t\tambient=\"0 0 0\"\n"
            "\t\tspecular=\"0 0 0\"\n"
            "\t\temission=\"0 0 0\"\n"
            "\t\tshininess_table_flag=\"off\"\n"
            "\t\ttex_image_idx=\"-1\" tex_palette_idx=\"-1\"\n"
            "\t/>\n"
            "</material_array>\n");
  EXPECT_EQ(texture_image_indices(scene_), (std::vector<int>{0, -1}));
  EXPECT_TRUE(scene_.warnings().empty());
  EXPECT_EQ(scene_.stages_done, 1);
}

TEST_F(MaterialArray, NoMaterialsWriteNothingButEndTheStage) {
  EXPECT_EQ(write(), "");
  EXPECT_EQ(scene_.stages_done, 1);
}

TEST_F(MaterialArray, TextureLookupByExactPath) {
  add_texture(texture("C:/t/a.png", 8, 8, TextureFormat::kPalette4), 1);
  add_texture(texture("C:/t/b.png", 8, 8, TextureFormat::kDirect), 0);
  add_texture(texture("C:/t/b.png", 8, 8, TextureFormat::kPalette4), 2);
  scene_.materials.push_back(material("m0", "C:/t/B.png"));  // no match: image 0
  scene_.materials.push_back(material("m1", "C:/t/b.png"));  // first match, direct
  std::string text = write();
  EXPECT_NE(text.find("name=\"m0\"\n"), std::string::npos);
  EXPECT_NE(text.find("\t\ttex_image_idx=\"0\" tex_palette_idx=\"1\"\n"), std::string::npos);
  EXPECT_NE(text.find("\t\ttex_image_idx=\"1\" tex_palette_idx=\"-1\"\n"), std::string::npos);
  EXPECT_EQ(texture_image_indices(scene_), (std::vector<int>{0, 1}));
}

TEST_F(MaterialArray, TilingNeedsPowerOfTwoSidesFrom8To1024) {
  const std::string width =
      "Warning: Texture width must be power of 2 for tile / mirror: Texture: ";
  const std::string height =
      "Warning: Texture height must be power of 2 for tile / mirror: Texture: ";
  struct Case {
    int w, h, tile_s, tile_t;
    std::vector<std::string> warnings;
  };
  std::vector<Case> cases = {
      {48, 64, 1, 1, {width + "P"}},
      {4, 4, 2, 2, {height + "P", width + "P"}},
      {4, 4, 0, 0, {}},
      {8, 1024, 1, 1, {}},
      {2048, 1024, 0, 1, {}},
      {2048, 2048, 2, 0, {width + "P"}},
  };
  for (const Case& c : cases) {
    ExportScene scene;
    scene.textures.push_back(texture("P", c.w, c.h));
    SceneMaterial m = material("m", "P");
    m.tex_tiling_s = c.tile_s;
    m.tex_tiling_t = c.tile_t;
    scene.materials.push_back(m);
    OutputFile out;
    write_material_array(out, scene, scene.log(), {0});
    EXPECT_EQ(scene.warnings(), c.warnings) << c.w << "x" << c.h;
  }
}

TEST_F(MaterialArray, ShininessTableNeedsLighting) {
  SceneMaterial m = material("lit");
  m.shininess_table_flag = 1;
  scene_.materials.push_back(m);
  m.name = "unlit";
  m.lighting = 0;
  scene_.materials.push_back(m);
  std::string text = write();
  std::size_t second = text.find("name=\"unlit\"");
  EXPECT_NE(text.find("shininess_table_flag=\"on\""), std::string::npos);
  EXPECT_LT(text.find("shininess_table_flag=\"on\""), second);
  EXPECT_NE(text.find("shininess_table_flag=\"off\"", second), std::string::npos);
}

TEST_F(MaterialArray, GenerationModesAndTheEffectMatrix) {
  add_texture(texture("T", 8, 8), 0);
  SceneMaterial nrm = material("nrm", "T");
  nrm.tex_gen_mode = 2;
  nrm.tex_gen_st_src = 1;
  for (int i = 0; i < 16; ++i) nrm.tex_effect_mtx.m[i] = 0.5f * static_cast<float>(i + 1);
  scene_.materials.push_back(nrm);
  SceneMaterial tex = material("tex", "T");
  tex.tex_gen_mode = 1;
  scene_.materials.push_back(tex);
  SceneMaterial pos = material("pos", "T");
  pos.tex_gen_mode = 3;
  pos.tex_rotate_frames = {30.0f};
  scene_.materials.push_back(pos);
  SceneMaterial none = material("none", "T");
  scene_.materials.push_back(none);
  std::string text = write();
  EXPECT_NE(text.find("\t\ttex_gen_mode=\"nrm\"\n"
                      "\t\ttex_gen_st_src=\"material\"\n"
                      "\t\ttex_effect_mtx=\"0.500000 1.000000 1.500000 2.000000\n"
                      "\t\t                2.500000 3.000000 3.500000 4.000000\n"
                      "\t\t                4.500000 5.000000 5.500000 6.000000\n"
                      "\t\t                6.500000 7.000000 7.500000 8.000000\"\n"
                      "\t/>\n"),
            std::string::npos);
  EXPECT_NE(text.find("\t\ttex_gen_mode=\"tex\"\n\t/>\n\t<material index=\"2\""),
            std::string::npos);
  EXPECT_NE(text.find("\t\ttex_rotate=\"30.000000\"\n"), std::string::npos);
  EXPECT_NE(text.find("\t\ttex_gen_mode=\"pos\"\n\t\ttex_gen_st_src=\"polygon\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("\t\ttex_gen_mode=\"none\"\n\t/>\n</material_array>"), std::string::npos);
}

TEST_F(MaterialArray, LongNamesAreWarnedAbout) {
  scene_.materials.push_back(material("exactly_16_chars"));
  scene_.materials.push_back(material("seventeen_chars_x"));
  write();
  EXPECT_EQ(scene_.warnings(),
            std::vector<std::string>{
                "Warning: Length of name over 16 characters. material: seventeen_chars_x"});
}

TEST_F(MaterialArray, ATexturePathInASceneWithoutTexturesIsWrittenUntextured) {
  scene_.materials.push_back(material("lost", "C:/t/gone.png"));
  std::string text = write();
  EXPECT_NE(text.find("\t\ttex_image_idx=\"-1\" tex_palette_idx=\"-1\"\n\t/>\n"),
            std::string::npos);
  EXPECT_EQ(text.find("tex_tiling"), std::string::npos);
  EXPECT_EQ(texture_image_indices(scene_), std::vector<int>{-1});
}

}  // namespace
}  // namespace kavro
