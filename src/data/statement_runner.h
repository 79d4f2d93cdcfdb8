// StatementRunner: the one seam between record sets and databases.
//
// Every Recordset::Open hands its request to the installed runner. The default
// runner picks the provider from the connection text, takes a pooled
// connection, lets the engine's dialect adapter rewrite the statement and runs
// it. Tests install a scripted runner that records requests and answers with
// prepared row sets or errors.
#pragma once

#include <memory>
#include <string>

#include "data/row_set.h"

namespace z418kt::data {

// The arguments of one Recordset::Open, with the cursor location set before it.
struct OpenRequest {
  std::string source;
  std::string connection;
  int cursorLocation = 2;  // adUseServer, ADO's default
  int cursorType = -1;
  int lockType = -1;
  int options = -1;
};

class StatementRunner {
 public:
  virtual ~StatementRunner() = default;
  // Runs the statement; failures throw AutomationError with the engine's text.
  virtual RowSet run(const OpenRequest& request) = 0;
};

// The runner on real databases (SQLite, ODBC), with its connection pool.
std::shared_ptr<StatementRunner> makeDatabaseRunner();

// Installs a runner for every thread; nullptr restores the database runner.
// Returns the previous one.
std::shared_ptr<StatementRunner> installStatementRunner(std::shared_ptr<StatementRunner> runner);
std::shared_ptr<StatementRunner> currentStatementRunner();

}  // namespace z418kt::data
