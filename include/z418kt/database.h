// Creating a Coleta database for the component to work on.
#pragma once

#include <string>

#include "z418kt/export.h"

namespace z418kt {

// Creates the tables, views and SP_KTR_ procedures and, with `withDemo`, the
// demo parties and Coleta, on the empty database of `connectionText` (the
// same text the operations take). A SQLite file that does not exist yet is
// created. Throws AutomationError, leaving the database as it was, when it
// already holds a Coleta schema or is of an engine the library has no scripts
// for; a script statement the engine refuses throws AutomationError with the
// engine's message.
Z418KT_EXPORT void initDatabase(const std::string& connectionText, bool withDemo = false);

}  // namespace z418kt
