// `z418kt invoke OPERATION`: one call by name. The arguments come from
// --args or, without it, from the input: a JSON array (positional), an
// object keyed by parameter names, or a request {"args": ...}. Prints one
// JSON answer; returns 0 when the call ran, 1 when it failed as a whole.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "json/request_limits.h"
#include "z418kt/z418kt.h"

namespace z418kt::cli {

struct InvokeRequest {
  std::string operation;
  std::string argsText;
  bool argsGiven = false;
  bool pretty = false;
  json::RequestLimits limits;
  // For a request that gives no connection argument.
  std::optional<std::string> connection;
};

// `in` null: no request on the input (all arguments Empty).
int invokeCommand(Z418kt& component, const InvokeRequest& request, std::istream* in,
                  std::ostream& out);

}  // namespace z418kt::cli
