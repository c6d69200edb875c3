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
