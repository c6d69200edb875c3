// The shipped Ostrel_Airspeed module driven by the stand-in host: the needle
// function reached through its record slot, bit for bit against the scale
// computed here, and the records as the host finds them in the loaded image.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "shipped_module.h"

namespace gauge::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The airspeed scale, each step rounded to double in the written order.
double ScaleAngle(double v) {
  if (v > 410) {
    v = 410;
  } else if (!(v >= 0)) {
    v = 0;
  }
  double r = 0.225 * v + 146.25;
  if (v > 50) r = (v - 50) * 2.25 + 157.5;
  if (v > 200) r = (v - 200) * 1.5 + 495;
  return r;
}

class AirspeedModule : public ShippedGaugeTest {
 protected:
  void SetUp() override { Load("Ostrel_Airspeed"); }
};

struct AngleCase {
  const char* name;
  double airspeed;
  std::optional<double> degrees;  // as the scale's reference points give it
};

const AngleCase kAngleCases[] = {
    {"zero", 0.0, 146.25},
    {"minus zero", -0.0, 146.25},
    {"smallest subnormal", 4.9406564584124654e-324, 146.25},
    {"minus smallest subnormal", -4.9406564584124654e-324, 146.25},
    // 0.225 times these lies below the normal range, where the x87 rounds
    // twice; the sum with 146.25 absorbs the product either way.
    {"largest subnormal", FromBits(0x000FFFFFFFFFFFFF), 146.25},
    {"smallest normal", std::numeric_limits<double>::min(), 146.25},
    {"smallest normal / 0.225", std::numeric_limits<double>::min() / 0.225, 146.25},
    {"1e-300", 1e-300, 146.25},
    {"minus five", -5.0, 146.25},
    {"minus 1e300", -1e300, 146.25},
    {"lowest double", std::numeric_limits<double>::lowest(), 146.25},
    {"minus infinity", -kInf, 146.25},
    {"quiet NaN", FromBits(0x7FF8000000000000), 146.25},
    {"negative NaN", FromBits(0xFFF8000000000000), 146.25},
    {"signalling NaN", FromBits(0x7FF0000000000001), 146.25},
    {"NaN with payload", FromBits(0x7FF8DEADBEEF0001), 146.25},
    {"25", 25.0, 151.875},
    {"just below 50", std::nextafter(50.0, 0.0), std::nullopt},
    {"50", 50.0, 157.5},
    {"just above 50", std::nextafter(50.0, kInf), std::nullopt},
    {"50.5", 50.5, 158.625},
    {"60", 60.0, 180.0},
    {"100", 100.0, 270.0},
    {"140", 140.0, 360.0},
    {"180", 180.0, 450.0},
    {"just below 200", std::nextafter(200.0, 0.0), std::nullopt},
    {"200", 200.0, 495.0},
    {"just above 200", std::nextafter(200.0, kInf), std::nullopt},
    {"200.5", 200.5, 495.75},
    {"230", 230.0, 540.0},
    {"290", 290.0, 630.0},
    {"350", 350.0, 720.0},
    {"just below 410", std::nextafter(410.0, 0.0), std::nullopt},
    {"410", 410.0, 810.0},
    {"just above 410", std::nextafter(410.0, kInf), 810.0},
    {"410.0001", 410.0001, 810.0},
    {"1000", 1000.0, 810.0},
    {"1e300", 1e300, 810.0},
    {"largest double", std::numeric_limits<double>::max(), 810.0},
    {"infinity", kInf, 810.0},
};

// Every case under every control word: the same bits as the scale computed
// here (and as the reference point), the record's value untouched, nothing
// read but that value among the records, nothing written, no service.
TEST_F(AirspeedModule, NeedleAngleIsExactAndPureUnderEveryControlWord) {
  const uint32_t value = variable + layout::Variable::value;
  for (const AngleCase& c : kAngleCases) {
    for (uint16_t cw : kControlWords) {
      SCOPED_TRACE(std::string(c.name) + ", " + ControlWordName(cw));
      const ValueCall call = CallValueFunction(*session, callback, variable, c.airspeed, cw);
      EXPECT_EQ(Bits(call.result), Bits(ScaleAngle(c.airspeed))) << call.result;
      if (c.degrees) {
        EXPECT_EQ(Bits(call.result), Bits(*c.degrees)) << call.result;
      }
      EXPECT_EQ(call.value_after, Bits(c.airspeed));
      EXPECT_EQ(call.control_word_after, cw);
      EXPECT_TRUE(call.services.empty());
      bool read_value = false;
      for (const AuditEntry& a : call.accesses) {
        EXPECT_FALSE(a.write) << a.record << "." << a.field;
        read_value |= Touches(a, value, 8);
        if (session->NameAddress(a.address)) {
          EXPECT_TRUE(a.address >= value && a.address + a.size <= value + 8) << a.record << "." << a.field;
        }
      }
      EXPECT_TRUE(read_value);
    }
  }
}

