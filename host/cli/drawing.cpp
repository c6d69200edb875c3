#include "drawing.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "annotate.h"
#include "format.h"
#include "session_scene.h"

namespace gauge::cli {
namespace {

constexpr double kMaxScale = 16;

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

}  // namespace

void AddPictureOptions(CLI::App& app, PictureOptions& options, const std::string& output_kind) {
  AddFileArgument(app, options.file);
  AddSetOption(app, options.settings);
  app.add_option("-o", options.output, "write the picture to OUT (" + output_kind + ", or - for standard output)")
      ->type_name("OUT")
      ->required();
  app.add_option("--scale", options.scale, "picture pixels per gauge pixel (above 0, at most 16; default 1)")
      ->type_name("S");
  app.add_flag("--areas", options.areas, "outline the clickable areas, numbered, with a legend of their cursors and boxes");
}

double Scale(const std::string& text) {
  const double scale = Number(text, "--scale");
  if (!(scale > 0 && scale <= kMaxScale)) Usage("--scale must lie above 0 and at most 16: '" + text + "'");
  return scale;
}

std::unique_ptr<GaugeSession> StartGauge(const std::string& file, const std::map<int32_t, double>& settings) {
  auto session = GaugeSession::Load(file);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  session->Install(0);
  session->Initialize();
  return session;
}

render::Canvas DrawFrame(GaugeSession& session, render::Renderer& renderer, double scale, bool areas,
                         const std::function<void(double width, double height)>& check, int cycles) {
  for (int i = 1; i < cycles; ++i) session.RunUpdateCycle();
  const GaugePicture picture = PictureOf(session, session.RunUpdateCycle());
  if (check) check(picture.scene.width * scale, picture.scene.height * scale);
  render::Canvas canvas;
  std::string error;
  if (!renderer.Render(picture.scene, scale, canvas, error)) throw HostError(ErrorKind::kRender, error);
  if (canvas.width == 0 || canvas.height == 0) {
    char smallest[32];
    std::snprintf(smallest, sizeof smallest, "%.3g",
                  std::ceil(500.0 / std::max(1, std::min(picture.scene.width, picture.scene.height))) / 1000);
    Usage("--scale " + ShortText(scale) + " leaves the " + std::to_string(picture.scene.width) + " x " +
          std::to_string(picture.scene.height) + " gauge no pixel; the smallest scale for it is " + smallest);
  }
  if (areas) return render::WithAreaLegend(canvas, ClickableAreas(session), scale, renderer.text());
  return canvas;
}

void WritePicture(const OutputFile& output, const render::Canvas& canvas) {
  std::string error;
  if (!render::WritePng(output.path, canvas, error)) throw HostError(ErrorKind::kFile, error);
}

void WriteBytes(const OutputFile& output, const std::vector<uint8_t>& bytes) {
  FILE* file = output.to_stdout() ? stdout : std::fopen(output.path.c_str(), "wb");
  if (!file) throw HostError(ErrorKind::kFile, "cannot write " + output.path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = output.to_stdout() ? std::fflush(file) == 0 : std::fclose(file) == 0;
  if (!written || !closed) throw HostError(ErrorKind::kFile, "cannot write " + output.path + ": " + std::strerror(errno));
}

}  // namespace gauge::cli
