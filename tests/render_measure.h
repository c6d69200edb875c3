// Renders made by `gauge-host` itself (the built tool on the built modules),
// read back from PNG, and the measurements the render tests make on them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bitmap.h"
#include "canvas.h"

namespace gauge::test {

using render::Canvas;
using render::Rgba;

struct HostRun {
  int exit_code = -1;
  std::string errors;  // what it wrote to stderr
};

// Runs `gauge-host ARGS` (ARGS as one shell-quoted string).
inline HostRun RunHost(const std::string& args) {
  const std::string errors_path =
      (std::filesystem::temp_directory_path() / ("gauge-host-errors-" + std::to_string(::getpid()))).string();
  const std::string command = std::string(GAUGE_HOST_COMMAND) + " " + args + " 2>" + errors_path + " >/dev/null";
  HostRun run;
  const int status = std::system(command.c_str());
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FILE* f = std::fopen(errors_path.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) run.errors.append(buffer, n);
    std::fclose(f);
  }
  std::filesystem::remove(errors_path);
  return run;
}

// A fresh path for an output picture of this test program.
inline std::string OutputPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("gauge-render-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

inline std::string FixtureModule() {
  return std::string(GAUGE_MODULE_BUILD_DIR) + "/tests/fixture_modules/render/RenderFixture.gau";
}
inline std::string ShippedModule(const std::string& name) { return std::string(GAUGE_DIST_DIR) + "/" + name + ".gau"; }

// Runs `gauge-host render MODULE ARGS -o out.png` and reads the picture.
inline Canvas RenderedBy(const std::string& module, const std::string& args) {
  const std::string out = OutputPath("render.png");
  const HostRun run = RunHost("render " + module + " " + args + " -o " + out);
  Canvas canvas;
  std::string error;
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  if (run.exit_code == 0) {
    EXPECT_TRUE(render::ReadPng(out, canvas, error)) << error;
  }
  return canvas;
}

inline const IndexedBitmap& Art(const std::string& path) {
  static std::map<std::string, IndexedBitmap> cache;
  auto [it, fresh] = cache.try_emplace(path);
  if (fresh) {
    std::string error;
    if (!ReadBmpFile(std::string(GAUGE_SOURCE_DIR) + "/" + path, it->second, error)) ADD_FAILURE() << error;
  }
  return it->second;
}

inline Rgba Opaque(Rgb c) { return Rgba{c.r, c.g, c.b, 255}; }

// The picture's pixel there, or transparent outside it.
inline Rgba PixelAt(const Canvas& canvas, int x, int y) {
  return canvas.contains(x, y) ? canvas.at(x, y) : Rgba{0, 0, 0, 0};
}

// True where a render at scale 1 shows something other than its face
// bitmap drawn as stored.
inline bool Changed(const Canvas& render, const IndexedBitmap& face, int x, int y) {
  const Rgba expected = face.at(x, y) == 0 ? Rgba{0, 0, 0, 0} : Opaque(face.colour(x, y));
  return !(render.at(x, y) == expected);
}

inline double DirectionDegrees(double dx, double dy) {
  const double degrees = std::atan2(dy, dx) * 180 / std::numbers::pi;
  return degrees < 0 ? degrees + 360 : degrees;
}

// Smallest difference between two directions, in degrees (0..180).
inline double AngleBetween(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

// The mean direction (degrees clockwise from 3 o'clock) from (px, py) of
// the pixels for which `is_needle(x, y)` holds within the ring from
// `inner` to `outer` pixels; NaN if there are none.
template <typename Predicate>
double NeedleDirection(const Canvas& canvas, double px, double py, double inner, double outer, Predicate is_needle) {
  double sx = 0, sy = 0;
  for (int y = 0; y < canvas.height; ++y) {
    for (int x = 0; x < canvas.width; ++x) {
      const double dx = x - px, dy = y - py, r = std::hypot(dx, dy);
      if (r < inner || r > outer || !is_needle(x, y)) continue;
      sx += dx / r, sy += dy / r;
    }
  }
  return sx == 0 && sy == 0 ? std::nan("") : DirectionDegrees(sx, sy);
}

}  // namespace gauge::test
