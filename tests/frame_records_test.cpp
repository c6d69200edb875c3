// The frame's exported records and entry point, through the built modules
// loaded in the stand-in host: exactly two exports, imports from KERNEL32
// and msvcrt only, the words of ImportTable and Linkage, records in
// writable sections, and an entry point that accepts every reason code.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "gauge_session.h"
#include "host_test_support.h"

namespace {

using gauge::GaugeSession;
using gauge::LoadOptions;
using namespace host_test;

std::string ObjdumpHeaders(const std::string& path) {
  const std::string out = ScratchPath("objdump.txt");
  const std::string command = "i686-w64-mingw32-objdump -p '" + path + "' >" + out;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  const auto bytes = ReadBytes(out);
  return std::string(bytes.begin(), bytes.end());
}

// Export names listed by objdump under "[Ordinal/Name Pointer] Table".
std::set<std::string> ObjdumpExports(const std::string& text) {
  std::set<std::string> names;
  std::istringstream lines(text);
  bool in_table = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      in_table = true;
    } else if (in_table && line.find(']') != std::string::npos) {
      names.insert(line.substr(line.find(']') + 2));
    } else if (in_table) {
      break;
    }
  }
  return names;
}

std::set<std::string> ObjdumpImportedDlls(const std::string& text) {
  std::set<std::string> dlls;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (auto at = line.find("DLL Name: "); at != std::string::npos) dlls.insert(line.substr(at + 10));
  return dlls;
}

class FrameRecords : public ::testing::TestWithParam<std::string> {
 protected:
  std::string path() const { return GetParam(); }
};

std::string ModuleName(const ::testing::TestParamInfo<std::string>& info) {
  return std::filesystem::path(info.param).stem().string();
}

INSTANTIATE_TEST_SUITE_P(Modules, FrameRecords,
                         ::testing::Values(DistModule("Ostrel_Airspeed"), DistModule("Velkor_Climb"),
                                           DistModule("Tavoran_Landing"), FixtureModule("FrameFixture")),
                         ModuleName);

TEST_P(FrameRecords, ExportsExactlyLinkageAndImportTable) {
  const gauge::PeImage pe = gauge::PeImage::ReadFile(path());
  std::set<std::string> ours;
  for (const gauge::PeExport& e : pe.exports()) ours.insert(e.name);
  const std::set<std::string> expected = {"ImportTable", "Linkage"};
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(pe.exports().size(), 2u);
  EXPECT_EQ(ObjdumpExports(ObjdumpHeaders(path())), expected);
}

TEST_P(FrameRecords, ImportsOnlyKernel32AndMsvcrt) {
  const gauge::PeImage pe = gauge::PeImage::ReadFile(path());
  std::set<std::string> ours;
  for (const gauge::PeImport& i : pe.imports()) ours.insert(i.dll);
  const std::set<std::string> expected = {"KERNEL32.dll", "msvcrt.dll"};
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(ObjdumpImportedDlls(ObjdumpHeaders(path())), expected);
}

TEST_P(FrameRecords, KeepsBaseRelocations) {
  EXPECT_TRUE(gauge::PeImage::ReadFile(path()).has_relocations());
}

