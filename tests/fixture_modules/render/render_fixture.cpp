// RenderFixture: one element of every kind the renderer draws, each driven
// straight by a host variable, on bitmaps made to be measured: face, sprite
// behind a window, text, a plain needle and a calibrated one, and one
// clickable area.
#include "gauge_frame.h"
#include "host_services.h"
#include "render_fixture_art.h"

using namespace render_fixture;

extern "C" StringElement FixtureText;

// Plain needle angle, calibrated needle value, sprite turn: the variable's value.
double __stdcall FixturePassValue(ModuleVariable* variable) { return variable->value; }

// Writes the variable's whole part right-aligned in the four cells (the
// nearest value that fits when it does not), into the host's buffer.
double __stdcall FixtureTextValue(ModuleVariable* variable) {
  char* const text = FixtureText.text;
  const double value = variable->value;
  if (text != nullptr) {
    int n = value >= 9999.0 ? 9999 : value <= -999.0 ? -999 : static_cast<int>(value == value ? value : 0.0);
    const bool negative = n < 0;
    if (negative) n = -n;
    int cell = kTextCells;
    text[cell] = '\0';
    do {
      text[--cell] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0 && cell > 0);
    if (negative && cell > 0) text[--cell] = '-';
    while (cell > 0) text[--cell] = ' ';
  }
  return value;
}

double __stdcall FixtureReal(double value) { return value; }

uint32_t __stdcall FixtureClick(uint32_t, uint32_t) {
  CallService<Service::SendEvent>(kAreaEvent, 0u);
  return 1;
}

void BindGaugeVariables() {}

extern "C" {

char gauge_name[] = "RenderFixture";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, kFaceWidth);

extern SpriteElement FixtureSprite;
extern NeedleElement FixtureNeedle;
extern NeedleElement FixtureCalibratedNeedle;
ElementHeader* FixtureFaceChildren[] = {&FixtureSprite.head, nullptr};
ElementHeader* FixtureSpriteChildren[] = {&FixtureText.head, nullptr};
ElementHeader* FixtureTextChildren[] = {&FixtureNeedle.head, nullptr};
ElementHeader* FixtureNeedleChildren[] = {&FixtureCalibratedNeedle.head, nullptr};

StaticImageElement FixtureFace = {
    .head = ElementHead(kStaticImageKind, kFaceBitmap, {0, 0}, {0, 0}, FixtureFaceChildren, nullptr, 0x1),
    .host_image = {},
};

SpriteElement FixtureSprite = {
    .head = ElementHead(kSpriteKind, kSpriteBitmap, {kSpriteX, kSpriteY},
                        {kSpriteX + kSpritePivot, kSpriteY + kSpritePivot}, FixtureSpriteChildren, nullptr, 0x1),
    .variables = {HostVariable(kSpriteVariable), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callback = FixturePassValue,
    .factor = 1.0,
    .factor_pair = {1.0f, 1.0f},
    .host_tail = {},
};

StringElement FixtureText = {
    .head = ElementHead(kStringKind, -1, {kTextX, kTextY}, {0, 0}, FixtureTextChildren, nullptr, 0x4),
    .variables = {HostVariable(kTextVariable), HostVariable(0), HostVariable(0)},
    .host_values = {},
    .value_callbacks = {FixtureTextValue, FixturePassValue, FixturePassValue},
    .real_function = FixtureReal,
    .text = nullptr,
    .reserved = 0,
    .text_size = {.width = kTextWidth, .height = kTextHeight},
    .reserved_box = {},
    .text_colour = kTextColour,
    .reserved_colours = {},
    .font_face = "Courier New",
    .font_weight = 400,
    .font_charset = 1,
    .text_format = 0x25,  // DT_CENTER | DT_VCENTER | DT_SINGLELINE
    .char_count = kTextCells,
    .host_tail = {},
};

NeedleElement FixtureNeedle = NeedleRecord(
    ElementHead(kNeedleKind, kNeedleBitmap, {kNeedleX, kNeedleY}, {kNeedlePivotX, kNeedlePivotY},
                FixtureNeedleChildren, nullptr, 0x3),
    kNeedleVariable, FixturePassValue, {kNeedleWidth, kNeedlePivotY}, 0);

constexpr NonlinearityPoint Entry(const CalibrationEntry& e) {
  return NonlinearityPoint{.point = {e.x, e.y}, .value = e.value, .host_value = 0};
}
NonlinearityPoint FixtureCalibration[] = {Entry(kCalibration[0]), Entry(kCalibration[1]), Entry(kCalibration[2])};

NeedleElement FixtureCalibratedNeedle = NeedleRecord(
    ElementHead(kNeedleKind, kNeedleBitmap, {kCalibratedX, kCalibratedY}, {kNeedlePivotX, kNeedlePivotY}, nullptr,
                nullptr, 0x3),
    kCalibratedVariable, FixturePassValue, {kNeedleWidth, kNeedlePivotY}, 0, FixtureCalibration,
    kCalibrationCount);

StaticImageElement* top_element = &FixtureFace;

MouseArea FixtureMouseAreas[] = {
    PlainMouseArea(kAreaParent),
    ChildMouseArea({kAreaX, kAreaY, kAreaWidth, kAreaHeight}, kAreaCursor, 0, FixtureClick),
    PlainMouseArea(kAreaEndOfParent),
    PlainMouseArea(kAreaEndOfList),
};
MouseArea* const gauge_mouse_areas = FixtureMouseAreas;

}  // extern "C"
