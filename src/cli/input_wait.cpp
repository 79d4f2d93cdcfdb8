#include "cli/input_wait.h"

#include <poll.h>

namespace z418kt::cli {

bool inputWithin(int fd, std::chrono::microseconds spin) {
  if (fd < 0 || spin <= std::chrono::microseconds::zero()) return false;
  const auto until = std::chrono::steady_clock::now() + spin;
  pollfd watched{fd, POLLIN, 0};
  do {
    // A zero timeout never sleeps: the process stays on its core.
    if (::poll(&watched, 1, 0) != 0) return true;
  } while (std::chrono::steady_clock::now() < until);
  return false;
}

}  // namespace z418kt::cli
