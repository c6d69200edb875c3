// Drawing 8-bit palette bitmaps onto a canvas: turned and placed by an
// affine map, sampled bilinearly, palette index 0 see-through.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bitmap.h"
#include "canvas.h"

namespace gauge::render {

struct Point {
  double x = 0, y = 0;
};

// Where each canvas pixel samples a bitmap: source = linear * canvas + offset,
// both in pixel coordinates whose integers are pixel centres.
struct Placement {
  double xx = 1, xy = 0, yx = 0, yy = 1;  // source x = xx*cx + xy*cy + dx
  double dx = 0, dy = 0;                  // source y = yx*cx + yy*cy + dy
};

// The placement of a bitmap whose pixel `pivot` lies on gauge point `anchor`,
// turned about it clockwise on screen by `clockwise_degrees`, on a canvas of
// `scale` canvas pixels per gauge pixel. Quarter turns are exact, so 90 and
// 450 degrees sample the very same source points.
Placement PlaceTurned(Point anchor, Point pivot, double clockwise_degrees, double scale);

// The surround of a window bitmap: the most frequent index along its edges.
// A window is a mask around an opening, so its edges are mask; counting the
// whole picture instead would take a large opening for the mask.
uint8_t SurroundIndex(const IndexedBitmap& window);

// A source rectangle [x0, x1) x [y0, y1).
struct SourceRect {
  int x0, y0, x1, y1;
};

// What drawing needs of a bitmap, derived once and kept across frames: its
// palette as premultiplied colours (index 0 see-through), its pixels in those
// colours, each bilinear footprint's four indices in one word (so a sample
// reads one word and no bounds-tested memory), the bounds of what it shows
// and, once it has served as a window, its opening as a framed 0/1 mask with
// its bounds.
class PreparedBitmap {
 public:
  explicit PreparedBitmap(const IndexedBitmap& bitmap);

  // Whether this was prepared from a bitmap with the same size, palette and pixels.
  bool Matches(const IndexedBitmap& bitmap) const;

  int width() const { return source_.width; }
  int height() const { return source_.height; }
  const Rgba& colour(uint8_t index) const { return colours_[index]; }
  // A colour's channels in 16-bit lanes, red | green << 16 | blue << 32 |
  // alpha << 48, so that one multiply by a weight of at most 256 weighs all four.
  uint64_t lanes(uint8_t index) const { return lanes_[index]; }
  // Row y (0 to height - 1) in premultiplied colours.
  const Rgba* colour_row(int y) const { return &rgba_[static_cast<size_t>(y) * source_.width]; }
  // The footprint whose top-left texel is pixel (x, y), for x from -1 to
  // width - 1 and y from -1 to height - 1, is footprints()[(y + 1) *
  // footprint_stride() + x + 1]: its indices top-left, top-right,
  // bottom-left and bottom-right from the low byte up, 0 outside the bitmap.
  const uint32_t* footprints() const { return footprints_.data(); }
  int footprint_stride() const { return source_.width + 1; }
  // The smallest rectangle holding every pixel that is not see-through (empty: all zero).
  const SourceRect& content() const { return content_; }
  // The same pixels in one or two rectangles side by side, split where
  // that leaves the least see-through area around them (a needle: its hub
  // and its shaft).
  std::span<const SourceRect> content_parts() const { return {content_parts_.data(), content_part_count_}; }

  // Makes the window data: after this, opening_mask() and opening() are valid.
  void PrepareAsWindow();
  // 1 where the pixel differs from the surround (SurroundIndex), framed by a
  // border of 0 one pixel wide: pixel (x, y) at (y + 1) * opening_stride() + x + 1.
  const uint8_t* opening_mask() const { return opening_mask_.data(); }
  int opening_stride() const { return source_.width + 2; }
  // The smallest rectangle holding the whole opening (empty: all zero).
  const SourceRect& opening() const { return opening_; }
  // Row y's opening: from its first open pixel to past its last (equal: none),
  // and whether every pixel between is open.
  struct OpeningRow {
    int x0 = 0, x1 = 0;
    bool solid = true;
  };
  const OpeningRow& opening_row(int y) const { return opening_rows_[y]; }

 private:
  IndexedBitmap source_;
  std::array<Rgba, 256> colours_;
  std::array<uint64_t, 256> lanes_;
  std::vector<Rgba> rgba_;
  std::vector<uint32_t> footprints_;
  SourceRect content_{0, 0, 0, 0};
  std::array<SourceRect, 2> content_parts_{};
  size_t content_part_count_ = 0;
  std::vector<uint8_t> opening_mask_;
  SourceRect opening_{0, 0, 0, 0};
  std::vector<OpeningRow> opening_rows_;
};

// A bitmap that limits another to the parts where it shows its opening: every
// pixel whose index differs from its surround, the index that frames it.
struct Window {
  const PreparedBitmap* bitmap = nullptr;  // prepared as a window
  Placement placement;
};

// Draws `bitmap` over the canvas; with a window, only through its opening.
void DrawBitmap(Canvas& canvas, const PreparedBitmap& bitmap, const Placement& placement,
                const Window* window = nullptr);

// Clears the canvas to transparent, then draws `bitmap` onto it. A bitmap
// drawn unturned at a whole-pixel offset (a face) has its rows copied in
// place, see-through pixels and all, and only the canvas outside it cleared.
void ClearAndDraw(Canvas& canvas, const PreparedBitmap& bitmap, const Placement& placement);

}  // namespace gauge::render
