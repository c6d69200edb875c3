// gauge-host render FILE.gau [--set ID=VALUE]... -o OUT.png [--scale S] [--areas]
//   the gauge as the host draws it after two update cycles (see DrawFrame).
// gauge-host sweep FILE.gau --var ID (--from A --to B --steps N | --values V,V,...)
//                  [--set ID=VALUE]... -o SHEET.png [--scale S] [--areas]
//   a contact sheet: one frame per value of variable ID, labelled with the
//   variable and the value the module used.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "annotate.h"
#include "drawing.h"
#include "format.h"
#include "variables_read.h"

namespace gauge::cli {
namespace {

constexpr int64_t kMaxFrames = 400;

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

int Render(const PictureOptions& o) {
  const OutputFile output = CheckedOutput(o.output, false);
  const double scale = Scale(o.scale);
  const auto settings = VariableSettings(o.settings);
  auto session = StartGauge(o.file, settings);
  render::Renderer renderer;
  const render::Canvas canvas = DrawFrame(*session, renderer, scale, o.areas);
  RequireRead(*session, settings);
  WritePicture(output, canvas);
  return 0;
}

std::function<int()> DefineRender(CLI::App& app) {
  auto o = std::make_shared<PictureOptions>();
  AddPictureOptions(app, *o, "*.png");
  return [o] { return Render(*o); };
}

struct SweepOptions {
  PictureOptions picture;
  std::string var, from, to, steps, values;
};

// The swept values: --values as listed, or --steps values from --from to --to.
std::vector<double> SweptValues(const SweepOptions& o) {
  std::vector<double> values;
  const bool listed = !o.values.empty();
  const bool range = !o.from.empty() || !o.to.empty() || !o.steps.empty();
  if (listed == range) Usage("give either --from, --to and --steps, or --values");
  if (listed) {
    for (size_t start = 0;;) {
      const size_t comma = o.values.find(',', start);
      values.push_back(Number(o.values.substr(start, comma - start), "a value in --values"));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (static_cast<int64_t>(values.size()) > kMaxFrames) Usage("--values holds more than 400 values");
    return values;
  }
  for (const auto& [given, name] : {std::pair{&o.from, "--from"}, {&o.to, "--to"}, {&o.steps, "--steps"}})
    if (given->empty()) Usage("--from, --to and --steps go together: no " + std::string(name) + " given");
  const double from = Number(o.from, "--from");
  const double to = Number(o.to, "--to");
  const int64_t steps = WholeNumber(o.steps, "--steps", 2, kMaxFrames);
  for (int64_t k = 0; k < steps; ++k) values.push_back(from + (to - from) * double(k) / double(steps - 1));
  return values;
}

// "65 = 5850 (asked 9000)": the value the module holds after the cycle in
// the record of the first element that reads the variable (a clamped value
// it wrote back shows), else the host's value.
std::string Caption(const GaugeSession& session, int32_t var, double asked) {
  double used = asked;
  for (const VariableRead& v : VariablesRead(session))
    if (v.id == var && !v.readers.empty()) used = RecordValue(session, v.readers[0].record);
  std::string caption = std::to_string(var) + " = " + ShortText(used);
  if (ShortText(used) != ShortText(asked)) caption += " (asked " + ShortText(asked) + ")";
  return caption;
}

int Sweep(const SweepOptions& o) {
  const OutputFile output = CheckedOutput(o.picture.output, false);
  const double scale = Scale(o.picture.scale);
  const int32_t var = VariableId(o.var, "--var");
  const std::vector<double> values = SweptValues(o);
  const auto settings = VariableSettings(o.picture.settings);
  auto session = StartGauge(o.picture.file, settings);
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
    session->SetVariable(var, value);
    frames.push_back(DrawFrame(*session, renderer, scale, o.picture.areas, fits));
    if (frames.size() == 1) RequireRead(*session, settings, var);
    captions.push_back(Caption(*session, var, value));
  }
  const int caption_size = static_cast<int>(std::clamp<long>(std::lround(16 * scale), 10, 64));
  WritePicture(output, render::ContactSheet(frames, captions, renderer.text(), caption_size));
  return 0;
}

std::function<int()> DefineSweep(CLI::App& app) {
  auto o = std::make_shared<SweepOptions>();
  AddPictureOptions(app, o->picture, "*.png");
  app.add_option("--var", o->var, "the host variable to sweep (decimal id)")->type_name("ID")->required();
  app.add_option("--from", o->from, "first value")->type_name("A");
  app.add_option("--to", o->to, "last value")->type_name("B");
  app.add_option("--steps", o->steps, "how many values from A to B, evenly spaced (2 to 400)")->type_name("N");
  app.add_option("--values", o->values, "the values, listed (instead of --from, --to and --steps)")
      ->type_name("V,V,...");
  return [o] { return Sweep(*o); };
}

}  // namespace

Command RenderCommand() {
  return {"render", "render FILE.gau [--set ID=VALUE]... -o OUT.png [--scale S] [--areas]",
          "draw the gauge as the host shows it at the given variable values",
          "render dist/Tavoran_Landing.gau --set 335=2 --set 74=1250 --set 75=120 -o alt.png",
          "nothing; writes a PNG picture", DefineRender};
}

Command SweepCommand() {
  return {"sweep",
          "sweep FILE.gau --var ID (--from A --to B --steps N | --values V,V,...) [--set ID=VALUE]... -o SHEET.png "
          "[--scale S] [--areas]",
          "draw the gauge at a series of values of one variable, side by side",
          "sweep dist/Velkor_Climb.gau --var 65 --from -5850 --to 5850 --steps 9 -o climb.png",
          "nothing; writes a PNG contact sheet, each frame labelled with the variable and the value the module used",
          DefineSweep};
}

}  // namespace gauge::cli
