// A shipped gauge module loaded into the stand-in host, and what its tests
// need around it: the records read word by word from the loaded image, the
// frame records every gauge shares (header, mouse list, bitmap resources),
// and a value function called straight through its record slot under a
// chosen x87 control word, with the accesses and service calls it made.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bitmap.h"
#include "gauge_session.h"

namespace gauge::test {

// Control words a host may leave behind: the Windows default (double
// precision), extended precision, and the single precision some graphics
// layers set. The modules' results must not depend on them.
inline constexpr uint16_t kControlWords[] = {0x027F, 0x037F, 0x007F};

inline std::string ControlWordName(uint16_t cw) {
  char text[32];
  std::snprintf(text, sizeof text, "control word 0x%04X", cw);
  return text;
}

inline uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }
inline double FromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

inline std::string ShippedPath(const std::string& module) {
  return std::string(GAUGE_DIST_DIR) + "/" + module + ".gau";
}

inline std::unique_ptr<GaugeSession> LoadShipped(const std::string& module) {
  LoadOptions options;
  options.audit = true;
  return GaugeSession::Load(ShippedPath(module), options);
}

inline uint32_t Word(const GaugeSession& s, uint32_t address) { return s.emulator().ReadWord(address); }

// One expected field: a 32-bit word, or (size > 4) a run of zero bytes.
struct Field {
  const char* name;
  uint32_t offset;
  uint32_t size;
  uint32_t value;
};

