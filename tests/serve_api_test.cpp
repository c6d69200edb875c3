// gauge-host serve, the real binary, over loopback with cpp-httplib's
// client: results and pictures equal to what the library computes and
// draws for the same state, knob clicks and their events, every class of
// bad request, faulting modules isolated from good ones, concurrent
// clients, start-up errors and a clean stop on SIGINT and SIGTERM.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "canvas.h"
#include "gauge_session.h"
#include "host_test_support.h"
#include "session_scene.h"

namespace {

using host_test::DistModule;
using host_test::FixtureModule;
using nlohmann::json;

// gauge-host serve running as a child process, stopped by the destructor.
class Served {
 public:
  explicit Served(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      close(out[0]);
      close(err[0]);
      std::vector<std::string> words = {GAUGE_HOST_COMMAND, "serve"};
      words.insert(words.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (auto& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    line_ = ReadLine(out_);
    const std::string prefix = "serving http://";
    if (line_.rfind(prefix, 0) == 0) {
      const size_t colon = line_.rfind(':');
      port_ = std::atoi(line_.c_str() + colon + 1);
      host_ = line_.substr(prefix.size(), colon - prefix.size());
    }
  }
  ~Served() {
    if (pid_ > 0 && exit_code_ == kRunning) Stop(SIGTERM);
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  int port() const { return port_; }
  const std::string& line() const { return line_; }

  httplib::Client Client() const {
    httplib::Client client(host_, port_);
    client.set_read_timeout(std::chrono::seconds(20));
    client.set_tcp_nodelay(true);
    return client;
  }

  // Sends `signal` and waits (at most 20 s) for the exit; the exit code,
  // -1 for a death by signal, -2 for no exit in time.
  int Stop(int signal) {
    kill(pid_, signal);
    return Wait();
  }
  int Wait() {
    for (int i = 0; i < 2000 && exit_code_ == kRunning; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (exit_code_ == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      exit_code_ = -2;
    }
    return exit_code_;
  }
  std::string Errors() { return ReadAll(err_); }

 private:
  static constexpr int kRunning = -100;

  // One line of output, waiting at most 60 s (the bench probes each module first).
  static std::string ReadLine(int fd) {
    std::string line;
    char c;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 60000) > 0 && read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  static std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    return text;
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  std::string line_, host_ = "127.0.0.1";
  int port_ = 0;
  int exit_code_ = kRunning;
};

json Parsed(const httplib::Result& r) {
  if (!r) return json();
  return json::parse(r->body, nullptr, false);
}

json Post(httplib::Client& client, const std::string& path, const json& body) {
  auto r = client.Post(path, body.dump(), "application/json");
  EXPECT_TRUE(r) << path;
  if (r) {
    EXPECT_EQ(r->status, 200) << path << ": " << r->body;
  }
  return Parsed(r);
}

gauge::render::Canvas ServedPicture(httplib::Client& client, const std::string& module, const std::string& query) {
  gauge::render::Canvas canvas;
  auto r = client.Get("/api/modules/" + module + "/picture" + query);
  EXPECT_TRUE(r && r->status == 200) << module << query;
  if (!r || r->status != 200) return canvas;
  EXPECT_EQ(r->get_header_value("Content-Type"), "image/png");
  std::string error;
  EXPECT_TRUE(gauge::render::DecodePng(
      std::span(reinterpret_cast<const uint8_t*>(r->body.data()), r->body.size()), canvas, error))
      << error;
  return canvas;
}

// What the library computes and draws for a fresh session with `values`
// set, over the two update cycles gauge-host render runs.
struct LibraryFrame {
  std::vector<gauge::ElementSnapshot> chain;
  gauge::render::Canvas picture;
  std::vector<double> module_values;  // the records' values, in `ids` order
};

LibraryFrame Library(const std::string& path, const std::map<int32_t, double>& values, double scale, bool areas) {
  auto session = gauge::GaugeSession::Load(path);
  for (const auto& [id, value] : values) session->SetVariable(id, value);
  session->Install(0);
  session->Initialize();
  session->RunUpdateCycle();
  LibraryFrame frame;
  frame.chain = session->RunUpdateCycle();
  const gauge::GaugePicture picture = gauge::PictureOf(*session, frame.chain);
  gauge::render::Renderer renderer;
  std::string error;
  EXPECT_TRUE(renderer.Render(picture.scene, scale, frame.picture, error)) << error;
  if (areas)
    gauge::render::DrawAreaOutlines(frame.picture, gauge::ClickableAreas(*session), scale, renderer.text());
  return frame;
}

bool SamePixels(const gauge::render::Canvas& a, const gauge::render::Canvas& b) {
  return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

// The shipped gauges and the hostile fixture, served once for the suite.
class ServeApi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    served_ = new Served({DistModule("Ostrel_Airspeed"), DistModule("Tavoran_Landing"), DistModule("Velkor_Climb"),
                          "--port", "0"});
  }
  static void TearDownTestSuite() {
    delete served_;
    served_ = nullptr;
  }
  static Served* served_;
};
Served* ServeApi::served_ = nullptr;

TEST_F(ServeApi, PrintsWhereItServesAndListsEveryModuleWithItsVariables) {
  ASSERT_GT(served_->port(), 0) << served_->line();
  EXPECT_EQ(served_->line(), "serving http://127.0.0.1:" + std::to_string(served_->port()) + "/");
  auto client = served_->Client();
  const json list = Parsed(client.Get("/api/modules"));
  ASSERT_TRUE(list.contains("modules")) << list;
  // Found from the records and the calls: element variables, then the unit
  // selector the landing altimeter binds and reads through services.
  struct Expected {
    const char* name;
    std::vector<int> ids;
    std::vector<std::pair<double, double>> ranges;
  };
  const Expected expected[] = {
      {"Ostrel_Airspeed", {61}, {{0, 410}}},
      {"Tavoran_Landing", {75, 74, 335}, {{-999, 9999}, {0, 1000}, {0, 1000}}},
      {"Velkor_Climb", {65}, {{-5850, 5850}}},
  };
  ASSERT_EQ(list["modules"].size(), std::size(expected));
  for (size_t m = 0; m < std::size(expected); ++m) {
    const json& module = list["modules"][m];
    SCOPED_TRACE(expected[m].name);
    EXPECT_EQ(module["name"], expected[m].name);
    ASSERT_EQ(module["variables"].size(), expected[m].ids.size());
    for (size_t v = 0; v < expected[m].ids.size(); ++v) {
      EXPECT_EQ(module["variables"][v]["id"], expected[m].ids[v]);
      EXPECT_EQ(module["variables"][v]["range"]["low"], expected[m].ranges[v].first);
      EXPECT_EQ(module["variables"][v]["range"]["high"], expected[m].ranges[v].second);
    }
  }
  const json& landing = list["modules"][1]["variables"];
  EXPECT_EQ(landing[2]["readers"], json({"BindVariable (units variable)", "ReadVariable (units variable)"}));
  EXPECT_EQ(list["modules"][2]["variables"][0]["range"]["source"], "calibration table");
  EXPECT_EQ(list["modules"][0]["variables"][0]["range"]["source"], "value functions");
}

TEST_F(ServeApi, SetVariablesGivesTheLibrarysResultsAndPixels) {
  struct Case {
    const char* module;
    std::map<int32_t, double> values;
    const char* query;
    double scale;
    bool areas;
  };
  const Case cases[] = {
      {"Ostrel_Airspeed", {{61, 120}}, "", 1, false},
      {"Ostrel_Airspeed", {{61, 333.3}}, "?scale=3", 3, false},
      {"Velkor_Climb", {{65, -2000}}, "?scale=2", 2, false},
      {"Velkor_Climb", {{65, 9000}}, "", 1, false},  // clamped and written back
      {"Tavoran_Landing", {{74, 1234}, {75, 1234}, {335, 2}}, "?scale=1.5&areas=1", 1.5, true},
      {"Tavoran_Landing", {{74, 4000}, {75, -7}, {335, 0}}, "?areas=0", 1, false},
  };
  auto client = served_->Client();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.module) + c.query);
    json body = json::object();
    for (const auto& [id, value] : c.values) body[std::to_string(id)] = value;
    const json state = Post(client, std::string("/api/modules/") + c.module + "/variables", body);
    const LibraryFrame library = Library(DistModule(c.module), c.values, c.scale, c.areas);
    ASSERT_EQ(state["elements"].size(), library.chain.size());
    for (size_t e = 0; e < library.chain.size(); ++e) {
      const gauge::ElementSnapshot& want = library.chain[e];
      const std::vector<double> results = gauge::Results(want);
      const json& got = state["elements"][e];
      EXPECT_EQ(got["role"], gauge::Common(want).role);
      ASSERT_GE(got["results"].size(), results.size());
      for (size_t r = 0; r < results.size(); ++r) EXPECT_EQ(got["results"][r]["value"].get<double>(), results[r]);
      if (const auto* text = std::get_if<gauge::StringState>(&want)) {
        EXPECT_EQ(got["text"], text->text);
      }
    }
    for (const json& v : state["variables"]) EXPECT_EQ(v["value"].get<double>(), c.values.at(v["id"].get<int>()));
    EXPECT_TRUE(SamePixels(ServedPicture(client, c.module, c.query), library.picture));
  }
  // The clamp shows as the module's value after the cycle.
  const json climb = Parsed(client.Get("/api/modules/Velkor_Climb"));
  EXPECT_EQ(climb["variables"][0]["value"], 9000.0);
  EXPECT_EQ(climb["variables"][0]["module_value"], 5850.0);
}

TEST_F(ServeApi, KnobHalvesSendTheirEventsAndTheLogKeepsThem) {
  auto client = served_->Client();
  const std::string path = "/api/modules/Tavoran_Landing/click";
  const json left = Post(client, path, {{"x", 125}, {"y", 305}});
  const json right = Post(client, path, {{"x", 160}, {"y", 305}});
  const json miss = Post(client, path, {{"x", 5}, {"y", 5}});
  EXPECT_EQ(left["hit"], true);
  EXPECT_EQ(left["sent"], json::parse(R"([{"code": 65884, "parameter": 0}])"));  // 0x1015C
  EXPECT_EQ(right["sent"], json::parse(R"([{"code": 65883, "parameter": 0}])"));  // 0x1015B
  EXPECT_EQ(miss["hit"], false);
  EXPECT_TRUE(miss["sent"].empty());
  const json events = Parsed(client.Get("/api/modules/Tavoran_Landing"))["events"];
  ASSERT_GE(events.size(), 2u);
  const json& a = events[events.size() - 2];
  const json& b = events[events.size() - 1];
  EXPECT_EQ(a["code"], 0x1015C);
  EXPECT_EQ(b["code"], 0x1015B);
  EXPECT_EQ(b["sequence"].get<int>(), a["sequence"].get<int>() + 1);
  EXPECT_GE(b["time_ms"].get<int64_t>(), a["time_ms"].get<int64_t>());
}

TEST_F(ServeApi, BadRequestsGetAOneLineJsonError) {
  struct Case {
    const char* what;
    const char* method;
    std::string path;
    std::string body;
    int status;
  };
  const std::string climb = "/api/modules/Velkor_Climb";
  const Case cases[] = {
      {"malformed JSON", "POST", climb + "/variables", "{\"65\": ", 400},
      {"JSON that is not an object", "POST", climb + "/variables", "[65, 1]", 400},
      {"an unknown module", "POST", "/api/modules/Nope/variables", "{}", 404},
      {"an unknown module's picture", "GET", "/api/modules/Nope/picture", "", 404},
      {"a variable the module does not read", "POST", climb + "/variables", "{\"61\": 1}", 404},
      {"a value that is a string", "POST", climb + "/variables", "{\"65\": \"12\"}", 400},
      {"a value that is true", "POST", climb + "/variables", "{\"65\": true}", 400},
      {"a value that is null", "POST", climb + "/variables", "{\"65\": null}", 400},
      {"a variable id that is not a number", "POST", climb + "/variables", "{\"abc\": 1}", 400},
      {"a hexadecimal variable id", "POST", climb + "/variables", "{\"0x41\": 1}", 400},
      {"a variable id past 32 bits", "POST", climb + "/variables", "{\"99999999999\": 1}", 400},
      {"an oversized body", "POST", climb + "/variables", "{\"65\": 1" + std::string(70000, ' ') + "}", 413},
      {"a scale that is not a number", "GET", climb + "/picture?scale=big", "", 400},
      {"a scale below 1", "GET", climb + "/picture?scale=0.5", "", 400},
      {"a scale above 3", "GET", climb + "/picture?scale=4", "", 400},
      {"areas neither 0 nor 1", "GET", climb + "/picture?areas=yes", "", 400},
      {"a click without y", "POST", "/api/modules/Tavoran_Landing/click", "{\"x\": 1}", 400},
      {"a click at a fraction", "POST", "/api/modules/Tavoran_Landing/click", "{\"x\": 1.5, \"y\": 1}", 400},
      {"a click far outside 32 bits", "POST", "/api/modules/Tavoran_Landing/click", "{\"x\": 1e12, \"y\": 1}", 400},
      {"a click past 32 bits", "POST", "/api/modules/Tavoran_Landing/click", "{\"x\": 4294967296, \"y\": 1}", 400},
      {"an unknown API path", "GET", "/api/nothing", "", 404},
      {"an unknown module action", "POST", climb + "/explode", "{}", 404},
      {"a click by GET", "GET", "/api/modules/Tavoran_Landing/click", "", 404},
      {"a file of the system", "GET", "/etc/passwd", "", 404},
      {"a climb out of the page", "GET", "/../../etc/passwd", "", 404},
      {"an encoded climb", "GET", "/%2e%2e/%2e%2e/etc/passwd", "", 404},
      {"a climb through the API", "GET", "/api/modules/../../../etc/passwd", "", 404},
      {"a source file of the page folder", "GET", "/page/bench.js", "", 404},
  };
  auto client = served_->Client();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    request.body = c.body;
    if (!c.body.empty()) request.set_header("Content-Type", "application/json");
    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    ASSERT_TRUE(client.send(request, response, error)) << httplib::to_string(error);
    EXPECT_EQ(response.status, c.status) << response.body;
    EXPECT_EQ(response.get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(response.body.find('\n'), std::string::npos);
    const json answer = json::parse(response.body, nullptr, false);
    ASSERT_TRUE(answer.is_object()) << response.body;
    ASSERT_TRUE(answer["error"].is_string());
    EXPECT_FALSE(answer["error"].get<std::string>().empty());
  }
  // And the server still answers.
  EXPECT_EQ(Parsed(client.Get("/api/modules/Velkor_Climb"))["name"], "Velkor_Climb");
}

TEST_F(ServeApi, ServesOnlyThePagesOwnFiles) {
  auto client = served_->Client();
  struct File {
    const char* path;
    const char* type;
    const char* holds;
  };
  for (const File& f : {File{"/", "text/html; charset=utf-8", "<script src=\"bench.js\">"},
                        File{"/bench.js", "text/javascript; charset=utf-8", "/api/modules"},
                        File{"/style.css", "text/css; charset=utf-8", ".card"}}) {
    auto r = client.Get(f.path);
    ASSERT_TRUE(r && r->status == 200) << f.path;
    EXPECT_EQ(r->get_header_value("Content-Type"), f.type);
    EXPECT_NE(r->body.find(f.holds), std::string::npos) << f.path;
  }
  auto index = client.Get("/index.html");  // the page is "/" only
  ASSERT_TRUE(index);
  EXPECT_EQ(index->status, 404);
}

// Eight clients at once, 200 requests each over three modules: every answer
// is the one for that client's own request.
TEST_F(ServeApi, ConcurrentClientsEachGetTheirOwnAnswer) {
  struct Gauge {
    const char* name;
    int id;
    double low, high;
  };
  const Gauge gauges[] = {{"Ostrel_Airspeed", 61, 0, 410}, {"Velkor_Climb", 65, -5850, 5850},
                          {"Tavoran_Landing", 75, -999, 9999}};
  // Expected results for each value a client sends, from the library.
  constexpr int kClients = 8, kRequests = 200, kValues = 40;
  std::vector<std::vector<json>> expected(std::size(gauges));
  auto value_of = [&](const Gauge& g, int k) { return g.low + (g.high - g.low) * k / (kValues - 1); };
  for (size_t g = 0; g < std::size(gauges); ++g)
    for (int k = 0; k < kValues; ++k) {
      const LibraryFrame frame = Library(DistModule(gauges[g].name), {{gauges[g].id, value_of(gauges[g], k)}}, 1, false);
      json shown = json::array();
      for (const auto& e : frame.chain) {
        const auto* text = std::get_if<gauge::StringState>(&e);
        shown.push_back(text ? json(text->text) : json(gauge::Results(e)));
      }
      expected[g].push_back(shown);
    }
  // The landing altimeter's needle reads 74, which no client sets here.
  auto client = served_->Client();
  Post(client, "/api/modules/Tavoran_Landing/variables", {{"74", 0}, {"335", 0}});

  std::vector<int> wrong(kClients, 0), failed(kClients, 0);
  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      auto client = served_->Client();
      for (int i = 0; i < kRequests; ++i) {
        const size_t g = size_t(c + i) % std::size(gauges);
        const int k = (c * 7 + i * 13) % kValues;
        if (i % 5 == 4) {  // now and then a picture
          auto r = client.Get(std::string("/api/modules/") + gauges[g].name + "/picture");
          if (!r || r->status != 200 || r->body.substr(1, 3) != "PNG") ++failed[c];
          continue;
        }
        const json body = {{std::to_string(gauges[g].id), value_of(gauges[g], k)}};
        auto r = client.Post(std::string("/api/modules/") + gauges[g].name + "/variables", body.dump(),
                             "application/json");
        if (!r || r->status != 200) {
          ++failed[c];
          continue;
        }
        const json state = json::parse(r->body);
        json shown = json::array();
        for (const json& e : state["elements"]) {
          if (e.contains("text")) {
            shown.push_back(e["text"]);
            continue;
          }
          json results = json::array();
          for (const json& result : e["results"])
            if (result["name"] != "real value") results.push_back(result["value"]);
          shown.push_back(results);
        }
        if (shown != expected[g][k]) ++wrong[c];
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int c = 0; c < kClients; ++c) {
    EXPECT_EQ(failed[c], 0) << "client " << c;
    EXPECT_EQ(wrong[c], 0) << "client " << c;
  }
}

// Copies of the hostile fixture under names of their own, each faulting in
// its own way, served next to the airspeed indicator.
TEST(ServeFaults, AFaultingModuleStopsItsOwnBenchOnly) {
  struct Fault {
    const char* name;
    double value;  // of the fixture's variable 1
    const char* message;
  };
  const Fault faults[] = {
      {"Runaway", 1, "ran away"},
      {"UnsupportedService", 2, "unsupported service 5"},
      {"UnmappedRead", 3, "unmapped memory"},
      {"InvalidInstruction", 4, "invalid instruction"},
  };
  const auto dir = std::filesystem::path(host_test::ScratchPath("serve_faults"));
  std::filesystem::create_directories(dir);
  std::vector<std::string> args = {DistModule("Ostrel_Airspeed"),
                                   std::string(GAUGE_MODULE_BUILD_DIR) +
                                       "/tests/fixture_modules/render/RenderFixtureMissingArt.gau"};
  for (const Fault& f : faults) {
    const auto copy = dir / (std::string(f.name) + ".gau");
    std::filesystem::copy_file(FixtureModule("HostileFixture"), copy, std::filesystem::copy_options::overwrite_existing);
    args.push_back(copy.string());
  }
  args.insert(args.end(), {"--port", "0"});
  Served served(args);
  ASSERT_GT(served.port(), 0) << served.line();
  auto client = served.Client();

  // A module that cannot draw its picture is stopped from the start.
  const json missing = Parsed(client.Get("/api/modules/RenderFixtureMissingArt"));
  ASSERT_TRUE(missing["error"].is_string()) << missing;
  EXPECT_NE(missing["error"].get<std::string>().find("does not carry"), std::string::npos) << missing;

  std::vector<std::thread> threads;
  std::atomic<int> good_wrong = 0;
  threads.emplace_back([&] {  // the good module goes on throughout
    auto client = served.Client();
    for (int i = 0; i < 100; ++i) {
      auto r = client.Post("/api/modules/Ostrel_Airspeed/variables", json{{"61", i}}.dump(), "application/json");
      if (!r || r->status != 200 || json::parse(r->body)["variables"][0]["value"] != i) ++good_wrong;
    }
  });
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    const std::string path = std::string("/api/modules/") + f.name;
    EXPECT_EQ(Post(client, path + "/variables", {{"1", 0.5}})["elements"][1]["results"][0]["value"], 0.5);
    auto r = client.Post(path + "/variables", json{{"1", f.value}}.dump(), "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 409) << r->body;
    const std::string error = json::parse(r->body)["error"];
    EXPECT_NE(error.find(f.message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    // Stopped: every later request gets the same error, the picture too.
    auto again = client.Post(path + "/variables", json{{"1", 0}}.dump(), "application/json");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 409);
    auto picture = client.Get(path + "/picture");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 409);
    EXPECT_NE(Parsed(client.Get(path))["error"].get<std::string>().find(f.message), std::string::npos);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good_wrong, 0);
  const LibraryFrame library = Library(DistModule("Ostrel_Airspeed"), {{61, 99}}, 1, false);
  EXPECT_TRUE(SamePixels(ServedPicture(client, "Ostrel_Airspeed", ""), library.picture));
  EXPECT_EQ(served.Stop(SIGTERM), 0);
}

TEST(ServeProcess, StopsCleanlyOnSigintAndSigterm) {
  for (int signal : {SIGINT, SIGTERM}) {
    Served served({DistModule("Velkor_Climb"), "--port", "0"});
    ASSERT_GT(served.port(), 0) << served.line();
    auto client = served.Client();
    ASSERT_TRUE(client.Get("/api/modules"));
    EXPECT_EQ(served.Stop(signal), 0) << strsignal(signal);
  }
}

TEST(ServeProcess, AnotherAddressIsWarnedAbout) {
  // 127.0.0.2 is loopback too, so nothing leaves this machine.
  Served served({DistModule("Velkor_Climb"), "--host", "127.0.0.2", "--port", "0"});
  ASSERT_GT(served.port(), 0) << served.line();
  EXPECT_EQ(served.line(), "serving http://127.0.0.2:" + std::to_string(served.port()) + "/");
  auto client = served.Client();
  EXPECT_TRUE(client.Get("/api/modules"));
  EXPECT_EQ(served.Stop(SIGTERM), 0);
  EXPECT_NE(served.Errors().find("anyone on that network can drive"), std::string::npos);
}

TEST(ServeProcess, StartUpMistakesAreOneLineAndExitCode2) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* message;
  };
  const std::string climb = DistModule("Velkor_Climb");
  const Case cases[] = {
      {"no module", {"--port", "0"}, "FILE.gau is required"},
      {"a missing file", {"/nonexistent/Missing.gau", "--port", "0"}, "Missing.gau: No such file or directory"},
      {"two modules of one name", {climb, climb, "--port", "0"}, "two modules named Velkor_Climb"},
      {"a port past 65535", {climb, "--port", "70000"}, "--port must lie between 0 and 65535"},
      {"a port that is not a number", {climb, "--port", "http"}, "--port"},
      {"an address that cannot be bound", {climb, "--host", "192.0.2.1", "--port", "0"}, "cannot listen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Served served(c.args);
    EXPECT_EQ(served.port(), 0);
    EXPECT_EQ(served.Wait(), 2);
    const std::string errors = served.Errors();
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

}  // namespace

namespace {

// The shipped example profile: a circuit whose columns agree. Climb rate
// (65, 195 units per m/s) is the altitude's (74, metres, 335 = 2)
// derivative: each second's altitude change is the mean of the rates at its
// ends (the rate is linear between rows); the aircraft stands still on the
// ground at both ends and is never airborne below 55 kt.
TEST(ServeProfile, TheExampleCircuitsColumnsAgree) {
  std::ifstream in(std::string(GAUGE_SOURCE_DIR) + "/docs/serve/circuit_profile.csv");
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "time_s,61,74,335,65");
  struct Row {
    double t, airspeed, altitude, units, climb;
  };
  std::vector<Row> rows;
  while (std::getline(in, line)) {
    Row r{};
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf", &r.t, &r.airspeed, &r.altitude, &r.units, &r.climb), 5)
        << line;
    rows.push_back(r);
  }
  ASSERT_GT(rows.size(), 100u);
  double highest = 0, fastest_climb = 0, fastest_descent = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE("t = " + std::to_string(r.t));
    EXPECT_EQ(r.units, 2);
    EXPECT_GE(r.altitude, 0);
    if (r.altitude > 0) {
      EXPECT_GE(r.airspeed, 55);
    }
    highest = std::max(highest, r.altitude);
    fastest_climb = std::max(fastest_climb, r.climb / 195);
    fastest_descent = std::min(fastest_descent, r.climb / 195);
    if (i == 0) continue;
    EXPECT_EQ(r.t, rows[i - 1].t + 1);
    EXPECT_NEAR(r.altitude - rows[i - 1].altitude, (r.climb + rows[i - 1].climb) / 2 / 195, 0.002);
  }
  for (const Row& end : {rows.front(), rows.back()}) {
    EXPECT_EQ(end.altitude, 0);
    EXPECT_EQ(end.airspeed, 0);
    EXPECT_EQ(end.climb, 0);
  }
  // Take-off, climb, level-off, descent and landing.
  EXPECT_GT(highest, 300);
  EXPECT_GT(fastest_climb, 2);
  EXPECT_LT(fastest_descent, -2);
}

}  // namespace
