// Velkor_Climb: face 4096 (300 x 326) and needle 4352 (107 x 23).
//
// The needle turns about face pixel (150, 150), the dial's centre. The scale
// is uneven, so the module carries a calibration table and every labelled
// mark stands on the ray from the centre through that table's point for its
// value; the unlabelled marks divide the gaps between labelled ones evenly.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "artwork.h"

namespace gauge::art {
namespace {

constexpr Point kCentre{150, 150};
constexpr int kFaceWidth = 300, kFaceHeight = 326;
constexpr double kDialRadius = 148;

constexpr Colour kDial{11, 11, 11};
constexpr Colour kCase{40, 38, 35};
constexpr Colour kCaseLight{66, 63, 58};
constexpr Colour kCaseDark{26, 25, 23};
constexpr Colour kCaseEdge{78, 75, 69};
constexpr Colour kCream{240, 232, 210};
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kLightGrey{222, 222, 218};
constexpr Colour kLegend{228, 210, 164};
constexpr Colour kBronze{104, 72, 42};
constexpr Colour kBronzeLight{150, 108, 62};
constexpr Colour kScrewDark{70, 70, 68};
constexpr Colour kScrewLight{206, 206, 200};

void SetSource(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r / 255, c.g / 255, c.b / 255); }

void AddStop(cairo_pattern_t* gradient, double offset, Colour c) {
  cairo_pattern_add_color_stop_rgb(gradient, offset, c.r / 255, c.g / 255, c.b / 255);
}

// Degrees clockwise from 3 o'clock, 0 to 360, of `p` seen from the centre.
double DirectionOf(Point p) {
  const double d = std::atan2(p.y - kCentre.y, p.x - kCentre.x) * 180 / std::numbers::pi;
  return d < 0 ? d + 360 : d;
}

// The labelled marks in ascending order of value, descent 30 to climb 30:
// the calibration point of each (the mark's direction) and its numeral.
struct LabelledMark {
  Point point;
  const char* numeral;
  Point numeral_centre;
};
constexpr LabelledMark kLabelled[] = {
    {{226, 239}, "30", {206, 205}}, {{184, 262}, "20", {173, 228}}, {{133, 266}, "10", {132, 231}},
    {{75, 243}, "5", {92, 217}},    {{33, 151}, "0", {56, 149}},    {{70, 57}, "5", {92, 79}},
    {{131, 31}, "10", {129, 62}},   {{190, 37}, "20", {172, 64}},   {{226, 55}, "30", {203, 84}},
};

// Unlabelled marks: the gap after labelled mark `from` split into `parts`.
struct Subdivision {
  int from, parts;
};
constexpr Subdivision kSubdivisions[] = {
    {0, 2},  // descent 25
    {1, 2},  // descent 15
    {3, 5},  // descent 4 .. 1
    {4, 5},  // climb 1 .. 4
    {6, 2},  // climb 15
    {7, 2},  // climb 25
};

constexpr double kLabelledInner = 105, kLabelledOuter = 118, kLabelledWidth = 3;
constexpr double kPlainInner = 105, kPlainOuter = 116, kPlainWidth = 2;

void DrawScale(Canvas& c, const Font& numerals) {
  for (const LabelledMark& m : kLabelled)
    c.RadialTick(kCentre, DirectionOf(m.point), kLabelledInner, kLabelledOuter, kLabelledWidth, kCream);
  for (const Subdivision& s : kSubdivisions) {
    const double from = DirectionOf(kLabelled[s.from].point), to = DirectionOf(kLabelled[s.from + 1].point);
    for (int i = 1; i < s.parts; ++i)
      c.RadialTick(kCentre, from + (to - from) * i / s.parts, kPlainInner, kPlainOuter, kPlainWidth, kCream);
  }
  const TextStyle style{&numerals, 20, 0.8};
  for (const LabelledMark& m : kLabelled) c.Text(m.numeral, m.numeral_centre, style, kCream);
}

// Text whose inked box is `width` wide, glyphs in their own proportions.
void TextOfWidth(Canvas& c, const std::string& text, Point centre, const Font& font, double width, Colour colour) {
  constexpr double kProbeHeight = 20;
  const Point probe = c.TextSize(text, TextStyle{&font, kProbeHeight});
  c.Text(text, centre, TextStyle{&font, kProbeHeight * width / probe.x}, colour);
}

void DrawWords(Canvas& c, const Font& script, const Font& sans) {
  TextOfWidth(c, "monte", {142, 104}, script, 62, kWhite);
  TextOfWidth(c, "descend", {144, 187}, script, 84, kWhite);
  const Point natural = c.TextSize("m/s", TextStyle{&sans, 12});
  c.Text("m/s", {242, 177}, TextStyle{&sans, 12, 33 / natural.x}, kLightGrey);
  TextOfWidth(c, "Velkor", {150, 141}, script, 103, kLegend);
}

// A swash under the legend: a crescent, thickest under the middle.
void DrawSwash(Canvas& c) {
  cairo_t* cr = c.cairo();
  cairo_new_path(cr);
  cairo_move_to(cr, 104, 160);
  cairo_curve_to(cr, 130, 170, 170, 168, 198, 156);
  cairo_curve_to(cr, 170, 165.5, 130, 166, 104, 160);
  SetSource(cr, kLegend);
  cairo_fill(cr);
}

// Squarish mounting corners, each with a screw, centred on these points.
constexpr Point kScrews[] = {{37, 35}, {265, 35}, {37, 261}, {262, 259}};
constexpr double kCornerHalf = 25, kCornerRound = 10, kScrewRadius = 8;
constexpr double kScrewSlotDegrees[] = {-20, 35, 70, -55};

void CornerPath(cairo_t* cr, Point centre) {
  const double l = centre.x - kCornerHalf, t = centre.y - kCornerHalf;
  const double r = centre.x + kCornerHalf, b = centre.y + kCornerHalf, k = kCornerRound;
  const double q = std::numbers::pi / 2;
  cairo_new_sub_path(cr);
  cairo_arc(cr, r - k, t + k, k, -q, 0);
  cairo_arc(cr, r - k, b - k, k, 0, q);
  cairo_arc(cr, l + k, b - k, k, q, 2 * q);
  cairo_arc(cr, l + k, t + k, k, 2 * q, 3 * q);
  cairo_close_path(cr);
}

// The lobe below the disc: convex sides from the disc down to a narrow,
// rounded end 2 pixels above the bitmap's bottom edge.
void LobePath(cairo_t* cr) {
  const double bottom = kFaceHeight - 3 + 0.5;
  cairo_new_sub_path(cr);
  cairo_move_to(cr, 56, 250);
  cairo_curve_to(cr, 75, 272, 88, 290, 99, 296.5);
  cairo_line_to(cr, 137, 318);
  cairo_curve_to(cr, 140, 320, 141, bottom, 144, bottom);
  cairo_line_to(cr, 156, bottom);
  cairo_curve_to(cr, 159, bottom, 160, 320, 163, 318);
  cairo_line_to(cr, 201, 296.5);
  cairo_curve_to(cr, 212, 290, 225, 272, 244, 250);
  cairo_close_path(cr);
}

// The case behind the dial: corners and lobe, lit from the upper left.
void DrawCase(Canvas& c) {
  cairo_t* cr = c.cairo();
  cairo_new_path(cr);
  for (const Point& p : kScrews) CornerPath(cr, p);
  LobePath(cr);
  cairo_pattern_t* light = cairo_pattern_create_linear(0, 0, kFaceWidth, kFaceHeight);
  AddStop(light, 0, kCaseLight);
  AddStop(light, 0.5, kCase);
  AddStop(light, 1, kCaseDark);
  cairo_set_source(cr, light);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_save(cr);
  cairo_fill_preserve(cr);
  cairo_clip_preserve(cr);
  SetSource(cr, kCaseEdge);  // the edge's inner half: a thin bevel
  cairo_set_line_width(cr, 1.6);
  cairo_stroke(cr);
  c.Ring(kCentre, kDialRadius + 1, 2.5, kCaseDark);  // the dial's shadow on the case
  cairo_restore(cr);
  cairo_pattern_destroy(light);
}

void DrawScrew(Canvas& c, Point p, double slot_degrees) {
  cairo_t* cr = c.cairo();
  cairo_pattern_t* dome = cairo_pattern_create_radial(p.x - 2.5, p.y - 2.5, 0.5, p.x, p.y, kScrewRadius);
  AddStop(dome, 0, kScrewLight);
  AddStop(dome, 1, kScrewDark);
  cairo_new_path(cr);
  cairo_arc(cr, p.x, p.y, kScrewRadius, 0, 2 * std::numbers::pi);
  cairo_set_source(cr, dome);
  cairo_fill(cr);
  cairo_pattern_destroy(dome);
  c.Ring(p, kScrewRadius, 1, kCaseDark);
  const Point a = Polar(p, kScrewRadius - 1.5, slot_degrees), b = Polar(p, kScrewRadius - 1.5, slot_degrees + 180);
  SetSource(cr, kCaseDark);
  cairo_set_line_width(cr, 1.8);
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_stroke(cr);
}

// Smooth deterministic noise in 0..1 over the plane, a few pixels per cell.
double Hash(int x, int y) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double ValueNoise(double x, double y) {
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const double fx = x - ix, fy = y - iy;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double top = Hash(ix, iy) + (Hash(ix + 1, iy) - Hash(ix, iy)) * sx;
  const double bottom = Hash(ix, iy + 1) + (Hash(ix + 1, iy + 1) - Hash(ix, iy + 1)) * sx;
  return top + (bottom - top) * sy;
}

double Mottle(double x, double y) {
  return 0.5 * ValueNoise(x / 8, y / 8) + 0.3 * ValueNoise(x / 3, y / 3) + 0.2 * ValueNoise(x / 1.3, y / 1.3);
}

double SmoothStep(double from, double to, double v) {
  const double t = std::fmin(1, std::fmax(0, (v - from) / (to - from)));
  return t * t * (3 - 2 * t);
}

// Where the rim's paint has worn through to the bronze beneath: a band of
// directions (wrapping past 360) and radii, with soft ends.
struct WearZone {
  double from_deg, to_deg, inner, outer, strength;
};
constexpr WearZone kWear[] = {
    {8, 82, 121, 143, 1.0},     // lower right, where the thumb meets the rim
    {196, 252, 134, 146.5, 0.8},  // upper left, along the outline
};

double WearAt(const WearZone& z, Point p) {
  const double dx = p.x - kCentre.x, dy = p.y - kCentre.y, r = std::hypot(dx, dy);
  const double span = z.to_deg - z.from_deg, into = std::fmod(DirectionOf(p) - z.from_deg + 360, 360);
  if (into > span || r < z.inner || r > z.outer) return 0;
  const double along = std::fmin(SmoothStep(0, 12, into), SmoothStep(span, span - 12, into));
  const double across = std::fmin(SmoothStep(z.inner, z.inner + 4, r), SmoothStep(z.outer, z.outer - 3, r));
  return z.strength * along * across;
}

// The worn patches as a mask at twice the bitmap's resolution, painted in
// bronze through it.
void DrawWear(Canvas& c) {
  constexpr int kScale = 2;
  const int w = kFaceWidth * kScale, h = kFaceHeight * kScale;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_surface_flush(mask);
  unsigned char* data = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Point p{(x + 0.5) / kScale - 0.5, (y + 0.5) / kScale - 0.5};
      double wear = 0;
      for (const WearZone& z : kWear) wear = std::fmax(wear, WearAt(z, p));
      const double a = wear * SmoothStep(0.56, 0.72, Mottle(p.x, p.y) + 0.2 * (wear - 0.5));
      data[static_cast<size_t>(y) * stride + x] = static_cast<unsigned char>(std::lround(255 * a));
    }
  cairo_surface_mark_dirty(mask);
  cairo_t* cr = c.cairo();
  cairo_save(cr);
  cairo_translate(cr, -0.5, -0.5);
  cairo_scale(cr, 1.0 / kScale, 1.0 / kScale);
  cairo_pattern_t* bronze = cairo_pattern_create_radial(kCentre.x * kScale, kCentre.y * kScale, 120 * kScale,
                                                        kCentre.x * kScale, kCentre.y * kScale, 148 * kScale);
  AddStop(bronze, 0, kBronze);
  AddStop(bronze, 0.6, kBronzeLight);
  AddStop(bronze, 1, kBronze);
  cairo_set_source(cr, bronze);
  cairo_mask_surface(cr, mask, 0, 0);
  cairo_pattern_destroy(bronze);
  cairo_restore(cr);
  cairo_surface_destroy(mask);
}

