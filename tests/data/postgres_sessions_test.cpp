// Sessions on the PostgreSQL test server (ctest starts it), through the ODBC
// provider and through the native one: types, errors, timeouts, snapshots
// and lost sessions, the same test for both; and the native provider's
// reading of a connection text.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "data/odbc_provider.h"
#include "data/postgres_provider.h"
#include "data/session_errors.h"
#include "data/statement_runner.h"
#include "support/postgres_server.h"
#include "support/temp_database.h"

namespace z418kt::data {
namespace {

TEST(PostgresText, OdbcSpellingsBecomeLibpqParametersAndUnknownKeysArePassedOver) {
  auto p = pg::connectParameters(
      "Provider=PostgreSQL;Server=db;PORT=6543;Database=coleta;Uid=ana;Pwd={a;b};uid=other;"
      "Protocol=7.4-1;sslmode=require;ConnSettings=SET search_path TO s",
      SessionTimeouts{7, 60});
  const std::vector<std::string> keys = {
      "host",           "port",    "dbname",          "user",
      "password",       "sslmode", "connect_timeout", "fallback_application_name",
      "client_encoding"};
  const std::vector<std::string> values = {"db",      "6543", "coleta", "ana", "a;b",
                                           "require", "7",    "z418kt", "UTF8"};
  EXPECT_EQ(p.keys, keys);
  EXPECT_EQ(p.values, values);
  EXPECT_EQ(p.connSettings, "SET search_path TO s");
  // The text's own timeout wins; an encoding other than UTF-8 is refused.
  auto own = pg::connectParameters("Provider=PostgreSQL;connect_timeout=30", SessionTimeouts{});
  EXPECT_EQ(own.values.at(0), "30");
  EXPECT_EQ(std::count(own.keys.begin(), own.keys.end(), "connect_timeout"), 1);
  EXPECT_THROW(pg::connectParameters("Provider=PostgreSQL;client_encoding=LATIN1", {}),
               AutomationError);
}

TEST(PostgresqlRunner, OneRunnerOpensEachTextWithItsOwnProvider) {
  std::string server = testing::postgresServerConnection();
  if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
  auto runner = makeDatabaseRunner();
  auto name = [&](const std::string& text) {
    return vb::concatText(
        runner->run({"SELECT current_setting('application_name')", text}).rows.at(0).at(0));
  };
  // Whichever text comes first, the other still gets its own provider.
  EXPECT_NE(name(server), "z418kt");
  EXPECT_EQ(name(testing::nativeText(server)), "z418kt");
  EXPECT_NE(name(server + ";Z418ktTest=1"), "z418kt");
}

TEST(PostgresqlRunner, AForkedChildThatEndsLeavesItsParentsSessionsOpen) {
  std::string server = testing::postgresServerConnection();
  if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
  for (const std::string& text : {server, testing::nativeText(server)}) {
    auto runner = makeDatabaseRunner();
    auto backend = [&] {
      return vb::clng(runner->run({"SELECT pg_backend_pid()", text}).rows.at(0).at(0));
    };
    const int32_t before = backend();
    pid_t child = fork();
    if (child == 0) {
      runner.reset();  // what the child's exit does to the process's runner
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(backend(), before) << text;
  }
}

TEST(PostgresqlValues, TheNativeSessionGivesWhatTheOdbcSessionGives) {
  std::string server = testing::postgresServerConnection();
  if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
  const char* columns[] = {"1::smallint",
                           "3000000000::bigint",
                           "4::numeric",
                           "4.5::numeric",
                           "5::numeric(12,4)",
                           "-0.0001::numeric(19,4)",
                           "6::numeric(10,0)",
                           "1e20::numeric",
                           "'NaN'::numeric",
                           "0.1::float8",
                           "'Infinity'::float8",
                           "true",
                           "false",
                           "'z'::char(3)",
                           "'ç'::varchar(3)",
                           "DATE '2024-02-29'",
                           "TIMESTAMP '1899-12-29 03:04:05.5'",
                           "TIMESTAMP '2024-01-02 23:59:59'",
                           "TIMESTAMPTZ '2024-01-02 03:04:05+02'",
                           "'ab'::bytea",
                           "7::oid",
                           "'{\"a\":1}'::json",
                           "'{1,2}'::int[]",
                           "NULL::numeric",
                           "NULL::date"};
  std::string select = "SELECT ";
  for (size_t k = 0; k < std::size(columns); ++k)
    select += (k ? ", " : "") + std::string(columns[k]) + " AS c" + std::to_string(k);
  RowSet odbc = makeOdbcProvider(SessionTimeouts{})->connect(server)->execute(select);
  RowSet native = makePostgresProvider(SessionTimeouts{})
                      ->connect(testing::nativeText(server))
                      ->execute(select);
  EXPECT_EQ(native.columns, odbc.columns);
  for (size_t k = 0; k < std::size(columns); ++k)
    EXPECT_EQ(native.rows.at(0).at(k), odbc.rows.at(0).at(k)) << columns[k];
}

// Param: "odbc" (psqlODBC through unixODBC) or "libpq" (the native provider).
class OnPostgresql : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    server = testing::postgresServerConnection();
    if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
    if (GetParam() == "libpq") server = testing::nativeText(server);
    session = provider->connect(server);
  }
  // The error text of a statement that must fail.
  std::string failureOf(Connection& c, const std::string& statement) {
    AutomationError e = testing::failureOf([&] { c.execute(statement); });
    EXPECT_EQ(e.number, -2147467259) << statement;
    return e.description;
  }

