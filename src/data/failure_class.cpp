#include "data/failure_class.h"

#include "data/session_errors.h"

namespace z418kt::data {

namespace {
thread_local FailureClass tLast = FailureClass::None;
}

FailureClass classOf(const std::exception& error) {
  if (dynamic_cast<const ConnectionLost*>(&error)) return FailureClass::Lost;
  if (dynamic_cast<const StatementTimeout*>(&error)) return FailureClass::Timeout;
  if (dynamic_cast<const NoFreeSession*>(&error)) return FailureClass::Timeout;
  if (auto* c = dynamic_cast<const ConnectFailed*>(&error))
    return c->login ? FailureClass::Login : FailureClass::Unreachable;
  return FailureClass::Refused;
}

FailureClass lastFailure() { return tLast; }
void clearFailure() { tLast = FailureClass::None; }
void noteFailure(const std::exception& error) { tLast = classOf(error); }

}  // namespace z418kt::data
