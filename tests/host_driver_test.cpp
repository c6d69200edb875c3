// The stand-in host driving the frame fixture: all four element kinds in
// one chain, the variable store reaching records through the driver and
// through ReadVariable, the string's guarded text buffer, clicks on the
// registered child areas, and instruction counting.
#include <gtest/gtest.h>

#include <set>

#include "gauge_session.h"
#include "host_test_support.h"

namespace {

using gauge::ElementKind;
using gauge::ElementSnapshot;
using gauge::GaugeSession;
using gauge::NeedleState;
using gauge::SpriteState;
using gauge::StringState;
namespace layout = gauge::layout;
using gauge::HostError;
using gauge::LoadOptions;
using namespace host_test;

std::unique_ptr<GaugeSession> Fixture(const LoadOptions& options = {}) {
  auto s = GaugeSession::Load(FixtureModule("FrameFixture"), options);
  s->Install(0);
  s->Initialize();
  return s;
}

TEST(Driver, ReportsTheChainAsTheRecordsHoldIt) {
  auto s = Fixture();
  const std::vector<ElementSnapshot> chain = s->ElementStates();
  ASSERT_EQ(chain.size(), 4u);
  const ElementKind kinds[] = {ElementKind::kStaticImage, ElementKind::kSprite, ElementKind::kString,
                               ElementKind::kNeedle};
  const int32_t bitmaps[] = {1, 1, -1, 2};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(KindOf(chain[i]), kinds[i]);
    EXPECT_EQ(Common(chain[i]).bitmap_id, bitmaps[i]);
    EXPECT_EQ(Common(chain[i]).parent, i - 1);
  }
  const auto& sprite = std::get<SpriteState>(chain[1]);
  const auto& text = std::get<StringState>(chain[2]);
  const auto& needle = std::get<NeedleState>(chain[3]);
  EXPECT_EQ(sprite.origin.x, 8);
  EXPECT_EQ(sprite.factor, 1.0);
  EXPECT_EQ(text.font_face, "Courier New");
  EXPECT_EQ(text.char_count, 4u);
  EXPECT_EQ(text.text_format, 0x25u);
  EXPECT_EQ(text.text_size.x, 14);
  EXPECT_EQ(needle.variable_id, 7);
  ASSERT_EQ(needle.calibration.size(), 2u);
  EXPECT_EQ(needle.calibration[1].point.y, 15);
  EXPECT_EQ(needle.calibration[1].value, 10.0);
  EXPECT_EQ(needle.failures.size(), 1u);
  EXPECT_TRUE(Common(chain[0]).failures.empty());
  for (const ElementSnapshot& e : chain) EXPECT_TRUE(Results(e).empty()) << "nothing was called";
}

TEST(Driver, CallsEveryValueCallbackWithTheStoredValues) {
  auto s = Fixture();
  s->SetVariable(5, 4);
  s->SetVariable(6, 3);
  s->SetVariable(7, 2);
  s->SetVariable(9, 0.25);
  s->ClearLogs();
  const std::vector<ElementSnapshot> chain = s->RunUpdateCycle();
  const auto& text = std::get<StringState>(chain[2]);
  EXPECT_EQ(std::get<SpriteState>(chain[1]).result, -4);
  EXPECT_EQ(text.results, (std::vector<double>{3, 0, 0}));  // string: three callbacks
  ASSERT_TRUE(text.real_result.has_value());
  EXPECT_EQ(*text.real_result, 3.5);
  EXPECT_EQ(text.text, "xxx");
  EXPECT_EQ(std::get<NeedleState>(chain[3]).result, 2.25);  // needle: own value + bound one

  // The needle refreshed the bound variable through ReadVariable, once.
  int reads = 0;
  for (const gauge::ServiceCall& call : s->service_calls())
    if (call.name == "ReadVariable") {
      ++reads;
      EXPECT_EQ(call.args[0], s->records().bound_variables().at(0));
    }
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(s->emulator().ReadDouble(s->records().bound_variables()[0] + layout::Variable::value), 0.25);

  // The string's text pointer is a host buffer, not module memory.
  const uint32_t buffer = s->emulator().ReadWord(text.address + layout::String::text);
  EXPECT_NE(buffer, 0u);
  EXPECT_FALSE(s->module().contains(buffer));
}

TEST(Driver, TextThatFillsTheBufferExactlyIsAccepted) {
  auto s = Fixture();
  s->SetVariable(6, 4);  // char_count characters and the zero
  EXPECT_EQ(std::get<StringState>(s->RunUpdateCycle()[2]).text, "xxxx");
}

TEST(Driver, WritingPastTheTextBufferFails) {
  auto s = Fixture();
  s->SetVariable(6, 5);  // one character and the zero too many
  try {
    s->RunUpdateCycle();
    FAIL() << "an overrun went unnoticed";
  } catch (const HostError& e) {
    EXPECT_EQ(e.kind(), gauge::ErrorKind::kGuardBytes);
    EXPECT_NE(std::string(e.what()).find("element[2] (string)"), std::string::npos) << e.what();
  }
}

