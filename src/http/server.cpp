#include "http/server.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "http/client_address.h"
#include "http/server_core.h"
#include "http/session.h"

namespace z418kt::http {

namespace {

namespace asio = boost::asio;
using Protocol = asio::generic::stream_protocol;
using boost::system::error_code;

// The whole answer to a connection over a limit.
const std::string& busyAnswer() {
  static const std::string answer = [] {
    Reply reply = problemReply(503, "Conexões demais; tente de novo em instantes.");
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: " + reply.contentType +
           "\r\nRetry-After: 1\r\nConnection: close\r\nContent-Length: " +
           std::to_string(reply.body.size()) + "\r\n\r\n" + reply.body;
  }();
  return answer;
}

// The IP address of a TCP endpoint ("unix" for a unix socket's peer).
std::string addressOf(const Protocol::endpoint& endpoint) {
  int family = endpoint.data()->sa_family;
  if (family != AF_INET && family != AF_INET6) return "unix";
  asio::ip::tcp::endpoint ip;
  std::memcpy(ip.data(), endpoint.data(), endpoint.size());
  asio::ip::address address = ip.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  return address.to_string();
}

int portOf(const Protocol::endpoint& endpoint) {
  if (endpoint.data()->sa_family == AF_INET)
    return ntohs(reinterpret_cast<const sockaddr_in*>(endpoint.data())->sin_port);
  if (endpoint.data()->sa_family == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(endpoint.data())->sin6_port);
  return 0;
}

// Each connection takes a descriptor: allow as many as the system lets the
// process have.
void raiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

// One event loop per thread, each connection on one of them, its requests
// answered on that thread from the first byte to the last (the operations
// too, see WorkerPool): a loop shared by several threads hands each event
// from the thread that waited for it to another, a wake-up per event.
namespace {
std::deque<asio::io_context> makeLoops(int threads) {
  std::deque<asio::io_context> loops;
  for (int i = 0; i < std::max(1, threads); ++i) loops.emplace_back(1);
  return loops;
}
}  // namespace

struct HttpServer::Impl {
  Impl(ServerOptions options, std::ostream& log)
      : core(std::move(options), log),
        loops(makeLoops(core.limits.ioThreads + core.limits.workerThreads)) {}

  void bindUnix(const std::string& path);
  void bindTcp(const std::string& host, int port);
  void loadTls();
  void accept();
  void accepted(Protocol::socket socket);
  void refuse(Protocol::socket socket);
  void flushLogLater();

  ServerCore core;
  std::deque<asio::io_context> loops;
  // The acceptor and its retry timer live on the first loop: accepting, and
  // closing at the stop, never run at once.
  asio::io_context& io = loops.front();
  asio::basic_socket_acceptor<Protocol> acceptor{io};
  asio::steady_timer retry{io};
  asio::steady_timer logFlush{io};
  size_t nextLoop = 0;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> idle;
  std::optional<asio::ssl::context> tls;
  int boundPort = 0;
  bool ownsUnixPath = false;
};

void HttpServer::Impl::bindUnix(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
    // A socket file left by a server that ended without removing it; one
    // that still answers belongs to a running server.
    asio::local::stream_protocol::socket probe(io);
    error_code ec;
    probe.connect(asio::local::stream_protocol::endpoint(path), ec);
    if (!ec) throw std::runtime_error("another server listens on unix:" + path);
    ::unlink(path.c_str());
  }
  asio::local::stream_protocol::endpoint local(path);
  Protocol::endpoint endpoint(local);
  error_code ec;
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw std::runtime_error("cannot listen on unix:" + path + ": " + ec.message());
  ownsUnixPath = true;
}

void HttpServer::Impl::bindTcp(const std::string& host, int port) {
  error_code ec;
  asio::ip::tcp::resolver resolver(io);
  auto results = resolver.resolve(
      host, std::to_string(port),
      asio::ip::tcp::resolver::passive | asio::ip::tcp::resolver::numeric_service, ec);
  if (ec || results.empty())
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": " +
                             (ec ? ec.message() : "no such address"));
  Protocol::endpoint endpoint(results.begin()->endpoint());
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec)
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) + ": " +
                             ec.message());
  boundPort = portOf(acceptor.local_endpoint());
}

