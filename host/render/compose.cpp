#include "compose.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace gauge::render {
namespace {

// Sine and cosine of an angle in degrees, exact for whole quarter turns. An
// angle that is not a number, or infinite, has no direction: it counts as 0.
void TurnOf(double degrees, double& sine, double& cosine) {
  if (!std::isfinite(degrees)) degrees = 0;
  double reduced = std::fmod(degrees, 360.0);
  if (reduced < 0) reduced += 360.0;
  if (reduced == 0.0 || reduced == 90.0 || reduced == 180.0 || reduced == 270.0) {
    static constexpr double kSin[] = {0, 1, 0, -1};
    static constexpr double kCos[] = {1, 0, -1, 0};
    const int quarter = static_cast<int>(reduced / 90.0);
    sine = kSin[quarter];
    cosine = kCos[quarter];
    return;
  }
  const double radians = reduced * (M_PI / 180.0);
  sine = std::sin(radians);
  cosine = std::cos(radians);
}

// Canvas pixels that can receive any part of a w x h source, clipped to the canvas.
struct Span {
  int x0, y0, x1, y1;  // half-open
};

Span CoveredPixels(const Placement& p, int w, int h, const Canvas& canvas) {
  // Invert the linear part to map the source corners (widened by one pixel
  // for the bilinear footprint) onto the canvas.
  const double det = p.xx * p.yy - p.xy * p.yx;
  double min_x = 1e300, min_y = 1e300, max_x = -1e300, max_y = -1e300;
  for (const double sx : {-1.0, static_cast<double>(w)}) {
    for (const double sy : {-1.0, static_cast<double>(h)}) {
      const double ux = sx - p.dx, uy = sy - p.dy;
      const double cx = (p.yy * ux - p.xy * uy) / det;
      const double cy = (-p.yx * ux + p.xx * uy) / det;
      min_x = std::min(min_x, cx), max_x = std::max(max_x, cx);
      min_y = std::min(min_y, cy), max_y = std::max(max_y, cy);
    }
  }
  // Clipped in floating point first: a bitmap placed far off the canvas
  // must not overflow the conversion to int.
  const auto clip = [](double v, int limit) { return static_cast<int>(std::clamp(v, 0.0, double(limit))); };
  return Span{clip(std::floor(min_x), canvas.width), clip(std::floor(min_y), canvas.height),
              clip(std::ceil(max_x) + 1, canvas.width), clip(std::ceil(max_y) + 1, canvas.height)};
}

// A source position in 1/256 pixel, split into texel and fraction.
struct Sample {
  int x, y;    // top-left texel of the 2 x 2 footprint
  int fx, fy;  // 0..255
};

inline Sample SampleAt(double sx, double sy) {
  const long long qx = std::llround(sx * 256.0), qy = std::llround(sy * 256.0);
  return Sample{static_cast<int>(qx >> 8), static_cast<int>(qy >> 8), static_cast<int>(qx & 255),
                static_cast<int>(qy & 255)};
}

// Bilinear weights of the four texels, in 1/65536.
inline std::array<uint32_t, 4> Weights(const Sample& s) {
  const uint32_t fx = s.fx, fy = s.fy;
  return {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
}

// Coverage (0..256) of the window's opening at a canvas pixel.
inline uint32_t OpeningCoverage(const Window& window, double cx, double cy) {
  const Placement& p = window.placement;
  const IndexedBitmap& bitmap = *window.bitmap;
  const Sample s = SampleAt(p.xx * cx + p.xy * cy + p.dx, p.yx * cx + p.yy * cy + p.dy);
  const std::array<uint32_t, 4> w = Weights(s);
  uint32_t sum = 0;
  for (int k = 0; k < 4; ++k) {
    const int x = s.x + (k & 1), y = s.y + (k >> 1);
    if (bitmap.contains(x, y) && bitmap.at(x, y) != window.surround) sum += w[k];
  }
  return (sum + 128) >> 8;
}

}  // namespace

Placement PlaceTurned(Point anchor, Point pivot, double clockwise_degrees, double scale) {
  // Canvas pixel c shows gauge point g = (c + 0.5) / scale - 0.5, which shows
  // bitmap point pivot + R(-angle) (g - anchor), R turning clockwise on screen.
  double sine, cosine;
  TurnOf(clockwise_degrees, sine, cosine);
  const double k = 1.0 / scale, shift = 0.5 / scale - 0.5;
  const double gx = shift - anchor.x, gy = shift - anchor.y;  // g - anchor at canvas (0, 0)
  Placement p;
  p.xx = cosine * k, p.xy = sine * k;
  p.yx = -sine * k, p.yy = cosine * k;
  p.dx = pivot.x + cosine * gx + sine * gy;
  p.dy = pivot.y - sine * gx + cosine * gy;
  return p;
}

uint8_t SurroundIndex(const IndexedBitmap& window) {
  std::array<size_t, 256> counts{};
  for (int x = 0; x < window.width; ++x) ++counts[window.at(x, 0)], ++counts[window.at(x, window.height - 1)];
  for (int y = 0; y < window.height; ++y) ++counts[window.at(0, y)], ++counts[window.at(window.width - 1, y)];
  return static_cast<uint8_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

void DrawBitmap(Canvas& canvas, const IndexedBitmap& bitmap, const Placement& p, const Window* window) {
  // The palette as premultiplied colours, index 0 fully transparent.
  std::array<Rgba, 256> colours;
  for (int i = 0; i < 256; ++i) {
    const Rgb c = bitmap.palette[i];
    colours[i] = i == 0 ? Rgba{0, 0, 0, 0} : Rgba{c.r, c.g, c.b, 255};
  }
  const Span span = CoveredPixels(p, bitmap.width, bitmap.height, canvas);
  for (int cy = span.y0; cy < span.y1; ++cy) {
    double sx = p.xx * span.x0 + p.xy * cy + p.dx;
    double sy = p.yx * span.x0 + p.yy * cy + p.dy;
    for (int cx = span.x0; cx < span.x1; ++cx, sx += p.xx, sy += p.yx) {
      const Sample s = SampleAt(sx, sy);
      if (s.x < -1 || s.y < -1 || s.x >= bitmap.width || s.y >= bitmap.height) continue;
      const std::array<uint32_t, 4> w = Weights(s);
      uint32_t r = 0, g = 0, b = 0, a = 0;
      for (int k = 0; k < 4; ++k) {
        const int x = s.x + (k & 1), y = s.y + (k >> 1);
        if (w[k] == 0 || !bitmap.contains(x, y)) continue;
        const Rgba c = colours[bitmap.at(x, y)];
        r += w[k] * c.r, g += w[k] * c.g, b += w[k] * c.b, a += w[k] * c.a;
      }
      if (a == 0) continue;
      r = (r + 32768) >> 16, g = (g + 32768) >> 16, b = (b + 32768) >> 16, a = (a + 32768) >> 16;
      if (window) {
        const uint32_t open = OpeningCoverage(*window, cx, cy);
        if (open == 0) continue;
        r = (r * open + 128) >> 8, g = (g * open + 128) >> 8;
        b = (b * open + 128) >> 8, a = (a * open + 128) >> 8;
      }
      Over(canvas.at(cx, cy), r, g, b, a);
    }
  }
}

}  // namespace gauge::render
