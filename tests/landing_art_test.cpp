// The committed bitmaps of the landing altimeter, measured pixel by pixel:
// sizes and format, the shared palette, where index 0 lies, the drum window's
// opening, and that every painted mark stands where the module's values put
// the needle or the drum.
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
using gauge::test::FractionAt;
using gauge::test::Radians;

constexpr double kPivotX = 150, kPivotY = 145;  // needle pivot on the face
constexpr double kRingX = 128, kRingY = 125;    // centre of the drum's digit ring

const IndexedBitmap& Art(const std::string& file) {
  return gauge::test::CommittedArt("landing_altimeter/art/" + file);
}

double Luma(Rgb c) { return (c.r + c.g + c.b) / 3.0; }
bool Grey(Rgb c) { return c.r == c.g && c.g == c.b; }

// Brightness (0..255) between pixel centres.
double LumaAt(const IndexedBitmap& b, double x, double y) {
  return 255 * FractionAt(b, x, y, {0, 0, 0}, {255, 255, 255});
}

double LumaPolar(const IndexedBitmap& b, double cx, double cy, double radius, double degrees) {
  return LumaAt(b, cx + radius * std::cos(Radians(degrees)), cy + radius * std::sin(Radians(degrees)));
}

// Signed difference of two angles in degrees, in (-180, 180].
double AngleDiff(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

// ---- format and palette ---------------------------------------------------

struct Format {
  const char* file;
  int width, height;
};

class LandingArtFormat : public testing::TestWithParam<Format> {};

TEST_P(LandingArtFormat, SizeAndStorage) {
  const IndexedBitmap& b = Art(GetParam().file);
  EXPECT_EQ(b.width, GetParam().width);
  EXPECT_EQ(b.height, GetParam().height);
  EXPECT_TRUE(b.bottom_up);
  EXPECT_TRUE(b.colours_used == 0 || b.colours_used == 256);
  EXPECT_EQ(b.palette[0], (Rgb{0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, LandingArtFormat,
                         testing::Values(Format{"face.bmp", 296, 334}, Format{"needle.bmp", 150, 38},
                                         Format{"drum.bmp", 256, 256}, Format{"drum_window.bmp", 256, 256}),
                         [](const testing::TestParamInfo<Format>& info) {
                           const std::string file = info.param.file;
                           return file.substr(0, file.find('.'));
                         });

TEST(LandingArtPalette, GreyRampThenColoursThenBlackThenWhite) {
  const auto& p = Art("face.bmp").palette;
  for (int i = 0; i < 32; ++i) {
    EXPECT_TRUE(Grey(p[i])) << "entry " << i;
    if (i > 0) {
      const int step = p[i].r - p[i - 1].r;
      EXPECT_GE(step, 6) << "entry " << i;
      EXPECT_LE(step, 16) << "entry " << i;
    }
  }
  EXPECT_EQ(p[31], (Rgb{255, 255, 255}));
  for (int i = 160; i < 255; ++i) EXPECT_EQ(p[i], (Rgb{0, 0, 0})) << "entry " << i;
  EXPECT_EQ(p[255], (Rgb{255, 255, 255}));

  // The colour entries 32..159: ramps of each family, and the named colours.
  struct Family {
    const char* name;
    bool (*member)(Rgb);
  };
  const Family families[] = {
      {"red", [](Rgb c) { return c.r > 2 * c.g && c.r > 2 * c.b; }},
      {"green", [](Rgb c) { return c.g > 2 * c.r && c.g > 2 * c.b; }},
      {"blue", [](Rgb c) { return c.b > 2 * c.r && c.b > 2 * c.g; }},
      {"orange", [](Rgb c) { return c.r > c.g && 3 * c.g > c.r && c.g > 2 * c.b; }},
      {"olive", [](Rgb c) { return c.r == c.g && c.r > 2 * c.b; }},
  };
  for (const Family& f : families) {
    const auto n = std::count_if(p.begin() + 32, p.begin() + 160, f.member);
    EXPECT_GE(n, 6) << f.name << " ramp";
  }
  for (Rgb named : {Rgb{224, 112, 0}, Rgb{140, 140, 0}, Rgb{81, 81, 81}, Rgb{219, 219, 219}, Rgb{8, 8, 8},
                    Rgb{16, 16, 16}, Rgb{24, 24, 24}})
    EXPECT_NE(std::find(p.begin(), p.begin() + 160, named), p.begin() + 160)
        << int(named.r) << "," << int(named.g) << "," << int(named.b);
}

// The needle and the drum use the face's palette: wherever they differ from
// it, no pixel uses the entry.
TEST(LandingArtPalette, NeedleAndDrumShareTheFacePalette) {
  const auto& face = Art("face.bmp").palette;
  for (const char* file : {"needle.bmp", "drum.bmp"}) {
    const IndexedBitmap& b = Art(file);
    std::vector<bool> used(256, false);
    for (uint8_t i : b.pixels) used[i] = true;
    for (int i = 0; i < 256; ++i) {
      if (used[i]) {
        EXPECT_EQ(b.palette[i], face[i]) << file << " entry " << i;
      }
    }
  }
}

// ---- face -----------------------------------------------------------------

struct Hole {
  int x, y;
};
constexpr Hole kHoles[] = {{34, 37}, {259, 36}, {39, 262}, {260, 263}};

bool InHole(int x, int y) {
  for (const Hole& h : kHoles)
    if ((x - h.x) * (x - h.x) + (y - h.y) * (y - h.y) <= 90) return true;  // 19 px across
  return false;
}

TEST(LandingFace, IndexZeroIsTheSurroundAndTheFourHoles) {
  const IndexedBitmap& b = Art("face.bmp");
  const std::vector<bool> surround = BorderConnectedIndexZero(b);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const bool zero = b.at(x, y) == 0;
      const bool outside = surround[static_cast<size_t>(y) * b.width + x];
      if (InHole(x, y)) {
        ASSERT_TRUE(zero) << "hole pixel " << x << "," << y;
        ASSERT_FALSE(outside) << "hole open to the surround at " << x << "," << y;
      } else {
        ASSERT_EQ(zero, outside) << "pixel " << x << "," << y;
      }
    }
  // Each hole is exactly its disc: the ring just around it is case.
  for (const Hole& h : kHoles)
    for (int a = 0; a < 360; a += 10) {
      const int x = static_cast<int>(std::lround(h.x + 11 * std::cos(Radians(a))));
      const int y = static_cast<int>(std::lround(h.y + 11 * std::sin(Radians(a))));
      EXPECT_NE(b.at(x, y), 0) << "around hole " << h.x << "," << h.y;
    }
}

// The case is one convex body: each row of it is a single span, full width
// through the middle, touching the top edge, and narrowing down the lug.
TEST(LandingFace, CaseOutlineAndLug) {
  const IndexedBitmap& b = Art("face.bmp");
  std::vector<int> left(b.height, -1), right(b.height, -1);
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x)
      if (b.at(x, y) != 0 || InHole(x, y)) {
        if (left[y] < 0) left[y] = x;
        right[y] = x;
      }
    for (int x = std::max(left[y], 0); x <= right[y]; ++x)
      ASSERT_TRUE(b.at(x, y) != 0 || InHole(x, y)) << "gap in the case at " << x << "," << y;
  }
  EXPECT_GE(right[0] - left[0], 150) << "the case touches the top edge";
  for (int y = 60; y < 230; ++y) {
    EXPECT_EQ(left[y], 0) << "row " << y;
    EXPECT_EQ(right[y], 295) << "row " << y;
  }
  EXPECT_LT(right[282] - left[282], 295) << "the lug is narrower than the case";
  for (int y = 290; y < b.height; ++y) {
    EXPECT_GE(left[y], 0) << "row " << y;
    EXPECT_LE(right[y] - left[y], right[y - 1] - left[y - 1]) << "the lug tapers at row " << y;
  }
  EXPECT_GE(right[333] - left[333], 30) << "the lug reaches the bottom edge";
  EXPECT_EQ(b.colour(148, 6), (Rgb{8, 8, 8})) << "near-black case";
}

// The readout's box at 12 o'clock is plain dial; the dial is textured in the
// greys 16 to 24.
TEST(LandingFace, DialTextureAndReadoutPlace) {
  const IndexedBitmap& b = Art("face.bmp");
  std::vector<int> seen(256, 0);
  for (int y = 50; y <= 76; ++y)
    for (int x = 115; x <= 174; ++x) {
      const Rgb c = b.colour(x, y);
      ASSERT_TRUE(Grey(c) && c.r >= 16 && c.r <= 24) << "readout place " << x << "," << y;
      seen[c.r]++;
    }
  EXPECT_GT(seen[16], 100) << "texture";
  EXPECT_GT(seen[24], 100) << "texture";
}

// 100 ticks, one per 10 m at 90 + 0.36 degrees per metre, radius 104..112:
// the brightness across each tick peaks on its angle, and the dial between
// two ticks is dark. The 100-m ticks reach further in.
TEST(LandingFace, TicksStandAtTheirAngles) {
  const IndexedBitmap& b = Art("face.bmp");
  for (int metres = 0; metres < 1000; metres += 10) {
    const double angle = 90 + 0.36 * metres;
    double sum = 0, weighted = 0, peak = 0;
    for (double d = -1.6; d <= 1.6; d += 0.05)
      for (double r = 105; r <= 111; r += 1) {
        const double l = LumaPolar(b, kPivotX, kPivotY, r, angle + d);
        const double w = std::max(0.0, l - 30);
        sum += w, weighted += w * d, peak = std::max(peak, l);
      }
    ASSERT_GT(peak, 150) << metres << " m tick";
    EXPECT_NEAR(weighted / sum, 0, 0.25) << metres << " m tick";
    EXPECT_LT(LumaPolar(b, kPivotX, kPivotY, 108, angle + 1.8), 60) << "between ticks after " << metres << " m";
    const bool major = metres % 100 == 0;
    const double inner = LumaPolar(b, kPivotX, kPivotY, 101.5, angle);
    if (major)
      EXPECT_GT(inner, 150) << metres << " m tick is long";
    else
      EXPECT_LT(inner, 60) << metres << " m tick is short";
    if (metres != 0) {  // the index mark sits under the 0 tick
      EXPECT_LT(LumaPolar(b, kPivotX, kPivotY, 115, angle), 100) << "nothing outside the " << metres << " m tick";
    }
  }
}

// Tick widths, measured across each tick at radius 108 (degrees of arc
// brighter than mid-grey): every 100-m tick is wider than every 10-m tick,
// and the ticks at 0 m and 500 m are wider than all others.
TEST(LandingFace, TickWidths) {
  const IndexedBitmap& b = Art("face.bmp");
  auto width_at = [&](int metres) {
    const double angle = 90 + 0.36 * metres;
    double w = 0;
    for (double d = -1.75; d <= 1.75; d += 0.02) w += LumaPolar(b, kPivotX, kPivotY, 108, angle + d) > 120 ? 0.02 : 0;
    return w;
  };
  double widest_minor = 0, narrowest_major = 1e9, widest_major = 0;
  for (int metres = 10; metres < 1000; metres += 10) {
    if (metres == 500) continue;
    const double w = width_at(metres);
    if (metres % 100 == 0) {
      narrowest_major = std::min(narrowest_major, w), widest_major = std::max(widest_major, w);
    } else {
      widest_minor = std::max(widest_minor, w);
    }
  }
  EXPECT_GT(narrowest_major, widest_minor + 0.3);
  for (int bold : {0, 500}) EXPECT_GT(width_at(bold), widest_major + 0.3) << bold << " m tick";
}

// Numerals 0.1..0.9 (no 0, no 0.5) in (219, 219, 219), centred at radius 77
// to 88 on the angle of their 100-m tick.
TEST(LandingFace, NumeralsStandAtTheirAngles) {
  const IndexedBitmap& b = Art("face.bmp");
  const Rgb numeral{219, 219, 219};
  for (int tenth = 0; tenth < 10; ++tenth) {
    const double angle = 90 + 36 * tenth;
    double n = 0, sx = 0, sy = 0;
    for (int y = 0; y < b.height; ++y)
      for (int x = 0; x < b.width; ++x) {
        const double dx = x - kPivotX, dy = y - kPivotY, r = std::hypot(dx, dy);
        if (r < 66 || r > 100) continue;
        if (std::fabs(AngleDiff(std::atan2(dy, dx) * 180 / std::numbers::pi, angle)) > 15) continue;
        if (b.colour(x, y) == numeral) n++, sx += x, sy += y;
      }
    if (tenth == 0 || tenth == 5) {
      EXPECT_LT(n, 5) << "no numeral at " << tenth;
      continue;
    }
    ASSERT_GT(n, 60) << "numeral 0." << tenth;
    const double cx = sx / n - kPivotX, cy = sy / n - kPivotY;
    EXPECT_NEAR(AngleDiff(std::atan2(cy, cx) * 180 / std::numbers::pi, angle), 0, 2.5) << "numeral 0." << tenth;
    EXPECT_GE(std::hypot(cx, cy), 75) << "numeral 0." << tenth;
    EXPECT_LE(std::hypot(cx, cy), 90) << "numeral 0." << tenth;
  }
}

// Legends: white script lines, the olive lettering between them and the
// small legend, and the knob on the lug.
TEST(LandingFace, LegendsAndKnob) {
  const IndexedBitmap& b = Art("face.bmp");
  auto count = [&](int x0, int y0, int x1, int y1, auto pred) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) n += pred(b.colour(x, y));
    return n;
  };
  auto white = [](Rgb c) { return c == Rgb{255, 255, 255}; };
  auto olive = [](Rgb c) { return c == Rgb{140, 140, 0}; };
  EXPECT_GT(count(106, 87, 211, 107, white), 150) << "Altimètre";
  EXPECT_GT(count(97, 130, 215, 153, white), 100) << "d'atterrissage";
  EXPECT_GT(count(110, 204, 181, 216, white), 15) << "m × 1000";
  EXPECT_GT(count(60, 153, 240, 196, olive), 300) << "olive lettering";
  EXPECT_EQ(count(0, 0, 295, 150, olive) + count(0, 198, 295, 333, olive), 0) << "olive only in its line";
  // The knob: lit from above, so its top half is brighter than the case.
  EXPECT_GT(LumaAt(b, 143, 290), Luma(b.colour(148, 6)) + 20);
  for (int x : {118, 168}) EXPECT_NE(b.at(x, 304), 0) << "knob at x " << x;
}

