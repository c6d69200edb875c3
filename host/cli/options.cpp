#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host_error.h"
#include "variables_read.h"

namespace gauge::cli {
namespace {

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

bool Decimal(const std::string& text) {
  size_t i = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

int64_t WholeNumber(const std::string& text, const std::string& what, int64_t min, int64_t max) {
  if (!Decimal(text)) Usage(what + " is not a whole decimal number: '" + text + "'");
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno || v < min || v > max)
    Usage(what + " must lie between " + std::to_string(min) + " and " + std::to_string(max) + ": '" + text + "'");
  return v;
}

double Number(const std::string& text, const std::string& what) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  // strtod also reads hexadecimal, "inf" and "nan": refused, as they are no decimal figure.
  const bool hex = text.find_first_of("xX") != std::string::npos;
  if (text.empty() || *end || hex || !std::isfinite(v)) Usage(what + " is not a number: '" + text + "'");
  return v;
}

int32_t VariableId(const std::string& text, const std::string& what) {
  return int32_t(WholeNumber(text, what, INT32_MIN, INT32_MAX));
}

std::map<int32_t, double> VariableSettings(const std::vector<std::string>& words) {
  std::map<int32_t, double> values;
  for (const std::string& s : words) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos) Usage("--set wants ID=VALUE, got '" + s + "'");
    const int32_t id = VariableId(s.substr(0, eq), "variable id");
    if (!values.emplace(id, Number(s.substr(eq + 1), "variable value")).second)
      Usage("--set names variable " + std::to_string(id) + " twice");
  }
  return values;
}

void RequireRead(const GaugeSession& session, const std::map<int32_t, double>& settings,
                 std::optional<int32_t> swept) {
  const std::vector<VariableRead> read = VariablesRead(session);
  const auto check = [&](int32_t id, const std::string& option) {
    for (const VariableRead& v : read)
      if (v.id == id) return;
    Usage(option + " names variable " + std::to_string(id) + ", which this module does not read; it reads " +
          IdList(read));
  };
  for (const auto& [id, value] : settings) check(id, "--set");
  if (swept) check(*swept, "--var");
}

OutputFile CheckedOutput(const std::string& path, bool animated) {
  if (path == "-") return {path};
  const std::string ext = Extension(path);
  if (ext == (animated ? ".webp" : ".png")) return {path};
  if (animated) Usage("-o " + path + ": an animation is written as WebP; name the file *.webp (or - for standard output)");
  Usage("-o " + path + ": pictures are written as PNG; name the file *.png (or - for standard output)");
}

CLI::Option* AddSetOption(CLI::App& app, std::vector<std::string>& words) {
  return app.add_option("--set", words, "give host variable ID (decimal) the value VALUE; repeat for more variables")
      ->type_name("ID=VALUE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
}

CLI::Option* AddJsonFlag(CLI::App& app, bool& json) {
  return app.add_flag("--json", json, "print JSON instead of text");
}

CLI::Option* AddFileArgument(CLI::App& app, std::string& path) {
  return app.add_option("FILE.gau", path, "the gauge module")->type_name("")->required();
}

}  // namespace gauge::cli
