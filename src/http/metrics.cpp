#include "http/metrics.h"

#include <cstdio>
#include <sstream>

namespace z418kt::http {

namespace {

std::string_view knownMethod(std::string_view method) {
  for (std::string_view m : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS"})
    if (m == method) return m;
  return "other";
}

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

void Metrics::request(std::string_view route, std::string_view method, int status, double seconds) {
  std::lock_guard lock(mutex_);
  ++requests_[{std::string(route), std::string(knownMethod(method)), status}];
  Histogram& h = latency_[std::string(route)];
  for (size_t i = 0; i < kBuckets.size(); ++i)
    if (seconds <= kBuckets[i]) ++h.counts[i];
  ++h.count;
  h.sum += seconds;
}

void Metrics::databaseFailure(std::string_view kind) {
  std::lock_guard lock(mutex_);
  ++databaseFailures_[std::string(kind)];
}

std::string Metrics::exposition() const {
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
      << "z418kt_http_requests_queued " << queued.load() << '\n';
  std::lock_guard lock(mutex_);
  out << "# HELP z418kt_http_requests_total Requests answered, by route, method and status.\n"
         "# TYPE z418kt_http_requests_total counter\n";
  for (const auto& [key, count] : requests_) {
    const auto& [route, method, status] = key;
    out << "z418kt_http_requests_total{route=\"" << route << "\",method=\"" << method
        << "\",status=\"" << status << "\"} " << count << '\n';
  }
  out << "# HELP z418kt_http_request_duration_seconds Time from a request's first byte to its "
         "answer, by route.\n"
         "# TYPE z418kt_http_request_duration_seconds histogram\n";
  for (const auto& [route, h] : latency_) {
    std::string label = "route=\"" + route + "\"";
    for (size_t i = 0; i < kBuckets.size(); ++i)
      out << "z418kt_http_request_duration_seconds_bucket{" << label << ",le=\""
          << number(kBuckets[i]) << "\"} " << h.counts[i] << '\n';
    out << "z418kt_http_request_duration_seconds_bucket{" << label << ",le=\"+Inf\"} " << h.count
        << '\n'
        << "z418kt_http_request_duration_seconds_sum{" << label << "} " << number(h.sum) << '\n'
        << "z418kt_http_request_duration_seconds_count{" << label << "} " << h.count << '\n';
  }
  out << "# HELP z418kt_database_failures_total Database failures seen, by class.\n"
         "# TYPE z418kt_database_failures_total counter\n";
  for (const char* kind : {"unavailable", "timeout"}) {
    auto it = databaseFailures_.find(kind);
    out << "z418kt_database_failures_total{class=\"" << kind << "\"} "
        << (it == databaseFailures_.end() ? 0 : it->second) << '\n';
  }
  return out.str();
}

}  // namespace z418kt::http
