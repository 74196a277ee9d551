// The marking and "Show" tools against the recording host.
#include "menu/marking_tools.h"

#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;
using testing::multi;
using testing::platform;
using testing::standard;

TEST(SetBillboard, ShowsTheFirstNodesValueAndWritesOnlyAChange) {
  Fixture f;
  int a = f.add_node("a");
  int b = f.add_node("b");
  int c = f.add_node("c");
  f.select({a, b, c});
  f.menu.ExecuteAction(kActionSetBillboard);
  SetPropertyTool& t = *f.menu.set_billboard();
  EXPECT_EQ(t.control(kSetBillboardNames).text, "a, b, c");
  EXPECT_EQ(t.control(kSetBillboardCombo).selection, 0);
  EXPECT_TRUE(t.control(kSetBillboardCombo).enabled);
  t.choose(kSetBillboardCombo, 0);
  for (int n : {a, b, c}) EXPECT_EQ(f.prop(n, "Kvs_billboard"), "(none)");
  t.choose(kSetBillboardCombo, 1);
  for (int n : {a, b, c}) EXPECT_EQ(f.prop(n, "Kvs_billboard"), "Billboard");
  t.choose(kSetBillboardCombo, 2);
  for (int n : {a, b, c}) EXPECT_EQ(f.prop(n, "Kvs_billboard"), "Y-Billboard");
  t.choose(kSetBillboardCombo, 0);
  for (int n : {a, b, c}) EXPECT_EQ(f.prop(n, "Kvs_billboard"), "No_Billboard");
}

TEST(SetBillboard, ComboShowsExactValuesOnly) {
  const std::pair<std::string, int> cases[] = {
      {"Billboard", 1}, {"Y-Billboard", 2}, {"No_Billboard", 0},
      {"billboard", 0}, {"Y-billboard", 0},
  };
  for (const auto& [stored, shown] : cases) {
    Fixture f;
    int a = f.add_node("a");
    host::SetUserPropString(f.scene().nodes[a], "Kvs_billboard", stored);
    f.select({a});
    f.menu.ExecuteAction(kActionSetBillboard);
    EXPECT_EQ(f.menu.set_billboard()->control(kSetBillboardCombo).selection, shown) << stored;
  }
  Fixture f;
  f.menu.ExecuteAction(kActionSetBillboard);
  EXPECT_FALSE(f.menu.set_billboard()->control(kSetBillboardCombo).enabled);
}

TEST(SetNoCut, ShowsAndWritesTheBoolean) {
  Fixture f;
  int a = f.add_node("a");
  int b = f.add_node("b");
  host::SetUserPropBool(f.scene().nodes[a], "Kvs_no_cut", true);
  f.select({a, b});
  f.menu.ExecuteAction(kActionSetNoCut);
  SetPropertyTool& t = *f.menu.set_no_cut();
  EXPECT_EQ(t.control(kSetNoCutNames).text, "a, b");
  EXPECT_EQ(t.control(kSetNoCutCombo).selection, 1);
  t.choose(kSetNoCutCombo, 1);
  EXPECT_EQ(f.prop(b, "Kvs_no_cut"), "(none)");
  t.choose(kSetNoCutCombo, 0);
  EXPECT_EQ(f.prop(a, "Kvs_no_cut"), "false");
  EXPECT_EQ(f.prop(b, "Kvs_no_cut"), "false");
}

TEST(ShowBillboard, SelectsExactMatchesDepthFirst) {
  Fixture f;
  int root = f.add_node("root");
  int child = f.add_node("child", doc::kNone, f.scene().nodes[root].id);
  int upper = f.add_node("upper");
  int y = f.add_node("y");
  // Written after its parent's sibling: depth-first order puts it second.
  int late = f.add_node("late", doc::kNone, f.scene().nodes[root].id);
  host::SetUserPropString(f.scene().nodes[late], "Kvs_billboard", "Billboard");
  host::SetUserPropString(f.scene().nodes[child], "Kvs_billboard", "Billboard");
  host::SetUserPropString(f.scene().nodes[upper], "Kvs_billboard", "BILLBOARD");
  host::SetUserPropString(f.scene().nodes[y], "Kvs_billboard", "Y-Billboard");
  f.menu.ExecuteAction(kActionShowBillboard);
  ShowBillboardTool& t = *f.menu.show_billboard();
  EXPECT_TRUE(t.control(kBillboardKeep).checked);
  t.click(kBillboardRadio);
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"child", "late"}));
  t.click(kYBillboardRadio);
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"y"}));
  EXPECT_TRUE(t.control(kYBillboardRadio).checked);
  EXPECT_FALSE(t.control(kBillboardRadio).checked);
}

