// `kavro tool ...`: the scene-preparation tools of the menu plug-in from
// the command line. Each subcommand loads a scene, sets the selection, drives
// one tool window model with the given choices as a user would, prints what
// changed (or what the tool lists) and saves the scene when it changed: in
// place for a ".kscene", to -o OUT.kscene otherwise.
#include <cstdio>
#include <map>
#include <memory>

#include "cli/command.h"
#include "host/plugin_host.h"
#include "host/scene_edit.h"
#include "host/scene_session.h"
#include "menu/global_menu.h"
#include "menu/script_commands.h"

namespace kavro::cli {
namespace {

struct ToolArgs {
  std::string scene;
  std::string output;
  std::vector<std::string> select;
  ConsoleFlags console;
  // material-attributes
  std::vector<std::string> sets;
  // billboard, no-cut
  std::string value;
  // show
  std::string lighting, display_face, billboard, render_priority;
  bool no_cut = false;
  // replace
  std::string search, replace, mode = "sequence";
  bool objects = false, materials = false, match_case = false, apply = false;
  // rename-over-16
  bool selection = false;
  std::string list;
  std::vector<std::string> renames;
  // kavro-material
  std::vector<std::string> material_names;
};

// One run of a tool: the console host, the open scene and the plug-in.
struct ToolRun {
  std::unique_ptr<host::ConsoleHost> console;
  std::unique_ptr<host::SceneSession> session;
  std::unique_ptr<host::PluginHost> plugin;
  std::unique_ptr<menu::GlobalMenu> menu;
  doc::SceneDocument before;
};

bool is_kscene(const std::string& path) {
  return host::is_scene_document(path);
}

// Loads the scene and sets the selection. -1: go on; else the exit status.
int open_tool(const ToolArgs& a, const CommandContext& context, const std::string& name, bool saves,
              ToolRun& run) {
  if (saves && a.output.empty() && !is_kscene(a.scene)) {
    return usage_error(context, "tool " + name,
                       "SCENE is not a .kscene: give -o OUT.kscene to save the result");
  }
  if (!a.output.empty() && !is_kscene(a.output)) {
    return usage_error(context, "tool " + name,
                       "-o must name a .kscene file, got '" + a.output + "'");
  }
  run.console = open_console(context, a.console);
  host::SceneLoadResult loaded = host::load_scene_file(a.scene);
  if (!loaded.ok) {
    run.console->message_box("Can't read the scene " + loaded.error, "Scene Error",
                             host::MessageIcon::kError);
    return kExitFailed;
  }
  for (const std::string& w : loaded.warnings) run.console->listener_print(w + "\n");
  run.session = std::make_unique<host::SceneSession>(*run.console);
  run.session->set_scene(std::move(loaded.document), a.scene);
  run.plugin = std::make_unique<host::PluginHost>(*run.console, *run.session, false);
  run.menu = std::make_unique<menu::GlobalMenu>(*run.plugin);
  if (!a.select.empty()) {
    doc::SceneDocument& scene = run.session->scene();
    std::vector<int> chosen;
    std::string unknown;
    for (const std::string& wanted : split_names(a.select)) {
      int found = -1;
      for (std::size_t i = 0; i < scene.nodes.size() && found < 0; ++i) {
        if (scene.nodes[i].name == wanted) found = static_cast<int>(i);
      }
      if (found < 0) {
        unknown += (unknown.empty() ? "'" : ", '") + wanted + "'";
      } else {
        chosen.push_back(found);
      }
    }
    if (!unknown.empty()) {
      return usage_error(context, "tool " + name,
                         "--select names no node of the scene: " + unknown);
    }
    run.session->ClearSelection();
    for (int n : chosen) run.session->SelectNode(n, false);
  }
  run.before = run.session->scene();
  return -1;
}

std::string number_text(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

void print_material_changes(std::FILE* out, const doc::Material& was, const doc::Material& now) {
  if (was.name != now.name) std::fprintf(out, "%s >> %s\n", was.name.c_str(), now.name.c_str());
  if (was.cls != now.cls && host::is_platform_material(now)) {
    std::fprintf(out, "%s: KAVRO Standard\n", now.name.c_str());
  }
  for (const auto& [key, value] : now.params) {
    double old = 0;
    bool had = host::GetMaterialParam(was, key, old);
    if (!had || old != value) {
      std::fprintf(out, "%s: %s %s -> %s\n", now.name.c_str(), key.c_str(),
                   had ? number_text(old).c_str() : "(none)", number_text(value).c_str());
    }
  }
  for (std::size_t i = 0; i < now.sub_materials.size() && i < was.sub_materials.size(); ++i) {
    print_material_changes(out, was.sub_materials[i], now.sub_materials[i]);
  }
}

// Prints the differences between the scene before and after the tool: node
// renames and user properties, material renames and parameters.
void print_changes(std::FILE* out, const doc::SceneDocument& was, const doc::SceneDocument& now) {
  for (std::size_t i = 0; i < now.nodes.size() && i < was.nodes.size(); ++i) {
    const doc::Node& a = was.nodes[i];
    const doc::Node& b = now.nodes[i];
    if (a.name != b.name) std::fprintf(out, "%s >> %s\n", a.name.c_str(), b.name.c_str());
    for (const doc::UserProperty& p : b.user_properties) {
      std::string old, value;
      bool had = host::GetUserPropString(a, p.key, old);
      host::GetUserPropString(b, p.key, value);
      if (!had || old != value) {
        std::fprintf(out, "%s: %s = %s\n", b.name.c_str(), p.key.c_str(), value.c_str());
      }
    }
  }
  for (std::size_t i = 0; i < now.materials.size() && i < was.materials.size(); ++i) {
    print_material_changes(out, was.materials[i], now.materials[i]);
  }
}

int save_tool(const ToolArgs& a, ToolRun& run) {
  const std::string& path = a.output.empty() ? a.scene : a.output;
  std::string error;
  if (!host::save_scene_file(run.session->scene(), path, {}, error)) {
    run.console->message_box("Can't save the scene " + error, "Scene Error",
                             host::MessageIcon::kError);
    return kExitFailed;
  }
  return kExitOk;
}

// Finishes a tool that changes the scene: prints and saves.
int finish(const ToolArgs& a, const CommandContext& context, ToolRun& run) {
  print_changes(context.out, run.before, run.session->scene());
  return save_tool(a, run);
}

// ---------------------------------------------------------------------------

// Values of the material attribute fields: numbers as stored, or words.
bool attribute_value(const std::string& key, const std::string& text, int& value) {
  static const std::map<std::string, std::vector<std::string>> words = {
      {"light", {"off", "on"}},
      {"wireFrame", {"off", "on"}},
      {"iflLoop", {"off", "on"}},
      {"displayFace", {"", "front", "back", "both"}},
      {"polyMode", {"", "modulate", "decal", "toon_highlight", "shadow"}},
      {"texGen", {"", "none", "tex", "nrm", "pos"}},
      {"texGenST", {"", "polygon", "material"}},
      {"comPress", {"", "compress", "no_compress"}},
  };
  if (key == "polyID") {
    bool valid = false;
    value = host::read_dialog_int(text, &valid);
    return valid && value >= 0 && value <= 63;
  }
  auto w = words.find(key);
  if (w == words.end()) return false;
  for (std::size_t i = 0; i < w->second.size(); ++i) {
    if (!w->second[i].empty() && w->second[i] == text) {
      value = static_cast<int>(i);
      return true;
    }
  }
  bool valid = false;
  value = host::read_dialog_int(text, &valid);
  int lowest = w->second[0].empty() ? 1 : 0;
  int highest = static_cast<int>(w->second.size()) - 1;
  return valid && value >= lowest && value <= highest;
}

int run_material_attributes(const ToolArgs& a, const CommandContext& context) {
  const std::string name = "material-attributes";
  std::vector<std::pair<std::string, int>> sets;
  for (const std::string& s : a.sets) {
    std::size_t eq = s.find('=');
    std::string key = s.substr(0, eq);
    int value = 0;
    if (eq == std::string::npos || !attribute_value(key, s.substr(eq + 1), value)) {
      return usage_error(context, "tool " + name,
                         "--set needs FIELD=VALUE with a field and value of the "
                         "material attribute tool, got '" +
                             s + "'");
    }
    sets.emplace_back(key, value);
  }
  ToolRun run;
  if (int status = open_tool(a, context, name, true, run); status >= 0) return status;
  run.menu->ExecuteAction(menu::kActionMaterialAttribute);
  menu::MaterialAttributeTool& tool = *run.menu->material_tool();
  if (!tool.loaded()) {
    run.console->message_box("(No KAVRO material selected)", "Material Error",
                             host::MessageIcon::kError);
    return kExitFailed;
  }
  for (const auto& [key, value] : sets) {
    if (key == "light" || key == "wireFrame" || key == "iflLoop") {
      int id = key == "light"       ? menu::kMatLighting
               : key == "wireFrame" ? menu::kMatWireFrame
                                    : menu::kMatIflLoop;
      if (tool.control(id).checked != (value != 0)) tool.click(id);
    } else if (key == "polyID") {
      tool.edit(menu::kMatPolygonId, std::to_string(value));
    } else {
      int id = key == "displayFace" ? menu::kMatDisplayFace
               : key == "polyMode"  ? menu::kMatPolygonMode
               : key == "texGen"    ? menu::kMatTexGenMode
               : key == "texGenST"  ? menu::kMatTexGenSt
                                    : menu::kMatCompress;
      // The source list takes a choice only while texture generation uses it,
      // as in the window; other fields are taken in the order given.
      if (id == menu::kMatTexGenSt && !tool.control(id).enabled) {
        run.console->message_box("texGenST is used only with texGen nrm or pos (set texGen first)",
                                 "Material Error", host::MessageIcon::kError);
        return kExitFailed;
      }
      tool.choose(id, value - 1);
    }
  }
  // Every event wrote the whole state; once more for the fields the first
  // material already had.
  tool.apply();
  return finish(a, context, run);
}

int run_marking(const ToolArgs& a, const CommandContext& context, bool billboard) {
  const std::string name = billboard ? "billboard" : "no-cut";
  int index = -1;
  const std::vector<std::string> values =
      billboard ? std::vector<std::string>{"No_Billboard", "Billboard", "Y-Billboard"}
                : std::vector<std::string>{"off", "on"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i] == a.value) index = static_cast<int>(i);
  }
  if (index < 0)
    return usage_error(context, "tool " + name, "--value '" + a.value + "' is not known");
  ToolRun run;
  if (int status = open_tool(a, context, name, true, run); status >= 0) return status;
  if (run.session->selection().empty()) {
    return usage_error(context, "tool " + name, "no node is selected (give --select)");
  }
  run.menu->ExecuteAction(billboard ? menu::kActionSetBillboard : menu::kActionSetNoCut);
  menu::SetPropertyTool& tool = billboard ? *run.menu->set_billboard() : *run.menu->set_no_cut();
  // The window writes only a change of the shown entry: when the first node
  // shows the value already, choosing another entry first makes it write.
  if (tool.control(tool.combo_id()).selection == index)
    tool.choose(tool.combo_id(), index == 0 ? 1 : 0);
  tool.choose(tool.combo_id(), index);
  return finish(a, context, run);
}

int run_show(const ToolArgs& a, const CommandContext& context) {
  const std::string name = "show";
  int given = !a.lighting.empty() + !a.display_face.empty() + !a.billboard.empty() +
              !a.render_priority.empty() + a.no_cut;
  if (given != 1) {
    return usage_error(
        context, "tool show",
        "give one of --lighting, --display-face, --billboard, --no-cut, --render-priority");
  }
  // The control to click, found before the scene is read.
  int action = 0, radio = 0, compare = -1;
  std::string value;
  if (!a.lighting.empty()) {
    const std::map<std::string, int> radios = {
        {"off", menu::kLightOffRadio}, {"0", menu::kLight0Radio}, {"1", menu::kLight1Radio},
        {"2", menu::kLight2Radio},     {"3", menu::kLight3Radio}, {"any", menu::kAnyLightRadio}};
    auto r = radios.find(a.lighting);
    if (r == radios.end())
      return usage_error(context, "tool show", "--lighting '" + a.lighting + "' is not known");
    action = menu::kActionShowLighting;
    radio = r->second;
  } else if (!a.display_face.empty()) {
    const std::map<std::string, int> radios = {{"front", menu::kFrontFaceRadio},
                                               {"back", menu::kBackFaceRadio},
                                               {"both", menu::kBothFaceRadio}};
    auto r = radios.find(a.display_face);
    if (r == radios.end()) {
      return usage_error(context, "tool show",
                         "--display-face '" + a.display_face + "' is not known");
    }
    action = menu::kActionShowDisplayFace;
    radio = r->second;
  } else if (!a.billboard.empty()) {
    if (a.billboard != "Billboard" && a.billboard != "Y-Billboard") {
      return usage_error(context, "tool show", "--billboard '" + a.billboard + "' is not known");
    }
    action = menu::kActionShowBillboard;
    radio = a.billboard == "Billboard" ? menu::kBillboardRadio : menu::kYBillboardRadio;
  } else if (a.no_cut) {
    action = menu::kActionShowNoCut;
  } else {
    const std::string& rule = a.render_priority;
    std::size_t digits = rule.find_first_of("0123456789");
    std::string op = rule.substr(0, digits);
    while (!op.empty() && op.back() == ' ') op.pop_back();
    const std::vector<std::string> ops = {"<", "<=", "=", ">=", ">"};
    for (std::size_t i = 0; i < ops.size(); ++i) {
      if (ops[i] == op) compare = static_cast<int>(i);
    }
    value = digits == std::string::npos ? "" : rule.substr(digits);
    bool valid = compare >= 0 && !value.empty() &&
                 value.find_first_not_of("0123456789") == std::string::npos && value.size() <= 9;
    if (!valid) {
      return usage_error(context, "tool show",
                         "--render-priority needs \"OP V\" with OP one of < <= = >= > "
                         "and V a whole number, got '" +
                             rule + "'");
    }
    action = menu::kActionShowRenderPriority;
    radio = menu::kPriorityRadio;
  }
  ToolRun run;
  if (int status = open_tool(a, context, name, false, run); status >= 0) return status;
  run.menu->ExecuteAction(action);
  if (action == menu::kActionShowRenderPriority) {
    menu::ShowRenderPriorityTool& tool = *run.menu->show_render_priority();
    tool.edit(menu::kPriorityValue, value);
    tool.click(menu::kPriorityRadio);
    tool.choose(menu::kPriorityCompare, compare);
  } else if (action == menu::kActionShowLighting) {
    run.menu->show_lighting()->click(radio);
  } else if (action == menu::kActionShowDisplayFace) {
    run.menu->show_display_face()->click(radio);
  } else if (action == menu::kActionShowBillboard) {
    run.menu->show_billboard()->click(radio);
  }
  for (int n : run.session->selection()) {
    std::fprintf(context.out, "%s\n", run.session->scene().nodes[n].name.c_str());
  }
  return kExitOk;
}

int run_replace(const ToolArgs& a, const CommandContext& context) {
  const std::string name = "replace";
  const std::vector<std::string> modes = {"sequence", "upper", "lower"};
  int mode = -1;
  for (std::size_t i = 0; i < modes.size(); ++i) {
    if (modes[i] == a.mode) mode = static_cast<int>(i);
  }
  if (mode < 0) return usage_error(context, "tool replace", "--mode '" + a.mode + "' is not known");
  ToolRun run;
  if (int status = open_tool(a, context, name, a.apply, run); status >= 0) return status;
  run.menu->replace_memory.word = (a.objects || !a.materials ? 1u : 0u) | (a.materials ? 2u : 0u) |
                                  (a.match_case ? 4u : 0u) | static_cast<unsigned>(mode) << 3;
  run.menu->ExecuteAction(menu::kActionReplace);
  menu::ReplaceTool& tool = *run.menu->replace_tool();
  tool.edit(menu::kReplaceSearchWord, a.search);
  tool.edit(menu::kReplaceReplaceWord, a.replace);
  if (!tool.search()) return kExitFailed;
  for (const std::string& line : tool.lines()) std::fprintf(context.out, "%s\n", line.c_str());
  if (!a.apply || tool.results().empty()) return kExitOk;
  tool.click(menu::kReplaceSelectAll);
  if (!tool.apply()) return kExitFailed;
  int status = save_tool(a, run);
  return status;
}

int run_rename(const ToolArgs& a, const CommandContext& context) {
  const std::string name = "rename-over-16";
  std::vector<std::pair<std::string, std::string>> renames;
  for (const std::string& r : a.renames) {
    std::size_t eq = r.find('=');
    if (eq == std::string::npos || eq == 0) {
      return usage_error(context, "tool " + name, "--rename needs OLD=NEW, got '" + r + "'");
    }
    renames.emplace_back(r.substr(0, eq), r.substr(eq + 1));
  }
  ToolRun run;
  if (int status = open_tool(a, context, name, !renames.empty(), run); status >= 0) return status;
  run.menu->rename_memory.selection = a.selection;
  run.menu->ExecuteAction(menu::kActionRename);
  menu::RenameTool& tool = *run.menu->rename_tool();
  for (const auto& [old_name, new_name] : renames) {
    bool found = false;
    for (int pane = 0; pane < 2; ++pane) {
      const auto& rows = pane == 0 ? tool.nodes() : tool.materials();
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].old_name == old_name) {
          tool.set_rename(pane, i, new_name);
          found = true;
        }
      }
    }
    if (!found) {
      return usage_error(
          context, "tool " + name,
          "--rename: no node or material over 16 characters is named '" + old_name + "'");
    }
  }
  for (int pane = 0; pane < 3; ++pane) {
    std::fprintf(context.out, "%s\n", tool.pane_title(pane).c_str());
    const auto& rows = pane == 0 ? tool.nodes() : pane == 1 ? tool.materials() : tool.textures();
    for (const auto& row : rows) {
      std::fprintf(context.out, "  %s >> %s\n", row.old_name.c_str(), row.file_name.c_str());
    }
  }
  if (!a.list.empty() && !tool.write_list(a.list)) return kExitFailed;
  if (renames.empty()) return kExitOk;
  menu::RenameTool::ApplyResult result = tool.apply();
  if (result == menu::RenameTool::ApplyResult::kRefused) return kExitFailed;
  // A scene renamed in part is not saved: the run fails as a whole.
  if (result != menu::RenameTool::ApplyResult::kDone) return kExitFailed;
  return finish(a, context, run);
}

