// `kavro export --report`: the report of a small scene, its numbers worked
// out by hand from the scene and the format rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli.h"
#include "tests/support/support.h"

namespace kavro::cli {
namespace {

int kavro_run(const std::vector<std::string>& args, std::string& err) {
  std::FILE* out = std::tmpfile();
  std::FILE* e = std::tmpfile();
  int status = run(args, out, e);
  std::rewind(e);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, e)) > 0) err.append(buffer, n);
  std::fclose(out);
  std::fclose(e);
  return status;
}

// One mesh node with one triangle over frames 0 to 4, moving along the
// document's x (the exported translate_x: 0, 1, 2, 3, 4) and up and down
// along its z (translate_y: 0, 0.5, 1, 0.5, 0).
const char* const kScene = R"({"format":"kavro-scene","version":1,"animation_range":[0,4],
  "materials":[{"name":"Red","class":"kavro_standard","diffuse":[1,0,0]}],
  "nodes":[{"id":1,"name":"A_rather_long_node_name","material":0,
    "transform":{"position":{"keys":[{"frame":0,"value":[0,0,0]},{"frame":2,"value":[2,0,1]},
                                     {"frame":4,"value":[4,0,0]}]}},
    "object":{"class":"mesh","mesh":{"vertices":[[0,0,0],[1,0,0],[0,1,0]],"faces":[[0,1,2]]}}}]})";

TEST(Report, SmallSceneCountsFilesWarningsAndChannels) {
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), kScene);
  std::string err;
  const int status =
      kavro_run({"export", "-q", "--overwrite=yes", "--set", "output_ica=on", "--set",
                 "frame_step_mode=auto", "--set", "tolerance_translate=1.5", "--report",
                 dir.file("r.json"), dir.file("s.kscene"), dir.file("m.imd")},
                err);
  ASSERT_EQ(status, kExitOk) << err;
  const nlohmann::json r = nlohmann::json::parse(test::read_file(dir.file("r.json")));
  EXPECT_EQ(r["format"], "kavro-export-report");
  EXPECT_EQ(r["success"], true);
  EXPECT_EQ(r["scene"], dir.file("s.kscene"));
  EXPECT_EQ(r["options"]["frame_step_mode"], "auto");
  EXPECT_EQ(r["options"]["output_ica"], "on");

  // Two files, their sizes and lines as on disk.
  ASSERT_EQ(r["files"].size(), 2u);
  const char* kinds[] = {"imd", "ica"};
  for (std::size_t i = 0; i < 2; ++i) {
    const nlohmann::json& f = r["files"][i];
    EXPECT_EQ(f["kind"], kinds[i]);
    const std::string text = test::read_file(f["path"].get<std::string>());
    EXPECT_EQ(f["path"], dir.file(std::string("m.") + kinds[i]));
    EXPECT_EQ(f["bytes"], text.size());
    EXPECT_EQ(f["lines"], std::count(text.begin(), text.end(), '\n'));
  }

  // One node, one material, one set with one separate triangle (three
  // vertices) drawn with the node's one matrix.
  const nlohmann::json& c = r["counts"];
  EXPECT_EQ(c["nodes_before"], 1);
  EXPECT_EQ(c["nodes_after"], 1);
  EXPECT_EQ(c["materials_after"], 1);
  EXPECT_EQ(c["polygon_sets"], 1);
  EXPECT_EQ(c["triangles"], 1);
  EXPECT_EQ(c["quads"], 0);
  EXPECT_EQ(c["triangle_strips"], 0);
  EXPECT_EQ(c["vertices_sent"], 3);
  EXPECT_EQ(c["matrices_used"], 1);
  EXPECT_EQ(r["textures"].size(), 0u);

  EXPECT_EQ(r["warnings"],
            nlohmann::json::array(
                {"Warning: Length of name over 16 characters. node: A_rather_long_node_name"}));
  std::vector<std::string> stages;
  for (const auto& s : r["stages"]) stages.push_back(s["stage"]);
  EXPECT_EQ(stages, (std::vector<std::string>{"extraction", "processing", "imd",
                                              "imd_texture_conversion", "ica"}));
  EXPECT_GT(r["peak_memory_bytes"].get<long long>(), 0);

  // translate_x 0..4 is a straight line: every fourth frame suffices
  // (frames 0 and 4 stored, nothing lost). translate_y 0, 0.5, 1, 0.5, 0:
  // every fourth frame gives 0, 0, within 1.5 of each other, so one value
  // is stored and the largest error is 1 (at frame 2).
  ASSERT_EQ(r["channels"].size(), 2u);
  EXPECT_EQ(r["channels"][0]["file"], "ica");
  EXPECT_EQ(r["channels"][0]["node"], "A_rather_long_node_name");
  EXPECT_EQ(r["channels"][0]["channel"], "translate_x");
  EXPECT_EQ(r["channels"][0]["frame_step"], 4);
  EXPECT_EQ(r["channels"][0]["stored_values"], 2);
  EXPECT_EQ(r["channels"][0]["largest_error"], 0.0);
  EXPECT_EQ(r["channels"][1]["channel"], "translate_y");
  EXPECT_EQ(r["channels"][1]["frame_step"], 1);
  EXPECT_EQ(r["channels"][1]["stored_values"], 1);
  EXPECT_EQ(r["channels"][1]["largest_error"], 1.0);
}

