// The ODBC provider: every connection text that does not name SQLite is an
// ODBC connection string, opened through unixODBC's driver manager.
//
// An ADO prefix "Provider=MSDASQL;" is accepted and dropped, so texts written
// for ADO's ODBC bridge work unchanged. Every session has a login timeout and
// every statement a query timeout; past it a statement is cancelled, and a
// server that does not answer at all is cut off `cutOffGraceSeconds` later
// (see deadline_watcher.h, session_socket.h): the statement then ends in
// StatementTimeout. The engine is learned from the driver (its DBMS name):
// PostgreSQL gets its dialect adapter, every other engine receives the
// statements verbatim.
//
// A PostgreSQL session forces standard_conforming_strings on when it opens
// and refuses to open when the server will not have it: only then is a
// backslash inside a quoted literal plain data, as the literal writer needs.
//
// Errors carry the driver's diagnostics ("[SQLSTATE] message"); they never
// carry the connection text, and a password that a driver might echo is
// masked. A connection-level failure (SQLSTATE class 08, a server that ended
// the session) throws ConnectionLost and makes the session unusable, so the
// pool drops it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "data/connection.h"
#include "data/data_limits.h"

namespace z418kt::data {

std::unique_ptr<Provider> makeOdbcProvider(const SessionTimeouts& timeouts);

namespace odbc {
// The connection text without a leading "Provider=MSDASQL[.n];" pair.
std::string withoutAdoPrefix(std::string_view connectionText);
// The engine folder name for a driver's DBMS name: "postgresql", "oracle",
// "sqlserver", else the name in lower case.
std::string engineOf(std::string_view dbmsName);
// `text` with every password value of the connection text replaced by "***".
std::string masked(std::string text, std::string_view connectionText);
}  // namespace odbc

}  // namespace z418kt::data
