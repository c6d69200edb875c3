// Draws the render fixture's bitmaps, shapes chosen so that a test can
// measure a render: where each thing lands, which way it turns, and where
// index 0 lets the background through. Run by hand when the art changes:
//   make_fixture_art tests/fixture_modules/render/art
#include <cmath>
#include <cstdio>
#include <string>

#include "bitmap.h"
#include "render_fixture_art.h"

namespace {

using gauge::IndexedBitmap;
using gauge::Rgb;
using namespace render_fixture;

Rgb Of(Colour c) { return Rgb{c.r, c.g, c.b}; }

IndexedBitmap Blank(int width, int height, uint8_t fill) {
  IndexedBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.colours_used = 256;
  bitmap.pixels.assign(static_cast<size_t>(width) * height, fill);
  return bitmap;
}

void Rect(IndexedBitmap& bitmap, int x0, int y0, int x1, int y1, uint8_t index) {  // inclusive
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) bitmap.pixels[static_cast<size_t>(y) * bitmap.width + x] = index;
}

// The face: a slate ground with a lighter grid every 20 px, and a see-through
// square in the top-left corner.
IndexedBitmap Face() {
  IndexedBitmap face = Blank(kFaceWidth, kFaceHeight, kFaceGround);
  face.palette[kFaceGround] = Of(kFaceGroundColour);
  face.palette[kFaceGrid] = Of(kFaceGridColour);
  for (int y = 0; y < kFaceHeight; ++y)
    for (int x = 0; x < kFaceWidth; ++x)
      if (x % 20 == 0 || y % 20 == 0) face.pixels[static_cast<size_t>(y) * kFaceWidth + x] = kFaceGrid;
  Rect(face, 0, 0, kHoleSize - 1, kHoleSize - 1, 0);
  return face;
}

// The needle: an arrow along row 7 pointing right, pivot (10, 7), with a
// barb on its upper side only, so a mirror image differs from a turn.
IndexedBitmap Needle() {
  IndexedBitmap needle = Blank(kNeedleWidth, kNeedleHeight, 0);
  needle.palette[kNeedleShaft] = Of(kNeedleShaftColour);
  needle.palette[kNeedleHead] = Of(kNeedleHeadColour);
  Rect(needle, 4, 6, 44, 8, kNeedleShaft);
  for (int x = 45; x < kNeedleWidth; ++x) {
    const int rise = (kNeedleWidth - 1 - x) / 2;  // 7 at x 45, 0 at the tip
    Rect(needle, x, 7 - rise, x, 8, kNeedleHead);
  }
  return needle;
}

// The sprite: a green square with a red bar from its centre to the top edge
// (12 o'clock as drawn), and its window: black all round, an opening disc
// about the centre.
IndexedBitmap Sprite() {
  IndexedBitmap sprite = Blank(kSpriteSize, kSpriteSize, kSpriteGround);
  sprite.palette[kSpriteGround] = Of(kSpriteGroundColour);
  sprite.palette[kSpriteBar] = Of(kSpriteBarColour);
  Rect(sprite, kSpritePivot - 3, 2, kSpritePivot + 3, kSpritePivot, kSpriteBar);
  return sprite;
}

IndexedBitmap SpriteWindow() {
  IndexedBitmap window = Blank(kSpriteSize, kSpriteSize, kWindowSurround);
  window.palette[kWindowSurround] = Rgb{0, 0, 0};
  window.palette[kWindowOpening] = Rgb{1, 1, 1};
  for (int y = 0; y < kSpriteSize; ++y)
    for (int x = 0; x < kSpriteSize; ++x)
      if (std::hypot(x - kSpritePivot, y - kSpritePivot) <= kOpeningRadius)
        window.pixels[static_cast<size_t>(y) * kSpriteSize + x] = kWindowOpening;
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fixture_art ART_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::pair<const char*, IndexedBitmap> files[] = {
      {"face.bmp", Face()}, {"needle.bmp", Needle()}, {"sprite.bmp", Sprite()}, {"sprite_window.bmp", SpriteWindow()}};
  for (const auto& [name, bitmap] : files) {
    std::string error;
    if (!gauge::WriteBmpFile(dir + "/" + name, bitmap, error)) {
      std::fprintf(stderr, "make_fixture_art: %s\n", error.c_str());
      return 2;
    }
  }
  return 0;
}
