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

// The source rectangle [x0, x1) x [y0, y1).
struct SourceRect {
  int x0, y0, x1, y1;
};

Span CoveredPixels(const Placement& p, const SourceRect& source, const Canvas& canvas) {
  // Invert the linear part to map the source corners (widened by one pixel
  // for the bilinear footprint) onto the canvas.
  const double det = p.xx * p.yy - p.xy * p.yx;
  double min_x = 1e300, min_y = 1e300, max_x = -1e300, max_y = -1e300;
  for (const double sx : {source.x0 - 1.0, static_cast<double>(source.x1)}) {
    for (const double sy : {source.y0 - 1.0, static_cast<double>(source.y1)}) {
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

// Source positions in fixed point, 1/65536 pixel: a canvas row steps
// through the source by whole increments, exact for quarter turns.
inline int64_t Fixed(double v) { return std::llround(v * 65536.0); }

// A bitmap's palette index at (x, y); outside the bitmap, index 0 (see-through).
inline uint8_t IndexAt(const IndexedBitmap& bitmap, int64_t x, int64_t y) {
  return x >= 0 && y >= 0 && x < bitmap.width && y < bitmap.height
             ? bitmap.pixels[static_cast<size_t>(y) * bitmap.width + static_cast<size_t>(x)]
             : 0;
}

// Bilinear weights, in 1/65536, of the 2 x 2 texels (top-left, top-right,
// bottom-left, bottom-right) around fixed-point (qx, qy).
inline std::array<uint32_t, 4> Weights(int64_t qx, int64_t qy) {
  const uint32_t fx = static_cast<uint32_t>(qx >> 8) & 255, fy = static_cast<uint32_t>(qy >> 8) & 255;
  return {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
}

// The palette indices of the 2 x 2 texels around fixed-point (qx, qy).
inline std::array<uint8_t, 4> Footprint(const IndexedBitmap& bitmap, int64_t qx, int64_t qy) {
  const int64_t x = qx >> 16, y = qy >> 16;
  if (x >= 0 && y >= 0 && x + 1 < bitmap.width && y + 1 < bitmap.height) {
    const uint8_t* top = &bitmap.pixels[static_cast<size_t>(y) * bitmap.width + static_cast<size_t>(x)];
    return {top[0], top[1], top[bitmap.width], top[bitmap.width + 1]};
  }
  return {IndexAt(bitmap, x, y), IndexAt(bitmap, x + 1, y), IndexAt(bitmap, x, y + 1), IndexAt(bitmap, x + 1, y + 1)};
}

// Coverage (0..256) of the window's opening at fixed-point (qx, qy) of the
// window; outside the window there is no opening.
inline uint32_t OpeningCoverage(const Window& window, int64_t qx, int64_t qy) {
  const IndexedBitmap& bitmap = *window.bitmap;
  const std::array<uint32_t, 4> weight = Weights(qx, qy);
  uint32_t sum = 0;
  for (int k = 0; k < 4; ++k) {
    const int64_t x = (qx >> 16) + (k & 1), y = (qy >> 16) + (k >> 1);
    if (x >= 0 && y >= 0 && x < bitmap.width && y < bitmap.height &&
        bitmap.pixels[static_cast<size_t>(y) * bitmap.width + static_cast<size_t>(x)] != window.surround)
      sum += weight[k];
  }
  return (sum + 128) >> 8;
}

// The smallest rectangle of the window holding its whole opening.
SourceRect OpeningBounds(const Window& window) {
  const IndexedBitmap& bitmap = *window.bitmap;
  SourceRect r{bitmap.width, bitmap.height, 0, 0};
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) {
      if (bitmap.at(x, y) == window.surround) continue;
      r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
      r.x1 = std::max(r.x1, x + 1), r.y1 = std::max(r.y1, y + 1);
    }
  }
  return r.x0 < r.x1 ? r : SourceRect{0, 0, 0, 0};
}

// Narrows the canvas run [lo, hi) to the pixels whose source coordinate
// q0 + step * (cx - lo) can fall within [first, last] (fixed point), with a
// pixel to spare either side: the samples themselves stay bounds-checked.
void ClipRun(int64_t q0, int64_t step, int64_t first, int64_t last, int& lo, int& hi) {
  if (step == 0) {
    if (q0 < first || q0 > last) hi = lo;
    return;
  }
  double t0 = double(first - q0) / step, t1 = double(last - q0) / step;
  if (t0 > t1) std::swap(t0, t1);
  const int base = lo;
  lo = static_cast<int>(std::clamp(std::floor(t0) - 1 + base, double(lo), double(hi)));
  hi = static_cast<int>(std::clamp(std::ceil(t1) + 2 + base, double(lo), double(hi)));
}

// An unturned, unscaled bitmap at a whole-pixel offset: each canvas pixel
// shows one source pixel, so it is copied (index 0 left out).
void DrawUnturned(Canvas& canvas, const IndexedBitmap& bitmap, const std::array<Rgba, 256>& colours, int64_t dx,
                  int64_t dy, const Span& span) {
  const int64_t x0 = std::max<int64_t>(span.x0, -dx), x1 = std::min<int64_t>(span.x1, bitmap.width - dx);
  const int64_t y0 = std::max<int64_t>(span.y0, -dy), y1 = std::min<int64_t>(span.y1, bitmap.height - dy);
  for (int64_t cy = y0; cy < y1; ++cy) {
    Rgba* out = &canvas.at(0, static_cast<int>(cy));
    const uint8_t* in = &bitmap.pixels[static_cast<size_t>(cy + dy) * bitmap.width + static_cast<size_t>(dx)];
    for (int64_t cx = x0; cx < x1; ++cx) {
      if (in[cx] != 0) out[cx] = colours[in[cx]];
    }
  }
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
  Span span = CoveredPixels(p, SourceRect{0, 0, bitmap.width, bitmap.height}, canvas);
  if (window) {  // only where the opening can show
    const Span open = CoveredPixels(window->placement, OpeningBounds(*window), canvas);
    span = Span{std::max(span.x0, open.x0), std::max(span.y0, open.y0), std::min(span.x1, open.x1),
                std::min(span.y1, open.y1)};
  }
  if (!window && p.xx == 1 && p.yy == 1 && p.xy == 0 && p.yx == 0 && p.dx == std::floor(p.dx) &&
      p.dy == std::floor(p.dy)) {
    DrawUnturned(canvas, bitmap, colours, static_cast<int64_t>(p.dx), static_cast<int64_t>(p.dy), span);
    return;
  }
  const int64_t step_x = Fixed(p.xx), step_y = Fixed(p.yx);
  const Placement* wp = window ? &window->placement : nullptr;
  const int64_t window_step_x = wp ? Fixed(wp->xx) : 0, window_step_y = wp ? Fixed(wp->yx) : 0;
  const int64_t one = int64_t{1} << 16;
  for (int cy = span.y0; cy < span.y1; ++cy) {
    // The part of the row whose samples can touch the bitmap.
    int x0 = span.x0, x1 = span.x1;
    const int64_t row_x = Fixed(p.xx * x0 + p.xy * cy + p.dx), row_y = Fixed(p.yx * x0 + p.yy * cy + p.dy);
    ClipRun(row_x, step_x, -one, int64_t{bitmap.width} * one, x0, x1);
    ClipRun(row_y, step_y, -one, int64_t{bitmap.height} * one, x0, x1);
    if (x0 >= x1) continue;
    int64_t qx = Fixed(p.xx * x0 + p.xy * cy + p.dx), qy = Fixed(p.yx * x0 + p.yy * cy + p.dy);
    int64_t wx = wp ? Fixed(wp->xx * x0 + wp->xy * cy + wp->dx) : 0;
    int64_t wy = wp ? Fixed(wp->yx * x0 + wp->yy * cy + wp->dy) : 0;
    Rgba* out = &canvas.at(0, cy);
    for (int cx = x0; cx < x1; ++cx, qx += step_x, qy += step_y, wx += window_step_x, wy += window_step_y) {
      // Behind a window, most pixels lie outside its opening: test that first.
      const uint32_t open = window ? OpeningCoverage(*window, wx, wy) : 256;
      if (open == 0) continue;
      const std::array<uint8_t, 4> index = Footprint(bitmap, qx, qy);
      if ((index[0] | index[1] | index[2] | index[3]) == 0) continue;  // all see-through
      uint32_t r, g, b, a;
      if (index[0] == index[1] && index[0] == index[2] && index[0] == index[3]) {
        const Rgba c = colours[index[0]];  // flat: no blending within the footprint
        r = c.r, g = c.g, b = c.b, a = c.a;
      } else {
        const std::array<uint32_t, 4> weight = Weights(qx, qy);
        r = g = b = a = 0;
        for (int k = 0; k < 4; ++k) {
          const Rgba c = colours[index[k]];
          r += weight[k] * c.r, g += weight[k] * c.g, b += weight[k] * c.b, a += weight[k] * c.a;
        }
        if (a == 0) continue;
        r = (r + 32768) >> 16, g = (g + 32768) >> 16, b = (b + 32768) >> 16, a = (a + 32768) >> 16;
      }
      if (open < 256) {
        r = (r * open + 128) >> 8, g = (g * open + 128) >> 8;
        b = (b * open + 128) >> 8, a = (a * open + 128) >> 8;
      }
      if (a == 255) {
        out[cx] = Rgba{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 255};
      } else {
        Over(out[cx], r, g, b, a);
      }
    }
  }
}

}  // namespace gauge::render
