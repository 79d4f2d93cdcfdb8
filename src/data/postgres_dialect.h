// The PostgreSQL dialect adapter: makes the component's statements, written
// for Oracle and SQL Server, run on PostgreSQL.
//
//   "EXEC name a, b, c"  →  "SELECT * FROM name('a', 'b', 'c')": the procedure
//       is a set-returning function of the same name. Every argument goes as a
//       quoted literal (NULL stays NULL), so PostgreSQL resolves it to the
//       parameter's declared type whether the caller wrote 42 or '42'.
//   SYSDATE              →  LOCALTIMESTAMP(0), the server's date and time.
//   "DELETE table ..."   →  "DELETE FROM table ...".
// Nothing inside a string literal, a quoted name or a comment is touched.
// An EXEC whose arguments are not plain literals raises AutomationError
// instead of being sent half-understood.
#pragma once

#include <string>
#include <string_view>

namespace z418kt::data {

std::string adaptForPostgres(std::string_view statement);

}  // namespace z418kt::data
