// gauge-host's subcommands, each defined in a file of its own and listed
// once in Commands(). The command line is parsed with CLI11: each command declares its options
// on its own CLI::App and hands back what to do once they are parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace gauge::cli {

struct Command {
  std::string name;
  std::string synopsis;  // "info FILE.gau [--json]"
  std::string summary;   // what it does, one line
  std::string example;   // one command line, after "gauge-host "
  std::string prints;    // what it prints, a sentence or two
  // Declares the options on `app` and returns the action that runs after
  // parsing (its exit code). Bad input is thrown as HostError.
  std::function<std::function<int()>(CLI::App& app)> define;
};

Command AnimateCommand();
Command ClickCommand();
Command InfoCommand();
Command RenderCommand();
Command RunCommand();
Command ServeCommand();
Command SweepCommand();

const std::vector<Command>& Commands();

// Parses a command line (the words after "gauge-host") and runs its command.
// Help and the version go to stdout (exit code 0). Bad input is thrown as
// HostError; `command` names the command it was for, when one was named.
int RunCommandLine(const std::vector<std::string>& words, std::string& command);

}  // namespace gauge::cli
