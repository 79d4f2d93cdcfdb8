#include "bench_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "automation/connection_text.h"
#include "data/database_setup.h"
#include "data/postgres_dialect.h"
#include "data/sqlite_connection.h"
#include "data/statement_runner.h"
#include "z418kt/safe_array.h"

namespace z418kt::bench {

namespace fs = std::filesystem;

namespace {

std::string tempName(const std::string& stem) {
  return fs::temp_directory_path() / (stem + "-" + std::to_string(getpid()));
}

void removeSqliteFiles() {
  std::error_code ignored;
  std::string path = tempName("z418kt-bench-paired") + ".db";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix, ignored);
}

std::string pgState() { return tempName("z418kt-bench-pg"); }

void stopPostgres() {
  std::string command = std::string(Z418KT_SOURCE_DIR) + "/scripts/pg-test-server.sh stop '" +
                        pgState() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not stop the bench server\n");
  std::error_code ignored;
  fs::remove_all(pgState(), ignored);
}

struct PgServer {
  std::string text, problem;
  PgServer() {
    std::string command = std::string(Z418KT_SOURCE_DIR) + "/scripts/pg-test-server.sh start '" +
                          pgState() + "' 56432 >/dev/null 2>&1";
    std::atexit(stopPostgres);
    if (std::system(command.c_str()) != 0) {
      problem = "the private PostgreSQL server did not start (scripts/pg-test-server.sh)";
      return;
    }
    std::ifstream in(pgState() + "/connection.txt");
    std::getline(in, text);
    try {
      data::initDatabase(text, true);
    } catch (const std::exception& e) {
      problem = std::string("the demo database could not be created: ") + e.what();
      text.clear();
    }
  }
};

PgServer& pgServer() {
  static PgServer server;
  return server;
}

// Records each statement on its way to the database runner.
class Recorder : public data::StatementRunner {
 public:
  explicit Recorder(std::shared_ptr<data::StatementRunner> next) : next_(std::move(next)) {}
  data::RowSet run(const data::OpenRequest& request) override {
    seen.push_back(request.source);
    return next_->run(request);
  }
  std::unique_ptr<data::Transaction> transaction(const std::string& text, bool writes) override {
    return next_->transaction(text, writes);
  }
  std::vector<std::string> seen;

 private:
  std::shared_ptr<data::StatementRunner> next_;
};

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

const std::string& sqliteText() {
  static const std::string text = [] {
    removeSqliteFiles();
    std::atexit(removeSqliteFiles);
    std::string t = "Provider=SQLite;Data Source=" + tempName("z418kt-bench-paired") + ".db";
    data::initDatabase(t, true);
    return t;
  }();
  return text;
}

const std::string& postgresText() { return pgServer().text; }
const std::string& nativePostgresText() {
  static const std::string text = [] {
    const std::string& odbc = postgresText();
    const std::string driver = "Driver=PostgreSQL Unicode;";
    if (odbc.rfind(driver, 0) != 0) return odbc;
    return "Provider=PostgreSQL;" + odbc.substr(driver.size());
  }();
  return text;
}
const std::string& postgresProblem() { return pgServer().problem; }

int16_t readColeta(Z418kt& component, const std::string& text, const char* dialect, int32_t id) {
  Variant conecta(text), user(int32_t{0}), empresa(int32_t{1}), banco(dialect), produto;
  Variant coleta(id);
  Variant out[13];
  Variant status = component.gConsulta_Coleta(
      conecta, user, empresa, banco, produto, coleta, out[0], out[1], out[2], out[3], out[4],
      out[5], out[6], out[7], out[8], out[9], out[10], out[11], out[12]);
  return status.i2();
}

int16_t saveColeta(Z418kt& component, const std::string& text, const char* dialect, int32_t id,
                   int pieces) {
  Variant conecta(text), user(int32_t{0}), empresa(int32_t{1}), banco(dialect), produto;
  Variant cliente(int32_t{2}), destinatario(int32_t{11}), remetente(int32_t{12});
  Variant volumes(int32_t{3}), peso("42,5"), embalagem("Caixas"), valor(int32_t{1500});
  Variant linhas(int32_t{pieces}), colunas(int32_t{5}), coleta(id), msg;
  SafeArray matrix = SafeArray::zeroBased(4, pieces - 1);
  for (int32_t r = 0; r < pieces; ++r) {
    matrix.at(0, r) = Variant(int32_t{1 + r % 7});
    matrix.at(1, r) = Variant(0.5);
    matrix.at(2, r) = Variant(1.25);
    matrix.at(3, r) = Variant(0.75 + r % 3);
  }
  Variant matriz(std::move(matrix));
  Variant status = component.gGrava_Coleta(conecta, user, empresa, banco, produto, cliente,
                                           destinatario, remetente, volumes, peso, embalagem, valor,
                                           linhas, colunas, matriz, coleta, msg);
  if (status.i2() != 0) fail("the Coleta was not saved: " + vb::concatText(msg));
  return status.i2();
}

int32_t coletaWithPieces(const std::string& text, int pieces) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, int>, int32_t> made;
  std::lock_guard lock(mutex);
  auto& id = made[{text, pieces}];
  if (id != 0) return id;
  Z418kt component;
  Variant conecta(text), user(int32_t{0}), empresa(int32_t{1}), banco("ORACLE"), produto;
  Variant cliente(int32_t{2}), destinatario(int32_t{11}), remetente(int32_t{12});
  Variant volumes(int32_t{3}), peso("42,5"), embalagem("Caixas"), valor(int32_t{1500});
  Variant linhas(int32_t{pieces}), colunas(int32_t{5}), coleta(int32_t{0}), msg;
  SafeArray matrix = SafeArray::zeroBased(4, pieces - 1);
  // Volumes, then width, height and length in metres, as they are entered.
  const char* metres[] = {"0,25", "1,5", "0,75", "2", "1,35"};
  for (int32_t r = 0; r < pieces; ++r) {
    matrix.at(0, r) = Variant(int32_t{1 + r % 5});
    for (int32_t c = 1; c < 4; ++c) matrix.at(c, r) = Variant(metres[(r + c) % 5]);
  }
  Variant matriz(std::move(matrix));
  Variant status = component.gGrava_Coleta(conecta, user, empresa, banco, produto, cliente,
                                           destinatario, remetente, volumes, peso, embalagem, valor,
                                           linhas, colunas, matriz, coleta, msg);
  if (status.i2() != 0) fail("the Coleta was not saved: " + vb::concatText(msg));
  id = vb::clng(coleta);
  return id;
}

