// `z418kt demo`: a guided tour for a newcomer. It creates a fresh demo
// database, then in each dialect saves a Coleta with two cargo pieces, reads
// it back, reads the demo Coleta that has AWBs (showing the warning), looks
// up a person and a company, deletes the saved Coleta, and prints each
// step's status and message. Returns 0 only when every step answered as it
// should (a refusal the tour shows on purpose counts when it is refused).
#pragma once

#include <string>

#include "cli/people_commands.h"

namespace z418kt::cli {

struct DemoOptions {
  std::string directory;  // empty: a new temporary directory
};

int runDemo(const DemoOptions& options, Output o);

}  // namespace z418kt::cli
