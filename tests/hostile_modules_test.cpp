// Modules and files built to make the host do too much, each driven through
// gauge-host under a memory cap and a time limit: each ends with exit code 2
// and one line on stderr (or succeeds, where what it asks for is legal),
// never with a crash, a hang or more than 256 MB resident.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "cli_in_process.h"
#include "gauge_session.h"
#include "host_test_support.h"

namespace {

using namespace host_test;
using gauge::ErrorKind;
using gauge::test::CommandErrorKind;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }
std::string Greedy() { return Quoted(FixtureModule("GreedyFixture")); }

uint32_t AlignUp(uint64_t v, uint32_t to) { return uint32_t((v + to - 1) / to * to); }

// Where a section appended to a PE32 file goes.
uint32_t NextSectionRva(const std::vector<uint8_t>& b) {
  const PeOffsets o(b);
  return AlignUp(Word(b, o.size_of_image()), Word(b, o.pe + 24 + 32));
}

// Appends a section holding `data` at NextSectionRva (the header has room
// for one more section entry).
void AppendSection(std::vector<uint8_t>& b, const char* name, const std::vector<uint8_t>& data) {
  const PeOffsets o(b);
  const uint16_t count = uint16_t(b[o.pe + 6] | b[o.pe + 7] << 8);
  const size_t entry = o.section(count);
  const uint32_t section_align = Word(b, o.pe + 24 + 32), file_align = Word(b, o.pe + 24 + 36);
  ASSERT_LE(entry + 40, Word(b, o.pe + 24 + 60)) << "no room for a section entry";
  const uint32_t rva = NextSectionRva(b);
  const uint32_t raw = AlignUp(b.size(), file_align);
  b.resize(raw);
  b.insert(b.end(), data.begin(), data.end());
  b.resize(AlignUp(b.size(), file_align));
  std::memset(&b[entry], 0, 40);
  std::memcpy(&b[entry], name, std::min<size_t>(std::strlen(name), 8));
  PutWord(b, entry + 8, uint32_t(data.size()));
  PutWord(b, entry + 12, rva);
  PutWord(b, entry + 16, uint32_t(b.size() - raw));
  PutWord(b, entry + 20, raw);
  PutWord(b, entry + 36, 0x40000040);  // initialised data, readable
  b[o.pe + 6] = uint8_t(count + 1);
  b[o.pe + 7] = uint8_t((count + 1) >> 8);
  PutWord(b, o.size_of_image(), AlignUp(uint64_t(rva) + data.size(), section_align));
}

// An 8-bit DIB of width x height, all index 0.
std::vector<uint8_t> Dib(uint32_t width, uint32_t height) {
  std::vector<uint8_t> dib(40 + 1024 + size_t(AlignUp(width, 4)) * height, 0);
  PutWord(dib, 0, 40);
  PutWord(dib, 4, width);
  PutWord(dib, 8, height);
  dib[12] = 1;
  dib[14] = 8;
  return dib;
}

// The airspeed module with its resources replaced by a tree of 255 x 255
// bitmap leaves, all naming the same 1 MB bitmap.
std::string SharedLeaves() {
  std::vector<uint8_t> b = ReadBytes(DistModule("Ostrel_Airspeed"));
  constexpr uint32_t kIds = 255, kLanguages = 255;
  const uint32_t ids_dir = 24, languages_dir = ids_dir + 16 + 8 * kIds;
  const uint32_t language_dir_size = 16 + 8 * kLanguages;
  const uint32_t data_entry = languages_dir + kIds * language_dir_size, bitmap = data_entry + 16;
  const std::vector<uint8_t> dib = Dib(1024, 1000);
  std::vector<uint8_t> tree(bitmap + dib.size(), 0);
  auto directory = [&](uint32_t at, uint32_t entries) { tree[at + 14] = uint8_t(entries), tree[at + 15] = uint8_t(entries >> 8); };
  auto entry = [&](uint32_t dir, uint32_t i, uint32_t id, uint32_t target) {
    PutWord(tree, dir + 16 + 8 * i, id);
    PutWord(tree, dir + 20 + 8 * i, target);
  };
  directory(0, 1);
  entry(0, 0, 2, 0x80000000u | ids_dir);
  directory(ids_dir, kIds);
  for (uint32_t i = 0; i < kIds; ++i) {
    const uint32_t languages = languages_dir + i * language_dir_size;
    entry(ids_dir, i, i + 1, 0x80000000u | languages);
    directory(languages, kLanguages);
    for (uint32_t l = 0; l < kLanguages; ++l) entry(languages, l, l + 1, data_entry);
  }
  std::copy(dib.begin(), dib.end(), tree.begin() + bitmap);
  const uint32_t rva = NextSectionRva(b);
  PutWord(tree, data_entry, rva + bitmap);
  PutWord(tree, data_entry + 4, uint32_t(dib.size()));
  AppendSection(b, ".rsrc2", tree);
  PutWord(b, PeOffsets(b).directory(2), rva);
  PutWord(b, PeOffsets(b).directory(2) + 4, uint32_t(tree.size()));
  const std::string path = ScratchPath("shared-leaves.gau");
  WriteBytes(path, b);
  return Quoted(path);
}

