// gauge-host info FILE.gau [--json]: the module's records as a tree: gauge
// name, size and header, each element (role, kind, bitmap, position,
// origin, flags, failure keys, variable ids, calibration), the host
// variables it reads and who reads each, the mouse areas (read after
// GaugeInstall hands them over) with the events each child area's function
// sends, and the bitmap resources. Finding the readers and the events runs
// the gauge: install, initialise, one update cycle, then each mouse function.
#include <cstdio>
#include <memory>

#include "command.h"
#include "format.h"
#include "options.h"
#include "variables_read.h"

namespace gauge::cli {
namespace {

using L = layout::Linkage;
using H = layout::GaugeHeader;

// What each child area's function sends when called at its box's centre.
struct AreaEvents {
  std::vector<ServiceCall> events;
  std::string failure;  // why calling it failed, if it did
};

struct Info {
  GaugeSession& session;
  std::vector<ElementSnapshot> elements;  // as the records stand at load
  std::vector<MouseAreaInfo> areas;
  std::vector<AreaEvents> area_events;    // one per area (empty for all but children)
  std::vector<VariableRead> variables;
  uint32_t word(uint32_t address) const { return session.emulator().ReadWord(address); }
  uint32_t linkage_word(uint32_t offset) const { return word(session.linkage() + offset); }
  uint32_t header_word(uint32_t offset) const { return word(session.gauge_header() + offset); }
};

// The face's size: the top element's bitmap, when it decodes.
std::optional<IndexedBitmap> Face(const Info& info) {
  if (info.elements.empty()) return std::nullopt;
  return info.session.Bitmap(uint32_t(Common(info.elements[0]).bitmap_id));
}

AreaEvents EventsOf(GaugeSession& session, const MouseAreaInfo& area) {
  AreaEvents sent;
  if (area.area_type != AreaType::kChild || !area.function) return sent;
  if (!session.module().contains(area.function)) {
    sent.failure = "its function lies outside the module";
    return sent;
  }
  const size_t first = session.service_calls().size();
  try {
    session.CallWord(area.function, {uint32_t(area.x + area.width / 2), uint32_t(area.y + area.height / 2)});
  } catch (const HostError& error) {
    sent.failure = error.what();
  }
  for (size_t i = first; i < session.service_calls().size(); ++i)
    if (session.service_calls()[i].service == Service::SendEvent) sent.events.push_back(session.service_calls()[i]);
  return sent;
}

std::string EventsText(const AreaEvents& sent) {
  if (!sent.failure.empty()) return ", calling it failed: " + sent.failure;
  std::string text;
  for (const ServiceCall& e : sent.events)
    text += ", sends event " + Code(e.args[0]) + " (parameter " + Code(e.args[1]) + ")";
  return text.empty() ? ", sends no event" : text;
}

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
              PointText(e.origin).c_str(), Code(e.image_flags).c_str());
  indent += "  ";
  std::string failures;
  for (const FailureInfo& f : e.failures)
    failures.append(failures.empty() ? "" : ", ").append(PointText({f.key, f.action}));
  std::printf("%sfailures (key, action): %s\n", indent.c_str(), failures.empty() ? "none" : failures.c_str());
  if (const std::vector<int32_t> ids = VariableIds(element); !ids.empty()) {
    std::string list;
    for (int32_t id : ids) list.append(list.empty() ? "" : ", ").append(std::to_string(id));
    std::printf("%svariable ids: %s\n", indent.c_str(), list.c_str());
  }
  if (const auto* n = std::get_if<NeedleState>(&element)) {
    std::printf("%sneedle_point %s, step_limit %d, calibration: %s\n", indent.c_str(), PointText(n->needle_point).c_str(),
                n->step_limit, n->calibration.empty() ? "none" : (std::to_string(n->calibration.size()) + " points").c_str());
    for (const CalibrationEntry& c : n->calibration)
      std::printf("%s  %s = %s\n", indent.c_str(), PointText(c.point).c_str(), DoubleText(c.value).c_str());
  } else if (const auto* t = std::get_if<StringState>(&element)) {
    std::printf("%stext box %d x %d, colour %s, font \"%s\" weight %u charset %u, format %s, char_count %u\n",
                indent.c_str(), t->text_size.x, t->text_size.y, Code(t->text_colour).c_str(), t->font_face.c_str(),
                t->font_weight, t->font_charset, Code(t->text_format).c_str(), t->char_count);
  } else if (const auto* p = std::get_if<SpriteState>(&element)) {
    std::printf("%sfactor %s, factor_pair %s, %s\n", indent.c_str(), DoubleText(p->factor).c_str(),
                DoubleText(p->factor_pair[0]).c_str(), DoubleText(p->factor_pair[1]).c_str());
  }
}