// One textured triangle over frames 0 to 4 whose material animates. Every
// key is on a frame; colour values are (8k + 4.5) / 255, so that the 8-bit
// colour (truncated) is 8k + 4 and its five bits are k:
// - diffuse red: 5-bit 0, 5, 10, 15, 20 (a line);
// - opacity: 5-bit 31, 31, 20, 31, 31 (1 gives 255; 0.6451 gives 164);
// - u_offset: 0 to 1 in straight steps of 0.25;
// - w_angle: 0, 0, 90, 0, 0 degrees (the rotation channel is -90 at frame 2).
const char* const kAnimatedMaterialScene =
    R"({"format":"kavro-scene","version":1,"animation_range":[0,4],
  "materials":[{"name":"Glow","class":"kavro_standard",
    "diffuse":{"keys":[{"frame":0,"value":[0.017647,0,0]},{"frame":1,"value":[0.174510,0,0]},
                       {"frame":2,"value":[0.331373,0,0]},{"frame":3,"value":[0.488235,0,0]},
                       {"frame":4,"value":[0.645098,0,0]}]},
    "opacity":{"keys":[{"frame":0,"value":1},{"frame":1,"value":1},{"frame":2,"value":0.6451},
                       {"frame":3,"value":1},{"frame":4,"value":1}]},
    "diffuse_map":{"class":"bitmap","file":"skin.tga",
      "u_offset":{"keys":[{"frame":0,"value":0},{"frame":4,"value":1}]},
      "w_angle":{"keys":[{"frame":0,"value":0},{"frame":1,"value":0},{"frame":2,"value":90},
                         {"frame":3,"value":0},{"frame":4,"value":0}]}}}],
  "nodes":[{"id":1,"name":"A","material":0,"object":{"class":"mesh","mesh":{
    "vertices":[[0,0,0],[1,0,0],[0,1,0]],"texture_vertices":[[0,0],[1,0],[0,1]],
    "faces":[[0,1,2]]}}}]})";

