// The material attribute tool against the recording host.
#include "menu/material_attribute_tool.h"

#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;
using testing::multi;
using testing::platform;
using testing::standard;

// A platform material with every field of the tool set to non-default
// values (lists 1-based).
doc::Material full_platform(const std::string& name) {
  return platform(name, {{"light", 1},
                         {"displayFace", 3},
                         {"wireFrame", 1},
                         {"polyMode", 2},
                         {"polyID", 12},
                         {"texGen", 3},
                         {"texGenST", 2},
                         {"comPress", 2},
                         {"iflLoop", 1}});
}

TEST(MaterialAttributeTool, SelectionNamesAndTheNoMaterialText) {
  struct Case {
    std::vector<std::string> nodes;
    bool platform;
    std::string shown;
  };
  const Case cases[] = {
      {{}, true, "(No KAVRO material selected)"},
      {{"a"}, false, "(No KAVRO material selected)"},
      {{"a"}, true, "a"},
      {{"a", "b"}, true, "a, b"},
      {{"a", "b", "c"}, true, "a, b, c"},
      {{"a", "b", "c", "d"}, true, "a, b, c, ..."},
      {{"a", "b", "c", "d", "e"}, true, "a, b, c, ..."},
  };
  for (const Case& c : cases) {
    Fixture f;
    int m = f.add_material(c.platform ? platform("m") : standard("m"));
    std::vector<int> nodes;
    for (const std::string& n : c.nodes) nodes.push_back(f.add_node(n, m));
    f.select(nodes);
    f.menu.ExecuteAction(kActionMaterialAttribute);
    EXPECT_EQ(f.menu.material_tool()->control(kMatNames).text, c.shown) << c.nodes.size();
  }
}

TEST(MaterialAttributeTool, LoadsTheFirstSelectedMaterialIntoTheControls) {
  Fixture f;
  int m = f.add_material(full_platform("m"));
  f.select({f.add_node("a", m)});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  MaterialAttributeTool& t = *f.menu.material_tool();
  EXPECT_TRUE(t.loaded());
  EXPECT_TRUE(t.control(kMatLighting).checked);
  EXPECT_EQ(t.control(kMatDisplayFace).selection, 2);
  EXPECT_TRUE(t.control(kMatWireFrame).checked);
  EXPECT_EQ(t.control(kMatPolygonMode).selection, 1);
  EXPECT_EQ(t.control(kMatPolygonId).text, "12");
  EXPECT_EQ(t.control(kMatTexGenMode).selection, 2);
  EXPECT_EQ(t.control(kMatTexGenSt).selection, 1);
  EXPECT_TRUE(t.control(kMatTexGenSt).enabled);
  EXPECT_EQ(t.control(kMatCompress).selection, 1);
  EXPECT_TRUE(t.control(kMatIflLoop).checked);
}

TEST(MaterialAttributeTool, NothingIsWrittenBeforeAPlatformMaterialWasLoaded) {
  Fixture f;
  int s = f.add_material(standard("s"));
  int p = f.add_material(platform("p", {{"polyID", 4}}));
  int a = f.add_node("a", s);
  int b = f.add_node("b", p);
  f.select({a});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  MaterialAttributeTool& t = *f.menu.material_tool();
  EXPECT_FALSE(t.loaded());
  // b is selected now but the window has not refreshed since.
  f.select({a, b});
  t.edit(kMatPolygonId, "9");
  t.click(kMatLighting);
  EXPECT_EQ(f.param(p, "polyID"), 4);
  EXPECT_EQ(f.scene().materials[p].params.size(), 1u);
  EXPECT_TRUE(f.scene().materials[s].params.empty());
}

TEST(MaterialAttributeTool, PolygonIdIsClamped) {
  const std::pair<std::string, double> cases[] = {
      {"99", 63}, {"-5", 0}, {"64", 63}, {"63", 63}, {"0", 0}, {"7", 7}, {"x", 0}, {"", 0},
  };
  for (const auto& [typed, written] : cases) {
    Fixture f;
    int m = f.add_material(platform("m"));
    f.select({f.add_node("a", m)});
    f.menu.ExecuteAction(kActionMaterialAttribute);
    f.menu.material_tool()->edit(kMatPolygonId, typed);
    EXPECT_EQ(f.param(m, "polyID"), written) << typed;
  }
  // The edit holds two characters.
  Fixture f;
  f.menu.ExecuteAction(kActionMaterialAttribute);
  EXPECT_EQ(f.menu.material_tool()->control(kMatPolygonId).text_size, 3u);
}

