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

const char* AreaTypeName(int32_t type) {
  switch (type) {
    case 0: return "end of list";
    case 1: return "parent";
    case 2: return "child";
    case 3: return "end of parent";
  }
  return "unknown";
}

struct Info {
  GaugeSession& session;
  uint32_t word(uint32_t address) const { return session.emulator().ReadWord(address); }
  uint32_t header_word(uint32_t offset) const { return word(session.gauge_header() + offset); }
};

std::string PointText(Point p) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d, %d)", p.x, p.y);
  return text;
}

void PrintElementText(const ElementState& e, const std::vector<ElementState>& all) {
  std::string indent = "  ";
  for (int p = e.parent; p >= 0; p = all[p].parent) indent += "  ";
  std::printf("%s%s: kind %d (%s), bitmap %d, position %s, origin %s, image_flags %s\n", indent.c_str(),
              e.role.c_str(), e.kind, ElementKindName(e.kind), e.bitmap_id, PointText(e.position).c_str(),
              PointText(e.origin).c_str(), Hex(e.image_flags).c_str());
  indent += "  ";
  std::string failures;
  for (const FailureInfo& f : e.failures)
    failures.append(failures.empty() ? "" : ", ").append(PointText({f.key, f.action}));
  std::printf("%sfailures: %s\n", indent.c_str(), failures.empty() ? "none" : failures.c_str());
  if (!e.variable_ids.empty()) {
    std::string ids;
    for (int32_t id : e.variable_ids) ids.append(ids.empty() ? "" : ", ").append(std::to_string(id));
    std::printf("%svariable ids: %s\n", indent.c_str(), ids.c_str());
  }
  if (e.kind == 1) {
    std::printf("%sneedle_point %s, step_limit %d, calibration: %s\n", indent.c_str(), PointText(e.needle_point).c_str(),
                e.step_limit, e.calibration.empty() ? "none" : (std::to_string(e.calibration.size()) + " points").c_str());
    for (const CalibrationEntry& c : e.calibration)
      std::printf("%s  %s = %s\n", indent.c_str(), PointText(c.point).c_str(), DoubleText(c.value).c_str());
  } else if (e.kind == 2) {
    std::printf("%stext box %d x %d, colour %s, font \"%s\" weight %u charset %u, format %s, char_count %u\n",
                indent.c_str(), e.text_size.x, e.text_size.y, Hex(e.text_colour).c_str(), e.font_face.c_str(), e.font_weight,
                e.font_charset, Hex(e.text_format).c_str(), e.char_count);
  } else if (e.kind == 6) {
    std::printf("%sfactor %s, factor_pair %s, %s\n", indent.c_str(), DoubleText(e.factor).c_str(),
                DoubleText(e.factor_pair[0]).c_str(), DoubleText(e.factor_pair[1]).c_str());
  }
}

void PrintText(const Info& info, const std::vector<ElementState>& elements,
               const std::vector<MouseAreaInfo>& areas, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  std::printf("gauge \"%s\"\n", s.gauge_name().c_str());
  std::printf("  module: preferred base %s, loaded at %s\n", Hex(s.preferred_base()).c_str(), Hex(s.base()).c_str());
  std::printf("  Linkage: linkage_id %s, on_load %s, on_unload %s, gauges [%s, %s]\n",
              Hex(info.word(s.linkage())).c_str(), Hex(info.word(s.linkage() + 4)).c_str(),
              Hex(info.word(s.linkage() + 8)).c_str(), Hex(info.word(s.linkage() + 24)).c_str(),
              Hex(info.word(s.linkage() + 28)).c_str());
  std::printf("  ImportTable: import_id %s\n", Hex(info.word(s.import_table())).c_str());
  std::printf("  header: version %u, default_size %u, top_element_ref %s\n", info.header_word(0),
              info.header_word(0x2C), Hex(info.header_word(8)).c_str());
  std::printf("elements\n");
  for (const ElementState& e : elements) PrintElementText(e, elements);
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

void ElementJson(JsonWriter& j, const ElementState& e) {
  j.BeginObject().Key("role").String(e.role).Key("kind").Integer(e.kind).Key("kind_name").String(ElementKindName(e.kind));
  j.Key("bitmap_id").Integer(e.bitmap_id);
  PointJson(j, "position", e.position);
  PointJson(j, "origin", e.origin);
  j.Key("image_flags").Integer(e.image_flags).Key("failures").BeginArray();
  for (const FailureInfo& f : e.failures) j.BeginArray().Integer(f.key).Integer(f.action).EndArray();
  j.EndArray().Key("variable_ids").BeginArray();
  for (int32_t id : e.variable_ids) j.Integer(id);
  j.EndArray();
  if (e.kind == 1) {
    PointJson(j, "needle_point", e.needle_point);
    j.Key("step_limit").Integer(e.step_limit).Key("calibration").BeginArray();
    for (const CalibrationEntry& c : e.calibration) {
      j.BeginObject();
      PointJson(j, "point", c.point);
      j.Key("value").Number(c.value).EndObject();
    }
    j.EndArray();
  } else if (e.kind == 2) {
    PointJson(j, "text_size", e.text_size);
    j.Key("text_colour").Integer(e.text_colour).Key("font_face").String(e.font_face);
    j.Key("font_weight").Integer(e.font_weight).Key("font_charset").Integer(e.font_charset);
    j.Key("text_format").Integer(e.text_format).Key("char_count").Integer(e.char_count);
  } else if (e.kind == 6) {
    j.Key("factor").Number(e.factor).Key("factor_pair").BeginArray();
    j.Number(e.factor_pair[0]).Number(e.factor_pair[1]).EndArray();
  }
  j.EndObject();
}

void PrintJson(const Info& info, const std::vector<ElementState>& elements,
               const std::vector<MouseAreaInfo>& areas, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  JsonWriter j;
  j.BeginObject().Key("name").String(s.gauge_name());
  j.Key("preferred_base").Integer(s.preferred_base()).Key("base").Integer(s.base());
  j.Key("linkage").BeginArray();
  for (uint32_t i = 0; i < 8; ++i) j.Integer(info.word(s.linkage() + 4 * i));
  j.EndArray().Key("import_id").Integer(info.word(s.import_table()));
  j.Key("header").BeginObject().Key("version").Integer(info.header_word(0));
  j.Key("default_size").Integer(info.header_word(0x2C)).EndObject();
  j.Key("elements").BeginArray();
  for (const ElementState& e : elements) ElementJson(j, e);
  j.EndArray().Key("mouse_areas").BeginArray();
  for (const MouseAreaInfo& a : areas) {
    j.BeginObject().Key("area_type").Integer(a.area_type).Key("type_name").String(AreaTypeName(a.area_type));
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
  const std::vector<ElementState> elements = session->ElementStates();
  session->Install(0);  // hands over the mouse-area list
  const Info info{*session};
  if (a.has("--json"))
    PrintJson(info, elements, session->MouseAreas(), session->BitmapResources());
  else
    PrintText(info, elements, session->MouseAreas(), session->BitmapResources());
  return 0;
}

const CommandRegistration kInfo({"info", kUsage, RunInfo});

}  // namespace
}  // namespace gauge::cli
