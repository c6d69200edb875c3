#include "canvas.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <numbers>

namespace gauge::art {
namespace {

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Font names are checked against the family fontconfig actually picked.
std::string FamilyOf(const std::string& pattern) { return pattern.substr(0, pattern.find(':')); }

}  // namespace

Point Polar(Point centre, double radius, double degrees) {
  return {centre.x + radius * std::cos(Radians(degrees)), centre.y + radius * std::sin(Radians(degrees))};
}

bool Font::Load(const std::string& pattern, Font& out, std::string& error) {
  FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  if (!wanted) {
    error = "bad font name \"" + pattern + "\"";
    return false;
  }
  FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
  FcDefaultSubstitute(wanted);
  FcResult result;
  FcPattern* found = FcFontMatch(nullptr, wanted, &result);
  FcPatternDestroy(wanted);
  FcChar8* family = nullptr;
  if (!found || FcPatternGetString(found, FC_FAMILY, 0, &family) != FcResultMatch ||
      FamilyOf(pattern) != reinterpret_cast<const char*>(family)) {
    error = "font \"" + pattern + "\" is not installed";
    if (found) FcPatternDestroy(found);
    return false;
  }
  Font font;
  font.face_ = cairo_ft_font_face_create_for_pattern(found);
  FcPatternDestroy(found);
  out = font;
  return true;
}

Font::Font(const Font& other) : face_(other.face_ ? cairo_font_face_reference(other.face_) : nullptr) {}

Font& Font::operator=(const Font& other) {
  if (this != &other) {
    if (face_) cairo_font_face_destroy(face_);
    face_ = other.face_ ? cairo_font_face_reference(other.face_) : nullptr;
  }
  return *this;
}

Font::~Font() {
  if (face_) cairo_font_face_destroy(face_);
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * kSupersample, height * kSupersample)),
      cr_(cairo_create(surface_)) {
  cairo_scale(cr_, kSupersample, kSupersample);
  cairo_translate(cr_, 0.5, 0.5);  // integer coordinates at pixel centres
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr_, options);
  cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void Canvas::SetColour(Colour c) { cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

void Canvas::Fill(Colour c) {
  SetColour(c);
  cairo_paint(cr_);
}

void Canvas::Disc(Point centre, double radius, Colour c) {
  SetColour(c);
  cairo_new_path(cr_);
  cairo_arc(cr_, centre.x, centre.y, radius, 0, 2 * std::numbers::pi);
  cairo_fill(cr_);
}

void Canvas::Polygon(const std::vector<Point>& corners, Colour c) {
  SetColour(c);
  cairo_new_path(cr_);
  for (const Point& p : corners) cairo_line_to(cr_, p.x, p.y);
  cairo_close_path(cr_);
  cairo_fill(cr_);
}

void Canvas::SetGradient(cairo_pattern_t* gradient, Stops stops) {
  for (const auto& [offset, c] : stops) cairo_pattern_add_color_stop_rgb(gradient, offset, c.r / 255, c.g / 255, c.b / 255);
  cairo_set_source(cr_, gradient);
  cairo_pattern_destroy(gradient);  // the context keeps its own reference
}

void Canvas::LinearSource(Point from, Point to, Stops stops) {
  SetGradient(cairo_pattern_create_linear(from.x, from.y, to.x, to.y), stops);
}

void Canvas::RadialSource(Point inner, double inner_radius, Point outer, double outer_radius, Stops stops) {
  SetGradient(cairo_pattern_create_radial(inner.x, inner.y, inner_radius, outer.x, outer.y, outer_radius), stops);
}

void Canvas::Ring(Point centre, double radius, double line_width, Colour c) {
  Arc(centre, radius, 0, 360, line_width, c);
}

void Canvas::Arc(Point centre, double radius, double from_deg, double to_deg, double line_width, Colour c) {
  while (to_deg <= from_deg) to_deg += 360;
  SetColour(c);
  cairo_set_line_width(cr_, line_width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  cairo_new_path(cr_);
  cairo_arc(cr_, centre.x, centre.y, radius, Radians(from_deg), Radians(to_deg));
  cairo_stroke(cr_);
}

void Canvas::RadialTick(Point centre, double degrees, double inner, double outer, double width, Colour c) {
  const Point a = Polar(centre, inner, degrees), b = Polar(centre, outer, degrees);
  SetColour(c);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  cairo_new_path(cr_);
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  cairo_stroke(cr_);
}

void Canvas::SetFont(const std::string& text, const TextStyle& style) {
  cairo_set_font_face(cr_, style.font->face());
  cairo_set_font_size(cr_, 100);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, text.c_str(), &e);
  const double size = e.height > 0 ? 100 * style.ink_height / e.height : 100;
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, size * style.width_scale, size);
  cairo_set_font_matrix(cr_, &m);
}

Point Canvas::TextSize(const std::string& text, const TextStyle& style) {
  SetFont(text, style);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, text.c_str(), &e);
  return {e.width, e.height};
}

void Canvas::Text(const std::string& text, Point centre, const TextStyle& style, Colour c) {
  SetFont(text, style);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, text.c_str(), &e);
  SetColour(c);
  cairo_new_path(cr_);
  cairo_move_to(cr_, centre.x - e.x_bearing - e.width / 2, centre.y - e.y_bearing - e.height / 2);
  cairo_show_text(cr_, text.c_str());
}

Rendering Canvas::Render() const {
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  constexpr double kSamples = kSupersample * kSupersample;
  Rendering out;
  out.width = width_;
  out.height = height_;
  out.colour.assign(static_cast<size_t>(width_) * height_, Colour{0, 0, 0});
  out.coverage.assign(out.colour.size(), 0.0);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSupersample; ++sy) {
        const uint32_t* row =
            reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y * kSupersample + sy) * stride);
        for (int sx = 0; sx < kSupersample; ++sx) {
          const uint32_t p = row[x * kSupersample + sx];  // premultiplied ARGB
          a += p >> 24;
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
        }
      }
      const size_t i = static_cast<size_t>(y) * width_ + x;
      out.colour[i] = {r / kSamples, g / kSamples, b / kSamples};
      out.coverage[i] = a / (255.0 * kSamples);
    }
  }
  return out;
}

}  // namespace gauge::art
