#include "data/odbc_socket_guard.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace z418kt::data::odbc {

namespace {

int localPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  return -1;
}

bool connected(int fd) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace

std::optional<SocketGuard> SocketGuard::find(int port) {
  if (port <= 0) return std::nullopt;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return std::nullopt;
  std::optional<SocketGuard> found;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == dirfd(dir)) continue;
    struct stat info {};
    if (fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
    if (localPort(static_cast<int>(fd)) == port && connected(static_cast<int>(fd))) {
      found = SocketGuard(static_cast<int>(fd), info.st_ino);
      break;
    }
  }
  closedir(dir);
  return found;
}

void SocketGuard::cut() const {
  struct stat info {};
  if (fstat(fd_, &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == inode_)
    shutdown(fd_, SHUT_RDWR);
}

StatementDeadline::StatementDeadline(const SocketGuard& guard, std::chrono::seconds limit)
    : watcher_([this, guard, limit] {
        std::unique_lock lock(mutex_);
        if (!finished_.wait_for(lock, limit, [this] { return done_; })) guard.cut();
      }) {}

StatementDeadline::~StatementDeadline() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  finished_.notify_one();
  watcher_.join();
}

}  // namespace z418kt::data::odbc
