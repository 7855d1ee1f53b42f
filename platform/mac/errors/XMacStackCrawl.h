// XMacStackCrawl is a snapshot of the calling thread's call stack: up to 48 return addresses,
// taken with the C library's backtrace. The leaks checker records one per block it registers; the
// debug manager writes them into its assert file and the logger into assertion records. Names are
// found through the dynamic symbol table: executables link with -rdynamic.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kova
{

class VString;

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

    // One line a frame, in capture order, numbered from count - 1 down to 0: the platform's
    // symbol text ("  :: frame N: ...") into the file, or "   {N} 0xADDRESS - name" appended to
    // the text (the demangled name of the enclosing symbol, "<inline>" when none is known).
    // Nothing for an empty snapshot.
    void Dump(FILE* inFile) const;
    void Dump(VString& ioText) const;

    // Fewer frames first; snapshots of as many frames compare by their addresses.
    bool operator<(const XMacStackCrawl& inOther) const;

private:
    uint64_t fFrames[kMaxFrames] = {};
    uint32_t fCount = 0;
};

} // namespace kova
