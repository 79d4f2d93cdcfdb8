// The limits of the data edge: how many sessions the process keeps open, how
// long they may sit idle, how long a caller waits for one, and the timeouts
// of logging in and of one statement.
//
// Each has a default and an environment variable that replaces it (a whole
// number; a value that is missing, not a number or out of range leaves the
// default). The variables are read once, when the first database runner or
// ODBC provider is made.
//
//   Z418KT_DB_MAX_SESSIONS     20   sessions open at once, over all connection texts
//   Z418KT_DB_IDLE_SECONDS     300  an idle session older than this is closed
//   Z418KT_DB_WAIT_SECONDS     30   a caller waits this long for a free session
//   Z418KT_DB_CHECK_AFTER_SECONDS 5 a session idle this long is checked with a
//                                   round trip before it is lent
//   Z418KT_DB_LOGIN_SECONDS    15   logging in to a server
//   Z418KT_DB_QUERY_SECONDS    60   one statement; a server that does not answer
//                                   at all is cut off 2 seconds later
#pragma once

#include <chrono>
#include <cstddef>

namespace z418kt::data {

struct DataLimits {
  size_t maxSessions = 20;
  std::chrono::seconds idleClose{300};
  std::chrono::milliseconds waitForSession{30000};
  std::chrono::seconds checkAfterIdle{5};
  std::chrono::seconds loginTimeout{15};
  std::chrono::seconds queryTimeout{60};
  // Past the query timeout, how long a server that answers nothing at all
  // (not even the cancel) has before its session's socket is shut down.
  std::chrono::seconds cutOffGrace{2};

  // The defaults above with the environment's replacements.
  static DataLimits fromEnvironment();
};

// The timeouts a server session works under, in whole seconds.
struct SessionTimeouts {
  int loginSeconds = 15;
  int querySeconds = 60;
  int cutOffGraceSeconds = 2;
  // The process's timeouts: DataLimits::fromEnvironment(), read once.
  static const SessionTimeouts& process();
};

}  // namespace z418kt::data
