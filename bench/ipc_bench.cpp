// Child processes and command lines against the C library, in the same run:
// - SpawnTrue: one /bin/true a iteration through VProcessLauncher::ExecuteCommandLine, its output
//   and error collected (pipes, the reads to their end, the reaping), beside posix_spawn and
//   waitpid of the same program; 1,000 children a repetition, real time (the work is the child's
//   and the kernel's, not the caller's CPU);
// - ParseArguments: VCommandLineParser::Parse of 1,000 to 64,000 arguments (long options with
//   values, flags, positional arguments) into variables, beside glibc's getopt_long over the same
//   argument vector, the positional arguments collected in order ("-" mode, no reordering); the
//   complexity fit shows whether parsing stays linear.
//     taskset -c 2 kova_bench --benchmark_filter='SpawnTrue|ParseArguments'
#include "bench/BenchSetup.h"
#include "kernel/ipc/VCommandLineParser.h"
#include "kernel/ipc/VProcessLauncher.h"
#include "kernel/text/VString.h"
#include "kernel/values/VMemoryBuffer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <getopt.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace
{

using kova::VCommandLineParser;
using kova::VProcessLauncher;
using kova::VString;

constexpr int64_t kChildren = 1000;

void BM_SpawnTrue_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const VString commandLine("/bin/true");
    for (auto _ : ioState)
    {
        kova::VMemoryBuffer<> output;
        kova::VMemoryBuffer<> error;
        int32_t status = -1;
        if (VProcessLauncher::ExecuteCommandLine(commandLine, 0, nullptr, &output, &error, nullptr, nullptr,
                                                 &status) != 0 ||
            status != 0)
            ioState.SkipWithError("the child failed");
    }
}
BENCHMARK(BM_SpawnTrue_Kova)->Iterations(kChildren)->UseRealTime();

void BM_SpawnTrue_Posix(benchmark::State& ioState)
{
    char program[] = "/bin/true";
    char* arguments[] = {program, nullptr};
    for (auto _ : ioState)
    {
        pid_t child = 0;
        int status = 0;
        if (posix_spawn(&child, program, nullptr, nullptr, arguments, environ) != 0 ||
            waitpid(child, &status, 0) != child || status != 0)
            ioState.SkipWithError("the child failed");
    }
}
BENCHMARK(BM_SpawnTrue_Posix)->Iterations(kChildren)->UseRealTime();

// A command line of about that many arguments, in groups of five: "--pid=42", "--silent",
// "--log-dir", "/tmp/logs" and a positional path.
std::vector<std::string> CommandLine(int64_t inCount)
{
    std::vector<std::string> arguments{"updater"};
    for (int64_t i = 0; int64_t(arguments.size()) < inCount; ++i)
    {
        arguments.push_back("--pid=" + std::to_string(40 + i % 10));
        arguments.push_back("--silent");
        arguments.push_back("--log-dir");
        arguments.push_back("/tmp/logs");
        arguments.push_back("/Applications/App" + std::to_string(i) + ".app");
    }
    return arguments;
}

void BM_ParseArguments_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    std::vector<VString> arguments;
    for (const std::string& argument : CommandLine(ioState.range(0)))
        arguments.emplace_back(argument.data(), argument.size(), kova::VTC_UTF_8);
    for (auto _ : ioState)
    {
        int pid = -1;
        bool silent = false;
        VString logFolder;
        std::vector<VString> paths;
        VCommandLineParser parser(arguments);
        parser.AddOption(0, VString("pid"), VString(), &pid);
        parser.AddFlag(0, VString("silent"), VString(), &silent);
        parser.AddOption(0, VString("log-dir"), VString(), &logFolder);
        parser.SetPositionalSink(&paths);
        if (parser.Parse() != 0)
            ioState.SkipWithError("the command line was refused");
        benchmark::DoNotOptimize(paths.data());
    }
    ioState.SetComplexityN(ioState.range(0));
}
BENCHMARK(BM_ParseArguments_Kova)->RangeMultiplier(8)->Range(1000, 64000)->Complexity(benchmark::oN);

void BM_ParseArguments_Getopt(benchmark::State& ioState)
{
    std::vector<std::string> texts = CommandLine(ioState.range(0));
    std::vector<char*> arguments;
    for (std::string& text : texts)
        arguments.push_back(text.data());
    arguments.push_back(nullptr);
    const option options[] = {{"pid", required_argument, nullptr, 'p'},
                              {"silent", no_argument, nullptr, 's'},
                              {"log-dir", required_argument, nullptr, 'l'},
                              {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (auto _ : ioState)
    {
        int pid = -1;
        bool silent = false;
        std::string logFolder;
        std::vector<const char*> paths;
        optind = 0;
        int found;
        while ((found = getopt_long(int(arguments.size() - 1), arguments.data(), "-", options, nullptr)) !=
               -1)
        {
            switch (found)
            {
            case 'p':
                pid = int(std::strtol(optarg, nullptr, 0));
                break;
            case 's':
                silent = true;
                break;
            case 'l':
                logFolder = optarg;
                break;
            case 1:
                paths.emplace_back(optarg);
                break;
            default:
                ioState.SkipWithError("the command line was refused");
            }
        }
        benchmark::DoNotOptimize(paths.data());
        benchmark::DoNotOptimize(pid + silent);
    }
    ioState.SetComplexityN(ioState.range(0));
}
BENCHMARK(BM_ParseArguments_Getopt)->RangeMultiplier(8)->Range(1000, 64000)->Complexity(benchmark::oN);

} // namespace
