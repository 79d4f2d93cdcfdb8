// Numbers and dates read and written alike under every process locale, from
// the value model up to the JSON edge.
#include "automation/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "automation/decimal.h"
#include "json/json_variant.h"
#include "outside/components.h"
#include "outside/sql_literal.h"
#include "support/scoped_locale.h"

namespace z418kt {
namespace {

using Text = std::function<std::string()>;

std::string outcome(const Text& f) {
  try {
    return f();
  } catch (const AutomationError& e) {
    return "error " + std::to_string(e.number);
  }
}

std::string number(const std::string& text) {
  double d = 0;
  return vb::parseNumber(text, d) ? vb::cstr(Variant(d)) : "refused";
}

std::string cstr(const Variant& v) { return vb::cstr(v); }

std::string viaJson(const char* text) {
  return json::dumpText(json::toJson(json::fromJson(json::Json::parse(text))));
}

TEST(NumberText, ConversionsGiveTheSameResultsUnderEveryLocale) {
  // Every conversion of the value model, the outside components and the JSON
  // codec that turns a number into text or back.
  std::shared_ptr<outside::ValueUtil> values;
  std::shared_ptr<outside::NumberFormatUtil> formats;
  // clang-format off
  const std::pair<Text, std::string> cases[] = {
      {[] { return cstr(Variant(1.5)); }, "1.5"},
      {[] { return cstr(Variant(1e20)); }, "1E+20"},
      {[] { return cstr(Variant(-0.000012345)); }, "-1.2345E-05"},
      {[] { return cstr(Variant(123456789.123456789)); }, "123456789.123457"},
      {[] { return cstr(Variant(Currency{-15007500})); }, "-1500.75"},
      {[] { return cstr(Variant(std::numeric_limits<double>::infinity())); }, "INF"},
      {[] { return number("1.5"); }, "1.5"},
      {[] { return number(" -1,25e2\t"); }, "-125"},
      {[] { return number("1e-400"); }, "0"},
      {[] { return number("1e400"); }, "refused"},
      {[] { return number("1,2,3"); }, "refused"},
      {[] { return number("0x10"); }, "refused"},
      {[] { return cstr(Variant(vb::cdbl(Variant("2.5")))); }, "2.5"},
      {[] { return std::to_string(vb::clng(Variant("125,5"))); }, "126"},
      {[&] { return cstr(values->op4_number(Variant("125,5"))); }, "125.5"},
      {[&] { return cstr(values->op4_number(Variant("1.234,5"))); }, "1234.5"},
      {[&] { return cstr(values->op4_number(Variant("2E3"))); }, "2000"},
      {[&] { Variant f(125.5); return cstr(formats->op1_formatDecimal(f)); }, "125,50"},
      {[] { return decimal::write(*decimal::fromDouble(0.1 + 0.2)); }, "0.3"},
      {[] { return json::dumpText(json::toJson(Variant(0.1))); }, R"({"vt":"R8","value":0.1})"},
      {[] { return viaJson(R"({"vt":"CY","value":"12.3456"})"); }, R"({"vt":"CY","value":"12.3456"})"},
      {[] { return viaJson("[1.5, 2, \"3,5\"]"); },
       R"({"vt":"ARRAY","lbounds":[0],"items":[{"vt":"R8","value":1.5},{"vt":"I4","value":2},)"
       R"({"vt":"BSTR","value":"3,5"}]})"},
      {[] { return vb::formatDate(vb::makeDate(2024, 2, 29, 23, 59, 59)); }, "2024-02-29 23:59:59"}};
  // clang-format on
  for (const char* name : testing::kTestLocales) {
    testing::ScopedLocale locale(name);
    values = outside::makeDefaultValueUtil();
    formats = outside::makeDefaultNumberFormatUtil();
    for (const auto& [conversion, expected] : cases)
      EXPECT_EQ(outcome(conversion), expected) << name;
  }
}

TEST(NumberText, WritersAndReadersOfTheCore) {
  EXPECT_EQ(numtext::doubleText(-std::numeric_limits<double>::max()), "-1.79769313486232E+308");
  EXPECT_EQ(numtext::dateText(std::numeric_limits<double>::quiet_NaN()), "1899-12-30 00:00:00");

  Currency c;
  using P = numtext::CurrencyParse;
  EXPECT_EQ(numtext::parseCurrency("+0.0001", c), P::Ok);
  EXPECT_EQ(c.scaled, 1);
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
  for (const char* good : {"2024-02-29", "2000-02-29 23:59:59"})
    EXPECT_TRUE(numtext::parseDateTime(good)) << good;
  auto t = numtext::parseDateTime("2024-1-5T7:08:09");
  ASSERT_TRUE(t);
  EXPECT_EQ(numtext::dateText(numtext::oleDate(*t)), "2024-01-05 07:08:09");
}

// Weights and measures are written from their count of ten-thousandths; the
// text must be the one the general 15-digit form and the decimal writer give,
// for them and for the doubles right beside them (which take the general path).
TEST(NumberText, PlainDecimalsReadAsTheFullConversionReadsThem) {
  // The correctly rounded double of a plain decimal, sign apart.
  auto full = [](std::string_view s) -> std::optional<double> {
    bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return negative ? -v : v;
  };
  std::vector<std::string> texts = {"0.5",
                                    "0.35",
                                    "-0.0",
                                    "+1.25",
                                    "123",
                                    "007.50",
                                    "0.1",
                                    "0.7",
                                    "2.675",
                                    "-0",
                                    "1.",
                                    ".5",
                                    "1e5",
                                    "12.5E-1",
                                    "1.2.3",
                                    "",
                                    "-",
                                    "+-1",
                                    "1,5",
                                    " 1.5",
                                    "1.5 ",
                                    "999999999999999.9",
                                    "0.0000000000000000000001",
                                    "1.0000000000000000000000",
                                    "123456789012345",
                                    "1234567890123456",
                                    "9007199254740993",
                                    "-9007199254740.993",
                                    "0.30000000000000004"};
  std::mt19937_64 random(418);
  for (int i = 0; i < 20000; ++i) {
    std::string digits = std::to_string(random() % 1000000000000000ULL);
    size_t point = random() % (digits.size() + 1);
    std::string text = (i % 3 == 0 ? "-" : "") + digits.substr(0, point);
    if (point == 0) text += "0";
    if (point < digits.size()) text += "." + digits.substr(point);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    auto mine = numtext::parseDouble(text);
    auto expected = full(text);
    // Texts the full conversion takes in part or not at all are the reader's own to refuse.
    if (!expected || text.empty() || text.find_first_of("eE") != std::string::npos) continue;
    ASSERT_TRUE(mine) << text;
    EXPECT_EQ(*mine, *expected) << text;
    EXPECT_EQ(std::signbit(*mine), std::signbit(*expected)) << text;
    // Visual Basic's reading takes the same text alike, blanks around it too.
    auto vb = numtext::parseVbNumber(" " + text + " ");
    ASSERT_TRUE(vb) << text;
    EXPECT_EQ(*vb, *expected) << text;
    EXPECT_EQ(std::signbit(*vb), std::signbit(*expected)) << text;
  }
  for (const char* refused : {"", "-", "1.2.3", "1,5", " 1.5", "1.5 ", "+-1", "."})
    EXPECT_FALSE(numtext::parseDouble(refused)) << refused;
}

TEST(NumberText, DoublesOfTenThousandthsWriteAsTheGeneralForm) {
  auto general = [](double r) {
    if (r == 0) return std::string("0");
    char buf[64];
    char* end = std::to_chars(buf, buf + sizeof buf, r, std::chars_format::general, 15).ptr;
    for (char* p = buf; p != end; ++p)
      if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return std::string(buf, end);
  };
  std::vector<uint64_t> counts = {0,
                                  1,
                                  5,
                                  9,
                                  10,
                                  99,
                                  1000,
                                  9999,
                                  10000,
                                  10001,
                                  12345,
                                  425000,
                                  99999999,
                                  100000000000000,
                                  899999999999999,
                                  900000000000000,
                                  123456789012345};
  std::mt19937_64 random(418);
  for (int i = 0; i < 3000; ++i) counts.push_back(random() % (i % 2 ? 100000000 : 900000000000000));
  for (uint64_t k : counts) {
    for (double sign : {1.0, -1.0}) {
      double exact = sign * static_cast<double>(k) / 1e4;
      for (double r : {exact, std::nextafter(exact, 1e300), std::nextafter(exact, -1e300)}) {
        ASSERT_EQ(numtext::doubleText(r), general(r)) << k;
        auto d = decimal::fromDouble(r);
        ASSERT_TRUE(d);
        ASSERT_EQ(outside::sql::valueLiteral(Variant(r)), decimal::write(*d)) << k;
        // Shown from the variant's number as from its exact decimal, by
        // either writer, with the widths the screens use and with others.
        for (auto [least, most] : {std::pair<size_t, size_t>{2, 4}, {0, 6}, {4, 4}, {0, 2}}) {
          const std::string shown = decimal::writeRounded(*d, ',', least, most);
          ASSERT_EQ(decimal::writeRounded(Variant(r), ',', least, most), shown) << k;
          char text[decimal::kShortRoundedCapacity];
          if (decimal::writeRoundedShort(Variant(r), ',', least, most, text)) {
            ASSERT_EQ(text, shown) << k;
          }
        }
      }
      Currency money{static_cast<int64_t>(sign * static_cast<double>(k))};
      char text[decimal::kShortRoundedCapacity];
      ASSERT_TRUE(decimal::writeRoundedShort(Variant(money), ',', 2, 4, text));
      ASSERT_EQ(text, decimal::writeRounded(decimal::fromCurrency(money), ',', 2, 4)) << k;
    }
  }
}

}  // namespace
}  // namespace z418kt
