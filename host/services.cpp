#include "services.h"

namespace gauge {
namespace {

constexpr uint32_t kHostRecordSize = 64;
// Each call the host records keeps about a hundred bytes: charged to the
// running call like the blocks that emulated code would need to write them,
// so a module that calls services in a loop is stopped as a runaway.
constexpr uint64_t kRecordedCallBlocks = 8;

const ServiceSlot* SlotInfo(uint32_t slot) {
  for (const ServiceSlot& s : kServiceSlots)
    if (uint32_t(s.service) == slot) return &s;
  return nullptr;
}

}  // namespace

// What a service call does besides being recorded; services without an
// entry (the element passes, SendEvent) have no effect on the host's side.
struct HostServiceTables::Effect {
  Service service;
  void (HostServiceTables::*handle)(const ServiceCall& call);
};

const HostServiceTables::Effect HostServiceTables::kEffects[] = {
    {Service::InstallElements, &HostServiceTables::InstallElements},
    {Service::ReadVariable, &HostServiceTables::ReadVariable},
    {Service::InstallMouseAreas, &HostServiceTables::InstallMouseAreas},
    {Service::RegisterMouseAreas, &HostServiceTables::RegisterMouseAreas},
    {Service::UnregisterMouseAreas, &HostServiceTables::UnregisterMouseAreas},
    {Service::BindVariable, &HostServiceTables::BindVariable},
};

std::string HostServiceTables::SlotName(uint32_t slot) {
  const ServiceSlot* s = SlotInfo(slot);
  return s ? s->name : "";
}

HostServiceTables::HostServiceTables(Emulator& emulator, Sequence& sequence, const VariableStore& variables,
                                     RecordMap& records)
    : emu_(emulator), sequence_(sequence), variables_(variables), records_(records) {
  for (int t = 0; t < kTableCount; ++t) {
    tables_[t] = emu_.Allocate(layout::kWord * kSlotCount);
    for (uint32_t slot = 0; slot < kSlotCount; ++slot) {
      const ServiceSlot* info = SlotInfo(slot);
      const uint32_t stub = info ? emu_.AddStub(info->words, true, [this, t, info](StubFrame& f) { OnCall(f, t, *info); })
                                 : emu_.AddStub(0, false, [this, slot](StubFrame&) {
                                     emu_.Fail(ErrorKind::kUnsupportedService,
                                               "module called unsupported service " + std::to_string(slot));
                                   });
      emu_.WriteWord(tables_[t] + layout::kWord * slot, stub);
    }
  }
}

void HostServiceTables::OnCall(StubFrame& frame, int table, const ServiceSlot& slot) {
  emu_.Charge(kRecordedCallBlocks);
  ServiceCall call;
  call.sequence = sequence_.Take();
  call.table = table;
  call.service = slot.service;
  call.slot = uint32_t(slot.service);
  call.name = slot.name;
  for (int i = 0; i < slot.words; ++i) call.args.push_back(frame.arg(i));
  calls_.push_back(call);
  for (const Effect& effect : kEffects)
    if (effect.service == call.service) (this->*effect.handle)(call);
}

// The top element's host_image[0] gets the host's record for it.
void HostServiceTables::InstallElements(const ServiceCall& call) {
  const uint32_t top = call.args[0];
  uint32_t& record = host_records_[top];
  if (!record) record = emu_.Allocate(kHostRecordSize);
  emu_.WriteWord(top + layout::StaticImage::host_image, record);
}

// The variable's value becomes the host variable its id names (0 when unset).
void HostServiceTables::ReadVariable(const ServiceCall& call) {
  const uint32_t variable = call.args[0];
  const int32_t id = int32_t(emu_.ReadWord(variable + layout::Variable::id));
  auto it = variables_.find(id);
  emu_.WriteDouble(variable + layout::Variable::value, it == variables_.end() ? 0.0 : it->second);
}

// Walking a mouse-area list is charged as reading its entries would be.
void HostServiceTables::AddMouseAreas(uint32_t list) {
  constexpr uint32_t kAreaBlocks = layout::MouseArea::kSize / 16 + 1;
  emu_.Charge(uint64_t(kAreaBlocks) * records_.AddMouseAreas(emu_, list));
}

void HostServiceTables::InstallMouseAreas(const ServiceCall& call) { AddMouseAreas(call.args[0]); }

void HostServiceTables::RegisterMouseAreas(const ServiceCall& call) {
  AddMouseAreas(call.args[0]);
  registered_areas_ = call.args[0];
}

void HostServiceTables::UnregisterMouseAreas(const ServiceCall& call) {
  if (registered_areas_ == call.args[0]) registered_areas_ = 0;
}

void HostServiceTables::BindVariable(const ServiceCall& call) { records_.AddBoundVariable(call.args[0]); }

}  // namespace gauge
