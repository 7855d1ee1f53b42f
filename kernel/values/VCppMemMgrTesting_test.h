// Helpers for tests that need a memory manager of their own beside the process's one.
#pragma once

#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <gtest/gtest.h>

#include <memory>

namespace kova::testing_support
{

constexpr size_t kTenMiB = 10485760;

struct ManagerDeleter
{
    void operator()(VCppMemMgr* manager) const { delete manager; }
};
using ManagerPtr = std::unique_ptr<VCppMemMgr, ManagerDeleter>;

// A manager with the pooled arenas, given virtualMemory bytes when not 0.
inline ManagerPtr MakePooled(size_t virtualMemory = 0)
{
    ManagerPtr manager(new VCppMemMgr(VCppMemMgr::eAllocatorPooled));
    if (virtualMemory != 0)
    {
        EXPECT_TRUE(manager->AddVirtualAllocation(virtualMemory, nullptr, false));
    }
    return manager;
}

// Makes a manager the process's one for a scope.
class StUseMemMgr
{
public:
    explicit StUseMemMgr(VCppMemMgr* manager) : fSaved(VObject::sCppMemMgr) { VObject::sCppMemMgr = manager; }
    ~StUseMemMgr() { VObject::sCppMemMgr = fSaved; }
    StUseMemMgr(const StUseMemMgr&) = delete;
    StUseMemMgr& operator=(const StUseMemMgr&) = delete;

private:
    VCppMemMgr* fSaved;
};

} // namespace kova::testing_support
