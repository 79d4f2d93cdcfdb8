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

TEST(DialectAdapters, PlainProcedureCallsReadInOnePassAsTheTokenizerReadsThem) {
  using A = sql::ExecArgument::Kind;
  auto describe = [](const sql::ExecCall& call) {
    std::string out = call.procedure + ":";
    for (const auto& a : call.arguments)
      out += (a.kind == A::Null ? "NULL" : a.kind == A::Text ? "'" + a.value + "'" : a.value) + "|";
    return out;
  };
  // One call object reused from text to text, as a session does: nothing of
  // a longer call before may stay behind.
  sql::ExecCall call;
  for (const char* text :
       {"EXEC SP_KTR_INC_CARGA_awb   12, -3.5, 'a, ''b''; --c', NULL, +7 ;", "  execute dbo.SP_X",
        "EXEC SP_X;", "EXEC SP_X 'x'", "EXEC SP_X .5, -.5, 1e3, 12.", "EXEC SP_X.5",
        "EXEC SP_X '', 'it''s', '\xC3\xA9'  ;  ", "Exec sp_x\t\n1\r\n,\n2 ", "EXEC SP_X nuLL"}) {
    std::string error;
    auto parsed = sql::parseExec(text, error);
    ASSERT_TRUE(parsed) << text << ": " << error;
    ASSERT_TRUE(sql::readPlainExec(text, call)) << text;
    EXPECT_EQ(describe(call), describe(*parsed)) << text;
  }
  // Whatever is not plainly a call is left to the tokenizer: comments,
  // blanks around a '.', and every malformed call, whose error it words.
  for (const char* text : {"EXEC X 1 2",
                           "EXEC X 1,",
                           "EXEC X 'open",
                           "EXEC X 'a''",
                           "EXEC X a",
                           "EXEC X (SELECT 1)",
                           "EXEC X 1; DROP TABLE T",
                           "EXEC X - 1",
                           "EXEC",
                           "EXEC X --1\n",
                           "EXEC /*c*/ X 1",
                           "EXEC dbo . X",
                           "EXEC X 1 ; ;",
                           "EXEC X 12abc",
                           "EXEC \"X\" 1",
                           "EXECX 1",
                           "SELECT 'EXEC X 1'",
                           "-- EXEC X\nEXEC Y",
                           "EXEC X 1 --c",
                           "EXEC X --5"}) {
    EXPECT_FALSE(sql::readPlainExec(text, call)) << text;
  }
}

