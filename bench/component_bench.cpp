// What a caller pays for a whole operation on the embedded database: reading
// the demo Coleta (document, three cargo pieces, AWB count) in each dialect.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/database_setup.h"
#include "z418kt/z418kt.h"

namespace {

using namespace z418kt;

void readColeta(benchmark::State& state, const char* dialect) {
  std::string path = std::filesystem::temp_directory_path() /
                     ("z418kt-bench-coleta-" + std::to_string(getpid()) + ".db");
  std::filesystem::remove(path);
  std::string text = "Provider=SQLite;Data Source=" + path;
  data::initDatabase(text, true);
  Z418kt component;
  Variant conecta(text), user(int32_t{0}), empresa(int32_t{1}), banco(dialect), produto;
  Variant id(int32_t{100});
  for (auto _ : state) {
    Variant out[13];
    Variant status = component.gConsulta_Coleta(conecta, user, empresa, banco, produto, id, out[0],
                                                out[1], out[2], out[3], out[4], out[5], out[6],
                                                out[7], out[8], out[9], out[10], out[11], out[12]);
    if (!(status == Variant(int16_t{0}))) state.SkipWithError("status 10");
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

BENCHMARK_CAPTURE(readColeta, oracle, "ORACLE")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(readColeta, stored_procedures, "SQLSERVER")->Unit(benchmark::kMicrosecond);

}  // namespace
