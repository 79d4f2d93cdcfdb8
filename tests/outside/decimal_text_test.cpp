// Decimal values must survive the way from a database column to the screen and
// back into a statement without changing a digit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/recordset.h"
#include "outside/components.h"

namespace z418kt {
namespace {

Variant fieldOf(Variant column) { return Variant(std::make_shared<data::Field>("col", column)); }

struct Case {
  Variant column;
  std::string shown;    // NumberFormatUtil 1
  std::string literal;  // what the save writes
};

TEST(DecimalText, ReadValueSavesBackUnchanged) {
  auto format = outside::makeDefaultNumberFormatUtil();
  auto values = outside::makeDefaultValueUtil();
  auto oracle = outside::makeDefaultOracleSqlUtil();
  // clang-format off
  const std::vector<Case> cases = {
      {Variant(int32_t{0}), "0,00", "0"},              {Variant(int32_t{-7}), "-7,00", "-7"},
      {Variant(12.5), "12,50", "12.5"},                {Variant(0.1 + 0.2), "0,30", "0.3"},
      {Variant(-0.25), "-0,25", "-0.25"},              {Variant(1.2345), "1,2345", "1.2345"},
      {Variant(1.23456), "1,2346", "1.2346"},          {Variant(999999.99), "999999,99", "999999.99"},
      {Variant(9999999999999.99), "9999999999999,99", "9999999999999.99"},
      {Variant(Currency{99999999999999900}), "9999999999999,99", "9999999999999.99"},
      {Variant(Currency{123450}), "12,345", "12.345"}, {Variant(Currency{-1}), "-0,0001", "-0.0001"},
      {Variant(Currency{10000}), "1,00", "1"},         {Variant("12.5"), "12,50", "12.5"},
      {Variant("1.5e3"), "1500,00", "1500"},  // a text column in exponent form
      {Variant(1e20), "100000000000000000000,00", "100000000000000000000"}};
  // clang-format on
  for (const Case& c : cases) {
    Variant field = fieldOf(c.column);
    Variant shown = format->op1_formatDecimal(field);
    SCOPED_TRACE(c.shown);
    ASSERT_TRUE(shown.isText());
    EXPECT_EQ(shown.text(), c.shown);
    EXPECT_EQ(format->op2_formatMeasure(field), shown);

    std::string accepted = "untouched";
    ASSERT_TRUE(vb::isTrue(values->op11_checkDecimal(shown.text(), accepted)));
    EXPECT_EQ(accepted, c.literal);
    EXPECT_EQ(values->op7_procedureArgument(Variant(accepted)).text(), c.literal);
    std::string none;
    EXPECT_EQ(oracle->op3_sqlValue(Variant(accepted), none).text(), c.literal);

    // Shown again after saving: the screen does not drift.
    Variant saved = fieldOf(Variant(accepted));
    EXPECT_EQ(format->op1_formatDecimal(saved), shown);
  }
  Variant empty = fieldOf(Variant::null());
  EXPECT_EQ(format->op1_formatDecimal(empty), Variant(""));
}

TEST(DecimalText, CheckAcceptsWhatPeopleAndVisualBasicWrite) {
  auto values = outside::makeDefaultValueUtil();
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> accepted = {
      {"12,50", "12.5"}, {"12.5", "12.5"}, {"-0.25", "-0.25"}, {"1.234,5", "1234.5"},
      {"1,234.5", "1234.5"}, {"0,0", "0"}, {"-0,00", "0"}, {" 7 ", "7"}, {"+3", "3"},
      {"007,10", "7.1"}, {"1.234.567", "1234567"}, {"1.234.567,89", "1234567.89"},
      {"1.234", "1.234"}, {"9999999999999.99", "9999999999999.99"}};
  // clang-format on
  for (const auto& [in, out] : accepted) {
    std::string result;
    EXPECT_TRUE(vb::isTrue(values->op11_checkDecimal(in, result))) << in;
    EXPECT_EQ(result, out) << in;
  }
  const std::vector<std::string> refused = {
      "",    "   ",   "abc",        "12a",  "1,2,3",      "1.23.4", "1.234,5.6",
      "12-", "1-2",   "--1",        "- 1",  "1E+20",      "1e5",    ",5",
      "5,",  "1 000", "12.345,6,7", "0x10", "1.2345.678", "١٢",     "12\n",
  };
  for (const std::string& in : refused) {
    std::string result = "untouched";
    EXPECT_FALSE(vb::isTrue(values->op11_checkDecimal(in, result))) << in;
    EXPECT_EQ(result, "untouched") << in;
  }
}

}  // namespace
}  // namespace z418kt
