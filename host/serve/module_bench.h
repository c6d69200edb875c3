// One module on the live bench: its own session, driven by one request at a
// time (modules are not re-entrant), its variables with their ranges, the
// results and picture of its last update cycle, and the events it sent.
// A module that faults stops its own bench with a one-line error; the
// benches of other modules go on.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "gauge_session.h"
#include "scene.h"
#include "variables.h"

namespace gauge::serve {

// A request the bench refuses: its HTTP status and a one-line reason.
class RequestError : public std::runtime_error {
 public:
  RequestError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

class ModuleBench {
 public:
  static constexpr double kMaxScale = 3;
  static constexpr size_t kKeptEvents = 64;

  // Loads, installs and initialises the module and runs its first update
  // cycle. A module that fails here is a stopped bench; only a file that
  // cannot be read throws (HostError, kFile).
  explicit ModuleBench(const std::string& path);

  const std::string& name() const { return name_; }  // the file stem

  // The module, its variables (id, readers, range, values), its elements'
  // results and the recent events: everything the page shows.
  nlohmann::json Describe();
  // Sets the variables, runs an update cycle and returns the state.
  // Unknown ids are a 404 RequestError; a stopped bench a 409.
  nlohmann::json Set(const std::map<int32_t, double>& values);
  // The last cycle's picture as a PNG at `scale` (1 to 3), with the click
  // areas outlined when `areas`.
  std::vector<uint8_t> Picture(double scale, bool areas);
  // A click on gauge pixel (x, y): what it hit, and the state after it.
  nlohmann::json Click(int32_t x, int32_t y);

 private:
  struct Variable {
    VariableRead read;
    ValueRange range;
  };
  struct Event {
    uint64_t sequence;
    uint32_t code, parameter;
    int64_t time_ms;  // wall clock, ms since 1970
  };

  void Start(const std::string& path);
  void Cycle();  // two update cycles, as `render` runs them
  void TakeEvents();
  nlohmann::json StateLocked() const;
  std::vector<uint8_t> PictureLocked(double scale, bool areas);
  void RequireRunning() const;
  // Runs `step`; a fault stops the bench and is answered as 409.
  template <class Step>
  auto Guarded(Step&& step);

  std::mutex mutex_;
  std::string name_, path_;
  std::string error_;  // why the bench stopped; empty while it runs
  std::unique_ptr<GaugeSession> session_;
  std::vector<Variable> variables_;
  std::map<int32_t, double> values_;  // as set
  std::vector<ElementSnapshot> chain_;   // the last cycle's
  uint64_t cycles_ = 0;
  int width_ = 0, height_ = 0;  // of the face
  std::deque<Event> events_;
  uint64_t next_event_ = 1;
  render::Renderer renderer_;
};

}  // namespace gauge::serve