// A fine sweep over the whole range: bit-exact everywhere, strictly
// increasing, and the segments meeting at 50 and 200.
TEST_F(AirspeedModule, ScaleIsContinuousAndStrictlyIncreasing) {
  session->SetAudit(false);
  for (uint16_t cw : kControlWords) {
    SCOPED_TRACE(ControlWordName(cw));
    double previous = -kInf;
    int mismatches = 0, not_increasing = 0;
    for (int i = 0; i <= 41000; ++i) {
      const double v = i / 100.0;
      const double r = CallValueFunction(*session, callback, variable, v, cw).result;
      mismatches += Bits(r) != Bits(ScaleAngle(v));
      not_increasing += !(r > previous);
      previous = r;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(not_increasing, 0);
    for (double join : {50.0, 200.0}) {
      const double at = CallValueFunction(*session, callback, variable, join, cw).result;
      for (double side : {0.0, kInf}) {
        const double near = CallValueFunction(*session, callback, variable, std::nextafter(join, side), cw).result;
        EXPECT_NEAR(near, at, 1e-12) << join;
      }
    }
  }
}

// Through the host's own frame: the driver stores variable 61 in the
// needle's record and reads the angle back; the module writes none of its
// records at any point of the gauge's life.
TEST_F(AirspeedModule, FrameDeliversTheAngleAndModuleWritesNoRecord) {
  session->Install(0);
  session->Initialize();
  for (double airspeed : {-5.0, 60.0, 180.0, 410.0, 1000.0}) {
    SCOPED_TRACE(airspeed);
    session->SetVariable(61, airspeed);
    const std::vector<ElementSnapshot> frame = session->RunUpdateCycle();
    ASSERT_EQ(frame.size(), 2u);
    const std::optional<double> angle = std::get<NeedleState>(frame[1]).result;
    ASSERT_TRUE(angle);
    EXPECT_EQ(Bits(*angle), Bits(ScaleAngle(airspeed)));
  }
  session->Kill();
  for (const AuditEntry& a : session->audit())
    EXPECT_FALSE(a.write && session->NameAddress(a.address)) << a.record << "." << a.field;
}

TEST_F(AirspeedModule, HeaderAndLifecycle) {
  ExpectGaugeHeader(*session, chain, "Ostrel Airspeed Gauge", 276);
  ExpectInitializeForwardsOnly(*session, chain);
}

// Both elements name the one list (6, 1), (3, 1).
TEST_F(AirspeedModule, ElementRecordsAndTheirSharedFailureList) {
  const uint32_t failures = Word(*session, chain.face + layout::ElementHead::failures);
  ExpectFaceRecord(*session, chain, 200, failures, 0x1);
  ExpectNeedleRecord(*session, chain,
                     {.bitmap_id = 300, .position = {138, 138}, .origin = {54, 9}, .failures = failures,
                      .variable_id = 61, .needle_point = {179, 9}, .calibration = 0,
                      .calibration_count = 0, .step_limit = 6});
  ExpectFailureList(*session, failures, {{6, 1}, {3, 1}});
}

TEST_F(AirspeedModule, MouseListHasNoClickableArea) { ExpectListWithoutClickableAreas(*session, chain, 0); }

TEST_F(AirspeedModule, BitmapResources) {
  ExpectBitmapResources(*session, {{200, 276, 276, "airspeed/art/face.bmp"},
                                   {300, 179, 19, "airspeed/art/needle.bmp"}});
  EXPECT_EQ(NamedResourceEntries(ShippedPath("Ostrel_Airspeed")), 0);
}

}  // namespace
}  // namespace gauge::test
