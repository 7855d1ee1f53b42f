// The memory manager against the C library's malloc (glibc) and against mimalloc, in the same run:
// - Batch: 64 blocks of one size (16, 256 or 4096 bytes, or sizes drawn from 16 to 4096) allocated,
//   then freed, on 1 and on 8 threads;
// - ParserMix: what a parser does to memory: many short strings and small objects born in bursts,
//   a few arrays grown by doubling, a few larger buffers, runs of recent blocks freed together
//   (as scopes end), the rest freed at the end of the document; on 1 and on 8 threads;
// - Realloc: blocks grown from 16 to 4096 bytes by doubling.
// "Kova" is the manager with its pooled arenas (what the bundle's "MemoryAllocator" key "kova"
// selects), given 256 MiB of virtual memory; the StdLibBatch pair is the manager with its
// C-library back end (the default) against malloc itself: what the pass-through costs.
#include "bench/BenchSetup.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <dlfcn.h>
#include <random>
#include <vector>

namespace
{

constexpr size_t kBatch = 64;
constexpr uint32_t kTag = kova::FourCharCode("benc");

kova::VCppMemMgr* PooledManager()
{
    static kova::VCppMemMgr* sManager = []
    {
        auto* manager = new kova::VCppMemMgr(kova::VCppMemMgr::eAllocatorPooled);
        manager->AddVirtualAllocation(size_t(256) << 20, nullptr, false);
        return manager;
    }();
    return sManager;
}

struct KovaAllocator
{
    kova::VCppMemMgr* fManager;
    void* Malloc(size_t inSize) const { return fManager->Malloc(inSize, false, kTag); }
    void* Realloc(void* inBlock, size_t inSize) const { return fManager->Realloc(inBlock, inSize); }
    void Free(void* inBlock) const { fManager->Free(inBlock); }
};

struct GlibcAllocator
{
    void* Malloc(size_t inSize) const { return std::malloc(inSize); }
    void* Realloc(void* inBlock, size_t inSize) const { return std::realloc(inBlock, inSize); }
    void Free(void* inBlock) const { std::free(inBlock); }
};

// Opened without making its symbols global, so that malloc stays the C library's.
struct MimallocAllocator
{
    using MallocProc = void* (*)(size_t);
    using ReallocProc = void* (*)(void*, size_t);
    using FreeProc = void (*)(void*);
    MallocProc fMalloc = nullptr;
    ReallocProc fRealloc = nullptr;
    FreeProc fFree = nullptr;

    static const MimallocAllocator* Get()
    {
        static const MimallocAllocator sAllocator = []
        {
            MimallocAllocator allocator;
            if (void* library = dlopen("libmimalloc.so.2", RTLD_NOW | RTLD_LOCAL))
            {
                allocator.fMalloc = reinterpret_cast<MallocProc>(dlsym(library, "mi_malloc"));
                allocator.fRealloc = reinterpret_cast<ReallocProc>(dlsym(library, "mi_realloc"));
                allocator.fFree = reinterpret_cast<FreeProc>(dlsym(library, "mi_free"));
            }
            return allocator;
        }();
        return sAllocator.fMalloc != nullptr && sAllocator.fRealloc != nullptr && sAllocator.fFree != nullptr
                   ? &sAllocator
                   : nullptr;
    }
    void* Malloc(size_t inSize) const { return fMalloc(inSize); }
    void* Realloc(void* inBlock, size_t inSize) const { return fRealloc(inBlock, inSize); }
    void Free(void* inBlock) const { fFree(inBlock); }
};

// Runs the workload with mimalloc, or skips it when the library is not installed.
void WithMimalloc(benchmark::State& state, void (*inRun)(benchmark::State&, const MimallocAllocator&))
{
    if (const MimallocAllocator* allocator = MimallocAllocator::Get())
        inRun(state, *allocator);
    else
        state.SkipWithError("libmimalloc.so.2 is not installed");
}

// ---------------------------------------------------------------------------------------------
// Batch

// The same sizes for every run and every thread: all of inSize, or drawn from 16 to 4096 for 0.
std::array<size_t, kBatch> BatchSizes(size_t inSize)
{
    std::array<size_t, kBatch> sizes{};
    std::mt19937 random(42);
    for (size_t& size : sizes)
        size = inSize != 0 ? inSize : 16 + random() % (4096 - 16 + 1);
    return sizes;
}

template <class Allocator>
void RunBatch(benchmark::State& state, const Allocator& inAllocator)
{
    const std::array<size_t, kBatch> sizes = BatchSizes(size_t(state.range(0)));
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = inAllocator.Malloc(sizes[i]);
        benchmark::DoNotOptimize(blocks.data());
        for (size_t i = 0; i < kBatch; ++i)
            inAllocator.Free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch));
}

void BatchArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->ArgName("size")->Arg(16)->Arg(256)->Arg(4096)->Arg(0)->Threads(1)->Threads(8)->UseRealTime();
}

void BM_Batch_Glibc(benchmark::State& state)
{
    RunBatch(state, GlibcAllocator());
}
BENCHMARK(BM_Batch_Glibc)->Apply(BatchArgs);

void BM_Batch_Mimalloc(benchmark::State& state)
{
    WithMimalloc(state, RunBatch<MimallocAllocator>);
}
BENCHMARK(BM_Batch_Mimalloc)->Apply(BatchArgs);

void BM_Batch_Kova(benchmark::State& state)
{
    RunBatch(state, KovaAllocator{PooledManager()});
}
BENCHMARK(BM_Batch_Kova)->Apply(BatchArgs);

void BM_StdLibBatch_Glibc(benchmark::State& state)
{
    RunBatch(state, GlibcAllocator());
}
BENCHMARK(BM_StdLibBatch_Glibc)->Arg(0);

