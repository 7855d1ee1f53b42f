// Progress indicators: advances (Increment) on 1 and 8 threads, each thread with an indicator of
// its own, while another thread gathers every indicator's snapshot each millisecond (the
// manager's GetAllProgressInfo), against a counter of each thread's own (std::atomic fetch_add);
// and a 256 MB memory stream read in 4 KiB GetData calls with an indicator, against the same
// stream without one.
#include "bench/BenchSetup.h"
#include "kernel/errors/VProgressIndicator.h"
#include "kernel/errors/VProgressManager.h"
#include "kernel/files/VMemoryStream.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

namespace
{

using namespace kova;

void EnsureManager()
{
    static const bool sReady = []
    {
        bench::EnsureToolbox();
        return VProgressManager::Init();
    }();
    (void)sReady;
}

// The reader of the advance pairs: every millisecond, all snapshots, as a display would take them.
std::atomic<bool> sReaderRunning{false};
std::thread sReader;

void StartReader(const benchmark::State&)
{
    EnsureManager();
    sReaderRunning.store(true);
    sReader = std::thread(
        []
        {
            while (sReaderRunning.load(std::memory_order_relaxed))
            {
                std::vector<VRefPtr<VRefCountedSessionInfo>> all;
                VProgressManager::GetAllProgressInfo(all);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
}

void StopReader(const benchmark::State&)
{
    sReaderRunning.store(false);
    sReader.join();
}

void BM_Advance_Kova(benchmark::State& ioState)
{
    VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
    progress->BeginSession(std::numeric_limits<int64_t>::max(), VString("Copying {curValue}"));
    for (auto _ : ioState)
        benchmark::DoNotOptimize(progress->Increment(1));
    progress->EndSession();
    ioState.SetItemsProcessed(int64_t(ioState.iterations()));
}

void BM_Advance_Atomic(benchmark::State& ioState)
{
    // One cache line a thread, as each indicator is its own.
    struct alignas(64) Counter
    {
        std::atomic<int64_t> fValue{0};
    };
    Counter counter;
    for (auto _ : ioState)
        benchmark::DoNotOptimize(counter.fValue.fetch_add(1));
    ioState.SetItemsProcessed(int64_t(ioState.iterations()));
}

BENCHMARK(BM_Advance_Kova)->Threads(1)->Threads(8)->UseRealTime()->Setup(StartReader)->Teardown(StopReader);
BENCHMARK(BM_Advance_Atomic)->Threads(1)->Threads(8)->UseRealTime()->Setup(StartReader)->Teardown(StopReader);

constexpr size_t kStreamSize = size_t(256) << 20;
constexpr size_t kChunk = 4096;

const std::vector<uint8_t>& StreamData()
{
    static const std::vector<uint8_t> sData(kStreamSize, 0x5A);
    return sData;
}

void ReadStream(benchmark::State& ioState, VProgressIndicator* inProgress)
{
    const std::vector<uint8_t>& data = StreamData();
    std::vector<uint8_t> buffer(kChunk);
    for (auto _ : ioState)
    {
        VConstPtrStream stream(data.data(), data.size());
        stream.SetProgressIndicator(inProgress);
        stream.OpenReading();
        for (size_t read = 0; read < kStreamSize; read += kChunk)
            stream.GetData(buffer.data(), kChunk);
        stream.CloseReading();
        benchmark::DoNotOptimize(buffer.data());
    }
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * int64_t(kStreamSize));
}

void BM_StreamRead_Kova(benchmark::State& ioState)
{
    EnsureManager();
    VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
    ReadStream(ioState, progress.Get());
}

void BM_StreamRead_NoIndicator(benchmark::State& ioState)
{
    EnsureManager();
    ReadStream(ioState, nullptr);
}

BENCHMARK(BM_StreamRead_Kova)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamRead_NoIndicator)->Unit(benchmark::kMillisecond);

} // namespace
