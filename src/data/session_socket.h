// SessionSocket: the TCP socket of one database session inside this process,
// found by the whole address pair the server reports for the session (its
// client address and port, its own address and port).
//
// A socket is taken only when exactly one socket of the process has that
// local and that remote address; behind NAT or a connection pooler the pair
// the server sees is not ours, nothing matches, and no socket is ever
// touched. Before anything is done to it, the socket is checked to be the
// same one (same inode) that was found.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace z418kt::data::odbc {

struct AddressPair {
  std::string clientAddress;  // as the server writes it ("127.0.0.1", "::1")
  int clientPort = 0;
  std::string serverAddress;
  int serverPort = 0;
};

class SessionSocket {
 public:
  static std::optional<SessionSocket> find(const AddressPair& pair);

  // True when the server sent something or closed the socket while the
  // session was idle: an idle session of a live server has nothing to read,
  // so its server ended it. Only looks; reads nothing.
  bool endedByServer() const;
  // Shuts the socket down in both directions, so that a driver blocked on it
  // returns at once. Safe to call from another thread.
  void cut() const;

 private:
  SessionSocket(int fd, ino_t inode) : fd_(fd), inode_(inode) {}
  bool stillOurs() const;
  int fd_;
  ino_t inode_;
};

}  // namespace z418kt::data::odbc
