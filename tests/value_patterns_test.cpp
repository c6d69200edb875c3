// Every value function of the shipped gauges, driven through the real
// modules by the stand-in host with 100,000 seeded random 64-bit patterns
// each (NaN payloads, subnormals, infinities, huge values, scale values and
// their neighbours), checked bit for bit against a reference written here
// from the gauges' formulas, under the three x87 control words a host may
// leave behind. The first patterns of each run with the memory audit on:
// module code writes only where it may, and calls no service beyond its own.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>

#include "gauge_functions.h"
#include "value_patterns.h"

namespace gauge::test {
namespace {

constexpr int kPatterns = 100'000;
constexpr int kAudited = 2'000;  // the audit costs a host call per access
constexpr uint16_t kControlWords[] = {0x027F, 0x037F, 0x007F};

std::string Shipped(const std::string& name) { return std::string(GAUGE_DIST_DIR) + "/" + name + ".gau"; }

std::string Bits(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (0x%016llx)", v,
                static_cast<unsigned long long>(std::bit_cast<uint64_t>(v)));
  return text;
}

// A double handed back on the x87 stack: the same bits, except that a
// signalling NaN may come back quiet (the hardware quiets it on fld; the
// emulator passes it through).
bool SameThroughX87(double actual, double expected) {
  const uint64_t a = std::bit_cast<uint64_t>(actual), e = std::bit_cast<uint64_t>(expected);
  return a == e || (std::isnan(expected) && a == (e | uint64_t(1) << 51));
}

// Whole(x): truncated toward zero to 64 bits, the low 32 kept; NaN and
// magnitudes of 2^63 or more give 0.
int32_t Whole(double x) {
  if (!(std::fabs(x) < 9223372036854775808.0)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(x))));
}

// The reference formulas.
double AirspeedAngle(double x) {
  double v = x;
  if (v > 410) v = 410;
  else if (!(v >= 0)) v = 0;
  double r = 0.225 * v + 146.25;
  if (v > 50) r = (v - 50) * 2.25 + 157.5;
  if (v > 200) r = (v - 200) * 1.5 + 495;
  return r;
}

double ClimbClamp(double x) {
  if (x > 5850.0) return 5850.0;
  if (!(x >= -5850.0)) return -5850.0;
  return x;
}

// The landing module keeps whole metres signed, so heights below zero read
// below zero (the needle turns back past 0 m instead of wrapping).
int32_t LandingMetres(double altitude, double units) {
  return std::bit_cast<uint64_t>(units) == 0x4000000000000000ull ? Whole(altitude) : Whole(altitude * 0.3048006096);
}
double LandingAngle(int32_t metres) { return static_cast<double>(Whole(static_cast<double>(metres) * 0.36 + 90.0)); }
double LandingDrum(int32_t metres) { return static_cast<double>(metres) / -55.555; }

// The readout's four cells show the nearest value that fits them.
std::string ReadoutText(double x) {
  const int32_t n = x >= 10000.0 ? 9999 : x <= -1000.0 ? -999 : Whole(x);
  char text[16];
  std::snprintf(text, sizeof text, "%4d", n);
  return text;
}

class ValuePatterns : public ::testing::Test {
 protected:
  void Start(const std::string& module) {
    session_ = GaugeSession::Load(Shipped(module));
    session_->Install(0);
    session_->Initialize();
    slots_ = ValueSlots(*session_);
    session_->ClearLogs();
  }

  // Calls a value function with `value` in its variable record under the
  // i-th control word; counts the service calls it made.
  double Call(const ValueSlot& slot, double value, int i) {
    session_->emulator().SetFpuControlWord(kControlWords[i % 3]);
    session_->emulator().WriteDouble(slot.variable + layout::Variable::value, value);
    const size_t before = session_->service_calls().size();
    const double result = session_->CallDouble(slot.callback, {slot.variable});
    new_calls_ = session_->service_calls().size() - before;
    return result;
  }

  // Audit on for the first patterns, off after; records forgotten as they go.
  void Audit(int i) {
    if (i == 0) session_->SetAudit(true);
    if (i == kAudited) session_->SetAudit(false);
    session_->ClearLogs();
  }

