// Draws the frame fixtures' two bitmaps (by hand, when they change; the
// output is committed because the module build runs first): a 16 x 16 face,
// a disc on index 0, and an 8 x 3 needle pointing right.
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

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "art";
  gauge::IndexedBitmap face = Blank(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if ((x - 7.5) * (x - 7.5) + (y - 7.5) * (y - 7.5) <= 64) face.pixels[y * 16 + x] = 8;
  gauge::IndexedBitmap needle = Blank(8, 3);
  for (int x = 0; x < 8; ++x) needle.pixels[8 + x] = 221;
  std::string error;
  if (!gauge::WriteBmpFile(dir + "/face.bmp", face, error) ||
      !gauge::WriteBmpFile(dir + "/needle.bmp", needle, error)) {
    std::fprintf(stderr, "make_frame_fixture_art: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
