// A short busy wait for the next request before serve's read sleeps.
//
// A client that sends a request, waits for its answer and sends the next one
// finds serve asleep in read() each time; waking a sleeping process costs
// more than the read itself on a virtual machine. Watching the input for a
// few microseconds after the answers went out catches such a next request
// awake. The wait never reads: it only tells whether input came in time.
#pragma once

#include <chrono>

namespace z418kt::cli {

// Default time serve watches its input before it sleeps in read().
inline constexpr std::chrono::microseconds kDefaultInputSpin{50};

// True when `fd` has input (or its end, or an error, which the read will
// report) within `spin`; false after `spin` without any. A negative fd or a
// spin of zero returns false at once.
bool inputWithin(int fd, std::chrono::microseconds spin);

}  // namespace z418kt::cli
