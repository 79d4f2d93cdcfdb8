// The server's counters in the Prometheus text exposition format (0.0.4):
// requests by route, method and status, a latency histogram by route,
// connections open, workers busy and their number, requests waiting for a
// worker, pooled database sessions in use and idle, database failures by
// class, and the build. Labels come from bounded sets only (the route
// patterns, known methods, statuses), so a client cannot grow the table.
//
// Every request counts on the hot path of every thread: the counters are
// atomics in fixed tables, taken without a lock. Thread-safe.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace z418kt::http {

inline constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

class Metrics {
 public:
  // `routes`: the route patterns, in the order of the indexes request() takes.
  Metrics(int workers, std::vector<std::string_view> routes);

  // `route` is an index into the patterns; any other value counts as "other".
  void request(size_t route, std::string_view method, int status, double seconds);
  // A database failure seen by a request or a readiness check ("unavailable", "timeout").
  void databaseFailure(std::string_view kind);

  std::atomic<long> connectionsOpen{0};
  std::atomic<long> workersBusy{0};
  std::atomic<long> queued{0};
  std::atomic<long> connectionsRefused{0};

  // Pooled database sessions {lent, idle}, read when the metrics are shown.
  struct Sessions {
    size_t inUse = 0, idle = 0;
  };
  std::function<Sessions()> sessions;

  std::string exposition() const;

 private:
  static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   10};
  static constexpr std::array<std::string_view, 7> kMethods = {"GET",    "HEAD",    "POST", "PUT",
                                                               "DELETE", "OPTIONS", "other"};
  static constexpr std::array<int, 22> kStatuses = {200, 201, 204, 304, 400, 401, 403, 404,
                                                    405, 408, 409, 411, 413, 415, 422, 429,
                                                    431, 500, 501, 502, 503, 504};
  using Counter = std::atomic<uint64_t>;
  struct Route {
    std::array<std::array<Counter, kStatuses.size()>, kMethods.size()> requests{};
    std::array<Counter, kBuckets.size() + 1> buckets{};  // not cumulative; the last is +Inf
    Counter nanoseconds{0};
  };

  int workers_;
  std::vector<std::string> names_;  // the patterns, then "other"
  std::unique_ptr<Route[]> routes_;
  std::array<Counter, 2> databaseFailures_{};  // unavailable, timeout
  // Statuses outside kStatuses: rare, so a map under a lock.
  mutable std::mutex mutex_;
  std::map<std::tuple<size_t, size_t, int>, uint64_t> otherStatuses_;
};

}  // namespace z418kt::http
