// Connection and Provider: what a database engine offers the runner.
//
// A provider opens sessions for one family of connection texts (SQLite files,
// PostgreSQL servers, ODBC data sources). A connection is used by one thread at a time (the pool
// sees to it) and applies its engine's dialect adapter itself: it receives
// the component's statements (ORACLE plain SQL, or "EXEC name args") as the
// component wrote them.
#pragma once

#include <memory>
#include <string>

#include "data/row_set.h"

namespace z418kt::data {

class Connection {
 public:
  virtual ~Connection() = default;
  // Runs one statement; throws AutomationError with the engine's text. Outside
  // a transaction it commits on its own. Inside one, a statement that fails
  // leaves nothing it changed and the transaction goes on, as in autocommit
  // (a read may then go on in a new snapshot).
  virtual RowSet execute(const std::string& statement) = 0;

  // One transaction over many statements. `writes` takes the engine's write
  // lock up front where it has one; a read-only transaction reads one
  // snapshot. commit() makes everything durable at once
  // and throws when the engine refuses (nothing is then kept); rollback()
  // never throws. A session that cannot run transactions throws from begin()
  // and stays in autocommit.
  virtual void begin(bool writes);
  virtual void commit();
  virtual void rollback() noexcept;
  // False once the session is known to be broken; the pool then discards it.
  virtual bool usable() const = 0;
  // Whether the session can take a statement now: usable() and no sign that
  // its server went away meanwhile. With `roundTrip`, the server must also
  // answer a trivial statement. Never throws.
  virtual bool alive(bool roundTrip) { return (void)roundTrip, usable(); }
  // The engine behind the session, in lower case ("sqlite", "postgresql",
  // ...): it names the folder of the engine's database scripts (db/<engine>/).
  // Empty when the engine is not known.
  virtual std::string engine() const { return {}; }
};

class Provider {
 public:
  virtual ~Provider() = default;
  virtual std::unique_ptr<Connection> connect(const std::string& connectionText) = 0;
};

std::unique_ptr<Provider> makeSqliteProvider();
std::unique_ptr<Provider> makeOdbcProvider();

}  // namespace z418kt::data
