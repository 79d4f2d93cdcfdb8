#include "data/sqlite_connection.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "automation/connection_text.h"
#include "data/change_context.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

namespace {

constexpr int kDefaultBusyMs = 5000;

// SYSDATE is the server's local date and time, as Oracle gives it.
constexpr const char* kNow = "datetime('now', 'localtime')";

const char* kProcedures = "SELECT NOME, QTDE_ARGUMENTOS FROM KTR_PROCEDIMENTO";
const char* kProcedureSteps =
    "SELECT NOME, CORPO, RECUSA FROM KTR_PROCEDIMENTO_PASSO ORDER BY NOME, ORDEM";

// Catalog names match as SQLite's NOCASE does: ASCII letters only.
std::string catalogKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

// SQLite's memory statistics take one process-wide mutex on every allocation,
// which makes reader threads queue behind each other; nothing here reads
// them. The setting only takes while SQLite is not yet initialised in the
// process, so a host that started SQLite first keeps its own choice.
void turnOffMemoryStatistics() {
  static const int rc = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)rc;
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

SqliteConnection::SqliteConnection(const std::string& connectionText, bool create)
    : shared_(statementCacheSize(ConnectionText(connectionText))) {
  ConnectionText text(connectionText);
  auto path = text.get("Data Source");
  if (!path) path = text.get("DataSource");
  if (!path || path->empty())
    throw errors::provider("The connection text names no Data Source (the SQLite file).");
  std::string sync = synchronousMode(text);
  int busyMs = busyTimeout(text);
  file_ = *path;
  busyMs_ = busyMs;

  // A process that may not write the file reads it without changing it. A
  // database in WAL mode whose -shm file is missing and cannot be made can
  // only be read as immutable: SQLite then assumes nobody writes the file
  // (a writer elsewhere would keep that file, so none is at work now).
  bool readOnly = text.is("Mode", "ReadOnly") || (!create && !writable(*path));
  std::string target = *path;
  // A session is lent to one thread at a time (the pool sees to it), so the
  // connection needs no mutex of its own around every call into SQLite.
  int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  if (create && !readOnly) flags |= SQLITE_OPEN_CREATE;
  if (readOnly && walMode(*path) && access((*path + "-shm").c_str(), R_OK) != 0) {
    target = fileUri(*path, "immutable=1");
    flags |= SQLITE_OPEN_URI;
  }
  turnOffMemoryStatistics();
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

void SqliteConnection::control(Control which) {
  // In the order of Control.
  static const std::array<std::string, kControls> kTexts = {"BEGIN",
                                                            "BEGIN IMMEDIATE",
                                                            "COMMIT",
                                                            "ROLLBACK",
                                                            "SAVEPOINT z418kt_procedure",
                                                            "ROLLBACK TO z418kt_procedure",
                                                            "RELEASE z418kt_procedure"};
  auto& prepared = control_[static_cast<size_t>(which)];
  try {
    if (!prepared) prepared = sqlite::prepare(db_.get(), kTexts[static_cast<size_t>(which)], true);
    // These statements bind nothing and answer no rows.
    sqlite3_stmt* s = prepared.get();
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) {
      sqlite::StatementFailure failure{rc, sqlite3_errmsg(db_.get())};
      sqlite3_reset(s);
      throw failure;
    }
    sqlite3_reset(s);
  } catch (const sqlite::StatementFailure& f) {
    if (sqlite::isFatal(f.resultCode)) broken_ = true;
    throw errors::provider(f.message);
  }
}

void SqliteConnection::rollbackQuietly() {
  if (sqlite3_get_autocommit(db_.get())) return;
  try {
    control(Control::Rollback);
  } catch (const AutomationError&) {
  }
  // A session left inside a transaction would leak it into the next caller.
  if (!sqlite3_get_autocommit(db_.get())) broken_ = true;
}

void SqliteConnection::begin(bool writes) {
  if (inTransaction_ || !sqlite3_get_autocommit(db_.get()))
    throw errors::provider("The session is already inside a transaction.");
  // A read-only session cannot take the write lock; its writes fail as they come.
  bool readOnly = sqlite3_db_readonly(db_.get(), "main") == 1;
  if (writes && !readOnly) turn_.emplace(file_, busyMs_);
  try {
    control(writes && !readOnly ? Control::BeginImmediate : Control::Begin);
  } catch (const AutomationError&) {
    turn_.reset();
    throw;
  }
  inTransaction_ = true;
}

void SqliteConnection::commit() {
  bool abandoned = sqlite3_get_autocommit(db_.get()) != 0;
  inTransaction_ = false;
  // The turn ends with the transaction, whatever the commit answers.
  struct EndTurn {
    std::optional<WriterTurn>& turn;
    ~EndTurn() { turn.reset(); }
  } endTurn{turn_};
  if (abandoned)
    throw errors::provider("The transaction was abandoned after an error; nothing was stored.");
  try {
    control(Control::Commit);
  } catch (const AutomationError&) {
    rollbackQuietly();
    throw;
  }
}

void SqliteConnection::rollback() noexcept {
  inTransaction_ = false;
  rollbackQuietly();
  turn_.reset();
}

RowSet SqliteConnection::execute(const std::string& statement) {
  // A statement of a kept shape needs no rewrite: the shape was kept from a
  // text already rewritten, and what differs (the values cut out) are
  // literals and numbers, which no rewrite touches. So the kept shapes are
  // tried first, on the text as it came; procedure calls never have one.
  sqlite::Statement* kept = nullptr;
  if (shared_.capacity() != 0 && !sql::opensWithExec(statement))
    kept = shared_.findAlike(statement, values_);
  // Other statements mostly need no rewrite either and run as they came,
  // without a copy; a procedure call as the operations write it is read
  // straight into the session's call, without the tokenizer.
  const bool rewrite = !kept && sql::mayNeedRewrite(statement);
  sql::Adapted adapted;
  const sql::ExecCall* call = nullptr;
  if (rewrite && sql::readPlainExec(statement, call_)) {
    call = &call_;
  } else if (rewrite) {
    adapted = sql::adaptStatement(statement, kNow);
    if (!adapted.error.empty()) throw errors::provider(adapted.error);
    if (adapted.call) call = &*adapted.call;
    if (!adapted.call && shared_.capacity() != 0) kept = shared_.findAlike(adapted.text, values_);
  }
  const std::string& text = rewrite ? adapted.text : statement;
  // Inside a transaction that SQLite abandoned after an error, a statement
  // would run on its own and be kept: refused instead.
  if (inTransaction_ && sqlite3_get_autocommit(db_.get()))
    throw errors::provider("The transaction was abandoned after an error; nothing was stored.");
  // A failure inside a transaction of the caller's is the caller's to undo.
  bool own = !inTransaction_;
  try {
    if (call) return callProcedure(*call);
    if (auto rows = runShared(text, kept)) return std::move(*rows);
    return runChecked(text);
  } catch (const std::exception&) {
    if (own) rollbackQuietly();
    throw;
  }
}

std::optional<RowSet> SqliteConnection::runShared(const std::string& statement,
                                                  sqlite::Statement* prepared) {
  if (shared_.capacity() == 0) return std::nullopt;
  if (!prepared) {
    auto shaped = sql::shapeStatement(statement, sql::Placeholder::Question);
    if (!shaped) return std::nullopt;
    prepared = shared_.find(shaped->shape);
    if (!prepared) {
      sqlite::Statement fresh;
      try {
        fresh = sqlite::prepare(db_.get(), shaped->shape, true);
      } catch (const sqlite::StatementFailure&) {
        // The text as written gives the caller SQLite's own answer to it.
      }
      sql::ShapeForm form(*shaped, sql::Placeholder::Question);
      shared_.keep(std::move(shaped->shape), std::move(fresh), prepared, std::move(form));
    }
    values_ = std::move(shaped->values);
  }
  if (!*prepared) return std::nullopt;
  try {
    return sqlite::runPrepared(db_.get(), prepared->get(), values_);
  } catch (const sqlite::StatementFailure& f) {
    if (sqlite::isFatal(f.resultCode)) broken_ = true;
    throw errors::provider(f.message);
  }
}

SqliteConnection::Procedure& SqliteConnection::procedure(const std::string& name) {
  if (!catalog_) {
    std::map<std::string, Procedure, std::less<>> catalog;
    for (const auto& row : runChecked(kProcedures).rows) {
      Procedure& p = catalog[catalogKey(vb::concatText(row[0]))];
      p.name = vb::concatText(row[0]);
      p.arity = row[1].type() == VarType::I4 ? row[1].i4() : -1;
    }
    for (const auto& row : runChecked(kProcedureSteps).rows) {
      auto it = catalog.find(catalogKey(vb::concatText(row[0])));
      if (it == catalog.end()) continue;
      it->second.bodies.push_back(vb::concatText(row[1]));
      it->second.refusals.push_back(row[2] == Variant(int32_t{1}));
    }
    catalog_ = std::move(catalog);
  }
  // A save calls one procedure for every piece: the one found last, by the
  // same name, needs no look-up (catalog entries stay where they are).
  if (last_ && name == lastName_) return *last_;
  // Names of a usual length are put in capitals on the stack, not in a string.
  char upper[64];
  auto it = catalog_->end();
  if (name.size() <= sizeof upper) {
    for (size_t i = 0; i < name.size(); ++i) {
      char c = name[i];
      upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    it = catalog_->find(std::string_view(upper, name.size()));
  } else {
    it = catalog_->find(catalogKey(name));
  }
  if (it == catalog_->end())
    throw errors::provider("Could not find stored procedure '" + name + "'.");
  Procedure& p = it->second;
  if (p.steps.size() != p.bodies.size()) {
    std::vector<sqlite::Statement> steps;
    std::vector<bool> writers;
    bool writes = false;
    for (const auto& body : p.bodies) {
      try {
        steps.push_back(sqlite::prepare(db_.get(), body, true));
      } catch (const sqlite::StatementFailure& f) {
        if (sqlite::isFatal(f.resultCode)) broken_ = true;
        throw errors::provider(f.message);
      }
      writers.push_back(steps.back() && !sqlite3_stmt_readonly(steps.back().get()));
      if (writers.back()) writes = true;
    }
    p.steps = std::move(steps);
    p.writers = std::move(writers);
    p.writes = writes;
  }
  lastName_ = name;
  last_ = &p;
  return p;
}

RowSet SqliteConnection::callProcedure(const sql::ExecCall& call) {
  Procedure& p = procedure(call.procedure);
  if (p.arity < 0 || static_cast<size_t>(p.arity) != call.arguments.size())
    throw errors::provider("Procedure " + p.name + " expects " + std::to_string(p.arity) +
                           " arguments, " + std::to_string(call.arguments.size()) + " given.");
  bool refused = false, wrote = false;
  if (!p.writes) return runSteps(p, call, refused, wrote);

  // Inside a caller's transaction on the usual path the procedure takes no
  // savepoint: a call that fails or refuses before any step that writes has
  // run leaves nothing behind and the transaction goes on. One that fails or
  // refuses once such a step ran gives the whole transaction up, as SQLite
  // does after RAISE(ROLLBACK): its later statements and its commit are
  // refused, and the unit of work runs the operation again with each
  // statement committed on its own, where this call is a transaction of its
  // own and keeps nothing. That answer is the one a savepoint would have
  // kept; a savepoint on every call would cost every piece of a save its
  // opening and release to spare the rare failing call that second run.
  // That run itself is not run again, so there a call is a savepoint of the
  // caller's transaction and a refusal or failure undoes its steps alone.
  const bool nested = inTransaction_;
  if (nested && !insideStepByStepChange()) {
    RowSet result;
    try {
      result = runSteps(p, call, refused, wrote);
    } catch (const AutomationError&) {
      if (wrote) rollbackQuietly();
      throw;
    }
    if (refused && wrote) rollbackQuietly();
    return result;
  }

  // On its own it takes the write lock before its first read, so no other
  // writer slips in between its steps. A read-only session cannot take the
  // write lock, and needs none.
  bool readOnly = !nested && sqlite3_db_readonly(db_.get(), "main") == 1;
  std::optional<WriterTurn> turn;
  if (!nested && !readOnly) turn.emplace(file_, busyMs_);
  control(nested ? Control::Savepoint : readOnly ? Control::Begin : Control::BeginImmediate);
  auto undo = [&] {
    if (!nested) return rollbackQuietly();
    control(Control::RollbackToSavepoint);
    control(Control::ReleaseSavepoint);
  };
  RowSet result;
  try {
    result = runSteps(p, call, refused, wrote);
  } catch (const AutomationError&) {
    undo();
    throw;
  }
  if (refused)
    undo();
  else
    control(nested ? Control::ReleaseSavepoint : Control::Commit);
  return result;
}

RowSet SqliteConnection::runSteps(Procedure& p, const sql::ExecCall& call, bool& refused,
                                  bool& wrote) {
  // The arguments are read once for all the steps that bind them.
  sqlite::readArguments(call.arguments, bound_);
  auto run = [&](size_t i) {
    try {
      return sqlite::runPrepared(db_.get(), p.steps[i].get(), bound_, false);
    } catch (const sqlite::StatementFailure& f) {
      if (sqlite::isFatal(f.resultCode)) broken_ = true;
      throw errors::provider(f.message);
    }
  };
  // The result is the last step's with result columns: each step's rows are
  // made in place and kept only when they are that step's, and only the kept
  // result is given its column names.
  RowSet result;
  sqlite3_stmt* resultStep = nullptr;
  for (size_t i = 0; i < p.steps.size(); ++i) {
    if (!p.steps[i]) continue;
    // A failed write may keep part of its change (SQLite's FAIL keeps the
    // rows done before the failure), so it counts from its start.
    if (p.writers[i]) wrote = true;
    RowSet rows = run(i);
    if (!rows.hasResultSet) continue;
    refused = p.refusals[i] && !rows.rows.empty();
    result = std::move(rows);
    resultStep = p.steps[i].get();
    if (refused) break;
  }
  if (resultStep) sqlite::nameColumns(resultStep, result.columns);
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
