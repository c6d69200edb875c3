// gauge-host serve FILE.gau [FILE.gau ...] [--port N] [--host ADDR]: the
// live bench in the browser. Prints "serving http://HOST:PORT/" and answers
// until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench_server.h"
#include "command.h"
#include "host_error.h"
#include "options.h"

namespace gauge::cli {
namespace {

constexpr char kLoopback[] = "127.0.0.1";

struct ServeOptions {
  std::vector<std::string> files;
  std::string port = "8080";
  std::string host = kLoopback;
};

int Serve(const ServeOptions& o) {
  const std::vector<std::string>& files = o.files;
  const int64_t port = WholeNumber(o.port, "--port", 0, 65535);
  const std::string& host = o.host;

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

std::function<int()> DefineServe(CLI::App& app) {
  auto o = std::make_shared<ServeOptions>();
  app.add_option("FILE.gau", o->files, "the gauge modules to put on the bench")->type_name("")->required();
  app.add_option("--port", o->port, "the port to listen on (default 8080; 0 picks a free one)")->type_name("N");
  app.add_option("--host", o->host, "the address to listen on (default 127.0.0.1, this machine only)")
      ->type_name("ADDR");
  return [o] { return Serve(*o); };
}

}  // namespace

Command ServeCommand() {
  return {"serve", "serve FILE.gau [FILE.gau]... [--port N] [--host ADDR]",
          "the live bench in the browser: every module on a card, its variables on sliders",
          "serve dist/Ostrel_Airspeed.gau dist/Tavoran_Landing.gau dist/Velkor_Climb.gau",
          "\"serving http://HOST:PORT/\", then answers until SIGINT or SIGTERM", DefineServe};
}
}  // namespace gauge::cli
