// Cost of the literals and decimal checks that every saved Coleta goes through.
#include <benchmark/benchmark.h>

#include <string>

#include "outside/components.h"

namespace {

void ProcedureArgumentOfLongQuotedText(benchmark::State& state) {
  auto values = z418kt::outside::makeDefaultValueUtil();
  std::string text;
  while (text.size() < static_cast<size_t>(state.range(0))) text += "Caixa d'água 'frágil' ção; ";
  z418kt::Variant value(text);
  for (auto _ : state) benchmark::DoNotOptimize(values->op7_procedureArgument(value));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(ProcedureArgumentOfLongQuotedText)->Arg(255)->Arg(64 * 1024);

void DecimalCheckOfTypicalTexts(benchmark::State& state) {
  auto values = z418kt::outside::makeDefaultValueUtil();
  const std::string texts[] = {"12,50", "1.234,56", "999999,99", "-0.25", "9999999999999,99"};
  std::string accepted;
  for (auto _ : state) {
    for (const std::string& t : texts) {
      benchmark::DoNotOptimize(values->op11_checkDecimal(t, accepted));
    }
  }
  state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(DecimalCheckOfTypicalTexts);

}  // namespace