// The airspeed module with its resources replaced by `count` bitmaps of
// 1024 x 1000 pixels, each its own data.
std::vector<uint8_t> ManyBitmaps(uint32_t count) {
  std::vector<uint8_t> b = ReadBytes(DistModule("Ostrel_Airspeed"));
  const std::vector<uint8_t> dib = Dib(1024, 1000);
  const uint32_t ids_dir = 24, languages_dir = ids_dir + 16 + 8 * count, data_entries = languages_dir + 24 * count;
  const uint32_t bitmaps = data_entries + 16 * count;
  std::vector<uint8_t> tree(bitmaps + count * dib.size(), 0);
  const uint32_t rva = NextSectionRva(b);
  tree[14] = 1;
  PutWord(tree, 16, 2);
  PutWord(tree, 20, 0x80000000u | ids_dir);
  tree[ids_dir + 14] = uint8_t(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t languages = languages_dir + 24 * i, entry = data_entries + 16 * i, data = bitmaps + i * uint32_t(dib.size());
    PutWord(tree, ids_dir + 16 + 8 * i, 1000 + i);
    PutWord(tree, ids_dir + 20 + 8 * i, 0x80000000u | languages);
    tree[languages + 14] = 1;
    PutWord(tree, languages + 16, 1033);
    PutWord(tree, languages + 20, entry);
    PutWord(tree, entry, rva + data);
    PutWord(tree, entry + 4, uint32_t(dib.size()));
    std::copy(dib.begin(), dib.end(), tree.begin() + data);
  }
  AppendSection(b, ".rsrc2", tree);
  PutWord(b, PeOffsets(b).directory(2), rva);
  PutWord(b, PeOffsets(b).directory(2) + 4, uint32_t(tree.size()));
  return b;
}

// The hostile fixture with a byte of its run-time library's name, or its
// first section's name, replaced.
std::string PatchedHostile(const std::string& name, const std::function<void(std::vector<uint8_t>&)>& patch) {
  std::vector<uint8_t> b = ReadBytes(FixtureModule("HostileFixture"));
  patch(b);
  const std::string path = ScratchPath(name);
  WriteBytes(path, b);
  return Quoted(path);
}

void ReplaceText(std::vector<uint8_t>& b, const std::string& from, const std::string& to) {
  const auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
  ASSERT_NE(at, b.end()) << from;
  std::copy(to.begin(), to.end(), at);
}

std::string SparseFile() {
  const std::string path = ScratchPath("huge.gau");
  std::filesystem::resize_file((WriteBytes(path, {}), path), 1ull << 30);
  return Quoted(path);
}

struct Hostile {
  const char* name;
  std::function<std::string()> args;  // the command line after "gauge-host"
  const char* message;                // a part of the one line on stderr; null: must succeed
  std::optional<ErrorKind> kind;      // of the error the command ends with
};

