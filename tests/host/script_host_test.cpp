// The script host: running texts and files, the listener, errors with their
// file and line, the limits that keep a script from taking the process down,
// and the scene API over an open scene.
#include "host/script_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "host/recording_host.h"
#include "host/scene_session.h"
#include "tests/support/support.h"

namespace kavro::host {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l;
  return out;
}

TEST(ScriptHost, PrintsToTheListenerAndKeepsGlobalsBetweenRuns) {
  RecordingHost host;
  ScriptHost script(host, nullptr);
  EXPECT_TRUE(script.execute("x = 41 print('a', 1, true, nil)"));
  EXPECT_TRUE(script.execute("print(x + 1)"));
  EXPECT_EQ(joined(host.listener), "a\t1\ttrue\tnil\n42\n");
}

TEST(ScriptHost, ErrorsNameFileAndLineAndTheHostCarriesOn) {
  test::TempDir dir;
  test::write_file(dir.file("bad.lua"), "local a = 1\nerror('boom')\n");
  test::write_file(dir.file("syntax.lua"), "x = 1\ny = = 2\n");
  test::write_file(dir.file("calls.lua"),
                   "print('before')\nfileIn('" + dir.file("bad.lua") + "')\nprint('never')\n");
  struct Case {
    const char* name;
    std::string text;
    std::string expected;  // the listener's error line
  } cases[] = {
      {"runtime error in a file", "fileIn \"" + dir.file("bad.lua") + "\"",
       "-- Error: " + dir.file("bad.lua") + ":2: boom\n"},
      {"syntax error in a file", "fileIn('" + dir.file("syntax.lua") + "')",
       "-- Error: t:1: " + dir.file("syntax.lua") + ":2: unexpected symbol near '='\n"},
      {"error in a file another file runs", "fileIn('" + dir.file("calls.lua") + "')",
       "before\n-- Error: " + dir.file("bad.lua") + ":2: boom\n"},
      {"syntax error in a text", "print(", "-- Error: t:1: unexpected symbol near <eof>\n"},
      {"error object that is no string", "error({})",
       "-- Error: (error object is a table value)\n"},
      {"missing file", "fileIn('/nonexistent/x.lua')",
       "-- Error: t:1: fileIn: can't open file: /nonexistent/x.lua\n"},
      {"fileIn with two arguments", "fileIn('a', 'b')",
       "-- Error: t:1: wrong number of arguments to 'fileIn' (1 expected, got 2)\n"},
      {"fileIn with a number", "fileIn(3)",
       "-- Error: t:1: type error: fileIn <script_file> expected, got number\n"},
      {"os.exit", "os.exit(3)", "-- Error: t:1: os.exit is not available to scripts\n"},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    ScriptHost script(host, nullptr);
    EXPECT_FALSE(script.execute(c.text, "t")) << c.name;
    EXPECT_EQ(joined(host.listener), c.expected) << c.name;
    EXPECT_TRUE(script.execute("print('still here')", "t")) << c.name;
  }
}

TEST(ScriptHost, FileInRunsTheFileInTheSameInterpreter) {
  test::TempDir dir;
  test::write_file(dir.file("lib.lua"), "function twice(v) return 2 * v end\n");
  RecordingHost host;
  ScriptHost script(host, nullptr);
  EXPECT_TRUE(script.file_in(dir.file("lib.lua")));
  EXPECT_TRUE(script.execute("print(twice(21))"));
  EXPECT_EQ(joined(host.listener), "42\n");
}

TEST(ScriptHost, StopsRunawayScriptsNamingThem) {
  RecordingHost host;
  ScriptHost script(host, nullptr);
  script.set_timeout(0.2);
  for (const char* text :
       {"while true do end", "while true do pcall(function() while true do end end) end"}) {
    host.listener.clear();
    EXPECT_FALSE(script.execute(text, "spin.lua")) << text;
    EXPECT_EQ(joined(host.listener),
              "-- Error: spin.lua was stopped: it ran longer than the limit of 0.2 seconds\n")
        << text;
  }
  EXPECT_TRUE(script.execute("print('ok')"));
}

// A command that works for a while outside the script's own time.
int slow_command(lua_State* L) {
  ScriptHost::PauseLimit pause(ScriptHost::from(L));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  return 0;
}

