#include "json/json_variant.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "automation/number_text.h"
#include "automation/utf8.h"
#include "z418kt/safe_array.h"

namespace z418kt::json {

namespace {

[[noreturn]] void refuse(const std::string& why) { throw RequestError(kInvalidArgument, why); }

// ----- writing -----

// Answers are written straight to text: building them as a JSON tree first
// cost more than the read they answer. The text is what nlohmann's dump gives
// for the same value (one line, UTF-8 kept, U+FFFD for what is not UTF-8).

// Bytes written as they are: printable ASCII but the quote and the backslash.
constexpr auto kPlainByte = [] {
  std::array<bool, 256> plain{};
  for (int b = 0x20; b < 0x80; ++b) plain[static_cast<size_t>(b)] = b != '"' && b != '\\';
  return plain;
}();

void appendQuoted(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  size_t start = out.size();
  out += '"';
  size_t plain = 0;  // where the text not yet copied begins
  for (size_t pos = 0; pos < text.size();) {
    auto byte = static_cast<unsigned char>(text[pos]);
    if (kPlainByte[byte]) {
      ++pos;  // copied later with the rest of its run
      continue;
    }
    if (byte >= 0x80) {
      char32_t codePoint;
      size_t length = utf8::sequenceAt(text, pos, codePoint);
      if (length == 0) {
        // Stray bytes become U+FFFD as the JSON library's own dump writes
        // them, so a text reads the same whichever way it was written.
        out.resize(start);
        out += Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
        return;
      }
      pos += length;
      continue;
    }
    out.append(text.substr(plain, pos - plain));
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    plain = ++pos;
  }
  out.append(text.substr(plain));
  out += '"';
}

void appendInteger(std::string& out, int64_t value) {
  char buf[numtext::kTextCapacity];
  out.append(buf, numtext::writeInteger(buf, value));
}

// A typed value's opening, {"vt":"<vt>","value":, in one append whose
// length is known when compiled.
template <size_t N>
void openTyped(std::string& out, const char (&opening)[N]) {
  out.append(opening, N - 1);
}

void appendArray(std::string& out, const SafeArray& array) {
  out += "{\"vt\":\"ARRAY\",\"lbounds\":[";
  bool emptyDimension = false;
  for (size_t d = 0; d < array.bounds().size(); ++d) {
    if (d) out += ',';
    appendInteger(out, array.bounds()[d].lower);
    emptyDimension = emptyDimension || array.bounds()[d].count == 0;
  }
  out += ']';
  if (emptyDimension) {
    out += ",\"counts\":[";
    for (size_t d = 0; d < array.bounds().size(); ++d) {
      if (d) out += ',';
      appendInteger(out, array.bounds()[d].count);
    }
    out += ']';
  }
  out += ",\"items\":[";
  if (array.dimensions() == 1) {
    for (int32_t i = 0; i < array.bounds()[0].count; ++i) {
      if (i) out += ',';
      appendJson(out, array.at(array.lbound(1) + i));
    }
  } else if (array.dimensions() == 2) {
    for (int32_t i = 0; i < array.bounds()[0].count; ++i) {
      out += i ? ",[" : "[";
      for (int32_t j = 0; j < array.bounds()[1].count; ++j) {
        if (j) out += ',';
        appendJson(out, array.at(array.lbound(1) + i, array.lbound(2) + j));
      }
      out += ']';
    }
  }
  out += "]}";
}

}  // namespace

void appendJson(std::string& out, const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
      out += "{\"vt\":\"EMPTY\"}";
      return;
    case VarType::Null:
      out += "{\"vt\":\"NULL\"}";
      return;
    case VarType::I2:
      openTyped(out, R"({"vt":"I2","value":)");
      appendInteger(out, value.i2());
      break;
    case VarType::I4:
      openTyped(out, R"({"vt":"I4","value":)");
      appendInteger(out, value.i4());
      break;
    case VarType::R8: {
      // JSON has no NaN or infinity: those travel as texts.
      double d = value.r8();
      openTyped(out, R"({"vt":"R8","value":)");
      if (std::isnan(d))
        out += "\"NaN\"";
      else if (std::isinf(d))
        out += d > 0 ? "\"Infinity\"" : "\"-Infinity\"";
      else
        out += Json(d).dump();
      break;
    }
    case VarType::Currency:
      openTyped(out, R"({"vt":"CY","value":)");
      appendQuoted(out, currencyText(value.currency()));
      break;
    case VarType::Date:
      openTyped(out, R"({"vt":"DATE","value":)");
      appendQuoted(out, vb::formatDate(value.dateValue()));
      break;
    case VarType::Bool:
      openTyped(out, R"({"vt":"BOOL","value":)");
      out += value.boolValue() ? "true" : "false";
      break;
    case VarType::BStr:
      openTyped(out, R"({"vt":"BSTR","value":)");
      appendQuoted(out, value.text());
      break;
    case VarType::Object:
      appendJson(out, vb::resolved(value));
      return;
    case VarType::Array:
      appendArray(out, value.array());
      return;
  }
  out += '}';
}

void appendJsonText(std::string& out, std::string_view text) { appendQuoted(out, text); }

