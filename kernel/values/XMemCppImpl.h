// XMemCppImpl is the interface of a memory manager back end: the C library (VMemCppImpl_stdlib)
// or one pooled arena (VMemCppImpl). VCppMemMgr hands every request to one of them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VCppMemMgr;
class VMemStats;

class XMemCppImpl
{
public:
    virtual ~XMemCppImpl() = default;

    virtual void Init(VCppMemMgr* manager) = 0;
    // inPageFlag: the block will hold a page of small blocks; inObjectFlag: the block will hold an
    // object with a virtual table (counted by class in statistics).
    virtual void* Malloc(size_t size, uint8_t inPageFlag, uint8_t inObjectFlag, uint32_t tag) = 0;
    virtual void Free(void* block) = 0;
    virtual void* Realloc(void* block, size_t size) = 0;
    virtual size_t GetPtrSize(const void* block) = 0;
    virtual bool CheckPtr(const void* block) = 0;
    virtual bool Check(void* block) = 0;
    virtual bool AddAllocation(size_t size, const void* address, uint8_t physical) = 0;
    virtual int32_t CountAllocations() = 0;
    virtual void SetAutoAllocationState(bool on) = 0;
    virtual void GetStats(VMemStats& stats, int16_t arenaIndex) = 0;
    virtual uint64_t GetTotalAllocation() const = 0;
    virtual void GetMemUsageInfo(size_t& outTotal, size_t& outUsed) = 0;
};

} // namespace kova
