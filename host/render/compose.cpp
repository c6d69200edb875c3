#include "compose.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

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
// through the source by whole increments, exact for quarter turns. Rounded
// half away from zero, as llround does, without its library call: the
// fraction left by truncation is exact.
inline int64_t Fixed(double v) {
  const double scaled = v * 65536.0;
  if (!(std::abs(scaled) < 0x1p62)) return std::llround(scaled);
  const auto whole = static_cast<int64_t>(scaled);
  const double fraction = scaled - static_cast<double>(whole);
  return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

// Bilinear weights, in 1/65536, of the 2 x 2 texels (top-left, top-right,
// bottom-left, bottom-right) around fixed-point (qx, qy).
inline std::array<uint32_t, 4> Weights(int64_t qx, int64_t qy) {
  const uint32_t fx = static_cast<uint32_t>(qx >> 8) & 255, fy = static_cast<uint32_t>(qy >> 8) & 255;
  return {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
}

// The top-left texel of the footprint around fixed-point (qx, qy) in a
// framed picture (see PreparedBitmap::opening_mask).
inline const uint8_t* FramedAt(const uint8_t* framed, int64_t stride, int64_t qx, int64_t qy) {
  return framed + ((qy >> 16) + 1) * stride + (qx >> 16) + 1;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Floor and ceiling of a / d for the one divisor of a whole drawing (a
// fixed-point step): a multiply by the reciprocal, truncated, then
// corrected by the remainder. Exact, and cheaper than a
// division per use.
class Divisor {
 public:
  explicit Divisor(int64_t d) : d_(d), reciprocal_(d != 0 ? 1.0 / static_cast<double>(d) : 0.0) {}
  int64_t value() const { return d_; }
  int64_t Floor(int64_t a) const {
    if (!(std::abs(a) < kNear)) return FloorDiv(a, d_);  // beyond where the product is that close
    auto q = static_cast<int64_t>(static_cast<double>(a) * reciprocal_);  // within two of the floor
    int64_t r = a - q * d_;  // the remainder of a floor division has the divisor's sign
    if (d_ > 0) {
      for (; r < 0; r += d_) --q;
      for (; r >= d_; r -= d_) ++q;
    } else {
      for (; r > 0; r += d_) --q;
      for (; r <= d_; r -= d_) ++q;
    }
    return q;
  }
  int64_t Ceil(int64_t a) const { return -Floor(-a); }

 private:
  static constexpr int64_t kNear = int64_t{1} << 50;
  int64_t d_;
  double reciprocal_;
};

// Narrows the canvas run [lo, hi) to the pixels cx whose fixed-point source
// coordinate q0 + step * (cx - base) lies in [min, max): exact, so a footprint
// left out is one that lies wholly outside.
inline void KeepWithin(int64_t q0, const Divisor& step, int base, int64_t min, int64_t max, int& lo, int& hi) {
  int64_t first, last;  // in steps from base
  if (step.value() == 0) {
    if (q0 < min || q0 >= max) hi = lo;
    return;
  }
  if (step.value() > 0) {
    first = step.Ceil(min - q0), last = step.Floor(max - 1 - q0);
  } else {
    first = step.Ceil(max - 1 - q0), last = step.Floor(min - q0);
  }
  lo = static_cast<int>(std::max<int64_t>(lo, base + first));
  hi = static_cast<int>(std::min<int64_t>(hi, base + last + 1));
}

// Narrows the canvas run [lo, hi) to the pixels whose source coordinate
// q0 + step * (cx - lo) can fall within [first, last] (fixed point), with a
// pixel to spare either side. (The quotients are those of the exact
// division rounded to a double, which has the same floor and ceiling for
// these magnitudes.)
inline void ClipRun(int64_t q0, const Divisor& step, int64_t first, int64_t last, int& lo, int& hi) {
  if (step.value() == 0) {
    if (q0 < first || q0 > last) hi = lo;
    return;
  }
  const int64_t t0 = step.Floor(step.value() > 0 ? first - q0 : last - q0);
  const int64_t t1 = step.Ceil(step.value() > 0 ? last - q0 : first - q0);
  const int base = lo;
  lo = static_cast<int>(std::clamp<int64_t>(t0 - 1 + base, lo, hi));
  hi = static_cast<int>(std::clamp<int64_t>(t1 + 2 + base, lo, hi));
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
// window_step_y). Every footprint lies within the bitmap's footprint table
// (and the window's framed opening).
template <bool kWindowed>
void SampleRun(Rgba* out, int x0, int x1, const PreparedBitmap& bitmap, int64_t qx, int64_t qy, int64_t step_x,
               int64_t step_y, const PreparedBitmap* window, int64_t wx, int64_t wy, int64_t window_step_x,
               int64_t window_step_y) {
  const int64_t stride = bitmap.footprint_stride();
  const uint32_t* footprints = bitmap.footprints() + stride + 1;  // the footprint whose top-left is (0, 0)
  const uint8_t* mask = kWindowed ? window->opening_mask() : nullptr;
  const int64_t mask_stride = kWindowed ? window->opening_stride() : 0;
  for (int cx = x0; cx < x1; ++cx, qx += step_x, qy += step_y, wx += window_step_x, wy += window_step_y) {
    uint32_t open = 256;
    if constexpr (kWindowed) {  // most pixels behind a window lie outside its opening: test that first
      const uint8_t* m = FramedAt(mask, mask_stride, wx, wy);
      const std::array<uint32_t, 4> weight = Weights(wx, wy);
      open = (weight[0] * m[0] + weight[1] * m[1] + weight[2] * m[mask_stride] + weight[3] * m[mask_stride + 1] +
              128) >> 8;
      if (open == 0) continue;
    }
    const uint32_t quad = footprints[(qy >> 16) * stride + (qx >> 16)];
    if (quad == 0) continue;  // all see-through
    const auto index = [quad](int k) { return static_cast<uint8_t>(quad >> (8 * k)); };
    if (open == 256 && quad == index(0) * 0x01010101u) {
      out[cx] = bitmap.colour(index(0));  // flat and fully shown: opaque, no blending
      continue;
    }
    // The weights of Weights, applied a direction at a time: across, each
    // lane stays below 65536; down, the lanes go two to a product, 32 bits each.
    const uint32_t fx = static_cast<uint32_t>(qx >> 8) & 255, fy = static_cast<uint32_t>(qy >> 8) & 255;
    const uint64_t top = bitmap.lanes(index(0)) * (256 - fx) + bitmap.lanes(index(1)) * fx;
    const uint64_t bottom = bitmap.lanes(index(2)) * (256 - fx) + bitmap.lanes(index(3)) * fx;
    constexpr uint64_t kEvenLanes = 0x0000FFFF0000FFFF;
    const uint64_t red_blue = (top & kEvenLanes) * (256 - fy) + (bottom & kEvenLanes) * fy;
    const uint64_t green_alpha = (top >> 16 & kEvenLanes) * (256 - fy) + (bottom >> 16 & kEvenLanes) * fy;
    uint32_t a = static_cast<uint32_t>(green_alpha >> 32);
    if (a == 0) continue;
    uint32_t r = (static_cast<uint32_t>(red_blue) + 32768) >> 16, b = (static_cast<uint32_t>(red_blue >> 32) + 32768) >> 16;
    uint32_t g = (static_cast<uint32_t>(green_alpha) + 32768) >> 16;
    a = (a + 32768) >> 16;
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
    lanes_[i] = colours_[i].r | uint32_t{colours_[i].g} << 16 | uint64_t{colours_[i].b} << 32 |
                uint64_t{colours_[i].a} << 48;
  }
  rgba_.resize(bitmap.pixels.size());
  for (size_t i = 0; i < rgba_.size(); ++i) rgba_[i] = colours_[bitmap.pixels[i]];
  const auto index = [&bitmap](int x, int y) { return bitmap.contains(x, y) ? bitmap.at(x, y) : uint8_t{0}; };
  footprints_.resize(static_cast<size_t>(footprint_stride()) * (bitmap.height + 1));
  std::vector<SourceRect> columns(bitmap.width, SourceRect{0, bitmap.height, 0, 0});  // each column's content
  for (int y = -1; y < bitmap.height; ++y) {
    for (int x = -1; x < bitmap.width; ++x) {
      footprints_[static_cast<size_t>(y + 1) * footprint_stride() + x + 1] =
          index(x, y) | index(x + 1, y) << 8 | index(x, y + 1) << 16 | uint32_t{index(x + 1, y + 1)} << 24;
      if (index(x, y) == 0) continue;
      columns[x] = SourceRect{x, std::min(columns[x].y0, y), x + 1, std::max(columns[x].y1, y + 1)};
    }
  }
  // The bounds of the columns [from, to) (empty: all zero).
  const auto bounds = [&columns](int from, int to) {
    SourceRect r{0, 0, 0, 0};
    for (int x = from; x < to; ++x) {
      const SourceRect& c = columns[x];
      if (c.x0 == c.x1) continue;
      r = r.x0 == r.x1 ? c : SourceRect{r.x0, std::min(r.y0, c.y0), c.x1, std::max(r.y1, c.y1)};
    }
    return r;
  };
  // Area as sampled: a footprint reaches one pixel beyond on each axis.
  const auto area = [](const SourceRect& r) { return r.x0 == r.x1 ? 0 : int64_t{r.x1 - r.x0 + 1} * (r.y1 - r.y0 + 1); };
  content_ = bounds(0, bitmap.width);
  content_parts_[0] = content_;
  content_part_count_ = content_.x0 < content_.x1 ? 1 : 0;
  int64_t best = area(content_) * 2 / 3;  // a second part costs each row: split only for a third less area
  for (int split = content_.x0 + 1; split < content_.x1; ++split) {
    const SourceRect left = bounds(content_.x0, split), right = bounds(split, content_.x1);
    if (left.x0 == left.x1 || right.x0 == right.x1 || area(left) + area(right) >= best) continue;
    best = area(left) + area(right);
    content_parts_ = {left, right};
    content_part_count_ = 2;
  }
}

bool PreparedBitmap::Matches(const IndexedBitmap& bitmap) const {
  static_assert(sizeof(bitmap.palette) == 256 * 3);  // no padding: compared as bytes
  return bitmap.width == source_.width && bitmap.height == source_.height &&
         std::memcmp(bitmap.palette.data(), source_.palette.data(), sizeof(bitmap.palette)) == 0 &&
         bitmap.pixels == source_.pixels;
}

void PreparedBitmap::PrepareAsWindow() {
  if (!opening_mask_.empty()) return;
  const uint8_t surround = SurroundIndex(source_);
  opening_mask_.assign(static_cast<size_t>(opening_stride()) * (height() + 2), 0);
  opening_rows_.assign(height(), OpeningRow{});
  SourceRect r{width(), height(), 0, 0};
  for (int y = 0; y < height(); ++y) {
    OpeningRow& row = opening_rows_[y];
    int open = 0;
    for (int x = 0; x < width(); ++x) {
      if (source_.at(x, y) == surround) continue;
      opening_mask_[static_cast<size_t>(y + 1) * opening_stride() + x + 1] = 1;
      if (open++ == 0) row.x0 = x;
      row.x1 = x + 1;
      r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
      r.x1 = std::max(r.x1, x + 1), r.y1 = std::max(r.y1, y + 1);
    }
    row.solid = open == row.x1 - row.x0;
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
  const Divisor by_step_x(step_x), by_step_y(step_y), by_window_step_x(window_step_x), by_window_step_y(window_step_y);
  const int64_t one = int64_t{1} << 16;
  // Only footprints that touch what the bitmap shows are sampled: rows
  // outside its content are passed over, and runs trimmed to it.
  const SourceRect& content = bitmap.content();
  if (content.x0 >= content.x1) return;
  const Span rows = CoveredPixels(p, content, canvas);
  // A window at a whole-pixel offset shows each canvas pixel fully or not at all.
  int64_t window_dx = 0, window_dy = 0;
  const bool whole_pixel_window = window && WholePixelShift(window->placement, window_dx, window_dy);
  for (int cy = std::max(span.y0, rows.y0); cy < std::min(span.y1, rows.y1); ++cy) {
    // A row steps through the source in fixed point from an anchor: the
    // first pixel of the part of the row that can roughly touch the bitmap,
    // so the steps add up little rounding where it shows. (The picture
    // depends on the anchor through that rounding.)
    int anchor = span.x0, rough_end = span.x1;
    const int64_t row_x = Fixed(p.xx * anchor + p.xy * cy + p.dx), row_y = Fixed(p.yx * anchor + p.yy * cy + p.dy);
    ClipRun(row_x, by_step_x, -one, int64_t{bitmap.width()} * one, anchor, rough_end);
    ClipRun(row_y, by_step_y, -one, int64_t{bitmap.height()} * one, anchor, rough_end);
    const int64_t qx = Fixed(p.xx * anchor + p.xy * cy + p.dx), qy = Fixed(p.yx * anchor + p.yy * cy + p.dy);
    const int64_t wx = wp ? Fixed(wp->xx * anchor + wp->xy * cy + wp->dx) : 0;
    const int64_t wy = wp ? Fixed(wp->yx * anchor + wp->yy * cy + wp->dy) : 0;
    // Then exactly, over the whole row (the anchor's rough part can start
    // late, since its second axis is measured from the first axis's start):
    // where the window can show, then where each part of the content can.
    int lo = span.x0, hi = span.x1;
    if (window) {
      const SourceRect& o = window->bitmap->opening();
      KeepWithin(wx, by_window_step_x, anchor, (o.x0 - int64_t{1}) * one, o.x1 * one, lo, hi);
      KeepWithin(wy, by_window_step_y, anchor, (o.y0 - int64_t{1}) * one, o.y1 * one, lo, hi);
    }
    bool masked = window != nullptr;
    if (whole_pixel_window) {  // the opening's own run on this row: in it, open is 0 or 256
      const int64_t y = cy + window_dy;
      if (y < 0 || y >= window->bitmap->height()) continue;
      const PreparedBitmap::OpeningRow& open = window->bitmap->opening_row(static_cast<int>(y));
      lo = static_cast<int>(std::max<int64_t>(lo, open.x0 - window_dx));
      hi = static_cast<int>(std::min<int64_t>(hi, open.x1 - window_dx));
      masked = !open.solid;
    }
    if (lo >= hi) continue;
    std::array<std::pair<int, int>, 2> runs;
    size_t run_count = 0;
    for (const SourceRect& part : bitmap.content_parts()) {
      int from = lo, to = hi;
      KeepWithin(qx, by_step_x, anchor, (part.x0 - int64_t{1}) * one, part.x1 * one, from, to);
      KeepWithin(qy, by_step_y, anchor, (part.y0 - int64_t{1}) * one, part.y1 * one, from, to);
      if (from < to) runs[run_count++] = {from, to};
    }
    if (run_count == 2 && runs[1].first <= runs[0].second && runs[0].first <= runs[1].second) {
      runs[0] = {std::min(runs[0].first, runs[1].first), std::max(runs[0].second, runs[1].second)};
      run_count = 1;  // overlapping runs are sampled once
    }
    Rgba* out = &canvas.at(0, cy);
    for (size_t i = 0; i < run_count; ++i) {
      const auto [from, to] = runs[i];
      const int64_t skip = from - anchor;
      if (masked) {
        SampleRun<true>(out, from, to, bitmap, qx + skip * step_x, qy + skip * step_y, step_x, step_y, window->bitmap,
                        wx + skip * window_step_x, wy + skip * window_step_y, window_step_x, window_step_y);
      } else {
        SampleRun<false>(out, from, to, bitmap, qx + skip * step_x, qy + skip * step_y, step_x, step_y, nullptr, 0, 0,
                         0, 0);
      }
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
  Rgba* cleared_to = canvas.pixels.data();  // each clear runs on to the next copied row
  if (r.x1 - r.x0 == canvas.width && bitmap.width() == canvas.width) {
    // The face's rows are whole canvas rows: one block.
    Rgba* out = canvas.pixels.data() + size_t(r.y0) * canvas.width;
    clear(cleared_to, out);
    cleared_to = std::copy_n(bitmap.colour_row(static_cast<int>(r.y0 + dy)), size_t(r.y1 - r.y0) * canvas.width, out);
  } else {
    for (int cy = r.y0; cy < r.y1; ++cy) {
      Rgba* out = &canvas.at(0, cy);
      const Rgba* in = bitmap.colour_row(static_cast<int>(cy + dy)) + dx;
      clear(cleared_to, out + r.x0);
      cleared_to = std::copy(in + r.x0, in + r.x1, out + r.x0);
    }
  }
  clear(cleared_to, canvas.pixels.data() + canvas.pixels.size());
}

}  // namespace gauge::render