const Hostile kHostile[] = {
    {"memset over 4 GB", [] { return "run " + Greedy() + " --set 1=1"; }, "bad fill target", ErrorKind::kMemoryFault},
    {"memcpy over 4 GB", [] { return "run " + Greedy() + " --set 1=2"; }, "bad copy source", ErrorKind::kMemoryFault},
    {"fwrite without end", [] { return "run " + Greedy() + " --set 1=3"; }, "reached in host work", ErrorKind::kRunaway},
    {"strlen without end", [] { return "run " + Greedy() + " --set 1=4"; }, "reached in host work", ErrorKind::kRunaway},
    {"strchr without end", [] { return "run " + Greedy() + " --set 1=5"; }, "reached in host work", ErrorKind::kRunaway},
    {"MultiByteToWideChar without end", [] { return "run " + Greedy() + " --set 1=6"; }, "reached in host work", ErrorKind::kRunaway},
    {"InstallMouseAreas flood", [] { return "run " + Greedy() + " --set 1=7"; }, "reached in host work", ErrorKind::kRunaway},
    {"ReadVariable flood", [] { return "run " + Greedy() + " --set 1=11"; }, "ran away", ErrorKind::kRunaway},
    {"abort after run-time output", [] { return "run " + Greedy() + " --set 1=8"; },
     "module called abort; its C run-time output was: \"Assertion failed!\\x0aExpression: \\xc3\\xa9t\\xc3\\xa9\\x0a\"", ErrorKind::kModuleAbort},
    {"65,025 resource leaves on one bitmap", [] { return "info " + SharedLeaves(); }, "share data", ErrorKind::kFormat},
    {"a face that grows in a sweep",
     [] { return "sweep " + Greedy() + " --var 1 --values 9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9 --scale 16 -o " +
                 Quoted(ScratchPath("grow.png")); },
     "frames of up to 4096 x 4096 pixels is too large", ErrorKind::kUsage},
    {"a text box 16,000 pixels tall",
     [] { return "render " + Greedy() + " --set 1=10 --scale 16 -o " + Quoted(ScratchPath("tall.png")); }, nullptr, std::nullopt},
    {"a line break in an imported DLL's name",
     [] { return "run " + PatchedHostile("dllname.gau", [](auto& b) { ReplaceText(b, "msvcrt.dll", "msvcrt\n\xC3l"); }); },
     "module imports msvcrt\\x0a\\xc3ll!_amsg_exit", ErrorKind::kLoad},
    {"a line break and non-ASCII in a section name",
     [] {
       return "info " + PatchedHostile("section.gau", [](auto& b) {
         const size_t s = PeOffsets(b).section(0);
         std::memcpy(&b[s], "\n\xC3\xA9xt", 5);
         PutWord(b, s + 12, 0x7FFF0000);
       });
     },
     "inconsistent section \\x0a\\xc3\\xa9xt: outside the image", ErrorKind::kFormat},
    {"a device instead of a file", [] { return std::string("info /dev/zero"); }, "/dev/zero is not a regular file", ErrorKind::kFile},
    {"a 1 GB file", [] { return "info " + SparseFile(); }, "more than the module size limit", ErrorKind::kFormat},
};

TEST(HostileModules, EndInOneLineWithinTheirLimits) {
  for (const Hostile& c : kHostile) {
    SCOPED_TRACE(c.name);
    const std::string args = c.args();
    const ContainedResult r = RunHostContained(args);
#ifndef GAUGE_SANITIZE
    EXPECT_LT(r.peak_kb, 256 * 1024) << "resident memory, KB";
#endif
    if (!c.message) {
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_EQ(r.err, "");
      continue;
    }
    EXPECT_EQ(r.exit_code, 2) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line: " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(CommandErrorKind(args), c.kind) << r.err;
  }
}

// A module's bitmaps decode, each once and when asked for, within the
// host's budget; past it, a bitmap says why it is not decoded.
TEST(HostileModules, BitmapsDecodeWithinTheModulesBudget) {
  auto session = gauge::GaugeSession::LoadBytes(ManyBitmaps(40));
  const std::vector<gauge::BitmapResource> bitmaps = session->BitmapResources();
  ASSERT_EQ(bitmaps.size(), 40u);
  uint64_t decoded = 0;
  size_t refused = 0;
  for (const gauge::BitmapResource& b : bitmaps) {
    if (b.bitmap) {
      decoded += b.bitmap->pixels.size();
    } else {
      ++refused;
      EXPECT_NE(b.decode_error.find("more than the host's limit"), std::string::npos) << b.decode_error;
    }
  }
  EXPECT_LE(decoded, gauge::GaugeSession::kMaxDecodedBytes);
  EXPECT_EQ(refused, 40u - gauge::GaugeSession::kMaxDecodedBytes / (1024 * 1000));
  // Asked again, the same pictures: kept, not decoded again past the budget.
  const std::vector<gauge::BitmapResource> again = session->BitmapResources();
  for (size_t i = 0; i < bitmaps.size(); ++i) EXPECT_EQ(again[i].bitmap, bitmaps[i].bitmap) << i;
  ASSERT_TRUE(session->Bitmap(1000));
  EXPECT_EQ(session->Bitmap(1000)->width, 1024);
  EXPECT_FALSE(session->Bitmap(1039));
}

}  // namespace
