// The failures of a database session that callers above the data layer may
// want to tell apart from a statement the engine refused.
//
// Both derive from AutomationError, so an operation's error trap reports them
// like any other provider failure (E_FAIL with the text); the data layer uses
// the distinction to decide whether a statement may be sent again.
#pragma once

#include <string>

#include "z418kt/automation_error.h"

namespace z418kt::data {

// The session lost its server. `statementRan` is false when the server is
// known not to have run the statement (the session was gone before it was
// sent, or the server ended the session and thereby rolled the statement
// back): such a statement may be sent again on another session.
struct ConnectionLost : AutomationError {
  ConnectionLost(const std::string& message, bool statementRan)
      : AutomationError(errors::provider(message)), statementRan(statementRan) {}
  bool statementRan;
};

// A statement outlived its time limit and was cut off.
struct StatementTimeout : AutomationError {
  explicit StatementTimeout(const std::string& message)
      : AutomationError(errors::provider(message)) {}
};

}  // namespace z418kt::data
