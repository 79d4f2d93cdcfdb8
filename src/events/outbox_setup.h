// Installing the outbox in a database made before it.
#pragma once

#include <string>

namespace z418kt::events {

// Runs the engine's outbox script (as `z418kt init` runs it) on an existing
// Coleta database, all of it in one transaction. False when the outbox is
// there already: then nothing is done, except on SQLite, where its triggers
// and views are replaced by this version's (events and subscriptions stay). Throws StoreError when
// the engine has no outbox script or a statement fails (then nothing is kept).
bool installOutbox(const std::string& connectionText);

}  // namespace z418kt::events
