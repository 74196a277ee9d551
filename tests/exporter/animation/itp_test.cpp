#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exporter/animation/writers.h"
#include "exporter/texture/convert.h"
#include "tests/exporter/animation/anim_fixture.h"

namespace kavro {
namespace {

using test::AnimScene;

// A converted texture: a palette texture unless `direct`.
SceneTexture texture(const std::string& path, bool direct = false, int size = 8) {
  SceneTexture t;
  t.path = path;
  t.width = static_cast<std::uint16_t>(size);
  t.height = static_cast<std::uint16_t>(size);
  t.format = direct ? TextureFormat::kDirect : TextureFormat::kPalette16;
  if (!direct) t.palette = {0x0000, 0x7fff};
  return t;
}

SceneMaterial ifl_material(const std::string& name, std::vector<std::string> paths,
                           std::vector<int> durations, bool repeat) {
  SceneMaterial m;
  m.name = name;
  m.pattern_is_ifl = true;
  m.pattern_textures = std::move(paths);
  m.ifl_durations = std::move(durations);
  m.ifl_repeat = repeat;
  return m;
}

// The scene's textures a.tga, b.tga and c.tga (c direct), IMD written too.
void add_abc(ExportScene& s) {
  s.output_imd = 1;
  s.textures.push_back(texture("C:\\tex\\a.tga"));
  s.textures.push_back(texture("C:\\tex\\b.tga"));
  s.textures.push_back(texture("C:\\tex\\c.tga", true));
}

const std::vector<std::string> kAbc = {"C:\\tex\\a.tga", "C:\\tex\\b.tga", "C:\\tex\\c.tga"};

std::string key_lists(const std::string& frames, const std::string& images,
                      const std::string& palettes, int n) {
  std::string size = std::to_string(n);
  return "\n<tex_pattern_data>\n"
         "\t<frame_idx size=\"" +
         size + "\">\n\t\t" + frames +
         "\n\t</frame_idx>\n"
         "\t<image_idx size=\"" +
         size + "\">\n\t\t" + images +
         "\n\t</image_idx>\n"
         "\t<palette_idx size=\"" +
         size + "\">\n\t\t" + palettes +
         "\n\t</palette_idx>\n"
         "</tex_pattern_data>\n";
}

TEST(ItpFile, WholeFileOfAnImageFileListOfThreeImagesTwoFramesEach) {
  test::TempDir dir;
  AnimScene a(0, 5);
  a.scene.material_count_before = 1;
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("flip", kAbc, {2, 2, 2}, false));
  std::string path = dir.file("flip.itp");
  ASSERT_TRUE(ItpWriter().write(a.scene, a.scene.log(), path));
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
      "\n<itp version=\"1.6.0\">\n"
      "\n<head>\n"
      "\t<create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\n"
      "\t<title>Texture Pattern Animation Data for MERIDANE KAVRO-System</title>\n"
      "\t<generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "</head>\n"
      "\n<body>\n\n"
      "<original_create user=\"tester\" host=\"testhost\" date=\"2009-05-28T12:34:56\" "
      "source=\"untitled\"/>\n"
      "<original_generator name=\"3dsmax 2008 KVS_Export\" version=\"1.6.0.20090528\"/>\n"
      "\n<tex_pattern_info\n"
      "\tframe_size=\"6\"\n"
      "\ttool_start_frame=\"0\"\n"
      "\ttool_end_frame=\"5\"\n"
      "\tcompress_material=\"off\" material_size=\"1 1\"\n"
      "/>\n"
      "\n<tex_pattern_list_data image_size=\"3\" palette_size=\"2\">\n"
      "\t<image_name index=\"0\" name=\"a\"/>\n"
      "\t<image_name index=\"1\" name=\"b\"/>\n"
      "\t<image_name index=\"2\" name=\"c\"/>\n"
      "\t<palette_name index=\"0\" name=\"a_pl\"/>\n"
      "\t<palette_name index=\"1\" name=\"b_pl\"/>\n"
      "</tex_pattern_list_data>\n"
      "\n<tex_pattern_data>\n"
      "\t<frame_idx size=\"3\">\n\t\t0 2 4 \n\t</frame_idx>\n"
      "\t<image_idx size=\"3\">\n\t\t0 1 2 \n\t</image_idx>\n"
      "\t<palette_idx size=\"3\">\n\t\t0 1 -1 \n\t</palette_idx>\n"
      "</tex_pattern_data>\n"
      "\n<tex_pattern_anm_array size=\"1\">\n"
      "\t<tex_pattern_anm index=\"0\" material_name=\"flip\" data_size=\"3\" data_head=\"0\"/>\n"
      "</tex_pattern_anm_array>\n"
      "\n</body>\n"
      "\n</itp>\n";
  EXPECT_EQ(test::read_file(path), test::crlf(expected));
  EXPECT_TRUE(a.scene.warnings().empty());
}

TEST(ItpIfl, RepeatingListOverARangeThatStartsMidCycle) {
  // Cycle of 6 frames; frame 8 starts b of cycle 1, c follows at 10 and a
  // of cycle 2 at 12.
  AnimScene a(8, 13);
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("loop", kAbc, {2, 2, 2}, true));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 2 4 ", "1 2 0 ", "1 -1 0 ", 3)), std::string::npos) << body;
}

