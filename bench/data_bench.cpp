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

// A demo database in the temporary folder for one benchmark run.
class BenchDatabase {
 public:
  BenchDatabase() {
    path_ = std::filesystem::temp_directory_path() /
            ("z418kt-bench-" + std::to_string(getpid()) + ".db");
    clean();
    text_ = "Provider=SQLite;Data Source=" + path_.string();
    data::initDatabase(text_, true);
  }
  ~BenchDatabase() { clean(); }
  const std::string& text() const { return text_; }

 private:
  void clean() {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(path_.string() + suffix, ignored);
  }
  std::filesystem::path path_;
  std::string text_;
};

void BM_OpenAndReadThroughThePool(benchmark::State& state) {
  BenchDatabase db;
  auto previous = data::installStatementRunner(data::makeDatabaseRunner());
  for (auto _ : state) {
    data::Recordset rs;
    rs.setCursorLocation(data::adUseClient);
    rs.open(
        " SELECT  CARGA.ALTURA_M ,  CARGA.CARGA_ID  FROM  CARGA  WHERE  "
        "CARGA.DOCTO_TRANSPORTE_ID = 100 ",
        db.text(), data::adOpenStatic, data::adLockReadOnly, data::adUnspecified);
    benchmark::DoNotOptimize(rs.fieldsItem("CARGA_ID"));
    rs.close();
  }
  data::installStatementRunner(previous);
}
BENCHMARK(BM_OpenAndReadThroughThePool);

// Each iteration inserts a cargo piece (one durable commit) and removes it.
void BM_ExecProcedure(benchmark::State& state) {
  BenchDatabase db;
  auto previous = data::installStatementRunner(data::makeDatabaseRunner());
  auto runner = data::currentStatementRunner();
  for (auto _ : state) {
    auto rows = runner->run({"EXEC SP_KTR_INC_CARGA_awb   110, 0.5, 1.25, 2, 3", db.text(),
                             data::adUseServer, -1, -1, -1});
    benchmark::DoNotOptimize(rows);
    state.PauseTiming();
    runner->run(
        {"DELETE CARGA WHERE DOCTO_TRANSPORTE_ID = 110", db.text(), data::adUseServer, -1, -1, -1});
    state.ResumeTiming();
  }
  data::installStatementRunner(previous);
}
BENCHMARK(BM_ExecProcedure);

}  // namespace
