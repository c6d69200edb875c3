// Renders of the RenderFixture module by `gauge-host render`, measured
// pixel by pixel against the fixture's own bitmaps.
#include <gtest/gtest.h>

#include <cmath>

#include "render_fixture_art.h"
#include "render_measure.h"

namespace gauge::test {
namespace {

using namespace render_fixture;

const IndexedBitmap& FixtureArt(const std::string& name) { return Art("tests/fixture_modules/render/art/" + name); }

// A render with the four driving variables set.
Canvas Fixture(double needle, double calibrated = 0, double turn = 0, double text = 0) {
  char args[256];
  std::snprintf(args, sizeof args, "--set %d=%.17g --set %d=%.17g --set %d=%.17g --set %d=%.17g", kNeedleVariable,
                needle, kCalibratedVariable, calibrated, kSpriteVariable, turn, kTextVariable, text);
  return RenderedBy(FixtureModule(), args);
}

// Where a needle bitmap pixel (x, y) lands on the face when the needle is
// turned clockwise by `quarters` quarter turns about its pivot.
std::pair<int, int> TurnedNeedlePixel(int x, int y, int quarters) {
  int dx = x - kNeedlePivotX, dy = y - kNeedlePivotY;
  for (int q = 0; q < ((quarters % 4) + 4) % 4; ++q) std::tie(dx, dy) = std::pair(-dy, dx);
  return {kNeedleX + dx, kNeedleY + dy};
}

// A needle turned by a whole number of quarter turns is its bitmap moved
// pixel for pixel: every needle pixel in its own colour, and the face
// showing through every index-0 pixel around it. The barb above the shaft
// tells a turn from a mirror image.
TEST(RenderFixture, NeedleAtQuarterTurnsIsItsBitmapTurnedClockwise) {
  const IndexedBitmap& needle = FixtureArt("needle.bmp");
  const IndexedBitmap& face = FixtureArt("face.bmp");
  const struct {
    double angle;
    int quarters;
  } cases[] = {{0, 0}, {90, 1}, {180, 2}, {270, 3}, {450, 1}, {-90, 3}, {720, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE("angle " + std::to_string(c.angle));
    const Canvas render = Fixture(c.angle);
    ASSERT_EQ(render.width, kFaceWidth);
    int mismatches = 0;
    for (int y = 0; y < needle.height; ++y) {
      for (int x = 0; x < needle.width; ++x) {
        const auto [fx, fy] = TurnedNeedlePixel(x, y, c.quarters);
        const Rgba expected = Opaque(needle.at(x, y) != 0 ? needle.colour(x, y) : face.colour(fx, fy));
        if (!(render.at(fx, fy) == expected)) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(RenderFixture, NinetyAndFourHundredFiftyDegreesGiveTheSamePicture) {
  const Canvas quarter = Fixture(90), turn_and_quarter = Fixture(450);
  EXPECT_TRUE(quarter.pixels == turn_and_quarter.pixels);
  EXPECT_FALSE(quarter.pixels == Fixture(0).pixels);
}

// The calibrated needle's direction, from its shaft (the part of the arrow
// before the head, symmetric about its axis).
double CalibratedDirection(const Canvas& render) {
  const auto shaft = [&](int x, int y) { return render.at(x, y) == Opaque(Rgb{230, 120, 20}); };
  return NeedleDirection(render, kCalibratedX, kCalibratedY, 12, 33, shaft);
}

double EntryDirection(int entry) {
  return DirectionDegrees(kCalibration[entry].x - kCalibratedX, kCalibration[entry].y - kCalibratedY);
}

TEST(RenderFixture, CalibratedNeedlePointsAtEachEntrysPoint) {
  for (int entry = 0; entry < kCalibrationCount; ++entry) {
    SCOPED_TRACE(entry);
    EXPECT_LT(AngleBetween(CalibratedDirection(Fixture(0, kCalibration[entry].value)), EntryDirection(entry)), 1.0);
  }
}

TEST(RenderFixture, CalibratedNeedleBetweenEntriesTurnsInProportion) {
  // Entries 0 and 1 lie either side of 3 o'clock: the needle must take the
  // short way across it, not swing round through 9 o'clock.
  const double across_zero = EntryDirection(0) + (EntryDirection(1) + 360 - EntryDirection(0)) / 2;
  const double second_half = (EntryDirection(1) + EntryDirection(2)) / 2;
  const double quarter_way = EntryDirection(1) + (EntryDirection(2) - EntryDirection(1)) / 4;
  const struct {
    double value, direction;
  } cases[] = {
      {5, across_zero},
      {20, second_half},
      {15, quarter_way},
      {-7, EntryDirection(0)},   // below the table: its first point
      {1e6, EntryDirection(2)},  // above: its last
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_LT(AngleBetween(CalibratedDirection(Fixture(0, c.value)), c.direction), 1.0);
  }
}

// The sprite's bar points up as drawn; a positive turn turns it
// counter-clockwise on screen, about the sprite's origin.
TEST(RenderFixture, SpriteTurnsCounterClockwiseForPositiveValues) {
  const int cx = kSpriteX + kSpritePivot, cy = kSpriteY + kSpritePivot;
  const Rgba bar = Opaque(Rgb{210, 30, 30}), ground = Opaque(Rgb{40, 160, 60});
  const struct {
    double turn;
    int dx, dy;  // where the bar points on screen
  } cases[] = {{0, 0, -1}, {90, -1, 0}, {-90, 1, 0}, {180, 0, 1}, {450, -1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.turn);
    const Canvas render = Fixture(0, 0, c.turn);
    EXPECT_EQ(render.at(cx + 15 * c.dx, cy + 15 * c.dy), bar);
    EXPECT_EQ(render.at(cx - 15 * c.dx, cy - 15 * c.dy), ground);
    EXPECT_EQ(render.at(cx + 15 * c.dy, cy - 15 * c.dx), ground);
  }
}

// Outside the window's opening the face shows, even where the sprite's
// own pixels lie (the bar runs on to the sprite's top edge).
TEST(RenderFixture, SpriteShowsOnlyThroughItsWindow) {
  const IndexedBitmap& face = FixtureArt("face.bmp");
  for (const double turn : {0.0, 37.0}) {
    SCOPED_TRACE(turn);
    const Canvas render = Fixture(0, 0, turn);
    const int cx = kSpriteX + kSpritePivot, cy = kSpriteY + kSpritePivot;
    int inside = 0, outside_changed = 0;
    for (int y = kSpriteY; y < kSpriteY + kSpriteSize; ++y) {
      for (int x = kSpriteX; x < kSpriteX + kSpriteSize; ++x) {
        const double r = std::hypot(x - cx, y - cy);
        if (r < kOpeningRadius - 1) inside += Changed(render, face, x, y);
        if (r > kOpeningRadius + 1) outside_changed += Changed(render, face, x, y);
      }
    }
    EXPECT_EQ(outside_changed, 0);
    EXPECT_GT(inside, 1800);  // nearly the whole opening shows sprite, not face
  }
}

TEST(RenderFixture, IndexZeroOfTheFaceIsSeeThrough) {
  const Canvas render = Fixture(0);
  for (int y = 0; y < kHoleSize; ++y)
    for (int x = 0; x < kHoleSize; ++x) ASSERT_EQ(render.at(x, y).a, 0) << x << "," << y;
  EXPECT_EQ(render.at(kHoleSize, kHoleSize).a, 255);
}

// Text pixels: the text colour, anti-aliased over the face.
bool TextPixel(const Canvas& render, int x, int y) {
  const Rgba p = render.at(x, y);
  return p.r > 120 && p.g > 120 && p.b < 110;
}

TEST(RenderFixture, TextLandsInsideItsBoxInItsColour) {
  const struct {
    double value;
    bool two_cells;  // "  42": ink only in the right half of the centred line
  } cases[] = {{1234, false}, {-7.9, true}, {42, true}, {-999, false}};
  const int box_mid_x = kTextX + kTextWidth / 2, box_mid_y = kTextY + kTextHeight / 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    // Below the needles' reach (60 px around their pivots) every yellow
    // pixel is text.
    const Canvas render = Fixture(0, 0, 0, c.value);
    int outside = 0, full_colour = 0, min_x = render.width, max_x = -1, min_y = render.height, max_y = -1;
    for (int y = kNeedleY + 60; y < render.height; ++y) {
      for (int x = 0; x < render.width; ++x) {
        if (!TextPixel(render, x, y)) continue;
        outside += !(x >= kTextX && x < kTextX + kTextWidth && y >= kTextY && y < kTextY + kTextHeight);
        full_colour += render.at(x, y) == Opaque(Rgb{255, 255, 0});
        min_x = std::min(min_x, x), max_x = std::max(max_x, x);
        min_y = std::min(min_y, y), max_y = std::max(max_y, y);
      }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(full_colour, 40);
    EXPECT_NEAR((min_y + max_y) / 2.0, box_mid_y, 6);
    if (c.two_cells) {
      EXPECT_GT(min_x, box_mid_x);
    } else {
      EXPECT_NEAR((min_x + max_x) / 2.0, box_mid_x, 3);
    }
  }
}

}  // namespace
}  // namespace gauge::test