// The field `name` of layout record `Record` holding `value` (a word) or zero bytes.
#define RECORD_FIELD(Record, name, value) \
  Field { #name, layout::Record::name, layout::Record::name##_bytes, value }
// The zero bytes from field `first` up to field `next` of layout record `Record`.
#define RECORD_ZEROS(Record, what, first, next) \
  Field { what, layout::Record::first, layout::Record::next - layout::Record::first, 0 }

inline void ExpectFields(const GaugeSession& s, uint32_t record, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    if (f.size == 4) {
      EXPECT_EQ(Word(s, record + f.offset), f.value);
      continue;
    }
    std::vector<uint8_t> bytes(f.size);
    s.emulator().Read(record + f.offset, bytes.data(), bytes.size());
    for (uint32_t i = 0; i < f.size; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
  }
}

// The section of the image holding [address, address + size), or null.
inline const PeSection* SectionOf(const GaugeSession& s, uint32_t address, uint32_t size) {
  const PeSection* section = s.pe().SectionAt(address - s.base());
  if (!section || !section->contains(address + size - 1 - s.base())) return nullptr;
  return section;
}

inline void ExpectWritable(const GaugeSession& s, uint32_t address, uint32_t size, const char* what) {
  const PeSection* section = SectionOf(s, address, size);
  ASSERT_NE(section, nullptr) << what << " is not inside one section";
  EXPECT_TRUE(section->writable()) << what << " lies in read-only " << section->name;
}

inline void ExpectRoutine(const GaugeSession& s, uint32_t address, const char* what) {
  const PeSection* section = SectionOf(s, address, 1);
  ASSERT_NE(section, nullptr) << what << " (0x" << std::hex << address << ") is not in the module";
  EXPECT_TRUE(section->executable()) << what << " lies in " << section->name;
}

// The chain the host walks: header, top_element_ref, the top element and
// its one child, reached through the loaded image alone.
struct Chain {
  uint32_t header = 0, top_ref = 0, face = 0, children = 0, needle = 0;
};

inline Chain WalkChain(const GaugeSession& s) {
  Chain c;
  c.header = Word(s, s.linkage() + layout::Linkage::gauges);
  c.top_ref = Word(s, c.header + layout::GaugeHeader::top_element_ref);
  c.face = Word(s, c.top_ref);
  c.children = Word(s, c.face + layout::ElementHead::children);
  c.needle = c.children ? Word(s, c.children) : 0;
  return c;
}

// A test of one shipped module: loaded afresh for every test, with the
// chain walked and the needle's variable and value function found.
class ShippedGaugeTest : public ::testing::Test {
 protected:
  void Load(const std::string& module) {
    session = LoadShipped(module);
    chain = WalkChain(*session);
    variable = chain.needle + layout::Needle::variable;
    callback = Word(*session, chain.needle + layout::Needle::value_callback);
  }
  std::unique_ptr<GaugeSession> session;
  Chain chain;
  uint32_t variable = 0, callback = 0;
};

// A face (StaticImageElement) whose one child is the needle.
inline void ExpectFaceRecord(const GaugeSession& s, const Chain& c, uint32_t bitmap_id, uint32_t failures,
                             uint32_t image_flags) {
  ExpectWritable(s, c.face, layout::StaticImage::kSize, "face");
  ExpectFields(s, c.face, {RECORD_FIELD(StaticImage, kind, 0),
                           RECORD_FIELD(StaticImage, bitmap_id, bitmap_id),
                           RECORD_ZEROS(StaticImage, "position, host_point, origin", position, gauge),
                           RECORD_FIELD(StaticImage, gauge, c.header),
                           RECORD_FIELD(StaticImage, previous, 0),
                           RECORD_FIELD(StaticImage, failures, failures),
                           RECORD_FIELD(StaticImage, image_flags, image_flags),
                           RECORD_FIELD(ElementHead, reserved, 0),
                           RECORD_FIELD(StaticImage, host_image, 0)});
  ExpectWritable(s, c.children, 2 * layout::kWord, "children of the face");
  ExpectFields(s, c.children, {{"children[0]", 0, layout::kWord, c.needle}, {"children[1]", layout::kWord, layout::kWord, 0}});
}

struct ExpectedNeedle {
  uint32_t bitmap_id;
  Point position, origin;
  uint32_t failures;
  uint32_t variable_id;
  Point needle_point;
  uint32_t calibration, calibration_count, step_limit;
};

// A needle (NeedleElement) without children, its value function in the code.
inline void ExpectNeedleRecord(const GaugeSession& s, const Chain& c, const ExpectedNeedle& e) {
  using N = layout::Needle;
  using P = layout::Point;
  using V = layout::Variable;
  ExpectWritable(s, c.needle, N::kSize, "needle");
  ExpectFields(s, c.needle, {RECORD_FIELD(Needle, kind, 1),
                             RECORD_FIELD(Needle, bitmap_id, e.bitmap_id),
                             {"position.x", N::position + P::x, 4, uint32_t(e.position.x)},
                             {"position.y", N::position + P::y, 4, uint32_t(e.position.y)},
                             RECORD_FIELD(Needle, host_point, 0),
                             {"origin.x", N::origin + P::x, 4, uint32_t(e.origin.x)},
                             {"origin.y", N::origin + P::y, 4, uint32_t(e.origin.y)},
                             RECORD_FIELD(Needle, gauge, c.header),
                             RECORD_ZEROS(Needle, "previous, children", previous, failures),
                             RECORD_FIELD(Needle, failures, e.failures),
                             RECORD_FIELD(Needle, image_flags, 0x3),
                             RECORD_FIELD(ElementHead, reserved, 0),
                             {"variable.id", N::variable + V::id, 4, e.variable_id},
                             {"variable.host_pointer, value_type, value, previous_value", N::variable + V::host_pointer,
                              V::kSize - V::host_pointer, 0},
                             RECORD_FIELD(Needle, needle_host_words, 0),
                             {"needle_point.x", N::needle_point + P::x, 4, uint32_t(e.needle_point.x)},
                             {"needle_point.y", N::needle_point + P::y, 4, uint32_t(e.needle_point.y)},
                             RECORD_FIELD(Needle, calibration, e.calibration),
                             RECORD_FIELD(Needle, calibration_count, e.calibration_count),
                             RECORD_FIELD(Needle, step_limit, e.step_limit),
                             RECORD_FIELD(Needle, host_tail, 0)});
  ExpectRoutine(s, Word(s, c.needle + N::value_callback), "value_callback");
}

// A failure list: these (key, action) pairs, reserved words 0, then the all-zero end.
inline void ExpectFailureList(const GaugeSession& s, uint32_t list, const std::vector<FailureInfo>& entries) {
  ASSERT_NE(list, 0u);
  using F = layout::FailureEntry;
  const uint32_t size = uint32_t(entries.size() + 1) * F::kSize;
  ExpectWritable(s, list, size, "failure list");
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE("failure " + std::to_string(i));
    const uint32_t entry = list + F::kSize * uint32_t(i);
    ExpectFields(s, entry, {RECORD_FIELD(FailureEntry, key, uint32_t(entries[i].key)),
                            RECORD_FIELD(FailureEntry, action, uint32_t(entries[i].action)),
                            RECORD_FIELD(FailureEntry, reserved, 0)});
  }
  ExpectFields(s, list + size - F::kSize, {{"end of list", 0, F::kSize, 0}});
}

