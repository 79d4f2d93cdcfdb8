#include "data/odbc_values.h"

#include "automation/utf8.h"

#include <cmath>
#include <limits>

#include "automation/number_text.h"

namespace z418kt::data::odbc {

namespace {

enum class Kind { Integer, Decimal, Approximate, Bit, DateTime, Text };

Kind kindOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Kind::Integer;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return Kind::Decimal;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Kind::Approximate;
    case SQL_BIT:
      return Kind::Bit;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
      return Kind::DateTime;
    default:
      return Kind::Text;
  }
}

struct Column {
  std::string name;
  Kind kind = Kind::Text;
  int scale = 0;
};

Variant fromInteger(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(v));
  return Variant(static_cast<double>(v));
}

[[noreturn]] void fail(const Handle& statement, const std::string& column) {
  throw failure(diagnostics(statement), "ODBC: reading column " + column + ":");
}

// Reads a fixed-size value; false for NULL.
template <typename T>
bool getFixed(const Handle& statement, SQLUSMALLINT index, SQLSMALLINT cType, T& value,
              const Column& column) {
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(statement.get(), index, cType, &value, sizeof value, &indicator);
  if (!succeeded(rc)) fail(statement, column.name);
  return indicator != SQL_NULL_DATA;
}

// Reads a text value in pieces; false for NULL.
bool getText(const Handle& statement, SQLUSMALLINT index, std::string& out, const Column& column) {
  std::u16string text;
  char16_t buffer[2048];
  while (true) {
    SQLLEN indicator = 0;
    SQLRETURN rc =
        SQLGetData(statement.get(), index, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) fail(statement, column.name);
    if (indicator == SQL_NULL_DATA) return false;
    size_t capacity = sizeof buffer / sizeof buffer[0] - 1;  // one unit for the terminator
    size_t units = (indicator == SQL_NO_TOTAL || indicator < 0 ||
                    static_cast<size_t>(indicator) / sizeof(char16_t) > capacity)
                       ? capacity
                       : static_cast<size_t>(indicator) / sizeof(char16_t);
    text.append(buffer, units);
    if (rc == SQL_SUCCESS) break;  // SUCCESS_WITH_INFO 01004: more to come
  }
  out = utf8::fromUtf16(text);
  return true;
}

Variant readValue(const Handle& statement, SQLUSMALLINT index, const Column& column) {
  switch (column.kind) {
    case Kind::Integer: {
      SQLBIGINT v = 0;
      if (!getFixed(statement, index, SQL_C_SBIGINT, v, column)) return Variant::null();
      return fromInteger(v);
    }
    case Kind::Approximate: {
      SQLDOUBLE v = 0;
      if (!getFixed(statement, index, SQL_C_DOUBLE, v, column)) return Variant::null();
      return Variant(static_cast<double>(v));
    }
    case Kind::Bit: {
      SQLCHAR v = 0;
      if (!getFixed(statement, index, SQL_C_BIT, v, column)) return Variant::null();
      return Variant::boolean(v != 0);
    }
    case Kind::DateTime: {
      SQL_TIMESTAMP_STRUCT ts{};
      if (!getFixed(statement, index, SQL_C_TYPE_TIMESTAMP, ts, column)) return Variant::null();
      if (ts.year == 0) ts.year = 1899, ts.month = 12, ts.day = 30;  // a time of day alone
      double days = vb::makeDate(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
      double fraction = ts.fraction / 1e9 / 86400.0;  // nanoseconds
      return Variant::date(days >= 0 ? days + fraction : days - fraction);
    }
    case Kind::Decimal: {
      std::string text;
      if (!getText(statement, index, text, column)) return Variant::null();
      return decimalFromText(text, column.scale);
    }
    case Kind::Text:
      break;
  }
  std::string text;
  if (!getText(statement, index, text, column)) return Variant::null();
  return Variant(std::move(text));
}

}  // namespace

Variant decimalFromText(const std::string& text, int declaredScale) {
  // Plain form only: optional sign, digits, optional '.' and digits.
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string whole, fraction;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') whole += text[i++];
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') fraction += text[i++];
  }
  if (i != text.size() || (whole.empty() && fraction.empty())) {
    double d = 0;
    if (vb::parseNumber(text, d)) return Variant(d);
    return Variant(text);  // not a number at all (e.g. "NaN"): hand the text over
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  size_t firstDigit = whole.find_first_not_of('0');
  whole = firstDigit == std::string::npos ? "" : whole.substr(firstDigit);

  if (fraction.empty() && declaredScale == 0 && whole.size() <= 10) {
    int64_t v = whole.empty() ? 0 : numtext::parseInteger(whole).value_or(0);
    if (negative) v = -v;
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
      return Variant(static_cast<int32_t>(v));
  }
  // Currency holds ±922 337 203 685 477.5807: up to 15 whole digits always fit.
  if (fraction.size() <= 4 && whole.size() <= 15) {
    std::string digits = whole + fraction + std::string(4 - fraction.size(), '0');
    int64_t scaled = numtext::parseInteger(digits).value_or(0);
    return Variant(Currency{negative ? -scaled : scaled});
  }
  double beyond = std::numeric_limits<double>::infinity();  // the only way a plain text fails
  return Variant(numtext::parseDouble(text).value_or(negative ? -beyond : beyond));
}

void readResultSet(const Handle& statement, RowSet& out) {
  SQLSMALLINT count = 0;
  if (!succeeded(SQLNumResultCols(statement.get(), &count)))
    throw failure(diagnostics(statement), "ODBC:");
  std::vector<Column> columns(static_cast<size_t>(count));
  out.hasResultSet = true;
  out.columns.clear();
  out.rows.setWidth(static_cast<size_t>(count));
  for (SQLSMALLINT c = 1; c <= count; ++c) {
    char16_t name[256] = {};
    SQLSMALLINT nameLength = 0, sqlType = 0, decimals = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeColW(statement.get(), static_cast<SQLUSMALLINT>(c),
                                   reinterpret_cast<SQLWCHAR*>(name), 256, &nameLength, &sqlType,
                                   &size, &decimals, &nullable);
    if (!succeeded(rc)) throw failure(diagnostics(statement), "ODBC: describing the result:");
    Column& column = columns[static_cast<size_t>(c - 1)];
    column.name = utf8::fromUtf16(std::u16string_view(name, std::min<size_t>(nameLength, 255)));
    column.kind = kindOf(sqlType);
    column.scale = decimals;
    out.columns.push_back(column.name);
  }
  while (true) {
    SQLRETURN rc = SQLFetch(statement.get());
    if (rc == SQL_NO_DATA) break;
    if (!succeeded(rc)) throw failure(diagnostics(statement), "ODBC: fetching a row:");
    for (size_t c = 0; c < columns.size(); ++c)
      out.rows.add(readValue(statement, static_cast<SQLUSMALLINT>(c + 1), columns[c]));
  }
}

}  // namespace z418kt::data::odbc
