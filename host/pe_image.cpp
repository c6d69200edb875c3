#include "pe_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host_error.h"
#include "module_text.h"

namespace gauge {
namespace {

constexpr uint32_t kMaxImageSize = 64u << 20;
// Bounds on table walks, so that a hostile file cannot make one take forever.
constexpr size_t kMaxImports = 65536;
constexpr size_t kMaxResourceEntries = 65536;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint16_t kFileIsDll = 0x2000;
constexpr uint16_t kRelocsStripped = 0x0001;
enum Dir { kExportDir = 0, kImportDir = 1, kResourceDir = 2, kRelocDir = 5, kTlsDir = 9 };

[[noreturn]] void Bad(const std::string& why) { throw HostError(ErrorKind::kFormat, why); }

uint32_t FileWord(const std::vector<uint8_t>& f, size_t at) {
  uint32_t v;
  std::memcpy(&v, f.data() + at, 4);
  return v;
}
uint16_t FileHalf(const std::vector<uint8_t>& f, size_t at) {
  uint16_t v;
  std::memcpy(&v, f.data() + at, 2);
  return v;
}

}  // namespace

uint32_t PeSection::mapped_size() const { return virtual_size ? virtual_size : raw_size; }

PeImage PeImage::ReadFile(const std::string& path) {
  // Kind and size first: a device, a pipe or a huge file is refused unread.
  // Every refusal is "cannot read PATH: " and the system's reason.
  const auto refuse = [&](const std::string& why) { throw HostError(ErrorKind::kFile, "cannot read " + path + ": " + why); };
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error) refuse(error.message());
  if (std::filesystem::is_directory(status)) refuse("is a directory");
  if (!std::filesystem::is_regular_file(status)) throw HostError(ErrorKind::kFile, path + " is not a regular file");
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error) refuse(error.message());
  if (size > kMaxImageSize)
    throw HostError(ErrorKind::kFormat, path + " holds " + std::to_string(size) +
                                            " bytes, more than the module size limit of " + std::to_string(kMaxImageSize));
  std::ifstream in(path, std::ios::binary);
  if (!in) refuse(std::strerror(errno));
  std::vector<uint8_t> bytes(size);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
  if (in.gcount() != std::streamsize(size)) refuse("the file ended early");
  return Parse(std::move(bytes));
}

PeImage PeImage::Parse(std::vector<uint8_t> file) {
  PeImage pe;
  pe.file_ = std::move(file);
  pe.ParseHeaders();
  pe.ParseRelocations();
  pe.ParseImports();
  pe.ParseExports();
  pe.ParseResources();
  pe.ParseTls();
  return pe;
}

