#include "data/sqlite_connection.h"

#include <charconv>

#include "data/connection_text.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

namespace {

constexpr int kDefaultBusyMs = 5000;

// SYSDATE is the server's local date and time, as Oracle gives it.
constexpr const char* kNow = "datetime('now', 'localtime')";

const char* kFindProcedure =
    "SELECT NOME, QTDE_ARGUMENTOS FROM KTR_PROCEDIMENTO WHERE NOME = ?1 COLLATE NOCASE";
const char* kProcedureSteps =
    "SELECT CORPO FROM KTR_PROCEDIMENTO_PASSO WHERE NOME = ?1 COLLATE NOCASE ORDER BY ORDEM";

std::string synchronousMode(const ConnectionText& text) {
  auto v = text.get("Synchronous");
  if (!v || v->empty()) return "FULL";
  std::string mode = upperCase(*v);
  for (const char* allowed : {"OFF", "NORMAL", "FULL", "EXTRA", "0", "1", "2", "3"})
    if (mode == allowed) return mode;
  throw errors::provider("Synchronous must be Off, Normal, Full or Extra, not \"" + *v + "\".");
}

int busyTimeout(const ConnectionText& text) {
  auto v = text.get("Busy Timeout");
  if (!v) return kDefaultBusyMs;
  int ms = 0;
  auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), ms);
  if (ec != std::errc() || p != v->data() + v->size() || ms < 0)
    throw errors::provider("Busy Timeout must be a number of milliseconds, not \"" + *v + "\".");
  return ms;
}

// The first row's "retorno", when it is there and not the number 0.
bool refuses(const RowSet& rows) {
  if (rows.rows.empty()) return false;
  for (size_t c = 0; c < rows.columns.size(); ++c) {
    if (!sql::sameWord(rows.columns[c], "retorno")) continue;
    const Variant& v = rows.rows.front()[c];
    return !(v.type() == VarType::I4 && v.i4() == 0) && !(v.type() == VarType::R8 && v.r8() == 0.0);
  }
  return false;
}

}  // namespace

std::string adaptForSqlite(const std::string& statement) {
  return sql::addDeleteFrom(sql::replaceWord(statement, "SYSDATE", kNow));
}

SqliteConnection::SqliteConnection(const std::string& connectionText, bool create) {
  ConnectionText text(connectionText);
  auto path = text.get("Data Source");
  if (!path) path = text.get("DataSource");
  if (!path || path->empty())
    throw errors::provider("The connection text names no Data Source (the SQLite file).");
  std::string sync = synchronousMode(text);
  int busyMs = busyTimeout(text);

  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path->c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw errors::provider(message + ": " + *path);
  }
  sqlite3_extended_result_codes(db_.get(), 1);
  sqlite3_busy_timeout(db_.get(), busyMs);
  try {
    // Also proves the file is a database: a foreign file fails here.
    sqlite::run(db_.get(), "PRAGMA journal_mode = WAL");
    sqlite::run(db_.get(), "PRAGMA synchronous = " + sync);
  } catch (const sqlite::StatementFailure& f) {
    throw errors::provider(f.message + ": " + *path);
  }
}

RowSet SqliteConnection::runChecked(const std::string& statement,
                                    const std::vector<sql::ExecArgument>& arguments) {
  try {
    return sqlite::run(db_.get(), statement, arguments);
  } catch (const sqlite::StatementFailure& f) {
    if (sqlite::isFatal(f.resultCode)) broken_ = true;
    throw errors::provider(f.message);
  }
}

void SqliteConnection::rollbackQuietly() {
  if (sqlite3_get_autocommit(db_.get())) return;
  try {
    sqlite::run(db_.get(), "ROLLBACK");
  } catch (const sqlite::StatementFailure&) {
  }
  // A session left inside a transaction would leak it into the next caller.
  if (!sqlite3_get_autocommit(db_.get())) broken_ = true;
}

RowSet SqliteConnection::execute(const std::string& statement) {
  std::string error;
  auto call = sql::parseExec(statement, error);
  if (!error.empty()) throw errors::provider(error);
  try {
    if (call) return callProcedure(*call);
    return runChecked(adaptForSqlite(statement));
  } catch (...) {
    rollbackQuietly();
    throw;
  }
}

RowSet SqliteConnection::callProcedure(const sql::ExecCall& call) {
  std::vector<sql::ExecArgument> name{{sql::ExecArgument::Kind::Text, call.procedure}};
  RowSet found = runChecked(kFindProcedure, name);
  if (found.rows.empty())
    throw errors::provider("Could not find stored procedure '" + call.procedure + "'.");
  const Variant& arity = found.rows.front()[1];
  if (arity.type() != VarType::I4 || static_cast<size_t>(arity.i4()) != call.arguments.size())
    throw errors::provider("Procedure " + vb::concatText(found.rows.front()[0]) + " expects " +
                           vb::concatText(arity) + " arguments, " +
                           std::to_string(call.arguments.size()) + " given.");
  RowSet steps = runChecked(kProcedureSteps, name);

  runChecked("BEGIN IMMEDIATE");
  RowSet result;
  for (const auto& step : steps.rows) {
    RowSet rows = runChecked(vb::concatText(step.front()), call.arguments);
    if (!rows.hasResultSet) continue;
    result = std::move(rows);
    if (refuses(result)) {
      rollbackQuietly();
      return result;
    }
  }
  runChecked("COMMIT");
  return result;
}

std::unique_ptr<Provider> makeSqliteProvider() {
  struct SqliteProvider : Provider {
    std::unique_ptr<Connection> connect(const std::string& connectionText) override {
      return std::make_unique<SqliteConnection>(connectionText, false);
    }
  };
  return std::make_unique<SqliteProvider>();
}

}  // namespace z418kt::data
