// Reading a libpq result (text format) into a RowSet.
//
// Values come out as the same variants the ODBC provider gives for the same
// columns through psqlODBC's default settings, so an operation answers the
// same whichever way it reaches PostgreSQL:
//   smallint, integer, bigint, oid   → I4, or R8 beyond 32 bits
//   numeric                          → as odbc::decimalFromText, with the
//                                      column's declared scale (0 when none)
//   real, double precision           → R8 (NaN and infinities included)
//   boolean                          → BStr "1" or "0"
//   date, timestamp[tz], time        → Date (a time alone falls on day 0; a
//                                      timestamptz is taken in the session's
//                                      time zone, as the server wrote it)
//   bytea                            → BStr of the hex digits
//   text and everything else         → BStr (UTF-8), as the server wrote it
//   NULL                             → Null
// The session must run with DateStyle ISO, which the provider sets.
#pragma once

#include <libpq-fe.h>

#include "data/row_set.h"
#include "z418kt/variant.h"

namespace z418kt::data::pg {

// Every row and column of a tuples result into `out` (column names included).
void readResult(const PGresult* result, RowSet& out);

// One value in the text format of the column's type `type`; `typmod` as
// PQfmod reports it.
Variant valueOf(Oid type, int typmod, std::string_view text);

}  // namespace z418kt::data::pg
