// The process logger and its log file writer against spdlog (basic_file_sink_mt, the same line
// text): records per second from the logging call to lines in the file, 100,000 records a thread
// on 1 and 8 threads, the clock stopped once the last line is written; and the cost of one
// logging call as the caller sees it. The logger's ring of 1000 overwrites its oldest records
// when they come faster than its task writes them: the counters give the lines written and the
// records overwritten, a run's average.
#include "bench/BenchSetup.h"
#include "kernel/errors/VLogger.h"
#include "kernel/errors/VMsgFileLogger.h"
#include "kernel/files/VFilePath.h"
#include "kernel/files/VFolder.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/tasks/VTask.h"
#include "kernel/text/VString.h"

#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int kRecordsPerThread = 100000;

kova::VLogger* ProcessLogger()
{
    return kova::bench::EnsureProcess()->GetLogger();
}

// A fresh folder for each run, removed afterwards.
class StBenchFolder
{
public:
    StBenchFolder()
    {
        char pattern[] = "/tmp/kova-bench-XXXXXX";
        fPath = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
    }
    ~StBenchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    StBenchFolder(const StBenchFolder&) = delete;
    StBenchFolder& operator=(const StBenchFolder&) = delete;

    const std::string& GetPath() const { return fPath; }
    kova::VFolder Folder() const
    {
        std::string path = fPath + "/";
        return kova::VFolder(
            kova::VFilePath(kova::VString(path.data(), path.size(), kova::VTC_UTF_8), kova::FPS_POSIX));
    }
    // Lines in every file of the folder.
    int64_t CountLines() const
    {
        int64_t lines = 0;
        for (const auto& entry : std::filesystem::directory_iterator(fPath))
        {
            std::ifstream file(entry.path(), std::ios::binary);
            char buffer[1 << 16];
            while (file.read(buffer, sizeof buffer) || file.gcount() > 0)
            {
                for (std::streamsize i = 0; i < file.gcount(); ++i)
                    lines += buffer[i] == '\n' ? 1 : 0;
            }
        }
        return lines;
    }

private:
    std::string fPath;
};

// Records per second, and a run's lines and overwritten records.
void ReportRecords(benchmark::State& ioState, int64_t inLogged, int64_t inLines)
{
    ioState.SetItemsProcessed(inLogged);
    ioState.counters["lines"] = double(inLines) / double(ioState.iterations());
    ioState.counters["overwritten"] = double(inLogged - inLines) / double(ioState.iterations());
}

template <class LOG>
void RunThreads(int inThreads, LOG&& inLog)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < inThreads; ++t)
    {
        threads.emplace_back(
            [t, &inLog]
            {
                for (int i = 0; i < kRecordsPerThread; ++i)
                    inLog(t, i);
            });
    }
    for (std::thread& thread : threads)
        thread.join();
}

// The same message text on both sides: "record <thread>:<i>".
kova::VString KovaMessage(int inThread, int inIndex)
{
    kova::VString message;
    message.AppendCString("record ").AppendLong(inThread).AppendUniChar(u':').AppendLong(inIndex);
    return message;
}

// Ready messages for the call benchmarks, taken in turn.
constexpr int kReadyMessages = 1024;

void BM_LoggerToFile_Spdlog(benchmark::State& state)
{
    const int threads = int(state.range(0));
    int64_t lines = 0;
    int64_t logged = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        StBenchFolder folder;
        auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(folder.GetPath() + "/log_1.txt");
        auto logger = std::make_shared<spdlog::logger>("Bench", sink);
        // The writer's line: sequence, local time, [source], level, message with its extras.
        std::atomic<uint64_t> sequence{0};
        logger->set_pattern("%Y-%m-%dT%H:%M:%S.%e [%n] %^%l%$ - %v");
        state.ResumeTiming();
        RunThreads(threads, [&](int inThread, int inIndex)
                   { logger->info("{} record {}:{} ()", ++sequence, inThread, inIndex); });
        logger->flush();
        state.PauseTiming();
        lines += folder.CountLines();
        logged += int64_t(threads) * kRecordsPerThread;
        state.ResumeTiming();
    }
    ReportRecords(state, logged, lines);
}

void BM_LoggerToFile_Kova(benchmark::State& state)
{
    const int threads = int(state.range(0));
    kova::VLogger* logger = ProcessLogger();
    const kova::VString source("Bench");
    int64_t lines = 0;
    int64_t logged = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        StBenchFolder folder;
        kova::VMsgFileLogger writer(folder.Folder(), kova::VString("log"));
        writer.Start();
        state.ResumeTiming();
        RunThreads(threads, [&](int inThread, int inIndex)
                   { logger->LogMessage(kova::EML_Info, KovaMessage(inThread, inIndex), source); });
        // The clock stops at the last line written.
        logger->Flush();
        state.PauseTiming();
        writer.Stop();
        lines += folder.CountLines();
        logged += int64_t(threads) * kRecordsPerThread;
        state.ResumeTiming();
    }
    ReportRecords(state, logged, lines);
}

// Pairs, the peer first; repeated, so that the order does not pick the winner.
BENCHMARK(BM_LoggerToFile_Spdlog)
    ->Arg(1)
    ->Arg(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_LoggerToFile_Kova)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// One logging call with a ready message, as the caller sees it, the file being written meanwhile
// (by the calling thread for spdlog, by the logger's task for the toolbox).
void BM_LogCall_Spdlog(benchmark::State& state)
{
    StBenchFolder folder;
    auto logger = std::make_shared<spdlog::logger>(
        "Bench", std::make_shared<spdlog::sinks::basic_file_sink_mt>(folder.GetPath() + "/log_1.txt"));
    logger->set_pattern("%Y-%m-%dT%H:%M:%S.%e [%n] %^%l%$ - %v");
    std::vector<std::string> messages;
    for (int i = 0; i < kReadyMessages; ++i)
        messages.push_back(std::to_string(i + 1) + " record 0:" + std::to_string(i) + " ()");
    int i = 0;
    for (auto _ : state)
        logger->info(std::string_view(messages[size_t(++i % kReadyMessages)]));
    logger->flush();
    state.SetItemsProcessed(state.iterations());
}

void BM_LogCall_Kova(benchmark::State& state)
{
    kova::VLogger* logger = ProcessLogger();
    StBenchFolder folder;
    kova::VMsgFileLogger writer(folder.Folder(), kova::VString("log"));
    writer.Start();
    const kova::VString source("Bench");
    std::vector<kova::VString> messages;
    for (int i = 0; i < kReadyMessages; ++i)
        messages.push_back(KovaMessage(0, i));
    int i = 0;
    for (auto _ : state)
        logger->LogMessage(kova::EML_Info, messages[size_t(++i % kReadyMessages)], source);
    writer.Stop();
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_LogCall_Spdlog)->UseRealTime();
BENCHMARK(BM_LogCall_Kova)->UseRealTime();

} // namespace
