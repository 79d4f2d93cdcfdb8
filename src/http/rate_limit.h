// Token buckets by key (a client address, a token): each holds up to `burst`
// and refills at `perSecond`. A full bucket says nothing and is forgotten, so
// the table holds only keys that spent something lately, and never more than
// `maxKeys`: past that, a new key is refused until old ones refill. Thread-safe.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace z418kt::http {

class RateLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  // perSecond <= 0: no limit at all.
  RateLimiter(double perSecond, double burst, size_t maxKeys = 100000);

  // Takes one from the key's bucket; false when it is empty.
  bool take(const std::string& key, Clock::time_point now = Clock::now());
  // Seconds until the key's bucket holds one (0 when it does now), taking nothing.
  double waitSeconds(const std::string& key, Clock::time_point now = Clock::now());

 private:
  struct Bucket {
    double tokens;
    Clock::time_point last;
  };
  // The key's bucket refilled to now; null when the table is full.
  Bucket* bucket(const std::string& key, Clock::time_point now);
  void forgetFull(Clock::time_point now);

  double perSecond_, burst_;
  size_t maxKeys_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
  Clock::time_point lastSweep_{};
};

}  // namespace z418kt::http
