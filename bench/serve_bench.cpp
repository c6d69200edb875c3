// The live bench's speed: a variable set and the new picture fetched,
// through the module bench alone and through the HTTP API on loopback
// (goal: a round trip of at most 3 ms median), and the three shipped gauges
// driven together at 60 updates a second, each by its own client (goal: no
// update late for the next). Prints a markdown table, or writes it to the
// file named by --markdown=.
//
//   serve_bench DIST_DIR [--markdown=FILE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Spread {
  double median = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back()};
}

struct Gauge {
  const char* name;
  int variable;
  double low, high;
};
constexpr Gauge kGauges[] = {
    {"Ostrel_Airspeed", 61, 0, 410}, {"Tavoran_Landing", 74, 0, 2500}, {"Velkor_Climb", 65, -5850, 5850}};

double Sweep(const Gauge& g, int i) { return g.low + (g.high - g.low) * ((i * 37) % 1000) / 1000.0; }

// One set-and-fetch through the API; false if an answer is not 200.
bool RoundTrip(httplib::Client& client, const Gauge& g, double value) {
  const std::string path = std::string("/api/modules/") + g.name;
  const std::string body = "{\"" + std::to_string(g.variable) + "\": " + std::to_string(value) + "}";
  auto set = client.Post(path + "/variables", body, "application/json");
  if (!set || set->status != 200) return false;
  auto picture = client.Get(path + "/picture?scale=1");
  return picture && picture->status == 200 && !picture->body.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: serve_bench DIST_DIR [--markdown=FILE]\n");
    return 2;
  }
  const std::string dist = argv[1];
  std::string markdown;
  for (int i = 2; i < argc; ++i)
    if (std::string(argv[i]).rfind("--markdown=", 0) == 0) markdown = argv[i] + 11;

  std::vector<std::string> paths;
  for (const Gauge& g : kGauges) paths.push_back(dist + "/" + g.name + ".gau");
  gauge::serve::BenchServer server(paths);
  const int port = server.Bind("127.0.0.1", 0);
  std::thread serving([&] { server.Run(); });
  while (!server.running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  std::ostringstream out;
  out << "| measurement (1x) | median ms | p99 ms | max ms |\n|---|---|---|---|\n";
  auto row = [&](const std::string& what, const Spread& s) {
    char line[200];
    std::snprintf(line, sizeof line, "| %s | %.3f | %.3f | %.3f |\n", what.c_str(), s.median, s.p99, s.max);
    out << line;
  };

  // The module bench alone: the update cycle, and the picture drawn and encoded.
  constexpr int kRounds = 400;
  for (const Gauge& g : kGauges) {
    gauge::serve::ModuleBench bench(dist + "/" + g.name + ".gau");
    std::vector<double> set, picture;
    for (int i = 0; i < kRounds; ++i) {
      const auto start = Clock::now();
      bench.Set({{g.variable, Sweep(g, i)}});
      const auto cycled = Clock::now();
      bench.Picture(1, false);
      set.push_back(Ms(cycled - start));
      picture.push_back(Ms(Clock::now() - cycled));
    }
    row(std::string(g.name) + ": update cycle (no HTTP)", SpreadOf(set));
    row(std::string(g.name) + ": picture drawn and encoded as PNG (no HTTP)", SpreadOf(picture));
  }

  bool all_ok = true;
  for (const Gauge& g : kGauges) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    std::vector<double> ms;
    for (int i = 0; i < kRounds + 20; ++i) {
      const auto start = Clock::now();
      all_ok &= RoundTrip(client, g, Sweep(g, i));
      if (i >= 20) ms.push_back(Ms(Clock::now() - start));  // after a warm-up
    }
    row(std::string(g.name) + ": set and fetch the picture through the API", SpreadOf(ms));
  }

  // Three clients at 60 updates a second each, for three seconds.
  constexpr int kTicks = 180;
  const auto period = std::chrono::microseconds(1'000'000 / 60);
  std::vector<std::vector<double>> times(std::size(kGauges));
  std::vector<int> late(std::size(kGauges), 0);
  std::vector<std::thread> drivers;
  const auto begin = Clock::now() + std::chrono::milliseconds(50);
  for (size_t k = 0; k < std::size(kGauges); ++k) {
    drivers.emplace_back([&, k] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
    client.set_tcp_nodelay(true);
      for (int i = 0; i < kTicks; ++i) {
        const auto tick = begin + i * period;
        std::this_thread::sleep_until(tick);
        const bool ok = RoundTrip(client, kGauges[k], Sweep(kGauges[k], i));
        const auto done = Clock::now();
        if (!ok) late[k] = kTicks + 1;
        times[k].push_back(Ms(done - tick));
        if (done > tick + period) ++late[k];
      }
    });
  }
  for (auto& d : drivers) d.join();
  std::vector<double> every;
  int late_total = 0;
  for (size_t k = 0; k < std::size(kGauges); ++k) {
    every.insert(every.end(), times[k].begin(), times[k].end());
    late_total += late[k];
  }
  row("three gauges together at 60 updates/s each: tick to picture", SpreadOf(every));
  out << "\nThree gauges at 60 updates/s for 3 s: " << late_total << " of " << kTicks * std::size(kGauges)
      << " updates finished after the next tick" << (all_ok ? "" : " (some answers were not 200)") << ".\n";

  server.Stop();
  serving.join();
  if (markdown.empty()) {
    std::cout << out.str();
  } else {
    std::ofstream(markdown) << out.str();
  }
  return all_ok ? 0 : 1;
}
