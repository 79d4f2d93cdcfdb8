#include "data/sqlite_statement.h"

#include <cstdint>
#include <limits>

#include "automation/number_text.h"

namespace z418kt::data::sqlite {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc) { throw StatementFailure{rc, sqlite3_errmsg(db)}; }

bool onlyNoise(const char* tail) {
  if (!tail) return true;
  while (*tail == ' ' || *tail == '\n' || *tail == '\t' || *tail == '\r') ++tail;
  if (!*tail) return true;
  for (const sql::Token& t : sql::tokenize(tail ? tail : "")) {
    if (t.kind == sql::TokenKind::Blank || t.kind == sql::TokenKind::Comment) continue;
    if (t.kind == sql::TokenKind::Punct && t.text == ";") continue;
    return false;
  }
  return true;
}

// Read for every number of every statement bound: kept inline, so binding a
// text's number straight costs no more for sharing the reading.
[[gnu::always_inline]] inline BoundValue readNumber(const std::string& text) {
  BoundValue v;
  // Most numbers are keys: up to 18 digits, which always fit in 64 bits.
  if (!text.empty() && text.size() <= 18 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    int64_t whole = 0;
    for (char c : text) whole = whole * 10 + (c - '0');
    v.kind = BoundValue::Kind::Integer;
    v.integer = whole;
  } else if (auto integer = numtext::parseInteger(text)) {
    v.kind = BoundValue::Kind::Integer;
    v.integer = *integer;
  } else if (auto real = numtext::parseDouble(text)) {
    v.kind = BoundValue::Kind::Real;
    v.real = *real;
  } else {
    v.kind = BoundValue::Kind::Text;
    v.text = &text;
  }
  return v;
}

// A text is bound without a copy: the caller's value outlives the run, which
// clears the bindings at its end.
[[gnu::always_inline]] inline int bindValue(sqlite3_stmt* s, int index, const BoundValue& v) {
  switch (v.kind) {
    case BoundValue::Kind::Integer:
      return sqlite3_bind_int64(s, index, v.integer);
    case BoundValue::Kind::Real:
      return sqlite3_bind_double(s, index, v.real);
    case BoundValue::Kind::Text:
      return sqlite3_bind_text(s, index, v.text->data(), static_cast<int>(v.text->size()),
                               SQLITE_STATIC);
    case BoundValue::Kind::Null:
      break;
  }
  return sqlite3_bind_null(s, index);
}

int bindNumber(sqlite3_stmt* s, int index, const std::string& text) {
  return bindValue(s, index, readNumber(text));
}

[[noreturn]] void missingArgument(int index, size_t given) {
  throw StatementFailure{SQLITE_RANGE, "parameter ?" + std::to_string(index) +
                                           " has no argument (" + std::to_string(given) +
                                           " given)"};
}

void bind(sqlite3* db, sqlite3_stmt* s, const std::vector<sql::ExecArgument>& arguments) {
  int count = sqlite3_bind_parameter_count(s);
  for (int i = 1; i <= count; ++i) {
    if (static_cast<size_t>(i) > arguments.size()) missingArgument(i, arguments.size());
    const sql::ExecArgument& a = arguments[static_cast<size_t>(i) - 1];
    int rc = SQLITE_OK;
    switch (a.kind) {
      case sql::ExecArgument::Kind::Null:
        rc = sqlite3_bind_null(s, i);
        break;
      case sql::ExecArgument::Kind::Number:
        rc = bindNumber(s, i, a.value);
        break;
      case sql::ExecArgument::Kind::Text:
        // The arguments outlive the run, which clears the bindings at its end.
        rc = sqlite3_bind_text(s, i, a.value.data(), static_cast<int>(a.value.size()),
                               SQLITE_STATIC);
        break;
    }
    if (rc != SQLITE_OK) fail(db, rc);
  }
}

