// The context a writing transaction hands the outbox's triggers: who makes
// the change (the internet user id and the acting program's name, both
// per thread) and, on SQLite, the token that gathers the transaction's rows
// into one event per Coleta.
//
// The runner opens it right after a writing transaction begins and closes it
// right before the commit; statements outside a transaction get none (the
// triggers then fall back on the audit row for the user).
#pragma once

#include <string>

#include "data/connection.h"

namespace z418kt::data {

// Sets this thread's internet user id (as text) until the object goes.
class ScopedChangeUser {
 public:
  explicit ScopedChangeUser(std::string user);
  ~ScopedChangeUser();
  ScopedChangeUser(const ScopedChangeUser&) = delete;
  ScopedChangeUser& operator=(const ScopedChangeUser&) = delete;

 private:
  std::string previous_;
};

// Gives the transaction just begun on `session` this thread's context. True
// when something was set that closeChangeContext must undo. A database
// without the outbox tables gets nothing; any other failure throws
// AutomationError, as the statement that began the transaction would.
bool openChangeContext(Connection& session);
// Removes what openChangeContext set, inside the same transaction (a
// SQLite context row must never reach another session).
void closeChangeContext(Connection& session);

}  // namespace z418kt::data
