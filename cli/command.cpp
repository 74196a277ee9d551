#include "cli/command.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "exporter/pipeline/messages.h"
#include "exporter/ui/settings_file.h"
#include "host/cp932.h"

namespace kavro::cli {
namespace {

// Names and descriptions start in this column of the help, as far as the
// names allow.
constexpr std::size_t kHelpColumn = 30;

// "  NAME   DESCRIPTION", with the description's later lines indented to the
// same column; a name too long for the column puts the description below.
void help_row(std::string& text, const std::string& name, const std::string& description) {
  std::string row = "  " + name;
  if (row.size() + 1 > kHelpColumn) {
    row += "\n";
    row.append(kHelpColumn, ' ');
  } else {
    row.append(kHelpColumn - row.size(), ' ');
  }
  for (char c : description) {
    row += c;
    if (c == '\n') row.append(kHelpColumn, ' ');
  }
  text += row + "\n";
}

// The positional arguments of a command as its usage line shows them:
// "SCENE [OUTPUT.imd]".
std::string positionals_usage(const CLI::App& app) {
  std::string usage;
  for (const CLI::Option* opt :
       app.get_options([](const CLI::Option* o) { return o->get_positional(); })) {
    std::string name = opt->get_name(true, false);
    if (opt->get_expected_max() > 1) name += "...";
    usage += " " + (opt->get_required() ? name : "[" + name + "]");
  }
  return usage;
}

std::vector<const CLI::App*> listed_subcommands(const CLI::App& app) {
  return app.get_subcommands(
      [](const CLI::App* sub) { return !sub->get_disabled() && !sub->get_name().empty(); });
}

class HelpFormatter : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode) const override {
    std::string text = "Usage: " + name;
    bool has_commands = !listed_subcommands(*app).empty();
    if (has_commands && app->get_parent() == nullptr) {
      text += " <command> [options]";
    } else {
      text += " [options]" + positionals_usage(*app) + (has_commands ? " <command>" : "");
    }
    text += "\n\n";

    std::string description = app->get_description();
    if (app->get_parent() != nullptr) {
      std::size_t blank = description.find("\n\n");
      if (blank != std::string::npos) description = description.substr(blank + 2);
    }
    if (!description.empty()) text += description + "\n\n";

    if (has_commands) {
      text += "Commands:\n";
      for (const CLI::App* sub : listed_subcommands(*app)) {
        std::string summary = sub->get_description();
        summary = summary.substr(0, summary.find("\n\n"));
        help_row(text, sub->get_name() + positionals_usage(*sub), summary);
      }
      text += "\n";
    }

    // The options in the order they were added, the help flag last.
    std::vector<const CLI::Option*> options =
        app->get_options([](const CLI::Option* o) { return o->nonpositional(); });
    std::stable_partition(options.begin(), options.end(),
                          [app](const CLI::Option* o) { return o != app->get_help_ptr(); });
    text += "Options:\n";
    for (const CLI::Option* opt : options) {
      std::string names;
      for (const std::string& s : opt->get_snames()) names += (names.empty() ? "-" : ", -") + s;
      for (const std::string& l : opt->get_lnames()) names += (names.empty() ? "--" : ", --") + l;
      if (opt->get_type_size() != 0 && !opt->get_type_name().empty()) {
        names += " " + opt->get_type_name();
      }
      help_row(text, names, opt->get_description());
    }

    std::string footer = app->get_footer();
    if (!footer.empty()) text += "\n" + footer + (footer.back() == '\n' ? "" : "\n");
    return text;
  }
};

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

// Checks "KEY=VALUE" against the keyword table; converts a text value to the
// host code page in place. Returns the problem, or nothing.
std::string check_option_setting(std::string& setting) {
  std::size_t eq = setting.find('=');
  if (eq == std::string::npos) return "needs KEY=VALUE, got '" + setting + "'";
  std::string key = setting.substr(0, eq), value = setting.substr(eq + 1);
  const OptionKeyword* k = find_option_keyword(key);
  if (k == nullptr) {
    std::string keys;
    for (const OptionKeyword& each : option_keywords()) keys += std::string(" ") + each.key;
    return "unknown option key '" + key + "'; the keys are:" + keys;
  }
  if (k->type == OptionType::kText) {
    // The field holds the text in the host code page; it is never cut.
    host::Cp932Result converted = host::utf8_to_cp932(value);
    if (!converted.ok) return key + " '" + value + "': " + converted.error;
    if (!option_value_valid(*k, converted.text)) {
      return key + " is longer than " + std::to_string(k->size - 1) + " bytes: '" + value + "'";
    }
    setting = key + "=" + converted.text;
  } else if (!option_value_valid(*k, value)) {
    return "'" + value + "' is not a value of " + key + " (" + describe_values(*k) + ")";
  }
  return {};
}

}  // namespace