int run_kavro_material(const ToolArgs& a, const CommandContext& context) {
  ToolRun run;
  if (int status = open_tool(a, context, "kavro-material", true, run); status >= 0) return status;
  for (const std::string& m : a.material_names) {
    std::string error;
    if (!menu::make_platform_material(*run.plugin, m, error)) {
      run.console->message_box(error, "Material Error", host::MessageIcon::kError);
      return kExitFailed;
    }
  }
  return finish(a, context, run);
}

// The options every tool has.
CLI::App* add_tool(CLI::App& tool, const std::string& name, const std::string& summary,
                   std::shared_ptr<ToolArgs> args, bool saves) {
  CLI::App* command = tool.add_subcommand(name, summary);
  command->add_option("SCENE", args->scene, "the scene: a .kscene or any file the importer reads")
      ->required()
      ->transform(to_host_text());
  command
      ->add_option("--select", args->select,
                   "make the named nodes the selection first (exact names,\n"
                   "in this order; repeatable)")
      ->type_name("NAME[,NAME...]")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  if (saves) {
    command
        ->add_option("-o,--output", args->output,
                     "save the result here (default: SCENE itself when it\n"
                     "is a .kscene)")
        ->type_name("OUT.kscene")
        ->transform(to_host_text());
  }
  add_console_flags(*command, args->console);
  command->footer("Exit status: 0 success, 1 the tool failed, 2 usage error.");
  return command;
}

}  // namespace

