#include "data/odbc_provider.h"

#include <cctype>
#include <chrono>
#include <optional>
#include <vector>

#include "data/odbc_handles.h"
#include "data/odbc_socket_guard.h"
#include "data/odbc_values.h"
#include "data/postgres_dialect.h"
#include "data/sql_lexer.h"

namespace z418kt::data {

namespace odbc {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The key=value pairs of an ODBC connection string; a value in {braces}
// may hold ';' ("}}" stands for '}').
std::vector<std::pair<std::string, std::string>> pairsOf(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eq = text.find_first_of("=;", pos);
    if (eq == std::string_view::npos) break;
    if (text[eq] == ';') {
      pos = eq + 1;
      continue;
    }
    std::string key = lower(trimmed(text.substr(pos, eq - pos)));
    size_t v = eq + 1;
    while (v < text.size() && text[v] == ' ') ++v;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      size_t i = v + 1;
      for (; i < text.size(); ++i) {
        if (text[i] == '}' && i + 1 < text.size() && text[i + 1] == '}') {
          value += '}';
          ++i;
        } else if (text[i] == '}') {
          break;
        } else {
          value += text[i];
        }
      }
      size_t semi = text.find(';', i);
      pos = semi == std::string_view::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', v);
      size_t end = semi == std::string_view::npos ? text.size() : semi;
      value = std::string(trimmed(text.substr(v, end - v)));
      pos = end + 1;
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

}  // namespace

std::string withoutAdoPrefix(std::string_view text) {
  size_t semi = text.find(';');
  std::string_view first = text.substr(0, semi);
  size_t eq = first.find('=');
  if (eq == std::string_view::npos) return std::string(text);
  std::string key = lower(trimmed(first.substr(0, eq)));
  std::string value = lower(trimmed(first.substr(eq + 1)));
  bool msdasql = value == "msdasql" || (value.rfind("msdasql.", 0) == 0 && value.size() > 8);
  if (key != "provider" || !msdasql) return std::string(text);
  return semi == std::string_view::npos ? std::string() : std::string(text.substr(semi + 1));
}

std::string engineOf(std::string_view dbmsName) {
  std::string name = lower(trimmed(dbmsName));
  if (name.find("postgres") != std::string::npos) return "postgresql";
  if (name.find("oracle") != std::string::npos) return "oracle";
  if (name.find("sql server") != std::string::npos) return "sqlserver";
  return name;
}

std::string masked(std::string text, std::string_view connectionText) {
  for (const auto& [key, value] : pairsOf(connectionText)) {
    if (key != "pwd" && key != "password") continue;
    if (value.size() < 2) continue;  // masking one letter would garble the message
    for (size_t at = text.find(value); at != std::string::npos; at = text.find(value, at + 3))
      text.replace(at, value.size(), "***");
  }
  return text;
}

}  // namespace odbc

namespace {

using odbc::Handle;

bool connectionLost(const std::vector<odbc::Diagnostic>& records) {
  for (const auto& d : records)
    if (d.sqlState.rfind("08", 0) == 0 || d.sqlState == "HYT01") return true;
  return false;
}

class OdbcConnection : public Connection {
 public:
  OdbcConnection(const std::string& connectionText, const OdbcOptions& options)
      : environment_(odbc::environment()),
        connection_(SQL_HANDLE_DBC, environment_->get()),
        options_(options) {
    auto seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(options.loginTimeoutSeconds));
    // Both are advisory for a driver; the ones it does not know are ignored.
    SQLSetConnectAttrW(connection_.get(), SQL_ATTR_LOGIN_TIMEOUT, seconds, 0);
    SQLSetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);

    std::u16string text = odbc::toUtf16(odbc::withoutAdoPrefix(connectionText));
    std::u16string completed(1024, u'\0');
    SQLSMALLINT completedLength = 0;
    SQLRETURN rc = SQLDriverConnectW(connection_.get(), nullptr, odbc::wide(text),
                                     static_cast<SQLSMALLINT>(text.size()), odbc::wide(completed),
                                     static_cast<SQLSMALLINT>(completed.size()), &completedLength,
                                     SQL_DRIVER_NOPROMPT);
    if (!odbc::succeeded(rc)) {
      auto error = odbc::failure(odbc::diagnostics(connection_), "ODBC: could not connect:");
      error.description = odbc::masked(error.description, connectionText);
      throw error;
    }
    connected_ = true;

    char16_t name[256] = {};
    SQLSMALLINT nameLength = 0;
    if (odbc::succeeded(
            SQLGetInfoW(connection_.get(), SQL_DBMS_NAME, name, sizeof name, &nameLength)))
      engine_ = odbc::engineOf(odbc::toUtf8(std::u16string_view(name)));
    connectionText_ = connectionText;
    if (engine_ == "postgresql") guardSocket();
  }

  ~OdbcConnection() override {
    if (connected_) SQLDisconnect(connection_.get());
  }

