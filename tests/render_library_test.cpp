// The renderer's own rules where the fixture module cannot reach them:
// calibration tables of other shapes, window surrounds, scaling, PNG round
// trips and sheet layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "annotate.h"
#include "scene.h"

namespace gauge::render {
namespace {

TEST(CalibratedNeedleAngle, FollowsTablesOfEveryShape) {
  const Point pivot{100, 100};
  const std::vector<CalibrationPoint> counter_clockwise = {
      {{100, 200}, -1}, {{200, 100}, 0}, {{100, 0}, 1}};  // 90, 0, 270 degrees
  const std::vector<CalibrationPoint> single = {{{100, 0}, 5}};
  const std::vector<CalibrationPoint> none;
  const struct {
    const std::vector<CalibrationPoint>* table;
    double value, angle;
  } cases[] = {
      {&counter_clockwise, -1, 90},     {&counter_clockwise, -0.5, 45},
      {&counter_clockwise, 0.5, 315},   // short way back across 3 o'clock
      {&counter_clockwise, 1, 270},     {&counter_clockwise, 7, 270},
      {&counter_clockwise, -7, 90},     {&counter_clockwise, std::nan(""), 90},
      {&single, -3, 270},               {&single, 30, 270},
      {&none, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_NEAR(CalibratedNeedleAngle(pivot, *c.table, c.value), c.angle, 1e-9);
  }
}

IndexedBitmap Filled(int w, int h, uint8_t index) {
  IndexedBitmap b;
  b.width = w, b.height = h;
  b.pixels.assign(static_cast<size_t>(w) * h, index);
  return b;
}

TEST(SurroundIndex, IsTheIndexAlongTheEdgesEvenWhenTheOpeningIsLarger) {
  IndexedBitmap window = Filled(10, 10, 7);
  for (int y = 1; y < 9; ++y)
    for (int x = 1; x < 9; ++x) window.pixels[y * 10 + x] = 3;
  window.pixels[5] = 3;  // the opening may touch an edge
  EXPECT_EQ(SurroundIndex(window), 7);
}

// At scale 2 each gauge pixel covers 2 x 2 canvas pixels, and a bitmap
// drawn unturned keeps its colours on them (a flat bitmap stays flat up to
// its edges, bilinear sampling blending only across them).
TEST(Renderer, ScaleEnlargesAboutPixelCentres) {
  IndexedBitmap face = Filled(8, 6, 1);
  face.palette[1] = Rgb{10, 200, 30};
  Scene scene{8, 6, {ImageItem{&face, {0, 0}, {0, 0}, 0}}};
  Renderer renderer;
  Canvas canvas;
  std::string error;
  ASSERT_TRUE(renderer.Render(scene, 2, canvas, error)) << error;
  EXPECT_EQ(canvas.width, 16);
  EXPECT_EQ(canvas.height, 12);
  EXPECT_EQ(canvas.at(1, 1), (Rgba{10, 200, 30, 255}));
  EXPECT_EQ(canvas.at(14, 10), (Rgba{10, 200, 30, 255}));
  // The outermost canvas pixels sample a quarter pixel beyond the edge, on
  // both sides alike: three quarters covered.
  EXPECT_EQ(canvas.at(0, 5).a, 191);
  EXPECT_EQ(canvas.at(15, 5).a, 191);
}

// One renderer keeps what it derives from each bitmap across frames; a
// bitmap changed in place between frames (palette, pixels, a window's
// opening) is drawn as it now is.
TEST(Renderer, DrawsBitmapsChangedBetweenFramesAsTheyNowAre) {
  IndexedBitmap face = Filled(6, 4, 1), drum = Filled(6, 4, 2), window = Filled(6, 4, 5);
  face.palette[1] = Rgb{10, 20, 30};
  face.palette[3] = Rgb{40, 50, 60};
  drum.palette[2] = Rgb{200, 0, 0};
  window.pixels[1 * 6 + 2] = 6;  // the opening: one pixel
  const Scene scene{6, 4, {ImageItem{&face, {0, 0}, {0, 0}, 0}, SpriteItem{&drum, {0, 0}, {0, 0}, 0, &window}}};
  const Rgba face_colour{10, 20, 30, 255};
  const struct {
    const char* change;
    void (*apply)(IndexedBitmap& face, IndexedBitmap& drum, IndexedBitmap& window);
    std::vector<std::pair<Point, Rgba>> expected;  // canvas pixel, colour
  } frames[] = {
      {"first frame", [](IndexedBitmap&, IndexedBitmap&, IndexedBitmap&) {},
       {{{2, 1}, {200, 0, 0, 255}}, {{4, 2}, face_colour}, {{0, 0}, face_colour}}},
      {"drum palette", [](IndexedBitmap&, IndexedBitmap& d, IndexedBitmap&) { d.palette[2] = Rgb{0, 200, 0}; },
       {{{2, 1}, {0, 200, 0, 255}}, {{4, 2}, face_colour}}},
      {"window opening moved",
       [](IndexedBitmap&, IndexedBitmap&, IndexedBitmap& w) { w.pixels[1 * 6 + 2] = 5, w.pixels[2 * 6 + 4] = 6; },
       {{{2, 1}, face_colour}, {{4, 2}, {0, 200, 0, 255}}}},
      {"face pixel", [](IndexedBitmap& f, IndexedBitmap&, IndexedBitmap&) { f.pixels[0] = 3; },
       {{{0, 0}, {40, 50, 60, 255}}, {{1, 0}, face_colour}, {{4, 2}, {0, 200, 0, 255}}}},
  };
  Renderer renderer;
  Canvas canvas;
  std::string error;
  for (const auto& frame : frames) {
    SCOPED_TRACE(frame.change);
    frame.apply(face, drum, window);
    ASSERT_TRUE(renderer.Render(scene, 1, canvas, error)) << error;
    for (const auto& [at, colour] : frame.expected)
      EXPECT_EQ(canvas.at(int(at.x), int(at.y)), colour) << at.x << "," << at.y;
  }
}

// Rendering into a canvas used before leaves nothing of the old picture:
// not around a face smaller than the gauge, not through its see-through
// pixels, whether the face is copied (whole-pixel offset) or sampled.
TEST(Renderer, NothingOfTheLastPictureShowsAroundOrThroughTheFace) {
  IndexedBitmap face = Filled(4, 3, 1);
  face.palette[1] = Rgb{0, 200, 0};
  face.pixels[1 * 4 + 1] = 0;  // a see-through pixel
  const Rgba old{255, 0, 0, 255};
  const struct {
    const char* placement;
    Point position;
    double angle;
    bool whole_pixels;
  } cases[] = {{"whole-pixel offset", {2, 1}, 0, true}, {"half-pixel offset", {2.5, 1}, 0, false},
               {"turned", {2, 1}, 30, false}};
  Renderer renderer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.placement);
    const Scene scene{8, 6, {ImageItem{&face, c.position, {0, 0}, c.angle}}};
    Canvas canvas(8, 6);
    canvas.Fill(old);
    std::string error;
    ASSERT_TRUE(renderer.Render(scene, 1, canvas, error)) << error;
    int green = 0;
    for (const Rgba& p : canvas.pixels) {
      ASSERT_EQ(p.r, 0);  // red is gone everywhere
      green += p == Rgba{0, 200, 0, 255};
    }
    EXPECT_GT(green, 0);
    if (!c.whole_pixels) continue;
    EXPECT_EQ(green, 4 * 3 - 1);
    EXPECT_EQ(canvas.at(3, 2), (Rgba{0, 0, 0, 0}));  // the see-through pixel
    EXPECT_EQ(canvas.at(0, 0), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(canvas.at(7, 5), (Rgba{0, 0, 0, 0}));
  }
}

// Module records can hold any 32-bit geometry: a bitmap, a text box or an
// area far off the gauge draws nothing and breaks nothing.
TEST(Renderer, GeometryFarOffTheGaugeDrawsNothing) {
  IndexedBitmap needle = Filled(20, 4, 1);
  const int big = 2147483647, small = -2147483647 - 1;
  Scene scene{50, 40, {}};
  scene.items.push_back(ImageItem{&needle, {2e9, -2e9}, {0, 0}, 33});
  scene.items.push_back(ImageItem{&needle, {double(small), double(big)}, {double(big), 0}, 0});
  scene.items.push_back(SpriteItem{&needle, {-2e9, 0}, {2e9, 2e9}, 1e300, &needle});
  scene.items.push_back(TextItem{std::string(3000, '8'), "Courier New", 400, 0xFFFFFF, -2000000000, 0, big, big,
                                 0x25, 4});
  scene.items.push_back(TextItem{"12", "Courier New", 400, 0xFFFFFF, small, small, big, big, 0x125, 2});
  scene.items.push_back(TextItem{"12", "Courier New", 400, 0xFFFFFF, 10, 10, -5, 20, 0x25, 2});
  Renderer renderer;
  for (const double scale : {1.0, 16.0}) {
    Canvas canvas;
    std::string error;
    ASSERT_TRUE(renderer.Render(scene, scale, canvas, error)) << error;
    const AreaOutline areas[] = {{big, big, big, big, 1}, {small, small, big, big, 2}, {small, 0, -5, small, 3}};
    const Canvas marked = WithAreaLegend(canvas, areas, scale, renderer.text());
    ASSERT_GE(marked.height, canvas.height);
    for (int y = 0; y < canvas.height; ++y)
      for (int x = 0; x < canvas.width; ++x) ASSERT_EQ(marked.at(x, y).a, 0);  // the legend lies below
  }
}

TEST(Png, KeepsColourAndPartialAlpha) {
  Canvas canvas(3, 2);
  canvas.at(0, 0) = Rgba{100, 50, 0, 200};
  canvas.at(2, 1) = Rgba{255, 255, 255, 255};
  const std::string path = (std::filesystem::temp_directory_path() / "render_library_test.png").string();
  std::string error;
  ASSERT_TRUE(WritePng(path, canvas, error)) << error;
  Canvas back;
  ASSERT_TRUE(ReadPng(path, back, error)) << error;
  std::filesystem::remove(path);
  ASSERT_EQ(back.width, 3);
  for (size_t i = 0; i < canvas.pixels.size(); ++i) {
    EXPECT_NEAR(back.pixels[i].r, canvas.pixels[i].r, 1);
    EXPECT_NEAR(back.pixels[i].g, canvas.pixels[i].g, 1);
    EXPECT_EQ(back.pixels[i].a, canvas.pixels[i].a);
  }
  EXPECT_FALSE(WritePng("/nonexistent-dir/x.png", canvas, error));
  EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
}

// The committed fixture bitmaps are what their generator draws.
TEST(RenderFixtureArt, CommittedBitmapsAreTheGeneratorsOutput) {
  const auto dir = std::filesystem::temp_directory_path() / ("render-fixture-art-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ASSERT_EQ(std::system((std::string(MAKE_FIXTURE_ART_COMMAND) + " " + dir.string()).c_str()), 0);
  const auto committed = std::filesystem::path(GAUGE_SOURCE_DIR) / "tests/fixture_modules/render/art";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream made(entry.path(), std::ios::binary), kept(committed / entry.path().filename(), std::ios::binary);
    ASSERT_TRUE(kept.good());
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(made), {}, std::istreambuf_iterator<char>(kept), {}));
    ++files;
  }
  std::filesystem::remove_all(dir);
  EXPECT_EQ(files, 4);
}

TEST(ContactSheet, LaysFramesOutInRowsWithCaptions) {
  Canvas frame(40, 30);
  frame.Fill(Rgba{255, 0, 0, 255});
  const std::vector<Canvas> frames(5, frame);
  const std::vector<std::string> captions = {"0", "1", "2", "3", "4"};
  TextRenderer text;
  const Canvas sheet = ContactSheet(frames, captions, text);
  // Five frames: three columns, two rows.
  int red_columns = 0;
  for (int x = 0; x < sheet.width; ++x) red_columns += sheet.at(x, 20) == Rgba{255, 0, 0, 255};
  EXPECT_EQ(red_columns, 3 * 40);
  EXPECT_GT(sheet.height, 2 * 30 + 2 * 16);
  // Captions: light pixels below the first frame.
  int caption_pixels = 0;
  for (int y = 12 + 30; y < 12 + 30 + 24; ++y)
    for (int x = 12; x < 52; ++x) caption_pixels += sheet.at(x, y).r > 200;
  EXPECT_GT(caption_pixels, 5);
}

}  // namespace
}  // namespace gauge::render
