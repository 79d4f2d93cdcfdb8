#include "cli/http_command.h"

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "http/server.h"
#include "http/token.h"

namespace z418kt::cli {

namespace {

// Blocks the stop signals in the calling thread and every thread it starts
// afterwards, so one waiting thread receives them. They stay blocked: a
// second SIGTERM while the last requests finish must not kill the process.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
  }
  int wait() const {
    int signal = 0;
    sigwait(&set_, &signal);
    return signal;
  }

 private:
  sigset_t set_{};
};

}  // namespace

int httpCommand(HttpCommand command, std::ostream& out, std::ostream& err) {
  http::ServerOptions& options = command.server;
  if (!http::parseListen(command.listen, options.host, options.port)) {
    err << "z418kt: --listen \"" << command.listen << "\" não é HOST:PORTA\n";
    return 2;
  }
  bool madeToken = false;
  try {
    if (const char* env = std::getenv("Z418KT_HTTP_TOKEN"); env && *env) {
      options.token = env;
    } else if (!command.tokenFile.empty()) {
      options.token = http::readTokenFile(command.tokenFile);
    } else {
      options.token = http::makeToken();
      madeToken = true;
    }
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }

  StopSignals signals;
  http::HttpServer server(options, err);
  try {
    server.bind();
  } catch (const std::exception& e) {
    err << "z418kt: " << e.what() << '\n';
    return 1;
  }
  out << "z418kt http: ouvindo em http://" << options.host << ':' << server.port() << "/\n";
  if (madeToken) out << "token: " << options.token << '\n';
  out << std::flush;

  std::thread waiter([&] {
    while (signals.wait() != SIGUSR1) server.stop();
  });
  server.run();
  pthread_kill(waiter.native_handle(), SIGUSR1);  // ends the waiter if no signal came
  waiter.join();
  out << "z418kt http: parado\n" << std::flush;
  return 0;
}

}  // namespace z418kt::cli
