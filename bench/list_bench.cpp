// One page of the Coleta list on a million Coletas: the front door (its own
// keyset statement through the pooled runner, every row read into a Coleta)
// beside the same statement run straight through the SQLite C API. The page
// is half-way down one client's Coletas, where an OFFSET would read half a
// million rows first.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_support.h"
#include "data/database_setup.h"
#include "z418kt/coletas.h"
#include "z418kt/z418kt.h"

namespace z418kt::bench {

namespace {

constexpr int kColetas = 1000000;

// The million-Coleta database: the demo data, then Coletas of the three demo
// clients between their addresses, made once for the run and removed at exit.
const std::string& millionText() {
  static const std::string text = [] {
    static const std::string path = std::filesystem::temp_directory_path() /
                                    ("z418kt-bench-million-" + std::to_string(getpid()) + ".db");
    std::atexit([] {
      std::error_code ignored;
      for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix, ignored);
    });
    std::string t = "Provider=SQLite;Data Source=" + path;
    data::initDatabase(t, true);
    RawSqlite(t).run(
        "INSERT INTO DOCTO_TRANSPORTE (DOCTO_TRANSPORTE_ID, EMPRESA_ID, DATA_EMISSAO, CLIENTE_ID, "
        "END_DESTINATARIO_ID, END_REMETENTE_ID, NUM_VOLUME, PESO_REAL, TAB_STATUS_ID, "
        "TAB_TIPO_DOCTO_TRANSP_ID, VAL_DECLARADO) "
        "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < " +
        std::to_string(kColetas) +
        ") SELECT 10000 + k, 1, '2025-01-01 00:00:00', 1 + k % 3, 11 + k % 3, 11 + (k + 1) % 3, "
        "1 + k % 7, 12.5, 1, 5, 1500.75 FROM n");
    return t;
  }();
  return text;
}

ColetaFilter halfWay() {
  ColetaFilter f;
  f.cliente_id = 2;
  f.limite = 50;
  f.cursor = std::to_string(10000 + kColetas / 2);
  return f;
}

void door(benchmark::State& state) {
  const std::string& text = millionText();
  Z418kt component;
  FrontDoor frontDoor(component, {text, kProcedureKind, 0});
  for (auto _ : state) {
    auto page = frontDoor.list(halfWay());
    if (page.value.itens.size() != 50) {
      state.SkipWithError(("list failed: " + page.message).c_str());
      break;
    }
    benchmark::DoNotOptimize(page.value.itens.data());
  }
  state.SetItemsProcessed(state.iterations());
}

void raw(benchmark::State& state) {
  const std::string& text = millionText();
  Z418kt component;
  FrontDoor frontDoor(component, {text, kProcedureKind, 0});
  auto statements = statementsOf([&] { frontDoor.list(halfWay()); });
  if (statements.size() != 1) {
    state.SkipWithError("the list should be one statement");
    return;
  }
  RawSqlite db(text);
  for (auto _ : state) benchmark::DoNotOptimize(db.run(statements[0]));
  state.SetItemsProcessed(state.iterations());
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("door/list/sqlite/1M", door)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("raw/list/sqlite/1M", raw)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  return true;
}();

}  // namespace

}  // namespace z418kt::bench
