// libFuzzer target over the PE loader and `gauge-host info`: any byte string
// as a module file, through the library's info path in memory and through
// the info command itself (text and --json, its output thrown away). Built
// by scripts/fuzz.sh with clang and AddressSanitizer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "host_error.h"
#include "info_path.h"

namespace {

std::string module_path;

void RunInfoCommand(const std::vector<std::string>& args) {
  std::string command;
  try {
    gauge::cli::RunCommandLine(args, command);
  } catch (const gauge::HostError&) {
    // gauge-host prints it as one line and exits with 2
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char path[] = "/tmp/pe_loader_fuzz_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || !std::freopen("/dev/null", "w", stdout)) std::abort();
  close(fd);
  module_path = path;
  std::atexit([] { std::remove(module_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gauge::fuzz::RunInfoPath(std::vector<uint8_t>(data, data + size));
  FILE* f = std::fopen(module_path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();
  RunInfoCommand({"info", module_path});
  RunInfoCommand({"info", module_path, "--json"});
  return 0;
}