void PeImage::ParseHeaders() {
  const auto& f = file_;
  if (f.size() < 64 || f[0] != 'M' || f[1] != 'Z') Bad("not a PE file: no MZ header");
  const uint32_t pe = FileWord(f, 0x3C);
  if (pe > f.size() || f.size() - pe < 24 || std::memcmp(&f[pe], "PE\0\0", 4) != 0)
    Bad("not a PE file: no PE signature");
  machine_ = FileHalf(f, pe + 4);
  const uint16_t section_count = FileHalf(f, pe + 6);
  const uint16_t optional_size = FileHalf(f, pe + 20);
  const uint16_t characteristics = FileHalf(f, pe + 22);
  const size_t opt = pe + 24;
  if (f.size() - opt < 2) Bad("truncated file: no optional header");
  const uint16_t magic = FileHalf(f, opt);
  if (magic == kMagicPe32Plus) Bad("64-bit PE (PE32+) module: only 32-bit modules can be loaded");
  if (magic != kMagicPe32) Bad("not a PE32 file: optional header magic " + std::to_string(magic));
  if (machine_ != kMachineI386) Bad("not an x86 module: machine type " + std::to_string(machine_));
  if (!(characteristics & kFileIsDll)) Bad("not a DLL: the file is an executable");
  if (optional_size < 96 || f.size() - opt < optional_size) Bad("truncated file: optional header");
  entry_rva_ = FileWord(f, opt + 16);
  image_base_ = FileWord(f, opt + 28);
  size_of_image_ = FileWord(f, opt + 56);
  size_of_headers_ = FileWord(f, opt + 60);
  const uint32_t dir_count = FileWord(f, opt + 92);
  if (dir_count > 16 || 96 + dir_count * 8 > optional_size) Bad("inconsistent optional header: data directories");
  for (uint32_t i = 0; i < dir_count; ++i)
    directories_.push_back({FileWord(f, opt + 96 + i * 8), FileWord(f, opt + 100 + i * 8)});
  directories_.resize(16);
  if (size_of_image_ == 0 || size_of_image_ > kMaxImageSize) Bad("inconsistent header: image size");
  if (size_of_headers_ > f.size()) Bad("truncated file: headers run past the end");
  if (size_of_headers_ > size_of_image_) Bad("inconsistent header: headers larger than the image");
  if (image_base_ & 0xFFFF) Bad("inconsistent header: image base not 64 KB aligned");
  if (uint64_t(image_base_) + size_of_image_ > 0x100000000ull) Bad("inconsistent header: image beyond 4 GB");

  const size_t table = opt + optional_size;
  if (section_count == 0 || section_count > 96) Bad("inconsistent header: section count");
  if (f.size() < table + size_t(section_count) * 40) Bad("truncated file: section table");
  image_.assign(size_of_image_, 0);
  std::memcpy(image_.data(), f.data(), size_of_headers_);
  for (uint16_t i = 0; i < section_count; ++i) {
    const size_t s = table + i * 40;
    PeSection sec;
    sec.name.assign(reinterpret_cast<const char*>(&f[s]), strnlen(reinterpret_cast<const char*>(&f[s]), 8));
    sec.virtual_size = FileWord(f, s + 8);
    sec.rva = FileWord(f, s + 12);
    sec.raw_size = FileWord(f, s + 16);
    sec.raw_offset = FileWord(f, s + 20);
    sec.characteristics = FileWord(f, s + 36);
    if (sec.rva < size_of_headers_ || uint64_t(sec.rva) + sec.mapped_size() > size_of_image_)
      Bad("inconsistent section " + ModuleText(sec.name) + ": outside the image");
    const uint32_t copy = std::min(sec.raw_size, sec.mapped_size());
    if (copy && (sec.raw_offset > f.size() || f.size() - sec.raw_offset < copy))
      Bad("truncated file: section " + ModuleText(sec.name) + " runs past the end of the file");
    for (const PeSection& other : sections_)
      if (sec.rva < other.rva + other.mapped_size() && other.rva < sec.rva + sec.mapped_size())
        Bad("inconsistent sections: " + ModuleText(sec.name) + " overlaps " + ModuleText(other.name));
    if (copy) std::memcpy(&image_[sec.rva], &f[sec.raw_offset], copy);
    sections_.push_back(sec);
  }
  if (entry_rva_ && !SectionAt(entry_rva_)) Bad("inconsistent header: entry point outside every section");
  has_relocations_ = directories_[kRelocDir].size != 0;
  if (characteristics & kRelocsStripped) has_relocations_ = false;
}

void PeImage::Require(uint32_t rva, uint32_t size, const char* what) const {
  if (rva > size_of_image_ || size_of_image_ - rva < size)
    Bad(std::string("inconsistent file: ") + what + " outside the image");
}

uint32_t PeImage::Word(uint32_t rva) const {
  Require(rva, 4, "a table entry");
  uint32_t v;
  std::memcpy(&v, &image_[rva], 4);
  return v;
}

uint16_t PeImage::Half(uint32_t rva) const {
  Require(rva, 2, "a table entry");
  uint16_t v;
  std::memcpy(&v, &image_[rva], 2);
  return v;
}

std::string PeImage::String(uint32_t rva, uint32_t max_length) const {
  Require(rva, 1, "a name");
  const size_t room = std::min<size_t>(max_length, size_of_image_ - rva);
  const size_t length = strnlen(reinterpret_cast<const char*>(&image_[rva]), room);
  if (length == room) Bad("inconsistent file: unterminated name");
  return std::string(reinterpret_cast<const char*>(&image_[rva]), length);
}

const PeSection* PeImage::SectionAt(uint32_t rva) const {
  for (const PeSection& s : sections_)
    if (s.contains(rva)) return &s;
  return nullptr;
}

void PeImage::ParseRelocations() {
  const Directory d = directories_[kRelocDir];
  if (!d.size) return;
  Require(d.rva, d.size, "relocation table");
  for (uint32_t at = d.rva; at + 8 <= d.rva + d.size;) {
    const uint32_t page = Word(at);
    const uint32_t block = Word(at + 4);
    if (block < 8 || block > d.rva + d.size - at) Bad("inconsistent relocation block size");
    for (uint32_t e = at + 8; e + 2 <= at + block; e += 2) {
      const uint16_t entry = Half(e);
      const uint16_t type = entry >> 12;
      if (type == 0) continue;  // padding
      if (type != 3) Bad("unsupported relocation type " + std::to_string(type));
      const uint32_t rva = page + (entry & 0xFFF);
      Require(rva, 4, "relocation target");
      relocations_.push_back({rva});
    }
    at += block;
  }
}

