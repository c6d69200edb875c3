// What a gauge looks like at one moment, as a plain list of things to draw,
// and the renderer that draws it.
#pragma once

#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "bitmap.h"
#include "canvas.h"
#include "compose.h"
#include "text.h"

namespace gauge::render {

// A bitmap with its pixel `origin` on gauge point `position`, turned about
// it clockwise on screen by `angle` degrees (0: as stored). Faces and
// needles.
struct ImageItem {
  const IndexedBitmap* bitmap = nullptr;
  Point position;
  Point origin;
  double angle = 0;
};

// A sprite: its bitmap's top-left pixel on gauge point `position`, turned
// about gauge point `origin` by `turn` degrees, positive counter-clockwise on
// screen. With a window, which has the sprite's size and shares its
// top-left corner (it does not turn), the sprite shows only through the
// window's opening: the pixels whose index differs from the one that fills
// the window's edges.
//
// So the landing altimeter's drum (position (20, 0), origin (149, 129)) has
// its 256 x 256 ring's top-left corner on face pixel (20, 0) and turns
// about its own pixel (129, 129), next to the ring's centre; its window
// 12291 shares that corner, putting the opening over face x 112 to 183,
// y 218 to 255. The drum's turn of -18.00018 per 1000 m turns the ring
// clockwise, bringing the next digit up into the opening.
struct SpriteItem {
  const IndexedBitmap* bitmap = nullptr;
  Point position;
  Point origin;
  double turn = 0;
  const IndexedBitmap* window = nullptr;
};

using DrawItem = std::variant<ImageItem, SpriteItem, TextItem>;

// The items in drawing order (the face first) on a gauge of width x height.
struct Scene {
  int width = 0, height = 0;
  std::vector<DrawItem> items;
};

// One entry of a needle's calibration table: the needle points at `point`
// (a gauge pixel) when its value is `value`.
struct CalibrationPoint {
  Point point;
  double value = 0;
};

// The direction, in degrees clockwise from 3 o'clock, of a calibrated
// needle pivoting on `position`: at an entry's value, towards that entry's
// point; between two entries, turned from one direction to the other (the
// shorter way) in proportion to the value; outside the table, at the nearest
// end. The table is in ascending order of value; an empty one gives 0.
double CalibratedNeedleAngle(Point position, std::span<const CalibrationPoint> table, double value);

// Draws scenes. A scene's needle angles and sprite turns are its transform
// set: change them and render again into the same canvas to draw the next
// frame without any module (as a benchmark does). What it derives from a
// bitmap is kept from frame to frame while the scene still shows it.
class Renderer {
 public:
  // Draws the scene onto `canvas`, resized to scale x the gauge and cleared
  // to transparent first (so a caller can reuse one canvas frame after
  // frame). False, with `error`, if an item cannot be drawn.
  bool Render(const Scene& scene, double scale, Canvas& canvas, std::string& error);

  TextRenderer& text() { return text_; }

 private:
  struct Kept {
    PreparedBitmap bitmap;
    uint64_t frame;  // the last frame that drew it
  };
  // The prepared form of `bitmap`, made afresh when the bitmap changed.
  PreparedBitmap& Prepared(const IndexedBitmap& bitmap);

  TextRenderer text_;
  std::unordered_map<const IndexedBitmap*, Kept> prepared_;
  uint64_t frame_ = 0;
};

}  // namespace gauge::render
