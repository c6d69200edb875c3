// Our own reader for 32-bit Windows DLLs (PE32): headers, sections, base
// relocations, imports, exports, TLS callbacks and the resource directory.
// Every offset and size read from the file is bounds-checked; bad input
// raises HostError (kFormat) with a one-line reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gauge {

struct PeSection {
  std::string name;
  uint32_t rva = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
  uint32_t characteristics = 0;

  bool readable() const { return characteristics & 0x40000000u; }
  bool writable() const { return characteristics & 0x80000000u; }
  bool executable() const { return characteristics & 0x20000000u; }
  uint32_t mapped_size() const;  // virtual size, or raw size when that is 0
  bool contains(uint32_t rva_in) const { return rva_in >= rva && rva_in - rva < mapped_size(); }
};

struct PeImport {
  std::string dll;    // as named in the file, e.g. "KERNEL32.dll"
  std::string name;   // empty for an import by ordinal
  uint16_t ordinal = 0;
  uint32_t iat_rva = 0;  // the word the loader fills with the bound address
};

struct PeExport {
  std::string name;
  uint32_t rva = 0;
};

struct PeResource {
  uint32_t type = 0;      // 2 = bitmap
  uint32_t id = 0;
  uint32_t language = 0;  // 1033 = US English
  uint32_t data_rva = 0;
  uint32_t size = 0;
};

class PeImage {
 public:
  // Parses a PE32 DLL held in memory.
  static PeImage Parse(std::vector<uint8_t> file);
  // Reads and parses a file; a missing or unreadable file is kFile.
  static PeImage ReadFile(const std::string& path);

  uint16_t machine() const { return machine_; }
  uint32_t image_base() const { return image_base_; }
  uint32_t size_of_image() const { return size_of_image_; }
  uint32_t entry_rva() const { return entry_rva_; }
  bool has_relocations() const { return has_relocations_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  const std::vector<PeImport>& imports() const { return imports_; }
  const std::vector<PeExport>& exports() const { return exports_; }
  const std::vector<PeResource>& resources() const { return resources_; }
  // Relative addresses of the TLS callback list's entries, as stored (absolute
  // addresses for the preferred base; Map() relocates them with the rest).
  uint32_t tls_callbacks_rva() const { return tls_callbacks_rva_; }

  // The section holding `rva`, or null.
  const PeSection* SectionAt(uint32_t rva) const;
  // The image as mapped at `base`: headers and sections laid out by relative
  // address, base relocations applied.
  std::vector<uint8_t> Map(uint32_t base) const;
  // The bytes of a resource, from the image as mapped at the preferred base.
  std::span<const uint8_t> ResourceBytes(const PeResource& resource) const;

 private:
  void ParseHeaders();
  void ParseImports();
  void ParseExports();
  void ParseResources();
  void ParseRelocations();
  void ParseTls();
  void ParseResourceDirectory(uint32_t dir_offset, int depth, uint32_t ids[3]);

  // Bounds-checked reads from the mapped image (relative addresses).
  uint32_t Word(uint32_t rva) const;
  uint16_t Half(uint32_t rva) const;
  std::string String(uint32_t rva, uint32_t max_length = 512) const;
  void Require(uint32_t rva, uint32_t size, const char* what) const;

  struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
  };
  struct Relocation {
    uint32_t rva;
  };

  std::vector<uint8_t> file_;
  std::vector<uint8_t> image_;  // mapped at the preferred base, not relocated
  uint16_t machine_ = 0;
  uint32_t image_base_ = 0;
  uint32_t size_of_image_ = 0;
  uint32_t size_of_headers_ = 0;
  uint32_t entry_rva_ = 0;
  uint32_t tls_callbacks_rva_ = 0;
  bool has_relocations_ = false;
  std::vector<Directory> directories_;
  std::vector<PeSection> sections_;
  std::vector<PeImport> imports_;
  std::vector<PeExport> exports_;
  std::vector<PeResource> resources_;
  std::vector<Relocation> relocations_;  // HIGHLOW fixups
  size_t resource_entries_ = 0;          // directory entries walked so far
};

}  // namespace gauge
