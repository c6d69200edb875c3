// gauge-host info FILE.gau [--json]: the module's records as a tree: gauge
// name and header, each element (kind, bitmap, position, origin, flags,
// failures, variable ids, calibration), the mouse areas (read after
// GaugeInstall hands them over) and the bitmap resources.
#include <cstdio>

#include "arguments.h"
#include "command.h"
#include "format.h"

namespace gauge::cli {
namespace {

constexpr char kUsage[] = "info FILE.gau [--json]";
using L = layout::Linkage;
using H = layout::GaugeHeader;

struct Info {
  GaugeSession& session;
  uint32_t word(uint32_t address) const { return session.emulator().ReadWord(address); }
  uint32_t linkage_word(uint32_t offset) const { return word(session.linkage() + offset); }
  uint32_t header_word(uint32_t offset) const { return word(session.gauge_header() + offset); }
};

std::string PointText(Point p) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d, %d)", p.x, p.y);
  return text;
}

void PrintElementText(const ElementSnapshot& element, const std::vector<ElementSnapshot>& all) {
  const ElementCommon& e = Common(element);
  const ElementKind kind = KindOf(element);
  std::string indent = "  ";
  for (int p = e.parent; p >= 0; p = Common(all[p]).parent) indent += "  ";
  std::printf("%s%s: kind %d (%s), bitmap %d, position %s, origin %s, image_flags %s\n", indent.c_str(),
              e.role.c_str(), int32_t(kind), ElementKindName(kind), e.bitmap_id, PointText(e.position).c_str(),
              PointText(e.origin).c_str(), Hex(e.image_flags).c_str());
  indent += "  ";
  std::string failures;
  for (const FailureInfo& f : e.failures)
    failures.append(failures.empty() ? "" : ", ").append(PointText({f.key, f.action}));
  std::printf("%sfailures: %s\n", indent.c_str(), failures.empty() ? "none" : failures.c_str());
  if (const std::vector<int32_t> variable_ids = VariableIds(element); !variable_ids.empty()) {
    std::string ids;
    for (int32_t id : variable_ids) ids.append(ids.empty() ? "" : ", ").append(std::to_string(id));
    std::printf("%svariable ids: %s\n", indent.c_str(), ids.c_str());
  }
  if (const auto* n = std::get_if<NeedleState>(&element)) {
    std::printf("%sneedle_point %s, step_limit %d, calibration: %s\n", indent.c_str(), PointText(n->needle_point).c_str(),
                n->step_limit, n->calibration.empty() ? "none" : (std::to_string(n->calibration.size()) + " points").c_str());
    for (const CalibrationEntry& c : n->calibration)
      std::printf("%s  %s = %s\n", indent.c_str(), PointText(c.point).c_str(), DoubleText(c.value).c_str());
  } else if (const auto* t = std::get_if<StringState>(&element)) {
    std::printf("%stext box %d x %d, colour %s, font \"%s\" weight %u charset %u, format %s, char_count %u\n",
                indent.c_str(), t->text_size.x, t->text_size.y, Hex(t->text_colour).c_str(), t->font_face.c_str(),
                t->font_weight, t->font_charset, Hex(t->text_format).c_str(), t->char_count);
  } else if (const auto* p = std::get_if<SpriteState>(&element)) {
    std::printf("%sfactor %s, factor_pair %s, %s\n", indent.c_str(), DoubleText(p->factor).c_str(),
                DoubleText(p->factor_pair[0]).c_str(), DoubleText(p->factor_pair[1]).c_str());
  }
}

void PrintText(const Info& info, const std::vector<ElementSnapshot>& elements,
               const std::vector<MouseAreaInfo>& areas, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  std::printf("gauge \"%s\"\n", s.gauge_name().c_str());
  std::printf("  module: preferred base %s, loaded at %s\n", Hex(s.preferred_base()).c_str(), Hex(s.base()).c_str());
  std::printf("  Linkage: linkage_id %s, on_load %s, on_unload %s, gauges [%s, %s]\n",
              Hex(info.linkage_word(L::linkage_id)).c_str(), Hex(info.linkage_word(L::on_load)).c_str(),
              Hex(info.linkage_word(L::on_unload)).c_str(), Hex(info.linkage_word(L::gauges)).c_str(),
              Hex(info.linkage_word(L::gauges + layout::kWord)).c_str());
  std::printf("  ImportTable: import_id %s\n", Hex(info.word(s.import_table() + layout::ServiceImport::import_id)).c_str());
  std::printf("  header: version %u, default_size %u, top_element_ref %s\n", info.header_word(H::version),
              info.header_word(H::default_size), Hex(info.header_word(H::top_element_ref)).c_str());
  std::printf("elements\n");
  for (const ElementSnapshot& e : elements) PrintElementText(e, elements);
  std::printf("mouse areas\n");
  for (size_t i = 0; i < areas.size(); ++i) {
    const MouseAreaInfo& a = areas[i];
    std::printf("  [%zu] %s, box (%d, %d, %d, %d), cursor %d, help_code %s, area_flags %s, function %s\n", i,
                AreaTypeName(a.area_type), a.x, a.y, a.width, a.height, a.cursor, Hex(a.help_code).c_str(),
                Hex(a.area_flags).c_str(), Hex(a.function).c_str());
  }
  std::printf("bitmaps\n");
  for (const BitmapResource& b : bitmaps) {
    if (b.bitmap)
      std::printf("  %u: %d x %d, %d bits per pixel, language %u\n", b.id, b.bitmap->width, b.bitmap->height,
                  b.bits_per_pixel, b.language);
    else
      std::printf("  %u: %d bits per pixel, language %u, not decoded: %s\n", b.id, b.bits_per_pixel, b.language,
                  b.decode_error.c_str());
  }
}

