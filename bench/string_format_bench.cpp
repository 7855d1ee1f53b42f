// VString's printf-style formatting against snprintf into a std::string, and its number reading
// against the C library's strtoll and strtod on the same texts.
#include "bench/BenchSetup.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

void BM_VString_PrintfLogLine(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    kova::VString source("Updater");
    kova::VString line;
    for (auto _ : state)
    {
        line.Printf("%llu %s [%S] %d - %.3f", 12345ULL, "2024-01-02 03:04:05", &source, 42, 0.125);
        benchmark::DoNotOptimize(line.GetCPointer());
    }
}
BENCHMARK(BM_VString_PrintfLogLine);

void BM_Snprintf_LogLine(benchmark::State& state)
{
    const std::string source("Updater");
    std::string line;
    for (auto _ : state)
    {
        char buffer[256];
        int size = std::snprintf(buffer, sizeof(buffer), "%llu %s [%s] %d - %.3f", 12345ULL,
                                 "2024-01-02 03:04:05", source.c_str(), 42, 0.125);
        line.assign(buffer, size_t(size));
        benchmark::DoNotOptimize(line.data());
    }
}
BENCHMARK(BM_Snprintf_LogLine);

void BM_VString_GetLong8(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString text("-1234567890123");
    for (auto _ : state)
        benchmark::DoNotOptimize(text.GetLong8());
}
BENCHMARK(BM_VString_GetLong8);

void BM_Strtoll(benchmark::State& state)
{
    const char* text = "-1234567890123";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::strtoll(text, nullptr, 10));
}
BENCHMARK(BM_Strtoll);

void BM_VString_GetReal(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString text("-12345.6789e-3");
    for (auto _ : state)
        benchmark::DoNotOptimize(text.GetReal());
}
BENCHMARK(BM_VString_GetReal);

void BM_Strtod(benchmark::State& state)
{
    const char* text = "-12345.6789e-3";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::strtod(text, nullptr));
}
BENCHMARK(BM_Strtod);

} // namespace
