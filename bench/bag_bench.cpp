// Value bags against std::unordered_map, on the same names ("a0", "a1", ...; 16, 1,000 and 80,000
// of them), made once before timing:
// - building: a new bag given a long attribute under each name (SetLong: a look-up, then an
//   append), then released; beside a new std::unordered_map<std::string, int32_t> given each name
//   by try_emplace (a look-up, then an insertion), then destroyed;
// - finding: every name read back (GetLong) from a bag built beforehand; beside find in a map
//   built beforehand.
// Run pinned, with repetitions interleaved at random (BenchMain's defaults):
//     taskset -c 2 kova_bench --benchmark_filter=Bag
#include "bench/BenchSetup.h"
#include "kernel/values/StPackedDictionaryKey.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{

using kova::StPackedDictionaryKey;
using kova::VRefPtr;
using kova::VValueBag;

constexpr int64_t kMostNames = 80000;

// Made once for every count, so that the keys borrowing them never see them move.
const std::vector<std::string>& Names()
{
    static const std::vector<std::string> sNames = []
    {
        std::vector<std::string> names;
        for (int64_t i = 0; i < kMostNames; ++i)
            names.push_back(std::string(1, 'a').append(std::to_string(i)));
        return names;
    }();
    return sNames;
}

// The bag's keys borrow the names.
std::vector<StPackedDictionaryKey> Keys(int64_t inCount)
{
    const std::vector<std::string>& names = Names();
    std::vector<StPackedDictionaryKey> keys;
    for (int64_t i = 0; i < inCount; ++i)
        keys.push_back(StPackedDictionaryKey::Borrowed(names[size_t(i)].data(), names[size_t(i)].size()));
    return keys;
}

VRefPtr<VValueBag> BuildBag(const std::vector<StPackedDictionaryKey>& inKeys)
{
    VRefPtr<VValueBag> bag(new VValueBag);
    int32_t value = 0;
    for (const StPackedDictionaryKey& key : inKeys)
        bag->SetLong(key, value++);
    return bag;
}

std::unordered_map<std::string, int32_t> BuildMap(const std::vector<std::string>& inNames, int64_t inCount)
{
    std::unordered_map<std::string, int32_t> map;
    for (int64_t i = 0; i < inCount; ++i)
        map.try_emplace(inNames[size_t(i)], int32_t(i));
    return map;
}

void BM_BagBuild_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const std::vector<StPackedDictionaryKey> keys = Keys(ioState.range(0));
    for (auto _ : ioState)
    {
        VRefPtr<VValueBag> bag = BuildBag(keys);
        benchmark::DoNotOptimize(bag.Get());
    }
    ioState.SetItemsProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_BagBuild_Kova)->Arg(16)->Arg(1000)->Arg(kMostNames);

void BM_BagBuild_UnorderedMap(benchmark::State& ioState)
{
    const std::vector<std::string>& names = Names();
    for (auto _ : ioState)
    {
        std::unordered_map<std::string, int32_t> map = BuildMap(names, ioState.range(0));
        benchmark::DoNotOptimize(map);
    }
    ioState.SetItemsProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_BagBuild_UnorderedMap)->Arg(16)->Arg(1000)->Arg(kMostNames);

void BM_BagFind_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const std::vector<StPackedDictionaryKey> keys = Keys(ioState.range(0));
    VRefPtr<VValueBag> bag = BuildBag(keys);
    for (auto _ : ioState)
    {
        int64_t sum = 0;
        for (const StPackedDictionaryKey& key : keys)
        {
            int32_t value = 0;
            bag->GetLong(key, value);
            sum += value;
        }
        benchmark::DoNotOptimize(sum);
    }
    ioState.SetItemsProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_BagFind_Kova)->Arg(16)->Arg(1000)->Arg(kMostNames);

void BM_BagFind_UnorderedMap(benchmark::State& ioState)
{
    const std::vector<std::string>& names = Names();
    const std::unordered_map<std::string, int32_t> map = BuildMap(names, ioState.range(0));
    for (auto _ : ioState)
    {
        int64_t sum = 0;
        for (int64_t i = 0; i < ioState.range(0); ++i)
        {
            auto found = map.find(names[size_t(i)]);
            sum += found == map.end() ? 0 : found->second;
        }
        benchmark::DoNotOptimize(sum);
    }
    ioState.SetItemsProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_BagFind_UnorderedMap)->Arg(16)->Arg(1000)->Arg(kMostNames);

} // namespace
