#include "data/sqlite_connection.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

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
    "SELECT CORPO, RECUSA FROM KTR_PROCEDIMENTO_PASSO WHERE NOME = ?1 COLLATE NOCASE ORDER BY "
    "ORDEM";

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

// Whether the process may write the file and its directory: SQLite needs
// both to write, and to read a database in WAL mode without its -shm file.
bool writable(const std::string& path) {
  std::string dir = std::filesystem::path(path).parent_path().string();
  return access(path.c_str(), W_OK) == 0 && access(dir.empty() ? "." : dir.c_str(), W_OK) == 0;
}

// True when the file's header says WAL mode (write and read versions 2).
bool walMode(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char header[20] = {};
  if (!file.read(header, sizeof header)) return false;
  return header[18] == 2 && header[19] == 2;
}

// "file:" URI of a path, with the characters URIs reserve escaped.
std::string fileUri(const std::string& path, const char* query) {
  std::string out = "file:";
  for (unsigned char c : std::filesystem::absolute(path).string()) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out + "?" + query;
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

  // A process that may not write the file reads it without changing it. A
  // database in WAL mode whose -shm file is missing and cannot be made can
  // only be read as immutable: SQLite then assumes nobody writes the file
  // (a writer elsewhere would keep that file, so none is at work now).
  bool readOnly = text.is("Mode", "ReadOnly") || (!create && !writable(*path));
  std::string target = *path;
  int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (create && !readOnly) flags |= SQLITE_OPEN_CREATE;
  if (readOnly && walMode(*path) && access((*path + "-shm").c_str(), R_OK) != 0) {
    target = fileUri(*path, "immutable=1");
    flags |= SQLITE_OPEN_URI;
  }
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(target.c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw errors::provider(message + ": " + *path);
  }
  sqlite3_extended_result_codes(db_.get(), 1);
  sqlite3_busy_timeout(db_.get(), busyMs);
  try {
    // Reading the schema version also proves the file is a database (a
    // foreign file fails here) and writes nothing.
    sqlite::run(db_.get(), "PRAGMA schema_version");
    sqlite::run(db_.get(), "PRAGMA synchronous = " + sync);
    sqlite::run(db_.get(), "PRAGMA foreign_keys = ON");
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

void SqliteConnection::begin(bool writes) {
  if (inTransaction_ || !sqlite3_get_autocommit(db_.get()))
    throw errors::provider("The session is already inside a transaction.");
  runChecked(writes ? "BEGIN IMMEDIATE" : "BEGIN");
  inTransaction_ = true;
}

void SqliteConnection::commit() {
  bool abandoned = sqlite3_get_autocommit(db_.get()) != 0;
  inTransaction_ = false;
  if (abandoned)
    throw errors::provider("The transaction was abandoned after an error; nothing was stored.");
  try {
    runChecked("COMMIT");
  } catch (const AutomationError&) {
    rollbackQuietly();
    throw;
  }
}

void SqliteConnection::rollback() noexcept {
  inTransaction_ = false;
  rollbackQuietly();
}

RowSet SqliteConnection::execute(const std::string& statement) {
  std::string error;
  auto call = sql::parseExec(statement, error);
  if (!error.empty()) throw errors::provider(error);
  // A failure inside a transaction of the caller's is the caller's to undo.
  bool own = !inTransaction_;
  try {
    if (call) return callProcedure(*call);
    return runChecked(adaptForSqlite(statement));
  } catch (const std::exception&) {
    if (own) rollbackQuietly();
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

  // Inside a caller's transaction the procedure is a savepoint of it, so a
  // refusal undoes the procedure's steps and nothing else.
  // A read-only session cannot take the write lock, and needs none.
  bool nested = inTransaction_;
  bool readOnly = sqlite3_db_readonly(db_.get(), "main") == 1;
  runChecked(nested ? "SAVEPOINT z418kt_procedure" : readOnly ? "BEGIN" : "BEGIN IMMEDIATE");
  RowSet result;
  for (const auto& step : steps.rows) {
    RowSet rows = runChecked(vb::concatText(step.front()), call.arguments);
    if (!rows.hasResultSet) continue;
    bool refusal = step[1] == Variant(int32_t{1}) && !rows.rows.empty();
    result = std::move(rows);
    if (!refusal) continue;
    if (nested)
      runChecked("ROLLBACK TO z418kt_procedure");
    else
      rollbackQuietly();
    break;
  }
  if (nested || sqlite3_get_autocommit(db_.get()) == 0)
    runChecked(nested ? "RELEASE z418kt_procedure" : "COMMIT");
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
