// The render fixture's geometry, shared by its module records, its art
// generator and the tests that measure its renders.
#pragma once

#include <cstdint>

namespace render_fixture {

struct Colour {
  uint8_t r, g, b;
};

// Bitmap resource numbers; the sprite's window is the sprite's number + 3.
inline constexpr int kFaceBitmap = 100;
inline constexpr int kNeedleBitmap = 200;
inline constexpr int kSpriteBitmap = 300;
inline constexpr int kWindowBitmap = kSpriteBitmap + 3;

// Host variables that drive the elements (each value function returns its
// variable's value): needle angle, calibrated value, sprite turn, text.
inline constexpr int kNeedleVariable = 1001;
inline constexpr int kCalibratedVariable = 1002;
inline constexpr int kSpriteVariable = 1003;
inline constexpr int kTextVariable = 1004;

// Face: slate ground, lighter grid lines every 20 px, a see-through square
// of kHoleSize at the top-left corner.
inline constexpr int kFaceWidth = 240, kFaceHeight = 200;
inline constexpr uint8_t kFaceGround = 1, kFaceGrid = 2;
inline constexpr Colour kFaceGroundColour{40, 44, 56};
inline constexpr Colour kFaceGridColour{72, 78, 92};
inline constexpr int kHoleSize = 16;

// Needle: an arrow pointing right, pivot (10, 7), tip at x 60, barb above.
inline constexpr int kNeedleWidth = 61, kNeedleHeight = 15;
inline constexpr int kNeedlePivotX = 10, kNeedlePivotY = 7;
inline constexpr uint8_t kNeedleShaft = 1, kNeedleHead = 2;
inline constexpr Colour kNeedleShaftColour{230, 120, 20};
inline constexpr Colour kNeedleHeadColour{250, 220, 60};
inline constexpr int kNeedleX = 60, kNeedleY = 60;             // plain needle's pivot on the face
inline constexpr int kCalibratedX = 180, kCalibratedY = 60;    // calibrated needle's pivot

// The calibrated needle's table: points on the face and their values.
struct CalibrationEntry {
  int x, y;
  double value;
};
inline constexpr CalibrationEntry kCalibration[] = {
    {202, 21, 0.0},    // about 300 degrees (up and right)
    {219, 82, 10.0},   // about 29 degrees: the step from the first crosses 3 o'clock
    {148, 92, 30.0},   // 135 degrees (down and left)
};
inline constexpr int kCalibrationCount = 3;

// Sprite: green square, red bar from the centre to the top edge; pivot at
// its centre. Its window: surround index 254, opening 255, a disc.
inline constexpr int kSpriteSize = 64, kSpritePivot = 32;
inline constexpr int kSpriteX = 20, kSpriteY = 128;  // top-left corner on the face
inline constexpr uint8_t kSpriteGround = 1, kSpriteBar = 2;
inline constexpr Colour kSpriteGroundColour{40, 160, 60};
inline constexpr Colour kSpriteBarColour{210, 30, 30};
inline constexpr uint8_t kWindowSurround = 254, kWindowOpening = 255;
inline constexpr int kOpeningRadius = 26;

// String element: box, yellow (COLORREF 0x00BBGGRR), four cells.
inline constexpr int kTextX = 120, kTextY = 140, kTextWidth = 100, kTextHeight = 40;
inline constexpr uint32_t kTextColour = 0x0000FFFF;
inline constexpr int kTextCells = 4;

// One clickable area.
inline constexpr int kAreaX = 130, kAreaY = 100, kAreaWidth = 80, kAreaHeight = 30;
inline constexpr int kAreaCursor = 3;
inline constexpr uint32_t kAreaEvent = 0x4242;

}  // namespace render_fixture
