#include "events/outbox_setup.h"

#include "data/connection.h"
#include "data/embedded_scripts.h"
#include "data/providers.h"
#include "data/sql_lexer.h"
#include "events/event_store.h"
#include "z418kt/automation_error.h"

#include <sstream>
#include <utility>

namespace z418kt::events {
namespace {

// "TRIGGER"/"VIEW" and the name a CREATE TRIGGER or CREATE VIEW statement
// makes, after its leading comments; empty for any other statement.
std::pair<std::string, std::string> createdObject(const std::string& statement) {
  std::istringstream words(statement);
  std::string word, kind, name;
  while (words >> word) {
    if (word.rfind("--", 0) == 0) {
      std::getline(words, word);
      continue;
    }
    if (word != "CREATE" || !(words >> kind >> name) || (kind != "TRIGGER" && kind != "VIEW"))
      return {};
    return {kind, name};
  }
  return {};
}

}  // namespace

bool installOutbox(const std::string& connectionText) {
  std::unique_ptr<data::Connection> session;
  try {
    session = data::connectDirect(connectionText, false);
  } catch (const AutomationError& e) {
    throw StoreError(e.description);
  }
  const std::string engine = session->engine();
  const std::string folder = engine.find("sqlite") != std::string::npos     ? "sqlite"
                             : engine.find("postgres") != std::string::npos ? "postgresql"
                                                                            : engine;
  const auto& scripts = db::embeddedScripts();
  auto script = scripts.find(folder + "/outbox.sql");
  if (script == scripts.end())
    throw StoreError("No outbox script for the engine \"" + engine + "\".");
  bool present = false;
  try {
    session->execute("SELECT COUNT(*) FROM KTR_EVENTO WHERE EVENTO_ID < 0");
    present = true;
  } catch (const AutomationError&) {
    // No outbox yet: install it below.
  }
  // On SQLite an outbox there already gets this version's triggers and views
  // (they hold no data) and loses the index of events to distribute that
  // nothing reads any more; its tables and events stay as they are.
  if (present && folder != "sqlite") return false;
  try {
    session->begin(true);
    if (present) session->execute("DROP INDEX IF EXISTS KTR_EVENTO_A_DISTRIBUIR");
    for (const std::string& statement : data::sql::splitStatements(script->second)) {
      if (present) {
        auto [kind, name] = createdObject(statement);
        if (kind.empty()) continue;
        session->execute("DROP " + kind + " IF EXISTS " + name);
      }
      session->execute(statement);
    }
    session->commit();
  } catch (const AutomationError& e) {
    session->rollback();
    throw StoreError("db/" + folder + "/outbox.sql: " + e.description);
  }
  return !present;
}

}  // namespace z418kt::events
