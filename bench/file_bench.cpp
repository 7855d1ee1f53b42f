// Files against the standard tools, on the same files in the same run (in $KOVA_BENCH_DIR, else
// /tmp; made once and removed at exit):
// - VFile::CopyTo of a 1 GiB file beside cp (coreutils) copying it on the same file system; only
//   the copy is timed, the copy is removed between iterations;
// - VFile::GetContent of 4 KiB, 1 MiB and 256 MiB files into a new buffer beside std::ifstream
//   reading the file into a std::string sized first;
// - IFile::GetContentAsString of UTF-8 text of the same sizes beside std::ifstream and ICU's
//   u_strFromUTF8 into a std::u16string.
// Every peer is registered before its kova figure. Run with repetitions and random interleaving
// so that neither order nor a noisy neighbour picks the winner:
//     taskset -c 2 kova_bench --benchmark_filter=File --benchmark_repetitions=5
//         --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// (one command line).
#include "bench/BenchSetup.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/VMemoryBuffer.h"
#include "kernel/values/VRefPtr.h"

#include <benchmark/benchmark.h>

#include <unicode/ustring.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using kova::VFile;
using kova::VFilePath;
using kova::VString;

constexpr int64_t kCopySize = int64_t(1) << 30;

const std::string& Folder()
{
    return kova::bench::ScratchFolder("kova-file-bench");
}

// A file of that size made once: bytes of every value, or UTF-8 text with a letter in five
// beyond ASCII.
const std::string& SampleFile(int64_t inSize, bool inText)
{
    static std::map<std::pair<int64_t, bool>, std::string> sFiles;
    std::string& path = sFiles[{inSize, inText}];
    if (path.empty())
    {
        path = Folder() + (inText ? "/text-" : "/data-") + std::to_string(inSize);
        std::string block;
        const std::string piece =
            inText ? "Mise \xC3\xA0 jour r\xC3\xA9ussie, \xE6\x9B\xB4\xE6\x96\xB0 ok.\n" : "";
        while (block.size() < (size_t(1) << 20))
            block += inText ? piece : std::string(1, char(block.size() * 131));
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        for (int64_t written = 0; written < inSize;)
        {
            const int64_t count = std::min<int64_t>(inSize - written, int64_t(block.size()));
            stream.write(block.data(), count);
            written += count;
        }
    }
    return path;
}

VString ToolboxPath(const std::string& inPosix)
{
    return VString(inPosix.data(), inPosix.size(), kova::VTC_UTF_8);
}

void CopySetup(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    SampleFile(kCopySize, false);
    ioState.SetBytesProcessed(0);
}

template <class COPY>
void TimeCopies(benchmark::State& ioState, COPY&& inCopy)
{
    const std::string destination = Folder() + "/copy";
    for (auto _ : ioState)
    {
        unlink(destination.c_str());
        const auto start = std::chrono::steady_clock::now();
        if (!inCopy(destination))
            ioState.SkipWithError("copy failed");
        const auto end = std::chrono::steady_clock::now();
        ioState.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    unlink(destination.c_str());
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * kCopySize);
}

void BM_FileCopy_Cp(benchmark::State& ioState)
{
    CopySetup(ioState);
    const std::string source = SampleFile(kCopySize, false);
    TimeCopies(ioState,
               [&source](const std::string& inDestination) {
                   return kova::bench::RunTool({"cp", source.c_str(), inDestination.c_str()});
               });
}
BENCHMARK(BM_FileCopy_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FileCopy_Kova(benchmark::State& ioState)
{
    CopySetup(ioState);
    const kova::VRefPtr<VFile> source(new VFile(ToolboxPath(SampleFile(kCopySize, false)), kova::FPS_POSIX));
    TimeCopies(ioState,
               [&source](const std::string& inDestination)
               {
                   const VFilePath destination(ToolboxPath(inDestination), kova::FPS_POSIX);
                   return source->CopyTo(destination, nullptr, 0) == kova::VE_OK;
               });
}
BENCHMARK(BM_FileCopy_Kova)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void ReadSizes(benchmark::internal::Benchmark* ioBenchmark)
{
    ioBenchmark->ArgName("bytes")->Arg(4 << 10)->Arg(1 << 20)->Arg(256 << 20);
}

void BM_FileGetContent_Ifstream(benchmark::State& ioState)
{
    const std::string& path = SampleFile(ioState.range(0), false);
    for (auto _ : ioState)
    {
        std::ifstream stream(path, std::ios::binary);
        stream.seekg(0, std::ios::end);
        std::string content(size_t(stream.tellg()), '\0');
        stream.seekg(0);
        stream.read(content.data(), std::streamsize(content.size()));
        benchmark::DoNotOptimize(content.data());
    }
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_FileGetContent_Ifstream)->Apply(ReadSizes);

void BM_FileGetContent_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const kova::VRefPtr<VFile> file(
        new VFile(ToolboxPath(SampleFile(ioState.range(0), false)), kova::FPS_POSIX));
    for (auto _ : ioState)
    {
        kova::VMemoryBuffer<1024ul, 2ul, 1048576ul> content;
        if (file->GetContent(content) != kova::VE_OK)
            ioState.SkipWithError("read failed");
        benchmark::DoNotOptimize(content.GetDataPtr());
    }
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_FileGetContent_Kova)->Apply(ReadSizes);

void BM_FileGetContentAsString_IfstreamICU(benchmark::State& ioState)
{
    const std::string& path = SampleFile(ioState.range(0), true);
    for (auto _ : ioState)
    {
        std::ifstream stream(path, std::ios::binary);
        stream.seekg(0, std::ios::end);
        std::string bytes(size_t(stream.tellg()), '\0');
        stream.seekg(0);
        stream.read(bytes.data(), std::streamsize(bytes.size()));
        std::u16string text(bytes.size(), u'\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(text.data(), int32_t(text.size()), &length, bytes.data(), int32_t(bytes.size()),
                      &error);
        text.resize(size_t(length));
        benchmark::DoNotOptimize(text.data());
    }
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_FileGetContentAsString_IfstreamICU)->Apply(ReadSizes);

void BM_FileGetContentAsString_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const kova::VRefPtr<VFile> file(
        new VFile(ToolboxPath(SampleFile(ioState.range(0), true)), kova::FPS_POSIX));
    for (auto _ : ioState)
    {
        VString text;
        if (file->GetContentAsString(text, kova::VTC_UTF_8, kova::eCRM_NONE) != kova::VE_OK)
            ioState.SkipWithError("read failed");
        benchmark::DoNotOptimize(text.GetCPointer());
    }
    ioState.SetBytesProcessed(int64_t(ioState.iterations()) * ioState.range(0));
}
BENCHMARK(BM_FileGetContentAsString_Kova)->Apply(ReadSizes);

} // namespace
