// Brings up what the toolbox needs before a benchmark measures it (the memory manager first,
// as the entry point does), and gives benchmarks a folder of their own for their files.
#pragma once

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kova::bench
{

inline void EnsureToolbox()
{
    if (VObject::sCppMemMgr == nullptr)
        VObject::sCppMemMgr = new VCppMemMgr(VCppMemMgr::eAllocatorStdLib);
}

// A new folder "<name>-XXXXXX" in $KOVA_BENCH_DIR, else /tmp, removed with everything in it at
// exit.
inline std::string MakeBenchFolder(const char* inName)
{
    // Never destroyed, so that the list outlives the exit handler that needs it.
    static std::vector<std::string>* sFolders = []
    {
        std::atexit(
            []
            {
                std::error_code ignored;
                for (const std::string& folder : *sFolders)
                    std::filesystem::remove_all(folder, ignored);
            });
        return new std::vector<std::string>;
    }();
    const char* base = std::getenv("KOVA_BENCH_DIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/" + inName + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    sFolders->push_back(pattern);
    return pattern;
}

} // namespace kova::bench
