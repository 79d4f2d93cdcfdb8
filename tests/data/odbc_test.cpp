// The ODBC provider: connection-text handling and value mapping without a
// server; servers that are down or never answer; and the PostgreSQL test
// server (ctest starts it) for types, errors, timeouts and lost sessions.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <tuple>

#include "data/odbc_provider.h"
#include "data/odbc_values.h"
#include "data/session_errors.h"
#include "support/postgres_server.h"
#include "support/temp_database.h"

namespace z418kt::data {
namespace {

TEST(OdbcText, AdoPrefixPasswordMaskAndExactDecimals) {
  EXPECT_EQ(odbc::withoutAdoPrefix(" provider = msdasql.1 ;DSN=coleta"), "DSN=coleta");
  EXPECT_EQ(odbc::withoutAdoPrefix("DSN=x;Provider=MSDASQL"), "DSN=x;Provider=MSDASQL");
  const std::string text = "Driver=X;UID=u;PWD={s3cr;et}}};Password=other";
  EXPECT_EQ(odbc::masked("bad s3cr;et} and other", text), "bad *** and ***");

  // Exact decimals: I4 when declared without decimals and within 32 bits, else
  // Currency when they fit it, else R8; what is no number stays text.
  const std::tuple<const char*, int, Variant> cases[] = {
      {"-2147483648", 0, Variant(int32_t{-2147483647 - 1})},
      {"2147483648", 0, Variant(Currency{21474836480000})},
      {"7", 4, Variant(Currency{70000})},
      {"-0.0001", 4, Variant(Currency{-1})},
      {"1.23456", 5, Variant(1.23456)},
      {"1234567890123456.5", 1, Variant(1234567890123456.5)},
      {"NaN", 0, Variant("NaN")}};
  for (const auto& [text, scale, expected] : cases)
    EXPECT_EQ(odbc::decimalFromText(text, scale), expected) << text;
}

TEST(OdbcConnect, ServerDownSilentOrNoDriverGivesAnErrorWithoutThePassword) {
  auto provider = makeOdbcProvider(OdbcOptions{2, 2});
  auto expectFailure = [&](const std::string& text, const std::string& state) {
    std::string error =
        testing::failureOf([&] { provider->connect(text + "Pwd=Segredo42"); }).description;
    EXPECT_NE(error.find(state), std::string::npos) << text << ": " << error;
    EXPECT_EQ(error.find("Segredo42"), std::string::npos) << error;
    EXPECT_EQ(error.find("Pwd"), std::string::npos) << error;
  };
  // A silent server: the kernel completes the connection but nothing ever
  // answers, so only the login timeout ends the wait.
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string base = "Driver=PostgreSQL Unicode;Server=127.0.0.1;Database=x;Uid=u;Port=" +
                           std::to_string(ntohs(address.sin_port)) + ";";
  expectFailure("Provider=MSDASQL;" + base, "[08");
  close(listener);  // now the server is down: nothing listens on the port
  expectFailure(base, "[08");
  expectFailure("Driver=No Such Driver;", "[");
}

class OdbcOnPostgresql : public ::testing::Test {
 protected:
  void SetUp() override {
    server = testing::postgresServerConnection();
    if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
    session = provider->connect(server);
  }
  // The error text of a statement that must fail.
  std::string failureOf(Connection& c, const std::string& statement) {
    AutomationError e = testing::failureOf([&] { c.execute(statement); });
    EXPECT_EQ(e.number, -2147467259) << statement;
    return e.description;
  }

