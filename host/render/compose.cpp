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

// Bilinear weights, in 1/65536, of the 2 x 2 texels (top-left, top-right,
// bottom-left, bottom-right) around fixed-point (qx, qy).
inline std::array<uint32_t, 4> Weights(int64_t qx, int64_t qy) {
  const uint32_t fx = static_cast<uint32_t>(qx >> 8) & 255, fy = static_cast<uint32_t>(qy >> 8) & 255;
  return {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
}

// The top-left texel of the footprint around fixed-point (qx, qy) in a
// framed picture (see PreparedBitmap::framed).
inline const uint8_t* FramedAt(const uint8_t* framed, int64_t stride, int64_t qx, int64_t qy) {
  return framed + ((qy >> 16) + 1) * stride + (qx >> 16) + 1;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t CeilDiv(int64_t a, int64_t b) { return a / b + ((a % b != 0) && ((a < 0) == (b < 0))); }

// Narrows the canvas run [lo, hi) to the pixels cx whose fixed-point source
// coordinate q0 + step * (cx - base) lies in [min, max): exact, so a footprint
// left out is one that lies wholly outside.
void KeepWithin(int64_t q0, int64_t step, int base, int64_t min, int64_t max, int& lo, int& hi) {
  int64_t first, last;  // in steps from base
  if (step == 0) {
    if (q0 < min || q0 >= max) hi = lo;
    return;
  }
  if (step > 0) {
    first = CeilDiv(min - q0, step), last = FloorDiv(max - 1 - q0, step);
  } else {
    first = CeilDiv(max - 1 - q0, step), last = FloorDiv(min - q0, step);
  }
  lo = static_cast<int>(std::max<int64_t>(lo, base + first));
  hi = static_cast<int>(std::min<int64_t>(hi, base + last + 1));
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

// Whether the placement shows each source pixel unchanged on one canvas
// pixel, shifted by a whole (dx, dy).
bool WholePixelShift(const Placement& p, int64_t& dx, int64_t& dy) {
  constexpr double kFar = 1e15;  // beyond any canvas: no int64 overflow below
  if (p.xx != 1 || p.yy != 1 || p.xy != 0 || p.yx != 0 || p.dx != std::floor(p.dx) || p.dy != std::floor(p.dy) ||
      std::abs(p.dx) > kFar || std::abs(p.dy) > kFar)
    return false;
  dx = static_cast<int64_t>(p.dx), dy = static_cast<int64_t>(p.dy);
  return true;
}

// The canvas pixels [x0, x1) x [y0, y1) that show a bitmap shifted by (dx, dy).
Span ShiftedRect(const PreparedBitmap& bitmap, int64_t dx, int64_t dy, const Span& clip) {
  return Span{static_cast<int>(std::clamp<int64_t>(-dx, clip.x0, clip.x1)),
              static_cast<int>(std::clamp<int64_t>(-dy, clip.y0, clip.y1)),
              static_cast<int>(std::clamp<int64_t>(bitmap.width() - dx, clip.x0, clip.x1)),
              static_cast<int>(std::clamp<int64_t>(bitmap.height() - dy, clip.y0, clip.y1))};
}

// An unturned, unscaled bitmap at a whole-pixel offset: each canvas pixel
// shows one source pixel, so it is copied (index 0 left out).
void DrawUnturned(Canvas& canvas, const PreparedBitmap& bitmap, int64_t dx, int64_t dy, const Span& span) {
  const Span r = ShiftedRect(bitmap, dx, dy, span);
  for (int cy = r.y0; cy < r.y1; ++cy) {
    Rgba* out = &canvas.at(0, cy);
    const Rgba* in = bitmap.colour_row(static_cast<int>(cy + dy)) + dx;
    for (int cx = r.x0; cx < r.x1; ++cx) out[cx] = in[cx].a != 0 ? in[cx] : out[cx];
  }
}

// Samples `bitmap` bilinearly along the canvas run [x0, x1) of row cy, whose
// first pixel samples fixed-point (qx, qy) of the bitmap and (wx, wy) of the
// window; each pixel steps by (step_x, step_y) and (window_step_x,
// window_step_y). Every footprint lies within the framed pictures.
template <bool kWindowed>
void SampleRun(Rgba* out, int x0, int x1, const PreparedBitmap& bitmap, int64_t qx, int64_t qy, int64_t step_x,
               int64_t step_y, const PreparedBitmap* window, int64_t wx, int64_t wy, int64_t window_step_x,
               int64_t window_step_y) {
  const uint8_t* texels = bitmap.framed();
  const int64_t stride = bitmap.framed_stride();
  const uint8_t* mask = kWindowed ? window->opening_mask() : nullptr;
  const int64_t mask_stride = kWindowed ? window->framed_stride() : 0;
  for (int cx = x0; cx < x1; ++cx, qx += step_x, qy += step_y, wx += window_step_x, wy += window_step_y) {
    uint32_t open = 256;
    if constexpr (kWindowed) {  // most pixels behind a window lie outside its opening: test that first
      const uint8_t* m = FramedAt(mask, mask_stride, wx, wy);
      const std::array<uint32_t, 4> weight = Weights(wx, wy);
      open = (weight[0] * m[0] + weight[1] * m[1] + weight[2] * m[mask_stride] + weight[3] * m[mask_stride + 1] +
              128) >> 8;
      if (open == 0) continue;
    }
    const uint8_t* t = FramedAt(texels, stride, qx, qy);
    const uint32_t quad = t[0] | uint32_t{t[1]} << 8 | uint32_t{t[stride]} << 16 | uint32_t{t[stride + 1]} << 24;
    if (quad == 0) continue;  // all see-through
    uint32_t r, g, b, a;
    if (quad == t[0] * 0x01010101u) {
      const Rgba c = bitmap.colour(t[0]);  // flat: no blending within the footprint
      r = c.r, g = c.g, b = c.b, a = c.a;
    } else {
      // Each weighted sum is at most 65536 * 255: the pairs never carry into each other.
      const std::array<uint32_t, 4> weight = Weights(qx, qy);
      uint64_t red_blue = 0, green_alpha = 0;
      for (int k = 0; k < 4; ++k) {
        const auto index = static_cast<uint8_t>(quad >> (8 * k));
        red_blue += weight[k] * bitmap.red_blue(index), green_alpha += weight[k] * bitmap.green_alpha(index);
      }
      a = static_cast<uint32_t>(green_alpha >> 32);
      if (a == 0) continue;
      r = (static_cast<uint32_t>(red_blue) + 32768) >> 16, b = (static_cast<uint32_t>(red_blue >> 32) + 32768) >> 16;
      g = (static_cast<uint32_t>(green_alpha) + 32768) >> 16, a = (a + 32768) >> 16;
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

PreparedBitmap::PreparedBitmap(const IndexedBitmap& bitmap) : source_(bitmap) {
  for (int i = 0; i < 256; ++i) {
    const Rgb c = bitmap.palette[i];
    colours_[i] = i == 0 ? Rgba{0, 0, 0, 0} : Rgba{c.r, c.g, c.b, 255};
    red_blue_[i] = colours_[i].r | uint64_t{colours_[i].b} << 32;
    green_alpha_[i] = colours_[i].g | uint64_t{colours_[i].a} << 32;
  }
  rgba_.resize(bitmap.pixels.size());
  for (size_t i = 0; i < rgba_.size(); ++i) rgba_[i] = colours_[bitmap.pixels[i]];
  framed_.assign(static_cast<size_t>(framed_stride()) * (bitmap.height + 2), 0);
  for (int y = 0; y < bitmap.height; ++y)
    std::copy_n(&bitmap.pixels[static_cast<size_t>(y) * bitmap.width], bitmap.width,
                &framed_[static_cast<size_t>(y + 1) * framed_stride() + 1]);
}

bool PreparedBitmap::Matches(const IndexedBitmap& bitmap) const {
  return bitmap.width == source_.width && bitmap.height == source_.height && bitmap.palette == source_.palette &&
         bitmap.pixels == source_.pixels;
}

void PreparedBitmap::PrepareAsWindow() {
  if (!opening_mask_.empty()) return;
  const uint8_t surround = SurroundIndex(source_);
  opening_mask_.assign(framed_.size(), 0);
  SourceRect r{width(), height(), 0, 0};
  for (int y = 0; y < height(); ++y) {
    for (int x = 0; x < width(); ++x) {
      if (source_.at(x, y) == surround) continue;
      opening_mask_[static_cast<size_t>(y + 1) * framed_stride() + x + 1] = 1;
      r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
      r.x1 = std::max(r.x1, x + 1), r.y1 = std::max(r.y1, y + 1);
    }
  }
  opening_ = r.x0 < r.x1 ? r : SourceRect{0, 0, 0, 0};
}

void DrawBitmap(Canvas& canvas, const PreparedBitmap& bitmap, const Placement& p, const Window* window) {
  Span span = CoveredPixels(p, SourceRect{0, 0, bitmap.width(), bitmap.height()}, canvas);
  if (window) {  // only where the opening can show
    const Span open = CoveredPixels(window->placement, window->bitmap->opening(), canvas);
    span = Span{std::max(span.x0, open.x0), std::max(span.y0, open.y0), std::min(span.x1, open.x1),
                std::min(span.y1, open.y1)};
  }
  int64_t dx, dy;
  if (!window && WholePixelShift(p, dx, dy)) {
    DrawUnturned(canvas, bitmap, dx, dy, span);
    return;
  }
  const int64_t step_x = Fixed(p.xx), step_y = Fixed(p.yx);
  const Placement* wp = window ? &window->placement : nullptr;
  const int64_t window_step_x = wp ? Fixed(wp->xx) : 0, window_step_y = wp ? Fixed(wp->yx) : 0;
  const int64_t one = int64_t{1} << 16;
  for (int cy = span.y0; cy < span.y1; ++cy) {
    // The part of the row whose samples can touch the bitmap, first roughly
    // (the fixed-point positions start from its first pixel), then exactly.
    int x0 = span.x0, x1 = span.x1;
    const int64_t row_x = Fixed(p.xx * x0 + p.xy * cy + p.dx), row_y = Fixed(p.yx * x0 + p.yy * cy + p.dy);
    ClipRun(row_x, step_x, -one, int64_t{bitmap.width()} * one, x0, x1);
    ClipRun(row_y, step_y, -one, int64_t{bitmap.height()} * one, x0, x1);
    if (x0 >= x1) continue;
    const int64_t qx = Fixed(p.xx * x0 + p.xy * cy + p.dx), qy = Fixed(p.yx * x0 + p.yy * cy + p.dy);
    const int64_t wx = wp ? Fixed(wp->xx * x0 + wp->xy * cy + wp->dx) : 0;
    const int64_t wy = wp ? Fixed(wp->yx * x0 + wp->yy * cy + wp->dy) : 0;
    int lo = x0, hi = x1;
    KeepWithin(qx, step_x, x0, -one, int64_t{bitmap.width()} * one, lo, hi);
    KeepWithin(qy, step_y, x0, -one, int64_t{bitmap.height()} * one, lo, hi);
    if (window) {
      const SourceRect& o = window->bitmap->opening();
      KeepWithin(wx, window_step_x, x0, (o.x0 - int64_t{1}) * one, o.x1 * one, lo, hi);
      KeepWithin(wy, window_step_y, x0, (o.y0 - int64_t{1}) * one, o.y1 * one, lo, hi);
    }
    if (lo >= hi) continue;
    const int64_t skip = lo - x0;
    Rgba* out = &canvas.at(0, cy);
    if (window) {
      SampleRun<true>(out, lo, hi, bitmap, qx + skip * step_x, qy + skip * step_y, step_x, step_y, window->bitmap,
                      wx + skip * window_step_x, wy + skip * window_step_y, window_step_x, window_step_y);
    } else {
      SampleRun<false>(out, lo, hi, bitmap, qx + skip * step_x, qy + skip * step_y, step_x, step_y, nullptr, 0, 0, 0,
                       0);
    }
  }
}

void ClearAndDraw(Canvas& canvas, const PreparedBitmap& bitmap, const Placement& p) {
  int64_t dx, dy;
  if (!WholePixelShift(p, dx, dy)) {
    canvas.Fill(Rgba{0, 0, 0, 0});
    DrawBitmap(canvas, bitmap, p);
    return;
  }
  Span r = ShiftedRect(bitmap, dx, dy, Span{0, 0, canvas.width, canvas.height});
  if (r.x0 >= r.x1 || r.y0 >= r.y1) r = Span{0, 0, 0, 0};
  const auto clear = [](Rgba* from, Rgba* to) { std::fill(from, to, Rgba{0, 0, 0, 0}); };
  Rgba* pixels = canvas.pixels.data();
  clear(pixels, pixels + static_cast<size_t>(r.y0) * canvas.width);
  for (int cy = r.y0; cy < r.y1; ++cy) {
    Rgba* out = &canvas.at(0, cy);
    clear(out, out + r.x0);
    std::copy(bitmap.colour_row(static_cast<int>(cy + dy)) + dx + r.x0,
              bitmap.colour_row(static_cast<int>(cy + dy)) + dx + r.x1, out + r.x0);
    clear(out + r.x1, out + canvas.width);
  }
  clear(pixels + static_cast<size_t>(r.y1) * canvas.width, pixels + canvas.pixels.size());
}

}  // namespace gauge::render