std::vector<std::string> statementsOf(const std::function<void()>& call) {
  auto recorder = std::make_shared<Recorder>(data::makeDatabaseRunner());
  auto previous = data::installStatementRunner(recorder);
  call();
  data::installStatementRunner(previous);
  return recorder->seen;
}

// --- SQLite -----------------------------------------------------------------

RawSqlite::RawSqlite(const std::string& text, bool noMutex) {
  auto path = data::ConnectionText(text).get("Data Source");
  int flags = SQLITE_OPEN_READWRITE | (noMutex ? SQLITE_OPEN_NOMUTEX : 0);
  if (!path || sqlite3_open_v2(path->c_str(), &db_, flags, nullptr) != SQLITE_OK)
    fail("cannot open the bench database");
  sqlite3_busy_timeout(db_, 5000);
  run("PRAGMA journal_mode = WAL");
  run("PRAGMA synchronous = FULL");
}

RawSqlite::~RawSqlite() {
  for (auto& [text, s] : kept_) sqlite3_finalize(s);
  for (auto& [name, steps] : procedures_)
    for (sqlite3_stmt* s : steps) sqlite3_finalize(s);
  sqlite3_close_v2(db_);
}

size_t RawSqlite::step(sqlite3_stmt* s) {
  size_t touched = 0;
  int rc;
  std::string text;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    int columns = sqlite3_column_count(s);
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(s, c)) {
        case SQLITE_INTEGER:
          touched += static_cast<size_t>(sqlite3_column_int64(s, c));
          break;
        case SQLITE_FLOAT:
          touched += static_cast<size_t>(sqlite3_column_double(s, c));
          break;
        case SQLITE_NULL:
          break;
        default:
          text.assign(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                      static_cast<size_t>(sqlite3_column_bytes(s, c)));
          touched += text.size();
      }
    }
  }
  if (rc != SQLITE_DONE) fail(std::string("raw statement failed: ") + sqlite3_errmsg(db_));
  return touched;
}

sqlite3_stmt* RawSqlite::kept(const std::string& text) {
  auto it = kept_.find(text);
  if (it != kept_.end()) return it->second;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()),
                         SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
    fail(std::string("raw prepare failed: ") + sqlite3_errmsg(db_) + " in " + text);
  return kept_[text] = s;
}

void RawSqlite::bind(sqlite3_stmt* s, const std::vector<data::sql::ExecArgument>& values) {
  int count = sqlite3_bind_parameter_count(s);
  for (int i = 1; i <= count && static_cast<size_t>(i) <= values.size(); ++i) {
    const auto& a = values[static_cast<size_t>(i) - 1];
    if (a.kind == data::sql::ExecArgument::Kind::Null) {
      sqlite3_bind_null(s, i);
    } else if (a.kind == data::sql::ExecArgument::Kind::Number) {
      char* end = nullptr;
      long long whole = std::strtoll(a.value.c_str(), &end, 10);
      if (*end == '\0')
        sqlite3_bind_int64(s, i, whole);
      else
        sqlite3_bind_double(s, i, std::strtod(a.value.c_str(), nullptr));
    } else {
      sqlite3_bind_text(s, i, a.value.data(), static_cast<int>(a.value.size()), SQLITE_STATIC);
    }
  }
}

