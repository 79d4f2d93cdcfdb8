// Requests per second per connection: a token bucket for each connection
// (peer address and port), refilled continuously up to one second's worth.
// Buckets idle for a minute are forgotten. Thread-safe.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace z418kt::http {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  explicit RateLimiter(int perSecond) : perSecond_(perSecond) {}

  // False when the connection has used up its allowance; a limit of 0 allows all.
  bool allow(const std::string& connection, Clock::time_point now = Clock::now());

 private:
  struct Bucket {
    double tokens;
    Clock::time_point last;
  };
  void forgetIdle(Clock::time_point now);

  int perSecond_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
  Clock::time_point lastSweep_{};
};

}  // namespace z418kt::http
