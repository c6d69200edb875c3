// The module's records as the host finds them: starting at the exported
// Linkage and ImportTable, through the gauge header to the element tree, its
// children arrays, failure lists and calibration tables, and the records the
// module hands over later (the mouse-area list, bound variables). Each record
// gets a role name ("top element", "element[1] (needle)", "mouse areas"), and
// any address inside one can be named down to the field ("variable.value").
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator.h"

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
std::optional<RecordType> ElementRecordType(int32_t kind);
const char* ElementKindName(int32_t kind);  // "static image", "needle", "string", "sprite"
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
  int32_t kind = 0;
  int parent = -1;
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

  std::optional<NamedAddress> Name(uint32_t address) const;
  const std::vector<ElementInfo>& elements() const { return elements_; }
  const std::vector<Record>& records() const { return records_; }
  uint32_t gauge_header() const { return gauge_header_; }
  uint32_t top_element() const { return elements_.empty() ? 0 : elements_[0].address; }
  uint32_t mouse_areas() const { return mouse_areas_; }
  const std::vector<uint32_t>& bound_variables() const { return bound_variables_; }

 private:
  void Add(uint32_t address, RecordType type, uint32_t count, std::string name);
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
