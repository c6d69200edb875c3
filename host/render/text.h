// Text through FreeType, in fonts found by fontconfig: a string element's
// text placed in its box as DrawText places it, and plain labels for the
// pictures' annotations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "canvas.h"

struct FT_LibraryRec_;

namespace gauge::render {

// DrawText placement flags this renderer follows.
enum : uint32_t {
  kTextCentre = 0x1,      // DT_CENTER
  kTextRight = 0x2,       // DT_RIGHT
  kTextVCentre = 0x4,     // DT_VCENTER
  kTextBottom = 0x8,      // DT_BOTTOM
  kTextSingleLine = 0x20, // DT_SINGLELINE
  kTextNoClip = 0x100,    // DT_NOCLIP
};

// A string element as drawn: its text, font, colour and box on the gauge.
struct TextItem {
  std::string text;
  std::string font_face;     // a Win32 face name, e.g. "Courier New"
  uint32_t font_weight = 400;
  uint32_t colour = 0;       // COLORREF: 0x00BBGGRR
  int x = 0, y = 0, width = 0, height = 0;  // the box, gauge pixels
  uint32_t format = 0;       // DrawText flags
  uint32_t char_count = 0;   // cells the box is laid out for
};

class TextRenderer {
 public:
  TextRenderer();
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  // Draws a string element on a canvas of `scale` pixels per gauge pixel.
  // The font is the installed face metric-compatible with the named one,
  // at the largest size whose line fits the box height and whose
  // `char_count` digit cells (or the text, if longer) fit its width, and at
  // most 1024 pixels per em, whatever the box. The text
  // is cut at the box unless kTextNoClip is set. False, with `error`, when no
  // font can be loaded.
  bool DrawInBox(Canvas& canvas, const TextItem& item, double scale, std::string& error);

  // A label in DejaVu Sans Bold, `pixel_size` pixels per em, top-left at (x, y).
  void DrawLabel(Canvas& canvas, const std::string& text, int x, int y, int pixel_size, Rgba colour);
  int LabelWidth(const std::string& text, int pixel_size);

 private:
  struct Font;
  Font* FontFor(const std::string& face, uint32_t weight, std::string& error);

  FT_LibraryRec_* library_ = nullptr;
  std::map<std::string, std::unique_ptr<Font>> fonts_;
};

}  // namespace gauge::render
