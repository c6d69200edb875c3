// Host stand-ins for what a module imports from KERNEL32.dll and msvcrt.dll:
// the handful of functions the mingw run-time start-up code, its C99 printf
// and the C run-time's own sprintf (crt_format.h) use. Each is small and
// honest (memory, critical sections that need no locking on one thread,
// module handle, "." as decimal point). An import the host has no stand-in
// for is a load error that names it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "emulator.h"

namespace gauge {

class CrtStubs {
 public:
  explicit CrtStubs(Emulator& emulator);

  // The module whose handle GetModuleHandle(NULL) returns.
  void SetModule(uint32_t base, uint32_t size) {
    module_base_ = base;
    module_size_ = size;
  }
  // The address to bind an import to; throws kLoad for an unknown import.
  uint32_t Resolve(const std::string& dll, const std::string& name);
  // What the module wrote through its C streams (run-time error messages),
  // up to kMaxOutput bytes; the rest is charged for and dropped.
  static constexpr size_t kMaxOutput = 2048;
  const std::string& output() const { return output_; }

 private:
  struct Entry;
  uint32_t MakeStub(const Entry& entry);
  uint32_t MakeData(const std::string& name);
  uint32_t CString(const std::string& text);
  uint32_t Malloc(uint32_t size);  // 0 when host memory is exhausted
  void KeepOutput(uint32_t address, uint64_t size);
  std::string OutputNote() const;  // the output, escaped, for an abort's message

  Emulator& emu_;
  uint32_t module_base_ = 0;
  uint32_t module_size_ = 0;
  uint32_t last_error_ = 0;
  std::map<std::string, uint32_t> bound_;    // "dll!name" -> address
  std::map<uint32_t, uint32_t> allocations_;  // address -> size
  std::map<std::string, uint32_t> strings_;
  std::string output_;
  bool output_cut_ = false;
  uint32_t lconv_ = 0;
};

}  // namespace gauge