TEST(ScriptHost, TimeInLongCommandsDoesNotCountAgainstTheScript) {
  RecordingHost host;
  ScriptHost script(host, nullptr);
  script.set_timeout(0.4);
  script.register_command("slow", slow_command, nullptr);
  EXPECT_TRUE(script.execute("slow() local n = 0 for i = 1, 1000 do n = n + i end print(n)"));
  EXPECT_EQ(joined(host.listener), "500500\n");
}

TEST(ScriptHost, RefusesMemoryBeyondItsLimit) {
  RecordingHost host;
  ScriptHost script(host, nullptr);
  EXPECT_FALSE(script.execute("local s = string.rep('x', 1 << 30)", "big"));
  EXPECT_EQ(joined(host.listener), "-- Error: big: the script ran out of memory\n");
}

// A small scene: Body > (Arm > Hand, Leg), Lamp; materials Skin and a
// multi material with two subs.
doc::SceneDocument small_scene() {
  doc::SceneDocument d;
  auto add = [&](int id, const char* name, int parent, int material = doc::kNone) {
    doc::Node n;
    n.id = id;
    n.name = name;
    n.parent = parent;
    n.material = material;
    d.nodes.push_back(n);
  };
  add(1, "Body", doc::kNone, 0);
  add(2, "Arm", 1, 1);
  add(5, "Lamp", doc::kNone);
  add(3, "Hand", 2);
  add(4, "Leg", 1);
  doc::UserProperty p;
  p.key = "Kvs_no_cut";
  p.kind = doc::UserProperty::kBool;
  p.flag = true;
  d.nodes[0].user_properties.push_back(p);
  doc::Material skin;
  skin.name = "Skin";
  skin.cls = doc::MaterialClass::kKavroStandard;
  skin.params = {{"polyMode", 1}, {"light_0", 1}};
  doc::Material multi;
  multi.name = "Parts";
  multi.cls = doc::MaterialClass::kMulti;
  multi.sub_materials.resize(2);
  multi.sub_materials[0].name = "Red";
  multi.sub_materials[1].name = "Blue";
  d.materials = {skin, multi};
  return d;
}

TEST(ScriptSceneApi, ReadsAndWritesTheOpenScene) {
  struct Case {
    const char* script;
    const char* expected;
  } cases[] = {
      {"for _, n in ipairs(scene.nodes()) do print(n.name) end", "Body\nArm\nHand\nLeg\nLamp\n"},
      {"for _, n in ipairs(scene.roots()) do print(n.name) end", "Body\nLamp\n"},
      {"local h = scene.node('Hand') print(h.parent.name, h.parent.parent.name, "
       "scene.node('Body').parent)",
       "Arm\tBody\tnil\n"},
      {"for _, c in ipairs(scene.node('Body').children) do print(c.name) end", "Arm\nLeg\n"},
      {"print(scene.node('Nobody'), scene.node('Arm') == scene.nodes()[2], "
       "scene.node('Arm') == scene.node('Leg'))",
       "nil\ttrue\tfalse\n"},
      {"local b = scene.node('Body') print(b:prop('Kvs_no_cut'), b:prop('none')) "
       "b:set_prop('Kvs_billboard', 'Billboard') b:set_prop('Kvs_no_cut', nil) "
       "print(b:prop('Kvs_billboard'), table.concat(b:prop_names(), ','))",
       "true\tnil\nBillboard\tKvs_billboard\n"},
      {"local m = scene.node('Body').material print(m.name, m.class, m:param('polyMode'), "
       "m:param('nope')) m:set_param('polyMode', 2) m:set_param('alpha', 31) "
       "print(m:param('polyMode'), table.concat(m:param_names(), ','))",
       "Skin\tkavro_standard\t1.0\tnil\n2.0\tpolyMode,light_0,alpha\n"},
      {"local m = scene.node('Arm').material print(m.class, #m.sub_materials, "
       "m.sub_materials[2].name, scene.node('Hand').material)",
       "multi\t2\tBlue\tnil\n"},
      {"scene.node('Leg').name = 'LegL' scene.node('Lamp').hidden = true "
       "scene.materials()[2].sub_materials[1].name = 'Crimson' "
       "print(scene.nodes()[4].name, scene.node('Lamp').hidden, "
       "scene.materials()[2].sub_materials[1].name)",
       "LegL\ttrue\tCrimson\n"},
      {"scene.select(scene.node('Leg')) scene.select(scene.node('Body'), true) "
       "for _, n in ipairs(scene.selection()) do print(n.name) end "
       "scene.select(scene.node('Hand')) print(#scene.selection(), scene.selection()[1].name) "
       "scene.clear_selection() print(#scene.selection())",
       "Leg\nBody\n1\tHand\n0\n"},
      {"print(tostring(scene.node('Arm')), tostring(scene.materials()[1]))",
       "node: Arm\tmaterial: Skin\n"},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    SceneSession session(host);
    session.set_scene(small_scene(), "small.kscene");
    ScriptHost script(host, &session);
    EXPECT_TRUE(script.execute(c.script, "t")) << c.script << "\n" << joined(host.listener);
    EXPECT_EQ(joined(host.listener), c.expected) << c.script;
  }
}

