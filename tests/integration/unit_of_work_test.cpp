// A save or delete of a Coleta is all or nothing for everyone else: a process
// killed in the middle leaves the whole Coleta or none of it, and a reader on
// another session never sees a document without its pieces.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "support/engine_fixture.h"

namespace z418kt {
namespace {

using testing::EngineTest;
namespace demo = testing::demo;

// Passes statements on to the database runner and calls `hook` after the
// statement numbered `at` (1-based) of the thread that installed it.
class HookedRunner : public data::StatementRunner {
 public:
  HookedRunner(std::shared_ptr<data::StatementRunner> next, int at, std::function<void()> hook)
      : next_(std::move(next)), at_(at), hook_(std::move(hook)) {}
  data::RowSet run(const data::OpenRequest& request) override {
    data::RowSet rows = next_->run(request);
    if (std::this_thread::get_id() == owner_ && ++seen_ == at_) hook_();
    return rows;
  }
  std::unique_ptr<data::Transaction> transaction(const std::string& text, bool writes) override {
    return next_->transaction(text, writes);
  }
  int seen() const { return seen_; }

 private:
  std::shared_ptr<data::StatementRunner> next_;
  int at_;
  std::function<void()> hook_;
  std::thread::id owner_ = std::this_thread::get_id();
  int seen_ = 0;
};

class UnitOfWorkOnEngine : public EngineTest {
 protected:
  // Saves Coleta `id` (0: a new one) with `pieces` pieces; the status.
  int16_t save(Z418kt& component, int32_t id, int pieces) {
    testing::Coleta c;
    c.id = Variant(id);
    std::vector<std::array<Variant, 4>> rows(pieces);
    for (int32_t r = 0; r < pieces; ++r)
      for (int32_t k = 0; k < 4; ++k) rows[r][k] = Variant(int32_t{1 + r + k});
    c.setPieces(rows);
    return EngineTest::save(c, &component).i2();
  }
  // Reads Coleta `id` on a component of its own: the status and the number of pieces.
  std::pair<int16_t, int32_t> read(int32_t id) {
    Z418kt reader;
    Variant doc(id), out[13];
    Variant status = reader.gConsulta_Coleta(conecta, usuario, empresa, bancoDados, produto, doc,
                                             out[0], out[1], out[2], out[3], out[4], out[5], out[6],
                                             out[7], out[8], out[9], out[10], out[11], out[12]);
    return {status.i2(), vb::clng(out[6])};
  }
  int32_t count(const char* table) {
    return queryInt(std::string("SELECT COUNT(*) FROM ") + table);
  }
};

TEST_P(UnitOfWorkOnEngine, AKilledSaveLeavesTheWholeColetaOrNone) {
  int32_t docs = count("DOCTO_TRANSPORTE"), cargo = count("CARGA");
  // A save that finishes, counting its statements.
  auto counter = std::make_shared<HookedRunner>(data::currentStatementRunner(), 0, [] {});
  auto previous = data::installStatementRunner(counter);
  ASSERT_EQ(save(component(), 0, 3), 0);
  data::installStatementRunner(previous);
  ASSERT_EQ(count("DOCTO_TRANSPORTE"), docs + 1);
  ASSERT_EQ(count("CARGA"), cargo + 3);

  // The same save, killed after each of its statements, the commit not yet made.
  for (int at = 1; at <= counter->seen(); ++at) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Sessions do not cross a fork: the child opens its own.
      data::installStatementRunner(std::make_shared<HookedRunner>(data::makeDatabaseRunner(), at,
                                                                  [] { kill(getpid(), SIGKILL); }));
      Z418kt own;
      save(own, 0, 3);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "statement " << at;
    EXPECT_EQ(count("DOCTO_TRANSPORTE"), docs + 1) << "statement " << at;
    EXPECT_EQ(count("CARGA"), cargo + 3) << "statement " << at;
  }
}

TEST_P(UnitOfWorkOnEngine, AReaderSeesTheColetaBeforeOrAfterNeverBetween) {
  auto readMidway = [&](int at, const std::function<void()>& write) {
    std::pair<int16_t, int32_t> seen{-1, -1};
    auto hooked = std::make_shared<HookedRunner>(data::currentStatementRunner(), at, [&] {
      std::thread reader([&] { seen = read(demo::kColeta); });
      reader.join();
    });
    auto previous = data::installStatementRunner(hooked);
    write();
    data::installStatementRunner(previous);
    return std::make_pair(seen, hooked->seen());
  };
  // An update that replaces the three pieces by two, seen after each statement.
  for (int at = 1;; ++at) {
    auto before = read(demo::kColeta);
    auto [seen, statements] =
        readMidway(at, [&] { EXPECT_EQ(save(component(), demo::kColeta, 2), 0); });
    if (at > statements) break;
    EXPECT_EQ(seen, before) << "statement " << at;
  }
  // A delete: the pieces go first, yet the document is never seen without them.
  auto before = read(demo::kColeta);
  ASSERT_EQ(before.first, 0);
  auto [seen, statements] =
      readMidway(1, [&] { EXPECT_EQ(erase(demo::kColeta), Variant(int16_t{0})); });
  ASSERT_GT(statements, 1);
  EXPECT_EQ(seen, before);
  EXPECT_EQ(read(demo::kColeta).second, 0);  // after the commit the pieces are gone
}

// Keys reserved inside a save serve the rest of it: its pieces get
// consecutive ids, and a key block reaches the process only with the commit.
TEST_P(UnitOfWorkOnEngine, AThousandPiecesGetConsecutiveIds) {
  ASSERT_EQ(save(component(), 0, 1000), 0);
  EXPECT_EQ(queryInt("SELECT COUNT(*) FROM CARGA WHERE CARGA_ID >= 1000"), 1000);
  EXPECT_EQ(queryInt("SELECT MAX(CARGA_ID) - MIN(CARGA_ID) FROM CARGA WHERE CARGA_ID >= 1000"),
            999);
  // The next save goes on where this one stopped.
  ASSERT_EQ(save(component(), 0, 1), 0);
  EXPECT_EQ(queryInt("SELECT MAX(CARGA_ID) - MIN(CARGA_ID) FROM CARGA WHERE CARGA_ID >= 1000"),
            1000);
}

INSTANTIATE_ENGINE_TEST(UnitOfWorkOnEngine);

}  // namespace
}  // namespace z418kt