// ---- needle ----------------------------------------------------------------

TEST(LandingNeedle, IndexZeroOnlyAroundTheShape) {
  const IndexedBitmap& b = Art("needle.bmp");
  const std::vector<bool> surround = BorderConnectedIndexZero(b);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      ASSERT_EQ(b.at(x, y) == 0, surround[static_cast<size_t>(y) * b.width + x]) << x << "," << y;
  for (auto [x, y] : {std::pair{0, 0}, {149, 0}, {0, 37}, {149, 37}, {100, 5}, {100, 30}, {52, 36}})
    EXPECT_EQ(b.at(x, y), 0) << x << "," << y;
}

TEST(LandingNeedle, HubBladeAndCounterweight) {
  const IndexedBitmap& b = Art("needle.bmp");
  const Rgb orange{224, 112, 0}, dark{16, 16, 16};
  for (int y = 13; y <= 20; ++y) {
    for (int x = 70; x <= 146; ++x) ASSERT_EQ(b.colour(x, y), orange) << "blade " << x << "," << y;
    EXPECT_NE(b.colour(68, y), orange) << "the blade starts at x 70, row " << y;
  }
  for (int x = 72; x <= 149; ++x) {
    EXPECT_EQ(b.at(x, 12), 0) << "above the blade at x " << x;
    EXPECT_EQ(b.at(x, 21), 0) << "below the blade at x " << x;
  }
  for (int y = 15; y <= 18; ++y) EXPECT_EQ(b.colour(149, y), orange) << "blunt tip, row " << y;
  // Hub (x 39..66, y 3..30) with a grey cross at its centre; counterweight
  // (x 4..31, y 1..30) with needle_point (15, 15) inside; the bar between
  // them rows 12..20. Each probe: inside the shape or index 0.
  struct Probe {
    int x, y;
    bool shape;
    const char* what;
  };
  const Probe probes[] = {
      {39, 17, true, "hub left"},          {66, 17, true, "hub right"},     {52, 3, true, "hub top"},
      {52, 30, true, "hub bottom"},        {52, 1, false, "above the hub"}, {52, 33, false, "below the hub"},
      {4, 16, true, "weight left"},        {31, 16, true, "weight right"},  {18, 1, true, "weight top"},
      {18, 30, true, "weight bottom"},     {1, 16, false, "left of it"},    {35, 12, true, "bar top"},
      {35, 20, true, "bar bottom"},        {35, 8, false, "above the bar"}, {35, 25, false, "below the bar"},
  };
  for (const Probe& p : probes) EXPECT_EQ(b.at(p.x, p.y) != 0, p.shape) << p.what << " " << p.x << "," << p.y;
  for (auto [x, y] : {std::pair{46, 17}, {53, 10}, {15, 15}, {18, 8}, {18, 24}})
    EXPECT_EQ(b.colour(x, y), dark) << "dark body at " << x << "," << y;
  EXPECT_GT(Luma(b.colour(53, 17)), 50) << "cross";
  auto brightest = [&](int x0, int y0, int x1, int y1) {
    double l = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) l = std::max(l, Luma(b.colour(x, y)));
    return l;
  };
  EXPECT_GT(brightest(50, 3, 55, 4), 60) << "hub outline";
  EXPECT_GT(brightest(15, 1, 20, 2), 60) << "counterweight outline";
}

