#include "canvas.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace gauge::render {

void Canvas::Fill(Rgba colour) { std::fill(pixels.begin(), pixels.end(), colour); }

void Canvas::Blit(const Canvas& source, int x, int y) {
  for (int sy = 0; sy < source.height; ++sy) {
    if (y + sy < 0 || y + sy >= height) continue;
    for (int sx = 0; sx < source.width; ++sx) {
      if (!contains(x + sx, y + sy)) continue;
      const Rgba s = source.at(sx, sy);
      Over(at(x + sx, y + sy), s.r, s.g, s.b, s.a);
    }
  }
}

void Canvas::FillRect(int x, int y, int w, int h, Rgba colour) {
  const int64_t x0 = std::max(x, 0), x1 = std::min<int64_t>(int64_t{x} + w, width);
  const int64_t y0 = std::max(y, 0), y1 = std::min<int64_t>(int64_t{y} + h, height);
  if (x0 >= x1) return;
  for (int64_t row = y0; row < y1; ++row) {
    std::fill(pixels.begin() + static_cast<size_t>(row) * width + x0,
              pixels.begin() + static_cast<size_t>(row) * width + x1, colour);
  }
}

bool WritePng(const std::string& path, const Canvas& canvas, std::string& error) {
  std::vector<uint8_t> straight(canvas.pixels.size() * 4);
  for (size_t i = 0; i < canvas.pixels.size(); ++i) {
    const Rgba p = canvas.pixels[i];
    uint8_t* out = &straight[i * 4];
    if (p.a == 0) {
      std::memset(out, 0, 4);
      continue;
    }
    out[0] = static_cast<uint8_t>(std::min(255, (p.r * 255 + p.a / 2) / p.a));
    out[1] = static_cast<uint8_t>(std::min(255, (p.g * 255 + p.a / 2) / p.a));
    out[2] = static_cast<uint8_t>(std::min(255, (p.b * 255 + p.a / 2) / p.a));
    out[3] = p.a;
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(canvas.width);
  image.height = static_cast<png_uint_32>(canvas.height);
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, straight.data(), 0, nullptr)) {
    error = "cannot write " + path + ": " + image.message;
    return false;
  }
  return true;
}

bool ReadPng(const std::string& path, Canvas& canvas, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    error = "cannot read " + path + ": " + image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> straight(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, straight.data(), 0, nullptr)) {
    error = "cannot read " + path + ": " + image.message;
    return false;
  }
  canvas = Canvas(static_cast<int>(image.width), static_cast<int>(image.height));
  for (size_t i = 0; i < canvas.pixels.size(); ++i) {
    const uint8_t* in = &straight[i * 4];
    const uint32_t a = in[3];
    canvas.pixels[i] = Rgba{static_cast<uint8_t>((in[0] * a + 127) / 255),
                            static_cast<uint8_t>((in[1] * a + 127) / 255),
                            static_cast<uint8_t>((in[2] * a + 127) / 255), in[3]};
  }
  return true;
}

}  // namespace gauge::render
