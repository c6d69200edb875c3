// The committed Velkor_Climb bitmaps, measured pixel by pixel: format and
// palette, where index 0 lies, that every scale mark stands where the
// calibration table points the needle, and the needle's exact shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "art_measure.h"

namespace {

using gauge::IndexedBitmap;
using gauge::Rgb;
using gauge::test::BorderConnectedIndexZero;
using gauge::test::CommittedArt;
using gauge::test::FractionAt;
using gauge::test::Radians;

const IndexedBitmap& Face() { return CommittedArt("climb/art/face.bmp"); }
const IndexedBitmap& Needle() { return CommittedArt("climb/art/needle.bmp"); }

constexpr double kPivotX = 150, kPivotY = 150;
constexpr Rgb kDial{11, 11, 11}, kCream{240, 232, 210};
constexpr Rgb kBlade{198, 173, 99};
constexpr double kMarkThreshold = 0.6;  // of the way from dial to cream

double Degrees(double radians) { return radians * 180 / std::numbers::pi; }

// Direction of (x, y) seen from the pivot, degrees clockwise from 3 o'clock.
double DirectionOf(double x, double y) {
  const double d = Degrees(std::atan2(y - kPivotY, x - kPivotX));
  return d < 0 ? d + 360 : d;
}

double Mark(double radius, double degrees) {
  return FractionAt(Face(), kPivotX + radius * std::cos(Radians(degrees)),
                    kPivotY + radius * std::sin(Radians(degrees)), kDial, kCream);
}

bool NearBlack(Rgb c) { return std::max({c.r, c.g, c.b}) <= 16; }

// A mark's extent along its ray: the first painted radius met coming in from
// `from`, and where the paint stops further in. Zero length when none.
struct RadialExtent {
  double inner = 0, outer = 0;
  double length() const { return outer - inner; }
};

RadialExtent MarkAlongRay(double degrees, double from, double to) {
  constexpr double kStep = 0.1;
  RadialExtent e;
  double r = from;
  while (r > to && Mark(r, degrees) < kMarkThreshold) r -= kStep;
  if (r <= to) return e;
  e.outer = r;
  while (r > to && Mark(r, degrees) >= kMarkThreshold) r -= kStep;
  e.inner = r;
  return e;
}

// Paint-weighted mean direction of the mark near `degrees`, across the mark
// at `radius`.
double MarkCentre(double degrees, double radius) {
  double weight = 0, sum = 0;
  for (double d = -3; d <= 3; d += 0.02) {
    const double f = Mark(radius, degrees + d);
    weight += f;
    sum += f * d;
  }
  return weight > 0 ? degrees + sum / weight : NAN;
}

// The calibration table with the painted mark and direction it names.
struct CalibrationPoint {
  int x, y;
  const char* mark;
  double direction;
};
constexpr CalibrationPoint kCalibration[] = {
    {226, 239, "descent 30", 49.5}, {184, 262, "descent 20", 73.1}, {133, 266, "descent 10", 98.3},
    {75, 243, "descent 5", 128.9},  {33, 151, "0", 179.5},          {70, 57, "climb 5", 229.3},
    {131, 31, "climb 10", 260.9},   {190, 37, "climb 20", 289.5},   {226, 55, "climb 30", 308.7},
};

// Every mark on the dial: the labelled ones at the calibration directions,
// and the unlabelled ones splitting the gaps evenly (1 to 4 m/s, 15 and 25).
std::vector<double> AllMarkDirections() {
  std::vector<double> out;
  for (const CalibrationPoint& p : kCalibration) out.push_back(p.direction);
  auto split = [&](int from, int parts) {
    const double a = kCalibration[from].direction, b = kCalibration[from + 1].direction;
    for (int i = 1; i < parts; ++i) out.push_back(a + (b - a) * i / parts);
  };
  split(0, 2), split(1, 2), split(3, 5), split(4, 5), split(6, 2), split(7, 2);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ClimbArt, FormatAndPalette) {
  struct Case {
    const IndexedBitmap& bitmap;
    int width, height;
  };
  for (const Case& c : {Case{Face(), 300, 326}, Case{Needle(), 107, 23}}) {
    const IndexedBitmap& b = c.bitmap;
    SCOPED_TRACE(c.width);
    EXPECT_EQ(b.width, c.width);
    EXPECT_EQ(b.height, c.height);
    EXPECT_TRUE(b.bottom_up);
    EXPECT_TRUE(b.colours_used == 0 || b.colours_used == 256);
    EXPECT_EQ(b.palette[0], (Rgb{0, 0, 0}));
    // The artwork's own dark parts use near-black entries, never pure black.
    for (uint8_t i : b.pixels) ASSERT_TRUE(i == 0 || b.palette[i] != (Rgb{0, 0, 0})) << "entry " << int(i);
  }
}

// Index 0 is exactly the surround: every index-0 pixel connects to the
// border, and the artwork is one piece.
TEST(ClimbArt, SurroundIsIndexZeroAndNothingElse) {
  for (const IndexedBitmap* b : {&Face(), &Needle()}) {
    SCOPED_TRACE(b->width);
    const std::vector<bool> surround = BorderConnectedIndexZero(*b);
    const size_t zeros = std::count(b->pixels.begin(), b->pixels.end(), 0);
    EXPECT_EQ(static_cast<size_t>(std::count(surround.begin(), surround.end(), true)), zeros);
    // One piece: flood the artwork from its first pixel.
    const size_t first = std::find_if(b->pixels.begin(), b->pixels.end(), [](uint8_t i) { return i; }) -
                         b->pixels.begin();
    std::vector<bool> piece(b->pixels.size());
    std::vector<size_t> pending{first};
    piece[first] = true;
    size_t reached = 1;
    auto visit = [&](int x, int y) {
      const size_t i = static_cast<size_t>(y) * b->width + x;
      if (!b->contains(x, y) || b->at(x, y) == 0 || piece[i]) return;
      piece[i] = true;
      ++reached;
      pending.push_back(i);
    };
    while (!pending.empty()) {
      const int x = static_cast<int>(pending.back() % b->width), y = static_cast<int>(pending.back() / b->width);
      pending.pop_back();
      visit(x - 1, y), visit(x + 1, y), visit(x, y - 1), visit(x, y + 1);
    }
    EXPECT_EQ(reached, b->pixels.size() - zeros);
  }
}

// The run of artwork pixels through (x, y) along its row.
std::pair<int, int> RowRun(const IndexedBitmap& b, int x, int y) {
  int l = x, r = x;
  while (l > 0 && b.at(l - 1, y)) --l;
  while (r + 1 < b.width && b.at(r + 1, y)) ++r;
  return {l, r};
}

TEST(ClimbArt, FaceOutline) {
  const IndexedBitmap& f = Face();
  // The disc comes within 2 pixels of the left, right and top edges.
  const auto [left, right] = RowRun(f, 150, 150);
  EXPECT_GE(left, 1);
  EXPECT_LE(left, 2);
  EXPECT_GE(right, f.width - 3);
  EXPECT_LE(right, f.width - 2);
  int top = 0;
  while (!f.at(150, top)) ++top;
  EXPECT_GE(top, 1);
  EXPECT_LE(top, 2);
  // The lobe tapers to its end 2 pixels above the bottom edge.
  for (int y : {f.height - 1, f.height - 2})
    for (int x = 0; x < f.width; ++x) ASSERT_EQ(f.at(x, y), 0) << x << "," << y;
  ASSERT_NE(f.at(150, f.height - 3), 0);
  const auto [end_l, end_r] = RowRun(f, 150, f.height - 3);
  EXPECT_NEAR(end_r - end_l + 1, 19, 4);
  const auto [mid_l, mid_r] = RowRun(f, 150, 296);
  EXPECT_NEAR(mid_r - mid_l + 1, 105, 6);
  // A grey screw head on each mounting corner, outside the disc.
  for (auto [x, y] : {std::pair{37, 35}, {265, 35}, {37, 261}, {262, 259}}) {
    SCOPED_TRACE(x * 1000 + y);
    EXPECT_GT(std::hypot(x - kPivotX, y - kPivotY), 150);
    double r = 0, g = 0, b = 0;
    int n = 0;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx, ++n) {
        const Rgb c = f.colour(x + dx, y + dy);
        r += c.r, g += c.g, b += c.b;
      }
    EXPECT_GT((r + g + b) / (3 * n), 90);
    EXPECT_NEAR(r / n, b / n, 12);
    EXPECT_NEAR(g / n, b / n, 12);
  }
}

