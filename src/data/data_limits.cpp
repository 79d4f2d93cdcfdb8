#include "data/data_limits.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace z418kt::data {

namespace {

// The variable as a whole number within [min, max], else `fallback`.
long long fromVariable(const char* name, long long fallback, long long min, long long max) {
  const char* raw = std::getenv(name);
  if (!raw) return fallback;
  std::string_view text(raw);
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
    return fallback;
  return value;
}

}  // namespace

DataLimits DataLimits::fromEnvironment() {
  DataLimits l;
  constexpr long long kDay = 86400;
  l.maxSessions = static_cast<size_t>(
      fromVariable("Z418KT_DB_MAX_SESSIONS", static_cast<long long>(l.maxSessions), 1, 10000));
  l.idleClose =
      std::chrono::seconds(fromVariable("Z418KT_DB_IDLE_SECONDS", l.idleClose.count(), 0, kDay));
  l.waitForSession = std::chrono::seconds(fromVariable(
      "Z418KT_DB_WAIT_SECONDS",
      std::chrono::duration_cast<std::chrono::seconds>(l.waitForSession).count(), 0, kDay));
  l.checkAfterIdle = std::chrono::seconds(
      fromVariable("Z418KT_DB_CHECK_AFTER_SECONDS", l.checkAfterIdle.count(), 0, kDay));
  l.loginTimeout = std::chrono::seconds(
      fromVariable("Z418KT_DB_LOGIN_SECONDS", l.loginTimeout.count(), 1, kDay));
  l.queryTimeout = std::chrono::seconds(
      fromVariable("Z418KT_DB_QUERY_SECONDS", l.queryTimeout.count(), 1, kDay));
  return l;
}

const SessionTimeouts& SessionTimeouts::process() {
  static const SessionTimeouts timeouts = [] {
    DataLimits limits = DataLimits::fromEnvironment();
    return SessionTimeouts{static_cast<int>(limits.loginTimeout.count()),
                           static_cast<int>(limits.queryTimeout.count()),
                           static_cast<int>(limits.cutOffGrace.count())};
  }();
  return timeouts;
}

}  // namespace z418kt::data
