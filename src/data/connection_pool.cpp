#include "data/connection_pool.h"

#include <algorithm>

#include "data/fork_count.h"
#include "data/session_errors.h"

#include "z418kt/automation_error.h"

namespace z418kt::data {

ConnectionPool::ConnectionPool(Connect connect, const DataLimits& limits)
    : connect_(std::move(connect)), limits_(limits), owner_(forkCount()) {}

// In a forked child the idle sessions are the parent's: they are left open
// for it, not closed (a server session's close would end the parent's too).
ConnectionPool::~ConnectionPool() { abandonAfterFork(); }

ConnectionPool::Lease::Lease(ConnectionPool& pool, std::string text,
                             std::unique_ptr<Connection> connection, bool fresh)
    : pool_(&pool), text_(std::move(text)), connection_(std::move(connection)), fresh_(fresh) {}

ConnectionPool::Lease::Lease(Lease&& other) noexcept
    : pool_(other.pool_),
      text_(std::move(other.text_)),
      connection_(std::move(other.connection_)),
      fresh_(other.fresh_) {}

ConnectionPool::Lease::~Lease() {
  if (connection_) pool_->giveBack(text_, std::move(connection_));
}

void ConnectionPool::takeAged(std::list<Idle>& out, Clock::time_point now) {
  while (!idle_.empty() && now - idle_.front().since >= limits_.idleClose) {
    out.splice(out.end(), idle_, idle_.begin());
    --open_;
  }
}

void ConnectionPool::forget(size_t sessions) {
  {
    std::lock_guard lock(mutex_);
    open_ -= sessions;
  }
  returned_.notify_all();
}

void ConnectionPool::abandonAfterFork() {
  if (owner_ == forkCount()) return;
  // A forked child shares its parent's sockets and database files: closing a
  // session here would end the parent's, and using one would interleave two
  // processes on one server session. The child leaves them alone and opens
  // its own.
  for (Idle& session : idle_) static_cast<void>(session.connection.release());
  idle_.clear();
  open_ = 0;
  owner_ = forkCount();
}

ConnectionPool::Lease ConnectionPool::acquire(const std::string& text) {
  // One reading of the clock serves the whole call on its usual way (a
  // session idle in the pool): the limits it is compared with are seconds.
  auto now = Clock::now();
  const auto giveUp = now + limits_.waitForSession;
  while (true) {
    std::list<Idle> closing;  // closed outside the lock: a disconnect may be slow
    std::unique_ptr<Connection> reused;
    Clock::time_point since;
    {
      std::unique_lock lock(mutex_);
      abandonAfterFork();
      while (true) {
        takeAged(closing, now);
        // The session of this text returned last: its server was seen most recently.
        auto it = idle_.end();
        for (auto i = idle_.rbegin(); i != idle_.rend(); ++i)
          if (i->text == text) {
            it = std::prev(i.base());
            break;
          }
        if (it != idle_.end()) {
          reused = std::move(it->connection);
          since = it->since;
          if (spare_.size() < limits_.maxSessions)
            spare_.splice(spare_.end(), idle_, it);
          else
            idle_.erase(it);
          break;
        }
        if (open_ < limits_.maxSessions) {
          ++open_;
          break;
        }
        if (!idle_.empty()) {  // make room: the least recently used idle session goes
          closing.splice(closing.end(), idle_, idle_.begin());
          --open_;
          continue;
        }
        bool timedOut = returned_.wait_until(lock, giveUp) == std::cv_status::timeout;
        now = Clock::now();
        if (timedOut && open_ >= limits_.maxSessions && idle_.empty())
          throw NoFreeSession("No database session is free: all " +
                              std::to_string(limits_.maxSessions) +
                              " sessions of this process are in use and none came back within " +
                              std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                 limits_.waitForSession)
                                                 .count()) +
                              " s (Z418KT_DB_MAX_SESSIONS, Z418KT_DB_WAIT_SECONDS).");
      }
    }
    closing.clear();
    if (reused) {
      // A session given back after `now` was read counts as idle for no time.
      bool roundTrip = std::max(now - since, Clock::duration::zero()) >= limits_.checkAfterIdle;
      if (reused->alive(roundTrip)) return Lease(*this, text, std::move(reused), false);
      reused.reset();
      forget(1);
      continue;
    }
    try {
      auto connection = connect_(text);
      if (!connection) throw errors::provider("The provider could not open a session.");
      return Lease(*this, text, std::move(connection), true);
    } catch (...) {
      forget(1);  // the place taken for the session is free again
      throw;
    }
  }
}

void ConnectionPool::giveBack(const std::string& text, std::unique_ptr<Connection> connection) {
  if (!connection->usable()) {
    connection.reset();  // closed here, never lent again
    forget(1);
    return;
  }
  auto now = Clock::now();
  {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) {
      idle_.push_back({text, std::move(connection), now});
    } else {
      Idle& entry = spare_.back();
      if (entry.text != text) entry.text = text;
      entry.connection = std::move(connection);
      entry.since = now;
      idle_.splice(idle_.end(), spare_, std::prev(spare_.end()));
    }
  }
  returned_.notify_one();
}

void ConnectionPool::closeIdle(const std::string& text) {
  std::list<Idle> closing;
  {
    std::lock_guard lock(mutex_);
    for (auto it = idle_.begin(); it != idle_.end();) {
      auto next = std::next(it);
      if (it->text == text) {
        closing.splice(closing.end(), idle_, it);
        --open_;
      }
      it = next;
    }
  }
  closing.clear();
  returned_.notify_all();
}

size_t ConnectionPool::idleCount(const std::string& text) const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const Idle& i : idle_) n += i.text == text;
  return n;
}

ConnectionPool::Counts ConnectionPool::counts() const {
  std::lock_guard lock(mutex_);
  return {open_, idle_.size()};
}

size_t ConnectionPool::openCount() const {
  std::lock_guard lock(mutex_);
  return open_;
}

}  // namespace z418kt::data