TEST_P(FrameRecords, ImportTableAndLinkageWordsInTheLoadedImage) {
  LoadOptions options;
  options.store_service_table = false;
  auto s = GaugeSession::Load(path(), options);
  const gauge::Emulator& e = s->emulator();
  using gauge::layout::kWord;
  using L = gauge::layout::Linkage;
  for (uint32_t at = 0; at < gauge::layout::ServiceImport::kSize; at += kWord)
    EXPECT_EQ(e.ReadWord(s->import_table() + at), at == 0 ? 0x0Fu : 0u) << "ImportTable word at " << at;

  auto linkage = [&](uint32_t offset) { return e.ReadWord(s->linkage() + offset); };
  EXPECT_EQ(linkage(L::linkage_id), 0x13u);
  for (uint32_t routine : {L::on_load, L::on_unload}) {
    const gauge::PeSection* section = s->pe().SectionAt(linkage(routine) - s->base());
    ASSERT_NE(section, nullptr) << "Linkage word at " << routine;
    EXPECT_TRUE(section->executable()) << "Linkage word at " << routine;
  }
  EXPECT_NE(linkage(L::on_load), linkage(L::on_unload));
  for (uint32_t at = L::reserved; at < L::reserved + L::reserved_bytes; at += kWord)
    EXPECT_EQ(linkage(at), 0u) << "Linkage word at " << at;
  EXPECT_EQ(linkage(L::gauges), s->gauge_header());
  EXPECT_EQ(e.ReadWord(linkage(L::gauges) + gauge::layout::GaugeHeader::version), 610u);  // a gauge header
  EXPECT_EQ(linkage(L::gauges + kWord), 0u);

  s->UseServiceTable(0);
  EXPECT_EQ(e.ReadWord(s->import_table() + gauge::layout::ServiceImport::services), s->service_table(0));
}

TEST_P(FrameRecords, NoModuleCodeWritesLinkageOrImportTable) {
  LoadOptions options;
  options.audit = true;
  auto s = GaugeSession::Load(path(), options);
  s->Install(0);
  s->Initialize();
  s->RunUpdateCycle();
  s->Kill();
  for (const gauge::AuditEntry& a : s->audit()) {
    if (a.record != "Linkage" && a.record != "ImportTable") continue;
    EXPECT_FALSE(a.write) << a.record << "." << a.field;
    EXPECT_TRUE(a.record == "ImportTable" && a.field == "services") << "module read " << a.record << "." << a.field;
  }
}

TEST_P(FrameRecords, EveryRecordLiesInOneWritableSection) {
  auto s = GaugeSession::Load(path());
  s->Install(0);
  s->Initialize();
  const auto& records = s->records().records();
  ASSERT_GE(records.size(), 7u);  // Linkage, ImportTable, header, name, top_element, two elements at least
  bool saw_mouse_areas = false;
  for (const gauge::Record& r : records) {
    saw_mouse_areas |= r.name == "mouse areas";
    const gauge::PeSection* section = s->pe().SectionAt(r.address - s->base());
    ASSERT_NE(section, nullptr) << r.name;
    EXPECT_TRUE(section->writable()) << r.name << " lies in " << section->name;
    EXPECT_TRUE(section->contains(r.address - s->base() + r.size() - 1)) << r.name << " runs out of " << section->name;
  }
  EXPECT_TRUE(saw_mouse_areas);
}

TEST_P(FrameRecords, EntryPointReturnsOneForEveryReasonCode) {
  auto s = GaugeSession::Load(path());  // loading called it for process attach
  for (uint32_t reason : {2u, 3u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu, 1u, 0u})
    EXPECT_EQ(s->CallEntryPoint(reason), 1u) << "reason " << reason;
  EXPECT_TRUE(s->service_calls().empty());
}

TEST_P(FrameRecords, LoadAndUnloadFunctionsDoNothingInAnyOrder) {
  LoadOptions options;
  options.audit = true;
  auto s = GaugeSession::Load(path(), options);
  const uint32_t on_load = s->emulator().ReadWord(s->linkage() + gauge::layout::Linkage::on_load);
  const uint32_t on_unload = s->emulator().ReadWord(s->linkage() + gauge::layout::Linkage::on_unload);
  for (uint32_t routine : {on_unload, on_load, on_load, on_unload, on_unload, on_load}) s->CallWord(routine, {});
  EXPECT_TRUE(s->service_calls().empty());
  for (const gauge::AuditEntry& a : s->audit()) EXPECT_FALSE(a.write) << a.record << "." << a.field;
}

TEST(FrameThread, StartsWithWindowsControlWords) {
  auto s = GaugeSession::Load(DistModule("Ostrel_Airspeed"));
  EXPECT_EQ(s->emulator().fpu_control_word(), 0x027F);
  EXPECT_EQ(s->emulator().mxcsr(), 0x1F80u);
}

}  // namespace