IndexedBitmap DrawFace() {
  const Font numerals = LoadFont("DejaVu Sans:style=Bold");
  const Font sans = LoadFont("DejaVu Sans");
  const Font script = LoadFont("Z003:style=Medium Italic");
  Canvas c(kFaceWidth, kFaceHeight);
  DrawCase(c);
  for (size_t i = 0; i < std::size(kScrews); ++i) DrawScrew(c, kScrews[i], kScrewSlotDegrees[i]);
  c.Disc(kCentre, kDialRadius, kDial);
  c.Ring(kCentre, kDialRadius - 1, 1.5, kCase);  // the rim's edge
  DrawWear(c);
  DrawScale(c, numerals);
  DrawWords(c, script, sans);
  DrawSwash(c);

  Palette palette;
  palette.AddRamp(kDial, kCream, 64);
  palette.AddRamp(kDial, kWhite, 32);
  palette.AddRamp(kDial, kLegend, 32);
  palette.AddRamp(kDial, kCaseEdge, 24);
  palette.AddRamp(kDial, kBronze, 24);
  palette.AddRamp(kBronze, kBronzeLight, 12);
  palette.AddRamp(kCaseDark, kScrewLight, 40);
  const Rendering r = c.Render();
  return Quantise(r, palette, AroundShape(r));
}

