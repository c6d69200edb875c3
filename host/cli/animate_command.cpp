// gauge-host animate FILE.gau --var ID --from A --to B --seconds S [--fps N]
//                    [--set ID=VALUE]... -o OUT.webp [--scale S]
//   an animated WebP of variable ID going from A to B in S seconds: after a
//   settling cycle at A, each frame is one update cycle, as a host that
//   draws every cycle shows it.
#include <cmath>

#include "animation.h"
#include "drawing.h"
#include "format.h"

namespace gauge::cli {
namespace {

constexpr int64_t kMaxFrames = 1000;

[[noreturn]] void Usage(const std::string& why) { throw HostError(ErrorKind::kUsage, why); }

struct AnimateOptions {
  PictureOptions picture;
  std::string var, from, to, seconds, fps = "25";
};

int Animate(const AnimateOptions& o) {
  const OutputFile output = CheckedOutput(o.picture.output, true);
  if (!output.to_stdout() && o.picture.output.size() > 4 &&
      o.picture.output.compare(o.picture.output.size() - 4, 4, ".png") == 0)
    Usage("-o " + o.picture.output + ": an animation is written as WebP; name the file *.webp");
  const double scale = Scale(o.picture.scale);
  const int32_t var = VariableId(o.var, "--var");
  const double from = Number(o.from, "--from"), to = Number(o.to, "--to");
  const double seconds = Number(o.seconds, "--seconds");
  const int64_t fps = WholeNumber(o.fps, "--fps", 1, 50);
  if (!(seconds > 0 && seconds * fps <= kMaxFrames))
    Usage("--seconds times --fps must lie above 0 and at most " + std::to_string(kMaxFrames) + " frames");
  const int64_t frames = std::max<int64_t>(1, std::llround(seconds * double(fps)));

  const auto settings = VariableSettings(o.picture.settings);
  auto session = StartGauge(o.picture.file, settings);
  session->SetVariable(var, from);
  session->RunUpdateCycle();  // settles what a later element computes
  RequireRead(*session, settings, var);
  render::Renderer renderer;
  std::unique_ptr<render::WebpAnimation> animation;
  std::string error;
  for (int64_t k = 0; k < frames; ++k) {
    session->SetVariable(var, frames == 1 ? from : from + (to - from) * double(k) / double(frames - 1));
    const render::Canvas canvas = DrawFrame(*session, renderer, scale, o.picture.areas, {}, 1);
    if (!animation) animation = std::make_unique<render::WebpAnimation>(canvas.width, canvas.height, int(1000 / fps));
    if (!animation->Add(canvas, error)) throw HostError(ErrorKind::kFormat, error);
  }
  std::vector<uint8_t> bytes;
  if (!animation->Finish(bytes, error)) throw HostError(ErrorKind::kFile, error);
  WriteBytes(output, bytes);
  return 0;
}

std::function<int()> DefineAnimate(CLI::App& app) {
  auto o = std::make_shared<AnimateOptions>();
  AddPictureOptions(app, o->picture, "*.webp");
  app.add_option("--var", o->var, "the host variable to move (decimal id)")->type_name("ID")->required();
  app.add_option("--from", o->from, "its value in the first frame")->type_name("A")->required();
  app.add_option("--to", o->to, "its value in the last frame")->type_name("B")->required();
  app.add_option("--seconds", o->seconds, "how long the animation runs")->type_name("S")->required();
  app.add_option("--fps", o->fps, "frames per second, 1 to 50 (default 25); each frame is one update cycle")
      ->type_name("N");
  return [o] { return Animate(*o); };
}

}  // namespace

Command AnimateCommand() {
  return {"animate",
          "animate FILE.gau --var ID --from A --to B --seconds S [--fps N] [--set ID=VALUE]... -o OUT.webp "
          "[--scale S] [--areas]",
          "an animated picture of the gauge while one variable moves from A to B",
          "animate dist/Ostrel_Airspeed.gau --var 61 --from 0 --to 410 --seconds 4 -o airspeed.webp",
          "nothing; writes an animated WebP, one update cycle per frame", DefineAnimate};
}

}  // namespace gauge::cli