size_t RawSqlite::run(const std::string& statement) {
  sqlite3_stmt* s = kept(statement);
  size_t touched = 0;
  try {
    touched = step(s);
  } catch (...) {
    sqlite3_reset(s);
    throw;
  }
  sqlite3_reset(s);
  return touched;
}

size_t RawSqlite::call(const data::sql::ExecCall& call) {
  auto& steps = procedures_[call.procedure];
  if (steps.empty()) {
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db_,
                       "SELECT CORPO FROM KTR_PROCEDIMENTO_PASSO WHERE NOME = ?1 COLLATE NOCASE "
                       "ORDER BY ORDEM",
                       -1, &q, nullptr);
    sqlite3_bind_text(q, 1, call.procedure.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(q) == SQLITE_ROW) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v3(db_, reinterpret_cast<const char*>(sqlite3_column_text(q, 0)), -1,
                         SQLITE_PREPARE_PERSISTENT, &s, nullptr);
      steps.push_back(s);
    }
    sqlite3_finalize(q);
    if (steps.empty()) fail("no procedure " + call.procedure);
  }
  size_t touched = 0;
  for (sqlite3_stmt* s : steps) {
    bind(s, call.arguments);
    touched += step(s);
    sqlite3_reset(s);
  }
  return touched;
}

size_t RawSqlite::runAll(const std::vector<Prepared>& statements) {
  size_t touched = 0;
  for (const auto& statement : statements)
    if (statement.exec) {
      touched += call(*statement.exec);
    } else if (statement.shaped) {
      sqlite3_stmt* s = kept(statement.shaped->shape);
      bind(s, statement.shaped->values);
      touched += step(s);
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
    } else {
      touched += run(statement.text);
    }
  return touched;
}

std::vector<RawSqlite::Prepared> RawSqlite::adapted(const std::vector<std::string>& statements) {
  std::vector<Prepared> out;
  for (const auto& statement : statements) {
    std::string error;
    auto exec = data::sql::parseExec(statement, error);
    std::string text = exec ? statement : data::adaptForSqlite(statement);
    auto shaped =
        exec ? std::nullopt : data::sql::shapeStatement(text, data::sql::Placeholder::Question);
    out.push_back({text, exec, shaped});
  }
  return out;
}

// --- PostgreSQL -------------------------------------------------------------

RawPostgres::RawPostgres(const std::string& odbcText) {
  data::ConnectionText odbc(odbcText);
  std::string info = "host=" + odbc.get("Server").value_or("127.0.0.1") +
                     " port=" + odbc.get("Port").value_or("5432") +
                     " dbname=" + odbc.get("Database").value_or("") +
                     " user=" + odbc.get("Uid").value_or("") +
                     " password=" + odbc.get("Pwd").value_or("");
  conn_ = PQconnectdb(info.c_str());
  if (PQstatus(conn_) != CONNECTION_OK) fail(std::string("libpq: ") + PQerrorMessage(conn_));
}

RawPostgres::~RawPostgres() { PQfinish(conn_); }

size_t RawPostgres::run(const std::string& statement) {
  PGresult* r = PQexec(conn_, statement.c_str());
  ExecStatusType status = PQresultStatus(r);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    std::string message = PQresultErrorMessage(r);
    PQclear(r);
    fail("libpq: " + message + " in " + statement);
  }
  size_t touched = 0;
  std::string text;
  for (int row = 0, rows = PQntuples(r); row < rows; ++row)
    for (int c = 0, columns = PQnfields(r); c < columns; ++c) {
      if (PQgetisnull(r, row, c)) continue;
      text.assign(PQgetvalue(r, row, c), static_cast<size_t>(PQgetlength(r, row, c)));
      touched += text.size();
    }
  PQclear(r);
  return touched;
}

size_t RawPostgres::runAll(const std::vector<std::string>& statements) {
  size_t touched = 0;
  for (const auto& statement : statements) touched += run(statement);
  return touched;
}

std::vector<std::string> adaptedForPostgres(const std::vector<std::string>& statements) {
  std::vector<std::string> adapted;
  for (const auto& s : statements) adapted.push_back(data::adaptForPostgres(s));
  return adapted;
}

}  // namespace z418kt::bench
