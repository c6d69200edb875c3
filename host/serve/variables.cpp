#include "variables.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "record_fields.h"

namespace gauge::serve {
namespace {

// An element's ModuleVariable records: a needle has one, string and sprite
// elements three, one after the other, from the same offset.
static_assert(layout::String::variables == layout::Needle::variable &&
              layout::Sprite::variables == layout::Needle::variable);

void AddReader(std::vector<VariableRead>& variables, int32_t id, VariableReader reader) {
  auto it = std::find_if(variables.begin(), variables.end(), [&](const VariableRead& v) { return v.id == id; });
  if (it == variables.end()) it = variables.insert(variables.end(), VariableRead{id, {}});
  for (const VariableReader& known : it->readers)
    if (known.name == reader.name && known.record == reader.record) return;
  it->readers.push_back(std::move(reader));
}

// What the picture shows of a chain: needle angles and sprite turns (or
// calibrated values), and readout texts.
struct Shown {
  std::vector<double> values;
  std::vector<std::string> texts;
  bool operator==(const Shown&) const = default;
};

class Probe {
 public:
  Probe(const std::string& path, int32_t id) : session_(GaugeSession::Load(path)), id_(id) {
    session_->Install(0);
    session_->Initialize();
  }

  Shown At(double value) {
    session_->SetVariable(id_, value);
    session_->RunUpdateCycle();  // an element may use what a later one computed
    Shown shown;
    for (const ElementSnapshot& e : session_->RunUpdateCycle()) {
      if (const auto* text = std::get_if<StringState>(&e))
        shown.texts.push_back(text->text);
      else if (const std::vector<double> results = Results(e); !results.empty())
        shown.values.push_back(results[0]);
    }
    session_->ClearLogs();
    return shown;
  }

  // The point between `changing` and `settled` (at which the chain shows
  // `end`) where the picture stops changing.
  double Stop(double changing, double settled, const Shown& end) {
    for (int i = 0; i < 64 && changing != settled; ++i) {
      const double middle = changing + (settled - changing) / 2;
      if (middle == changing || middle == settled) break;
      (At(middle) == end ? settled : changing) = middle;
    }
    return settled;
  }

 private:
  std::unique_ptr<GaugeSession> session_;
  int32_t id_;
};

// Probe points: 0 and +-{1, 2, 5} x 10^k, from 0.1 to 5 x 10^6, ascending.
std::vector<double> ProbePoints() {
  std::vector<double> up;
  for (double decade = 0.1; decade < 1e7; decade *= 10)
    for (double step : {1.0, 2.0, 5.0}) up.push_back(step * decade);
  std::vector<double> points;
  for (auto it = up.rbegin(); it != up.rend(); ++it) points.push_back(-*it);
  points.push_back(0);
  points.insert(points.end(), up.begin(), up.end());
  return points;
}

// Rounds both ends to a millionth of the larger one's decade, so that a
// stop found to the last bit (409.99999999997) reads as the value it is.
ValueRange Tidy(double low, double high, const char* source) {
  const double magnitude = std::max({std::fabs(low), std::fabs(high), 1.0});
  const double quantum = std::pow(10.0, std::floor(std::log10(magnitude)) - 6);
  return {std::round(low / quantum) * quantum + 0.0, std::round(high / quantum) * quantum + 0.0, source};
}

constexpr double kDefaultSpan = 1000;

ValueRange ProbedRange(const std::string& path, int32_t id) {
  Probe probe(path, id);
  const std::vector<double> points = ProbePoints();
  std::vector<Shown> shown;
  for (double p : points) shown.push_back(probe.At(p));
  const size_t n = points.size();
  // Settled above from points[top] on, below up to points[bottom].
  size_t top = n - 1, bottom = 0;
  while (top > 0 && shown[top - 1] == shown[n - 1]) --top;
  while (bottom + 1 < n && shown[bottom + 1] == shown[0]) ++bottom;
  if (bottom >= top) return {0, kDefaultSpan, "default"};  // never changes
  std::optional<double> low, high;
  if (top < n - 1) high = probe.Stop(points[top - 1], points[top], shown[n - 1]);
  if (bottom > 0) low = probe.Stop(points[bottom + 1], points[bottom], shown[0]);
  if (!low && !high) return {0, kDefaultSpan, "default"};
  if (!low) low = *high - kDefaultSpan;
  if (!high) high = *low + kDefaultSpan;
  if (*high - *low < 1) {  // a step at one value: show it in the middle
    *low -= 1;
    *high += 1;
  }
  return Tidy(*low, *high, "value functions");
}

}  // namespace

std::vector<VariableRead> VariablesRead(const GaugeSession& session, const std::vector<ElementSnapshot>& chain,
                                        const std::vector<ServiceCall>& calls) {
  std::vector<VariableRead> variables;
  for (const ElementSnapshot& e : chain) {
    const std::vector<int32_t> ids = VariableIds(e);
    for (size_t i = 0; i < ids.size(); ++i)
      if (ids[i] != 0)
        AddReader(variables, ids[i],
                  {Common(e).role, Common(e).address + layout::Needle::variable + uint32_t(i) * layout::Variable::kSize});
  }
  for (const ServiceCall& call : calls) {
    if ((call.service != Service::ReadVariable && call.service != Service::BindVariable) || call.args.empty()) continue;
    const uint32_t record = call.args[0];
    if (!session.module().contains(record, layout::Variable::kSize)) continue;
    const int32_t id = int32_t(session.emulator().ReadWord(record + layout::Variable::id));
    if (id == 0) continue;
    const auto named = session.NameAddress(record);
    AddReader(variables, id, {call.name + (named ? " (" + named->record + ")" : ""), record});
  }
  return variables;
}

ValueRange DeriveRange(const std::string& path, int32_t id, const std::vector<ElementSnapshot>& chain) {
  for (const ElementSnapshot& element : chain) {
    const auto* needle = std::get_if<NeedleState>(&element);
    if (!needle || needle->calibration.empty() || needle->variable_id != id) continue;
    double low = needle->calibration[0].value, high = low;
    for (const CalibrationEntry& entry : needle->calibration) {
      low = std::min(low, entry.value);
      high = std::max(high, entry.value);
    }
    if (low < high) return {low, high, "calibration table"};
  }
  try {
    return ProbedRange(path, id);
  } catch (const std::exception&) {  // the module faults on some probe value
    return {0, kDefaultSpan, "default"};
  }
}

}  // namespace gauge::serve
