// Tavoran_Landing: face 255 (296 x 334), needle 8192 (150 x 38), digit drum
// 12288 (256 x 256) and drum window 12291 (256 x 256).
//
// The needle turns about face pixel (150, 145); the mark for m metres stands
// on the ray at 90 + 0.36 m degrees, the angle the needle function returns.
// The drum's digit k sits at 90 - 18 k degrees on its ring, top towards the
// centre, so a clockwise turn of 18 k degrees brings k upright to the bottom,
// where the window's opening shows it.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "artwork.h"

namespace gauge::art {
namespace {

constexpr Colour kCase{8, 8, 8};
constexpr Colour kDark{16, 16, 16};
constexpr Colour kDrumGround{24, 24, 24};
constexpr Colour kOutlineGrey{81, 81, 81};
constexpr Colour kNumeralGrey{219, 219, 219};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kOrange{224, 112, 0};
constexpr Colour kOlive{140, 140, 0};

// ---- palette ------------------------------------------------------------

// The one palette of the face, the needle and the drum: a grey ramp in steps
// of 8 (entries 0..31, white last), colour ramps up to entry 159, entries
// 160..254 black and 255 white. The mapping picks only from entries 1..159.
Palette LandingPalette() {
  Palette p;
  p.AddRamp({8, 8, 8}, {240, 240, 240}, 30);    // 1..30
  p.AddRamp(kWhite, kWhite, 1);                 // 31
  p.AddRamp({40, 0, 0}, {255, 64, 64}, 16);     // 32..47 reds
  p.AddRamp({0, 40, 0}, {64, 255, 64}, 16);     // 48..63 greens
  p.AddRamp({0, 0, 48}, {80, 80, 255}, 16);     // 64..79 blues
  p.AddRamp({7, 4, 0}, kOrange, 32);            // 80..111 oranges, down to the edge
  p.AddRamp({24, 24, 19}, kOlive, 32);          // 112..143 olives, from the dial
  p.AddRamp({4, 4, 4}, {28, 28, 28}, 4);        // 144..147 dark greys between the ramp's
  p.AddRamp({20, 20, 20}, {20, 20, 20}, 1);     // 148 dial texture middle
  p.AddRamp(kOutlineGrey, kOutlineGrey, 1);     // 149
  p.AddRamp(kNumeralGrey, kNumeralGrey, 1);     // 150
  p.AddRamp({232, 112, 16}, {255, 176, 96}, 9); // 151..159 light oranges
  return p;
}

std::array<Rgb, 256> LandingEntries() {
  std::array<Rgb, 256> e = LandingPalette().Entries();
  for (int i = 160; i < 255; ++i) e[i] = {0, 0, 0};
  e[255] = {255, 255, 255};
  return e;
}

IndexedBitmap Finish(const Rendering& r, const SurroundMask& surround) {
  IndexedBitmap b = Quantise(r, LandingPalette(), surround);
  b.palette = LandingEntries();
  return b;
}

void SetSource(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r / 255, c.g / 255, c.b / 255); }

constexpr Colour Grey(double v) { return {v, v, v}; }

// A disc filled with the canvas's current source (a gradient).
void FillDisc(cairo_t* cr, Point centre, double radius) {
  cairo_new_path(cr);
  cairo_arc(cr, centre.x, centre.y, radius, 0, 2 * M_PI);
  cairo_fill(cr);
}

// ---- face ---------------------------------------------------------------

constexpr int kFaceWidth = 296, kFaceHeight = 334;
constexpr Point kPivot{150, 145};
constexpr double kDialRadius = 115;
constexpr Point kKnob{143, 304};
constexpr double kKnobRadius = 27.5;

constexpr Point kHoles[] = {{34, 37}, {259, 36}, {39, 262}, {260, 263}};  // mounting holes
constexpr double kHoleRadius = 9.5;  // 19 pixels across

double MarkAngle(double metres) { return 90 + 0.36 * metres; }

// The case outline: a rounded rectangle over x 0..295, y 0..282 whose lower
// edge runs into a lug that tapers to the bottom edge under the knob.
void CasePath(cairo_t* cr) {
  constexpr double l = -0.5, t = -0.5, r = kFaceWidth - 0.5, b = 282.5, bottom = kFaceHeight - 0.5;
  constexpr double kCorner = 40, kLugTop = 85, kLugBottom = 35, kFillet = 16, kKnee = 293;
  const double cx = kKnob.x;
  cairo_new_path(cr);
  cairo_move_to(cr, l + kCorner, t);
  cairo_arc(cr, r - kCorner, t + kCorner, kCorner, -M_PI / 2, 0);
  cairo_arc(cr, r - kCorner, b - kCorner, kCorner, 0, M_PI / 2);
  cairo_line_to(cr, cx + kLugTop, b);
  cairo_curve_to(cr, cx + kLugTop - kFillet, b, cx + kLugTop - 22, b + 2.5, cx + kLugTop - 28, kKnee);
  cairo_line_to(cr, cx + kLugBottom, bottom);
  cairo_line_to(cr, cx - kLugBottom, bottom);
  cairo_line_to(cr, cx - kLugTop + 28, kKnee);
  cairo_curve_to(cr, cx - kLugTop + 22, b + 2.5, cx - kLugTop + kFillet, b, cx - kLugTop, b);
  cairo_arc(cr, l + kCorner, b - kCorner, kCorner, M_PI / 2, M_PI);
  cairo_arc(cr, l + kCorner, t + kCorner, kCorner, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void DrawCase(Canvas& c) {
  cairo_t* cr = c.cairo();
  CasePath(cr);
  SetSource(cr, kCase);
  cairo_fill_preserve(cr);
  // A faint bevel just inside the edge, lit from the top left.
  cairo_save(cr);
  cairo_clip(cr);
  CasePath(cr);
  c.LinearSource({0, 0}, {kFaceWidth, kFaceHeight}, {{0, Grey(56)}, {0.5, Grey(24)}, {1, Grey(12)}});
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_restore(cr);
  // Countersunk mounting holes: a bevelled ring round each (the hole itself
  // is surround).
  for (const Point& h : kHoles) {
    c.Arc(h, kHoleRadius + 1.3, 180, 360, 2.6, Grey(44));
    c.Arc(h, kHoleRadius + 1.3, 0, 180, 2.6, Grey(20));
  }
}

// Bezel between the dial and the case: a dark ring with thin grey highlight
// arcs, brightest where the light from the top left catches them.
void DrawBezel(Canvas& c) {
  constexpr double kRadius = 131;
  c.LinearSource({kPivot.x - kRadius, kPivot.y - kRadius}, {kPivot.x + kRadius, kPivot.y + kRadius},
                 {{0.15, Grey(36)}, {0.5, Grey(18)}, {0.85, Grey(10)}});
  FillDisc(c.cairo(), kPivot, kRadius);
  c.Ring(kPivot, kRadius, 1, Grey(28));
  auto highlight = [&](double radius, double width, double from, double to, double peak) {
    constexpr double kStep = 2;
    for (double a = from; a < to; a += kStep) {
      const double s = std::sin((a - from) / (to - from) * M_PI);  // fades at both ends
      const double v = 24 + (peak - 24) * s * s;
      c.Arc(kPivot, radius, a, a + kStep + 0.05, width, Grey(v));
    }
  };
  highlight(128.5, 1.4, 160, 290, 150);  // outer rim, upper left
  highlight(123, 0.9, 185, 265, 80);
  highlight(117.5, 1.2, 340, 470, 110);  // inner edge, lower right
}

// The dial: fine crinkle paint in the greys 16 to 24, one value per pixel.
void DrawDial(Canvas& c) {
  cairo_surface_t* texture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kFaceWidth, kFaceHeight);
  cairo_surface_flush(texture);
  unsigned char* data = cairo_image_surface_get_data(texture);
  const int stride = cairo_image_surface_get_stride(texture);
  auto hash = [](uint32_t x, uint32_t y) {
    uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
  };
  auto smooth = [&](double x, double y) {  // value noise on a 3-pixel grid
    const int x0 = static_cast<int>(x / 3), y0 = static_cast<int>(y / 3);
    const double fx = x / 3 - x0, fy = y / 3 - y0;
    const double a = hash(x0, y0), b = hash(x0 + 1, y0), c0 = hash(x0, y0 + 1), d = hash(x0 + 1, y0 + 1);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c0 * (1 - fx) + d * fx) * fy;
  };
  for (int y = 0; y < kFaceHeight; ++y)
    for (int x = 0; x < kFaceWidth; ++x) {
      const double n = 0.65 * smooth(x, y) + 0.35 * hash(x + 1000, y + 7000);
      const uint32_t v = n < 0.42 ? 16 : n < 0.58 ? 20 : 24;
      reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride)[x] = v << 16 | v << 8 | v;
    }
  cairo_surface_mark_dirty(texture);
  cairo_t* cr = c.cairo();
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_arc(cr, kPivot.x, kPivot.y, kDialRadius, 0, 2 * M_PI);
  cairo_set_source_surface(cr, texture, -0.5, -0.5);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(texture);
  c.Ring(kPivot, kDialRadius - 0.6, 1.2, Grey(10));  // shadow of the bezel
}