void BM_StdLibBatch_Kova(benchmark::State& state)
{
    kova::bench::EnsureToolbox();
    RunBatch(state, KovaAllocator{kova::VObject::sCppMemMgr});
}
BENCHMARK(BM_StdLibBatch_Kova)->Arg(0);

// ---------------------------------------------------------------------------------------------
// ParserMix

struct Step
{
    enum Kind : uint8_t
    {
        kMalloc,
        kGrow, // realloc of a live array to twice its size
        kFree,
    };
    Kind fKind;
    uint16_t fSlot;
    uint32_t fSize;
};

constexpr size_t kSlots = 512;

// One document: the same steps for every side, thread and run.
const std::vector<Step>& ParserSteps()
{
    static const std::vector<Step> sSteps = []
    {
        std::vector<Step> steps;
        std::mt19937 random(7);
        std::vector<uint16_t> live; // slots in the order they were filled
        std::vector<uint32_t> sizes(kSlots, 0);
        std::vector<uint16_t> freeSlots;
        for (size_t slot = kSlots; slot-- > 0;)
            freeSlots.push_back(uint16_t(slot));
        auto allocate = [&](uint32_t inSize)
        {
            uint16_t slot = freeSlots.back();
            freeSlots.pop_back();
            steps.push_back({Step::kMalloc, slot, inSize});
            sizes[slot] = inSize;
            live.push_back(slot);
        };
        for (int i = 0; i < 2000; ++i)
        {
            const uint32_t draw = random() % 100;
            if (freeSlots.size() < 8 || (draw < 6 && live.size() > 16))
            {
                // A scope ends: its most recent blocks go together.
                size_t run = 4 + random() % 24;
                while (run-- > 0 && !live.empty())
                {
                    uint16_t slot = live.back();
                    live.pop_back();
                    steps.push_back({Step::kFree, slot, 0});
                    freeSlots.push_back(slot);
                }
            }
            else if (draw < 60)
                allocate(16 + random() % 49); // a short string
            else if (draw < 88)
                allocate(32 + 8 * (random() % 17)); // a small object
            else if (draw < 96)
            {
                // An array: a live block of at most 2 KiB doubles, or a new one starts.
                uint16_t slot = live.empty() ? 0 : live[random() % live.size()];
                if (!live.empty() && sizes[slot] <= 2048)
                {
                    sizes[slot] *= 2;
                    steps.push_back({Step::kGrow, slot, sizes[slot]});
                }
                else
                    allocate(64);
            }
            else
                allocate(1024 + random() % 7169); // a text buffer
        }
        for (uint16_t slot : live)
            steps.push_back({Step::kFree, slot, 0});
        return steps;
    }();
    return sSteps;
}

template <class Allocator>
void RunParserMix(benchmark::State& state, const Allocator& inAllocator)
{
    const std::vector<Step>& steps = ParserSteps();
    std::vector<void*> slots(kSlots, nullptr);
    for (auto _ : state)
    {
        for (const Step& step : steps)
        {
            switch (step.fKind)
            {
            case Step::kMalloc:
                slots[step.fSlot] = inAllocator.Malloc(step.fSize);
                break;
            case Step::kGrow:
                slots[step.fSlot] = inAllocator.Realloc(slots[step.fSlot], step.fSize);
                break;
            case Step::kFree:
                inAllocator.Free(slots[step.fSlot]);
                break;
            }
        }
        benchmark::DoNotOptimize(slots.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * steps.size()));
}

void ParserArgs(benchmark::internal::Benchmark* inBenchmark)
{
    inBenchmark->Threads(1)->Threads(8)->UseRealTime();
}

void BM_ParserMix_Glibc(benchmark::State& state)
{
    RunParserMix(state, GlibcAllocator());
}
BENCHMARK(BM_ParserMix_Glibc)->Apply(ParserArgs);

void BM_ParserMix_Mimalloc(benchmark::State& state)
{
    WithMimalloc(state, RunParserMix<MimallocAllocator>);
}
BENCHMARK(BM_ParserMix_Mimalloc)->Apply(ParserArgs);

void BM_ParserMix_Kova(benchmark::State& state)
{
    RunParserMix(state, KovaAllocator{PooledManager()});
}
BENCHMARK(BM_ParserMix_Kova)->Apply(ParserArgs);

// ---------------------------------------------------------------------------------------------
// Realloc

template <class Allocator>
void RunRealloc(benchmark::State& state, const Allocator& inAllocator)
{
    std::array<void*, kBatch> blocks{};
    for (auto _ : state)
    {
        for (size_t i = 0; i < kBatch; ++i)
            blocks[i] = inAllocator.Malloc(16);
        for (size_t size = 32; size <= 4096; size *= 2)
        {
            for (size_t i = 0; i < kBatch; ++i)
                blocks[i] = inAllocator.Realloc(blocks[i], size);
            benchmark::DoNotOptimize(blocks.data());
        }
        for (size_t i = 0; i < kBatch; ++i)
            inAllocator.Free(blocks[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kBatch * 8));
}

void BM_Realloc_Glibc(benchmark::State& state)
{
    RunRealloc(state, GlibcAllocator());
}
BENCHMARK(BM_Realloc_Glibc);

void BM_Realloc_Mimalloc(benchmark::State& state)
{
    WithMimalloc(state, RunRealloc<MimallocAllocator>);
}
BENCHMARK(BM_Realloc_Mimalloc);

void BM_Realloc_Kova(benchmark::State& state)
{
    RunRealloc(state, KovaAllocator{PooledManager()});
}
BENCHMARK(BM_Realloc_Kova);

} // namespace