TEST(ShowLighting, RulesOverTheExaminedMaterial) {
  Fixture f;
  auto lights = [](int l0, int l1, int l2, int l3) {
    return std::vector<std::pair<std::string, double>>{
        {"light_0", l0}, {"light_1", l1}, {"light_2", l2}, {"light_3", l3}};
  };
  f.add_node("off", f.add_material(platform("off", lights(0, 0, 0, 0))));
  f.add_node("l0", f.add_material(platform("l0", lights(1, 0, 0, 0))));
  f.add_node("l2l3", f.add_material(platform("l2l3", lights(0, 0, 1, 1))));
  f.add_node("plain", f.add_material(standard("plain")));
  f.add_node("none");
  // A multi-material is followed into its first sub-material, repeatedly.
  f.add_node("nested", f.add_material(multi("m", {multi("mm", {platform("in", lights(0, 1, 0, 0))}),
                                                  platform("second", lights(1, 1, 1, 1))})));
  f.add_node("empty_multi", f.add_material(multi("e", {})));
  f.add_node("multi_std", f.add_material(multi("s", {standard("s0"), platform("p1")})));
  struct Case {
    int radio;
    std::vector<std::string> selected;
  };
  const Case cases[] = {
      {kLightOffRadio, {"off"}},  {kLight0Radio, {"l0"}},
      {kLight1Radio, {"nested"}}, {kLight2Radio, {"l2l3"}},
      {kLight3Radio, {"l2l3"}},   {kAnyLightRadio, {"l0", "l2l3", "nested"}},
  };
  f.menu.ExecuteAction(kActionShowLighting);
  for (const Case& c : cases) {
    f.menu.show_lighting()->click(c.radio);
    EXPECT_EQ(f.selected_names(), c.selected) << c.radio;
  }
}

TEST(ShowDisplayFace, SelectsByDisplayFace) {
  Fixture f;
  f.add_node("front", f.add_material(platform("f", {{"displayFace", 1}})));
  f.add_node("back", f.add_material(platform("b", {{"displayFace", 2}})));
  f.add_node("both", f.add_material(platform("o", {{"displayFace", 3}})));
  f.add_node("std", f.add_material(standard("s")));
  f.menu.ExecuteAction(kActionShowDisplayFace);
  const std::pair<int, std::string> cases[] = {
      {kFrontFaceRadio, "front"}, {kBackFaceRadio, "back"}, {kBothFaceRadio, "both"}};
  for (const auto& [radio, name] : cases) {
    f.menu.show_display_face()->click(radio);
    EXPECT_EQ(f.selected_names(), (std::vector<std::string>{name})) << name;
  }
}

TEST(ShowWindows, CloseRestoresTheSavedSelectionUnlessKeepSelectionIsChecked) {
  // "Close" with Keep Selection unchecked restores; checked keeps; the
  // window close command restores only for Show Render Priority. Render
  // priority's Close button follows the other windows (mended: it used to
  // restore when Keep Selection was checked).
  struct Case {
    int action;
    int radio;
    int keep;
    int close;
    bool uncheck_keep;
    bool close_command;
    std::vector<std::string> after;
  };
  const std::vector<std::string> saved = {"a", "c"};
  const std::vector<std::string> shown = {"b"};
  const Case cases[] = {
      {kActionShowDisplayFace, kFrontFaceRadio, kDisplayFaceKeep, kShowClose, true, false, saved},
      {kActionShowDisplayFace, kFrontFaceRadio, kDisplayFaceKeep, kShowClose, false, false, shown},
      {kActionShowDisplayFace, kFrontFaceRadio, kDisplayFaceKeep, kShowClose, true, true, shown},
      {kActionShowLighting, kLightOffRadio, kLightingKeep, kShowClose, true, false, saved},
      {kActionShowLighting, kLightOffRadio, kLightingKeep, kShowClose, false, false, shown},
      {kActionShowBillboard, kBillboardRadio, kBillboardKeep, kShowClose, true, false, saved},
      {kActionShowBillboard, kBillboardRadio, kBillboardKeep, kShowClose, false, false, shown},
      {kActionShowBillboard, kBillboardRadio, kBillboardKeep, kShowClose, true, true, shown},
      {kActionShowRenderPriority, kPriorityRadio, kPriorityKeep, kPriorityClose, true, false,
       saved},
      {kActionShowRenderPriority, kPriorityRadio, kPriorityKeep, kPriorityClose, false, false,
       shown},
      {kActionShowRenderPriority, kPriorityRadio, kPriorityKeep, kPriorityClose, false, true,
       saved},
      {kActionShowRenderPriority, kPriorityRadio, kPriorityKeep, kPriorityClose, true, true, saved},
  };
  int index = 0;
  for (const Case& c : cases) {
    Fixture f;
    // b alone matches every rule used: front face, lights off, billboard,
    // and render priority 3 ">=" the initial value 1.
    int pm = f.add_material(standard("s"));
    int pb = f.add_material(platform(
        "p", {{"displayFace", 1}, {"light_0", 0}, {"priorityRadio", 2}, {"priorityValue", 3}}));
    int a = f.add_node("a", pm);
    int b = f.add_node("b", pb);
    int c_node = f.add_node("c", pm);
    host::SetUserPropString(f.scene().nodes[b], "Kvs_billboard", "Billboard");
    f.menu.priority_memory.compare = static_cast<int>(PriorityCompare::kGreaterEqual);
    f.select({c_node, a});
    f.menu.ExecuteAction(c.action);
    ShowWindow* w =
        c.action == kActionShowDisplayFace ? static_cast<ShowWindow*>(f.menu.show_display_face())
        : c.action == kActionShowLighting  ? static_cast<ShowWindow*>(f.menu.show_lighting())
        : c.action == kActionShowBillboard
            ? static_cast<ShowWindow*>(f.menu.show_billboard())
            : static_cast<ShowWindow*>(f.menu.show_render_priority());
    w->click(c.radio);
    EXPECT_EQ(f.selected_names(), shown) << "case " << index;
    if (c.uncheck_keep) w->click(c.keep);
    if (c.close_command) {
      w->close_command();
    } else {
      w->click(c.close);
    }
    // Restoring walks the scene depth first: a before c.
    EXPECT_EQ(f.selected_names(), c.after) << "case " << index;
    EXPECT_FALSE(w->is_open()) << "case " << index;
    EXPECT_EQ(f.menu.open_bits(), 0u) << "case " << index;
    ++index;
  }
}

