// StatementRunner: the one seam between record sets and databases.
//
// Every Recordset::Open hands its request to the installed runner. The default
// runner picks the provider from the connection text, takes a pooled
// connection, lets the engine's dialect adapter rewrite the statement and runs
// it. Tests install a scripted runner that records requests and answers with
// prepared row sets or errors.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "data/data_limits.h"
#include "data/row_set.h"

namespace z418kt::data {

// The arguments of one Recordset::Open, with the cursor location set before it.
// The texts are the caller's, not copies: a request lives only while it runs,
// and whoever keeps one longer copies what it needs.
struct OpenRequest {
  const std::string& source;
  const std::string& connection;
  int cursorLocation = 2;  // adUseServer, ADO's default
  int cursorType = -1;
  int lockType = -1;
  int options = -1;
};

// A transaction that a StatementRunner holds for one thread. Ending it without
// commit() rolls back whatever it holds.
class Transaction {
 public:
  virtual ~Transaction() = default;
  // Makes the transaction's changes durable; throws AutomationError when the
  // engine refuses, and nothing is then kept.
  virtual void commit() = 0;
  // Runs `done` once what the transaction wrote is durable: at the commit of
  // the outermost transaction, or at once where the statements ran in
  // autocommit. Never when it rolls back or its commit fails.
  virtual void whenDurable(std::function<void()> done) = 0;
};

class StatementRunner {
 public:
  virtual ~StatementRunner() = default;
  // Runs the statement; failures throw AutomationError with the engine's text.
  virtual RowSet run(const OpenRequest& request) = 0;

  // Until the returned transaction ends, this thread's statements for
  // `connection` run on one session inside one transaction, opened by the
  // first of them (see Connection::begin for `writes`); statements for other
  // texts and other threads are not affected. Asked again on a thread that
  // already holds one, the new transaction joins it and only the outer one
  // commits. Runners without sessions run the statements as they come.
  virtual std::unique_ptr<Transaction> transaction(const std::string& connection, bool writes);

  // The runner's pooled sessions now: lent to a caller, and open and idle.
  // Runners without sessions have none.
  struct SessionCounts {
    size_t inUse = 0, idle = 0;
  };
  virtual SessionCounts sessions() const { return {}; }
};

// The runner on real databases (SQLite, ODBC), with its connection pool; by
// default with the limits of the environment (DataLimits::fromEnvironment).
std::shared_ptr<StatementRunner> makeDatabaseRunner();
std::shared_ptr<StatementRunner> makeDatabaseRunner(const DataLimits& limits);

// Installs a runner for every thread; nullptr restores the database runner.
// Returns the previous one.
std::shared_ptr<StatementRunner> installStatementRunner(std::shared_ptr<StatementRunner> runner);
std::shared_ptr<StatementRunner> currentStatementRunner();
// The installed runner as this thread holds it: no lock and no shared count
// touched while it stays installed. A thread keeps the runner it last used
// until it runs a statement after another was installed, or ends.
StatementRunner& threadStatementRunner();

}  // namespace z418kt::data
