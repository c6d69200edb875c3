// Annotations for people looking at a render: numbered mouse-area outlines
// with a legend of their cursor codes, and contact sheets of several frames with a caption
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
// numbers it 1, 2, ... beside its box where the number overlaps no other
// number. Empty areas, and areas wholly off the canvas, are left out.
void DrawAreaOutlines(Canvas& canvas, std::span<const AreaOutline> areas, double scale, TextRenderer& text);

// The picture with each area outlined on it (a canvas of `scale` pixels per
// gauge pixel) and numbered 1, 2, ... beside its box where the number
// overlaps no other number, and below it a legend, one line per area:
// "1: cursor 2, box (110, 280) 30 x 50". Empty areas, and areas wholly off
// the canvas, get no outline but keep their line. Labels grow with the scale.
Canvas WithAreaLegend(const Canvas& picture, std::span<const AreaOutline> areas, double scale, TextRenderer& text);

// Lays frames out in rows (about as many columns as rows) in cells that fit
// the largest, on a dark ground, with `captions[i]` centred under frame i
// in letters `caption_size` pixels high.
Canvas ContactSheet(std::span<const Canvas> frames, std::span<const std::string> captions, TextRenderer& text,
                    int caption_size = 16);

}  // namespace gauge::render
