// What every connection of one server shares: the options, the resources
// and the workers that run them, the limits kept per client and per token,
// the metrics and the log, and the table of open connections by client
// address. It outlives every connection (the server's run() waits for them).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>

#include "http/access_log.h"
#include "http/event_resources.h"
#include "http/exchange.h"
#include "http/metrics.h"
#include "http/rate_limit.h"
#include "http/readiness.h"
#include "http/resources.h"
#include "http/routes.h"
#include "http/server_options.h"
#include "http/token.h"
#include "http/worker_pool.h"

namespace z418kt::http {

// A connection as the server sees it: told to finish when the server stops.
class Connection {
 public:
  virtual ~Connection() = default;
  // Closes an idle connection now; one in the middle of a request closes
  // after its answer. Callable from any thread.
  virtual void stopWhenIdle() = 0;
};

class ServerCore {
 public:
  ServerCore(ServerOptions options, std::ostream& log);

  const ServerOptions options;
  const Limits& limits = options.limits;
  AccessLog log;
  Metrics metrics;
  Resources resources;
  EventResources eventResources;
  Readiness readiness;
  std::atomic<bool> stopping{false};

  // The token a connection presented last and whose it is: a client sends
  // the same Authorization on every request, so its digest is taken once per
  // connection. Only a token that matched is kept, so a comparison with it
  // tells a guesser on another connection nothing.
  struct TokenMemo {
    std::string authorization;
    const std::string* name = nullptr;
  };

  // The refusal of a request by who sends it (token, throttling of failed
  // tokens, rates), or nothing when it may go on to its route. `clientKey`
  // is limitKey() of the client address; `tokenName` gets the name of the
  // token presented ("" when none was needed).
  std::optional<Reply> admit(const std::string& clientKey, std::string_view authorization,
                             Access access, std::string& tokenName, TokenMemo& memo);

  // Counts a new connection from `key`; false (nothing counted) over a limit.
  bool openConnection(const std::string& key);
  void closeConnection(const std::string& key);
  void track(const std::shared_ptr<Connection>& connection);
  void untrack(const Connection* connection);
  // Every open connection is told to finish.
  void stopConnections();

  // A new request id: 16 hex digits, unique within the process.
  std::string nextRequestId();

  // Runs the job on a worker, at once on this thread when one is free, else
  // later on `where`; false when the queue is full.
  bool runOnWorker(WorkerPool::Job job, boost::asio::any_io_executor where) {
    return workers_.submit(std::move(job), std::move(where));
  }

 private:
  TokenCheck token_;
  RateLimiter clientRate_, tokenRate_, failedTokens_;
  std::mutex mutex_;
  size_t connections_ = 0;
  std::unordered_map<std::string, size_t> perClient_;
  std::unordered_map<const Connection*, std::weak_ptr<Connection>> open_;
  uint64_t idPrefix_;
  std::atomic<uint64_t> idCounter_{0};
  WorkerPool workers_;
};

}  // namespace z418kt::http