// ---- drum -------------------------------------------------------------------

// The numeral in slot k (0..19), at 90 - 18k degrees on the ring, measured in
// its own upright frame: "up" points to the ring's centre, "right" is up
// turned clockwise. Ink is brightness above the drum's ground.
struct Ink {
  double mass = 0, cx = 0, cy = 0;
  double height = 0, width = 0;  // extent of the bright pixels along up and right
  double top_heavy = 0;          // ink centroid above the middle of the extent, in px
  double spread = 0;             // RMS distance of the ink from its centroid along right
};

Ink SlotInk(const IndexedBitmap& b, int slot) {
  const double angle = 90 - 18.0 * slot;
  const double ux = -std::cos(Radians(angle)), uy = -std::sin(Radians(angle));
  const double rx = -uy, ry = ux;
  const double mx = kRingX - 110 * ux, my = kRingY - 110 * uy;
  Ink ink;
  double up = 0, right = 0, right2 = 0, up_lo = 1e9, up_hi = -1e9, right_lo = 1e9, right_hi = -1e9;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const double dx = x - mx, dy = y - my;
      if (std::hypot(dx, dy) > 17) continue;
      const double l = Luma(b.colour(x, y)), w = std::max(0.0, l - 24);
      const double u = dx * ux + dy * uy, r = dx * rx + dy * ry;
      ink.mass += w, ink.cx += w * x, ink.cy += w * y, up += w * u, right += w * r, right2 += w * r * r;
      if (l > 128) {
        up_lo = std::min(up_lo, u), up_hi = std::max(up_hi, u);
        right_lo = std::min(right_lo, r), right_hi = std::max(right_hi, r);
      }
    }
  ink.cx /= ink.mass, ink.cy /= ink.mass, up /= ink.mass, right /= ink.mass;
  ink.height = up_hi - up_lo + 1, ink.width = right_hi - right_lo + 1;
  ink.top_heavy = up - (up_lo + up_hi) / 2;
  ink.spread = std::sqrt(right2 / ink.mass - right * right);
  return ink;
}

