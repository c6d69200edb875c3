#include "bench_server.h"

#include <charconv>
#include <climits>
#include <functional>

#include "host_error.h"
#include "page_files.h"

namespace gauge::serve {
namespace {

using nlohmann::json;

constexpr char kJson[] = "application/json";

void Answer(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), kJson);
}

json Body(const httplib::Request& req) {
  json body = json::parse(req.body, nullptr, /*allow_exceptions=*/false);
  if (body.is_discarded()) throw RequestError(400, "the request body is not JSON");
  if (!body.is_object()) throw RequestError(400, "the request body must be a JSON object");
  return body;
}

int32_t VariableId(const std::string& key) {
  int32_t id = 0;
  const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), id);
  if (key.empty() || error != std::errc() || end != key.data() + key.size())
    throw RequestError(400, "a variable id must be a decimal 32-bit integer, not \"" + key + "\"");
  return id;
}

std::map<int32_t, double> Settings(const json& body) {
  std::map<int32_t, double> values;
  for (const auto& [key, value] : body.items()) {
    const int32_t id = VariableId(key);
    if (!value.is_number()) throw RequestError(400, "the value of variable " + key + " is not a number");
    values[id] = value.get<double>();
  }
  return values;
}

int32_t Coordinate(const json& body, const char* name) {
  const auto it = body.find(name);
  if (it == body.end()) throw RequestError(400, std::string("no ") + name + " given");
  if (!it->is_number_integer()) throw RequestError(400, std::string(name) + " must be an integer");
  if (it->is_number_unsigned() ? it->get<uint64_t>() > INT32_MAX
                               : (it->get<int64_t>() < INT32_MIN || it->get<int64_t>() > INT32_MAX))
    throw RequestError(400, std::string(name) + " is out of range");
  return it->get<int32_t>();
}

double Scale(const httplib::Request& req) {
  if (!req.has_param("scale")) return 1;
  const std::string text = req.get_param_value("scale");
  double scale = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw RequestError(400, "scale is not a number: \"" + text + "\"");
  return scale;
}

bool Areas(const httplib::Request& req) {
  if (!req.has_param("areas")) return false;
  const std::string text = req.get_param_value("areas");
  if (text != "0" && text != "1") throw RequestError(400, "areas must be 0 or 1");
  return text == "1";
}

// The handler of one API route: the module named by the path's first
// group, refused requests answered with their status and one line.
using ModuleHandler = std::function<void(ModuleBench&, const httplib::Request&, httplib::Response&)>;

std::string ErrorText(int status, const httplib::Request& req) {
  switch (status) {
    case 400: return "malformed request";
    case 404: return "nothing at " + req.method + " " + req.path;
    case 413: return "request body larger than " + std::to_string(BenchServer::kMaxBody) + " bytes";
    default: return "HTTP status " + std::to_string(status);
  }
}

}  // namespace

BenchServer::BenchServer(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    benches_.push_back(std::make_unique<ModuleBench>(path));
    for (size_t i = 0; i + 1 < benches_.size(); ++i)
      if (benches_[i]->name() == benches_.back()->name())
        throw HostError(ErrorKind::kUsage, "two modules named " + benches_.back()->name());
  }
  Route();
}

ModuleBench& BenchServer::Bench(const std::string& name) {
  for (auto& bench : benches_)
    if (bench->name() == name) return *bench;
  throw RequestError(404, "no module named \"" + name + "\"");
}

void BenchServer::Route() {
  server_.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  server_.set_payload_max_length(kMaxBody);
  server_.set_tcp_nodelay(true);  // else each answer's second write waits for a delayed ACK
  server_.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (res.body.empty()) res.set_content(json{{"error", ErrorText(res.status, req)}}.dump(), kJson);
  });
  server_.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    Answer(res, 500, {{"error", "internal error"}});
  });

  for (const PageFile& file : PageFiles()) {
    std::string path = "/";
    if (file.name != "index.html") path.append(file.name);
    server_.Get(path, [&file](const httplib::Request&, httplib::Response& res) {
      res.set_content(file.bytes.data(), file.bytes.size(), std::string(file.type).c_str());
    });
  }

  auto module_route = [this](ModuleHandler handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      try {
        handler(Bench(req.matches[1]), req, res);
      } catch (const RequestError& e) {
        Answer(res, e.status(), {{"error", e.what()}});
      }
    };
  };
  server_.Get("/api/modules", [this](const httplib::Request&, httplib::Response& res) {
    json modules = json::array();
    for (auto& bench : benches_) modules.push_back(bench->Describe());
    Answer(res, 200, {{"modules", modules}});
  });
  server_.Get(R"(/api/modules/([^/]+))", module_route([](ModuleBench& bench, auto&, auto& res) {
    Answer(res, 200, bench.Describe());
  }));
  server_.Post(R"(/api/modules/([^/]+)/variables)", module_route([](ModuleBench& bench, auto& req, auto& res) {
    Answer(res, 200, bench.Set(Settings(Body(req))));
  }));
  server_.Get(R"(/api/modules/([^/]+)/picture)", module_route([](ModuleBench& bench, auto& req, auto& res) {
    const std::vector<uint8_t> png = bench.Picture(Scale(req), Areas(req));
    res.set_header("Cache-Control", "no-store");
    res.set_content(reinterpret_cast<const char*>(png.data()), png.size(), "image/png");
  }));
  server_.Post(R"(/api/modules/([^/]+)/click)", module_route([](ModuleBench& bench, auto& req, auto& res) {
    const json body = Body(req);
    Answer(res, 200, bench.Click(Coordinate(body, "x"), Coordinate(body, "y")));
  }));
}

int BenchServer::Bind(const std::string& host, int port) {
  if (port < 0 || port > 65535) throw HostError(ErrorKind::kUsage, "--port must lie between 0 and 65535");
  const int bound = port == 0 ? server_.bind_to_any_port(host) : (server_.bind_to_port(host, port) ? port : -1);
  if (bound <= 0) throw HostError(ErrorKind::kUsage, "cannot listen on " + host + ":" + std::to_string(port));
  return bound;
}

void BenchServer::Run() { server_.listen_after_bind(); }

}  // namespace gauge::serve
