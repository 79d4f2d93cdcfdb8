#include "data/database_setup.h"

#include "data/embedded_scripts.h"
#include "data/providers.h"
#include "data/sql_lexer.h"
#include "z418kt/automation_error.h"

namespace z418kt::data {

namespace {

// The scripts folder of an engine, from the name its session reports.
std::string scriptFolder(const std::string& engine) {
  if (engine.find("sqlite") != std::string::npos) return "sqlite";
  if (engine.find("postgres") != std::string::npos) return "postgresql";
  return engine;
}

// Whether the database already holds the Coleta tables. Only the engine's
// answer "no such table" means an empty database; any other failure (a lost
// server, a locked file) is reported as it is.
bool hasDocuments(Connection& connection, const std::string& folder) {
  const std::string probe = folder == "sqlite"
                                ? "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                                  "name = 'DOCTO_TRANSPORTE' COLLATE NOCASE"
                                : "SELECT COUNT(*) FROM information_schema.tables WHERE "
                                  "table_schema = current_schema() AND table_name = "
                                  "'docto_transporte'";
  RowSet rows = connection.execute(probe);
  return !rows.rows.empty() && !(rows.rows[0][0] == Variant(int32_t{0}));
}

void runScript(Connection& connection, const std::string& name, std::string_view script) {
  for (const std::string& statement : sql::splitStatements(script)) {
    try {
      connection.execute(statement);
    } catch (const AutomationError& e) {
      throw errors::provider("db/" + name + ": " + e.description);
    }
  }
}

}  // namespace

void initDatabase(const std::string& connectionText, bool withDemo) {
  auto connection = connectDirect(connectionText, true);
  std::string folder = scriptFolder(connection->engine());
  const auto& scripts = db::embeddedScripts();
  std::vector<std::string> names = {folder + "/schema.sql", folder + "/procedures.sql"};
  if (withDemo) names.push_back(folder + "/demo.sql");
  // The outbox comes last: the demo data is where the history starts, not a change.
  names.push_back(folder + "/outbox.sql");
  for (const std::string& name : names)
    if (folder.empty() || !scripts.count(name))
      throw errors::provider("No database scripts for the engine \"" + connection->engine() +
                             "\" (missing db/" + name + ").");

  if (hasDocuments(*connection, folder))
    throw errors::provider(
        "O banco de dados já está inicializado: a tabela DOCTO_TRANSPORTE já existe.");

  // On SQLite the whole set-up is one transaction: all of it or nothing.
  bool oneTransaction = folder == "sqlite";
  // Readers never wait for the writer in WAL mode; the mode stays with the
  // file, so sessions never have to set it.
  if (oneTransaction) connection->execute("PRAGMA journal_mode = WAL");
  if (oneTransaction) connection->execute("BEGIN IMMEDIATE");
  try {
    for (const std::string& name : names) runScript(*connection, name, scripts.at(name));
    if (oneTransaction) connection->execute("COMMIT");
  } catch (const std::exception&) {
    if (oneTransaction) {
      try {
        connection->execute("ROLLBACK");
      } catch (const AutomationError&) {
      }
    }
    throw;
  }
}

}  // namespace z418kt::data
