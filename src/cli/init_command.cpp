#include "cli/init_command.h"

#include <ostream>

namespace z418kt::cli {

int initCommand(const std::string& connection, bool withDemo, Output o) {
  (void)connection;
  (void)withDemo;
  o.err << "z418kt: init is not available in this build yet: the database setup is still "
           "being written.\n";
  return 1;
}

}  // namespace z418kt::cli
