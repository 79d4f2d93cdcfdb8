// Values read from the database or typed by people: their number, their
// normal text, the literals written for statements (which must hold whatever
// the user typed, and which no typed text may end early), and decimals that
// survive the way from a column to the screen and back without changing a digit.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "automation/decimal.h"
#include "data/recordset.h"
#include "outside/components.h"
#include "outside/sql_literal.h"
#include "support/temp_database.h"

namespace z418kt {
namespace {

Variant fieldOf(Variant column) { return Variant(std::make_shared<data::Field>("col", column)); }

int errorOf(const std::function<void()>& call) { return testing::failureOf(call).number; }

// The text a real engine reads from "SELECT <literal>", or "<refused>" when it
// is not exactly one statement yielding one value.
std::string engineReads(const std::string& literal) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  std::string sql = "SELECT " + literal, read = "<refused>";
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, &tail) == SQLITE_OK && *tail == '\0' &&
      sqlite3_step(stmt) == SQLITE_ROW)
    read.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                sqlite3_column_bytes(stmt, 0));
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return read;
}

TEST(SqlLiteral, HostileTextsStayOneLiteralInEveryWriter) {
  // clang-format off
  const std::vector<std::string> hostile = {
      "O'Brien", "'", "'''", "x'; DROP TABLE DOCTO_TRANSPORTE; --", "a' OR '1'='1", "';",
      "caixa -- frágil", "/* c */ ' /*", "barra \\' invertida \\", "\\", "ação ’ ʼ ＇ “aspas”",
      "linha 1\r\nlinha 2\t'", "NULL", "'NULL'"};
  // clang-format on
  auto values = outside::makeDefaultValueUtil();
  auto oracle = outside::makeDefaultOracleSqlUtil();
  std::string eq = "=", none;
  for (const std::string& text : hostile) {
    SCOPED_TRACE(text);
    std::string op8 = values->op8_procedureText(Variant(text)).text();
    // One literal: opens and closes with a quote, and every quote inside is doubled.
    EXPECT_TRUE(std::regex_match(op8, std::regex("'([^']|'')*'")));
    EXPECT_EQ(engineReads(op8), text);
    EXPECT_EQ(values->op7_procedureArgument(Variant(text)).text(), op8);
    EXPECT_EQ(oracle->op4_sqlText(Variant(text), none).text(), op8);
    EXPECT_EQ(oracle->op3_sqlValue(Variant(text), eq).text(), "= " + op8);
  }
  // A stray lead byte right before the quote must not swallow it.
  std::string literal = values->op8_procedureText(Variant("a\xC3'\xFF\x80z")).text();
  EXPECT_EQ(literal, "'a\uFFFD''\uFFFD\uFFFDz'");
  EXPECT_EQ(engineReads(literal), "a\uFFFD'\uFFFD\uFFFDz");
  // A NUL character could cut the statement short in a driver: refused with error 5.
  std::string nul("ab\0'; DROP", 10);
  EXPECT_EQ(errorOf([&] { values->op7_procedureArgument(Variant(nul)); }), 5);
  EXPECT_EQ(errorOf([&] { values->op8_procedureText(Variant(nul)); }), 5);
  EXPECT_EQ(errorOf([&] { oracle->op3_sqlValue(Variant(nul), none); }), 5);
  EXPECT_EQ(errorOf([&] { oracle->op4_sqlText(Variant(nul), none); }), 5);
}

