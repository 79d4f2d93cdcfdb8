#include "cli/input_wait.h"

#include <poll.h>
#include <sched.h>

namespace z418kt::cli {

bool inputWithin(int fd, std::chrono::microseconds spin) {
  if (fd < 0 || spin <= std::chrono::microseconds::zero()) return false;
  const auto until = std::chrono::steady_clock::now() + spin;
  pollfd watched{fd, POLLIN, 0};
  do {
    // A zero timeout never sleeps: the process stays on its core. Yielding
    // lets the client run first when it shares that core, as on a busy
    // machine, where watching would only take its time.
    if (::poll(&watched, 1, 0) != 0) return true;
    ::sched_yield();
  } while (std::chrono::steady_clock::now() < until);
  return false;
}

}  // namespace z418kt::cli
