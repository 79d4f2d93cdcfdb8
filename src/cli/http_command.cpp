#include "cli/http_command.h"

#include <pthread.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "events/dispatcher.h"
#include "http/server.h"
#include "http/token.h"

namespace z418kt::cli {

namespace {

// Blocks the stop signals in the calling thread and every thread it starts
// afterwards, so one waiting thread receives them. They stay blocked: a
// second SIGTERM while the last requests finish must not kill the process.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
  }
  int wait() const {
    int signal = 0;
    sigwait(&set_, &signal);
    return signal;
  }

 private:
  sigset_t set_{};
};

template <class T>
void addLimit(CLI::App* command, const char* name, T& value, const char* what, T low, T high) {
  command->add_option(name, value, what)->capture_default_str()->check(CLI::Range(low, high));
}

}  // namespace

void addHttpOptions(CLI::App* c, HttpCommand& o) {
  http::ServerOptions& s = o.server;
  http::Limits& l = s.limits;
  c->add_option("--listen", o.listen,
                "HOST:PORT, [IPv6]:PORT or unix:/path to listen on (port 0: any free)")
      ->capture_default_str()
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  c->add_flag("--oracle", s.oracle, "use the ORACLE dialect (default: stored procedures)");
  c->add_option("--token-file", o.tokenFile,
                "file whose first line is the bearer token (Z418KT_HTTP_TOKEN wins; with "
                "neither, a token is made and printed once)");
  c->add_option("--cors-origin", s.corsOrigin,
                "the one origin allowed to call /v1 from a browser (default: none)");
  c->add_option("--tls-cert", s.tlsCert, "PEM certificate chain: serve HTTPS (with --tls-key)");
  c->add_option("--tls-key", s.tlsKey, "PEM private key of --tls-cert");
  c->add_flag("--trust-proxy", s.trustProxy,
              "take the client address from the last X-Forwarded-For entry (only behind a "
              "reverse proxy that sets it)");
  c->add_flag("--metrics-public", s.metricsPublic, "serve /metrics without the token");
  addLimit(c, "--max-body", l.maxBodyBytes, "largest request body in bytes (413 beyond)", size_t{0},
           size_t{1} << 30);
  addLimit(c, "--max-header-bytes", l.maxHeaderBytes,
           "request line and headers together, in bytes (431 beyond)", size_t{1024},
           size_t{1} << 20);
  addLimit(c, "--max-headers", l.maxHeaderCount, "header fields of one request (431 beyond)",
           size_t{8}, size_t{10000});
  addLimit(c, "--head-timeout", l.headSeconds,
           "seconds for a whole request head from its first byte (408 beyond)", 1, 3600);
  addLimit(c, "--body-timeout", l.bodySeconds, "seconds for a whole request body (408 beyond)", 1,
           3600);
  addLimit(c, "--write-timeout", l.writeSeconds, "seconds to send a whole answer", 1, 3600);
  addLimit(c, "--keep-alive", l.keepAliveSeconds, "seconds an idle connection stays open", 0, 3600);
  addLimit(c, "--max-requests-per-connection", l.maxRequestsPerConnection,
           "requests on one connection before it closes", size_t{1}, size_t{10000000});
  addLimit(c, "--max-connections", l.maxConnections, "connections open at once (503 beyond)",
           size_t{1}, size_t{1000000});
  addLimit(c, "--max-connections-per-client", l.maxConnectionsPerClient,
           "connections from one client address (503 beyond)", size_t{1}, size_t{1000000});
  addLimit(c, "--io-threads", l.ioThreads, "threads that read and write the connections", 1, 64);
  addLimit(c, "--threads", l.workerThreads,
           "workers running operations at once, each with its own component", 1, 1024);
  addLimit(c, "--max-queued", l.maxQueued, "requests waiting for a worker (503 beyond)", size_t{1},
           size_t{1000000});
  addLimit(c, "--rate", l.requestsPerSecond,
           "/v1 requests per second per client address, burst the same (0: no limit)", 0, 1000000);
  addLimit(c, "--token-rate", l.tokenRequestsPerSecond,
           "/v1 requests per second with the token, over all clients (0: no limit)", 0, 1000000);
  addLimit(c, "--failed-tokens", l.failedTokensPerMinute,
           "wrong or missing tokens per minute per client address (429 beyond)", 1, 1000000);
  addLimit(c, "--ready-timeout", l.readySeconds, "seconds /readyz waits for the database's answer",
           1, 60);
}

int httpCommand(HttpCommand command, std::ostream& out, std::ostream& err) {
  http::ServerOptions& options = command.server;
  if (!http::parseListen(command.listen, options)) {
    err << "z418kt: --listen \"" << command.listen
        << "\" is not HOST:PORT, [IPv6]:PORT or unix:/path\n";
    return 2;
  }
  bool madeToken = false;
  try {
    if (const char* env = std::getenv("Z418KT_HTTP_TOKEN"); env && *env) {
      options.token = env;
    } else if (!command.tokenFile.empty()) {
      options.token = http::readTokenFile(command.tokenFile);
    } else {
      options.token = http::makeToken();
      madeToken = true;
    }
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }

  StopSignals signals;
  http::HttpServer server(options, err);
  try {
    server.bind();
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }
  // A database that cannot be reached is said at once (in the log); the
  // server still starts, answers 503 meanwhile, and /readyz says when it is back.
  std::string reason;
  server.databaseAnswers(reason);
  out << "z418kt http: ouvindo em " << server.url() << '\n';
  if (madeToken) out << "token: " << options.token << '\n';
  out << std::flush;

  std::optional<events::Dispatcher> dispatcher;
  if (command.deliver) {
    events::DispatcherOptions delivery;
    delivery.connection = options.connection;
    delivery.log = [&err](const std::string& line) { err << line + "\n" << std::flush; };
    dispatcher.emplace(std::move(delivery));
    dispatcher->start();
  }

  std::thread waiter([&] {
    while (signals.wait() != SIGUSR1) server.stop();
  });
  server.run();
  if (dispatcher) dispatcher->stop();
  pthread_kill(waiter.native_handle(), SIGUSR1);  // ends the waiter if no signal came
  waiter.join();
  out << "z418kt http: parado\n" << std::flush;
  return 0;
}

}  // namespace z418kt::cli
