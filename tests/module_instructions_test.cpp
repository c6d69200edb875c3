// Every shipped module disassembled with the cross tool's objdump: no
// instruction beyond the i686 base set and the x87 unit (no MMX, SSE of any
// generation, AVX, or later integer extensions), so the modules run on every
// x86 from the Pentium Pro on. The classifier is checked first on a table of
// lines objdump prints. And the README's table of each module's imports is
// the modules' own.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gauge_session.h"
#include "host_test_support.h"

namespace {

// Registers of MMX, SSE, AVX, AVX-512 (and its masks), MPX and AMX.
constexpr const char* kLaterRegisters[] = {"%mm", "%xmm", "%ymm", "%zmm", "%k0", "%k1", "%k2", "%k3",
                                           "%k4", "%k5", "%k6", "%k7", "%bnd", "%tmm"};

// Mnemonic prefixes of instructions that need more than the i686 base set
// and the x87 unit but name none of those registers: SSE state and cache
// control, SSE3's fisttp, the later integer extensions, and the multi-byte
// NOP (0F 1F), which not every i686-class CPU decodes.
constexpr const char* kLaterMnemonics[] = {
    "emms", "femms", "ldmxcsr", "stmxcsr", "fxsave", "fxrstor", "xsave", "xrstor", "sfence",
    "lfence", "mfence", "clflush", "clwb", "movnti", "prefetch", "fisttp", "monitor", "mwait",
    "popcnt", "lzcnt", "tzcnt", "movbe", "crc32", "andn", "bextr", "blsi", "blsmsk", "blsr",
    "bzhi", "mulx", "pdep", "pext", "rorx", "sarx", "shlx", "shrx", "adcx", "adox", "rdrand",
    "rdseed", "xgetbv", "vzero", "nopl", "nopw"};

// The instruction text of one objdump -d line ("address:\tbytes\tinstruction"),
// or "" for headers, labels and byte continuation lines.
std::string InstructionOf(const std::string& line) {
  const size_t first = line.find('\t');
  if (first == std::string::npos || line.find(':') > first) return "";
  const size_t second = line.find('\t', first + 1);
  if (second == std::string::npos) return "";
  std::string text = line.substr(second + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Why an instruction needs more than i686 and x87, or "" when it does not.
std::string LaterThanI686(const std::string& instruction) {
  for (const char* r : kLaterRegisters)
    if (instruction.find(r) != std::string::npos) return std::string("uses ") + r + " registers";
  const std::string mnemonic = instruction.substr(0, instruction.find(' '));
  for (const char* m : kLaterMnemonics)
    if (mnemonic.rfind(m, 0) == 0) return "is " + mnemonic;
  return "";
}

TEST(ModuleInstructions, ClassifierKnowsTheInstructionSets) {
  struct Case {
    const char* line;
    bool later;
  };
  const Case cases[] = {
      {"69ec1663:\td9 7c 24 0e          \tfnstcw 0xe(%esp)", false},
      {"69ec167a:\tdb f1                \tfcomi  %st(1),%st", false},
      {"69ec1690:\tdf e9                \tfucomip %st(1),%st", false},
      {"69ec1700:\t0f 43 c2             \tcmovae %edx,%eax", false},
      {"69ec1710:\tdf 7c 24 08          \tfistpll 0x8(%esp)", false},
      {"69ec1720:\t66 90                \txchg   %ax,%ax", false},
      {"69ec1724:\t8d 74 26 00          \tlea    0x0(%esi,%eiz,1),%esi", false},
      {"69ec1730:\tf0 0f c7 0e          \tlock cmpxchg8b (%esi)", false},
      {"69ec2620:\tff                   \t(bad)", false},
      {"69ec1740:\tf2 0f 10 44 24 04    \tmovsd  0x4(%esp),%xmm0", true},
      {"69ec1750:\tf2 0f 2c c0          \tcvttsd2si %xmm0,%eax", true},
      {"69ec1760:\t66 0f 2e c1          \tucomisd %xmm1,%xmm0", true},
      {"69ec1770:\t0f fe c1             \tpaddd  %mm1,%mm0", true},
      {"69ec1780:\tc5 fc 77             \tvzeroall", true},
      {"69ec1790:\t62 f1 7c 48 28 c1    \tvmovaps %zmm1,%zmm0", true},
      {"69ec17a0:\t0f ae 14 24          \tldmxcsr (%esp)", true},
      {"69ec17b0:\tdd 4c 24 08          \tfisttpll 0x8(%esp)", true},
      {"69ec17c0:\t0f 18 00             \tprefetchnta (%eax)", true},
      {"69ec17d0:\t0f ae f8             \tsfence", true},
      {"69ec17e0:\t0f 77                \temms", true},
      {"69ec17f0:\tf3 0f b8 c0          \tpopcnt %eax,%eax", true},
      {"69ec1800:\t66 0f 1f 44 00 00    \tnopw   0x0(%eax,%eax,1)", true},
      {"69ec1810:\t0f 1f 40 00          \tnopl   0x0(%eax)", true},
  };
  for (const Case& c : cases) {
    const std::string instruction = InstructionOf(c.line);
    ASSERT_FALSE(instruction.empty()) << c.line;
    EXPECT_EQ(!LaterThanI686(instruction).empty(), c.later) << instruction;
  }
  for (const char* not_an_instruction :
       {"", "Disassembly of section .text:", "69ec1000 <.text>:", "69ec1627:\t00 00 00"})
    EXPECT_EQ(InstructionOf(not_an_instruction), "") << not_an_instruction;
}

TEST(ModuleInstructions, ShippedModulesUseOnlyI686AndX87) {
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    SCOPED_TRACE(module);
    const std::string command = "i686-w64-mingw32-objdump -d '" + host_test::DistModule(module) + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    int instructions = 0, x87 = 0, later = 0;
    char buffer[1024];
    while (fgets(buffer, sizeof buffer, pipe)) {
      const std::string line = buffer;
      const std::string instruction = InstructionOf(line);
      if (instruction.empty()) continue;
      ++instructions;
      if (instruction[0] == 'f') ++x87;
      const std::string why = LaterThanI686(instruction);
      if (!why.empty() && ++later <= 10) ADD_FAILURE() << line.substr(0, line.size() - 1) << ": " << why;
    }
    ASSERT_EQ(pclose(pipe), 0) << command;
    EXPECT_EQ(later, 0);
    EXPECT_GT(instructions, 1000) << "objdump printed less than a module's code";
    EXPECT_GT(x87, 10) << "the value functions' x87 arithmetic is missing";
  }
}

// The README's row for a module: "| `NAME` | `a` `b` | `c` |", as
// "KERNEL32.dll!a" ... "msvcrt.dll!c".
std::set<std::string> ReadmeImports(const std::string& module) {
  std::ifstream readme(std::string(GAUGE_SOURCE_DIR) + "/README.md");
  const std::string row = "| `" + module + "` |";
  std::string line;
  while (std::getline(readme, line)) {
    if (line.rfind(row, 0) != 0) continue;  // other tables have such rows too: the one naming imports counts
    std::set<std::string> imports;
    std::istringstream cells(line.substr(row.size()));
    std::string cell;
    for (const char* dll : {"KERNEL32.dll", "msvcrt.dll"}) {
      if (!std::getline(cells, cell, '|')) return {};
      for (size_t at = cell.find('`'); at != std::string::npos; at = cell.find('`', at)) {
        const size_t end = cell.find('`', at + 1);
        imports.insert(std::string(dll) + "!" + cell.substr(at + 1, end - at - 1));
        at = end + 1;
      }
    }
    if (imports.size() > 2) return imports;
  }
  return {};
}

TEST(ModuleImports, ReadmeListsWhatEachModuleImports) {
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    SCOPED_TRACE(module);
    const auto session = gauge::GaugeSession::Load(host_test::DistModule(module));
    std::set<std::string> imports;
    for (const gauge::PeImport& i : session->pe().imports()) imports.insert(i.dll + "!" + i.name);
    EXPECT_EQ(ReadmeImports(module), imports);
    EXPECT_EQ(imports.count("msvcrt.dll!sprintf"), std::string(module) == "Tavoran_Landing" ? 1u : 0u);
    for (const char* c99 : {"msvcrt.dll!localeconv", "KERNEL32.dll!MultiByteToWideChar", "msvcrt.dll!wcslen"})
      EXPECT_EQ(imports.count(c99), 0u) << c99 << ": the C99 printf is back";
  }
}

}  // namespace
