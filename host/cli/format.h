// Text forms shared by the subcommands' output.
#pragma once

#include <cstdint>
#include <string>

#include "gauge_session.h"
#include "json_writer.h"

namespace gauge::cli {

std::string Hex(uint32_t value);           // 0x0000abcd
std::string DoubleText(double value);      // %.17g
std::string DoubleBits(double value);      // 0x4066800000000000
// "#12 InstallElements(0x10003100, 0x00000000) [table 0]"
std::string CallText(const ServiceCall& call);
void CallJson(JsonWriter& json, const ServiceCall& call);

}  // namespace gauge::cli
