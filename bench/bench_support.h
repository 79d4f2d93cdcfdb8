// What the paired benchmarks share: the databases they run on, the statements
// an operation sends, and the raw baselines that run those same statements
// straight through the SQLite C API and libpq.
//
// A raw baseline is what a hand-written program would pay for the same work:
// the same file or server, the same session settings, the same transaction
// boundaries, every value of every row read. The ratios `make bench` prints
// compare the component against it.
#pragma once

#include <libpq-fe.h>
#include <sqlite3.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/sql_lexer.h"
#include "z418kt/z418kt.h"

namespace z418kt::bench {

// A demo database file in the temporary folder, removed at exit.
const std::string& sqliteText();
// The private PostgreSQL server's demo database (started on first use,
// stopped at exit), or "" when no server could be started.
const std::string& postgresText();
// The same database for the native provider: "Provider=PostgreSQL;...".
const std::string& nativePostgresText();
// Why postgresText() is empty.
const std::string& postgresProblem();

// The identifier of a Coleta with `pieces` cargo pieces on that database,
// saved once through the component and kept for the whole run.
int32_t coletaWithPieces(const std::string& connectionText, int pieces);

// The statements, as the component writes them, that `call` sends to the database.
std::vector<std::string> statementsOf(const std::function<void()>& call);

// gConsulta_Coleta and gGrava_Coleta with the arguments the benchmarks use;
// both answer the status (0 done).
int16_t readColeta(Z418kt& component, const std::string& text, const char* dialect, int32_t id);
int16_t saveColeta(Z418kt& component, const std::string& text, const char* dialect, int32_t id,
                   int pieces);

// One SQLite session opened as the component opens its own (WAL, synchronous
// FULL, busy timeout), reading every value of every row.
class RawSqlite {
 public:
  // noMutex: opened with SQLITE_OPEN_NOMUTEX (one thread at a time).
  explicit RawSqlite(const std::string& connectionText, bool noMutex = false);
  ~RawSqlite();
  RawSqlite(const RawSqlite&) = delete;
  RawSqlite& operator=(const RawSqlite&) = delete;

  // A plain statement: prepared on its first run and kept, stepped to the
  // end and reset, as a program that runs its statements again would.
  size_t run(const std::string& statement);
  // "EXEC name args": the catalog's steps for the procedure, kept prepared,
  // the arguments bound.
  size_t call(const data::sql::ExecCall& call);
  // The component's statements as the SQLite adapter sends them: the plain
  // ones rewritten, the EXEC ones parsed.
  // A plain statement with values is kept as a program would write it: its
  // shape with ?N parameters, prepared once, and the values bound each time.
  struct Prepared {
    std::string text;
    std::optional<data::sql::ExecCall> exec;
    std::optional<data::sql::Shaped> shaped;
  };
  static std::vector<Prepared> adapted(const std::vector<std::string>& statements);
  // Each statement: EXEC ones through call(), the rest through run().
  size_t runAll(const std::vector<Prepared>& statements);

 private:
  size_t step(sqlite3_stmt* statement);
  sqlite3_stmt* kept(const std::string& text);
  void bind(sqlite3_stmt* statement, const std::vector<data::sql::ExecArgument>& values);
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> kept_;  // by text
  std::map<std::string, std::vector<sqlite3_stmt*>> procedures_;
};

// One libpq session on the same server and database as an ODBC connection text.
class RawPostgres {
 public:
  explicit RawPostgres(const std::string& odbcText);
  ~RawPostgres();
  RawPostgres(const RawPostgres&) = delete;
  RawPostgres& operator=(const RawPostgres&) = delete;

  // Runs the statement (as the PostgreSQL adapter rewrites it) and reads every value.
  size_t run(const std::string& adaptedStatement);
  size_t runAll(const std::vector<std::string>& adaptedStatements);

 private:
  PGconn* conn_ = nullptr;
};

// The component's statements as the PostgreSQL adapter sends them.
std::vector<std::string> adaptedForPostgres(const std::vector<std::string>& statements);

}  // namespace z418kt::bench
