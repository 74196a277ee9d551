#include "cli/cli.h"

#include <unistd.h>

#include <cstring>
#include <memory>

#include "exporter/kavro_exporter.h"
#include "exporter/pipeline/envelope.h"
#include "exporter/pipeline/options.h"
#include "host/console_host.h"
#include "host/cp932.h"

namespace kavro::cli {
namespace {

const char* const kUsage =
    "Usage: kavro <command> [options]\n"
    "\n"
    "Turns 3D scenes into the intermediate files of the KAVRO-System.\n"
    "\n"
    "Commands:\n"
    "  export SCENE [OUTPUT.imd]   export a scene (see 'kavro export --help')\n"
    "  about                       print the version and copyright text\n"
    "\n"
    "Options:\n"
    "  -h, --help                  show this help\n"
    "\n"
    "Exit status: 0 success, 1 the export failed, 2 usage error.\n";

const char* const kExportUsage =
    "Usage: kavro export [options] SCENE [OUTPUT.imd]\n"
    "\n"
    "With OUTPUT, the model is written to OUTPUT and the other selected files\n"
    "beside it (same name, their own extensions); existing files are replaced\n"
    "without a question.\n"
    "Without OUTPUT, the name and folder come from the options output_file_name\n"
    "and output_folder, and existing files are asked about (see --overwrite).\n"
    "\n"
    "Options:\n"
    "  --set KEY=VALUE         set an export option by its settings keyword;\n"
    "                          repeatable. 'kavro export --help' lists the keys.\n"
    "  --select NAME[,NAME...] make the named nodes the scene's selection (exact\n"
    "                          node names; repeatable), for --set export=selection.\n"
    "                          Without it the document's own selection holds.\n"
    "  --map-path DIR          search DIR for bitmaps whose file names are relative,\n"
    "                          after the scene's folder and the document's map\n"
    "                          paths; repeatable, searched in the order given.\n"
    "  --overwrite=MODE        answer to 'already exists' questions: ask, yes, no.\n"
    "                          Default: ask on a terminal, yes otherwise.\n"
    "  -q, --quiet             print no warnings or progress, only errors\n"
    "  -h, --help              show this help\n"
    "\n"
    "Exit status: 0 success, 1 the export failed, 2 usage error.\n"
    "\n"
    "Export option keys and their values:\n";

std::string describe_values(const OptionKeyword& k) {
  switch (k.type) {
    case OptionType::kFloat:
      return "a decimal number";
    case OptionType::kInt:
      return "an integer";
    case OptionType::kText:
      return "text";
    case OptionType::kSwitch:
    case OptionType::kChoice: {
      std::string words;
      for (const char* w : k.words) {
        if (!words.empty()) words += "|";
        words += w;
      }
      return words;
    }
  }
  return {};
}

void print_keys(std::FILE* out) {
  for (const OptionKeyword& k : option_keywords()) {
    std::fprintf(out, "  %-24s %s\n", k.key, describe_values(k).c_str());
  }
}

struct ExportArgs {
  std::string scene;
  std::string output;
  bool has_output = false;
  std::vector<std::pair<const OptionKeyword*, std::string>> settings;
  host::OverwritePolicy overwrite = host::OverwritePolicy::kAsk;
  bool overwrite_given = false;
  bool quiet = false;
  std::vector<std::string> select;
  std::vector<std::string> map_paths;
};

int usage_error(std::FILE* err, const std::string& text) {
  std::fprintf(err, "kavro: %s\n", text.c_str());
  std::fprintf(err, "Try 'kavro --help' or 'kavro export --help'.\n");
  return kExitUsage;
}

// Paths and text options come from the UTF-8 command line; inside the
// exporter they are byte strings in the host code page.
bool to_host_text(const std::string& what, std::string& text, std::FILE* err, int& status) {
  host::Cp932Result converted = host::utf8_to_cp932(text);
  if (converted.ok) {
    text = converted.text;
    return true;
  }
  status = usage_error(err, what + " '" + text + "': " + converted.error);
  return false;
}

// Parses `export` arguments; returns -1 to go on, or an exit status.
int parse_export(const std::vector<std::string>& args, ExportArgs& a, std::FILE* out,
                 std::FILE* err) {
  std::vector<std::string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value_of = [&](const std::string& name, std::string& value) -> bool {
      if (arg == name) {
        if (i + 1 >= args.size()) return false;
        value = args[++i];
        return true;
      }
      value = arg.substr(name.size() + 1);
      return true;
    };
    auto is_opt = [&](const std::string& name) {
      return arg == name || arg.rfind(name + "=", 0) == 0;
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kExportUsage, out);
      print_keys(out);
      return kExitOk;
    } else if (arg == "-q" || arg == "--quiet") {
      a.quiet = true;
    } else if (is_opt("--set")) {
      std::string kv;
      if (!value_of("--set", kv)) return usage_error(err, "--set needs KEY=VALUE");
      std::size_t eq = kv.find('=');
      if (eq == std::string::npos)
        return usage_error(err, "--set needs KEY=VALUE, got '" + kv + "'");
      std::string key = kv.substr(0, eq), value = kv.substr(eq + 1);
      const OptionKeyword* k = find_option_keyword(key);
      if (k == nullptr) {
        std::string keys;
        for (const OptionKeyword& each : option_keywords()) keys += std::string(" ") + each.key;
        return usage_error(err, "unknown option key '" + key + "'; the keys are:" + keys);
      }
      if (!option_value_valid(*k, value)) {
        return usage_error(
            err, "'" + value + "' is not a value of " + key + " (" + describe_values(*k) + ")");
      }
      if (k->type == OptionType::kText) {
        int status = 0;
        if (!to_host_text("--set " + key, value, err, status)) return status;
      }
      a.settings.emplace_back(k, value);
    } else if (is_opt("--select")) {
      std::string names;
      if (!value_of("--select", names)) return usage_error(err, "--select needs NAME[,NAME...]");
      std::size_t start = 0;
      while (true) {
        std::size_t comma = names.find(',', start);
        std::string name =
            names.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name.empty()) return usage_error(err, "--select needs node names, got '" + names + "'");
        // Node names are in the host code page; the command line is UTF-8.
        host::Cp932Result converted = host::utf8_to_cp932(name);
        if (!converted.ok)
          return usage_error(err, "--select name '" + name + "': " + converted.error);
        a.select.push_back(converted.text);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (is_opt("--map-path")) {
      std::string dir;
      if (!value_of("--map-path", dir) || dir.empty())
        return usage_error(err, "--map-path needs a folder");
      int status = 0;
      if (!to_host_text("--map-path", dir, err, status)) return status;
      a.map_paths.push_back(dir);
    } else if (is_opt("--overwrite")) {
      std::string mode;
      if (!value_of("--overwrite", mode))
        return usage_error(err, "--overwrite needs ask, yes or no");
      if (mode == "ask") {
        a.overwrite = host::OverwritePolicy::kAsk;
      } else if (mode == "yes") {
        a.overwrite = host::OverwritePolicy::kYes;
      } else if (mode == "no") {
        a.overwrite = host::OverwritePolicy::kNo;
      } else {
        return usage_error(err, "--overwrite takes ask, yes or no, not '" + mode + "'");
      }
      a.overwrite_given = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return usage_error(err, "unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) return usage_error(err, "export needs a SCENE");
  if (positional.size() > 2) return usage_error(err, "export takes SCENE and at most one OUTPUT");
  a.scene = positional[0];
  if (positional.size() == 2) {
    a.output = positional[1];
    a.has_output = true;
    const std::string& o = a.output;
    if (o.size() <= 4 || o.compare(o.size() - 4, 4, ".imd") != 0) {
      return usage_error(err, "OUTPUT must name a model file ending in .imd, got '" + o + "'");
    }
  }
  int status = 0;
  if (!to_host_text("SCENE", a.scene, err, status)) return status;
  if (a.has_output && !to_host_text("OUTPUT", a.output, err, status)) return status;
  return -1;
}

int run_export(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  ExportArgs a;
  if (int status = parse_export(args, a, out, err); status >= 0) return status;

  bool interactive = ::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0;
  host::ConsoleHost console(err, ::isatty(::fileno(err)) != 0, interactive ? stdin : nullptr);
  console.set_quiet(a.quiet);
  if (!a.overwrite_given && !interactive) a.overwrite = host::OverwritePolicy::kYes;
  console.set_overwrite_policy(a.overwrite);

  Stages stages = exporter_stages();
  KavroExporter exporter(console, stages);
  ExportOptions& current = current_options();
  for (const auto& [keyword, value] : a.settings) apply_option_value(current, *keyword, value);

  unsigned bits = 0;
  std::string name = a.output;
  if (!a.has_output) {
    // The menu's export: the name and folder come from the options.
    bits = kExportPlaceholderName;
    name = "C:\\test.imd";
    if (current.process_mode == 1) {
      if (current.output_file_name[0] == '\0') {
        return usage_error(err,
                           "no OUTPUT given and output_file_name is not set "
                           "(give OUTPUT.imd or --set output_file_name=NAME)");
      }
      if (current.output_folder[0] == '\0') {
        return usage_error(err,
                           "no OUTPUT given and output_folder is not set "
                           "(give OUTPUT.imd or --set output_folder=DIR)");
      }
    }
  }

  SceneOpenOptions open_options;
  open_options.select = a.select;
  open_options.map_paths = a.map_paths;
  std::vector<std::string> unknown;
  std::unique_ptr<SceneExtraction> scene =
      open_scene_selecting(a.scene, console, open_options, unknown);
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& n : unknown) names += (names.empty() ? "'" : ", '") + n + "'";
    return usage_error(err, "--select names no node of the scene: " + names);
  }
  if (!scene) return kExitFailed;
  int result = exporter.DoExport(name, *scene, true, bits);
  return result != 0 ? kExitOk : kExitFailed;
}

}  // namespace

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) {
    std::fputs(kUsage, err);
    return kExitUsage;
  }
  const std::string& command = args[0];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, out);
    return kExitOk;
  }
  if (command == "about") {
    if (args.size() > 1) return usage_error(err, "about takes no arguments");
    std::fprintf(out, "%s\n", about_text().c_str());
    return kExitOk;
  }
  if (command == "export") return run_export(args, out, err);
  return usage_error(err, "unknown command '" + command + "'");
}

}  // namespace kavro::cli