int usage_error(const CommandContext& context, const std::string& command,
                const std::string& text) {
  std::fprintf(context.err, "kavro: %s\n", text.c_str());
  if (command.empty()) {
    std::fprintf(context.err, "Try 'kavro --help'.\n");
  } else {
    std::fprintf(context.err, "Try 'kavro %s --help'.\n", command.c_str());
  }
  return kExitUsage;
}

std::shared_ptr<CLI::FormatterBase> help_formatter() {
  return std::make_shared<HelpFormatter>();
}

CLI::Validator to_host_text(std::function<std::string(const std::string&)> check) {
  return CLI::Validator(
      [check](std::string& text) -> std::string {
        if (check) {
          if (std::string problem = check(text); !problem.empty()) return problem;
        }
        host::Cp932Result converted = host::utf8_to_cp932(text);
        if (!converted.ok) return "'" + text + "': " + converted.error;
        text = converted.text;
        return {};
      },
      "");
}

void add_option_settings(CLI::App& command, std::vector<std::string>& settings) {
  // The command's words below the program ("settings show").
  std::string words = command.get_name();
  for (const CLI::App* p = command.get_parent(); p != nullptr && p->get_parent() != nullptr;
       p = p->get_parent()) {
    words = p->get_name() + " " + words;
  }
  command
      .add_option("--set", settings,
                  "set an export option by its settings keyword;\n"
                  "repeatable. 'kavro " +
                      words + " --help' lists the keys.")
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false)
      ->transform(CLI::Validator(check_option_setting, ""));
}

void apply_option_settings(const std::vector<std::string>& settings, ExportOptions& options) {
  for (const std::string& setting : settings) {
    std::size_t eq = setting.find('=');
    const OptionKeyword* k = find_option_keyword(setting.substr(0, eq));
    if (k != nullptr && eq != std::string::npos)
      apply_option_value(options, *k, setting.substr(eq + 1));
  }
}

std::string option_keys_help() {
  std::string text;
  for (const OptionKeyword& k : option_keywords()) {
    char line[128];
    std::snprintf(line, sizeof line, "  %-24s ", k.key);
    text += line + describe_values(k) + "\n";
  }
  return text;
}

void add_console_flags(CLI::App& command, ConsoleFlags& flags) {
  command
      .add_option("--overwrite", flags.overwrite,
                  "answer to 'already exists' questions: ask, yes, no.\n"
                  "Default: ask on a terminal, yes otherwise.")
      ->type_name("MODE")
      ->check(CLI::Validator(
          [](const std::string& mode) -> std::string {
            if (mode == "ask" || mode == "yes" || mode == "no") return {};
            return "takes ask, yes or no, not '" + mode + "'";
          },
          ""));
  command.add_flag("-q,--quiet", flags.quiet, "print no warnings or progress, only errors");
}

std::unique_ptr<host::ConsoleHost> open_console(const CommandContext& context,
                                                const ConsoleFlags& flags) {
  bool interactive = ::isatty(STDIN_FILENO) != 0 && ::isatty(STDERR_FILENO) != 0;
  auto console = std::make_unique<host::ConsoleHost>(
      context.err, ::isatty(::fileno(context.err)) != 0, interactive ? stdin : nullptr);
  console->set_quiet(flags.quiet);
  host::OverwritePolicy policy =
      interactive ? host::OverwritePolicy::kAsk : host::OverwritePolicy::kYes;
  if (flags.overwrite == "ask") policy = host::OverwritePolicy::kAsk;
  if (flags.overwrite == "yes") policy = host::OverwritePolicy::kYes;
  if (flags.overwrite == "no") policy = host::OverwritePolicy::kNo;
  console->set_overwrite_policy(policy);
  return console;
}

// Names of repeated NAME[,NAME...] options, in order.
std::vector<std::string> split_names(const std::vector<std::string>& lists) {
  std::vector<std::string> names;
  for (const std::string& list : lists) {
    std::size_t start = 0;
    while (true) {
      std::size_t comma = list.find(',', start);
      names.push_back(list.substr(start, comma == std::string::npos ? comma : comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return names;
}

bool apply_command_settings(host::Host& host, const std::string& settings_file,
                            const std::vector<std::string>& settings) {
  ExportOptions& current = current_options();
  if (!settings_file.empty() && !read_settings_file(settings_file, current)) {
    show_error(host, "\"k3es\" is wrong: " + settings_file, "Settings Error");
    return false;
  }
  apply_option_settings(settings, current);
  return true;
}

}  // namespace kavro::cli
