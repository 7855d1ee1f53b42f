// Starting a program as a benchmark's iteration: the time until the child writes its first byte
// to the descriptor named by its first argument, and its peak resident size.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kova::bench
{

// The children are built beside the benchmark program.
inline std::string ChildPath(const char* inName)
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return inName;
    std::string path(self, size_t(length));
    return path.substr(0, path.rfind('/') + 1) + inName;
}

inline void SpawnAndMeasure(benchmark::State& ioState, const char* inChild)
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

} // namespace kova::bench
