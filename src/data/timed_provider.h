// TimedProvider: a provider of server sessions, each opened with the
// timeouts the provider was made with. `Session` is a Connection constructed
// from (connection text, SessionTimeouts).
#pragma once

#include <memory>
#include <string>

#include "data/connection.h"
#include "data/data_limits.h"

namespace z418kt::data {

template <typename Session>
class TimedProvider : public Provider {
 public:
  explicit TimedProvider(SessionTimeouts timeouts) : timeouts_(timeouts) {}
  std::unique_ptr<Connection> connect(const std::string& connectionText) override {
    return std::make_unique<Session>(connectionText, timeouts_);
  }

 private:
  SessionTimeouts timeouts_;
};

}  // namespace z418kt::data
