// Start-up of a minimal process-object program (Run with the flags 0x50 and an empty run
// operation) against a bare main linked with the same libraries: each iteration spawns the
// program, measures the time until it reports reaching its run operation (the bare main: its
// first line), and waits for its end. The counter rss_kb is the child's own peak resident size
// (see ChildStart.h), the average of the iterations.
#include "bench/ChildStart.h"

#include <benchmark/benchmark.h>

namespace
{

using kova::bench::SpawnAndMeasure;

void BM_ProcessStart_Kova(benchmark::State& ioState)
{
    SpawnAndMeasure(ioState, "kova_bench_process_child");
}

void BM_ProcessStart_Bare(benchmark::State& ioState)
{
    SpawnAndMeasure(ioState, "kova_bench_bare_child");
}

BENCHMARK(BM_ProcessStart_Kova)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessStart_Bare)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
