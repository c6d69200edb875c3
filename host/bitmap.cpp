#include "bitmap.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace gauge {
namespace {

uint32_t Word(std::span<const uint8_t> b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Half(std::span<const uint8_t> b, size_t at) { return b[at] | b[at + 1] << 8; }

constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kPaletteSize = 256 * 4;
constexpr int kMaxSide = 1 << 14;

}  // namespace

bool DecodeDib(std::span<const uint8_t> dib, IndexedBitmap& out, std::string& error) {
  if (dib.size() < kInfoHeaderSize || Word(dib, 0) != kInfoHeaderSize) {
    error = "bitmap header is not a 40-byte BITMAPINFOHEADER";
    return false;
  }
  const int32_t width = static_cast<int32_t>(Word(dib, 4));
  const int32_t height = static_cast<int32_t>(Word(dib, 8));
  if (Half(dib, 12) != 1 || Half(dib, 14) != 8 || Word(dib, 16) != 0) {
    error = "bitmap is not 8 bits per pixel, one plane, uncompressed";
    return false;
  }
  const uint32_t used = Word(dib, 32);
  if (used != 0 && used != 256) {
    error = "bitmap palette does not hold 256 entries";
    return false;
  }
  const int32_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || width > kMaxSide || rows <= 0 || rows > kMaxSide) {
    error = "bitmap size is out of range";
    return false;
  }
  const size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
  if (dib.size() < kInfoHeaderSize + kPaletteSize + stride * rows) {
    error = "bitmap is truncated";
    return false;
  }
  out.width = width;
  out.height = rows;
  out.bottom_up = height > 0;
  out.colours_used = used;
  for (int i = 0; i < 256; ++i) {
    const size_t at = kInfoHeaderSize + 4 * i;  // RGBQUAD: blue, green, red, 0
    out.palette[i] = Rgb{dib[at + 2], dib[at + 1], dib[at]};
  }
  out.pixels.resize(static_cast<size_t>(width) * rows);
  const uint8_t* data = dib.data() + kInfoHeaderSize + kPaletteSize;
  for (int y = 0; y < rows; ++y) {
    const int stored_row = out.bottom_up ? rows - 1 - y : y;
    std::copy_n(data + stride * stored_row, width, out.pixels.begin() + static_cast<size_t>(y) * width);
  }
  return true;
}

bool ReadBmpFile(const std::string& path, IndexedBitmap& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  if (bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') {
    error = path + " is not a .bmp file";
    return false;
  }
  return DecodeDib(std::span(bytes).subspan(14), out, error);
}

}  // namespace gauge
