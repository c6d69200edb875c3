// gauge-host: loads a gauge module into the emulated CPU and drives it.
// Any bad input is one line on stderr and exit code 2.
#include <cstdio>
#include <exception>
#include <new>

#include "command.h"
#include "module_text.h"

int main(int argc, char** argv) {
  std::string command;
  const auto prefix = [&] { return "gauge-host" + (command.empty() ? "" : " " + command); };
  try {
    return gauge::cli::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), command);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: the host ran out of memory\n", prefix().c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fflush(stdout);  // one line, whatever bytes the message carries
    std::fprintf(stderr, "%s: %s\n", prefix().c_str(), gauge::ModuleText(error.what()).c_str());
    return 2;
  }
}
