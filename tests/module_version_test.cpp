// The release version: the version resource each shipped module carries
// (present, naming the declared version, the instrument and the file), that
// it is the only difference from the same module linked without it (records,
// code, bitmaps, exports, imports and relocations unchanged), no build time
// in the headers, and gauge-host --version.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "host_test_support.h"
#include "pe_image.h"

namespace {

using namespace host_test;

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kBitmapType = 2;
constexpr uint32_t kUsEnglish = 1033;

struct Shipped {
  const char* name;
  const char* folder;  // under the source tree and the module build tree
  const char* description;
};

void PrintTo(const Shipped& m, std::ostream* os) { *os << m.name; }

const Shipped kShipped[] = {
    {"Ostrel_Airspeed", "airspeed", "Ostrel airspeed indicator"},
    {"Tavoran_Landing", "landing_altimeter", "Tavoran landing altimeter"},
    {"Velkor_Climb", "climb", "Velkor vertical speed indicator"},
};

// One node of a version resource: WORD length, WORD value length, WORD type
// (1 = text), the key in UTF-16, then the value and the children, each
// aligned to 4 bytes.
struct VersionNode {
  std::string key;
  std::vector<uint8_t> value;  // as stored
  std::string text;            // the value, when it is text
  std::vector<VersionNode> children;
};

uint16_t Half(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

std::string Utf16(std::span<const uint8_t> b, size_t& at, size_t end) {
  std::string s;
  for (; at + 1 < end; at += 2) {
    const uint16_t c = Half(b, at);
    if (!c) {
      at += 2;
      break;
    }
    s += c < 0x80 ? char(c) : '?';
  }
  return s;
}

size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

VersionNode ParseVersionNode(std::span<const uint8_t> b, size_t at) {
  VersionNode node;
  const size_t length = Half(b, at), value_length = Half(b, at + 2), type = Half(b, at + 4);
  const size_t end = at + length;
  if (length < 6 || end > b.size()) throw std::runtime_error("version node overruns the resource");
  size_t p = at + 6;
  node.key = Utf16(b, p, end);
  p = Align4(p);
  const size_t value_bytes = type == 1 ? 2 * value_length : value_length;
  if (p + value_bytes > end) throw std::runtime_error("version value overruns its node: " + node.key);
  node.value.assign(b.begin() + p, b.begin() + p + value_bytes);
  if (type == 1) {
    size_t t = p;
    node.text = Utf16(b, t, p + value_bytes);
  }
  for (p = Align4(p + value_bytes); p + 6 <= end; p = Align4(p + Half(b, p))) {
    node.children.push_back(ParseVersionNode(b, p));
    if (!Half(b, p)) break;
  }
  return node;
}

const VersionNode* Child(const VersionNode& node, const std::string& key) {
  for (const VersionNode& c : node.children)
    if (c.key == key) return &c;
  return nullptr;
}

// The numbers of the declared version, "1.0.0" as {1, 0, 0}.
std::vector<uint16_t> VersionNumbers(const std::string& version) {
  std::vector<uint16_t> numbers;
  std::istringstream parts(version);
  for (std::string part; std::getline(parts, part, '.');) numbers.push_back(uint16_t(std::stoi(part)));
  return numbers;
}

// The bitmaps a module's .rc names: id and committed file, in order.
std::vector<std::pair<uint32_t, std::string>> RcBitmaps(const Shipped& m) {
  const std::string folder = std::string(GAUGE_SOURCE_DIR) + "/" + m.folder + "/";
  std::ifstream rc(folder + m.name + ".rc");
  std::vector<std::pair<uint32_t, std::string>> list;
  const std::regex line_pattern(R"(^\s*(\d+)\s+BITMAP\s+\"([^\"]+)\")");
  for (std::string line; std::getline(rc, line);) {
    std::smatch match;
    if (std::regex_search(line, match, line_pattern)) list.push_back({uint32_t(std::stoul(match[1])), folder + match[2].str()});
  }
  return list;
}

const gauge::PeResource* FindResource(const gauge::PeImage& pe, uint32_t type, uint32_t id) {
  for (const gauge::PeResource& r : pe.resources())
    if (r.type == type && r.id == id) return &r;
  return nullptr;
}

class ShippedModuleVersion : public ::testing::TestWithParam<Shipped> {};

std::string ShippedName(const ::testing::TestParamInfo<Shipped>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Modules, ShippedModuleVersion, ::testing::ValuesIn(kShipped), ShippedName);

TEST_P(ShippedModuleVersion, CarriesOneVersionResourceNamingTheRelease) {
  const Shipped& m = GetParam();
  const gauge::PeImage pe = gauge::PeImage::ReadFile(DistModule(m.name));
  int version_resources = 0;
  for (const gauge::PeResource& r : pe.resources()) version_resources += r.type == kVersionType;
  ASSERT_EQ(version_resources, 1);
  const gauge::PeResource* resource = FindResource(pe, kVersionType, 1);
  ASSERT_NE(resource, nullptr);
  EXPECT_EQ(resource->language, kUsEnglish);

  const VersionNode root = ParseVersionNode(pe.ResourceBytes(*resource), 0);
  EXPECT_EQ(root.key, "VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u) << "fixed file information";
  auto word = [&](size_t i) { return Word(root.value, 4 * i); };
  EXPECT_EQ(word(0), 0xFEEF04BDu) << "signature";
  const std::vector<uint16_t> v = VersionNumbers(GAUGE_VERSION);
  ASSERT_EQ(v.size(), 3u);
  const uint32_t ms = uint32_t(v[0]) << 16 | v[1], ls = uint32_t(v[2]) << 16;
  EXPECT_EQ(word(2), ms) << "file version";
  EXPECT_EQ(word(3), ls) << "file version";
  EXPECT_EQ(word(4), ms) << "product version";
  EXPECT_EQ(word(5), ls) << "product version";
  EXPECT_EQ(word(8), 0x40004u) << "32-bit Windows";
  EXPECT_EQ(word(9), 2u) << "a DLL";
  EXPECT_EQ(word(11), 0u) << "no file date";
  EXPECT_EQ(word(12), 0u) << "no file date";

  const VersionNode* strings = Child(root, "StringFileInfo");
  ASSERT_NE(strings, nullptr);
  const VersionNode* table = Child(*strings, "040904B0");
  ASSERT_NE(table, nullptr) << "US English, Unicode";
  std::map<std::string, std::string> values;
  for (const VersionNode& entry : table->children) values[entry.key] = entry.text;
  const std::map<std::string, std::string> expected = {
      {"FileDescription", m.description},
      {"FileVersion", GAUGE_VERSION},
      {"InternalName", m.name},
      {"LegalCopyright", "Copyright (c) 2026 the Cockpit Gauges authors"},
      {"OriginalFilename", std::string(m.name) + ".gau"},
      {"ProductName", "Cockpit Gauges"},
      {"ProductVersion", GAUGE_VERSION},
  };
  EXPECT_EQ(values, expected);

  const VersionNode* translations = Child(root, "VarFileInfo");
  ASSERT_NE(translations, nullptr);
  const VersionNode* translation = Child(*translations, "Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4u);
  EXPECT_EQ(Word(translation->value, 0), 1200u << 16 | 0x409u);
}

// The version resource is an addition only: against the same objects linked
// without it, every section but the resources and relocations is the same
// bytes at the same address, also relocated to another base; the bitmaps,
// exports, imports and entry point are the same; and each bitmap is exactly
// the committed file without its 14-byte file header.
TEST_P(ShippedModuleVersion, ChangesNothingTheHostReads) {
  const Shipped& m = GetParam();
  const std::string stripped = ScratchPath(std::string(m.name) + "_unversioned.gau");
  const std::string command =
      "i686-w64-mingw32-strip -o " + ShellQuote(stripped) + " " +
      ShellQuote(std::string(GAUGE_MODULE_BUILD_DIR) + "/" + m.folder + "/" + m.name + "_unversioned.gau");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const gauge::PeImage with = gauge::PeImage::ReadFile(DistModule(m.name));
  const gauge::PeImage without = gauge::PeImage::ReadFile(stripped);

  EXPECT_EQ(with.image_base(), without.image_base());
  EXPECT_EQ(with.entry_rva(), without.entry_rva());
  EXPECT_EQ(with.tls_callbacks_rva(), without.tls_callbacks_rva());
  ASSERT_EQ(with.exports().size(), without.exports().size());
  for (size_t i = 0; i < with.exports().size(); ++i) {
    EXPECT_EQ(with.exports()[i].name, without.exports()[i].name);
    EXPECT_EQ(with.exports()[i].rva, without.exports()[i].rva);
  }
  ASSERT_EQ(with.imports().size(), without.imports().size());
  for (size_t i = 0; i < with.imports().size(); ++i) {
    EXPECT_EQ(with.imports()[i].dll, without.imports()[i].dll);
    EXPECT_EQ(with.imports()[i].name, without.imports()[i].name);
    EXPECT_EQ(with.imports()[i].iat_rva, without.imports()[i].iat_rva);
  }

  const uint32_t base = 0x30000000;  // not the preferred base: relocations applied
  const std::vector<uint8_t> mapped_with = with.Map(base), mapped_without = without.Map(base);
  ASSERT_EQ(with.sections().size(), without.sections().size());
  for (size_t i = 0; i < with.sections().size(); ++i) {
    const gauge::PeSection& a = with.sections()[i];
    const gauge::PeSection& b = without.sections()[i];
    EXPECT_EQ(a.name, b.name);
    if (a.name == ".rsrc" || a.name == ".reloc") continue;
    SCOPED_TRACE("section " + a.name);
    EXPECT_EQ(a.rva, b.rva);
    EXPECT_EQ(a.virtual_size, b.virtual_size);
    EXPECT_EQ(a.characteristics, b.characteristics);
    ASSERT_LE(a.rva + a.mapped_size(), mapped_with.size());
    ASSERT_LE(b.rva + b.mapped_size(), mapped_without.size());
    EXPECT_TRUE(std::equal(mapped_with.begin() + a.rva, mapped_with.begin() + a.rva + a.mapped_size(),
                           mapped_without.begin() + b.rva, mapped_without.begin() + b.rva + b.mapped_size()))
        << "bytes differ";
  }

  const auto bitmaps = RcBitmaps(m);
  ASSERT_FALSE(bitmaps.empty());
  size_t resources_without = 0;
  for (const gauge::PeResource& r : without.resources()) resources_without += r.type == kBitmapType;
  EXPECT_EQ(resources_without, without.resources().size()) << "the unversioned module carries bitmaps only";
  EXPECT_EQ(resources_without, bitmaps.size());
  EXPECT_EQ(with.resources().size(), bitmaps.size() + 1) << "bitmaps and the version resource";
  for (const auto& [id, art] : bitmaps) {
    SCOPED_TRACE("bitmap " + std::to_string(id));
    const gauge::PeResource* a = FindResource(with, kBitmapType, id);
    const gauge::PeResource* b = FindResource(without, kBitmapType, id);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->language, kUsEnglish);
    EXPECT_EQ(b->language, kUsEnglish);
    const auto bytes = with.ResourceBytes(*a), before = without.ResourceBytes(*b);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), before.begin(), before.end()));
    const std::vector<uint8_t> file = ReadBytes(art);
    ASSERT_GT(file.size(), 14u) << art;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + 14, file.end())) << "differs from " << art;
  }
}