Json toJson(const Variant& value) {
  std::string text;
  appendJson(text, value);
  return Json::parse(text);
}

namespace {

// ----- reading -----

// What a decoding may still spend: the limits and how deep it already is.
struct Budget {
  const RequestLimits& limits;
  size_t depth = 0;
};

Variant decode(const Json& json, Budget& budget);

int64_t wholeNumber(const Json& v, const char* vt) {
  // Unsigned first: nlohmann counts unsigned numbers as integers too, and one
  // beyond 63 bits would wrap read as signed.
  if (v.is_number_unsigned()) {
    uint64_t u = v.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) throw errors::overflow();
    return static_cast<int64_t>(u);
  }
  if (v.is_number_integer()) return v.get<int64_t>();
  if (v.is_number_float()) {
    double d = v.get<double>();
    if (d == std::floor(d) && std::fabs(d) < 9.2e18) return static_cast<int64_t>(d);
  }
  refuse(std::string(vt) + " needs a whole number");
}

template <class T>
T inRange(int64_t n) {
  if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max())
    throw errors::overflow();
  return static_cast<T>(n);
}

double doubleValue(const Json& v) {
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    const std::string& s = v.get_ref<const std::string&>();
    if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (s == "Infinity") return std::numeric_limits<double>::infinity();
    if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
  }
  refuse("R8 needs a number");
}

Currency currencyValue(const Json& v) {
  if (v.is_string()) return parseCurrency(v.get_ref<const std::string&>());
  if (v.is_number_integer() || v.is_number_unsigned()) {
    int64_t n = wholeNumber(v, "CY");
    if (n > std::numeric_limits<int64_t>::max() / Currency::kScale ||
        n < std::numeric_limits<int64_t>::min() / Currency::kScale)
      throw errors::overflow();
    return Currency{n * Currency::kScale};
  }
  if (v.is_number_float()) {
    double scaled = std::round(v.get<double>() * Currency::kScale);
    if (!(std::fabs(scaled) < 9.2e18)) throw errors::overflow();
    return Currency{static_cast<int64_t>(scaled)};
  }
  refuse("CY needs a decimal text such as \"12.50\"");
}

double dateValue(const Json& v) {
  if (!v.is_string()) refuse("DATE needs a text \"YYYY-MM-DD[ HH:MM:SS]\"");
  const std::string& s = v.get_ref<const std::string&>();
  auto when = numtext::parseDateTime(s);
  if (!when) refuse("DATE needs a valid date \"YYYY-MM-DD[ HH:MM:SS]\", not \"" + s + "\"");
  return numtext::oleDate(*when);
}

int32_t boundValue(const Json& v) {
  if (!v.is_number()) refuse("ARRAY lbounds must be whole numbers");
  return inRange<int32_t>(wholeNumber(v, "ARRAY lbound"));
}

bool allArrays(const Json& items) {
  if (items.empty()) return false;
  for (const Json& item : items)
    if (!item.is_array()) return false;
  return true;
}

// Builds an array from items (1-D list, or list of equal-length lists for 2-D).
Variant arrayFrom(const Json& items, std::vector<int32_t> lbounds, int dims,
                  std::vector<int32_t> counts, Budget& budget) {
  if (!items.is_array()) refuse("ARRAY items must be a list");
  if (dims < 0 || dims > 2) refuse("ARRAY must have one or two dimensions");
  if (lbounds.empty()) lbounds.assign(static_cast<size_t>(dims), 0);
  if (static_cast<int>(lbounds.size()) != dims) refuse("ARRAY lbounds do not match its items");
  if (dims == 0) {
    if (!items.empty()) refuse("ARRAY without dimensions has no items");
    return Variant(SafeArray());
  }
  int32_t n1 = inRange<int32_t>(static_cast<int64_t>(items.size()));
  int32_t n2 = 0;
  if (dims == 2) {
    if (n1 > 0) {
      if (!items[0].is_array()) refuse("a 2-D ARRAY needs a list per first index");
      n2 = inRange<int32_t>(static_cast<int64_t>(items[0].size()));
    } else if (counts.size() == 2) {
      n2 = counts[1];
    }
    for (const Json& column : items)
      if (!column.is_array() || static_cast<int32_t>(column.size()) != n2)
        refuse("a 2-D ARRAY needs lists of the same length");
  }
  if (dims == 2 && static_cast<size_t>(n2) > budget.limits.maxMatrixRows)
    throw RequestError(kTooManyMatrixRows,
                       "a 2-D ARRAY has " + std::to_string(n2) + " rows; at most " +
                           std::to_string(budget.limits.maxMatrixRows) + " are accepted");
  std::vector<SafeArray::Bound> bounds = {{lbounds[0], n1}};
  if (dims == 2) bounds.push_back({lbounds[1], n2});
  for (const SafeArray::Bound& b : bounds) {
    if (b.count < 0 || static_cast<int64_t>(b.lower) + b.count - 1 > INT32_MAX)
      refuse("ARRAY bounds out of range");
  }
  if (counts.size() == bounds.size()) {
    for (size_t k = 0; k < counts.size(); ++k)
      if (counts[k] != bounds[k].count) refuse("ARRAY counts do not match its items");
  }
  SafeArray array(bounds);
  for (int32_t i = 0; i < n1; ++i) {
    const Json& item = items[static_cast<size_t>(i)];
    if (dims == 1) {
      array.at(lbounds[0] + i) = decode(item, budget);
    } else {
      for (int32_t j = 0; j < n2; ++j)
        array.at(lbounds[0] + i, lbounds[1] + j) = decode(item[static_cast<size_t>(j)], budget);
    }
  }
  return Variant(std::move(array));
}

