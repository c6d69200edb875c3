#include "palette.h"

#include <cmath>
#include <stdexcept>

namespace gauge::art {
namespace {

uint8_t Channel(double v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); }

// Below this a pixel counts as uncovered: only rounding noise, no drawing.
constexpr double kNoCoverage = 0.5 / 255.0;

}  // namespace

Palette::Palette() : entries_{Rgb{0, 0, 0}} {}

void Palette::AddRamp(Colour from, Colour to, int count) {
  if (size() + count > 256) throw std::length_error("palette holds more than 256 entries");
  for (int i = 0; i < count; ++i) {
    const double t = count > 1 ? static_cast<double>(i) / (count - 1) : 0.0;
    entries_.push_back(Rgb{Channel(from.r + (to.r - from.r) * t), Channel(from.g + (to.g - from.g) * t),
                           Channel(from.b + (to.b - from.b) * t)});
  }
}

std::array<Rgb, 256> Palette::Entries() const {
  std::array<Rgb, 256> out{};
  for (int i = 0; i < size(); ++i) out[i] = entries_[i];
  return out;
}

uint8_t Palette::Nearest(Colour c) const {
  int best = 1;
  double best_distance = INFINITY;
  for (int i = 1; i < size(); ++i) {
    const double dr = c.r - entries_[i].r, dg = c.g - entries_[i].g, db = c.b - entries_[i].b;
    const double d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

SurroundMask OutsideDisc(int width, int height, Point centre, double radius) {
  SurroundMask mask(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double dx = x - centre.x, dy = y - centre.y;
      mask[static_cast<size_t>(y) * width + x] = dx * dx + dy * dy > radius * radius;
    }
  return mask;
}

SurroundMask AroundShape(const Rendering& rendering) {
  const int w = rendering.width, h = rendering.height;
  SurroundMask mask(static_cast<size_t>(w) * h);
  std::vector<int> pending;
  auto visit = [&](int x, int y) {
    const size_t i = static_cast<size_t>(y) * w + x;
    if (mask[i] || rendering.coverage[i] >= kNoCoverage) return;
    mask[i] = true;
    pending.push_back(static_cast<int>(i));
  };
  for (int x = 0; x < w; ++x) visit(x, 0), visit(x, h - 1);
  for (int y = 0; y < h; ++y) visit(0, y), visit(w - 1, y);
  while (!pending.empty()) {
    const int i = pending.back();
    pending.pop_back();
    const int x = i % w, y = i / w;
    if (x > 0) visit(x - 1, y);
    if (x + 1 < w) visit(x + 1, y);
    if (y > 0) visit(x, y - 1);
    if (y + 1 < h) visit(x, y + 1);
  }
  return mask;
}

IndexedBitmap Quantise(const Rendering& rendering, const Palette& palette, const SurroundMask& surround) {
  IndexedBitmap out;
  out.width = rendering.width;
  out.height = rendering.height;
  out.colours_used = 256;
  out.palette = palette.Entries();
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (size_t i = 0; i < out.pixels.size(); ++i)
    out.pixels[i] = surround[i] ? 0 : palette.Nearest(rendering.colour[i]);
  return out;
}

}  // namespace gauge::art
