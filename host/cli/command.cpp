// The table of subcommands.
#include "command.h"

namespace gauge::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {ClickCommand(), InfoCommand(), RenderCommand(), RunCommand(),
                                                ServeCommand(), SweepCommand()};
  return commands;
}

}  // namespace gauge::cli
