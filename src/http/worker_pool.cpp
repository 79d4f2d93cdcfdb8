#include "http/worker_pool.h"

#include "http/metrics.h"

namespace z418kt::http {

WorkerPool::WorkerPool(int threads, size_t maxQueued, Metrics& metrics)
    : maxQueued_(maxQueued), metrics_(metrics) {
  for (int i = 0; i < std::max(1, threads); ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool WorkerPool::submit(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= maxQueued_) return false;
    queue_.push_back(std::move(job));
    metrics_.queued = static_cast<long>(queue_.size());
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::work() {
  Z418kt component;
  std::unique_lock lock(mutex_);
  while (true) {
    ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, and nothing left to run
    Job job = std::move(queue_.front());
    queue_.pop_front();
    metrics_.queued = static_cast<long>(queue_.size());
    lock.unlock();
    ++metrics_.workersBusy;
    job(component);  // jobs catch their own failures: they answer a client
    --metrics_.workersBusy;
    lock.lock();
  }
}

}  // namespace z418kt::http
