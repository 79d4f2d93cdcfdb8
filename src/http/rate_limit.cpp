#include "http/rate_limit.h"

#include <algorithm>

namespace z418kt::http {

RateLimiter::RateLimiter(double perSecond, double burst, size_t maxKeys)
    : perSecond_(perSecond), burst_(std::max(1.0, burst)), maxKeys_(maxKeys) {}

RateLimiter::Bucket* RateLimiter::bucket(const std::string& key, Clock::time_point now) {
  if (now - lastSweep_ > std::chrono::seconds(10)) forgetFull(now);
  auto it = buckets_.find(key);
  if (it == buckets_.end()) {
    if (buckets_.size() >= maxKeys_) forgetFull(now);
    if (buckets_.size() >= maxKeys_) return nullptr;
    return &buckets_.emplace(key, Bucket{burst_, now}).first->second;
  }
  Bucket& b = it->second;
  double elapsed = std::chrono::duration<double>(now - b.last).count();
  b.tokens = std::min(burst_, b.tokens + elapsed * perSecond_);
  b.last = now;
  return &b;
}

bool RateLimiter::take(const std::string& key, Clock::time_point now) {
  if (perSecond_ <= 0) return true;
  std::lock_guard lock(mutex_);
  Bucket* b = bucket(key, now);
  if (!b || b->tokens < 1) return false;
  b->tokens -= 1;
  return true;
}

double RateLimiter::waitSeconds(const std::string& key, Clock::time_point now) {
  if (perSecond_ <= 0) return 0;
  std::lock_guard lock(mutex_);
  Bucket* b = bucket(key, now);
  if (!b) return 1;
  return b->tokens >= 1 ? 0 : (1 - b->tokens) / perSecond_;
}

void RateLimiter::forgetFull(Clock::time_point now) {
  std::erase_if(buckets_, [&](const auto& entry) {
    double elapsed = std::chrono::duration<double>(now - entry.second.last).count();
    return entry.second.tokens + elapsed * perSecond_ >= burst_;
  });
  lastSweep_ = now;
}

}  // namespace z418kt::http
