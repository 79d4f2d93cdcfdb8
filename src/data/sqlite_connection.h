// SqliteConnection: one SQLite session on a database file, with SQLite's
// dialect adapter.
//
// Connection text: "Provider=SQLite;Data Source=<file>", optionally with
// "Synchronous=Off|Normal|Full|Extra" (default Full: every commit is durable),
// "Busy Timeout=<ms>" (default 5000), "Mode=ReadOnly" and "Statement
// Cache=<n>" (default 64, 0 for none; see StatementCache). Every session
// enforces foreign keys. A session never changes the file's journal mode and
// a read never writes: a file the process may only read (or in a directory it
// may only read) is opened read-only, and a 0-byte file stays 0 bytes.
//
// Statements arrive as the component writes them. Plain statements get the
// constructs SQLite lacks rewritten (SYSDATE, DELETE without FROM; never
// inside a literal) and run in autocommit. A plain SELECT, INSERT, UPDATE or
// DELETE is cut into its shape and its literal values (sql::shapeStatement):
// the shape is prepared once per session and kept, the values bound with the
// types the literals have, so it answers, stores and fails exactly as the
// text itself would. A shape SQLite will not prepare is remembered, and
// statements of that shape run as written. "EXEC name args" runs the
// procedure of that name (any case) from the procedure catalog, its steps in
// order, the literal arguments bound as ?1..?n. The procedure's result is
// that of its last step with result columns; a step the catalog marks as a
// refusal check (RECUSA = 1) that yields a row ends the procedure at once
// with that row, and nothing it changed is kept.
//
// The catalog is read once per session and each procedure's steps stay
// prepared, so a session does not see procedures changed after its first
// call. A procedure that writes runs inside BEGIN IMMEDIATE ... COMMIT; one
// whose steps only read takes no write lock, so readers on other sessions run
// alongside. Inside a caller's transaction a procedure that fails or refuses
// once one of its writing steps has run gives the whole transaction up
// (rolled back; its later statements and commit refused), since its own steps
// cannot be undone alone; one that fails or refuses before that leaves
// nothing and the transaction goes on. In a step-by-step run (see
// ScopedStepByStepChange), which is not run again, the procedure is a
// savepoint of the caller's transaction instead.
//
// This process's writers of one file take the write lock in turn (WriterTurn),
// each waiting at most the busy timeout, so no writer starves behind others
// polling the same lock.
//
// Between begin() and commit() the statements share one transaction. SQLite
// undoes a failed statement by itself; when an error makes SQLite abandon the
// whole transaction, every later statement and the commit are refused, so
// nothing after it is stored on its own.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/connection.h"
#include "data/sql_lexer.h"
#include "data/sqlite_statement.h"
#include "data/sqlite_writers.h"
#include "data/statement_cache.h"

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
  // A catalog procedure: its name as stored, its arity, its steps' texts and
  // refusal marks and, once it has run, the steps prepared.
  struct Procedure {
    std::string name;
    int32_t arity = -1;
    std::vector<std::string> bodies;
    std::vector<bool> refusals;
    std::vector<sqlite::Statement> steps;
    std::vector<bool> writers;  // per step: it may change the database
    bool writes = false;
  };

  RowSet callProcedure(const sql::ExecCall& call);
  // The statement through its kept shape (`prepared` when already found by
  // its form, with values_ set); nothing when it does not share one.
  std::optional<RowSet> runShared(const std::string& statement, sqlite::Statement* prepared);
  Procedure& procedure(const std::string& name);
  // Runs the steps in order; `wrote` becomes true once a step that may change
  // the database starts.
  RowSet runSteps(Procedure& procedure, const sql::ExecCall& call, bool& refused, bool& wrote);
  // Transaction control, its statements prepared once per session and kept
  // in fixed places: a procedure that writes on its own opens and ends a
  // transaction on every call, so no look-up by text stands between it and
  // SQLite.
  enum class Control {
    Begin,
    BeginImmediate,
    Commit,
    Rollback,
    Savepoint,
    RollbackToSavepoint,
    ReleaseSavepoint,
  };
  static constexpr size_t kControls = 7;
  void control(Control which);
  RowSet runChecked(const std::string& statement,
                    const std::vector<sql::ExecArgument>& arguments = {});
  void rollbackQuietly();

  sqlite::Database db_;
  std::string file_;
  int busyMs_ = 0;
  std::optional<WriterTurn> turn_;  // held from BEGIN IMMEDIATE to the transaction's end
  bool broken_ = false;
  bool inTransaction_ = false;
  std::optional<std::map<std::string, Procedure, std::less<>>> catalog_;  // by upper-case name
  std::string lastName_;       // as the last call wrote it
  Procedure* last_ = nullptr;  // prepared, found by lastName_
  std::array<sqlite::Statement, kControls> control_;
  // Null for a shape SQLite refused to prepare.
  StatementCache<sqlite::Statement> shared_;
  std::vector<sql::ExecArgument> values_;  // of the last shared statement; its room is reused
  sql::ExecCall call_;  // the last procedure call read in its plain form; its room is reused
  std::vector<sqlite::BoundValue> bound_;  // the running procedure's arguments; room reused
};

// The plain-statement rewrite of the SQLite adapter.
std::string adaptForSqlite(const std::string& statement);

}  // namespace z418kt::data
