#include "platform/mac/errors/XMacStackCrawl.h"

#include <execinfo.h>

namespace kova
{

namespace
{

// The frames asked of the platform: a few more than kept, so that skipped frames still leave a
// full snapshot.
constexpr int kCapturedFrames = 58;

} // namespace

XMacStackCrawl::~XMacStackCrawl() = default;

void XMacStackCrawl::LoadFrames(uint32_t inSkip, uint32_t inMax)
{
    void* addresses[kCapturedFrames];
    int found = backtrace(addresses, kCapturedFrames);
    uint32_t available = found > 0 ? uint32_t(found) : 0;
    if (inMax > kMaxFrames)
        inMax = kMaxFrames;
    if (available <= inSkip)
    {
        fCount = 0;
        return;
    }
    uint32_t kept = available - inSkip < inMax ? available - inSkip : inMax;
    for (uint32_t i = 0; i < kept; ++i)
        fFrames[i] = reinterpret_cast<uintptr_t>(addresses[inSkip + i]);
    fCount = kept;
}

} // namespace kova
