// ConnectionPool: sessions kept open between calls, so that opening a record
// set does not pay a connection set-up each time, within a bound that other
// programs on the same server can count on.
//
// A session is lent to one caller at a time (a Lease) and comes back when the
// lease ends; a caller may keep one lease for several statements on the same
// session. Before a session is lent again it is checked: alive() always, and
// with a round trip to its server when it sat idle for `checkAfterIdle` or
// more; a dead one is closed and another taken. A session whose usable()
// turned false is closed when it comes back, so a broken one is never lent
// twice.
//
// At most `maxSessions` sessions are open at once, lent and idle, over all
// connection texts. Idle sessions older than `idleClose` are closed. When the
// cap is reached, the least recently used idle session (of any text) is closed
// to make room; when every session is lent, the caller waits up to
// `waitForSession` for one to come back and then gets an AutomationError that
// says so. Safe to use from any number of threads.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "data/connection.h"
#include "data/data_limits.h"

namespace z418kt::data {

class ConnectionPool {
 public:
  using Connect = std::function<std::unique_ptr<Connection>(const std::string& connectionText)>;
  using Clock = std::chrono::steady_clock;

  explicit ConnectionPool(Connect connect, const DataLimits& limits = DataLimits{});
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  class Lease {
   public:
    Lease(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Connection* operator->() const { return connection_.get(); }
    Connection& operator*() const { return *connection_; }
    // True when the session was opened for this lease (not reused).
    bool fresh() const { return fresh_; }

   private:
    friend class ConnectionPool;
    Lease(ConnectionPool& pool, std::string text, std::unique_ptr<Connection> connection,
          bool fresh);
    ConnectionPool* pool_;
    std::string text_;
    std::unique_ptr<Connection> connection_;
    bool fresh_;
  };

  // A checked idle session for the text, or a new one (connect's errors pass
  // through), waiting for room as described above.
  Lease acquire(const std::string& connectionText);
  // Closes every idle session of the text: after one of them lost its server,
  // the others most likely did too.
  void closeIdle(const std::string& connectionText);

  size_t idleCount(const std::string& connectionText) const;
  // Sessions open (lent and idle) and idle, over every text, at one moment.
  struct Counts {
    size_t open = 0, idle = 0;
  };
  Counts counts() const;
  size_t openCount() const;

 private:
  struct Idle {
    std::string text;
    std::unique_ptr<Connection> connection;
    Clock::time_point since;
  };

  void giveBack(const std::string& text, std::unique_ptr<Connection> connection);
  // Moves idle sessions past their age into `out` (closed by the caller
  // outside the lock).
  void takeAged(std::list<Idle>& out, Clock::time_point now);
  void forget(size_t sessions);
  // In a forked child, forgets (without closing) the sessions of the parent.
  void abandonAfterFork();

  Connect connect_;
  DataLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable returned_;
  std::list<Idle> idle_;  // least recently returned first
  // Entries of sessions now lent out, kept for their return: a lease then
  // neither frees nor allocates under the lock (nor copies the text anew).
  std::list<Idle> spare_;
  size_t open_ = 0;  // lent and idle
  uint64_t owner_;   // forkCount() of the process whose sessions these are
};

}  // namespace z418kt::data
