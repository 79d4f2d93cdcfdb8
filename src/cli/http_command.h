// `z418kt http`: starts the HTTP server with the command's options and
// serves until SIGTERM or SIGINT, letting the requests in flight finish. The
// webhook dispatcher runs inside unless told not to.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "http/server_options.h"

namespace CLI {
class App;
}

namespace z418kt::cli {

struct HttpCommand {
  http::ServerOptions server;
  std::string listen = "127.0.0.1:8080";
  std::string tokenFile;
  std::vector<std::string> tokens;  // --token NAME=SECRET, repeated
  std::string tokensFile;
  bool deliver = true;  // run the webhook dispatcher inside (off: --no-deliver)
};

// Adds every option of `z418kt http` (but the connection's) to its command.
void addHttpOptions(CLI::App* command, HttpCommand& options);

// Exit status: 0 after a signal stopped it, 1 when it cannot start, 2 wrong usage.
int httpCommand(HttpCommand command, std::ostream& out, std::ostream& err);

}  // namespace z418kt::cli
