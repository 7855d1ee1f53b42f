// The updater against the standard tools, in the same run (in $KOVA_BENCH_DIR, else /tmp):
// - the swap (VUpdateEngine::_SwapApplications: the outdated bundle renamed aside, the up-to-date
//   bundle of 2,000 files and 300 MB copied whole into its place) beside rename(2) and cp -a of
//   the same tree; only the swap is timed, both bundles are put back between iterations;
// - the contents of that tree copied into a destination made on the way (RobustCopyFolderContent)
//   beside cp -a of the same contents;
// - the updater's start to its progress line for the caller (right after its first log line), a
//   whole update of a small bundle (no caller to wait for, a restart through open), beside a bare
//   main linked with the same libraries started to its first byte; the counter rss_kb is each
//   program's own peak resident size (the updater's over the whole update).
// Run pinned, with repetitions interleaved at random (the defaults of BenchMain); given two cores,
// the start-up pairs time on the first and run the children on the second:
//     taskset -c 2,3 kova_bench --benchmark_filter=Updater
#include "app/RobustCopy.h"
#include "app/VUpdateEngine.h"
#include "bench/BenchSetup.h"
#include "bench/ChildStart.h"
#include "kernel/files/VFolder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace
{

using kova::VFilePath;
using kova::VFolder;
using kova::VString;

const std::string& Folder()
{
    return kova::bench::ScratchFolder("kova-updater-bench");
}

VFilePath FolderPath(const std::string& inPosix)
{
    const std::string path = inPosix + "/";
    return VFilePath(VString(path.data(), path.size(), kova::VTC_UTF_8), kova::FPS_POSIX);
}

const std::string& UpToDateTree()
{
    static const std::string sPath = kova::bench::MakeBundleTree(Folder() + "/new/Big.app");
    return sPath;
}

// The outdated bundle at the install path, made again (untimed) before each swap; the swap's
// leftovers go.
template <class SWAP>
void TimeSwaps(benchmark::State& ioState, SWAP&& inSwap)
{
    kova::bench::EnsureToolbox();
    const std::string& upToDate = UpToDateTree();
    const std::string install = Folder() + "/apps/Big.app";
    const std::string old = Folder() + "/apps/Big_old0001.app";
    for (auto _ : ioState)
    {
        std::error_code ignored;
        std::filesystem::remove_all(Folder() + "/apps", ignored);
        std::filesystem::create_directories(install + "/Contents/MacOS");
        kova::bench::WriteFile(install + "/Contents/MacOS/Big", "#!/bin/sh\n", 10);
        sync();
        const auto start = std::chrono::steady_clock::now();
        if (!inSwap(install, old, upToDate))
            ioState.SkipWithError("the swap failed");
        const auto end = std::chrono::steady_clock::now();
        ioState.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    std::error_code ignored;
    std::filesystem::remove_all(Folder() + "/apps", ignored);
}

void BM_UpdaterSwap_Cp(benchmark::State& ioState)
{
    TimeSwaps(ioState,
              [](const std::string& inInstall, const std::string& inOld, const std::string& inUpToDate)
              {
                  return rename(inInstall.c_str(), inOld.c_str()) == 0 &&
                         kova::bench::RunTool({"cp", "-a", inUpToDate.c_str(), inInstall.c_str()});
              });
}
BENCHMARK(BM_UpdaterSwap_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_UpdaterSwap_Kova(benchmark::State& ioState)
{
    static kova::VUpdateEngine* sEngine = new kova::VUpdateEngine();
    TimeSwaps(ioState,
              [](const std::string& inInstall, const std::string&, const std::string& inUpToDate)
              {
                  sEngine->_SetPaths(FolderPath(inInstall), FolderPath(inUpToDate));
                  VFolder outdated(FolderPath(inInstall));
                  VFolder upToDate(FolderPath(inUpToDate));
                  VFolder install(FolderPath(inInstall));
                  VFolder* old = sEngine->_SwapApplications(outdated, upToDate, install);
                  if (old == nullptr)
                      return false;
                  old->Release();
                  return true;
              });
}
BENCHMARK(BM_UpdaterSwap_Kova)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// ---------------------------------------------------------------------------------------------
// Folder contents copied into a destination made on the way: RobustCopyFolderContent (sub-folders
// copied whole, so that modes and times are kept as cp -a keeps them) beside cp -a of the same
// tree's contents. The destination goes (untimed) before each copy.

template <class COPY>
void TimeContentCopies(benchmark::State& ioState, COPY&& inCopy)
{
    kova::bench::EnsureToolbox();
    const std::string& source = UpToDateTree();
    const std::string destination = Folder() + "/contents/deep/Copy.app";
    for (auto _ : ioState)
    {
        std::error_code ignored;
        std::filesystem::remove_all(Folder() + "/contents", ignored);
        sync();
        const auto start = std::chrono::steady_clock::now();
        if (!inCopy(source, destination))
            ioState.SkipWithError("the copy failed");
        const auto end = std::chrono::steady_clock::now();
        ioState.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    std::error_code ignored;
    std::filesystem::remove_all(Folder() + "/contents", ignored);
}

void BM_RobustCopy_Cp(benchmark::State& ioState)
{
    TimeContentCopies(ioState,
                      [](const std::string& inSource, const std::string& inDestination)
                      {
                          std::error_code error;
                          std::filesystem::create_directories(inDestination, error);
                          return !error && kova::bench::RunTool({"cp", "-a", (inSource + "/.").c_str(),
                                                                 inDestination.c_str()});
                      });
}
BENCHMARK(BM_RobustCopy_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RobustCopy_Kova(benchmark::State& ioState)
{
    TimeContentCopies(ioState,
                      [](const std::string& inSource, const std::string& inDestination)
                      {
                          return kova::RobustCopyFolderContent(
                              FolderPath(inSource), FolderPath(inDestination), kova::FCO_REPLACE_WHOLE);
                      });
}
BENCHMARK(BM_RobustCopy_Kova)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// ---------------------------------------------------------------------------------------------
// Start-up

void BM_UpdaterStart_Kova(benchmark::State& ioState)
{
    // The updater lies in the Updater.app of the build folder.
    const std::string updater = kova::bench::ChildPath("../Updater.app/Contents/MacOS/updater");
    const std::string root = Folder() + "/small";
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    const kova::bench::StChildCore cores;
    double peakTotal = 0;
    for (auto _ : ioState)
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        for (const char* bundle : {"/apps/Small.app", "/new/Small.app"})
        {
            std::filesystem::create_directories(root + bundle + "/Contents/MacOS");
            std::filesystem::copy_file("/bin/true", root + bundle + "/Contents/MacOS/Small");
        }
        // The progress line for the caller comes right after the first log line and the check that
        // both bundles exist: the log line's own time stamp is the logger's next flush (every
        // 100 ms, or the quit), which for a small update is its end.
        double seconds = 0;
        long peak = 0;
        if (!kova::bench::MeasureStart(updater,
                                       {updater, "--caller-log=1", "--log-dir=" + root + "/logs",
                                        root + "/apps/Small.app", root + "/new/Small.app"},
                                       true, cores.GetChildCPU(), seconds, peak))
        {
            ioState.SkipWithError("the update failed");
            return;
        }
        ioState.SetIterationTime(seconds);
        peakTotal += double(peak);
    }
    ioState.counters["rss_kb"] = benchmark::Counter(peakTotal, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_UpdaterStart_Kova)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_UpdaterStart_Bare(benchmark::State& ioState)
{
    kova::bench::SpawnAndMeasure(ioState, "kova_bench_bare_child");
}
BENCHMARK(BM_UpdaterStart_Bare)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
