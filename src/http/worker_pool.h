// The workers that run the operations: at most `workers` operations at once,
// each worker with its own component. A worker is a permit, not a thread:
// the operation runs on the server thread that read its request and that
// thread writes the answer, so a request never goes from one thread to
// another on its way (each hand-off costs a thread wake-up, more than the
// rest of the HTTP work). The server runs its I/O threads beside as many
// threads as workers, so at least that many threads are free of operations.
//
// A request that finds every worker busy waits in a queue of bounded length
// and is started, on its connection's thread, by the first worker to finish;
// beyond that bound it is not taken (the caller answers 503), so memory and
// waiting stay bounded whatever the clients send.
#pragma once

#include <boost/asio/any_io_executor.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "z418kt/z418kt.h"

namespace z418kt::http {

class Metrics;

class WorkerPool {
 public:
  // A job must not throw: it answers its client whatever happens.
  using Job = std::function<void(Z418kt&)>;
  WorkerPool(int workers, size_t maxQueued, Metrics& metrics);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs the job at once on the calling thread when a worker is free;
  // otherwise queues it to run later on `where` (the job keeps that
  // executor's work counted until it ran). False when the queue is full:
  // the job is dropped.
  bool submit(Job job, boost::asio::any_io_executor where);

 private:
  struct Waiting {
    Job job;
    boost::asio::any_io_executor where;
  };
  void run(Job& job, std::unique_ptr<Z418kt> component);
  // Hands the worker to the next waiting job, or frees it.
  void release(std::unique_ptr<Z418kt> component);

  size_t maxQueued_;
  Metrics& metrics_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Z418kt>> free_;
  std::deque<Waiting> queue_;
};

}  // namespace z418kt::http
