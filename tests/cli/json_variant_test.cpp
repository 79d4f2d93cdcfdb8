#include "cli/json_variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "z418kt/safe_array.h"

namespace z418kt::cli {
namespace {

Json parse(const char* text) { return Json::parse(text); }

TEST(JsonVariant, EveryScalarTypeTravelsTypedBothWays) {
  const Variant values[] = {Variant(),
                            Variant::null(),
                            Variant(int16_t{10}),
                            Variant(int32_t{10}),
                            Variant(int32_t{-2147483647 - 1}),
                            Variant(1.5),
                            Variant(Currency{125000}),
                            Variant::date(vb::makeDate(2024, 5, 1, 10, 30, 15)),
                            Variant::boolean(true),
                            Variant::boolean(false),
                            Variant("Caixas de papelão"),
                            Variant("")};
  for (const Variant& v : values) {
    Json j = toJson(v);
    EXPECT_EQ(fromJson(j), v) << j.dump();
    EXPECT_EQ(fromJson(Json::parse(dumpText(j))), v) << j.dump();
  }
  // The forms themselves, which other programs read.
  EXPECT_EQ(toJson(Variant(int16_t{10})), parse(R"({"vt":"I2","value":10})"));
  EXPECT_EQ(toJson(Variant(int32_t{10})), parse(R"({"vt":"I4","value":10})"));
  EXPECT_EQ(toJson(Variant()), parse(R"({"vt":"EMPTY"})"));
  EXPECT_EQ(toJson(Variant::null()), parse(R"({"vt":"NULL"})"));
  EXPECT_EQ(toJson(Variant(Currency{125000})), parse(R"({"vt":"CY","value":"12.5"})"));
  EXPECT_EQ(toJson(Variant::date(vb::makeDate(2024, 5, 1, 10, 30, 15))),
            parse(R"({"vt":"DATE","value":"2024-05-01 10:30:15"})"));
  EXPECT_EQ(toJson(Variant::boolean(true)), parse(R"({"vt":"BOOL","value":true})"));
  // I2 and I4 of the same number stay different variants.
  EXPECT_NE(fromJson(parse(R"({"vt":"I2","value":10})")),
            fromJson(parse(R"({"vt":"I4","value":10})")));
  EXPECT_EQ(fromJson(parse(R"({"vt":"i2","value":10})")).type(), VarType::I2);
}

TEST(JsonVariant, CurrencyIsExactToTheLastDecimal) {
  const int64_t scaled[] = {0, 1, -1, 10000, -125000, 1234567890123, INT64_MAX, INT64_MIN};
  for (int64_t s : scaled) EXPECT_EQ(parseCurrency(currencyText(Currency{s})).scaled, s) << s;
  EXPECT_EQ(currencyText(Currency{1}), "0.0001");
  EXPECT_EQ(currencyText(Currency{-5000}), "-0.5");
  EXPECT_EQ(currencyText(Currency{INT64_MIN}), "-922337203685477.5808");
  // 0.1 + 0.2 written as text never meets a binary fraction.
  EXPECT_EQ(fromJson(parse(R"({"vt":"CY","value":"0.3"})")).currency().scaled, 3000);
  EXPECT_EQ(fromJson(parse(R"({"vt":"CY","value":7})")).currency().scaled, 70000);
  for (const char* bad : {"1.23456", "abc", "", "-", "1,5", "922337203685478", "1e3"})
    EXPECT_THROW(parseCurrency(bad), AutomationError) << bad;
}

TEST(JsonVariant, ArraysKeepBoundsAndTheColumnRowLayout) {
  // The cargo matrix: 5 columns, 2 rows, addressed (column, row).
  SafeArray m = SafeArray::zeroBased(4, 1);
  for (int32_t c = 0; c < 5; ++c)
    for (int32_t r = 0; r < 2; ++r) m.at(c, r) = Variant(int32_t{c * 10 + r});
  Variant matrix(m);
  Json j = toJson(matrix);
  EXPECT_EQ(j["lbounds"], parse("[0,0]"));
  ASSERT_EQ(j["items"].size(), 5u);
  ASSERT_EQ(j["items"][3].size(), 2u);
  EXPECT_EQ(j["items"][3][1], parse(R"({"vt":"I4","value":31})"));
  EXPECT_FALSE(j.contains("counts"));
  EXPECT_EQ(fromJson(j), matrix);

  // Other lower bounds, mixed element types, nested arrays, an empty dimension.
  SafeArray odd({{1, 2}, {-3, 1}});
  odd.at(2, -3) = Variant(int16_t{7});
  odd.at(1, -3) = Variant(SafeArray::zeroBased(1));
  EXPECT_EQ(fromJson(toJson(Variant(odd))), Variant(odd));
  SafeArray empty({{0, 0}, {0, 5}});
  Json e = toJson(Variant(empty));
  EXPECT_EQ(e["counts"], parse("[0,5]"));
  EXPECT_EQ(fromJson(e), Variant(empty));
  EXPECT_EQ(fromJson(toJson(Variant(SafeArray()))), Variant(SafeArray()));
  SafeArray oneD({{5, 3}});
  oneD.at(6) = Variant("x");
  EXPECT_EQ(toJson(Variant(oneD))["lbounds"], parse("[5]"));
  EXPECT_EQ(fromJson(toJson(Variant(oneD))), Variant(oneD));
}

TEST(JsonVariant, PlainJsonInRequests) {
  EXPECT_EQ(fromJson(parse("42")), Variant(int32_t{42}));
  EXPECT_EQ(fromJson(parse("4294967296")), Variant(4294967296.0));
  EXPECT_EQ(fromJson(parse("2.5")), Variant(2.5));
  EXPECT_EQ(fromJson(parse(R"("12,50")")), Variant("12,50"));
  EXPECT_EQ(fromJson(parse("null")), Variant::null());
  EXPECT_EQ(fromJson(parse("true")), Variant::boolean(true));
  Variant flat = fromJson(parse(R"([1,"a",null])"));
  ASSERT_TRUE(flat.isArray());
  EXPECT_EQ(flat.array().dimensions(), 1);
  EXPECT_EQ(flat.array().at(1), Variant("a"));
  Variant grid = fromJson(parse("[[1,2,3],[4,5,6]]"));
  ASSERT_EQ(grid.array().dimensions(), 2);
  EXPECT_EQ(grid.array().ubound(1), 1);
  EXPECT_EQ(grid.array().ubound(2), 2);
  EXPECT_EQ(grid.array().at(1, 0), Variant(int32_t{4}));
}

TEST(JsonVariant, UnreadableValuesAreRefusedNotGuessed) {
  const char* bad[] = {
      R"({"vt":"I2","value":40000})",           // overflow
      R"({"vt":"I4","value":1.5})",             // not whole
      R"({"vt":"I4"})",                         // no value
      R"({"vt":"BSTR","value":3})",             // wrong JSON kind
      R"({"vt":"BOOL","value":"yes"})",         // wrong JSON kind
      R"({"vt":"DATE","value":"2024-13-01"})",  // no such month
      R"({"vt":"DATE","value":"yesterday"})",
      R"({"vt":"WHAT","value":1})",
      R"({"value":1})",                                         // object without vt
      R"({"vt":"ARRAY","lbounds":[0,0],"items":[[1],[2,3]]})",  // ragged
      R"({"vt":"ARRAY","lbounds":[0],"items":5})",
      R"({"vt":"ARRAY","lbounds":[2147483647],"items":[1,2]})",  // bound overflow
      R"({"vt":"ARRAY","lbounds":[0,0,0],"items":[]})",
      R"([[1,2],[3]])",
  };
  for (const char* text : bad) EXPECT_THROW(fromJson(parse(text)), AutomationError) << text;
  // A text that is not valid UTF-8 is still written, with replacement characters.
  EXPECT_NO_THROW(
      dumpText(toJson(Variant(std::string("a\xff"
                                          "b")))));
  // Non-finite doubles travel as texts.
  EXPECT_TRUE(std::isnan(fromJson(toJson(Variant(std::nan("")))).r8()));
  EXPECT_EQ(fromJson(toJson(Variant(-INFINITY))), Variant(-INFINITY));
}

}  // namespace
}  // namespace z418kt::cli
