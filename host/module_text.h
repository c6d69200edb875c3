// Text taken from module bytes (DLL, function, section and font names, C
// run-time output) made safe for a one-line message: control bytes and bytes
// outside ASCII become \xNN, everything else stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace gauge {

inline std::string ModuleText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      text += c;
    } else {
      text += "\\x";
      text += kDigits[b >> 4];
      text += kDigits[b & 0xF];
    }
  }
  return text;
}

}  // namespace gauge
