// What `z418kt http` is told at start: where it listens, the database and
// dialect every request uses, the token, and the limits. Every default here is
// the one the README documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace z418kt::http {

struct Limits {
  size_t maxBodyBytes = 1024 * 1024;   // larger bodies get 413
  int requestsPerSecond = 100;         // per connection, burst of the same size; 0: none
  int readTimeoutSeconds = 10;         // to receive one request (headers and body)
  int writeTimeoutSeconds = 10;        // to send one answer
  int keepAliveSeconds = 5;            // idle time before a kept-alive connection closes
  size_t keepAliveMaxRequests = 1000;  // requests on one connection before it closes
  int workerThreads = 64;              // connections served at once (one component each)
};

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;         // 0: any free port (see HttpServer::port)
  std::string connection;  // the database of every request; never shown to clients
  bool oracle = false;     // the ORACLE dialect instead of the stored procedures
  std::string token;       // required of every /v1 request as "Bearer <token>"
  std::string corsOrigin;  // empty: no CORS headers at all
  Limits limits;
};

// Parses "host:port", "[v6]:port" or ":port" (loopback); false when it is none of them.
bool parseListen(const std::string& text, std::string& host, int& port);

}  // namespace z418kt::http
