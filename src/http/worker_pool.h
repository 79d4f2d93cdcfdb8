// The workers that run the operations: a fixed number of threads, each with
// its own component, taking jobs from one queue of bounded length. A job
// that finds the queue full is not taken (the caller answers 503), so memory
// and waiting stay bounded whatever the clients send.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "z418kt/z418kt.h"

namespace z418kt::http {

class Metrics;

class WorkerPool {
 public:
  using Job = std::function<void(Z418kt&)>;
  WorkerPool(int threads, size_t maxQueued, Metrics& metrics);
  ~WorkerPool();  // runs the jobs already queued, then joins
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // False when the queue is full or the pool is stopping; the job is dropped.
  bool submit(Job job);

 private:
  void work();

  size_t maxQueued_;
  Metrics& metrics_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace z418kt::http
