// 8-bit palette bitmaps as the modules carry them: a device-independent
// bitmap (40-byte header, 256-entry palette, rows bottom-up, each row padded
// to 4 bytes), either as a bitmap resource or inside a .bmp file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gauge {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

struct IndexedBitmap {
  int width = 0;
  int height = 0;
  bool bottom_up = true;     // as stored: positive height in the header
  uint32_t colours_used = 0; // the header's field: 0 or 256
  std::array<Rgb, 256> palette{};
  std::vector<uint8_t> pixels;  // row-major, top row first

  uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  Rgb colour(int x, int y) const { return palette[at(x, y)]; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Decodes a DIB (header, palette, rows). Only 8-bit uncompressed bitmaps
// are accepted; on any other content, or a truncated one, returns false and
// says why in `error`.
bool DecodeDib(std::span<const uint8_t> dib, IndexedBitmap& out, std::string& error);

// The pixel bytes DecodeDib would make of `dib`, from its header alone
// (0 when the header is short): what a decoder checks against its budget.
uint64_t DibPixelBytes(std::span<const uint8_t> dib);

// Reads a .bmp file (14-byte file header, then a DIB).
bool ReadBmpFile(const std::string& path, IndexedBitmap& out, std::string& error);

// Writes `bitmap` as a .bmp file: 8-bit, bottom-up, 256 colours used.
bool WriteBmpFile(const std::string& path, const IndexedBitmap& bitmap, std::string& error);

}  // namespace gauge
