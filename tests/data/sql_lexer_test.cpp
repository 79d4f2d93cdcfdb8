// The statement rewrites of the dialect adapters, on texts that try to fool
// them: keywords inside literals, quoted names and comments, doubled quotes.
#include "data/sql_lexer.h"

#include <gtest/gtest.h>

#include "data/sqlite_connection.h"

namespace z418kt::data {
namespace {

TEST(SqlLexer, TokensGiveTheTextBackAndKeepLiteralsWhole) {
  const std::string text =
      "SELECT 'it''s -- no comment; EXEC x', \"SYSDATE\", $f$ a; b $f$, 1.5e3 -- tail\n"
      "/* SYSDATE; */ FROM t; 'open";
  std::string joined;
  std::vector<sql::TokenKind> kinds;
  for (const auto& t : sql::tokenize(text)) {
    joined += t.text;
    if (t.kind != sql::TokenKind::Blank) kinds.push_back(t.kind);
  }
  EXPECT_EQ(joined, text);
  using K = sql::TokenKind;
  EXPECT_EQ(kinds, (std::vector<K>{K::Word, K::Literal, K::Punct, K::QuotedName, K::Punct,
                                   K::DollarQuoted, K::Punct, K::Number, K::Comment, K::Comment,
                                   K::Word, K::Word, K::Punct, K::Literal}));
  EXPECT_EQ(sql::literalValue("'it''s'"), "it's");
  EXPECT_EQ(sql::splitStatements("a 'x;y'; -- c;\n ; b $q$ 1; 2 $q$;"),
            (std::vector<std::string>{"a 'x;y'", "b $q$ 1; 2 $q$"}));
}

TEST(SqlLexer, RewritesTouchOnlyCodeOutsideLiteralsAndComments) {
  EXPECT_EQ(sql::replaceWord("SELECT SYSDATE, sysdate, 'SYSDATE', \"SYSDATE\", t.SYSDATE, "
                             "SYSDATE_X -- SYSDATE\n",
                             "SYSDATE", "NOW()"),
            "SELECT NOW(), NOW(), 'SYSDATE', \"SYSDATE\", t.SYSDATE, SYSDATE_X -- SYSDATE\n");
  EXPECT_EQ(adaptForSqlite(" INSERT INTO X VALUES ( SYSDATE , 'SYSDATE''s' ) "),
            " INSERT INTO X VALUES ( datetime('now', 'localtime') , 'SYSDATE''s' ) ");

  EXPECT_EQ(sql::addDeleteFrom(" DELETE CARGA  WHERE CARGA_ID =  5 "),
            " DELETE FROM CARGA  WHERE CARGA_ID =  5 ");
  EXPECT_EQ(sql::addDeleteFrom("/* x */ delete carga"), "/* x */ delete FROM carga");
  for (const char* unchanged : {"DELETE FROM CARGA", "SELECT 'DELETE CARGA' FROM T", "DELETE",
                                "UPDATE T SET A = 'DELETE X'"})
    EXPECT_EQ(sql::addDeleteFrom(unchanged), unchanged);
}

TEST(SqlLexer, ExecCallsSplitIntoLiteralArguments) {
  std::string error;
  auto call =
      sql::parseExec("EXEC SP_KTR_INC_CARGA_awb   12, -3.5, 'a, ''b''; --c', NULL, +7 ;", error);
  ASSERT_TRUE(call) << error;
  EXPECT_EQ(call->procedure, "SP_KTR_INC_CARGA_awb");
  using A = sql::ExecArgument::Kind;
  ASSERT_EQ(call->arguments.size(), 5u);
  EXPECT_EQ(call->arguments[0].kind, A::Number);
  EXPECT_EQ(call->arguments[0].value, "12");
  EXPECT_EQ(call->arguments[1].value, "-3.5");
  EXPECT_EQ(call->arguments[2].kind, A::Text);
  EXPECT_EQ(call->arguments[2].value, "a, 'b'; --c");
  EXPECT_EQ(call->arguments[3].kind, A::Null);
  EXPECT_EQ(call->arguments[4].value, "7");

  auto bare = sql::parseExec("execute dbo.SP_X", error);
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->procedure, "dbo.SP_X");
  EXPECT_TRUE(bare->arguments.empty());

  // Not a call: nothing, and no error.
  for (const char* text : {"SELECT 'EXEC X 1'", "-- EXEC X\nSELECT 1", ""}) {
    EXPECT_FALSE(sql::parseExec(text, error));
    EXPECT_EQ(error, "") << text;
  }
  // A call whose arguments are not plain literals: refused with a reason.
  for (const char* text : {"EXEC X 1 2", "EXEC X 1,", "EXEC X 'open", "EXEC X 'a''", "EXEC X a",
                           "EXEC X (SELECT 1)", "EXEC X 1; DROP TABLE T", "EXEC X - 1", "EXEC"}) {
    EXPECT_FALSE(sql::parseExec(text, error)) << text;
    EXPECT_NE(error, "") << text;
  }
}

}  // namespace
}  // namespace z418kt::data
