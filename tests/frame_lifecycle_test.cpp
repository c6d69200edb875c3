// The seven lifecycle routines of the frame, through the built modules: the
// exact service calls each makes, in order, with their arguments; what
// GaugeInstall reads and when; a table swapped between calls; loading at
// other bases; and value results independent of the x87 control word.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "gauge_session.h"
#include "host_test_support.h"

namespace {

using gauge::GaugeSession;
using gauge::LoadOptions;
using gauge::ServiceCall;
using namespace host_test;

struct ExpectedCall {
  std::string name;
  std::vector<uint32_t> args;
};

// Addresses the expected calls are made of.
struct Gauge {
  uint32_t top, header, list, host_record;
  std::vector<ExpectedCall> initialize_extra;  // calls a gauge adds to GaugeInitialize
};

struct RoutineCase {
  const char* name;
  std::function<void(GaugeSession&)> call;
  std::function<std::vector<ExpectedCall>(const Gauge&)> expected;
};

const uint32_t kMax = 0xFFFFFFFFu;

const RoutineCase kRoutines[] = {
    {"GaugeQuery", [](GaugeSession& s) { s.Query(); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"QueryElements", {g.top}}}; }},
    {"GaugeInstall(0)", [](GaugeSession& s) { s.Install(0); },
     [](const Gauge& g) {
       return std::vector<ExpectedCall>{{"InstallElements", {g.top, 0}},
                                        {"InstallMouseAreas", {g.list, g.header, g.host_record + 4}},
                                        {"RegisterMouseAreas", {g.list, g.header}}};
     }},
    {"GaugeInstall(max)", [](GaugeSession& s) { s.Install(kMax); },
     [](const Gauge& g) {
       return std::vector<ExpectedCall>{{"InstallElements", {g.top, kMax}},
                                        {"InstallMouseAreas", {g.list, g.header, g.host_record + 4}},
                                        {"RegisterMouseAreas", {g.list, g.header}}};
     }},
    {"GaugeInitialize", [](GaugeSession& s) { s.Initialize(); },
     [](const Gauge& g) {
       std::vector<ExpectedCall> calls{{"InitializeElements", {g.top}}};
       calls.insert(calls.end(), g.initialize_extra.begin(), g.initialize_extra.end());
       return calls;
     }},
    {"GaugeUpdate", [](GaugeSession& s) { s.Update(); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"UpdateElements", {g.top}}}; }},
    {"GaugeGenerate(0)", [](GaugeSession& s) { s.Generate(0); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"GenerateElements", {g.top, 0}}}; }},
    {"GaugeGenerate(max)", [](GaugeSession& s) { s.Generate(kMax); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"GenerateElements", {g.top, kMax}}}; }},
    {"GaugeGenerate(0x80000001)", [](GaugeSession& s) { s.Generate(0x80000001u); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"GenerateElements", {g.top, 0x80000001u}}}; }},
    {"GaugeDraw", [](GaugeSession& s) { s.Draw(); },
     [](const Gauge& g) { return std::vector<ExpectedCall>{{"DrawElements", {g.top}}}; }},
    {"GaugeKill", [](GaugeSession& s) { s.Kill(); },
     [](const Gauge& g) {
       return std::vector<ExpectedCall>{{"UnregisterMouseAreas", {g.list, g.header}}, {"KillElements", {g.top}}};
     }},
};

struct ModuleCase {
  std::string path;
  // The free-standing variable ids GaugeInitialize binds, in order.
  std::vector<int32_t> bound_ids;
  friend void PrintTo(const ModuleCase& c, std::ostream* out) { *out << c.path; }
};

std::string ModuleName(const ::testing::TestParamInfo<ModuleCase>& info) {
  return std::filesystem::path(info.param.path).stem().string();
}

class Lifecycle : public ::testing::TestWithParam<ModuleCase> {
 protected:
  // A loaded, installed gauge and the addresses its calls carry.
  std::unique_ptr<GaugeSession> Installed(Gauge& g, const LoadOptions& options = {}) {
    auto s = GaugeSession::Load(GetParam().path, options);
    s->Install(0);
    const auto& calls = s->service_calls();
    EXPECT_EQ(calls.size(), 3u);
    g.top = s->top_element();
    g.header = s->gauge_header();
    g.list = calls.at(1).args.at(0);
    g.host_record = s->emulator().ReadWord(g.top + gauge::layout::StaticImage::host_image);
    return s;
  }
};

INSTANTIATE_TEST_SUITE_P(Modules, Lifecycle,
                         ::testing::Values(ModuleCase{DistModule("Ostrel_Airspeed"), {}},
                                           ModuleCase{DistModule("Velkor_Climb"), {}},
                                           ModuleCase{DistModule("Tavoran_Landing"), {335}},
                                           ModuleCase{FixtureModule("FrameFixture"), {9}}),
                         ModuleName);

