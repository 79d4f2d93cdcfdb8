#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace z418kt::json {
namespace {

// The same tree, kinds of number and sign of zero included.
bool sameTree(const Json& a, const Json& b) {
  if (a.type() != b.type() || a.size() != b.size()) return false;
  if (a.is_number_float())
    return a.get<double>() == b.get<double>() &&
           std::signbit(a.get<double>()) == std::signbit(b.get<double>());
  if (a.is_structured()) {
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
      if ((a.is_object() && i.key() != j.key()) || !sameTree(*i, *j)) return false;
    return true;
  }
  return a == b;
}

int refusal(const std::string& text, const RequestLimits& limits = {}) {
  try {
    readJson(text, limits);
  } catch (const RequestError& e) {
    if (e.number == kMalformedRequest) {  // says where
      EXPECT_NE(e.description.find(" at byte "), std::string::npos) << e.description;
    }
    return e.number;
  }
  return 0;
}

TEST(JsonReader, ReadsWhatTheJsonLibraryReadsAndRefusesWhatItRefuses) {
  const std::string read[] = {
      R"({"op":"x","args":{"a":[1,-2,3.5,true,false,null],"b":{}},"id":[]})",
      "[0,-0,-0.0,1E+2,0.1e1,18446744073709551615,18446744073709551616,-9223372036854775808,"
      "-9223372036854775809,1e-400,-1e-400,4e-320,1.7976931348623157e308]",
      R"({"a":1,"b":2,"a":[3]})",  // a repeated key keeps its first place, its last value
      R"(["\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00\u0000", "ação €"])",
      "\xEF\xBB\xBF {} ",
      std::string("[1]\0garbage", 11),
      " \t\r\n\"x\" "};
  for (const std::string& text : read) {
    Json expected = Json::parse(text);
    EXPECT_TRUE(sameTree(readJson(text, {}), expected)) << text;
  }
  std::string many = "{";
  for (int k = 0; k < 100; ++k)
    many += "\"k" + std::to_string(k % 40) + "\":" + std::to_string(k) + ",";
  many.back() = '}';
  EXPECT_TRUE(sameTree(readJson(many, {}), Json::parse(many)));

  for (const char* text : {"",
                           " ",
                           "nul",
                           "tru e",
                           "01",
                           "-",
                           "1.",
                           ".5",
                           "1e",
                           "+1",
                           "1e400",
                           "-1e400",
                           "[1,]",
                           "[1 2]",
                           "{\"a\":1,}",
                           "{\"a\" 1}",
                           "{a:1}",
                           "[1]]",
                           "{} {}",
                           "\"\t\"",
                           "\"abc",
                           "\"\\x\"",
                           "\"\\u12g4\"",
                           "\"\\udc00\"",
                           "\"\\ud800\"",
                           "\"\\ud800\\u0041\"",
                           "\"\xC3\"",
                           "\"\xED\xA0\x80\"",
                           "\"\xC0\xAF\"",
                           "\xEF\xBB{}",
                           "[\x01]"}) {
    EXPECT_EQ(refusal(text), kMalformedRequest) << text;
    EXPECT_FALSE(Json::accept(text)) << text;
  }
}

TEST(JsonReader, LimitsAndBrokenTextAreReportedInTextOrder) {
  RequestLimits limits;
  limits.maxDepth = 3;
  limits.maxArrayElements = 4;
  EXPECT_EQ(refusal("[[[1]]]", limits), 0);
  EXPECT_EQ(refusal("[[[[1]]]]", limits), kNestingTooDeep);
  EXPECT_EQ(refusal("[{\"a\":{\"b\":{}}}]", limits), kNestingTooDeep);
  EXPECT_EQ(refusal("[[[[", limits), kNestingTooDeep);  // before the text turns out cut short
  // Elements are counted over the whole text, an inner array as one of them.
  EXPECT_EQ(refusal("[1,[2,3]]", limits), 0);
  EXPECT_EQ(refusal("[1,[2,3],4]", limits), kTooManyElements);
  EXPECT_EQ(refusal("[1,2,3,4,5,x]", limits), kTooManyElements);
  EXPECT_EQ(refusal("[1,2,3,4,x5]", limits), kMalformedRequest);
  // An object's members are no elements.
  EXPECT_EQ(refusal("{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5}", limits), 0);
  // Deep nesting costs no stack when the limit allows it.
  limits.maxDepth = limits.maxArrayElements = 1'000'000;
  EXPECT_EQ(refusal(std::string(100'000, '[') + std::string(100'000, ']'), limits), 0);
}

}  // namespace
}  // namespace z418kt::json
