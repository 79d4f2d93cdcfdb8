#include "data/statement_runner.h"

#include <mutex>

namespace z418kt::data {

namespace {
std::mutex gMutex;
std::shared_ptr<StatementRunner>& slot() {
  static std::shared_ptr<StatementRunner> runner;
  return runner;
}
}  // namespace

std::unique_ptr<Transaction> StatementRunner::transaction(const std::string&, bool) {
  struct Nothing : Transaction {
    void commit() override {}
    void whenDurable(std::function<void()> done) override { done(); }
  };
  return std::make_unique<Nothing>();
}

std::shared_ptr<StatementRunner> installStatementRunner(std::shared_ptr<StatementRunner> runner) {
  std::lock_guard lock(gMutex);
  auto previous = slot();
  slot() = std::move(runner);
  return previous;
}

std::shared_ptr<StatementRunner> currentStatementRunner() {
  std::lock_guard lock(gMutex);
  if (!slot()) slot() = makeDatabaseRunner();
  return slot();
}

}  // namespace z418kt::data