  // PostgreSQL abandons the whole transaction when one statement fails, so
  // inside a transaction each statement there is a savepoint of its own; the
  // other engines undo just the failed statement by themselves.
  RowSet execute(const std::string& statement) override {
    if (!inTransaction_ || engine_ != "postgresql") return run(statement);
    run("SAVEPOINT z418kt_step");
    try {
      RowSet rows = run(statement);
      run("RELEASE SAVEPOINT z418kt_step");
      return rows;
    } catch (const AutomationError&) {
      if (usable_) {
        run("ROLLBACK TO SAVEPOINT z418kt_step");
        run("RELEASE SAVEPOINT z418kt_step");
      }
      throw;
    }
  }

  void begin(bool writes) override {
    if (inTransaction_) throw errors::provider("The session is already inside a transaction.");
    setAutocommit(false);
    inTransaction_ = true;
    // A read sees one snapshot of the database from its first statement on.
    if (!writes && engine_ == "postgresql") {
      try {
        run("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
      } catch (const AutomationError&) {
        rollback();
        throw;
      }
    }
  }

  void commit() override {
    inTransaction_ = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_COMMIT);
    if (!odbc::succeeded(rc)) {
      auto records = odbc::diagnostics(connection_);
      if (connectionLost(records)) usable_ = false;
      rollback();
      auto error = odbc::failure(records);
      error.description = odbc::masked(error.description, connectionText_);
      throw error;
    }
    setAutocommit(true);
  }

  void rollback() noexcept override {
    inTransaction_ = false;
    if (!odbc::succeeded(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK)))
      usable_ = false;  // a session whose transaction state is unknown is not lent again
    if (usable_ && !odbc::succeeded(autocommit(true))) usable_ = false;
  }

 private:
  SQLRETURN autocommit(bool on) {
    auto value = reinterpret_cast<SQLPOINTER>(
        static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF));
    return SQLSetConnectAttrW(connection_.get(), SQL_ATTR_AUTOCOMMIT, value, 0);
  }

  void setAutocommit(bool on) {
    if (odbc::succeeded(autocommit(on))) return;
    usable_ = false;
    throw odbc::failure(odbc::diagnostics(connection_), "ODBC: cannot change autocommit:");
  }

  RowSet run(const std::string& statement) {
    std::string text = engine_ == "postgresql" ? adaptForPostgres(statement) : statement;
    Handle handle = newStatement();
    SQLSetStmtAttrW(
        handle.get(), SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(options_.queryTimeoutSeconds)), 0);
    // The driver's query timeout works while the server still reads; a server
    // that stops answering altogether is cut off a little later.
    std::optional<odbc::StatementDeadline> deadline;
    if (socket_)
      deadline.emplace(*socket_,
                       std::chrono::seconds(options_.queryTimeoutSeconds + kGraceSeconds));
    std::u16string wideText = odbc::toUtf16(text);
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
        } catch (const AutomationError&) {
          if (connectionLost(odbc::diagnostics(handle))) usable_ = false;
          throw;
        }
        return rows;
      }
      rc = SQLMoreResults(handle.get());
    }
  }


 public:
  bool usable() const override {
    if (!usable_) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (odbc::succeeded(
            SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE)
      return false;
    return true;
  }

  std::string engine() const override { return engine_; }

 private:
  static constexpr int kGraceSeconds = 5;

  // Finds the session's socket by the client port the server sees. Without
  // it (a Unix socket, an old server) only the driver's timeouts apply.
  void guardSocket() {
    try {
      RowSet port = run("SELECT inet_client_port()");
      if (!port.rows.empty() && port.rows[0][0].type() == VarType::I4)
        socket_ = odbc::SocketGuard::find(port.rows[0][0].i4());
    } catch (const AutomationError&) {
    }
  }

  Handle newStatement() {
    try {
      return Handle(SQL_HANDLE_STMT, connection_.get());
    } catch (const AutomationError&) {
      usable_ = false;
      throw odbc::failure(odbc::diagnostics(connection_), "ODBC: no statement handle:");
    }
  }

  [[noreturn]] void fail(const Handle& statement) {
    auto records = odbc::diagnostics(statement);
    if (connectionLost(records)) usable_ = false;
    auto error = odbc::failure(records);
    error.description = odbc::masked(error.description, connectionText_);
    throw error;
  }

  std::shared_ptr<Handle> environment_;  // outlives the connection handle
  Handle connection_;
  OdbcOptions options_;
  bool connected_ = false;
  bool usable_ = true;
  bool inTransaction_ = false;
  std::string engine_;
  std::string connectionText_;  // only to mask a password a driver might echo
  std::optional<odbc::SocketGuard> socket_;
};

class OdbcProvider : public Provider {
 public:
  explicit OdbcProvider(OdbcOptions options) : options_(options) {}
  std::unique_ptr<Connection> connect(const std::string& connectionText) override {
    return std::make_unique<OdbcConnection>(connectionText, options_);
  }

 private:
  OdbcOptions options_;
};

}  // namespace

std::unique_ptr<Provider> makeOdbcProvider(const OdbcOptions& options) {
  return std::make_unique<OdbcProvider>(options);
}

std::unique_ptr<Provider> makeOdbcProvider() { return makeOdbcProvider(OdbcOptions{}); }

}  // namespace z418kt::data