Variant typedArray(const Json& json, Budget& budget) {
  std::vector<int32_t> lbounds, counts;
  auto lb = json.find("lbounds");
  if (lb != json.end()) {
    if (!lb->is_array()) refuse("ARRAY lbounds must be a list");
    for (const Json& b : *lb) lbounds.push_back(boundValue(b));
  }
  auto ct = json.find("counts");
  if (ct != json.end()) {
    if (!ct->is_array()) refuse("ARRAY counts must be a list");
    for (const Json& c : *ct) counts.push_back(boundValue(c));
  }
  auto it = json.find("items");
  Json none = Json::array();
  const Json& items = it == json.end() ? none : *it;
  int dims = lb != json.end() ? static_cast<int>(lbounds.size()) : allArrays(items) ? 2 : 1;
  return arrayFrom(items, std::move(lbounds), dims, std::move(counts), budget);
}

Variant typedValue(const Json& json, Budget& budget) {
  const Json& vt = json.at("vt");
  if (!vt.is_string()) refuse("\"vt\" must be a text");
  std::string type = vt.get<std::string>();
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (type == "EMPTY") return Variant();
  if (type == "NULL") return Variant::null();
  if (type == "ARRAY") return typedArray(json, budget);
  auto it = json.find("value");
  if (it == json.end()) refuse("\"" + type + "\" needs a \"value\"");
  const Json& v = *it;
  if (type == "I2") return Variant(inRange<int16_t>(wholeNumber(v, "I2")));
  if (type == "I4") return Variant(inRange<int32_t>(wholeNumber(v, "I4")));
  if (type == "R8") return Variant(doubleValue(v));
  if (type == "CY") return Variant(currencyValue(v));
  if (type == "DATE") return Variant::date(dateValue(v));
  if (type == "BOOL") {
    if (!v.is_boolean()) refuse("BOOL needs true or false");
    return Variant::boolean(v.get<bool>());
  }
  if (type == "BSTR") {
    if (!v.is_string()) refuse("BSTR needs a text");
    return Variant(v.get<std::string>());
  }
  refuse("unknown variant type \"" + type + "\"");
}

}  // namespace

std::string dumpText(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string currencyText(Currency value) { return numtext::currencyText(value); }

Currency parseCurrency(const std::string& text) {
  Currency value;
  switch (numtext::parseCurrency(text, value)) {
    case numtext::CurrencyParse::Ok:
      return value;
    case numtext::CurrencyParse::Overflow:
      throw errors::overflow();
    case numtext::CurrencyParse::TooManyDecimals:
      refuse("CY has at most four decimals: \"" + text + "\"");
    case numtext::CurrencyParse::Malformed:
      break;
  }
  refuse("CY needs a decimal text, not \"" + text + "\"");
}

namespace {

Variant decodeValue(const Json& json, Budget& budget) {
  switch (json.type()) {
    case Json::value_t::null:
      return Variant::null();
    case Json::value_t::boolean:
      return Variant::boolean(json.get<bool>());
    case Json::value_t::string:
      return Variant(json.get<std::string>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      // Whole numbers beyond 32 bits keep their value as an R8.
      int64_t n = 0;
      try {
        n = wholeNumber(json, "I4");
      } catch (const AutomationError&) {
        return Variant(json.get<double>());
      }
      if (n < INT32_MIN || n > INT32_MAX) return Variant(static_cast<double>(n));
      return Variant(static_cast<int32_t>(n));
    }
    case Json::value_t::number_float:
      return Variant(json.get<double>());
    case Json::value_t::array:
      return arrayFrom(json, {}, allArrays(json) ? 2 : 1, {}, budget);
    case Json::value_t::object:
      if (!json.contains("vt")) refuse("an object argument needs \"vt\": " + dumpText(json));
      return typedValue(json, budget);
    default:
      refuse("a JSON value of this kind is no variant");
  }
}

// Each nested array costs a level (a 2-D array's rows count as one with it),
// so no JSON value built elsewhere can recurse without bound either.
Variant decode(const Json& json, Budget& budget) {
  if (++budget.depth > budget.limits.maxDepth)
    throw RequestError(kNestingTooDeep, "a value nests arrays deeper than " +
                                            std::to_string(budget.limits.maxDepth) + " levels");
  Variant value = decodeValue(json, budget);
  --budget.depth;
  return value;
}

}  // namespace

Variant fromJson(const Json& json, const RequestLimits& limits) {
  Budget budget{limits};
  return decode(json, budget);
}

}  // namespace z418kt::json
