// Creating the Coleta database: schema, procedures and, on request, demo data.
#pragma once

#include <string>

namespace z418kt::data {

// Runs the engine's scripts (db/<engine>/schema.sql, procedures.sql, with
// `withDemo` demo.sql, then outbox.sql, as compiled into the library) on the database of the
// connection text, the engine being the one the session reports. A SQLite
// file that does not exist yet is created. Refuses, with AutomationError and
// nothing changed, a database that already has DOCTO_TRANSPORTE, and an
// engine for which the library has no scripts. A failing script statement
// throws AutomationError naming the script and the engine's message.
void initDatabase(const std::string& connectionText, bool withDemo);

}  // namespace z418kt::data