// One tick per 10 m; the 100-m ticks longer and wider, 0 and 500 m boldest.
struct Tick {
  double inner, outer, width;
};

Tick TickAt(int metres) {
  if (metres % 500 == 0) return {98, 112.5, 4.2};
  if (metres % 100 == 0) return {100, 112.5, 2.6};
  return {105, 112, 1.4};
}

void DrawScale(Canvas& c) {
  for (int metres = 0; metres < 1000; metres += 10) {
    const Tick t = TickAt(metres);
    c.RadialTick(kPivot, MarkAngle(metres), t.inner, t.outer, t.width, kWhite);
  }
  c.Polygon({{kPivot.x, 257.8}, {kPivot.x + 3.6, 263}, {kPivot.x - 3.6, 263}}, kWhite);  // index mark
}

// An axis-aligned box by its centre and half sizes.
struct Box {
  Point centre, half;
  double DistanceTo(Point p) const {
    return std::hypot(std::fmax(std::abs(p.x - centre.x) - half.x, 0), std::fmax(std::abs(p.y - centre.y) - half.y, 0));
  }
};

// How close `box` comes to the edge of any tick, in pixels.
double TickClearance(const Box& box) {
  double nearest = INFINITY;
  for (int metres = 0; metres < 1000; metres += 10) {
    const Tick t = TickAt(metres);
    for (double r = t.inner; r <= t.outer; r += 0.5)
      nearest = std::fmin(nearest, box.DistanceTo(Polar(kPivot, r, MarkAngle(metres))) - t.width / 2);
  }
  return nearest;
}

