#include "scene.h"

#include <cmath>

namespace gauge::render {
namespace {

double DirectionDegrees(Point from, Point to) {
  const double degrees = std::atan2(to.y - from.y, to.x - from.x) * (180.0 / M_PI);
  return degrees < 0 ? degrees + 360.0 : degrees;
}

}  // namespace

double CalibratedNeedleAngle(Point position, std::span<const CalibrationPoint> table, double value) {
  if (table.empty()) return 0;
  if (!(value > table.front().value)) return DirectionDegrees(position, table.front().point);
  if (value >= table.back().value) return DirectionDegrees(position, table.back().point);
  size_t upper = 1;
  while (table[upper].value < value) ++upper;
  const CalibrationPoint& a = table[upper - 1];
  const CalibrationPoint& b = table[upper];
  const double from = DirectionDegrees(position, a.point);
  double sweep = DirectionDegrees(position, b.point) - from;
  if (sweep > 180) sweep -= 360;
  if (sweep < -180) sweep += 360;
  const double angle = from + sweep * (value - a.value) / (b.value - a.value);
  return angle < 0 ? angle + 360 : angle;
}

PreparedBitmap& Renderer::Prepared(const IndexedBitmap& bitmap) {
  auto it = prepared_.find(&bitmap);
  if (it == prepared_.end() || !it->second.bitmap.Matches(bitmap))
    it = prepared_.insert_or_assign(&bitmap, Kept{PreparedBitmap(bitmap), 0}).first;
  it->second.frame = frame_;
  return it->second.bitmap;
}

bool Renderer::Render(const Scene& scene, double scale, Canvas& canvas, std::string& error) {
  if (!(scene.width * scale * scene.height * scale <= kMaxCanvasPixels)) {
    error = "a picture of " + std::to_string(scene.width) + " x " + std::to_string(scene.height) +
            " pixels at scale " + std::to_string(scale) + " is too large";
    return false;
  }
  const int width = static_cast<int>(std::lround(scene.width * scale));
  const int height = static_cast<int>(std::lround(scene.height * scale));
  if (canvas.width != width || canvas.height != height) canvas = Canvas(width, height);
  ++frame_;

  // A face first is drawn onto the canvas as it clears it.
  const auto* face = scene.items.empty() ? nullptr : std::get_if<ImageItem>(&scene.items.front());
  if (face) {
    ClearAndDraw(canvas, Prepared(*face->bitmap), PlaceTurned(face->position, face->origin, face->angle, scale));
  } else {
    canvas.Fill(Rgba{0, 0, 0, 0});
  }
  for (size_t i = face ? 1 : 0; i < scene.items.size(); ++i) {
    const DrawItem& item = scene.items[i];
    if (const auto* image = std::get_if<ImageItem>(&item)) {
      DrawBitmap(canvas, Prepared(*image->bitmap), PlaceTurned(image->position, image->origin, image->angle, scale));
    } else if (const auto* sprite = std::get_if<SpriteItem>(&item)) {
      // The bitmap pixel under gauge point `origin` is origin - position.
      const Point pivot{sprite->origin.x - sprite->position.x, sprite->origin.y - sprite->position.y};
      const Placement placement = PlaceTurned(sprite->origin, pivot, -sprite->turn, scale);
      const PreparedBitmap& bitmap = Prepared(*sprite->bitmap);
      if (sprite->window) {
        PreparedBitmap& opening = Prepared(*sprite->window);
        opening.PrepareAsWindow();
        const Window window{&opening, PlaceTurned(sprite->position, Point{}, 0, scale)};
        DrawBitmap(canvas, bitmap, placement, &window);
      } else {
        DrawBitmap(canvas, bitmap, placement);
      }
    } else if (!text_.DrawInBox(canvas, std::get<TextItem>(item), scale, error)) {
      return false;
    }
  }
  // Bitmaps this frame did not draw are let go.
  std::erase_if(prepared_, [this](const auto& entry) { return entry.second.frame != frame_; });
  return true;
}

}  // namespace gauge::render
