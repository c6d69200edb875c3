// The shipped Tavoran_Landing module driven by the stand-in host: the needle,
// drum, readout, pass-through and knob functions reached through their record
// slots (the module is stripped), bit for bit against the arithmetic computed
// here, and the records as the host finds them in the loaded image.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "shipped_module.h"

namespace gauge::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTwo63 = 9223372036854775808.0;
constexpr double kTwo32 = 4294967296.0;
constexpr double kMetresUnit = 2.0;

// Record offsets the tests reach through.
using layout::ElementHead, layout::Needle, layout::String, layout::Sprite, layout::Variable;
constexpr uint32_t kChildren = ElementHead::children, kFailures = ElementHead::failures;
constexpr uint32_t kValue = Variable::value;
// Where the service table's address sits, the one word a service call reads.
uint32_t ServiceTableWord(const GaugeSession& s) { return s.import_table() + layout::ServiceImport::services; }

// x truncated toward zero to 64 bits, the low 32 bits kept, read signed; a NaN
// or a magnitude of 2^63 or more gives 0.
int32_t Whole(double x) {
  if (std::isnan(x) || std::fabs(x) >= kTwo63) return 0;
  return int32_t(uint32_t(uint64_t(int64_t(std::trunc(x)))));
}

struct Altitude {
  int32_t metres;  // altitude_metres
  double needle;
  double drum;
};

// Units exactly 2.0 (all 64 bits) mean metres; anything else feet.
Altitude Expected(double units, double altitude) {
  const double metres = Bits(units) == Bits(kMetresUnit) ? altitude : altitude * 0.3048006096;
  const int32_t m = Whole(metres);
  return {m, double(Whole(double(m) * 0.36 + 90.0)), double(m) / -55.555};
}

// A readout value as its four cells show it: clamped to -999..9999, whole.
std::string ExpectedText(double value) {
  const int shown = value >= 10000.0 ? 9999 : value <= -1000.0 ? -999 : Whole(value);
  char text[16];
  std::snprintf(text, sizeof text, "%4d", shown);
  return text;
}

struct LandingChain {
  uint32_t header = 0, top_ref = 0, face = 0, drum = 0, readout = 0, needle = 0;
  uint32_t face_children = 0, drum_children = 0, readout_children = 0;
};

LandingChain WalkLandingChain(const GaugeSession& s) {
  LandingChain c;
  c.header = Word(s, s.linkage() + layout::Linkage::gauges);
  c.top_ref = Word(s, c.header + layout::GaugeHeader::top_element_ref);
  c.face = Word(s, c.top_ref);
  c.face_children = Word(s, c.face + kChildren);
  c.drum = c.face_children ? Word(s, c.face_children) : 0;
  c.drum_children = c.drum ? Word(s, c.drum + kChildren) : 0;
  c.readout = c.drum_children ? Word(s, c.drum_children) : 0;
  c.readout_children = c.readout ? Word(s, c.readout + kChildren) : 0;
  c.needle = c.readout_children ? Word(s, c.readout_children) : 0;
  return c;
}

// Guard bytes around the readout's text buffer, which lies at kGuard.
constexpr uint32_t kGuard = 16, kRegion = 64;
constexpr uint8_t kGuardByte = 0xA5;

class LandingModule : public ::testing::Test {
 protected:
  void SetUp() override {
    session = LoadShipped("Tavoran_Landing");
    chain = WalkLandingChain(*session);
    ASSERT_NE(chain.needle, 0u) << "chain face, drum, readout, needle not found";
    needle_variable = chain.needle + Needle::variable;
    needle_callback = Word(*session, chain.needle + Needle::value_callback);
    drum_callback = Word(*session, chain.drum + Sprite::value_callback);
    readout_variable = chain.readout + String::variables;
    for (uint32_t i = 0; i < 3; ++i)
      readout_callbacks[i] = Word(*session, chain.readout + String::value_callbacks + layout::kWord * i);
    real_function = Word(*session, chain.readout + String::real_function);
  }

  // GaugeInstall and GaugeInitialize; the units variable is the one bound.
  uint32_t InstallAndBind() {
    session->Install(0);
    session->Initialize();
    const auto& bound = session->records().bound_variables();
    return bound.size() == 1 ? bound[0] : 0;
  }

  ValueCall Needle(double units, double altitude, uint16_t cw = 0x027F) {
    session->SetVariable(335, units);
    return CallValueFunction(*session, needle_callback, needle_variable, altitude, cw);
  }

  ValueCall Drum(uint16_t cw = 0x027F, uint32_t argument = 0) {
    session->emulator().SetFpuControlWord(cw);
    session->ClearLogs();
    ValueCall call;
    call.result = session->CallDouble(drum_callback, {argument});
    call.control_word_after = session->emulator().fpu_control_word();
    call.accesses = session->audit();
    call.services = session->service_calls();
    return call;
  }

  // The address of altitude_metres: the one word the needle writes outside
  // every record.
  uint32_t AltitudeMetresAddress() {
    const ValueCall call = Needle(kMetresUnit, 0.0);
    std::vector<uint32_t> writes;
    for (const AuditEntry& a : call.accesses)
      if (a.write && !session->NameAddress(a.address)) writes.push_back(a.address);
    EXPECT_EQ(writes.size(), 1u) << "the needle writes one word outside the records";
    return writes.empty() ? 0 : writes[0];
  }

  // A text buffer of char_count + 1 bytes inside guard bytes, its address
  // stored in the readout's text (or null).
  void GiveTextBuffer(bool null_text) {
    if (!region) region = session->emulator().Allocate(kRegion);
    std::array<uint8_t, kRegion> fill;
    fill.fill(kGuardByte);
    session->emulator().Write(region, fill.data(), fill.size());
    session->emulator().WriteWord(chain.readout + String::text, null_text ? 0 : region + kGuard);
  }

