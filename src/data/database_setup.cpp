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

bool hasDocuments(Connection& connection) {
  try {
    connection.execute("SELECT 1 FROM DOCTO_TRANSPORTE WHERE 1 = 0");
    return true;
  } catch (const AutomationError&) {
    return false;  // no such table: an empty database
  }
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
  for (const std::string& name : names)
    if (folder.empty() || !scripts.count(name))
      throw errors::provider("No database scripts for the engine \"" + connection->engine() +
                             "\" (missing db/" + name + ").");

  if (hasDocuments(*connection))
    throw errors::provider(
        "O banco de dados já está inicializado: a tabela DOCTO_TRANSPORTE já existe.");

  // On SQLite the whole set-up is one transaction: all of it or nothing.
  bool oneTransaction = folder == "sqlite";
  if (oneTransaction) connection->execute("BEGIN IMMEDIATE");
  try {
    for (const std::string& name : names) runScript(*connection, name, scripts.at(name));
    if (oneTransaction) connection->execute("COMMIT");
  } catch (...) {
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
