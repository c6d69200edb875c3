// gauge-host click FILE.gau X Y: install and initialise the gauge, click face
// pixel (X, Y), kill the gauge; print which child area was hit, its mouse
// function's result, and every event the module sent while it was loaded.
#include <cstdint>
#include <cstdio>
#include <limits>

#include "arguments.h"
#include "command.h"
#include "format.h"

namespace gauge::cli {
namespace {

constexpr char kUsage[] = "click FILE.gau X Y";

int32_t Coordinate(const std::string& text, const char* what) {
  const int64_t v = ParseInteger(text, what);
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw HostError(ErrorKind::kUsage, std::string(what) + " lies outside the 32-bit range: " + text);
  return int32_t(v);
}

int Click(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {}, {}, 3, kUsage);
  const int32_t x = Coordinate(a.positional[1], "X");
  const int32_t y = Coordinate(a.positional[2], "Y");

  auto session = GaugeSession::Load(a.positional[0]);
  session->Install(0);
  session->Initialize();
  const ClickResult click = session->Click(x, y);
  session->Kill();

  if (!click.hit)
    std::printf("click (%d, %d): no area\n", x, y);
  else if (!click.function)
    std::printf("click (%d, %d): mouse areas[%d], no function\n", x, y, click.area_index);
  else
    std::printf("click (%d, %d): mouse areas[%d], function %s, result %u\n", x, y, click.area_index,
                Hex(click.function).c_str(), click.result);
  for (const ServiceCall& call : session->service_calls())
    if (call.name == "SendEvent") std::printf("  event %s\n", CallText(call).c_str());
  return 0;
}

const CommandRegistration kClick({"click", kUsage, Click});

}  // namespace
}  // namespace gauge::cli
