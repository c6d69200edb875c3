// Annotations for people looking at a render: mouse-area outlines with
// their cursor codes, and contact sheets of several frames with a caption
// under each.
#pragma once

#include <span>
#include <string>

#include "canvas.h"
#include "text.h"

namespace gauge::render {

// A clickable rectangle of the gauge (gauge pixels) and its cursor code.
struct AreaOutline {
  int x = 0, y = 0, width = 0, height = 0;
  int cursor = 0;
};

// Outlines each area on a canvas of `scale` pixels per gauge pixel and
// prints "cursor N" beside it: above the box, or below where the top
// leaves no room. Empty areas, and areas wholly off the canvas, are left out.
void DrawAreaOutlines(Canvas& canvas, std::span<const AreaOutline> areas, double scale, TextRenderer& text);

// Lays frames of equal size out in rows (about as many columns as rows)
// on a dark ground, with `captions[i]` centred under frame i.
Canvas ContactSheet(std::span<const Canvas> frames, std::span<const std::string> captions, TextRenderer& text);

}  // namespace gauge::render
