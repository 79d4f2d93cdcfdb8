#include <gtest/gtest.h>

#include "support/temp_database.h"
#include "z418kt/safe_array.h"
#include "z418kt/variant.h"

namespace z418kt {
namespace {

int errorOf(const std::function<void()>& call) { return testing::failureOf(call).number; }

TEST(Variant, ConversionsAndComparisonsFollowVisualBasic) {
  EXPECT_EQ(vb::cstr(Variant()), "");
  EXPECT_EQ(vb::cstr(Variant::boolean(true)), "True");
  EXPECT_EQ(vb::clng(Variant(" 42 ")), 42);
  EXPECT_EQ(vb::clng(Variant(2.5)), 2);  // half to even
  EXPECT_EQ(vb::clng(Variant(3.5)), 4);
  EXPECT_EQ(vb::clng(Variant()), 0);
  for (auto [call, number] : std::initializer_list<std::pair<std::function<void()>, int>>{
           {[] { vb::cstr(Variant::null()); }, 94},
           {[] { vb::clng(Variant::null()); }, 94},
           {[] { vb::clng(Variant("abc")); }, 13},
           {[] { vb::clng(Variant("")); }, 13},
           {[] { vb::equals(Variant("abc"), Variant(int32_t{1})); }, 13},
           {[] { vb::clng(Variant(3e9)); }, 6},
           {[] { vb::cint(Variant(int32_t{40000})); }, 6}})
    EXPECT_EQ(errorOf(call), number);

  EXPECT_TRUE(vb::equals(Variant("1"), Variant(int32_t{1})));
  EXPECT_TRUE(vb::equals(Variant(), Variant(int32_t{0})));
  EXPECT_FALSE(vb::equals(Variant::null(), Variant(int32_t{0})));
  EXPECT_TRUE(vb::greater(Variant(" "), Variant("")));
  EXPECT_FALSE(vb::greater(Variant(""), Variant("")));
  EXPECT_TRUE(vb::isTrue(Variant::boolean(true)));
  EXPECT_FALSE(vb::isTrue(Variant(int32_t{1})));
  EXPECT_EQ(vb::trim("\t a b  "), "\t a b");
}

TEST(SafeArray, BoundsCopiesAndReDim) {
  SafeArray a = SafeArray::zeroBased(4, 2);
  a.at(4, 2) = Variant("last");
  EXPECT_EQ(a.ubound(1), 4);
  EXPECT_EQ(a.ubound(2), 2);
  EXPECT_EQ(errorOf([&] { a.at(5, 0); }), 9);
  EXPECT_EQ(errorOf([&] { a.at(0); }), 9);
  EXPECT_EQ(errorOf([&] { a.ubound(3); }), 9);

  Variant holder(a);
  Variant copy = holder;
  copy.array().at(0, 0) = Variant(int32_t{7});
  EXPECT_TRUE(holder.array().at(0, 0).isEmpty()) << "arrays are copied by value";

  SafeArray offset({{1, 3}});
  offset.at(3) = Variant(1.0);
  EXPECT_EQ(errorOf([&] { offset.at(0); }), 9);
  offset.redim({{0, 1}, {0, 1}});
  EXPECT_TRUE(offset.at(0, 0).isEmpty());
}

}  // namespace
}  // namespace z418kt
