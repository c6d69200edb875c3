// Renders of the shipped gauges by `gauge-host render`, checked by
// measurement: the needle, found as the pixels where the render differs
// from the face, points at the painted mark for its value.
#include <gtest/gtest.h>

#include <filesystem>

#include "render_measure.h"

namespace gauge::test {
namespace {

Canvas Shipped(const std::string& module, const std::string& sets) {
  EXPECT_TRUE(std::filesystem::exists(ShippedModule(module))) << ShippedModule(module);
  return RenderedBy(ShippedModule(module), sets);
}

// Looks along the ray from (px, py) in `direction` between radii `from` and
// `to` for a face pixel that `is_mark` accepts.
template <typename Predicate>
bool MarkOnRay(const IndexedBitmap& face, double px, double py, double direction, double from, double to,
               Predicate is_mark) {
  const double dx = std::cos(direction * std::numbers::pi / 180), dy = std::sin(direction * std::numbers::pi / 180);
  for (double r = from; r <= to; r += 0.5) {
    const int x = static_cast<int>(std::lround(px + r * dx)), y = static_cast<int>(std::lround(py + r * dy));
    if (face.contains(x, y) && is_mark(face.colour(x, y))) return true;
  }
  return false;
}

bool Cream(Rgb c) { return c.r > 150 && c.g > 150 && c.b > 130; }
bool DarkRed(Rgb c) { return c.r > 90 && c.g < 40 && c.b < 40; }

TEST(AirspeedRender, NeedleTipLiesOnTheMarkForItsValue) {
  const IndexedBitmap& face = Art("airspeed/art/face.bmp");
  const struct {
    double airspeed, direction;
    bool (*mark)(Rgb);
  } cases[] = {
      {60, 180, Cream},     // outer "6" tick, 9 o'clock
      {180, 90, DarkRed},   // the red dot, 6 o'clock
      {410, 90, DarkRed},   // top of the range, second turn: the red dot again
      {140, 0, Cream},      // 3 o'clock
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.airspeed);
    const Canvas render = Shipped("Ostrel_Airspeed", "--set 61=" + std::to_string(c.airspeed));
    ASSERT_EQ(render.width, face.width);
    const double measured =
        NeedleDirection(render, 138, 138, 70, 115, [&](int x, int y) { return Changed(render, face, x, y); });
    EXPECT_LT(AngleBetween(measured, c.direction), 1.0) << measured;
    // The tip, 124 px out, reaches the inner end of the mark.
    EXPECT_TRUE(MarkOnRay(face, 138, 138, measured, 116, 126, c.mark));
  }
}

TEST(ClimbRender, NeedleTipPointsAtTheMarkForItsValue) {
  const IndexedBitmap& face = Art("climb/art/face.bmp");
  const struct {
    double value, direction;  // the direction of the value's calibration point
  } cases[] = {{975, 229.3}, {0, 179.5}, {-1950, 98.3}, {5850, 308.7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const Canvas render = Shipped("Velkor_Climb", "--set 65=" + std::to_string(c.value));
    const double measured =
        NeedleDirection(render, 150, 150, 40, 90, [&](int x, int y) { return Changed(render, face, x, y); });
    EXPECT_LT(AngleBetween(measured, c.direction), 1.0) << measured;
    EXPECT_TRUE(MarkOnRay(face, 150, 150, measured, 98, 120, Cream));
  }
}

bool Orange(Rgba p) { return p.r > 150 && p.g < 150 && p.b < 60; }

// 500 m puts the needle at 12 o'clock, across the readout box
// (115, 50)-(174, 76), drawn over it.
TEST(LandingRender, FiveHundredMetresLiesUnderTheReadout) {
  const Canvas render = Shipped("Tavoran_Landing", "--set 335=2 --set 74=500 --set 75=123");
  const double measured = NeedleDirection(render, 150, 145, 60, 90, [&](int x, int y) { return Orange(render.at(x, y)); });
  // The blade (rows 13 to 20 of the needle bitmap) lies 1.5 px off the
  // pivot's row 18: about a degree at the radii measured.
  EXPECT_LT(AngleBetween(measured, 270), 1.5) << measured;
  int blade_in_box = 0;
  for (int y = 52; y < 76; ++y)
    for (int x = 115; x < 175; ++x) blade_in_box += Orange(render.at(x, y));
  EXPECT_GT(blade_in_box, 24 * 6);  // the blade, 8 px wide, across the box's height
}

// At 0 m the drum stands as drawn: inside the window's opening the render
// is the drum bitmap pixel for pixel, its upright "0" showing beside the
// needle; outside the opening the face shows, though the drum's square
// covers it. The needle, at 6 o'clock, covers x 130 to 170 with its hub and
// tail, and only x 147 to 156 with its blade down in the opening.
TEST(LandingRender, DrumShowsItsUprightZeroInTheWindowAtZeroMetres) {
  const IndexedBitmap& face = Art("landing_altimeter/art/face.bmp");
  const IndexedBitmap& drum = Art("landing_altimeter/art/drum.bmp");
  const IndexedBitmap& window = Art("landing_altimeter/art/drum_window.bmp");
  const Canvas render = Shipped("Tavoran_Landing", "--set 335=2 --set 74=0");
  const auto under_needle = [](int x, int y) { return y >= 218 ? std::abs(2 * x - 303) <= 10 : x >= 130 && x <= 170; };
  const auto in_readout = [](int x, int y) { return x >= 115 && x < 175 && y >= 50 && y < 77; };
  int opening = 0, opening_differing = 0, digit = 0, surround = 0, surround_differing = 0;
  for (int y = 0; y < window.height; ++y) {
    for (int x = 0; x < window.width; ++x) {
      const int fx = x + 20, fy = y;  // the window's top-left corner sits on the drum's position (20, 0)
      if (under_needle(fx, fy) || in_readout(fx, fy) || !face.contains(fx, fy)) continue;
      const Rgba shown = render.at(fx, fy);
      if (window.at(x, y) == 255) {
        ++opening;
        opening_differing += !(shown == Opaque(drum.colour(x, y)));
        digit += drum.colour(x, y).r > 200;
      } else if (face.at(fx, fy) != 0) {
        ++surround;
        surround_differing += !(shown == Opaque(face.colour(fx, fy)));
      }
    }
  }
  EXPECT_GT(opening, 1000);
  EXPECT_EQ(opening_differing, 0);
  EXPECT_GT(digit, 30);
  EXPECT_GT(surround, 40000);
  EXPECT_EQ(surround_differing, 0);
}

}  // namespace
}  // namespace gauge::test
