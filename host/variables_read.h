// The host variables a module reads, found from its records and the
// service calls it made, not from a list of known ids: each element's
// variable records that a value callback is given (the host stores the
// variable there first), and every ModuleVariable the module handed to
// ReadVariable or BindVariable. For each, who reads it and through which
// record, so a tool can show the value the module holds after a cycle (a
// value the module clamped and wrote back shows there).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauge_session.h"

namespace gauge {

struct VariableReader {
  std::string reader;   // "element[1] (needle)", "ReadVariable", "BindVariable"
  uint32_t record = 0;  // the ModuleVariable it reads through
};

struct VariableRead {
  int32_t id = 0;
  std::vector<VariableReader> readers;  // elements first, then services, each once
};

// By id; id 0 (a variable record naming no variable) is left out. Service
// readers appear once the module made the call: drive the gauge through
// install and an update cycle first.
std::vector<VariableRead> VariablesRead(const GaugeSession& session);

// The value field of a ModuleVariable record as the module holds it now.
double RecordValue(const GaugeSession& session, uint32_t record);

// "61, 74 and 335", or "none".
std::string IdList(const std::vector<VariableRead>& variables);

}  // namespace gauge
