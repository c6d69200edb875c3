#include "module_bench.h"

#include <filesystem>

#include "annotate.h"
#include "canvas.h"
#include "host_error.h"
#include "record_fields.h"
#include "session_scene.h"

namespace gauge::serve {
namespace {

using nlohmann::json;

// What each result of an element drives.
const char* ResultName(const ElementSnapshot& e, size_t slot) {
  if (const auto* needle = std::get_if<NeedleState>(&e)) return needle->calibration.empty() ? "needle angle" : "calibrated value";
  if (std::holds_alternative<SpriteState>(e)) return "sprite turn";
  return slot == 0 ? "readout value" : "string value";
}

json ElementJson(const ElementSnapshot& e) {
  const ElementCommon& common = Common(e);
  const std::vector<double> values = Results(e);
  json results = json::array();
  for (size_t i = 0; i < values.size(); ++i) results.push_back({{"name", ResultName(e, i)}, {"value", values[i]}});
  json element = {{"index", common.index}, {"role", common.role}, {"kind", ElementKindName(KindOf(e))}};
  if (const auto* text = std::get_if<StringState>(&e)) {
    if (text->real_result) results.push_back({{"name", "real value"}, {"value", *text->real_result}});
    element["text"] = text->text;
  }
  element["results"] = results;
  return element;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ModuleBench::ModuleBench(const std::string& path)
    : name_(std::filesystem::path(path).stem().string()), path_(path) {
  try {
    Start(path);
  } catch (const HostError& e) {
    if (e.kind() == ErrorKind::kFile) throw;  // a mistyped path: nothing to show a card for
    error_ = e.what();
  } catch (const std::exception& e) {
    error_ = e.what();
  }
}

void ModuleBench::Start(const std::string& path) {
  session_ = GaugeSession::Load(path);
  session_->Install(0);
  session_->Initialize();
  Cycle();
  for (VariableRead& read : VariablesRead(*session_, chain_, session_->service_calls()))
    variables_.push_back({read, ValueRange{}});
  for (Variable& v : variables_) {
    v.range = DeriveRange(path, v.read.id, chain_);
    values_[v.read.id] = session_->Variable(v.read.id);
  }
  TakeEvents();
  // Draws once, so that a module that draws nothing stops here and the
  // renderer has found its fonts before requests run in parallel.
  PictureLocked(1, false);
}

void ModuleBench::Cycle() {
  session_->RunUpdateCycle();  // an element may use what a later one computes (see `render`)
  chain_ = session_->RunUpdateCycle();
  cycles_ += 2;
}

void ModuleBench::TakeEvents() {
  for (const ServiceCall& call : session_->service_calls()) {
    if (call.service != Service::SendEvent || call.args.size() < 2) continue;
    events_.push_back({next_event_++, call.args[0], call.args[1], NowMs()});
    if (events_.size() > kKeptEvents) events_.pop_front();
  }
  session_->ClearLogs();  // a long-running bench keeps no growing log
}

void ModuleBench::RequireRunning() const {
  if (!error_.empty()) throw RequestError(409, name_ + " has stopped: " + error_);
}

template <class Step>
auto ModuleBench::Guarded(Step&& step) {
  RequireRunning();
  try {
    return step();
  } catch (const RequestError&) {
    throw;
  } catch (const std::exception& e) {
    error_ = e.what();
    throw RequestError(409, name_ + " has stopped: " + error_);
  }
}

json ModuleBench::StateLocked() const {
  json state = {{"name", name_}, {"cycles", cycles_}};
  if (!error_.empty()) {
    state["error"] = error_;
    return state;
  }
  json variables = json::array();
  for (const Variable& v : variables_) {
    json readers = json::array();
    for (const VariableReader& r : v.read.readers) readers.push_back(r.name);
    variables.push_back({{"id", v.read.id},
                         {"readers", readers},
                         {"range", {{"low", v.range.low}, {"high", v.range.high}, {"source", v.range.source}}},
                         {"value", values_.at(v.read.id)},
                         {"module_value", session_->emulator().ReadDouble(v.read.readers[0].record + layout::Variable::value)}});
  }
  json elements = json::array();
  for (const ElementSnapshot& e : chain_) elements.push_back(ElementJson(e));
  json events = json::array();
  for (const Event& e : events_)
    events.push_back({{"sequence", e.sequence}, {"code", e.code}, {"parameter", e.parameter}, {"time_ms", e.time_ms}});
  state["variables"] = variables;
  state["elements"] = elements;
  state["events"] = events;
  return state;
}

json ModuleBench::Describe() {
  std::lock_guard lock(mutex_);
  json state = StateLocked();
  if (error_.empty()) {
    state["gauge_name"] = session_->gauge_name();
    state["width"] = width_;
    state["height"] = height_;
  }
  return state;
}

json ModuleBench::Set(const std::map<int32_t, double>& values) {
  std::lock_guard lock(mutex_);
  RequireRunning();
  for (const auto& [id, value] : values)
    if (!values_.count(id)) throw RequestError(404, name_ + " reads no variable " + std::to_string(id));
  return Guarded([&] {
    for (const auto& [id, value] : values) {
      values_[id] = value;
      session_->SetVariable(id, value);
    }
    Cycle();
    TakeEvents();
    return StateLocked();
  });
}

std::vector<uint8_t> ModuleBench::Picture(double scale, bool areas) {
  if (!(scale >= 1 && scale <= kMaxScale)) throw RequestError(400, "scale must lie between 1 and 3");
  std::lock_guard lock(mutex_);
  return Guarded([&] { return PictureLocked(scale, areas); });
}

std::vector<uint8_t> ModuleBench::PictureLocked(double scale, bool areas) {
  const GaugePicture picture = PictureOf(*session_, chain_);
  if (picture.scene.width <= 0 || picture.scene.height <= 0)
    throw HostError(ErrorKind::kFormat, "the gauge draws nothing: its face is empty");
  width_ = picture.scene.width;
  height_ = picture.scene.height;
  render::Canvas canvas;
  std::string error;
  if (!renderer_.Render(picture.scene, scale, canvas, error)) throw HostError(ErrorKind::kRender, error);
  if (areas) render::DrawAreaOutlines(canvas, ClickableAreas(*session_), scale, renderer_.text());
  std::vector<uint8_t> png;
  if (!render::EncodePng(canvas, png, error)) throw HostError(ErrorKind::kRender, error);
  return png;
}

json ModuleBench::Click(int32_t x, int32_t y) {
  std::lock_guard lock(mutex_);
  return Guarded([&] {
    const ClickResult click = session_->Click(x, y);
    TakeEvents();
    json answer = {{"x", x}, {"y", y}, {"hit", click.hit}};
    if (click.hit) answer["area"] = click.area_index;
    json sent = json::array();
    for (const ServiceCall& e : click.events) sent.push_back({{"code", e.args[0]}, {"parameter", e.args[1]}});
    answer["sent"] = sent;
    answer["state"] = StateLocked();
    return answer;
  });
}

}  // namespace gauge::serve
