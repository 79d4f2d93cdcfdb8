#include "http/access_log.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "json/json_variant.h"

namespace z418kt::http {

namespace {

void emit(std::mutex& mutex, std::ostream& out, const json::Json& line) {
  std::string text = line.dump(-1, ' ', false, json::Json::error_handler_t::replace);
  std::lock_guard lock(mutex);
  out << text << '\n' << std::flush;
}

}  // namespace

std::string utcNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buffer[40];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &tm);
  std::snprintf(buffer + n, sizeof buffer - n, ".%03dZ", static_cast<int>(ms.count()));
  return buffer;
}

void AccessLog::write(const LogEntry& e) {
  emit(mutex_, out_,
       {{"time", utcNow()},
        {"request_id", e.requestId},
        {"client", e.client},
        {"method", e.method},
        {"route", e.route},
        {"path", e.path},
        {"status", e.status},
        {"bytes", e.bytes},
        {"duration_ms", std::round(e.milliseconds * 1000) / 1000}});
}

void AccessLog::note(std::string_view level, std::string_view message, std::string_view requestId) {
  json::Json line = {{"time", utcNow()}, {"level", level}, {"message", message}};
  if (!requestId.empty()) line["request_id"] = requestId;
  emit(mutex_, out_, line);
}

}  // namespace z418kt::http
