// VString against std::u16string: appending short pieces, and copying a long text (shared block
// against a deep copy).
#include "bench/BenchSetup.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>

#include <string>

namespace
{

const char16_t kPiece[] = u"piece";
constexpr int kPieceLength = 5;

void BM_VString_AppendShortPieces(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    const int64_t pieces = state.range(0);
    for (auto _ : state)
    {
        kova::VString text;
        for (int64_t i = 0; i < pieces; ++i)
            text.AppendUniChars(kPiece, kPieceLength);
        benchmark::DoNotOptimize(text.GetCPointer());
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}
BENCHMARK(BM_VString_AppendShortPieces)->Arg(16)->Arg(1024)->Arg(65536);

void BM_U16String_AppendShortPieces(benchmark::State& state)
{
    const int64_t pieces = state.range(0);
    for (auto _ : state)
    {
        std::u16string text;
        for (int64_t i = 0; i < pieces; ++i)
            text.append(kPiece, kPieceLength);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}
BENCHMARK(BM_U16String_AppendShortPieces)->Arg(16)->Arg(1024)->Arg(65536);

void BM_VString_AppendUniChar(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    for (auto _ : state)
    {
        kova::VString text;
        for (int i = 0; i < 4096; ++i)
            text.AppendUniChar(u'x');
        benchmark::DoNotOptimize(text.GetCPointer());
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}
BENCHMARK(BM_VString_AppendUniChar);

void BM_U16String_PushBack(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::u16string text;
        for (int i = 0; i < 4096; ++i)
            text.push_back(u'x');
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * 4096);
}
BENCHMARK(BM_U16String_PushBack);

void BM_VString_CopyLong(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    std::u16string source(size_t(state.range(0)), u'a');
    kova::VString text(source.c_str());
    for (auto _ : state)
    {
        kova::VString copy(text);
        benchmark::DoNotOptimize(copy.GetCPointer());
    }
}
BENCHMARK(BM_VString_CopyLong)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_U16String_CopyLong(benchmark::State& state)
{
    std::u16string text(size_t(state.range(0)), u'a');
    for (auto _ : state)
    {
        std::u16string copy(text);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_U16String_CopyLong)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_VString_AssignLong(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    std::u16string source(size_t(state.range(0)), u'a');
    kova::VString text(source.c_str());
    kova::VString target;
    for (auto _ : state)
    {
        target = text;
        benchmark::DoNotOptimize(target.GetCPointer());
        target.Clear();
    }
}
BENCHMARK(BM_VString_AssignLong)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_U16String_AssignLong(benchmark::State& state)
{
    std::u16string text(size_t(state.range(0)), u'a');
    std::u16string target;
    for (auto _ : state)
    {
        target = text;
        benchmark::DoNotOptimize(target.data());
        target.clear();
    }
}
BENCHMARK(BM_U16String_AssignLong)->Arg(64)->Arg(4096)->Arg(1 << 20);

} // namespace
