// Dependency files and Ninja build files: their text, escaping and checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exporter/batch/depfile.h"
#include "exporter/batch/ninja_file.h"

namespace kavro {
namespace {

TEST(BuildFiles, DepfileListsTargetsAndInputsEscaped) {
  EXPECT_EQ(
      depfile_text({"out/a.imd", "out/a b.ica"}, {"in/s.kscene", "maps/$x#.tga", "c:\\t.tga"}),
      "out/a.imd out/a\\ b.ica: \\\n  in/s.kscene \\\n  maps/$$x\\#.tga \\\n  c:\\\\t.tga\n");
  EXPECT_EQ(depfile_text({"a.imd"}, {}), "a.imd:\n");
  // Names in the host code page reach the build tool as the file system
  // knows them (UTF-8): テ is 0x83 0x65 in CP932.
  EXPECT_EQ(make_escaped("\x83\x65.tga"), "\xE3\x83\x86.tga");
}

TEST(BuildFiles, ExportOutputsFollowTheSelectedKindsInWritingOrder) {
  ExportOptions o{};
  reset_options(o, true);
  set_text_field(o.output_file_name, "hero");
  o.output_itp = 1;
  o.output_ica = 1;
  EXPECT_EQ(export_outputs(o, "out\\models"),
            (std::vector<std::string>{"out/models/hero.imd", "out/models/hero.ica",
                                      "out/models/hero.itp"}));
  o.output_imd = 0;
  EXPECT_EQ(export_outputs(o, ""), (std::vector<std::string>{"hero.ica", "hero.itp"}));
}

TEST(BuildFiles, NinjaFileHasOneEdgePerSceneLine) {
  std::vector<ScenePlan> plan = {
      {1, "in/robot.kscene", {"out/robot.imd"}},
      {2, "in/my robot.kscene", {"out/b:c.imd", "out/b:c.ica"}},
      {3, "in/none.kscene", {}},
  };
  std::string text, error;
  ASSERT_TRUE(ninja_file_text(plan, "/usr/bin/kavro", "all $1.k3be", text, error)) << error;
  EXPECT_EQ(text,
            "# Written by kavro batch --ninja: one edge per scene line of the description.\n"
            "# Run Ninja from the folder the description's relative paths start in.\n"
            "ninja_required_version = 1.10\n"
            "kavro = /usr/bin/kavro\n"
            "k3be = all$ $$1.k3be\n"
            "\n"
            "rule kavro_scene\n"
            "  command = $kavro batch $k3be --only $line --depfile $dep --quiet\n"
            "  description = EXPORT $scene\n"
            "  depfile = $dep\n"
            "  deps = gcc\n"
            "\n"
            "build out/robot.imd: kavro_scene | $k3be $kavro\n"
            "  line = 1\n"
            "  dep = out/robot.imd.d\n"
            "  scene = in/robot.kscene\n"
            "\n"
            "build out/b$:c.imd out/b$:c.ica: kavro_scene | $k3be $kavro\n"
            "  line = 2\n"
            "  dep = out/b$:c.imd.d\n"
            "  scene = in/my$ robot.kscene\n");
  plan.push_back({4, "in/robot.kscene", {"out/b:c.ica"}});
  EXPECT_FALSE(ninja_file_text(plan, "kavro", "a.k3be", text, error));
  EXPECT_EQ(error, "scene lines 2 and 4 both write out/b:c.ica");
}

}  // namespace
}  // namespace kavro
