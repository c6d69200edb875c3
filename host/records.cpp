#include "records.h"

#include <algorithm>
#include <cstring>

namespace gauge {
namespace {

#define FIELD_LAYOUT(name, offset, size) {#name, offset, size},
const std::vector<FieldLayout> kLinkage = {LAYOUT_MODULE_LINKAGE(FIELD_LAYOUT)};
const std::vector<FieldLayout> kImport = {LAYOUT_SERVICE_IMPORT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kHeader = {LAYOUT_GAUGE_HEADER(FIELD_LAYOUT)};
const std::vector<FieldLayout> kMouseArea = {LAYOUT_MOUSE_AREA(FIELD_LAYOUT)};
const std::vector<FieldLayout> kVariable = {LAYOUT_MODULE_VARIABLE(FIELD_LAYOUT)};
const std::vector<FieldLayout> kFailure = {LAYOUT_FAILURE_ENTRY(FIELD_LAYOUT)};
const std::vector<FieldLayout> kCalibration = {LAYOUT_NONLINEARITY_POINT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kElementHead = {LAYOUT_ELEMENT_HEADER(FIELD_LAYOUT)};
const std::vector<FieldLayout> kStaticImage = {LAYOUT_STATIC_IMAGE_ELEMENT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kNeedle = {LAYOUT_NEEDLE_ELEMENT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kString = {LAYOUT_STRING_ELEMENT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kSprite = {LAYOUT_SPRITE_ELEMENT(FIELD_LAYOUT)};
const std::vector<FieldLayout> kPointerFields = {{"", 0, 4}};
const std::vector<FieldLayout> kTextFields = {{"", 0, 1}};
const std::vector<FieldLayout> kPoint = {{"x", 0, 4}, {"y", 4, 4}};
const std::vector<FieldLayout> kSize = {{"width", 0, 4}, {"height", 4, 4}};
const std::vector<FieldLayout> kBox = {{"x", 0, 4}, {"y", 4, 4}, {"width", 8, 4}, {"height", 12, 4}};
#undef FIELD_LAYOUT

constexpr int kMaxElements = 256;
constexpr uint32_t kMaxListEntries = 1024;

// How a field of more than one word breaks down into named parts.
struct Shape {
  const std::vector<FieldLayout>* parts = nullptr;  // named sub-fields
  uint32_t unit = 0;                               // or array entries of this size
};

Shape ShapeOf(const FieldLayout& f) {
  const std::string n = f.name;
  if (n == "head") return {&kElementHead, 0};
  if (n == "variable") return {&kVariable, 0};
  if (n == "variables") return {&kVariable, RECORD_SIZE_MODULE_VARIABLE};
  if (n == "position" || n == "host_point" || n == "origin" || n == "needle_point" || n == "point")
    return {&kPoint, 0};
  if (n == "text_size") return {&kSize, 0};
  if (n == "box") return {&kBox, 0};
  if (n == "value" || n == "previous_value" || n == "factor" || n == "host_value") return {};
  if (n == "host_values") return {nullptr, 8};
  if (n == "font_face") return {nullptr, 1};
  if (f.size > 4) return {nullptr, 4};
  return {};
}

std::string Index(uint32_t i) {
  std::string text = "[";
  text += std::to_string(i);
  text += ']';
  return text;
}

std::string NameIn(const std::vector<FieldLayout>& fields, uint32_t offset) {
  for (const FieldLayout& f : fields) {
    if (offset < f.offset || offset >= f.offset + f.size) continue;
    const uint32_t inner = offset - f.offset;
    const Shape shape = ShapeOf(f);
    std::string name = f.name;
    if (shape.unit) {
      name += Index(inner / shape.unit);
      if (shape.parts) {
        const std::string part = NameIn(*shape.parts, inner % shape.unit);
        if (!part.empty()) name += "." + part;
      }
    } else if (shape.parts) {
      const std::string part = NameIn(*shape.parts, inner);
      if (shape.parts == &kElementHead) return part;  // head fields read as the element's own
      if (!part.empty()) name += "." + part;
    }
    return name;
  }
  return "";
}

}  // namespace

uint32_t RecordSize(RecordType type) {
  switch (type) {
    case RecordType::kModuleLinkage: return RECORD_SIZE_MODULE_LINKAGE;
    case RecordType::kServiceImport: return RECORD_SIZE_SERVICE_IMPORT;
    case RecordType::kGaugeHeader: return RECORD_SIZE_GAUGE_HEADER;
    case RecordType::kMouseArea: return RECORD_SIZE_MOUSE_AREA;
    case RecordType::kModuleVariable: return RECORD_SIZE_MODULE_VARIABLE;
    case RecordType::kFailureEntry: return RECORD_SIZE_FAILURE_ENTRY;
    case RecordType::kNonlinearityPoint: return RECORD_SIZE_NONLINEARITY_POINT;
    case RecordType::kStaticImageElement: return RECORD_SIZE_STATIC_IMAGE_ELEMENT;
    case RecordType::kNeedleElement: return RECORD_SIZE_NEEDLE_ELEMENT;
    case RecordType::kStringElement: return RECORD_SIZE_STRING_ELEMENT;
    case RecordType::kSpriteElement: return RECORD_SIZE_SPRITE_ELEMENT;
    case RecordType::kPointer: return 4;
    case RecordType::kText: return 1;
  }
  return 4;
}

const std::vector<FieldLayout>& RecordFields(RecordType type) {
  switch (type) {
    case RecordType::kModuleLinkage: return kLinkage;
    case RecordType::kServiceImport: return kImport;
    case RecordType::kGaugeHeader: return kHeader;
    case RecordType::kMouseArea: return kMouseArea;
    case RecordType::kModuleVariable: return kVariable;
    case RecordType::kFailureEntry: return kFailure;
    case RecordType::kNonlinearityPoint: return kCalibration;
    case RecordType::kStaticImageElement: return kStaticImage;
    case RecordType::kNeedleElement: return kNeedle;
    case RecordType::kStringElement: return kString;
    case RecordType::kSpriteElement: return kSprite;
    case RecordType::kPointer: return kPointerFields;
    case RecordType::kText: return kTextFields;
  }
  return kPointerFields;
}

std::optional<RecordType> ElementRecordType(ElementKind kind) {
  switch (kind) {
    case ElementKind::kStaticImage: return RecordType::kStaticImageElement;
    case ElementKind::kNeedle: return RecordType::kNeedleElement;
    case ElementKind::kString: return RecordType::kStringElement;
    case ElementKind::kSprite: return RecordType::kSpriteElement;
  }
  return std::nullopt;
}

const char* ElementKindName(ElementKind kind) {
  switch (kind) {
    case ElementKind::kStaticImage: return "static image";
    case ElementKind::kNeedle: return "needle";
    case ElementKind::kString: return "string";
    case ElementKind::kSprite: return "sprite";
  }
  return "unknown";
}

const char* AreaTypeName(AreaType type) {
  switch (type) {
    case AreaType::kEndOfList: return "end of list";
    case AreaType::kParent: return "parent";
    case AreaType::kChild: return "child";
    case AreaType::kEndOfParent: return "end of parent";
  }
  return "unknown";
}

const ElementCommon& Common(const ElementSnapshot& element) {
  return std::visit([](const auto& e) -> const ElementCommon& { return e; }, element);
}

ElementKind KindOf(const ElementSnapshot& element) {
  constexpr ElementKind kinds[] = {ElementKind::kStaticImage, ElementKind::kNeedle, ElementKind::kString,
                                   ElementKind::kSprite};
  return kinds[element.index()];
}

std::vector<double> Results(const ElementSnapshot& element) {
  if (const auto* s = std::get_if<StringState>(&element)) return s->results;
  std::optional<double> result;
  if (const auto* n = std::get_if<NeedleState>(&element)) result = n->result;
  if (const auto* s = std::get_if<SpriteState>(&element)) result = s->result;
  return result ? std::vector<double>{*result} : std::vector<double>{};
}

std::vector<int32_t> VariableIds(const ElementSnapshot& element) {
  if (const auto* n = std::get_if<NeedleState>(&element)) return {n->variable_id};
  if (const auto* s = std::get_if<StringState>(&element)) return {s->variable_ids.begin(), s->variable_ids.end()};
  if (const auto* s = std::get_if<SpriteState>(&element)) return {s->variable_ids.begin(), s->variable_ids.end()};
  return {};
}

bool MouseAreaInfo::Contains(int32_t px, int32_t py) const {
  return px >= x && py >= y && int64_t(px) < int64_t(x) + width && int64_t(py) < int64_t(y) + height;
}

std::string FieldName(RecordType type, uint32_t offset) { return NameIn(RecordFields(type), offset); }

uint32_t Record::size() const { return RecordSize(type) * count; }

void RecordMap::Add(uint32_t address, RecordType type, uint32_t count, std::string name) {
  if (by_address_.count(address)) return;  // shared lists keep their first name
  by_address_[address] = records_.size();
  records_.push_back({address, type, count, std::move(name)});
}

uint32_t RecordMap::Pointer(const Emulator& emulator, uint32_t at, const std::string& what) const {
  const uint32_t p = emulator.ReadWord(at);
  if (p && (p < module_begin_ || p >= module_end_)) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", p);
    throw HostError(ErrorKind::kBadRecord, "inconsistent records: " + what + " points outside the module (" +
                                          text + ")");
  }
  return p;
}

void RecordMap::Discover(const Emulator& emulator, uint32_t linkage, uint32_t import_table,
                         uint32_t module_begin, uint32_t module_end) {
  module_begin_ = module_begin;
  module_end_ = module_end;
  Add(linkage, RecordType::kModuleLinkage, 1, "Linkage");
  Add(import_table, RecordType::kServiceImport, 1, "ImportTable");
  gauge_header_ = Pointer(emulator, linkage + layout::Linkage::gauges, "Linkage.gauges[0]");
  if (!gauge_header_) throw HostError(ErrorKind::kBadRecord, "inconsistent records: Linkage lists no gauge");
  Add(gauge_header_, RecordType::kGaugeHeader, 1, "gauge header");
  if (const uint32_t name = Pointer(emulator, gauge_header_ + layout::GaugeHeader::name, "gauge header.name"))
    Add(name, RecordType::kText, uint32_t(emulator.ReadString(name, 256).size() + 1), "gauge name");
  const uint32_t top_ref = Pointer(emulator, gauge_header_ + layout::GaugeHeader::top_element_ref,
                                 "gauge header.top_element_ref");
  if (!top_ref) throw HostError(ErrorKind::kBadRecord, "inconsistent records: no top element");
  Add(top_ref, RecordType::kPointer, 1, "top_element");
  const uint32_t top = Pointer(emulator, top_ref, "top_element");
  if (!top) throw HostError(ErrorKind::kBadRecord, "inconsistent records: top_element is null");
  WalkElement(emulator, top, -1);
}

void RecordMap::WalkElement(const Emulator& emulator, uint32_t address, int parent) {
  for (const ElementInfo& e : elements_)
    if (e.address == address) throw HostError(ErrorKind::kBadRecord, "inconsistent records: element tree has a cycle");
  if (int(elements_.size()) >= kMaxElements)
    throw HostError(ErrorKind::kBadRecord, "inconsistent records: too many elements");
  ElementInfo info;
  info.index = int(elements_.size());
  info.address = address;
  info.parent = parent;
  info.kind = ElementKind(emulator.ReadWord(address + layout::ElementHead::kind));
  info.role = info.index == 0 ? "top element"
                              : "element[" + std::to_string(info.index) + "] (" +
                                    ElementKindName(info.kind) + ")";
  const auto type = ElementRecordType(info.kind);
  if (!type)
    throw HostError(ErrorKind::kBadRecord, "inconsistent records: " + info.role + " has unknown kind " +
                                          std::to_string(int32_t(info.kind)));
  if (address + RecordSize(*type) > module_end_)
    throw HostError(ErrorKind::kBadRecord, "inconsistent records: " + info.role + " runs past the module");
  elements_.push_back(info);
  Add(address, *type, 1, info.role);

  if (const uint32_t failures = Pointer(emulator, address + layout::ElementHead::failures, info.role + ".failures")) {
    uint32_t n = 0;
    while (n < kMaxListEntries && emulator.ReadWord(failures + n * layout::FailureEntry::kSize + layout::FailureEntry::key)) ++n;
    Add(failures, RecordType::kFailureEntry, n + 1, "failures of " + info.role);
  }
  if (info.kind == ElementKind::kNeedle) {
    const uint32_t table = Pointer(emulator, address + layout::Needle::calibration, info.role + ".calibration");
    const uint32_t count = emulator.ReadWord(address + layout::Needle::calibration_count);
    if (table && count) {
      if (count > kMaxListEntries)
        throw HostError(ErrorKind::kBadRecord, "inconsistent records: " + info.role + " calibration count");
      Add(table, RecordType::kNonlinearityPoint, count, "calibration of " + info.role);
    }
  }
  if (const uint32_t children = Pointer(emulator, address + layout::ElementHead::children, info.role + ".children")) {
    std::vector<uint32_t> list;
    for (uint32_t i = 0;; ++i) {
      if (i >= kMaxListEntries) throw HostError(ErrorKind::kBadRecord, "inconsistent records: unterminated children");
      const uint32_t child = Pointer(emulator, children + layout::kWord * i, info.role + ".children");
      if (!child) break;
      list.push_back(child);
    }
    Add(children, RecordType::kPointer, uint32_t(list.size() + 1), "children of " + info.role);
    for (uint32_t child : list) WalkElement(emulator, child, info.index);
  }
}

uint32_t RecordMap::AddMouseAreas(const Emulator& emulator, uint32_t address) {
  if (address < module_begin_ || address >= module_end_) return 0;
  mouse_areas_ = address;
  const uint32_t entries = uint32_t(std::max<size_t>(MouseAreaList(emulator, address).size(), 1));
  Add(address, RecordType::kMouseArea, entries, "mouse areas");
  return entries;
}

std::vector<MouseAreaInfo> RecordMap::MouseAreaList(const Emulator& emulator, uint32_t address) const {
  using A = layout::MouseArea;
  std::vector<MouseAreaInfo> areas;
  for (uint32_t i = 0; address && i < kMaxListEntries; ++i) {
    const uint32_t a = address + i * A::kSize;
    if (a < module_begin_ || a > module_end_ || module_end_ - a < A::kSize) break;
    auto word = [&](uint32_t offset) { return emulator.ReadWord(a + offset); };
    MouseAreaInfo area;
    area.area_type = AreaType(word(A::area_type));
    area.x = int32_t(word(A::box + layout::Box::x));
    area.y = int32_t(word(A::box + layout::Box::y));
    area.width = int32_t(word(A::box + layout::Box::width));
    area.height = int32_t(word(A::box + layout::Box::height));
    area.cursor = int32_t(word(A::cursor));
    area.help_code = word(A::help_code);
    area.area_flags = word(A::area_flags);
    area.event_code = word(A::event_code);
    area.function = word(A::function);
    area.extra = word(A::extra);
    areas.push_back(area);
    if (area.area_type == AreaType::kEndOfList) break;
  }
  return areas;
}

namespace {

Point ReadPoint(const Emulator& e, uint32_t at) {
  return {int32_t(e.ReadWord(at + layout::Point::x)), int32_t(e.ReadWord(at + layout::Point::y))};
}

std::array<int32_t, 3> ReadVariableIds(const Emulator& e, uint32_t variables) {
  std::array<int32_t, 3> ids{};
  for (uint32_t i = 0; i < ids.size(); ++i)
    ids[i] = int32_t(e.ReadWord(variables + i * layout::Variable::kSize + layout::Variable::id));
  return ids;
}

void ReadCommon(const Emulator& e, const ElementInfo& info, ElementCommon& s) {
  using H = layout::ElementHead;
  const uint32_t a = info.address;
  s.index = info.index;
  s.parent = info.parent;
  s.role = info.role;
  s.address = a;
  s.bitmap_id = int32_t(e.ReadWord(a + H::bitmap_id));
  s.position = ReadPoint(e, a + H::position);
  s.origin = ReadPoint(e, a + H::origin);
  s.image_flags = e.ReadWord(a + H::image_flags);
  if (const uint32_t failures = e.ReadWord(a + H::failures)) {
    using F = layout::FailureEntry;
    for (uint32_t i = 0; i < kMaxListEntries; ++i) {
      const uint32_t f = failures + i * F::kSize;
      const int32_t key = int32_t(e.ReadWord(f + F::key));
      if (!key) break;
      s.failures.push_back({key, int32_t(e.ReadWord(f + F::action))});
    }
  }
}

// The fields of each kind's own, after the head.
void ReadOwn(const Emulator&, uint32_t, StaticImageState&) {}

void ReadOwn(const Emulator& e, uint32_t a, NeedleState& s) {
  using N = layout::Needle;
  using C = layout::CalibrationPoint;
  s.variable_id = int32_t(e.ReadWord(a + N::variable + layout::Variable::id));
  s.needle_point = ReadPoint(e, a + N::needle_point);
  s.step_limit = int32_t(e.ReadWord(a + N::step_limit));
  const uint32_t table = e.ReadWord(a + N::calibration);
  const uint32_t count = table ? e.ReadWord(a + N::calibration_count) : 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t p = table + i * C::kSize;
    s.calibration.push_back({ReadPoint(e, p + C::point), e.ReadDouble(p + C::value)});
  }
}

void ReadOwn(const Emulator& e, uint32_t a, StringState& s) {
  using S = layout::String;
  s.variable_ids = ReadVariableIds(e, a + S::variables);
  s.text_size = ReadPoint(e, a + S::text_size);
  s.text_colour = e.ReadWord(a + S::text_colour);
  s.font_face = e.ReadString(a + S::font_face, S::font_face_bytes);
  s.font_weight = e.ReadWord(a + S::font_weight);
  s.font_charset = e.ReadWord(a + S::font_charset);
  s.text_format = e.ReadWord(a + S::text_format);
  s.char_count = e.ReadWord(a + S::char_count);
}

void ReadOwn(const Emulator& e, uint32_t a, SpriteState& s) {
  using S = layout::Sprite;
  s.variable_ids = ReadVariableIds(e, a + S::variables);
  s.factor = e.ReadDouble(a + S::factor);
  e.Read(a + S::factor_pair, s.factor_pair.data(), S::factor_pair_bytes);
}

template <typename State>
ElementSnapshot Read(const Emulator& e, const ElementInfo& info) {
  State s;
  ReadCommon(e, info, s);
  ReadOwn(e, info.address, s);
  return s;
}

}  // namespace

// The module may have changed the table or its count since discovery:
// bounded the same way.
void RecordMap::CheckCalibration(const Emulator& e, const ElementInfo& info) const {
  using N = layout::Needle;
  const uint32_t table = e.ReadWord(info.address + N::calibration);
  const uint32_t count = table ? e.ReadWord(info.address + N::calibration_count) : 0;
  if (!count) return;
  const uint64_t end = uint64_t(table) + uint64_t(count) * layout::CalibrationPoint::kSize;
  if (count > kMaxListEntries || table < module_begin_ || end > module_end_) {
    char at[16];
    std::snprintf(at, sizeof at, "0x%08x", table);
    throw HostError(ErrorKind::kBadRecord, "inconsistent records: " + info.role + " calibration of " +
                                          std::to_string(count) + " points at " + at + " is not a table of the module");
  }
}

ElementSnapshot RecordMap::ReadElement(const Emulator& e, const ElementInfo& info) const {
  switch (info.kind) {
    case ElementKind::kNeedle: CheckCalibration(e, info); return Read<NeedleState>(e, info);
    case ElementKind::kString: return Read<StringState>(e, info);
    case ElementKind::kSprite: return Read<SpriteState>(e, info);
    case ElementKind::kStaticImage: break;
  }
  return Read<StaticImageState>(e, info);
}

void RecordMap::AddBoundVariable(uint32_t address) {
  if (address < module_begin_ || address >= module_end_) return;
  for (uint32_t v : bound_variables_)
    if (v == address) return;
  bound_variables_.push_back(address);
  Add(address, RecordType::kModuleVariable, 1,
      bound_variables_.size() == 1 ? "units variable"
                                   : "units variable[" + std::to_string(bound_variables_.size() - 1) + "]");
}

std::optional<NamedAddress> RecordMap::Name(uint32_t address) const {
  auto it = by_address_.upper_bound(address);
  if (it == by_address_.begin()) return std::nullopt;
  --it;
  const Record& r = records_[it->second];
  const uint32_t offset = address - r.address;
  if (offset >= r.size()) return std::nullopt;
  const uint32_t entry = RecordSize(r.type);
  NamedAddress named;
  const bool list = r.count > 1 || r.type == RecordType::kMouseArea || r.type == RecordType::kFailureEntry ||
                    r.type == RecordType::kNonlinearityPoint;
  named.record = r.name;
  if (r.type == RecordType::kText) {
    named.field = Index(offset);
  } else {
    if (list) named.record += Index(offset / entry);
    named.field = FieldName(r.type, offset % entry);
  }
  return named;
}

}  // namespace gauge
