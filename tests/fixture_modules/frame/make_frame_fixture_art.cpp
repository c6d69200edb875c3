// Draws the frame fixtures' bitmaps (by hand, when they change; the output
// is committed because the module build runs first): a 16 x 16 face, a disc
// on index 0, an 8 x 3 needle pointing right, and the greedy fixture's
// faces: a 256 x 256 disc and a 16 x 2048 strip.
#include <cstdio>

#include "bitmap.h"

namespace {

gauge::IndexedBitmap Blank(int width, int height) {
  gauge::IndexedBitmap b;
  b.width = width;
  b.height = height;
  b.colours_used = 256;
  for (int i = 1; i < 256; ++i) b.palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
  b.pixels.assign(size_t(width) * height, 0);
  return b;
}

gauge::IndexedBitmap Disc(int side) {
  gauge::IndexedBitmap face = Blank(side, side);
  const double centre = (side - 1) / 2.0, radius = side / 2.0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x)
      if ((x - centre) * (x - centre) + (y - centre) * (y - centre) <= radius * radius)
        face.pixels[size_t(y) * side + x] = 8;
  return face;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "art";
  const gauge::IndexedBitmap face = Disc(16);
  gauge::IndexedBitmap needle = Blank(8, 3);
  for (int x = 0; x < 8; ++x) needle.pixels[8 + x] = 221;
  std::string error;
  if (!gauge::WriteBmpFile(dir + "/face.bmp", face, error) ||
      !gauge::WriteBmpFile(dir + "/needle.bmp", needle, error) ||
      !gauge::WriteBmpFile(dir + "/large_face.bmp", Disc(256), error) ||
      !gauge::WriteBmpFile(dir + "/tall_face.bmp", Blank(16, 2048), error)) {
    std::fprintf(stderr, "make_frame_fixture_art: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