TEST(LandingDrum, DarkSquareWithoutIndexZero) {
  const IndexedBitmap& b = Art("drum.bmp");
  int background = 0;
  for (size_t i = 0; i < b.pixels.size(); ++i) {
    ASSERT_NE(b.pixels[i], 0) << "pixel " << i % b.width << "," << i / b.width;
    background += b.palette[b.pixels[i]] == Rgb{24, 24, 24};
  }
  EXPECT_GT(background, 50000);
  for (auto [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}, {128, 125}})
    EXPECT_EQ(b.colour(x, y), (Rgb{24, 24, 24})) << x << "," << y;
}

// 20 white numerals on the ring, one every 18 degrees, each about 24 px high
// along its own up (towards the centre); the bottom one is an upright 0 in
// the box x 120..136, y 224..247.
TEST(LandingDrum, NumeralsOnTheRing) {
  const IndexedBitmap& b = Art("drum.bmp");
  for (int slot = 0; slot < 20; ++slot) {
    const Ink ink = SlotInk(b, slot);
    const double angle = 90 - 18.0 * slot;
    EXPECT_NEAR(ink.cx, kRingX + 110 * std::cos(Radians(angle)), 2.5) << "slot " << slot;
    EXPECT_NEAR(ink.cy, kRingY + 110 * std::sin(Radians(angle)), 2.5) << "slot " << slot;
    EXPECT_NEAR(ink.height, 24, 1.5) << "slot " << slot;
    EXPECT_LE(ink.width, 19) << "slot " << slot;
  }
  int left = 256, right = -1, top = 256, bottom = -1, white = 0;
  for (int y = 200; y < 256; ++y)
    for (int x = 100; x < 156; ++x) {
      if (Luma(b.colour(x, y)) < 128 || std::hypot(x - 128.0, y - 235.5) > 17) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      white += b.colour(x, y) == Rgb{255, 255, 255};
    }
  EXPECT_NEAR(left, 120, 1);
  EXPECT_NEAR(right, 136, 1);
  EXPECT_NEAR(top, 224, 1);
  EXPECT_NEAR(bottom, 247, 1);
  EXPECT_GT(white, 60) << "white numerals";
}

