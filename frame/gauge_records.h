// The records through which the host finds, drives and draws a gauge module.
// Every record is static, writable module data at a fixed address; the host
// writes into the fields marked host-owned. Layout is exact: 32-bit words,
// nothing aligned to more than 4 bytes (record_layout.h lists every offset).
#pragma once

#include <cstddef>
#include <cstdint>

#include "record_layout.h"

#pragma pack(push, 4)

struct GaugeHeader;
struct ModuleVariable;
struct HostServices;

using ValueCallback = double(__stdcall*)(ModuleVariable* variable);
using RealFunction = double(__stdcall*)(double value);
using MouseFunction = uint32_t(__stdcall*)(uint32_t first, uint32_t second);
using GaugeRoutine = void(__stdcall*)();
using GaugeRoutineWithValue = void(__stdcall*)(uint32_t host_value);
using ModuleRoutine = void(__stdcall*)();

struct PixelPoint {
  int32_t x;
  int32_t y;
};

struct PixelBox {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

struct ServiceImport {
  uint32_t import_id;
  HostServices* services;  // stored by the host
  uint32_t reserved[2];
};

struct ModuleLinkage {
  uint32_t linkage_id;
  ModuleRoutine on_load;
  ModuleRoutine on_unload;
  uint32_t reserved[3];
  GaugeHeader* gauges[2];  // one header, then null
};

struct StaticImageElement;

struct GaugeHeader {
  uint32_t version;
  char* name;
  StaticImageElement** top_element_ref;
  GaugeRoutine query;
  GaugeRoutineWithValue install;
  GaugeRoutine initialize;
  GaugeRoutine update;
  GaugeRoutineWithValue generate;
  GaugeRoutine draw;
  GaugeRoutine kill;
  uint32_t reserved;
  uint32_t default_size;
  uint32_t reserved_tail[10];
};

struct MouseArea {
  int32_t area_type;
  PixelBox box;
  int32_t cursor;
  uint32_t help_code;
  uint32_t area_flags;
  uint32_t event_code;
  MouseFunction function;
  uint32_t extra;
};

struct ModuleVariable {
  int32_t id;
  void* host_pointer;  // host-owned
  int32_t value_type;  // host-owned
  double value;        // current value of host variable `id`
  double previous_value;  // host-owned
};

struct FailureEntry {
  int32_t key;  // 0 ends a list
  int32_t action;
  int32_t reserved;
};

struct NonlinearityPoint {
  PixelPoint point;  // face pixel at the outer end of the mark for `value`
  double value;
  double host_value;  // host-owned
};

struct ElementHeader {
  int32_t kind;
  int32_t bitmap_id;
  PixelPoint position;
  PixelPoint host_point;  // host-owned
  PixelPoint origin;
  GaugeHeader* gauge;
  ElementHeader* previous;  // host-owned
  ElementHeader** children;  // null-terminated array, or null
  FailureEntry* failures;    // list ended by an all-zero entry, or null
  uint32_t image_flags;
  uint32_t reserved[2];
};

struct StaticImageElement {
  ElementHeader head;
  uint32_t host_image[5];  // host-owned; word 0 is set by InstallElements
};

struct NeedleElement {
  ElementHeader head;
  ModuleVariable variable;
  ValueCallback value_callback;
  uint32_t needle_host_words[3];  // host-owned
  PixelPoint needle_point;
  NonlinearityPoint* calibration;
  int32_t calibration_count;
  int32_t step_limit;
  uint8_t host_tail[100];  // host-owned
};

struct TextSize {
  int32_t width;
  int32_t height;
};

struct StringElement {
  ElementHeader head;
  ModuleVariable variables[3];
  double host_values[3];  // host-owned
  ValueCallback value_callbacks[3];
  RealFunction real_function;
  char* text;  // the host's buffer of char_count + 1 bytes
  uint32_t reserved;
  TextSize text_size;
  uint32_t reserved_box[2];
  uint32_t text_colour;  // 0x00BBGGRR
  uint32_t reserved_colours[9];
  char font_face[32];
  uint32_t font_weight;
  uint32_t font_charset;
  uint32_t text_format;  // DrawText flags
  uint32_t char_count;
  uint32_t host_tail[4];
};

struct SpriteElement {
  ElementHeader head;
  ModuleVariable variables[3];
  double host_values[3];  // host-owned
  ValueCallback value_callback;
  double factor;
  float factor_pair[2];
  uint32_t host_tail[33];  // host-owned
};

#pragma pack(pop)

// Every record's size and each field's offset and size, checked against the
// layout lists.
#define CHECK_FIELD(type, name, offset, size)                              \
  static_assert(offsetof(type, name) == (offset), #type "." #name " offset"); \
  static_assert(sizeof(type::name) == (size), #type "." #name " size");
#define CHECK_RECORD(type, LIST, total)                \
  static_assert(sizeof(type) == (total), #type " size"); \
  LIST(CHECK_##type)

#define CHECK_ModuleLinkage(name, offset, size) CHECK_FIELD(ModuleLinkage, name, offset, size)
#define CHECK_ServiceImport(name, offset, size) CHECK_FIELD(ServiceImport, name, offset, size)
#define CHECK_GaugeHeader(name, offset, size) CHECK_FIELD(GaugeHeader, name, offset, size)
#define CHECK_MouseArea(name, offset, size) CHECK_FIELD(MouseArea, name, offset, size)
#define CHECK_ModuleVariable(name, offset, size) CHECK_FIELD(ModuleVariable, name, offset, size)
#define CHECK_FailureEntry(name, offset, size) CHECK_FIELD(FailureEntry, name, offset, size)
#define CHECK_NonlinearityPoint(name, offset, size) CHECK_FIELD(NonlinearityPoint, name, offset, size)
#define CHECK_ElementHeader(name, offset, size) CHECK_FIELD(ElementHeader, name, offset, size)
#define CHECK_StaticImageElement(name, offset, size) CHECK_FIELD(StaticImageElement, name, offset, size)
#define CHECK_NeedleElement(name, offset, size) CHECK_FIELD(NeedleElement, name, offset, size)
#define CHECK_StringElement(name, offset, size) CHECK_FIELD(StringElement, name, offset, size)
#define CHECK_SpriteElement(name, offset, size) CHECK_FIELD(SpriteElement, name, offset, size)

CHECK_RECORD(ModuleLinkage, LAYOUT_MODULE_LINKAGE, RECORD_SIZE_MODULE_LINKAGE)
CHECK_RECORD(ServiceImport, LAYOUT_SERVICE_IMPORT, RECORD_SIZE_SERVICE_IMPORT)
CHECK_RECORD(GaugeHeader, LAYOUT_GAUGE_HEADER, RECORD_SIZE_GAUGE_HEADER)
CHECK_RECORD(MouseArea, LAYOUT_MOUSE_AREA, RECORD_SIZE_MOUSE_AREA)
CHECK_RECORD(ModuleVariable, LAYOUT_MODULE_VARIABLE, RECORD_SIZE_MODULE_VARIABLE)
CHECK_RECORD(FailureEntry, LAYOUT_FAILURE_ENTRY, RECORD_SIZE_FAILURE_ENTRY)
CHECK_RECORD(NonlinearityPoint, LAYOUT_NONLINEARITY_POINT, RECORD_SIZE_NONLINEARITY_POINT)
CHECK_RECORD(ElementHeader, LAYOUT_ELEMENT_HEADER, RECORD_SIZE_ELEMENT_HEADER)
CHECK_RECORD(StaticImageElement, LAYOUT_STATIC_IMAGE_ELEMENT, RECORD_SIZE_STATIC_IMAGE_ELEMENT)
CHECK_RECORD(NeedleElement, LAYOUT_NEEDLE_ELEMENT, RECORD_SIZE_NEEDLE_ELEMENT)
CHECK_RECORD(StringElement, LAYOUT_STRING_ELEMENT, RECORD_SIZE_STRING_ELEMENT)
CHECK_RECORD(SpriteElement, LAYOUT_SPRITE_ELEMENT, RECORD_SIZE_SPRITE_ELEMENT)

static_assert(offsetof(ModuleVariable, value) == 12, "a double after three words sits at 12");
static_assert(sizeof(PixelPoint) == 8 && sizeof(PixelBox) == 16, "point and box");
static_assert(sizeof(void*) == 4, "modules are 32-bit");

// What each module supplies to the shared frame.
extern "C" {
extern GaugeHeader gauge_header;
extern StaticImageElement* top_element;
extern MouseArea* const gauge_mouse_areas;
}

// Element kinds, mouse-area types and the identifying words, as record values.
enum : int32_t {
  kStaticImageKind = ELEMENT_KIND_STATIC_IMAGE,
  kNeedleKind = ELEMENT_KIND_NEEDLE,
  kStringKind = ELEMENT_KIND_STRING,
  kSpriteKind = ELEMENT_KIND_SPRITE,
};
enum : int32_t {
  kAreaEndOfList = MOUSE_AREA_END_OF_LIST,
  kAreaParent = MOUSE_AREA_PARENT,
  kAreaChild = MOUSE_AREA_CHILD,
  kAreaEndOfParent = MOUSE_AREA_END_OF_PARENT,
};

// A parent, end-of-parent or end-of-list entry: no box, no function, cursor -1.
constexpr MouseArea PlainMouseArea(int32_t area_type, uint32_t help_code = 0) {
  return MouseArea{.area_type = area_type, .box = {}, .cursor = -1, .help_code = help_code,
                   .area_flags = 0, .event_code = 0, .function = nullptr, .extra = 0};
}
