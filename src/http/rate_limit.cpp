#include "http/rate_limit.h"

#include <algorithm>

namespace z418kt::http {

namespace {
constexpr auto kIdleForget = std::chrono::seconds(60);
}

bool RateLimiter::allow(const std::string& connection, Clock::time_point now) {
  if (perSecond_ <= 0) return true;
  std::lock_guard lock(mutex_);
  if (now - lastSweep_ > kIdleForget) forgetIdle(now);
  auto [it, fresh] = buckets_.try_emplace(connection, Bucket{double(perSecond_), now});
  Bucket& b = it->second;
  if (!fresh) {
    double elapsed = std::chrono::duration<double>(now - b.last).count();
    b.tokens = std::min<double>(perSecond_, b.tokens + elapsed * perSecond_);
    b.last = now;
  }
  if (b.tokens < 1) return false;
  b.tokens -= 1;
  return true;
}

void RateLimiter::forgetIdle(Clock::time_point now) {
  std::erase_if(buckets_, [&](const auto& entry) { return now - entry.second.last > kIdleForget; });
  lastSweep_ = now;
}

}  // namespace z418kt::http
