#include "data/statement_runner.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace z418kt::data {

namespace {
std::mutex gMutex;
std::shared_ptr<StatementRunner>& slot() {
  static std::shared_ptr<StatementRunner> runner;
  return runner;
}
// Counts installs, so a thread can tell that the runner it holds is still the
// installed one without taking the lock.
std::atomic<uint64_t> gGeneration{1};

// The runner a thread holds: every statement would otherwise take the lock
// and touch the runner's shared count, a cache line all threads write.
struct ThreadRunner {
  uint64_t generation = 0;
  std::shared_ptr<StatementRunner> runner;
};
thread_local ThreadRunner tRunner;
}  // namespace

std::unique_ptr<Transaction> StatementRunner::transaction(const std::string&, bool) {
  struct Nothing : Transaction {
    void commit() override {}
    void whenDurable(std::function<void()> done) override { done(); }
  };
  return std::make_unique<Nothing>();
}

std::shared_ptr<StatementRunner> installStatementRunner(std::shared_ptr<StatementRunner> runner) {
  std::shared_ptr<StatementRunner> previous;
  {
    std::lock_guard lock(gMutex);
    previous = slot();
    slot() = std::move(runner);
    gGeneration.fetch_add(1, std::memory_order_release);
  }
  // This thread lets go of the previous runner at once, so whoever installs
  // can see it end here.
  tRunner = ThreadRunner{};
  return previous;
}

std::shared_ptr<StatementRunner> currentStatementRunner() {
  std::lock_guard lock(gMutex);
  if (!slot()) slot() = makeDatabaseRunner();
  return slot();
}

StatementRunner& threadStatementRunner() {
  uint64_t generation = gGeneration.load(std::memory_order_acquire);
  if (tRunner.generation != generation || !tRunner.runner) {
    tRunner.runner = currentStatementRunner();
    tRunner.generation = generation;
  }
  return *tRunner.runner;
}

}  // namespace z418kt::data
