// The benchmarks' main. Every benchmark is named BM_<Pair>_<Side>: the sides of one pair do the same
// work per iteration, one side being the toolbox ("Kova") and the others its peers. Unless the
// command line says otherwise, each benchmark runs 5 times with the repetitions of all benchmarks
// interleaved at random, so that the order of a pair does not pick its winner, and only the
// aggregates are printed. At the end each pair's ratio is printed: the toolbox's median time over
// each peer's (CPU time, or real time for the benchmarks measured in real or manual time).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    // In colour on a terminal only, so that the output can be searched when it goes to a file.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& inRuns) override
    {
        ConsoleReporter::ReportRuns(inRuns);
        for (const Run& run : inRuns)
        {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            const std::string& function = run.run_name.function_name;
            const size_t split = function.rfind('_');
            if (split == std::string::npos || split < 3)
                continue;
            std::string pair = function.substr(3, split - 3);
            for (const std::string* part : {&run.run_name.args, &run.run_name.threads})
            {
                if (!part->empty())
                    pair += "/" + *part;
            }
            // Manual time is the time of the work itself: a peer that runs a tool spends its CPU
            // time in another process.
            const bool realTime = run.run_name.time_type.find("real") != std::string::npos ||
                                  run.run_name.time_type.find("manual") != std::string::npos;
            const double time = realTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            fMedians[pair][function.substr(split + 1)] =
                time / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-44s %-12s %12s %12s %8s\n", "Pair", "Peer", "Kova (ns)", "Peer (ns)", "Ratio");
        for (const auto& [pair, sides] : fMedians)
        {
            auto kova = sides.find("Kova");
            if (kova == sides.end())
                continue;
            for (const auto& [side, time] : sides)
            {
                if (side != "Kova" && time > 0)
                    std::printf("%-44s %-12s %12.1f %12.1f %8.2f\n", pair.c_str(), side.c_str(),
                                kova->second * 1e9, time * 1e9, kova->second / time);
            }
        }
    }

private:
    // Pair, then side, to the median time in seconds.
    std::map<std::string, std::map<std::string, double>> fMedians;
};

} // namespace

int main(int argc, char** argv)
{
    // The C library adapts to what the process did so far: it moves its threshold for serving a
    // block by mmap up to the largest mapped block freed, and gives the top of its heap back to
    // the system past a trim threshold that moves with it. A benchmark would then measure what
    // ran before it (a string grown to 640 KB was remapped in a run of its own and moved in the
    // heap after other benchmarks) or where its blocks lie (a batch freed at the top of a near
    // empty heap is given back and faulted in again at every iteration). Both are fixed: blocks
    // of 128 KiB and more are mapped, as in a new process, and the heap keeps what it was given,
    // as in one that has run a while. bench/remeasure also runs each pair in a process of its own,
    // so that no other benchmark leaves room in the heap for a large block.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // The toolbox runs among other threads (tasks, the logger): so does every benchmark, so that
    // no side takes a single-thread shortcut (the C library skips its locks until a second thread
    // starts) that the updater never sees, and the multi-thread benchmarks change nothing after
    // them.
    std::thread([] {}).join();
    // The defaults come first: flags given on the command line override them.
    std::vector<char*> arguments{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true",
                              "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.2"};
    for (std::string& flag : defaults)
        arguments.push_back(flag.data());
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
