// Cost of the literal every saved text goes through, for a field-sized text and a long one.
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

}  // namespace