// Needle: hub disc on the pivot (11, 11) over the full height, shaft to x 35,
// blade x 36 to the tip at x 106, rows 8 to 14, stepped down at the end.
constexpr Colour kHubOuter{0, 8, 8}, kHubInner{8, 8, 8};
constexpr Colour kBlade{198, 173, 99};

IndexedBitmap DrawNeedle() {
  constexpr Point kPivot{11, 11};
  constexpr double kTop = 8 - 0.5, kBottom = 14 + 0.5, kShaftEnd = 35 + 0.5;
  // Blade outline as pixel edges: rows 8 and 14 end at x 97, rows 9 and 13
  // at 104, rows 10 to 12 at 106.
  const std::vector<Point> blade = {
      {kShaftEnd, kTop}, {97.5, kTop},  {97.5, 8.5},   {104.5, 8.5}, {104.5, 9.5},    {106.5, 9.5},
      {106.5, 12.5},     {104.5, 12.5}, {104.5, 13.5}, {97.5, 13.5}, {97.5, kBottom}, {kShaftEnd, kBottom},
  };
  Canvas c(107, 23);
  c.Disc(kPivot, 11.5, kHubOuter);
  c.Polygon({{kPivot.x, kTop}, {kShaftEnd, kTop}, {kShaftEnd, kBottom}, {kPivot.x, kBottom}}, kHubInner);
  c.Disc(kPivot, 7, kHubInner);
  c.Polygon(blade, kBlade);

  Palette palette;
  palette.AddRamp(kHubOuter, kHubInner, 2);
  palette.AddRamp(kBlade, kBlade, 1);
  const Rendering r = c.Render();
  return Quantise(r, palette, AroundShape(r));
}

const Registration face{"climb", "face", "climb/art/face.bmp", DrawFace};
const Registration needle{"climb", "needle", "climb/art/needle.bmp", DrawNeedle};

}  // namespace
}  // namespace gauge::art
