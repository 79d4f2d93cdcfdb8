// Readiness: whether the database answers a read. One prober thread with a
// component of its own runs the checks, so a database that hangs ties up one
// thread, never the workers: a caller waits at most the deadline for the
// check it joined, and concurrent callers share one check.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "http/resources.h"

namespace z418kt::http {

class Readiness {
 public:
  struct Result {
    bool ready = false;
    std::string reason;  // why not, in the words of the operations or of the deadline
    bool timedOut = false;
  };

  Readiness(const Resources& resources, std::chrono::milliseconds deadline);
  ~Readiness();
  Readiness(const Readiness&) = delete;
  Readiness& operator=(const Readiness&) = delete;

  // Joins the check under way or starts one; waits for it up to the deadline.
  Result check();
  // The same without a deadline other than the database's own timeouts.
  Result checkFully();

 private:
  Result wait(bool bounded);
  void probe();

  const Resources& resources_;
  std::chrono::milliseconds deadline_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t started_ = 0, finished_ = 0;
  bool stopping_ = false;
  Result last_;
  std::thread prober_;
};

}  // namespace z418kt::http