// Linkage's one gauge, and its header word by word.
inline void ExpectGaugeHeader(const GaugeSession& s, const Chain& c, const std::string& name,
                              uint32_t default_size) {
  using H = layout::GaugeHeader;
  EXPECT_EQ(Word(s, s.linkage() + layout::Linkage::gauges + layout::kWord), 0u) << "Linkage.gauges ends after one header";
  ExpectWritable(s, c.header, H::kSize, "gauge header");
  ExpectFields(s, c.header, {RECORD_FIELD(GaugeHeader, version, 610),
                             RECORD_FIELD(GaugeHeader, reserved, 0),
                             RECORD_FIELD(GaugeHeader, default_size, default_size),
                             RECORD_FIELD(GaugeHeader, reserved_tail, 0)});
  const uint32_t name_address = Word(s, c.header + H::name);
  EXPECT_EQ(s.emulator().ReadString(name_address, 64), name);
  ExpectWritable(s, name_address, uint32_t(name.size() + 1), "gauge name");
  ExpectWritable(s, c.top_ref, 4, "top_element");
  EXPECT_EQ(c.face, s.top_element());
  const char* routines[] = {"query", "install", "initialize", "update", "generate", "draw", "kill"};
  for (uint32_t i = 0; i < 7; ++i) ExpectRoutine(s, Word(s, c.header + H::query + layout::kWord * i), routines[i]);
}

// The three-entry list of a gauge without clickable areas, as GaugeInstall
// hands it over: parent, end of parent, end of list; no rectangle, cursor
// -1, nothing else but the parent's help code. No click reaches the module.
inline void ExpectListWithoutClickableAreas(GaugeSession& s, const Chain& c, uint32_t parent_help_code) {
  s.ClearLogs();
  s.Install(0);
  const std::vector<ServiceCall>& calls = s.service_calls();
  ASSERT_EQ(calls.size(), 3u);
  ASSERT_EQ(calls[1].name, "InstallMouseAreas");
  ASSERT_EQ(calls[2].name, "RegisterMouseAreas");
  const uint32_t list = calls[1].args[0];
  EXPECT_EQ(calls[1].args[1], c.header);
  EXPECT_EQ(calls[2].args[0], list);
  using A = layout::MouseArea;
  ExpectWritable(s, list, 3 * A::kSize, "mouse areas");
  const AreaType types[] = {AreaType::kParent, AreaType::kEndOfParent, AreaType::kEndOfList};
  for (uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE("mouse area " + std::to_string(i));
    ExpectFields(s, list + A::kSize * i, {RECORD_FIELD(MouseArea, area_type, uint32_t(types[i])),
                                          RECORD_FIELD(MouseArea, box, 0),
                                          RECORD_FIELD(MouseArea, cursor, 0xFFFFFFFFu),
                                          RECORD_FIELD(MouseArea, help_code, i == 0 ? parent_help_code : 0),
                                          {"area_flags, event_code, function, extra", A::area_flags,
                                           A::kSize - A::area_flags, 0}});
  }
  EXPECT_EQ(s.MouseAreas().size(), 3u);
  s.ClearLogs();
  for (auto [x, y] : {std::pair{0, 0}, {100, 100}, {150, 150}, {275, 275}}) {
    EXPECT_FALSE(s.Click(x, y).hit) << x << ", " << y;
  }
  EXPECT_TRUE(s.service_calls().empty());
}