std::string Readers(const VariableRead& v) {
  std::string text;
  for (const VariableReader& r : v.readers) text += (text.empty() ? "" : ", ") + r.reader;
  return text;
}

void PrintText(const Info& info, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  const std::optional<IndexedBitmap> face = Face(info);
  std::printf("gauge \"%s\", %s\n", s.gauge_name().c_str(),
              face ? (std::to_string(face->width) + " x " + std::to_string(face->height) + " pixels").c_str()
                   : "size unknown (its face bitmap does not decode)");
  std::printf("  module: preferred base %s, loaded at %s\n", Address(s.preferred_base()).c_str(), Address(s.base()).c_str());
  std::printf("  Linkage: linkage_id %s, on_load %s, on_unload %s, gauges [%s, %s]\n",
              Code(info.linkage_word(L::linkage_id)).c_str(), Address(info.linkage_word(L::on_load)).c_str(),
              Address(info.linkage_word(L::on_unload)).c_str(), Address(info.linkage_word(L::gauges)).c_str(),
              Address(info.linkage_word(L::gauges + layout::kWord)).c_str());
  std::printf("  ImportTable: import_id %s\n", Code(info.word(s.import_table() + layout::ServiceImport::import_id)).c_str());
  std::printf("  header: version %u, default_size %u, top_element_ref %s\n", info.header_word(H::version),
              info.header_word(H::default_size), Address(info.header_word(H::top_element_ref)).c_str());
  std::printf("elements\n");
  for (const ElementSnapshot& e : info.elements) PrintElementText(e, info.elements);
  std::printf("host variables read\n");
  if (info.variables.empty()) std::printf("  none\n");
  for (const VariableRead& v : info.variables) std::printf("  %d: by %s\n", v.id, Readers(v).c_str());
  std::printf("mouse areas\n");
  for (size_t i = 0; i < info.areas.size(); ++i) {
    const MouseAreaInfo& a = info.areas[i];
    std::printf("  [%zu] %s, box (%d, %d, %d, %d), cursor %d, help_code %s, area_flags %s, function %s%s\n", i,
                AreaTypeName(a.area_type), a.x, a.y, a.width, a.height, a.cursor, Code(a.help_code).c_str(),
                Code(a.area_flags).c_str(), Address(a.function).c_str(),
                a.area_type == AreaType::kChild && a.function ? EventsText(info.area_events[i]).c_str() : "");
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

Json PointJson(Point p) { return {{"x", p.x}, {"y", p.y}}; }

Json ElementJson(const ElementSnapshot& element) {
  const ElementCommon& e = Common(element);
  const ElementKind kind = KindOf(element);
  Json j = {{"role", e.role}, {"kind", int32_t(kind)}, {"kind_name", ElementKindName(kind)}, {"bitmap_id", e.bitmap_id},
            {"position", PointJson(e.position)}, {"origin", PointJson(e.origin)},
            {"image_flags", Code(e.image_flags)}, {"failures", Json::array()}, {"variable_ids", VariableIds(element)}};
  for (const FailureInfo& f : e.failures) j["failures"].push_back({{"key", f.key}, {"action", f.action}});
  if (const auto* n = std::get_if<NeedleState>(&element)) {
    j["needle_point"] = PointJson(n->needle_point);
    j["step_limit"] = n->step_limit;
    j["calibration"] = Json::array();
    for (const CalibrationEntry& c : n->calibration)
      j["calibration"].push_back({{"point", PointJson(c.point)}, {"value", Number(c.value)}});
  } else if (const auto* t = std::get_if<StringState>(&element)) {
    j["text_size"] = {{"width", t->text_size.x}, {"height", t->text_size.y}};
    j["text_colour"] = Code(t->text_colour);
    j["font_face"] = t->font_face;
    j["font_weight"] = t->font_weight;
    j["font_charset"] = t->font_charset;
    j["text_format"] = Code(t->text_format);
    j["char_count"] = t->char_count;
  } else if (const auto* p = std::get_if<SpriteState>(&element)) {
    j["factor"] = Number(p->factor);
    j["factor_pair"] = {Number(p->factor_pair[0]), Number(p->factor_pair[1])};
  }
  return j;
}

void PrintInfoJson(const Info& info, const std::vector<BitmapResource>& bitmaps) {
  GaugeSession& s = info.session;
  const std::optional<IndexedBitmap> face = Face(info);
  Json j = {{"name", s.gauge_name()},
            {"size", face ? Json{{"width", face->width}, {"height", face->height}} : Json(nullptr)},
            {"preferred_base", Address(s.preferred_base())},
            {"base", Address(s.base())},
            {"linkage",
             {{"linkage_id", Code(info.linkage_word(L::linkage_id))},
              {"on_load", Address(info.linkage_word(L::on_load))},
              {"on_unload", Address(info.linkage_word(L::on_unload))},
              {"gauges", {Address(info.linkage_word(L::gauges)), Address(info.linkage_word(L::gauges + layout::kWord))}}}},
            {"import_id", Code(info.word(s.import_table() + layout::ServiceImport::import_id))},
            {"header", {{"version", info.header_word(H::version)}, {"default_size", info.header_word(H::default_size)}}},
            {"elements", Json::array()},
            {"variables", Json::array()},
            {"mouse_areas", Json::array()},
            {"bitmaps", Json::array()}};
  for (const ElementSnapshot& e : info.elements) j["elements"].push_back(ElementJson(e));
  for (const VariableRead& v : info.variables) {
    Json readers = Json::array();
    for (const VariableReader& r : v.readers) readers.push_back({{"reader", r.reader}, {"record", Address(r.record)}});
    j["variables"].push_back({{"id", v.id}, {"readers", readers}});
  }
  for (size_t i = 0; i < info.areas.size(); ++i) {
    const MouseAreaInfo& a = info.areas[i];
    Json area = {{"area_type", int32_t(a.area_type)},
                 {"type_name", AreaTypeName(a.area_type)},
                 {"box", {{"x", a.x}, {"y", a.y}, {"width", a.width}, {"height", a.height}}},
                 {"cursor", a.cursor},
                 {"help_code", Code(a.help_code)},
                 {"area_flags", Code(a.area_flags)},
                 {"event_code", Code(a.event_code)},
                 {"function", Address(a.function)},
                 {"extra", Code(a.extra)}};
    if (a.area_type == AreaType::kChild && a.function) {
      area["events"] = Json::array();
      for (const ServiceCall& e : info.area_events[i].events)
        area["events"].push_back({{"event", Code(e.args[0])}, {"parameter", Code(e.args[1])}});
      if (!info.area_events[i].failure.empty()) area["failure"] = info.area_events[i].failure;
    }
    j["mouse_areas"].push_back(area);
  }
  for (const BitmapResource& b : bitmaps) {
    Json r = {{"id", b.id}, {"language", b.language}, {"size", b.size}, {"bits_per_pixel", b.bits_per_pixel}};
    if (b.bitmap) {
      r["width"] = b.bitmap->width;
      r["height"] = b.bitmap->height;
    } else {
      r["error"] = b.decode_error;
    }
    j["bitmaps"].push_back(r);
  }
  PrintJson(j);
}

struct InfoOptions {
  std::string file;
  bool json = false;
};

int RunInfo(const InfoOptions& o) {
  auto session = GaugeSession::Load(o.file);
  Info info{*session, session->ElementStates(), {}, {}, {}};
  session->Install(0);  // hands over the mouse-area list
  session->Initialize();
  session->RunUpdateCycle();  // the services a value callback calls
  info.variables = VariablesRead(*session);
  info.areas = session->MouseAreas();
  for (const MouseAreaInfo& area : info.areas) info.area_events.push_back(EventsOf(*session, area));
  if (o.json)
    PrintInfoJson(info, session->BitmapResources());
  else
    PrintText(info, session->BitmapResources());
  return 0;
}

std::function<int()> DefineInfo(CLI::App& app) {
  auto o = std::make_shared<InfoOptions>();
  AddFileArgument(app, o->file);
  AddJsonFlag(app, o->json);
  return [o] { return RunInfo(*o); };
}

}  // namespace

Command InfoCommand() {
  return {"info", "info FILE.gau [--json]",
          "describe the module: its gauge, elements, mouse areas and bitmaps",
          "info dist/Ostrel_Airspeed.gau",
          "the records as a tree (or one JSON object)", DefineInfo};
}

}  // namespace gauge::cli
