// Windows' part in loading a module: map the PE32 image at a chosen base,
// apply its relocations, bind its imports to host stubs, then run its TLS
// callbacks and entry point for process attach.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "crt_stubs.h"
#include "emulator.h"
#include "pe_image.h"

namespace gauge {

struct LoadedModule {
  uint32_t base = 0;
  uint32_t size = 0;   // bytes mapped, whole pages
  uint32_t entry = 0;  // absolute address of the entry point, 0 when none
  std::map<std::string, uint32_t> exports;  // name -> absolute address

  bool contains(uint32_t address, uint32_t length = 1) const {
    return address >= base && address - base < size && size - (address - base) >= length;
  }
};

// The base the host picks when the caller names none: never the preferred
// one, so that every load exercises the relocations.
uint32_t DefaultLoadBase(const PeImage& pe);

LoadedModule MapModule(Emulator& emulator, CrtStubs& stubs, const PeImage& pe, uint32_t base);

// Reason codes of the library entry point.
enum EntryReason : uint32_t { kProcessDetach = 0, kProcessAttach = 1, kThreadAttach = 2, kThreadDetach = 3 };

// TLS callbacks, then the entry point, for process attach; a module that
// refuses (entry point returns 0) is a load error.
void AttachModule(Emulator& emulator, const PeImage& pe, const LoadedModule& module);

}  // namespace gauge
