// The statement runner on real databases: each Open takes a pooled session
// for its connection text and runs the statement there in autocommit, unless
// the thread holds a transaction for that text: then the statement runs on the
// transaction's session.
#include <map>
#include <mutex>
#include <optional>

#include "data/connection_pool.h"
#include "data/providers.h"
#include "data/statement_runner.h"

namespace z418kt::data {

namespace {

class DatabaseRunner;

// The session a thread's transaction keeps from its first statement to its end.
struct Pinned {
  std::shared_ptr<const DatabaseRunner> runner;  // its pool lends the session
  std::string text;
  bool writes;
  std::optional<ConnectionPool::Lease> lease;
};

thread_local Pinned* tPinned = nullptr;

class PinnedTransaction : public Transaction {
 public:
  PinnedTransaction(std::shared_ptr<const DatabaseRunner> runner, const std::string& text,
                    bool writes)
      : pinned_{std::move(runner), text, writes, std::nullopt} {
    tPinned = &pinned_;
  }
  ~PinnedTransaction() override {
    release();
    if (pinned_.lease) (*pinned_.lease)->rollback();
  }
  void commit() override {
    release();
    if (!pinned_.lease) return;  // no statement ran: nothing to commit
    try {
      (*pinned_.lease)->commit();
    } catch (...) {
      (*pinned_.lease)->rollback();
      pinned_.lease.reset();
      throw;
    }
    pinned_.lease.reset();
  }

 private:
  void release() {
    if (tPinned == &pinned_) tPinned = nullptr;
  }
  Pinned pinned_;
};

class DatabaseRunner : public StatementRunner,
                       public std::enable_shared_from_this<DatabaseRunner> {
 public:
  DatabaseRunner() : pool_([this](const std::string& text) { return connect(text); }) {}

  RowSet run(const OpenRequest& request) override {
    if (Pinned* p = tPinned; p && p->runner.get() == this && p->text == request.connection) {
      if (!p->lease) {
        auto lease = pool_.acquire(request.connection);
        lease->begin(p->writes);
        p->lease.emplace(std::move(lease));
      }
      return (*p->lease)->execute(request.source);
    }
    auto session = pool_.acquire(request.connection);
    return session->execute(request.source);
  }

  std::unique_ptr<Transaction> transaction(const std::string& connection, bool writes) override {
    if (tPinned) return StatementRunner::transaction(connection, writes);  // joins the outer one
    return std::make_unique<PinnedTransaction>(shared_from_this(), connection, writes);
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
