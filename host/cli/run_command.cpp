// gauge-host run FILE.gau [--set ID=VALUE ...] [--cycles N] [--json]:
// install and initialise the gauge, run N update cycles (two by default)
// with the given variable values, kill it. Prints every service call the
// module made (naming the variable a ReadVariable or BindVariable call
// refers to), every result of each cycle named by what it drives
// (bit-exact), every variable's value after each cycle as the module holds
// it (a value it clamped and wrote back shows), and a note where a result
// changed from one cycle to the next with the same variables: it uses a
// figure computed after it (the landing altimeter's drum reads the metres
// its needle stores later in the cycle).
#include <cstdio>
#include <memory>

#include "command.h"
#include "element_results.h"
#include "format.h"
#include "options.h"
#include "variables_read.h"

namespace gauge::cli {
namespace {

constexpr int64_t kMaxCycles = 100000;

struct VariableValue {
  int32_t id = 0;
  double host = 0;  // what the host delivers
  std::vector<std::pair<VariableReader, double>> records;  // what each record holds
};

struct Phase {
  std::string name;  // "install", "initialize", "cycle 1", "kill"
  std::vector<ServiceCall> calls;
  std::vector<ElementSnapshot> elements;
  std::vector<VariableValue> variables;  // after a cycle
  std::vector<std::string> notes;
};

// "ReadVariable(0x10009588)" and what it refers to: "variable 335 (units variable)".
std::string CallLine(const GaugeSession& session, const ServiceCall& call) {
  std::string text = CallText(call);
  if ((call.service == Service::ReadVariable || call.service == Service::BindVariable) &&
      session.module().contains(call.args[0], layout::Variable::kSize)) {
    text += ": variable " + std::to_string(int32_t(session.emulator().ReadWord(call.args[0] + layout::Variable::id)));
    if (auto named = session.NameAddress(call.args[0])) text += " (" + named->record + ")";
  }
  return text;
}

std::vector<VariableValue> VariableValues(const GaugeSession& session) {
  std::vector<VariableValue> values;
  for (const VariableRead& v : VariablesRead(session)) {
    VariableValue value{v.id, session.Variable(v.id), {}};
    for (const VariableReader& r : v.readers) {
      bool listed = false;  // one entry per record, naming all its readers
      for (auto& [reader, held] : value.records)
        if (reader.record == r.record) reader.reader += " and " + r.reader, listed = true;
      if (!listed) value.records.emplace_back(r, RecordValue(session, r.record));
    }
    values.push_back(std::move(value));
  }
  return values;
}

// Notes for results that changed since the previous cycle, the variables unchanged.
std::vector<std::string> ChangedResults(const std::vector<ElementSnapshot>& before,
                                        const std::vector<ElementSnapshot>& now, const std::string& cycle) {
  std::vector<std::string> notes;
  for (size_t i = 0; i < now.size() && i < before.size(); ++i) {
    const std::vector<double> a = Results(before[i]), b = Results(now[i]);
    if (DoubleBits(a.empty() ? 0 : a[0]) == DoubleBits(b.empty() ? 0 : b[0]) && a.size() == b.size()) continue;
    notes.push_back(Common(now[i]).role + " gave " + (a.empty() ? "nothing" : DoubleText(a[0])) + " in the cycle before and " +
                    (b.empty() ? "nothing" : DoubleText(b[0])) + " in " + cycle +
                    ", the variables unchanged: it uses a figure computed after it (a later element of the cycle, or "
                    "state the module keeps), so a single cycle shows it late");
  }
  return notes;
}

void PrintText(const std::vector<Phase>& phases, const GaugeSession& session) {
  for (const Phase& phase : phases) {
    std::printf("%s\n", phase.name.c_str());
    for (const ServiceCall& call : phase.calls) std::printf("  call %s\n", CallLine(session, call).c_str());
    for (const ElementSnapshot& element : phase.elements)
      for (const NamedResult& r : NamedResults(element)) {
        if (r.text) {
          std::printf("  %s: %s \"%s\"\n", Common(element).role.c_str(), r.name.c_str(), r.text->c_str());
          continue;
        }
        std::printf("  %s: %s %s%s%s (bits %s)\n", Common(element).role.c_str(), r.name.c_str(), DoubleText(*r.value).c_str(),
                    r.unit.empty() ? "" : " ", r.unit.c_str(), DoubleBits(*r.value).c_str());
      }
    for (const VariableValue& v : phase.variables) {
      std::printf("  variable %d: host value %s", v.id, DoubleText(v.host).c_str());
      for (const auto& [reader, value] : v.records) {
        std::printf("; %s holds %s", reader.reader.c_str(), DoubleText(value).c_str());
        if (DoubleBits(value) != DoubleBits(v.host)) std::printf(" (written back by the module)");
      }
      std::printf("\n");
    }
    for (const std::string& note : phase.notes) std::printf("  note: %s\n", note.c_str());
  }
}

Json ResultJson(double value) { return {{"value", Number(value)}, {"bits", DoubleBits(value)}}; }

void PrintRunJson(const std::vector<Phase>& phases, const GaugeSession& session) {
  Json json = Json::array();
  for (const Phase& phase : phases) {
    Json p = {{"phase", phase.name}, {"calls", Json::array()}};
    for (const ServiceCall& call : phase.calls) {
      Json c = CallJson(call);
      if ((call.service == Service::ReadVariable || call.service == Service::BindVariable) &&
          session.module().contains(call.args[0], layout::Variable::kSize))
        c["variable"] = int32_t(session.emulator().ReadWord(call.args[0] + layout::Variable::id));
      p["calls"].push_back(c);
    }
    if (!phase.elements.empty()) {
      p["elements"] = Json::array();
      for (const ElementSnapshot& element : phase.elements) {
        Json e = {{"role", Common(element).role}, {"kind", int32_t(KindOf(element))}, {"results", Json::array()}};
        for (const NamedResult& r : NamedResults(element)) {
          if (r.text) {
            e["text"] = *r.text;
            continue;
          }
          Json result = ResultJson(*r.value);
          result["name"] = r.name;
          if (!r.unit.empty()) result["unit"] = r.unit;
          e["results"].push_back(result);
        }
        p["elements"].push_back(e);
      }
      p["variables"] = Json::array();
      for (const VariableValue& v : phase.variables) {
        Json records = Json::array();
        for (const auto& [reader, value] : v.records)
          records.push_back({{"reader", reader.reader}, {"record", Address(reader.record)}, {"value", Number(value)}});
        p["variables"].push_back({{"id", v.id}, {"host_value", Number(v.host)}, {"records", records}});
      }
      p["notes"] = phase.notes;
    }
    json.push_back(p);
  }
  PrintJson(json);
}

struct RunOptions {
  std::string file;
  std::vector<std::string> settings;
  std::string cycles = "2";
  bool json = false;
};

int Run(const RunOptions& o) {
  const auto settings = VariableSettings(o.settings);
  const int64_t cycles = WholeNumber(o.cycles, "--cycles", 0, kMaxCycles);

  auto session = GaugeSession::Load(o.file);
  for (const auto& [id, value] : settings) session->SetVariable(id, value);
  std::vector<Phase> phases;
  auto phase = [&](std::string name, auto&& step) {
    const size_t first = session->service_calls().size();
    Phase p{std::move(name), {}, step(), {}, {}};
    p.calls.assign(session->service_calls().begin() + first, session->service_calls().end());
    phases.push_back(std::move(p));
  };
  using States = std::vector<ElementSnapshot>;
  phase("install", [&] { session->Install(0); return States{}; });
  phase("initialize", [&] { session->Initialize(); return States{}; });
  for (int64_t i = 1; i <= cycles; ++i) {
    const std::string name = "cycle " + std::to_string(i);
    phase(name, [&] { return session->RunUpdateCycle(0); });
    if (i == 1) RequireRead(*session, settings);
    phases.back().variables = VariableValues(*session);
    if (i > 1) phases.back().notes = ChangedResults(phases[phases.size() - 2].elements, phases.back().elements, name);
  }
  if (cycles == 1)
    phases.back().notes.push_back("one cycle: a result that uses a figure a later element computes shows the "
                                  "previous cycle's figure (run two cycles to see it settled)");
  phase("kill", [&] { session->Kill(); return States{}; });

  if (o.json)
    PrintRunJson(phases, *session);
  else
    PrintText(phases, *session);
  return 0;
}

std::function<int()> DefineRun(CLI::App& app) {
  auto o = std::make_shared<RunOptions>();
  AddFileArgument(app, o->file);
  AddSetOption(app, o->settings);
  app.add_option("--cycles,--frames", o->cycles, "how many update cycles to run (default 2)")->type_name("N");
  AddJsonFlag(app, o->json);
  return [o] { return Run(*o); };
}

}  // namespace

Command RunCommand() {
  return {"run", "run FILE.gau [--set ID=VALUE]... [--cycles N] [--json]",
          "install and initialise the gauge, run update cycles (two by default), kill it",
          "run dist/Velkor_Climb.gau --set 65=9000",
          "every service call, every result of each cycle named by what it drives, and every variable's value "
          "after each cycle as the module holds it",
          DefineRun};
}

}  // namespace gauge::cli
