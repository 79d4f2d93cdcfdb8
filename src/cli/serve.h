// The request loop of `z418kt serve`: one JSON request per line
// ({"op": "...", "args": ..., "id": optional}), one JSON answer per line,
// flushed before the loop waits for more input, until the input ends. One component object serves every
// line, on the calling thread. A line that cannot be read gets an error
// answer and the loop goes on; blank lines are skipped. An "id" in the
// request is echoed in its answer so a client can pair them.
#pragma once

#include <iosfwd>
#include <string_view>

#include "json/json_variant.h"
#include "z418kt/z418kt.h"

namespace z418kt::cli {

using json::Json;

// The answer to one request line.
Json answerLine(Z418kt& component, std::string_view line);

// Serves until `in` ends; returns the number of requests answered.
int serve(std::istream& in, std::ostream& out, Z418kt& component);

}  // namespace z418kt::cli
