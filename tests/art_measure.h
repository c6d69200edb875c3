// Measuring committed gauge bitmaps: loading them once, brightness sampled
// between pixel centres, and the index-0 region reachable from the border.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <numbers>
#include <string>
#include <vector>

#include "bitmap.h"

namespace gauge::test {

// The bitmap at `path` under the source tree, read once per test program.
inline const IndexedBitmap& CommittedArt(const std::string& path) {
  static std::deque<std::pair<std::string, IndexedBitmap>> cache;
  for (const auto& [p, b] : cache)
    if (p == path) return b;
  IndexedBitmap bitmap;
  std::string error;
  if (!ReadBmpFile(std::string(GAUGE_SOURCE_DIR) + "/" + path, bitmap, error)) ADD_FAILURE() << error;
  cache.emplace_back(path, std::move(bitmap));
  return cache.back().second;
}

inline double Radians(double degrees) { return degrees * std::numbers::pi / 180; }

// How far `c` lies from `low` towards `high`, by mean channel (0..1, clamped).
inline double Fraction(Rgb c, Rgb low, Rgb high) {
  const double lo = (low.r + low.g + low.b) / 3.0, hi = (high.r + high.g + high.b) / 3.0;
  return std::fmin(1.0, std::fmax(0.0, ((c.r + c.g + c.b) / 3.0 - lo) / (hi - lo)));
}

// Fraction() interpolated bilinearly at (x, y), integer coordinates being
// pixel centres; outside the bitmap counts as `low`.
inline double FractionAt(const IndexedBitmap& b, double x, double y, Rgb low, Rgb high) {
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  const double fx = x - x0, fy = y - y0;
  auto at = [&](int px, int py) { return b.contains(px, py) ? Fraction(b.colour(px, py), low, high) : 0.0; };
  return (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
         (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
}

// true for every index-0 pixel connected to the border through index-0
// pixels (4-neighbours).
inline std::vector<bool> BorderConnectedIndexZero(const IndexedBitmap& b) {
  std::vector<bool> reached(b.pixels.size());
  std::vector<std::pair<int, int>> pending;
  auto visit = [&](int x, int y) {
    if (!b.contains(x, y) || b.at(x, y) != 0 || reached[static_cast<size_t>(y) * b.width + x]) return;
    reached[static_cast<size_t>(y) * b.width + x] = true;
    pending.emplace_back(x, y);
  };
  for (int x = 0; x < b.width; ++x) visit(x, 0), visit(x, b.height - 1);
  for (int y = 0; y < b.height; ++y) visit(0, y), visit(b.width - 1, y);
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    visit(x - 1, y), visit(x + 1, y), visit(x, y - 1), visit(x, y + 1);
  }
  return reached;
}

}  // namespace gauge::test
