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

int bindNumber(sqlite3_stmt* s, int index, const std::string& text) {
  // Most numbers are keys: up to 18 digits, which always fit in 64 bits.
  if (!text.empty() && text.size() <= 18 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    int64_t whole = 0;
    for (char c : text) whole = whole * 10 + (c - '0');
    return sqlite3_bind_int64(s, index, whole);
  }
  if (auto whole = numtext::parseInteger(text)) return sqlite3_bind_int64(s, index, *whole);
  if (auto real = numtext::parseDouble(text)) return sqlite3_bind_double(s, index, *real);
  return sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void bind(sqlite3* db, sqlite3_stmt* s, const std::vector<sql::ExecArgument>& arguments) {
  int count = sqlite3_bind_parameter_count(s);
  for (int i = 1; i <= count; ++i) {
    if (static_cast<size_t>(i) > arguments.size())
      throw StatementFailure{SQLITE_RANGE, "parameter ?" + std::to_string(i) +
                                               " has no argument (" +
                                               std::to_string(arguments.size()) + " given)"};
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

RowSet runPrepared(sqlite3* db, sqlite3_stmt* s, const std::vector<sql::ExecArgument>& arguments) {
  // Reset on every way out, so a kept statement never holds a read open.
  struct Reset {
    sqlite3_stmt* s;
    ~Reset() {
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
    }
  } reset{s};
  bind(db, s, arguments);

  RowSet out;
  int columns = sqlite3_column_count(s);
  out.hasResultSet = columns > 0;
  out.columns.reserve(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(s, c);
    out.columns.emplace_back(name ? name : "");
  }
  int rc;
  out.rows.setWidth(static_cast<size_t>(columns));
  while ((rc = sqlite3_step(s)) == SQLITE_ROW)
    for (int c = 0; c < columns; ++c) out.rows.add(columnValue(s, c));
  if (rc != SQLITE_DONE) fail(db, rc);
  return out;
}

RowSet run(sqlite3* db, const std::string& text, const std::vector<sql::ExecArgument>& arguments) {
  Statement s = prepare(db, text);
  if (!s) return RowSet{};  // only blanks or comments: nothing to run
  return runPrepared(db, s.get(), arguments);
}

}  // namespace z418kt::data::sqlite