void PointJson(JsonWriter& j, const char* key, Point p) {
  j.Key(key).BeginArray().Integer(p.x).Integer(p.y).EndArray();
}

void ElementJson(JsonWriter& j, const ElementSnapshot& element) {
  const ElementCommon& e = Common(element);
  const ElementKind kind = KindOf(element);
  j.BeginObject().Key("role").String(e.role).Key("kind").Integer(int32_t(kind)).Key("kind_name").String(ElementKindName(kind));
  j.Key("bitmap_id").Integer(e.bitmap_id);
  PointJson(j, "position", e.position);
  PointJson(j, "origin", e.origin);
  j.Key("image_flags").Integer(e.image_flags).Key("failures").BeginArray();
  for (const FailureInfo& f : e.failures) j.BeginArray().Integer(f.key).Integer(f.action).EndArray();
  j.EndArray().Key("variable_ids").BeginArray();
  for (int32_t id : VariableIds(element)) j.Integer(id);
  j.EndArray();
  if (const auto* n = std::get_if<NeedleState>(&element)) {
    PointJson(j, "needle_point", n->needle_point);
    j.Key("step_limit").Integer(n->step_limit).Key("calibration").BeginArray();
    for (const CalibrationEntry& c : n->calibration) {
      j.BeginObject();
      PointJson(j, "point", c.point);
      j.Key("value").Number(c.value).EndObject();
    }
    j.EndArray();
  } else if (const auto* t = std::get_if<StringState>(&element)) {
    PointJson(j, "text_size", t->text_size);
    j.Key("text_colour").Integer(t->text_colour).Key("font_face").String(t->font_face);
    j.Key("font_weight").Integer(t->font_weight).Key("font_charset").Integer(t->font_charset);
    j.Key("text_format").Integer(t->text_format).Key("char_count").Integer(t->char_count);
  } else if (const auto* p = std::get_if<SpriteState>(&element)) {
    j.Key("factor").Number(p->factor).Key("factor_pair").BeginArray();
    j.Number(p->factor_pair[0]).Number(p->factor_pair[1]).EndArray();
  }
  j.EndObject();
}

void PrintJson(const Info& info, const std::vector<ElementSnapshot>& elements,
               const std::vector<MouseAreaInfo>& areas, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  JsonWriter j;
  j.BeginObject().Key("name").String(s.gauge_name());
  j.Key("preferred_base").Integer(s.preferred_base()).Key("base").Integer(s.base());
  j.Key("linkage").BeginArray();
  for (uint32_t at = 0; at < L::kSize; at += layout::kWord) j.Integer(info.linkage_word(at));
  j.EndArray().Key("import_id").Integer(info.word(s.import_table() + layout::ServiceImport::import_id));
  j.Key("header").BeginObject().Key("version").Integer(info.header_word(H::version));
  j.Key("default_size").Integer(info.header_word(H::default_size)).EndObject();
  j.Key("elements").BeginArray();
  for (const ElementSnapshot& e : elements) ElementJson(j, e);
  j.EndArray().Key("mouse_areas").BeginArray();
  for (const MouseAreaInfo& a : areas) {
    j.BeginObject().Key("area_type").Integer(int32_t(a.area_type)).Key("type_name").String(AreaTypeName(a.area_type));
    j.Key("box").BeginArray().Integer(a.x).Integer(a.y).Integer(a.width).Integer(a.height).EndArray();
    j.Key("cursor").Integer(a.cursor).Key("help_code").Integer(a.help_code);
    j.Key("area_flags").Integer(a.area_flags).Key("event_code").Integer(a.event_code);
    j.Key("function").Integer(a.function).Key("extra").Integer(a.extra).EndObject();
  }
  j.EndArray().Key("bitmaps").BeginArray();
  for (const BitmapResource& b : bitmaps) {
    j.BeginObject().Key("id").Integer(b.id).Key("language").Integer(b.language).Key("size").Integer(b.size);
    j.Key("bits_per_pixel").Integer(b.bits_per_pixel);
    if (b.bitmap) j.Key("width").Integer(b.bitmap->width).Key("height").Integer(b.bitmap->height);
    else j.Key("error").String(b.decode_error);
    j.EndObject();
  }
  j.EndArray().EndObject();
  std::printf("%s\n", j.str().c_str());
}

int RunInfo(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {"--json"}, {}, 1, kUsage);
  auto session = GaugeSession::Load(a.positional[0]);
  const std::vector<ElementSnapshot> elements = session->ElementStates();
  session->Install(0);  // hands over the mouse-area list
  const Info info{*session};
  if (a.has("--json"))
    PrintJson(info, elements, session->MouseAreas(), session->BitmapResources());
  else
    PrintText(info, elements, session->MouseAreas(), session->BitmapResources());
  return 0;
}

}  // namespace

Command InfoCommand() { return {"info", kUsage, RunInfo}; }
}  // namespace gauge::cli
