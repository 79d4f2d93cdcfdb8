// SqliteConnection: one SQLite session on a database file, with SQLite's
// dialect adapter.
//
// Connection text: "Provider=SQLite;Data Source=<file>", optionally with
// "Synchronous=Off|Normal|Full|Extra" (default Full: every commit is durable),
// "Busy Timeout=<ms>" (default 5000) and "Mode=ReadOnly". Every session
// enforces foreign keys. A session never changes the file's journal mode and
// a read never writes: a file the process may only read (or in a directory it
// may only read) is opened read-only, and a 0-byte file stays 0 bytes.
//
// Statements arrive as the component writes them. Plain statements get the
// constructs SQLite lacks rewritten (SYSDATE, DELETE without FROM; never
// inside a literal) and run in autocommit. "EXEC name args" runs the
// procedure of that name (any case) from the procedure catalog, its steps in
// order inside one BEGIN IMMEDIATE ... COMMIT, the literal arguments bound as
// ?1..?n. The procedure's result is that of its last step with result
// columns; a step the catalog marks as a refusal check (RECUSA = 1) that
// yields a row ends the procedure at once with that row, and nothing it
// changed is kept.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"
#include "data/sql_lexer.h"
#include "data/sqlite_statement.h"

namespace z418kt::data {

class SqliteConnection : public Connection {
 public:
  // Opens the file named by the connection text. A missing file is refused
  // unless `create`; a file that is no database, a directory or a lock held
  // past the timeout throw AutomationError with SQLite's message.
  SqliteConnection(const std::string& connectionText, bool create);

  RowSet execute(const std::string& statement) override;
  void begin(bool writes) override;
  void commit() override;
  void rollback() noexcept override;
  bool usable() const override { return !broken_; }
  std::string engine() const override { return "sqlite"; }

 private:
  RowSet callProcedure(const sql::ExecCall& call);
  RowSet runChecked(const std::string& statement,
                    const std::vector<sql::ExecArgument>& arguments = {});
  void rollbackQuietly();

  sqlite::Database db_;
  bool broken_ = false;
  bool inTransaction_ = false;
};

// The plain-statement rewrite of the SQLite adapter.
std::string adaptForSqlite(const std::string& statement);

}  // namespace z418kt::data