  std::array<uint8_t, kRegion> RegionBytes() const {
    std::array<uint8_t, kRegion> bytes;
    session->emulator().Read(region, bytes.data(), bytes.size());
    return bytes;
  }

  std::unique_ptr<GaugeSession> session;
  LandingChain chain;
  uint32_t needle_variable = 0, needle_callback = 0, drum_callback = 0;
  uint32_t readout_variable = 0, readout_callbacks[3] = {}, real_function = 0;
  uint32_t region = 0;
};

// ---- needle and altitude_metres -------------------------------------------

struct NeedleCase {
  const char* name;
  double units;
  double altitude;
  std::optional<int32_t> metres;  // as the issue and the dial table give them
  std::optional<double> needle;
};

const double kFeetUnits[] = {0.0, 1.0, std::nextafter(2.0, 3.0), FromBits(2)};

const NeedleCase kNeedleCases[] = {
    {"0 m", kMetresUnit, 0.0, 0, 90.0},
    {"minus zero", kMetresUnit, -0.0, 0, 90.0},
    {"100 m", kMetresUnit, 100.0, 100, 126.0},
    {"123.9 m", kMetresUnit, 123.9, 123, 134.0},
    {"250 m", kMetresUnit, 250.0, 250, 180.0},
    {"400 m", kMetresUnit, 400.0, 400, 234.0},
    {"500 m", kMetresUnit, 500.0, 500, 270.0},
    {"750 m", kMetresUnit, 750.0, 750, 360.0},
    {"900 m", kMetresUnit, 900.0, 900, 414.0},
    {"999.99 m", kMetresUnit, 999.99, 999, 449.0},
    {"1000 m", kMetresUnit, 1000.0, 1000, 450.0},
    {"2777 m", kMetresUnit, 2777.0, 2777, 1089.0},
    {"25 m", kMetresUnit, 25.0, 25, 99.0},
    {"-0.5 m", kMetresUnit, -0.5, 0, 90.0},
    {"-1 m, signed", kMetresUnit, -1.0, -1, 89.0},
    {"-1.9 m", kMetresUnit, -1.9, -1, 89.0},
    {"-1000 m", kMetresUnit, -1000.0, -1000, -270.0},
    {"quiet NaN", kMetresUnit, kNaN, 0, 90.0},
    {"negative NaN", kMetresUnit, FromBits(0xFFF8000000000000), 0, 90.0},
    {"NaN with payload", kMetresUnit, FromBits(0x7FF8DEADBEEF0001), 0, 90.0},
    {"infinity", kMetresUnit, kInf, 0, 90.0},
    {"minus infinity", kMetresUnit, -kInf, 0, 90.0},
    {"largest double", kMetresUnit, std::numeric_limits<double>::max(), 0, 90.0},
    {"2^63", kMetresUnit, kTwo63, 0, 90.0},
    {"-2^63", kMetresUnit, -kTwo63, 0, 90.0},
    {"just below 2^63: low word -1024", kMetresUnit, std::nextafter(kTwo63, 0.0), -1024, std::nullopt},
    {"just above -2^63", kMetresUnit, std::nextafter(-kTwo63, 0.0), 1024, std::nullopt},
    {"2^31 - 1", kMetresUnit, 2147483647.0, 2147483647, std::nullopt},
    {"2^31 wraps", kMetresUnit, 2147483648.0, std::numeric_limits<int32_t>::min(), std::nullopt},
    {"-2^31", kMetresUnit, -2147483648.0, std::numeric_limits<int32_t>::min(), std::nullopt},
    {"-2^31 - 1 wraps", kMetresUnit, -2147483649.0, 2147483647, std::nullopt},
    {"2^32 keeps the low word", kMetresUnit, kTwo32, 0, 90.0},
    {"2^32 + 5", kMetresUnit, kTwo32 + 5.0, 5, 91.0},
    {"1e12", kMetresUnit, 1e12, std::nullopt, std::nullopt},
    {"1000 ft", 0.0, 1000.0, 304, 199.0},
    {"3281 ft", 0.0, 3281.0, 1000, 450.0},
    {"82.02 ft", 0.0, 82.02, 24, 98.0},
    {"82.03 ft", 0.0, 82.03, 25, 99.0},
    {"-1 ft", 0.0, -1.0, 0, 90.0},
    {"-10 ft", 0.0, -10.0, -3, 88.0},
    {"NaN ft", 0.0, kNaN, 0, 90.0},
    // The feet product of these lies below the normal range, where the x87
    // rounds twice; it truncates to 0 m either way.
    {"smallest subnormal ft", 0.0, 4.9406564584124654e-324, 0, 90.0},
    {"largest subnormal ft", 0.0, FromBits(0x000FFFFFFFFFFFFF), 0, 90.0},
    {"smallest normal ft", 0.0, std::numeric_limits<double>::min(), 0, 90.0},
    {"minus smallest normal ft", 0.0, -std::numeric_limits<double>::min(), 0, 90.0},
    {"largest double ft", 0.0, std::numeric_limits<double>::max(), 0, 90.0},
    {"429.79 ft: survey foot, not international", 0.0, 429.79, 131, 137.0},
    {"units NaN mean feet", kNaN, 1000.0, 304, 199.0},
    {"units -2 mean feet", -2.0, 1000.0, 304, 199.0},
    {"units infinity mean feet", kInf, 1000.0, 304, 199.0},
};

