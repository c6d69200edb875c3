// The stand-in host's speed: emulated calls of AirspeedNeedleValue per
// second (counting and audit off), and the time to render one frame of each
// shipped gauge at native size, next to Cairo compositing the same bitmaps
// with the same transforms in the same run. Google Benchmark; besides its
// console output, a markdown table goes to the file named by --markdown=.
//
//   host_bench DIST_DIR [--markdown=FILE] [benchmark flags]
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>

#include "gauge_functions.h"
#include "gauge_session.h"
#include "scene.h"
#include "session_scene.h"

namespace {

using gauge::GaugeSession;
namespace render = gauge::render;

std::string dist_dir;

std::unique_ptr<GaugeSession> Started(const std::string& module) {
  auto session = GaugeSession::Load(dist_dir + "/" + module + ".gau");
  session->Install(0);
  session->Initialize();
  return session;
}

// The needle function called again and again; with `write_value`, the host
// first stores a new airspeed into its record, as the driver does per update.
void AirspeedNeedleCalls(benchmark::State& state, bool write_value) {
  auto session = Started("Ostrel_Airspeed");
  const gauge::test::ValueSlot needle = gauge::test::ValueSlots(*session).at(0);
  gauge::Emulator& emu = session->emulator();
  emu.WriteDouble(needle.variable + gauge::layout::Variable::value, 123.4);
  double airspeed = 0;
  for (auto _ : state) {
    if (write_value) {
      emu.WriteDouble(needle.variable + gauge::layout::Variable::value, airspeed);
      airspeed = airspeed < 420 ? airspeed + 0.7 : -5;
    }
    benchmark::DoNotOptimize(emu.CallDouble(needle.callback, std::span<const uint32_t>(&needle.variable, 1)));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(AirspeedNeedleCalls, call, false);
BENCHMARK_CAPTURE(AirspeedNeedleCalls, store_value_and_call, true);

// One gauge after an update with these variables, as a scene to draw.
struct GaugeScene {
  std::unique_ptr<GaugeSession> session;
  gauge::GaugePicture picture;
  render::Scene bitmaps_only;  // the scene without its text
};

GaugeScene SceneOf(const std::string& module, const std::map<int32_t, double>& variables) {
  GaugeScene g;
  g.session = Started(module);
  for (auto [id, value] : variables) g.session->SetVariable(id, value);
  g.picture = gauge::PictureOf(*g.session, g.session->RunUpdateCycle());
  g.bitmaps_only = g.picture.scene;
  std::erase_if(g.bitmaps_only.items, [](const render::DrawItem& item) {
    return std::holds_alternative<render::TextItem>(item);
  });
  return g;
}

const std::map<std::string, std::map<int32_t, double>> kGauges = {
    {"Ostrel_Airspeed", {{61, 123.4}}},
    {"Velkor_Climb", {{65, 1234.5}}},
    {"Tavoran_Landing", {{74, 1234.5}, {75, 321}, {335, 2.0}}},
};

void OurRenderer(benchmark::State& state, const std::string& module, bool with_text) {
  const GaugeScene g = SceneOf(module, kGauges.at(module));
  render::Renderer renderer;
  render::Canvas canvas;
  std::string error;
  for (auto _ : state)
    if (!renderer.Render(with_text ? g.picture.scene : g.bitmaps_only, 1.0, canvas, error))
      state.SkipWithError(error.c_str());
}

// The floor for a frame: copying a picture of the canvas's size into it.
void FrameCopy(benchmark::State& state, const std::string& module) {
  const GaugeScene g = SceneOf(module, kGauges.at(module));
  const render::Canvas source(g.bitmaps_only.width, g.bitmaps_only.height);
  render::Canvas canvas(source.width, source.height);
  for (auto _ : state) {
    std::memcpy(canvas.pixels.data(), source.pixels.data(), source.pixels.size() * sizeof(render::Rgba));
    benchmark::ClobberMemory();
  }
}

// The same bitmaps as Cairo image surfaces: premultiplied ARGB, index 0
// transparent.
cairo_surface_t* SurfaceOf(const gauge::IndexedBitmap& bitmap) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width, bitmap.height);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < bitmap.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < bitmap.width; ++x) {
      const uint8_t index = bitmap.at(x, y);
      const gauge::Rgb c = bitmap.palette[index];
      row[x] = index == 0 ? 0 : 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// A window's opening as an alpha mask: opaque wherever the window does not
// show its surround.
cairo_surface_t* OpeningOf(const gauge::IndexedBitmap& window) {
  const uint8_t surround = render::SurroundIndex(window);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, window.width, window.height);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < window.height; ++y)
    for (int x = 0; x < window.width; ++x) data[y * stride + x] = window.at(x, y) == surround ? 0 : 255;
  cairo_surface_mark_dirty(s);
  return s;
}

// Sets a surface as the source placed as the renderer places a bitmap: its
// pixel `pivot` on gauge point `anchor`, turned clockwise by `degrees`,
// bilinear. Changes the transform.
void SetTurnedSource(cairo_t* cr, cairo_surface_t* surface, render::Point anchor, render::Point pivot,
                     double degrees) {
  cairo_translate(cr, anchor.x + 0.5, anchor.y + 0.5);
  cairo_rotate(cr, degrees * std::numbers::pi / 180);
  cairo_translate(cr, -(pivot.x + 0.5), -(pivot.y + 0.5));
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
}

