#include "session_scene.h"

#include "record_layout.h"

namespace gauge::cli {
namespace {

#define MOUSE_AREA_OFFSET(field, offset, size) constexpr uint32_t kArea_##field = offset;
LAYOUT_MOUSE_AREA(MOUSE_AREA_OFFSET)
#undef MOUSE_AREA_OFFSET

render::Point ToPoint(gauge::Point p) { return render::Point{static_cast<double>(p.x), static_cast<double>(p.y)}; }

double FirstResult(const ElementState& element) { return element.results.empty() ? 0.0 : element.results[0]; }

const IndexedBitmap* Named(const GaugeSession& session, GaugePicture& picture, uint32_t id, bool required,
                           const ElementState& element) {
  if (auto it = picture.bitmaps.find(id); it != picture.bitmaps.end()) return &it->second;
  std::optional<IndexedBitmap> bitmap = session.Bitmap(id);
  if (!bitmap) {
    if (!required) return nullptr;
    throw HostError(ErrorKind::kFormat, element.role + " names bitmap " + std::to_string(static_cast<int32_t>(id)) +
                                            ", which the module does not carry");
  }
  return &picture.bitmaps.emplace(id, std::move(*bitmap)).first->second;
}

render::DrawItem ItemOf(const GaugeSession& session, GaugePicture& picture, const ElementState& element) {
  const uint32_t id = static_cast<uint32_t>(element.bitmap_id);
  switch (element.kind) {
    case ELEMENT_KIND_NEEDLE: {
      double angle = FirstResult(element);
      if (!element.calibration.empty()) {
        std::vector<render::CalibrationPoint> table;
        for (const CalibrationEntry& entry : element.calibration) table.push_back({ToPoint(entry.point), entry.value});
        angle = render::CalibratedNeedleAngle(ToPoint(element.position), table, angle);
      }
      return render::ImageItem{Named(session, picture, id, true, element), ToPoint(element.position),
                               ToPoint(element.origin), angle};
    }
    case ELEMENT_KIND_SPRITE:
      return render::SpriteItem{Named(session, picture, id, true, element), ToPoint(element.position),
                                ToPoint(element.origin), FirstResult(element),
                                Named(session, picture, id + 3, false, element)};
    case ELEMENT_KIND_STRING:
      return render::TextItem{element.text,          element.font_face,   element.font_weight,
                              element.text_colour,   element.position.x,  element.position.y,
                              element.text_size.x,   element.text_size.y, element.text_format,
                              element.char_count};
    default:  // a static image
      return render::ImageItem{Named(session, picture, id, true, element), ToPoint(element.position),
                               ToPoint(element.origin), 0};
  }
}

}  // namespace

GaugePicture PictureOf(const GaugeSession& session, const std::vector<ElementState>& chain) {
  GaugePicture picture;
  if (chain.empty() || chain[0].kind != ELEMENT_KIND_STATIC_IMAGE)
    throw HostError(ErrorKind::kFormat, "the gauge's top element is not a static image");
  for (const ElementState& element : chain) picture.scene.items.push_back(ItemOf(session, picture, element));
  const IndexedBitmap& face = *std::get<render::ImageItem>(picture.scene.items.front()).bitmap;
  picture.scene.width = face.width;
  picture.scene.height = face.height;
  return picture;
}

std::vector<render::AreaOutline> ClickableAreas(const GaugeSession& session) {
  std::vector<render::AreaOutline> areas;
  const uint32_t list = session.records().mouse_areas();
  if (list == 0) return areas;
  const Emulator& emu = session.emulator();
  constexpr int kMaxEntries = 1024;  // a list without its end entry stops here
  for (int i = 0; i < kMaxEntries; ++i) {
    const uint32_t entry = list + i * RECORD_SIZE_MOUSE_AREA;
    auto word = [&](uint32_t offset) { return static_cast<int32_t>(emu.ReadWord(entry + offset)); };
    const int32_t type = word(kArea_area_type);
    if (type == MOUSE_AREA_END_OF_LIST) break;
    if (type != MOUSE_AREA_CHILD) continue;
    areas.push_back({word(kArea_box), word(kArea_box + 4), word(kArea_box + 8), word(kArea_box + 12),
                     word(kArea_cursor)});
  }
  return areas;
}

}  // namespace gauge::cli
