#include "http/metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <tuple>

namespace z418kt::http {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

Metrics::Metrics(int workers, std::vector<std::string_view> routes)
    : workers_(workers), routes_(std::make_unique<Route[]>(routes.size() + 1)) {
  for (std::string_view route : routes) names_.emplace_back(route);
  names_.emplace_back("other");
}

void Metrics::request(size_t route, std::string_view method, int status, double seconds) {
  route = std::min(route, names_.size() - 1);
  size_t m = std::find(kMethods.begin(), kMethods.end() - 1, method) - kMethods.begin();
  Route& r = routes_[route];
  auto known = std::find(kStatuses.begin(), kStatuses.end(), status);
  if (known != kStatuses.end()) {
    r.requests[m][known - kStatuses.begin()].fetch_add(1, kRelaxed);
  } else {
    std::lock_guard lock(mutex_);
    ++otherStatuses_[{route, m, status}];
  }
  size_t bucket = std::lower_bound(kBuckets.begin(), kBuckets.end(), seconds) - kBuckets.begin();
  r.buckets[bucket].fetch_add(1, kRelaxed);
  double ns = std::isfinite(seconds) && seconds > 0 ? seconds * 1e9 : 0;
  r.nanoseconds.fetch_add(static_cast<uint64_t>(std::min(ns, 1e15)), kRelaxed);
}

void Metrics::databaseFailure(std::string_view kind) {
  databaseFailures_[kind == "timeout" ? 1 : 0].fetch_add(1, kRelaxed);
}

std::string Metrics::exposition() const {
  Sessions pooled = sessions ? sessions() : Sessions{};
  std::ostringstream out;
  out << "# HELP z418kt_build_info The running build.\n"
         "# TYPE z418kt_build_info gauge\n"
         "z418kt_build_info{version=\"" Z418KT_VERSION
         "\"} 1\n"
         "# HELP z418kt_http_connections_open Connections open now.\n"
         "# TYPE z418kt_http_connections_open gauge\n"
      << "z418kt_http_connections_open " << connectionsOpen.load() << '\n'
      << "# HELP z418kt_http_connections_refused_total Connections refused over a limit.\n"
         "# TYPE z418kt_http_connections_refused_total counter\n"
      << "z418kt_http_connections_refused_total " << connectionsRefused.load() << '\n'
      << "# HELP z418kt_http_workers Workers that run the operations.\n"
         "# TYPE z418kt_http_workers gauge\n"
      << "z418kt_http_workers " << workers_ << '\n'
      << "# HELP z418kt_http_workers_busy Workers running a request now.\n"
         "# TYPE z418kt_http_workers_busy gauge\n"
      << "z418kt_http_workers_busy " << workersBusy.load() << '\n'
      << "# HELP z418kt_http_requests_queued Requests waiting for a worker now.\n"
         "# TYPE z418kt_http_requests_queued gauge\n"
      << "z418kt_http_requests_queued " << queued.load() << '\n'
      << "# HELP z418kt_database_sessions_in_use Pooled database sessions lent to an operation "
         "now.\n"
         "# TYPE z418kt_database_sessions_in_use gauge\n"
      << "z418kt_database_sessions_in_use " << pooled.inUse << '\n'
      << "# HELP z418kt_database_sessions_idle Pooled database sessions open and waiting now.\n"
         "# TYPE z418kt_database_sessions_idle gauge\n"
      << "z418kt_database_sessions_idle " << pooled.idle << '\n';

  // Sorted by route, method and status, so the output is stable.
  std::map<std::tuple<std::string_view, std::string_view, int>, uint64_t> requests;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, count] : otherStatuses_) {
      const auto& [route, method, status] = key;
      requests[{names_[route], kMethods[method], status}] += count;
    }
  }
  for (size_t r = 0; r < names_.size(); ++r)
    for (size_t m = 0; m < kMethods.size(); ++m)
      for (size_t s = 0; s < kStatuses.size(); ++s)
        if (uint64_t n = routes_[r].requests[m][s].load(kRelaxed))
          requests[{names_[r], kMethods[m], kStatuses[s]}] += n;
  out << "# HELP z418kt_http_requests_total Requests answered, by route, method and status.\n"
         "# TYPE z418kt_http_requests_total counter\n";
  for (const auto& [key, count] : requests) {
    const auto& [route, method, status] = key;
    out << "z418kt_http_requests_total{route=\"" << route << "\",method=\"" << method
        << "\",status=\"" << status << "\"} " << count << '\n';
  }

  out << "# HELP z418kt_http_request_duration_seconds Time from a request's first byte to its "
         "answer, by route.\n"
         "# TYPE z418kt_http_request_duration_seconds histogram\n";
  std::vector<size_t> order(names_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return names_[a] < names_[b]; });
  for (size_t r : order) {
    const Route& h = routes_[r];
    std::array<uint64_t, kBuckets.size() + 1> counts{};
    uint64_t total = 0;
    for (size_t i = 0; i < counts.size(); ++i) total += counts[i] = h.buckets[i].load(kRelaxed);
    if (total == 0) continue;
    std::string label = "route=\"" + names_[r] + "\"";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += counts[i];
      out << "z418kt_http_request_duration_seconds_bucket{" << label << ",le=\""
          << number(kBuckets[i]) << "\"} " << cumulative << '\n';
    }
    out << "z418kt_http_request_duration_seconds_bucket{" << label << ",le=\"+Inf\"} " << total
        << '\n'
        << "z418kt_http_request_duration_seconds_sum{" << label << "} "
        << number(static_cast<double>(h.nanoseconds.load(kRelaxed)) / 1e9) << '\n'
        << "z418kt_http_request_duration_seconds_count{" << label << "} " << total << '\n';
  }

  out << "# HELP z418kt_database_failures_total Database failures seen, by class.\n"
         "# TYPE z418kt_database_failures_total counter\n"
      << "z418kt_database_failures_total{class=\"unavailable\"} "
      << databaseFailures_[0].load(kRelaxed) << '\n'
      << "z418kt_database_failures_total{class=\"timeout\"} " << databaseFailures_[1].load(kRelaxed)
      << '\n';
  return out.str();
}

}  // namespace z418kt::http
