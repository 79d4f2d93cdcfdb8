#include "data/sqlite_writers.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>

#include "z418kt/automation_error.h"

namespace z418kt::data {

struct WriterTurn::Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<uint64_t> waiting;  // tickets in the order asked; the front has the turn
  uint64_t next = 0;
};

namespace {

std::shared_ptr<WriterTurn::Queue> queueOf(const std::string& file) {
  static std::mutex mutex;
  // One queue per file for the life of the process: a few bytes each.
  static std::map<std::string, std::shared_ptr<WriterTurn::Queue>> queues;
  std::error_code ignored;
  std::string key = std::filesystem::absolute(file, ignored).lexically_normal().string();
  std::lock_guard lock(mutex);
  auto& queue = queues[key.empty() ? file : key];
  if (!queue) queue = std::make_shared<WriterTurn::Queue>();
  return queue;
}

}  // namespace

WriterTurn::WriterTurn(const std::string& file, int timeoutMs) : queue_(queueOf(file)) {
  std::unique_lock lock(queue_->mutex);
  ticket_ = queue_->next++;
  queue_->waiting.push_back(ticket_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool mine = queue_->changed.wait_until(lock, deadline,
                                         [&] { return queue_->waiting.front() == ticket_; });
  if (mine) return;
  std::erase(queue_->waiting, ticket_);
  queue_->changed.notify_all();
  throw errors::provider("database is locked (waited " + std::to_string(timeoutMs) +
                         " ms for this process's other writers)");
}

WriterTurn::~WriterTurn() {
  {
    std::lock_guard lock(queue_->mutex);
    std::erase(queue_->waiting, ticket_);
  }
  queue_->changed.notify_all();
}

}  // namespace z418kt::data
