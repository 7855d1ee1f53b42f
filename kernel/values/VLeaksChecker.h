// VLeaksChecker counts the live blocks registered with the memory manager while leak checking is
// on, each with the call stack that allocated it, and opens the dated leaks file beside the main
// bundle. The memory manager holds one; its counters are plain integers guarded by the manager's
// main lock. Leak checking is off at creation and nothing turns it on unless a build asks for it.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kova
{

class XMacStackCrawl;

class VLeaksChecker
{
public:
    // The most frames recorded for one block.
    static constexpr uint32_t kMaxRecordedFrames = 8;

    VLeaksChecker() = default;
    virtual ~VLeaksChecker();

    // Returns the previous setting.
    bool SetLeaksCheck(bool inCheck);
    bool IsCheckingLeaks() const { return fCheckLeaks; }

    // Frames dropped from the top of a block's allocation stack when it is recorded.
    void SetStackFramesToSkip(int32_t inCount) { fStackFramesToSkip = inCount; }
    int32_t GetStackFramesToSkip() const { return fStackFramesToSkip; }

    int32_t GetLiveBlockCount() const { return fLiveBlocks; }

    // While checking is on: records the calling stack in the crawl and, when a frame was
    // recorded, counts one more live block. Nothing while checking is off.
    void RegisterBlock(XMacStackCrawl& ioCrawl);
    // Counts one live block less when the crawl holds a frame, whether checking is on or not.
    void UnregisterBlock(XMacStackCrawl& ioCrawl);

    // Creates (or empties) the leaks file "<main bundle path less its extension>.<inName>.leaks"
    // and writes its header: the local date and time, then the number of live blocks. The caller
    // writes the leaks and closes the file. Null, with nothing written, when there is no bundle
    // path or no name, or the file cannot be created or written.
    FILE* OpenDumpFile(const char* inName) const;

private:
    int32_t fStackFramesToSkip = 4;
    int32_t fLiveBlocks = 0;
    bool fCheckLeaks = false;
};

} // namespace kova
