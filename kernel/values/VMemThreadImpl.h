// VMemThreadImpl is the small-block part of a pooled arena (VMemCppImpl): requests of up to 8191
// bytes are served from pages of one size class (VPageAllocationImpl), each page a big block of
// the arena. It keeps, per class, the list of the pages that can still serve; a full page leaves
// its list and comes back when one of its blocks is freed, and an empty page is given back to the
// arena at once.
//
// Size classes, for a request of n bytes and s = n + 8 (the block header):
//   s 1 to 1024: block size s up to a multiple of 16, class = block size / 16 (1 to 64);
//   s 1025 to 4096: up to a multiple of 64, class = block size / 64 + 49 (66 to 113);
//   s 4097 to 8199: up to a multiple of 256, class = block size / 256 + 98 (115 to 131).
// Pages hold 8168 bytes for blocks below 256 bytes, 16360 below 1024, 65512 below 4096 and 131048
// otherwise, so that with its big-block header a page fills 8, 16, 64 or 128 KiB exactly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova
{

class VMemCppImpl;
class VPageAllocationImpl;

class VMemThreadImpl
{
public:
    static constexpr size_t kMaxBlockRequest = 8191;
    static constexpr int32_t kClassCount = 132;

    explicit VMemThreadImpl(VMemCppImpl* arena);
    VMemThreadImpl(const VMemThreadImpl&) = delete;
    VMemThreadImpl& operator=(const VMemThreadImpl&) = delete;

    VMemCppImpl* GetArena() const { return fArena; }

    // A block for n <= 8191 bytes; null when the arena has no room for a new page. Both are
    // defined inline in VMemCppImpl.h (they count the arena's bytes in use), which every caller
    // includes.
    inline void* Malloc(size_t inSize, bool objectFlag, uint32_t tag);
    // A block of one of this part's pages.
    inline void Free(void* data);

    // The class of a block request s (= n + 8) and, through outStep, the rounding step. The steps
    // are powers of two, so that the class of every request costs a few shifts.
    static int32_t GetStepFromSize(size_t inBlockRequest, int32_t* outStep)
    {
        const int shift = StepShift(inBlockRequest);
        if (outStep != nullptr)
            *outStep = 1 << shift;
        return int32_t(GetBlockSize(inBlockRequest) >> shift) + (shift == 4 ? 0 : shift == 6 ? 49 : 98);
    }
    static size_t GetBlockSize(size_t inBlockRequest)
    {
        const size_t mask = (size_t(1) << StepShift(inBlockRequest)) - 1;
        return (inBlockRequest + mask) & ~mask;
    }
    static size_t GetPageSize(size_t inBlockSize);

    // The first page of a class that can serve, null when none (for tests and diagnostics).
    VPageAllocationImpl* GetFirstPage(int32_t inClass) const { return fPages[inClass]; }

private:
    // Steps of 16, 64 and 256 bytes.
    static int StepShift(size_t inBlockRequest)
    {
        return inBlockRequest <= 1024 ? 4 : inBlockRequest <= 4096 ? 6 : 8;
    }

    void LinkAtHead(VPageAllocationImpl* page, int32_t inClass);
    void Unlink(VPageAllocationImpl* page, int32_t inClass);
    // The slow paths of Malloc and Free: a class without a page, a page that fills, empties or
    // stops being full.
    void* _MallocFromNewPage(int32_t inClass, size_t inBlockSize, bool objectFlag, uint32_t tag);
    void _FreeChangesPageList(VPageAllocationImpl* page, bool wasFull);

    VMemCppImpl* fArena;
    // Class 0 and the unused classes 65 and 114 stay empty.
    VPageAllocationImpl* fPages[kClassCount] = {};
};

} // namespace kova