TEST_P(Lifecycle, EachRoutineMakesExactlyItsCallsEveryTime) {
  Gauge g;
  auto s = Installed(g);
  ASSERT_TRUE(s->module().contains(g.list));
  ASSERT_FALSE(s->module().contains(g.host_record));  // a host record, not module data
  ASSERT_NE(g.host_record, 0u);
  s->Initialize();
  const auto& bound = s->records().bound_variables();
  ASSERT_EQ(bound.size(), GetParam().bound_ids.size());
  for (size_t i = 0; i < bound.size(); ++i) {
    EXPECT_EQ(int32_t(s->emulator().ReadWord(bound[i])), GetParam().bound_ids[i]);
    g.initialize_extra.push_back({"BindVariable", {bound[i]}});
  }
  for (const RoutineCase& routine : kRoutines) {
    const std::vector<ExpectedCall> expected = routine.expected(g);
    for (int round = 0; round < 3; ++round) {
      s->ClearLogs();
      routine.call(*s);
      const auto& calls = s->service_calls();
      ASSERT_EQ(calls.size(), expected.size()) << routine.name << " round " << round;
      for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].name, expected[i].name) << routine.name << " call " << i;
        EXPECT_EQ(calls[i].args, expected[i].args) << routine.name << " call " << i;
        EXPECT_EQ(calls[i].table, 0) << routine.name;
        if (i) {
          EXPECT_LT(calls[i - 1].sequence, calls[i].sequence);
        }
      }
    }
  }
}

TEST_P(Lifecycle, InstallReadsTheHostRecordOnlyAfterInstallElements) {
  LoadOptions options;
  options.audit = true;
  Gauge g;
  auto s = Installed(g, options);
  const auto& calls = s->service_calls();
  ASSERT_EQ(calls[0].name, "InstallElements");
  ASSERT_EQ(calls[1].name, "InstallMouseAreas");
  EXPECT_EQ(calls[1].args[2], g.host_record + 4);

  std::vector<gauge::AuditEntry> host_image_reads;
  for (const gauge::AuditEntry& a : s->audit()) {
    EXPECT_FALSE(a.write) << "GaugeInstall wrote " << a.record << "." << a.field;
    if (a.record == "top element" && a.field.rfind("host_image", 0) == 0) host_image_reads.push_back(a);
  }
  ASSERT_EQ(host_image_reads.size(), 1u);
  EXPECT_EQ(host_image_reads[0].field, "host_image[0]");
  EXPECT_EQ(host_image_reads[0].size, 4u);
  EXPECT_GT(host_image_reads[0].sequence, calls[0].sequence);
  EXPECT_LT(host_image_reads[0].sequence, calls[1].sequence);
}

TEST_P(Lifecycle, EveryCallReadsTheTableAddressAnew) {
  LoadOptions options;
  options.audit = true;
  Gauge g;
  auto s = Installed(g, options);
  s->Initialize();
  s->Update();
  s->Kill();
  // Each call is preceded by its own read of ImportTable.services.
  const auto& calls = s->service_calls();
  size_t a = 0;
  int64_t previous = -1;
  for (const ServiceCall& call : calls) {
    bool read = false;
    for (; a < s->audit().size() && s->audit()[a].sequence < call.sequence; ++a)
      read |= int64_t(s->audit()[a].sequence) > previous && s->audit()[a].record == "ImportTable" &&
              s->audit()[a].field == "services";
    EXPECT_TRUE(read) << call.name << " without reading ImportTable.services first";
    previous = int64_t(call.sequence);
  }
}

TEST_P(Lifecycle, QueryTakesTheTopElementThroughTheHeader) {
  LoadOptions options;
  options.audit = true;
  auto s = GaugeSession::Load(GetParam().path, options);
  s->Query();
  bool read_ref = false;
  for (const gauge::AuditEntry& a : s->audit())
    read_ref |= a.record == "gauge header" && a.field == "top_element_ref" && !a.write;
  EXPECT_TRUE(read_ref);
  ASSERT_EQ(s->service_calls().size(), 1u);
  EXPECT_EQ(s->service_calls()[0].args[0], s->top_element());
}

TEST_P(Lifecycle, ASwappedTableReceivesTheNextCall) {
  Gauge g;
  auto s = Installed(g);
  struct Step {
    int table;
    std::function<void()> call;
  };
  const Step steps[] = {
      {1, [&] { s->Initialize(); }}, {1, [&] { s->Update(); }},  {0, [&] { s->Update(); }},
      {1, [&] { s->Generate(0); }},  {0, [&] { s->Draw(); }},    {1, [&] { s->Kill(); }},
  };
  for (const Step& step : steps) {
    s->UseServiceTable(step.table);
    s->ClearLogs();
    step.call();
    ASSERT_FALSE(s->service_calls().empty());
    for (const ServiceCall& call : s->service_calls()) EXPECT_EQ(call.table, step.table) << call.name;
  }
}

