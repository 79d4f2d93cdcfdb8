// ConnectionPool: idle sessions kept per connection text, so that opening a
// record set does not pay a connection set-up each time.
//
// A session is lent to one caller at a time and comes back when its Lease
// ends. A session whose usable() turned false is closed instead of kept, so
// a broken session is never handed out twice. At most `maxIdle` sessions per
// text are kept; the rest are closed. Safe to use from any number of threads.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/connection.h"

namespace z418kt::data {

class ConnectionPool {
 public:
  using Connect = std::function<std::unique_ptr<Connection>(const std::string& connectionText)>;

  explicit ConnectionPool(Connect connect, size_t maxIdle = 8);

  class Lease {
   public:
    Lease(ConnectionPool& pool, std::string text, std::unique_ptr<Connection> connection);
    Lease(Lease&&) = default;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Connection* operator->() const { return connection_.get(); }

   private:
    ConnectionPool& pool_;
    std::string text_;
    std::unique_ptr<Connection> connection_;
  };

  // An idle session for the text, or a new one (connect's errors pass through).
  Lease acquire(const std::string& connectionText);
  size_t idleCount(const std::string& connectionText) const;

 private:
  void giveBack(const std::string& text, std::unique_ptr<Connection> connection);

  Connect connect_;
  size_t maxIdle_;
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<std::unique_ptr<Connection>>> idle_;
};

}  // namespace z418kt::data
