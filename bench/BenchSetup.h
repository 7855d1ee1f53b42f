// Brings up what the toolbox needs before a benchmark measures it (the memory manager first,
// as the entry point does), and the helpers of the benchmarks that work on files: a scratch folder
// and the standard tools as peers.
#pragma once

#include "kernel/tasks/VProcess.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstdlib>
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

} // namespace kova::bench
