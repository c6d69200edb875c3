// The artwork generator: its palette mapping and surround masks on small
// drawings, and the built gauge-artwork redrawing every committed bitmap
// byte for byte, with one line and exit code 2 for bad invocations.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include "artwork.h"

namespace {

using namespace gauge::art;
namespace fs = std::filesystem;

TEST(ArtworkPalette, NearestNeverPicksIndexZeroAndPrefersTheLowerIndexOnATie) {
  Palette palette;
  palette.AddRamp({10, 10, 10}, {30, 30, 30}, 3);  // 1: 10, 2: 20, 3: 30
  EXPECT_EQ(palette.size(), 4);
  EXPECT_EQ(palette.Nearest({0, 0, 0}), 1);  // pure black is index 0's colour, yet maps to 1
  EXPECT_EQ(palette.Nearest({15, 15, 15}), 1);
  EXPECT_EQ(palette.Nearest({26, 26, 26}), 3);
  EXPECT_EQ(palette.Entries()[0], (gauge::Rgb{0, 0, 0}));
  EXPECT_EQ(palette.Entries()[2], (gauge::Rgb{20, 20, 20}));
  EXPECT_THROW(palette.AddRamp({0, 0, 0}, {1, 1, 1}, 253), std::length_error);
}

// A ring drawn on a transparent canvas: outside it is surround, the hole it
// encloses is artwork (a near-black entry, not index 0), and so is the ring.
TEST(ArtworkSurround, AroundShapeLeavesEnclosedHolesToTheArtwork) {
  Canvas canvas(21, 21);
  canvas.Ring({10, 10}, 6, 2, {200, 200, 200});
  const Rendering rendering = canvas.Render();
  Palette palette;
  palette.AddRamp({8, 8, 8}, {200, 200, 200}, 10);
  const gauge::IndexedBitmap bitmap = Quantise(rendering, palette, AroundShape(rendering));
  EXPECT_EQ(bitmap.at(0, 0), 0);
  EXPECT_EQ(bitmap.at(10, 1), 0);
  EXPECT_EQ(bitmap.at(10, 10), 1);  // the hole: uncovered, but enclosed
  EXPECT_EQ(bitmap.colour(16, 10), (gauge::Rgb{200, 200, 200}));
}

TEST(ArtworkSurround, OutsideDiscTakesPixelCentresStrictlyBeyondTheRadius) {
  const SurroundMask mask = OutsideDisc(5, 5, {2, 2}, 2);
  EXPECT_FALSE(mask[2 * 5 + 0]);  // (0, 2): exactly on the radius
  EXPECT_TRUE(mask[0]);           // (0, 0): 2.83 away
  EXPECT_FALSE(mask[1 * 5 + 1]);  // (1, 1): 1.41 away
}

// Coordinates are pixel centres: a 1 px tick on x = 3 covers column 3 alone.
TEST(ArtworkCanvas, IntegerCoordinatesArePixelCentres) {
  Canvas canvas(7, 7);
  canvas.RadialTick({3, 0}, 90, 0.5, 5.5, 1, {255, 255, 255});
  const Rendering r = canvas.Render();
  EXPECT_NEAR(r.coverage_at(3, 3), 1.0, 1e-9);
  EXPECT_NEAR(r.coverage_at(2, 3), 0.0, 1e-9);
  EXPECT_NEAR(r.coverage_at(4, 3), 0.0, 1e-9);
  EXPECT_NEAR(r.at(3, 3).r, 255, 1e-9);
}

// A font that is not installed is an exception the caller sees, not the end
// of the program: the library never exits on its own.
TEST(ArtworkFonts, AMissingFontThrowsNamingIt) {
  EXPECT_NO_THROW(LoadFont("DejaVu Sans"));
  try {
    LoadFont("No Such Font Family Anywhere");
    ADD_FAILURE() << "a missing font loaded";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("\"No Such Font Family Anywhere\" is not installed"), std::string::npos)
        << error.what();
  }
}

struct ToolRun {
  int exit_code;
  std::string out, errors;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

fs::path Scratch() {
  const fs::path dir = fs::temp_directory_path() / ("gauge-artwork-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

ToolRun RunArtwork(const std::string& args) {
  const fs::path out = Scratch() / "stdout", err = Scratch() / "stderr";
  const int status = std::system((std::string(GAUGE_ARTWORK_COMMAND) + " " + args + " >" + out.string() +
                                  " 2>" + err.string() + " </dev/null")
                                     .c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

TEST(ArtworkCommand, RedrawsEveryCommittedBitmapByteForByte) {
  const fs::path root = Scratch() / "root";
  fs::create_directories(root);
  const ToolRun run = RunArtwork("--out-root " + root.string());
  ASSERT_EQ(run.exit_code, 0) << run.errors;
  std::istringstream written(run.out);
  int count = 0;
  for (std::string path; std::getline(written, path); ++count) {
    SCOPED_TRACE(path);
    const std::string committed = Slurp(fs::path(GAUGE_SOURCE_DIR) / path);
    EXPECT_FALSE(committed.empty());
    EXPECT_TRUE(Slurp(root / path) == committed) << "redraw with scripts/draw_artwork.sh and commit";
  }
  EXPECT_GE(count, 2);
}

TEST(ArtworkCommand, BadInvocationsGetOneLineAndExitCodeTwo) {
  const std::string root = Scratch().string();
  const char* cases[] = {
      "",
      "--bogus x",
      "--out-root",
      "--out-root /nonexistent/dir",
      "--out-root ROOT --only nothing-by-that-name",
      "--out-root ROOT --png-zoom 0",
      "--out-root ROOT --png-zoom many",
  };
  for (std::string args : cases) {
    if (const size_t at = args.find("ROOT"); at != std::string::npos) args.replace(at, 4, root);
    SCOPED_TRACE(args);
    const ToolRun run = RunArtwork(args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.errors.rfind("gauge-artwork: ", 0), 0u) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  }
}

}  // namespace
