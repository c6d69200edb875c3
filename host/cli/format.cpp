#include "format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace gauge::cli {

std::string Code(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string Address(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string DoubleText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string ShortText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(bits));
  return text;
}

Json Number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

std::string CallText(const ServiceCall& call) {
  std::string text = "#" + std::to_string(call.sequence) + " " + call.name + "(";
  for (size_t i = 0; i < call.args.size(); ++i) {
    if (i) text += ", ";
    text += Code(call.args[i]);
  }
  text += ")";
  if (call.table) text += " [table " + std::to_string(call.table) + "]";
  return text;
}

Json CallJson(const ServiceCall& call) {
  Json args = Json::array();
  for (uint32_t a : call.args) args.push_back(Code(a));
  return {{"sequence", call.sequence}, {"slot", call.slot}, {"name", call.name}, {"table", call.table}, {"args", args}};
}

void PrintJson(const Json& json) {
  // Module text may hold any bytes: replaced, not thrown, where not UTF-8.
  std::printf("%s\n", json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace gauge::cli
