#include "services.h"

#include "record_layout.h"

namespace gauge {
namespace {

struct SlotInfo {
  const char* name;
  uint32_t slot;
  int words;
};

constexpr SlotInfo kSlots[] = {
#define SLOT_INFO(name, slot, words) {#name, slot, words},
    HOST_SERVICE_SLOTS(SLOT_INFO)
#undef SLOT_INFO
};

constexpr uint32_t kHostRecordSize = 64;
// Each call the host records keeps about a hundred bytes: charged to the
// running call like the blocks that emulated code would need to write them,
// so a module that calls services in a loop is stopped as a runaway.
constexpr uint64_t kRecordedCallBlocks = 8;
constexpr uint32_t kHostImageOffset = 60;            // StaticImageElement.host_image
constexpr uint32_t kVariableIdOffset = 0;            // ModuleVariable.id
constexpr uint32_t kVariableValueOffset = 12;        // ModuleVariable.value

}  // namespace

std::string HostServiceTables::SlotName(uint32_t slot) {
  for (const SlotInfo& s : kSlots)
    if (s.slot == slot) return s.name;
  return "";
}

HostServiceTables::HostServiceTables(Emulator& emulator, Sequence& sequence,
                                     const VariableStore& variables)
    : emu_(emulator), sequence_(sequence), variables_(variables) {
  for (int t = 0; t < kTableCount; ++t) {
    tables_[t] = emu_.Allocate(4 * kSlotCount);
    for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
      const std::string name = SlotName(slot);
      int words = 0;
      for (const SlotInfo& s : kSlots)
        if (s.slot == slot) words = s.words;
      const uint32_t stub = name.empty()
          ? emu_.AddStub(0, false, [this, slot](StubFrame&) {
              emu_.Fail(ErrorKind::kUnsupportedService,
                        "module called unsupported service " + std::to_string(slot));
            })
          : emu_.AddStub(words, true, [this, t, slot, name, words](StubFrame& f) {
              OnCall(f, t, slot, name, words);
            });
      emu_.WriteWord(tables_[t] + 4 * slot, stub);
    }
  }
}

uint32_t HostServiceTables::HostRecordFor(uint32_t top_element) const {
  auto it = host_records_.find(top_element);
  return it == host_records_.end() ? 0 : it->second;
}

void HostServiceTables::OnCall(StubFrame& frame, int table, uint32_t slot, const std::string& name,
                               int words) {
  emu_.Charge(kRecordedCallBlocks);
  ServiceCall call;
  call.sequence = sequence_.Take();
  call.table = table;
  call.slot = slot;
  call.name = name;
  for (int i = 0; i < words; ++i) call.args.push_back(frame.arg(i));
  calls_.push_back(call);
  Effects(call);
  if (observer_) observer_(call);
}

void HostServiceTables::Effects(const ServiceCall& call) {
  if (call.name == "InstallElements") {
    const uint32_t top = call.args[0];
    uint32_t& record = host_records_[top];
    if (!record) record = emu_.Allocate(kHostRecordSize);
    emu_.WriteWord(top + kHostImageOffset, record);
  } else if (call.name == "ReadVariable") {
    const uint32_t variable = call.args[0];
    const int32_t id = int32_t(emu_.ReadWord(variable + kVariableIdOffset));
    auto it = variables_.find(id);
    emu_.WriteDouble(variable + kVariableValueOffset, it == variables_.end() ? 0.0 : it->second);
  }
}

}  // namespace gauge
