// This process's writers of one SQLite file take the write lock in turn: a
// writer waits only for those before it, its busy timeout bounds the wait, and
// many threads' first stored-procedure saves all go through.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "data/sqlite_writers.h"
#include "support/temp_database.h"
#include "z418kt/safe_array.h"
#include "z418kt/z418kt.h"

namespace z418kt::data {
namespace {

TEST(WriterTurn, AWriterWaitsItsTurnAtMostItsTimeoutAndLeavesTheQueueUsable) {
  std::optional<WriterTurn> first(std::in_place, "/tmp/turns.db", 1000);
  // The same file named another way shares the queue.
  EXPECT_EQ(testing::failureOf([] { WriterTurn late("/tmp/../tmp/turns.db", 20); }).description,
            "database is locked (waited 20 ms for this process's other writers)");
  std::atomic<bool> served{false};
  std::thread next([&] {
    WriterTurn turn("/tmp/turns.db", 5000);
    served = true;
  });
  first.reset();
  next.join();
  EXPECT_TRUE(served);
  WriterTurn other("/tmp/other.db", 0);  // another file: no wait
}

TEST(WriterTurn, ManyThreadsFirstProcedureSavesAllGoThrough) {
  testing::TempDatabase db;
  std::atomic<int> failed{0};
  std::string lastFailure;
  std::mutex mutex;
  for (int round = 0; round < 3; ++round) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 5; ++i) {
          Z418kt z;
          Variant conecta(db.text()), user(int32_t{1}), empresa(int32_t{1}), kind("SQLSERVER"),
              produto, cliente(int32_t{2}), destino(int32_t{11}), origem(int32_t{12}),
              volumes(int32_t{3}), peso("12,5"), txt("caixa"), valor("10,5"), linhas(int32_t{1}),
              colunas(int32_t{5}), doc(int32_t{0}), msg;
          SafeArray m = SafeArray::zeroBased(4, 0);
          for (int32_t c = 0; c < 4; ++c) m.at(c, 0) = Variant(c + 1);
          Variant matrix(std::move(m));
          Variant status =
              z.gGrava_Coleta(conecta, user, empresa, kind, produto, cliente, destino, origem,
                              volumes, peso, txt, valor, linhas, colunas, matrix, doc, msg);
          if (status.i2() != 0) {
            ++failed;
            std::lock_guard lock(mutex);
            lastFailure = vb::concatText(msg);
          }
        }
      });
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(failed, 0) << lastFailure;
}

}  // namespace
}  // namespace z418kt::data
