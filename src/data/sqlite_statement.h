// The SQLite C API underneath the SQLite provider: an owned database handle,
// and one statement run to completion into a RowSet.
//
// Column values become variants: INTEGER → I4 within 32 bits, else R8;
// REAL → R8; TEXT and BLOB → text; NULL → Null. Column names are those the
// statement gives. A statement without result columns gives hasResultSet false.
// Failures throw errors::provider with SQLite's own message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "data/row_set.h"
#include "data/sql_lexer.h"

namespace z418kt::data::sqlite {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Result codes after which a connection is not to be trusted again.
bool isFatal(int resultCode);

// Thrown for a failed statement; carries SQLite's extended result code so the
// connection can tell a broken session from a refused statement.
struct StatementFailure : std::exception {
  StatementFailure(int resultCode, std::string message)
      : resultCode(resultCode), message(std::move(message)) {}
  const char* what() const noexcept override { return message.c_str(); }
  int resultCode;
  std::string message;
};

// Prepares exactly one statement (a trailing ';' or comment is allowed); a
// text holding a second statement is refused. Null for a text with nothing to
// run. `persistent` tells SQLite the statement will be kept and run many times.
Statement prepare(sqlite3* db, const std::string& statement, bool persistent = false);

// Binds `arguments` to ?1..?n, steps the statement to its end, and leaves it
// reset with its bindings cleared, ready to run again.
RowSet runPrepared(sqlite3* db, sqlite3_stmt* statement,
                   const std::vector<sql::ExecArgument>& arguments);

// An argument as a statement binds it, read once for every statement that
// binds it (a procedure's steps bind the same arguments): a number as
// runPrepared reads it (a 64-bit integer when it is one, else a double, else
// its text), a text, or null. A text points into the argument it was read from.
struct BoundValue {
  enum class Kind { Null, Integer, Real, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  const std::string* text = nullptr;
};
void readArguments(const std::vector<sql::ExecArgument>& arguments, std::vector<BoundValue>& out);

// runPrepared for arguments read once; the arguments they were read from must
// outlive the run. Without `named` the result's column names are left empty
// (nameColumns gives them later, for a result that is kept).
RowSet runPrepared(sqlite3* db, sqlite3_stmt* statement, const std::vector<BoundValue>& arguments,
                   bool named);
void nameColumns(sqlite3_stmt* statement, std::vector<std::string>& columns);

// Runs exactly one statement (a trailing ';' or comment is allowed), binding
// `arguments` to its parameters ?1..?n (never spliced into the text). A text
// holding a second statement is refused before anything runs. Throws
// StatementFailure.
RowSet run(sqlite3* db, const std::string& statement,
           const std::vector<sql::ExecArgument>& arguments = {});

}  // namespace z418kt::data::sqlite
