// User properties, material parameters and the menu manager of the host.
#include "host/scene_edit.h"

#include <gtest/gtest.h>

#include "host/ui_services.h"

namespace kavro::host {
namespace {

TEST(UserProperties, ReadAsStringsAndBooleansWhateverTheirKind) {
  struct Case {
    doc::UserProperty::Kind kind;
    std::string text;
    bool flag;
    double number;
    std::string as_string;
    bool as_bool;
  };
  const Case cases[] = {
      {doc::UserProperty::kString, "Billboard", false, 0, "Billboard", false},
      {doc::UserProperty::kString, "TRUE", false, 0, "TRUE", true},
      {doc::UserProperty::kString, "1", false, 0, "1", true},
      {doc::UserProperty::kString, "Yes", false, 0, "Yes", true},
      {doc::UserProperty::kString, "2 nodes", false, 0, "2 nodes", true},  // a leading number
      {doc::UserProperty::kNumber, "", false, 0.1, "0.1", true},
      {doc::UserProperty::kString, "", false, 0, "", false},
      {doc::UserProperty::kBool, "", true, 0, "true", true},
      {doc::UserProperty::kBool, "", false, 0, "false", false},
      {doc::UserProperty::kNumber, "", false, 2.5, "2.5", true},
      {doc::UserProperty::kNumber, "", false, 0, "0", false},
  };
  for (const Case& c : cases) {
    doc::Node node;
    doc::UserProperty p;
    p.key = "k";
    p.kind = c.kind;
    p.text = c.text;
    p.flag = c.flag;
    p.number = c.number;
    node.user_properties.push_back(p);
    std::string s;
    bool b = !c.as_bool;
    ASSERT_TRUE(GetUserPropString(node, "k", s));
    ASSERT_TRUE(GetUserPropBool(node, "k", b));
    EXPECT_EQ(s, c.as_string) << c.as_string;
    EXPECT_EQ(b, c.as_bool) << c.as_string;
    EXPECT_FALSE(GetUserPropString(node, "K", s));  // keys are exact
  }
}

TEST(UserProperties, WritingReplacesTheKeyWhateverItsKind) {
  doc::Node node;
  SetUserPropString(node, "Kvs_no_cut", "yes");
  SetUserPropBool(node, "Kvs_no_cut", false);
  SetUserPropString(node, "Kvs_billboard", "Billboard");
  ASSERT_EQ(node.user_properties.size(), 2u);
  EXPECT_EQ(node.user_properties[0].kind, doc::UserProperty::kBool);
  bool flag = true;
  ASSERT_TRUE(GetUserPropBool(node, "Kvs_no_cut", flag));
  EXPECT_FALSE(flag);
}

TEST(MaterialParams, ByNameAndThePlatformDefaults) {
  doc::Material m;
  EXPECT_EQ(material_int(m, "polyID"), 0);
  SetMaterialParam(m, "polyID", 7);
  SetMaterialParam(m, "polyID", 9);
  ASSERT_EQ(m.params.size(), 1u);
  EXPECT_EQ(material_int(m, "polyID"), 9);
  EXPECT_TRUE(make_kavro_material(m));
  EXPECT_TRUE(is_platform_material(m));
  EXPECT_EQ(material_int(m, "polyID"), 9);
  EXPECT_EQ(material_int(m, "displayFace"), 1);
  EXPECT_EQ(material_int(m, "light_0"), 1);
  EXPECT_EQ(m.params.size(), kavro_standard_defaults().size());
  doc::Material mm;
  mm.cls = doc::MaterialClass::kMulti;
  EXPECT_FALSE(make_kavro_material(mm));
  EXPECT_EQ(mm.cls, doc::MaterialClass::kMulti);
}

TEST(MenuManager, UnregisteringTakesTheSubmenuOffTheBar) {
  MenuManager menus;
  int bar = menus.GetMainMenuBar();
  int mine = menus.CreateMenu("Mine");
  EXPECT_EQ(menus.FindMenu("Mine"), -1);  // not registered yet
  ASSERT_TRUE(menus.RegisterMenu(mine));
  EXPECT_FALSE(menus.RegisterMenu(mine));
  menus.InsertSubMenu(bar, mine, 100);  // clamped: appended
  EXPECT_EQ(menus.menu(bar)->items.back().text, "Mine");
  ASSERT_TRUE(menus.UnRegisterMenu(mine));
  EXPECT_NE(menus.menu(bar)->items.back().text, "Mine");
  EXPECT_EQ(menus.FindMenu("Mine"), -1);
  EXPECT_FALSE(menus.UnRegisterMenu(mine));
  EXPECT_EQ(MenuManager(false).GetMainMenuBar(), -1);
}

}  // namespace
}  // namespace kavro::host
