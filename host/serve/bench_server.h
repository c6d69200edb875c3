// The live bench over HTTP: the embedded page and a JSON API under /api/.
//
//   GET  /api/modules                      every module: variables, results, events
//   GET  /api/modules/NAME                 one module (NAME: the file stem)
//   POST /api/modules/NAME/variables       {"61": 120}: set, run an update cycle, the state
//   GET  /api/modules/NAME/picture?scale=S&areas=1   the last cycle's picture, PNG
//   POST /api/modules/NAME/click           {"x": 150, "y": 250}: a click, what it sent
//
// Every refused request is a 4xx answer with {"error": "one line"}; a
// module that has stopped answers 409 with its error. Only the page's own
// files and the API are served.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <vector>

#include "module_bench.h"

namespace gauge::serve {

class BenchServer {
 public:
  static constexpr size_t kMaxBody = 64 * 1024;
  static constexpr size_t kThreads = 32;

  // One bench per module file (a file that fails to load is a stopped
  // bench). Throws HostError when two files share a stem.
  explicit BenchServer(const std::vector<std::string>& paths);

  // Binds to `host`:`port` (0: any free port); returns the port, or throws
  // HostError.
  int Bind(const std::string& host, int port);
  // Answers requests until Stop().
  void Run();
  void Stop() { server_.stop(); }
  bool running() const { return server_.is_running(); }

 private:
  void Route();
  ModuleBench& Bench(const std::string& name);

  std::vector<std::unique_ptr<ModuleBench>> benches_;
  httplib::Server server_;
};

}  // namespace gauge::serve
