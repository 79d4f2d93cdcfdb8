// `z418kt init`: creates the schema, procedures and (optionally) the demo
// data on an empty database named by a connection text.
#pragma once

#include <string>

#include "cli/people_commands.h"

namespace z418kt::cli {

// Returns the exit code: 0 when the database was set up, 1 otherwise (with
// the reason on the error stream).
int initCommand(const std::string& connection, bool withDemo, Output o);

}  // namespace z418kt::cli
