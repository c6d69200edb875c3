// The committed Ostrel_Airspeed bitmaps, measured pixel by pixel: format,
// where index 0 lies, colours, and that every tick, label and the red dot
// stand on the ray the needle takes for their value, at their radii.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "art_measure.h"

namespace {

using gauge::IndexedBitmap;
using gauge::Rgb;
using gauge::test::CommittedArt;
using gauge::test::FractionAt;
using gauge::test::Radians;

constexpr Rgb kBlack{0, 0, 0}, kGround{8, 8, 8}, kCream{221, 217, 200};
constexpr double kCentre = 138;  // the needle's pivot pixel, both axes

const IndexedBitmap& Face() { return CommittedArt("airspeed/art/face.bmp"); }
const IndexedBitmap& Needle() { return CommittedArt("airspeed/art/needle.bmp"); }

// The angle the needle takes for airspeed v, modulo 360.
double ScaleAngle(double v) {
  double r = 0.225 * v + 146.25;
  if (v > 50) r = (v - 50) * 2.25 + 157.5;
  if (v > 200) r = (v - 200) * 1.5 + 495;
  return std::fmod(r, 360.0);
}

// Cream fraction of the face at `radius` along `degrees`, `offset` pixels
// to the clockwise side of that ray.
double CreamAt(double degrees, double radius, double offset = 0) {
  const double a = Radians(degrees);
  const double x = kCentre + radius * std::cos(a) - offset * std::sin(a);
  const double y = kCentre + radius * std::sin(a) + offset * std::cos(a);
  return FractionAt(Face(), x, y, kGround, kCream);
}

// Across a tick at `radius`: its inked width and how far its middle lies
// from the ray, both in pixels, from samples within `half_window` of the ray.
struct Cut {
  double width, offset;
};
Cut CutAcross(double degrees, double radius, double half_window) {
  double sum = 0, moment = 0;
  constexpr double kStep = 0.05;
  for (double t = -half_window; t <= half_window + 1e-9; t += kStep) {
    const double w = CreamAt(degrees, radius, t);
    sum += w;
    moment += w * t;
  }
  return {sum * kStep, sum > 0 ? moment / sum : 1e9};
}

TEST(AirspeedArt, BothBitmapsAre8BitBottomUpWithBlackIndexZero) {
  struct Case {
    const IndexedBitmap& bitmap;
    int width, height;
  } cases[] = {{Face(), 276, 276}, {Needle(), 179, 19}};
  for (const Case& c : cases) {  // ReadBmpFile accepts only 8-bit uncompressed bitmaps
    EXPECT_EQ(c.bitmap.width, c.width);
    EXPECT_EQ(c.bitmap.height, c.height);
    EXPECT_TRUE(c.bitmap.bottom_up);
    EXPECT_TRUE(c.bitmap.colours_used == 0 || c.bitmap.colours_used == 256);
    EXPECT_EQ(c.bitmap.palette[0], kBlack);
  }
}

TEST(AirspeedArt, FaceIndexZeroIsExactlyOutsideTheDisc) {
  const IndexedBitmap& face = Face();
  int mismatches = 0;
  for (int y = 0; y < face.height; ++y)
    for (int x = 0; x < face.width; ++x) {
      const double dx = x - kCentre, dy = y - kCentre;
      mismatches += (face.at(x, y) == 0) != (dx * dx + dy * dy > 138.0 * 138.0);
    }
  EXPECT_EQ(mismatches, 0);
  // The disc touches all four edges.
  EXPECT_NE(face.at(0, 138), 0);
  EXPECT_NE(face.at(275, 138), 0);
  EXPECT_NE(face.at(138, 0), 0);
  EXPECT_NE(face.at(138, 275), 0);
}

// Inside the disc: ground, cream and the shades between them, and red only
// at the red dot; plain ground within radius 38.
TEST(AirspeedArt, FaceColoursAreGroundCreamAndTheRedDot) {
  const IndexedBitmap& face = Face();
  int off_ramp = 0, not_ground = 0;
  for (int y = 0; y < face.height; ++y)
    for (int x = 0; x < face.width; ++x) {
      if (face.at(x, y) == 0) continue;
      const double r = std::hypot(x - kCentre, y - kCentre);
      const Rgb c = face.colour(x, y);
      if (r <= 38) not_ground += !(c == kGround);
      if (std::hypot(x - kCentre, y - (kCentre + 122)) < 7) continue;
      // distance from the ground-to-cream line
      const double t = std::clamp(((c.r - 8) * 213.0 + (c.g - 8) * 209.0 + (c.b - 8) * 192.0) /
                                      (213.0 * 213 + 209.0 * 209 + 192.0 * 192),
                                  0.0, 1.0);
      off_ramp += std::hypot(c.r - 8 - 213 * t, c.g - 8 - 209 * t, c.b - 8 - 192 * t) > 4;
    }
  EXPECT_EQ(off_ramp, 0);
  EXPECT_EQ(not_ground, 0);
}

TEST(AirspeedArt, RedDotSitsBelowTheCentreAtTheEndOf180) {
  const IndexedBitmap& face = Face();
  double sx = 0, sy = 0;
  int n = 0, left = 999, right = -1;
  for (int y = 0; y < face.height; ++y)
    for (int x = 0; x < face.width; ++x) {
      const Rgb c = face.colour(x, y);
      if (c.r < c.g + 40) continue;
      sx += x, sy += y, ++n;
      left = std::min(left, x), right = std::max(right, x);
    }
  ASSERT_GT(n, 0);
  EXPECT_NEAR(sx / n, kCentre, 0.3);
  EXPECT_NEAR(sy / n, kCentre + 122, 0.3);
  EXPECT_GE(right - left + 1, 8);
  EXPECT_LE(right - left + 1, 11);
}

struct OuterTick {
  double width, inner;  // nominal width and inner radius
};
OuterTick OuterStyle(int v) {
  if (v % 20 == 0) return {5.5, v == 180 ? 126.0 : 120.0};
  if (v % 10 == 0) return {3.5, 120};
  if (v % 5 == 0) return {2, 118};  // the dot's inner edge
  return {2, 124};
}

// Every value 50..200 has its tick on its ray: centred on it, of its width,
// from its inner radius out to 136.
TEST(AirspeedArt, EveryOuterTickStandsOnItsValuesRay) {
  for (int v = 50; v <= 200; ++v) {
    SCOPED_TRACE(v);
    const double a = ScaleAngle(v);
    const OuterTick style = OuterStyle(v);
    const Cut cut = CutAcross(a, 134.5, style.width / 2 + 0.5);
    EXPECT_NEAR(cut.offset, 0, 0.25);
    EXPECT_NEAR(cut.width, style.width, 0.6);
    EXPECT_GT(CreamAt(a, 135), 0.6);
    EXPECT_LT(CreamAt(a, 137.5), 0.3);
    EXPECT_GT(CreamAt(a, style.inner + 1), 0.6);
    EXPECT_LT(CreamAt(a, style.inner - 1.5), 0.3);
  }
}

// Counts the separate cream runs met going once round the circle `radius`.
int MarksAround(double radius) {
  int runs = 0;
  bool inside = CreamAt(0, radius) > 0.5;
  for (double a = 0.02; a < 360; a += 0.02) {
    const bool now = CreamAt(a, radius) > 0.5;
    runs += now && !inside;
    inside = now;
  }
  return runs;
}

TEST(AirspeedArt, OuterRingHoldsExactly151TicksAndNothingInTheUnmarkedSector) {
  EXPECT_EQ(MarksAround(130), 151);
  const IndexedBitmap& face = Face();
  int painted = 0;
  for (int y = 0; y < face.height; ++y)
    for (int x = 0; x < face.width; ++x) {
      const double r = std::hypot(x - kCentre, y - kCentre);
      const double a = std::atan2(y - kCentre, x - kCentre) * 180 / std::numbers::pi;
      if (r >= 117 && r <= 138 && a > ScaleAngle(200) + 1.5 && a < ScaleAngle(50) - 1.5)
        painted += !(face.colour(x, y) == kGround);
    }
  EXPECT_EQ(painted, 0);
}

// The inner scale: the arc at radius 75 from 200 round to 410, 43 ticks on
// its inner side reaching 66 (multiples of 10) or 70.
TEST(AirspeedArt, InnerArcAndEveryInnerTickStandOnTheirRays) {
  for (double a = ScaleAngle(200) + 1; a < ScaleAngle(410) + 360 - 1; a += 0.5) {
    SCOPED_TRACE(a);
    EXPECT_GT(CreamAt(a, 75), 0.6);
    EXPECT_LT(CreamAt(a, 78.5), 0.3);
  }
  for (double a = ScaleAngle(410) + 2; a < ScaleAngle(200) - 2; a += 0.5) EXPECT_LT(CreamAt(a, 75), 0.3) << a;
  for (int v = 200; v <= 410; v += 5) {
    SCOPED_TRACE(v);
    const double a = ScaleAngle(v);
    const double inner = v % 10 == 0 ? 66 : 70;
    const Cut cut = CutAcross(a, 72, 2);
    EXPECT_NEAR(cut.offset, 0, 0.25);
    EXPECT_NEAR(cut.width, 2.25, 0.6);
    EXPECT_GT(CreamAt(a, inner + 1), 0.6);
    EXPECT_LT(CreamAt(a, inner - 1.5), 0.3);
  }
  EXPECT_EQ(MarksAround(72), 43);
}

// An upright label: the box of the ink within `half_angle` of `degrees`
// between radii `from` and `to`, and the number of separate glyphs in it.
struct Label {
  double angle, radius, height;
  int glyphs;
};
Label FindLabel(double degrees, double half_angle, double from, double to) {
  const IndexedBitmap& face = Face();
  std::vector<int> ink;
  int x0 = 999, x1 = -1, y0 = 999, y1 = -1;
  for (int y = 0; y < face.height; ++y)
    for (int x = 0; x < face.width; ++x) {
      const double r = std::hypot(x - kCentre, y - kCentre);
      const double a = std::atan2(y - kCentre, x - kCentre) * 180 / std::numbers::pi;
      const double off = std::remainder(a - degrees, 360.0);
      if (r < from || r > to || std::abs(off) > half_angle) continue;
      if (gauge::test::Fraction(face.colour(x, y), kGround, kCream) < 0.5) continue;
      ink.push_back(y * face.width + x);
      x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
  // glyphs: 8-connected groups of ink pixels
  std::vector<bool> seen(ink.size());
  int glyphs = 0;
  for (size_t i = 0; i < ink.size(); ++i) {
    if (seen[i]) continue;
    ++glyphs;
    std::vector<size_t> pending{i};
    seen[i] = true;
    while (!pending.empty()) {
      const int p = ink[pending.back()];
      pending.pop_back();
      for (size_t j = 0; j < ink.size(); ++j)
        if (!seen[j] && std::abs(ink[j] % face.width - p % face.width) <= 1 &&
            std::abs(ink[j] / face.width - p / face.width) <= 1) {
          seen[j] = true;
          pending.push_back(j);
        }
    }
  }
  const double cx = (x0 + x1) / 2.0 - kCentre, cy = (y0 + y1) / 2.0 - kCentre;
  return {std::fmod(std::atan2(cy, cx) * 180 / std::numbers::pi + 360, 360.0), std::hypot(cx, cy),
          y1 - y0 + 1.0, glyphs};
}

TEST(AirspeedArt, LabelsStandUprightAtTheirValuesInTheirSizes) {
  struct Case {
    int value, glyphs;
    double offset, height, radius_from, radius_to;  // offset: degrees counter-clockwise of the tick
  };
  std::vector<Case> cases;
  for (int v = 60; v <= 200; v += 20) cases.push_back({v, v < 100 ? 1 : 2, v == 200 ? 4.0 : 0.0, 24, 100, 106});
  for (int v = 50; v <= 190; v += 20) cases.push_back({v, 1, 0, 14, 108, 110});
  for (int v = 200; v <= 380; v += 30) cases.push_back({v, 2, v == 200 ? 7.0 : 0.0, 16, 48, 55});
  for (const Case& c : cases) {
    const bool inner = c.height == 16;
    SCOPED_TRACE(testing::Message() << c.value << (inner ? " inner" : " outer"));
    const double expected = ScaleAngle(c.value) - c.offset;
    const Label label = inner ? FindLabel(expected, 20, 38, 64)
                              : FindLabel(expected, c.height == 24 ? 12 : 6, c.height == 24 ? 80 : 98, 116.5);
    EXPECT_NEAR(std::remainder(label.angle - expected, 360.0), 0, 2);
    EXPECT_GE(label.radius, c.radius_from - 1);
    EXPECT_LE(label.radius, c.radius_to + 1);
    EXPECT_NEAR(label.height, c.height, 1.5);
    EXPECT_EQ(label.glyphs, c.glyphs);
  }
}

TEST(AirspeedArt, NeedleIndexZeroIsExactlyTheSurroundAndTheShapeIsOnePiece) {
  const IndexedBitmap& needle = Needle();
  const std::vector<bool> surround = gauge::test::BorderConnectedIndexZero(needle);
  int enclosed_zero = 0, black_artwork = 0, shape = 0;
  for (size_t i = 0; i < needle.pixels.size(); ++i) {
    enclosed_zero += needle.pixels[i] == 0 && !surround[i];
    black_artwork += needle.pixels[i] != 0 && needle.palette[needle.pixels[i]] == kBlack;
    shape += needle.pixels[i] != 0;
  }
  EXPECT_EQ(enclosed_zero, 0);
  EXPECT_EQ(black_artwork, 0);
  // One 4-connected shape: everything non-zero is reachable from the pivot.
  std::vector<bool> reached(needle.pixels.size());
  std::vector<std::pair<int, int>> pending{{54, 9}};
  int count = 0;
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (!needle.contains(x, y) || needle.at(x, y) == 0 || reached[y * needle.width + x]) continue;
    reached[y * needle.width + x] = true;
    ++count;
    pending.insert(pending.end(), {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}});
  }
  EXPECT_EQ(count, shape);
}