  std::unique_ptr<Provider> provider = GetParam() == "libpq"
                                           ? makePostgresProvider(SessionTimeouts{5, 2})
                                           : makeOdbcProvider(SessionTimeouts{5, 2});
  std::string server;
  std::unique_ptr<Connection> session;
};

TEST_P(OnPostgresql, ColumnsComeBackNamedAndTyped) {
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

TEST_P(OnPostgresql, ErrorsCarrySqlStateAndMessageButNoPasswordAndTimeOut) {
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

TEST_P(OnPostgresql, AReadTransactionReadsOneSnapshotEvenAfterItsFirstStatementFails) {
  const std::string mode =
      "SELECT current_setting('transaction_isolation') || ' ' || "
      "current_setting('transaction_read_only')";
  auto writer = provider->connect(server);
  // A table of each provider's own: both run at once on one server.
  const std::string table = "contagem_leitura_" + GetParam();
  writer->execute("CREATE TABLE IF NOT EXISTS " + table + " (n INTEGER)");
  writer->execute("DELETE FROM " + table);
  // Both ways psqlODBC's failed statement is undone: by the driver, and by
  // our own savepoint when the driver is told to leave it (7.4-0; the native
  // provider passes over the key).
  for (std::string suffix : {"", ";Protocol=7.4-0"}) {
    auto reader = provider->connect(server + suffix);
    auto text = [&](const std::string& statement) {
      return vb::concatText(reader->execute(statement).rows.at(0).at(0));
    };
    for (bool firstFails : {false, true}) {
      reader->begin(false);
      if (firstFails) failureOf(*reader, "SELECT 1 / 0");
      EXPECT_EQ(text(mode), "repeatable read on") << suffix << firstFails;
      std::string before = text("SELECT COUNT(*) FROM " + table);
      writer->execute("INSERT INTO " + table + " VALUES (1)");  // committed meanwhile
      EXPECT_EQ(text("SELECT COUNT(*) FROM " + table), before) << suffix << firstFails;
      reader->commit();
    }
    // A writing transaction on the same session keeps the server's defaults.
    reader->begin(true);
    EXPECT_EQ(text(mode), "read committed off") << suffix;
    reader->commit();
  }
  writer->execute("DROP TABLE " + table);
}

TEST_P(OnPostgresql, AReadEndsBeforeWhateverTheSessionDoesNext) {
  auto text = [&](const std::string& statement) {
    return vb::concatText(session->execute(statement).rows.at(0).at(0));
  };
  const std::string mode = "SELECT current_setting('transaction_isolation')";
  // After a read, the next statement runs outside it: on its own, with a ';'
  // in it, in a writing transaction, or after the pool looked at the session.
  for (int next = 0; next < 4; ++next) {
    session->begin(false);
    EXPECT_EQ(text(mode), "repeatable read");
    session->commit();
    if (next == 0) {
      EXPECT_EQ(text(mode), "read committed");
    } else if (next == 1) {
      EXPECT_EQ(text("SELECT 'a;b' || " + mode.substr(7)), "a;bread committed");
    }
    if (next == 2) {
      session->begin(true);
      EXPECT_EQ(text(mode), "read committed");
      session->rollback();
    } else if (next == 3) {
      EXPECT_TRUE(session->alive(false));
    }
  }
  EXPECT_EQ(text(mode), "read committed");
}

TEST_P(OnPostgresql, ASessionEndedByTheServerIsSeenDeadAndItsStatementDidNotRun) {
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

TEST_P(OnPostgresql, AFrozenServerEndsTheSessionInAnError) {
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

INSTANTIATE_TEST_SUITE_P(Providers, OnPostgresql, ::testing::Values("odbc", "libpq"));

// What a statement gave: its rows with their types, or its error's text.
std::string outcome(Connection& session, const std::string& statement) {
  try {
    RowSet rows = session.execute(statement);
    std::string out = rows.hasResultSet ? "rows" : "none";
    for (const auto& c : rows.columns) out += " [" + c + "]";
    for (const auto& row : rows.rows)
      for (const Variant& v : row)
        out += " " + std::to_string(static_cast<int>(v.type())) + ":" + vb::concatText(v);
    return out;
  } catch (const AutomationError& e) {
    // Where the server points in the text (LINE 1: ...) depends on what went
    // with the statement in its round trip: the message itself is compared.
    return "error " + e.description.substr(0, e.description.find("\nLINE"));
  }
}

TEST(PostgresqlNative, KeptShapesAnswerAsTheTextsAndCostNoRoundTripOfTheirOwn) {
  std::string server = testing::postgresServerConnection();
  if (server.empty()) GTEST_SKIP() << "no PostgreSQL test server";
  auto provider = makePostgresProvider(SessionTimeouts{5, 2});
  auto shared = provider->connect(testing::nativeText(server));
  auto unshared = provider->connect(testing::nativeText(server) + ";Statement Cache=0");
  auto roundTripsOf = [](const std::function<void()>& work) {
    uint64_t before = pg::roundTrips();
    work();
    return pg::roundTrips() - before;
  };
  // Values of every kind, places the server cannot type a bare value, and
  // failures whose diagnostics quote the text: each twice, the second time
  // through the shape kept the first time.
  const std::string statements[] = {
      "SELECT 'x' AS a, 1 AS b WHERE 2 = 2",
      "SELECT CAST('12' AS INTEGER) + 5 AS n, 5000000000 + 1 AS big, 1.5 * 2 AS d, 'a' || 'b' "
      "AS t WHERE 'x' = 'x' AND 3 > 2",
      "SELECT 1 AS n WHERE 1 = 'abc'",
      "SELECT 1 / 0 AS n WHERE 7 = 7",
      "SELECT CASE WHEN 1 = 1 THEN 'a' ELSE 'b' END AS c",
      "SELECT COUNT(*) AS n FROM pg_class WHERE relname = 'pg_class' OR relpages > 1e30"};
  for (int pass = 0; pass < 2; ++pass)
    for (const std::string& statement : statements) {
      std::string expected;
      uint64_t alone = roundTripsOf([&] { expected = outcome(*unshared, statement); });
      std::string got;
      uint64_t kept = roundTripsOf([&] { got = outcome(*shared, statement); });
      EXPECT_EQ(got, expected) << statement;
      // Once its shape is known, a statement costs what its text costs (a
      // failing one runs once more as written, for its own diagnostic).
      if (pass == 1 && expected.rfind("error", 0) != 0) {
        EXPECT_EQ(kept, alone) << statement;
      }
    }

  // Inside transactions too, each the first of its shape on its session. A
  // shape the server will not prepare is no failure; a failed statement
  // gives up a writing transaction (what follows is not sent, the commit is
  // refused), while a read goes on in a new one.
  auto ending = [](Connection& session) -> std::string {
    try {
      session.commit();
      return "committed";
    } catch (const AutomationError&) {
      return "refused";
    }
  };
  for (bool writes : {true, false})
    for (const std::string& statement : statements) {
      std::string got[2];
      auto fresh = provider->connect(testing::nativeText(server));
      for (int k = 0; k < 2; ++k) {
        Connection& session = k ? *unshared : *fresh;
        session.begin(writes);
        std::string first = outcome(session, statement);
        got[k] = first + " | " + outcome(session, "SELECT 1 AS one") + " | " + ending(session);
        bool failed = first.rfind("error", 0) == 0;
        EXPECT_EQ(got[k].substr(got[k].rfind(' ') + 1), writes && failed ? "refused" : "committed")
            << statement << writes;
      }
      EXPECT_EQ(got[0], got[1]) << statement << writes;
    }

  // A read of three statements: three round trips, its BEGIN going with the
  // first and its COMMIT with whatever the session sends next.
  for (auto* session : {shared.get(), unshared.get()}) {
    uint64_t read = roundTripsOf([&] {
      session->begin(false);
      for (int id : {1, 2, 3})
        session->execute("SELECT relname AS r FROM pg_class WHERE oid = " + std::to_string(id));
      session->commit();
    });
    EXPECT_EQ(read, 3u);
    // A write: one round trip a statement, one for the commit.
    const std::string table = "rodadas_" + std::to_string(getpid());
    session->execute("CREATE TABLE IF NOT EXISTS " + table + " (n INTEGER, t TEXT)");
    uint64_t write = roundTripsOf([&] {
      session->begin(true);
      session->execute("INSERT INTO " + table + " VALUES (1, 'um')");
      session->execute("INSERT INTO " + table + " VALUES (2, 'it''s')");
      session->commit();
    });
    EXPECT_EQ(write, 3u);
    EXPECT_EQ(outcome(*session, "SELECT n, t FROM " + table + " ORDER BY n"),
              "rows [n] [t] 3:1 8:um 3:2 8:it's");
    session->execute("DROP TABLE " + table);
  }

  // A place first given a whole number takes a decimal, a larger number and
  // a text later in the same writing transaction: nothing is given up, and
  // every value is stored as written.
  const std::string table = "larguras_" + std::to_string(getpid());
  shared->execute("CREATE TABLE " + table + " (k INTEGER, m NUMERIC(20, 4), n INTEGER)");
  for (int run = 0; run < 2; ++run) {
    shared->begin(true);
    for (const char* values : {"1, 2, 7", "2, 0.75, 8", "3, 5000000000, 9", "4, 3, '10'",
                               "5, 1.25, 11", "6, NULL, NULL"})
      shared->execute("INSERT INTO " + table + " VALUES (" + values + ")");
    EXPECT_EQ(ending(*shared), "committed") << run;
  }
  EXPECT_EQ(outcome(*shared, "SELECT COUNT(*) AS c, SUM(m) AS s, SUM(n) AS t FROM " + table),
            "rows [c] [s] [t] 3:12 6:10000000014 3:90");
  shared->execute("DROP TABLE " + table);
}

}  // namespace
}  // namespace z418kt::data
