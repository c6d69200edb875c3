// GreedyFixture: a module that asks the host for too much, for the host's
// containment: work done through the C run-time stubs and services, output,
// pictures and text that grow beyond reason. Its needle's value (variable 1)
// selects what it does; see GreedyNeedleValue.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gauge_frame.h"
#include "host_services.h"

extern "C" StaticImageElement GreedyFace;
extern "C" StringElement GreedyText;

namespace {

constexpr int kLargeFaceBitmap = 3;  // 256 x 256
constexpr int kTallFaceBitmap = 4;   // 16 x 2048
constexpr int kFloodAreas = 1024;

// Sizes the compiler cannot see through, so every call really is made.
volatile uint32_t huge_size = 0xFFFFFFF0u;
volatile uint32_t chunk_size = 4096;
volatile uint32_t sink;
int calls;

char long_text[64 * 1024];
wchar_t wide_text[64 * 1024];
char scratch[4096];
MouseArea flood_areas[kFloodAreas];

char* LongText() {
  std::memset(long_text, 'x', sizeof long_text - 1);
  return long_text;
}

}  // namespace

// 1, 2: memset, memcpy over about 4 GB; 3: fwrite without end; 4, 5, 6:
// strlen, strchr, MultiByteToWideChar over a 64 KB string without end;
// 7: InstallMouseAreas over a 1024-entry list without end; 8: a C run-time
// message with a line break and non-ASCII bytes, then abort; 9: from the
// second call on, the face is 256 x 256 instead of 16 x 16; 10: the face is
// 16 x 2048 and the text box 16,000 pixels wide and tall; 11: ReadVariable
// without end. Anything else: returns the value.
double __stdcall GreedyNeedleValue(ModuleVariable* variable) {
  const double v = variable->value;
  if (v == 1) std::memset(scratch, 0, huge_size);
  if (v == 2) std::memcpy(scratch, scratch + 16, huge_size);
  if (v == 3)
    for (;;) sink = sink + std::fwrite(scratch, 1, chunk_size, stderr);
  if (v == 4)
    for (char* text = LongText();;) sink = sink + std::strlen(text);
  if (v == 5)
    for (char* text = LongText();;) sink = sink + (std::strchr(text, 'y') != nullptr);
  if (v == 6)
    for (char* text = LongText();;)
      sink = sink + MultiByteToWideChar(CP_ACP, 0, text, -1, wide_text, sizeof wide_text / sizeof *wide_text);
  if (v == 7) {
    for (MouseArea& area : flood_areas) area = ChildMouseArea({0, 0, 1, 1}, 1, 0, nullptr);
    for (;;) CallService<Service::InstallMouseAreas>(flood_areas, 0u, 0u);
  }
  if (v == 8) {
    std::fputs("Assertion failed!\nExpression: \xC3\xA9t\xC3\xA9\n", stderr);
    std::abort();
  }
  if (v == 9 && ++calls >= 2) GreedyFace.head.bitmap_id = kLargeFaceBitmap;
  if (v == 10) {
    GreedyFace.head.bitmap_id = kTallFaceBitmap;
    GreedyText.text_size = {.width = 16000, .height = 16000};
    GreedyText.text_format = 0x20;  // DT_SINGLELINE, from the top left: in view
  }
  if (v == 11)
    for (;;) CallService<Service::ReadVariable>(variable);
  return v;
}

double __stdcall GreedyTextValue(ModuleVariable*) {
  if (GreedyText.text) std::strcpy(GreedyText.text, "88");
  return 0;
}

extern "C" {

char gauge_name[] = "Greedy Fixture";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 16);

extern NeedleElement GreedyNeedle;
ElementHeader* GreedyFaceChildren[] = {&GreedyNeedle.head, &GreedyText.head, nullptr};

StaticImageElement GreedyFace = {
    .head = ElementHead(kStaticImageKind, 1, {0, 0}, {0, 0}, GreedyFaceChildren, nullptr, 0x1),
    .host_image = {},
};

NeedleElement GreedyNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 2, {8, 8}, {1, 1}, nullptr, nullptr, 0x3),
    1, GreedyNeedleValue, {7, 1}, 0);

StringElement GreedyText = {
    .head = ElementHead(kStringKind, -1, {0, 0}, {0, 0}, nullptr, nullptr, 0x4),
    .variables = {HostVariable(2), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callbacks = {GreedyTextValue, nullptr, nullptr},
    .real_function = nullptr,
    .text = nullptr,
    .reserved = 0,
    .text_size = {.width = 16, .height = 16},
    .reserved_box = {},
    .text_colour = 0xFFFFFF,
    .reserved_colours = {},
    .font_face = "Courier New",
    .font_weight = 400,
    .font_charset = 1,
    .text_format = 0x25,  // DT_CENTER | DT_VCENTER | DT_SINGLELINE
    .char_count = 2,
    .host_tail = {},
};

StaticImageElement* top_element = &GreedyFace;

MouseArea GreedyMouseAreas[] = PLAIN_MOUSE_AREA_LIST(0);
MouseArea* const gauge_mouse_areas = GreedyMouseAreas;

}  // extern "C"

void BindGaugeVariables() {}
