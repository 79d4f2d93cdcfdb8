#include "events/outbox_setup.h"

#include "data/connection.h"
#include "data/embedded_scripts.h"
#include "data/providers.h"
#include "data/sql_lexer.h"
#include "events/event_store.h"
#include "z418kt/automation_error.h"

namespace z418kt::events {

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
  try {
    session->execute("SELECT COUNT(*) FROM KTR_EVENTO WHERE EVENTO_ID < 0");
    // An outbox made before the dispatcher read from the end of the table
    // has an index every change writes and nothing reads any more.
    if (folder == "sqlite") session->execute("DROP INDEX IF EXISTS KTR_EVENTO_A_DISTRIBUIR");
    return false;
  } catch (const AutomationError&) {
    // No outbox yet: install it below.
  }
  const auto& scripts = db::embeddedScripts();
  auto script = scripts.find(folder + "/outbox.sql");
  if (script == scripts.end())
    throw StoreError("No outbox script for the engine \"" + engine + "\".");
  try {
    session->begin(true);
    for (const std::string& statement : data::sql::splitStatements(script->second))
      session->execute(statement);
    session->commit();
  } catch (const AutomationError& e) {
    session->rollback();
    throw StoreError("db/" + folder + "/outbox.sql: " + e.description);
  }
  return true;
}

}  // namespace z418kt::events
