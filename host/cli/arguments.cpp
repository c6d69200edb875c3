#include "arguments.h"

#include <cerrno>
#include <cstdlib>

#include "host_error.h"

namespace gauge::cli {
namespace {

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

}  // namespace

std::vector<std::string> Arguments::values(const std::string& option) const {
  std::vector<std::string> list;
  for (const auto& [name, value] : options)
    if (name == option) list.push_back(value);
  return list;
}

Arguments ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& flag_names,
                         const std::set<std::string>& option_names, size_t positional_count,
                         const std::string& usage) {
  Arguments parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (flag_names.count(a)) {
      parsed.flags.insert(a);
    } else if (option_names.count(a)) {
      if (i + 1 == args.size()) Usage(a + " needs a value; usage: " + usage);
      parsed.options.emplace_back(a, args[++i]);
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      Usage("unknown option " + a + "; usage: " + usage);
    } else {
      parsed.positional.push_back(a);
    }
  }
  if (parsed.positional.size() != positional_count) Usage("usage: " + usage);
  return parsed;
}

int64_t ParseInteger(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end || errno) Usage(what + " is not a number: '" + text + "'");
  return v;
}

double ParseDouble(const std::string& text, const std::string& what) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end) Usage(what + " is not a number: '" + text + "'");
  return v;
}

std::map<int32_t, double> ParseVariableSettings(const std::vector<std::string>& settings) {
  std::map<int32_t, double> values;
  for (const std::string& s : settings) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos) Usage("--set wants ID=VALUE, got '" + s + "'");
    const int64_t id = ParseInteger(s.substr(0, eq), "variable id");
    if (id < INT32_MIN || id > INT32_MAX) Usage("variable id out of range: " + s.substr(0, eq));
    values[int32_t(id)] = ParseDouble(s.substr(eq + 1), "variable value");
  }
  return values;
}

}  // namespace gauge::cli
