// Folders against the standard tools, on the same trees in the same run (in $KOVA_BENCH_DIR, else
// /tmp; made once and removed at exit):
// - VFolder::CopyTo with option 4 (a whole copy made aside and put in place) of a bundle-like tree
//   of 2,000 files and 300 MB (nested folders, links, executable bits, hidden files) beside
//   cp -a; only the copy is timed, the copy is removed between iterations;
// - VFolder::Iterate with options 1, 2 and 4 (every file and folder, recursively, each handed to
//   the function as a toolbox object) over 100,000 entries beside
//   std::filesystem::recursive_directory_iterator counting them;
// - VFolder::MoveToTrash of a one-file bundle and of the 2,000-file tree beside mv into the
//   trash's folder on the same file system (the home trash, $XDG_DATA_HOME set to the scratch
//   folder); each item is put back, untimed, after each iteration.
// Run pinned, with repetitions interleaved at random (the defaults of BenchMain):
//     taskset -c 2 kova_bench --benchmark_filter=Folder
#include "bench/BenchSetup.h"
#include "kernel/files/IFileAttributeAccessor.h"
#include "kernel/files/VFSObjectIterator.h"
#include "kernel/files/VFolder.h"
#include "kernel/text/VString.h"
#include "kernel/values/VRefPtr.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using kova::VFolder;
using kova::VRefPtr;
using kova::VString;

const std::string& Folder()
{
    return kova::bench::ScratchFolder("kova-folder-bench");
}

VRefPtr<VFolder> ToolboxFolder(const std::string& inPosix)
{
    const std::string path = inPosix.back() == '/' ? inPosix : inPosix + "/";
    return VRefPtr<VFolder>(new VFolder(VString(path.data(), path.size(), kova::VTC_UTF_8), kova::FPS_POSIX));
}

using kova::bench::WriteFile;

const std::string& BundleTree()
{
    static const std::string sPath = kova::bench::MakeBundleTree(Folder() + "/Big.app");
    return sPath;
}

// 10 folders of 100 folders of 99 empty files: 100,010 entries.
const std::string& WideTree()
{
    static const std::string sPath = []
    {
        const std::string root = Folder() + "/wide";
        for (int top = 0; top < 10; ++top)
        {
            for (int sub = 0; sub < 100; ++sub)
            {
                const std::string folder = root + "/t" + std::to_string(top) + "/s" + std::to_string(sub);
                std::filesystem::create_directories(folder);
                for (int item = 0; item < 99; ++item)
                    close(open((folder + "/f" + std::to_string(item)).c_str(), O_WRONLY | O_CREAT, 0644));
            }
        }
        return root;
    }();
    return sPath;
}

template <class ACTION>
void TimeManually(benchmark::State& ioState, ACTION&& inAction)
{
    const auto start = std::chrono::steady_clock::now();
    if (!inAction())
        ioState.SkipWithError("the operation failed");
    const auto end = std::chrono::steady_clock::now();
    ioState.SetIterationTime(std::chrono::duration<double>(end - start).count());
}

// ---------------------------------------------------------------------------------------------
// Whole copies

template <class COPY>
void TimeCopies(benchmark::State& ioState, COPY&& inCopy)
{
    kova::bench::EnsureToolbox();
    const std::string& source = BundleTree();
    const std::string destination = Folder() + "/Copy.app";
    for (auto _ : ioState)
    {
        std::error_code ignored;
        std::filesystem::remove_all(destination, ignored);
        sync();
        TimeManually(ioState, [&] { return inCopy(source, destination); });
    }
    std::error_code ignored;
    std::filesystem::remove_all(destination, ignored);
}