TEST(SqlLiteral, ValuesOfEveryKindAndTheComparisonForm) {
  auto values = outside::makeDefaultValueUtil();
  // clang-format off
  const std::pair<Variant, const char*> literals[] = {
      {Variant(), "NULL"}, {Variant::null(), "NULL"}, {Variant("   "), "NULL"},
      {Variant(int32_t{-42}), "-42"}, {Variant(0.1 + 0.2), "0.3"},
      {Variant(1e20), "100000000000000000000"},  // never an exponent
      {Variant(" 0012,50 "), "12.5"}, {Variant("1.234,5"), "'1.234,5'"},  // grouped: a text
      {Variant("1e5"), "'1e5'"}, {Variant(std::make_shared<data::Field>("peso", Variant(12.5))), "12.5"}};
  // clang-format on
  for (const auto& [value, literal] : literals)
    EXPECT_EQ(values->op7_procedureArgument(value).text(), literal) << literal;
  EXPECT_EQ(values->op8_procedureText(Variant(int32_t{5})).text(), "'5'");
  EXPECT_EQ(values->op8_procedureText(Variant::null()).text(), "NULL");

  auto oracle = outside::makeDefaultOracleSqlUtil();
  std::string eq = "=", none = "", other = "; DELETE";
  EXPECT_EQ(oracle->op3_sqlValue(Variant(int32_t{42}), eq).text(), "= 42");
  EXPECT_EQ(oracle->op3_sqlValue(Variant("12.5"), none).text(), "12.5");
  EXPECT_EQ(oracle->op3_sqlValue(Variant::null(), eq).text(), "IS NULL");
  EXPECT_THROW(oracle->op3_sqlValue(Variant(int32_t{1}), other), AutomationError);
}

TEST(SqlLiteral, AValueWrittenOntoAStatementIsTheBareValueOrNothing) {
  // A component of its own that answers only operation 3 (as a test double or
  // another vendor's would) and the default one write what operation 3 answers.
  struct OnlyOp3 : outside::OracleSqlUtil {
    Variant op3_sqlValue(Variant value, std::string& op) override {
      return value.isText() ? Variant(op + "v") : Variant(int32_t{7});
    }
    Variant op4_sqlText(Variant, std::string&) override { return Variant(); }
  } onlyOp3;
  std::string statement = "X ";
  onlyOp3.appendSqlValue(statement, Variant("a"));
  onlyOp3.appendSqlValue(statement, Variant(int32_t{1}));
  EXPECT_EQ(statement, "X v7");
  onlyOp3.appendSqlComparison(statement, Variant("a"));
  EXPECT_EQ(statement, "X v7=v");

  auto oracle = outside::makeDefaultOracleSqlUtil();
  auto procedures = outside::makeDefaultValueUtil();
  std::string none;
  const Variant values[] = {Variant(),
                            Variant::null(),
                            Variant(int16_t{-3}),
                            Variant(int32_t{2147483647}),
                            Variant("0.5"),
                            Variant("-12.25"),
                            Variant(" 0012,50 "),
                            Variant("12.50"),
                            Variant("  "),
                            Variant("O'Brien"),
                            Variant(0.35),
                            Variant(1e20),
                            Variant::boolean(true),
                            Variant(Currency{15000}),
                            Variant(std::make_shared<data::Field>("peso", Variant(int32_t{4})))};
  for (const Variant& value : values) {
    SCOPED_TRACE(vb::concatText(value));
    std::string written = "V ";
    oracle->appendSqlValue(written, value);
    EXPECT_EQ(written, "V " + oracle->op3_sqlValue(value, none).text());
    std::string equals = "=", compared = "W ";
    oracle->appendSqlComparison(compared, value);
    EXPECT_EQ(compared, "W " + oracle->op3_sqlValue(value, equals).text());
    std::string argument = "EXEC P ";
    procedures->appendProcedureArgument(argument, value);
    EXPECT_EQ(argument, "EXEC P " + procedures->op7_procedureArgument(value).text());
  }
  // A refused value writes nothing.
  std::string statement2 = "V ";
  EXPECT_EQ(errorOf([&] { oracle->appendSqlValue(statement2, Variant(std::string("a\0b", 3))); }),
            5);
  EXPECT_EQ(errorOf([&] { oracle->appendSqlValue(statement2, Variant(std::nan(""))); }), 5);
  EXPECT_EQ(errorOf([&] { oracle->appendSqlComparison(statement2, Variant(std::nan(""))); }), 5);
  EXPECT_EQ(errorOf([&] { procedures->appendProcedureArgument(statement2, Variant(1e308 * 10)); }),
            5);
  EXPECT_EQ(statement2, "V ");
}

