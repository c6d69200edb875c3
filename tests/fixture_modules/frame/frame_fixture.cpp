// FrameFixture: a small module that exercises the frame and the host where
// the shipped gauges do not: a chain of all four element kinds, a needle
// that reads a free-standing variable bound in GaugeInitialize, a calibration
// table, and a mouse list with two child areas whose functions send events.
#include "gauge_frame.h"
#include "host_services.h"

extern "C" {

ModuleVariable FixtureBound = HostVariable(9);
extern StringElement FixtureText;

}  // extern "C"

// Needle: its variable plus the bound variable, refreshed through ReadVariable.
double __stdcall FixtureNeedleValue(ModuleVariable* variable) {
  CallService<Service::ReadVariable>(&FixtureBound);
  return variable->value + FixtureBound.value;
}

// Sprite: the negated value, a turn the other way.
double __stdcall FixtureSpriteValue(ModuleVariable* variable) { return -variable->value; }

// String: writes as many 'x' as the value asks (at most 20), whatever the
// buffer holds, so tests can make it overrun the host's buffer on purpose.
double __stdcall FixtureTextValue(ModuleVariable* variable) {
  const double v = variable->value;
  const int n = v > 20 ? 20 : (v >= 0 ? int(v) : 0);
  for (int i = 0; i < n; ++i) FixtureText.text[i] = 'x';
  FixtureText.text[n] = 0;
  return v;
}

double __stdcall FixturePassValue(ModuleVariable* variable) { return variable->value; }
double __stdcall FixtureHalfMore(double value) { return value + 0.5; }

uint32_t __stdcall FixtureClickLeft(uint32_t, uint32_t) {
  CallService<Service::SendEvent>(0x1234u, 0u);
  return 1;
}

uint32_t __stdcall FixtureClickRight(uint32_t, uint32_t) {
  CallService<Service::SendEvent>(0x1235u, 7u);
  return 2;
}

extern "C" {

char gauge_name[] = "Frame Fixture";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 16);

FailureEntry FixtureFailures[] = {{.key = 4, .action = 2, .reserved = 0}, {.key = 0, .action = 0, .reserved = 0}};

NonlinearityPoint FixtureCalibration[] = {
    {.point = {15, 8}, .value = 0.0, .host_value = 0.0},
    {.point = {8, 15}, .value = 10.0, .host_value = 0.0},
};

extern SpriteElement FixtureSprite;
extern NeedleElement FixtureNeedle;
ElementHeader* FixtureFaceChildren[] = {&FixtureSprite.head, nullptr};
ElementHeader* FixtureSpriteChildren[] = {&FixtureText.head, nullptr};
ElementHeader* FixtureTextChildren[] = {&FixtureNeedle.head, nullptr};

StaticImageElement FixtureFace = {
    .head = ElementHead(kStaticImageKind, 1, {0, 0}, {0, 0}, FixtureFaceChildren, nullptr, 0x1),
    .host_image = {},
};

SpriteElement FixtureSprite = {
    .head = ElementHead(kSpriteKind, 1, {2, 2}, {8, 8}, FixtureSpriteChildren, FixtureFailures, 0x1),
    .variables = {HostVariable(5), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callback = FixtureSpriteValue,
    .factor = 1.0,
    .factor_pair = {1.0f, 1.0f},
    .host_tail = {},
};

StringElement FixtureText = {
    .head = ElementHead(kStringKind, -1, {1, 1}, {0, 0}, FixtureTextChildren, FixtureFailures, 0x4),
    .variables = {HostVariable(6), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callbacks = {FixtureTextValue, FixturePassValue, FixturePassValue},
    .real_function = FixtureHalfMore,
    .text = nullptr,
    .reserved = 0,
    .text_size = {14, 6},
    .reserved_box = {},
    .text_colour = 0x00CDCDCD,
    .reserved_colours = {},
    .font_face = "Courier New",
    .font_weight = 400,
    .font_charset = 1,
    .text_format = 0x25,
    .char_count = 4,
    .host_tail = {},
};

NeedleElement FixtureNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 2, {8, 8}, {1, 1}, nullptr, FixtureFailures, 0x3),
    7, FixtureNeedleValue, {7, 1}, 3, FixtureCalibration, 2);

StaticImageElement* top_element = &FixtureFace;

MouseArea FixtureMouseAreas[] = {
    PlainMouseArea(kAreaParent),
    ChildMouseArea({2, 3, 5, 4}, 1, 0x20200000, FixtureClickLeft),
    ChildMouseArea({9, 3, 5, 4}, 2, 0x20200000, FixtureClickRight),
    PlainMouseArea(kAreaEndOfParent),
    PlainMouseArea(kAreaEndOfList),
};
MouseArea* const gauge_mouse_areas = FixtureMouseAreas;

}  // extern "C"

void BindGaugeVariables() { CallService<Service::BindVariable>(&FixtureBound); }
