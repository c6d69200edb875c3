#include "crt_format.h"

#include <cstdio>
#include <cstring>

#include "host_error.h"

namespace gauge {
namespace {

constexpr size_t kMaxFormat = 4096;  // format and %s strings are read at most this far
constexpr int kMaxField = 4096;      // widths and precisions beyond this are refused
constexpr size_t kMaxText = 1 << 16; // longer results are refused

[[noreturn]] void Refuse(const std::string& what) {
  throw HostError(ErrorKind::kUnsupportedService, "module called sprintf with " + what +
                                                      ", which the host does not support");
}

}  // namespace

std::string FormatLikeSprintf(const Emulator& emulator, uint32_t format,
                              const std::function<uint32_t(int)>& argument) {
  const std::string f = emulator.ReadString(format, kMaxFormat);
  std::string out;
  int next = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') {
      out += f[i];
      continue;
    }
    // One conversion: rebuilt with the '*' fields filled in, then formatted here.
    std::string directive = "%";
    size_t j = i + 1;
    while (j < f.size() && std::strchr("-+ 0#", f[j])) directive += f[j++];
    auto field = [&] {
      if (j < f.size() && f[j] == '*') {
        ++j;
        const int32_t n = int32_t(argument(next++));
        if (n > kMaxField || n < -kMaxField) Refuse("a field of " + std::to_string(n));
        directive += std::to_string(n);
        return;
      }
      const size_t start = j;
      while (j < f.size() && f[j] >= '0' && f[j] <= '9') ++j;
      if (j - start > 4 || (j > start && std::stoi(f.substr(start, j - start)) > kMaxField))
        Refuse("a field of " + f.substr(start, j - start));
      directive += f.substr(start, j - start);
    };
    field();
    if (j < f.size() && f[j] == '.') {
      directive += f[j++];
      field();
    }
    const bool half = j < f.size() && f[j] == 'h';  // a short: the low 16 bits count
    if (j < f.size() && (f[j] == 'h' || f[j] == 'l')) ++j;  // l: 32 bits, as int
    if (j >= f.size()) Refuse("a format that ends inside a conversion");
    const char conversion = f[j];
    std::string text;
    auto print = [&](auto value) {
      const int n = std::snprintf(nullptr, 0, directive.c_str(), value);
      text.resize(size_t(n) + 1);
      std::snprintf(text.data(), text.size(), directive.c_str(), value);
      text.resize(size_t(n));
    };
    switch (conversion) {
      case '%': text = "%"; break;
      case 'd': case 'i': {
        const uint32_t word = argument(next++);
        directive += conversion;
        print(half ? int32_t(int16_t(word)) : int32_t(word));
        break;
      }
      case 'u': case 'x': case 'X': case 'o': {
        const uint32_t word = argument(next++);
        directive += conversion;
        print(half ? uint32_t(uint16_t(word)) : word);
        break;
      }
      case 'c': directive += 'c'; print(int(uint8_t(argument(next++)))); break;
      case 's': {
        const uint32_t s = argument(next++);
        const std::string value = s ? emulator.ReadString(s, kMaxFormat) : "(null)";
        directive += 's';
        print(value.c_str());
        break;
      }
      default: Refuse(std::string("the conversion %") + conversion);
    }
    out += text;
    if (out.size() > kMaxText) Refuse("a result longer than " + std::to_string(kMaxText) + " characters");
    i = j;
  }
  return out;
}

}  // namespace gauge
