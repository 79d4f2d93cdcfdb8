// The ODBC provider against the PostgreSQL test server (ctest starts it).
#include <gtest/gtest.h>
#include <signal.h>

#include "data/odbc_provider.h"
#include "support/postgres_server.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {
namespace {

class OdbcOnPostgresql : public ::testing::Test {
 protected:
  void SetUp() override {
    server = testing::postgresServerConnection();
    if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
    session = provider->connect(server);
  }
  // The error text of a statement that must fail.
  std::string failureOf(Connection& c, const std::string& statement) {
    try {
      c.execute(statement);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, -2147467259);
      return e.description;
    }
    ADD_FAILURE() << "no error from " << statement;
    return {};
  }
  std::string password() const { return server.substr(server.find("Pwd=") + 4); }

  std::unique_ptr<Provider> provider = makeOdbcProvider(OdbcOptions{5, 2});
  std::string server;
  std::unique_ptr<Connection> session;
};

TEST_F(OdbcOnPostgresql, ColumnsComeBackNamedAndTyped) {
  EXPECT_EQ(session->engine(), "postgresql");
  RowSet r = session->execute(
      "SELECT CAST(42 AS INTEGER) AS i, CAST(5000000000 AS BIGINT) AS big, "
      "CAST(-7 AS SMALLINT) AS s, CAST(125.5 AS NUMERIC(12,4)) AS peso, "
      "CAST(1500.75 AS NUMERIC(19,4)) AS valor, CAST(1.23456 AS NUMERIC(12,5)) AS fino, "
      "CAST(7 AS NUMERIC(10,0)) AS inteiro, CAST(2.5 AS DOUBLE PRECISION) AS d, "
      "'São Paulo, d''Ouro ✓ 𝄞' AS t, DATE '2024-03-15' AS dia, "
      "TIMESTAMP '2024-03-15 09:30:45' AS ts, CAST(NULL AS INTEGER) AS ni, "
      "CAST(NULL AS TEXT) AS nt, CAST(NULL AS NUMERIC) AS nn, repeat('x', 10000) AS longo");
  ASSERT_TRUE(r.hasResultSet);
  EXPECT_EQ(r.columns,
            (std::vector<std::string>{"i", "big", "s", "peso", "valor", "fino", "inteiro", "d", "t",
                                      "dia", "ts", "ni", "nt", "nn", "longo"}));
  ASSERT_EQ(r.rows.size(), 1u);
  const auto& v = r.rows[0];
  EXPECT_EQ(v[0], Variant(int32_t{42}));
  EXPECT_EQ(v[1], Variant(5000000000.0));
  EXPECT_EQ(v[2], Variant(int32_t{-7}));
  EXPECT_EQ(v[3], Variant(Currency{1255000}));
  EXPECT_EQ(v[4], Variant(Currency{15007500}));
  EXPECT_EQ(v[5], Variant(1.23456));
  EXPECT_EQ(v[6], Variant(int32_t{7}));
  EXPECT_EQ(v[7], Variant(2.5));
  EXPECT_EQ(v[8], Variant("São Paulo, d'Ouro ✓ 𝄞"));
  EXPECT_EQ(v[9], Variant::date(vb::makeDate(2024, 3, 15)));
  EXPECT_EQ(v[10], Variant::date(vb::makeDate(2024, 3, 15, 9, 30, 45)));
  EXPECT_TRUE(v[11].isNull());
  EXPECT_TRUE(v[12].isNull());
  EXPECT_TRUE(v[13].isNull());
  EXPECT_EQ(v[14], Variant(std::string(10000, 'x')));

  RowSet none = session->execute("SELECT 1 AS x WHERE 1 = 0");
  EXPECT_TRUE(none.hasResultSet);
  EXPECT_TRUE(none.rows.empty());
}

