#include "cli/cli.h"

#include "cli/command.h"

namespace kavro::cli {
namespace {

// Every subcommand, in the order the help lists them.
using AddCommand = void (*)(CLI::App&, CommandContext&);
constexpr AddCommand kCommands[] = {
    add_export_command, add_batch_command, add_script_command,   add_import_command,
    add_info_command,   add_tool_command,  add_settings_command, add_about_command,
};

void build_app(CLI::App& app, CommandContext& context) {
  app.formatter(help_formatter());
  app.set_help_flag("-h,--help", "show this help");
  app.footer("Exit status: 0 success, 1 the command failed, 2 usage error.");
  app.require_subcommand(1);
  for (AddCommand add : kCommands) add(app, context);
}

// The subcommand a parse reached, for pointing a usage error at its help.
std::string command_reached(const CLI::App& app) {
  std::vector<CLI::App*> used = app.get_subcommands();
  return used.empty() ? std::string() : used.front()->get_name();
}

// CLI11 takes "--name=" with nothing after the "=" as "--name" and the next
// argument as its value; an empty value is meant, so pass one.
std::vector<std::string> reversed_with_empty_values(const std::vector<std::string>& args) {
  std::vector<std::string> split;
  bool options_end = false;
  for (const std::string& arg : args) {
    if (arg == "--") options_end = true;
    if (!options_end && arg.size() > 3 && arg.rfind("--", 0) == 0 &&
        arg.find('=') == arg.size() - 1) {
      split.push_back(arg.substr(0, arg.size() - 1));
      split.emplace_back();
    } else {
      split.push_back(arg);
    }
  }
  return {split.rbegin(), split.rend()};
}

}  // namespace

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  CommandContext context{out, err, kExitOk};
  CLI::App app("Turns 3D scenes into the intermediate files of the KAVRO-System.", "kavro");
  build_app(app, context);
  if (args.empty()) {
    std::fputs(app.help().c_str(), err);
    return kExitUsage;
  }
  if (args.size() == 1 && args[0] == "help") {
    std::fputs(app.help().c_str(), out);
    return kExitOk;
  }
  const std::string& first = args.front();
  bool known =
      !app.get_subcommands([&first](const CLI::App* sub) { return sub->check_name(first); })
           .empty();
  if (first.empty() || (first[0] != '-' && !known)) {
    return usage_error(context, "", "unknown command '" + first + "'");
  }
  std::vector<std::string> reversed = reversed_with_empty_values(args);
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return usage_error(context, command_reached(app), e.what());
  }
  return context.status;
}

}  // namespace kavro::cli
