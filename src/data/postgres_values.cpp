#include "data/postgres_values.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "automation/number_text.h"
#include "data/odbc_values.h"

namespace z418kt::data::pg {

namespace {

// Type OIDs of the built-in types (pg_type.dat); they never change.
enum : Oid {
  kBool = 16,
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kOid = 26,
  kFloat4 = 700,
  kFloat8 = 701,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kNumeric = 1700,
};

Variant fromInteger(std::string_view text) {
  auto v = numtext::parseInteger(text);
  if (!v) return Variant(std::string(text));
  if (*v >= std::numeric_limits<int32_t>::min() && *v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int32_t>(*v));
  return Variant(static_cast<double>(*v));
}

Variant fromFloat(std::string_view text) {
  if (text == "NaN") return Variant(std::numeric_limits<double>::quiet_NaN());
  if (text == "Infinity") return Variant(std::numeric_limits<double>::infinity());
  if (text == "-Infinity") return Variant(-std::numeric_limits<double>::infinity());
  auto v = numtext::parseDouble(text);
  return v ? Variant(*v) : Variant(std::string(text));
}

// Reads `count` digits at `at` into `out`; false when they are not all digits.
bool digits(std::string_view text, size_t at, size_t count, int& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0;
  double fraction = 0;  // of a second
};

// "HH:MM:SS[.ffffff]" at `at`; what follows (a zone offset) is left alone.
std::optional<TimeOfDay> timeOfDay(std::string_view text, size_t at) {
  TimeOfDay t;
  if (!digits(text, at, 2, t.hour) || text.size() <= at + 2 || text[at + 2] != ':' ||
      !digits(text, at + 3, 2, t.minute) || text.size() <= at + 5 || text[at + 5] != ':' ||
      !digits(text, at + 6, 2, t.second))
    return std::nullopt;
  size_t i = at + 8;
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
      t.fraction += (text[i] - '0') * scale;
  }
  return t;
}

// ISO dates as the server writes them with DateStyle ISO, counted the way
// the ODBC provider counts them. Infinities, dates before Christ and years
// past 9999 stay texts: a Date cannot hold them.
Variant fromDateTime(Oid type, std::string_view text) {
  numtext::DateTime fields;
  std::optional<TimeOfDay> time;
  if (type == kTime) {
    time = timeOfDay(text, 0);
    if (!time) return Variant(std::string(text));
  } else {
    if (text.size() < 10 || !digits(text, 0, 4, fields.year) || text[4] != '-' ||
        !digits(text, 5, 2, fields.month) || text[7] != '-' || !digits(text, 8, 2, fields.day) ||
        (text.size() > 10 && text[10] != ' ') || text.find(" BC") != std::string_view::npos)
      return Variant(std::string(text));
    if (text.size() > 10 && !(time = timeOfDay(text, 11))) return Variant(std::string(text));
  }
  if (time) fields.hour = time->hour, fields.minute = time->minute, fields.second = time->second;
  if (!numtext::isValid(fields)) return Variant(std::string(text));
  double days = numtext::oleDate(fields);
  double fraction = time ? time->fraction / 86400.0 : 0;
  return Variant::date(days >= 0 ? days + fraction : days - fraction);
}

// The declared scale of a numeric column, 0 when it has none.
int scaleOf(int typmod) { return typmod >= 4 ? (typmod - 4) & 0xffff : 0; }

}  // namespace

Variant valueOf(Oid type, int typmod, std::string_view text) {
  switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      return fromInteger(text);
    case kNumeric:
      return odbc::decimalFromText(std::string(text), scaleOf(typmod));
    case kFloat4:
    case kFloat8:
      return fromFloat(text);
    case kBool:
      return Variant(text == "t" ? "1" : "0");
    case kDate:
    case kTime:
    case kTimestamp:
    case kTimestampTz:
      return fromDateTime(type, text);
    case kBytea:
      if (text.substr(0, 2) == "\\x") text.remove_prefix(2);
      break;
    default:
      break;
  }
  return Variant(std::string(text));
}

void readResult(const PGresult* result, RowSet& out) {
  const int columns = PQnfields(result), rows = PQntuples(result);
  struct Column {
    Oid type;
    int typmod;
  };
  std::vector<Column> types(static_cast<size_t>(columns));
  out.hasResultSet = true;
  out.columns.clear();
  out.rows.setWidth(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    out.columns.emplace_back(PQfname(result, c));
    types[static_cast<size_t>(c)] = {PQftype(result, c), PQfmod(result, c)};
  }
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(result, r, c)) {
        out.rows.add(Variant::null());
        continue;
      }
      const Column& column = types[static_cast<size_t>(c)];
      out.rows.add(valueOf(column.type, column.typmod,
                           std::string_view(PQgetvalue(result, r, c),
                                            static_cast<size_t>(PQgetlength(result, r, c)))));
    }
}

}  // namespace z418kt::data::pg
