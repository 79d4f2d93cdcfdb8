// The failures of a database session that callers above the data layer may
// want to tell apart from a statement the engine refused.
//
// Both derive from AutomationError, so an operation's error trap reports them
// like any other provider failure (E_FAIL with the text); the data layer uses
// the distinction to decide whether a statement may be sent again.
#pragma once

#include <string>
#include <string_view>

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

// No session for the connection text could be opened. `login` is true when
// the server was reached and refused the credentials.
struct ConnectFailed : AutomationError {
  ConnectFailed(const AutomationError& error, bool login) : AutomationError(error), login(login) {}
  bool login;
};

// Every session of the pool stayed in use for the whole wait.
struct NoFreeSession : AutomationError {
  explicit NoFreeSession(const std::string& message) : AutomationError(errors::provider(message)) {}
};

// The server refused the credentials (SQLSTATE class 28).
inline bool loginRefused(std::string_view state) { return state.substr(0, 2) == "28"; }

// What a SQLSTATE says of the session it came from, for every server engine:
// the connection is gone (class 08, or the server ended the session, 57P0x);
// the server ended the session itself (administrator command, crash or
// shutdown: 57P01 to 57P03), which rolled back whatever statement was under
// way; the statement outlived its time limit (the server's 57014, a driver's
// HYT00 or its cancel, HY008).
inline bool sessionLost(std::string_view state) {
  return state.substr(0, 2) == "08" || state.substr(0, 4) == "57P0";
}
inline bool endedByServer(std::string_view state) {
  return state == "57P01" || state == "57P02" || state == "57P03";
}
inline bool timedOut(std::string_view state) {
  return state == "HYT00" || state == "HY008" || state == "57014";
}

}  // namespace z418kt::data
