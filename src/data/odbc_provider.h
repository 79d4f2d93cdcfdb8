// The ODBC provider: any connection text that is not SQLite's goes to the
// unixODBC driver manager (SQLDriverConnect, no prompt).
//
// An ADO prefix "Provider=MSDASQL;" is accepted and dropped, so texts written
// for ADO's ODBC bridge work unchanged. Every session has a login timeout and
// every statement a query timeout, so a server that is down or stops
// answering ends in an error instead of a hang. The engine is learned from
// the driver (its DBMS name): PostgreSQL gets its dialect adapter, every other
// engine receives the statements verbatim.
//
// Errors carry the driver's diagnostics ("[SQLSTATE] message"); they never
// carry the connection text, and a password that a driver might echo is
// masked. A connection-level failure (SQLSTATE class 08) makes the session
// unusable, so the pool drops it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "data/connection.h"

namespace z418kt::data {

struct OdbcOptions {
  int loginTimeoutSeconds = 15;
  int queryTimeoutSeconds = 60;
};

std::unique_ptr<Provider> makeOdbcProvider(const OdbcOptions& options);

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
