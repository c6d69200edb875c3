// Bytes of each shipped (stripped) module, split by the PE section table into
// headers, code (.text), records (.data), bitmaps (.rsrc) and everything
// else (read-only data, imports, exports, relocations, start-up tables).
// Prints one markdown table.
//
//   module_sizes DIST_DIR
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "pe_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: module_sizes DIST_DIR\n");
    return 2;
  }
  std::printf("| module | file | headers | code | records | bitmaps | other | other sections |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---|\n");
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    const std::string path = std::string(argv[1]) + "/" + module + ".gau";
    try {
      const gauge::PeImage pe = gauge::PeImage::ReadFile(path);
      const uint64_t file = std::filesystem::file_size(path);
      uint64_t first_data = file, in_sections = 0;
      std::map<std::string, uint64_t> parts;
      std::string others;
      for (const gauge::PeSection& s : pe.sections()) {
        if (!s.raw_size) continue;
        first_data = std::min<uint64_t>(first_data, s.raw_offset);
        in_sections += s.raw_size;
        const std::string part = s.name == ".text" ? "code" : s.name == ".data" ? "records"
                                 : s.name == ".rsrc" ? "bitmaps" : "other";
        parts[part] += s.raw_size;
        if (part == "other") others += (others.empty() ? "" : " ") + s.name + " " + std::to_string(s.raw_size);
      }
      // Bytes in no section at all (an appended overlay) count as other too.
      parts["other"] += file - first_data - in_sections;
      std::printf("| %s | %llu | %llu | %llu | %llu | %llu | %llu | %s |\n", module,
                  static_cast<unsigned long long>(file), static_cast<unsigned long long>(first_data),
                  static_cast<unsigned long long>(parts["code"]), static_cast<unsigned long long>(parts["records"]),
                  static_cast<unsigned long long>(parts["bitmaps"]), static_cast<unsigned long long>(parts["other"]),
                  others.c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "module_sizes: %s: %s\n", path.c_str(), e.what());
      return 2;
    }
  }
  return 0;
}
