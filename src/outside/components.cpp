#include "outside/components.h"

#include <atomic>
#include <mutex>

namespace z418kt::outside {

namespace {

std::mutex gMutex;
Factories& current() {
  static Factories factories = defaultFactories();
  return factories;
}
std::atomic<uint64_t> gGeneration{1};

// The instances of one thread, renewed when the factories change, and its
// copy of the IdentifierUtil factory (asked once for every key, so not looked
// up under the lock each time).
struct ThreadInstances {
  uint64_t generation = 0;
  std::shared_ptr<ValueUtil> valueUtil;
  std::shared_ptr<InputCheckUtil> inputCheckUtil;
  std::shared_ptr<NumberFormatUtil> numberFormatUtil;
  std::shared_ptr<OracleSqlUtil> oracleSqlUtil;
  std::function<std::unique_ptr<IdentifierUtil>()> identifierUtil;
  bool identifierFactoryTaken = false;
};

ThreadInstances& mine() {
  thread_local ThreadInstances instances;
  uint64_t generation = gGeneration.load();
  if (instances.generation != generation) {
    instances = ThreadInstances{};
    instances.generation = generation;
  }
  return instances;
}

template <class T, class Member>
T& sharedInstance(std::shared_ptr<T>& slot, Member factoryOf) {
  if (!slot) {
    std::function<std::shared_ptr<T>()> factory;
    {
      std::lock_guard lock(gMutex);
      factory = current().*factoryOf;
    }
    if (factory) slot = factory();
    if (!slot) throw errors::cannotCreateObject();
  }
  return *slot;
}

}  // namespace

Factories defaultFactories() {
  return Factories{makeDefaultValueUtil, makeDefaultInputCheckUtil, makeDefaultNumberFormatUtil,
                   makeDefaultOracleSqlUtil, makeDefaultIdentifierUtil};
}

Factories installFactories(Factories factories) {
  std::lock_guard lock(gMutex);
  Factories previous = std::move(current());
  current() = std::move(factories);
  ++gGeneration;
  return previous;
}

ValueUtil& valueUtil() { return sharedInstance(mine().valueUtil, &Factories::valueUtil); }
InputCheckUtil& inputCheckUtil() {
  return sharedInstance(mine().inputCheckUtil, &Factories::inputCheckUtil);
}
NumberFormatUtil& numberFormatUtil() {
  return sharedInstance(mine().numberFormatUtil, &Factories::numberFormatUtil);
}
OracleSqlUtil& oracleSqlUtil() {
  return sharedInstance(mine().oracleSqlUtil, &Factories::oracleSqlUtil);
}

std::unique_ptr<IdentifierUtil> newIdentifierUtil() {
  ThreadInstances& instances = mine();
  if (!instances.identifierFactoryTaken) {
    std::lock_guard lock(gMutex);
    instances.identifierUtil = current().identifierUtil;
    instances.identifierFactoryTaken = true;
  }
  const auto& factory = instances.identifierUtil;
  std::unique_ptr<IdentifierUtil> instance = factory ? factory() : nullptr;
  if (!instance) throw errors::cannotCreateObject();
  return instance;
}

}  // namespace z418kt::outside
