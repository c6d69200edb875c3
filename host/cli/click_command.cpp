// gauge-host click FILE.gau X Y [--set ID=VALUE ...] [--json]: install and
// initialise the gauge, then click face pixel (X, Y): the registered child
// area holding it gets its mouse function called; print the area, the
// function's result and every event it sent.
#include <cstdint>
#include <cstdio>

#include "arguments.h"
#include "command.h"
#include "format.h"

namespace gauge::cli {
namespace {

constexpr char kUsage[] = "click FILE.gau X Y [--set ID=VALUE ...] [--json]";

int32_t Coordinate(const std::string& text, const std::string& what) {
  const int64_t v = ParseInteger(text, what);
  if (v < INT32_MIN || v > INT32_MAX) throw HostError(ErrorKind::kUsage, what + " out of range");
  return int32_t(v);
}

void PrintText(const ClickResult& click, int32_t x, int32_t y) {
  if (!click.hit) {
    std::printf("no mouse area at (%d, %d): nothing sent\n", x, y);
    return;
  }
  std::printf("hit mouse areas[%d], function %s, result %u\n", click.area_index, Hex(click.function).c_str(),
              click.result);
  for (const ServiceCall& event : click.events)
    std::printf("  event %s, parameter %s\n", Hex(event.args[0]).c_str(), Hex(event.args[1]).c_str());
}

void PrintJson(const ClickResult& click, int32_t x, int32_t y) {
  JsonWriter json;
  json.BeginObject().Key("x").Integer(x).Key("y").Integer(y).Key("hit").Bool(click.hit);
  if (click.hit) {
    json.Key("area").Integer(click.area_index).Key("function").Integer(click.function);
    json.Key("result").Integer(click.result);
  }
  json.Key("events").BeginArray();
  for (const ServiceCall& event : click.events) CallJson(json, event);
  json.EndArray().EndObject();
  std::printf("%s\n", json.str().c_str());
}

int RunClick(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {"--json"}, {"--set"}, 3, kUsage);
  const int32_t x = Coordinate(a.positional[1], "X");
  const int32_t y = Coordinate(a.positional[2], "Y");
  const auto settings = ParseVariableSettings(a.values("--set"));

  auto session = GaugeSession::Load(a.positional[0]);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  session->Install(0);
  session->Initialize();
  const ClickResult click = session->Click(x, y);
  if (a.has("--json"))
    PrintJson(click, x, y);
  else
    PrintText(click, x, y);
  return 0;
}

}  // namespace

Command ClickCommand() { return {"click", kUsage, RunClick}; }
}  // namespace gauge::cli
