// Brings up what the toolbox needs before a benchmark measures it (the memory manager first,
// as the entry point does), and the helpers of the benchmarks that work on files: a scratch folder
// and the standard tools as peers.
#pragma once

#include "kernel/tasks/VProcess.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstdlib>
#include <unistd.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kova::bench
{

inline void EnsureToolbox()
{
    if (VObject::sCppMemMgr == nullptr)
        VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorStdLib);
}

// The process object of the benchmarks ("Bench" names it in log lines), brought up once with a
// logger: the toolbox comes up once per program, for all the benchmarks that need it.
class VBenchProcess : public VProcess
{
public:
    VBenchProcess() { fProductName = VString("Bench"); }
};

inline VProcess* EnsureProcess()
{
    static VProcess* sProcess = []
    {
        EnsureToolbox();
        VProcess* process = new VBenchProcess;
        process->Init(VProcess::kInitLogger);
        return process;
    }();
    return sProcess;
}

// A folder of the benchmark's own files in $KOVA_BENCH_DIR (else /tmp), made once per name and
// removed with everything in it at exit.
inline const std::string& ScratchFolder(const std::string& inName)
{
    // Never destroyed, so that it outlives the exit handler that needs it.
    static auto* sFolders = new std::map<std::string, std::string>;
    std::string& folder = (*sFolders)[inName];
    if (folder.empty())
    {
        const char* base = std::getenv("KOVA_BENCH_DIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/" + inName + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        if (sFolders->size() == 1)
            std::atexit(
                []
                {
                    std::error_code ignored;
                    for (const auto& [name, path] : *sFolders)
                        std::filesystem::remove_all(path, ignored);
                });
        folder = pattern;
    }
    return folder;
}

// Runs a standard tool found on the PATH and waits for it; true when it exits with 0.
inline bool RunTool(std::initializer_list<const char*> inArguments)
{
    std::vector<char*> arguments;
    for (const char* argument : inArguments)
        arguments.push_back(const_cast<char*>(argument));
    arguments.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    return posix_spawnp(&child, arguments[0], nullptr, nullptr, arguments.data(), environ) == 0 &&
           waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline void WriteFile(const std::string& inPath, const std::string& inBlock, size_t inSize)
{
    const int fd = open(inPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        std::abort();
    for (size_t written = 0; written < inSize;)
    {
        const size_t count = std::min(inSize - written, inBlock.size());
        if (write(fd, inBlock.data(), count) != ssize_t(count))
            std::abort();
        written += count;
    }
    close(fd);
}

// A bundle-like tree at the root: 20 modules of 5 parts of 20 files (1,990 of 100 KB and 10 of
// 10 MB, one in ten executable, one hidden in each part), two links in each module. Returns the root.
inline std::string MakeBundleTree(const std::string& inRoot)
{
    std::string block(size_t(1) << 20, 0);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = char((i * 2654435761u) >> 13);
    int file = 0;
    std::filesystem::create_directories(inRoot + "/Contents/MacOS");
    for (int module = 0; module < 20; ++module)
    {
        char name[64];
        std::snprintf(name, sizeof(name), "/Contents/Module%02d", module);
        const std::string moduleFolder = inRoot + name;
        for (int part = 0; part < 5; ++part)
        {
            const std::string partFolder = moduleFolder + "/Part" + std::to_string(part);
            std::filesystem::create_directories(partFolder);
            for (int item = 0; item < 20; ++item, ++file)
            {
                const std::string path =
                    partFolder + (item == 0 ? "/.hidden" : "/file" + std::to_string(item) + ".dat");
                WriteFile(path, block, file % 199 == 0 ? size_t(10) << 20 : size_t(100) << 10);
                if (file % 10 == 0)
                    chmod(path.c_str(), 0755);
            }
        }
        symlink("Part0/file1.dat", (moduleFolder + "/current").c_str());
        symlink("../MacOS", (moduleFolder + "/binaries").c_str());
    }
    return inRoot;
}

} // namespace kova::bench
