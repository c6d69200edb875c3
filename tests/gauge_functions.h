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

namespace gauge::test {

struct ValueSlot {
  std::string role;       // "element[1] (needle)"
  int element = 0;        // index in the chain
  uint32_t callback = 0;  // the value function
  uint32_t variable = 0;  // the ModuleVariable it is called with
};

// Every non-null value callback of the chain, in the order the host calls them.
inline std::vector<ValueSlot> ValueSlots(const GaugeSession& session) {
  using layout::Needle, layout::String, layout::Sprite, layout::Variable;
  const Emulator& e = session.emulator();
  std::vector<ValueSlot> slots;
  for (const ElementInfo& info : session.records().elements()) {
    auto add = [&](uint32_t callback_at, uint32_t variable_at) {
      if (const uint32_t callback = e.ReadWord(info.address + callback_at))
        slots.push_back({info.role, info.index, callback, info.address + variable_at});
    };
    if (info.kind == ElementKind::kNeedle) add(Needle::value_callback, Needle::variable);
    if (info.kind == ElementKind::kSprite) add(Sprite::value_callback, Sprite::variables);
    if (info.kind == ElementKind::kString)
      for (uint32_t i = 0; i < 3; ++i) add(String::value_callbacks + layout::kWord * i, String::variables + i * Variable::kSize);
  }
  return slots;
}

// The string element's address, or 0.
inline uint32_t StringElement(const GaugeSession& session) {
  for (const ElementInfo& info : session.records().elements())
    if (info.kind == ElementKind::kString) return info.address;
  return 0;
}

// The mouse functions of the child areas, in list order (after GaugeInstall).
inline std::vector<uint32_t> MouseFunctions(const GaugeSession& session) {
  std::vector<uint32_t> functions;
  for (const MouseAreaInfo& area : session.MouseAreas())
    if (area.area_type == AreaType::kChild && area.function) functions.push_back(area.function);
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
