// The artwork generator: draws every gauge bitmap from its geometry.
//
// Usage, one drawing file per gauge (tools/artwork/<gauge>_art.cpp, picked up
// by the build on its own):
//
//   #include "artwork.h"
//   namespace gauge::art {
//   namespace {
//   IndexedBitmap DrawFace() {
//     Canvas canvas(276, 276);              // integer coordinates = pixel centres
//     canvas.Fill(kGround);
//     canvas.RadialTick(centre, degrees, inner_radius, outer_radius, width, kCream);
//     canvas.Text("10", centre, TextStyle{&font, 24, 0.8}, kCream);  // upright
//     Palette palette;                      // index 0: black, the surround only
//     palette.AddRamp(kGround, kCream, 200);
//     const Rendering r = canvas.Render();  // anti-aliased, one value per pixel
//     return Quantise(r, palette, OutsideDisc(276, 276, centre, 138));  // or AroundShape(r)
//   }
//   const Registration face{"mygauge", "face", "mygauge/art/face.bmp", DrawFace};
//   }  // namespace
//   }  // namespace gauge::art
//
// Fonts: LoadFont("DejaVu Sans:style=Bold"), "Z003:style=Medium Italic".
// Regenerate: scripts/draw_artwork.sh [--only GAUGE[/BITMAP]] [--png DIR]
// (builds gauge-artwork and writes every registered bitmap under the repo).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bitmap.h"
#include "canvas.h"
#include "palette.h"

namespace gauge::art {

// One bitmap that the generator draws: `gauge`/`bitmap` name it on the
// command line, `path` is where it goes, relative to the repository root.
struct Drawing {
  std::string gauge, bitmap, path;
  std::function<IndexedBitmap()> draw;
};

// Registers a drawing while the program starts; declare one per bitmap.
struct Registration {
  Registration(std::string gauge, std::string bitmap, std::string path, std::function<IndexedBitmap()> draw);
};

// Every registered drawing, ordered by gauge and bitmap name.
std::vector<Drawing> AllDrawings();

// The font named by a fontconfig pattern; throws std::runtime_error naming
// it when it is not installed.
Font LoadFont(const std::string& pattern);

}  // namespace gauge::art