// The readout's box (115, 50)..(174, 76), which the face leaves free, here
// mirrored about the pivot's x so that 0.4 and 0.6 stand alike.
constexpr Box kReadoutBox{{kPivot.x, 63}, {kPivot.x - 114.5, 13.5}};

// Numerals 0.1 .. 0.9 (none at 0 and 0.5), upright, each on the ray of its
// 100-m tick, as far out as its box stays clear of the ticks and the readout.
void DrawNumerals(Canvas& c, const Font& font) {
  constexpr double kTickGap = 2, kReadoutGap = 1;
  const TextStyle style{&font, 16.5, 0.74};
  for (int tenth = 1; tenth <= 9; ++tenth) {
    if (tenth == 5) continue;
    const std::string text = "0." + std::to_string(tenth);
    const double angle = MarkAngle(100 * tenth);
    const Point size = c.TextSize(text, style);
    double radius = 92;
    for (; radius > 70; radius -= 0.25) {
      const Box box{Polar(kPivot, radius, angle), {size.x / 2, size.y / 2}};
      const Box readout{kReadoutBox.centre, {kReadoutBox.half.x + box.half.x, kReadoutBox.half.y + box.half.y}};
      if (TickClearance(box) >= kTickGap && readout.DistanceTo(box.centre) >= kReadoutGap) break;
    }
    c.Text(text, Polar(kPivot, radius, angle), style, kNumeralGrey);
  }
}

