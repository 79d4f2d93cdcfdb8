#include "data/connection_pool.h"

#include "z418kt/automation_error.h"

namespace z418kt::data {

ConnectionPool::ConnectionPool(Connect connect, size_t maxIdle)
    : connect_(std::move(connect)), maxIdle_(maxIdle) {}

ConnectionPool::Lease::Lease(ConnectionPool& pool, std::string text,
                             std::unique_ptr<Connection> connection)
    : pool_(pool), text_(std::move(text)), connection_(std::move(connection)) {}

ConnectionPool::Lease::~Lease() {
  if (connection_) pool_.giveBack(text_, std::move(connection_));
}

ConnectionPool::Lease ConnectionPool::acquire(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    auto it = idle_.find(text);
    if (it != idle_.end() && !it->second.empty()) {
      auto connection = std::move(it->second.back());
      it->second.pop_back();
      return Lease(*this, text, std::move(connection));
    }
  }
  // Connecting may be slow; other threads keep using the pool meanwhile.
  auto connection = connect_(text);
  if (!connection) throw errors::provider("The provider could not open a session.");
  return Lease(*this, text, std::move(connection));
}

void ConnectionPool::giveBack(const std::string& text, std::unique_ptr<Connection> connection) {
  if (!connection->usable()) return;  // closed here, never lent again
  std::unique_ptr<Connection> surplus;
  {
    std::lock_guard lock(mutex_);
    auto& list = idle_[text];
    if (list.size() < maxIdle_)
      list.push_back(std::move(connection));
    else
      surplus = std::move(connection);  // closed outside the lock
  }
}

size_t ConnectionPool::idleCount(const std::string& text) const {
  std::lock_guard lock(mutex_);
  auto it = idle_.find(text);
  return it == idle_.end() ? 0 : it->second.size();
}

}  // namespace z418kt::data