void HttpServer::Impl::loadTls() {
  const ServerOptions& o = core.options;
  if (o.tlsCert.empty() && o.tlsKey.empty()) return;
  if (o.tlsCert.empty() || o.tlsKey.empty())
    throw std::runtime_error("TLS needs both a certificate and a key");
  tls.emplace(asio::ssl::context::tls_server);
  tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                   asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                   asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
  error_code ec;
  tls->use_certificate_chain_file(o.tlsCert, ec);
  if (ec) throw std::runtime_error("cannot read the TLS certificate " + o.tlsCert);
  tls->use_private_key_file(o.tlsKey, asio::ssl::context::pem, ec);
  if (ec) throw std::runtime_error("cannot read the TLS key " + o.tlsKey);
}

void HttpServer::Impl::accept() {
  asio::io_context& loop = loops[nextLoop++ % loops.size()];
  acceptor.async_accept(loop, [this](error_code ec, Protocol::socket socket) {
    if (!acceptor.is_open()) return;
    if (ec) {
      // Out of descriptors or memory for a moment: wait instead of spinning.
      retry.expires_after(std::chrono::milliseconds(50));
      retry.async_wait([this](error_code e) {
        if (!e) accept();
      });
      return;
    }
    accept();
    accepted(std::move(socket));
  });
}

void HttpServer::Impl::accepted(Protocol::socket socket) {
  error_code ec;
  auto remote = socket.remote_endpoint(ec);
  if (ec) return;
  std::string peer = addressOf(remote);
  std::string key = limitKey(peer);
  if (core.stopping || !core.openConnection(key)) return refuse(std::move(socket));
  if (tls)
    startTlsSession(core, std::move(socket), std::move(peer), std::move(key), *tls);
  else
    startSession(core, std::move(socket), std::move(peer), std::move(key));
}

// A connection over a limit: a plain 503 when that is cheap, then closed.
void HttpServer::Impl::refuse(Protocol::socket socket) {
  ++core.metrics.connectionsRefused;
  if (tls) return;
  auto s = std::make_shared<Protocol::socket>(std::move(socket));
  asio::async_write(*s, asio::buffer(busyAnswer()), [s](error_code, size_t) {
    error_code ignored;
    s->shutdown(Protocol::socket::shutdown_both, ignored);
    s->close(ignored);
  });
}

// The access log's lines reach the log within its flush interval.
void HttpServer::Impl::flushLogLater() {
  logFlush.expires_after(AccessLog::kFlushInterval);
  logFlush.async_wait([this](error_code ec) {
    core.log.flush();
    if (!ec && !core.stopping) flushLogLater();
  });
}

HttpServer::HttpServer(ServerOptions options, std::ostream& log)
    : impl_(std::make_unique<Impl>(std::move(options), log)) {}

HttpServer::~HttpServer() = default;

void HttpServer::bind() {
  const ServerOptions& o = impl_->core.options;
  if (o.tokens.empty()) throw std::runtime_error("no token configured");
  raiseDescriptorLimit();
  impl_->loadTls();
  if (!o.unixPath.empty())
    impl_->bindUnix(o.unixPath);
  else
    impl_->bindTcp(o.host, o.port);
}

int HttpServer::port() const { return impl_->boundPort; }

std::string HttpServer::url() const { return listenUrl(impl_->core.options, impl_->boundPort); }

bool HttpServer::databaseAnswers(std::string& reason) {
  Readiness::Result result = impl_->core.readiness.check();
  reason = result.reason;
  if (!result.ready) impl_->core.log.note("warning", "o banco de dados não responde: " + reason);
  return result.ready;
}

void HttpServer::run() {
  impl_->accept();
  impl_->flushLogLater();
  // A loop without connections yet waits for them until the stop.
  for (asio::io_context& loop : impl_->loops) impl_->idle.emplace_back(loop.get_executor());
  std::vector<std::thread> others;
  for (size_t i = 1; i < impl_->loops.size(); ++i)
    others.emplace_back([this, i] { impl_->loops[i].run(); });
  impl_->io.run();
  for (std::thread& t : others) t.join();
  impl_->core.log.flush();
}

void HttpServer::stop() {
  impl_->core.stopping = true;
  asio::post(impl_->io, [impl = impl_.get()] {
    error_code ignored;
    impl->acceptor.close(ignored);
    impl->retry.cancel();
    impl->logFlush.cancel();
    if (impl->ownsUnixPath) ::unlink(impl->core.options.unixPath.c_str());
    impl->core.stopConnections();
    impl->idle.clear();
  });
}

}  // namespace z418kt::http
