// What a gauge module builds its records from: the shared lifecycle routines
// and small constructors for the records every gauge has.
#pragma once

#include "gauge_records.h"

void __stdcall GaugeQuery();
void __stdcall GaugeInstall(uint32_t host_value);
void __stdcall GaugeInitialize();
void __stdcall GaugeUpdate();
void __stdcall GaugeGenerate(uint32_t host_value);
void __stdcall GaugeDraw();
void __stdcall GaugeKill();

// Binds the gauge's own free-standing variables; called by GaugeInitialize
// right after InitializeElements. Each module defines it (most as empty).
void BindGaugeVariables();

// A gauge header naming the shared routines and the module's top element.
constexpr GaugeHeader FrameGaugeHeader(char* name, uint32_t default_size) {
  return GaugeHeader{
      .version = GAUGE_HEADER_VERSION,
      .name = name,
      .top_element_ref = &top_element,
      .query = GaugeQuery,
      .install = GaugeInstall,
      .initialize = GaugeInitialize,
      .update = GaugeUpdate,
      .generate = GaugeGenerate,
      .draw = GaugeDraw,
      .kill = GaugeKill,
      .reserved = 0,
      .default_size = default_size,
      .reserved_tail = {},
  };
}

// A failure-list entry; a list ends with kEndOfFailures.
constexpr FailureEntry Failure(int32_t key, int32_t action) {
  return FailureEntry{.key = key, .action = action, .reserved = 0};
}
constexpr FailureEntry kEndOfFailures = Failure(0, 0);

// A variable record naming host variable `id`; the host fills the rest.
constexpr ModuleVariable HostVariable(int32_t id) {
  return ModuleVariable{.id = id, .host_pointer = nullptr, .value_type = 0, .value = 0.0,
                        .previous_value = 0.0};
}

// The head of an element of this gauge; host-owned fields zero.
constexpr ElementHeader ElementHead(int32_t kind, int32_t bitmap_id, PixelPoint position,
                                    PixelPoint origin, ElementHeader** children,
                                    FailureEntry* failures, uint32_t image_flags) {
  return ElementHeader{.kind = kind, .bitmap_id = bitmap_id, .position = position,
                       .host_point = {}, .origin = origin, .gauge = &gauge_header,
                       .previous = nullptr, .children = children, .failures = failures,
                       .image_flags = image_flags, .reserved = {}};
}

// A needle: the element's variable, the function that turns it into the
// needle's result, and the calibration table when it has one.
constexpr NeedleElement NeedleRecord(ElementHeader head, int32_t variable_id, ValueCallback callback,
                                     PixelPoint needle_point, int32_t step_limit,
                                     NonlinearityPoint* calibration = nullptr,
                                     int32_t calibration_count = 0) {
  return NeedleElement{.head = head, .variable = HostVariable(variable_id),
                       .value_callback = callback, .needle_host_words = {},
                       .needle_point = needle_point, .calibration = calibration,
                       .calibration_count = calibration_count, .step_limit = step_limit,
                       .host_tail = {}};
}

// A clickable child area of a mouse-area list.
constexpr MouseArea ChildMouseArea(PixelBox box, int32_t cursor, uint32_t area_flags,
                                   MouseFunction function) {
  return MouseArea{.area_type = kAreaChild, .box = box, .cursor = cursor, .help_code = 0,
                   .area_flags = area_flags, .event_code = 0, .function = function, .extra = 0};
}

// The list of a gauge that answers no click: one empty parent area.
#define PLAIN_MOUSE_AREA_LIST(parent_help_code)                                       \
  {PlainMouseArea(kAreaParent, parent_help_code), PlainMouseArea(kAreaEndOfParent), \
   PlainMouseArea(kAreaEndOfList)}
