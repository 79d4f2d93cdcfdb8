// Runs every benchmark of this folder, by default 5 rounds (--rounds=N) with
// the cases in a new random order each round (so a burst of load on the
// machine hits the component and its baseline alike), then prints each case's
// median and the ratio of each pair: the component's throughput over its
// baseline's. Google Benchmark flags given on the command line win over the
// defaults.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Ratio {
  const char* label;
  const char* numerator;    // the component, or the faster arrangement
  const char* denominator;  // the baseline
  const char* target;
};

constexpr Ratio kRatios[] = {
    {"Coleta list page on 1M Coletas, front door / raw", "door/list/sqlite/1M",
     "raw/list/sqlite/1M", ">= 0.70"},
    {"gConsulta_Coleta ORACLE, 3 pieces / raw", "coleta/read/sqlite/oracle/3",
     "raw/read/sqlite/oracle/3", ">= 0.85"},
    {"gConsulta_Coleta ORACLE, 1,000 pieces / raw", "coleta/read/sqlite/oracle/1000",
     "raw/read/sqlite/oracle/1000", ">= 0.60"},
    {"  (3 pieces / raw opened without its mutex too)", "coleta/read/sqlite/oracle/3",
     "raw/read-nomutex/sqlite/oracle/3", ""},
    {"  (1,000 pieces / raw opened without its mutex too)", "coleta/read/sqlite/oracle/1000",
     "raw/read-nomutex/sqlite/oracle/1000", ""},
    {"gConsulta_Coleta procedures / raw", "coleta/read/sqlite/procedures/3",
     "raw/read/sqlite/procedures/3", ">= 0.70"},
    {"  (ORACLE / raw in one read transaction)", "coleta/read/sqlite/oracle/3",
     "raw/read-snapshot/sqlite/oracle/3", ""},
    {"  (procedures / raw in one read transaction)", "coleta/read/sqlite/procedures/3",
     "raw/read-snapshot/sqlite/procedures/3", ""},
    {"gGrava_Coleta 2 pieces ORACLE / raw, 1 transaction", "coleta/save/sqlite/oracle/2",
     "raw/save/sqlite/oracle/2", ">= 0.70"},
    {"gGrava_Coleta 2 pieces procedures / raw", "coleta/save/sqlite/procedures/2",
     "raw/save/sqlite/procedures/2", ">= 0.70"},
    {"pooled read / raw unpooled", "coleta/read/sqlite/oracle/3",
     "raw/read-unpooled/sqlite/oracle/3", ">= 3.9"},
    {"  (raw pooled / raw unpooled)", "raw/read/sqlite/oracle/3",
     "raw/read-unpooled/sqlite/oracle/3", ""},
    {"serve, piped / in-process", "serve/read/sqlite/oracle/3", "inprocess/read/sqlite/oracle/3",
     ">= 0.75"},
    {"serve, one request at a time / in-process", "serve-lockstep/read/sqlite/oracle/3",
     "inprocess/read/sqlite/oracle/3", ">= 0.90"},
    {"  (a round trip through serve, then the read in-process / in-process)",
     "serve-lockstep/round-trip-then-read/sqlite/oracle/3", "inprocess/read/sqlite/oracle/3", ""},
    {"  (serve, one at a time / a round trip, then the read)",
     "serve-lockstep/read/sqlite/oracle/3", "serve-lockstep/round-trip-then-read/sqlite/oracle/3",
     ""},
    {"HTTP GET of a Coleta, 4 clients / in-process, 4 threads", "httpRead", "inProcessRead",
     ">= 0.50"},
    {"  (another build's server / in-process)", "httpReadOther", "inProcessRead", ""},
    {"  (GET /healthz / bare loopback round trip)", "httpHealth", "rawRoundTrip", ""},
    {"  (the same GET / a bare server doing the same read)", "httpRead", "rawRead", ""},
    {"  (a bare server doing the same read / in-process)", "rawRead", "inProcessRead", ""},
    {"  (the same GET over a unix socket / in-process)", "httpReadUnix", "inProcessRead", ""},
    {"PostgreSQL read ORACLE, ODBC / libpq", "coleta/read/pg/oracle/3", "raw/read/pg/oracle/3",
     ">= 0.80"},
    {"PostgreSQL read procedures, ODBC / libpq", "coleta/read/pg/procedures/3",
     "raw/read/pg/procedures/3", ">= 0.80"},
    {"  (ORACLE / libpq in one read transaction)", "coleta/read/pg/oracle/3",
     "raw/read-snapshot/pg/oracle/3", ""},
    {"  (procedures / libpq in one read transaction)", "coleta/read/pg/procedures/3",
     "raw/read-snapshot/pg/procedures/3", ""},
    {"PostgreSQL save ORACLE, ODBC / libpq", "coleta/save/pg/oracle/2", "raw/save/pg/oracle/2",
     ">= 0.85"},
    {"PostgreSQL save procedures, ODBC / libpq", "coleta/save/pg/procedures/2",
     "raw/save/pg/procedures/2", ">= 0.85"},
    {"PostgreSQL read ORACLE, native / libpq", "coleta/read/pg-libpq/oracle/3",
     "raw/read/pg/oracle/3", ">= 0.80"},
    {"PostgreSQL read procedures, native / libpq", "coleta/read/pg-libpq/procedures/3",
     "raw/read/pg/procedures/3", ">= 0.80"},
    {"  (native ORACLE / libpq in one read transaction)", "coleta/read/pg-libpq/oracle/3",
     "raw/read-snapshot/pg/oracle/3", ""},
    {"  (native procedures / libpq in one read transaction)", "coleta/read/pg-libpq/procedures/3",
     "raw/read-snapshot/pg/procedures/3", ""},
    {"PostgreSQL save ORACLE, native / libpq", "coleta/save/pg-libpq/oracle/2",
     "raw/save/pg/oracle/2", ">= 0.85"},
    {"PostgreSQL save procedures, native / libpq", "coleta/save/pg-libpq/procedures/2",
     "raw/save/pg/procedures/2", ">= 0.85"},
    {"Save with outbox / without, ORACLE, replace", "events/save/sqlite/outbox/oracle/replace/full",
     "events/save/sqlite/no-outbox/oracle/replace/full", ">= 0.90"},
    {"Save with outbox / without, ORACLE, new", "events/save/sqlite/outbox/oracle/new/full",
     "events/save/sqlite/no-outbox/oracle/new/full", ">= 0.90"},
    {"Save with outbox / without, procedures, replace",
     "events/save/sqlite/outbox/procedures/replace/full",
     "events/save/sqlite/no-outbox/procedures/replace/full", ">= 0.90"},
    {"Save with outbox / without, procedures, new", "events/save/sqlite/outbox/procedures/new/full",
     "events/save/sqlite/no-outbox/procedures/new/full", ">= 0.90"},
    {"  (the same, synchronous OFF: CPU alone, ORACLE replace)",
     "events/save/sqlite/outbox/oracle/replace/off",
     "events/save/sqlite/no-outbox/oracle/replace/off", ""},
    {"  (the same, synchronous OFF: CPU alone, ORACLE new)",
     "events/save/sqlite/outbox/oracle/new/off", "events/save/sqlite/no-outbox/oracle/new/off", ""},
    {"  (the same, synchronous OFF: CPU alone, procedures replace)",
     "events/save/sqlite/outbox/procedures/replace/off",
     "events/save/sqlite/no-outbox/procedures/replace/off", ""},
    {"  (the same, synchronous OFF: CPU alone, procedures new)",
     "events/save/sqlite/outbox/procedures/new/off",
     "events/save/sqlite/no-outbox/procedures/new/off", ""},
    {"  (the least a trigger-written event costs / without, ORACLE, replace)",
     "events/save/sqlite/floor/oracle/replace/full",
     "events/save/sqlite/no-outbox/oracle/replace/full", ""},
    {"  (the least a trigger-written event costs / without, ORACLE, new)",
     "events/save/sqlite/floor/oracle/new/full", "events/save/sqlite/no-outbox/oracle/new/full",
     ""},
    {"  (the least a trigger-written event costs / without, procedures, replace)",
     "events/save/sqlite/floor/procedures/replace/full",
     "events/save/sqlite/no-outbox/procedures/replace/full", ""},
    {"  (the least a trigger-written event costs / without, procedures, new)",
     "events/save/sqlite/floor/procedures/new/full",
     "events/save/sqlite/no-outbox/procedures/new/full", ""},
    {"  (the same floor, synchronous OFF, ORACLE replace)",
     "events/save/sqlite/floor/oracle/replace/off",
     "events/save/sqlite/no-outbox/oracle/replace/off", ""},
    {"PostgreSQL save with outbox / without, ORACLE, replace",
     "events/save/pg/outbox/oracle/replace", "events/save/pg/no-outbox/oracle/replace", ">= 0.90"},
    {"PostgreSQL save with outbox / without, ORACLE, new", "events/save/pg/outbox/oracle/new",
     "events/save/pg/no-outbox/oracle/new", ">= 0.90"},
    {"PostgreSQL save with outbox / without, procedures, replace",
     "events/save/pg/outbox/procedures/replace", "events/save/pg/no-outbox/procedures/replace",
     ">= 0.90"},
    {"PostgreSQL save with outbox / without, procedures, new",
     "events/save/pg/outbox/procedures/new", "events/save/pg/no-outbox/procedures/new", ">= 0.90"},
    {"  (the floor outbox / without, ORACLE, replace)", "events/save/pg/floor/oracle/replace",
     "events/save/pg/no-outbox/oracle/replace", ""},
    {"  (the floor outbox / without, ORACLE, new)", "events/save/pg/floor/oracle/new",
     "events/save/pg/no-outbox/oracle/new", ""},
    {"  (the floor outbox / without, procedures, replace)",
     "events/save/pg/floor/procedures/replace", "events/save/pg/no-outbox/procedures/replace", ""},
    {"  (the floor outbox / without, procedures, new)", "events/save/pg/floor/procedures/new",
     "events/save/pg/no-outbox/procedures/new", ""},
    {"  (the outbox / the floor, ORACLE, replace)", "events/save/pg/outbox/oracle/replace",
     "events/save/pg/floor/oracle/replace", ""},
    {"  (the outbox / the floor, ORACLE, new)", "events/save/pg/outbox/oracle/new",
     "events/save/pg/floor/oracle/new", ""},
    {"  (the outbox / the floor, procedures, replace)", "events/save/pg/outbox/procedures/replace",
     "events/save/pg/floor/procedures/replace", ""},
    {"  (the outbox / the floor, procedures, new)", "events/save/pg/outbox/procedures/new",
     "events/save/pg/floor/procedures/new", ""},
    {"  (server CPU: outbox / without, ORACLE, replace)",
     "events/save/pg/outbox/oracle/replace/server-cpu",
     "events/save/pg/no-outbox/oracle/replace/server-cpu", ""},
    {"  (server CPU: outbox / without, ORACLE, new)", "events/save/pg/outbox/oracle/new/server-cpu",
     "events/save/pg/no-outbox/oracle/new/server-cpu", ""},
    {"  (server CPU: outbox / without, procedures, replace)",
     "events/save/pg/outbox/procedures/replace/server-cpu",
     "events/save/pg/no-outbox/procedures/replace/server-cpu", ""},
    {"  (server CPU: outbox / without, procedures, new)",
     "events/save/pg/outbox/procedures/new/server-cpu",
     "events/save/pg/no-outbox/procedures/new/server-cpu", ""},
    {"  (server CPU: floor / without, ORACLE, replace)",
     "events/save/pg/floor/oracle/replace/server-cpu",
     "events/save/pg/no-outbox/oracle/replace/server-cpu", ""},
    {"  (server CPU: floor / without, ORACLE, new)", "events/save/pg/floor/oracle/new/server-cpu",
     "events/save/pg/no-outbox/oracle/new/server-cpu", ""},
    {"  (server CPU: floor / without, procedures, replace)",
     "events/save/pg/floor/procedures/replace/server-cpu",
     "events/save/pg/no-outbox/procedures/replace/server-cpu", ""},
    {"  (server CPU: floor / without, procedures, new)",
     "events/save/pg/floor/procedures/new/server-cpu",
     "events/save/pg/no-outbox/procedures/new/server-cpu", ""},
    {"2 reader threads / 1 thread, ORACLE", "coleta/read-threads/sqlite/oracle/3",
     "coleta/read/sqlite/oracle/3", ">= 1.6"},
    {"2 reader threads / 1 thread, procedures", "coleta/read-threads/sqlite/procedures/3",
     "coleta/read/sqlite/procedures/3", ">= 1.6"},
    {"built statement recognised by its kept shape / cut by the tokenizer", "BM_ShapeByKeptForm",
     "BM_ShapeByTokenizer", ">= 20"},
};

