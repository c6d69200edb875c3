// The shipped Velkor_Climb module driven by the stand-in host: the needle
// function's clamp and write-back reached through its record slot, bit for
// bit, and the records (calibration table included) as the host finds them
// in the loaded image.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include "shipped_module.h"

namespace gauge::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The clamp to the table's range, as the needle applies it to its record.
double Clamped(double v) {
  if (v > 5850.0) v = 5850.0;
  if (!(v >= -5850.0)) v = -5850.0;
  return v;
}

class ClimbModule : public ShippedGaugeTest {
 protected:
  void SetUp() override { Load("Velkor_Climb"); }
};

struct ClampCase {
  const char* name;
  double input;
  std::optional<double> result;  // as the edge cases give it
  bool written;                  // the record's value rewritten
};

const ClampCase kClampCases[] = {
    {"zero", 0.0, 0.0, false},
    {"minus zero", -0.0, -0.0, false},
    {"smallest subnormal", 4.9406564584124654e-324, std::nullopt, false},
    {"climb 5", 975.0, 975.0, false},
    {"descent 10", -1950.0, -1950.0, false},
    {"upper bound", 5850.0, 5850.0, false},
    {"lower bound", -5850.0, -5850.0, false},
    {"just above the upper bound", std::nextafter(5850.0, kInf), 5850.0, true},
    {"just below the upper bound", std::nextafter(5850.0, 0.0), std::nullopt, false},
    {"just below the lower bound", std::nextafter(-5850.0, -kInf), -5850.0, true},
    {"just above the lower bound", std::nextafter(-5850.0, 0.0), std::nullopt, false},
    {"6000", 6000.0, 5850.0, true},
    {"-9000", -9000.0, -5850.0, true},
    {"largest double", std::numeric_limits<double>::max(), 5850.0, true},
    {"lowest double", std::numeric_limits<double>::lowest(), -5850.0, true},
    {"infinity", kInf, 5850.0, true},
    {"minus infinity", -kInf, -5850.0, true},
    {"quiet NaN", FromBits(0x7FF8000000000000), -5850.0, true},
    {"negative NaN", FromBits(0xFFF8000000000000), -5850.0, true},
    {"signalling NaN", FromBits(0x7FF0000000000001), -5850.0, true},
    {"NaN with payload", FromBits(0x7FF8DEADBEEF0001), -5850.0, true},
};

// Every case under every control word: the clamped bits returned and left
// in the record; a write into the needle's value exactly when it changes,
// covering all eight bytes, and no other write; no service call.
TEST_F(ClimbModule, NeedleValueClampsAndWritesBackUnderEveryControlWord) {
  const uint32_t value = variable + layout::Variable::value;
  for (const ClampCase& c : kClampCases) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE(std::string(c.name) + ", " + ControlWordName(cw));
      const ValueCall call = CallValueFunction(*session, callback, variable, c.input, cw);
      const double expected = Clamped(c.input);
      EXPECT_EQ(Bits(call.result), Bits(expected)) << call.result;
      if (c.result) {
        EXPECT_EQ(Bits(call.result), Bits(*c.result)) << call.result;
      }
      EXPECT_EQ(call.value_after, Bits(expected));
      EXPECT_EQ(c.written, Bits(expected) != Bits(c.input));
      EXPECT_EQ(call.control_word_after, cw);
      EXPECT_TRUE(call.services.empty());
      uint32_t written_bytes = 0;
      for (const AuditEntry& a : call.accesses) {
        if (!a.write) continue;
        EXPECT_TRUE(a.address >= value && a.address + a.size <= value + 8) << a.record << "." << a.field;
        EXPECT_EQ(a.record, "element[1] (needle)");
        EXPECT_EQ(a.field, "variable.value");
        for (uint32_t b = 0; b < 8; ++b) written_bytes |= Touches(a, value + b, 1) << b;
      }
      EXPECT_EQ(written_bytes, c.written ? 0xFFu : 0u);
    }
  }
}

