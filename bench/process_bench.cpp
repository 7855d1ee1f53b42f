// Start-up of a minimal process-object program (Run with the flags 0x50 and an empty run
// operation) against a bare main linked with the same libraries: each iteration spawns the
// program, measures the time until it reports reaching its run operation (the bare main: its
// first line), and waits for its end. The counter rss_kb is the child's peak resident size
// (ru_maxrss), the average of the iterations.
#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

// The children are built beside the benchmark program.
std::string ChildPath(const char* inName)
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return inName;
    std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/') + 1) + inName;
}

void SpawnAndMeasure(benchmark::State& ioState, const char* inChild)
{
    const std::string path = ChildPath(inChild);
    double rssTotal = 0;
    for (auto _ : ioState)
    {
        int reached[2];
        if (pipe(reached) != 0)
        {
            ioState.SkipWithError("pipe");
            return;
        }
        const std::string descriptor = std::to_string(reached[1]);
        char* arguments[] = {const_cast<char*>(path.c_str()), const_cast<char*>(descriptor.c_str()), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        const int spawned = posix_spawn(&child, path.c_str(), nullptr, nullptr, arguments, environ);
        close(reached[1]);
        char byte = 0;
        const bool told = spawned == 0 && read(reached[0], &byte, 1) == 1;
        const auto end = std::chrono::steady_clock::now();
        close(reached[0]);
        int status = 0;
        rusage usage{};
        if (spawned == 0)
            wait4(child, &status, 0, &usage);
        if (!told || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        {
            ioState.SkipWithError("the child did not run to its end");
            return;
        }
        ioState.SetIterationTime(std::chrono::duration<double>(end - start).count());
        rssTotal += double(usage.ru_maxrss);
    }
    ioState.counters["rss_kb"] = benchmark::Counter(rssTotal, benchmark::Counter::kAvgIterations);
}

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
