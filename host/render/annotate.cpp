#include "annotate.h"

#include <algorithm>
#include <cmath>

namespace gauge::render {
namespace {

constexpr Rgba kOutline = Opaque(0, 255, 255);
constexpr Rgba kSheetGround = Opaque(48, 52, 60);
constexpr Rgba kCaption = Opaque(240, 240, 240);
constexpr int kLabelSize = 12;
constexpr int kCaptionSize = 16;
constexpr int kGap = 12;

}  // namespace

void DrawAreaOutlines(Canvas& canvas, std::span<const AreaOutline> areas, double scale, TextRenderer& text) {
  const int line = std::max(1, static_cast<int>(std::lround(scale)));
  // Edges clipped to a margin around the canvas in floating point: a box of
  // any size from a module cannot overflow the pixel arithmetic.
  const auto onto = [&](double v, int limit) {
    return static_cast<int>(std::lround(std::clamp(v * scale, -1.0 - line, limit + 1.0 + line)));
  };
  for (const AreaOutline& area : areas) {
    const int x = onto(area.x, canvas.width), y = onto(area.y, canvas.height);
    const int w = onto(double(area.x) + area.width, canvas.width) - x;
    const int h = onto(double(area.y) + area.height, canvas.height) - y;
    if (w <= 0 || h <= 0 || x >= canvas.width || y >= canvas.height || x + w <= 0 || y + h <= 0) continue;
    canvas.FillRect(x, y, w, line, kOutline);
    canvas.FillRect(x, y + h - line, w, line, kOutline);
    canvas.FillRect(x, y, line, h, kOutline);
    canvas.FillRect(x + w - line, y, line, h, kOutline);
    const int label_y = y >= kLabelSize + 4 ? y - kLabelSize - 3 : y + h + 2;
    text.DrawLabel(canvas, "cursor " + std::to_string(area.cursor), x, label_y, kLabelSize, kOutline);
  }
}

Canvas ContactSheet(std::span<const Canvas> frames, std::span<const std::string> captions, TextRenderer& text) {
  if (frames.empty()) return Canvas();
  const int count = static_cast<int>(frames.size());
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  const int rows = (count + columns - 1) / columns;
  // Cells fit the largest frame: a gauge may change its face between frames.
  int frame_w = 0, frame_h = 0;
  for (const Canvas& frame : frames) {
    frame_w = std::max(frame_w, frame.width);
    frame_h = std::max(frame_h, frame.height);
  }
  const int cell_w = frame_w + kGap;
  const int cell_h = frame_h + kCaptionSize + 2 * kGap;
  Canvas sheet(columns * cell_w + kGap, rows * cell_h + kGap);
  sheet.Fill(kSheetGround);
  for (int i = 0; i < count; ++i) {
    const int x = kGap + (i % columns) * cell_w;
    const int y = kGap + (i / columns) * cell_h;
    sheet.Blit(frames[i], x, y);
    if (i < static_cast<int>(captions.size())) {
      const int width = text.LabelWidth(captions[i], kCaptionSize);
      text.DrawLabel(sheet, captions[i], x + (frames[i].width - width) / 2, y + frame_h + kGap / 2,
                     kCaptionSize, kCaption);
    }
  }
  return sheet;
}

}  // namespace gauge::render