TEST(ItpIfl, EntryStartedBeforeTheRangeIsKeyedAtFrameZero) {
  // Frame 11 lies inside c (10-11 of cycle 1): c at 0, a at 1, b at 3; c of
  // cycle 2 (frame 16) lies beyond the four frames.
  AnimScene a(11, 14);
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("loop", kAbc, {2, 2, 2}, true));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 1 3 ", "2 0 1 ", "-1 0 1 ", 3)), std::string::npos) << body;
}

TEST(ItpIfl, NonRepeatingListEndedBeforeTheRangeHoldsItsLastImage) {
  AnimScene a(10, 12);
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("once", kAbc, {2, 2, 2}, false));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 ", "2 ", "-1 ", 1)), std::string::npos) << body;
}

TEST(ItpIfl, NegativeStartFrameBelongsToTheCycleBeforeZero) {
  // Frames -3 to 2 fall in cycles -1 and 0: b of cycle -1 (frames -4 and -3)
  // is shown at the start, then c from -2, a from 0 and b from 2.
  AnimScene a(-3, 2);
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("loop", kAbc, {2, 2, 2}, true));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 1 3 5 ", "1 2 0 1 ", "1 -1 0 1 ", 4)), std::string::npos)
      << body;
}

TEST(ItpIfl, ZeroLengthCycleDoesNotHang) {
  AnimScene a(0, 3);
  add_abc(a.scene);
  a.scene.materials.push_back(ifl_material("empty", kAbc, {0, 0, 0}, true));
  a.scene.materials.push_back(ifl_material("short", kAbc, {}, false));  // durations missing
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find("material_name=\"empty\" data_size=\"3\" data_head=\"0\""), std::string::npos)
      << body;
  EXPECT_NE(body.find("material_name=\"short\" data_size=\"3\" data_head=\"3\""), std::string::npos)
      << body;
}

// Morph weights for 100 channels over `frames` frames, all zero.
std::vector<std::vector<float>> no_weights(int frames) {
  return std::vector<std::vector<float>>(100, std::vector<float>(static_cast<std::size_t>(frames)));
}

void add_morpher(ExportScene& s, const std::string& name, std::vector<std::string> paths,
                 std::vector<std::vector<float>> weights) {
  SceneMaterial m;
  m.name = name;
  m.pattern_textures = std::move(paths);
  s.materials.push_back(m);
  PolygonSet other;
  other.material_name = "other";
  s.polygons.push_back(other);
  PolygonSet set;
  set.material_name = name;
  set.morph_weights = std::move(weights);
  s.polygons.push_back(set);
}

