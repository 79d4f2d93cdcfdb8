// Reading a result set of an ODBC statement into a RowSet.
//
// Column types map onto variants the way ADO maps them for the component:
//   integers (bit excepted)          → I4, or R8 beyond 32 bits
//   exact decimals (NUMERIC/DECIMAL) → I4 when declared without decimals and
//                                      whole within 32 bits; else Currency when
//                                      the value has at most 4 decimals and fits
//                                      Currency's range; else R8
//   approximate numbers              → R8
//   bit                              → Bool
//   dates, times, timestamps         → Date
//   text and everything else         → BStr (UTF-8)
//   NULL                             → Null
#pragma once

#include <string>

#include "data/odbc_handles.h"
#include "data/row_set.h"
#include "z418kt/variant.h"

namespace z418kt::data::odbc {

// Reads every row of the current result set of `statement` (which has
// columns) into `out`; driver failures throw AutomationError.
void readResultSet(const Handle& statement, RowSet& out);

// The variant for the text of an exact decimal ("-12.3400", "1e3" is not one):
// as the table above says; `declaredScale` is the column's declared scale.
Variant decimalFromText(const std::string& text, int declaredScale);

}  // namespace z418kt::data::odbc
