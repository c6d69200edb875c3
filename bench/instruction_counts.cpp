// Instructions the emulator executes per call of every value and mouse
// function of the shipped gauges, and per full update of each gauge (all its
// value functions once), next to the least number of instructions that can
// do the same job. NOTES.md writes out each minimal sequence. Prints one
// markdown table.
//
//   instruction_counts DIST_DIR
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "gauge_functions.h"
#include "gauge_session.h"

namespace {

using gauge::GaugeSession;
using gauge::test::ValueSlot;

// The host's own instructions around each call (argument pushes, return
// pad) are counted too. They are measured on a routine of known length
// called the same way, and taken off: the figures are the module's alone (a
// stub's ret included, as a real host's entry would at least execute one).
struct HostOverhead {
  uint64_t value_call = 0, real_call = 0, mouse_call = 0;
};

uint64_t Measured(GaugeSession& s, bool returns_double, uint32_t words) {
  std::vector<uint8_t> code;
  if (returns_double) code = {0xD9, 0xEE};  // fldz
  const uint16_t pop = uint16_t(4 * words);
  code.insert(code.end(), {0xC2, uint8_t(pop), uint8_t(pop >> 8)});  // ret N
  const uint32_t routine = s.emulator().AddCode(code);
  const std::vector<uint32_t> args(words, 0);
  if (returns_double) s.emulator().CallDouble(routine, args);
  else s.emulator().CallWord(routine, args);
  return s.last_instruction_count() - (returns_double ? 2 : 1);
}

HostOverhead overhead;

struct Row {
  std::string function, input;
  uint64_t count = 0;
  int minimum = 0;  // 0: no goal (the readout)
};

std::vector<Row> rows;

std::unique_ptr<GaugeSession> Started(const std::string& path) {
  gauge::LoadOptions options;
  options.count_instructions = true;
  auto session = GaugeSession::Load(path, options);
  session->Install(0);
  session->Initialize();
  overhead = {Measured(*session, true, 1), Measured(*session, true, 2), Measured(*session, false, 2)};
  return session;
}

uint64_t CountValue(GaugeSession& s, const ValueSlot& slot, double value) {
  s.emulator().WriteDouble(slot.variable + gauge::layout::Variable::value, value);
  s.CallDouble(slot.callback, {slot.variable});
  return s.last_instruction_count() - overhead.value_call;
}

void Add(const std::string& function, const std::string& input, uint64_t count, int minimum) {
  rows.push_back({function, input, count, minimum});
}

// One gauge's value functions, each with the inputs that take its paths; the
// first input of each is the one its full update uses. With an empty gauge
// name only the probes are measured (no update, real or mouse function).
struct Probe {
  std::string function;
  int slot;  // index into ValueSlots
  std::vector<std::pair<std::string, double>> inputs;
  std::vector<int> minimum;  // per input
};

void Measure(const std::string& path, const std::vector<Probe>& probes,
             const std::vector<std::pair<int32_t, double>>& variables, const std::string& gauge) {
  auto s = Started(path);
  for (auto [id, value] : variables) s->SetVariable(id, value);
  const std::vector<ValueSlot> slots = gauge::test::ValueSlots(*s);
  if (const uint32_t text = gauge::test::StringElement(*s))
    s->emulator().WriteWord(text + gauge::layout::String::text, s->emulator().Allocate(64));
  uint64_t update = 0;
  int update_minimum = 0;
  bool update_has_goal = true;
  for (const Probe& p : probes) {
    for (size_t i = 0; i < p.inputs.size(); ++i) {
      const uint64_t n = CountValue(*s, slots.at(p.slot), p.inputs[i].second);
      Add(p.function, p.inputs[i].first, n, p.minimum[i]);
      if (i == 0) {
        update += n;
        update_minimum += p.minimum[i];
        update_has_goal = update_has_goal && p.minimum[i] > 0;
      }
    }
  }
  if (gauge.empty()) return;
  if (const uint32_t text = gauge::test::StringElement(*s)) {
    // The readout's own work without the formatting: no text buffer.
    const uint32_t buffer = s->emulator().ReadWord(text + gauge::layout::String::text);
    s->emulator().WriteWord(text + gauge::layout::String::text, 0);
    for (const ValueSlot& slot : slots)
      if (slot.variable == text + gauge::layout::String::variables)
        Add("LandingReadoutValue", "12.0, no text buffer (sprintf skipped)", CountValue(*s, slot, 12), 0);
    s->emulator().WriteWord(text + gauge::layout::String::text, buffer);
    const uint32_t real = s->emulator().ReadWord(text + gauge::layout::String::real_function);
    const double v = 12.0;
    s->CallDouble(real, {gauge::test::LowWord(v), gauge::test::HighWord(v)});
    const uint64_t n = s->last_instruction_count() - overhead.real_call;
    Add("LandingPassReal", "12.0", n, 2);
    update += n;
    update_minimum += 2;
  }
  Add("full update: " + gauge, "first input of each", update, update_has_goal ? update_minimum : 0);
  int i = 0;
  for (const uint32_t f : gauge::test::MouseFunctions(*s)) {
    s->CallWord(f, {10, 20});
    Add(i++ ? "LandingKnobRight" : "LandingKnobLeft", "(10, 20)", s->last_instruction_count() - overhead.mouse_call, 7);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: instruction_counts DIST_DIR\n");
    return 2;
  }
  const std::string dist = argv[1];
  const double nan = std::numeric_limits<double>::quiet_NaN();
  try {
    Measure(dist + "/Ostrel_Airspeed.gau",
            {{"AirspeedNeedleValue", 0,
              {{"120 (50 to 200)", 120}, {"25 (0 to 50)", 25}, {"300 (200 to 410)", 300},
               {"1000 (above 410)", 1000}, {"-5 (below 0)", -5}, {"NaN", nan}},
              {17, 19, 17, 11, 14, 14}}},
            {}, "Ostrel_Airspeed");
    Measure(dist + "/Velkor_Climb.gau",
            {{"ClimbNeedleValue", 0,
              {{"975 (in range)", 975}, {"6000 (above)", 6000}, {"-9000 (below)", -9000}, {"NaN", nan}},
              {9, 9, 12, 12}}},
            {}, "Velkor_Climb");
    // Landing chain: drum, readout (three callbacks), needle.
    Measure(dist + "/Tavoran_Landing.gau",
            {{"LandingDrumValue", 0, {{"123 m stored", 0}}, {8}},
             {"LandingReadoutValue", 1, {{"12.0", 12}, {"-3.2", -3.2}, {"9999.9", 9999.9}}, {0, 0, 0}},
             {"LandingPassValue", 2, {{"0.0", 0}}, {3}},
             {"LandingPassValue", 3, {{"0.0", 0}}, {3}},
             {"LandingNeedleValue", 4,
              {{"123.9, metres", 123.9}, {"1e12, metres (wide)", 1e12}, {"NaN, metres", nan}},
              {28, 38, 25}}},
            {{335, 2.0}}, "Tavoran_Landing");
    Measure(dist + "/Tavoran_Landing.gau",
            {{"LandingNeedleValue", 4, {{"1000, feet", 1000}}, {30}}}, {{335, 0.0}}, "");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "instruction_counts: %s\n", e.what());
    return 2;
  }
  std::printf("| function | input | instructions | minimum | ratio |\n|---|---|---:|---:|---:|\n");
  for (const Row& r : rows) {
    if (r.minimum)
      std::printf("| %s | %s | %llu | %d | %.2f%s |\n", r.function.c_str(), r.input.c_str(),
                  static_cast<unsigned long long>(r.count), r.minimum, double(r.count) / r.minimum,
                  double(r.count) > 1.5 * r.minimum ? " (over 1.5)" : "");
    else
      std::printf("| %s | %s | %llu | - | - |\n", r.function.c_str(), r.input.c_str(),
                  static_cast<unsigned long long>(r.count));
  }
  return 0;
}
