// A high-resolution drawing surface whose coordinates are those of the bitmap
// it becomes: integer (x, y) is the centre of pixel (x, y), x to the right, y
// down, angles in degrees clockwise from 3 o'clock. Underneath is a Cairo
// image `kSupersample` times finer in each direction; Render() averages it
// down to one anti-aliased colour and one coverage value per bitmap pixel.
#pragma once

#include <cairo.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace gauge::art {

struct Colour {
  double r, g, b;  // 0..255
};

struct Point {
  double x, y;
};

// The point at `radius` from `centre` in direction `degrees`.
Point Polar(Point centre, double radius, double degrees);

// A font face found through fontconfig, e.g. "DejaVu Sans:style=Bold" or
// "Z003:style=Medium Italic". Construction fails (Font::Load returns false)
// when fontconfig resolves the name to another family, so a missing font
// package never silently changes the artwork.
class Font {
 public:
  static bool Load(const std::string& pattern, Font& out, std::string& error);
  Font() = default;
  Font(const Font&);
  Font& operator=(const Font&);
  ~Font();
  cairo_font_face_t* face() const { return face_; }

 private:
  cairo_font_face_t* face_ = nullptr;
};

struct TextStyle {
  const Font* font;
  double ink_height;         // height of the text's inked box in pixels
  double width_scale = 1.0;  // < 1 condenses the glyphs horizontally
};

// The anti-aliased result: per bitmap pixel, premultiplied colour (0..255)
// and coverage (0..1) of everything drawn.
struct Rendering {
  int width = 0, height = 0;
  std::vector<Colour> colour;
  std::vector<double> coverage;
  const Colour& at(int x, int y) const { return colour[static_cast<size_t>(y) * width + x]; }
  double coverage_at(int x, int y) const { return coverage[static_cast<size_t>(y) * width + x]; }
};

class Canvas {
 public:
  static constexpr int kSupersample = 8;

  // A transparent canvas for a bitmap of `width` x `height` pixels.
  Canvas(int width, int height);
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas();

  int width() const { return width_; }
  int height() const { return height_; }
  // For drawing that the helpers below do not cover.
  cairo_t* cairo() const { return cr_; }

  void Fill(Colour c);                                  // the whole canvas
  void Disc(Point centre, double radius, Colour c);
  // A filled polygon through `corners`, closed back to the first.
  void Polygon(const std::vector<Point>& corners, Colour c);
  void Ring(Point centre, double radius, double line_width, Colour c);
  // Circular arc from `from_deg` clockwise to `to_deg` (wrapping past 360).
  void Arc(Point centre, double radius, double from_deg, double to_deg, double line_width, Colour c);
  // Radial bar with square ends from radius `inner` to `outer`.
  void RadialTick(Point centre, double degrees, double inner, double outer, double width, Colour c);
  // Text, upright, its inked box centred on `centre`.
  void Text(const std::string& text, Point centre, const TextStyle& style, Colour c);
  // Width and height of the inked box that Text() would draw.
  Point TextSize(const std::string& text, const TextStyle& style);

  // A gradient as the source of the next fill or stroke made through
  // cairo(): colour stops (offset 0..1, colour) along the line `from`-`to`,
  // or between two circles.
  using Stops = std::initializer_list<std::pair<double, Colour>>;
  void LinearSource(Point from, Point to, Stops stops);
  void RadialSource(Point inner, double inner_radius, Point outer, double outer_radius, Stops stops);

  Rendering Render() const;

 private:
  void SetColour(Colour c);
  void SetGradient(cairo_pattern_t* gradient, Stops stops);
  void SetFont(const std::string& text, const TextStyle& style);

  int width_, height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

}  // namespace gauge::art
