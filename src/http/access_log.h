// The access log: one JSON object per line and request, with time (UTC),
// request id, client address, method, route (the pattern that matched),
// path, the name of the token presented (when the route needs one), status,
// bytes of the answer's body and duration in milliseconds.
// Every field is escaped by the JSON writer (control characters as \uXXXX,
// invalid UTF-8 replaced), so no client text can start a line of its own.
// Headers are never logged, so no token's secret is. Thread-safe.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace z418kt::http {

struct LogEntry {
  std::string requestId;
  std::string client;
  std::string method;
  std::string route;
  std::string path;
  std::string token;  // the token's name; "" when none was needed
  int status = 0;
  size_t bytes = 0;
  double milliseconds = 0;
};

class AccessLog {
 public:
  explicit AccessLog(std::ostream& out) : out_(out) {}
  void write(const LogEntry& entry);
  // A line for the operators: an internal failure, a start-up warning.
  void note(std::string_view level, std::string_view message, std::string_view requestId = {});

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

// Now in UTC, to the millisecond ("2026-01-31T12:00:00.123Z").
std::string utcNow();

}  // namespace z418kt::http
