// A long run of each shipped gauge: 1,000,000 update cycles (GaugeUpdate,
// every value callback, GaugeGenerate, GaugeDraw) with its variables
// changing every cycle, then every record compared byte for byte with its
// state right after loading. Only the fields that the host fills in, and the
// one field a module writes (the climb needle's clamped value), may differ.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

#include "gauge_functions.h"

namespace gauge::test {
namespace {

constexpr int kCycles = 1'000'000;
constexpr int kClearEvery = 4096;  // forget recorded service calls as we go

struct LongRun {
  const char* module;
  // Sets the host variables for cycle i.
  std::function<void(GaugeSession&, int)> vary;
  // Checks one cycle's chain after its update.
  std::function<void(const std::vector<ElementSnapshot>&, int)> check;
  // "record.field" names that may differ from the loaded state afterwards.
  std::set<std::string> may_change;
};

void PrintTo(const LongRun& run, std::ostream* os) { *os << run.module; }

// A sawtooth over [low, high) with `steps` steps, phase-shifted by `shift`.
double Saw(int i, double low, double high, int steps, int shift = 0) {
  return low + (high - low) * ((i + shift) % steps) / steps;
}

const LongRun kRuns[] = {
    {"Ostrel_Airspeed",
     [](GaugeSession& s, int i) { s.SetVariable(61, Saw(i, -20, 440, 9973)); },
     [](const std::vector<ElementSnapshot>& chain, int i) {
       const double angle = std::get<NeedleState>(chain.at(1)).result.value();
       ASSERT_TRUE(angle >= 146.25 && angle <= 810) << "cycle " << i << ": " << angle;
     },
     {"top element.host_image[0]", "element[1] (needle).variable.value"}},
    {"Velkor_Climb",
     [](GaugeSession& s, int i) { s.SetVariable(65, Saw(i, -7000, 7000, 10007)); },
     [](const std::vector<ElementSnapshot>& chain, int i) {
       const double value = std::get<NeedleState>(chain.at(1)).result.value();
       ASSERT_TRUE(value >= -5850 && value <= 5850) << "cycle " << i << ": " << value;
     },
     {"top element.host_image[0]", "element[1] (needle).variable.value"}},
    {"Tavoran_Landing",
     [](GaugeSession& s, int i) {
       s.SetVariable(74, Saw(i, -100, 12000, 9967));
       s.SetVariable(75, Saw(i, -1500, 12000, 9949, 77));
       s.SetVariable(335, (i / 5000) % 2 ? 0.0 : 2.0);
     },
     [](const std::vector<ElementSnapshot>& chain, int i) {
       ASSERT_EQ(std::get<StringState>(chain.at(2)).text.size(), 4u) << "cycle " << i;
       const double angle = std::get<NeedleState>(chain.at(3)).result.value();
       ASSERT_EQ(angle, std::trunc(angle)) << "cycle " << i;
     },
     {"top element.host_image[0]", "element[2] (string).text", "element[2] (string).variables[0].value",
      "element[3] (needle).variable.value", "bound variable[0].value"}},
};

std::vector<uint8_t> Image(const GaugeSession& s) {
  std::vector<uint8_t> bytes(s.module().size);
  s.emulator().Read(s.base(), bytes.data(), bytes.size());
  return bytes;
}

class LongRunTest : public ::testing::TestWithParam<LongRun> {};

TEST_P(LongRunTest, RecordsKeepTheirLoadedStateThroughAMillionUpdates) {
  const LongRun& run = GetParam();
  auto session = GaugeSession::Load(std::string(GAUGE_DIST_DIR) + "/" + run.module + ".gau");
  const std::vector<uint8_t> loaded = Image(*session);

  session->Install(0);
  session->Initialize();
  for (int i = 0; i < kCycles; ++i) {
    run.vary(*session, i);
    const std::vector<ElementSnapshot> chain = session->RunUpdateCycle();
    run.check(chain, i);
    if (HasFatalFailure()) return;
    if (i % kClearEvery == 0) session->ClearLogs();
  }

  // Every record, including those handed over after loading (mouse areas,
  // the bound variable), against the image as loaded.
  const std::vector<uint8_t> now = Image(*session);
  std::set<std::string> changed;
  for (const Record& r : session->records().records()) {
    for (uint32_t b = r.address - session->base(); b < r.address - session->base() + r.size(); ++b) {
      if (now[b] == loaded[b]) continue;
      const auto name = session->NameAddress(session->base() + b);
      ASSERT_TRUE(name.has_value());
      changed.insert(name->record + "." + name->field);
    }
  }
  for (const std::string& field : changed)
    EXPECT_TRUE(run.may_change.count(field)) << run.module << ": " << field << " changed";
  // The run did change what it should: the host's image word and values.
  EXPECT_TRUE(changed.count("top element.host_image[0]"));
}

INSTANTIATE_TEST_SUITE_P(ShippedGauges, LongRunTest, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.module); });

}  // namespace
}  // namespace gauge::test
