// WriterTurn: this process's writers of one SQLite file take its write lock
// in the order they asked for it.
//
// SQLite's busy handler polls a held lock with growing sleeps and favours no
// waiter, so with many threads writing one file a writer can lose the race
// again and again until its busy timeout runs out ("database is locked"),
// while others go through many times; a thread's first save, which also
// reads the procedure catalog, loses most often. Queued here, a writer waits
// only for the writers before it. Writers in other processes still meet
// SQLite's own handler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace z418kt::data {

class WriterTurn {
 public:
  // Waits until each earlier writer of `file` in this process has ended its
  // turn, at most `timeoutMs`; throws AutomationError "database is locked"
  // (as SQLite says it) when that time runs out, leaving the queue as it was.
  WriterTurn(const std::string& file, int timeoutMs);
  ~WriterTurn();
  WriterTurn(const WriterTurn&) = delete;
  WriterTurn& operator=(const WriterTurn&) = delete;

  struct Queue;

 private:
  std::shared_ptr<Queue> queue_;
  uint64_t ticket_;
};

}  // namespace z418kt::data
