// From a rendering to an 8-bit bitmap: the gauge's own palette (index 0
// reserved, pure black, for the surround), nearest-colour mapping that never
// picks index 0, and the surround masks that alone decide where index 0 goes.
#pragma once

#include <vector>

#include "bitmap.h"
#include "canvas.h"

namespace gauge::art {

class Palette {
 public:
  Palette();  // index 0 pure black, nothing else yet

  // Appends `count` entries running evenly from `from` to `to`, both ends
  // included. The palette holds at most 256 entries; unused ones stay black
  // and are never picked.
  void AddRamp(Colour from, Colour to, int count);
  int size() const { return static_cast<int>(entries_.size()); }
  std::array<Rgb, 256> Entries() const;

  // The entry nearest to `c` (RGB distance, lowest index on a tie), never 0.
  uint8_t Nearest(Colour c) const;

 private:
  std::vector<Rgb> entries_;
};

// true where a pixel belongs to the surround and becomes index 0.
using SurroundMask = std::vector<bool>;

// Every pixel whose centre lies farther than `radius` from pixel `centre`.
SurroundMask OutsideDisc(int width, int height, Point centre, double radius);

// The pixels that nothing covers and that connect (4-neighbours) to the
// bitmap's border: the space around a needle-like shape. Uncovered pixels
// enclosed by the shape stay artwork.
SurroundMask AroundShape(const Rendering& rendering);

// The bitmap: each pixel the palette entry nearest to its colour, and index 0
// exactly where `surround` says.
IndexedBitmap Quantise(const Rendering& rendering, const Palette& palette, const SurroundMask& surround);

}  // namespace gauge::art
