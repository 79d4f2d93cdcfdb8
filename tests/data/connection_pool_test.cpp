// The connection pool: reuse per connection text, one user per session at a
// time, broken sessions never lent again.
#include "data/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace z418kt::data {
namespace {

// A session named "<text>#<n>" that counts callers using it at the same time;
// the statement "break" breaks it.
struct FakeConnection : Connection {
  FakeConnection(std::atomic<int>& sharedUse, std::string name)
      : sharedUse_(sharedUse), name_(std::move(name)) {}
  RowSet execute(const std::string& statement) override {
    if (busy_.exchange(true)) ++sharedUse_;
    std::this_thread::yield();
    busy_ = false;
    broken_ = statement == "break";
    if (broken_) throw errors::provider("connection lost");
    return RowSet{true, {"session"}, {{Variant(name_)}}};
  }
  bool usable() const override { return !broken_; }
  std::atomic<int>& sharedUse_;
  std::string name_;
  std::atomic<bool> busy_{false};
  bool broken_ = false;
};

struct PoolTest : ::testing::Test {
  ConnectionPool pool(size_t maxIdle) {
    return ConnectionPool(
        [this](const std::string& text) {
          return std::make_unique<FakeConnection>(sharedUse,
                                                  text + "#" + std::to_string(++created));
        },
        maxIdle);
  }
  static std::string sessionOf(ConnectionPool& pool, const std::string& text) {
    return pool.acquire(text)->execute("x").rows[0][0].text();
  }
  std::atomic<int> created{0}, sharedUse{0};
};

TEST_F(PoolTest, ReusesIdleSessionsPerTextAndDropsBrokenOnes) {
  auto p = pool(1);
  EXPECT_EQ(sessionOf(p, "A"), "A#1");
  EXPECT_EQ(sessionOf(p, "A"), "A#1");  // no set-up the second time
  EXPECT_EQ(sessionOf(p, "B"), "B#2");  // another text, another session
  {
    auto first = p.acquire("A");
    auto second = p.acquire("A");  // the idle one is lent out: a new one
    EXPECT_EQ(second->execute("x").rows[0][0].text(), "A#3");
  }
  EXPECT_EQ(p.idleCount("A"), 1u);  // the surplus session was closed
  EXPECT_THROW(p.acquire("A")->execute("break"), AutomationError);
  EXPECT_EQ(p.idleCount("A"), 0u);
  EXPECT_EQ(sessionOf(p, "A"), "A#4");
}

TEST_F(PoolTest, ManyThreadsNeverShareASession) {
  auto p = pool(8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&p] {
      for (int i = 0; i < 300; ++i) sessionOf(p, i % 2 ? "A" : "B");
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(sharedUse.load(), 0);
  EXPECT_LE(created.load(), 16);  // at most one per thread and text
}

}  // namespace
}  // namespace z418kt::data
