#include <gtest/gtest.h>

#include <string>

#include "data/recordset.h"
#include "outside/components.h"

namespace z418kt {
namespace {

Variant fieldOf(Variant column) { return Variant(std::make_shared<data::Field>("col", column)); }

TEST(ValueUtil, NumberAndValueOfArgumentsAndFields) {
  auto values = outside::makeDefaultValueUtil();
  auto number = [&](Variant v) { return values->op4_number(std::move(v)); };
  for (Variant none :
       {Variant(), Variant::null(), Variant(""), Variant(" \t "), fieldOf(Variant::null())}) {
    EXPECT_EQ(number(none), Variant(int32_t{0}));
  }
  EXPECT_EQ(number(Variant(" 42 ")), Variant(int32_t{42}));
  EXPECT_EQ(number(Variant("12,5")), Variant(12.5));
  EXPECT_EQ(number(Variant("1E3")), Variant(int32_t{1000}));
  EXPECT_EQ(number(Variant("3000000000")), Variant(3000000000.0));
  EXPECT_EQ(number(Variant(Currency{15000})), Variant(1.5));
  EXPECT_EQ(number(Variant(2.0)), Variant(int32_t{2}));
  EXPECT_EQ(number(Variant::boolean(true)), Variant(int32_t{-1}));
  EXPECT_EQ(number(fieldOf(Variant("5"))), Variant(int32_t{5}));
  for (Variant bad : {Variant("abc"), Variant("12abc"), fieldOf(Variant("x"))}) {
    try {
      number(bad);
      ADD_FAILURE() << "no error for " << vb::cstr(bad);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number, 13);
    }
  }
  EXPECT_EQ(values->op6_value(fieldOf(Variant::null())), Variant(""));
  EXPECT_EQ(values->op6_value(fieldOf(Variant(int32_t{3}))), Variant(int32_t{3}));
}

TEST(ValueUtil, NormalizeBlanksControlsAndRepairsBrokenText) {
  auto values = outside::makeDefaultValueUtil();
  EXPECT_EQ(values->op13_normalize("\tCaixa\r\nfrágil\t"), "Caixa  frágil");
  EXPECT_EQ(values->op13_normalize(std::string("\0 12 \0", 6)), "12");
  EXPECT_EQ(values->op13_normalize("a\x7F"
                                   "b\xC2\x85"
                                   "c"),
            "a b c");  // DEL, NEL
  EXPECT_EQ(values->op13_normalize("a\xFF"
                                   "b\xC3"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(values->op13_normalize("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(values->op13_normalize("ação 日本 🚚"), "ação 日本 🚚");
}

}  // namespace
}  // namespace z418kt
