#include "platform/mac/errors/XMacStackCrawl.h"

#include "kernel/tasks/VSystem.h"
#include "kernel/text/VString.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
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

void XMacStackCrawl::Dump(FILE* inFile) const
{
    if (fCount == 0 || inFile == nullptr)
        return;
    void* addresses[kMaxFrames];
    for (uint32_t i = 0; i < fCount; ++i)
        addresses[i] = reinterpret_cast<void*>(uintptr_t(fFrames[i]));
    char** symbols = backtrace_symbols(addresses, int(fCount));
    for (uint32_t i = 0; i < fCount; ++i)
        std::fprintf(inFile, "  :: frame %u: %s\n", fCount - 1 - i, symbols != nullptr ? symbols[i] : "?");
    std::free(symbols);
}

void XMacStackCrawl::Dump(VString& ioText) const
{
    for (uint32_t i = 0; i < fCount; ++i)
    {
        VString address;
        address.FromHexLong(uint64_t(fFrames[i]), true);
        VString name("<inline>");
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(uintptr_t(fFrames[i])), &info) != 0 && info.dli_sname != nullptr)
            VSystem::DemangleSymbol(info.dli_sname, name);
        ioText.AppendPrintf("   {%u} %S - %S\n", fCount - 1 - i, &address, &name);
    }
}

bool XMacStackCrawl::operator<(const XMacStackCrawl& inOther) const
{
    if (fCount != inOther.fCount)
        return fCount < inOther.fCount;
    return std::lexicographical_compare(fFrames, fFrames + fCount, inOther.fFrames, inOther.fFrames + fCount);
}

} // namespace kova
