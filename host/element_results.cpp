#include "element_results.h"

namespace gauge {

std::vector<NamedResult> NamedResults(const ElementSnapshot& element) {
  std::vector<NamedResult> named;
  if (const auto* n = std::get_if<NeedleState>(&element)) {
    if (!n->result) return named;
    if (n->calibration.empty())
      named.push_back({"needle angle", "degrees clockwise from 3 o'clock", n->result, {}});
    else
      named.push_back({"calibrated value", "placed by the calibration table", n->result, {}});
  } else if (const auto* s = std::get_if<SpriteState>(&element)) {
    if (s->result) named.push_back({"drum turn", "degrees counter-clockwise", s->result, {}});
  } else if (const auto* t = std::get_if<StringState>(&element)) {
    named.push_back({"readout text", "", {}, t->text});
    for (size_t i = 0; i < t->results.size(); ++i)
      named.push_back({"readout value " + std::to_string(i + 1), "", t->results[i], {}});
    if (t->real_result) named.push_back({"readout real value", "", t->real_result, {}});
  }
  return named;
}

}  // namespace gauge
