// The statement rewrites of the SQLite and PostgreSQL adapters, on texts that
// try to fool them: keywords inside literals, quoted names and comments,
// doubled quotes, procedure calls that smuggle in more than literals.
#include "data/sql_lexer.h"

#include <gtest/gtest.h>

#include "data/postgres_dialect.h"
#include "data/sqlite_connection.h"
#include "support/temp_database.h"

namespace z418kt::data {
namespace {

TEST(DialectAdapters, RewriteOnlyCodeOutsideLiteralsQuotedNamesAndComments) {
  // '@' in the expected text stands for each engine's current date and time.
  const std::pair<std::string, std::string> cases[] = {
      {" INSERT INTO X VALUES ( SYSDATE , 'SYSDATE''s' ) ",
       " INSERT INTO X VALUES ( @ , 'SYSDATE''s' ) "},
      {"SELECT SYSDATE, sysdate, 'SYSDATE', \"SYSDATE\", t.SYSDATE, SYSDATE_X -- SYSDATE\n",
       "SELECT @, @, 'SYSDATE', \"SYSDATE\", t.SYSDATE, SYSDATE_X -- SYSDATE\n"},
      {" DELETE CARGA  WHERE CARGA_ID =  5 ", " DELETE FROM CARGA  WHERE CARGA_ID =  5 "},
      {"/* x */ delete carga", "/* x */ delete FROM carga"},
      {"SELECT SYSDATE, 'open SYSDATE", "SELECT @, 'open SYSDATE"},
      {"DELETE FROM CARGA WHERE X = 'DELETE CARGA'", ""},
      {"DELETE", ""},
      {"-- EXEC X\nSELECT 'EXEC X 1'", ""},
      {"UPDATE DOCTO_TRANSPORTE SET TXT_EMBALAGEM = 'EXEC SP_X 1' WHERE 1 = 0", ""},
      {"UPDATE T SET A = 'DELETE X'", ""}};
  auto expected = [](std::string text, const std::string& now) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, now);
    return text;
  };
  for (const auto& [in, out] : cases) {
    const std::string& want = out.empty() ? in : out;
    EXPECT_EQ(adaptForSqlite(in), expected(want, "datetime('now', 'localtime')"));
    EXPECT_EQ(adaptForPostgres(in), expected(want, "LOCALTIMESTAMP(0)"));
  }
}

TEST(DialectAdapters, ProcedureCallsTakePlainLiteralsOnly) {
  std::string error;
  auto call =
      sql::parseExec("EXEC SP_KTR_INC_CARGA_awb   12, -3.5, 'a, ''b''; --c', NULL, +7 ;", error);
  ASSERT_TRUE(call) << error;
  using A = sql::ExecArgument::Kind;
  std::string parsed = call->procedure + ":";
  for (const auto& a : call->arguments)
    parsed += (a.kind == A::Null   ? "NULL"
               : a.kind == A::Text ? "'" + a.value + "'"
                                   : a.value) +
              "|";
  EXPECT_EQ(parsed, "SP_KTR_INC_CARGA_awb:12|-3.5|'a, 'b'; --c'|NULL|7|");
  // PostgreSQL gets a function call, every argument quoted, NULL kept.
  EXPECT_EQ(adaptForPostgres("EXEC SP_KTR_INC_CARGA_awb   7, -0.5, NULL, 'd''Ouro; DELETE X', 2 "),
            "SELECT * FROM SP_KTR_INC_CARGA_awb('7', '-0.5', NULL, 'd''Ouro; DELETE X', '2')");
  EXPECT_EQ(adaptForPostgres("EXEC SP_X 'SYSDATE', 'EXEC Y'"),
            "SELECT * FROM SP_X('SYSDATE', 'EXEC Y')");
  EXPECT_EQ(adaptForPostgres("execute dbo.SP_X"), "SELECT * FROM dbo.SP_X()");

  // Anything but literals is refused with a reason, never sent half-understood.
  for (const char* text : {"EXEC X 1 2", "EXEC X 1,", "EXEC X 'open", "EXEC X 'a''", "EXEC X a",
                           "EXEC X (SELECT 1)", "EXEC X 1; DROP TABLE T", "EXEC X - 1", "EXEC"}) {
    EXPECT_FALSE(sql::parseExec(text, error)) << text;
    EXPECT_NE(error, "") << text;
    EXPECT_NE(testing::failureOf([&] { adaptForPostgres(text); }).description.find("PostgreSQL"),
              std::string::npos)
        << text;
  }
}

}  // namespace
}  // namespace z418kt::data