void PeImage::ParseImports() {
  const Directory d = directories_[kImportDir];
  if (!d.size) return;
  for (uint32_t desc = d.rva;; desc += 20) {
    Require(desc, 20, "import descriptor");
    const uint32_t lookup = Word(desc);
    const uint32_t name = Word(desc + 12);
    const uint32_t iat = Word(desc + 16);
    if (!lookup && !name && !iat) break;
    const std::string dll = String(name);
    const uint32_t thunks = lookup ? lookup : iat;
    for (uint32_t i = 0;; ++i) {
      if (i > 65536 || imports_.size() >= kMaxImports) Bad("inconsistent import table: too many imports from " + ModuleText(dll));
      const uint32_t entry = Word(thunks + 4 * i);
      if (!entry) break;
      PeImport imp;
      imp.dll = dll;
      imp.iat_rva = iat + 4 * i;
      Require(imp.iat_rva, 4, "import address table");
      if (entry & 0x80000000u)
        imp.ordinal = entry & 0xFFFF;
      else
        imp.name = String(entry + 2);
      imports_.push_back(imp);
    }
  }
}

void PeImage::ParseExports() {
  const Directory d = directories_[kExportDir];
  if (!d.size) return;
  Require(d.rva, 40, "export directory");
  const uint32_t function_count = Word(d.rva + 20);
  const uint32_t name_count = Word(d.rva + 24);
  const uint32_t functions = Word(d.rva + 28);
  const uint32_t names = Word(d.rva + 32);
  const uint32_t ordinals = Word(d.rva + 36);
  if (name_count > 65536 || function_count > 65536) Bad("inconsistent export directory: counts");
  for (uint32_t i = 0; i < name_count; ++i) {
    const uint16_t index = Half(ordinals + 2 * i);
    if (index >= function_count) Bad("inconsistent export directory: ordinal out of range");
    exports_.push_back({String(Word(names + 4 * i)), Word(functions + 4 * index)});
  }
}

void PeImage::ParseResources() {
  if (!directories_[kResourceDir].size) return;
  uint32_t ids[3] = {};
  ParseResourceDirectory(0, 0, ids);
  // Each resource owns its bytes: leaves that share data would make one
  // small file decode into many large pictures.
  std::vector<const PeResource*> by_data;
  for (const PeResource& r : resources_)
    if (r.size) by_data.push_back(&r);
  std::sort(by_data.begin(), by_data.end(), [](auto* a, auto* b) { return a->data_rva < b->data_rva; });
  for (size_t i = 1; i < by_data.size(); ++i)
    if (by_data[i]->data_rva - by_data[i - 1]->data_rva < by_data[i - 1]->size)
      Bad("inconsistent resource directory: resources " + std::to_string(by_data[i - 1]->id) + " and " +
          std::to_string(by_data[i]->id) + " share data");
}

// Three levels: type, id, language. Entries named by string are skipped:
// the modules name every resource by number.
void PeImage::ParseResourceDirectory(uint32_t dir_offset, int depth, uint32_t ids[3]) {
  const Directory d = directories_[kResourceDir];
  const uint32_t dir = d.rva + dir_offset;
  Require(dir, 16, "resource directory");
  const uint32_t count = uint32_t(Half(dir + 12)) + Half(dir + 14);
  for (uint32_t i = 0; i < count; ++i) {
    if (++resource_entries_ > kMaxResourceEntries) Bad("inconsistent resource directory: too many entries");
    const uint32_t entry = dir + 16 + 8 * i;
    const uint32_t name = Word(entry);
    const uint32_t target = Word(entry + 4);
    if (name & 0x80000000u) continue;
    ids[depth] = name;
    const bool subdirectory = target & 0x80000000u;
    if (subdirectory != (depth < 2)) Bad("inconsistent resource directory: wrong depth");
    if (subdirectory) {
      ParseResourceDirectory(target & 0x7FFFFFFFu, depth + 1, ids);
      continue;
    }
    Require(d.rva + target, 16, "resource data entry");
    PeResource r{ids[0], ids[1], ids[2], Word(d.rva + target), Word(d.rva + target + 4)};
    Require(r.data_rva, r.size, "resource data");
    resources_.push_back(r);
  }
}

void PeImage::ParseTls() {
  const Directory d = directories_[kTlsDir];
  if (!d.size) return;
  Require(d.rva, 24, "TLS directory");
  const uint32_t callbacks = Word(d.rva + 12);
  if (!callbacks) return;
  if (callbacks < image_base_) Bad("inconsistent TLS directory: callbacks outside the image");
  tls_callbacks_rva_ = callbacks - image_base_;
  Require(tls_callbacks_rva_, 4, "TLS callbacks");
}

std::vector<uint8_t> PeImage::Map(uint32_t base) const {
  std::vector<uint8_t> mapped = image_;
  const uint32_t delta = base - image_base_;
  for (const Relocation& r : relocations_) {
    uint32_t v;
    std::memcpy(&v, &mapped[r.rva], 4);
    v += delta;
    std::memcpy(&mapped[r.rva], &v, 4);
  }
  return mapped;
}

std::span<const uint8_t> PeImage::ResourceBytes(const PeResource& resource) const {
  return std::span<const uint8_t>(image_).subspan(resource.data_rva, resource.size);
}

}  // namespace gauge