TEST(ItpMorpher, KeysWhereTheDominantChannelChanges) {
  AnimScene a(0, 20);
  a.scene.output_imd = 1;
  std::vector<std::string> paths;
  for (int i = 0; i <= 5; ++i) {
    paths.push_back("C:\\m\\t" + std::to_string(i) + ".tga");
    a.scene.textures.push_back(texture(paths.back()));
  }
  auto w = no_weights(21);
  for (int f = 0; f < 21; ++f) {
    w[1][f] = f < 10 ? 0.8f : 0.1f;  // channel 2
    w[4][f] = f < 10 ? 0.2f : 0.9f;  // channel 5
  }
  add_morpher(a.scene, "face", paths, w);
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 10 ", "2 5 ", "2 5 ", 2)), std::string::npos) << body;
}

TEST(ItpMorpher, TiesGoToTheLowestChannelAndNoWeightShowsEntryZero) {
  AnimScene a(0, 3);
  a.scene.output_imd = 1;
  std::vector<std::string> paths = {"C:\\m\\base.tga", "C:\\m\\one.tga", "C:\\m\\two.tga",
                                    "C:\\m\\three.tga"};
  for (const std::string& p : paths) a.scene.textures.push_back(texture(p));
  auto w = no_weights(4);
  // Frame 0: nothing; frame 1: channels 1 and 3 tie; frames 2-3: channel 3.
  w[0][1] = 0.5f;
  w[2][1] = 0.5f;
  w[2][2] = 0.5f;
  w[2][3] = 0.5f;
  w[1].clear();  // a channel without weights is ignored
  add_morpher(a.scene, "face", paths, w);
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 1 2 ", "0 1 3 ", "0 1 3 ", 3)), std::string::npos) << body;
}

TEST(ItpMorpher, ChannelWithoutATextureEntryKeepsTheImageShown) {
  AnimScene a(0, 5);
  a.scene.output_imd = 1;
  std::vector<std::string> paths = {"C:\\m\\base.tga", "C:\\m\\one.tga"};
  for (const std::string& p : paths) a.scene.textures.push_back(texture(p));
  auto w = no_weights(6);
  for (int f = 0; f < 6; ++f) {
    // Channel 1 on frames 0-1 and 4-5, channel 7 (no entry) on frames 2-3.
    (f == 2 || f == 3 ? w[6] : w[0])[f] = 1.0f;
  }
  add_morpher(a.scene, "face", paths, w);
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 4 ", "1 1 ", "1 1 ", 2)), std::string::npos) << body;
}

