// gauge-host render and sweep as a person uses them: area outlines,
// contact sheets, and one clear line with exit code 2 for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include <webp/demux.h>

#include "cli_in_process.h"
#include "render_fixture_art.h"
#include "render_measure.h"

namespace gauge::test {
namespace {

using namespace render_fixture;

TEST(RenderCommand, BadInputGetsOneLineAndExitCodeTwo) {
  const std::string out = OutputPath("bad.png");
  const std::string fixture = FixtureModule();
  const std::string missing_art =
      std::string(GAUGE_MODULE_BUILD_DIR) + "/tests/fixture_modules/render/RenderFixtureMissingArt.gau";
  const std::string not_a_module = std::string(GAUGE_SOURCE_DIR) + "/tests/fixture_modules/render/art/face.bmp";
  const struct {
    std::string args, says;
    ErrorKind kind;
  } cases[] = {
      {"render /nonexistent/Gauge.gau -o " + out, "/nonexistent/Gauge.gau", ErrorKind::kFile},
      {"render " + not_a_module + " -o " + out, "not a PE", ErrorKind::kFormat},
      {"render " + fixture + " --set 1001 -o " + out, "'1001'", ErrorKind::kUsage},
      {"render " + fixture + " --set x=1 -o " + out, "'x'", ErrorKind::kUsage},
      {"render " + fixture + " --set 1001=ninety -o " + out, "'ninety'", ErrorKind::kUsage},
      {"render " + fixture + " --set -o " + out, "usage", ErrorKind::kUsage},
      {"render " + missing_art + " -o " + out, "bitmap 200", ErrorKind::kMissingResource},
      {"render " + fixture + " -o /nonexistent/dir/out.png", "/nonexistent/dir/out.png", ErrorKind::kFile},
      {"render " + fixture, "-o", ErrorKind::kUsage},
      {"render " + fixture + " --scale 0 -o " + out, "--scale", ErrorKind::kUsage},
      {"render " + fixture + " --scale 1e9 -o " + out, "--scale", ErrorKind::kUsage},
      {"render " + fixture + " --sideways -o " + out, "--sideways", ErrorKind::kUsage},
      {"sweep " + fixture + " --from 0 --to 1 --steps 3 -o " + out, "--var", ErrorKind::kUsage},
      {"sweep " + fixture + " --var 1001 --from 0 --steps 3 -o " + out, "--to", ErrorKind::kUsage},
      {"sweep " + fixture + " --var 1001 --from 0 --to 1 --steps 0 -o " + out, "--steps", ErrorKind::kUsage},
      {"sweep " + fixture + " --var 1001 --values 1,,2 -o " + out, "''", ErrorKind::kUsage},
      {"sweep " + fixture + " --var 1001 --values 1 --steps 2 -o " + out, "either", ErrorKind::kUsage},
      {"sweep " + fixture + " --var 1001 --from 0 --to 1 --steps 400 --scale 16 -o " + out, "too large", ErrorKind::kUsage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const HostRun run = RunHost(c.args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    EXPECT_EQ(CommandErrorKind(c.args), c.kind) << run.errors;
  }
}

bool Outline(Rgba p) { return p == Rgba{0, 255, 255, 255}; }

TEST(RenderCommand, AreasOutlinesEachClickableAreaNumberedWithALegend) {
  const Canvas plain = RenderedBy(FixtureModule(), "");
  const Canvas marked = RenderedBy(FixtureModule(), "--areas");
  ASSERT_GE(marked.width, kFaceWidth);
  ASSERT_GT(marked.height, kFaceHeight);  // the legend below the gauge
  EXPECT_EQ(std::count_if(plain.pixels.begin(), plain.pixels.end(), Outline), 0);
  int on_edges = 0;
  for (int x = kAreaX; x < kAreaX + kAreaWidth; ++x)
    on_edges += Outline(marked.at(x, kAreaY)) + Outline(marked.at(x, kAreaY + kAreaHeight - 1));
  for (int y = kAreaY; y < kAreaY + kAreaHeight; ++y)
    on_edges += Outline(marked.at(kAreaX, y)) + Outline(marked.at(kAreaX + kAreaWidth - 1, y));
  EXPECT_EQ(on_edges, 2 * (kAreaWidth + kAreaHeight));
  // Inside the box the picture is untouched; its number sits just above it.
  for (int y = kAreaY + 1; y < kAreaY + kAreaHeight - 1; ++y)
    for (int x = kAreaX + 1; x < kAreaX + kAreaWidth - 1; ++x) ASSERT_EQ(marked.at(x, y), plain.at(x, y));
  const auto lit = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += marked.at(x, y).g > 200 && marked.at(x, y).b > 200;
    return n;
  };
  EXPECT_GT(lit(kAreaX, kAreaY - 16, kAreaX + 16, kAreaY), 5);
  EXPECT_GT(lit(0, kFaceHeight, marked.width, marked.height), 100);  // "1: cursor 3, box (130, 100) 80 x 30"
}

// Two adjacent areas narrower than their labels (the landing altimeter's
// knob halves): the numbers do not run together.
TEST(RenderCommand, AreaNumbersOfAdjacentBoxesDoNotOverlap) {
  const Canvas marked = RenderedBy(ShippedModule("Tavoran_Landing"), "--areas --set 335=2");
  // Above the two knob halves (110..140 and 145..175, top 280): two separate
  // groups of lit columns.
  std::vector<bool> column(marked.width, false);
  for (int y = 262; y < 280; ++y)
    for (int x = 100; x < 190; ++x) column[x] = column[x] || (marked.at(x, y).g > 200 && marked.at(x, y).b > 200 && marked.at(x, y).r < 80);
  int groups = 0;
  for (int x = 101; x < 190; ++x) groups += column[x] && !column[x - 1];
  EXPECT_EQ(groups, 2);
}

TEST(RenderCommand, ScaleEnlargesThePicture) {
  const Canvas render = RenderedBy(FixtureModule(), "--scale 2.5 --set 1001=90");
  EXPECT_EQ(render.width, kFaceWidth * 5 / 2);
  EXPECT_EQ(render.height, kFaceHeight * 5 / 2);
  const auto needle = [&](int x, int y) { return render.at(x, y).r > 200 && render.at(x, y).b < 100; };
  EXPECT_NEAR(NeedleDirection(render, kNeedleX * 2.5 + 0.75, kNeedleY * 2.5 + 0.75, 30, 80, needle), 90, 1);
}

// Each frame of a sheet is the render at its value, laid out in rows.
TEST(SweepCommand, SheetHoldsTheRenderOfEachValue) {
  const std::string sheet_path = OutputPath("sheet.png");
  const HostRun run = RunHost("sweep " + FixtureModule() + " --var 1001 --from 0 --to 270 --steps 4 -o " + sheet_path);
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  Canvas sheet;
  std::string error;
  ASSERT_TRUE(render::ReadPng(sheet_path, sheet, error)) << error;
  // Four frames: two columns, two rows, 12 px apart, captions under each.
  const int gap = 12, cell_w = kFaceWidth + gap, cell_h = kFaceHeight + 16 + 2 * gap;
  EXPECT_EQ(sheet.width, 2 * cell_w + gap);
  EXPECT_EQ(sheet.height, 2 * cell_h + gap);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const Canvas frame = RenderedBy(FixtureModule(), "--set 1001=" + std::to_string(90 * k));
    const int left = gap + (k % 2) * cell_w, top = gap + (k / 2) * cell_h;
    int differing = 0;
    for (int y = 0; y < frame.height; ++y)
      for (int x = 0; x < frame.width; ++x)
        differing += frame.at(x, y).a == 255 && !(sheet.at(left + x, top + y) == frame.at(x, y));
    EXPECT_EQ(differing, 0);
    int caption = 0;
    for (int y = top + kFaceHeight; y < top + cell_h - gap; ++y)
      for (int x = left; x < left + kFaceWidth; ++x) caption += sheet.at(x, y).r > 200;
    EXPECT_GT(caption, 10);
  }
}

// gauge-host animate: an animated WebP through libwebp, one update cycle per
// frame; it decodes (libwebp's demuxer) to the frames asked for, and a frame
// holds the very pixels `render` draws for the same state.
TEST(AnimateCommand, FramesDecodeToTheRenderOfTheSameState) {
  const std::string path = OutputPath("needle.webp");
  const HostRun run =
      RunHost("animate " + FixtureModule() + " --var 1001 --from 0 --to 270 --seconds 1 --fps 4 -o " + path);
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  WebPData data{bytes.data(), bytes.size()};
  WebPAnimDecoderOptions options;
  ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  ASSERT_NE(decoder, nullptr);
  WebPAnimInfo info;
  ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder, &info));
  EXPECT_EQ(info.frame_count, 4u);
  EXPECT_EQ(int(info.canvas_width), kFaceWidth);
  EXPECT_EQ(int(info.canvas_height), kFaceHeight);
  int frames = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder)) {
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &rgba, &timestamp));
    EXPECT_EQ(timestamp, 250 * (frames + 1));
    if (frames == 2) {  // 180 degrees: the same state as render at 180
      const std::vector<uint8_t> drawn = render::StraightRgba(RenderedBy(FixtureModule(), "--set 1001=180"));
      ASSERT_EQ(drawn.size(), size_t(kFaceWidth) * kFaceHeight * 4);
      EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), rgba));
      const std::vector<uint8_t> other = render::StraightRgba(RenderedBy(FixtureModule(), "--set 1001=90"));
      EXPECT_FALSE(std::equal(other.begin(), other.end(), rgba));
    }
    ++frames;
  }
  EXPECT_EQ(frames, 4);
  WebPAnimDecoderDelete(decoder);
}

}  // namespace
}  // namespace gauge::test