// Through the host's own frame: variable 65 goes into the record, the
// clamped value comes back and stays in the record until the next frame.
TEST_F(ClimbModule, FrameDeliversTheClampedValue) {
  session->Install(0);
  session->Initialize();
  for (double speed : {6000.0, 0.0, -9000.0, 1950.0}) {
    SCOPED_TRACE(speed);
    session->SetVariable(65, speed);
    const std::vector<ElementSnapshot> frame = session->RunUpdateCycle();
    ASSERT_EQ(frame.size(), 2u);
    const std::optional<double> value = std::get<NeedleState>(frame[1]).result;
    ASSERT_TRUE(value);
    EXPECT_EQ(Bits(*value), Bits(Clamped(speed)));
    EXPECT_EQ(Bits(session->emulator().ReadDouble(variable + layout::Variable::value)), Bits(Clamped(speed)));
  }
}

TEST_F(ClimbModule, HeaderAndLifecycle) {
  ExpectGaugeHeader(*session, chain, "Velkor Climber", 100);
  ExpectInitializeForwardsOnly(*session, chain);
}

// The face without a failure list, the needle with (19, 1), (3, 2) and
// the nine-entry table.
TEST_F(ClimbModule, ElementRecordsAndTheNeedlesFailureList) {
  const uint32_t failures = Word(*session, chain.needle + layout::ElementHead::failures);
  const uint32_t table = Word(*session, chain.needle + layout::Needle::calibration);
  ExpectFaceRecord(*session, chain, 4096, 0, 0x11);
  EXPECT_NE(table, 0u);
  ExpectNeedleRecord(*session, chain,
                     {.bitmap_id = 4352, .position = {150, 150}, .origin = {11, 11}, .failures = failures,
                      .variable_id = 65, .needle_point = {106, 11}, .calibration = table,
                      .calibration_count = 9, .step_limit = 3});
  ExpectFailureList(*session, failures, {{19, 1}, {3, 2}});
}

// The nine points on the painted marks, ascending, their directions from
// the pivot as the scale gives them (to a tenth of a degree), 117 to 123
// pixels out; the needle function keeps its result between the ends.
TEST_F(ClimbModule, CalibrationTable) {
  GaugeSession& s = *session;
  const uint32_t table = Word(s, chain.needle + layout::Needle::calibration);
  using C = layout::CalibrationPoint;
  ExpectWritable(s, table, 9 * C::kSize, "ClimbCalibration");
  const struct {
    int32_t x, y;
    double value, direction;
  } points[] = {
      {226, 239, -5850.0, 49.5}, {184, 262, -3900.0, 73.1}, {133, 266, -1950.0, 98.3},
      {75, 243, -975.0, 128.9},  {33, 151, 0.0, 179.5},     {70, 57, 975.0, 229.3},
      {131, 31, 1950.0, 260.9},  {190, 37, 3900.0, 289.5},  {226, 55, 5850.0, 308.7},
  };
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i + 1));
    const uint32_t entry = table + C::kSize * uint32_t(i);
    const auto& p = points[i];
    ExpectFields(s, entry, {{"point.x", C::point + layout::Point::x, 4, uint32_t(p.x)},
                            {"point.y", C::point + layout::Point::y, 4, uint32_t(p.y)},
                            {"host_value", C::host_value, C::host_value_bytes, 0}});
    EXPECT_EQ(Bits(s.emulator().ReadDouble(entry + C::value)), Bits(p.value));
    const double dx = p.x - 150.0, dy = p.y - 150.0;
    double direction = std::atan2(dy, dx) * 180 / std::numbers::pi;
    if (direction < 0) direction += 360;
    EXPECT_NEAR(direction, p.direction, 0.05);
    EXPECT_GE(std::hypot(dx, dy), 117.0);
    EXPECT_LE(std::hypot(dx, dy), 123.0);
  }
  const double first = s.emulator().ReadDouble(table + C::value);
  const double last = s.emulator().ReadDouble(table + 8 * C::kSize + C::value);
  EXPECT_EQ(Bits(CallValueFunction(*session, callback, variable, -kInf, 0x027F).result), Bits(first));
  EXPECT_EQ(Bits(CallValueFunction(*session, callback, variable, kInf, 0x027F).result), Bits(last));
}

TEST_F(ClimbModule, MouseListHasOnlyTheParentWithItsHelpCode) {
  ExpectListWithoutClickableAreas(*session, chain, 0xA42B);
}

TEST_F(ClimbModule, BitmapResources) {
  ExpectBitmapResources(*session, {{4096, 300, 326, "climb/art/face.bmp"},
                                   {4352, 107, 23, "climb/art/needle.bmp"}});
  EXPECT_EQ(NamedResourceEntries(ShippedPath("Velkor_Climb")), 0);
}

}  // namespace
}  // namespace gauge::test
