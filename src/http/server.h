// HttpServer: the REST API, its OpenAPI description, the operators' page and
// the operations endpoints (/healthz, /readyz, /metrics) on one listening
// socket (TCP, or a unix socket), over HTTP/1.1 or HTTPS.
//
// A few I/O threads hold every connection; the operations run on a bounded
// pool of workers, each with its own component, so slow or idle clients
// never hold a worker. Every limit is in Limits (server_options.h). Every
// /v1 request needs the bearer token (401 otherwise) and stays within the
// rates of its client and of the token (429). Every answer carries the
// security headers and X-Request-Id; each request writes one JSON line to
// the access log (see access_log.h).
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "http/server_options.h"

namespace z418kt::http {

class HttpServer {
 public:
  // `log` receives the access log; it must outlive the server.
  HttpServer(ServerOptions options, std::ostream& log);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket (and loads the TLS certificate and key);
  // throws std::runtime_error when it cannot.
  void bind();
  int port() const;         // the bound port (the chosen one when asked for 0)
  std::string url() const;  // what a client connects to

  // Whether the database answers now, within the readiness deadline; the
  // reason when it does not.
  bool databaseAnswers(std::string& reason);

  // Serves until stop(); returns when the requests in flight have finished.
  void run();
  // Stops accepting; callable from any thread, also before run().
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace z418kt::http
