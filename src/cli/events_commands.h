// The commands of the Coleta events: `z418kt coleta history ID`,
// `z418kt assinatura add|list|remove|replay` and `z418kt deliver`.
//
// Exit status: 0 done; 1 the database failed (no outbox tables, lost
// server); 2 wrong usage; 3 no such subscription.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/connection_source.h"
#include "events/dispatcher.h"

namespace CLI {
class App;
}

namespace z418kt::cli {

// Adds the commands to `app` (assinatura, deliver) and to its `coleta`
// command (history); they write their exit status to `code`. Lives as long
// as the parse: the options are its members.
class EventCommands {
 public:
  EventCommands(CLI::App& app, CLI::App& coleta, int& code, AppStreams io);

 private:
  int history();
  int add();
  int list();
  int remove();
  int replay();
  int deliver();
  // Runs a command body: a store that cannot be had is a failure (1), a
  // connection that cannot be had wrong usage (2).
  void run(int (EventCommands::*body)());

  int& code_;
  AppStreams io_;
  ConnectionSource db_;
  bool json_ = false;
  std::string id_;
  int64_t after_ = 0;
  int32_t limit_ = 1000;
  events::SubscriptionInput input_;
  bool oneRecord_ = false;
  std::optional<int64_t> from_;
  events::DispatcherOptions deliver_;
  int64_t timeoutMs_ = 10000, retryBaseMs_ = 1000, retryCapMs_ = 600000, idleMs_ = 1000,
          leaseMs_ = 300000;
  bool once_ = false;
  bool install_ = false;
};

}  // namespace z418kt::cli
