// The context a writing transaction hands the outbox's triggers: who makes
// the change (the internet user id and the acting program's name, both per
// thread), for what the rows written cannot say themselves.
//
// The runner opens it right after a writing transaction begins and closes it
// right before the commit. It costs nothing when this thread has neither a
// user nor a name (a save names its user in its audit row): then no
// statement is sent. Statements outside a transaction get none.
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