// Every case, and each feet case again under every units value that is not
// exactly 2.0, under every control word: the needle's bits as computed here
// and as the issue gives them, altitude_metres as the figure in whole metres,
// the needle's record untouched.
TEST_F(LandingModule, NeedleAndAltitudeMetresExactUnderEveryControlWord) {
  InstallAndBind();
  const uint32_t metres_at = AltitudeMetresAddress();
  ASSERT_NE(metres_at, 0u);
  for (const NeedleCase& c : kNeedleCases) {
    std::vector<double> units = {c.units};
    if (c.units == 0.0) units.assign(std::begin(kFeetUnits), std::end(kFeetUnits));
    for (double u : units) {
      for (uint16_t cw : kControlWords) {
        SCOPED_TRACE(std::string(c.name) + ", units bits " + std::to_string(Bits(u)) + ", " + ControlWordName(cw));
        const Altitude e = Expected(u, c.altitude);
        const ValueCall call = Needle(u, c.altitude, cw);
        EXPECT_EQ(Bits(call.result), Bits(e.needle)) << call.result << " expected " << e.needle;
        EXPECT_EQ(int32_t(Word(*session, metres_at)), e.metres);
        if (c.metres) {
          EXPECT_EQ(e.metres, *c.metres) << "the model disagrees with the issue";
        }
        if (c.needle) {
          EXPECT_EQ(Bits(call.result), Bits(*c.needle)) << call.result;
        }
        EXPECT_EQ(call.value_after, Bits(c.altitude)) << "the needle's value was written";
        EXPECT_EQ(call.control_word_after, cw);
      }
    }
  }
}

// Every multiple of 25 m up to 100000 m lands on its whole degree, 90 + 0.36 m,
// under every control word; and every whole metre in that range gives
// 90 + floor(36 m / 100).
TEST_F(LandingModule, NeedleLandsOnWholeDegreesUpTo100000Metres) {
  InstallAndBind();
  session->SetAudit(false);
  session->SetVariable(335, kMetresUnit);
  for (uint16_t cw : kControlWords) {
    SCOPED_TRACE(ControlWordName(cw));
    int mismatches = 0;
    for (int64_t m = 0; m <= 100000; m += 25) {
      const double r = CallValueFunction(*session, needle_callback, needle_variable, double(m), cw).result;
      if (Bits(r) != Bits(double(90 + 36 * m / 100)) && ++mismatches <= 5) ADD_FAILURE() << m << " m gives " << r;
    }
    EXPECT_EQ(mismatches, 0);
  }
  int mismatches = 0;
  for (int64_t m = 0; m <= 100000; ++m) {
    const double r = CallValueFunction(*session, needle_callback, needle_variable, double(m), 0x027F).result;
    if (Bits(r) != Bits(double(90 + 36 * m / 100)) && ++mismatches <= 5) ADD_FAILURE() << m << " m gives " << r;
  }
  EXPECT_EQ(mismatches, 0);
}

// GaugeInitialize: InitializeElements(top element), then BindVariable on
// LandingUnits, a free-standing variable 335 in writable data, and nothing else.
TEST_F(LandingModule, InitializeBindsTheUnitsVariable) {
  session->Install(0);
  session->ClearLogs();
  session->Initialize();
  const std::vector<ServiceCall>& calls = session->service_calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "InitializeElements");
  EXPECT_EQ(calls[0].args, std::vector<uint32_t>{chain.face});
  EXPECT_EQ(calls[1].name, "BindVariable");
  ASSERT_EQ(calls[1].args.size(), 1u);
  const uint32_t units = calls[1].args[0];
  ExpectWritable(*session, units, Variable::kSize, "LandingUnits");
  ExpectFields(*session, units, {RECORD_FIELD(Variable, id, 335),
                                 RECORD_ZEROS(Variable, "host_pointer, value_type, value, previous_value", host_pointer,
                                              kSize)});
  for (const ElementInfo& e : session->records().elements()) {
    const uint32_t size = RecordSize(*ElementRecordType(e.kind));
    EXPECT_FALSE(units + Variable::kSize > e.address && units < e.address + size) << "LandingUnits lies in " << e.role;
  }
  session->ClearLogs();
  session->Initialize();
  ASSERT_EQ(session->service_calls().size(), 2u) << "each GaugeInitialize binds again";
  EXPECT_EQ(session->service_calls()[1].args, std::vector<uint32_t>{units});
}

// One ReadVariable(LandingUnits) per needle call, before the altitude or the
// units value is read; the needle's own record goes to no service; the only
// module data written is altitude_metres, a 4-byte word outside the records.
TEST_F(LandingModule, NeedleReadsUnitsFirstAndWritesOnlyAltitudeMetres) {
  const uint32_t units = InstallAndBind();
  ASSERT_NE(units, 0u);
  const uint32_t value = needle_variable + kValue;
  for (const NeedleCase& c : kNeedleCases) {
    SCOPED_TRACE(c.name);
    const ValueCall call = Needle(c.units, c.altitude);
    ASSERT_EQ(call.services.size(), 1u);
    const ServiceCall& read = call.services[0];
    EXPECT_EQ(read.name, "ReadVariable");
    EXPECT_EQ(read.args, std::vector<uint32_t>{units});
    int altitude_reads = 0, units_reads = 0, writes = 0;
    for (const AuditEntry& a : call.accesses) {
      const bool in_record = session->NameAddress(a.address).has_value();
      if (a.write) {
        ++writes;
        EXPECT_FALSE(in_record) << "wrote " << a.record << "." << a.field;
        EXPECT_EQ(a.size, 4u);
        EXPECT_TRUE(SectionOf(*session, a.address, 4) && SectionOf(*session, a.address, 4)->writable());
      }
      if (Touches(a, value, 8)) {
        ++altitude_reads;
        EXPECT_GT(a.sequence, read.sequence) << "altitude read before ReadVariable";
      }
      if (Touches(a, units + kValue, 8)) {
        ++units_reads;
        EXPECT_GT(a.sequence, read.sequence) << "units read before ReadVariable";
      }
      if (in_record && !a.write) {
        EXPECT_TRUE(Touches(a, value, 8) || Touches(a, units + kValue, 8) || Touches(a, ServiceTableWord(*session), layout::kWord))
            << "read " << a.record << "." << a.field;
      }
    }
    EXPECT_GT(altitude_reads, 0);
    EXPECT_GT(units_reads, 0);
    EXPECT_EQ(writes, 1);
    for (const ServiceCall& s : call.services)
      for (uint32_t arg : s.args) EXPECT_FALSE(arg >= chain.needle && arg < chain.needle + Needle::kSize) << s.name;
  }
}

