// VLeaksChecker counts the live blocks registered with the memory manager while leak checking is
// on. The memory manager holds one; its counters are plain integers guarded by the manager's main
// lock. Leak checking is off at creation and nothing turns it on unless a build asks for it.
#pragma once

#include <cstdint>

namespace kova
{

class VLeaksChecker
{
public:
    VLeaksChecker() = default;
    virtual ~VLeaksChecker();

    // Returns the previous setting.
    bool SetLeaksCheck(bool inCheck);
    bool IsCheckingLeaks() const { return fCheckLeaks; }

    // Frames dropped from the top of a block's allocation stack when it is recorded.
    void SetStackFramesToSkip(int32_t inCount) { fStackFramesToSkip = inCount; }
    int32_t GetStackFramesToSkip() const { return fStackFramesToSkip; }

    int32_t GetLiveBlockCount() const { return fLiveBlocks; }

private:
    int32_t fStackFramesToSkip = 4;
    int32_t fLiveBlocks = 0;
    bool fCheckLeaks = false;
};

} // namespace kova
