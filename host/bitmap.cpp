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

uint64_t DibPixelBytes(std::span<const uint8_t> dib) {
  if (dib.size() < kInfoHeaderSize) return 0;
  const int64_t width = static_cast<int32_t>(Word(dib, 4)), height = static_cast<int32_t>(Word(dib, 8));
  return static_cast<uint64_t>(width < 0 ? -width : width) * static_cast<uint64_t>(height < 0 ? -height : height);
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

bool WriteBmpFile(const std::string& path, const IndexedBitmap& bitmap, std::string& error) {
  const size_t stride = (static_cast<size_t>(bitmap.width) + 3) & ~size_t{3};
  const size_t pixel_bytes = stride * bitmap.height;
  const size_t offset = 14 + kInfoHeaderSize + kPaletteSize;
  std::vector<uint8_t> out;
  out.reserve(offset + pixel_bytes);
  auto put16 = [&](uint32_t v) { out.push_back(v & 0xFF); out.push_back(v >> 8 & 0xFF); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
  out.push_back('B');
  out.push_back('M');
  put32(static_cast<uint32_t>(offset + pixel_bytes));
  put32(0);
  put32(static_cast<uint32_t>(offset));
  put32(kInfoHeaderSize);
  put32(bitmap.width);
  put32(bitmap.height);  // positive: bottom-up
  put16(1);
  put16(8);
  put32(0);  // BI_RGB
  put32(static_cast<uint32_t>(pixel_bytes));
  put32(2835);  // 72 dpi; carries no meaning
  put32(2835);
  put32(256);
  put32(0);
  for (const Rgb& c : bitmap.palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int y = bitmap.height - 1; y >= 0; --y) {
    const auto row = bitmap.pixels.begin() + static_cast<size_t>(y) * bitmap.width;
    out.insert(out.end(), row, row + bitmap.width);
    out.resize(out.size() + stride - bitmap.width, 0);
  }
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace gauge
