// The values gauge-host's commands take from the command line, read
// strictly: whole numbers and variable ids are decimal ("061" is 61, "0x3d"
// is refused), numbers are finite decimals, output files are PNG (or WebP)
// by their extension. Malformed input raises HostError (kUsage) quoting it.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gauge_session.h"

namespace gauge::cli {

// A decimal whole number in [min, max]; `what` names it in the message.
int64_t WholeNumber(const std::string& text, const std::string& what, int64_t min, int64_t max);
// A finite decimal number.
double Number(const std::string& text, const std::string& what);
// A host variable id: a decimal whole number that fits 32 bits.
int32_t VariableId(const std::string& text, const std::string& what);
// The "ID=VALUE" words of --set, by id; an id set twice is an error.
std::map<int32_t, double> VariableSettings(const std::vector<std::string>& words);

// Refuses variables the module never reads (through an element or a
// service), naming the ids it does read. Run after the first update cycle.
void RequireRead(const GaugeSession& session, const std::map<int32_t, double>& settings,
                 std::optional<int32_t> swept = std::nullopt);

// Where a picture goes: a file named *.png (*.webp when `animated`), or
// "-" for standard output.
struct OutputFile {
  std::string path;
  bool to_stdout() const { return path == "-"; }
};
OutputFile CheckedOutput(const std::string& path, bool animated);

// Options several commands share, declared with one wording everywhere.
CLI::Option* AddSetOption(CLI::App& app, std::vector<std::string>& words);
CLI::Option* AddJsonFlag(CLI::App& app, bool& json);
CLI::Option* AddFileArgument(CLI::App& app, std::string& path);

}  // namespace gauge::cli