// Script text whose inked box fills the box (x0, y0)..(x1, y1), pixel
// centres included.
void ScriptInBox(Canvas& c, const std::string& text, const Font& font, double x0, double y0, double x1,
                 double y1, Colour colour) {
  TextStyle style{&font, y1 - y0 + 1};
  style.width_scale = (x1 - x0 + 1) / c.TextSize(text, style).x;
  c.Text(text, {(x0 + x1) / 2, (y0 + y1) / 2}, style, colour);
}

void DrawLegends(Canvas& c, const Font& script) {
  ScriptInBox(c, "Altimètre", script, 106, 87, 211, 107, kWhite);
  ScriptInBox(c, "d’atterrissage", script, 97, 130, 215, 153, kWhite);
  ScriptInBox(c, "Tavoran", script, 97, 156, 203, 196, kOlive);
  ScriptInBox(c, "m × 1000", script, 121, 205, 177, 216, kWhite);
}

// The knob at the foot of the case: knurled rim, domed face, lit from above.
void DrawKnob(Canvas& c) {
  constexpr double kDomeRadius = 21;
  c.Disc(kKnob, kKnobRadius + 1.5, Grey(4));  // its shadow on the lug
  c.LinearSource({0, kKnob.y - kKnobRadius}, {0, kKnob.y + kKnobRadius}, {{0, Grey(96)}, {1, Grey(20)}});
  FillDisc(c.cairo(), kKnob, kKnobRadius);
  for (int i = 0; i < 72; ++i) c.RadialTick(kKnob, i * 5, kKnobRadius - 3.5, kKnobRadius, 1.1, Grey(12));
  c.RadialSource({kKnob.x - 6, kKnob.y - 8}, 2, kKnob, kDomeRadius, {{0, Grey(120)}, {1, Grey(32)}});
  FillDisc(c.cairo(), kKnob, kDomeRadius);
  c.Ring(kKnob, kDomeRadius, 1, Grey(12));
  c.RadialTick(kKnob, 270, 9, 19, 2.2, kWhite);  // index line
}

IndexedBitmap DrawFace() {
  const Font numerals = LoadFont("DejaVu Sans:style=Bold");
  const Font script = LoadFont("Z003:style=Medium Italic");
  Canvas c(kFaceWidth, kFaceHeight);
  DrawCase(c);
  DrawBezel(c);
  DrawDial(c);
  DrawScale(c);
  DrawNumerals(c, numerals);
  DrawLegends(c, script);
  DrawKnob(c);

  const Rendering r = c.Render();
  SurroundMask surround = AroundShape(r);  // outside the case, and the holes:
  for (const Point& hole : kHoles) {
    const SurroundMask outside_hole = OutsideDisc(kFaceWidth, kFaceHeight, hole, kHoleRadius);
    for (size_t i = 0; i < surround.size(); ++i) surround[i] = surround[i] || !outside_hole[i];
  }
  return Finish(r, surround);
}

// ---- needle ---------------------------------------------------------------