void BM_FolderCopy_Cp(benchmark::State& ioState)
{
    TimeCopies(ioState,
               [](const std::string& inSource, const std::string& inDestination) {
                   return kova::bench::RunTool({"cp", "-a", inSource.c_str(), inDestination.c_str()});
               });
}
BENCHMARK(BM_FolderCopy_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_FolderCopy_Kova(benchmark::State& ioState)
{
    TimeCopies(ioState,
               [](const std::string& inSource, const std::string&)
               {
                   const VRefPtr<VFolder> source = ToolboxFolder(inSource);
                   const VRefPtr<VFolder> parent = ToolboxFolder(Folder());
                   return source->CopyTo(*parent, VString("Copy.app"), nullptr, kova::FCO_REPLACE_WHOLE) ==
                          kova::VE_OK;
               });
}
BENCHMARK(BM_FolderCopy_Kova)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// ---------------------------------------------------------------------------------------------
// Walks

void BM_FolderIterate_Std(benchmark::State& ioState)
{
    const std::string& root = WideTree();
    size_t count = 0;
    for (auto _ : ioState)
    {
        count = 0;
        for (auto entry = std::filesystem::recursive_directory_iterator(root);
             entry != std::filesystem::recursive_directory_iterator(); ++entry)
            ++count;
        benchmark::DoNotOptimize(count);
    }
    ioState.counters["entries"] = double(count);
}
BENCHMARK(BM_FolderIterate_Std)->Unit(benchmark::kMillisecond);

void BM_FolderIterate_Kova(benchmark::State& ioState)
{
    kova::bench::EnsureToolbox();
    const VRefPtr<VFolder> root = ToolboxFolder(WideTree());
    size_t count = 0;
    for (auto _ : ioState)
    {
        count = 0;
        root->Iterate(
            [&count](kova::IFileAttributeAccessor*)
            {
                ++count;
                return true;
            },
            kova::FI_ITERATE_RECURSIVELY | kova::FI_WANT_FOLDERS | kova::FI_WANT_FILES);
        benchmark::DoNotOptimize(count);
    }
    ioState.counters["entries"] = double(count);
}
BENCHMARK(BM_FolderIterate_Kova)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// The trash

const std::string& TrashFiles()
{
    static const std::string sPath = []
    {
        setenv("XDG_DATA_HOME", (Folder() + "/data").c_str(), 1);
        std::filesystem::create_directories(Folder() + "/data/Trash/files");
        std::filesystem::create_directories(Folder() + "/data/Trash/info");
        return Folder() + "/data/Trash/files";
    }();
    return sPath;
}

const std::string& SmallBundle()
{
    static const std::string sPath = []
    {
        const std::string root = Folder() + "/Small.app";
        std::filesystem::create_directories(root + "/Contents/MacOS");
        WriteFile(root + "/Contents/MacOS/Small", "#!/bin/sh\n", 10);
        return root;
    }();
    return sPath;
}

// Trashes the bundle each iteration and puts it back, untimed.
template <class TRASH>
void TimeTrash(benchmark::State& ioState, const std::string& inBundle, TRASH&& inTrash)
{
    kova::bench::EnsureToolbox();
    const std::string name = inBundle.substr(inBundle.rfind('/') + 1);
    const std::string trashed = TrashFiles() + "/" + name;
    const std::string info = Folder() + "/data/Trash/info/" + name + ".trashinfo";
    for (auto _ : ioState)
    {
        TimeManually(ioState, [&] { return inTrash(inBundle); });
        if (rename(trashed.c_str(), inBundle.c_str()) != 0)
            ioState.SkipWithError("the bundle is not in the trash");
        unlink(info.c_str());
    }
}

bool TrashWithMv(const std::string& inBundle)
{
    return kova::bench::RunTool({"mv", inBundle.c_str(), (TrashFiles() + "/").c_str()});
}

bool TrashWithKova(const std::string& inBundle)
{
    return ToolboxFolder(inBundle)->MoveToTrash() == kova::VE_OK;
}

void BM_FolderTrashSmall_Mv(benchmark::State& ioState)
{
    TimeTrash(ioState, SmallBundle(), TrashWithMv);
}
BENCHMARK(BM_FolderTrashSmall_Mv)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_FolderTrashSmall_Kova(benchmark::State& ioState)
{
    TimeTrash(ioState, SmallBundle(), TrashWithKova);
}
BENCHMARK(BM_FolderTrashSmall_Kova)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_FolderTrashTree_Mv(benchmark::State& ioState)
{
    TimeTrash(ioState, BundleTree(), TrashWithMv);
}
BENCHMARK(BM_FolderTrashTree_Mv)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_FolderTrashTree_Kova(benchmark::State& ioState)
{
    TimeTrash(ioState, BundleTree(), TrashWithKova);
}
BENCHMARK(BM_FolderTrashTree_Kova)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
