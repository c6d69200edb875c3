// What each result of an update cycle drives, named for people reading it:
// a needle's angle (degrees clockwise from 3 o'clock) or, with a calibration
// table, its calibrated value; a drum's turn; a readout's text and the
// values its callbacks returned. Used by gauge-host's output and the bench.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records.h"

namespace gauge {

struct NamedResult {
  std::string name;                 // "needle angle", "calibrated value", "drum turn", "readout text"
  std::string unit;                 // "degrees clockwise from 3 o'clock", or empty
  std::optional<double> value;      // a callback's result
  std::optional<std::string> text;  // the readout's text
};

// The results of one element after a cycle, in the order the host got them.
std::vector<NamedResult> NamedResults(const ElementSnapshot& element);

}  // namespace gauge
