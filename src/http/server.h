// HttpServer: the REST API, its OpenAPI description and the operators' page
// on one listening socket, served by a pool of worker threads (each with its
// own component) over kept-alive connections.
//
// Every /v1 request needs the bearer token (401 otherwise) and stays within
// the rate of its connection (429). Every answer carries the security headers
// (Content-Security-Policy, X-Content-Type-Options, Cache-Control: no-store);
// CORS headers only when an origin is configured. Each request writes one
// access-log line: time, method, path without query, status, duration.
#pragma once

#include <memory>
#include <ostream>

#include "http/server_options.h"

namespace z418kt::http {

class HttpServer {
 public:
  // `log` receives the access log; it must outlive the server.
  HttpServer(ServerOptions options, std::ostream& log);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket; throws std::runtime_error when it cannot.
  void bind();
  int port() const;  // the bound port (the chosen one when asked for 0)

  // Serves until stop(); returns when the requests in flight have finished.
  void run();
  // Stops accepting; callable from any thread, also before run().
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace z418kt::http
