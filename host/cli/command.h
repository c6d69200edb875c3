// gauge-host's subcommands, each defined in a file of its own and listed
// once in Commands().
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace gauge::cli {

struct Command {
  std::string name;
  std::string usage;  // one line: "info FILE.gau [--json]"
  // Runs with the arguments after the subcommand's name; returns the exit
  // code. Bad input is thrown as HostError and reported by main.
  std::function<int(const std::vector<std::string>& args)> run;
};

Command ClickCommand();
Command InfoCommand();
Command RenderCommand();
Command RunCommand();
Command ServeCommand();
Command SweepCommand();

const std::vector<Command>& Commands();

}  // namespace gauge::cli
