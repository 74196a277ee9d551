// `kavro tool ...`: the scene-preparation tools from the command line, with
// the round trips through a saved scene and an export.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/options.h"
#include "host/plugin_host.h"
#include "host/recording_host.h"
#include "host/scene_session.h"
#include "menu/global_menu.h"
#include "tests/cli/run_kavro.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

std::string example(const std::string& name) {
  const char* source = std::getenv("KAVRO_SOURCE_DIR");
  return std::string(source != nullptr ? source : "..") + "/examples/" + name;
}

// The robot with its maps, copied so that the tool may save it in place.
std::string copy_robot(const test::TempDir& dir) {
  namespace fs = std::filesystem;
  fs::copy(example("robot.kscene"), dir.file("robot.kscene"));
  fs::copy(example("maps"), dir.file("maps"), fs::copy_options::recursive);
  return dir.file("robot.kscene");
}

// The IMD's node elements as "name billboard" lines.
std::string node_billboards(const std::string& imd) {
  std::string lines;
  std::size_t at = 0;
  while ((at = imd.find("<node index=", at)) != std::string::npos) {
    std::size_t name = imd.find("name=\"", at) + 6;
    std::size_t bb = imd.find("billboard=\"", at) + 11;
    lines += imd.substr(name, imd.find('"', name) - name) + " " +
             imd.substr(bb, imd.find('"', bb) - bb) + "\n";
    at = bb;
  }
  return lines;
}

TEST(ToolCommand, BillboardsMarkedOnTheRobotReachTheModelFile) {
  test::TempDir dir;
  const std::string scene = copy_robot(dir);
  // Lamp is a Y-billboard in the example; Antenna is not marked.
  Result marked =
      kavro({"tool", "billboard", scene, "--select", "Lamp,Antenna", "--value", "Billboard"});
  ASSERT_EQ(marked.status, kExitOk) << marked.err;
  EXPECT_EQ(marked.out,
            "Antenna: Kvs_billboard = Billboard\n"
            "Lamp: Kvs_billboard = Billboard\n");
  EXPECT_EQ(kavro({"tool", "show", scene, "--billboard", "Billboard"}).out, "Antenna\nLamp\n");
  EXPECT_EQ(kavro({"tool", "show", scene, "--billboard", "Y-Billboard"}).out, "");
  // Setting a value the first node shows already still reaches the others.
  Result again =
      kavro({"tool", "billboard", scene, "--select", "Lamp,Head", "--value", "Billboard"});
  EXPECT_EQ(again.out, "Head: Kvs_billboard = Billboard\n");
  Result exported = kavro({"export", "-q", scene, dir.file("robot.imd")});
  ASSERT_EQ(exported.status, kExitOk) << exported.err;
  const std::string nodes = node_billboards(test::read_file(dir.file("robot.imd")));
  EXPECT_NE(nodes.find("Antenna on\n"), std::string::npos) << nodes;
  EXPECT_NE(nodes.find("Lamp on\n"), std::string::npos) << nodes;
  EXPECT_NE(nodes.find("Head on\n"), std::string::npos) << nodes;
  EXPECT_NE(nodes.find("Body off\n"), std::string::npos) << nodes;
}

TEST(ToolCommand, RenameListOfTheWarningsExample) {
  test::TempDir dir;
  ::setenv("SOURCE_DATE_EPOCH", "1243514096", 1);
  Result r =
      kavro({"tool", "rename-over-16", example("warnings.kscene"), "--list", dir.file("list.txt")});
  ::unsetenv("SOURCE_DATE_EPOCH");
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out, "Object (0)\nMaterial (0)\nTexture (0)\n");
  EXPECT_EQ(test::read_file(dir.file("list.txt")),
            "# KVS Rename Over 16 Characters\r\n"
            "# Date \"2009-05-28T12:34:56\"\r\n"
            "\r\n# Node\r\n0\r\n"
            "\r\n# Material\r\n0\r\n"
            "\r\n# Texture\r\n0\r\n");
}

const char* const kLongNames = R"({"format":"kavro-scene","version":1,
  "materials":[{"name":"a.material.name.long","class":"kavro_standard",
                "diffuse_map":{"class":"bitmap","file":"maps/texture_name_x.tga"}}],
  "nodes":[
    {"id":1,"name":"node_name_seventeen","material":0,
     "object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}},
    {"id":2,"name":"short"}]})";

