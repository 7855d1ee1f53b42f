// VProgressSessionInfo is the summary of a progress indicator for a display: its outermost
// session, the parent of its innermost session and the innermost session (with one session only
// the first, with two the first and the second), how many sessions are open and shown, the
// fraction done and the changes version it was taken at (VProgressIndicator::GetProgressInfo).
#pragma once

#include "kernel/errors/VProgressIndicatorInfo.h"
#include "kernel/values/VObject.h"

#include <cstdint>

namespace kova
{

class VProgressSessionInfo : public VObject
{
public:
    VProgressSessionInfo() { Clear(); }
    VProgressSessionInfo(const VProgressSessionInfo&) = default;
    VProgressSessionInfo& operator=(const VProgressSessionInfo&) = default;

    // No session: the three records as assigned from null, every figure 0.
    void Clear()
    {
        fFirst = nullptr;
        fSecond = nullptr;
        fThird = nullptr;
        fSessionCount = 0;
        fSessionsShown = 0;
        fPercentDone = 0;
        fChangesVersion = 0;
    }

    VProgressIndicatorInfo fFirst;
    VProgressIndicatorInfo fSecond;
    VProgressIndicatorInfo fThird;
    int32_t fSessionCount = 0;
    int32_t fSessionsShown = 0;
    float fPercentDone = 0;
    uint32_t fChangesVersion = 0;
};

} // namespace kova