  std::unique_ptr<Provider> provider = makeOdbcProvider(OdbcOptions{5, 2});
  std::string server;
  std::unique_ptr<Connection> session;
};

TEST_F(OdbcOnPostgresql, ColumnsComeBackNamedAndTyped) {
  const std::pair<const char*, Variant> expected[] = {
      {"CAST(42 AS INTEGER)", Variant(int32_t{42})},
      {"CAST(5000000000 AS BIGINT)", Variant(5000000000.0)},
      {"CAST(125.5 AS NUMERIC(12,4))", Variant(Currency{1255000})},
      {"CAST(7 AS NUMERIC(10,0))", Variant(int32_t{7})},
      {"CAST(2.5 AS DOUBLE PRECISION)", Variant(2.5)},
      {"'São Paulo, d''Ouro ✓ 𝄞'", Variant("São Paulo, d'Ouro ✓ 𝄞")},
      {"DATE '2024-03-15'", Variant::date(vb::makeDate(2024, 3, 15))},
      {"TIMESTAMP '2024-03-15 09:30:45'", Variant::date(vb::makeDate(2024, 3, 15, 9, 30, 45))},
      {"CAST(NULL AS INTEGER)", Variant::null()},
      {"CAST(NULL AS TEXT)", Variant::null()},
      {"repeat('x', 10000)", Variant(std::string(10000, 'x'))}};
  std::string select;
  for (size_t k = 0; k < std::size(expected); ++k)
    select += (k ? ", " : "SELECT ") + std::string(expected[k].first) + " AS c" + std::to_string(k);
  RowSet r = session->execute(select);
  ASSERT_EQ(r.rows.size(), 1u);
  for (size_t k = 0; k < std::size(expected); ++k) {
    EXPECT_EQ(r.columns.at(k), "c" + std::to_string(k));
    EXPECT_EQ(r.rows[0].at(k), expected[k].second) << expected[k].first;
  }
  // An empty result is an open set without rows.
  RowSet none = session->execute("SELECT 1 AS x WHERE 1 = 0");
  EXPECT_TRUE(none.hasResultSet);
  EXPECT_TRUE(none.rows.empty());
}

TEST_F(OdbcOnPostgresql, ErrorsCarrySqlStateAndMessageButNoPasswordAndTimeOut) {
  std::string missing = failureOf(*session, "SELECT * FROM tabela_que_nao_existe");
  EXPECT_NE(missing.find("[42P01]"), std::string::npos) << missing;
  EXPECT_NE(missing.find("tabela_que_nao_existe"), std::string::npos) << missing;
  std::string syntax = failureOf(*session, "SELEC 1");
  EXPECT_NE(syntax.find("[42601]"), std::string::npos) << syntax;
  // A statement that outlives the query timeout ends in an error, not a wait;
  // after statement errors the session stays usable.
  std::string slow = failureOf(*session, "SELECT pg_sleep(30)");
  EXPECT_TRUE(session->usable());
  EXPECT_EQ(session->execute("SELECT 2").rows.size(), 1u);

  // A wrong password: the error names no password, the right one or the wrong one.
  const std::string password = server.substr(server.find("Pwd=") + 4);
  std::string wrong = server.substr(0, server.find("Pwd=")) + "Pwd=Errada" + password;
  std::string refused = testing::failureOf([&] { provider->connect(wrong); }).description;
  EXPECT_NE(refused.find("[08001]"), std::string::npos) << refused;
  for (const std::string& text : {missing, syntax, slow, refused})
    EXPECT_EQ(text.find(password), std::string::npos) << text;
}

TEST_F(OdbcOnPostgresql, AReadTransactionReadsOneSnapshotEvenAfterItsFirstStatementFails) {
  const std::string mode =
      "SELECT current_setting('transaction_isolation') || ' ' || "
      "current_setting('transaction_read_only')";
  auto writer = provider->connect(server);
  writer->execute("CREATE TABLE IF NOT EXISTS contagem_leitura (n INTEGER)");
  writer->execute("DELETE FROM contagem_leitura");
  // Both ways a failed statement is undone: by the driver, and by our own
  // savepoint when the driver is told to leave it (7.4-0).
  for (std::string suffix : {"", ";Protocol=7.4-0"}) {
    auto reader = provider->connect(server + suffix);
    auto text = [&](const std::string& statement) {
      return vb::concatText(reader->execute(statement).rows.at(0).at(0));
    };
    for (bool firstFails : {false, true}) {
      reader->begin(false);
      if (firstFails) failureOf(*reader, "SELECT 1 / 0");
      EXPECT_EQ(text(mode), "repeatable read on") << suffix << firstFails;
      std::string before = text("SELECT COUNT(*) FROM contagem_leitura");
      writer->execute("INSERT INTO contagem_leitura VALUES (1)");  // committed meanwhile
      EXPECT_EQ(text("SELECT COUNT(*) FROM contagem_leitura"), before) << suffix << firstFails;
      reader->commit();
    }
    // A writing transaction on the same session keeps the server's defaults.
    reader->begin(true);
    EXPECT_EQ(text(mode), "read committed off") << suffix;
    reader->commit();
  }
  writer->execute("DROP TABLE contagem_leitura");
}

TEST_F(OdbcOnPostgresql, ASessionEndedByTheServerIsSeenDeadAndItsStatementDidNotRun) {
  auto victim = provider->connect(server);
  EXPECT_TRUE(victim->alive(true));
  session->execute("SELECT pg_terminate_backend(" +
                   vb::cstr(victim->execute("SELECT pg_backend_pid()").rows[0][0]) + ")");
  for (int i = 0; i < 100 && victim->alive(false); ++i) usleep(10000);
  EXPECT_FALSE(victim->alive(false));  // its socket shows the server's farewell
  try {
    victim->execute("SELECT 1");
    ADD_FAILURE() << "a dead session ran a statement";
  } catch (const ConnectionLost& lost) {
    EXPECT_FALSE(lost.statementRan) << lost.description;
  }
  EXPECT_FALSE(victim->usable());
}

TEST_F(OdbcOnPostgresql, AFrozenServerEndsTheSessionInAnError) {
  // The server process stops mid-session: no timeout on its side, no cancel
  // request reaches it; the session still ends in an error and is not lent again.
  auto frozen = provider->connect("Provider=MSDASQL;" + server);
  pid_t backend = vb::clng(frozen->execute("SELECT pg_backend_pid()").rows[0][0]);
  ASSERT_EQ(kill(backend, SIGSTOP), 0);
  auto start = std::chrono::steady_clock::now();
  std::string stopped = failureOf(*frozen, "SELECT 1");
  auto waited = std::chrono::steady_clock::now() - start;
  kill(backend, SIGCONT);
  EXPECT_NE(stopped.find("timeout"), std::string::npos) << stopped;
  EXPECT_LT(waited, std::chrono::seconds(2 + 2 + 2));  // query timeout + cut-off grace + slack
  EXPECT_FALSE(frozen->usable());
  EXPECT_TRUE(session->usable());
}

}  // namespace
}  // namespace z418kt::data
