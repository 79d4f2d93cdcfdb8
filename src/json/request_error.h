// RequestError: a request the command cannot turn into a call (malformed
// JSON, a value of an unknown form, an unknown argument name). It carries a
// number like an automation error, so it is answered the same way.
#pragma once

#include "z418kt/automation_error.h"

namespace z418kt::json {

// Numbers of request failures; the first two are Visual Basic's own.
inline constexpr int32_t kInvalidArgument = 5;  // a value of an unreadable form
inline constexpr int32_t kNamedArgumentNotFound = 448;
inline constexpr int32_t kMalformedRequest = 1001;  // not JSON, or not a request object

struct RequestError : AutomationError {
  using AutomationError::AutomationError;
};

}  // namespace z418kt::json
