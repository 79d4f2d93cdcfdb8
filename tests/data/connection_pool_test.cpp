// The connection pool: reuse per connection text, one user per session at a
// time, broken or dead sessions never lent, a cap over all texts.
#include "data/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/temp_database.h"

namespace z418kt::data {
namespace {

// A session named "<text>#<n>" that counts callers using it at the same time;
// the statement "break" breaks it, "die" makes it fail the next liveness check.
struct FakeConnection : Connection {
  FakeConnection(std::atomic<int>& sharedUse, std::atomic<int>& open, std::string name)
      : sharedUse_(sharedUse), open_(open), name_(std::move(name)) {
    ++open_;
  }
  ~FakeConnection() override { --open_; }
  RowSet execute(const std::string& statement) override {
    if (busy_.exchange(true)) ++sharedUse_;
    std::this_thread::yield();
    busy_ = false;
    broken_ = statement == "break";
    dead_ = statement == "die";
    if (broken_) throw errors::provider("connection lost");
    return RowSet{true, {"session"}, {{Variant(name_)}}};
  }
  bool usable() const override { return !broken_; }
  bool alive(bool roundTrip) override {
    roundTrips_ += roundTrip;
    return !dead_;
  }
  std::atomic<int>& sharedUse_;
  std::atomic<int>& open_;
  std::string name_;
  std::atomic<bool> busy_{false};
  bool broken_ = false, dead_ = false;
  int roundTrips_ = 0;
};

struct PoolTest : ::testing::Test {
  std::unique_ptr<ConnectionPool> pool(size_t maxSessions, int waitMs = 2000, int idleSeconds = 300,
                                       int checkAfterSeconds = 300) {
    DataLimits limits;
    limits.maxSessions = maxSessions;
    limits.waitForSession = std::chrono::milliseconds(waitMs);
    limits.idleClose = std::chrono::seconds(idleSeconds);
    limits.checkAfterIdle = std::chrono::seconds(checkAfterSeconds);
    return std::make_unique<ConnectionPool>(
        [this](const std::string& text) {
          return std::make_unique<FakeConnection>(sharedUse, open,
                                                  text + "#" + std::to_string(++created));
        },
        limits);
  }
  static std::string sessionOf(ConnectionPool& pool, const std::string& text,
                               const std::string& statement = "x") {
    return pool.acquire(text)->execute(statement).rows[0][0].text();
  }
  std::atomic<int> created{0}, sharedUse{0}, open{0};
};

TEST_F(PoolTest, ReusesCheckedSessionsPerTextAndDropsBrokenOrDeadOnes) {
  auto p = pool(4);
  EXPECT_EQ(sessionOf(*p, "A"), "A#1");
  EXPECT_EQ(sessionOf(*p, "A"), "A#1");  // no set-up the second time
  EXPECT_EQ(sessionOf(*p, "B"), "B#2");  // another text, another session
  {
    auto first = p->acquire("A");
    auto second = p->acquire("A");  // the idle one is lent out: a new one
    EXPECT_EQ(second->execute("x").rows[0][0].text(), "A#3");
  }
  EXPECT_EQ(p->idleCount("A"), 2u);
  EXPECT_THROW(p->acquire("A")->execute("break"), AutomationError);
  EXPECT_EQ(p->idleCount("A"), 1u);
  EXPECT_EQ(sessionOf(*p, "A", "die"), "A#3");  // its server goes away while it is idle
  EXPECT_EQ(sessionOf(*p, "A"), "A#4");         // the check on lending found it dead
  EXPECT_EQ(open.load(), static_cast<int>(p->openCount()));

  // A session idle past the check time answers a round trip before it is lent;
  // one idle past the age limit is closed.
  auto checked = pool(4, 2000, 300, 0);
  auto lease = std::make_optional(checked->acquire("A"));
  auto* session = static_cast<FakeConnection*>(&**lease);
  EXPECT_EQ(session->roundTrips_, 0);
  lease.reset();
  checked->acquire("A");
  EXPECT_EQ(session->roundTrips_, 1);
  auto aging = pool(4, 2000, 0);
  sessionOf(*aging, "A");
  EXPECT_EQ(aging->idleCount("A"), 1u);
  sessionOf(*aging, "B");  // every lend closes what is too old
  EXPECT_EQ(aging->idleCount("A"), 0u);
}

TEST_F(PoolTest, ManyTextsAndThreadsStayWithinTheCapWithoutSharing) {
  auto p = pool(3, 50);
  // 200 texts: the least recently used idle session makes room each time.
  for (int i = 0; i < 200; ++i) sessionOf(*p, "text" + std::to_string(i));
  EXPECT_EQ(p->openCount(), 3u);
  EXPECT_EQ(open.load(), 3);
  // All three lent: a fourth caller waits, then hears why it gets none.
  {
    auto a = p->acquire("A"), b = p->acquire("B"), c = p->acquire("C");
    std::string error = testing::failureOf([&] { p->acquire("D"); }).description;
    EXPECT_NE(error.find("Z418KT_DB_MAX_SESSIONS"), std::string::npos) << error;
  }
  auto shared = pool(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&shared, t] {
      for (int i = 0; i < 200; ++i) sessionOf(*shared, "T" + std::to_string((t + i) % 5));
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(sharedUse.load(), 0);
  EXPECT_LE(shared->openCount(), 4u);
}

}  // namespace
}  // namespace z418kt::data