// Each calibration point lies on its mark or just beyond the mark's outer
// end, and the mark is painted in the point's direction.
TEST(ClimbArt, CalibrationPointsSitOnTheirMarks) {
  for (const CalibrationPoint& p : kCalibration) {
    SCOPED_TRACE(p.mark);
    const double direction = DirectionOf(p.x, p.y), radius = std::hypot(p.x - kPivotX, p.y - kPivotY);
    EXPECT_NEAR(direction, p.direction, 0.5);
    const RadialExtent e = MarkAlongRay(direction, radius + 8, 90);
    EXPECT_GE(e.outer, 113);
    EXPECT_LE(e.outer, 118.5);
    EXPECT_GE(e.length(), 9);
    EXPECT_LE(e.length(), 16);
    EXPECT_GE(radius, e.inner);
    EXPECT_LE(radius, e.outer + 6);
    EXPECT_NEAR(MarkCentre(p.direction, (e.inner + e.outer) / 2), p.direction, 0.5);
  }
}

// Going once round the dial across the marks finds exactly the labelled and
// unlabelled marks, each at its place, each 10 to 15 pixels long.
TEST(ClimbArt, EveryMarkAndNoOther) {
  constexpr double kAcross = 114, kStep = 0.05;  // outside the "m/s"
  std::vector<double> found;
  bool in_mark = false;
  double start = 0;
  for (double d = 0; d < 360; d += kStep) {
    const bool painted = Mark(kAcross, d) >= kMarkThreshold;
    if (painted && !in_mark) start = d;
    if (!painted && in_mark) found.push_back(MarkCentre((start + d) / 2, kAcross));
    in_mark = painted;
  }
  ASSERT_FALSE(in_mark) << "a mark at 3 o'clock";
  const std::vector<double> expected = AllMarkDirections();
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(expected[i]);
    EXPECT_NEAR(found[i], expected[i], 0.5);
    const RadialExtent e = MarkAlongRay(expected[i], 125, 90);
    EXPECT_GE(e.outer, 113);
    EXPECT_LE(e.outer, 118.5);
    EXPECT_GE(e.length(), 9);
    EXPECT_LE(e.length(), 16);
  }
}

