// The connection pool: reuse per connection text, one user per session at a
// time, broken sessions never lent again, and the runner on top of it.
#include "data/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "data/statement_runner.h"
#include "data/temp_database.h"

namespace z418kt::data {
namespace {

struct Counters {
  std::atomic<int> created{0};
  std::atomic<int> sharedUse{0};
};

// A session that notices being used by two callers at once; "break" breaks it.
class FakeConnection : public Connection {
 public:
  FakeConnection(Counters& counters, std::string text) : c_(counters), text_(std::move(text)) {}
  RowSet execute(const std::string& statement) override {
    if (busy_.exchange(true)) ++c_.sharedUse;
    std::this_thread::yield();
    busy_ = false;
    if (statement == "break") {
      broken_ = true;
      throw errors::provider("connection lost");
    }
    RowSet rows;
    rows.hasResultSet = true;
    rows.columns = {"session"};
    rows.rows = {{Variant(text_ + "#" + std::to_string(id_))}};
    return rows;
  }
  bool usable() const override { return !broken_; }
  int id_ = 0;

 private:
  Counters& c_;
  std::string text_;
  std::atomic<bool> busy_{false};
  bool broken_ = false;
};

ConnectionPool fakePool(Counters& counters, size_t maxIdle = 8) {
  return ConnectionPool(
      [&counters](const std::string& text) {
        auto c = std::make_unique<FakeConnection>(counters, text);
        c->id_ = ++counters.created;
        return c;
      },
      maxIdle);
}

std::string sessionOf(ConnectionPool& pool, const std::string& text) {
  auto lease = pool.acquire(text);
  return lease->execute("x").rows[0][0].text();
}

TEST(ConnectionPool, ReusesIdleSessionsPerTextAndDropsBrokenOnes) {
  Counters counters;
  auto pool = fakePool(counters, 1);
  EXPECT_EQ(sessionOf(pool, "A"), "A#1");
  EXPECT_EQ(sessionOf(pool, "A"), "A#1");  // no set-up the second time
  EXPECT_EQ(sessionOf(pool, "B"), "B#2");  // another text, another session
  {
    auto first = pool.acquire("A");
    auto second = pool.acquire("A");  // the idle one is lent out: a new one
    EXPECT_EQ(second->execute("x").rows[0][0].text(), "A#3");
  }
  EXPECT_EQ(pool.idleCount("A"), 1u);  // the surplus session was closed

  {
    auto lease = pool.acquire("A");
    EXPECT_THROW(lease->execute("break"), AutomationError);
  }
  EXPECT_EQ(pool.idleCount("A"), 0u);
  EXPECT_EQ(sessionOf(pool, "A"), "A#4");
}

TEST(ConnectionPool, ManyThreadsNeverShareASession) {
  Counters counters;
  auto pool = fakePool(counters);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&pool] {
      for (int i = 0; i < 300; ++i) sessionOf(pool, i % 2 ? "A" : "B");
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counters.sharedUse.load(), 0);
  EXPECT_LE(counters.created.load(), 16);  // at most one per thread and text
}

TEST(DatabaseRunner, ThreadsSharePooledSqliteSessionsSafely) {
  testing::TempDatabase db;
  auto runner = makeDatabaseRunner();
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        runner->run({"EXEC SP_KTR_INC_CARGA_awb   110, 1, 1, 1, " + std::to_string(10 + t),
                     db.text(), 2, -1, -1, -1});
        auto rows =
            runner->run({"SELECT COUNT(*) FROM CARGA WHERE NUM_VOLUME = " + std::to_string(10 + t),
                         db.text(), 3, 3, 1, -1});
        if (rows.rows[0][0] != Variant(int32_t{i + 1})) ++wrong;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  auto total = runner->run({"SELECT COUNT(DISTINCT CARGA_ID) FROM CARGA", db.text(), 3, 3, 1, -1});
  EXPECT_EQ(total.rows[0][0], Variant(int32_t{403}));
}

TEST(DatabaseRunner, OtherConnectionTextsGoToOdbcOrAnswerClearly) {
  auto runner = makeDatabaseRunner();
  // No ODBC data source of that name exists here; whichever way, an error.
  EXPECT_THROW(runner->run({"SELECT 1", "DSN=z418kt_no_such_source", 2, -1, -1, -1}),
               AutomationError);
}

}  // namespace
}  // namespace z418kt::data