TEST(RenderPriority, ComparisonsReadAsTheirLabels) {
  // p, v, combo index, matches. Index 3 ">=" and 4 ">" compare as labelled
  // (mended: they were swapped, so "> 5" selected priority 5).
  struct Case {
    int p, v, index;
    bool match;
  };
  const Case cases[] = {
      {4, 5, 0, true},  {5, 5, 0, false}, {5, 5, 1, true},  {6, 5, 1, false}, {5, 5, 2, true},
      {6, 5, 2, false}, {5, 5, 3, true},  {6, 5, 3, true},  {4, 5, 3, false}, {5, 5, 4, false},
      {6, 5, 4, true},  {0, 5, 0, false}, {0, 5, 1, false}, {0, 0, 2, true},  {0, 0, 3, true},
      {0, 0, 4, false}, {3, 0, 4, true},  {3, 0, 2, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(priority_matches(c.p, c.v, static_cast<PriorityCompare>(c.index)), c.match)
        << "p " << c.p << " v " << c.v << " index " << c.index;
  }
  EXPECT_EQ(priority_compare_labels()[3], ">= ( above )");
  EXPECT_EQ(priority_compare_labels()[4], "> : ( over )");
}

TEST(RenderPriority, WindowSelectsByPriorityAndMultiMaterialIds) {
  Fixture f;
  auto prio = [&](const std::string& name, int value) {
    return platform(name, {{"priorityRadio", value == 0 ? 1 : 2}, {"priorityValue", value}});
  };
  f.add_node("p0", f.add_material(prio("p0", 0)));
  // priorityRadio 1 means priority 0 whatever the value says.
  f.add_node("radio1", f.add_material(platform("r", {{"priorityRadio", 1}, {"priorityValue", 9}})));
  f.add_node("p5", f.add_material(prio("p5", 5)));
  f.add_node("p6", f.add_material(prio("p6", 6)));
  f.add_node("std", f.add_material(standard("std")));
  f.add_node("helper", f.add_material(prio("h", 6)), doc::kNone, false);
  // Faces use ids 1 and 3 of a two-entry multi-material: sub-materials 1 and 1.
  f.add_node("multi", f.add_material(multi("m", {prio("m0", 6), prio("m1", 2)})), doc::kNone, true,
             {1, 3});
  f.add_node("multi_std", f.add_material(multi("n", {prio("n0", 9), standard("n1")})), doc::kNone,
             true, {1});
  struct Case {
    int compare;
    std::string value;
    std::vector<std::string> selected;
  };
  const Case cases[] = {
      {4, "5", {"p6"}},    {3, "5", {"p5", "p6"}}, {2, "5", {"p5"}},
      {0, "5", {"multi"}}, {1, "2", {"multi"}},    {2, "0", {"p0", "radio1", "std", "multi_std"}},
  };
  f.menu.ExecuteAction(kActionShowRenderPriority);
  ShowRenderPriorityTool& t = *f.menu.show_render_priority();
  EXPECT_EQ(t.control(kPriorityValue).text, "1");
  EXPECT_TRUE(t.control(kPriorityDontCare).checked);
  EXPECT_EQ(t.control(kPriorityCompare).selection, 0);
  for (const Case& c : cases) {
    t.click(kPriorityRadio);
    t.edit(kPriorityValue, c.value);
    t.choose(kPriorityCompare, c.compare);
    EXPECT_EQ(f.selected_names(), c.selected) << c.compare << " " << c.value;
  }
  // "Don't Care" is "= 0"; the combo index and radio are remembered.
  t.click(kPriorityDontCare);
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"p0", "radio1", "std", "multi_std"}));
  t.choose(kPriorityCompare, 3);
  EXPECT_TRUE(t.control(kPriorityDontCare).checked);
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"p0", "radio1", "std", "multi_std"}));
  t.click(kPriorityRadio);
  t.click(kPriorityClose);
  f.menu.ExecuteAction(kActionShowRenderPriority);
  EXPECT_EQ(f.menu.show_render_priority()->control(kPriorityCompare).selection, 3);
  EXPECT_TRUE(f.menu.show_render_priority()->control(kPriorityRadio).checked);
}

}  // namespace
}  // namespace kavro::menu
