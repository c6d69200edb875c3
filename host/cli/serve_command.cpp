// gauge-host serve FILE.gau [FILE.gau ...] [--port N] [--host ADDR]: the
// live bench in the browser. Prints "serving http://HOST:PORT/" and answers
// until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "arguments.h"
#include "bench_server.h"
#include "command.h"
#include "host_error.h"

namespace gauge::cli {
namespace {

constexpr char kUsage[] = "serve FILE.gau [FILE.gau ...] [--port N] [--host ADDR]";
constexpr char kLoopback[] = "127.0.0.1";

std::string Single(const Arguments& a, const std::string& option, const std::string& fallback) {
  const std::vector<std::string> given = a.values(option);
  if (given.size() > 1) throw HostError(ErrorKind::kUsage, option + " given more than once");
  return given.empty() ? fallback : given[0];
}

int Serve(const std::vector<std::string>& args) {
  // Any number of files: take the options out first.
  std::vector<std::string> files, options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      options.push_back(args[i]);
      if (i + 1 < args.size()) options.push_back(args[++i]);
    } else {
      files.push_back(args[i]);
    }
  }
  const Arguments a = ParseArguments(options, {}, {"--port", "--host"}, 0, kUsage);
  if (files.empty()) throw HostError(ErrorKind::kUsage, "no module given; usage: gauge-host " + std::string(kUsage));
  const int64_t port = ParseInteger(Single(a, "--port", "8080"), "--port");
  if (port < 0 || port > 65535) throw HostError(ErrorKind::kUsage, "--port must lie between 0 and 65535");
  const std::string host = Single(a, "--host", kLoopback);

  // The signals go to one waiting thread, which stops the server; every
  // other thread (the server's pool included) inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a browser that goes away mid-answer

  serve::BenchServer server(files);
  const int bound = server.Bind(host, int(port));
  if (host != kLoopback)
    std::fprintf(stderr, "warning: listening on %s: anyone on that network can drive these modules\n", host.c_str());
  const bool ipv6 = host.find(':') != std::string::npos;
  std::printf("serving http://%s%s%s:%d/\n", ipv6 ? "[" : "", host.c_str(), ipv6 ? "]" : "", bound);
  std::fflush(stdout);

  std::atomic<bool> finished = false;
  std::thread waiter([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    // A signal before the server listens waits for it to, so none is lost.
    while (!finished && !server.running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.Stop();
  });
  server.Run();
  finished = true;
  // Run() also returns when listening fails: wake the waiter if need be.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return 0;
}

}  // namespace

Command ServeCommand() { return {"serve", kUsage, Serve}; }
}  // namespace gauge::cli