TEST(ScriptSceneApi, WritesReachTheDocument) {
  RecordingHost host;
  SceneSession session(host);
  session.set_scene(small_scene(), "small.kscene");
  ScriptHost script(host, &session);
  ASSERT_TRUE(
      script.execute("scene.node('Arm').name = 'ArmL' "
                     "scene.node('Hand'):set_prop('Kvs_billboard', 'Y-Billboard') "
                     "scene.select(scene.node('Lamp'))"));
  const doc::SceneDocument& d = session.scene();
  EXPECT_EQ(d.nodes[1].name, "ArmL");
  ASSERT_EQ(d.nodes[3].user_properties.size(), 1u);
  EXPECT_EQ(d.nodes[3].user_properties[0].key, "Kvs_billboard");
  EXPECT_EQ(d.nodes[3].user_properties[0].text, "Y-Billboard");
  EXPECT_EQ(d.selection, std::vector<int>{5});
}

TEST(ScriptSceneApi, MisuseIsAScriptErrorWithItsLine) {
  test::TempDir dir;
  test::write_file(dir.file("other.kscene"),
                   R"({"format":"kavro-scene","version":1,"nodes":[{"id":1,"name":"Only"}]})");
  struct Case {
    std::string script;
    std::string expected;
  } cases[] = {
      {"\nlocal x = scene.node('Arm').colour", "-- Error: t:2: a node has no field 'colour'\n"},
      {"scene.node('Arm').parent = nil", "-- Error: t:1: a node's field 'parent' cannot be set\n"},
      {"scene.node('Arm').name = 5", "-- Error: t:1: a node's name must be a string\n"},
      {"scene.node('Arm').hidden = 1",
       "-- Error: t:1: a node's hidden flag must be true or false\n"},
      {"scene.node(5)", "-- Error: t:1: type error: scene.node <name> expected, got number\n"},
      {"scene.select('Arm')", "-- Error: t:1: node expected, got string\n"},
      {"scene.node('Arm'):set_prop('k', {})",
       "-- Error: t:1: type error: node:set_prop <key> <string|boolean|number|nil> expected, got "
       "table\n"},
      {"local n = scene.node('Arm') scene.load('" + dir.file("other.kscene") +
           "') print(scene.nodes()[1].name) print(n.name)",
       "Only\n-- Error: t:1: the node belongs to a scene that is no longer open\n"},
      {"scene.load('/nonexistent/a.kscene')",
       "-- Error: t:1: can't load the scene /nonexistent/a.kscene: "},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    SceneSession session(host);
    session.set_scene(small_scene(), "small.kscene");
    ScriptHost script(host, &session);
    EXPECT_FALSE(script.execute(c.script, "t")) << c.script;
    std::string got = joined(host.listener);
    EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << c.script;
  }
}

TEST(ScriptSceneApi, SavesTheChangedSceneAndLoadsItBack) {
  test::TempDir dir;
  RecordingHost host;
  SceneSession session(host);
  session.set_scene(small_scene(), dir.file("small.kscene"));
  ScriptHost script(host, &session);
  std::string saved = dir.file("renamed.kscene");
  ASSERT_TRUE(script.execute("scene.node('Lamp').name = 'Sun' scene.save('" + saved +
                             "') scene.load('" + saved +
                             "') print(scene.path(), #scene.nodes(), "
                             "scene.nodes()[5].name)"))
      << joined(host.listener);
  EXPECT_EQ(joined(host.listener), saved + "\t5\tSun\n");
}

TEST(ScriptSceneApi, WithoutAnOpenSceneSaysSo) {
  RecordingHost host;
  SceneSession session(host);
  ScriptHost script(host, &session);
  EXPECT_FALSE(script.execute("scene.nodes()", "t"));
  EXPECT_EQ(joined(host.listener), "-- Error: t:1: no scene is open\n");
}

}  // namespace
}  // namespace kavro::host
