// The plug-in's classes, action table, dispatcher, menu lifecycle, open
// bits and refresh list.
#include "menu/global_menu.h"

#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;

TEST(PluginClasses, TwoClassesWithTheirIdentifiers) {
  const auto& classes = plugin_classes();
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_STREQ(classes[0].internal_name, "MenuUtil");
  EXPECT_STREQ(classes[0].name, "Menu Utility");
  EXPECT_EQ(classes[0].id, (host::ClassId{0x3162315e, 0x73eb28b4}));
  EXPECT_STREQ(classes[1].internal_name, "GlobalMenu");
  EXPECT_EQ(classes[1].id, (host::ClassId{0x3162415e, 0x43eb28b4}));
  EXPECT_STREQ(kPluginDescription, "KAVRO-System Menu");
}

TEST(ActionTable, EveryIdAndName) {
  const std::vector<std::pair<int, std::string>> expected = {
      {5, "KAVRO Export"},
      {6, "KAVRO Set Material Attribute"},
      {7, "KAVRO Show Lighting"},
      {8, "KAVRO Show Display Face"},
      {9, "KAVRO Set Billboard"},
      {10, "KAVRO Show Billboard"},
      {11, "KAVRO Set No Cut Node"},
      {12, "KAVRO Show No Cut Node"},
      {14, "About MERIDANE KAVRO-System"},
      {15, "KAVRO Export With Settings"},
      {16, "KAVRO Replace Character"},
      {17, "KAVRO Rename Over 16 Characters"},
      {18, "KAVRO Show Render Priority"},
      {19, "KAVRO Set Render Priority"},
  };
  ASSERT_EQ(action_table().size(), expected.size());
  for (const auto& [id, name] : expected) {
    const Action* a = find_action(id);
    ASSERT_NE(a, nullptr) << id;
    EXPECT_EQ(a->name, name) << id;
  }
  EXPECT_EQ(find_action(13), nullptr);
  EXPECT_STREQ(kActionCategory, "KAVRO-System");
}

TEST(Dispatcher, UnknownIdsGiveMinusOneListedOnesSucceed) {
  Fixture f;
  for (int id : {-1, 0, 4, 13, 20, 1000}) EXPECT_EQ(f.menu.ExecuteAction(id), -1) << id;
  for (const Action& a : action_table()) EXPECT_EQ(f.menu.ExecuteAction(a.id), 1) << a.id;
}

TEST(Dispatcher, ExportsGoThroughTheHostWithThePlaceholderAndBits) {
  Fixture f;
  f.menu.ExecuteAction(kActionExport);
  f.menu.ExecuteAction(kActionExportWithSettings);
  ASSERT_EQ(f.plugin.exports.size(), 2u);
  const host::ClassId exporter{0x7b43b852, 0x365b71d1};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.plugin.exports[i].name, "C:\\test.imd");
    EXPECT_TRUE(f.plugin.exports[i].suppress_prompts);
    EXPECT_EQ(f.plugin.exports[i].id, exporter);
  }
  EXPECT_EQ(f.plugin.exports[0].options, 2u);
  EXPECT_EQ(f.plugin.exports[1].options, 6u);
}

TEST(Dispatcher, ScriptActionsRunTheirTexts) {
  Fixture f;
  f.menu.ExecuteAction(kActionAbout);
  f.menu.ExecuteAction(kActionSetRenderPriority);
  EXPECT_EQ(f.plugin.scripts,
            (std::vector<std::string>{"kvsAbout()", "fileIn \"KAVROSetRenderPriority.mse\""}));
}

// The menu's entries as the host shows them: the action texts, "-" for a
// separator.
std::vector<std::string> menu_texts(const host::MenuManager& menus, int menu) {
  std::vector<std::string> texts;
  for (const auto& item : menus.menu(menu)->items) {
    texts.push_back(item.kind == host::MenuManager::Item::kSeparator ? "-" : item.text);
  }
  return texts;
}

TEST(Menu, BuiltInItsOrderBeforeTheBarsLastEntry) {
  Fixture f;
  int menu = f.plugin.menus.FindMenu("KAVRO-System");
  ASSERT_GE(menu, 0);
  EXPECT_EQ(
      menu_texts(f.plugin.menus, menu),
      (std::vector<std::string>{
          "KAVRO Export", "KAVRO Export With Settings", "-", "KAVRO Show Lighting",
          "KAVRO Show Display Face", "-", "KAVRO Set Render Priority", "KAVRO Show Render Priority",
          "-", "KAVRO Set Billboard", "KAVRO Show Billboard", "-", "KAVRO Set No Cut Node",
          "KAVRO Show No Cut Node", "-", "KAVRO Replace Character",
          "KAVRO Rename Over 16 Characters", "-", "About MERIDANE KAVRO-System"}));
  // The material attribute action is in the table but not in the menu.
  for (const auto& item : f.plugin.menus.menu(menu)->items) EXPECT_NE(item.action_id, 6);
  EXPECT_EQ(menu_texts(f.plugin.menus, f.plugin.menus.GetMainMenuBar()),
            (std::vector<std::string>{"File", "Edit", "Tools", "KAVRO-System", "Help"}));
  EXPECT_EQ(f.plugin.menus.updates(), 1);
}

