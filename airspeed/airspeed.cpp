// Ostrel_Airspeed: a face and one needle that sweeps 663.75 degrees over
// 0 to 410, the outer scale (50 to 200) on the first turn, the inner scale
// (200 to 410) on the second, 0 to 50 squeezed into an unmarked arc.
#include "gauge_frame.h"
#include "precision_guard.h"

// The needle angle for an airspeed: clockwise degrees from 3 o'clock, not
// reduced to one turn (146.25 to 810). The record keeps the host's value.
// The segment is chosen by comparisons, exact under any control word; only
// a segment's formula runs under the precision guard, and the clamped ends
// return their angles as constants: (410 - 200) * 1.5 + 495 is exactly 810,
// 0.225 * 0 + 146.25 exactly 146.25. A positive input below the normal range
// gives a product below it too (rounded twice on the x87), which the sum
// with 146.25 absorbs either way.
double __stdcall AirspeedNeedleValue(ModuleVariable* variable) {
  // Tested from the top segment down, so each input takes one comparison
  // per segment above its own and computes only its own segment's formula.
  const double v = variable->value;
  if (v > 200.0) {
    if (v > 410.0) return 810.0;
    return InDoublePrecision([](double x) { return (x - 200.0) * 1.5 + 495.0; }, v);
  }
  if (v > 50.0) return InDoublePrecision([](double x) { return (x - 50.0) * 2.25 + 157.5; }, v);
  if (!(v >= 0.0)) return 146.25;  // negatives and NaN
  return InDoublePrecision([](double x) { return 0.225 * x + 146.25; }, v);
}

extern "C" {

char gauge_name[] = "Ostrel Airspeed Gauge";
GaugeHeader gauge_header = FrameGaugeHeader(gauge_name, 276);

FailureEntry AirspeedFailures[] = {Failure(6, 1), Failure(3, 1), kEndOfFailures};

extern NeedleElement AirspeedNeedle;
ElementHeader* AirspeedFaceChildren[] = {&AirspeedNeedle.head, nullptr};

StaticImageElement AirspeedFace = {
    .head = ElementHead(kStaticImageKind, 200, {0, 0}, {0, 0}, AirspeedFaceChildren,
                        AirspeedFailures, 0x1),
    .host_image = {},
};

NeedleElement AirspeedNeedle = NeedleRecord(
    ElementHead(kNeedleKind, 300, {138, 138}, {54, 9}, nullptr, AirspeedFailures, 0x3),
    61, AirspeedNeedleValue, {179, 9}, 6);

StaticImageElement* top_element = &AirspeedFace;

MouseArea AirspeedMouseAreas[] = PLAIN_MOUSE_AREA_LIST(0);
MouseArea* const gauge_mouse_areas = AirspeedMouseAreas;

}  // extern "C"

void BindGaugeVariables() {}
