// The statement runner on real databases: each Open takes a pooled session
// for its connection text and runs the statement there in autocommit, unless
// the thread holds a transaction for that text: then the statement runs on the
// transaction's session.
//
// A statement whose session turns out to have lost its server before the
// statement ran is sent once more on a new session, so a server restart
// between two calls costs no caller a failed call.
#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "data/change_context.h"
#include "data/connection_pool.h"
#include "data/failure_class.h"
#include "data/providers.h"
#include "data/session_errors.h"
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
  std::vector<std::function<void()>> whenDurable;  // run after the commit
  bool changeContext = false;                      // closeChangeContext is due before the commit
};

thread_local Pinned* tPinned = nullptr;

class PinnedTransaction : public Transaction {
 public:
  PinnedTransaction(std::shared_ptr<const DatabaseRunner> runner, const std::string& text,
                    bool writes)
      : pinned_{std::move(runner), text, writes, std::nullopt, {}, false} {
    tPinned = &pinned_;
  }
  ~PinnedTransaction() override {
    release();
    if (pinned_.lease) (*pinned_.lease)->rollback();
  }
  void commit() override {
    release();
    if (pinned_.lease) {  // else no statement ran: nothing to commit
      try {
        if (pinned_.changeContext) closeChangeContext(**pinned_.lease);
        (*pinned_.lease)->commit();
      } catch (const std::exception& e) {
        noteFailure(e);
        (*pinned_.lease)->rollback();
        pinned_.lease.reset();
        throw;
      }
      pinned_.lease.reset();
    }
    for (auto& done : std::exchange(pinned_.whenDurable, {})) done();
  }
  void whenDurable(std::function<void()> done) override {
    pinned_.whenDurable.push_back(std::move(done));
  }

 private:
  void release() {
    if (tPinned == &pinned_) tPinned = nullptr;
  }
  Pinned pinned_;
};

// A transaction asked for inside another: its statements are the outer one's,
// which alone commits. Statements for another text or runner run in autocommit.
class JoinedTransaction : public Transaction {
 public:
  JoinedTransaction(Pinned* outer, const DatabaseRunner* runner, const std::string& text)
      : outer_(outer->runner.get() == runner && outer->text == text ? outer : nullptr) {}
  void commit() override {}
  void whenDurable(std::function<void()> done) override {
    if (outer_)
      outer_->whenDurable.push_back(std::move(done));
    else
      done();
  }

 private:
  Pinned* outer_;
};

class DatabaseRunner : public StatementRunner, public std::enable_shared_from_this<DatabaseRunner> {
 public:
  explicit DatabaseRunner(const DataLimits& limits)
      : pool_([this](const std::string& text) { return connect(text); }, limits) {}

  RowSet run(const OpenRequest& request) override {
    try {
      return runOnce(request);
    } catch (const std::exception& e) {
      noteFailure(e);
      throw;
    }
  }

  std::unique_ptr<Transaction> transaction(const std::string& connection, bool writes) override {
    if (tPinned) return std::make_unique<JoinedTransaction>(tPinned, this, connection);
    return std::make_unique<PinnedTransaction>(shared_from_this(), connection, writes);
  }

  SessionCounts sessions() const override {
    ConnectionPool::Counts counts = pool_.counts();
    return {counts.open > counts.idle ? counts.open - counts.idle : 0, counts.idle};
  }

 private:
  RowSet runOnce(const OpenRequest& request) {
    if (Pinned* p = tPinned; p && p->runner.get() == this && p->text == request.connection) {
      // Until the transaction's first statement reached the server, nothing
      // of it happened: a session that lost its server is replaced once.
      for (int attempt = 0; !p->lease; ++attempt) {
        auto lease = pool_.acquire(request.connection);
        bool fresh = lease.fresh();
        try {
          lease->begin(p->writes);
          p->changeContext = p->writes && openChangeContext(*lease);
          p->lease.emplace(std::move(lease));
          return (*p->lease)->execute(request.source);
        } catch (const ConnectionLost& lost) {
          if (p->lease) (*p->lease)->rollback();
          p->lease.reset();
          pool_.closeIdle(request.connection);
          if (lost.statementRan || attempt > 0 || fresh) throw;
        }
      }
      return (*p->lease)->execute(request.source);
    }
    for (int attempt = 0;; ++attempt) {
      auto session = pool_.acquire(request.connection);
      try {
        return executeOnItsOwn(*session, request.source);
      } catch (const ConnectionLost& lost) {
        // The other idle sessions of the text most likely lost the server too.
        pool_.closeIdle(request.connection);
        if (lost.statementRan || attempt > 0 || session.fresh()) throw;
      }
    }
  }

  // Providers are made once per family and shared by every thread.
  std::unique_ptr<Connection> connect(const std::string& text) {
    Provider* provider = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto& slot = providers_[static_cast<size_t>(familyOf(text))];
      if (!slot) slot = providerFor(text);
      provider = slot.get();
    }
    try {
      return provider->connect(text);
    } catch (const ConnectFailed&) {
      throw;
    } catch (const ConnectionLost&) {
      throw;
    } catch (const AutomationError& e) {
      throw ConnectFailed(e, false);
    }
  }

  std::mutex mutex_;
  std::array<std::unique_ptr<Provider>, 3> providers_;  // one per ProviderFamily
  ConnectionPool pool_;  // declared last: its sessions close before the providers go
};

}  // namespace

std::shared_ptr<StatementRunner> makeDatabaseRunner(const DataLimits& limits) {
  return std::make_shared<DatabaseRunner>(limits);
}

std::shared_ptr<StatementRunner> makeDatabaseRunner() {
  static const DataLimits limits = DataLimits::fromEnvironment();
  return makeDatabaseRunner(limits);
}

}  // namespace z418kt::data
