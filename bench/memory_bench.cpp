// The memory manager (C library back end, as the toolbox runs it) against glibc malloc, free and
// realloc called directly: batches of blocks of 16 to 4096 bytes, on one thread and on four.
#include "bench/BenchSetup.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <random>

namespace
{

constexpr size_t kBatch = 64;
constexpr uint32_t kTag = kova::FourCharCode("benc");

// The same sizes, 16 to 4096 bytes, for every run and every thread.
const std::array<size_t, kBatch>& BatchSizes()
{
    static const std::array<size_t, kBatch> sSizes = []
    {
        std::array<size_t, kBatch> sizes{};
        std::mt19937 random(42);
        for (size_t& size : sizes)
            size = 16 + random() % (4096 - 16 + 1);
        return sizes;
    }();
    return sSizes;
}

void BM_VCppMemMgr_MallocFree(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    kova::VCppMemMgr* manager = kova::VObject::sCppMemMgr;
    const std::array<size_t, kBatch>& sizes = BatchSizes();
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = manager->Malloc(sizes[i], false, kTag);
        benchmark::DoNotOptimize(blocks.data());
        for (size_t i = 0; i < kBatch; ++i)
            manager->Free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch));
}
BENCHMARK(BM_VCppMemMgr_MallocFree)->Threads(1)->Threads(4)->UseRealTime();

void BM_GlibcMalloc_MallocFree(benchmark::State& state)
{
    const std::array<size_t, kBatch>& sizes = BatchSizes();
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = std::malloc(sizes[i]);
        benchmark::DoNotOptimize(blocks.data());
        for (size_t i = 0; i < kBatch; ++i)
            std::free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch));
}
BENCHMARK(BM_GlibcMalloc_MallocFree)->Threads(1)->Threads(4)->UseRealTime();

// Each block grows from 16 bytes to 4096 by doubling, then is freed.
void BM_VCppMemMgr_Realloc(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    kova::VCppMemMgr* manager = kova::VObject::sCppMemMgr;
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = manager->Malloc(16, false, kTag);
        for (size_t size = 32; size <= 4096; size *= 2)
        {
            for (size_t i = 0; i < kBatch; ++i)
                blocks[i] = manager->Realloc(blocks[i], size);
            benchmark::DoNotOptimize(blocks.data());
        }
        for (size_t i = 0; i < kBatch; ++i)
            manager->Free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch * 8));
}
BENCHMARK(BM_VCppMemMgr_Realloc)->Threads(1)->Threads(4)->UseRealTime();

void BM_GlibcMalloc_Realloc(benchmark::State& state)
{
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = std::malloc(16);
        for (size_t size = 32; size <= 4096; size *= 2)
        {
            for (size_t i = 0; i < kBatch; ++i)
                blocks[i] = std::realloc(blocks[i], size);
            benchmark::DoNotOptimize(blocks.data());
        }
        for (size_t i = 0; i < kBatch; ++i)
            std::free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch * 8));
}
BENCHMARK(BM_GlibcMalloc_Realloc)->Threads(1)->Threads(4)->UseRealTime();

} // namespace
