// XMacStackCrawl is a snapshot of the calling thread's call stack: up to 48 return addresses,
// taken with the C library's backtrace. The leaks checker records one per block it registers;
// error objects and the debug manager's assert file will carry them too.
#pragma once

#include <cstdint>

namespace kova
{

class XMacStackCrawl
{
public:
    static constexpr uint32_t kMaxFrames = 48;

    // No frame.
    XMacStackCrawl() = default;
    virtual ~XMacStackCrawl();

    // Captures the calling thread's stack (its first frame is LoadFrames' own), drops the first
    // inSkip frames and keeps at most inMax (never more than 48) of those that follow; the count
    // is 0 when no frame is left.
    void LoadFrames(uint32_t inSkip, uint32_t inMax);

    uint32_t GetCount() const { return fCount; }

private:
    uint64_t fFrames[kMaxFrames] = {};
    uint32_t fCount = 0;
};

} // namespace kova
