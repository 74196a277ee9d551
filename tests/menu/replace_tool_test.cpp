// The replace-character tool against the recording host.
#include "menu/replace_tool.h"

#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;
using testing::platform;

TEST(ReplacedName, SequenceAndCaseModes) {
  struct Case {
    std::string name;
    ReplaceMode mode;
    std::string search, replace;
    bool match_case;
    std::string expected;  // "-" when the name is not listed
  };
  const ReplaceMode seq = ReplaceMode::kSequence;
  const Case cases[] = {
      {"Box01", seq, "^Bo", "Ca", false, "Cax01"},
      {"myBox", seq, "^Bo", "Ca", false, "-"},
      {"Box_Box", seq, "$Box", "End", false, "Box_End"},
      {"BoxA", seq, "$Box", "End", false, "-"},
      {"BOXBOX", seq, "box", "Crate", false, "CrateCrate"},
      {"BOXBOX", seq, "box", "Crate", true, "-"},
      {"boxBOX", seq, "box", "k", true, "kBOX"},
      {"aaa", seq, "aa", "b", false, "ba"},
      {"arm_l", seq, "_l", "", false, "arm"},
      {"Arm", seq, "^", "x", false, "-"},
      {"Arm", ReplaceMode::kUpper, "", "", false, "ARM"},
      {"ARM_01", ReplaceMode::kUpper, "", "", false, "-"},
      {"Arm", ReplaceMode::kLower, "", "", false, "arm"},
      {"arm", ReplaceMode::kLower, "", "", false, "-"},
      // The second byte of a double-byte character is not a letter.
      {"\x82\x61", ReplaceMode::kUpper, "", "", false, "-"},
      {"\x82\x61"
       "b",
       ReplaceMode::kUpper, "", "", false,
       "\x82\x61"
       "B"},
  };
  for (const Case& c : cases) {
    std::string out;
    bool listed = replaced_name(c.name, c.mode, c.search, c.replace, c.match_case, out);
    EXPECT_EQ(listed ? out : std::string("-"), c.expected) << c.name << " " << c.search;
  }
}

TEST(ReplaceTool, WordsAreCheckedBeforeSearching) {
  const std::pair<std::string, std::string> words[] = {
      {"", "x"}, {"a.b", "x"}, {"^a.b", "x"}, {"$a/b", "x"}, {"ok", "x.y"},
  };
  const std::string messages[] = {
      "Error: Search word is empty.",         "Error: Invalid search word: \"a.b\"",
      "Error: Invalid search word: \"a.b\"",  "Error: Invalid search word: \"a/b\"",
      "Error: Invalid replace word: \"x.y\"",
  };
  for (std::size_t i = 0; i < std::size(words); ++i) {
    Fixture f;
    f.add_node("ok_node");
    f.menu.ExecuteAction(kActionReplace);
    ReplaceTool& t = *f.menu.replace_tool();
    t.edit(kReplaceSearchWord, words[i].first);
    t.edit(kReplaceReplaceWord, words[i].second);
    t.click(kReplaceSearch);
    ASSERT_EQ(f.recording.messages.size(), 1u) << i;
    EXPECT_EQ(f.recording.messages[0].text, messages[i]);
    EXPECT_EQ(f.recording.messages[0].caption, "Error");
    EXPECT_EQ(f.recording.messages[0].icon, host::MessageIcon::kError);
    EXPECT_TRUE(t.results().empty());
  }
}

TEST(ReplaceTool, SearchListsNodesThenMaterialsAndApplyRenames) {
  Fixture f;
  int m = f.add_material(platform("Mat_Box"));
  int a = f.add_node("Box01", m);
  f.add_node("Sphere");
  int b = f.add_node("Box02", doc::kNone, f.scene().nodes[a].id);
  f.select({f.add_node("other")});
  f.menu.ExecuteAction(kActionReplace);
  ReplaceTool& t = *f.menu.replace_tool();
  EXPECT_TRUE(f.session.selection().empty());  // opening clears it
  t.click(kReplaceMaterial);
  t.edit(kReplaceSearchWord, "box");
  t.edit(kReplaceReplaceWord, "Crate");
  t.click(kReplaceSearch);
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"Box01 >> Crate01", "Box02 >> Crate02",
                                                 "Mat_Box >> Mat_Crate"}));
  EXPECT_EQ(t.control(kReplaceCounter).text, "Select: 0 / 3");
  EXPECT_TRUE(t.control(kReplaceSelectAll).enabled);
  EXPECT_FALSE(t.control(kReplaceApply).enabled);
  EXPECT_FALSE(t.control(kReplaceApplyClose).enabled);
  t.select_lines({0, 2});
  EXPECT_EQ(t.control(kReplaceCounter).text, "Select: 2 / 3");
  EXPECT_TRUE(t.control(kReplaceApply).enabled);
  t.click(kReplaceApply);
  EXPECT_EQ(f.scene().nodes[a].name, "Crate01");
  EXPECT_EQ(f.scene().nodes[b].name, "Box02");
  EXPECT_EQ(f.scene().materials[m].name, "Mat_Crate");
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"Crate01"}));
  EXPECT_EQ(f.plugin.scripts, (std::vector<std::string>{kMaterialEditorRefreshScript}));
  // The search ran again.
  EXPECT_EQ(t.lines(), (std::vector<std::string>{"Box02 >> Crate02"}));
  t.click(kReplaceSelectAll);
  EXPECT_EQ(t.control(kReplaceCounter).text, "Select: 1 / 1");
  t.click(kReplaceApplyClose);
  EXPECT_EQ(f.scene().nodes[b].name, "Crate02");
  EXPECT_FALSE(t.is_open());
}