// Paints a surface placed so.
void PaintTurned(cairo_t* cr, cairo_surface_t* surface, render::Point anchor, render::Point pivot, double degrees) {
  cairo_save(cr);
  SetTurnedSource(cr, surface, anchor, pivot, degrees);
  cairo_paint(cr);
  cairo_restore(cr);
}

void CairoCompositing(benchmark::State& state, const std::string& module) {
  const GaugeScene g = SceneOf(module, kGauges.at(module));
  std::map<const gauge::IndexedBitmap*, cairo_surface_t*> surfaces, openings;
  for (const render::DrawItem& item : g.bitmaps_only.items) {
    if (const auto* image = std::get_if<render::ImageItem>(&item)) surfaces[image->bitmap] = SurfaceOf(*image->bitmap);
    if (const auto* sprite = std::get_if<render::SpriteItem>(&item)) {
      surfaces[sprite->bitmap] = SurfaceOf(*sprite->bitmap);
      if (sprite->window) openings[sprite->window] = OpeningOf(*sprite->window);
    }
  }
  cairo_surface_t* target =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, g.bitmaps_only.width, g.bitmaps_only.height);
  cairo_t* cr = cairo_create(target);  // one context for the run, as our side keeps one renderer
  const std::vector<render::DrawItem>& items = g.bitmaps_only.items;
  const bool face_first = !items.empty() && std::holds_alternative<render::ImageItem>(items.front());
  for (auto _ : state) {
    // A face first replaces the whole canvas (transparent outside it): the
    // clear and the face in one pass, as our side draws it.
    if (!face_first) {
      cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
      cairo_paint(cr);
    }
    cairo_set_operator(cr, face_first ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
    for (const render::DrawItem& item : items) {
      if (const auto* image = std::get_if<render::ImageItem>(&item)) {
        PaintTurned(cr, surfaces[image->bitmap], image->position, image->origin, image->angle);
      } else if (const auto* sprite = std::get_if<render::SpriteItem>(&item)) {
        const render::Point pivot{sprite->origin.x - sprite->position.x, sprite->origin.y - sprite->position.y};
        if (!sprite->window) {
          PaintTurned(cr, surfaces[sprite->bitmap], sprite->origin, pivot, -sprite->turn);
        } else {  // the turned sprite as the source, masked by the opening in one pass
          cairo_save(cr);
          SetTurnedSource(cr, surfaces[sprite->bitmap], sprite->origin, pivot, -sprite->turn);
          cairo_identity_matrix(cr);  // the source keeps its transform; the opening does not turn
          cairo_mask_surface(cr, openings[sprite->window], sprite->position.x, sprite->position.y);
          cairo_restore(cr);
        }
      }
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    cairo_surface_flush(target);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(target);
  for (auto& [bitmap, surface] : surfaces) cairo_surface_destroy(surface);
  for (auto& [bitmap, surface] : openings) cairo_surface_destroy(surface);
}

// Prints the console report and keeps each run (each median, with
// repetitions) for the markdown table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      // With repetitions, the median stands for the benchmark.
      if (r.repetitions > 1 && (r.run_type != Run::RT_Aggregate || r.aggregate_name != "median")) continue;
      const double us = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e6;
      char line[256];
      const auto items = r.counters.find("items_per_second");
      if (items != r.counters.end())
        std::snprintf(line, sizeof line, "| %s | %.3f us | %.2f million calls/s |\n", r.run_name.str().c_str(), us,
                      items->second.value / 1e6);
      else
        std::snprintf(line, sizeof line, "| %s | %.1f us | |\n", r.run_name.str().c_str(), us);
      table_ += line;
    }
  }
  const std::string& table() const { return table_; }

 private:
  std::string table_ = "| benchmark | CPU time per iteration | rate |\n|---|---:|---:|\n";
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: host_bench DIST_DIR [--markdown=FILE] [benchmark flags]\n");
    return 2;
  }
  dist_dir = argv[1];
  std::string markdown;
  std::vector<char*> args = {argv[0]};
  for (int i = 2; i < argc; ++i) {
    if (std::strncmp(argv[i], "--markdown=", 11) == 0) markdown = argv[i] + 11;
    else args.push_back(argv[i]);
  }
  for (const auto& [module, variables] : kGauges) {
    benchmark::RegisterBenchmark(("Render/" + module + "/ours").c_str(), OurRenderer, module, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Render/" + module + "/cairo").c_str(), CairoCompositing, module)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Render/" + module + "/ours_with_text").c_str(), OurRenderer, module, true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Render/" + module + "/floor_memcpy").c_str(), FrameCopy, module)
        ->Unit(benchmark::kMicrosecond);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  TableReporter reporter;
  try {
    benchmark::RunSpecifiedBenchmarks(&reporter);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "host_bench: %s\n", e.what());
    return 2;
  }
  if (!markdown.empty()) {
    FILE* f = std::fopen(markdown.c_str(), "w");
    if (!f) {
      std::fprintf(stderr, "host_bench: cannot write %s\n", markdown.c_str());
      return 2;
    }
    std::fputs(reporter.table().c_str(), f);
    std::fclose(f);
  }
  return 0;
}