  // Module writes since the last Audit(), as "record.field" names.
  std::vector<std::string> Writes() const {
    std::vector<std::string> writes;
    for (const AuditEntry& a : session_->audit())
      if (a.write) writes.push_back(a.record + "." + a.field);
    return writes;
  }

  const ValueSlot& Slot(const std::string& role, int nth = 0) const {
    for (const ValueSlot& s : slots_)
      if (s.role.find(role) != std::string::npos && nth-- == 0) return s;
    throw std::runtime_error("no value callback for " + role);
  }

  std::unique_ptr<GaugeSession> session_;
  std::vector<ValueSlot> slots_;
  size_t new_calls_ = 0;
};

#define EXPECT_SAME_BITS(actual, expected, input)                               \
  ASSERT_EQ(std::bit_cast<uint64_t>(actual), std::bit_cast<uint64_t>(expected)) \
      << "input " << Bits(input) << ": got " << Bits(actual) << ", expected " << Bits(expected)
#define EXPECT_RETURNED(actual, expected, input) \
  ASSERT_TRUE(SameThroughX87(actual, expected))  \
      << "input " << Bits(input) << ": got " << Bits(actual) << ", expected " << Bits(expected)

TEST_F(ValuePatterns, AirspeedNeedleMatchesTheScaleAndTouchesNothing) {
  Start("Ostrel_Airspeed");
  const ValueSlot& needle = Slot("needle");
  PatternSource patterns(61, {0, 50, 200, 410});
  for (int i = 0; i < kPatterns; ++i) {
    Audit(i);
    const double x = patterns.Next();
    const double r = Call(needle, x, i);
    EXPECT_SAME_BITS(r, AirspeedAngle(x), x);
    ASSERT_TRUE(r >= 146.25 && r <= 810) << Bits(x);
    ASSERT_EQ(std::bit_cast<uint64_t>(session_->emulator().ReadDouble(needle.variable + layout::Variable::value)),
              std::bit_cast<uint64_t>(x)) << "the record keeps the host's value";
    ASSERT_EQ(new_calls_, 0u) << Bits(x);
    ASSERT_TRUE(Writes().empty()) << Bits(x) << ": wrote " << Writes().front();
  }
}

TEST_F(ValuePatterns, ClimbNeedleClampsAndWritesBackOnlyWhenClamped) {
  Start("Velkor_Climb");
  const ValueSlot& needle = Slot("needle");
  PatternSource patterns(65, {-5850, 0, 5850});
  for (int i = 0; i < kPatterns; ++i) {
    Audit(i);
    const double x = patterns.Next();
    const double expected = ClimbClamp(x);
    const double r = Call(needle, x, i);
    EXPECT_RETURNED(r, expected, x);
    ASSERT_TRUE(r >= -5850 && r <= 5850) << Bits(x);
    const double record = session_->emulator().ReadDouble(needle.variable + layout::Variable::value);
    EXPECT_SAME_BITS(record, expected, x);
    ASSERT_EQ(new_calls_, 0u) << Bits(x);
    const bool clamped = std::bit_cast<uint64_t>(expected) != std::bit_cast<uint64_t>(x);
    const std::vector<std::string> writes = Writes();
    if (i < kAudited && clamped) {
      ASSERT_FALSE(writes.empty()) << Bits(x);
    } else {
      ASSERT_TRUE(writes.empty()) << Bits(x) << " is in range, yet wrote " << writes.front();
    }
    for (const std::string& w : writes) ASSERT_EQ(w, "element[1] (needle).variable.value") << Bits(x);
  }
}

