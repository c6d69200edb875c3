// Byte layout of every record the host and a module exchange, as one list per
// record type: F(field, offset, size). The module build checks its structs
// against these lists; the stand-in host (a 64-bit program, where pointers
// are wider) reads and names the records through them.
#pragma once

#define LAYOUT_MODULE_LINKAGE(F) \
  F(linkage_id, 0, 4)            \
  F(on_load, 4, 4)               \
  F(on_unload, 8, 4)             \
  F(reserved, 12, 12)            \
  F(gauges, 24, 8)

#define LAYOUT_SERVICE_IMPORT(F) \
  F(import_id, 0, 4)             \
  F(services, 4, 4)              \
  F(reserved, 8, 8)

#define LAYOUT_GAUGE_HEADER(F) \
  F(version, 0x00, 4)          \
  F(name, 0x04, 4)             \
  F(top_element_ref, 0x08, 4)  \
  F(query, 0x0C, 4)            \
  F(install, 0x10, 4)          \
  F(initialize, 0x14, 4)       \
  F(update, 0x18, 4)           \
  F(generate, 0x1C, 4)         \
  F(draw, 0x20, 4)             \
  F(kill, 0x24, 4)             \
  F(reserved, 0x28, 4)         \
  F(default_size, 0x2C, 4)     \
  F(reserved_tail, 0x30, 40)

#define LAYOUT_MOUSE_AREA(F) \
  F(area_type, 0, 4)         \
  F(box, 4, 16)              \
  F(cursor, 20, 4)           \
  F(help_code, 24, 4)        \
  F(area_flags, 28, 4)       \
  F(event_code, 32, 4)       \
  F(function, 36, 4)         \
  F(extra, 40, 4)

#define LAYOUT_MODULE_VARIABLE(F) \
  F(id, 0, 4)                     \
  F(host_pointer, 4, 4)           \
  F(value_type, 8, 4)             \
  F(value, 12, 8)                 \
  F(previous_value, 20, 8)

#define LAYOUT_FAILURE_ENTRY(F) \
  F(key, 0, 4)                  \
  F(action, 4, 4)               \
  F(reserved, 8, 4)

#define LAYOUT_NONLINEARITY_POINT(F) \
  F(point, 0, 8)                     \
  F(value, 8, 8)                     \
  F(host_value, 16, 8)

#define LAYOUT_ELEMENT_HEADER(F) \
  F(kind, 0, 4)                  \
  F(bitmap_id, 4, 4)             \
  F(position, 8, 8)              \
  F(host_point, 16, 8)           \
  F(origin, 24, 8)               \
  F(gauge, 32, 4)                \
  F(previous, 36, 4)             \
  F(children, 40, 4)             \
  F(failures, 44, 4)             \
  F(image_flags, 48, 4)          \
  F(reserved, 52, 8)

// Element records: the 60-byte head is their field `head`.
#define LAYOUT_STATIC_IMAGE_ELEMENT(F) \
  F(head, 0, 60)                       \
  F(host_image, 60, 20)

#define LAYOUT_NEEDLE_ELEMENT(F) \
  F(head, 0, 60)                 \
  F(variable, 60, 28)            \
  F(value_callback, 88, 4)       \
  F(needle_host_words, 92, 12)   \
  F(needle_point, 104, 8)        \
  F(calibration, 112, 4)         \
  F(calibration_count, 116, 4)   \
  F(step_limit, 120, 4)          \
  F(host_tail, 124, 100)

#define LAYOUT_STRING_ELEMENT(F) \
  F(head, 0x00, 60)              \
  F(variables, 0x3C, 84)         \
  F(host_values, 0x90, 24)       \
  F(value_callbacks, 0xA8, 12)   \
  F(real_function, 0xB4, 4)      \
  F(text, 0xB8, 4)               \
  F(reserved, 0xBC, 4)           \
  F(text_size, 0xC0, 8)          \
  F(reserved_box, 0xC8, 8)       \
  F(text_colour, 0xD0, 4)        \
  F(reserved_colours, 0xD4, 36)  \
  F(font_face, 0xF8, 32)         \
  F(font_weight, 0x118, 4)       \
  F(font_charset, 0x11C, 4)      \
  F(text_format, 0x120, 4)       \
  F(char_count, 0x124, 4)        \
  F(host_tail, 0x128, 16)

#define LAYOUT_SPRITE_ELEMENT(F) \
  F(head, 0x00, 60)              \
  F(variables, 0x3C, 84)         \
  F(host_values, 0x90, 24)       \
  F(value_callback, 0xA8, 4)     \
  F(factor, 0xAC, 8)             \
  F(factor_pair, 0xB4, 8)        \
  F(host_tail, 0xBC, 132)

// Record sizes.
#define RECORD_SIZE_MODULE_LINKAGE 32
#define RECORD_SIZE_SERVICE_IMPORT 16
#define RECORD_SIZE_GAUGE_HEADER 88
#define RECORD_SIZE_MOUSE_AREA 44
#define RECORD_SIZE_MODULE_VARIABLE 28
#define RECORD_SIZE_FAILURE_ENTRY 12
#define RECORD_SIZE_NONLINEARITY_POINT 24
#define RECORD_SIZE_ELEMENT_HEADER 60
#define RECORD_SIZE_STATIC_IMAGE_ELEMENT 80
#define RECORD_SIZE_NEEDLE_ELEMENT 224
#define RECORD_SIZE_STRING_ELEMENT 312
#define RECORD_SIZE_SPRITE_ELEMENT 320

// Element kinds.
#define ELEMENT_KIND_STATIC_IMAGE 0
#define ELEMENT_KIND_NEEDLE 1
#define ELEMENT_KIND_STRING 2
#define ELEMENT_KIND_SPRITE 6

// Mouse-area types.
#define MOUSE_AREA_END_OF_LIST 0
#define MOUSE_AREA_PARENT 1
#define MOUSE_AREA_CHILD 2
#define MOUSE_AREA_END_OF_PARENT 3

// Host service slots the modules call: F(name, slot, argument words).
#define HOST_SERVICE_SLOTS(F)      \
  F(QueryElements, 24, 1)          \
  F(InstallElements, 25, 2)        \
  F(InitializeElements, 26, 1)     \
  F(UpdateElements, 27, 1)         \
  F(GenerateElements, 28, 2)       \
  F(DrawElements, 29, 1)           \
  F(KillElements, 31, 1)           \
  F(InstallMouseAreas, 32, 3)      \
  F(RegisterMouseAreas, 33, 2)     \
  F(UnregisterMouseAreas, 34, 2)   \
  F(SendEvent, 36, 2)              \
  F(BindVariable, 38, 1)           \
  F(ReadVariable, 40, 1)

#define MODULE_LINKAGE_ID 0x13
#define SERVICE_IMPORT_ID 0x0F
#define GAUGE_HEADER_VERSION 610
