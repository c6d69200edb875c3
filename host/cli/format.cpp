#include "format.h"

#include <cstdio>
#include <cstring>

namespace gauge::cli {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string DoubleText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(bits));
  return text;
}

std::string CallText(const ServiceCall& call) {
  std::string text = "#";
  text += std::to_string(call.sequence);
  text += ' ';
  text += call.name;
  text += '(';
  for (size_t i = 0; i < call.args.size(); ++i) {
    if (i) text += ", ";
    text += Hex(call.args[i]);
  }
  text += ")";
  if (call.table) text += " [table " + std::to_string(call.table) + "]";
  return text;
}

void CallJson(JsonWriter& json, const ServiceCall& call) {
  json.BeginObject();
  json.Key("sequence").Integer(int64_t(call.sequence));
  json.Key("slot").Integer(call.slot);
  json.Key("name").String(call.name);
  json.Key("table").Integer(call.table);
  json.Key("args").BeginArray();
  for (uint32_t a : call.args) json.Integer(a);
  json.EndArray();
  json.EndObject();
}

}  // namespace gauge::cli
