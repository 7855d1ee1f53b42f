// The type manager's loading of declarations against the XML library's own parse of the same
// property lists, made once in $KOVA_BENCH_DIR, else /tmp, and removed at exit. The declarations
// are those of bundles of 40 types (and the two public types each bundle declares again), linked
// within a bundle, to the next bundle and to the public types:
// - UTILoad/N: one property list of N bundles (50: 2,100 declarations; 200: 8,400) read by
//   LoadXMLFile into a new manager, beside Xerces-C's SAX2 parse of the file with an empty handler;
// - UTILoadBundles/N: N property lists of one bundle each, loaded in turn into one new manager,
//   beside the SAX2 parse of the N files.
// Loading in proportion to what it adds keeps each ratio the same at both sizes. The process object
// is up, so that every type is registered as a file kind, as in the updater; the manager is
// released outside the timed part.
// Run pinned, with repetitions interleaved at random (BenchMain's defaults):
//     taskset -c 2 kova_bench --benchmark_filter=UTILoad
#include "bench/BenchSetup.h"
#include "bench/XercesSAX2.h"
#include "kernel/files/VFile.h"
#include "kernel/files/VFilePath.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"
#include "xml/UTIDeclarations_test.h"
#include "xml/VUTIManager.h"
#include "xml/VXMLParser.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace
{

using kova::VFile;
using kova::VRefPtr;
using kova::VString;
using kova::VUTIManager;

constexpr int kTypesPerBundle = 40;

// The files of one figure: one of inBundles bundles, or one for each of inBundles bundles.
const std::vector<std::string>& Files(int inBundles, bool inOneFileEach)
{
    static std::map<std::pair<int, bool>, std::vector<std::string>> sFiles;
    std::vector<std::string>& files = sFiles[{inBundles, inOneFileEach}];
    if (!files.empty())
        return files;
    const std::string& folder = kova::bench::ScratchFolder("kova-uti-bench");
    const int fileCount = inOneFileEach ? inBundles : 1;
    const int bundlesPerFile = inOneFileEach ? 1 : inBundles;
    for (int file = 0; file < fileCount; ++file)
    {
        const std::string path = folder + "/" + (inOneFileEach ? "bundle-" : "all-") +
                                 std::to_string(inBundles) + "-" + std::to_string(file) + ".plist";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << kova::testing_uti::PropertyList(
            kova::testing_uti::BundleDeclarations(file * bundlesPerFile, bundlesPerFile, kTypesPerBundle));
        files.push_back(path);
    }
    return files;
}

bool SetUp(benchmark::State& ioState)
{
    kova::bench::EnsureProcess();
    static const bool sUp = kova::VXMLParser::Init(); // held for the whole run, as its users do
    if (!sUp)
        ioState.SkipWithError("the XML library did not start");
    return sUp;
}

void ParseWithXerces(benchmark::State& ioState, const std::vector<std::string>& inFiles)
{
    std::vector<std::u16string> paths;
    for (const std::string& file : inFiles)
        paths.emplace_back(file.begin(), file.end());
    xercesc::DefaultHandler handler;
    for (auto _ : ioState)
    {
        for (const std::u16string& path : paths)
        {
            if (!kova::bench::ParseWithXercesSAX2(path, handler))
                ioState.SkipWithError("parse failed");
        }
    }
}

void LoadWithKova(benchmark::State& ioState, const std::vector<std::string>& inFiles)
{
    std::vector<VRefPtr<VFile>> files;
    for (const std::string& file : inFiles)
        files.emplace_back(new VFile(VString(file.data(), file.size(), kova::VTC_UTF_8), kova::FPS_POSIX));
    for (auto _ : ioState)
    {
        VRefPtr<VUTIManager> manager(new VUTIManager());
        for (const VRefPtr<VFile>& file : files)
        {
            if (!manager->LoadXMLFile(file.Get()))
                ioState.SkipWithError("load failed");
        }
        if (manager->GetUTIsCount() != 2 + size_t(ioState.range(0)) * kTypesPerBundle)
            ioState.SkipWithError("types missing");
        ioState.PauseTiming();
        manager = nullptr;
        ioState.ResumeTiming();
    }
}

void BM_UTILoad_Xerces(benchmark::State& ioState)
{
    if (SetUp(ioState))
        ParseWithXerces(ioState, Files(int(ioState.range(0)), false));
}
BENCHMARK(BM_UTILoad_Xerces)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_UTILoad_Kova(benchmark::State& ioState)
{
    if (SetUp(ioState))
        LoadWithKova(ioState, Files(int(ioState.range(0)), false));
}
BENCHMARK(BM_UTILoad_Kova)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_UTILoadBundles_Xerces(benchmark::State& ioState)
{
    if (SetUp(ioState))
        ParseWithXerces(ioState, Files(int(ioState.range(0)), true));
}
BENCHMARK(BM_UTILoadBundles_Xerces)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_UTILoadBundles_Kova(benchmark::State& ioState)
{
    if (SetUp(ioState))
        LoadWithKova(ioState, Files(int(ioState.range(0)), true));
}
BENCHMARK(BM_UTILoadBundles_Kova)->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace
