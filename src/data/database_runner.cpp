// The statement runner on real databases: each Open takes a pooled session
// for its connection text and runs the statement there in autocommit.
#include <map>
#include <mutex>

#include "data/connection_pool.h"
#include "data/providers.h"
#include "data/statement_runner.h"

namespace z418kt::data {

namespace {

class DatabaseRunner : public StatementRunner {
 public:
  DatabaseRunner() : pool_([this](const std::string& text) { return connect(text); }) {}

  RowSet run(const OpenRequest& request) override {
    auto session = pool_.acquire(request.connection);
    return session->execute(request.source);
  }

 private:
  // Providers are made once per family and shared by every thread.
  std::unique_ptr<Connection> connect(const std::string& text) {
    Provider* provider = nullptr;
    {
      std::lock_guard lock(mutex_);
      bool sqlite = isSqliteText(text);
      auto& slot = sqlite ? sqlite_ : odbc_;
      if (!slot) slot = providerFor(text);
      provider = slot.get();
    }
    return provider->connect(text);
  }

  std::mutex mutex_;
  std::unique_ptr<Provider> sqlite_, odbc_;
  ConnectionPool pool_;  // declared last: its sessions close before the providers go
};

}  // namespace

std::shared_ptr<StatementRunner> makeDatabaseRunner() { return std::make_shared<DatabaseRunner>(); }

}  // namespace z418kt::data
