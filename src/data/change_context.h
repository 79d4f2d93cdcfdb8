// The context a writing transaction hands the outbox's triggers: who makes
// the change (the internet user id and the acting program's name, both per
// thread), for what the rows written cannot say themselves.
//
// The runner opens it right after a writing transaction begins and closes it
// right before the commit. It costs nothing when this thread has neither a
// user nor a name (a save names its user in its audit row): then no
// statement is sent.
//
// A run of one operation whose statements commit one by one (the fallback
// after the engine gave up its transaction) is one change, however many
// transactions it takes. SQLite's triggers tell that from the order of the
// statements; PostgreSQL's group an event by its transaction, so while a
// ScopedStepByStepChange lives each statement of the thread tells them the
// change it belongs to and who makes it: a transaction in its own settings,
// a statement in autocommit in its session's settings, set before the
// statement and cleared after it. That costs two round trips per statement,
// on that path only.
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

// Marks this thread's statements as one change made step by step until the
// object goes (the mark is unique to the object). Scopes do not nest: an
// inner one keeps the outer mark.
class ScopedStepByStepChange {
 public:
  ScopedStepByStepChange();
  ~ScopedStepByStepChange();
  ScopedStepByStepChange(const ScopedStepByStepChange&) = delete;
  ScopedStepByStepChange& operator=(const ScopedStepByStepChange&) = delete;

 private:
  bool owner_;
};

// True while a ScopedStepByStepChange lives on this thread: a transaction it
// opens is not run again when the engine gives it up.
bool insideStepByStepChange();

// Runs `statement` on `session` in autocommit. Inside a step-by-step change on
// PostgreSQL the session carries the change's mark and user for the
// statement's duration and never keeps them afterwards, whatever the
// statement answers; anywhere else this is session.execute(statement).
RowSet executeOnItsOwn(Connection& session, const std::string& statement);

// Gives the transaction just begun on `session` this thread's context. True
// when something was set that closeChangeContext must undo. A database
// without the outbox tables gets nothing; any other failure throws
// AutomationError, as the statement that began the transaction would.
bool openChangeContext(Connection& session);
// Removes what openChangeContext set, inside the same transaction (a
// SQLite context row must never reach another session).
void closeChangeContext(Connection& session);

}  // namespace z418kt::data
