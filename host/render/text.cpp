#include "text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

#include "module_text.h"

namespace gauge::render {

struct TextRenderer::Font {
  FT_Face face = nullptr;
  ~Font() {
    if (face) FT_Done_Face(face);
  }
};

namespace {

// The font file fontconfig picks for a face name and a Win32 weight
// (100..900); its alias rules map Win32 faces to metric-compatible ones.
bool MatchFont(const std::string& face, uint32_t weight, std::string& file, int& index) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(static_cast<int>(weight)));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* path = nullptr;
  const bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
  if (found) file = reinterpret_cast<const char*>(path);
  index = 0;
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FcPatternDestroy(match);
  return found;
}

// Horizontal advance of a string in font units.
long AdvanceUnits(FT_Face face, const std::string& text) {
  long total = 0;
  for (const unsigned char c : text) {
    if (FT_Load_Char(face, c, FT_LOAD_NO_SCALE) == 0) total += face->glyph->advance.x;
  }
  return total;
}

// Width in pixels of a string at the face's current size, as DrawRun sets it.
int RunWidth(FT_Face face, const std::string& text) {
  int total = 0;
  for (const unsigned char c : text) {
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) == 0) total += static_cast<int>((face->glyph->advance.x + 32) >> 6);
  }
  return total;
}

// The largest glyph drawn, in pixels per em: a glyph costs about its square
// in memory and time, so its size is bounded here, not by the box a module
// chooses (a readout at the largest scale stays well below it).
constexpr double kMaxGlyphEm = 1024;

struct Clip {
  int x0, y0, x1, y1;
};

// Draws `text` with its baseline at y = baseline, from pen x, in `colour`.
// Only glyphs that reach into the clip are rendered.
void DrawRun(Canvas& canvas, FT_Face face, const std::string& text, int64_t pen_x, int64_t baseline,
             Rgba colour, const Clip& clip) {
  for (const unsigned char c : text) {
    if (pen_x >= clip.x1) break;
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) != 0) continue;
    const FT_GlyphSlot glyph = face->glyph;
    const int advance = static_cast<int>((glyph->advance.x + 32) >> 6);
    const int reach = static_cast<int>((glyph->metrics.horiBearingX + glyph->metrics.width) >> 6) + 1;
    if (pen_x + std::max(advance, reach) < clip.x0 || FT_Render_Glyph(glyph, FT_RENDER_MODE_NORMAL) != 0) {
      pen_x += advance;
      continue;
    }
    const FT_Bitmap& bm = glyph->bitmap;
    const int64_t left = pen_x + glyph->bitmap_left, top = baseline - glyph->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row) {
      const int64_t y = top + row;
      if (y < clip.y0 || y >= clip.y1) continue;
      for (unsigned col = 0; col < bm.width; ++col) {
        const int64_t x = left + col;
        if (x < clip.x0 || x >= clip.x1) continue;
        const uint32_t cover = bm.buffer[row * bm.pitch + col];
        if (cover == 0) continue;
        Over(canvas.at(static_cast<int>(x), static_cast<int>(y)), (colour.r * cover + 127) / 255, (colour.g * cover + 127) / 255,
             (colour.b * cover + 127) / 255, (colour.a * cover + 127) / 255);
      }
    }
    pen_x += advance;
  }
}

}  // namespace

TextRenderer::TextRenderer() {
  FcInit();
  FT_Init_FreeType(&library_);
}

TextRenderer::~TextRenderer() {
  fonts_.clear();
  if (library_) FT_Done_FreeType(library_);
}

TextRenderer::Font* TextRenderer::FontFor(const std::string& face, uint32_t weight, std::string& error) {
  const std::string key = face + "\n" + std::to_string(weight);
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second.get();
  std::string file;
  int index = 0;
  auto font = std::make_unique<Font>();
  if (!library_ || !MatchFont(face, weight, file, index) ||
      FT_New_Face(library_, file.c_str(), index, &font->face) != 0) {
    error = "no font found for \"" + ModuleText(face) + "\"";
    return nullptr;
  }
  return (fonts_[key] = std::move(font)).get();
}

bool TextRenderer::DrawInBox(Canvas& canvas, const TextItem& item, double scale, std::string& error) {
  if (item.text.empty() || item.width <= 0 || item.height <= 0) return true;
  Font* font = FontFor(item.font_face, item.font_weight, error);
  if (!font) return false;
  FT_Face face = font->face;
  const double left = item.x * scale, top = item.y * scale;
  const double width = item.width * scale, height = item.height * scale;
  // Size: the line (ascent + descent) fits the height, the cells fit the
  // width; never taller than the canvas, which is all that can show.
  const double line_units = face->ascender - face->descender;
  const long cells = AdvanceUnits(face, std::string(std::min<uint32_t>(item.char_count, 256), '0'));
  const long text_units = std::max(cells, AdvanceUnits(face, item.text));
  double em = std::min(height, static_cast<double>(canvas.height)) * face->units_per_EM / line_units;
  if (text_units > 0) em = std::min(em, width * face->units_per_EM / text_units);
  em = std::min(em, kMaxGlyphEm);
  const int pixels = static_cast<int>(std::floor(em));
  if (pixels < 1) return true;
  FT_Set_Pixel_Sizes(face, 0, pixels);
  const double ascent = face->size->metrics.ascender / 64.0;
  const double line = (face->size->metrics.ascender - face->size->metrics.descender) / 64.0;
  const int run = RunWidth(face, item.text);

  double pen = left;
  if (item.format & kTextCentre) pen = left + (width - run) / 2;
  else if (item.format & kTextRight) pen = left + width - run;
  double line_top = top;
  if (item.format & kTextSingleLine) {
    if (item.format & kTextVCentre) line_top = top + (height - line) / 2;
    else if (item.format & kTextBottom) line_top = top + height - line;
  }
  // The box clipped to the canvas in floating point, so a box far off it
  // cannot overflow the conversion to int.
  const auto onto = [](double v, int limit) { return static_cast<int>(std::lround(std::clamp(v, 0.0, double(limit)))); };
  Clip clip{0, 0, canvas.width, canvas.height};
  if (!(item.format & kTextNoClip)) {
    clip = Clip{onto(left, canvas.width), onto(top, canvas.height), onto(left + width, canvas.width),
                onto(top + height, canvas.height)};
  }
  const Rgba colour = Opaque(item.colour & 0xFF, (item.colour >> 8) & 0xFF, (item.colour >> 16) & 0xFF);
  DrawRun(canvas, face, item.text, std::llround(pen), std::llround(line_top + ascent), colour, clip);
  return true;
}

void TextRenderer::DrawLabel(Canvas& canvas, const std::string& text, int x, int y, int pixel_size,
                             Rgba colour) {
  std::string error;
  Font* font = FontFor("DejaVu Sans", 700, error);
  if (!font) return;
  FT_Set_Pixel_Sizes(font->face, 0, pixel_size);
  const int ascent = static_cast<int>(font->face->size->metrics.ascender >> 6);
  DrawRun(canvas, font->face, text, x, int64_t{y} + ascent, colour, Clip{0, 0, canvas.width, canvas.height});
}

int TextRenderer::LabelWidth(const std::string& text, int pixel_size) {
  std::string error;
  Font* font = FontFor("DejaVu Sans", 700, error);
  if (!font) return 0;
  FT_Set_Pixel_Sizes(font->face, 0, pixel_size);
  return RunWidth(font->face, text);
}

}  // namespace gauge::render
