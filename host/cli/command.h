// gauge-host's subcommands: each source file registers its own with a
// static CommandRegistration, so new subcommands live in their own files.
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

std::vector<Command>& Commands();

struct CommandRegistration {
  explicit CommandRegistration(Command command) { Commands().push_back(std::move(command)); }
};

}  // namespace gauge::cli
