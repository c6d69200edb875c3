// An RGBA picture the renderer draws into, and its PNG output.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gauge::render {

// One pixel, premultiplied by its alpha: a fully transparent pixel is all zero.
struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba&) const = default;
};

// The largest picture the tools make (256 MB of pixels).
inline constexpr double kMaxCanvasPixels = 64.0 * 1024 * 1024;

struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // row-major, top row first

  Canvas() = default;
  Canvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, Rgba{0, 0, 0, 0}) {}

  Rgba& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

  void Fill(Rgba colour);
  // Draws `source` with its top-left pixel at (x, y), over what is there.
  void Blit(const Canvas& source, int x, int y);
  // Fills the rectangle with an opaque colour, clipped to the canvas.
  void FillRect(int x, int y, int w, int h, Rgba colour);
};

// An opaque colour.
constexpr Rgba Opaque(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

// Puts `src` (premultiplied) over `dst`.
inline void Over(Rgba& dst, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  const uint32_t keep = 255 - a;
  dst.r = static_cast<uint8_t>(r + (dst.r * keep + 127) / 255);
  dst.g = static_cast<uint8_t>(g + (dst.g * keep + 127) / 255);
  dst.b = static_cast<uint8_t>(b + (dst.b * keep + 127) / 255);
  dst.a = static_cast<uint8_t>(a + (dst.a * keep + 127) / 255);
}

// The canvas as 8-bit RGBA with straight alpha, as image files store it.
std::vector<uint8_t> StraightRgba(const Canvas& canvas);

// Writes the canvas as an 8-bit RGBA PNG; path "-" is standard output.
bool WritePng(const std::string& path, const Canvas& canvas, std::string& error);

// The same PNG in memory (what the live bench serves).
bool EncodePng(const Canvas& canvas, std::vector<uint8_t>& png, std::string& error);

// Reads an RGBA or RGB PNG back into a canvas (tests look at what the tools wrote).
bool ReadPng(const std::string& path, Canvas& canvas, std::string& error);
bool DecodePng(std::span<const uint8_t> png, Canvas& canvas, std::string& error);

}  // namespace gauge::render