TEST(ToolCommand, RenameOver16ListsRenamesAndSaves) {
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), kLongNames);
  ::setenv("SOURCE_DATE_EPOCH", "0", 1);
  Result r = kavro({"tool", "rename-over-16", dir.file("s.kscene"), "--rename",
                    "node_name_seventeen=node17", "--list", dir.file("l.txt"), "-o",
                    dir.file("out.kscene")});
  ::unsetenv("SOURCE_DATE_EPOCH");
  ASSERT_EQ(r.status, kExitOk) << r.err;
  EXPECT_EQ(r.out,
            "Object (1)\n  node_name_seventeen >> node_name_seventeen\n"
            "Material (1)\n  a.material.name.long >> a_material_name_long\n"
            "Texture (1)\n  texture_name_x >> texture_name_x_pl\n"
            "node_name_seventeen >> node17\n");
  EXPECT_EQ(
      test::read_file(dir.file("l.txt")),
      "# KVS Rename Over 16 Characters\r\n"
      "# Date \"1970-01-01T00:00:00\"\r\n"
      "\r\n# Node\r\n1\r\n\"node_name_seventeen\" \"node_name_seventeen\" \"node17\"\r\n"
      "\r\n# Material\r\n1\r\n\"a.material.name.long\" \"a_material_name_long\" \"\"\r\n"
      "\r\n# "
      "Texture\r\n1\r\n\"texture_name_x\"\t\"texture_name_x_pl\"\t\"maps/texture_name_x.tga\"\r\n");
  Result again = kavro({"tool", "show", dir.file("out.kscene"), "--lighting", "off"});
  EXPECT_EQ(again.out, "node17\n");
  // A new name over 16 characters fails and saves nothing.
  Result over = kavro({"tool", "rename-over-16", dir.file("s.kscene"), "--rename",
                       "node_name_seventeen=still_seventeen_c", "-o", dir.file("bad.kscene")});
  EXPECT_EQ(over.status, kExitFailed);
  EXPECT_NE(over.err.find("Over 16 Characters: \"still_seventeen_c\""), std::string::npos)
      << over.err;
  EXPECT_FALSE(test::file_exists(dir.file("bad.kscene")));
}

TEST(ToolCommand, MaterialAttributesReplaceAndKavroMaterial) {
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), R"({"format":"kavro-scene","version":1,
    "materials":[{"name":"plain"},
                 {"name":"kav","class":"kavro_standard","params":{"polyID":1,"light":0}}],
    "nodes":[{"id":1,"name":"Box_a","material":0},{"id":2,"name":"box_b","material":1}]})");
  const std::string scene = dir.file("s.kscene");
  Result none =
      kavro({"tool", "material-attributes", scene, "--select", "Box_a", "--set", "polyID=5"});
  EXPECT_EQ(none.status, kExitFailed);
  Result made = kavro({"tool", "kavro-material", scene, "--material", "plain"});
  ASSERT_EQ(made.status, kExitOk) << made.err;
  EXPECT_NE(made.out.find("plain: KAVRO Standard\n"), std::string::npos) << made.out;
  Result set = kavro({"tool", "material-attributes", scene, "--select", "box_b,Box_a", "--set",
                      "polyID=5", "--set", "light=on", "--set", "displayFace=both"});
  ASSERT_EQ(set.status, kExitOk) << set.err;
  EXPECT_NE(set.out.find("kav: polyID 1 -> 5\n"), std::string::npos) << set.out;
  EXPECT_NE(set.out.find("kav: light 0 -> 1\n"), std::string::npos) << set.out;
  EXPECT_NE(set.out.find("plain: polyID 0 -> 5\n"), std::string::npos) << set.out;
  EXPECT_NE(set.out.find("plain: displayFace 1 -> 3\n"), std::string::npos) << set.out;
  EXPECT_EQ(kavro({"tool", "show", scene, "--display-face", "both"}).out, "Box_a\nbox_b\n");
  EXPECT_EQ(kavro({"tool", "material-attributes", scene, "--set", "polyID=64"}).status, kExitUsage);
  EXPECT_EQ(kavro({"tool", "material-attributes", scene, "--set", "fog=on"}).status, kExitUsage);

  Result listed = kavro({"tool", "replace", scene, "--search", "^box", "--replace", "Crate"});
  EXPECT_EQ(listed.out, "Box_a >> Crate_a\nbox_b >> Crate_b\n");
  Result cased = kavro({"tool", "replace", scene, "--search", "^box", "--replace", "Crate",
                        "--match-case", "--apply"});
  ASSERT_EQ(cased.status, kExitOk) << cased.err;
  EXPECT_EQ(cased.out, "box_b >> Crate_b\n");
  // Only the material made a platform one has its lights (light_0 on by
  // default); the tool's "light" field is a parameter of its own.
  EXPECT_EQ(kavro({"tool", "show", scene, "--lighting", "any"}).out, "Box_a\n");
  Result refused = kavro({"tool", "replace", scene, "--search", "a.b", "--replace", "x"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_NE(refused.err.find("Error: Invalid search word: \"a.b\""), std::string::npos)
      << refused.err;
}

TEST(ToolCommand, ShowRulesAndUsageErrors) {
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), R"({"format":"kavro-scene","version":1,
    "materials":[{"name":"p5","class":"kavro_standard","params":{"priorityRadio":2,"priorityValue":5}},
                 {"name":"p6","class":"kavro_standard","params":{"priorityRadio":2,"priorityValue":6}}],
    "nodes":[{"id":1,"name":"five","material":0,
              "object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}},
             {"id":2,"name":"six","material":1,
              "object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}},
             {"id":3,"name":"kept","user_properties":{"Kvs_no_cut":true}}]})");
  const std::string scene = dir.file("s.kscene");
  EXPECT_EQ(kavro({"tool", "show", scene, "--render-priority", "> 5"}).out, "six\n");
  EXPECT_EQ(kavro({"tool", "show", scene, "--render-priority", ">= 5"}).out, "five\nsix\n");
  EXPECT_EQ(kavro({"tool", "show", scene, "--render-priority", "<6"}).out, "five\n");
  EXPECT_EQ(kavro({"tool", "show", scene, "--no-cut"}).out, "kept\n");
  for (std::vector<std::string> bad : {
           std::vector<std::string>{"tool", "show", scene},
           {"tool", "show", scene, "--no-cut", "--lighting", "off"},
           {"tool", "show", scene, "--render-priority", "=> 5"},
           {"tool", "show", scene, "--lighting", "4"},
           {"tool", "billboard", scene, "--select", "five", "--value", "billboard"},
           {"tool", "billboard", scene, "--select", "nobody", "--value", "Billboard"},
           {"tool", "no-cut", scene, "--value", "on"},
           {"tool", "replace", scene, "--search", "a", "--mode", "title"},
           {"tool", "rename-over-16", scene, "--rename", "five=5"},
           {"tool"},
       }) {
    EXPECT_EQ(kavro(bad).status, kExitUsage) << bad.back();
  }
}

}  // namespace
}  // namespace kavro::cli

