// DeadlineWatcher: one thread for the whole process that acts on statements
// outliving their time limit, instead of a thread per statement.
//
// A statement registers an action with its deadline before it starts and
// withdraws it when it ends (the Watch object does both). An action whose
// deadline passes runs on the watcher thread, under the watcher's lock, so it
// never runs after its Watch was withdrawn: what it touches (a socket, a
// statement handle) is still there. Actions must be short and must not block.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace z418kt::data {

class DeadlineWatcher {
 public:
  using Clock = std::chrono::steady_clock;
  using Action = std::function<void()>;

  // The process's watcher, its thread started on first use.
  static DeadlineWatcher& shared();

  class Watch {
   public:
    Watch(DeadlineWatcher& watcher, Clock::time_point deadline, Action action);
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    ~Watch();
    // True once the action ran.
    bool fired() const;

   private:
    DeadlineWatcher& watcher_;
    uint64_t id_;
  };

  ~DeadlineWatcher();

  struct State;  // opaque; named here for the fork handlers

 private:
  DeadlineWatcher();
  std::unique_ptr<State> state_;
};

}  // namespace z418kt::data