// Digits 0..9 twice, counter-clockwise from the bottom, tops facing the
// centre: slots k and k + 10 hold the same digit, the 1s are the narrowest,
// the 8s the heaviest, 6 is bottom-heavy and 7 and 9 top-heavy in their own
// upright frame, and the 0s are balanced.
TEST(LandingDrum, DigitOrderAndOrientation) {
  const IndexedBitmap& b = Art("drum.bmp");
  Ink ink[20];
  for (int slot = 0; slot < 20; ++slot) ink[slot] = SlotInk(b, slot);
  for (int slot = 0; slot < 10; ++slot) {
    EXPECT_NEAR(ink[slot].mass, ink[slot + 10].mass, 0.04 * ink[slot].mass) << "slot " << slot;
    EXPECT_NEAR(ink[slot].top_heavy, ink[slot + 10].top_heavy, 0.3) << "slot " << slot;
    EXPECT_NEAR(ink[slot].spread, ink[slot + 10].spread, 0.3) << "slot " << slot;
  }
  for (int slot = 0; slot < 10; ++slot) {
    if (slot != 1) {
      EXPECT_LT(ink[1].spread, ink[slot].spread) << "1 against " << slot;
    }
    if (slot != 8) {
      EXPECT_GT(ink[8].mass, ink[slot].mass) << "8 against " << slot;
    }
  }
  EXPECT_LT(ink[6].top_heavy, -0.2);
  EXPECT_GT(ink[7].top_heavy, 0.8);
  EXPECT_GT(ink[9].top_heavy, 0.2);
  EXPECT_NEAR(ink[0].top_heavy, 0, 0.3);
}

