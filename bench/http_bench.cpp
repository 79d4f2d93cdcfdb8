// What the HTTP layer costs: kept-alive GET /v1/coletas/100 from 4 clients at
// once, against the same reads of the demo Coleta in-process (4 threads, each
// with its own component). The ratio of their items per second is the share
// of the in-process rate that the HTTP API keeps. httpHealth (GET /healthz,
// no operation) is what the HTTP layer costs alone.
//
// rawRoundTrip is the floor under any HTTP server here: the same client
// against a thread per connection that reads a request's head and writes a
// fixed answer the size of /healthz's, with blocking calls and no parsing.
// What httpHealth costs beyond it is the HTTP layer's own; the rest is the
// kernel's round trip over loopback.
//
// rawRead is the floor under any server that answers this GET: the same bare
// server, each connection's thread with its own component, answering every
// request head with the Coleta read through the front door and written as
// the API writes it. Whatever httpRead costs beyond it is the HTTP layer's;
// rawRead beside inProcessRead is what the round trip alone leaves.
//
// httpReadUnix and httpHealthUnix are the same over a unix socket, as a
// server behind a reverse proxy on the same machine is reached: the
// kernel's part of a round trip is smaller there than over TCP.
//
// With Z418KT_BENCH_OTHER_HTTP set to another `z418kt` binary, httpReadOther
// runs the same client against that binary's `z418kt http` on the same
// database, so two server builds compare in one run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "data/database_setup.h"
#include "export/resource_json.h"
#include "http/server.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace {

using namespace z418kt;

constexpr const char* kToken = "bench-token";
constexpr int kColeta = 100;

// One kept-alive connection that sends a GET and reads its whole answer.
// Where a server listens: a loopback port, or a unix socket's path.
struct Endpoint {
  int port = 0;
  std::string unixPath;
  static Endpoint tcp(int port) { return {port, {}}; }
  static Endpoint unix(std::string path) { return {0, std::move(path)}; }
  bool valid() const { return port > 0 || !unixPath.empty(); }
};

class Client {
 public:
  explicit Client(const Endpoint& at) {
    if (!at.unixPath.empty()) {
      fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strncpy(address.sun_path, at.unixPath.c_str(), sizeof address.sun_path - 1);
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close();
      return;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(at.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close();
  }
  ~Client() { close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // The status of the answer (0 when the connection failed); `body` its body.
  int get(const std::string& request, std::string& body) {
    if (fd_ < 0 || ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) < 0) return 0;
    size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!fill()) return 0;
    size_t length = 0;
    if (size_t at = contentLength(headEnd); at != std::string::npos)
      length = std::strtoul(buffer_.c_str() + at, nullptr, 10);
    while (buffer_.size() < headEnd + 4 + length)
      if (!fill()) return 0;
    int status = std::atoi(buffer_.c_str() + 9);
    body.assign(buffer_, headEnd + 4, length);
    buffer_.erase(0, headEnd + 4 + length);
    return status;
  }

 private:
  bool fill() {
    char chunk[16384];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
  // Where the value of the head's Content-Length starts (the name in any case), or npos.
  size_t contentLength(size_t headEnd) const {
    constexpr std::string_view kName = "\r\ncontent-length:";
    for (size_t at = buffer_.find("\r\n"); at < headEnd; at = buffer_.find("\r\n", at + 2))
      if (at + kName.size() <= headEnd &&
          strncasecmp(buffer_.data() + at, kName.data(), kName.size()) == 0)
        return at + kName.size();
    return std::string::npos;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
  std::string buffer_;
};

// `z418kt http` of another build on the same database, started on first use.
class OtherServer {
 public:
  explicit OtherServer(const std::string& binary, const std::string& connection) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);  // its access log
      ::close(out[0]);
      ::setenv("Z418KT_HTTP_TOKEN", kToken, 1);
      ::execl(binary.c_str(), binary.c_str(), "http", "--listen", "127.0.0.1:0", "--db",
              connection.c_str(), "--rate", "0", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* lines = ::fdopen(out[0], "r");
    char line[512];
    if (lines && std::fgets(line, sizeof line, lines)) {
      if (const char* colon = std::strrchr(line, ':')) port_ = std::atoi(colon + 1);
    }
    if (lines) std::fclose(lines);
  }
  ~OtherServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// The floor: a thread per connection, a fixed answer per request head; or,
// given a database, the demo Coleta read anew for each request head.
class RawServer {
 public:
  explicit RawServer(std::string connection = {}) : connection_(std::move(connection)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    port_ = ntohs(address.sin_port);
    accepting_ = std::thread([this] {
      int fd;
      while ((fd = ::accept(listener_, nullptr, nullptr)) >= 0) {
        std::lock_guard lock(mutex_);
        connections_.push_back(fd);
        serving_.emplace_back([this, fd] { serve(fd); });
      }
    });
  }
  ~RawServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    if (accepting_.joinable()) accepting_.join();
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    for (std::thread& t : serving_) t.join();
    for (int fd : connections_) ::close(fd);
  }
  int port() const { return port_; }

 private:
  void serve(int fd) const {
    static const std::string fixed =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
        "X-Request-Id: 0123456789abcdef\r\nContent-Length: 15\r\n\r\n{\"status\":\"ok\"}";
    std::optional<Z418kt> component;
    if (!connection_.empty()) component.emplace();
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string pending, answer;
    char chunk[16384];
    ssize_t n;
    while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
      pending.append(chunk, static_cast<size_t>(n));
      size_t end;
      while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
        pending.erase(0, end + 4);
        const std::string* out = &fixed;
        if (component) {
          auto read = FrontDoor(*component, {connection_, kProcedureKind, 0}).get(kColeta);
          std::string body = read.ok() ? resource::coletaText(read.value) : std::string();
          answer = "HTTP/1.1 " + std::string(read.ok() ? "200 OK" : "500 Error") +
                   "\r\nContent-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body;
          out = &answer;
        }
        if (::send(fd, out->data(), out->size(), MSG_NOSIGNAL) < 0) return;
      }
    }
  }

