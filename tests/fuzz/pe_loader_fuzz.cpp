// libFuzzer target over the PE loader and the `info` path: any byte string
// as a module file. Built by scripts/fuzz.sh with clang and AddressSanitizer.
#include <cstddef>
#include <cstdint>

#include "info_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gauge::fuzz::RunInfoPath(std::vector<uint8_t>(data, data + size));
  return 0;
}
