#include "events/outbox_setup.h"

#include "data/connection.h"
#include "data/embedded_scripts.h"
#include "data/providers.h"
#include "data/sql_lexer.h"
#include "events/event_store.h"
#include "z418kt/automation_error.h"
#include "z418kt/variant.h"

#include <set>
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

// "TRIGGER", "VIEW" or "INDEX" and the name a CREATE statement of one makes;
// empty for any other statement.
std::pair<std::string, std::string> createdObject(const std::string& statement) {
  auto words = leadingWords(statement, 3);
  if (words.size() < 3 || words[0] != "CREATE" ||
      (words[1] != "TRIGGER" && words[1] != "VIEW" && words[1] != "INDEX"))
    return {};
  return {words[1], words[2]};
}

// A statement that replaces what it makes (CREATE OR REPLACE), or a trigger
// made again after a DROP TRIGGER (or an earlier version's trigger or
// function dropped): what an existing PostgreSQL outbox runs again. Nothing
// else is dropped there, so its events and subscriptions stay.
bool replacesInPlace(const std::string& statement) {
  auto words = leadingWords(statement, 3);
  if (words.size() < 2) return false;
  return (words[0] == "CREATE" &&
          (words[1] == "TRIGGER" ||
           (words[1] == "OR" && words.size() == 3 && words[2] == "REPLACE"))) ||
         (words[0] == "DROP" && (words[1] == "TRIGGER" || words[1] == "FUNCTION"));
}

// The column definitions of the script's CREATE TABLE `table`, one a line
// ("NAME TYPE ..." or "NAME" alone), as the script writes them; its comment
// lines and its key (a PRIMARY KEY line) are not columns.
std::vector<std::string> columnsOf(const std::vector<std::string>& statements,
                                   const std::string& table) {
  std::vector<std::string> out;
  for (const std::string& statement : statements) {
    auto words = leadingWords(statement, 3);
    if (words.size() < 3 || words[0] != "CREATE" || words[1] != "TABLE" || words[2] != table)
      continue;
    std::istringstream lines(statement);
    std::string line;
    bool inside = false;  // past the leading comments and the "CREATE TABLE ... (" line
    while (std::getline(lines, line)) {
      if (!inside) {
        inside = line.rfind("CREATE TABLE", 0) == 0;
        continue;
      }
      size_t first = line.find_first_not_of(' ');
      if (first == std::string::npos || line[first] == ')' || line.compare(first, 2, "--") == 0 ||
          line.compare(first, 11, "PRIMARY KEY") == 0)
        continue;
      line = line.substr(first);
      if (!line.empty() && line.back() == ',') line.pop_back();
      out.push_back(line);
    }
  }
  return out;
}

// The statement of the script that creates `table`, or "".
std::string createTableStatement(const std::vector<std::string>& statements,
                                 const std::string& table) {
  for (const std::string& statement : statements) {
    auto words = leadingWords(statement, 3);
    if (words.size() == 3 && words[0] == "CREATE" && words[1] == "TABLE" && words[2] == table)
      return statement;
  }
  return {};
}

