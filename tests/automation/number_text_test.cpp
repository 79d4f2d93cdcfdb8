// Numbers and dates read and written alike under every process locale, from
// the value model up to the JSON edge.
#include "automation/number_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "json/json_variant.h"
#include "outside/components.h"
#include "outside/default_decimal.h"
#include "support/scoped_locale.h"

namespace z418kt {
namespace {

std::string outcome(const std::function<std::string()>& f) {
  try {
    return f();
  } catch (const AutomationError& e) {
    return "error " + std::to_string(e.number);
  }
}

// Every conversion of the value model, the outside components and the JSON
// codec that turns a number into text or back, as one list of results.
std::vector<std::string> conversions() {
  auto values = outside::makeDefaultValueUtil();
  auto formats = outside::makeDefaultNumberFormatUtil();
  auto number = [](std::string text) {
    double d = 0;
    return vb::parseNumber(text, d) ? vb::cstr(Variant(d)) : "refused";
  };
  std::vector<std::string> out = {
      vb::cstr(Variant(1.5)),
      vb::cstr(Variant(1e20)),
      vb::cstr(Variant(-0.000012345)),
      vb::cstr(Variant(123456789.123456789)),
      vb::cstr(Variant(Currency{-15007500})),
      vb::cstr(Variant(std::numeric_limits<double>::infinity())),
      number("1.5"),
      number(" -1,25e2\t"),
      number("1e-400"),
      number("1e400"),
      number("1,2,3"),
      number("0x10"),
      outcome([] { return vb::cstr(Variant(vb::cdbl(Variant("2.5")))); }),
      outcome([] { return std::to_string(vb::clng(Variant("125,5"))); }),
      outcome([&] { return vb::cstr(values->op4_number(Variant("125,5"))); }),
      outcome([&] { return vb::cstr(values->op4_number(Variant("1.234,5"))); }),
      outcome([&] { return vb::cstr(values->op4_number(Variant("2E3"))); }),
      outcome([&] {
        Variant field(125.5);
        return vb::cstr(formats->op1_formatDecimal(field));
      }),
      outside::decimal::write(*outside::decimal::fromDouble(0.1 + 0.2)),
      json::dumpText(json::toJson(Variant(0.1))),
      json::dumpText(
          json::toJson(json::fromJson(json::Json::parse(R"({"vt":"CY","value":"12.3456"})")))),
      json::dumpText(json::toJson(json::fromJson(json::Json::parse("[1.5, 2, \"3,5\"]")))),
      vb::formatDate(vb::makeDate(2024, 2, 29, 23, 59, 59)),
  };
  return out;
}

TEST(NumberText, ConversionsGiveTheSameResultsUnderEveryLocale) {
  const std::vector<std::string> expected = {
      "1.5",
      "1E+20",
      "-1.2345E-05",
      "123456789.123457",
      "-1500.75",
      "INF",
      "1.5",
      "-125",
      "0",
      "refused",
      "refused",
      "refused",
      "2.5",
      "126",
      "125.5",
      "1234.5",
      "2000",
      "125,50",
      "0.3",
      R"({"vt":"R8","value":0.1})",
      R"({"vt":"CY","value":"12.3456"})",
      R"({"vt":"ARRAY","lbounds":[0],"items":[{"vt":"R8","value":1.5},{"vt":"I4","value":2},{"vt":"BSTR","value":"3,5"}]})",
      "2024-02-29 23:59:59",
  };
  for (const char* name : testing::kTestLocales) {
    testing::ScopedLocale locale(name);
    EXPECT_EQ(conversions(), expected) << name;
  }
}

TEST(NumberText, WritersAndReadersOfTheCore) {
  char buf[numtext::kTextCapacity];
  Currency extreme{std::numeric_limits<int64_t>::min()};
  EXPECT_EQ(std::string(buf, numtext::writeCurrency(buf, extreme)), "-922337203685477.5808");
  EXPECT_EQ(numtext::doubleText(-std::numeric_limits<double>::max()), "-1.79769313486232E+308");
  EXPECT_EQ(numtext::dateText(std::numeric_limits<double>::quiet_NaN()), "1899-12-30 00:00:00");

  Currency c;
  using P = numtext::CurrencyParse;
  EXPECT_EQ(numtext::parseCurrency("+0.0001", c), P::Ok);
  EXPECT_EQ(c.scaled, 1);
  EXPECT_EQ(numtext::parseCurrency("-922337203685477.5808", c), P::Ok);
  EXPECT_EQ(numtext::parseCurrency("922337203685477.5808", c), P::Overflow);
  EXPECT_EQ(numtext::parseCurrency("99999999999999999999x", c), P::Overflow);
  EXPECT_EQ(numtext::parseCurrency("1.23456", c), P::TooManyDecimals);
  for (const char* bad : {"", "-", ".", "1,5", "1.5.", " 1"})
    EXPECT_EQ(numtext::parseCurrency(bad, c), P::Malformed) << bad;

  EXPECT_EQ(numtext::parseInteger("+42"), 42);
  EXPECT_FALSE(numtext::parseInteger("+-1"));
  EXPECT_FALSE(numtext::parseInteger("99999999999999999999"));
  EXPECT_EQ(numtext::parseDouble("-1e-400"), -0.0);
  EXPECT_FALSE(numtext::parseDouble("1,5"));
  EXPECT_FALSE(numtext::parseDouble("inf"));

  // Only days of the calendar: February has 29 days in leap years only.
  for (const char* bad : {"2024-02-30", "2023-02-29", "1900-02-29", "2024-13-01", "2024-00-10",
                          "2024-04-31", "2024-01-01 24:00:00", "2024-01-01 10:60:00",
                          "2024-01-01 10:00", "2024-01-01x", "20240-01-01", "-2024-01-01"})
    EXPECT_FALSE(numtext::parseDateTime(bad)) << bad;
  for (const char* good : {"2024-02-29", "2000-02-29 23:59:59", "2024-1-5T7:08:09"})
    EXPECT_TRUE(numtext::parseDateTime(good)) << good;
  EXPECT_EQ(
      outcome([] {
        return vb::cstr(json::fromJson(json::Json::parse(R"({"vt":"DATE","value":"2024-02-31"})")));
      }),
      "error 5");
  auto t = numtext::parseDateTime("2024-1-5T7:08:09");
  EXPECT_EQ(numtext::dateText(numtext::oleDate(*t)), "2024-01-05 07:08:09");
}

}  // namespace
}  // namespace z418kt
