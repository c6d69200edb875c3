// What `gauge-host info` does with a module file, on bytes in memory: parse
// the PE32 image, load it into the emulated CPU (relocations, imports, entry
// point), walk its records, hand over the mouse areas through GaugeInstall
// and decode its bitmap resources. Bad input is a HostError; anything else
// escaping is a fault of the host.
#pragma once

#include <cstdint>
#include <vector>

#include "gauge_session.h"

namespace gauge::fuzz {

// Run-away limit for module code here: far above what a gauge needs to load
// (a few thousand blocks), low enough that a looping input ends quickly.
constexpr uint64_t kInstructionLimit = 200'000;

// True when the module loaded, false when it was refused with a HostError.
inline bool RunInfoPath(std::vector<uint8_t> bytes) {
  LoadOptions options;
  options.instruction_limit = kInstructionLimit;
  try {
    auto session = GaugeSession::LoadBytes(std::move(bytes), options);
    (void)session->gauge_name();
    (void)session->ElementStates();
    session->Install(0);
    (void)session->MouseAreas();
    (void)session->BitmapResources();
    return true;
  } catch (const HostError&) {
    return false;  // one clear line and exit code 2 in the tool
  }
}

}  // namespace gauge::fuzz
