#include "data/odbc_provider.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

#include "automation/connection_text.h"
#include "automation/utf8.h"
#include "data/data_limits.h"
#include "data/deadline_watcher.h"
#include "data/odbc_handles.h"
#include "data/odbc_values.h"
#include "data/postgres_dialect.h"
#include "data/session_errors.h"
#include "data/session_socket.h"
#include "data/sql_lexer.h"
#include "data/timed_provider.h"

namespace z418kt::data {

namespace odbc {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string withoutAdoPrefix(std::string_view text) {
  size_t semi = text.find(';');
  std::string_view first = text.substr(0, semi);
  size_t eq = first.find('=');
  if (eq == std::string_view::npos) return std::string(text);
  std::string key = lowerCase(trimmed(first.substr(0, eq)));
  std::string value = lowerCase(trimmed(first.substr(eq + 1)));
  bool msdasql = value == "msdasql" || (value.rfind("msdasql.", 0) == 0 && value.size() > 8);
  if (key != "provider" || !msdasql) return std::string(text);
  return semi == std::string_view::npos ? std::string() : std::string(text.substr(semi + 1));
}

std::string engineOf(std::string_view dbmsName) {
  std::string name = lowerCase(trimmed(dbmsName));
  if (name.find("postgres") != std::string::npos) return "postgresql";
  if (name.find("oracle") != std::string::npos) return "oracle";
  if (name.find("sql server") != std::string::npos) return "sqlserver";
  return name;
}

std::string masked(std::string text, std::string_view connectionText) {
  const ConnectionText parsed(connectionText);
  for (const auto& [key, value] : parsed.pairs()) {
    if (key != "PWD" && key != "PASSWORD") continue;
    if (value.size() < 2) continue;  // masking one letter would garble the message
    for (size_t at = text.find(value); at != std::string::npos; at = text.find(value, at + 3))
      text.replace(at, value.size(), "***");
  }
  return text;
}

}  // namespace odbc

namespace {

using odbc::Handle;

const char* const kAbandoned = "The transaction was abandoned after an error; nothing was stored.";

// Whether any diagnostic record's SQLSTATE says `what` (see session_errors.h).
bool anyState(const std::vector<odbc::Diagnostic>& records, bool (*what)(std::string_view)) {
  return std::any_of(records.begin(), records.end(),
                     [what](const odbc::Diagnostic& d) { return what(d.sqlState); });
}

bool lostConnection(const std::vector<odbc::Diagnostic>& records) {
  return anyState(records, sessionLost);
}

class OdbcConnection : public Connection {
 public:
  OdbcConnection(const std::string& connectionText, const SessionTimeouts& options)
      : environment_(odbc::environment()),
        connection_(SQL_HANDLE_DBC, environment_->get()),
        options_(options),
        connectionText_(connectionText) {
    auto seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(options.loginSeconds));
    // Both are advisory for a driver; the ones it does not know are ignored.
    SQLSetConnectAttrW(connection_.get(), SQL_ATTR_LOGIN_TIMEOUT, seconds, 0);
    SQLSetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);

    std::u16string text = utf8::toUtf16(odbc::withoutAdoPrefix(connectionText));
    std::u16string completed(1024, u'\0');
    SQLSMALLINT completedLength = 0;
    SQLRETURN rc;
    {
      // psqlODBC looks up the character set by switching the process locale
      // (setlocale) while it logs in, which is not safe while another thread
      // does the same: logins of this process go one at a time.
      static std::mutex loginLock;
      std::lock_guard lock(loginLock);
      rc = SQLDriverConnectW(connection_.get(), nullptr, odbc::wide(text),
                             static_cast<SQLSMALLINT>(text.size()), odbc::wide(completed),
                             static_cast<SQLSMALLINT>(completed.size()), &completedLength,
                             SQL_DRIVER_NOPROMPT);
    }
    if (!odbc::succeeded(rc)) {
      auto records = odbc::diagnostics(connection_);
      auto error = odbc::failure(records, "ODBC: could not connect:");
      error.description = odbc::masked(error.description, connectionText);
      throw ConnectFailed(error, anyState(records, loginRefused));
    }
    connected_ = true;

