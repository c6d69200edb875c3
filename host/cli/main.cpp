// gauge-host: loads a gauge module into the emulated CPU and drives it.
// Any bad input is one line on stderr and exit code 2.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "command.h"
#include "host_error.h"
#include "module_text.h"
#include "version.h"

namespace {

int PrintUsage() {
  std::vector<gauge::cli::Command> commands = gauge::cli::Commands();
  std::sort(commands.begin(), commands.end(), [](auto& a, auto& b) { return a.name < b.name; });
  std::string line = "usage:";
  for (const auto& c : commands) line += " gauge-host " + c.usage + " |";
  line.pop_back();
  std::fprintf(stderr, "%s\n", line.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return PrintUsage();
  const std::string name = argv[1];
  if (name == "--version" && argc == 2) {
    std::printf("gauge-host %s\n", GAUGE_VERSION);
    return 0;
  }
  for (const auto& command : gauge::cli::Commands()) {
    if (command.name != name) continue;
    try {
      return command.run(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::bad_alloc&) {
      std::fflush(stdout);
      std::fprintf(stderr, "gauge-host %s: the host ran out of memory\n", name.c_str());
      return 2;
    } catch (const std::exception& error) {
      std::fflush(stdout);  // one line, whatever bytes the message carries
      std::fprintf(stderr, "gauge-host %s: %s\n", name.c_str(), gauge::ModuleText(error.what()).c_str());
      return 2;
    }
  }
  return PrintUsage();
}