// ---- drum ------------------------------------------------------------------

// Before any needle call the drum stands at 0 (0 m / -55.555, a negative zero).
TEST_F(LandingModule, DrumIsZeroBeforeAnyNeedleCall) {
  InstallAndBind();
  for (uint16_t cw : kControlWords) {
    SCOPED_TRACE(ControlWordName(cw));
    const ValueCall call = Drum(cw);
    EXPECT_EQ(Bits(call.result), Bits(-0.0)) << call.result;
    EXPECT_TRUE(call.services.empty());
  }
}

struct DrumCase {
  const char* name;
  double altitude;  // metres
  std::optional<double> drum;  // as the issue gives it, to its decimals
};

const DrumCase kDrumCases[] = {
    {"0 m", 0.0, -0.0},
    {"500 m", 500.0, -9.00009},
    {"1000 m", 1000.0, -18.00018},
    {"2000 m", 2000.0, -36.00036},
    {"2777 m", 2777.0, std::nullopt},
    {"-1 m, signed", -1.0, 0.018000180},
    {"-1000 m", -1000.0, 18.00018},
    {"NaN", kNaN, -0.0},
    {"2^31 wraps", 2147483648.0, std::nullopt},
    {"2^32 + 5", kTwo32 + 5.0, std::nullopt},
};

// The drum divides the metres the needle last stored by -55.555, reading
// that word and nothing else of the module's data; its argument is not read
// (an argument of 0 or garbage is fine).
TEST_F(LandingModule, DrumFollowsTheLastNeedleCall) {
  InstallAndBind();
  const uint32_t metres_at = AltitudeMetresAddress();
  ASSERT_NE(metres_at, 0u);
  for (const DrumCase& c : kDrumCases) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE(std::string(c.name) + ", " + ControlWordName(cw));
      Needle(kMetresUnit, c.altitude, cw);
      const double expected = Expected(kMetresUnit, c.altitude).drum;
      for (uint32_t argument : {0u, 0xDEADBEEFu, needle_variable}) {
        const ValueCall call = Drum(cw, argument);
        EXPECT_EQ(Bits(call.result), Bits(expected)) << call.result << " expected " << expected;
        if (c.drum) {
          EXPECT_NEAR(call.result, *c.drum, 1e-5);
          EXPECT_EQ(std::signbit(call.result), std::signbit(*c.drum));
        }
        EXPECT_EQ(call.control_word_after, cw);
        EXPECT_TRUE(call.services.empty());
        int metres_reads = 0;
        for (const AuditEntry& a : call.accesses) {
          EXPECT_FALSE(a.write) << a.record << "." << a.field;
          EXPECT_FALSE(session->NameAddress(a.address)) << "read " << a.record << "." << a.field;
          metres_reads += a.address == metres_at && a.size == 4;
        }
        EXPECT_EQ(metres_reads, 1);
      }
    }
  }
}

// ---- readout ---------------------------------------------------------------

struct ReadoutCase {
  const char* name;
  double value;
  const char* text;  // as the issue gives it, or null
};

const ReadoutCase kReadoutCases[] = {
    {"0", 0.0, "   0"},
    {"minus zero", -0.0, "   0"},
    {"5.7", 5.7, "   5"},
    {"-3.2", -3.2, "  -3"},
    {"-0.7", -0.7, "   0"},
    {"12", 12.0, "  12"},
    {"999", 999.0, " 999"},
    {"9999", 9999.0, "9999"},
    {"9999.9", 9999.9, "9999"},
    {"10000 shows 9999", 10000.0, "9999"},
    {"123456 shows 9999", 123456.0, "9999"},
    {"2^32 + 5 shows 9999", kTwo32 + 5.0, "9999"},
    {"1e300 shows 9999", 1e300, "9999"},
    {"infinity shows 9999", kInf, "9999"},
    {"-999", -999.0, "-999"},
    {"-999.5", -999.5, "-999"},
    {"-999.99", -999.99, "-999"},
    {"-1000 shows -999", -1000.0, "-999"},
    {"-2^31 shows -999", -2147483648.0, "-999"},
    {"minus infinity shows -999", -kInf, "-999"},
    {"quiet NaN", kNaN, "   0"},
    {"NaN with payload", FromBits(0xFFF8DEADBEEF0001), "   0"},
    {"smallest subnormal", 4.9406564584124654e-324, "   0"},
};

