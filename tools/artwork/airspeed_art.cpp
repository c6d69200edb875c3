// Ostrel_Airspeed: face 200 (276 x 276) and needle 300 (179 x 19).
//
// The needle turns about face pixel (138, 138), so that pixel is the dial's
// centre: the disc of radius 138 reaches pixel 0 on the left and top and
// pixel 275 on the right and bottom. Every mark for a value v stands on the
// ray at ScaleAngle(v), the angle the needle function returns.
#include <cmath>
#include <numbers>
#include <string>

#include "artwork.h"

namespace gauge::art {
namespace {

constexpr Colour kGround{8, 8, 8};
constexpr Colour kCream{221, 217, 200};
constexpr Colour kRed{128, 0, 0};
constexpr Point kCentre{138, 138};
constexpr int kFaceSize = 276;
constexpr double kDialRadius = 138;

// Degrees clockwise from 3 o'clock, modulo 360, for airspeed v in 0..410.
double ScaleAngle(double v) {
  double r = 0.225 * v + 146.25;
  if (v > 50) r = (v - 50) * 2.25 + 157.5;
  if (v > 200) r = (v - 200) * 1.5 + 495;
  return std::fmod(r, 360.0);
}

// Outer scale: ticks for 50..200, all ending at radius 136.
constexpr double kOuterTickEnd = 136;

void DrawOuterTick(Canvas& c, int v) {
  const double a = ScaleAngle(v);
  if (v % 20 == 0) {
    c.RadialTick(kCentre, a, v == 180 ? 126 : 120, kOuterTickEnd, 5.5, kCream);
  } else if (v % 10 == 0) {
    c.RadialTick(kCentre, a, 120, kOuterTickEnd, 3.5, kCream);
  } else if (v % 5 == 0) {
    constexpr double kDotRadius = 2.3;
    c.RadialTick(kCentre, a, 118 + kDotRadius, kOuterTickEnd, 2, kCream);
    c.Disc(Polar(kCentre, 118 + kDotRadius, a), kDotRadius, kCream);
  } else {
    c.RadialTick(kCentre, a, 124, kOuterTickEnd, 2, kCream);
  }
}

// An upright label centred on the ray at `angle`, its box kept between the
// radii `clear_in` and `clear_out` where it can, the centre within
// [min_radius, max_radius]; when the box does not fit, `clear_in` wins.
struct LabelRing {
  double clear_in, clear_out, min_radius, max_radius;
};

void DrawLabel(Canvas& c, const std::string& text, double angle, const TextStyle& style, const LabelRing& ring) {
  const Point size = c.TextSize(text, style);
  const double rad = angle * std::numbers::pi / 180;
  const double reach = std::abs(std::cos(rad)) * size.x / 2 + std::abs(std::sin(rad)) * size.y / 2;
  double radius = std::fmin(ring.max_radius, std::fmax(ring.min_radius, ring.clear_out - reach));
  radius = std::fmin(ring.max_radius, std::fmax(radius, ring.clear_in + reach));
  c.Text(text, Polar(kCentre, radius, angle), style, kCream);
}

void DrawOuterScale(Canvas& c, const Font& font) {
  for (int v = 50; v <= 200; ++v) DrawOuterTick(c, v);
  const TextStyle large{&font, 24, 0.8}, small{&font, 14, 0.8};
  for (int v = 60; v <= 200; v += 20) {
    const double angle = ScaleAngle(v) - (v == 200 ? 4 : 0);  // "20" stays inside the scale's end
    DrawLabel(c, std::to_string(v / 10), angle, large, {0, 114, 100, 106});
  }
  for (int v = 50; v <= 190; v += 20) DrawLabel(c, std::to_string(v / 10 % 10), ScaleAngle(v), small, {0, 116, 108, 110});
}

// Inner scale: an arc at radius 75 from 200 (135 degrees) round to 410
// (90 degrees), ticks on its inner side every 5, labels every 30.
void DrawInnerScale(Canvas& c, const Font& font) {
  constexpr double kArcRadius = 75, kArcWidth = 3;
  c.Arc(kCentre, kArcRadius, ScaleAngle(200), ScaleAngle(410), kArcWidth, kCream);
  for (int v = 200; v <= 410; v += 5) {
    const bool major = v % 10 == 0;
    c.RadialTick(kCentre, ScaleAngle(v), major ? 66 : 70, kArcRadius + kArcWidth / 2, major ? 2.5 : 2, kCream);
  }
  const TextStyle style{&font, 16, 0.72};
  for (int v = 200; v <= 380; v += 30) {
    const double angle = ScaleAngle(v) - (v == 200 ? 7 : 0);
    DrawLabel(c, std::to_string(v / 10), angle, style, {39.5, 63.5, 48, 55});
  }
}

IndexedBitmap DrawFace() {
  const Font numerals = LoadFont("DejaVu Sans:style=Bold");
  Canvas c(kFaceSize, kFaceSize);
  c.Fill(kGround);
  DrawOuterScale(c, numerals);
  DrawInnerScale(c, numerals);
  c.Disc(Polar(kCentre, 122, 90), 4.5, kRed);

  Palette palette;
  palette.AddRamp(kGround, kCream, 180);
  palette.AddRamp(kGround, kRed, 40);
  palette.AddRamp(kRed, kCream, 35);
  return Quantise(c.Render(), palette, OutsideDisc(kFaceSize, kFaceSize, kCentre, kDialRadius));
}

// Needle: pivot (54, 9), tip pixel (178, 9), tail disc at (9, 9).
IndexedBitmap DrawNeedle() {
  constexpr Colour kOutline{128, 128, 128}, kPivotRing{64, 64, 64};
  constexpr Point kPivot{54, 9}, kTail{9, 9};
  constexpr double kDiscRadius = 9.5, kOutlineWidth = 1.2;
  constexpr double kBladeStart = 69.5, kTaperStart = 161, kPoint = 179, kHalfHeight = 5;
  Canvas c(179, 19);
  // The dark body (tail disc, shaft, pivot disc): an outline-coloured
  // silhouette, then the body inset by the outline's width on top of it.
  auto body = [&](double inset, Colour colour) {
    const double top = kPivot.y - kHalfHeight + inset, bottom = kPivot.y + kHalfHeight - inset;
    c.Disc(kTail, kDiscRadius - inset, colour);
    c.Disc(kPivot, kDiscRadius - inset, colour);
    c.Polygon({{kTail.x, top}, {kBladeStart, top}, {kBladeStart, bottom}, {kTail.x, bottom}}, colour);
  };
  body(0, kOutline);
  body(kOutlineWidth, kGround);
  c.Ring(kPivot, 2.5, 1, kPivotRing);
  c.Polygon({{kBladeStart, kPivot.y - kHalfHeight},
             {kTaperStart, kPivot.y - kHalfHeight},
             {kPoint, kPivot.y},
             {kTaperStart, kPivot.y + kHalfHeight},
             {kBladeStart, kPivot.y + kHalfHeight}},
            kCream);

  Palette palette;
  palette.AddRamp(kGround, kCream, 160);
  palette.AddRamp(kGround, kOutline, 95);
  const Rendering r = c.Render();
  return Quantise(r, palette, AroundShape(r));
}

const Registration face{"airspeed", "face", "airspeed/art/face.bmp", DrawFace};
const Registration needle{"airspeed", "needle", "airspeed/art/needle.bmp", DrawNeedle};

}  // namespace
}  // namespace gauge::art
