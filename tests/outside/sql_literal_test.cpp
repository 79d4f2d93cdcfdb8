// Literals written for statements must hold whatever the user typed, and no
// typed text may end them early.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "data/recordset.h"
#include "outside/components.h"

namespace z418kt {
namespace {

// One literal: opens and closes with a quote, and every quote inside is doubled.
bool isOneTextLiteral(const std::string& sql) {
  if (sql.size() < 2 || sql.front() != '\'' || sql.back() != '\'') return false;
  for (size_t i = 1; i + 1 < sql.size(); ++i) {
    if (sql[i] == '\'' && (i + 2 >= sql.size() || sql[++i] != '\'')) return false;
  }
  return true;
}

// The text a real engine reads from "SELECT <literal>", or "<refused>" when it
// is not exactly one statement yielding one value.
std::string engineReads(const std::string& literal) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::string sql = "SELECT " + literal, read = "<refused>";
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) ==
          SQLITE_OK &&
      tail == sql.c_str() + sql.size() && sqlite3_step(stmt) == SQLITE_ROW) {
    read.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                sqlite3_column_bytes(stmt, 0));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return read;
}

TEST(SqlLiteral, HostileTextsStayOneLiteralInEveryWriter) {
  const std::vector<std::string> hostile = {"O'Brien",
                                            "'",
                                            "''",
                                            "'''",
                                            "x'; DROP TABLE DOCTO_TRANSPORTE; --",
                                            "a' OR '1'='1",
                                            "caixa -- frágil",
                                            "/* c */ ' /*",
                                            "barra \\' invertida \\",
                                            "\\",
                                            "';",
                                            "ação ’ ʼ ＇ “aspas”",
                                            "linha 1\r\nlinha 2\t'",
                                            "NULL",
                                            "'NULL'"};
  auto values = outside::makeDefaultValueUtil();
  auto oracle = outside::makeDefaultOracleSqlUtil();
  std::string eq = "=", none;
  for (const std::string& text : hostile) {
    SCOPED_TRACE(text);
    std::string op8 = values->op8_procedureText(Variant(text)).text();
    std::string op7 = values->op7_procedureArgument(Variant(text)).text();
    EXPECT_TRUE(isOneTextLiteral(op8));
    EXPECT_EQ(engineReads(op8), text);
    EXPECT_EQ(op7, op8);
    EXPECT_EQ(oracle->op4_sqlText(Variant(text), none).text(), op8);
    EXPECT_EQ(oracle->op3_sqlValue(Variant(text), eq).text(), "= " + op8);
  }
}

TEST(SqlLiteral, BrokenUtf8IsRepairedAndNulIsRefused) {
  auto values = outside::makeDefaultValueUtil();
  // A stray lead byte right before the quote must not swallow it.
  std::string literal = values->op8_procedureText(Variant("a\xC3'\xFF\x80z")).text();
  EXPECT_EQ(literal, "'a\xEF\xBF\xBD''\xEF\xBF\xBD\xEF\xBF\xBDz'");
  EXPECT_EQ(engineReads(literal), "a\xEF\xBF\xBD'\xEF\xBF\xBD\xEF\xBF\xBDz");

  std::string withNul("ab\0'; DROP", 10), none;
  auto oracle = outside::makeDefaultOracleSqlUtil();
  for (auto write : std::vector<std::function<Variant()>>{
           [&] { return values->op7_procedureArgument(Variant(withNul)); },
           [&] { return values->op8_procedureText(Variant(withNul)); },
           [&] { return oracle->op3_sqlValue(Variant(withNul), none); },
           [&] { return oracle->op4_sqlText(Variant(withNul), none); }}) {
    try {
      write();
      ADD_FAILURE() << "a NUL character was written into a literal";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, 5);
    }
  }
}

TEST(SqlLiteral, ValuesOfEveryKindAndTheComparisonForm) {
  auto values = outside::makeDefaultValueUtil();
  auto op7 = [&](Variant v) { return values->op7_procedureArgument(std::move(v)).text(); };
  for (Variant none : {Variant(), Variant::null(), Variant("   ")}) EXPECT_EQ(op7(none), "NULL");
  EXPECT_EQ(op7(Variant(int32_t{-42})), "-42");
  EXPECT_EQ(op7(Variant(0.1 + 0.2)), "0.3");
  EXPECT_EQ(op7(Variant(1e20)), "100000000000000000000");  // never an exponent
  EXPECT_EQ(op7(Variant(" 0012,50 ")), "12.5");
  EXPECT_EQ(op7(Variant("1.234,5")), "'1.234,5'");  // grouped: a text, not a number
  EXPECT_EQ(op7(Variant("1e5")), "'1e5'");
  EXPECT_EQ(op7(Variant(std::make_shared<data::Field>("peso", Variant(12.5)))), "12.5");
  EXPECT_EQ(values->op8_procedureText(Variant(int32_t{5})).text(), "'5'");
  EXPECT_EQ(values->op8_procedureText(Variant::null()).text(), "NULL");

  auto oracle = outside::makeDefaultOracleSqlUtil();
  std::string eq = "=", none = "", other = "; DELETE";
  EXPECT_EQ(oracle->op3_sqlValue(Variant(int32_t{42}), eq).text(), "= 42");
  EXPECT_EQ(oracle->op3_sqlValue(Variant("12.5"), none).text(), "12.5");
  EXPECT_EQ(oracle->op3_sqlValue(Variant::null(), eq).text(), "IS NULL");
  EXPECT_THROW(oracle->op3_sqlValue(Variant(int32_t{1}), other), AutomationError);
}

}  // namespace
}  // namespace z418kt
