#include "artwork.h"

#include <algorithm>
#include <stdexcept>

namespace gauge::art {
namespace {

std::vector<Drawing>& Registry() {
  static std::vector<Drawing> drawings;
  return drawings;
}

}  // namespace

Registration::Registration(std::string gauge, std::string bitmap, std::string path,
                           std::function<IndexedBitmap()> draw) {
  Registry().push_back({std::move(gauge), std::move(bitmap), std::move(path), std::move(draw)});
}

std::vector<Drawing> AllDrawings() {
  std::vector<Drawing> all = Registry();
  std::sort(all.begin(), all.end(), [](const Drawing& a, const Drawing& b) {
    return std::tie(a.gauge, a.bitmap) < std::tie(b.gauge, b.bitmap);
  });
  return all;
}

Font LoadFont(const std::string& pattern) {
  Font font;
  std::string error;
  if (!Font::Load(pattern, font, error)) throw std::runtime_error(error);
  return font;
}

}  // namespace gauge::art