  std::string connection_;
  int listener_ = -1, port_ = 0;
  std::thread accepting_;
  std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> serving_;
};

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
  int rawPort() {
    std::lock_guard lock(mutex_);
    if (!raw_) raw_ = std::make_unique<RawServer>();
    return raw_->port();
  }
  int rawReadPort() {
    std::lock_guard lock(mutex_);
    if (!rawRead_) rawRead_ = std::make_unique<RawServer>(connection_);
    return rawRead_->port();
  }
  // A second server on the same database, on a unix socket, started on first use.
  std::string unixPath() {
    std::lock_guard lock(mutex_);
    if (!unixServer_) {
      http::ServerOptions options = serverOptions();
      options.unixPath = path_ + ".sock";
      unixServer_ = std::make_unique<http::HttpServer>(options, log_);
      unixServer_->bind();
      unixServing_ = std::thread([this] { unixServer_->run(); });
    }
    return path_ + ".sock";
  }
  int otherPort() {
    const char* binary = std::getenv("Z418KT_BENCH_OTHER_HTTP");
    if (!binary || !*binary) return 0;
    std::lock_guard lock(mutex_);
    if (!other_) other_ = std::make_unique<OtherServer>(binary, connection_);
    return other_->port();
  }

  ~Shared() {
    other_.reset();
    raw_.reset();
    rawRead_.reset();
    if (unixServer_) {
      unixServer_->stop();
      unixServing_.join();
    }
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
    server_ = std::make_unique<http::HttpServer>(serverOptions(), log_);
    server_->bind();
    serving_ = std::thread([this] { server_->run(); });
  }

  http::ServerOptions serverOptions() const {
    http::ServerOptions options;
    options.port = 0;
    options.connection = connection_;
    options.tokens = {{http::kDefaultTokenName, kToken}};
    options.limits.requestsPerSecond = 0;
    options.limits.maxRequestsPerConnection = 100'000'000;
    return options;
  }

  std::string path_, connection_;
  // The access log goes where a service's log would, written as the server writes it, but
  // to no terminal.
  std::ofstream log_{"/dev/null"};
  std::unique_ptr<http::HttpServer> server_;
  std::thread serving_;
  std::mutex mutex_;
  std::unique_ptr<OtherServer> other_;
  std::unique_ptr<RawServer> raw_, rawRead_;
  std::unique_ptr<http::HttpServer> unixServer_;
  std::thread unixServing_;
};

const std::string kColetaPath = "/v1/coletas/" + std::to_string(kColeta);

void getLoop(benchmark::State& state, const Endpoint& at, const std::string& path = kColetaPath) {
  if (!at.valid()) {
    state.SkipWithError("no server");
    return;
  }
  auto client = std::make_unique<Client>(at);
  const std::string request = "GET " + path +
                              " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kToken +
                              "\r\n\r\n";
  std::string body;
  for (auto _ : state) {
    int status = client->get(request, body);
    if (status == 0) {  // the server closed the connection after its request limit
      client = std::make_unique<Client>(at);
      status = client->get(request, body);
    }
    if (status != 200) {
      state.SkipWithError("GET failed");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void httpRead(benchmark::State& state) { getLoop(state, Endpoint::tcp(Shared::get().port())); }

void httpReadOther(benchmark::State& state) {
  getLoop(state, Endpoint::tcp(Shared::get().otherPort()));
}

// The HTTP layer alone: a route that answers without the operations.
void httpHealth(benchmark::State& state) {
  getLoop(state, Endpoint::tcp(Shared::get().port()), "/healthz");
}

void rawRoundTrip(benchmark::State& state) {
  getLoop(state, Endpoint::tcp(Shared::get().rawPort()), "/healthz");
}

void rawRead(benchmark::State& state) {
  getLoop(state, Endpoint::tcp(Shared::get().rawReadPort()));
}

void httpReadUnix(benchmark::State& state) {
  getLoop(state, Endpoint::unix(Shared::get().unixPath()));
}

void httpHealthUnix(benchmark::State& state) {
  getLoop(state, Endpoint::unix(Shared::get().unixPath()), "/healthz");
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
BENCHMARK(httpReadOther)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(httpHealth)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(httpReadUnix)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(httpHealthUnix)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(rawRoundTrip)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(rawRead)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(inProcessRead)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
