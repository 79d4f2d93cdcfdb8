#include "http/worker_pool.h"

#include <boost/asio/post.hpp>

#include "http/metrics.h"

namespace z418kt::http {

WorkerPool::WorkerPool(int workers, size_t maxQueued, Metrics& metrics)
    : maxQueued_(maxQueued), metrics_(metrics) {
  for (int i = 0; i < std::max(1, workers); ++i) free_.push_back(std::make_unique<Z418kt>());
}

bool WorkerPool::submit(Job job, boost::asio::any_io_executor where) {
  std::unique_lock lock(mutex_);
  if (free_.empty()) {
    if (queue_.size() >= maxQueued_) return false;
    queue_.push_back({std::move(job), std::move(where)});
    metrics_.queued.store(static_cast<long>(queue_.size()), std::memory_order_relaxed);
    return true;
  }
  std::unique_ptr<Z418kt> component = std::move(free_.back());
  free_.pop_back();
  lock.unlock();
  run(job, std::move(component));
  return true;
}

void WorkerPool::run(Job& job, std::unique_ptr<Z418kt> component) {
  metrics_.workersBusy.fetch_add(1, std::memory_order_relaxed);
  job(*component);
  metrics_.workersBusy.fetch_sub(1, std::memory_order_relaxed);
  release(std::move(component));
}

void WorkerPool::release(std::unique_ptr<Z418kt> component) {
  std::unique_lock lock(mutex_);
  if (queue_.empty()) {
    free_.push_back(std::move(component));
    return;
  }
  Waiting next = std::move(queue_.front());
  queue_.pop_front();
  metrics_.queued.store(static_cast<long>(queue_.size()), std::memory_order_relaxed);
  lock.unlock();
  // The worker goes with the job to its connection's thread.
  boost::asio::post(next.where,
                    [this, job = std::move(next.job), component = std::move(component)]() mutable {
                      run(job, std::move(component));
                    });
}

}  // namespace z418kt::http
