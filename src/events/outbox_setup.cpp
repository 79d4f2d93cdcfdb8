#include "events/outbox_setup.h"

#include "data/connection.h"
#include "data/embedded_scripts.h"
#include "data/providers.h"
#include "data/sql_lexer.h"
#include "events/event_store.h"
#include "z418kt/automation_error.h"

#include <sstream>
#include <utility>
#include <vector>

namespace z418kt::events {
namespace {

// The statement's words after its leading comments, at most `count`.
std::vector<std::string> leadingWords(const std::string& statement, size_t count) {
  std::istringstream words(statement);
  std::vector<std::string> out;
  std::string word;
  while (out.size() < count && words >> word) {
    if (out.empty() && word.rfind("--", 0) == 0) {
      std::getline(words, word);
      continue;
    }
    out.push_back(word);
  }
  return out;
}

// "TRIGGER"/"VIEW" and the name a CREATE TRIGGER or CREATE VIEW statement
// makes; empty for any other statement.
std::pair<std::string, std::string> createdObject(const std::string& statement) {
  auto words = leadingWords(statement, 3);
  if (words.size() < 3 || words[0] != "CREATE" || (words[1] != "TRIGGER" && words[1] != "VIEW"))
    return {};
  return {words[1], words[2]};
}

// A statement that replaces what it makes (CREATE OR REPLACE).
bool replacesInPlace(const std::string& statement) {
  auto words = leadingWords(statement, 3);
  return words.size() == 3 && words[0] == "CREATE" && words[1] == "OR" && words[2] == "REPLACE";
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
  // An outbox there already keeps its tables and events. On SQLite it gets
  // this version's triggers and views (they hold no data) and loses the
  // index of events to distribute that nothing reads any more; on
  // PostgreSQL, this version's functions, which its triggers call by name.
  const bool sqlite = folder == "sqlite";
  try {
    session->begin(true);
    if (present && sqlite) session->execute("DROP INDEX IF EXISTS KTR_EVENTO_A_DISTRIBUIR");
    for (const std::string& statement : data::sql::splitStatements(script->second)) {
      if (present && !sqlite) {
        if (!replacesInPlace(statement)) continue;
      } else if (present) {
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
