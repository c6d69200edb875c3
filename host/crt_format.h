// The C run-time's sprintf as the host plays it: the integer, character and
// string conversions, with flags, width and precision. A conversion outside
// that set (floating point, %n, %p, length modifiers other than one h or l)
// fails the run naming it rather than guessing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "emulator.h"

namespace gauge {

// The text `format` (in emulated memory) produces; `argument(i)` is the
// i-th 32-bit word after the format.
std::string FormatLikeSprintf(const Emulator& emulator, uint32_t format,
                              const std::function<uint32_t(int)>& argument);

}  // namespace gauge
