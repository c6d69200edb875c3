// Command-line parsing shared by the subcommands: positional arguments,
// flags and options with values. Malformed input raises HostError (kUsage).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace gauge::cli {

struct Arguments {
  std::vector<std::string> positional;
  std::set<std::string> flags;                                  // "--json"
  std::vector<std::pair<std::string, std::string>> options;     // ("--set", "61=120")

  bool has(const std::string& flag) const { return flags.count(flag) > 0; }
  std::vector<std::string> values(const std::string& option) const;
};

// `flag_names` take no value, `option_names` take the next argument.
Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& flag_names,
                         const std::set<std::string>& option_names, size_t positional_count,
                         const std::string& usage);

int64_t ParseInteger(const std::string& text, const std::string& what);  // decimal or 0x hex
double ParseDouble(const std::string& text, const std::string& what);
// "ID=VALUE" pairs of --set.
std::map<int32_t, double> ParseVariableSettings(const std::vector<std::string>& settings);

}  // namespace gauge::cli
