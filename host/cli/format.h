// Text and JSON forms shared by the subcommands' output. Codes (events,
// flags, help codes) are written as the README writes them, 0x1015C;
// addresses with all eight digits, 0x10009588; JSON numbers stay numbers.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "gauge_session.h"

namespace gauge::cli {

using Json = nlohmann::ordered_json;

std::string Code(uint32_t value);          // 0x1015C
std::string Address(uint32_t value);       // 0x10009588
std::string DoubleText(double value);      // %.17g
std::string ShortText(double value);       // %g
std::string DoubleBits(double value);      // 0x4066800000000000
// A number as JSON: null when not finite (JSON has no NaN or infinity).
Json Number(double value);
// "#12 InstallElements(0x10003100, 0x0)"
std::string CallText(const ServiceCall& call);
Json CallJson(const ServiceCall& call);
// Prints JSON on one line.
void PrintJson(const Json& json);

}  // namespace gauge::cli