// The column's value is taken once and asked for its type and contents: the
// statement is stepped by this thread alone, so the unprotected value that
// sqlite3_column_value gives is safe to read, and each cell then costs one
// look-up of the column instead of two.
Variant columnValue(sqlite3_stmt* s, int c) {
  sqlite3_value* v = sqlite3_column_value(s, c);
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      sqlite3_int64 i = sqlite3_value_int64(v);
      if (i >= std::numeric_limits<int32_t>::min() && i <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(i));
      return Variant(static_cast<double>(i));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(v));
    case SQLITE_NULL:
      return Variant::null();
    default: {  // TEXT, BLOB
      const void* data = sqlite3_value_blob(v);
      int size = sqlite3_value_bytes(v);
      return Variant(std::string(static_cast<const char*>(data), data ? size : 0));
    }
  }
}

}  // namespace

bool isFatal(int rc) {
  switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_FULL:
    case SQLITE_MISUSE:
    case SQLITE_NOMEM:
      return true;
    default:
      return false;
  }
}

Statement prepare(sqlite3* db, const std::string& text, bool persistent) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size()),
                              persistent ? SQLITE_PREPARE_PERSISTENT : 0, &raw, &tail);
  Statement s(raw);
  if (rc != SQLITE_OK) fail(db, rc);
  if (s && !onlyNoise(tail))
    throw StatementFailure{SQLITE_ERROR, "only one statement may be run at a time"};
  return s;
}

void readArguments(const std::vector<sql::ExecArgument>& arguments, std::vector<BoundValue>& out) {
  out.clear();
  for (const sql::ExecArgument& a : arguments) {
    switch (a.kind) {
      case sql::ExecArgument::Kind::Null:
        out.emplace_back();
        break;
      case sql::ExecArgument::Kind::Number:
        out.push_back(readNumber(a.value));
        break;
      case sql::ExecArgument::Kind::Text:
        out.push_back({BoundValue::Kind::Text, 0, 0, &a.value});
        break;
    }
  }
}

void nameColumns(sqlite3_stmt* s, std::vector<std::string>& columns) {
  int count = sqlite3_column_count(s);
  columns.clear();
  columns.reserve(static_cast<size_t>(count));
  for (int c = 0; c < count; ++c) {
    const char* name = sqlite3_column_name(s, c);
    columns.emplace_back(name ? name : "");
  }
}

namespace {

// Resets a kept statement on every way out of its run, so it never holds a
// read open, and clears its bindings.
struct ResetAfterRun {
  sqlite3_stmt* s;
  ~ResetAfterRun() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

// Steps a bound statement to its end, each row's values in column order.
RowSet collect(sqlite3* db, sqlite3_stmt* s, bool named) {
  RowSet out;
  int columns = sqlite3_column_count(s);
  out.hasResultSet = columns > 0;
  if (named) nameColumns(s, out.columns);
  int rc;
  out.rows.setWidth(static_cast<size_t>(columns));
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    for (int c = 0; c < columns; ++c) out.rows.add(columnValue(s, c));
  if (rc != SQLITE_DONE) fail(db, rc);
  return out;
}

}  // namespace

RowSet runPrepared(sqlite3* db, sqlite3_stmt* s, const std::vector<sql::ExecArgument>& arguments) {
  ResetAfterRun reset{s};
  bind(db, s, arguments);
  return collect(db, s, true);
}

RowSet runPrepared(sqlite3* db, sqlite3_stmt* s, const std::vector<BoundValue>& arguments,
                   bool named) {
  ResetAfterRun reset{s};
  int count = sqlite3_bind_parameter_count(s);
  for (int i = 1; i <= count; ++i) {
    if (static_cast<size_t>(i) > arguments.size()) missingArgument(i, arguments.size());
    int rc = bindValue(s, i, arguments[static_cast<size_t>(i) - 1]);
    if (rc != SQLITE_OK) fail(db, rc);
  }
  return collect(db, s, named);
}

RowSet run(sqlite3* db, const std::string& text, const std::vector<sql::ExecArgument>& arguments) {
  Statement s = prepare(db, text);
  if (!s) return RowSet{};  // only blanks or comments: nothing to run
  return runPrepared(db, s.get(), arguments);
}

}  // namespace z418kt::data::sqlite