// The menu's export actions reach the exporter only through the host's
// export-to-file service; the exporter decides on its dialog from the bits.
namespace kavro::cli {
namespace {

TEST(MenuExport, ActionsReachTheExporterThroughTheHost) {
  struct Case {
    int action;
    bool names_set;
    int dialogs;
  };
  const Case cases[] = {
      {menu::kActionExport, false, 1},
      {menu::kActionExport, true, 0},
      {menu::kActionExportWithSettings, true, 1},
  };
  ExportOptions saved = current_options();
  for (const Case& c : cases) {
    test::TempDir dir;
    host::RecordingHost recording;
    recording.dialog_answer = host::DialogResult::kCancel;
    host::SceneSession session(recording);
    KavroExporterPlugin exporter(recording);
    session.RegisterExporter(menu::kExporterClassId, &exporter);
    doc::LoadResult loaded = doc::parse_scene_document(R"({"format":"kavro-scene","version":1,
      "nodes":[{"id":1,"name":"A","object":{"class":"mesh","mesh":{
               "vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}}]})",
                                                       "s.kscene");
    ASSERT_TRUE(loaded.ok) << loaded.error;
    session.set_scene(loaded.document, "s.kscene");
    host::PluginHost plugin(recording, session);
    menu::GlobalMenu menu(plugin);
    reset_options(current_options(), true);
    current_options().process_mode = ProcessMode::kIntermediateFile;
    // The options come from the scene rather than the user's settings file
    // (there is none in the recording host's settings folder).
    current_options().settings_from_scene = 1;
    if (c.names_set) {
      std::snprintf(current_options().output_file_name, 256, "%s", "model");
      std::snprintf(current_options().output_folder, 256, "%s", dir.path().c_str());
    }
    EXPECT_EQ(menu.ExecuteAction(c.action), 1);
    EXPECT_EQ(recording.dialogs_shown, c.dialogs) << c.action << " " << c.names_set;
    EXPECT_EQ(test::file_exists(dir.file("model.imd")), c.dialogs == 0) << c.action;
  }
  current_options() = saved;
}

}  // namespace
}  // namespace kavro::cli
