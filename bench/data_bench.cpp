// The data layer's costs on a SQLite file: a small read through the pooled
// runner (what every read operation pays) and a procedure call with bound
// arguments (what every stored-procedure write pays).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/database_setup.h"
#include "data/recordset.h"
#include "data/statement_runner.h"

namespace {

using namespace z418kt;

// A demo database in the temporary folder, with the database runner installed, for one run.
struct BenchDatabase {
  BenchDatabase() : previous(data::installStatementRunner(data::makeDatabaseRunner())) {
    clean();
    data::initDatabase(text, true);
  }
  ~BenchDatabase() {
    data::installStatementRunner(previous);
    clean();
  }
  void clean() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ignored);
  }
  std::string path =
      std::filesystem::temp_directory_path() / ("z418kt-bench-" + std::to_string(getpid()) + ".db");
  std::string text = "Provider=SQLite;Data Source=" + path;
  std::shared_ptr<data::StatementRunner> previous;
};

void BM_OpenAndReadThroughThePool(benchmark::State& state) {
  BenchDatabase db;
  for (auto _ : state) {
    data::Recordset rs;
    rs.setCursorLocation(data::adUseClient);
    rs.open(
        " SELECT  CARGA.ALTURA_M ,  CARGA.CARGA_ID  FROM  CARGA  WHERE  "
        "CARGA.DOCTO_TRANSPORTE_ID = 100 ",
        db.text, data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
    benchmark::DoNotOptimize(rs.fieldsItem("CARGA_ID"));
    rs.close();
  }
}
BENCHMARK(BM_OpenAndReadThroughThePool);

// Each iteration inserts a cargo piece: one durable commit.
void BM_ExecProcedure(benchmark::State& state) {
  BenchDatabase db;
  auto runner = data::currentStatementRunner();
  for (auto _ : state)
    benchmark::DoNotOptimize(runner->run({"EXEC SP_KTR_INC_CARGA_awb   110, 0.5, 1.25, 2, 3",
                                          db.text, data::adUseServer, -1, -1, -1}));
}
BENCHMARK(BM_ExecProcedure);

}  // namespace
