// libFuzzer target over the PE reader alone: any byte string parsed as a
// PE32 file, mapped at a foreign base, and every bitmap resource decoded.
// No emulator is built per input, so it runs far more inputs a second than
// the target over the whole info path.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitmap.h"
#include "host_error.h"
#include "pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const gauge::PeImage pe = gauge::PeImage::Parse(std::vector<uint8_t>(data, data + size));
    for (const gauge::PeSection& section : pe.sections()) (void)pe.SectionAt(section.rva);
    (void)pe.Map(0x20000000);
    for (const gauge::PeResource& resource : pe.resources()) {
      gauge::IndexedBitmap bitmap;
      std::string error;
      (void)gauge::DecodeDib(pe.ResourceBytes(resource), bitmap, error);
    }
  } catch (const gauge::HostError&) {
    // gauge-host prints it as one line and exits with 2
  }
  return 0;
}