TEST(Menu, RebuildsWithoutDuplicatesAndIsRemovedOn73) {
  Fixture f;
  f.plugin.notifications.BroadcastNotification(85);
  f.plugin.notifications.BroadcastNotification(85);
  EXPECT_EQ(f.plugin.menus.count_registered("KAVRO-System"), 1);
  EXPECT_EQ(menu_texts(f.plugin.menus, f.plugin.menus.GetMainMenuBar()),
            (std::vector<std::string>{"File", "Edit", "Tools", "KAVRO-System", "Help"}));
  f.plugin.notifications.BroadcastNotification(73);
  EXPECT_EQ(f.plugin.menus.count_registered("KAVRO-System"), 0);
  EXPECT_EQ(menu_texts(f.plugin.menus, f.plugin.menus.GetMainMenuBar()),
            (std::vector<std::string>{"File", "Edit", "Tools", "Help"}));
  // Stopped, the plug-in no longer answers the notifications.
  f.menu.Stop();
  f.plugin.notifications.BroadcastNotification(85);
  EXPECT_EQ(f.plugin.menus.count_registered("KAVRO-System"), 0);
}

TEST(Menu, NoMainMenuBarLeavesTheMenuUnbuilt) {
  host::RecordingHost recording;
  host::SceneSession session(recording);
  host::RecordingPluginHost plugin(recording, session, false);
  GlobalMenu menu(plugin);
  menu.Start();
  EXPECT_EQ(plugin.menus.FindMenu("KAVRO-System"), -1);
  EXPECT_EQ(plugin.menus.updates(), 0);
  EXPECT_TRUE(menu.context_registered());
  EXPECT_FALSE(menu.menu_util().actions_enabled);
}

TEST(OpenBits, EachWindowOpensOnceAndAgainAfterClosing) {
  struct Case {
    int action;
    unsigned bit;
  };
  const Case cases[] = {
      {kActionShowLighting, 0x004},
      {kActionShowDisplayFace, 0x020},
      {kActionSetBillboard, 0x001},
      {kActionShowBillboard, 0x010},
      {kActionSetNoCut, 0x002},
      {kActionMaterialAttribute, 0x008},
      {kActionReplace, 0x040},
      {kActionRename, 0x080},
      {kActionShowRenderPriority, 0x100},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.menu.ExecuteAction(c.action);
    EXPECT_EQ(f.menu.open_bits(), c.bit) << c.action;
    auto window = [&]() -> ToolWindow* {
      switch (c.action) {
        case kActionShowLighting:
          return f.menu.show_lighting();
        case kActionShowDisplayFace:
          return f.menu.show_display_face();
        case kActionSetBillboard:
          return f.menu.set_billboard();
        case kActionShowBillboard:
          return f.menu.show_billboard();
        case kActionSetNoCut:
          return f.menu.set_no_cut();
        case kActionMaterialAttribute:
          return f.menu.material_tool();
        case kActionReplace:
          return f.menu.replace_tool();
        case kActionRename:
          return f.menu.rename_tool();
        default:
          return f.menu.show_render_priority();
      }
    };
    ToolWindow* first = window();
    f.menu.ExecuteAction(c.action);
    EXPECT_EQ(window(), first) << c.action << ": a second window was made";
    first->close_command();
    EXPECT_EQ(f.menu.open_bits(), 0u) << c.action;
    f.menu.ExecuteAction(c.action);
    EXPECT_TRUE(window()->is_open()) << c.action;
    EXPECT_NE(window(), first) << c.action;
  }
}

TEST(RefreshList, SetWindowsAndTheMaterialToolRefreshAfterEveryRedraw) {
  Fixture f;
  int a = f.add_node("a");
  f.add_node("b");
  f.menu.ExecuteAction(kActionSetBillboard);
  f.menu.ExecuteAction(kActionShowLighting);  // no refresh of its own
  f.menu.ExecuteAction(kActionMaterialAttribute);
  f.menu.ExecuteAction(kActionSetNoCut);
  const auto& entries = f.menu.refresh_list().entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].names_id, 1010);
  EXPECT_EQ(entries[0].combo_id, 1011);
  EXPECT_EQ(entries[1].names_id, 1026);
  EXPECT_EQ(entries[1].combo_id, -1);
  EXPECT_EQ(entries[2].names_id, 1019);
  EXPECT_EQ(entries[2].combo_id, 1017);

  EXPECT_EQ(f.menu.set_billboard()->control(1010).text, "(No transform node is selected)");
  f.select({a});
  f.plugin.redraws.RedrawViews();
  EXPECT_EQ(f.menu.set_billboard()->control(1010).text, "a");
  EXPECT_EQ(f.menu.set_no_cut()->control(1019).text, "a");

  f.menu.set_billboard()->close_command();
  EXPECT_EQ(f.menu.refresh_list().entries().size(), 2u);
}

TEST(UndoHolds, ShowSelectionsAreUndoStepsNamedSelect) {
  Fixture f;
  int a = f.add_node("a");
  int b = f.add_node("b");
  host::SetUserPropBool(f.scene().nodes[b], "Kvs_no_cut", true);
  f.select({a});
  f.menu.ExecuteAction(kActionShowNoCut);
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(f.plugin.undo.undo_names(), (std::vector<std::string>{"Select"}));
  EXPECT_EQ(f.plugin.redraws.redraws(), 1);
  // The selection is cleared before the hold begins: undoing the step
  // leaves it empty.
  ASSERT_TRUE(f.plugin.undo.Undo());
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{}));
  ASSERT_TRUE(f.plugin.undo.Redo());
  EXPECT_EQ(f.selected_names(), (std::vector<std::string>{"b"}));
  EXPECT_FALSE(f.plugin.undo.Redo());
}

}  // namespace
}  // namespace kavro::menu
