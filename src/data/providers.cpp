#include "data/providers.h"

#include "automation/connection_text.h"
#include "data/postgres_provider.h"
#include "data/sqlite_connection.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

bool isSqliteText(const std::string& connectionText) {
  return familyOf(connectionText) == ProviderFamily::sqlite;
}

ProviderFamily familyOf(const std::string& connectionText) {
  const ConnectionText text(connectionText);
  if (text.is("Provider", "SQLite")) return ProviderFamily::sqlite;
  if (text.is("Provider", "PostgreSQL")) return ProviderFamily::postgres;
  return ProviderFamily::odbc;
}

std::unique_ptr<Provider> providerFor(const std::string& connectionText) {
  switch (familyOf(connectionText)) {
    case ProviderFamily::sqlite:
      return makeSqliteProvider();
    case ProviderFamily::postgres:
      return makePostgresProvider(SessionTimeouts::process());
    case ProviderFamily::odbc:
      break;
  }
  auto odbc = makeOdbcProvider();
  if (!odbc)
    throw errors::provider(
        "No ODBC provider is available: only \"Provider=SQLite;Data Source=<file>\" "
        "connections can be opened.");
  return odbc;
}

std::unique_ptr<Connection> connectDirect(const std::string& connectionText,
                                          bool createSqliteFile) {
  if (isSqliteText(connectionText))
    return std::make_unique<SqliteConnection>(connectionText, createSqliteFile);
  auto connection = providerFor(connectionText)->connect(connectionText);
  if (!connection) throw errors::provider("The ODBC provider could not open a session.");
  return connection;
}

}  // namespace z418kt::data
