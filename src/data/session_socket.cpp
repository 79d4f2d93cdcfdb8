#include "data/session_socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace z418kt::data::odbc {

namespace {

// An address as a comparable value: IPv4-mapped IPv6 addresses count as IPv4.
struct Endpoint {
  unsigned char address[16] = {};
  int port = -1;
  bool operator==(const Endpoint& o) const {
    return port == o.port && std::memcmp(address, o.address, sizeof address) == 0;
  }
};

std::optional<Endpoint> parse(const std::string& text, int port) {
  Endpoint e;
  e.port = port;
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    e.address[10] = e.address[11] = 0xff;
    std::memcpy(e.address + 12, &v4, 4);
    return e;
  }
  if (inet_pton(AF_INET6, text.c_str(), e.address) == 1) return e;
  return std::nullopt;
}

std::optional<Endpoint> endpointOf(const sockaddr_storage& a) {
  Endpoint e;
  if (a.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
    e.address[10] = e.address[11] = 0xff;
    std::memcpy(e.address + 12, &v4.sin_addr, 4);
    e.port = ntohs(v4.sin_port);
    return e;
  }
  if (a.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
    std::memcpy(e.address, &v6.sin6_addr, 16);
    e.port = ntohs(v6.sin6_port);
    return e;
  }
  return std::nullopt;
}

std::optional<Endpoint> local(int fd) {
  sockaddr_storage a{};
  socklen_t length = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return std::nullopt;
  return endpointOf(a);
}

std::optional<Endpoint> remote(int fd) {
  sockaddr_storage a{};
  socklen_t length = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) return std::nullopt;
  return endpointOf(a);
}

}  // namespace

std::optional<SessionSocket> SessionSocket::find(const AddressPair& pair) {
  auto client = parse(pair.clientAddress, pair.clientPort);
  auto server = parse(pair.serverAddress, pair.serverPort);
  if (!client || !server) return std::nullopt;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return std::nullopt;
  std::optional<SessionSocket> found;
  int matches = 0;
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == dirfd(dir)) continue;
    struct stat info {};
    if (fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode)) continue;
    if (local(static_cast<int>(fd)) == client && remote(static_cast<int>(fd)) == server) {
      found = SessionSocket(static_cast<int>(fd), info.st_ino);
      ++matches;
    }
  }
  closedir(dir);
  if (matches != 1) return std::nullopt;
  return found;
}

bool SessionSocket::stillOurs() const {
  struct stat info {};
  return fstat(fd_, &info) == 0 && S_ISSOCK(info.st_mode) && info.st_ino == inode_;
}

bool SessionSocket::endedByServer() const {
  if (!stillOurs()) return true;
  pollfd p{fd_, POLLIN | POLLRDHUP, 0};
  int n = poll(&p, 1, 0);
  return n > 0 && (p.revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void SessionSocket::cut() const {
  if (stillOurs()) shutdown(fd_, SHUT_RDWR);
}

}  // namespace z418kt::data::odbc