TEST_F(OdbcOnPostgresql, StatementsWithoutResultsAndTheDialect) {
  EXPECT_FALSE(
      session->execute("CREATE TEMP TABLE t_odbc (id INTEGER, quando TIMESTAMP)").hasResultSet);
  EXPECT_FALSE(session->execute("INSERT INTO t_odbc VALUES (1, SYSDATE)").hasResultSet);
  EXPECT_FALSE(session->execute("INSERT INTO t_odbc VALUES (2, NULL)").hasResultSet);
  // DELETE without FROM, and one that removes nothing (no rows affected).
  EXPECT_FALSE(session->execute("DELETE t_odbc WHERE id = 2").hasResultSet);
  EXPECT_FALSE(session->execute("DELETE t_odbc WHERE id = 99").hasResultSet);
  RowSet rows = session->execute("SELECT id, quando FROM t_odbc");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0][1].type(), VarType::Date);

  session->execute(
      "CREATE FUNCTION pg_temp.sp_ktr_eco(a TEXT, b TEXT, c TEXT) "
      "RETURNS TABLE (retorno INTEGER, msg_ret TEXT) LANGUAGE sql AS "
      "$$ SELECT CAST(a AS INTEGER) + CAST(b AS INTEGER), c $$");
  RowSet call = session->execute("EXEC pg_temp.SP_KTR_ECO   40, 2, 'd''Ouro'");
  ASSERT_EQ(call.rows.size(), 1u);
  EXPECT_EQ(call.rows[0][0], Variant(int32_t{42}));
  EXPECT_EQ(call.rows[0][1], Variant("d'Ouro"));
}

TEST_F(OdbcOnPostgresql, ErrorsCarrySqlStateAndMessageButNoPassword) {
  std::string missing = failureOf(*session, "SELECT * FROM tabela_que_nao_existe");
  EXPECT_NE(missing.find("[42P01]"), std::string::npos) << missing;
  EXPECT_NE(missing.find("tabela_que_nao_existe"), std::string::npos) << missing;
  std::string syntax = failureOf(*session, "SELEC 1");
  EXPECT_NE(syntax.find("[42601]"), std::string::npos) << syntax;
  // A statement error leaves the session usable.
  EXPECT_TRUE(session->usable());
  EXPECT_EQ(session->execute("SELECT 1").rows.size(), 1u);

  // A statement that outlives the query timeout ends in an error, not a wait.
  std::string slow = failureOf(*session, "SELECT pg_sleep(30)");
  EXPECT_FALSE(slow.empty());
  EXPECT_EQ(session->execute("SELECT 2").rows.size(), 1u);

  // A wrong password: the error names no password, the right one or the wrong one.
  std::string wrong = server.substr(0, server.find("Pwd=")) + "Pwd=Errada" + password();
  try {
    provider->connect(wrong);
    ADD_FAILURE() << "connected with a wrong password";
  } catch (const AutomationError& e) {
    EXPECT_NE(e.description.find("[08001]"), std::string::npos) << e.description;
    EXPECT_EQ(e.description.find(password()), std::string::npos) << e.description;
  }
  for (const std::string& text : {missing, syntax, slow})
    EXPECT_EQ(text.find(password()), std::string::npos) << text;
}

TEST_F(OdbcOnPostgresql, ALostSessionIsNoLongerUsable) {
  auto other = provider->connect("Provider=MSDASQL;" + server);
  RowSet pid = other->execute("SELECT pg_backend_pid()");
  session->execute("SELECT pg_terminate_backend(" + vb::cstr(pid.rows[0][0]) + ")");
  std::string lost = failureOf(*other, "SELECT 1");
  EXPECT_FALSE(other->usable()) << lost;
  EXPECT_TRUE(session->usable());

  // A server process that freezes mid-session: no timeout on its side, no
  // cancel request reaches it; the session still ends in an error.
  auto frozen = provider->connect(server);
  pid_t backend = vb::clng(frozen->execute("SELECT pg_backend_pid()").rows[0][0]);
  ASSERT_EQ(kill(backend, SIGSTOP), 0);
  std::string stopped = failureOf(*frozen, "SELECT 1");
  kill(backend, SIGCONT);
  EXPECT_NE(stopped.find("[08S01]"), std::string::npos) << stopped;
  EXPECT_FALSE(frozen->usable());
}

}  // namespace
}  // namespace z418kt::data
