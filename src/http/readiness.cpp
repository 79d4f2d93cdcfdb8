#include "http/readiness.h"

#include "http/problem.h"

namespace z418kt::http {

Readiness::Readiness(const Resources& resources, std::chrono::milliseconds deadline)
    : resources_(resources), deadline_(deadline), prober_([this] { probe(); }) {}

Readiness::~Readiness() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  prober_.join();
}

Readiness::Result Readiness::check() { return wait(true); }

Readiness::Result Readiness::checkFully() { return wait(false); }

Readiness::Result Readiness::wait(bool bounded) {
  std::unique_lock lock(mutex_);
  if (started_ == finished_) {
    ++started_;
    changed_.notify_all();
  }
  uint64_t target = started_;
  auto done = [&] { return finished_ >= target; };
  if (!bounded) {
    changed_.wait(lock, done);
  } else if (!changed_.wait_for(lock, deadline_, done)) {
    return {false,
            "O banco de dados não respondeu em " + std::to_string(deadline_.count()) + " ms.",
            true};
  }
  return last_;
}

void Readiness::probe() {
  Z418kt component;
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return stopping_ || started_ > finished_; });
    if (stopping_) return;
    uint64_t running = started_;
    lock.unlock();
    Result result{true, {}};
    try {
      // Any answer of the database (found or not) means it is there.
      resources_.readColeta(component, "1");
    } catch (const ProblemError& e) {
      if (e.problem.status == 503) result = {false, e.problem.detail};
    } catch (const std::exception& e) {
      result = {false, e.what()};
    }
    lock.lock();
    last_ = std::move(result);
    finished_ = running;
    changed_.notify_all();
  }
}

}  // namespace z418kt::http