// Bronze shows only on the rim beyond the marks, chiefly at the lower right.
TEST(ClimbArt, WearOnTheRimOnly) {
  const IndexedBitmap& f = Face();
  int lower_right = 0, elsewhere = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      const Rgb c = f.colour(x, y);
      if (!(c.r > 60 && c.r > c.g + 20 && c.g > c.b + 15)) continue;
      const double r = std::hypot(x - kPivotX, y - kPivotY), d = DirectionOf(x, y);
      EXPECT_GE(r, 119) << x << "," << y;
      EXPECT_LE(r, 148) << x << "," << y;
      ++(d < 90 && r >= 121 && r <= 143 ? lower_right : elsewhere);
    }
  EXPECT_GT(lower_right, 300);
  EXPECT_GT(lower_right, elsewhere);
}

// Rows 8 to 14 carry the shaft to x 35 and the blade from x 36 to the row's
// end; nothing lies beyond the hub outside those rows.
TEST(ClimbArt, NeedleBladeAndTip) {
  const IndexedBitmap& n = Needle();
  struct Row {
    int y, blade_end;
  };
  for (const Row row : {Row{8, 97}, {9, 104}, {10, 106}, {11, 106}, {12, 106}, {13, 104}, {14, 97}}) {
    SCOPED_TRACE(row.y);
    for (int x = 23; x <= 35; ++x) {
      EXPECT_NE(n.at(x, row.y), 0) << x;
      EXPECT_TRUE(NearBlack(n.colour(x, row.y))) << x;
    }
    for (int x = 36; x <= row.blade_end; ++x) ASSERT_EQ(n.colour(x, row.y), kBlade) << x;
    for (int x = row.blade_end + 1; x < n.width; ++x) ASSERT_EQ(n.at(x, row.y), 0) << x;
  }
  for (int y : {0, 1, 2, 3, 4, 5, 6, 7, 15, 16, 17, 18, 19, 20, 21, 22})
    for (int x = 23; x < n.width; ++x) ASSERT_EQ(n.at(x, y), 0) << x << "," << y;
}

// The hub: a near-black disc over the full height, centred on the pivot.
TEST(ClimbArt, NeedleHubOnThePivot) {
  const IndexedBitmap& n = Needle();
  for (int i = 0; i < n.height; ++i) {
    SCOPED_TRACE(i);
    if (i < 8 || i > 14) {  // rows clear of the shaft
      ASSERT_NE(n.at(11, i), 0);
      const auto [l, r] = RowRun(n, 11, i);
      EXPECT_EQ(l + r, 22);
    }
    int top = 0, bottom = n.height - 1;
    while (top < n.height && !n.at(i, top)) ++top;
    while (bottom >= 0 && !n.at(i, bottom)) --bottom;
    EXPECT_EQ(top + bottom, 22);
    for (int y = top; y <= bottom; ++y) EXPECT_TRUE(NearBlack(n.colour(i, y))) << y;
  }
}

}  // namespace