TEST(DialectAdapters, ValuesAreCutOutOnlyWhereABoundValueActsTheSame) {
  // Each text, its shape ('|' between the values after it) and the values
  // as "kind:value" (t text, n number).
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // The component's own texts: comparisons, VALUES, SET, function arguments.
      {" SELECT  CARGA.ALTURA_M FROM CARGA WHERE CARGA.DOCTO_TRANSPORTE_ID =  100 ",
       " SELECT  CARGA.ALTURA_M FROM CARGA WHERE CARGA.DOCTO_TRANSPORTE_ID =  ?1 ", "n:100|"},
      {"INSERT INTO X VALUES ( 7 , 'O''Brien; --' , -2.5 , NULL , datetime('now', 'localtime'))",
       "INSERT INTO X VALUES ( ?1 , ?2 , -?3 , NULL , datetime(?4, ?5))",
       "n:7|t:O'Brien; --|n:2.5|t:now|t:localtime|"},
      {"UPDATE T SET A = 1e3 , B = '' WHERE C IN ( 'x' , 'y' ) AND D BETWEEN 1 AND .5",
       "UPDATE T SET A = ?1 , B = ?2 WHERE C IN ( ?3 , ?4 ) AND D BETWEEN ?5 AND ?6",
       "n:1e3|t:|t:x|t:y|n:1|n:.5|"},
      // A select list keeps its values, but for a whole item with an alias.
      {" SELECT 0 RETORNO , '' MSG_RET FROM INFRA_IDS WHERE 1 = 1",
       " SELECT ?1 RETORNO , ?2 MSG_RET FROM INFRA_IDS WHERE 1 = ?3", "n:0|t:|n:1|"},
      {"SELECT 5 AS N, 1, 'a' || 'b' AB, COALESCE(X, 0) C, (SELECT 1 FROM T WHERE Y = 2) S FROM T",
       "SELECT ?1 AS N, 1, 'a' || 'b' AB, COALESCE(X, 0) C, (SELECT 1 FROM T WHERE Y = 2) S FROM T",
       "n:5|"},
      {"SELECT A FROM T WHERE B IN (SELECT B FROM U WHERE C = 'k') ORDER BY 1, 'x'",
       "SELECT A FROM T WHERE B IN (SELECT B FROM U WHERE C = ?1) ORDER BY 1, 'x'", "t:k|"},
      // Typed literals, casts, blobs and values glued to words stay.
      {"SELECT A FROM T WHERE D = DATE '2024-01-01' AND E = X'00' AND F = '1'::int AND G = 1abc",
       "SELECT A FROM T WHERE D = DATE '2024-01-01' AND E = X'00' AND F = '1'::int AND G = 1abc",
       ""},
      // Numbers a bound value would not carry exactly as written stay: past
      // 64 bits, and decimals SQLite reads other than to the nearest double.
      // Those it reads to the nearest double go as values.
      {"DELETE FROM T WHERE A = 99999999999999999999 OR A = 9223372036854775807 OR A = 0.35 "
       "OR A = 0.002877 OR A = 0.023859 OR A = 0.002878 OR A = 1.2",
       "DELETE FROM T WHERE A = 99999999999999999999 OR A = ?1 OR A = ?2 "
       "OR A = 0.002877 OR A = 0.023859 OR A = ?3 OR A = ?4",
       "n:9223372036854775807|n:0.35|n:0.002878|n:1.2|"},
  };
  for (const auto& [in, shape, values] : cases) {
    auto shaped = sql::shapeStatement(in, sql::Placeholder::Question);
    ASSERT_TRUE(shaped) << in;
    EXPECT_EQ(shaped->shape, shape) << in;
    std::string got;
    for (const auto& v : shaped->values)
      got += (v.kind == sql::ExecArgument::Kind::Text ? "t:" : "n:") + v.value + "|";
    EXPECT_EQ(got, values) << in;
  }
  auto dollar =
      sql::shapeStatement("SELECT A FROM T WHERE B = 'x' AND C = 2", sql::Placeholder::Dollar);
  ASSERT_TRUE(dollar);
  EXPECT_EQ(dollar->shape, "SELECT A FROM T WHERE B = $1 AND C = $2");
  // PostgreSQL reads a decimal literal as an exact numeric: only those a
  // double holds exactly go as values there.
  dollar =
      sql::shapeStatement("SELECT A FROM T WHERE B = 0.35 AND C = 2.5", sql::Placeholder::Dollar);
  ASSERT_TRUE(dollar);
  EXPECT_EQ(dollar->shape, "SELECT A FROM T WHERE B = 0.35 AND C = $1");

  // Texts whose form is not shared at all.
  for (const std::string& text : std::vector<std::string>{
           "CREATE TABLE T (A DEFAULT 'x')", "PRAGMA user_version = 5",
           "SELECT A FROM T WHERE B = ?", "SELECT A FROM T WHERE B = :b",
           "SELECT A FROM T WHERE B = 'open", "DO $$ SELECT 1 $$", "EXEC SP_X 1",
           std::string("SELECT A FROM T WHERE B = 'n") + '\0' + "l'"})
    EXPECT_FALSE(sql::shapeStatement(text, sql::Placeholder::Question)) << text;
}