// The text in the guarded buffer of char_count + 1 bytes: exactly the four
// cells and the zero, nothing written outside it or past the zero; the value
// returned unchanged; no module data written, no service called.
TEST_F(LandingModule, ReadoutWritesFourCellsInsideItsBuffer) {
  InstallAndBind();
  for (const ReadoutCase& c : kReadoutCases) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE(std::string(c.name) + ", " + ControlWordName(cw));
      GiveTextBuffer(false);
      const ValueCall call = CallValueFunction(*session, readout_callbacks[0], readout_variable, c.value, cw);
      const std::string expected = ExpectedText(c.value);
      EXPECT_EQ(expected, c.text) << "the model disagrees with the issue";
      const auto bytes = RegionBytes();
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + kGuard), 4), expected);
      for (uint32_t i = 0; i < kRegion; ++i) {
        if (i >= kGuard && i < kGuard + 4) continue;
        EXPECT_EQ(bytes[i], i == kGuard + 4 ? 0 : kGuardByte) << "byte " << int(i) - int(kGuard) << " of the buffer";
      }
      EXPECT_EQ(Bits(call.result), Bits(c.value));
      EXPECT_EQ(call.value_after, Bits(c.value));
      EXPECT_EQ(call.control_word_after, cw);
      EXPECT_TRUE(call.services.empty());
      for (const AuditEntry& a : call.accesses) EXPECT_FALSE(a.write) << a.record << "." << a.field;
    }
  }
}

// The module trusts char_count for the buffer's size: with other counts it
// writes at most char_count characters and the zero (nothing at all for a
// negative count); while text is null it writes nothing at all and still
// returns the value.
TEST_F(LandingModule, ReadoutStaysInsideCharCountPlusOneAndSkipsNullText) {
  InstallAndBind();
  for (uint32_t char_count = 0; char_count <= 8; ++char_count) {
    for (double value : {0.0, -12.0, 9999.0, 123456.0, -1e9}) {
      SCOPED_TRACE("char_count " + std::to_string(char_count) + ", value " + std::to_string(value));
      session->emulator().WriteWord(chain.readout + String::char_count, char_count);
      GiveTextBuffer(false);
      CallValueFunction(*session, readout_callbacks[0], readout_variable, value, 0x027F);
      const std::string text = ExpectedText(value).substr(0, char_count);
      const auto bytes = RegionBytes();
      for (uint32_t i = 0; i < kRegion; ++i) {
        const uint32_t at = i - kGuard;
        const int expected = i < kGuard || at > text.size() ? kGuardByte : at == text.size() ? 0 : text[at];
        EXPECT_EQ(bytes[i], expected) << "byte " << int(i) - int(kGuard) << " of the buffer";
      }
    }
  }
  for (int32_t char_count : {-1, -2, std::numeric_limits<int32_t>::min()}) {
    SCOPED_TRACE("char_count " + std::to_string(char_count));
    session->emulator().WriteWord(chain.readout + String::char_count, uint32_t(char_count));
    GiveTextBuffer(false);
    CallValueFunction(*session, readout_callbacks[0], readout_variable, 12.0, 0x027F);
    const auto bytes = RegionBytes();
    for (uint32_t i = 0; i < kRegion; ++i) EXPECT_EQ(bytes[i], kGuardByte) << "byte " << i;
  }
  session->emulator().WriteWord(chain.readout + String::char_count, 4);
  for (double value : {0.0, 5.7, 123456.0, kNaN}) {
    SCOPED_TRACE(value);
    GiveTextBuffer(true);
    const ValueCall call = CallValueFunction(*session, readout_callbacks[0], readout_variable, value, 0x027F);
    EXPECT_EQ(Bits(call.result), Bits(value));
    const auto bytes = RegionBytes();
    for (uint32_t i = 0; i < kRegion; ++i) EXPECT_EQ(bytes[i], kGuardByte) << "byte " << i;
    for (const AuditEntry& a : call.accesses) EXPECT_FALSE(a.write) << a.record << "." << a.field;
  }
}

// ---- pass-through functions -------------------------------------------------

const uint64_t kPassBits[] = {
    0x0000000000000000, 0x8000000000000000, 0x3FF0000000000000, 0xC08F3F3333333333, 0x0000000000000001,
    0x000FFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFF, 0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000000,
    0xFFF8DEADBEEF0001, 0x4000000000000001,
};

// The readout's second and third callbacks return their record's value, and
// real_function its argument, bit for bit (NaN payloads and -0 included),
// reading nothing else and writing nothing.
TEST_F(LandingModule, PassThroughFunctionsReturnTheirInputBits) {
  InstallAndBind();
  EXPECT_EQ(readout_callbacks[1], readout_callbacks[2]);
  for (uint64_t bits : kPassBits) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE("bits " + std::to_string(bits) + ", " + ControlWordName(cw));
      for (uint32_t slot : {1u, 2u}) {
        const uint32_t variable = readout_variable + Variable::kSize * slot;
        const ValueCall call = CallValueFunction(*session, readout_callbacks[slot], variable, FromBits(bits), cw);
        EXPECT_EQ(Bits(call.result), bits) << "value_callbacks[" << slot << "]";
        EXPECT_EQ(call.value_after, bits);
        EXPECT_TRUE(call.services.empty());
        for (const AuditEntry& a : call.accesses) {
          EXPECT_FALSE(a.write) << a.record << "." << a.field;
          EXPECT_TRUE(Touches(a, variable + kValue, 8) || !session->NameAddress(a.address)) << a.record << "." << a.field;
        }
      }
      session->emulator().SetFpuControlWord(cw);
      session->ClearLogs();
      const double r = session->CallDouble(real_function, {uint32_t(bits), uint32_t(bits >> 32)});
      EXPECT_EQ(Bits(r), bits) << "real_function";
      EXPECT_EQ(session->emulator().fpu_control_word(), cw);
      EXPECT_TRUE(session->service_calls().empty());
      for (const AuditEntry& a : session->audit()) EXPECT_FALSE(a.write) << a.record << "." << a.field;
    }
  }
}

// ---- the host's frame ------------------------------------------------------

