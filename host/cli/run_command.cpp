// gauge-host run FILE.gau [--set ID=VALUE ...] [--frames N] [--json]:
// install and initialise the gauge, run N update/generate/draw frames with
// the given variable values, kill it; print every value callback's result
// (bit-exact) and every service call the module made.
#include <cstdio>

#include "arguments.h"
#include "command.h"
#include "format.h"

namespace gauge::cli {
namespace {

constexpr char kUsage[] = "run FILE.gau [--set ID=VALUE ...] [--frames N] [--json]";
constexpr int64_t kMaxFrames = 100000;

struct Phase {
  std::string name;  // "install", "initialize", "frame 1", "kill"
  std::vector<ServiceCall> calls;
  std::vector<ElementSnapshot> elements;
};

void PrintText(const std::vector<Phase>& phases) {
  for (const Phase& phase : phases) {
    std::printf("%s\n", phase.name.c_str());
    for (const ServiceCall& call : phase.calls) std::printf("  call %s\n", CallText(call).c_str());
    for (const ElementSnapshot& element : phase.elements) {
      const std::string& role = Common(element).role;
      for (double r : Results(element))
        std::printf("  value %s %s %s\n", role.c_str(), DoubleText(r).c_str(), DoubleBits(r).c_str());
      if (const auto* s = std::get_if<StringState>(&element)) {
        if (s->real_result)
          std::printf("  real %s %s %s\n", role.c_str(), DoubleText(*s->real_result).c_str(),
                      DoubleBits(*s->real_result).c_str());
        std::printf("  text %s \"%s\"\n", role.c_str(), s->text.c_str());
      }
    }
  }
}

void ResultJson(JsonWriter& json, double value) {
  json.BeginObject().Key("value").Number(value).Key("bits").String(DoubleBits(value)).EndObject();
}

void PrintJson(const std::vector<Phase>& phases) {
  JsonWriter json;
  json.BeginArray();
  for (const Phase& phase : phases) {
    json.BeginObject().Key("phase").String(phase.name).Key("calls").BeginArray();
    for (const ServiceCall& call : phase.calls) CallJson(json, call);
    json.EndArray().Key("elements").BeginArray();
    for (const ElementSnapshot& element : phase.elements) {
      json.BeginObject().Key("role").String(Common(element).role).Key("kind").Integer(int32_t(KindOf(element)));
      json.Key("results").BeginArray();
      for (double r : Results(element)) ResultJson(json, r);
      json.EndArray();
      if (const auto* s = std::get_if<StringState>(&element)) {
        if (s->real_result) {
          json.Key("real_result");
          ResultJson(json, *s->real_result);
        }
        json.Key("text").String(s->text);
      }
      json.EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray();
  std::printf("%s\n", json.str().c_str());
}

int Run(const std::vector<std::string>& args) {
  const Arguments a = ParseArguments(args, {"--json"}, {"--set", "--frames"}, 1, kUsage);
  const auto settings = ParseVariableSettings(a.values("--set"));
  int64_t frames = 1;
  if (auto f = a.values("--frames"); !f.empty()) frames = ParseInteger(f.back(), "--frames");
  if (frames < 0 || frames > kMaxFrames)
    throw HostError(ErrorKind::kUsage, "--frames must lie between 0 and " + std::to_string(kMaxFrames));

  auto session = GaugeSession::Load(a.positional[0]);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  std::vector<Phase> phases;
  auto phase = [&](std::string name, auto&& step) {
    const size_t first = session->service_calls().size();
    Phase p{std::move(name), {}, step()};
    p.calls.assign(session->service_calls().begin() + first, session->service_calls().end());
    phases.push_back(std::move(p));
  };
  using States = std::vector<ElementSnapshot>;
  phase("install", [&] { session->Install(0); return States{}; });
  phase("initialize", [&] { session->Initialize(); return States{}; });
  for (int64_t i = 1; i <= frames; ++i)
    phase("frame " + std::to_string(i), [&] { return session->RunUpdateCycle(0); });
  phase("kill", [&] { session->Kill(); return States{}; });

  if (a.has("--json"))
    PrintJson(phases);
  else
    PrintText(phases);
  return 0;
}

}  // namespace

Command RunCommand() { return {"run", kUsage, Run}; }
}  // namespace gauge::cli