TEST(ReplaceTool, ApplyRefusals) {
  {
    // A node renamed since the search stops the apply.
    Fixture f;
    int a = f.add_node("box");
    int b = f.add_node("box2");
    f.menu.ExecuteAction(kActionReplace);
    ReplaceTool& t = *f.menu.replace_tool();
    t.edit(kReplaceSearchWord, "box");
    t.edit(kReplaceReplaceWord, "k");
    t.click(kReplaceSearch);
    t.click(kReplaceSelectAll);
    f.scene().nodes[a].name = "moved";
    t.click(kReplaceApplyClose);
    ASSERT_EQ(f.recording.messages.size(), 1u);
    EXPECT_EQ(f.recording.messages[0].text, "No object matches name");
    EXPECT_EQ(f.recording.messages[0].caption, "Error");
    EXPECT_EQ(f.scene().nodes[b].name, "box2");
    EXPECT_TRUE(t.is_open());
  }
  {
    // New names that are empty or hold invalid characters are skipped with
    // a warning; the rest are applied.
    Fixture f;
    int a = f.add_node("box");
    int b = f.add_node("box.01");
    int c = f.add_node("box_01");
    f.menu.ExecuteAction(kActionReplace);
    ReplaceTool& t = *f.menu.replace_tool();
    t.edit(kReplaceSearchWord, "box");
    t.edit(kReplaceReplaceWord, "");
    t.click(kReplaceSearch);
    t.click(kReplaceSelectAll);
    t.click(kReplaceApply);
    ASSERT_EQ(f.recording.messages.size(), 2u);
    EXPECT_EQ(f.recording.messages[0].text, "Warning: Can't rename \"box\" -> \"\"");
    EXPECT_EQ(f.recording.messages[0].caption, "Warning");
    EXPECT_EQ(f.recording.messages[0].icon, host::MessageIcon::kInformation);
    EXPECT_EQ(f.recording.messages[1].text, "Warning: Can't rename \"box.01\" -> \".01\"");
    EXPECT_EQ(f.scene().nodes[a].name, "box");
    EXPECT_EQ(f.scene().nodes[b].name, "box.01");
    EXPECT_EQ(f.scene().nodes[c].name, "_01");
  }
  {
    // A material renamed since the search.
    Fixture f;
    int m = f.add_material(platform("box_mat"));
    f.add_node("n", m);
    f.menu.ExecuteAction(kActionReplace);
    ReplaceTool& t = *f.menu.replace_tool();
    t.click(kReplaceObject);
    t.click(kReplaceMaterial);
    t.edit(kReplaceSearchWord, "^box");
    t.edit(kReplaceReplaceWord, "crate");
    t.click(kReplaceSearch);
    ASSERT_EQ(t.lines(), (std::vector<std::string>{"box_mat >> crate_mat"}));
    t.click(kReplaceSelectAll);
    f.scene().materials[m].name = "gone";
    t.click(kReplaceApply);
    ASSERT_EQ(f.recording.messages.size(), 1u);
    EXPECT_EQ(f.recording.messages[0].text, "No material matches name");
  }
}

TEST(ReplaceTool, RemembersItsSettingsAndTheModeRule) {
  Fixture f;
  f.add_node("Arm");
  f.add_node("LEG");
  f.menu.ExecuteAction(kActionReplace);
  ReplaceTool* t = f.menu.replace_tool();
  EXPECT_TRUE(t->control(kReplaceObject).checked);
  EXPECT_FALSE(t->control(kReplaceMaterial).checked);
  EXPECT_FALSE(t->control(kReplaceMatchCase).checked);
  EXPECT_TRUE(t->control(kReplaceSearchWord).enabled);
  t->choose(kReplaceMode, 1);
  for (int id : {kReplaceMatchCase, kReplaceSearchWord, kReplaceReplaceWord, kReplaceArrow}) {
    EXPECT_FALSE(t->control(id).enabled) << id;
  }
  t->click(kReplaceSearch);
  EXPECT_EQ(t->lines(), (std::vector<std::string>{"Arm >> ARM"}));
  t->click(kReplaceMaterial);
  t->click(kReplaceClose);
  EXPECT_EQ(f.menu.replace_memory.word, 1u | 2u | (1u << 3));
  f.menu.ExecuteAction(kActionReplace);
  t = f.menu.replace_tool();
  EXPECT_TRUE(t->control(kReplaceMaterial).checked);
  EXPECT_EQ(t->control(kReplaceMode).selection, 1);
  EXPECT_FALSE(t->control(kReplaceSearchWord).enabled);
  // No filter checked: nothing is searched, nothing is refused.
  t->click(kReplaceObject);
  t->click(kReplaceMaterial);
  t->choose(kReplaceMode, 0);
  t->click(kReplaceSearch);
  EXPECT_TRUE(t->results().empty());
  EXPECT_TRUE(f.recording.messages.empty());
}

}  // namespace
}  // namespace kavro::menu
