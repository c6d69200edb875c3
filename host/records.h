// The module's records as the host finds them: starting at the exported
// Linkage and ImportTable, through the gauge header to the element tree, its
// children arrays, failure lists and calibration tables, and the records the
// module hands over later (the mouse-area list, bound variables). Each record
// gets a role name ("top element", "element[1] (needle)", "mouse areas"), and
// any address inside one can be named down to the field ("variable.value").
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "emulator.h"
#include "record_fields.h"

namespace gauge {

enum class RecordType {
  kModuleLinkage,
  kServiceImport,
  kGaugeHeader,
  kMouseArea,
  kModuleVariable,
  kFailureEntry,
  kNonlinearityPoint,
  kStaticImageElement,
  kNeedleElement,
  kStringElement,
  kSpriteElement,
  kPointer,  // a pointer variable or a null-terminated pointer array
  kText,     // a zero-terminated string
};

struct FieldLayout {
  const char* name;
  uint32_t offset;
  uint32_t size;
};

// Size and fields of one record (entry) of a type.
uint32_t RecordSize(RecordType type);
const std::vector<FieldLayout>& RecordFields(RecordType type);
// The record type of an element kind, or nullopt for an unknown kind.
std::optional<RecordType> ElementRecordType(ElementKind kind);
const char* ElementKindName(ElementKind kind);  // "static image", "needle", "string", "sprite"
const char* AreaTypeName(AreaType type);        // "parent", "child", "end of parent", "end of list"
// Field name at `offset` inside one entry: "variable.value", "position.x", "host_image[0]".
std::string FieldName(RecordType type, uint32_t offset);

struct Record {
  uint32_t address = 0;
  RecordType type = RecordType::kPointer;
  uint32_t count = 1;  // entries, for lists and arrays
  std::string name;
  uint32_t size() const;
};

struct ElementInfo {
  int index = 0;        // pre-order position in the tree, 0 = top element
  std::string role;     // "top element", "element[1] (needle)"
  uint32_t address = 0;
  ElementKind kind = ElementKind::kStaticImage;
  int parent = -1;
};

struct Point {
  int32_t x = 0, y = 0;
};

struct FailureInfo {
  int32_t key = 0, action = 0;
};

struct CalibrationEntry {
  Point point;
  double value = 0;
};

// What every element record holds, read from its head.
struct ElementCommon {
  int index = 0;
  int parent = -1;  // index of the parent element, -1 for the top element
  std::string role;
  uint32_t address = 0;
  int32_t bitmap_id = 0;
  Point position, origin;
  uint32_t image_flags = 0;
  std::vector<FailureInfo> failures;  // before the ending entry
};

struct StaticImageState : ElementCommon {};

struct NeedleState : ElementCommon {
  int32_t variable_id = 0;
  Point needle_point;
  int32_t step_limit = 0;
  std::vector<CalibrationEntry> calibration;
  std::optional<double> result;  // of the value callback, when it was called
};

struct StringState : ElementCommon {
  std::array<int32_t, 3> variable_ids{};
  std::string font_face;
  uint32_t font_weight = 0, font_charset = 0, text_colour = 0, text_format = 0, char_count = 0;
  Point text_size;  // x = width, y = height
  // Results of the non-null value callbacks called this update, in slot order.
  std::vector<double> results;
  std::optional<double> real_result;  // real_function(results[0]), when present
  std::string text;                   // read back from the host's buffer
};

struct SpriteState : ElementCommon {
  std::array<int32_t, 3> variable_ids{};
  double factor = 0;
  std::array<float, 2> factor_pair{};
  std::optional<double> result;  // of the value callback, when it was called
};

// One element of the chain as its record stands (and, after an update,
// with the results of its value callbacks).
using ElementSnapshot = std::variant<StaticImageState, NeedleState, StringState, SpriteState>;

const ElementCommon& Common(const ElementSnapshot& element);
ElementKind KindOf(const ElementSnapshot& element);
// Every value callback result of the element, in the order they were called.
std::vector<double> Results(const ElementSnapshot& element);
// The variable ids the element's records name (needle: one; string, sprite: three).
std::vector<int32_t> VariableIds(const ElementSnapshot& element);

// One entry of a mouse-area list.
struct MouseAreaInfo {
  AreaType area_type = AreaType::kEndOfList;
  int32_t x = 0, y = 0, width = 0, height = 0;
  int32_t cursor = 0;
  uint32_t help_code = 0, area_flags = 0, event_code = 0, function = 0, extra = 0;
  bool Contains(int32_t px, int32_t py) const;
};

struct NamedAddress {
  std::string record;  // "element[1] (needle)", "mouse areas[2]"
  std::string field;   // "variable.value"
};

class RecordMap {
 public:
  // Walks Linkage to the element tree. `module_begin`/`module_end` bound every
  // record; a pointer outside them is a load error.
  void Discover(const Emulator& emulator, uint32_t linkage, uint32_t import_table,
                uint32_t module_begin, uint32_t module_end);
  // Returns the entries it walked (the host charges the module for them).
  uint32_t AddMouseAreas(const Emulator& emulator, uint32_t address);
  void AddBoundVariable(uint32_t address);

  // An element's record as it stands now.
  ElementSnapshot ReadElement(const Emulator& emulator, const ElementInfo& info) const;
  // The mouse-area list at `address`, up to and including its end-of-list
  // entry; a list that runs out of the module (or past the host's limit of
  // entries) stops there. Empty for address 0.
  std::vector<MouseAreaInfo> MouseAreaList(const Emulator& emulator, uint32_t address) const;

  std::optional<NamedAddress> Name(uint32_t address) const;
  const std::vector<ElementInfo>& elements() const { return elements_; }
  const std::vector<Record>& records() const { return records_; }
  uint32_t gauge_header() const { return gauge_header_; }
  uint32_t top_element() const { return elements_.empty() ? 0 : elements_[0].address; }
  uint32_t mouse_areas() const { return mouse_areas_; }
  const std::vector<uint32_t>& bound_variables() const { return bound_variables_; }

 private:
  void Add(uint32_t address, RecordType type, uint32_t count, std::string name);
  void CheckCalibration(const Emulator& emulator, const ElementInfo& info) const;
  void WalkElement(const Emulator& emulator, uint32_t address, int parent);
  uint32_t Pointer(const Emulator& emulator, uint32_t at, const std::string& what) const;

  uint32_t module_begin_ = 0, module_end_ = 0;
  uint32_t gauge_header_ = 0;
  uint32_t mouse_areas_ = 0;
  std::vector<Record> records_;
  std::map<uint32_t, size_t> by_address_;  // start -> index into records_
  std::vector<ElementInfo> elements_;
  std::vector<uint32_t> bound_variables_;
};

}  // namespace gauge
