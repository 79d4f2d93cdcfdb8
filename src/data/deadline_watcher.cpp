#include "data/deadline_watcher.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace z418kt::data {

struct DeadlineWatcher::State {
  struct Entry {
    Clock::time_point deadline;
    Action action;
    bool fired = false;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::map<uint64_t, Entry> entries;
  std::set<std::pair<Clock::time_point, uint64_t>> queue;  // pending, earliest first
  uint64_t nextId = 1;
  bool stopping = false;
  bool running = false;  // false in a forked child until a watch needs the thread
  std::thread thread;

  void start() {
    running = true;
    thread = std::thread([this] { loop(); });
  }

  // Between deadlines the thread sleeps until `wakeAt`. With nothing to
  // watch it still wakes once a second for a while, so that a statement
  // registering a deadline further away than that need not wake it (a
  // wake-up per statement costs two context switches); after kIdleTicks
  // quiet seconds it sleeps until the next statement wakes it.
  static constexpr int kIdleTicks = 10;
  static constexpr std::chrono::seconds kTick{1};
  Clock::time_point wakeAt = Clock::time_point::max();

  void loop() {
    std::unique_lock lock(mutex);
    int idleTicks = 0;
    while (!stopping) {
      if (queue.empty()) {
        if (idleTicks++ < kIdleTicks) {
          wakeAt = Clock::now() + kTick;
          changed.wait_until(lock, wakeAt);
        } else {
          wakeAt = Clock::time_point::max();
          changed.wait(lock);
        }
        continue;
      }
      idleTicks = 0;
      auto [deadline, id] = *queue.begin();
      if (Clock::now() < deadline) {
        wakeAt = deadline;
        changed.wait_until(lock, deadline);
        continue;
      }
      queue.erase(queue.begin());
      Entry& e = entries.at(id);
      e.fired = true;
      e.action();
    }
  }
};

namespace {

// The one watcher's state, for the fork handlers.
DeadlineWatcher::State* forkState = nullptr;

}  // namespace

DeadlineWatcher::DeadlineWatcher() : state_(std::make_unique<State>()) {
  std::lock_guard lock(state_->mutex);
  state_->start();
  // A fork while the watcher thread holds the lock would leave the child's
  // lock held forever, and the child has no watcher thread. The lock is taken
  // around the fork; the child forgets the parent's thread and its waiters
  // (their objects are left as they are, never destroyed) and starts a thread
  // of its own when a statement first needs one.
  forkState = state_.get();
  pthread_atfork([] { forkState->mutex.lock(); }, [] { forkState->mutex.unlock(); },
                 [] {
                   State& s = *forkState;
                   new (&s.thread) std::thread();
                   new (&s.changed) std::condition_variable();
                   s.running = false;
                   s.wakeAt = Clock::time_point::max();
                   s.mutex.unlock();
                 });
}

DeadlineWatcher::~DeadlineWatcher() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  if (state_->thread.joinable()) state_->thread.join();
}

DeadlineWatcher& DeadlineWatcher::shared() {
  static DeadlineWatcher watcher;
  return watcher;
}

DeadlineWatcher::Watch::Watch(DeadlineWatcher& watcher, Clock::time_point deadline, Action action)
    : watcher_(watcher) {
  State& s = *watcher.state_;
  bool sooner;
  {
    std::lock_guard lock(s.mutex);
    id_ = s.nextId++;
    s.entries.emplace(id_, State::Entry{deadline, std::move(action)});
    s.queue.emplace(deadline, id_);
    if (!s.running) s.start();
    sooner = deadline < s.wakeAt;
    if (sooner) s.wakeAt = deadline;
  }
  // Statements usually end long before their deadline, and a deadline later
  // than the time the thread wakes anyway needs no wake-up.
  if (sooner) s.changed.notify_one();
}

DeadlineWatcher::Watch::~Watch() {
  State& s = *watcher_.state_;
  std::lock_guard lock(s.mutex);
  auto it = s.entries.find(id_);
  s.queue.erase({it->second.deadline, id_});
  s.entries.erase(it);
}

bool DeadlineWatcher::Watch::fired() const {
  State& s = *watcher_.state_;
  std::lock_guard lock(s.mutex);
  return s.entries.at(id_).fired;
}

}  // namespace z418kt::data
