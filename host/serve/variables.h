// The host variables a module reads, found from its records and from the
// services it calls (not from a list of known ids), who reads each, and the
// range the bench offers for each before the user edits it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gauge_session.h"

namespace gauge::serve {

struct VariableReader {
  std::string name;     // "element[1] (needle)", "ReadVariable (units variable)"
  uint32_t record = 0;  // the ModuleVariable the module reads it through
};

struct VariableRead {
  int32_t id = 0;
  std::vector<VariableReader> readers;
};

// Every variable the elements of `chain` name, then every one the module
// bound or read through a service among `calls`, each once, in that order.
std::vector<VariableRead> VariablesRead(const GaugeSession& session, const std::vector<ElementSnapshot>& chain,
                                        const std::vector<ServiceCall>& calls);

struct ValueRange {
  double low = 0, high = 0;
  std::string source;  // "calibration table", "value functions", "default"
};

// The range to offer for variable `id`: the span of a calibration table of
// a needle that reads it; else where the chain's results stop changing
// below and above (a clamp), probed on a fresh load of the module at `path`
// with the other variables at 0, so that a module faulting on some value
// does not stop the bench's own session; else 0 to 1000 next to the stop
// found on one side, or 0 to 1000.
ValueRange DeriveRange(const std::string& path, int32_t id, const std::vector<ElementSnapshot>& chain);

}  // namespace gauge::serve
