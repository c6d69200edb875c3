// gauge-artwork --out-root REPO [--only GAUGE[/BITMAP]] [--png DIR [--png-zoom N]]
// Draws the registered bitmaps into REPO/<path>; with --png also writes a
// preview of each finished (palette-mapped) bitmap as DIR/<gauge>_<bitmap>.png.
#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "artwork.h"

namespace {

using gauge::IndexedBitmap;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "gauge-artwork: %s\n", message.c_str());
  std::exit(2);
}

struct Options {
  std::string out_root, only, png_dir;
  int png_zoom = 1;
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* target = arg == "--out-root" ? &o.out_root
                          : arg == "--only"   ? &o.only
                          : arg == "--png"    ? &o.png_dir
                                              : nullptr;
    if (!target && arg != "--png-zoom") Fail("unknown option " + arg);
    if (i + 1 >= argc) Fail("missing value after " + arg);
    const std::string value = argv[++i];
    if (target) {
      *target = value;
      continue;
    }
    char* end = nullptr;
    const long zoom = std::strtol(value.c_str(), &end, 10);
    if (*end != '\0' || zoom < 1 || zoom > 16) Fail("--png-zoom takes a whole number from 1 to 16");
    o.png_zoom = static_cast<int>(zoom);
  }
  if (o.out_root.empty()) Fail("usage: gauge-artwork --out-root REPO [--only GAUGE[/BITMAP]] [--png DIR]");
  if (!std::filesystem::is_directory(o.out_root)) Fail("no such directory: " + o.out_root);
  return o;
}

bool Selected(const gauge::art::Drawing& d, const std::string& only) {
  return only.empty() || only == d.gauge || only == d.gauge + "/" + d.bitmap;
}

void WritePreview(const IndexedBitmap& bitmap, int zoom, const std::string& path) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap.width * zoom, bitmap.height * zoom);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < bitmap.height * zoom; ++y)
    for (int x = 0; x < bitmap.width * zoom; ++x) {
      const gauge::Rgb c = bitmap.colour(x / zoom, y / zoom);
      reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride)[x] = c.r << 16 | c.g << 8 | c.b;
    }
  cairo_surface_mark_dirty(s);
  const cairo_status_t status = cairo_surface_write_to_png(s, path.c_str());
  cairo_surface_destroy(s);
  if (status != CAIRO_STATUS_SUCCESS) Fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  std::error_code ec;
  if (!options.png_dir.empty() && !std::filesystem::create_directories(options.png_dir, ec) && ec)
    Fail("cannot create " + options.png_dir);
  int drawn = 0;
  for (const auto& drawing : gauge::art::AllDrawings()) {
    if (!Selected(drawing, options.only)) continue;
    IndexedBitmap bitmap;
    try {
      bitmap = drawing.draw();
    } catch (const std::exception& e) {
      Fail("drawing " + drawing.gauge + "/" + drawing.bitmap + ": " + e.what());
    }
    const std::filesystem::path out = std::filesystem::path(options.out_root) / drawing.path;
    std::string error;
    if (!std::filesystem::create_directories(out.parent_path(), ec) && ec) Fail("cannot create " + out.parent_path().string());
    if (!gauge::WriteBmpFile(out.string(), bitmap, error)) Fail(error);
    if (!options.png_dir.empty())
      WritePreview(bitmap, options.png_zoom,
                   (std::filesystem::path(options.png_dir) / (drawing.gauge + "_" + drawing.bitmap + ".png")).string());
    std::printf("%s\n", drawing.path.c_str());
    ++drawn;
  }
  if (drawn == 0) Fail("no drawing named " + options.only);
  return 0;
}
