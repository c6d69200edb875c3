// HostileFixture: a module that misbehaves on request, for the host's
// failure handling. Its needle's value selects what goes wrong; its mouse
// areas hold functions that break the calling convention. Built a second
// time as FixtureStrayImport, which also imports a function the host does
// not provide.
#include <windows.h>

#include "gauge_frame.h"
#include "host_services.h"

namespace {

volatile uint32_t spin_count;
volatile uintptr_t unmapped_address = 16;  // the first page is never mapped

}  // namespace

// 1: never returns; 2: calls service slot 5; 3: reads unmapped memory;
// 4: executes an invalid instruction; 6: leaves the x87 control word at
// 0x0F7F; 7: leaves an x87 register in use with TOP back where it was;
// anything else: returns the value.
double __stdcall HostileNeedleValue(ModuleVariable* variable) {
  static const uint16_t kExtendedTowardZero = 0x0F7F;
  const double v = variable->value;
  if (v == 6) asm volatile("fldcw %0" : : "m"(kExtendedTowardZero));
  if (v == 7) asm volatile("fld1\n\tfincstp");
  if (v == 1) {
    for (;;) spin_count = spin_count + 1;
  }
  if (v == 2) CallService<static_cast<Service>(5)>();
  if (v == 3) return *reinterpret_cast<volatile double*>(unmapped_address);
  if (v == 4) __builtin_trap();
#ifdef FIXTURE_STRAY_IMPORT
  if (v == 5) Beep(440, 10);
#endif
  return v;
}

// Returns without removing its two argument words.
extern "C" __attribute__((naked)) uint32_t __stdcall HostileKeepsArguments(uint32_t, uint32_t) {
  asm("movl $1, %eax\n\tret");
}

// Leaves a value on the x87 stack.
extern "C" __attribute__((naked)) uint32_t __stdcall HostileLeavesX87(uint32_t, uint32_t) {
  asm("fld1\n\tmovl $1, %eax\n\tret $8");
}

extern "C" {

char gauge_name[] = "Hostile Fixture";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 16);

extern NeedleElement HostileNeedle;
ElementHeader* HostileFaceChildren[] = {&HostileNeedle.head, nullptr};

StaticImageElement HostileFace = {
    .head = ElementHead(kStaticImageKind, 1, {0, 0}, {0, 0}, HostileFaceChildren, nullptr, 0x1),
    .host_image = {},
};

NeedleElement HostileNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 2, {8, 8}, {1, 1}, nullptr, nullptr, 0x3),
    1, HostileNeedleValue, {7, 1}, 0);

StaticImageElement* top_element = &HostileFace;

MouseArea HostileMouseAreas[] = {
    PlainMouseArea(kAreaParent),
    ChildMouseArea({0, 0, 8, 8}, 1, 0, HostileKeepsArguments),
    ChildMouseArea({8, 0, 8, 8}, 1, 0, HostileLeavesX87),
    PlainMouseArea(kAreaEndOfParent),
    PlainMouseArea(kAreaEndOfList),
};
MouseArea* const gauge_mouse_areas = HostileMouseAreas;

}  // extern "C"

void BindGaugeVariables() {}