TEST(Report, MaterialColourAndTextureChannels) {
  test::TempDir dir;
  test::write_file(dir.file("skin.tga"), test::indexed_tga(8, 8));
  test::write_file(dir.file("s.kscene"), kAnimatedMaterialScene);
  std::string err;
  const int status = kavro_run({"export", "-q", "--overwrite=yes", "--set", "output_ima=on",
                                "--set", "output_ita=on", "--set", "frame_step_mode=auto", "--set",
                                "tolerance_color=8", "--set", "tolerance_tex_rotate=50", "--report",
                                dir.file("r.json"), dir.file("s.kscene"), dir.file("m.imd")},
                               err);
  ASSERT_EQ(status, kExitOk) << err;
  const nlohmann::json r = nlohmann::json::parse(test::read_file(dir.file("r.json")));
  ASSERT_EQ(r["channels"].size(), 4u) << r["channels"].dump(1);
  for (const nlohmann::json& c : r["channels"]) {
    EXPECT_EQ(c["material"], "Glow");
    EXPECT_FALSE(c.contains("node"));
  }
  // Diffuse red 0, 5, ..., 20: every fourth frame rebuilds it,
  // (0 * (4 - r)) / 4 + (r * 20) / 4 = 5r; frames 0 and 4 stored (20 is
  // more than 8 from 0: not one value).
  const nlohmann::json& red = r["channels"][0];
  EXPECT_EQ(red["file"], "ima");
  EXPECT_EQ(red["channel"], "diffuse_r");
  EXPECT_EQ(red["frame_step"], 4);
  EXPECT_EQ(red["stored_values"], 2);
  EXPECT_EQ(red["largest_error"], 0.0);
  // Alpha 31, 31, 20, 31, 31. Every fourth frame rebuilds frame 2 as
  // 62 / 4 + 62 / 4 = 15 + 15 = 30, off by 10 (not below 8). Every second
  // frame: frame 1 is 31 / 2 + 20 / 2 = 15 + 10 = 25, off by 6 (below 8);
  // frames 0, 2, 4 stored (20 is 11 from 31: not one value).
  const nlohmann::json& alpha = r["channels"][1];
  EXPECT_EQ(alpha["file"], "ima");
  EXPECT_EQ(alpha["channel"], "polygon_alpha");
  EXPECT_EQ(alpha["frame_step"], 2);
  EXPECT_EQ(alpha["stored_values"], 3);
  EXPECT_EQ(alpha["largest_error"], 6.0);
  // Rotation 0, 0, -90, 0, 0 (written order: scale, rotate, translate):
  // every fourth frame misses by 90, every second frame by 45 (below 50).
  const nlohmann::json& rotate = r["channels"][2];
  EXPECT_EQ(rotate["file"], "ita");
  EXPECT_EQ(rotate["channel"], "tex_rotate");
  EXPECT_EQ(rotate["frame_step"], 2);
  EXPECT_EQ(rotate["stored_values"], 3);
  EXPECT_EQ(rotate["largest_error"], 45.0);
  // Translation 0, 0.25, 0.5, 0.75, 1 (its sign aside): a straight line.
  const nlohmann::json& scroll = r["channels"][3];
  EXPECT_EQ(scroll["file"], "ita");
  EXPECT_EQ(scroll["channel"], "tex_translate_s");
  EXPECT_EQ(scroll["frame_step"], 4);
  EXPECT_EQ(scroll["stored_values"], 2);
  EXPECT_EQ(scroll["largest_error"], 0.0);
}

TEST(Report, AReportThatCannotBeWrittenFailsTheCommand) {
  test::TempDir dir;
  test::write_file(dir.file("s.kscene"), kScene);
  std::string err;
  const int status =
      kavro_run({"export", "-q", "--overwrite=yes", "--report", dir.file("no/such/folder/r.json"),
                 dir.file("s.kscene"), dir.file("m.imd")},
                err);
  EXPECT_EQ(status, kExitFailed);
  EXPECT_NE(err.find("Can't write file " + dir.file("no/such/folder/r.json") +
                     ": No such file or directory"),
            std::string::npos)
      << err;
  EXPECT_TRUE(test::file_exists(dir.file("m.imd")));  // the export itself went through
}

}  // namespace
}  // namespace kavro::cli
