#include "module_loader.h"

namespace gauge {
namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kMaxTlsCallbacks = 16;

uint32_t PageUp(uint32_t v) { return (v + kPage - 1) & ~(kPage - 1); }

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

uint32_t SectionProtection(const PeSection& s) {
  uint32_t p = kRead;
  if (s.writable()) p |= kWrite;
  if (s.executable()) p |= kExecute;
  return p;
}

}  // namespace

uint32_t DefaultLoadBase(const PeImage& pe) {
  const uint32_t first = 0x10000000, second = 0x20000000;
  const bool first_overlaps = pe.image_base() < first + pe.size_of_image() &&
                              first < pe.image_base() + pe.size_of_image();
  return first_overlaps ? second : first;
}

LoadedModule MapModule(Emulator& emulator, CrtStubs& stubs, const PeImage& pe, uint32_t base) {
  LoadedModule m;
  m.base = base;
  m.size = PageUp(pe.size_of_image());
  if (base & 0xFFFF || base < 0x10000 || uint64_t(base) + m.size > 0x100000000ull ||
      (base < layout::kHostEnd && layout::kHostBegin < base + m.size))
    throw HostError(ErrorKind::kLoad, "cannot load the module at " + Hex(base) +
                                          ": not a free, 64 KB aligned range");
  if (base != pe.image_base() && !pe.has_relocations())
    throw HostError(ErrorKind::kLoad, "module has no base relocations, so it only loads at " +
                                          Hex(pe.image_base()));
  const std::vector<uint8_t> image = pe.Map(base);
  emulator.Map(base, m.size, kAll);
  emulator.Write(base, image.data(), image.size());

  stubs.SetModule(base, m.size);
  for (const PeImport& imp : pe.imports()) {
    std::string name = imp.name;
    if (name.empty()) name.append("#").append(std::to_string(imp.ordinal));
    emulator.WriteWord(base + imp.iat_rva, stubs.Resolve(imp.dll, name));
  }

  // Page protections as the sections ask, when the sections are page aligned.
  bool aligned = true;
  for (const PeSection& s : pe.sections()) aligned = aligned && s.rva % kPage == 0;
  if (aligned) {
    emulator.Protect(base, m.size, kRead);
    for (const PeSection& s : pe.sections())
      if (s.mapped_size()) emulator.Protect(base + s.rva, PageUp(s.mapped_size()), SectionProtection(s));
  }

  for (const PeExport& e : pe.exports()) m.exports[e.name] = base + e.rva;
  m.entry = pe.entry_rva() ? base + pe.entry_rva() : 0;
  return m;
}

void AttachModule(Emulator& emulator, const PeImage& pe, const LoadedModule& module) {
  const uint32_t attach[3] = {module.base, kProcessAttach, 0};
  if (pe.tls_callbacks_rva()) {
    for (uint32_t i = 0; i < kMaxTlsCallbacks; ++i) {
      const uint32_t callback = emulator.ReadWord(module.base + pe.tls_callbacks_rva() + 4 * i);
      if (!callback) break;
      if (!module.contains(callback))
        throw HostError(ErrorKind::kLoad, "TLS callback " + Hex(callback) + " lies outside the module");
      emulator.CallWord(callback, attach);
    }
  }
  if (module.entry && emulator.CallWord(module.entry, attach) == 0)
    throw HostError(ErrorKind::kLoad, "module's entry point refused process attach (returned 0)");
}

}  // namespace gauge