// Brings a SQLite outbox of an earlier layout to this one's tables, keeping
// its events: the columns added since, the open events that layout kept in a
// table of their own (KTR_EVENTO_ABERTO: phases 0 and 1 opened by the header,
// 2 pieces being written, 3 opened by removing pieces) moved into the events'
// FASE and CARGAS, and the events moved from a table in number order with an
// index by Coleta to this one's order (see outbox.sql). Earlier triggers and
// views go first, so none of them is rewritten along with the table.
void upgradeSqliteTables(data::Connection& session, const std::vector<std::string>& statements) {
  std::set<std::string> present;
  for (auto row : session.execute("PRAGMA table_info(KTR_EVENTO)").rows)
    present.insert(vb::concatText(row.at(1)));
  for (const std::string& column : columnsOf(statements, "KTR_EVENTO"))
    if (!present.count(column.substr(0, column.find(' '))))
      session.execute("ALTER TABLE KTR_EVENTO ADD COLUMN " + column);
  auto open = session.execute(
      "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'KTR_EVENTO_ABERTO'");
  if (!open.rows.empty() && vb::concatText((*open.rows.begin()).at(0)) != "0") {
    // An event whose pieces were being written takes no removal any more.
    const std::string phase =
        "(SELECT A.FASE FROM KTR_EVENTO_ABERTO A WHERE A.EVENTO_ID = KTR_EVENTO.EVENTO_ID)";
    session.execute("UPDATE KTR_EVENTO SET FASE = CASE " + phase +
                    " WHEN 3 THEN 2 ELSE 0 END, CARGAS = CASE WHEN " + phase +
                    " <> 2 AND json_valid(ANTES) THEN (SELECT ',' || "
                    "group_concat(json_extract(P.value, '$.carga_id'), ',') || ',' FROM "
                    "json_each(KTR_EVENTO.ANTES, '$.cargas') P) END "
                    "WHERE EVENTO_ID IN (SELECT EVENTO_ID FROM KTR_EVENTO_ABERTO)");
    session.execute("DROP TABLE KTR_EVENTO_ABERTO");
  }
  // Triggers and views of an earlier version, this one's made again later.
  std::vector<std::pair<std::string, std::string>> old;
  for (auto row : session
                      .execute("SELECT type, name FROM sqlite_master WHERE type IN ('trigger', "
                               "'view') AND (name LIKE 'KTR\\_EVENTO\\_%' ESCAPE '\\' OR "
                               "name = 'KTR_COLETA_ESTADO')")
                      .rows)
    old.emplace_back(vb::concatText(row.at(0)), vb::concatText(row.at(1)));
  for (const auto& [kind, name] : old) session.execute("DROP " + kind + " IF EXISTS " + name);

  auto layout =
      session.execute("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'KTR_EVENTO'");
  const std::string created =
      layout.rows.empty() ? "" : vb::concatText((*layout.rows.begin()).at(0));
  if (created.find("WITHOUT ROWID") != std::string::npos) return;
  std::string columns;
  for (const std::string& column : columnsOf(statements, "KTR_EVENTO")) {
    columns += (columns.empty() ? "" : ", ") + column.substr(0, column.find(' '));
  }
  session.execute("ALTER TABLE KTR_EVENTO RENAME TO KTR_EVENTO_ANTERIOR");
  session.execute(createTableStatement(statements, "KTR_EVENTO"));
  session.execute("INSERT INTO KTR_EVENTO (" + columns + ") SELECT " + columns +
                  " FROM KTR_EVENTO_ANTERIOR");
  session.execute("DROP TABLE KTR_EVENTO_ANTERIOR");
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
    session->execute("SELECT COUNT(*) FROM KTR_EVENTO WHERE 1 = 0");
    present = true;
  } catch (const AutomationError&) {
    // No outbox yet: install it below.
  }
  // An outbox there already keeps its tables and events. On SQLite it gets
  // this version's columns, indexes, triggers and views (none of those hold
  // data of their own) and loses the index of events to distribute that
  // nothing reads any more; on PostgreSQL, this version's functions, view and
  // triggers, which replace those of earlier versions.
  const bool sqlite = folder == "sqlite";
  try {
    session->begin(true);
    const auto statements = data::sql::splitStatements(script->second);
    if (present && sqlite) {
      session->execute("DROP INDEX IF EXISTS KTR_EVENTO_A_DISTRIBUIR");
      upgradeSqliteTables(*session, statements);
    }
    for (const std::string& statement : statements) {
      if (present && !sqlite) {
        if (!replacesInPlace(statement)) continue;
      } else if (present) {
        // The script's inserts add only what is missing, so they run again.
        auto [kind, name] = createdObject(statement);
        auto words = leadingWords(statement, 1);
        if (kind.empty() && (words.empty() || words[0] != "INSERT")) continue;
        if (!kind.empty()) session->execute("DROP " + kind + " IF EXISTS " + name);
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
