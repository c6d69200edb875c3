// gauge-host render FILE.gau [--set ID=VALUE ...] -o OUT.png [--scale S] [--areas]
//   update cycles (see Picture), then the gauge as the host draws it; --areas outlines
//   each clickable area with its cursor code.
// gauge-host sweep FILE.gau --var ID (--from A --to B --steps N | --values V,V,...)
//                  [--set ID=VALUE ...] -o SHEET.png [--scale S]
//   a contact sheet: one frame per value of variable ID, the value under each.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "arguments.h"
#include "command.h"
#include "session_scene.h"

namespace gauge::cli {
namespace {

constexpr char kRenderUsage[] = "render FILE.gau [--set ID=VALUE ...] -o OUT.png [--scale S] [--areas]";
constexpr char kSweepUsage[] =
    "sweep FILE.gau --var ID (--from A --to B --steps N | --values V,V,...) [--set ID=VALUE ...] -o SHEET.png "
    "[--scale S]";
constexpr double kMaxScale = 16;
constexpr int64_t kMaxFrames = 400;

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

std::string Single(const Arguments& a, const std::string& option, const std::string& usage) {
  const std::vector<std::string> given = a.values(option);
  if (given.empty()) Usage("no " + option + " given; usage: " + usage);
  if (given.size() > 1) Usage(option + " given more than once");
  return given[0];
}

double ScaleOf(const Arguments& a) {
  if (a.values("--scale").empty()) return 1;
  const double scale = ParseDouble(Single(a, "--scale", ""), "--scale");
  if (!(scale > 0 && scale <= kMaxScale)) Usage("--scale must lie above 0 and at most 16");
  return scale;
}

// The gauge loaded, installed and initialised with the variables set.
std::unique_ptr<GaugeSession> Start(const Arguments& a) {
  const auto settings = ParseVariableSettings(a.values("--set"));
  auto session = GaugeSession::Load(a.positional[0]);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  session->Install(0);
  session->Initialize();
  return session;
}

// The picture of the gauge at the variables now set. Two update cycles: an
// element may use a figure that a later element of the chain computes (the
// landing altimeter's drum reads the metres its needle stores), so after
// one cycle it would still show the previous values.
// `check`, when given, sees the picture's size in pixels before it is drawn.
render::Canvas Picture(GaugeSession& session, render::Renderer& renderer, double scale,
                       const std::function<void(double width, double height)>& check = {}) {
  session.RunUpdateCycle();
  const GaugePicture picture = PictureOf(session, session.RunUpdateCycle());
  if (check) check(picture.scene.width * scale, picture.scene.height * scale);
  render::Canvas canvas;
  std::string error;
  if (!renderer.Render(picture.scene, scale, canvas, error)) throw HostError(ErrorKind::kRender, error);
  return canvas;
}

void Write(const std::string& path, const render::Canvas& canvas) {
  std::string error;
  if (!render::WritePng(path, canvas, error)) throw HostError(ErrorKind::kFile, error);
}

int Render(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {"--areas"}, {"--set", "-o", "--scale"}, 1, kRenderUsage);
  const std::string output = Single(a, "-o", kRenderUsage);
  const double scale = ScaleOf(a);
  auto session = Start(a);
  render::Renderer renderer;
  render::Canvas canvas = Picture(*session, renderer, scale);
  if (a.has("--areas")) render::DrawAreaOutlines(canvas, ClickableAreas(*session), scale, renderer.text());
  Write(output, canvas);
  return 0;
}

// The swept values: --values as listed, or --steps values from --from to --to.
std::vector<double> SweptValues(const Arguments& a) {
  std::vector<double> values;
  const bool listed = !a.values("--values").empty();
  const bool range = !a.values("--from").empty() || !a.values("--to").empty() || !a.values("--steps").empty();
  if (listed == range) Usage("give either --from, --to and --steps, or --values; usage: " + std::string(kSweepUsage));
  if (listed) {
    const std::string list = Single(a, "--values", kSweepUsage);
    for (size_t start = 0;;) {
      const size_t comma = list.find(',', start);
      values.push_back(ParseDouble(list.substr(start, comma - start), "a value in --values"));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (static_cast<int64_t>(values.size()) > kMaxFrames) Usage("--values holds more than 400 values");
    return values;
  }
  const double from = ParseDouble(Single(a, "--from", kSweepUsage), "--from");
  const double to = ParseDouble(Single(a, "--to", kSweepUsage), "--to");
  const int64_t steps = ParseInteger(Single(a, "--steps", kSweepUsage), "--steps");
  if (steps < 1 || steps > kMaxFrames) Usage("--steps must lie between 1 and 400");
  for (int64_t k = 0; k < steps; ++k) values.push_back(steps == 1 ? from : from + (to - from) * k / (steps - 1));
  return values;
}

std::string Caption(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

int Sweep(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {}, {"--set", "-o", "--scale", "--var", "--from", "--to", "--steps", "--values"},
                                     1, kSweepUsage);
  const std::string output = Single(a, "-o", kSweepUsage);
  const double scale = ScaleOf(a);
  const int64_t var = ParseInteger(Single(a, "--var", kSweepUsage), "--var");
  if (var < INT32_MIN || var > INT32_MAX) Usage("--var out of range");
  const std::vector<double> values = SweptValues(a);
  auto session = Start(a);
  render::Renderer renderer;
  std::vector<render::Canvas> frames;
  std::vector<std::string> captions;
  // The sheet's cells fit its largest frame: every frame is checked, before
  // it is drawn, against the room a sheet of such cells may take.
  double cell_w = 0, cell_h = 0;
  const auto fits = [&](double width, double height) {
    cell_w = std::max(cell_w, width);
    cell_h = std::max(cell_h, height);
    if (cell_w * cell_h * values.size() > render::kMaxCanvasPixels)
      Usage("a sheet of " + std::to_string(values.size()) + " frames of up to " + std::to_string(std::lround(cell_w)) +
            " x " + std::to_string(std::lround(cell_h)) + " pixels is too large; use fewer frames or a smaller --scale");
  };
  for (const double value : values) {
    session->SetVariable(static_cast<int32_t>(var), value);
    frames.push_back(Picture(*session, renderer, scale, fits));
    captions.push_back(Caption(value));
  }
  Write(output, render::ContactSheet(frames, captions, renderer.text()));
  return 0;
}

}  // namespace

Command RenderCommand() { return {"render", kRenderUsage, Render}; }
Command SweepCommand() { return {"sweep", kSweepUsage, Sweep}; }
}  // namespace gauge::cli
