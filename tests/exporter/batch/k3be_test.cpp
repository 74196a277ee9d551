// The description file's syntax: header, words and quoted values, path
// forms, lists, and every scene option with its checks and messages.
#include "exporter/batch/k3be.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace kavro {
namespace {

TEST(K3beSyntax, HeaderMustOpenTheFirstLine) {
  const std::pair<const char*, bool> cases[] = {
      {"# KVS_Batch_Export", true},   {"# KVS_Batch_Export made by the build", true},
      {"# KVS_Batch_Export\r", true}, {"", false},
      {" # KVS_Batch_Export", false}, {"# KVS_Batch_Expor", false},
      {"# kvs_batch_export", false},
  };
  for (const auto& [line, ok] : cases) EXPECT_EQ(k3be_header_ok(line), ok) << line;
}

TEST(K3beSyntax, ValuesAreQuotedAfterBlanksOnly) {
  struct Case {
    const char* line;
    const char* value;
    const char* rest;  // what follows the value
    bool unterminated;
  } cases[] = {
      {" \t\"C:\\data\" more", "C:\\data", " more", false},
      {"\"a b, c\"", "a b, c", "", false},
      {" = \"x\"", "", "= \"x\"", false},
      {" x\"y\"", "", "x\"y\"", false},
      {"", "", "", false},
      {"  \"\" -name", "", " -name", false},
      {" \"open to the end", "open to the end", "", true},
  };
  for (const Case& c : cases) {
    std::string line = c.line;
    std::size_t pos = 0;
    bool unterminated = false;
    EXPECT_EQ(read_value(line, pos, &unterminated), c.value) << c.line;
    EXPECT_EQ(line.substr(pos), c.rest) << c.line;
    EXPECT_EQ(unterminated, c.unterminated) << c.line;
  }
  std::string line = "  scene\t\"a.kscene\"";
  std::size_t pos = 0;
  EXPECT_EQ(next_word(line, pos), "scene");
  EXPECT_EQ(next_word(line, pos), "\"a.kscene\"");
  EXPECT_EQ(next_word(line, pos), "");
}

TEST(K3beSyntax, SlashAndFolderFormsKeepTwoByteCharacters) {
  // 0x95 0x5C is one two-byte character whose second byte is a backslash.
  const std::pair<std::string, std::string> folders[] = {
      {"C:\\data\\scenes\\", "C:/data/scenes"}, {"out//", "out"},         {"/", ""},
      {"a\\\x95\x5C\\", "a/\x95\x5C"},          {"\x95\x5C", "\x95\x5C"},
  };
  for (const auto& [value, form] : folders) EXPECT_EQ(k3be_folder_form(value), form) << value;
  EXPECT_EQ(k3be_slash_form("C:\\logs\\\x95\x5C.log"), "C:/logs/\x95\x5C.log");
  EXPECT_EQ(k3be_slash_form("logs/"), "logs/");
}

TEST(K3beSyntax, DefaultOutputNameDropsTheExtensionOfTheFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"robot.kscene", "robot"},
      {"robot.v2.kscene", "robot.v2"},
      {"noext", "noext"},
      {"dir.d/robot", "dir.d/robot"},
      {"dir.d\\robot", "dir.d\\robot"},
      {"sub/robot.max", "sub/robot"},
  };
  for (const auto& [name, out] : cases) EXPECT_EQ(default_output_name(name), out) << name;
}

TEST(K3beSyntax, ListsAreTrimmedAndEmptyPiecesSkipped) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split_list(" a.lua , ,b.lua,, \t c d.lua\t"), (V{"a.lua", "b.lua", "c d.lua"}));
  EXPECT_EQ(split_list("one"), V{"one"});
  EXPECT_EQ(split_list(" \t "), V{});
  EXPECT_EQ(split_list(",,"), V{});
}

ExportOptions defaults() {
  ExportOptions o{};
  reset_options(o, true);
  return o;
}