void add_tool_command(CLI::App& app, CommandContext& context) {
  CLI::App* tool = app.add_subcommand(
      "tool",
      "run a scene-preparation tool on a scene (see 'kavro tool --help')\n"
      "\n"
      "Each tool loads SCENE, applies itself as its window would with the given\n"
      "choices, prints what changed or what it lists, and saves the scene when\n"
      "it changed (in place for a .kscene, -o OUT.kscene otherwise).");
  tool->require_subcommand(1);

  auto args = std::make_shared<ToolArgs>();
  CLI::App* c = add_tool(*tool, "material-attributes",
                         "set the platform material attributes of the selected nodes", args, true);
  c->add_option("--set", args->sets,
                "FIELD=VALUE, repeatable. Fields: light, wireFrame, iflLoop\n"
                "(on|off), displayFace (front|back|both), polyMode\n"
                "(modulate|decal|toon_highlight|shadow), polyID (0-63),\n"
                "texGen (none|tex|nrm|pos), texGenST (polygon|material),\n"
                "comPress (compress|no_compress); lists also take 1, 2 ...")
      ->type_name("FIELD=VALUE")
      ->allow_extra_args(false);
  c->callback([args, &context] { context.status = run_material_attributes(*args, context); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "billboard", "mark the selected nodes as billboards (Kvs_billboard)", args,
               true);
  c->add_option("--value", args->value, "No_Billboard, Billboard or Y-Billboard")->required();
  c->callback([args, &context] { context.status = run_marking(*args, context, true); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "no-cut", "mark the selected nodes as not to be cut (Kvs_no_cut)", args,
               true);
  c->add_option("--value", args->value, "on or off")->required();
  c->callback([args, &context] { context.status = run_marking(*args, context, false); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "show", "print the nodes a Show rule selects, in selection order", args,
               false);
  c->add_option("--lighting", args->lighting, "off, 0, 1, 2, 3 or any");
  c->add_option("--display-face", args->display_face, "front, back or both");
  c->add_option("--billboard", args->billboard, "Billboard or Y-Billboard");
  c->add_flag("--no-cut", args->no_cut, "the nodes marked not to be cut");
  c->add_option("--render-priority", args->render_priority,
                "\"OP V\": OP one of < <= = >= >, V a number")
      ->type_name("\"OP V\"");
  c->callback([args, &context] { context.status = run_show(*args, context); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "replace", "replace characters in node and material names", args, true);
  c->add_option("--search", args->search, "the search word (\"^W\": prefix, \"$W\": suffix)")
      ->transform(to_host_text());
  c->add_option("--replace", args->replace, "the replace word")->transform(to_host_text());
  c->add_flag("--objects", args->objects, "search node names (the default)");
  c->add_flag("--materials", args->materials, "search material names");
  c->add_flag("--match-case", args->match_case, "compare letter case");
  c->add_option("--mode", args->mode, "sequence (default), upper or lower");
  c->add_flag("--apply", args->apply, "rename every listed name and save");
  c->callback([args, &context] { context.status = run_replace(*args, context); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "rename-over-16",
               "list and rename names over 16 characters in the model file", args, true);
  c->add_flag("--selection", args->selection, "only the selected nodes (default: all)");
  c->add_option("--list", args->list, "write the list to FILE.txt")
      ->type_name("FILE.txt")
      ->transform(to_host_text());
  c->add_option("--rename", args->renames, "give OLD the new name NEW (repeatable)")
      ->type_name("OLD=NEW")
      ->allow_extra_args(false)
      ->transform(to_host_text());
  c->callback([args, &context] { context.status = run_rename(*args, context); });

  args = std::make_shared<ToolArgs>();
  c = add_tool(*tool, "kavro-material", "make materials KAVRO Standard platform materials", args,
               true);
  c->add_option("--material", args->material_names, "the material's name (repeatable)")
      ->required()
      ->allow_extra_args(false)
      ->transform(to_host_text());
  c->callback([args, &context] { context.status = run_kavro_material(*args, context); });
}

}  // namespace kavro::cli
