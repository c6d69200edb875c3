// HostServices: the host's table of function pointers that modules call,
// slot N at byte offset 4 * N. The thirteen slots the modules use lead to
// stubs that record each call and have the effects modules rely on; every
// other slot fails the run with "module called unsupported service N".
// Two tables exist, so tests can swap the address in ImportTable between
// calls and see which table a call went through.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "emulator.h"
#include "record_fields.h"
#include "records.h"

namespace gauge {

// A shared sequence: service calls and audited memory accesses take their
// numbers from it, so tests can state what happened before what.
struct Sequence {
  uint64_t next = 0;
  uint64_t Take() { return next++; }
};

struct ServiceCall {
  uint64_t sequence = 0;
  int table = 0;  // 0 = the primary table, 1 = the second one
  Service service = Service::QueryElements;
  uint32_t slot = 0;
  std::string name;
  std::vector<uint32_t> args;  // argument words, first argument first
};

// Host variable values by id, as ReadVariable and the driver deliver them.
using VariableStore = std::map<int32_t, double>;

class HostServiceTables {
 public:
  static constexpr int kTableCount = 2;
  static constexpr uint32_t kSlotCount = 256;  // slots beyond the used ones all fail

  // `records` learns the records the module hands over (mouse areas, bound
  // variables); `variables` are what ReadVariable delivers.
  HostServiceTables(Emulator& emulator, Sequence& sequence, const VariableStore& variables, RecordMap& records);

  uint32_t table_address(int table) const { return tables_[table]; }
  const std::vector<ServiceCall>& calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // The mouse-area list between RegisterMouseAreas and UnregisterMouseAreas, or 0.
  uint32_t registered_mouse_areas() const { return registered_areas_; }

  // The name of a slot the modules use, or empty.
  static std::string SlotName(uint32_t slot);

 private:
  struct Effect;
  static const Effect kEffects[];

  void OnCall(StubFrame& frame, int table, const ServiceSlot& slot);
  void InstallElements(const ServiceCall& call);
  void ReadVariable(const ServiceCall& call);
  void AddMouseAreas(uint32_t list);
  void InstallMouseAreas(const ServiceCall& call);
  void RegisterMouseAreas(const ServiceCall& call);
  void UnregisterMouseAreas(const ServiceCall& call);
  void BindVariable(const ServiceCall& call);

  Emulator& emu_;
  Sequence& sequence_;
  const VariableStore& variables_;
  RecordMap& records_;
  uint32_t tables_[kTableCount] = {};
  std::vector<ServiceCall> calls_;
  std::map<uint32_t, uint32_t> host_records_;  // top element -> host record
  uint32_t registered_areas_ = 0;
};

}  // namespace gauge
