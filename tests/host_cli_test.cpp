// gauge-host as a command: what info, run and click print for the built
// modules, and every kind of bad input: one line on stderr naming the
// problem and exit code 2, never a crash or a hang.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "cli_in_process.h"
#include "host_test_support.h"

namespace {

using namespace host_test;
using gauge::ErrorKind;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A copy of the airspeed module with `patch` applied.
std::string PatchedAirspeed(const std::string& name, const std::function<void(std::vector<uint8_t>&)>& patch) {
  std::vector<uint8_t> bytes = ReadBytes(DistModule("Ostrel_Airspeed"));
  EXPECT_GT(bytes.size(), 4096u);
  patch(bytes);
  const std::string path = ScratchPath(name);
  WriteBytes(path, bytes);
  return Quoted(path);
}

struct BadInput {
  const char* name;
  std::function<std::string()> args;  // the command line after "gauge-host"
  const char* message;                // a part of the one line on stderr
  std::optional<ErrorKind> kind;      // of the error the command ends with (none: main's own usage line)
  friend void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }
};

const BadInput kBadInputs[] = {
    {"missing file", [] { return "run " + Quoted(ScratchPath("no-such.gau")); }, "no-such.gau: No such file or directory",
     ErrorKind::kFile},
    {"not a PE file",
     [] {
       const std::string path = ScratchPath("text.gau");
       WriteBytes(path, std::vector<uint8_t>(300, 'a'));
       return "info " + Quoted(path);
     },
     "not a PE file", ErrorKind::kFormat},
    {"empty file",
     [] {
       const std::string path = ScratchPath("empty.gau");
       WriteBytes(path, {});
       return "run " + Quoted(path);
     },
     "not a PE file", ErrorKind::kFormat},
    {"64-bit PE",
     [] { return "run " + PatchedAirspeed("pe64.gau", [](auto& b) { b[PeOffsets(b).magic()] = 0x0B, b[PeOffsets(b).magic() + 1] = 0x02; }); },
     "64-bit PE", ErrorKind::kFormat},
    {"an executable, not a DLL",
     [] { return "run " + PatchedAirspeed("exe.gau", [](auto& b) { b[PeOffsets(b).characteristics() + 1] &= ~0x20; }); },
     "not a DLL", ErrorKind::kFormat},
    {"truncated in the headers",
     [] { return "info " + PatchedAirspeed("short.gau", [](auto& b) { b.resize(PeOffsets(b).section(1)); }); },
     "truncated file: headers", ErrorKind::kFormat},
    {"truncated in a section",
     [] { return "info " + PatchedAirspeed("cut.gau", [](auto& b) { b.resize(b.size() / 2); }); },
     "truncated file: section", ErrorKind::kFormat},
    {"section outside the image",
     [] {
       return "info " + PatchedAirspeed("outside.gau", [](auto& b) { PutWord(b, PeOffsets(b).section(1) + 12, 0x7FFF0000); });
     },
     "outside the image", ErrorKind::kFormat},
    {"image size beyond reason",
     [] { return "info " + PatchedAirspeed("huge.gau", [](auto& b) { PutWord(b, PeOffsets(b).size_of_image(), 0xFFFFF000); }); },
     "image size", ErrorKind::kFormat},
    {"relocation block of a bad size",
     [] {
       return "info " + PatchedAirspeed("reloc.gau", [](auto& b) {
         const PeOffsets o(b);
         const uint32_t reloc_rva = Word(b, o.directory(5));
         for (int i = 0; i < 16; ++i) {  // find the section holding the table, patch its first block size
           const size_t s = o.section(i);
           const uint32_t va = Word(b, s + 12), size = Word(b, s + 8);
           if (reloc_rva >= va && reloc_rva < va + size) {
             PutWord(b, Word(b, s + 20) + (reloc_rva - va) + 4, 3);
             return;
           }
         }
         ADD_FAILURE() << "no relocation section";
       });
     },
     "relocation block", ErrorKind::kFormat},
    {"a DLL without the two exports",
     [] {
       return "info " + PatchedAirspeed("noexports.gau", [](auto& b) {
         PutWord(b, PeOffsets(b).directory(0), 0);
         PutWord(b, PeOffsets(b).directory(0) + 4, 0);
       });
     },
     "does not export Linkage and ImportTable", ErrorKind::kLoad},
    {"an import the host has no stub for", [] { return "run " + Quoted(FixtureModule("FixtureStrayImport")); },
     "KERNEL32.dll!Beep, which the host does not provide", ErrorKind::kLoad},
    {"an unsupported service slot", [] { return "run " + Quoted(FixtureModule("HostileFixture")) + " --set 1=2"; },
     "module called unsupported service 5", ErrorKind::kUnsupportedService},
    {"a run-away value function", [] { return "run " + Quoted(FixtureModule("HostileFixture")) + " --set 1=1"; },
     "ran away", ErrorKind::kRunaway},
    {"a read of unmapped memory", [] { return "run " + Quoted(FixtureModule("HostileFixture")) + " --set 1=3"; },
     "read unmapped memory at 0x00000010", ErrorKind::kMemoryFault},
    {"an invalid instruction", [] { return "run " + Quoted(FixtureModule("HostileFixture")) + " --set 1=4"; },
     "invalid instruction", ErrorKind::kCpuException},
    {"a mouse function that leaves its arguments", [] { return "click " + Quoted(FixtureModule("HostileFixture")) + " 1 1"; },
     "stack off by -8 bytes", ErrorKind::kCallingConvention},
    {"a mouse function that leaves the x87 stack", [] { return "click " + Quoted(FixtureModule("HostileFixture")) + " 9 1"; },
     "x87 stack unbalanced", ErrorKind::kCallingConvention},
    {"a value function that leaves the x87 control word changed",
     [] { return "run " + Quoted(FixtureModule("HostileFixture")) + " --set 1=6"; },
     "left the x87 control word at 0x0F7F instead of restoring the host's 0x027F", ErrorKind::kCallingConvention},
    {"a string callback that overruns its buffer", [] { return "run " + Quoted(FixtureModule("FrameFixture")) + " --set 6=9"; },
     "wrote outside its text buffer", ErrorKind::kGuardBytes},
    {"no file named", [] { return std::string("run"); }, "usage: gauge-host run FILE.gau", ErrorKind::kUsage},
    {"unknown subcommand", [] { return std::string("fly"); }, "unknown command 'fly'", ErrorKind::kUsage},
    {"bad --set", [] { return "run " + Quoted(DistModule("Ostrel_Airspeed")) + " --set 61"; }, "ID=VALUE", ErrorKind::kUsage},
    {"bad --frames", [] { return "run " + Quoted(DistModule("Ostrel_Airspeed")) + " --frames many"; },
     "not a whole decimal number: 'many'", ErrorKind::kUsage},
    {"bad click coordinate", [] { return "click " + Quoted(DistModule("Ostrel_Airspeed")) + " 1 y"; },
     "not a whole decimal number: 'y'", ErrorKind::kUsage},
};

