// The server's counters in the Prometheus text exposition format (0.0.4):
// requests by route, method and status, a latency histogram by route,
// connections open, workers busy and their number, requests waiting for a
// worker, database failures by class, and the build. Labels come from
// bounded sets only (route patterns, known methods, statuses), so a client
// cannot grow the table. Thread-safe.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>

namespace z418kt::http {

inline constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";

class Metrics {
 public:
  explicit Metrics(int workers) : workers_(workers) {}

  // `route` is a route pattern or "other".
  void request(std::string_view route, std::string_view method, int status, double seconds);
  // A database failure seen by a request or a readiness check ("unavailable", "timeout").
  void databaseFailure(std::string_view kind);

  std::atomic<long> connectionsOpen{0};
  std::atomic<long> workersBusy{0};
  std::atomic<long> queued{0};
  std::atomic<long> connectionsRefused{0};

  std::string exposition() const;

 private:
  static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   10};
  struct Histogram {
    std::array<uint64_t, kBuckets.size()> counts{};
    uint64_t count = 0;
    double sum = 0;
  };

  int workers_;
  mutable std::mutex mutex_;
  std::map<std::tuple<std::string, std::string, int>, uint64_t> requests_;
  std::map<std::string, Histogram> latency_;
  std::map<std::string, uint64_t> databaseFailures_;
};

}  // namespace z418kt::http
