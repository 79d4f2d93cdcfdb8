#include "data/sqlite_connection.h"

#include <charconv>

#include "data/connection_text.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

namespace {

constexpr int kDefaultBusyMs = 5000;

// SYSDATE is the server's local date and time, as Oracle gives it.
constexpr const char* kNow = "datetime('now', 'localtime')";

const char* kProcedures = "SELECT NOME, QTDE_ARGUMENTOS FROM KTR_PROCEDIMENTO";
const char* kProcedureSteps = "SELECT NOME, CORPO FROM KTR_PROCEDIMENTO_PASSO ORDER BY NOME, ORDEM";

// Catalog names match as SQLite's NOCASE does: ASCII letters only.
std::string catalogKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

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

// SQLite's memory statistics take one process-wide mutex on every allocation,
// which makes reader threads queue behind each other; nothing here reads
// them. The setting only takes while SQLite is not yet initialised in the
// process, so a host that started SQLite first keeps its own choice.
void turnOffMemoryStatistics() {
  static const int rc = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)rc;
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

  turnOffMemoryStatistics();
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

void SqliteConnection::control(const std::string& statement) {
  auto& prepared = control_[statement];
  try {
    if (!prepared) prepared = sqlite::prepare(db_.get(), statement, true);
    sqlite::runPrepared(db_.get(), prepared.get(), {});
  } catch (const sqlite::StatementFailure& f) {
    if (sqlite::isFatal(f.resultCode)) broken_ = true;
    throw errors::provider(f.message);
  }
}

void SqliteConnection::begin(bool writes) {
  if (inTransaction_ || !sqlite3_get_autocommit(db_.get()))
    throw errors::provider("The session is already inside a transaction.");
  control(writes ? "BEGIN IMMEDIATE" : "BEGIN");
  inTransaction_ = true;
}

void SqliteConnection::commit() {
  bool lost = sqlite3_get_autocommit(db_.get()) != 0;
  inTransaction_ = false;
  if (lost) throw errors::provider("The transaction was abandoned after an error; nothing was stored.");
  try {
    control("COMMIT");
  } catch (const AutomationError&) {
    rollbackQuietly();
    throw;
  }
}

void SqliteConnection::rollback() noexcept {
  inTransaction_ = false;
  rollbackQuietly();
}

void SqliteConnection::rollbackQuietly() {
  if (sqlite3_get_autocommit(db_.get())) return;
  try {
    control("ROLLBACK");
  } catch (const AutomationError&) {
  }
  // A session left inside a transaction would leak it into the next caller.
  if (!sqlite3_get_autocommit(db_.get())) broken_ = true;
}

RowSet SqliteConnection::execute(const std::string& statement) {
  auto adapted = sql::adaptStatement(statement, kNow);
  if (!adapted.error.empty()) throw errors::provider(adapted.error);
  // A failure inside a transaction of the caller's is the caller's to undo.
  bool own = sqlite3_get_autocommit(db_.get()) != 0;
  if (own && inTransaction_)
    throw errors::provider("The transaction was abandoned after an error; nothing was stored.");
  try {
    if (adapted.call) return callProcedure(*adapted.call);
    return runChecked(adapted.text);
  } catch (...) {
    if (own) rollbackQuietly();
    throw;
  }
}

SqliteConnection::Procedure& SqliteConnection::procedure(const std::string& name) {
  if (!catalog_) {
    std::map<std::string, Procedure> catalog;
    for (const auto& row : runChecked(kProcedures).rows) {
      Procedure& p = catalog[catalogKey(vb::concatText(row[0]))];
      p.name = vb::concatText(row[0]);
      p.arity = row[1].type() == VarType::I4 ? row[1].i4() : -1;
    }
    for (const auto& row : runChecked(kProcedureSteps).rows) {
      auto it = catalog.find(catalogKey(vb::concatText(row[0])));
      if (it != catalog.end()) it->second.bodies.push_back(vb::concatText(row[1]));
    }
    catalog_ = std::move(catalog);
  }
  auto it = catalog_->find(catalogKey(name));
  if (it == catalog_->end())
    throw errors::provider("Could not find stored procedure '" + name + "'.");
  Procedure& p = it->second;
  if (p.steps.size() != p.bodies.size()) {
    std::vector<sqlite::Statement> steps;
    bool writes = false;
    for (const auto& body : p.bodies) {
      try {
        steps.push_back(sqlite::prepare(db_.get(), body, true));
      } catch (const sqlite::StatementFailure& f) {
        if (sqlite::isFatal(f.resultCode)) broken_ = true;
        throw errors::provider(f.message);
      }
      if (steps.back() && !sqlite3_stmt_readonly(steps.back().get())) writes = true;
    }
    p.steps = std::move(steps);
    p.writes = writes;
  }
  return p;
}

RowSet SqliteConnection::callProcedure(const sql::ExecCall& call) {
  Procedure& p = procedure(call.procedure);
  if (p.arity < 0 || static_cast<size_t>(p.arity) != call.arguments.size())
    throw errors::provider("Procedure " + p.name + " expects " + std::to_string(p.arity) +
                           " arguments, " + std::to_string(call.arguments.size()) + " given.");
  if (!p.writes) return runSteps(p, call);

  // Inside a transaction of the caller's, the procedure's changes are a
  // savepoint of it; on its own, it takes the write lock before its first read
  // so that no other writer can slip in between its steps.
  bool nested = !sqlite3_get_autocommit(db_.get());
  control(nested ? "SAVEPOINT ktr_procedure" : "BEGIN IMMEDIATE");
  auto undo = [&] {
    if (!nested) return rollbackQuietly();
    control("ROLLBACK TO ktr_procedure");
    control("RELEASE ktr_procedure");
  };
  RowSet result;
  try {
    result = runSteps(p, call);
  } catch (const AutomationError&) {
    undo();
    throw;
  }
  if (refuses(result)) {
    undo();
    return result;
  }
  control(nested ? "RELEASE ktr_procedure" : "COMMIT");
  return result;
}

RowSet SqliteConnection::runSteps(Procedure& p, const sql::ExecCall& call) {
  RowSet result;
  for (auto& step : p.steps) {
    if (!step) continue;
    RowSet rows;
    try {
      rows = sqlite::runPrepared(db_.get(), step.get(), call.arguments);
    } catch (const sqlite::StatementFailure& f) {
      if (sqlite::isFatal(f.resultCode)) broken_ = true;
      throw errors::provider(f.message);
    }
    if (!rows.hasResultSet) continue;
    result = std::move(rows);
    if (refuses(result)) return result;
  }
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
