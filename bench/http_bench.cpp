// What the HTTP layer costs: kept-alive GET /v1/coletas/100 from 4 clients at
// once, against the same reads of the demo Coleta in-process (4 threads, each
// with its own component). The ratio of their items per second is the
// share of the in-process rate that the HTTP API keeps.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "data/database_setup.h"
#include "http/server.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace {

using namespace z418kt;

constexpr const char* kToken = "bench-token";
constexpr int kColeta = 100;

// One demo database and one server for every benchmark of this file, removed
// and stopped when the program ends.
class Shared {
 public:
  static Shared& get() {
    static Shared shared;
    return shared;
  }
  const std::string& connection() const { return connection_; }
  int port() const { return server_->port(); }

  ~Shared() {
    server_->stop();
    serving_.join();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
  }

 private:
  Shared() {
    path_ = std::filesystem::temp_directory_path() /
            ("z418kt-bench-http-" + std::to_string(getpid()) + ".db");
    std::filesystem::remove(path_);
    connection_ = "Provider=SQLite;Data Source=" + path_;
    data::initDatabase(connection_, true);
    http::ServerOptions options;
    options.port = 0;
    options.connection = connection_;
    options.token = kToken;
    options.limits.requestsPerSecond = 0;
    options.limits.keepAliveMaxRequests = 1'000'000;
    server_ = std::make_unique<http::HttpServer>(options, log_);
    server_->bind();
    serving_ = std::thread([this] { server_->run(); });
  }

  std::string path_, connection_;
  std::ostringstream log_;  // the access log, not measured as console output
  std::unique_ptr<http::HttpServer> server_;
  std::thread serving_;
};

void httpRead(benchmark::State& state) {
  httplib::Client client("127.0.0.1", Shared::get().port());
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  httplib::Headers headers = {{"Authorization", std::string("Bearer ") + kToken}};
  const std::string path = "/v1/coletas/" + std::to_string(kColeta);
  for (auto _ : state) {
    auto res = client.Get(path, headers);
    if (!res || res->status != 200) {
      state.SkipWithError("GET failed");
      break;
    }
    benchmark::DoNotOptimize(res->body.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void inProcessRead(benchmark::State& state) {
  Z418kt component;
  FrontDoor door(component, {Shared::get().connection(), kProcedureKind, 0});
  for (auto _ : state) {
    auto read = door.get(kColeta);
    if (!read.ok()) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(read.value.pecas.data());
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(httpRead)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(inProcessRead)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
