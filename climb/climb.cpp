// Velkor_Climb: a vertical speed indicator in metres per second, -30 to +30.
// The needle follows a 9-point calibration table whose points sit on the
// painted marks, so the module only clamps the input to the table's range.
#include "gauge_frame.h"

// Clamps the vertical speed to the table's range, writing the clamped value
// back into the record (a NaN becomes the lowest entry). Only comparisons
// and copies, exact under any x87 control word: no precision guard.
double __stdcall ClimbNeedleValue(ModuleVariable* variable) {
  const double v = variable->value;
  if (v > 5850.0) {
    variable->value = 5850.0;
  } else if (!(v >= -5850.0)) {
    variable->value = -5850.0;
  }
  return variable->value;
}

extern "C" {

char gauge_name[] = "Velkor Climber";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 100);

FailureEntry ClimbFailures[] = {Failure(19, 1), Failure(3, 2), kEndOfFailures};

// 195 units of host variable 65 per painted metre per second.
NonlinearityPoint ClimbCalibration[] = {
    {.point = {226, 239}, .value = -5850.0, .host_value = 0.0},  // descent 30
    {.point = {184, 262}, .value = -3900.0, .host_value = 0.0},  // descent 20
    {.point = {133, 266}, .value = -1950.0, .host_value = 0.0},  // descent 10
    {.point = {75, 243}, .value = -975.0, .host_value = 0.0},    // descent 5
    {.point = {33, 151}, .value = 0.0, .host_value = 0.0},       // 0
    {.point = {70, 57}, .value = 975.0, .host_value = 0.0},      // climb 5
    {.point = {131, 31}, .value = 1950.0, .host_value = 0.0},    // climb 10
    {.point = {190, 37}, .value = 3900.0, .host_value = 0.0},    // climb 20
    {.point = {226, 55}, .value = 5850.0, .host_value = 0.0},    // climb 30
};

extern NeedleElement ClimbNeedle;
ElementHeader* ClimbFaceChildren[] = {&ClimbNeedle.head, nullptr};

StaticImageElement ClimbFace = {
    .head = ElementHead(kStaticImageKind, 4096, {0, 0}, {0, 0}, ClimbFaceChildren, nullptr, 0x11),
    .host_image = {},
};

NeedleElement ClimbNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 4352, {150, 150}, {11, 11}, nullptr, ClimbFailures, 0x3),
    65, ClimbNeedleValue, {106, 11}, 3, ClimbCalibration, 9);

StaticImageElement* top_element = &ClimbFace;

MouseArea ClimbMouseAreas[] = PLAIN_MOUSE_AREA_LIST(0xA42B);
MouseArea* const gauge_mouse_areas = ClimbMouseAreas;

}  // extern "C"

void BindGaugeVariables() {}
