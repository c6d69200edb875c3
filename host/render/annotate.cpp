#include "annotate.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gauge::render {
namespace {

constexpr Rgba kOutline = Opaque(0, 255, 255);
constexpr Rgba kSheetGround = Opaque(48, 52, 60);
constexpr Rgba kCaption = Opaque(240, 240, 240);
constexpr int kLabelSize = 12;
constexpr int kGap = 12;

struct Rect {
  int x, y, w, h;
  bool Overlaps(const Rect& o) const { return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h; }
  bool Inside(int width, int height) const { return x >= 0 && y >= 0 && x + w <= width && y + h <= height; }
};

// Where a box's number goes: the first place beside the box (above, below,
// right, left) on the canvas that overlaps no number placed before and no
// other box; failing that, one that overlaps no number; failing that,
// inside the box's top-left corner.
Rect NumberPlace(const Rect& box, int w, int h, int line, const std::vector<Rect>& numbers,
                 const std::vector<Rect>& boxes, size_t own, int width, int height) {
  const Rect candidates[] = {{box.x, box.y - h - 2, w, h},         {box.x, box.y + box.h + 2, w, h},
                             {box.x + box.w + 2, box.y, w, h},     {box.x - w - 2, box.y, w, h},
                             {box.x + box.w - w, box.y - h - 2, w, h}, {box.x + box.w - w, box.y + box.h + 2, w, h}};
  const auto clear = [&](const Rect& r, bool of_boxes) {
    for (const Rect& n : numbers)
      if (r.Overlaps(n)) return false;
    for (size_t i = 0; of_boxes && i < boxes.size(); ++i)
      if (i != own && r.Overlaps(boxes[i])) return false;
    return r.Inside(width, height);
  };
  for (const bool of_boxes : {true, false})
    for (const Rect& r : candidates)
      if (clear(r, of_boxes)) return r;
  return {box.x + line + 1, box.y + line + 1, w, h};
}

}  // namespace

void DrawAreaOutlines(Canvas& canvas, std::span<const AreaOutline> areas, double scale, TextRenderer& text) {
  const int line = std::max(1, static_cast<int>(std::lround(scale)));
  const int size = static_cast<int>(std::lround(kLabelSize * std::clamp(scale, 1.0, 4.0)));
  // Edges clipped to a margin around the canvas in floating point: a box of
  // any size from a module cannot overflow the pixel arithmetic.
  const auto onto = [&](double v, int limit) {
    return static_cast<int>(std::lround(std::clamp(v * scale, -1.0 - line, limit + 1.0 + line)));
  };
  std::vector<Rect> boxes;
  for (const AreaOutline& a : areas) {
    const int x = onto(a.x, canvas.width), y = onto(a.y, canvas.height);
    boxes.push_back({x, y, onto(double(a.x) + a.width, canvas.width) - x, onto(double(a.y) + a.height, canvas.height) - y});
  }
  std::vector<Rect> numbers;
  for (size_t i = 0; i < boxes.size(); ++i) {
    const Rect& b = boxes[i];
    if (b.w <= 0 || b.h <= 0 || b.x >= canvas.width || b.y >= canvas.height || b.x + b.w <= 0 || b.y + b.h <= 0) continue;
    canvas.FillRect(b.x, b.y, b.w, line, kOutline);
    canvas.FillRect(b.x, b.y + b.h - line, b.w, line, kOutline);
    canvas.FillRect(b.x, b.y, line, b.h, kOutline);
    canvas.FillRect(b.x + b.w - line, b.y, line, b.h, kOutline);
    const std::string number = std::to_string(i + 1);
    const Rect place = NumberPlace(b, text.LabelWidth(number, size), size, line, numbers, boxes, i, canvas.width,
                                   canvas.height);
    numbers.push_back(place);
    text.DrawLabel(canvas, number, place.x, place.y, size, kOutline);
  }
}

Canvas WithAreaLegend(const Canvas& picture, std::span<const AreaOutline> areas, double scale, TextRenderer& text) {
  const int size = static_cast<int>(std::lround(kLabelSize * std::clamp(scale, 1.0, 4.0)));
  std::vector<std::string> legend;
  for (size_t i = 0; i < areas.size(); ++i) {
    const AreaOutline& a = areas[i];
    legend.push_back(std::to_string(i + 1) + ": cursor " + std::to_string(a.cursor) + ", box (" + std::to_string(a.x) +
                     ", " + std::to_string(a.y) + ") " + std::to_string(a.width) + " x " + std::to_string(a.height));
  }
  int legend_w = 0;
  for (const std::string& entry : legend) legend_w = std::max(legend_w, text.LabelWidth(entry, size));
  const int row = size + size / 3;
  const int legend_h = legend.empty() ? 0 : static_cast<int>(legend.size()) * row + size;
  Canvas out(std::max(picture.width, legend_w + size), picture.height + legend_h);
  if (legend_h) out.FillRect(0, picture.height, out.width, legend_h, kSheetGround);
  Canvas marked = picture;
  DrawAreaOutlines(marked, areas, scale, text);
  out.Blit(marked, 0, 0);
  for (size_t i = 0; i < legend.size(); ++i)
    text.DrawLabel(out, legend[i], size / 2, picture.height + size / 2 + static_cast<int>(i) * row, size, kOutline);
  return out;
}

Canvas ContactSheet(std::span<const Canvas> frames, std::span<const std::string> captions, TextRenderer& text,
                    int caption_size) {
  if (frames.empty()) return Canvas();
  const int count = static_cast<int>(frames.size());
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
  const int rows = (count + columns - 1) / columns;
  // Cells fit the largest frame (a gauge may change its face between
  // frames) and the widest caption, so that captions never run together.
  int frame_w = 0, frame_h = 0;
  for (const Canvas& frame : frames) {
    frame_w = std::max(frame_w, frame.width);
    frame_h = std::max(frame_h, frame.height);
  }
  int cell_content_w = frame_w;
  for (const std::string& caption : captions) cell_content_w = std::max(cell_content_w, text.LabelWidth(caption, caption_size));
  const int cell_w = cell_content_w + kGap;
  const int cell_h = frame_h + caption_size + 2 * kGap;
  Canvas sheet(columns * cell_w + kGap, rows * cell_h + kGap);
  sheet.Fill(kSheetGround);
  for (int i = 0; i < count; ++i) {
    const int x = kGap + (i % columns) * cell_w;
    const int y = kGap + (i / columns) * cell_h;
    sheet.Blit(frames[i], x + (cell_content_w - frames[i].width) / 2, y);
    if (i < static_cast<int>(captions.size())) {
      const int width = text.LabelWidth(captions[i], caption_size);
      text.DrawLabel(sheet, captions[i], x + (cell_content_w - width) / 2, y + frame_h + kGap / 2, caption_size,
                     kCaption);
    }
  }
  return sheet;
}

}  // namespace gauge::render
