// The table of subcommands, in a file of its own so that the fuzz target
// can run the info command without gauge-host's main().
#include "command.h"

namespace gauge::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

}  // namespace gauge::cli
