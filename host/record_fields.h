// The record layout as the host reads it: for every record of
// frame/record_layout.h a struct of constexpr field offsets (`name`) and
// field sizes (`name_bytes`) plus the record's `kSize`, all generated from the
// layout lists the module build checks its structs against, and the service
// slots as the `Service` enum. No other host file spells an offset.
#pragma once

#include <cstdint>

#include "record_layout.h"

namespace gauge {

namespace layout {

#define GAUGE_LAYOUT_FIELD(name, offset, size) \
  static constexpr uint32_t name = offset;     \
  static constexpr uint32_t name##_bytes = size;

#define GAUGE_LAYOUT_RECORD(Name, LIST, SIZE)         \
  struct Name {                                       \
    LIST(GAUGE_LAYOUT_FIELD)                          \
    static constexpr uint32_t kSize = SIZE;           \
  };
// Element records: their head's fields are theirs too.
#define GAUGE_LAYOUT_ELEMENT(Name, LIST, SIZE)        \
  struct Name : ElementHead {                         \
    LIST(GAUGE_LAYOUT_FIELD)                          \
    static constexpr uint32_t kSize = SIZE;           \
  };

GAUGE_LAYOUT_RECORD(Linkage, LAYOUT_MODULE_LINKAGE, RECORD_SIZE_MODULE_LINKAGE)
GAUGE_LAYOUT_RECORD(ServiceImport, LAYOUT_SERVICE_IMPORT, RECORD_SIZE_SERVICE_IMPORT)
GAUGE_LAYOUT_RECORD(GaugeHeader, LAYOUT_GAUGE_HEADER, RECORD_SIZE_GAUGE_HEADER)
GAUGE_LAYOUT_RECORD(MouseArea, LAYOUT_MOUSE_AREA, RECORD_SIZE_MOUSE_AREA)
GAUGE_LAYOUT_RECORD(Variable, LAYOUT_MODULE_VARIABLE, RECORD_SIZE_MODULE_VARIABLE)
GAUGE_LAYOUT_RECORD(FailureEntry, LAYOUT_FAILURE_ENTRY, RECORD_SIZE_FAILURE_ENTRY)
GAUGE_LAYOUT_RECORD(CalibrationPoint, LAYOUT_NONLINEARITY_POINT, RECORD_SIZE_NONLINEARITY_POINT)
GAUGE_LAYOUT_RECORD(ElementHead, LAYOUT_ELEMENT_HEADER, RECORD_SIZE_ELEMENT_HEADER)
GAUGE_LAYOUT_ELEMENT(StaticImage, LAYOUT_STATIC_IMAGE_ELEMENT, RECORD_SIZE_STATIC_IMAGE_ELEMENT)
GAUGE_LAYOUT_ELEMENT(Needle, LAYOUT_NEEDLE_ELEMENT, RECORD_SIZE_NEEDLE_ELEMENT)
GAUGE_LAYOUT_ELEMENT(String, LAYOUT_STRING_ELEMENT, RECORD_SIZE_STRING_ELEMENT)
GAUGE_LAYOUT_ELEMENT(Sprite, LAYOUT_SPRITE_ELEMENT, RECORD_SIZE_SPRITE_ELEMENT)

#undef GAUGE_LAYOUT_ELEMENT
#undef GAUGE_LAYOUT_RECORD
#undef GAUGE_LAYOUT_FIELD

// The two-word point and four-word box inside records (position, box).
struct Point {
  static constexpr uint32_t x = 0, y = 4, kSize = 8;
};
struct Box {
  static constexpr uint32_t x = 0, y = 4, width = 8, height = 12, kSize = 16;
};

constexpr uint32_t kWord = 4;  // a pointer or 32-bit field in module memory

}  // namespace layout

// Element kinds and mouse-area types, as the records hold them.
enum class ElementKind : int32_t {
  kStaticImage = ELEMENT_KIND_STATIC_IMAGE,
  kNeedle = ELEMENT_KIND_NEEDLE,
  kString = ELEMENT_KIND_STRING,
  kSprite = ELEMENT_KIND_SPRITE,
};
enum class AreaType : int32_t {
  kEndOfList = MOUSE_AREA_END_OF_LIST,
  kParent = MOUSE_AREA_PARENT,
  kChild = MOUSE_AREA_CHILD,
  kEndOfParent = MOUSE_AREA_END_OF_PARENT,
};

// The host service slots the modules call, numbered by slot.
enum class Service : uint32_t {
#define GAUGE_SERVICE_ENUM(name, slot, words) name = slot,
  HOST_SERVICE_SLOTS(GAUGE_SERVICE_ENUM)
#undef GAUGE_SERVICE_ENUM
};

struct ServiceSlot {
  Service service;
  const char* name;
  int words;  // argument words the stub pops
};

inline constexpr ServiceSlot kServiceSlots[] = {
#define GAUGE_SERVICE_SLOT(name, slot, words) {Service::name, #name, words},
    HOST_SERVICE_SLOTS(GAUGE_SERVICE_SLOT)
#undef GAUGE_SERVICE_SLOT
};

}  // namespace gauge
