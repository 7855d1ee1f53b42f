// VString's number text and printf-style formatting against the C and C++ libraries, on the same
// texts and values:
// - Printf of a log line (%llu %s [%S] %d - %.3f), of integers and of reals, against snprintf
//   into a buffer (%S becomes %s of the same text);
// - GetLong8 and GetReal against strtoll and strtod of the same text as bytes;
// - FromLong8 against std::to_chars widened into a std::u16string with room, and FromReal
//   against snprintf of the same "%.14G" into a buffer.
#include "bench/BenchSetup.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

// ---------------------------------------------------------------------------------------------
// Printf

struct PrintfCase
{
    const char* fName;
    // The same directives, with %S on the VString side and %s on the C library's.
    const char* fKovaFormat;
    const char* fCFormat;
};

const PrintfCase kPrintfCases[] = {
    {"logline", "%llu %s [%S] %d - %.3f", "%llu %s [%s] %d - %.3f"},
    {"integers", "%d items, %u bytes, %ld ms, id %x, flags %08X, %lld",
     "%d items, %u bytes, %ld ms, id %x, flags %08X, %lld"},
    {"reals", "%g s, %.2f%%, %e, %5.1f", "%g s, %.2f%%, %e, %5.1f"},
};

void PrintfArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("case")->DenseRange(0, int(std::size(kPrintfCases)) - 1);
}

void BM_Printf_Snprintf(benchmark::State& state)
{
    const PrintfCase& c = kPrintfCases[state.range(0)];
    const std::string source("Updater");
    char buffer[256];
    for (auto _ : state)
    {
        int size = 0;
        switch (state.range(0))
        {
        case 0:
            size = std::snprintf(buffer, sizeof(buffer), c.fCFormat, 12345ULL, "2024-01-02 03:04:05",
                                 source.c_str(), 42, 0.125);
            break;
        case 1:
            size = std::snprintf(buffer, sizeof(buffer), c.fCFormat, -1234, 56789u, 1000L, 0xBEEF, 0x1F,
                                 9876543210LL);
            break;
        default:
            size = std::snprintf(buffer, sizeof(buffer), c.fCFormat, 0.000123, 99.5, 6.02214076e23, -3.25);
            break;
        }
        benchmark::DoNotOptimize(size);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_Printf_Snprintf)->Apply(PrintfArgs);

void BM_Printf_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const PrintfCase& c = kPrintfCases[state.range(0)];
    const kova::VString source("Updater");
    kova::VString line;
    for (auto _ : state)
    {
        switch (state.range(0))
        {
        case 0:
            line.Printf(c.fKovaFormat, 12345ULL, "2024-01-02 03:04:05", &source, 42, 0.125);
            break;
        case 1:
            line.Printf(c.fKovaFormat, -1234, 56789u, 1000L, 0xBEEF, 0x1F, 9876543210LL);
            break;
        default:
            line.Printf(c.fKovaFormat, 0.000123, 99.5, 6.02214076e23, -3.25);
            break;
        }
        benchmark::DoNotOptimize(line.GetCPointer());
    }
}
BENCHMARK(BM_Printf_Kova)->Apply(PrintfArgs);

// ---------------------------------------------------------------------------------------------
// Reading numbers

void BM_GetLong8_Strtoll(benchmark::State& state)
{
    const char* text = "-1234567890123";
    benchmark::DoNotOptimize(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::strtoll(text, nullptr, 10));
}
BENCHMARK(BM_GetLong8_Strtoll);

void BM_GetLong8_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString text("-1234567890123");
    for (auto _ : state)
        benchmark::DoNotOptimize(text.GetLong8());
}
BENCHMARK(BM_GetLong8_Kova);

const char* const kRealTexts[] = {"-12345.6789e-3", "0.1", "3.141592653589793", "1e300"};

void RealArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("text")->DenseRange(0, int(std::size(kRealTexts)) - 1);
}

void BM_GetReal_Strtod(benchmark::State& state)
{
    const char* text = kRealTexts[state.range(0)];
    benchmark::DoNotOptimize(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::strtod(text, nullptr));
}
BENCHMARK(BM_GetReal_Strtod)->Apply(RealArgs);

void BM_GetReal_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const kova::VString text(kRealTexts[state.range(0)]);
    for (auto _ : state)
        benchmark::DoNotOptimize(text.GetReal());
}
BENCHMARK(BM_GetReal_Kova)->Apply(RealArgs);

// ---------------------------------------------------------------------------------------------
// Writing numbers

const int64_t kIntegers[] = {7, -1234567890123, INT64_MIN};

void IntegerArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("value")->DenseRange(0, int(std::size(kIntegers)) - 1);
}

void BM_FromLong8_ToChars(benchmark::State& state)
{
    int64_t value = kIntegers[state.range(0)];
    std::u16string text;
    text.reserve(32);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(value);
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
        text.assign(static_cast<const char*>(digits), end);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_FromLong8_ToChars)->Apply(IntegerArgs);

void BM_FromLong8_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    int64_t value = kIntegers[state.range(0)];
    kova::VStr<31> text;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(value);
        text.FromLong8(value);
        benchmark::DoNotOptimize(text.GetCPointer());
    }
}
BENCHMARK(BM_FromLong8_Kova)->Apply(IntegerArgs);

const double kReals[] = {0.1, -12.345678901234567, 1e20, 5e-324};

void RealValueArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("value")->DenseRange(0, int(std::size(kReals)) - 1);
}

void BM_FromReal_Snprintf(benchmark::State& state)
{
    double value = kReals[state.range(0)];
    char buffer[255];
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(value);
        benchmark::DoNotOptimize(std::snprintf(buffer, sizeof(buffer), "%.14G", value));
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_FromReal_Snprintf)->Apply(RealValueArgs);

void BM_FromReal_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    double value = kReals[state.range(0)];
    kova::VStr<31> text;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(value);
        text.FromReal(value);
        benchmark::DoNotOptimize(text.GetCPointer());
    }
}
BENCHMARK(BM_FromReal_Kova)->Apply(RealValueArgs);

} // namespace