TEST(ItpLists, SharedImageListedOnceAndExplicitPaletteNamesShared) {
  AnimScene a(0, 3);
  add_abc(a.scene);
  a.scene.textures[0].palette_name = "shared_pl";
  a.scene.textures[1].palette_name = "shared_pl";
  a.scene.materials.push_back(ifl_material("m1", {kAbc[0], kAbc[1]}, {2, 2}, false));
  a.scene.materials.push_back(ifl_material("m2", {kAbc[1], kAbc[2]}, {1, 1}, false));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find("\n<tex_pattern_list_data image_size=\"3\" palette_size=\"1\">\n"
                      "\t<image_name index=\"0\" name=\"a\"/>\n"
                      "\t<image_name index=\"1\" name=\"b\"/>\n"
                      "\t<image_name index=\"2\" name=\"c\"/>\n"
                      "\t<palette_name index=\"0\" name=\"shared_pl\"/>\n"
                      "</tex_pattern_list_data>\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find(key_lists("0 2 0 1 ", "0 1 1 2 ", "0 0 0 -1 ", 4)), std::string::npos)
      << body;
  EXPECT_NE(body.find("\n<tex_pattern_anm_array size=\"2\">\n"
                      "\t<tex_pattern_anm index=\"0\" material_name=\"m1\" data_size=\"2\" "
                      "data_head=\"0\"/>\n"
                      "\t<tex_pattern_anm index=\"1\" material_name=\"m2\" data_size=\"2\" "
                      "data_head=\"2\"/>\n"
                      "</tex_pattern_anm_array>\n"),
            std::string::npos)
      << body;
}

TEST(ItpLists, TexturesOfDifferentSizesWarnWithTheMaterialName) {
  AnimScene a(0, 3);
  add_abc(a.scene);
  a.scene.textures[1].height = 16;
  a.scene.materials.push_back(ifl_material("faces", kAbc, {1, 1, 1}, false));
  a.body(write_itp_body);
  EXPECT_EQ(a.scene.warnings(),
            std::vector<std::string>{
                "Warning: Exported KAVRO morpher material contains textures of different sizes.  "
                "ITP texture animation may not work as desired. Material: faces"});
}

TEST(ItpLists, NoAnimationWritesAnEmptyArrayAndTheWarning) {
  AnimScene a(0, 3);
  add_abc(a.scene);
  SceneMaterial plain;
  plain.name = "plain";
  plain.pattern_textures = {kAbc[0]};  // one texture is no animation
  a.scene.materials.push_back(plain);
  std::string body = a.body(write_itp_body);
  EXPECT_EQ(body.find("tex_pattern_list_data"), std::string::npos);
  EXPECT_EQ(body.find("tex_pattern_data"), std::string::npos);
  EXPECT_EQ(body.substr(body.find("/>\n") + 3),
            "\n<tex_pattern_anm_array size=\"0\">\n</tex_pattern_anm_array>\n");
  EXPECT_EQ(a.scene.warnings(), std::vector<std::string>{"Warning: No texture pattern animation."});

  AnimScene bare(0, 3);  // no textures at all: no array either
  std::string info_only = bare.body(write_itp_body);
  EXPECT_EQ(info_only.substr(info_only.size() - 4), "\n/>\n");
}

TEST(ItpLists, PatternWithoutAnyTextureRecordHasNoPalette) {
  AnimScene a(0, 1);
  a.scene.output_imd = 1;
  a.scene.materials.push_back(ifl_material("lost", kAbc, {1, 1, 1}, false));
  std::string body = a.body(write_itp_body);
  EXPECT_NE(body.find(key_lists("0 1 ", "0 1 ", "-1 -1 ", 2)), std::string::npos) << body;
}

// Two textures of one colour each, not converted yet.
void add_unconverted(AnimScene& a, const test::TempDir& dir) {
  for (const char* name : {"x.tga", "y.tga"}) {
    SceneTexture t;
    t.path = dir.file(name);
    t.width = t.height = t.original_width = t.original_height = 8;
    t.texels.assign(64, SourceTexel{200, 10, 10, 255, 0});
    a.scene.textures.push_back(t);
  }
  a.scene.materials.push_back(
      ifl_material("m", {a.scene.textures[0].path, a.scene.textures[1].path}, {1, 1}, false));
}

// Palettes come from texture conversion, which the driver runs before the
// writers: a scene whose textures were not converted is refused, and
// converted ones are read as they are.
TEST(ItpFile, NeedsConvertedTexturesAndReadsThemAsTheyAre) {
  test::TempDir dir;
  AnimScene a(0, 1);
  add_unconverted(a, dir);
  a.scene.textures_converted = false;
  EXPECT_FALSE(ItpWriter().write(a.scene, a.scene.log(), dir.file("m.itp")));
  EXPECT_FALSE(test::file_exists(dir.file("m.itp")));
  ASSERT_EQ(a.host.messages.size(), 1u);
  EXPECT_EQ(a.host.messages[0].caption, "Export Error");

  convert_textures(a.scene);
  ASSERT_TRUE(ItpWriter().write(a.scene, a.scene.log(), dir.file("m.itp")));
  // Each image now has a palette of its own (x_pl, y_pl); unconverted, none.
  EXPECT_NE(test::read_file(dir.file("m.itp")).find("palette_size=\"2\""), std::string::npos);

  AnimScene b(0, 1);
  add_abc(b.scene);
  ASSERT_TRUE(ItpWriter().write(b.scene, b.scene.log(), dir.file("abc.itp")));
  EXPECT_EQ(b.scene.textures[0].palette, (std::vector<std::uint16_t>{0x0000, 0x7fff}));
}

}  // namespace
}  // namespace kavro
