// The host's stand-in for the C run-time's sprintf, on format strings and
// arguments placed in emulated memory: the integer, character and string
// conversions agree with the native printf; anything else is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crt_format.h"
#include "host_error.h"

namespace {

using gauge::Emulator;

struct Formatted {
  std::string text;
  std::string error;
};

Formatted Format(Emulator& e, const std::string& format, const std::vector<uint32_t>& words) {
  const uint32_t at = e.Allocate(uint32_t(format.size() + 1));
  e.Write(at, format.c_str(), format.size() + 1);
  try {
    return {gauge::FormatLikeSprintf(e, at, [&](int i) { return words.at(size_t(i)); }), ""};
  } catch (const gauge::HostError& error) {
    return {"", error.what()};
  }
}

TEST(CrtFormat, IntegerCharacterAndStringConversions) {
  Emulator e;
  const uint32_t text = e.Allocate(8);
  e.Write(text, "gauge", 6);
  struct Case {
    const char* format;
    std::vector<uint32_t> words;
    const char* expected;
  };
  const Case cases[] = {
      {"%4d", {12}, "  12"},
      {"%4d", {uint32_t(-12)}, " -12"},
      {"%4d", {0x80000000u}, "-2147483648"},
      {"%-5d|", {7}, "7    |"},
      {"%05d", {uint32_t(-42)}, "-0042"},
      {"%+d % d", {5, 5}, "+5  5"},
      {"%*d", {6, 99}, "    99"},
      {"%.3d", {7}, "007"},
      {"%u %x %X %o", {0xFFFFFFFFu, 255, 255, 8}, "4294967295 ff FF 10"},
      {"%#x %ld %hd %hu", {255, 3, 0x1FFFF, 0x1FFFF}, "0xff 3 -1 65535"},
      {"%c%c", {'o', 'k'}, "ok"},
      {"[%s] [%.3s] [%7s]", {text, text, text}, "[gauge] [gau] [  gauge]"},
      {"%s", {0}, "(null)"},
      {"100%%", {}, "100%"},
      {"plain", {}, "plain"},
  };
  for (const Case& c : cases) {
    const Formatted f = Format(e, c.format, c.words);
    EXPECT_EQ(f.error, "") << c.format;
    EXPECT_EQ(f.text, c.expected) << c.format;
  }
}

TEST(CrtFormat, RefusesWhatItDoesNotPlay) {
  Emulator e;
  const std::pair<const char*, const char*> cases[] = {
      {"%f", "the conversion %f"},
      {"%n", "the conversion %n"},
      {"%lld", "the conversion %l"},
      {"%4", "a format that ends inside a conversion"},
      {"%99999d", "a field of 99999"},
      {"%*d", "a field of 100000"},
      {"%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d%4000d",
       "a result longer than 65536 characters"},
  };
  for (auto [format, what] : cases) {
    const Formatted f = Format(e, format, std::vector<uint32_t>(20, 100000));
    EXPECT_NE(f.error.find("module called sprintf with " + std::string(what)), std::string::npos)
        << format << ": " << f.error;
  }
}

}  // namespace
