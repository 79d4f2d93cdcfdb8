// Installing the outbox in a database made before it.
#pragma once

#include <string>

namespace z418kt::events {

// Runs the engine's outbox script (as `z418kt init` runs it) on an existing
// Coleta database, all of it in one transaction. False when the outbox is
// there already: then its events and subscriptions stay and the rest is
// brought up to this version (SQLite: the events' new columns, the open
// events an earlier version kept apart, and the indexes, triggers and views;
// PostgreSQL: its functions, view and triggers). Throws StoreError when the engine has no outbox
// script or a statement fails (then nothing is kept).
bool installOutbox(const std::string& connectionText);

}  // namespace z418kt::events
