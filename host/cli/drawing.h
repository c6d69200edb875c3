// What render, sweep and animate share: their common options, the gauge
// started with the --set values, one frame of it drawn, pictures written.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "command.h"
#include "gauge_session.h"
#include "options.h"
#include "scene.h"

namespace gauge::cli {

struct PictureOptions {
  std::string file;
  std::vector<std::string> settings;
  std::string output;
  std::string scale = "1";
  bool areas = false;
};

// FILE.gau, --set, -o (required), --scale and --areas.
void AddPictureOptions(CLI::App& app, PictureOptions& options, const std::string& output_kind);

// --scale: above 0, at most 16.
double Scale(const std::string& text);

// The gauge loaded, the variables set, installed and initialised.
std::unique_ptr<GaugeSession> StartGauge(const std::string& file, const std::map<int32_t, double>& settings);

// The picture of the gauge at the variables now set, after `cycles` update
// cycles (two by default: an element may use a figure that a later element
// of the chain computes (the landing altimeter's drum reads the metres its
// needle stores), so after one cycle it would still show the previous values).
// With `areas`, the clickable areas outlined. A scale that leaves the
// picture without a pixel is a usage error. `check`, when given, sees the
// picture's size in pixels before it is drawn.
render::Canvas DrawFrame(GaugeSession& session, render::Renderer& renderer, double scale, bool areas,
                         const std::function<void(double width, double height)>& check = {}, int cycles = 2);

void WritePicture(const OutputFile& output, const render::Canvas& canvas);
void WriteBytes(const OutputFile& output, const std::vector<uint8_t>& bytes);

}  // namespace gauge::cli