TEST_F(ValuePatterns, LandingNeedleAndDrumFollowTheWholeMetre) {
  Start("Tavoran_Landing");
  const ValueSlot& needle = Slot("needle");
  const ValueSlot& drum = Slot("sprite");
  PatternSource altitudes(74, {0, 1000, 3281, 2147483648.0, -2147483649.0, 9223372036854775808.0});
  std::mt19937_64 units_source(335);
  uint32_t metres_word = 0;  // the one word the needle writes
  for (int i = 0; i < kPatterns; ++i) {
    Audit(i);
    const double x = altitudes.Next();
    const double units = UnitsPattern(units_source);
    session_->SetVariable(335, units);
    const int32_t metres = LandingMetres(x, units);
    const double angle = Call(needle, x, i);
    EXPECT_SAME_BITS(angle, LandingAngle(metres), x) << " units " << Bits(units);
    ASSERT_EQ(angle, std::trunc(angle)) << "a whole number of degrees";
    ASSERT_EQ(new_calls_, 1u);
    const ServiceCall& read = session_->service_calls().back();
    ASSERT_EQ(read.name, "ReadVariable");
    ASSERT_NE(read.args[0], needle.variable) << "the needle's own record is never handed to the host";
    ASSERT_EQ(std::bit_cast<uint64_t>(session_->emulator().ReadDouble(needle.variable + layout::Variable::value)),
              std::bit_cast<uint64_t>(x)) << "the needle's record is only read";
    if (i < kAudited) {
      const std::vector<AuditEntry>& audit = session_->audit();
      int writes = 0;
      for (const AuditEntry& a : audit) {
        if (!a.write) continue;
        ++writes;
        ASSERT_FALSE(session_->NameAddress(a.address)) << "wrote a record: " << a.record << "." << a.field;
        ASSERT_EQ(a.size, 4u);
        if (!metres_word) metres_word = a.address;
        ASSERT_EQ(a.address, metres_word) << "one module word holds the metres";
      }
      ASSERT_EQ(writes, 1) << Bits(x);
    }
    Audit(i);
    const double turn = Call(drum, 0, i);
    EXPECT_SAME_BITS(turn, LandingDrum(metres), x);
    ASSERT_EQ(new_calls_, 0u);
    ASSERT_TRUE(Writes().empty()) << "the drum writes nothing";
  }
}

TEST_F(ValuePatterns, LandingReadoutStaysInsideTheHostsBuffer) {
  Start("Tavoran_Landing");
  PatternSource patterns(75, {-1000, -999, 0, 9999, 10000});
  for (int i = 0; i < kPatterns; ++i) {
    Audit(i);
    const double x = patterns.Next();
    session_->SetVariable(75, x);
    session_->emulator().SetFpuControlWord(kControlWords[i % 3]);
    // The host's driver: a buffer of char_count + 1 bytes with guard bytes
    // around it, checked after the call (a stray byte fails the run).
    const std::vector<ElementSnapshot> chain = session_->EvaluateElements();
    const auto& readout = std::get<StringState>(chain.at(2));
    ASSERT_EQ(readout.text, ReadoutText(x)) << Bits(x);
    ASSERT_EQ(readout.text.size(), 4u);
    EXPECT_RETURNED(readout.results.at(0), x, x);
    for (const std::string& w : Writes()) ASSERT_EQ(w.find("element"), std::string::npos) << "wrote " << w;
    // Every update: the needle's one ReadVariable and nothing else.
    for (const ServiceCall& c : session_->service_calls()) ASSERT_EQ(c.name, "ReadVariable");
    ASSERT_EQ(session_->service_calls().size(), 1u);
  }
}

TEST_F(ValuePatterns, LandingPassFunctionsReturnTheirInput) {
  Start("Tavoran_Landing");
  const ValueSlot& pass = Slot("string", 1);
  const uint32_t real = session_->emulator().ReadWord(StringElement(*session_) + layout::String::real_function);
  PatternSource patterns(76, {0});
  for (int i = 0; i < kPatterns; ++i) {
    Audit(i);
    const double x = patterns.Next();
    EXPECT_RETURNED(Call(pass, x, i), x, x);
    EXPECT_RETURNED(session_->CallDouble(real, {LowWord(x), HighWord(x)}), x, x);
    ASSERT_TRUE(session_->service_calls().empty());
    ASSERT_TRUE(Writes().empty());
  }
}

}  // namespace
}  // namespace gauge::test