TEST_P(Lifecycle, WorksAtThePreferredBaseAndAtOthers) {
  std::vector<std::vector<double>> results;
  const uint32_t preferred = gauge::PeImage::ReadFile(GetParam().path).image_base();
  for (std::optional<uint32_t> base : {std::optional<uint32_t>(), std::optional<uint32_t>(preferred),
                                       std::optional<uint32_t>(0x30000000u), std::optional<uint32_t>(0x00400000u)}) {
    LoadOptions options;
    options.base = base;
    auto s = GaugeSession::Load(GetParam().path, options);
    if (base) {
      EXPECT_EQ(s->base(), *base);
    } else {
      EXPECT_NE(s->base(), preferred) << "the default base must exercise relocations";
    }
    // Every pointer in the exported records points into the loaded image.
    using L = gauge::layout::Linkage;
    for (uint32_t offset : {L::on_load, L::on_unload, L::gauges})
      EXPECT_TRUE(s->module().contains(s->emulator().ReadWord(s->linkage() + offset)));
    for (int32_t id : {7, 9, 61}) s->SetVariable(id, 100.0);
    s->Install(0);
    s->Initialize();
    std::vector<double> frame_results;
    for (const gauge::ElementSnapshot& e : s->RunUpdateCycle()) {
      const std::vector<double> element_results = Results(e);
      frame_results.insert(frame_results.end(), element_results.begin(), element_results.end());
    }
    s->Kill();
    // install 3, initialize 1 + binds, frame 3 + one ReadVariable per bound variable, kill 2
    EXPECT_EQ(s->service_calls().size(), 9u + GetParam().bound_ids.size() * 2);
    results.push_back(frame_results);
  }
  for (const auto& r : results) EXPECT_EQ(r, results[0]);
  ASSERT_FALSE(results[0].empty());
}

// The airspeed needle, bit for bit, under the x87 control words a host may
// leave set: Windows' default, extended precision, single precision.
TEST(ValueFunctions, AirspeedIgnoresTheX87ControlWord) {
  auto s = GaugeSession::Load(DistModule("Ostrel_Airspeed"));
  const uint32_t needle = s->records().elements().at(1).address;
  using N = gauge::layout::Needle;
  const uint32_t callback = s->emulator().ReadWord(needle + N::value_callback);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double input, expected;
  } cases[] = {{25, 151.875}, {50.5, 158.625}, {200.5, 495.75}, {0.1, 0.225 * 0.1 + 146.25},
               {333.3, (333.3 - 200) * 1.5 + 495}, {1000, 810}, {-5, 146.25}, {nan, 146.25}};
  for (const auto& c : cases) {
    std::vector<uint64_t> bits;
    for (uint16_t control : {0x027F, 0x037F, 0x007F}) {
      s->emulator().SetFpuControlWord(control);
      s->emulator().WriteDouble(needle + N::variable + gauge::layout::Variable::value, c.input);
      const double r = s->CallDouble(callback, {needle + N::variable});
      EXPECT_EQ(s->emulator().fpu_control_word(), control) << "the function changed the control word";
      uint64_t b;
      std::memcpy(&b, &r, 8);
      bits.push_back(b);
    }
    EXPECT_EQ(bits[0], bits[1]) << c.input;
    EXPECT_EQ(bits[0], bits[2]) << c.input;
    double r;
    std::memcpy(&r, &bits[0], 8);
    EXPECT_EQ(r, c.expected) << c.input;
  }
}

TEST(ValueFunctions, AirspeedReadsOnlyItsVariableAndWritesNothing) {
  LoadOptions options;
  options.audit = true;
  auto s = GaugeSession::Load(DistModule("Ostrel_Airspeed"), options);
  s->Install(0);
  s->Initialize();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double input : {-5.0, 1000.0, nan}) {
    s->SetVariable(61, input);
    s->ClearLogs();
    const auto chain = s->EvaluateElements();
    std::vector<std::string> touched;
    for (const gauge::AuditEntry& a : s->audit()) {
      EXPECT_FALSE(a.write) << a.record << "." << a.field;
      if (a.record.front() != '.') touched.push_back(a.record + "." + a.field);  // not constants in .rdata
    }
    EXPECT_EQ(touched, std::vector<std::string>{"element[1] (needle).variable.value"});
    EXPECT_TRUE(s->service_calls().empty());
    const double kept = s->emulator().ReadDouble(Common(chain[1]).address + gauge::layout::Needle::variable +
                                                 gauge::layout::Variable::value);
    EXPECT_EQ(std::memcmp(&kept, &input, 8), 0) << "the record keeps the host's value " << input;
  }
}

}  // namespace