// The cross tool's objdump sees the version entry too (type 16, id 1, US English).
TEST_P(ShippedModuleVersion, ObjdumpListsTheVersionEntry) {
  const std::string out = ScratchPath(std::string(GetParam().name) + ".objdump");
  const std::string command = "i686-w64-mingw32-objdump -p " + ShellQuote(DistModule(GetParam().name)) + " >" + ShellQuote(out);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<uint8_t> bytes = ReadBytes(out);
  const std::string text(bytes.begin(), bytes.end());
  const std::regex version_entry(R"(Entry: ID: 0x000010, Value: 0x8[0-9a-f]+\s+[0-9a-f]+\s+Name Table: [^\n]*IDs: 1\s+[0-9a-f]+\s+Entry: ID: 0x000001,)");
  EXPECT_TRUE(std::regex_search(text, version_entry)) << text;
}

// Time stamps a linker or strip would fill in: the file header's, the export
// directory's and the resource directory's, all 0.
TEST_P(ShippedModuleVersion, HeadersCarryNoTimeStamp) {
  const std::vector<uint8_t> file = ReadBytes(DistModule(GetParam().name));
  ASSERT_GT(file.size(), 0x200u);
  const PeOffsets at(file);
  EXPECT_EQ(Word(file, at.pe + 8), 0u) << "file header";
  const gauge::PeImage pe = gauge::PeImage::Parse(file);
  const std::vector<uint8_t> image = pe.Map(pe.image_base());
  for (const auto& [name, index] : {std::pair{"export directory", 0}, std::pair{"resource directory", 2}}) {
    const uint32_t rva = Word(file, at.directory(index));
    ASSERT_NE(rva, 0u) << name;
    ASSERT_LE(rva + 8, image.size()) << name;
    EXPECT_EQ(Word(image, rva + 4), 0u) << name;
  }
}

TEST(GaugeHostVersion, PrintsTheDeclaredVersion) {
  const CommandResult r = RunHost("--version");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string("gauge-host ") + GAUGE_VERSION + "\n");
  EXPECT_EQ(r.err, "");
}

}  // namespace
