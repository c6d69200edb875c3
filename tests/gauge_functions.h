// The functions a loaded gauge hands the host, found through its records:
// each element's value callbacks with the variable record each one gets,
// the string element's real function, and the mouse functions of the
// registered child areas. Shared by the robustness tests and the benchmarks.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gauge_session.h"
#include "record_layout.h"

namespace gauge::test {

struct ValueSlot {
  std::string role;       // "element[1] (needle)"
  int element = 0;        // index in the chain
  uint32_t callback = 0;  // the value function
  uint32_t variable = 0;  // the ModuleVariable it is called with
};

// Every non-null value callback of the chain, in the order the host calls them.
inline std::vector<ValueSlot> ValueSlots(const GaugeSession& session) {
  constexpr uint32_t kNeedleCallback = 88, kNeedleVariable = 60;
  constexpr uint32_t kCallbacks = 0xA8, kVariables = 0x3C;
  const Emulator& e = session.emulator();
  std::vector<ValueSlot> slots;
  for (const ElementInfo& info : session.records().elements()) {
    auto add = [&](uint32_t callback_at, uint32_t variable_at) {
      if (const uint32_t callback = e.ReadWord(info.address + callback_at))
        slots.push_back({info.role, info.index, callback, info.address + variable_at});
    };
    if (info.kind == ELEMENT_KIND_NEEDLE) add(kNeedleCallback, kNeedleVariable);
    if (info.kind == ELEMENT_KIND_SPRITE) add(kCallbacks, kVariables);
    if (info.kind == ELEMENT_KIND_STRING)
      for (uint32_t i = 0; i < 3; ++i) add(kCallbacks + 4 * i, kVariables + i * RECORD_SIZE_MODULE_VARIABLE);
  }
  return slots;
}

// The string element's address, or 0.
inline uint32_t StringElement(const GaugeSession& session) {
  for (const ElementInfo& info : session.records().elements())
    if (info.kind == ELEMENT_KIND_STRING) return info.address;
  return 0;
}

constexpr uint32_t kStringVariables = 0x3C, kStringText = 0xB8, kStringRealFunction = 0xB4, kStringCharCount = 0x124;
constexpr uint32_t kVariableValue = 12;

// The mouse functions of the child areas, in list order (after GaugeInstall).
inline std::vector<uint32_t> MouseFunctions(const GaugeSession& session) {
  std::vector<uint32_t> functions;
  for (const MouseAreaInfo& area : session.MouseAreas())
    if (area.area_type == MOUSE_AREA_CHILD && area.function) functions.push_back(area.function);
  return functions;
}

inline uint32_t HighWord(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return uint32_t(bits >> 32);
}
inline uint32_t LowWord(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return uint32_t(bits);
}

}  // namespace gauge::test
