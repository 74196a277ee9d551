// `kavro about`: the version and copyright text.
#include "cli/command.h"
#include "exporter/pipeline/envelope.h"

namespace kavro::cli {

void add_about_command(CLI::App& app, CommandContext& context) {
  CLI::App* about = app.add_subcommand("about", "print the version and copyright text");
  about->callback([&context] {
    std::fprintf(context.out, "%s\n", about_text().c_str());
    context.status = kExitOk;
  });
}

}  // namespace kavro::cli
