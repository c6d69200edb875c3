#include "records.h"

#include <set>

#include "record_layout.h"

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

std::optional<RecordType> ElementRecordType(int32_t kind) {
  switch (kind) {
    case ELEMENT_KIND_STATIC_IMAGE: return RecordType::kStaticImageElement;
    case ELEMENT_KIND_NEEDLE: return RecordType::kNeedleElement;
    case ELEMENT_KIND_STRING: return RecordType::kStringElement;
    case ELEMENT_KIND_SPRITE: return RecordType::kSpriteElement;
  }
  return std::nullopt;
}

const char* ElementKindName(int32_t kind) {
  switch (kind) {
    case ELEMENT_KIND_STATIC_IMAGE: return "static image";
    case ELEMENT_KIND_NEEDLE: return "needle";
    case ELEMENT_KIND_STRING: return "string";
    case ELEMENT_KIND_SPRITE: return "sprite";
  }
  return "unknown";
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
    throw HostError(ErrorKind::kLoad, "inconsistent records: " + what + " points outside the module (" +
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
  gauge_header_ = Pointer(emulator, linkage + 24, "Linkage.gauges[0]");
  if (!gauge_header_) throw HostError(ErrorKind::kLoad, "inconsistent records: Linkage lists no gauge");
  Add(gauge_header_, RecordType::kGaugeHeader, 1, "gauge header");
  if (const uint32_t name = Pointer(emulator, gauge_header_ + 4, "gauge header.name"))
    Add(name, RecordType::kText, uint32_t(emulator.ReadString(name, 256).size() + 1), "gauge name");
  const uint32_t top_ref = Pointer(emulator, gauge_header_ + 8, "gauge header.top_element_ref");
  if (!top_ref) throw HostError(ErrorKind::kLoad, "inconsistent records: no top element");
  Add(top_ref, RecordType::kPointer, 1, "top_element");
  const uint32_t top = Pointer(emulator, top_ref, "top_element");
  if (!top) throw HostError(ErrorKind::kLoad, "inconsistent records: top_element is null");
  WalkElement(emulator, top, -1);
}

void RecordMap::WalkElement(const Emulator& emulator, uint32_t address, int parent) {
  for (const ElementInfo& e : elements_)
    if (e.address == address) throw HostError(ErrorKind::kLoad, "inconsistent records: element tree has a cycle");
  if (int(elements_.size()) >= kMaxElements)
    throw HostError(ErrorKind::kLoad, "inconsistent records: too many elements");
  ElementInfo info;
  info.index = int(elements_.size());
  info.address = address;
  info.parent = parent;
  info.kind = int32_t(emulator.ReadWord(address));
  info.role = info.index == 0 ? "top element"
                              : "element[" + std::to_string(info.index) + "] (" +
                                    ElementKindName(info.kind) + ")";
  const auto type = ElementRecordType(info.kind);
  if (!type)
    throw HostError(ErrorKind::kLoad, "inconsistent records: " + info.role + " has unknown kind " +
                                          std::to_string(info.kind));
  if (address + RecordSize(*type) > module_end_)
    throw HostError(ErrorKind::kLoad, "inconsistent records: " + info.role + " runs past the module");
  elements_.push_back(info);
  Add(address, *type, 1, info.role);

  if (const uint32_t failures = Pointer(emulator, address + 44, info.role + ".failures")) {
    uint32_t n = 0;
    while (n < kMaxListEntries && emulator.ReadWord(failures + n * RECORD_SIZE_FAILURE_ENTRY)) ++n;
    Add(failures, RecordType::kFailureEntry, n + 1, "failures of " + info.role);
  }
  if (info.kind == ELEMENT_KIND_NEEDLE) {
    const uint32_t table = Pointer(emulator, address + 112, info.role + ".calibration");
    const uint32_t count = emulator.ReadWord(address + 116);
    if (table && count) {
      if (count > kMaxListEntries)
        throw HostError(ErrorKind::kLoad, "inconsistent records: " + info.role + " calibration count");
      Add(table, RecordType::kNonlinearityPoint, count, "calibration of " + info.role);
    }
  }
  if (const uint32_t children = Pointer(emulator, address + 40, info.role + ".children")) {
    std::vector<uint32_t> list;
    for (uint32_t i = 0;; ++i) {
      if (i >= kMaxListEntries) throw HostError(ErrorKind::kLoad, "inconsistent records: unterminated children");
      const uint32_t child = Pointer(emulator, children + 4 * i, info.role + ".children");
      if (!child) break;
      list.push_back(child);
    }
    Add(children, RecordType::kPointer, uint32_t(list.size() + 1), "children of " + info.role);
    for (uint32_t child : list) WalkElement(emulator, child, info.index);
  }
}

uint32_t RecordMap::AddMouseAreas(const Emulator& emulator, uint32_t address) {
  if (address < module_begin_ || address >= module_end_) return 0;
  uint32_t n = 0;
  while (n < kMaxListEntries && address + (n + 1) * RECORD_SIZE_MOUSE_AREA <= module_end_ &&
         emulator.ReadWord(address + n * RECORD_SIZE_MOUSE_AREA) != MOUSE_AREA_END_OF_LIST)
    ++n;
  mouse_areas_ = address;
  Add(address, RecordType::kMouseArea, n + 1, "mouse areas");
  return n + 1;
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
