// Which provider serves a connection text.
//
// "Provider=SQLite" (any case) is the embedded SQLite provider,
// "Provider=PostgreSQL" the native PostgreSQL provider (libpq); every other
// text is an ODBC connection string. A provider that is not available answers
// with a clear AutomationError instead of a session.
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"

namespace z418kt::data {

bool isSqliteText(const std::string& connectionText);

// The provider family a connection text belongs to.
enum class ProviderFamily { sqlite, postgres, odbc };
ProviderFamily familyOf(const std::string& connectionText);

// Creates a provider for the connection text's family; throws AutomationError
// when that provider is not built into this library.
std::unique_ptr<Provider> providerFor(const std::string& connectionText);

// A new session outside any pool (database set-up uses it). With
// `createSqliteFile`, a SQLite file that does not exist yet is created.
std::unique_ptr<Connection> connectDirect(const std::string& connectionText, bool createSqliteFile);

}  // namespace z418kt::data
