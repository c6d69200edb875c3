// Drawing 8-bit palette bitmaps onto a canvas: turned and placed by an
// affine map, sampled bilinearly, palette index 0 see-through.
#pragma once

#include <cstdint>

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

// A bitmap that limits another to the parts where it shows its opening: every
// pixel whose index differs from `surround`, the index that frames it.
struct Window {
  const IndexedBitmap* bitmap = nullptr;
  Placement placement;
  uint8_t surround = 0;
};

// The surround of a window bitmap: the most frequent index along its edges.
// A window is a mask around an opening, so its edges are mask; counting the
// whole picture instead would take a large opening for the mask.
uint8_t SurroundIndex(const IndexedBitmap& window);

// Draws `bitmap` over the canvas; with a window, only through its opening.
void DrawBitmap(Canvas& canvas, const IndexedBitmap& bitmap, const Placement& placement,
                const Window* window = nullptr);

}  // namespace gauge::render