TEST(Driver, ClicksReachOnlyRegisteredChildAreas) {
  struct Case {
    int32_t x, y;
    int area;            // -1: nothing hit
    uint32_t event, parameter, result;
  };
  const Case cases[] = {
      {3, 4, 1, 0x1234, 0, 1},   {2, 3, 1, 0x1234, 0, 1},   {6, 6, 1, 0x1234, 0, 1},  // inside, both corners
      {7, 3, -1, 0, 0, 0},       {2, 7, -1, 0, 0, 0},       {8, 4, -1, 0, 0, 0},      // just outside, the gap
      {13, 6, 2, 0x1235, 7, 2},  {9, 3, 2, 0x1235, 7, 2},   {-1, -1, -1, 0, 0, 0},
  };
  auto s = Fixture();
  for (const Case& c : cases) {
    s->ClearLogs();
    const gauge::ClickResult click = s->Click(c.x, c.y);
    EXPECT_EQ(click.hit, c.area >= 0) << c.x << "," << c.y;
    EXPECT_EQ(click.area_index, c.area) << c.x << "," << c.y;
    if (c.area < 0) {
      EXPECT_TRUE(s->service_calls().empty());
      continue;
    }
    EXPECT_EQ(click.result, c.result);
    ASSERT_EQ(click.events.size(), 1u);
    EXPECT_EQ(click.events[0].args, (std::vector<uint32_t>{c.event, c.parameter}));
    EXPECT_EQ(s->service_calls().size(), 1u);
  }
  s->Kill();
  EXPECT_FALSE(s->Click(3, 4).hit) << "the list was withdrawn";
}

TEST(Driver, TheAirspeedGaugeAnswersNoClick) {
  auto s = GaugeSession::Load(DistModule("Ostrel_Airspeed"));
  s->Install(0);
  s->Initialize();
  s->ClearLogs();
  for (int32_t xy : {0, 100, 138, 275}) EXPECT_FALSE(s->Click(xy, xy).hit);
  EXPECT_TRUE(s->service_calls().empty());
}

TEST(Driver, CountsInstructionsOnlyWhenAsked) {
  LoadOptions counting;
  counting.count_instructions = true;
  for (bool on : {false, true}) {
    auto s = Fixture(on ? counting : LoadOptions{});
    s->SetVariable(7, 1);
    const uint32_t needle = s->records().elements().at(3).address;
    const uint32_t callback = s->emulator().ReadWord(needle + layout::Needle::value_callback);
    s->CallDouble(callback, {needle + layout::Needle::variable});
    const uint64_t first = s->last_instruction_count();
    s->CallDouble(callback, {needle + layout::Needle::variable});
    EXPECT_EQ(s->last_instruction_count(), first);
    if (on) {
      EXPECT_GT(first, 5u);
      EXPECT_LT(first, 200u);
    } else {
      EXPECT_EQ(first, 0u);
    }
  }
}

TEST(Driver, AuditNamesTheFieldsModuleCodeTouches) {
  LoadOptions options;
  options.audit = true;
  auto s = Fixture(options);
  s->ClearLogs();
  s->EvaluateElements();
  std::set<std::string> touched;
  for (const gauge::AuditEntry& a : s->audit())
    if (a.record.front() != '.') touched.insert(std::string(a.write ? "write " : "read ") + a.record + "." + a.field);
  const std::set<std::string> expected = {
      "read ImportTable.services",                  // ReadVariable's table
      "read element[1] (sprite).variables[0].value",
      "read element[2] (string).variables[0].value",
      "read element[2] (string).variables[1].value",
      "read element[2] (string).variables[2].value",
      "read element[2] (string).text",              // the text callback's buffer pointer
      "read element[3] (needle).variable.value",
      "read units variable.value",
  };
  EXPECT_EQ(touched, expected);
}

}  // namespace

namespace {

// After loading, each section's pages carry exactly its own rights (code
// runs but is not written, read-only data is neither, data is not run) and
// the headers are read-only.
TEST(Loader, SectionPagesCarryTheirProtections) {
  auto s = GaugeSession::Load(DistModule("Tavoran_Landing"));
  const gauge::Emulator& e = s->emulator();
  EXPECT_EQ(e.ProtectionAt(s->base()), uint32_t(gauge::kRead)) << "headers";
  int checked = 0;
  for (const gauge::PeSection& section : s->pe().sections()) {
    if (!section.mapped_size()) continue;
    SCOPED_TRACE(section.name);
    const uint32_t expected = (section.readable() ? gauge::kRead : 0) | (section.writable() ? gauge::kWrite : 0) |
                              (section.executable() ? gauge::kExecute : 0);
    EXPECT_EQ(e.ProtectionAt(s->base() + section.rva), expected);
    EXPECT_EQ(e.ProtectionAt(s->base() + section.rva + section.mapped_size() - 1), expected);
    ++checked;
  }
  EXPECT_GE(checked, 3) << "code, read-only data and data at least";
}

// A needle whose value callback points outside the module is refused
// before anything is called.
TEST(Driver, RefusesAValueCallbackOutsideTheModule) {
  auto s = Fixture();
  const uint32_t needle = s->records().elements().at(3).address;
  s->emulator().WriteWord(needle + layout::Needle::value_callback, s->service_table(0));
  s->ClearLogs();
  try {
    s->RunUpdateCycle();
    FAIL() << "a callback outside the module was called";
  } catch (const HostError& e) {
    EXPECT_NE(std::string(e.what()).find("lies outside the module"), std::string::npos) << e.what();
  }
}

}  // namespace
