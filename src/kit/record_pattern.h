// The record-set pattern shared by the nine data-access operations and the
// Oracle statement builders: the dialect rule, the stored-procedure text, the
// read and write opens, the "retorno" test and the builders' own data change.
//
// The operation keeps its order and its statement numbers (TrapState::at) so
// that its trap reports where it failed. A helper that runs several statements
// numbers the first with the operation's current number and each one after it
// with the next number (TrapState::next), so the operation leaves room for them.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "data/recordset.h"
#include "kit/trap.h"
#include "z418kt/variant.h"

namespace z418kt::pattern {

// The Oracle form is chosen only for the text "ORACLE" exactly: same case, no
// blanks. Anything else, the empty value included, calls the stored procedures.
bool isOracle(const Variant& bancoDados);

// A value "formatted without a pattern", as handed to the builders: Null gives "".
std::string textForm(const Variant& value);

// ValueUtil operation 4 of a value, converted to a 32-bit integer (6 outside it).
int32_t idArgument(const Variant& value);

// ValueUtil operation 11 of a value converted to text: true when accepted, with
// the text to store in `accepted`.
bool acceptDecimal(const Variant& value, std::string& accepted);

// The stored-procedure form: the procedure text, then each argument's
// ValueUtil rendering followed by ", ", the last one followed by `tail`.
// The statement (st.sql) grows in place, so a trap shows it as far as it was
// built; each argument is a statement with the next number.
class ProcedureText {
 public:
  ProcedureText(TrapState& st, std::string_view procedure);
  ProcedureText& arg(const Variant& value);                     // operation 7, then ", "
  ProcedureText& textArg(const Variant& value);                 // operation 8, then ", "
  void last(const Variant& value, std::string_view tail = "");  // operation 7, then tail

 private:
  TrapState& st_;
};

// The builders' statement texts: pieces appended in order with nothing between
// them. The text grows in place, so a trap shows it as far as it was built.
// A constant run of pieces is best written as adjacent literals, which the
// compiler joins into one piece: each piece is a copy of its own.
void appendPieces(std::string& statement, std::initializer_list<std::string_view> pieces);

// OracleSqlUtil operation 3 with the empty operator: the bare SQL value.
std::string sqlValue(const Variant& value);
// The same value written onto the statement between `before` and `after`,
// without a text of its own on the way. Nothing is written when the component
// fails, so a trap shows the statement as far as it was built before it.
void appendSqlValue(std::string& statement, std::string_view before, const Variant& value,
                    std::string_view after);
// OracleSqlUtil operation 3 with "=": the whole comparison.
std::string sqlComparison(const Variant& value);
// The same comparison written onto the statement as appendSqlValue writes a value.
void appendSqlComparison(std::string& statement, std::string_view before, const Variant& value,
                         std::string_view after);
// OracleSqlUtil operation 4: the SQL literal of a free text.
std::string sqlText(const Variant& value);

// ValueUtil operation 4 of a value equals 0: no identifier given.
bool numberIsZero(const Variant& value);

// A builder that ends with an error of its own counts as having answered
// False: its trap has written the message, and an error it lets out (its
// trap's user-id test) is not the calling operation's to report.
template <class Builder>
bool callBuilder(Builder&& builder) {
  try {
    return builder();
  } catch (const std::exception&) {
    return false;
  }
}

// Opens the read statement st.sql (client cursor, static, read-only) and tells
// whether the operation goes on to read the first row. When it does not, the
// read is over and `result` says how: a record set that came back closed
// leaves it false; no row sets it true after `onNoRow` has written what an
// empty read answers. The open has the current number, the state and the row
// tests the next two.
bool openRead(data::Recordset& rs, TrapState& st, const std::string& connection, bool& result);
template <class OnNoRow>
bool openRead(data::Recordset& rs, TrapState& st, const std::string& connection, bool& result,
              OnNoRow&& onNoRow) {
  bool noRow = false;
  if (openRead(rs, st, connection, noRow)) return true;
  if (noRow) onNoRow();
  result = noRow;
  return false;
}

// Opens the write statement st.sql (the procedure call or a builder's constant
// SELECT) with ADO's defaults: true when it answered a row. The open has the
// current number, the state and the row tests the next two.
bool openWrite(data::Recordset& rs, TrapState& st, const std::string& connection);

// Fields.Item(name) of the current row, the field object held in a variant.
Variant field(const data::Recordset& rs, std::string_view name);

// ValueUtil operation 4 of "retorno" is 0. Otherwise the record set is closed.
// The field's read has the current number, the test and the close the next two.
bool retornoIsZero(data::Recordset& rs, TrapState& st);

// A write builder's own data change st.sql: a record set of its own with a
// client cursor, opened with -1, -1, -1, closed if it came back open with a
// row. The open has the current number, the state and row tests and the close
// the next three.
void runDataChange(TrapState& st, const std::string& connection);

}  // namespace z418kt::pattern