// Collects every case's throughput, round after round; shows only progress.
class RoundCollector : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.error_occurred) {
        skipped[name] = run.error_message;
        continue;
      }
      // A case that times several arrangements in turn reports each one's
      // throughput as a counter named after the case it stands for.
      for (const auto& [counter, value] : run.counters)
        if (counter.rfind("rate:", 0) == 0) rates[counter.substr(5)].push_back(value.value);
      // A case that also counts its server's CPU: a second figure, named
      // "<case>/server-cpu".
      auto cpu = run.counters.find("server_cpu_items_per_second");
      if (cpu != run.counters.end()) rates[name + "/server-cpu"].push_back(cpu->second.value);
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end())
        rates[name].push_back(it->second.value);
      else if (run.real_accumulated_time > 0)
        rates[name].push_back(static_cast<double>(run.iterations) / run.real_accumulated_time);
    }
    std::fputc('.', stderr);
  }
  std::map<std::string, std::vector<double>> rates;
  std::map<std::string, std::string> skipped;
};

// Each case's median throughput over the rounds.
struct Medians {
  std::map<std::string, double> rate;
  std::map<std::string, std::string> skipped;
  auto find(const std::string& name) const { return rate.find(name); }
  auto end() const { return rate.end(); }
};

Medians mediansOf(const RoundCollector& collector) {
  Medians m;
  m.skipped = collector.skipped;
  for (auto [name, values] : collector.rates) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    m.rate[name] = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  }
  return m;
}