TEST(AirspeedArt, NeedleIsSymmetricAboutRow9AndPointsAt178) {
  const IndexedBitmap& needle = Needle();
  for (int x = 0; x < needle.width; ++x)
    for (int k = 1; k <= 9; ++k) {
      EXPECT_EQ(needle.at(x, 9 - k) == 0, needle.at(x, 9 + k) == 0) << x << "," << k;
      EXPECT_NEAR(gauge::test::Fraction(needle.colour(x, 9 - k), kGround, kCream),
                  gauge::test::Fraction(needle.colour(x, 9 + k), kGround, kCream), 0.02)
          << x << "," << k;
    }
  // The tip: the last column holds only the pivot row, and it is light.
  for (int y = 0; y < 19; ++y) EXPECT_EQ(needle.at(178, y) != 0, y == 9) << y;
  EXPECT_GT(gauge::test::Fraction(needle.colour(178, 9), kGround, kCream), 0.3);
  // Tail disc and pivot disc span the full height; the tail starts at x 0.
  for (int y = 0; y < 19; ++y) {
    EXPECT_NE(needle.at(9, y), 0) << y;
    EXPECT_NE(needle.at(54, y), 0) << y;
  }
  EXPECT_NE(needle.at(0, 9), 0);
}

TEST(AirspeedArt, NeedleBladeIsCreamOnRows4To14FromX70) {
  const IndexedBitmap& needle = Needle();
  for (int x = 71; x <= 160; ++x) {
    SCOPED_TRACE(x);
    for (int y = 5; y <= 13; ++y) EXPECT_EQ(needle.colour(x, y), kCream) << y;
    for (int y : {4, 14}) {
      const double f = gauge::test::Fraction(needle.colour(x, y), kGround, kCream);
      EXPECT_GT(f, 0.2);
      EXPECT_LT(f, 0.9);
    }
    for (int y : {3, 15}) EXPECT_EQ(needle.at(x, y), 0);
  }
  // Left of the blade the shaft is dark; the blade narrows only over its last 18 px.
  EXPECT_LT(gauge::test::Fraction(needle.colour(68, 9), kGround, kCream), 0.1);
  EXPECT_EQ(needle.colour(160, 5), kCream);
  EXPECT_EQ(needle.at(172, 5), 0);
}

TEST(AirspeedArt, NeedleDarkPartsHaveAGreyOutline) {
  const IndexedBitmap& needle = Needle();
  auto grey = [&](int x, int y) { return gauge::test::Fraction(needle.colour(x, y), kGround, kCream); };
  using Pixels = std::vector<std::pair<int, int>>;
  for (auto [x, y] : Pixels{{9, 0}, {9, 18}, {0, 9}, {54, 0}, {54, 18}, {30, 4}, {30, 14}})
    EXPECT_GT(grey(x, y), 0.2) << x << "," << y;
  for (auto [x, y] : Pixels{{9, 9}, {9, 4}, {30, 9}, {54, 5}, {54, 9}, {64, 9}})
    EXPECT_LT(grey(x, y), 0.1) << x << "," << y;
}

}  // namespace
