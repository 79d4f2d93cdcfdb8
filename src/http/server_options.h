// What `z418kt http` is told at start: where it listens, the database and
// dialect every request uses, the token, TLS, and the limits. Every default
// here is the one the README and `z418kt http --help` document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "http/token.h"

namespace z418kt::http {

struct Limits {
  // Reading a request.
  int headSeconds = 10;                    // whole request line and headers, from their first byte
  int bodySeconds = 30;                    // whole body, from the end of the headers
  int writeSeconds = 10;                   // whole answer
  int keepAliveSeconds = 5;                // idle time between requests on one connection
  size_t maxHeaderBytes = 16384;           // request line and headers together: 431 beyond
  size_t maxHeaderCount = 100;             // header fields: 431 beyond
  size_t maxBodyBytes = 1 << 20;           // announced or received: 413 beyond
  size_t maxRequestsPerConnection = 1000;  // then the connection closes

  // Connections and work.
  size_t maxConnections = 10000;          // open at once; 503 beyond
  size_t maxConnectionsPerClient = 1000;  // from one client address; 503 beyond
  // The server runs ioThreads + workerThreads threads, each holding
  // connections; at most workerThreads of them run an operation at once.
  int ioThreads = 2;        // threads beside the workers'
  int workerThreads = 16;   // operations at once, each worker with its own component
  size_t maxQueued = 1000;  // requests waiting for a worker; 503 beyond

  // Clients.
  int requestsPerSecond = 100;     // /v1 requests per client address (burst the same); 0: none
  int tokenRequestsPerSecond = 0;  // /v1 requests of each token over all addresses; 0: none
  int failedTokensPerMinute = 10;  // wrong or missing tokens per client address; 429 beyond
  int readySeconds = 2;            // /readyz waits this long for the database's answer
};

struct ServerOptions {
  // Where it listens: a TCP host and port, or a unix socket path when set.
  std::string host = "127.0.0.1";
  int port = 8080;                 // 0: any free port (see HttpServer::port)
  std::string unixPath;            // "unix:/path" given to --listen
  std::string connection;          // the database of every request; never shown to clients
  bool oracle = false;             // the ORACLE dialect instead of the stored procedures
  std::vector<NamedToken> tokens;  // one is required of every /v1 request as "Bearer <secret>"
  std::string corsOrigin;          // empty: no CORS headers at all
  bool trustProxy = false;         // take the client address from X-Forwarded-For
  bool metricsPublic = false;      // /metrics without the token
  std::string tlsCert;             // PEM certificate chain; with tlsKey, HTTPS instead of HTTP
  std::string tlsKey;              // PEM private key
  Limits limits;
};

// Parses "host:port", "[v6]:port", ":port" (loopback) or "unix:/path" into
// the options; false when it is none of them.
bool parseListen(const std::string& text, ServerOptions& options);

// The base URL a client would use, IPv6 hosts in brackets ("http://[::1]:8080/");
// for a unix socket, "unix:/path".
std::string listenUrl(const ServerOptions& options, int boundPort);

}  // namespace z418kt::http