// ---- drum window ------------------------------------------------------------

// The opening, row by row: first and last x.
struct Span {
  int first, last;
};

Span OpeningRow(int y) {
  if (y >= 218 && y <= 250) return {124 - (y - 218), 131 + (y - 218)};
  if (y == 251 || y == 252) return {96, 159};
  if (y == 253) return {103, 152};
  if (y >= 254) return {114, 141};
  return {1, 0};  // empty
}

TEST(LandingDrumWindow, TwoColoursAndTheExactOpening) {
  const IndexedBitmap& b = Art("drum_window.bmp");
  EXPECT_EQ(b.palette[254], (Rgb{0, 0, 0}));
  EXPECT_EQ(b.palette[255], (Rgb{1, 1, 1}));
  EXPECT_EQ(std::count(b.pixels.begin(), b.pixels.end(), 254), 63982);
  EXPECT_EQ(std::count(b.pixels.begin(), b.pixels.end(), 255), 1554);
  for (int y = 0; y < b.height; ++y) {
    const Span s = OpeningRow(y);
    for (int x = 0; x < b.width; ++x)
      ASSERT_EQ(b.at(x, y), (x >= s.first && x <= s.last) ? 255 : 254) << x << "," << y;
  }
}

// The opening frames the upright numeral at the bottom of the ring, and
// shows nothing of its neighbours at 72 and 108 degrees.
TEST(LandingDrumWindow, OpeningFramesTheBottomDigit) {
  const IndexedBitmap& drum = Art("drum.bmp");
  int inside = 0, outside = 0;
  for (int y = 200; y < 256; ++y)
    for (int x = 80; x < 176; ++x) {
      if (Luma(drum.colour(x, y)) < 100) continue;
      const Span s = OpeningRow(y);
      const bool open = x >= s.first && x <= s.last;
      const bool bottom_digit = std::hypot(x - 128.0, y - 235.5) < 16;
      if (bottom_digit) (open ? inside : outside)++;
      else EXPECT_FALSE(open) << "a neighbouring numeral shows at " << x << "," << y;
    }
  EXPECT_GT(inside, 60);
  EXPECT_EQ(outside, 0);
}

}  // namespace