TEST(DialectAdapters, AStatementRecognisedByAKeptFormIsCutAsTheTokenizerCutsIt) {
  // The form of the first text of each pair; the second is recognised by it
  // exactly when the tokenizer gives it the same shape, and then with the
  // tokenizer's values.
  const std::pair<std::string, std::string> pairs[] = {
      {"SELECT A FROM T WHERE B = 'x' AND C = 2", "SELECT A FROM T WHERE B = 'it''s' AND C = 12.5"},
      {"SELECT A FROM T WHERE B = 'x' AND C = 2", "SELECT A FROM T WHERE B = 7 AND C = '2'"},
      {"SELECT A FROM T WHERE B = 'x'", "SELECT A FROM T WHERE B = ''"},
      // Values the tokenizer keeps in the shape, or reads as something else.
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 0.35"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 99999999999999999999"},
      {"SELECT A FROM T WHERE C = 2 AND D = 1", "SELECT A FROM T WHERE C = 2e AND D = 1"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = -2"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = NULL"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 'open"},
      // Values at the edges of the quick reads of whole numbers and literals.
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 123456789012345678"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 1234567890123456789"},
      {"SELECT A FROM T WHERE C = 2 AND D = 1", "SELECT A FROM T WHERE C = 2E3 AND D = 1"},
      {"SELECT A FROM T WHERE C = 2 AND D = 1", "SELECT A FROM T WHERE C = 2. AND D = 1"},
      {"SELECT A FROM T WHERE C = 2", "SELECT A FROM T WHERE C = 007"},
      // Decimals read in place: only those the tokenizer would cut out too.
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 0.002877 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 0.002878 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 00.40 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 0.0 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 0.4e1 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1", "SELECT A FROM T WHERE C = 0.4.5 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1",
       "SELECT A FROM T WHERE C = 1234567890123456.5 AND D = 1"},
      {"SELECT A FROM T WHERE C = 0.4 AND D = 1",
       "SELECT A FROM T WHERE C = 0.00000000000000000000001 AND D = 1"},
      {"SELECT A FROM T WHERE B = 'x'", "SELECT A FROM T WHERE B = ''''"},
      {"SELECT A FROM T WHERE B = 'x'", "SELECT A FROM T WHERE B = 'a'''"},
      {"SELECT A FROM T WHERE B = 'x'", "SELECT A FROM T WHERE B = 'open''"},
      {"SELECT A FROM T WHERE B = 'x' AND C = 1", "SELECT A FROM T WHERE B = 'x''' AND C = 1"},
      {"SELECT A FROM T WHERE C = 'a' OR D = 'b'", "SELECT A FROM T WHERE C = 'a' OR D = 'b' OR 1"},
      {"SELECT A FROM T WHERE C = 'a'", "SELECT A FROM T WHERE C = 'a'; DELETE FROM T"},
      {"SELECT A FROM T WHERE C = 'a'", "SELECT A FROM T WHERE C = 'a' -- x"},
      {"SELECT A FROM T WHERE C = 'a'", std::string("SELECT A FROM T WHERE C = 'n") + '\0' + "'"},
      // Fixed text that looks like a placeholder stays fixed text.
      {"SELECT A FROM T WHERE B = 1 ORDER BY '?1'", "SELECT A FROM T WHERE B = 2 ORDER BY '?1'"},
      {"SELECT A FROM T WHERE B = 1 ORDER BY '?1'", "SELECT A FROM T WHERE B = 2 ORDER BY '?2'"},
      {"SELECT 'v' AS X, 1 AS Y FROM T", "SELECT 'w' AS X, 2.5 AS Y FROM T"},
      {"UPDATE T SET A = 'a', B = 1 WHERE C IN (1, 2)",
       "UPDATE T SET A = 'b', B = 2 WHERE C IN (3, 'q')"},
  };
  for (const auto& [first, second] : pairs) {
    auto kept = sql::shapeStatement(first, sql::Placeholder::Question);
    ASSERT_TRUE(kept) << first;
    sql::ShapeForm form(*kept, sql::Placeholder::Question);
    std::vector<sql::ExecArgument> values(5);  // room from an earlier statement
    values[0].value = "left over";
    bool recognised = form.cut(second, values);
    auto own = sql::shapeStatement(second, sql::Placeholder::Question);
    EXPECT_EQ(recognised, own && own->shape == kept->shape) << second;
    if (!recognised || !own) continue;
    ASSERT_EQ(values.size(), own->values.size()) << second;
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(values[i].kind, own->values[i].kind) << second;
      EXPECT_EQ(values[i].value, own->values[i].value) << second;
    }
  }
}

}  // namespace
}  // namespace z418kt::data