// Through the host's update: the chain runs face, drum, readout, needle, so
// the drum shows the metres of the previous update; the readout shows
// variable 75 in the host's guarded buffer; the module writes no record.
TEST_F(LandingModule, FrameEvaluatesDrumBeforeNeedle) {
  InstallAndBind();
  session->SetVariable(335, kMetresUnit);
  struct Step {
    double altitude, readout;
  };
  double previous_drum = -0.0;
  for (Step step : {Step{1000.0, 12.0}, Step{2000.0, -3.2}, Step{-1.0, 123456.0}, Step{0.0, kNaN}}) {
    SCOPED_TRACE(step.altitude);
    session->SetVariable(74, step.altitude);
    session->SetVariable(75, step.readout);
    const std::vector<ElementSnapshot> frame = session->RunUpdateCycle();
    ASSERT_EQ(frame.size(), 4u);
    const auto& drum = std::get<SpriteState>(frame[1]);
    const auto& readout = std::get<StringState>(frame[2]);
    const auto& needle = std::get<NeedleState>(frame[3]);
    ASSERT_TRUE(drum.result);
    EXPECT_EQ(Bits(*drum.result), Bits(previous_drum));
    ASSERT_EQ(readout.results.size(), 3u);
    EXPECT_EQ(readout.text, ExpectedText(step.readout));
    EXPECT_EQ(Bits(readout.results[0]), Bits(step.readout));
    ASSERT_TRUE(readout.real_result);
    EXPECT_EQ(Bits(*readout.real_result), Bits(step.readout));
    ASSERT_TRUE(needle.result);
    EXPECT_EQ(Bits(*needle.result), Bits(Expected(kMetresUnit, step.altitude).needle));
    previous_drum = Expected(kMetresUnit, step.altitude).drum;
  }
  session->Kill();
  for (const AuditEntry& a : session->audit())
    EXPECT_FALSE(a.write && session->NameAddress(a.address)) << a.record << "." << a.field;
}

// ---- knob ------------------------------------------------------------------

struct ClickCase {
  int32_t x, y;
  int area;  // mouse-area index, -1 for none
  uint32_t event;
};

const ClickCase kClickCases[] = {
    {110, 280, 1, 0x1015C}, {139, 329, 1, 0x1015C}, {124, 304, 1, 0x1015C}, {110, 329, 1, 0x1015C},
    {145, 280, 2, 0x1015B}, {174, 329, 2, 0x1015B}, {160, 304, 2, 0x1015B}, {174, 280, 2, 0x1015B},
    {140, 300, -1, 0},      {144, 300, -1, 0},      {109, 300, -1, 0},      {175, 300, -1, 0},
    {120, 279, -1, 0},      {120, 330, -1, 0},      {150, 145, -1, 0},      {0, 0, -1, 0},
    {-1, -1, -1, 0},        {std::numeric_limits<int32_t>::max(), 300, -1, 0},
};

// Nothing is sent at install; a click in the left half sends 0x1015C, in the
// right half 0x1015B, each with parameter 0 and result 1; the 5-pixel strip
// and everything outside the halves reach no function.
TEST_F(LandingModule, KnobHalvesSendTheirEvents) {
  InstallAndBind();
  for (const ServiceCall& call : session->service_calls()) EXPECT_NE(call.name, "SendEvent");
  for (const ClickCase& c : kClickCases) {
    SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
    session->ClearLogs();
    const ClickResult click = session->Click(c.x, c.y);
    if (c.area < 0) {
      EXPECT_FALSE(click.hit);
      EXPECT_TRUE(session->service_calls().empty());
      continue;
    }
    ASSERT_TRUE(click.hit);
    EXPECT_EQ(click.area_index, c.area);
    EXPECT_EQ(click.result, 1u);
    ASSERT_EQ(session->service_calls().size(), 1u);
    ASSERT_EQ(click.events.size(), 1u);
    EXPECT_EQ(click.events[0].args, (std::vector<uint32_t>{c.event, 0}));
  }
  session->ClearLogs();
  session->Kill();
  for (const ServiceCall& call : session->service_calls()) EXPECT_NE(call.name, "SendEvent");
}

// Each knob function called straight: whatever its two arguments, one
// SendEvent with its own number and 0, result 1, no module data touched
// apart from the service table's address.
TEST_F(LandingModule, KnobFunctionsIgnoreTheirArguments) {
  InstallAndBind();
  const std::vector<MouseAreaInfo> areas = session->MouseAreas();
  ASSERT_EQ(areas.size(), 5u);
  const std::pair<uint32_t, uint32_t> arguments[] = {{0, 0}, {0xFFFFFFFF, 0xFFFFFFFF}, {120, 300}, {0x80000000, 1}};
  for (auto [area, event] : {std::pair{1, 0x1015Cu}, {2, 0x1015Bu}}) {
    for (auto [a, b] : arguments) {
      SCOPED_TRACE("area " + std::to_string(area) + ", arguments " + std::to_string(a) + ", " + std::to_string(b));
      session->ClearLogs();
      EXPECT_EQ(session->CallWord(areas[area].function, {a, b}), 1u);
      ASSERT_EQ(session->service_calls().size(), 1u);
      EXPECT_EQ(session->service_calls()[0].name, "SendEvent");
      EXPECT_EQ(session->service_calls()[0].args, (std::vector<uint32_t>{event, 0}));
      for (const AuditEntry& access : session->audit()) {
        EXPECT_FALSE(access.write) << access.record << "." << access.field;
        EXPECT_TRUE(Touches(access, ServiceTableWord(*session), layout::kWord)) << access.record << "." << access.field;
      }
    }
  }
}

// gauge-host click: the same events through the command line.
std::string RunClickCommand(int32_t x, int32_t y) {
  const std::string command = std::string(GAUGE_HOST_COMMAND) + " click '" + ShippedPath("Tavoran_Landing") +
                              "' " + std::to_string(x) + " " + std::to_string(y) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  std::string out;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int status = pclose(pipe);
  if (status != 0) out += "exit status " + std::to_string(status);
  return out;
}