TEST(ValueUtil, NumberValueAndNormalText) {
  auto values = outside::makeDefaultValueUtil();
  auto number = [&](Variant v) { return values->op4_number(std::move(v)); };
  for (Variant none :
       {Variant(), Variant::null(), Variant(""), Variant(" \t "), fieldOf(Variant::null())})
    EXPECT_EQ(number(none), Variant(int32_t{0}));
  // clang-format off
  const std::pair<Variant, Variant> numbers[] = {
      {Variant(" 42 "), Variant(int32_t{42})}, {Variant("12,5"), Variant(12.5)},
      {Variant("1E3"), Variant(int32_t{1000})}, {Variant("3000000000"), Variant(3000000000.0)},
      {Variant(Currency{15000}), Variant(1.5)}, {Variant(2.0), Variant(int32_t{2})},
      {Variant::boolean(true), Variant(int32_t{-1})}, {fieldOf(Variant("5")), Variant(int32_t{5})}};
  // clang-format on
  for (const auto& [in, out] : numbers) EXPECT_EQ(number(in), out) << vb::cstr(in);
  for (Variant bad : {Variant("abc"), Variant("12abc"), fieldOf(Variant("x"))})
    EXPECT_EQ(errorOf([&] { number(bad); }), 13) << vb::cstr(bad);
  EXPECT_EQ(values->op6_value(fieldOf(Variant::null())), Variant(""));
  EXPECT_EQ(values->op6_value(fieldOf(Variant(int32_t{3}))), Variant(int32_t{3}));
  // Control characters (DEL, NEL too) become blanks; broken UTF-8 is repaired;
  // a NUL stays for the check to refuse.
  EXPECT_EQ(values->op13_normalize("\tCaixa\r\nfrágil\t"), "Caixa  frágil");
  EXPECT_EQ(values->op13_normalize(std::string("\0 12 \0", 6)), std::string("\0 12 \0", 6));
  EXPECT_EQ(values->op13_normalize("a\u007Fb\u0085c"), "a b c");
  EXPECT_EQ(values->op13_normalize("a\377b\303"), "a\uFFFDb\uFFFD");
  EXPECT_EQ(values->op13_normalize("\355\240\200"), "\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_EQ(values->op13_normalize("ação 日本 🚚"), "ação 日本 🚚");
}

TEST(ValueUtil, DecimalReadShownCheckedAndSavedBackUnchanged) {
  auto format = outside::makeDefaultNumberFormatUtil();
  auto values = outside::makeDefaultValueUtil();
  auto oracle = outside::makeDefaultOracleSqlUtil();
  // column value → shown by NumberFormatUtil 1 → the literal the save writes
  // clang-format off
  const std::vector<std::tuple<Variant, std::string, std::string>> cases = {
      {Variant(int32_t{-7}), "-7,00", "-7"},   {Variant(12.5), "12,50", "12.5"},
      {Variant(0.1 + 0.2), "0,30", "0.3"},     {Variant(1.23456), "1,2346", "1.2346"},
      {Variant(1.2345), "1,2345", "1.2345"},   {Variant(Currency{-1}), "-0,0001", "-0.0001"},
      {Variant(Currency{123450}), "12,345", "12.345"}, {Variant(int32_t{0}), "0,00", "0"},
      {Variant(9999999999999.99), "9999999999999,99", "9999999999999.99"},
      {Variant(Currency{99999999999999900}), "9999999999999,99", "9999999999999.99"},
      {Variant("1.5e3"), "1500,00", "1500"},  // a text column in exponent form
      {Variant(1e20), "100000000000000000000,00", "100000000000000000000"},
      {Variant(-0.25), "-0,25", "-0.25"}, {Variant(0.99995), "1,00", "1"},
      {Variant(-0.00001), "0,00", "0"}};
  // clang-format on
  std::string none;
  for (const auto& [column, shownText, literal] : cases) {
    SCOPED_TRACE(shownText);
    Variant field = fieldOf(column), shown = format->op1_formatDecimal(field);
    ASSERT_TRUE(shown.isText());
    EXPECT_EQ(shown.text(), shownText);
    EXPECT_EQ(format->op2_formatMeasure(field), shown);
    std::string accepted = "untouched";
    ASSERT_TRUE(vb::isTrue(values->op11_checkDecimal(shown.text(), accepted)));
    EXPECT_EQ(accepted, literal);
    EXPECT_EQ(values->op7_procedureArgument(Variant(accepted)).text(), literal);
    EXPECT_EQ(oracle->op3_sqlValue(Variant(accepted), none).text(), literal);
    Variant saved = fieldOf(Variant(accepted)), empty = fieldOf(Variant::null());
    EXPECT_EQ(format->op1_formatDecimal(saved), shown);  // no drift
    EXPECT_EQ(format->op1_formatDecimal(empty), Variant(""));
  }

  // What people and Visual Basic write; refused texts leave the answer untouched.
  // clang-format off
  const std::pair<std::string, std::string> accepted[] = {
      {"12.5", "12.5"}, {"1.234,5", "1234.5"}, {"1,234.5", "1234.5"}, {"0,0", "0"}, {"-0,00", "0"},
      {" 7 ", "7"}, {"+3", "3"}, {"007,10", "7.1"}, {"1.234.567,89", "1234567.89"}, {"1.234", "1.234"}};
  const std::string refused[] = {"", "   ", "abc", "12a", "1,2,3", "1.23.4", "1.234,5.6", "12-", "1-2",
      "--1", "- 1", "1E+20", "1e5", ",5", "5,", "1 000", "0x10", "1.2345.678", "١٢", "12\n"};
  // clang-format on
  for (const auto& [in, out] : accepted) {
    std::string result;
    EXPECT_TRUE(vb::isTrue(values->op11_checkDecimal(in, result))) << in;
    EXPECT_EQ(result, out) << in;
  }
  for (const std::string& in : refused) {
    std::string result = "untouched";
    EXPECT_FALSE(vb::isTrue(values->op11_checkDecimal(in, result))) << in;
    EXPECT_EQ(result, "untouched") << in;
  }
}

// A text already in the decimal writer's form is used as it is by the literal
// writer and the decimal check; every short text of digits, signs, marks and
// blanks must get the same literal and the same check answer as through a
// Decimal, and the texts taken as they are must be exactly the written ones.
TEST(ValueUtil, WrittenDecimalsStandForThemselves) {
  auto* values = &outside::valueUtil();
  const std::string alphabet = "-+05., ";
  std::vector<std::string> texts = {""};
  for (size_t length = 1; length <= 5; ++length) {
    std::vector<std::string> longer;
    for (const std::string& t : texts)
      if (t.size() == length - 1)
        for (char c : alphabet) longer.push_back(t + c);
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  for (const std::string& t : texts) {
    auto plain = decimal::parsePlain(t);
    ASSERT_EQ(decimal::isWritten(t), plain && decimal::write(*plain) == t) << t;
    if (plain && t.find_first_not_of(" ") != std::string::npos) {
      ASSERT_EQ(outside::sql::valueLiteral(Variant(t)), decimal::write(*plain)) << t;
    }

    auto entered = decimal::parseEntered(t);
    std::string accepted = "before";
    ASSERT_EQ(vb::isTrue(values->op11_checkDecimal(t, accepted)), entered.has_value()) << t;
    ASSERT_EQ(accepted, entered ? decimal::write(*entered) : "before") << t;
  }
}

}  // namespace
}  // namespace z418kt
