// gauge-host click FILE.gau X Y [--set ID=VALUE ...] [--json]: install and
// initialise the gauge, then click face pixel (X, Y): the registered child
// area holding it gets its mouse function called; print the area, the
// function's result and every event it sent.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "command.h"
#include "format.h"
#include "options.h"

namespace gauge::cli {
namespace {

struct ClickOptions {
  std::string file, x, y;
  std::vector<std::string> settings;
  bool json = false;
};

int32_t Coordinate(const std::string& text, const std::string& what) {
  return int32_t(WholeNumber(text, what + " (a face pixel)", INT32_MIN, INT32_MAX));
}

void PrintText(const ClickResult& click, int32_t x, int32_t y) {
  if (!click.hit) {
    std::printf("no mouse area at (%d, %d): nothing sent\n", x, y);
    return;
  }
  std::printf("hit mouse areas[%d], function %s, result %u\n", click.area_index, Address(click.function).c_str(),
              click.result);
  for (const ServiceCall& event : click.events)
    std::printf("  event %s, parameter %s\n", Code(event.args[0]).c_str(), Code(event.args[1]).c_str());
}

void PrintClickJson(const ClickResult& click, int32_t x, int32_t y) {
  Json json = {{"x", x}, {"y", y}, {"hit", click.hit}};
  if (click.hit) {
    json["area"] = click.area_index;
    json["function"] = Address(click.function);
    json["result"] = click.result;
  }
  json["events"] = Json::array();
  for (const ServiceCall& event : click.events)
    json["events"].push_back({{"event", Code(event.args[0])}, {"parameter", Code(event.args[1])}});
  PrintJson(json);
}

int RunClick(const ClickOptions& o) {
  const int32_t x = Coordinate(o.x, "X");
  const int32_t y = Coordinate(o.y, "Y");
  const auto settings = VariableSettings(o.settings);

  auto session = GaugeSession::Load(o.file);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  session->Install(0);
  session->Initialize();
  RequireRead(*session, settings);
  const ClickResult click = session->Click(x, y);
  if (o.json)
    PrintClickJson(click, x, y);
  else
    PrintText(click, x, y);
  return 0;
}

std::function<int()> DefineClick(CLI::App& app) {
  auto o = std::make_shared<ClickOptions>();
  AddFileArgument(app, o->file);
  app.add_option("X", o->x, "face pixel column, from the left (whole number)")->type_name("")->required();
  app.add_option("Y", o->y, "face pixel row, from the top (whole number)")->type_name("")->required();
  AddSetOption(app, o->settings);
  AddJsonFlag(app, o->json);
  return [o] { return RunClick(*o); };
}

}  // namespace

Command ClickCommand() {
  return {"click", "click FILE.gau X Y [--set ID=VALUE]... [--json]",
          "click face pixel (X, Y): call the mouse function of the area under it",
          "click dist/Tavoran_Landing.gau 120 300",
          "the area hit, its function's result and every event it sent", DefineClick};
}

}  // namespace gauge::cli