TEST(LandingClickCommand, PrintsTheEventOfTheHalfUnderThePixel) {
  for (const ClickCase& c : kClickCases) {
    if (c.x == std::numeric_limits<int32_t>::max()) continue;
    SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.y));
    const std::string out = RunClickCommand(c.x, c.y);
    if (c.area < 0) {
      EXPECT_EQ(out, "no mouse area at (" + std::to_string(c.x) + ", " + std::to_string(c.y) + "): nothing sent\n");
      continue;
    }
    char event[64];
    std::snprintf(event, sizeof event, "  event 0x%X, parameter 0x0\n", c.event);
    const std::string head = "hit mouse areas[" + std::to_string(c.area) + "], function 0x";
    EXPECT_EQ(out.rfind(head, 0), 0u) << out;
    EXPECT_NE(out.find(", result 1\n" + std::string(event)), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
  }
}

// ---- records -----------------------------------------------------------------

TEST_F(LandingModule, HeaderAndChain) {
  const GaugeSession& s = *session;
  ExpectGaugeHeader(s, {chain.header, chain.top_ref, chain.face, chain.face_children, chain.drum},
                    "Tavoran_Landing", 100);
  const std::pair<uint32_t, uint32_t> links[] = {
      {chain.face_children, chain.drum}, {chain.drum_children, chain.readout}, {chain.readout_children, chain.needle}};
  for (auto [children, next] : links) {
    SCOPED_TRACE("children array at " + std::to_string(children));
    ExpectWritable(s, children, 2 * layout::kWord, "children");
    ExpectFields(s, children, {{"[0]", 0, layout::kWord, next}, {"[1]", layout::kWord, layout::kWord, 0}});
  }
  const std::vector<ElementSnapshot> states = s.ElementStates();
  ASSERT_EQ(states.size(), 4u);
  const uint32_t order[] = {chain.face, chain.drum, chain.readout, chain.needle};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(Common(states[i]).address, order[i]) << "element " << i;
}

// The head every element shares, then the fields of its own kind.
std::vector<Field> Head(const LandingChain& c, uint32_t kind, uint32_t bitmap, Point position, Point origin,
                        uint32_t children, uint32_t failures, uint32_t flags) {
  using P = layout::Point;
  return {RECORD_FIELD(ElementHead, kind, kind),
          RECORD_FIELD(ElementHead, bitmap_id, bitmap),
          {"position.x", ElementHead::position + P::x, 4, uint32_t(position.x)},
          {"position.y", ElementHead::position + P::y, 4, uint32_t(position.y)},
          RECORD_FIELD(ElementHead, host_point, 0),
          {"origin.x", ElementHead::origin + P::x, 4, uint32_t(origin.x)},
          {"origin.y", ElementHead::origin + P::y, 4, uint32_t(origin.y)},
          RECORD_FIELD(ElementHead, gauge, c.header),
          RECORD_FIELD(ElementHead, previous, 0),
          RECORD_FIELD(ElementHead, children, children),
          RECORD_FIELD(ElementHead, failures, failures),
          RECORD_FIELD(ElementHead, image_flags, flags),
          RECORD_FIELD(ElementHead, reserved, 0)};
}