    char16_t name[256] = {};
    SQLSMALLINT nameLength = 0;
    if (odbc::succeeded(
            SQLGetInfoW(connection_.get(), SQL_DBMS_NAME, name, sizeof name, &nameLength)))
      engine_ = odbc::engineOf(utf8::fromUtf16(std::u16string_view(name)));
    if (engine_ == "postgresql") {
      preparePostgres();
      stepSavepoints_ = !driverUndoesFailedStatements(connectionText);
    }
  }

  ~OdbcConnection() override {
    statement_.reset();  // before the disconnect, which would free it under the handle
    if (connected_) SQLDisconnect(connection_.get());
  }

  // PostgreSQL abandons the whole transaction when one statement fails, so
  // inside a transaction each statement there is a savepoint of its own,
  // unless the driver already sees to it; the other engines undo just the
  // failed statement by themselves.
  //
  // A driver that ends the whole transaction on an error (psqlODBC's
  // Protocol=...-1) leaves no savepoint to go back to: the transaction is
  // then abandoned, and every later statement and the commit are refused, so
  // nothing after it is stored on its own.
  RowSet execute(const std::string& statement) override {
    if (inTransaction_ && abandoned_) throw errors::provider(kAbandoned);
    if (!inTransaction_ || !stepSavepoints_) return runStatement(statement);
    runStatement("SAVEPOINT z418kt_step");
    try {
      RowSet rows = runStatement(statement);
      runStatement("RELEASE SAVEPOINT z418kt_step");
      return rows;
    } catch (const AutomationError&) {
      if (usable_) {
        try {
          runStatement("ROLLBACK TO SAVEPOINT z418kt_step");
          runStatement("RELEASE SAVEPOINT z418kt_step");
        } catch (const AutomationError&) {
          abandoned_ = true;
        }
      }
      throw;
    }
  }

  RowSet runStatement(const std::string& statement) {
    std::string text = engine_ == "postgresql" ? adaptForPostgres(statement) : statement;
    if (snapshotPending_) return firstOfSnapshot(text);
    return runText(text);
  }