// Hub (x 39..66, y 3..30) and counterweight (x 4..31, y 1..30), dark with a
// grey outline, joined by a bar (rows 12..20); the orange blade rows 13..20
// from x 70 to the blunt tip at x 149, 97 px right of the pivot (52, 18).
IndexedBitmap DrawNeedle() {
  constexpr Point kHub{52.5, 16.5}, kWeight{17.5, 15.5};
  constexpr double kHubRadius = 14, kWeightRadius = 14.5, kOutline = 1.3;
  constexpr double kBarTop = 11.5, kBarBottom = 20.5;
  constexpr double kBladeTop = 12.5, kBladeBottom = 20.5, kBladeStart = 69.5, kTip = 149.5, kChamfer = 2;
  Canvas c(150, 38);
  cairo_t* cr = c.cairo();

  auto body = [&](double inset, Colour colour) {
    c.Disc(kWeight, kWeightRadius - inset, colour);
    c.Disc(kHub, kHubRadius - inset, colour);
    SetSource(cr, colour);
    cairo_rectangle(cr, kWeight.x, kBarTop + inset, kHub.x - kWeight.x, kBarBottom - kBarTop - 2 * inset);
    cairo_rectangle(cr, kHub.x, kBladeTop + inset, kBladeStart - kHub.x + 0.6, kBladeBottom - kBladeTop - 2 * inset);
    cairo_fill(cr);
  };
  body(0, kOutlineGrey);
  body(kOutline, kDark);

  // Grey cross on the hub.
  c.RadialTick({53, 17}, 0, -3.5, 3.5, 1, kOutlineGrey);
  c.RadialTick({53, 17}, 90, -3.5, 3.5, 1, kOutlineGrey);

  c.Polygon({{kBladeStart, kBladeTop},
             {kTip - kChamfer, kBladeTop},
             {kTip, kBladeTop + kChamfer},
             {kTip, kBladeBottom - kChamfer},
             {kTip - kChamfer, kBladeBottom},
             {kBladeStart, kBladeBottom}},
            kOrange);

  const Rendering r = c.Render();
  return Finish(r, AroundShape(r));
}

// ---- drum -----------------------------------------------------------------

constexpr int kDrumSize = 256;

// 20 white numerals on a ring of radius 110.5 about (128, 125): digit k mod
// 10 at 90 - 18 k degrees, turned so that its top faces the centre.
IndexedBitmap DrawDrum() {
  constexpr Point kRing{128, 125};
  constexpr double kRingRadius = 110.5, kDigitHeight = 24, kDigitWidth = 17;
  const Font font = LoadFont("DejaVu Sans:style=Bold");
  Canvas c(kDrumSize, kDrumSize);
  c.Fill(kDrumGround);
  TextStyle style{&font, kDigitHeight};
  style.width_scale = kDigitWidth / c.TextSize("0", style).x;
  cairo_t* cr = c.cairo();
  for (int k = 0; k < 20; ++k) {
    const double angle = 90 - 18.0 * k;
    const Point at = Polar(kRing, kRingRadius, angle);
    cairo_save(cr);
    cairo_translate(cr, at.x, at.y);
    cairo_rotate(cr, (angle - 90) * M_PI / 180);
    c.Text(std::to_string(k % 10), {0, 0}, style, kWhite);
    cairo_restore(cr);
  }
  const Rendering r = c.Render();
  return Finish(r, SurroundMask(r.colour.size(), false));
}

// Two entries only: 254 black everywhere, 255 (1, 1, 1) in the opening, a
// fan that widens from 8 px at row 218 to 72 px at row 250, then rounds off
// to 28 px at the bottom row, symmetric about x = 127.5.
IndexedBitmap DrawDrumWindow() {
  IndexedBitmap b;
  b.width = b.height = kDrumSize;
  b.colours_used = 256;
  b.palette = LandingEntries();
  b.palette[255] = {1, 1, 1};
  b.pixels.assign(kDrumSize * kDrumSize, 254);
  auto half_width = [](int row) {  // pixels each side of the axis
    if (row < 218) return 0;
    if (row <= 250) return 4 + (row - 218);
    if (row <= 252) return 32;
    if (row == 253) return 25;
    return 14;
  };
  for (int y = 0; y < kDrumSize; ++y)
    for (int x = 128 - half_width(y); x < 128 + half_width(y); ++x) b.pixels[y * kDrumSize + x] = 255;
  return b;
}

const Registration face{"landing", "face", "landing_altimeter/art/face.bmp", DrawFace};
const Registration needle{"landing", "needle", "landing_altimeter/art/needle.bmp", DrawNeedle};
const Registration drum{"landing", "drum", "landing_altimeter/art/drum.bmp", DrawDrum};
const Registration window{"landing", "drum_window", "landing_altimeter/art/drum_window.bmp", DrawDrumWindow};

}  // namespace
}  // namespace gauge::art