TEST(K3beSceneOptions, EveryOptionAndItsCheck) {
  using Check = std::function<void(const ExportOptions&, const SceneOptions&)>;
  struct Case {
    const char* rest;
    const char* message;  // "" when the options are accepted
    Check check;
  } cases[] = {
      {"", "",
       [](auto& o, auto& s) {
         EXPECT_EQ(s.output_name, "robot");
         ExportOptions untouched = defaults();
         EXPECT_EQ(std::memcmp(&o, &untouched, sizeof o), 0);
       }},
      {" -name \"hero\" -name \"hero2\"", "",
       [](auto&, auto& s) { EXPECT_EQ(s.output_name, "hero2"); }},
      {" -name \"a/b\"",
       "\"-name\" is wrong (please don't use [=] [;] [:] [/] [\\] [*] [?] [<] [>] [|]): a/b",
       nullptr},
      {" -name \"a\\b\"",
       "\"-name\" is wrong (please don't use [=] [;] [:] [/] [\\] [*] [?] [<] [>] [|]): a\\b",
       nullptr},
      {" -name \"x=y\"",
       "\"-name\" is wrong (please don't use [=] [;] [:] [/] [\\] [*] [?] [<] [>] [|]): x=y",
       nullptr},
      // Two-byte characters whose second bytes are "\" and "|".
      {" -name \"\x95\x5C\x83\x7C\"", "",
       [](auto&, auto& s) { EXPECT_EQ(s.output_name, "\x95\x5C\x83\x7C"); }},
      {" -root \"Arm, Leg\" -script \"a.lua,b.lua\"", "",
       [](auto&, auto& s) {
         EXPECT_EQ(s.root, "Arm, Leg");
         EXPECT_EQ(s.script, "a.lua,b.lua");
       }},
      {" -start \"3\" -end \"9\"", "",
       [](auto& o, auto&) {
         EXPECT_EQ(o.start_frame, 3);
         EXPECT_EQ(o.end_frame, 9);
         EXPECT_EQ(o.frame_range, FrameRange::kRange);
       }},
      {" -end \"9\" -start \"12abc\"", "", [](auto& o, auto&) { EXPECT_EQ(o.start_frame, 12); }},
      // -start alone fails only at the end of the line, after the rest applied.
      {" -start \"10\" -ica \"on\"", "\"-end\" is not specified",
       [](auto& o, auto&) {
         EXPECT_EQ(o.start_frame, 10);
         EXPECT_EQ(o.output_ica, 1);
         EXPECT_EQ(o.frame_range, FrameRange::kAll);
       }},
      {" -end \"5\"", "\"-start\" is not specified", nullptr},
      {" -imd \"off\" -ica \"on\" -iva \"ON\" -ima \"on\" -itp \"yes\" -ita \"on\"", "",
       [](auto& o, auto&) {
         EXPECT_EQ(o.output_imd, 0);
         EXPECT_EQ(o.output_ica, 1);
         EXPECT_EQ(o.output_iva, 0);
         EXPECT_EQ(o.output_ima, 1);
         EXPECT_EQ(o.output_itp, 0);
         EXPECT_EQ(o.output_ita, 1);
       }},
      {" -interp \"linear\" -end_to_start \"on\" -frame_step \"4\"", "",
       [](auto& o, auto&) {
         EXPECT_EQ(o.interpolation, Interpolation::kLinear);
         EXPECT_EQ(o.interp_end_to_start, 1);
         EXPECT_EQ(o.frame_step_mode, FrameStepMode::kFour);
       }},
      {" -frame_step \"auto\" -interp \"frame\"", "",
       [](auto& o, auto&) {
         EXPECT_EQ(o.frame_step_mode, FrameStepMode::kAuto);
         EXPECT_EQ(o.interpolation, Interpolation::kFrame);
       }},
      {" -interp \"cubic\"", "\"-interp\" is wrong: cubic", nullptr},
      {" -frame_step \"3\"", "\"-frame_step\" is wrong: 3", nullptr},
      {" -tolerance_t \"1e-3\" -tolerance_r \"+.5\" -tolerance_s \"2\"", "",
       [](auto& o, auto&) {
         EXPECT_FLOAT_EQ(o.tolerance_translate, 0.001f);
         EXPECT_FLOAT_EQ(o.tolerance_rotate, 0.5f);
         EXPECT_FLOAT_EQ(o.tolerance_scale, 2.0f);
       }},
      {" -tolerance_tex_t \"0.25\" -tolerance_tex_r \"1E1\" -tolerance_tex_s \"3.\"", "",
       [](auto& o, auto&) {
         EXPECT_FLOAT_EQ(o.tolerance_tex_translate, 0.25f);
         EXPECT_FLOAT_EQ(o.tolerance_tex_rotate, 10.0f);
         EXPECT_FLOAT_EQ(o.tolerance_tex_scale, 3.0f);
       }},
      {" -tolerance_s \"0,1\"", "\"-tolerance_s\" is wrong: 0,1", nullptr},
      {" -tolerance_color \"+7\"", "", [](auto& o, auto&) { EXPECT_EQ(o.tolerance_color, 7); }},
      {" -tolerance_color \"2.5\"", "\"-tolerance_color\" is wrong: 2.5", nullptr},
      {" -name \"\"", "\"-name\" is wrong (value is not specified)", nullptr},
      {" -bogus \"x\"", "scene option is wrong: -bogus", nullptr},
      {" -bogus", "\"-bogus\" is wrong (value is not specified)", nullptr},
      {" -Name \"x\"", "scene option is wrong: -Name", nullptr},
      {" -imd\"on\"", "\"-imd\"on\"\" is wrong (value is not specified)", nullptr},
      {" -name \"open", "\"-name\" is wrong (value has no closing quote): open", nullptr},
  };
  for (const Case& c : cases) {
    ExportOptions o = defaults();
    SceneOptions s = parse_scene_options(c.rest, 0, "robot", o);
    EXPECT_EQ(s.ok, c.message[0] == '\0') << c.rest;
    EXPECT_EQ(s.message, c.message) << c.rest;
    if (c.check) {
      SCOPED_TRACE(c.rest);
      c.check(o, s);
    }
  }
}

}  // namespace
}  // namespace kavro
