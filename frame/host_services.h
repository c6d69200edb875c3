// Calls into the host's service table. The table's address is read from
// ImportTable, and the slot's pointer from the table, at every call: the host
// may replace the table at any time between calls.
#pragma once

#include "gauge_records.h"

struct HostServices {
  void* slots[64];
};

extern "C" ServiceImport ImportTable;

enum class Service : uint32_t {
#define SERVICE_ENUM(name, slot, words) name = slot,
  HOST_SERVICE_SLOTS(SERVICE_ENUM)
#undef SERVICE_ENUM
};

template <Service slot, typename... Args>
inline void CallService(Args... args) {
  using Entry = void(__stdcall*)(Args...);
  HostServices* volatile const& table = ImportTable.services;
  void* volatile const& entry = table->slots[static_cast<uint32_t>(slot)];
  reinterpret_cast<Entry>(entry)(args...);
}