void printCases(const Medians& m, int rounds) {
  std::printf("\n%-52s %14s   (median of %d rounds)\n", "case", "us per item", rounds);
  for (const auto& [name, rate] : m.rate) std::printf("%-52s %14.2f\n", name.c_str(), 1e6 / rate);
  for (const auto& [name, why] : m.skipped)
    if (!m.rate.count(name))
      std::printf("%-52s %14s  (%s)\n", name.c_str(), "skipped", why.c_str());
}

void printRatios(const Medians& c) {
  std::printf("\n%-52s %8s %9s\n", "ratio (throughput / throughput)", "measured", "target");
  for (const Ratio& r : kRatios) {
    auto a = c.rate.find(r.numerator), b = c.rate.find(r.denominator);
    if (a == c.rate.end() || b == c.rate.end() || b->second <= 0) {
      auto why = c.skipped.find(r.numerator);
      std::printf("%-52s %8s %9s  (%s)\n", r.label, "-", r.target,
                  why != c.skipped.end() ? why->second.c_str() : "not run");
      continue;
    }
    std::printf("%-52s %8.2f %9s\n", r.label, a->second / b->second, r.target);
  }
  // Cost per piece from 1 to 1,000 pieces: constant when growth is linear.
  auto one = c.rate.find("coleta/read/sqlite/oracle/1");
  auto many = c.rate.find("coleta/read/sqlite/oracle/1000");
  auto rawOne = c.rate.find("raw/read/sqlite/oracle/1");
  auto rawMany = c.rate.find("raw/read/sqlite/oracle/1000");
  if (one != c.rate.end() && many != c.rate.end() && rawOne != c.rate.end() &&
      rawMany != c.rate.end())
    std::printf("per piece, 1 -> 1,000 pieces: %.3f us (raw %.3f us)\n",
                (1e6 / many->second - 1e6 / one->second) / 999,
                (1e6 / rawMany->second - 1e6 / rawOne->second) / 999);
}

}  // namespace

int main(int argc, char** argv) {
  // Rounds are run here rather than as Google Benchmark repetitions, which
  // cannot be combined with a random order in every library version.
  int rounds = 5;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0)
      rounds = std::max(1, std::atoi(argv[i] + 9));
    else
      args.push_back(argv[i]);
  }
  auto given = [&](const char* flag) {
    for (char* a : args)
      if (std::strncmp(a, flag, std::strlen(flag)) == 0) return true;
    return false;
  };
  std::string defaults[] = {"--benchmark_enable_random_interleaving=true",
                            "--benchmark_min_time=0.2"};
  for (auto& d : defaults)
    if (!given(d.substr(0, d.find('=')).c_str())) args.push_back(d.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  RoundCollector collector;
  std::fprintf(stderr, "%d rounds", rounds);
  for (int r = 0; r < rounds; ++r) benchmark::RunSpecifiedBenchmarks(&collector);
  std::fputc('\n', stderr);
  Medians medians = mediansOf(collector);
  printCases(medians, rounds);
  printRatios(medians);
  benchmark::Shutdown();
  return 0;
}