// GaugeInitialize of a gauge without variables of its own: InitializeElements alone.
inline void ExpectInitializeForwardsOnly(GaugeSession& s, const Chain& c) {
  s.ClearLogs();
  s.Initialize();
  ASSERT_EQ(s.service_calls().size(), 1u);
  EXPECT_EQ(s.service_calls()[0].name, "InitializeElements");
  EXPECT_EQ(s.service_calls()[0].args, std::vector<uint32_t>{c.face});
}

// A bitmap resource the module must carry, and the committed file it is built from.
struct ExpectedBitmap {
  uint32_t id;
  int width, height;
  const char* art;  // under the source tree
};

inline void ExpectBitmapResources(const GaugeSession& s, const std::vector<ExpectedBitmap>& expected) {
  const std::vector<BitmapResource> resources = s.BitmapResources();
  ASSERT_EQ(resources.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const ExpectedBitmap& e = expected[i];
    const BitmapResource& r = resources[i];
    SCOPED_TRACE("bitmap " + std::to_string(e.id));
    EXPECT_EQ(r.type, 2u);
    EXPECT_EQ(r.id, e.id);
    EXPECT_EQ(r.language, 1033u);
    EXPECT_EQ(r.bits_per_pixel, 8);
    ASSERT_TRUE(r.bitmap) << r.decode_error;
    EXPECT_EQ(r.bitmap->width, e.width);
    EXPECT_EQ(r.bitmap->height, e.height);
    EXPECT_TRUE(r.bitmap->bottom_up);
    EXPECT_EQ(r.bitmap->palette[0], (Rgb{0, 0, 0}));
    IndexedBitmap committed;
    std::string error;
    ASSERT_TRUE(ReadBmpFile(std::string(GAUGE_SOURCE_DIR) + "/" + e.art, committed, error)) << error;
    EXPECT_TRUE(r.bitmap->palette == committed.palette && r.bitmap->pixels == committed.pixels)
        << "resource differs from " << e.art;
  }
}

// Resource entries named by a string instead of a number, as the cross
// tool's objdump lists the resource directory (our reader skips them).
inline int NamedResourceEntries(const std::string& module_path) {
  const std::string command = "i686-w64-mingw32-objdump -p '" + module_path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  int named = 0, tables = 0;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    const char* at = std::strstr(line, "Num Names: ");
    if (!at) continue;
    ++tables;
    named += std::atoi(at + 11);
  }
  if (pclose(pipe) != 0 || tables == 0) return -1;
  return named;
}

// One call of a value function through its record slot.
struct ValueCall {
  double result = 0;
  uint64_t value_after = 0;  // bits of the record's value after the call
  uint16_t control_word_after = 0;
  std::vector<AuditEntry> accesses;
  std::vector<ServiceCall> services;
};

// Stores `input` in the variable's value, sets the control word, calls.
inline ValueCall CallValueFunction(GaugeSession& s, uint32_t callback, uint32_t variable, double input,
                                   uint16_t control_word) {
  s.emulator().WriteDouble(variable + layout::Variable::value, input);
  s.emulator().SetFpuControlWord(control_word);
  s.ClearLogs();
  ValueCall call;
  call.result = s.CallDouble(callback, {variable});
  call.value_after = Bits(s.emulator().ReadDouble(variable + layout::Variable::value));
  call.control_word_after = s.emulator().fpu_control_word();
  call.accesses = s.audit();
  call.services = s.service_calls();
  return call;
}

// Whether an access touches [begin, begin + size).
inline bool Touches(const AuditEntry& a, uint32_t begin, uint32_t size) {
  return a.address < begin + size && begin < a.address + a.size;
}

}  // namespace gauge::test