  // The first statement of a read transaction, led by the setting that must
  // come before any query. When it fails, the transaction ended without
  // anything else run in it (the driver rolls back a transaction whose
  // first statement failed; the rollback here makes sure), so the next
  // statement carries the setting into a new one.
  RowSet firstOfSnapshot(const std::string& text) {
    snapshotPending_ = false;
    try {
      return runText("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY; " + text);
    } catch (const AutomationError&) {
      if (usable_ && inTransaction_) {
        if (odbc::succeeded(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK)))
          snapshotPending_ = true;
        else
          usable_ = false;
      }
      throw;
    }
  }

  RowSet runText(const std::string& text) {
    const Handle& handle = statementHandle();
    // The driver's query timeout works while the server still reads; a server
    // that stops answering altogether is cut off a little later. Without its
    // socket, a cancel request is all that can be tried.
    auto deadline = DeadlineWatcher::Clock::now() +
                    std::chrono::seconds(options_.querySeconds + options_.cutOffGraceSeconds);
    SQLHANDLE raw = handle.get();
    DeadlineWatcher::Watch watch(DeadlineWatcher::shared(), deadline, [this, raw] {
      if (socket_)
        socket_->cut();
      else
        SQLCancel(raw);
    });
    // The handle serves the session's next statement: its cursor is closed
    // on every way out.
    struct Close {
      SQLHANDLE h;
      ~Close() { SQLFreeStmt(h, SQL_CLOSE); }
    } close{raw};
    try {
      return run(handle, text);
    } catch (const AutomationError&) {
      if (watch.fired()) {
        usable_ = false;
        throw StatementTimeout("ODBC: timeout: the server did not answer the statement within " +
                               std::to_string(options_.querySeconds) +
                               " s; the session was closed.");
      }
      throw;
    }
  }

  void begin(bool writes) override {
    if (inTransaction_) throw errors::provider("The session is already inside a transaction.");
    setAutocommit(false);
    inTransaction_ = true;
    // A read sees one snapshot of the database from its first statement on.
    // The setting travels with that statement instead of costing a round trip
    // of its own.
    snapshotPending_ = !writes && engine_ == "postgresql";
  }

  void commit() override {
    if (abandoned_) {
      rollback();
      throw errors::provider(kAbandoned);
    }
    inTransaction_ = false;
    snapshotPending_ = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_COMMIT);
    if (!odbc::succeeded(rc)) {
      auto records = odbc::diagnostics(connection_);
      rollback();
      std::string text = odbc::masked(
          odbc::failure(records, "ODBC: the commit failed:").description, connectionText_);
      if (lostConnection(records)) throw ConnectionLost(text, true);
      throw errors::provider(text);
    }
    setAutocommit(true);
  }

  void rollback() noexcept override {
    inTransaction_ = false;
    abandoned_ = false;
    snapshotPending_ = false;
    if (!odbc::succeeded(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK)))
      usable_ = false;
    try {
      setAutocommit(true);
    } catch (const AutomationError&) {
      usable_ = false;  // a session stuck outside autocommit is not lent again
    }
  }

  bool usable() const override {
    if (!usable_) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (odbc::succeeded(
            SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE)
      return false;
    return true;
  }

  bool alive(bool roundTrip) override {
    if (!usable()) return false;
    if (socket_ && socket_->endedByServer()) return usable_ = false;
    if (!roundTrip) return true;
    try {
      execute(engine_ == "oracle" ? "SELECT 1 FROM DUAL" : "SELECT 1");
      return true;
    } catch (const AutomationError&) {
      return usable_ = false;
    }
  }

  std::string engine() const override { return engine_; }

 private:
  RowSet run(const Handle& handle, const std::string& text) {
    std::u16string wideText = odbc::toDriver(text);
    SQLRETURN rc = SQLExecDirectW(handle.get(), odbc::wide(wideText),
                                  static_cast<SQLINTEGER>(wideText.size()));
    RowSet rows;
    // Row counts that come before a result (SQL Server procedures without
    // NOCOUNT) are skipped: the first result with columns is the answer.
    while (true) {
      if (rc == SQL_NO_DATA) return rows;  // no (more) results: the record set stays closed
      if (!odbc::succeeded(rc)) fail(handle);
      SQLSMALLINT columns = 0;
      if (!odbc::succeeded(SQLNumResultCols(handle.get(), &columns))) fail(handle);
      if (columns > 0) {
        try {
          odbc::readResultSet(handle, rows);
        } catch (const AutomationError& e) {
          if (!lostConnection(odbc::diagnostics(handle))) throw;
          usable_ = false;
          throw ConnectionLost(odbc::masked(e.description, connectionText_), true);
        }
        return rows;
      }
      rc = SQLMoreResults(handle.get());
    }
  }

  // psqlODBC undoes a failed statement inside a transaction by itself (its
  // "level of rollback on errors", PROTOCOL=7.4-2, the default), without an
  // extra round trip; a text that asks it for less (-0; -1 drops the whole
  // transaction, which no savepoint can stop), or another driver, gets our
  // own savepoint around each statement.
  bool driverUndoesFailedStatements(const std::string& text) {
    char16_t name[256] = {};
    SQLSMALLINT length = 0;
    if (!odbc::succeeded(
            SQLGetInfoW(connection_.get(), SQL_DRIVER_NAME, name, sizeof name, &length)))
      return false;
    std::string driver = utf8::fromUtf16(std::u16string_view(name));
    if (driver.rfind("psqlodbc", 0) != 0) return false;
    auto protocol = ConnectionText(odbc::withoutAdoPrefix(text)).get("Protocol");
    return !protocol ||
           (protocol->find("-0") == std::string::npos && protocol->find("-1") == std::string::npos);
  }

  void setAutocommit(bool on) {
    auto value = reinterpret_cast<SQLPOINTER>(
        static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF));
    if (!odbc::succeeded(SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT, value, 0))) {
      usable_ = false;
      throw errors::provider(odbc::masked(
          odbc::failure(odbc::diagnostics(connection_), "ODBC: autocommit:").description,
          connectionText_));
    }
  }

  // Literals must read the same whatever the database or role sets, and the
  // session's socket is wanted for the deadline and the liveness check.
  void preparePostgres() {
    const char* refused =
        "PostgreSQL: the session could not turn standard_conforming_strings on, so a "
        "backslash in a text could end its literal; the session was not opened.";
    try {
      execute("SET standard_conforming_strings = on");
      RowSet shown = execute("SHOW standard_conforming_strings");
      if (shown.rows.empty() || vb::concatText(shown.rows[0][0]) != "on")
        throw errors::provider(refused);
    } catch (const StatementTimeout&) {
      throw;
    } catch (const ConnectionLost&) {
      throw;
    } catch (const AutomationError& e) {
      throw errors::provider(std::string(refused) + " " + e.description);
    }
    RowSet pair = execute(
        "SELECT host(inet_client_addr()), inet_client_port(), host(inet_server_addr()), "
        "inet_server_port()");
    if (pair.rows.empty()) return;
    const auto& row = pair.rows[0];
    // A Unix-domain socket has no addresses: then only the driver's timeouts apply.
    if (row[0].isNull() || row[2].isNull()) return;
    socket_ = odbc::SessionSocket::find(
        {vb::concatText(row[0]), vb::clng(row[1]), vb::concatText(row[2]), vb::clng(row[3])});
  }

  // One statement handle per session, made on first use and kept: drivers
  // allocate and clear a good deal for every handle.
  const Handle& statementHandle() {
    if (statement_) return *statement_;
    try {
      statement_.emplace(SQL_HANDLE_STMT, connection_.get());
    } catch (const AutomationError&) {
      usable_ = false;
      auto records = odbc::diagnostics(connection_);
      throw ConnectionLost(odbc::failure(records, "ODBC: no statement handle:").description, false);
    }
    SQLSetStmtAttrW(statement_->get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(options_.querySeconds)), 0);
    return *statement_;
  }

  [[noreturn]] void fail(const Handle& statement) {
    auto records = odbc::diagnostics(statement);
    std::string text = odbc::masked(odbc::failure(records).description, connectionText_);
    if (lostConnection(records)) {
      usable_ = false;
      throw ConnectionLost(text, !anyState(records, endedByServer));
    }
    if (anyState(records, timedOut))
      throw StatementTimeout(text + " (timeout: " + std::to_string(options_.querySeconds) + " s)");
    throw errors::provider(text);
  }

  std::shared_ptr<Handle> environment_;  // outlives the connection handle
  Handle connection_;
  SessionTimeouts options_;
  bool connected_ = false;
  bool usable_ = true;
  bool inTransaction_ = false;
  bool abandoned_ = false;        // the driver ended the transaction after an error
  bool stepSavepoints_ = false;   // our own savepoint around each statement of a transaction
  bool snapshotPending_ = false;  // the read transaction's setting waits for its first statement
  std::string engine_;
  std::string connectionText_;  // only to mask a password a driver might echo
  std::optional<odbc::SessionSocket> socket_;
  std::optional<Handle> statement_;  // see statementHandle()
};

}  // namespace

std::unique_ptr<Provider> makeOdbcProvider(const SessionTimeouts& options) {
  return std::make_unique<TimedProvider<OdbcConnection>>(options);
}

std::unique_ptr<Provider> makeOdbcProvider() {
  return makeOdbcProvider(SessionTimeouts::process());
}

}  // namespace z418kt::data
