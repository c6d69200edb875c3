// The x87 state across calls into module code. The host's control word and
// its empty register stack must survive every call: the hostile fixture
// shows the host's one-line errors for a module that leaves them changed,
// and the shipped modules keep the host's word through every routine and
// function under each of the three words a host may leave set.
#include <gtest/gtest.h>

#include <cstdio>

#include "gauge_functions.h"
#include "host_test_support.h"
#include "shipped_module.h"

namespace gauge::test {
namespace {

// The hostile fixture's needle with `selector` in its variable, under `cw`.
// Returns the host's error message, or "" when the call succeeded.
std::string HostileNeedle(GaugeSession& s, double selector, uint16_t cw, ErrorKind* kind = nullptr) {
  const ValueSlot needle = ValueSlots(s).at(0);
  try {
    CallValueFunction(s, needle.callback, needle.variable, selector, cw);
    return "";
  } catch (const HostError& e) {
    if (kind) *kind = e.kind();
    return e.what();
  }
}

std::unique_ptr<GaugeSession> Hostile() {
  auto s = GaugeSession::Load(host_test::FixtureModule("HostileFixture"));
  s->Install(0);
  s->Initialize();
  return s;
}

TEST(X87State, ModuleThatLeavesTheControlWordChangedFails) {
  auto s = Hostile();
  for (uint16_t cw : kControlWords) {
    SCOPED_TRACE(ControlWordName(cw));
    ErrorKind kind{};
    const std::string error = HostileNeedle(*s, 6, cw, &kind);
    EXPECT_EQ(kind, ErrorKind::kCallingConvention);
    char expected[96];
    std::snprintf(expected, sizeof expected,
                  "left the x87 control word at 0x0F7F instead of restoring the host's 0x%04X", cw);
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // The host takes its word back and the module stays usable.
    EXPECT_EQ(s->emulator().fpu_control_word(), cw);
    EXPECT_EQ(HostileNeedle(*s, 0.5, cw), "");
  }
}

TEST(X87State, ModuleThatLeavesARegisterInUseFails) {
  auto s = Hostile();
  ErrorKind kind{};
  const std::string error = HostileNeedle(*s, 7, 0x027F, &kind);
  EXPECT_EQ(kind, ErrorKind::kCallingConvention);
  EXPECT_NE(error.find("left the x87 stack unbalanced (expected exactly the result, TOP 0, tags 0x"),
            std::string::npos)
      << error;
  EXPECT_EQ(HostileNeedle(*s, 0.5, 0x027F), "") << "the stack is empty again after the error";
}

// Every lifecycle routine, value function and mouse function of every
// shipped module leaves the host's control word as it found it.
TEST(X87State, ShippedModulesKeepTheHostsControlWord) {
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE(std::string(module) + ", " + ControlWordName(cw));
      auto s = GaugeSession::Load(ShippedPath(module));
      Emulator& e = s->emulator();
      e.SetFpuControlWord(cw);
      s->Install(0);
      s->Initialize();
      EXPECT_EQ(e.fpu_control_word(), cw) << "install, initialize";
      s->SetVariable(61, 150.0);
      s->SetVariable(65, 1234.5);
      s->SetVariable(74, 1234.5);
      s->SetVariable(75, 42.0);
      s->SetVariable(335, 2.0);
      int calls = 0;
      for (const ElementSnapshot& element : s->EvaluateElements()) calls += int(Results(element).size());
      EXPECT_GT(calls, 0);
      EXPECT_EQ(e.fpu_control_word(), cw) << "value functions";
      const uint32_t string_element = StringElement(*s);
      if (string_element) {
        const double real = s->CallDouble(e.ReadWord(string_element + layout::String::real_function),
                                          {LowWord(0.1), HighWord(0.1)});
        EXPECT_EQ(Bits(real), Bits(0.1));
        EXPECT_EQ(e.fpu_control_word(), cw) << "real function";
      }
      for (uint32_t function : MouseFunctions(*s)) EXPECT_EQ(s->CallWord(function, {0, 0}), 1u);
      EXPECT_EQ(e.fpu_control_word(), cw) << "mouse functions";
      s->Update();
      s->Generate(0);
      s->Draw();
      s->Query();
      s->Kill();
      EXPECT_EQ(e.fpu_control_word(), cw) << "update, generate, draw, query, kill";
    }
  }
}

}  // namespace
}  // namespace gauge::test