TEST(MaterialAttributeTool, TexGenStSourceFollowsTexGenMode) {
  Fixture f;
  int m = f.add_material(platform("m", {{"texGen", 1}}));
  f.select({f.add_node("a", m)});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  MaterialAttributeTool& t = *f.menu.material_tool();
  const std::pair<int, bool> steps[] = {{2, true}, {1, false}, {3, true}, {0, false}};
  EXPECT_FALSE(t.control(kMatTexGenSt).enabled);
  for (const auto& [index, enabled] : steps) {
    t.choose(kMatTexGenMode, index);
    EXPECT_EQ(t.control(kMatTexGenSt).enabled, enabled) << index;
    EXPECT_EQ(t.control(kMatTexGenStLabel).enabled, enabled) << index;
    EXPECT_EQ(f.param(m, "texGen"), index + 1);
  }
}

TEST(MaterialAttributeTool, EveryChangeWritesAllNineFieldsToEverySelectedPlatformMaterial) {
  Fixture f;
  int m1 = f.add_material(full_platform("m1"));
  int m2 = f.add_material(platform("m2"));
  int s = f.add_material(standard("s"));
  int sub = f.add_material(multi("multi", {platform("inner")}));
  f.select({f.add_node("a", m1), f.add_node("b", m2), f.add_node("c", s), f.add_node("d", sub)});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  f.menu.material_tool()->choose(kMatPolygonMode, 3);
  const std::pair<const char*, double> expected[] = {
      {"light", 1},  {"displayFace", 3}, {"wireFrame", 1}, {"polyMode", 4}, {"polyID", 12},
      {"texGen", 3}, {"texGenST", 2},    {"comPress", 2},  {"iflLoop", 1},
  };
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(f.param(m1, name), value) << name;
    EXPECT_EQ(f.param(m2, name), value) << name;
  }
  EXPECT_TRUE(f.scene().materials[s].params.empty());
  // A node whose own material is a multi-material is left alone.
  EXPECT_TRUE(f.scene().materials[sub].sub_materials[0].params.empty());
}

TEST(MaterialAttributeTool, MultiMaterialOfTheFirstNodeLoadsItsFirstPlatformSubMaterial) {
  Fixture f;
  int p = f.add_material(platform("p", {{"polyID", 1}}));
  int mm = f.add_material(multi(
      "mm", {standard("s"), platform("q", {{"polyID", 30}}), platform("r", {{"polyID", 40}})}));
  f.select({f.add_node("a", mm), f.add_node("b", p)});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  EXPECT_EQ(f.menu.material_tool()->control(kMatPolygonId).text, "30");
  EXPECT_TRUE(f.menu.material_tool()->loaded());
}

TEST(MaterialAttributeTool, RefreshFollowsTheSelectionAndCloseLeavesTheList) {
  Fixture f;
  int m = f.add_material(platform("m", {{"polyID", 5}}));
  int n = f.add_material(platform("n", {{"polyID", 6}}));
  int a = f.add_node("a", m);
  int b = f.add_node("b", n);
  f.select({a});
  f.menu.ExecuteAction(kActionMaterialAttribute);
  f.select({b});
  f.plugin.redraws.RedrawViews();
  EXPECT_EQ(f.menu.material_tool()->control(kMatNames).text, "b");
  EXPECT_EQ(f.menu.material_tool()->control(kMatPolygonId).text, "6");
  f.menu.material_tool()->click(kMatClose);
  EXPECT_FALSE(f.menu.material_tool()->is_open());
  EXPECT_TRUE(f.menu.refresh_list().entries().empty());
  // The state survives the window.
  EXPECT_EQ(f.menu.material_memory.state.polygon_id, 6);
}

}  // namespace
}  // namespace kavro::menu
