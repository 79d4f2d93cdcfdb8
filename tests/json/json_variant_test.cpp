#include "json/json_variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "z418kt/safe_array.h"

namespace z418kt::json {
namespace {

Json parse(const char* text) { return Json::parse(text); }

TEST(JsonVariant, EveryScalarTypeTravelsTypedBothWays) {
  const Variant when = Variant::date(vb::makeDate(2024, 5, 1, 10, 30, 15));
  // clang-format off
  const std::pair<Variant, const char*> forms[] = {
      {Variant(), R"({"vt":"EMPTY"})"}, {Variant::null(), R"({"vt":"NULL"})"},
      {Variant(int16_t{10}), R"({"vt":"I2","value":10})"}, {Variant(1.5), R"({"vt":"R8","value":1.5})"},
      {Variant(int32_t{10}), R"({"vt":"I4","value":10})"},
      {Variant(int32_t{-2147483647 - 1}), R"({"vt":"I4","value":-2147483648})"},
      {Variant(Currency{125000}), R"({"vt":"CY","value":"12.5"})"},
      {when, R"({"vt":"DATE","value":"2024-05-01 10:30:15"})"},
      {Variant::boolean(true), R"({"vt":"BOOL","value":true})"},
      {Variant("Caixas de papelão"), R"({"vt":"BSTR","value":"Caixas de papelão"})"},
      {Variant(""), R"({"vt":"BSTR","value":""})"}};
  // clang-format on
  for (const auto& [v, form] : forms) {
    EXPECT_EQ(toJson(v), parse(form));
    EXPECT_EQ(fromJson(Json::parse(dumpText(toJson(v)))), v) << form;
  }
  // I2 and I4 of the same number stay different variants.
  EXPECT_NE(fromJson(parse(R"({"vt":"I2","value":10})")),
            fromJson(parse(R"({"vt":"I4","value":10})")));
  EXPECT_EQ(fromJson(parse(R"({"vt":"i2","value":10})")).type(), VarType::I2);
  // Non-finite doubles travel as texts; broken UTF-8 is still written.
  EXPECT_TRUE(std::isnan(fromJson(toJson(Variant(std::nan("")))).r8()));
  EXPECT_EQ(fromJson(toJson(Variant(-INFINITY))), Variant(-INFINITY));
  // Texts are escaped exactly as the JSON library writes them, stray bytes included.
  for (std::string text : {std::string("\"a\\b\"\n\t\x01\x1f\x7f ã €"), std::string("a\xff\xc3"),
                           std::string("\xed\xa0\x80\xc0\xaf")}) {
    std::string written;
    appendJson(written, Variant(text));
    EXPECT_EQ(written, R"({"vt":"BSTR","value":)" +
                           Json(text).dump(-1, ' ', false, Json::error_handler_t::replace) + "}");
  }
}

TEST(JsonVariant, CurrencyIsExactToTheLastDecimal) {
  for (int64_t s :
       {int64_t{0}, int64_t{1}, int64_t{-125000}, int64_t{1234567890123}, INT64_MAX, INT64_MIN})
    EXPECT_EQ(parseCurrency(currencyText(Currency{s})).scaled, s) << s;
  EXPECT_EQ(currencyText(Currency{1}), "0.0001");
  EXPECT_EQ(currencyText(Currency{-5000}), "-0.5");
  EXPECT_EQ(currencyText(Currency{INT64_MIN}), "-922337203685477.5808");
  // 0.3 written as text never meets a binary fraction.
  EXPECT_EQ(fromJson(parse(R"({"vt":"CY","value":"0.3"})")).currency().scaled, 3000);
  EXPECT_EQ(fromJson(parse(R"({"vt":"CY","value":7})")).currency().scaled, 70000);
  for (const char* bad : {"1.23456", "abc", "", "-", "1,5", "922337203685478", "1e3"})
    EXPECT_THROW(parseCurrency(bad), AutomationError) << bad;
}

TEST(JsonVariant, ArraysKeepBoundsAndTheColumnRowLayout) {
  // The cargo matrix: 5 columns (count, three sizes, cargo id) by 2 rows, addressed (column, row).
  SafeArray m = SafeArray::zeroBased(4, 1);
  m.at(0, 1) = Variant(int32_t{1});
  m.at(3, 1) = Variant("0,60");
  Json j = toJson(Variant(m));
  EXPECT_EQ(j["lbounds"], parse("[0,0]"));
  ASSERT_EQ(j["items"].size(), 5u);
  ASSERT_EQ(j["items"][3].size(), 2u);
  EXPECT_EQ(j["items"][3][1], parse(R"({"vt":"BSTR","value":"0,60"})"));
  EXPECT_FALSE(j.contains("counts"));
  EXPECT_EQ(fromJson(j), Variant(m));
  // Other lower bounds, mixed element types, nested arrays, empty dimensions.
  SafeArray odd({{1, 2}, {-3, 1}}), empty({{0, 0}, {0, 5}}), oneD({{5, 3}});
  odd.at(2, -3) = Variant(int16_t{7});
  odd.at(1, -3) = Variant(SafeArray::zeroBased(1));
  oneD.at(6) = Variant("x");
  EXPECT_EQ(toJson(Variant(empty))["counts"], parse("[0,5]"));
  EXPECT_EQ(toJson(Variant(oneD))["lbounds"], parse("[5]"));
  for (const SafeArray& a : {odd, empty, oneD, SafeArray()})
    EXPECT_EQ(fromJson(toJson(Variant(a))), Variant(a));
  // Plain JSON in requests.
  EXPECT_EQ(fromJson(parse("42")), Variant(int32_t{42}));
  EXPECT_EQ(fromJson(parse("4294967296")), Variant(4294967296.0));
  EXPECT_EQ(fromJson(parse("18446744073709551615")), Variant(18446744073709551615.0));
  EXPECT_EQ(fromJson(parse("[1,\"a\",null]")).array().at(1), Variant("a"));
  Variant grid = fromJson(parse("[[1,2,3],[4,5,6]]"));
  ASSERT_EQ(grid.array().dimensions(), 2);
  EXPECT_EQ(grid.array().ubound(2), 2);
  EXPECT_EQ(grid.array().at(1, 0), Variant(int32_t{4}));
}

TEST(JsonVariant, UnreadableValuesAreRefusedNotGuessed) {
  // clang-format off
  for (const char* text : {
      R"({"vt":"I2","value":40000})", R"({"vt":"I4","value":1.5})", R"({"vt":"I4"})",
      R"({"vt":"I4","value":18446744073709551615})",
      R"({"vt":"BSTR","value":3})", R"({"vt":"BOOL","value":"yes"})",
      R"({"vt":"DATE","value":"2024-13-01"})", R"({"vt":"DATE","value":"yesterday"})",
      R"({"vt":"WHAT","value":1})", R"({"value":1})", R"({"vt":"ARRAY","lbounds":[0],"items":5})",
      R"({"vt":"ARRAY","lbounds":[0,0],"items":[[1],[2,3]]})",
      R"({"vt":"ARRAY","lbounds":[2147483647],"items":[1,2]})",
      R"({"vt":"ARRAY","lbounds":[0,0,0],"items":[]})", "[[1,2],[3]]"})
    // clang-format on
    EXPECT_THROW(fromJson(parse(text)), AutomationError) << text;
}

}  // namespace
}  // namespace z418kt::json
