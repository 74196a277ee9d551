// The rename tool for names over 16 characters against the recording host.
#include "menu/rename_tool.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;
using testing::platform;

TEST(ModelFileNames, SanitisedAndMadeUniqueWithCounters) {
  using Names = std::vector<std::string>;
  const std::pair<Names, Names> cases[] = {
      {{"ab", "ab"}, {"ab", "ab_1"}},
      {{"abc", "ab"}, {"abc", "ab_1"}},
      {{"ab", "abc"}, {"ab", "abc"}},
      {{"a.b", "a_b"}, {"a_b", "a_b_1"}},
      {{"ab", "ab", "ab"}, {"ab", "ab_1", "ab_2"}},
      {{"abc", "ab", "ab"}, {"abc", "ab_1", "ab_2"}},
      {{"a b-c\x82\xa0"}, {"a_b_c__"}},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(model_file_names(in), out) << in[0];
}

doc::Material textured(const std::string& name, const std::string& file) {
  doc::Material m = platform(name);
  m.has_diffuse_map = true;
  m.diffuse_map.file = file;
  return m;
}

TEST(RenameTool, PanesListNamesLongerThan16InTheModelFile) {
  Fixture f;
  int m1 = f.add_material(textured("material_name_17c", "C:\\maps\\abcdefghijklmn.tga"));
  int m2 = f.add_material(textured("material_name16c", "maps/zyxwvutsrqpon.tga"));
  f.add_node("seventeen_letters", m1);
  f.add_node("sixteen_letters_", m2);
  f.add_node("dotted.name.x.y.z");  // 17 characters
  f.add_node("fifteen_letters");
  f.add_node("fifteen_letters");  // "fifteen_letters_1": 17
  f.menu.ExecuteAction(kActionRename);
  RenameTool& t = *f.menu.rename_tool();
  ASSERT_EQ(t.nodes().size(), 3u);
  EXPECT_EQ(t.nodes()[0].old_name, "seventeen_letters");
  EXPECT_EQ(t.nodes()[1].file_name, "dotted_name_x_y_z");
  EXPECT_EQ(t.nodes()[2].file_name, "fifteen_letters_1");
  ASSERT_EQ(t.materials().size(), 1u);
  EXPECT_EQ(t.materials()[0].old_name, "material_name_17c");
  ASSERT_EQ(t.textures().size(), 1u);
  EXPECT_EQ(t.textures()[0].old_name, "abcdefghijklmn");
  EXPECT_EQ(t.textures()[0].file_name, "abcdefghijklmn_pl");
  EXPECT_EQ(t.control(kRenameObjectPane).label, "Object (3)");
  EXPECT_EQ(t.control(kRenameMaterialPane).label, "Material (1)");
  EXPECT_EQ(t.control(kRenameTexturePane).label, "Texture (1)");
}

TEST(RenameTool, SelectionTargetIsRemembered) {
  Fixture f;
  f.add_node("first_node_long_name");
  int b = f.add_node("second_node_long_name");
  f.select({b});
  f.menu.ExecuteAction(kActionRename);
  RenameTool* t = f.menu.rename_tool();
  EXPECT_EQ(t->nodes().size(), 2u);
  t->click(kRenameSelection);
  t->click(kRenameSearch);
  ASSERT_EQ(t->nodes().size(), 1u);
  EXPECT_EQ(t->nodes()[0].old_name, "second_node_long_name");
  t->click(kRenameClose);
  f.menu.ExecuteAction(kActionRename);
  EXPECT_TRUE(f.menu.rename_tool()->control(kRenameSelection).checked);
  EXPECT_EQ(f.menu.rename_tool()->nodes().size(), 1u);
}

TEST(RenameTool, ApplyMessages) {
  struct Case {
    std::string node_box, material_box;
    bool remove_node;
    std::vector<std::string> messages;
    std::string node_after, material_after;
    bool node_box_emptied;
  };
  const std::string node = "a_node_name_over_16";
  const std::string mat = "a_material_over_16";
  const Case cases[] = {
      {"short", "mat", false, {}, "short", "mat", false},
      {"", "", false, {}, node, mat, false},
      {"a.b", "mat", false, {"Invalid name: \"a.b\""}, node, mat, true},
      {"seventeen_letters",
       "mat",
       false,
       {"Over 16 Characters: \"seventeen_letters\""},
       node,
       "mat",
       false},
      {"short", "", true, {"No object matches name: \"a_node_name_over_16\""}, "", mat, false},
      {"sixteen_letters_", "", false, {}, "sixteen_letters_", mat, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    int m = f.add_material(platform(mat));
    int n = f.add_node(node, m);
    f.add_node("keeps");
    f.menu.ExecuteAction(kActionRename);
    RenameTool& t = *f.menu.rename_tool();
    ASSERT_EQ(t.nodes().size(), 1u);
    ASSERT_EQ(t.materials().size(), 1u);
    t.set_rename(0, 0, c.node_box);
    t.set_rename(1, 0, c.material_box);
    if (c.remove_node) f.scene().nodes.erase(f.scene().nodes.begin() + n);
    RenameTool::ApplyResult result = t.apply();
    std::vector<std::string> messages;
    for (const auto& msg : f.recording.messages) {
      messages.push_back(msg.text);
      EXPECT_EQ(msg.caption, "Error");
    }
    EXPECT_EQ(messages, c.messages) << c.node_box;
    if (!c.remove_node) {
      EXPECT_EQ(f.scene().nodes[n].name, c.node_after) << c.node_box;
    }
    EXPECT_EQ(f.scene().materials[m].name, c.material_after) << c.node_box;
    EXPECT_EQ(t.nodes()[0].rename.empty(), c.node_box_emptied || c.node_box.empty()) << c.node_box;
    const bool refused = c.node_box_emptied;
    EXPECT_EQ(result == RenameTool::ApplyResult::kRefused, refused) << c.node_box;
    EXPECT_EQ(result == RenameTool::ApplyResult::kDone, messages.empty()) << c.node_box;
    if (!refused && c.material_box == "mat") {
      EXPECT_EQ(f.plugin.scripts.size(), 1u) << c.node_box;
    }
  }
}

TEST(RenameTool, ApplyAndCloseClosesOnlyWhenEveryRowWasApplied) {
  Fixture f;
  int n = f.add_node("a_node_name_over_16");
  f.add_node("b_node_name_over_16");
  f.menu.ExecuteAction(kActionRename);
  RenameTool& t = *f.menu.rename_tool();
  t.set_rename(0, 0, "a_new");
  t.set_rename(0, 1, "b_name_far_too_long");
  t.click(kRenameApplyClose);
  EXPECT_TRUE(t.is_open());
  EXPECT_EQ(f.scene().nodes[n].name, "a_new");
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"a_new"}));
  // Searched again: only the row that failed is left, its box empty.
  ASSERT_EQ(t.nodes().size(), 1u);
  EXPECT_EQ(t.nodes()[0].rename, "");
  t.set_rename(0, 0, "b_new");
  t.click(kRenameApplyClose);
  EXPECT_FALSE(t.is_open());
  EXPECT_EQ(f.menu.open_bits(), 0u);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(RenameTool, OutputTextFile) {
  Fixture f;
  int m = f.add_material(textured("material.name.long", "C:\\maps\\abcdefghijklmn.tga"));
  f.add_node("abcdefghijklmnopq", m);
  f.menu.ExecuteAction(kActionRename);
  RenameTool& t = *f.menu.rename_tool();
  t.set_rename(0, 0, "short");
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("kavro_rename_" + std::to_string(::getpid()) + ".txt"))
                               .string();
  f.recording.picked_paths.push_back(path);
  t.click(kRenameOutput);
  ASSERT_EQ(f.recording.file_picks.size(), 1u);
  const host::FilePick& pick = f.recording.file_picks[0].first;
  EXPECT_TRUE(f.recording.file_picks[0].second);
  EXPECT_EQ(pick.filters,
            (std::vector<std::pair<std::string, std::string>>{{"Text Files [*.txt]", "*.txt"}}));
  EXPECT_EQ(pick.default_extension, "txt");
  EXPECT_TRUE(pick.prompt_overwrite);
  EXPECT_EQ(read_file(path),
            "# KVS Rename Over 16 Characters\r\n"
            "# Date \"2009-05-28T12:34:56\"\r\n"
            "\r\n"
            "# Node\r\n"
            "1\r\n"
            "\"abcdefghijklmnopq\" \"abcdefghijklmnopq\" \"short\"\r\n"
            "\r\n"
            "# Material\r\n"
            "1\r\n"
            "\"material.name.long\" \"material_name_long\" \"\"\r\n"
            "\r\n"
            "# Texture\r\n"
            "1\r\n"
            "\"abcdefghijklmn\"\t\"abcdefghijklmn_pl\"\t\"C:\\maps\\abcdefghijklmn.tga\"\r\n");
  std::filesystem::remove(path);
  // A file that cannot be created.
  EXPECT_FALSE(t.write_list("/nonexistent-folder/list.txt"));
  ASSERT_EQ(f.recording.messages.size(), 1u);
  EXPECT_EQ(f.recording.messages[0].text, "Failed to output to file.");
  EXPECT_EQ(f.recording.messages[0].caption, "Error");
}

}  // namespace
}  // namespace kavro::menu
