// The benchmarks register themselves in the other files of this folder.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
