// The request loop of `z418kt serve`: one JSON request per line
// ({"op": "...", "args": ..., "id": optional}), one JSON answer per line,
// written and flushed whenever the loop needs more input (the answers to the
// requests already read go out together), until the input ends. One component object serves
// every line, on the calling thread. A line that cannot be read or goes beyond the request limits
// gets an error answer and the loop goes on; blank lines are skipped. An "id" in the request is
// echoed in its answer, error answers included (as far as it can be read), so a client can pair
// them. A line longer than limits.maxBytes is read and dropped beyond that size.
#pragma once

#include <chrono>
#include <iosfwd>

#include "cli/input_wait.h"
#include "json/request.h"
#include "z418kt/z418kt.h"

namespace z418kt::cli {

// Where `in` reads from, when it is a file descriptor: serve then watches it
// for `spin` after its answers went out before it sleeps in a read (see
// cli/input_wait.h). fd -1 never waits.
struct ServeInput {
  int fd = -1;
  std::chrono::microseconds spin = kDefaultInputSpin;
};

// Serves until `in` ends; returns the number of requests answered.
int serve(std::istream& in, std::ostream& out, Z418kt& component,
          const json::RequestOptions& options = {}, ServeInput input = {});

}  // namespace z418kt::cli
