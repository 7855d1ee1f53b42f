// The C library back end of the memory manager: malloc, free, realloc and the usable size of a
// block. The manager holds it by its own type, so that the hot operations inline to the C calls.
#pragma once

#include "kernel/values/XMemCppImpl.h"

#include <cstdint>
#include <cstdlib>

namespace kova
{

class VMemCppImpl_stdlib final : public XMemCppImpl
{
public:
    void Init(VCppMemMgr*) override {}
    // No object is larger than half the address space: the C library would refuse it too.
    void* Malloc(size_t size, uint8_t, uint8_t, uint32_t) override
    {
        return size <= size_t(PTRDIFF_MAX) ? std::malloc(size) : nullptr;
    }
    void Free(void* block) override { std::free(block); }
    void* Realloc(void* block, size_t size) override { return std::realloc(block, size); }
    size_t GetPtrSize(const void* block) override;
    bool CheckPtr(const void*) override { return true; }
    bool Check(void*) override { return true; }
    bool AddAllocation(size_t, const void*, uint8_t) override { return false; }
    int32_t CountAllocations() override { return 1; }
    void SetAutoAllocationState(bool) override {}
    void GetStats(VMemStats&, int16_t) override {}
    // The C library gives no figure; these constants are what callers have always been told.
    uint64_t GetTotalAllocation() const override { return kReportedTotal; }
    void GetMemUsageInfo(size_t& outTotal, size_t& outUsed) override
    {
        outTotal = kReportedTotal;
        outUsed = 0;
    }

    static constexpr uint64_t kReportedTotal = 1048576;
};

} // namespace kova
