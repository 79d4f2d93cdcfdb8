// The last line of defence against a server that stops answering in the
// middle of a statement (a frozen process, a host gone without a reset):
// neither a server-side statement timeout nor a cancel request reaches it,
// and the driver would wait on its socket forever.
//
// SocketGuard finds the session's TCP socket in this process by its local
// port (which the server reports), and StatementDeadline shuts that socket
// down when a statement outlives its deadline. The driver then sees the
// connection end, reports a communication failure (SQLSTATE 08S01) and the
// session is dropped. Nothing else is ever touched: the socket is checked to
// be the same one (same inode) right before it is shut down.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace z418kt::data::odbc {

class SocketGuard {
 public:
  // The connected TCP socket of this process whose local port is `port`.
  static std::optional<SocketGuard> find(int port);
  // Shuts the socket down if it is still the one found; safe to call once
  // from another thread while the owner is blocked on it.
  void cut() const;

 private:
  SocketGuard(int fd, ino_t inode) : fd_(fd), inode_(inode) {}
  int fd_;
  ino_t inode_;
};

// Cuts `guard`'s socket unless destroyed within `limit`.
class StatementDeadline {
 public:
  StatementDeadline(const SocketGuard& guard, std::chrono::seconds limit);
  StatementDeadline(const StatementDeadline&) = delete;
  StatementDeadline& operator=(const StatementDeadline&) = delete;
  ~StatementDeadline();

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread watcher_;
};

}  // namespace z418kt::data::odbc