std::vector<Field> Join(std::vector<Field> a, const std::vector<Field>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ElementRecord {
  const char* name;
  uint32_t address, size;
  std::vector<Field> fields;
};

TEST_F(LandingModule, ElementRecords) {
  const GaugeSession& s = *session;
  const uint32_t failures = Word(s, chain.face + kFailures);
  ASSERT_NE(failures, 0u);
  using P = layout::Point;
  constexpr uint32_t kFaceName = 11;  // "Courier New"
  const ElementRecord records[] = {
      {"LandingFace", chain.face, layout::StaticImage::kSize,
       Join(Head(chain, 0, 255, {0, 0}, {0, 0}, chain.face_children, failures, 1),
            {RECORD_FIELD(StaticImage, host_image, 0)})},
      {"LandingDrum", chain.drum, Sprite::kSize,
       Join(Head(chain, 6, 12288, {20, 0}, {149, 129}, chain.drum_children, failures, 1),
            {RECORD_ZEROS(Sprite, "variables, host_values", variables, value_callback),
             {"factor low word", Sprite::factor, 4, 0},
             {"factor high word", Sprite::factor + layout::kWord, 4, 0x3FF00000},
             {"factor_pair[0]", Sprite::factor_pair, 4, 0x3F800000},
             {"factor_pair[1]", Sprite::factor_pair + 4, 4, 0x3F800000},
             RECORD_FIELD(Sprite, host_tail, 0)})},
      {"LandingReadout", chain.readout, String::kSize,
       Join(Head(chain, 2, 0xFFFFFFFF, {115, 50}, {0, 0}, chain.readout_children, failures, 4),
            {{"variables[0].id", String::variables + Variable::id, 4, 75},
             {"variables[0] rest, variables[1], variables[2], host_values", String::variables + Variable::host_pointer,
              String::value_callbacks - String::variables - Variable::host_pointer, 0},
             RECORD_ZEROS(String, "text, reserved", text, text_size),
             {"text_size.width", String::text_size + P::x, 4, 60},
             {"text_size.height", String::text_size + P::y, 4, 27},
             RECORD_FIELD(String, reserved_box, 0),
             RECORD_FIELD(String, text_colour, 0x00CDCDCD),
             RECORD_FIELD(String, reserved_colours, 0),
             {"font_face tail", String::font_face + kFaceName, String::font_face_bytes - kFaceName, 0},
             RECORD_FIELD(String, font_weight, 400),
             RECORD_FIELD(String, font_charset, 1),
             RECORD_FIELD(String, text_format, 0x25),
             RECORD_FIELD(String, char_count, 4),
             RECORD_FIELD(String, host_tail, 0)})},
      {"LandingNeedle", chain.needle, Needle::kSize,
       Join(Head(chain, 1, 8192, {150, 145}, {52, 18}, 0, failures, 3),
            {{"variable.id", Needle::variable + Variable::id, 4, 74},
             {"variable.host_pointer, value_type, value, previous_value", Needle::variable + Variable::host_pointer,
              Variable::kSize - Variable::host_pointer, 0},
             RECORD_FIELD(Needle, needle_host_words, 0),
             {"needle_point.x", Needle::needle_point + P::x, 4, 15},
             {"needle_point.y", Needle::needle_point + P::y, 4, 15},
             RECORD_ZEROS(Needle, "calibration, calibration_count", calibration, step_limit),
             RECORD_FIELD(Needle, step_limit, 90),
             RECORD_FIELD(Needle, host_tail, 0)})},
  };
  for (const ElementRecord& r : records) {
    SCOPED_TRACE(r.name);
    ExpectWritable(s, r.address, r.size, r.name);
    ExpectFields(s, r.address, r.fields);
  }
  char face[kFaceName + 1] = {};
  s.emulator().Read(chain.readout + String::font_face, face, kFaceName);
  EXPECT_STREQ(face, "Courier New");
  // The function slots: each a routine of the module; the readout's in the
  // order formatting, pass-through, pass-through, identity.
  const std::pair<uint32_t, const char*> routines[] = {
      {drum_callback, "LandingDrum.value_callback"},        {readout_callbacks[0], "value_callbacks[0]"},
      {readout_callbacks[1], "value_callbacks[1]"},         {readout_callbacks[2], "value_callbacks[2]"},
      {real_function, "real_function"},                     {needle_callback, "LandingNeedle.value_callback"}};
  for (auto [routine, name] : routines) ExpectRoutine(s, routine, name);
  EXPECT_NE(readout_callbacks[0], readout_callbacks[1]);
  EXPECT_NE(real_function, readout_callbacks[1]);
  // One failure list, (1, 2) and the all-zero end, named by all four elements.
  using F = layout::FailureEntry;
  ExpectWritable(s, failures, 2 * F::kSize, "LandingFailures");
  ExpectFields(s, failures, {{"[0].key", F::key, 4, 1}, {"[0].action", F::action, 4, 2},
                             {"[0].reserved", F::reserved, 4, 0}, {"[1]", F::kSize, F::kSize, 0}});
}

// The five-entry list GaugeInstall hands over: parent, the two knob halves,
// end of parent, end of list.
TEST_F(LandingModule, MouseAreaList) {
  session->Install(0);
  const std::vector<ServiceCall>& calls = session->service_calls();
  ASSERT_EQ(calls.size(), 3u);
  ASSERT_EQ(calls[1].name, "InstallMouseAreas");
  const uint32_t list = calls[1].args[0];
  EXPECT_EQ(calls[1].args[1], chain.header);
  EXPECT_EQ(calls[2].args, (std::vector<uint32_t>{list, chain.header}));
  using A = layout::MouseArea;
  using B = layout::Box;
  ExpectWritable(*session, list, 5 * A::kSize, "LandingMouseAreas");
  const auto plain = [](uint32_t type) {
    return std::vector<Field>{RECORD_FIELD(MouseArea, area_type, type), RECORD_FIELD(MouseArea, box, 0),
                              RECORD_FIELD(MouseArea, cursor, 0xFFFFFFFF),
                              RECORD_ZEROS(MouseArea, "help_code, area_flags, event_code, function, extra", help_code,
                                           kSize)};
  };
  const auto knob = [](int32_t x, uint32_t cursor) {
    return std::vector<Field>{RECORD_FIELD(MouseArea, area_type, 2),
                              {"box.x", A::box + B::x, 4, uint32_t(x)},
                              {"box.y", A::box + B::y, 4, 280},
                              {"box.width", A::box + B::width, 4, 30},
                              {"box.height", A::box + B::height, 4, 50},
                              RECORD_FIELD(MouseArea, cursor, cursor),
                              RECORD_FIELD(MouseArea, help_code, 0),
                              RECORD_FIELD(MouseArea, area_flags, 0x20200000),
                              RECORD_FIELD(MouseArea, event_code, 0),
                              RECORD_FIELD(MouseArea, extra, 0)};
  };
  const std::vector<Field> entries[] = {plain(1), knob(110, 2), knob(145, 1), plain(3), plain(0)};
  for (uint32_t i = 0; i < 5; ++i) {
    SCOPED_TRACE("mouse area " + std::to_string(i));
    ExpectFields(*session, list + A::kSize * i, entries[i]);
  }
  const uint32_t left = Word(*session, list + A::kSize + A::function);
  const uint32_t right = Word(*session, list + 2 * A::kSize + A::function);
  ExpectRoutine(*session, left, "LandingKnobLeft");
  ExpectRoutine(*session, right, "LandingKnobRight");
  EXPECT_NE(left, right);
  EXPECT_EQ(session->MouseAreas().size(), 5u);
}

TEST_F(LandingModule, BitmapResources) {
  ExpectBitmapResources(*session, {{255, 296, 334, "landing_altimeter/art/face.bmp"},
                                   {8192, 150, 38, "landing_altimeter/art/needle.bmp"},
                                   {12288, 256, 256, "landing_altimeter/art/drum.bmp"},
                                   {12291, 256, 256, "landing_altimeter/art/drum_window.bmp"}});
  EXPECT_EQ(NamedResourceEntries(ShippedPath("Tavoran_Landing")), 0);
}

}  // namespace
}  // namespace gauge::test
