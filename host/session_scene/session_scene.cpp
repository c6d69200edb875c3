#include "session_scene.h"

namespace gauge {
namespace {

render::Point ToPoint(gauge::Point p) { return render::Point{static_cast<double>(p.x), static_cast<double>(p.y)}; }

const IndexedBitmap* Named(const GaugeSession& session, GaugePicture& picture, uint32_t id, bool required,
                           const ElementCommon& element) {
  if (auto it = picture.bitmaps.find(id); it != picture.bitmaps.end()) return &it->second;
  std::optional<IndexedBitmap> bitmap = session.Bitmap(id);
  if (!bitmap) {
    if (!required) return nullptr;
    const std::string named = element.role + " names bitmap " + std::to_string(static_cast<int32_t>(id));
    for (const BitmapResource& resource : session.BitmapResources())
      if (resource.id == id)
        throw HostError(ErrorKind::kMissingResource, named + ", which does not decode: " + resource.decode_error);
    throw HostError(ErrorKind::kMissingResource, named + ", which the module does not carry");
  }
  return &picture.bitmaps.emplace(id, std::move(*bitmap)).first->second;
}

const IndexedBitmap* Required(const GaugeSession& session, GaugePicture& picture, const ElementCommon& element) {
  return Named(session, picture, static_cast<uint32_t>(element.bitmap_id), true, element);
}

render::DrawItem ItemOf(const GaugeSession& session, GaugePicture& picture, const ElementSnapshot& snapshot) {
  if (const auto* needle = std::get_if<NeedleState>(&snapshot)) {
    double angle = needle->result.value_or(0.0);
    if (!needle->calibration.empty()) {
      std::vector<render::CalibrationPoint> table;
      for (const CalibrationEntry& entry : needle->calibration) table.push_back({ToPoint(entry.point), entry.value});
      angle = render::CalibratedNeedleAngle(ToPoint(needle->position), table, angle);
    }
    return render::ImageItem{Required(session, picture, *needle), ToPoint(needle->position), ToPoint(needle->origin),
                             angle};
  }
  if (const auto* sprite = std::get_if<SpriteState>(&snapshot)) {
    const uint32_t window = static_cast<uint32_t>(sprite->bitmap_id) + 3;
    return render::SpriteItem{Required(session, picture, *sprite), ToPoint(sprite->position), ToPoint(sprite->origin),
                              sprite->result.value_or(0.0), Named(session, picture, window, false, *sprite)};
  }
  if (const auto* text = std::get_if<StringState>(&snapshot)) {
    return render::TextItem{text->text,          text->font_face,   text->font_weight, text->text_colour,
                            text->position.x,    text->position.y,  text->text_size.x, text->text_size.y,
                            text->text_format,   text->char_count};
  }
  const ElementCommon& image = Common(snapshot);  // a static image
  return render::ImageItem{Required(session, picture, image), ToPoint(image.position), ToPoint(image.origin), 0};
}

}  // namespace

GaugePicture PictureOf(const GaugeSession& session, const std::vector<ElementSnapshot>& chain) {
  GaugePicture picture;
  if (chain.empty() || !std::holds_alternative<StaticImageState>(chain[0]))
    throw HostError(ErrorKind::kBadRecord, "the gauge's top element is not a static image");
  for (const ElementSnapshot& element : chain) picture.scene.items.push_back(ItemOf(session, picture, element));
  const IndexedBitmap& face = *std::get<render::ImageItem>(picture.scene.items.front()).bitmap;
  picture.scene.width = face.width;
  picture.scene.height = face.height;
  return picture;
}

std::vector<render::AreaOutline> ClickableAreas(const GaugeSession& session) {
  std::vector<render::AreaOutline> areas;
  for (const MouseAreaInfo& a : session.RegisteredMouseAreas())
    if (a.area_type == AreaType::kChild) areas.push_back({a.x, a.y, a.width, a.height, a.cursor});
  return areas;
}

}  // namespace gauge
