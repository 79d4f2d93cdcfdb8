// Where every command takes its connection text from, in this order:
//   --db TEXT        (visible to other users in the process list)
//   --db-file PATH   (the file's first non-blank line; keep it readable only by you)
//   Z418KT_DB        (the environment)
//   the command's default, if it has one.
// Commands that call operations with JSON arguments (invoke, serve) use it
// for the connection argument of a request that does not give one.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "json/json_variant.h"

namespace CLI {
class App;
}

namespace z418kt::cli {

struct ConnectionSource {
  std::string text;  // --db
  std::string file;  // --db-file
};

// A connection that cannot be had: an unreadable or empty file, or none given
// where the command has no default. The message says which.
struct ConnectionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Adds --db and --db-file to a command.
void addConnectionOptions(CLI::App* command, ConnectionSource& source);

// The connection text; nothing when none is given and there is no fallback.
// Throws ConnectionError for a --db-file that cannot be read or holds none.
std::optional<std::string> resolveConnection(const ConnectionSource& source,
                                             const std::optional<std::string>& fallback);

}  // namespace z418kt::cli
