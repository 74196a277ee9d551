// The menu's script side: the render-priority script found on the script
// search path, and the command that makes platform materials.
#include <cstdlib>

#include "host/script_host.h"
#include "host/script_path.h"
#include "menu/script_commands.h"
#include "tests/menu/fixture.h"

namespace kavro::menu {
namespace {

using testing::Fixture;
using testing::multi;
using testing::platform;
using testing::standard;

struct ScriptFixture : Fixture {
  host::ScriptHost script{recording, &session};
  ScriptFixture() {
    plugin.script = &script;
    register_script_commands(script, plugin);
  }
};

TEST(SetRenderPriorityScript, SetsTheSelectedNodesPlatformMaterials) {
  struct Case {
    std::string value;
    double radio, priority;
  };
  const Case cases[] = {{"5", 2, 5}, {"0", 1, 7}, {"12", 2, 12}};
  for (const Case& c : cases) {
    ScriptFixture f;
    int p = f.add_material(platform("p", {{"priorityRadio", 2}, {"priorityValue", 7}}));
    int s = f.add_material(standard("s"));
    int mm = f.add_material(multi("mm", {platform("q"), standard("t")}));
    int other = f.add_material(platform("other", {{"priorityRadio", 1}}));
    f.select({f.add_node("a", p), f.add_node("b", s), f.add_node("c", mm)});
    f.add_node("unselected", other);
    ASSERT_TRUE(f.script.execute("kavroRenderPriority = " + c.value));
    EXPECT_EQ(f.menu.ExecuteAction(kActionSetRenderPriority), 1);
    EXPECT_EQ(f.param(p, "priorityRadio"), c.radio) << c.value;
    EXPECT_EQ(f.param(p, "priorityValue"), c.priority) << c.value;
    double radio = -1;
    host::GetMaterialParam(f.scene().materials[mm].sub_materials[0], "priorityRadio", radio);
    EXPECT_EQ(radio, c.radio) << c.value;
    EXPECT_TRUE(f.scene().materials[s].params.empty());
    EXPECT_TRUE(f.scene().materials[mm].sub_materials[1].params.empty());
    EXPECT_EQ(f.param(other, "priorityRadio"), 1);
    ASSERT_FALSE(f.recording.listener.empty());
    EXPECT_EQ(f.recording.listener.back(),
              "KAVROSetRenderPriority: priority " + c.value + " set on 2 material(s): p, q\n");
  }
}

TEST(SetRenderPriorityScript, RefusesAPriorityThatIsNoWholeNumber) {
  for (const char* value : {"-1", "2.5", "'high'"}) {
    ScriptFixture f;
    int p = f.add_material(platform("p", {{"priorityRadio", 1}}));
    f.select({f.add_node("a", p)});
    ASSERT_TRUE(f.script.execute(std::string("kavroRenderPriority = ") + value));
    f.menu.ExecuteAction(kActionSetRenderPriority);
    EXPECT_EQ(f.param(p, "priorityRadio"), 1) << value;
    EXPECT_NE(f.script.last_error().find("must be a whole number"), std::string::npos) << value;
  }
}

TEST(MakeKavroMaterial, ScriptCommandAndItsRefusals) {
  ScriptFixture f;
  int s = f.add_material(standard("plain"));
  doc::Material kept = standard("kept");
  kept.params = {{"polyID", 9}};
  int mm = f.add_material(multi("mm", {kept}));
  ASSERT_TRUE(
      f.script.execute("ok1 = kvsMakeKavroMaterial('plain')\n"
                       "ok2 = kvsMakeKavroMaterial('kept')\n"
                       "ok3 = kvsMakeKavroMaterial('mm')\n"
                       "ok4 = kvsMakeKavroMaterial('nothing')\n"
                       "print(ok1, ok2, ok3, ok4)"));
  EXPECT_EQ(f.recording.listener.back(), "true\ttrue\tfalse\tfalse\n");
  EXPECT_EQ(f.scene().materials[s].cls, doc::MaterialClass::kKavroStandard);
  EXPECT_EQ(f.param(s, "displayFace"), 1);
  EXPECT_EQ(f.param(s, "priorityRadio"), 1);
  const doc::Material& sub = f.scene().materials[mm].sub_materials[0];
  EXPECT_EQ(sub.cls, doc::MaterialClass::kKavroStandard);
  double id = 0;
  host::GetMaterialParam(sub, "polyID", id);
  EXPECT_EQ(id, 9);  // a parameter it had keeps its value
  EXPECT_EQ(f.scene().materials[mm].cls, doc::MaterialClass::kMulti);
  EXPECT_FALSE(f.script.execute("kvsMakeKavroMaterial()"));
  EXPECT_NE(f.script.last_error().find("wrong number of arguments"), std::string::npos);
}

TEST(ScriptSearchPath, FindsTheShippedScriptAndHonoursKavroScriptPath) {
  EXPECT_NE(host::find_script_file("KAVROSetRenderPriority.mse"), "KAVROSetRenderPriority.mse");
  EXPECT_EQ(host::find_script_file("no_such_script.mse"), "no_such_script.mse");
  EXPECT_EQ(host::find_script_file("dir/KAVROSetRenderPriority.mse"),
            "dir/KAVROSetRenderPriority.mse");
  const char* source = std::getenv("KAVRO_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "KAVRO_SOURCE_DIR is not set";
  ::setenv("KAVRO_SCRIPT_PATH", (std::string("/nonexistent:") + source + "/menu/scripts").c_str(),
           1);
  EXPECT_EQ(host::find_script_file("KAVROSetRenderPriority.mse"),
            std::string(source) + "/menu/scripts/KAVROSetRenderPriority.mse");
  ::unsetenv("KAVRO_SCRIPT_PATH");
}

}  // namespace
}  // namespace kavro::menu
