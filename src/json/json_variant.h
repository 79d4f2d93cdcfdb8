// Variants as JSON, the exchange form of the z418kt command.
//
// Answers are always typed: {"vt":"I2","value":10}, {"vt":"BSTR","value":"x"},
// {"vt":"EMPTY"}, {"vt":"NULL"}, {"vt":"I4",...}, {"vt":"R8",...},
// {"vt":"BOOL","value":true}, {"vt":"CY","value":"12.5"} (a decimal text, so
// money stays exact), {"vt":"DATE","value":"2024-05-01 10:30:00"} and
// {"vt":"ARRAY","lbounds":[0,0],"items":[[...],[...]]} where items[i][j] is
// element (i, j): the cargo matrix is items[column][row]. An array with an
// empty dimension also carries "counts", since items cannot show it. An
// object (a record-set field) is written as its value.
//
// Requests may use the typed form or plain JSON: an integer is an I4 (an R8
// beyond 32 bits), a fractional number an R8, a string a BSTR, null NULL, a
// bool BOOL, and nested arrays a 0-based ARRAY (1-D, or 2-D when every item
// is an array of the same length).
//
// fromJson throws RequestError for anything it cannot read; it never
// half-builds a value.
#pragma once

#include <nlohmann/json.hpp>

#include "json/request_error.h"
#include "json/request_limits.h"
#include "z418kt/variant.h"

namespace z418kt::json {

using Json = nlohmann::ordered_json;

// The typed form of a value appended to `out` as one line of JSON text, and
// the same as a JSON tree; a text alone as a JSON string.
void appendJson(std::string& out, const Variant& value);
void appendJsonText(std::string& out, std::string_view text);
Json toJson(const Variant& value);
// One line of JSON; text that is not valid UTF-8 is written with U+FFFD
// instead of failing.
std::string dumpText(const Json& json);
// Refuses arrays nested beyond limits.maxDepth (kNestingTooDeep) and 2-D
// arrays with more than limits.maxMatrixRows rows (kTooManyMatrixRows).
Variant fromJson(const Json& json, const RequestLimits& limits = {});

// Exact decimal text of a Currency ("-12.5", "3", "0.0001") and back; the
// text accepts an optional sign, digits and at most four decimals after '.'.
std::string currencyText(Currency value);
Currency parseCurrency(const std::string& text);

}  // namespace z418kt::json
