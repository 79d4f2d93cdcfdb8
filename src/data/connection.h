// Connection and Provider: what a database engine offers the runner.
//
// A provider opens sessions for one family of connection texts (SQLite files,
// ODBC data sources). A connection is used by one thread at a time (the pool
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
  // Runs one statement in autocommit; throws AutomationError with the engine's text.
  virtual RowSet execute(const std::string& statement) = 0;
  // False once the session is known to be broken; the pool then discards it.
  virtual bool usable() const = 0;
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
