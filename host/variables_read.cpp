#include "variables_read.h"

#include <map>

#include "record_fields.h"

namespace gauge {
namespace {

// The variable records of an element that a value callback is given, with
// the word that holds that callback.
struct CallbackVariable {
  uint32_t callback;
  uint32_t variable;
};

std::vector<CallbackVariable> CallbackVariables(const ElementSnapshot& element) {
  const uint32_t a = Common(element).address;
  switch (KindOf(element)) {
    case ElementKind::kNeedle:
      return {{a + layout::Needle::value_callback, a + layout::Needle::variable}};
    case ElementKind::kSprite:
      return {{a + layout::Sprite::value_callback, a + layout::Sprite::variables}};
    case ElementKind::kString: {
      std::vector<CallbackVariable> list;
      for (uint32_t i = 0; i < 3; ++i)
        list.push_back({a + layout::String::value_callbacks + layout::kWord * i,
                        a + layout::String::variables + layout::Variable::kSize * i});
      return list;
    }
    default:
      return {};
  }
}

}  // namespace

std::vector<VariableRead> VariablesRead(const GaugeSession& session) {
  const Emulator& emu = session.emulator();
  std::map<int32_t, VariableRead> by_id;
  const auto add = [&](uint32_t record, const std::string& reader) {
    const int32_t id = int32_t(emu.ReadWord(record + layout::Variable::id));
    if (id == 0) return;
    VariableRead& v = by_id[id];
    v.id = id;
    for (const VariableReader& r : v.readers)
      if (r.reader == reader && r.record == record) return;
    v.readers.push_back({reader, record});
  };
  for (const ElementSnapshot& element : session.ElementStates())
    for (const CallbackVariable& c : CallbackVariables(element))
      if (emu.ReadWord(c.callback) != 0) add(c.variable, Common(element).role);
  for (const ServiceCall& call : session.service_calls()) {
    if (call.service != Service::ReadVariable && call.service != Service::BindVariable) continue;
    if (session.module().contains(call.args[0], layout::Variable::kSize)) add(call.args[0], call.name);
  }
  std::vector<VariableRead> list;
  for (auto& [id, v] : by_id) list.push_back(std::move(v));
  return list;
}

double RecordValue(const GaugeSession& session, uint32_t record) {
  return session.emulator().ReadDouble(record + layout::Variable::value);
}

std::string IdList(const std::vector<VariableRead>& variables) {
  std::string text;
  for (size_t i = 0; i < variables.size(); ++i) {
    if (i) text += i + 1 == variables.size() ? " and " : ", ";
    text += std::to_string(variables[i].id);
  }
  return text.empty() ? "none" : text;
}

}  // namespace gauge
