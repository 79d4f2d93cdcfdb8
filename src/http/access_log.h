// The access log: one JSON object per line and request, with time (UTC),
// request id, client address, method, route (the pattern that matched),
// path, the name of the token presented (when the route needs one), status,
// bytes of the answer's body and duration in milliseconds.
// Every field is escaped by the JSON writer (control characters as \uXXXX,
// invalid UTF-8 replaced), so no client text can start a line of its own.
// Headers are never logged, so no token's secret is. Thread-safe.
//
// Request lines are gathered and written together: a write per line is a
// system call on every request's path. At most kMaxPendingBytes wait (more
// writes them at once), and the server calls flush() every kFlushInterval
// and when it stops; a note (an error, a warning) is written at once, after
// the lines before it.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace z418kt::http {

// Views of the request's own texts, valid for the call to write().
struct LogEntry {
  std::string_view requestId;
  std::string_view client;
  std::string_view method;
  std::string_view route;
  std::string_view path;
  std::string_view token;  // the token's name; "" when none was needed
  int status = 0;
  size_t bytes = 0;
  double milliseconds = 0;
};

class AccessLog {
 public:
  static constexpr size_t kMaxPendingBytes = 64 * 1024;
  static constexpr std::chrono::milliseconds kFlushInterval{100};

  explicit AccessLog(std::ostream& out) : out_(out) {}
  ~AccessLog() { flush(); }
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  void write(const LogEntry& entry);
  // Writes the lines that wait.
  void flush();
  // A line for the operators: an internal failure, a start-up warning.
  void note(std::string_view level, std::string_view message, std::string_view requestId = {});

 private:
  void flushLocked();

  std::mutex mutex_;
  std::ostream& out_;
  std::string pending_;
};

// Now in UTC, to the millisecond ("2026-01-31T12:00:00.123Z").
std::string utcNow();

}  // namespace z418kt::http
