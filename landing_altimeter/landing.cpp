// Tavoran_Landing: a landing altimeter in metres. One needle turn per
// 1000 m, a digit drum that counts the thousands, a four-character readout
// at 12 o'clock and a two-sided knob that sends one of two host events.
#include <stdio.h>

#include "gauge_frame.h"
#include "host_services.h"
#include "precision_guard.h"

namespace {

// x truncated toward zero to a signed 64-bit integer, of which the low 32
// bits count; a NaN, or a magnitude of 2^63 or more, gives 0. Inside the
// precision guard. The 32-bit truncation answers every x it can hold; its
// lowest value also stands for "did not fit", so that one goes the long way.
int32_t Whole(double x) {
  const int32_t narrow = TruncateTo<int32_t>(x);
  if (narrow != INT32_MIN) return narrow;
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(x > -kLimit && x < kLimit)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(TruncateTo<int64_t>(x)));
}

constexpr double kMetresPerFoot = 0.3048006096;  // the survey foot, 1200/3937
constexpr double kDegreesPerMetre = 0.36;
constexpr double kMetresPerDrumDegree = -55.555;  // one 18-degree digit step per 1000 m

}  // namespace

extern "C" {

// Selects the unit of the altitude: exactly 2.0 means metres, anything else feet.
ModuleVariable LandingUnits = HostVariable(335);

// The altitude in whole metres as the needle last computed it; the drum
// reads it. Signed, so heights below zero read below zero.
int32_t altitude_metres = 0;

extern StringElement LandingReadout;

}  // extern "C"

// The needle angle: 90 degrees (6 o'clock) at 0 m, 0.36 degrees per metre.
// The host service runs under the host's own control word; the arithmetic
// after it under the guard. A feet figure below the normal range gives a
// product below it too, which truncates to 0 m however it is rounded.
double __stdcall LandingNeedleValue(ModuleVariable* variable) {
  CallService<Service::ReadVariable>(&LandingUnits);
  return InDoublePrecision([variable] {
    const double altitude = variable->value;
    const int32_t metres =
        LandingUnits.value == 2.0 ? Whole(altitude) : Whole(altitude * kMetresPerFoot);
    altitude_metres = metres;
    // |metres| < 2^31, so the angle lies well inside the 32-bit range and a
    // plain truncation gives what Whole would.
    return static_cast<double>(TruncateTo<int32_t>(metres * kDegreesPerMetre + 90.0));
  });
}

// The drum's turn in degrees; negative turns the ring clockwise.
double __stdcall LandingDrumValue(ModuleVariable*) {
  return InDoublePrecision([] { return altitude_metres / kMetresPerDrumDegree; });
}

// Writes the readout's text, right-aligned in four characters; values that
// need more characters show the nearest value that fits. The C run-time's
// own sprintf formats into a buffer that holds any "%4d" of a 32-bit
// integer; the host's buffer holds char_count + 1 bytes, so at most
// char_count characters and the terminating zero go there (nothing when
// char_count is negative).
double __stdcall LandingReadoutValue(ModuleVariable* variable) {
  char* const text = LandingReadout.text;
  if (text != nullptr) {
    const int32_t shown = InDoublePrecision([variable] {
      const double value = variable->value;
      return value >= 10000.0 ? 9999 : value <= -1000.0 ? -999 : Whole(value);
    });
    char formatted[12];  // "-2147483648" and the zero
    __ms_sprintf(formatted, "%4d", static_cast<int>(shown));
    const int32_t cells = LandingReadout.char_count;
    if (cells >= 0) {
      int32_t i = 0;
      for (; i < cells && formatted[i] != '\0'; ++i) text[i] = formatted[i];
      text[i] = '\0';
    }
  }
  return variable->value;
}

double __stdcall LandingPassValue(ModuleVariable* variable) { return variable->value; }

double __stdcall LandingPassReal(double value) { return value; }

uint32_t __stdcall LandingKnobLeft(uint32_t, uint32_t) {
  CallService<Service::SendEvent>(0x1015Cu, 0u);
  return 1;
}

uint32_t __stdcall LandingKnobRight(uint32_t, uint32_t) {
  CallService<Service::SendEvent>(0x1015Bu, 0u);
  return 1;
}

void BindGaugeVariables() { CallService<Service::BindVariable>(&LandingUnits); }

extern "C" {

char gauge_name[] = "Tavoran_Landing";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 100);

FailureEntry LandingFailures[] = {Failure(1, 2), kEndOfFailures};

extern SpriteElement LandingDrum;
extern NeedleElement LandingNeedle;
ElementHeader* LandingFaceChildren[] = {&LandingDrum.head, nullptr};
ElementHeader* LandingDrumChildren[] = {&LandingReadout.head, nullptr};
ElementHeader* LandingReadoutChildren[] = {&LandingNeedle.head, nullptr};

StaticImageElement LandingFace = {
    .head = ElementHead(kStaticImageKind, 255, {0, 0}, {0, 0}, LandingFaceChildren, LandingFailures,
                        0x1),
    .host_image = {},
};

SpriteElement LandingDrum = {
    .head = ElementHead(kSpriteKind, 12288, {20, 0}, {149, 129}, LandingDrumChildren,
                        LandingFailures, 0x1),
    .variables = {HostVariable(0), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callback = LandingDrumValue,
    .factor = 1.0,
    .factor_pair = {1.0f, 1.0f},
    .host_tail = {},
};

StringElement LandingReadout = {
    .head = ElementHead(kStringKind, -1, {115, 50}, {0, 0}, LandingReadoutChildren, LandingFailures,
                        0x4),
    .variables = {HostVariable(75), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callbacks = {LandingReadoutValue, LandingPassValue, LandingPassValue},
    .real_function = LandingPassReal,
    .text = nullptr,
    .reserved = 0,
    .text_size = {.width = 60, .height = 27},
    .reserved_box = {},
    .text_colour = 0x00CDCDCD,
    .reserved_colours = {},
    .font_face = "Courier New",
    .font_weight = 400,      // FW_NORMAL
    .font_charset = 1,       // DEFAULT_CHARSET
    .text_format = 0x25,     // DT_CENTER | DT_VCENTER | DT_SINGLELINE
    .char_count = 4,
    .host_tail = {},
};

NeedleElement LandingNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 8192, {150, 145}, {52, 18}, nullptr, LandingFailures, 0x3),
    74, LandingNeedleValue, {15, 15}, 90);

StaticImageElement* top_element = &LandingFace;

MouseArea LandingMouseAreas[] = {
    PlainMouseArea(kAreaParent),
    ChildMouseArea({110, 280, 30, 50}, 2, 0x20200000, LandingKnobLeft),
    ChildMouseArea({145, 280, 30, 50}, 1, 0x20200000, LandingKnobRight),
    PlainMouseArea(kAreaEndOfParent),
    PlainMouseArea(kAreaEndOfList),
};
MouseArea* const gauge_mouse_areas = LandingMouseAreas;

}  // extern "C"