class BadInputCase : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputCase, GetsOneLineExitCode2AndItsKind) {
  const BadInput& c = GetParam();
  const std::string args = c.args();
  const CommandResult r = RunHost(args);
  EXPECT_EQ(r.exit_code, 2) << r.err;
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line: " << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_EQ(gauge::test::CommandErrorKind(args), c.kind) << r.err;
}

INSTANTIATE_TEST_SUITE_P(HostCommand, BadInputCase, ::testing::ValuesIn(kBadInputs),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return TestName(info.param.name); });

TEST(HostCommand, RunPrintsResultsBitExactAndEveryCall) {
  const CommandResult r = RunHost("run " + Quoted(DistModule("Ostrel_Airspeed")) + " --set 61=100 --cycles 2");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  size_t values = 0;
  for (size_t at = 0; (at = r.out.find("element[1] (needle): needle angle 270 degrees clockwise from 3 o'clock (bits 0x4070e00000000000)", at)) != std::string::npos; ++at)
    ++values;
  EXPECT_EQ(values, 2u) << r.out;
  for (const char* call : {"InstallElements", "InstallMouseAreas", "RegisterMouseAreas", "InitializeElements",
                           "UpdateElements", "GenerateElements", "DrawElements", "UnregisterMouseAreas", "KillElements"})
    EXPECT_NE(r.out.find(call), std::string::npos) << call;
}

TEST(HostCommand, RunJsonCarriesPhasesCallsAndBits) {
  const CommandResult r = RunHost("run " + Quoted(FixtureModule("FrameFixture")) + " --set 6=2 --set 7=1 --json");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.front(), '[');
  for (const char* part : {"\"phase\":\"cycle 1\"", "\"name\":\"ReadVariable\"", "\"text\":\"xx\"",
                           "\"bits\":\"0x3ff0000000000000\"", "\"phase\":\"kill\""})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
}

TEST(HostCommand, InfoPrintsTheRecordTree) {
  const CommandResult r = RunHost("info " + Quoted(DistModule("Ostrel_Airspeed")));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* part : {"gauge \"Ostrel Airspeed Gauge\"", "version 610, default_size 276",
                           "top element: kind 0 (static image), bitmap 200, position (0, 0)",
                           "element[1] (needle): kind 1 (needle), bitmap 300, position (138, 138), origin (54, 9)",
                           "failures (key, action): (6, 1), (3, 1)", "variable ids: 61", "[0] parent", "[2] end of list",
                           "200: 276 x 276, 8 bits per pixel, language 1033", "300: 179 x 19"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
  const CommandResult json = RunHost("info " + Quoted(FixtureModule("FrameFixture")) + " --json");
  ASSERT_EQ(json.exit_code, 0) << json.err;
  for (const char* part : {"\"name\":\"Frame Fixture\"", "\"kind_name\":\"sprite\"", "\"font_face\":\"Courier New\"",
                           "\"calibration\":[{\"point\":{\"x\":15,\"y\":8},\"value\":0.0}", "\"type_name\":\"child\""})
    EXPECT_NE(json.out.find(part), std::string::npos) << part << " in " << json.out;
}

TEST(HostCommand, ClickPrintsTheEventOrThatNothingWasHit) {
  const CommandResult hit = RunHost("click " + Quoted(FixtureModule("FrameFixture")) + " 3 4");
  ASSERT_EQ(hit.exit_code, 0) << hit.err;
  EXPECT_NE(hit.out.find("hit mouse areas[1]"), std::string::npos) << hit.out;
  EXPECT_NE(hit.out.find("event 0x1234, parameter 0x0"), std::string::npos) << hit.out;
  const CommandResult miss = RunHost("click " + Quoted(DistModule("Ostrel_Airspeed")) + " 138 138");
  ASSERT_EQ(miss.exit_code, 0) << miss.err;
  EXPECT_EQ(miss.out, "no mouse area at (138, 138): nothing sent\n");
}

}  // namespace
