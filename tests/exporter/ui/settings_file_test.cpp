// Settings files, menusettings.bin and the scene settings chunk: the written
// bytes, the reading rules, long lines, bad input and failed writes.
#include "exporter/ui/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>

#include "host/recording_host.h"
#include "tests/support/support.h"

namespace kavro {
namespace {

ExportOptions defaults() {
  ExportOptions o{};
  reset_options(o, true);
  o.save_scene_settings = 1;
  return o;
}

host::LocalTime when() {
  return {2009, 5, 8, 7, 4, 3};
}

// The file of the default options, written out by hand from the format: 50
// lines, the last one without a line end.
const char* const kDefaultFile =
    "# KVS_Export settings\n"
    "settings_version=\"1.0\"\n"
    "generator_name=\"3dsmax 2008 KVS_Export\"\n"
    "generator_version=\"1.6.0.20090528\"\n"
    "date=\"2009-05-08T07:04:03\"\n"
    "\n"
    "# Output Options\n"
    "export=\"all\"\n"
    "output_file_name=\"\"\n"
    "process_mode=\"intermediate_file\"\n"
    "output_folder=\"\"\n"
    "merge_imd=\"off\"\n"
    "merge_imd_path=\"\"\n"
    "\n"
    "# General Options\n"
    "magnify=\"1.0\"\n"
    "compress_node=\"none\"\n"
    "compress_material=\"off\"\n"
    "frame_range=\"all\"\n"
    "start_frame=\"0\"\n"
    "end_frame=\"0\"\n"
    "\n"
    "# Output File Selection\n"
    "output_imd=\"on\"\n"
    "output_ica=\"off\"\n"
    "output_iva=\"off\"\n"
    "output_ima=\"off\"\n"
    "output_itp=\"off\"\n"
    "output_ita=\"off\"\n"
    "\n"
    "# Imd Options\n"
    "vertex_style=\"direct\"\n"
    "output_texture=\"used\"\n"
    "force_full_weight=\"off\"\n"
    "use_primitive_strip=\"on\"\n"
    "triangulation=\"as_is\"\n"
    "\n"
    "# Animation Options\n"
    "interpolation=\"frame\"\n"
    "interp_end_to_start=\"off\"\n"
    "frame_step_mode=\"1\"\n"
    "\n"
    "# Tolerance Options\n"
    "tolerance_scale=\"0.1\"\n"
    "tolerance_rotate=\"0.1\"\n"
    "tolerance_translate=\"0.01\"\n"
    "tolerance_tex_scale=\"0.1\"\n"
    "tolerance_tex_rotate=\"0.1\"\n"
    "tolerance_tex_translate=\"0.01\"\n"
    "tolerance_color=\"2\"";

// The value written for one key.
std::string written_value(ExportOptions o, const std::string& key) {
  std::string text = settings_file_text(o, when());
  std::size_t at = text.find("\n" + key + "=\"");
  if (at == std::string::npos) return "<missing>";
  std::size_t start = at + key.size() + 3;
  return text.substr(start, text.find('"', start) - start);
}

ExportOptions read_text(const std::string& text, ExportOptions o = defaults()) {
  apply_settings_text(text, o);
  return o;
}

TEST(SettingsFile, DefaultsGiveTheFiftyLines) {
  ExportOptions o = defaults();
  std::string text = settings_file_text(o, when());
  EXPECT_EQ(text, kDefaultFile);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 49);
}

TEST(SettingsFile, NonDefaultValuesAreWrittenInTheirWords) {
  ExportOptions o = defaults();
  o.export_all = ExportScope::kSelection;
  o.process_mode = ProcessMode::k3dMaterialEditor;
  o.merge_imd = 1;
  o.compress_node = CompressNode::kUniteCombine;
  o.compress_material = 1;
  o.frame_range = FrameRange::kRange;
  o.start_frame = -5;
  o.end_frame = 120;
  o.output_ica = 1;
  o.vertex_style = VertexStyle::kIndex;
  o.output_texture = OutputTexture::kAll;
  o.triangulation = Triangulation::kGenerateQuads;
  o.interpolation = Interpolation::kLinear;
  o.frame_step_mode = FrameStepMode::kAuto;
  o.tolerance_color = 31;
  struct Case {
    const char* key;
    const char* value;
  } cases[] = {
      {"export", "selection"},     {"process_mode", "3d_material_editor"},
      {"merge_imd", "on"},         {"compress_node", "unite_combine"},
      {"compress_material", "on"}, {"frame_range", "range"},
      {"start_frame", "-5"},       {"end_frame", "120"},
      {"output_ica", "on"},        {"vertex_style", "index"},
      {"output_texture", "all"},   {"triangulation", "generate_quads"},
      {"interpolation", "linear"}, {"frame_step_mode", "auto"},
      {"tolerance_color", "31"},
  };
  for (const Case& c : cases) EXPECT_EQ(written_value(o, c.key), c.value) << c.key;
}

TEST(SettingsFile, NumbersUseShortestFormWithPointZeroForWholeValues) {
  struct Case {
    float value;
    const char* text;
  } cases[] = {
      {2.5f, "2.5"},     {3.0f, "3.0"},       {0.0001f, "0.0001"}, {1.0f, "1.0"},
      {0.0f, "0.0"},     {-2.0f, "-2.0"},     {0.125f, "0.125"},   {1234567.0f, "1.23457e+06.0"},
      {1e6f, "1e+06.0"}, {0.00001f, "1e-05"},
  };
  for (const Case& c : cases) {
    ExportOptions o = defaults();
    o.magnify = c.value;
    o.tolerance_tex_rotate = c.value;
    EXPECT_EQ(written_value(o, "magnify"), c.text) << c.value;
    EXPECT_EQ(written_value(o, "tolerance_tex_rotate"), c.text) << c.value;
  }
}

TEST(SettingsFile, PathsAreWrittenWithSlashesAndTheRecordKeepsThem) {
  ExportOptions o = defaults();
  set_text_field(o.output_folder, "C:\\work\\out");
  // 0x95 0x5C is one double-byte character whose second byte is not a "\".
  set_text_field(o.merge_imd_path, "D:\\\x95\x5C\\a.imd");
  set_text_field(o.output_file_name, "back\\slash");
  std::string text = settings_file_text(o, when());
  EXPECT_NE(text.find("output_folder=\"C:/work/out\"\n"), std::string::npos);
  EXPECT_NE(text.find("merge_imd_path=\"D:/\x95\x5C/a.imd\"\n"), std::string::npos);
  EXPECT_NE(text.find("output_file_name=\"back\\slash\"\n"), std::string::npos);
  EXPECT_STREQ(o.output_folder, "C:/work/out");
  EXPECT_STREQ(o.merge_imd_path, "D:/\x95\x5C/a.imd");
}

TEST(SettingsFile, ALineBreakInATextValueDoesNotStartALine) {
  ExportOptions o = defaults();
  set_text_field(o.output_file_name, "hero\nmagnify=\"0\"");
  std::string text = settings_file_text(o, when());
  EXPECT_NE(text.find("output_file_name=\"hero\"\n"), std::string::npos);
  EXPECT_EQ(read_text(text).magnify, 1.0f);
}

TEST(SettingsFile, WrittenAndReadBackEveryStoredOptionSurvives) {
  ExportOptions o = defaults();
  o.magnify = 0.3f;
  o.start_frame = 7;
  o.end_frame = -3;
  o.compress_node = CompressNode::kUnite;
  o.compress_material = 1;
  o.output_imd = 0;
  o.output_ica = o.output_iva = o.output_ima = o.output_itp = o.output_ita = 1;
  o.vertex_style = VertexStyle::kIndex;
  o.output_texture = OutputTexture::kAll;
  o.interpolation = Interpolation::kLinear;
  o.frame_step_mode = FrameStepMode::kTwo;
  o.interp_end_to_start = 1;
  o.tolerance_translate = 0.02f;
  o.tolerance_rotate = 0.5f;
  o.tolerance_scale = 0.25f;
  o.tolerance_tex_translate = 0.003f;
  o.tolerance_tex_rotate = 1.5f;
  o.tolerance_tex_scale = 12.0f;
  o.tolerance_color = 5;
  o.force_full_weight = 1;
  o.frame_range = FrameRange::kRange;
  o.use_primitive_strip = 0;
  o.merge_imd = 1;
  o.export_all = ExportScope::kSelection;
  o.process_mode = ProcessMode::k3dMaterialEditor;
  o.triangulation = Triangulation::kAsIsChecking;
  // Fields of the full size the record holds: 255 and 259 bytes.
  set_text_field(o.output_file_name, std::string(255, 'n'));
  set_text_field(o.output_folder, "/" + std::string(254, 'f'));
  set_text_field(o.merge_imd_path, "/" + std::string(258, 'm'));
  // Not held by the file: they keep the reader's values.
  o.output_isd = 1;
  o.force_quads = 0;

  ExportOptions written = o;
  std::string text = settings_file_text(written, when());
  ExportOptions back = read_text(text);
  ExportOptions expected = o;
  expected.output_isd = 0;
  expected.force_quads = 1;
  EXPECT_EQ(std::memcmp(&back, &expected, offsetof(ExportOptions, save_scene_settings)), 0);
  EXPECT_EQ(std::strlen(back.output_file_name), 255u);
  EXPECT_EQ(std::strlen(back.merge_imd_path), 259u);
}

TEST(SettingsFile, ReadingRules) {
  struct Case {
    const char* name;
    std::string text;
    std::function<void(ExportOptions&)> change;  // applied to the defaults
  } cases[] = {
      {"a blank before a key ignores the line", " magnify=\"2\"\n", [](ExportOptions&) {}},
      {"a tab before a key ignores the line", "\tmagnify=\"2\"\n", [](ExportOptions&) {}},
      {"only magnify", "magnify=\"4.5\"", [](ExportOptions& o) { o.magnify = 4.5f; }},
      {"a comment line", "#magnify=\"4.5\"\n", [](ExportOptions&) {}},
      {"keys are case-sensitive", "Magnify=\"4.5\"\n", [](ExportOptions&) {}},
      {"a capitalised choice word leaves the option", "compress_node=\"Merge\"\n",
       [](ExportOptions&) {}},
      {"a capitalised switch word means off", "merge_imd=\"on\"\nmerge_imd=\"ON\"\n",
       [](ExportOptions& o) { o.merge_imd = 0; }},
      {"an unknown two-valued word takes the other value", "export=\"everything\"\n",
       [](ExportOptions& o) { o.export_all = ExportScope::kSelection; }},
      {"frame step words", "frame_step_mode=\"4\"\n",
       [](ExportOptions& o) { o.frame_step_mode = FrameStepMode::kFour; }},
      {"no closing quote runs to the line end", "output_file_name=\"hero\r\n",
       [](ExportOptions& o) { set_text_field(o.output_file_name, "hero"); }},
      {"no quote at all ignores the line", "magnify=2\n", [](ExportOptions&) {}},
      {"text after the closing quote", "magnify=\"2\" # twice\n",
       [](ExportOptions& o) { o.magnify = 2.0f; }},
      {"the key must be followed by =", "magnify =\"2\"\n", [](ExportOptions&) {}},
      {"keys the file does not hold", "output_isd=\"on\"\nforce_quads=\"off\"\n",
       [](ExportOptions&) {}},
      {"header lines", "settings_version=\"9\"\ndate=\"x\"\ngenerator_name=\"y\"\n",
       [](ExportOptions&) {}},
      {"LF and CR LF", "start_frame=\"3\"\r\nend_frame=\"9\"\nmerge_imd=\"on\"\r\n",
       [](ExportOptions& o) {
         o.start_frame = 3;
         o.end_frame = 9;
         o.merge_imd = 1;
       }},
      {"numbers as atof and atoi read them", "magnify=\"2.5x\"\ntolerance_color=\"12abc\"\n",
       [](ExportOptions& o) {
         o.magnify = 2.5f;
         o.tolerance_color = 12;
       }},
      {"a number that is no number is 0", "magnify=\"big\"\n",
       [](ExportOptions& o) { o.magnify = 0.0f; }},
      {"integers beyond the record's range saturate",
       "start_frame=\"99999999999\"\nend_frame=\"-99999999999\"\n",
       [](ExportOptions& o) {
         o.start_frame = INT_MAX;
         o.end_frame = INT_MIN;
       }},
      {"floats beyond the record's range saturate", "magnify=\"1e300\"\ntolerance_scale=\"-1e300\"",
       [](ExportOptions& o) {
         o.magnify = FLT_MAX;
         o.tolerance_scale = -FLT_MAX;
       }},
      {"the later of two lines wins", "magnify=\"2\"\nmagnify=\"3\"\n",
       [](ExportOptions& o) { o.magnify = 3.0f; }},
  };
  for (const Case& c : cases) {
    ExportOptions expected = defaults();
    c.change(expected);
    ExportOptions got = read_text(c.text);
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << c.name;
  }
}

TEST(SettingsFile, LongLinesAreReadWholeAndCutToTheField) {
  // Read in pieces of 255 characters, the rest of this line would become a
  // line of its own, "magnify=0...", and set magnify to 0.
  std::string folder = "/" + std::string(239, 'a') + "magnify=0/" + std::string(40, 'b');
  ExportOptions o = read_text("output_folder=\"" + folder + "\"\nstart_frame=\"4\"\n");
  EXPECT_EQ(o.magnify, 1.0f);
  EXPECT_EQ(o.start_frame, 4);
  EXPECT_EQ(std::string(o.output_folder), folder.substr(0, 255));

  std::string path(300, 'p');
  o = read_text("merge_imd_path=\"" + path + "\"");
  EXPECT_EQ(std::string(o.merge_imd_path), path.substr(0, 259));

  // A line of 100,000 characters, and one that is only a key's start.
  std::string garbage(100000, 'x');
  garbage[50000] = '"';
  o = read_text(garbage + "\ntolerance_color=\"7\"\n" + "export=" + std::string(100000, '"'));
  ExportOptions expected = defaults();
  expected.tolerance_color = 7;
  expected.export_all = ExportScope::kSelection;
  EXPECT_EQ(std::memcmp(&o, &expected, sizeof o), 0);
}

TEST(SettingsFile, BinaryGarbageChangesAtMostTheKeyedFields) {
  using namespace std::string_literals;
  // A NUL ends a value as it ends the C string; a line that does not start
  // with a key (here: NUL and high bytes first) is ignored.
  std::string text = "magnify=\"3\0\xff\"\n"s + "\0\0\xfe\x80output_folder=\"a\"\n"s +
                     "output_file_name=\"x\0y\"\n\xff\xfe\x00"s;
  ExportOptions o = read_text(text);
  EXPECT_EQ(o.magnify, 3.0f);
  EXPECT_STREQ(o.output_file_name, "x");
  EXPECT_STREQ(o.output_folder, "");
}

TEST(SettingsFile, FilesAreReadAndWrittenWithCrLf) {
  test::TempDir dir;
  host::RecordingHost host;
  host.time = when();
  ExportOptions o = defaults();
  ASSERT_TRUE(write_settings_file(dir.file("a.k3es"), o, host));
  EXPECT_EQ(test::read_file(dir.file("a.k3es")), test::crlf(kDefaultFile));
  EXPECT_TRUE(host.messages.empty());

  test::write_file(dir.file("b.k3es"), "magnify=\"6\"\r\n");
  EXPECT_TRUE(read_settings_file(dir.file("b.k3es"), o));
  EXPECT_EQ(o.magnify, 6.0f);
  // Missing files and folders are not settings files; nothing changes.
  EXPECT_FALSE(read_settings_file(dir.file("none.k3es"), o));
  EXPECT_FALSE(read_settings_file(dir.path(), o));
  EXPECT_EQ(o.magnify, 6.0f);
}

TEST(SettingsFile, AFailedWriteNamesTheFileAndLeavesTheOldOne) {
  test::TempDir dir;
  host::RecordingHost host;
  ExportOptions o = defaults();
  std::string missing = dir.file("no/such/folder/a.k3es");
  EXPECT_FALSE(write_settings_file(missing, o, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Can't save file. " + missing);
  EXPECT_EQ(host.messages[0].caption, "Can't save k3es settings file");
  EXPECT_EQ(host.messages[0].icon, host::MessageIcon::kError);

  // The target is a folder holding a file: the new text cannot replace it,
  // and what was there stays, with no temporary file left beside it.
  std::filesystem::create_directory(dir.file("busy.k3es"));
  test::write_file(dir.file("busy.k3es/old"), "old");
  EXPECT_FALSE(write_settings_file(dir.file("busy.k3es"), o, host));
  EXPECT_EQ(test::read_file(dir.file("busy.k3es/old")), "old");
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);  // only "busy.k3es": no temporary file is left behind
}

TEST(SettingsFile, SaveNameRule) {
  struct Case {
    const char* chosen;
    const char* written;
  } cases[] = {
      {"a.txt", "a.txt.k3es"},
      {"a.k3es", "a.k3es"},
      {"a", "a.k3es"},
      {"a.K3ES", "a.K3ES.k3es"},
      {"a.k3es.bak", "a.k3es.bak.k3es"},
      {"dir.v/a", "dir.v/a.k3es"},
      {"a.k3esx", "a.k3esx.k3es"},
      {".k3es", ".k3es"},
  };
  for (const Case& c : cases) EXPECT_EQ(k3es_save_name(c.chosen), c.written) << c.chosen;
}

TEST(SettingsFolder, JoiningRule) {
  struct Case {
    std::string folder, joined;
  } cases[] = {
      {"", "\\max.k3es"},
      {"C:\\plugcfg\\", "C:\\plugcfg\\max.k3es"},
      {"/home/u/kavro/", "/home/u/kavro/max.k3es"},
      {"/home/u/kavro", "/home/u/kavro/max.k3es"},
      {"C:\\a/b", "C:\\a/b\\max.k3es"},
      {"a/b\\c", "a/b\\c/max.k3es"},
      {"plugcfg", "plugcfg\\max.k3es"},
      // The second byte of a double-byte character is neither a separator
      // nor a folder's end.
      {"x\x95\x5C", "x\x95\x5C\\max.k3es"},
      {"/x/\x95\x5C", "/x/\x95\x5C/max.k3es"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(join_settings_path(c.folder, "max.k3es"), c.joined) << c.folder;
}

TEST(MenuSettings, SeventeenLittleEndianBytes) {
  ExportOptions o = defaults();
  o.save_scene_settings = 1;
  o.dialog_rect[0] = 10;
  o.dialog_rect[1] = -1;
  o.dialog_rect[2] = 0x01020304;
  o.dialog_rect[3] = 300;
  auto bytes = menu_settings_bytes(o);
  const std::uint8_t expected[17] = {1,    10,   0, 0, 0,    0xFF, 0xFF, 0xFF, 0xFF,
                                     0x04, 0x03, 2, 1, 0x2C, 0x01, 0,    0};
  EXPECT_EQ(std::memcmp(bytes.data(), expected, 17), 0);

  test::TempDir dir;
  host::RecordingHost host;
  ASSERT_TRUE(write_menu_settings(dir.file("menusettings.bin"), o, host));
  EXPECT_EQ(test::read_file(dir.file("menusettings.bin")),
            std::string(reinterpret_cast<const char*>(expected), 17));

  ExportOptions back = defaults();
  back.save_scene_settings = 0;
  back.menu_settings_read = 0;
  ASSERT_TRUE(read_menu_settings(dir.file("menusettings.bin"), back, host));
  EXPECT_EQ(back.menu_settings_read, 1);
  EXPECT_EQ(back.save_scene_settings, 1);
  EXPECT_EQ(std::memcmp(back.dialog_rect, o.dialog_rect, sizeof o.dialog_rect), 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST(MenuSettings, MissingOrWrongSizedFilesAreNotRead) {
  test::TempDir dir;
  host::RecordingHost host;
  ExportOptions o = defaults();
  o.menu_settings_read = 0;
  EXPECT_FALSE(read_menu_settings(dir.file("menusettings.bin"), o, host));
  EXPECT_EQ(o.menu_settings_read, 1);  // consulted all the same
  EXPECT_TRUE(host.messages.empty());  // a missing file is normal

  for (std::size_t size : {0u, 16u, 18u, 1000u}) {
    host.messages.clear();
    test::write_file(dir.file("menusettings.bin"), std::string(size, '\x07'));
    ExportOptions before = defaults();
    ExportOptions after = before;
    EXPECT_FALSE(read_menu_settings(dir.file("menusettings.bin"), after, host)) << size;
    after.menu_settings_read = before.menu_settings_read;
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << size;
    ASSERT_EQ(host.messages.size(), 1u) << size;
    EXPECT_NE(host.messages[0].text.find(dir.file("menusettings.bin")), std::string::npos);
    EXPECT_EQ(host.messages[0].text.rfind("Warning: ", 0), 0u);
  }

  host.messages.clear();
  EXPECT_FALSE(write_menu_settings(dir.file("none/menusettings.bin"), o, host));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Can't open file. " + dir.file("none/menusettings.bin"));
  EXPECT_EQ(host.messages[0].caption, "Can't open menu settings file");
}

TEST(OptionsChunk, TheRecordAtItsOffsetsAndTheBytesAfterTerminators) {
  ExportOptions o = defaults();
  o.magnify = 2.0f;  // 0x40000000
  o.tolerance_color = 0x11223344;
  std::memset(o.output_file_name, 'z', sizeof o.output_file_name);
  std::memcpy(o.output_file_name, "hero", 5);
  o.output_file_name[255] = '\0';
  o.export_flags = 6;
  o.dialog_rect[3] = -2;
  std::vector<std::uint8_t> block = options_chunk(o);
  ASSERT_EQ(block.size(), 924u);
  EXPECT_EQ(block[0] | block[1] | block[2], 0);
  EXPECT_EQ(block[3], 0x40);
  EXPECT_EQ(block[92], 0x44);
  EXPECT_EQ(block[95], 0x11);
  EXPECT_EQ(std::memcmp(&block[120], "hero\0zz", 7), 0);
  EXPECT_EQ(block[900], 1);  // save_scene_settings
  EXPECT_EQ(block[916], 0xFE);
  EXPECT_EQ(block[919], 0xFF);
  EXPECT_EQ(block[920], 6);

  ExportOptions back = defaults();
  ASSERT_TRUE(restore_options_chunk(block, back));
  EXPECT_EQ(std::memcmp(&back, &o, sizeof o), 0);
}

TEST(OptionsChunk, BadBlocksAreRefusedOrBroughtIntoRange) {
  ExportOptions o = defaults();
  ExportOptions before = o;
  for (std::size_t size : {0u, 923u, 925u, 17u}) {
    EXPECT_FALSE(restore_options_chunk(std::vector<std::uint8_t>(size, 0xAB), o)) << size;
    EXPECT_EQ(std::memcmp(&o, &before, sizeof o), 0) << size;
  }

  std::vector<std::uint8_t> block(924, 0x07);
  o.menu_settings_read = 1;
  o.save_scene_settings = 0;
  ASSERT_TRUE(restore_options_chunk(block, o));
  EXPECT_EQ(std::strlen(o.output_file_name), 255u);
  EXPECT_EQ(std::strlen(o.output_folder), 255u);
  EXPECT_EQ(std::strlen(o.merge_imd_path), 259u);
  EXPECT_EQ(o.merge_imd, 1);  // a switch: 0x07070707 is on
  EXPECT_EQ(o.output_isd, 1);
  EXPECT_EQ(o.compress_node, CompressNode::kNone);  // a choice out of range: its default
  EXPECT_EQ(o.frame_step_mode, FrameStepMode::kOne);
  EXPECT_EQ(o.triangulation, Triangulation::kAsIs);
  EXPECT_EQ(o.start_frame, 0x07070707);  // integers as stored
  EXPECT_EQ(o.settings_from_scene, 1);
  // The session's menu switch and runtime flag are not the scene's.
  EXPECT_EQ(o.save_scene_settings, 0);
  EXPECT_EQ(o.menu_settings_read, 1);
}

}  // namespace
}  // namespace kavro
