// VRemoteProgressSessionInfo is one message of the exchange by which a progress indicator mirrors
// the sessions of an indicator in another process. The sender fills it from its indicator
// (VProgressIndicator::GetProgressInfo), as a change of the message it sent before, and writes it
// as a value bag ("DistantSessionInfo"); the receiver reads the bag and applies the message to its
// own indicator (VProgressIndicator::UpdateFromRemoteInfo).
//
// A message carries the figures its flags name and either the whole session stack or only the
// innermost session as a change of the previous one. Bags from another process are untrusted:
// reading stops at the first malformed part, keeping what was read, and the receiver applies only
// what was read.
#pragma once

#include "kernel/errors/VProgressIndicatorInfo.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"

#include <cstdint>
#include <deque>

namespace kova
{

class VProgressIndicator;
class VString;
class VValueBag;

class VRemoteProgressSessionInfo : public VObject
{
public:
    // What a message carries ("fFlags").
    enum : uint32_t
    {
        kSESSION_COUNT = 0x01,
        kCHANGES_VERSION = 0x02,
        kSESSION_VERSION = 0x04,
        kMASTER_SESSION_VERSION = 0x08,
        kUSER_ABORT = 0x10,
        kCAN_INTERRUPT = 0x20,
        kCURRENT_ONLY = 0x40,
        kSESSION_STACK = 0x80,
    };

    VRemoteProgressSessionInfo() = default;
    // Every field but the current update flags, which only LoadFromBag sets; null resets.
    explicit VRemoteProgressSessionInfo(const VRemoteProgressSessionInfo* inOther);
    VRemoteProgressSessionInfo(const VRemoteProgressSessionInfo& inOther);
    VRemoteProgressSessionInfo& operator=(const VRemoteProgressSessionInfo& inOther);
    ~VRemoteProgressSessionInfo() override;

    // Count 0, no sessions, every version, flag and boolean 0.
    void Reset();

    // Writes the message; with inPrevious, the innermost session as a change of the previous
    // message's innermost one when both have the same count. outKind receives
    // "DistantSessionInfo". Returns 0.
    VError SaveToBag(VValueBag& ioBag, VString& outKind,
                     const VRemoteProgressSessionInfo* inPrevious = nullptr) const;
    // Reads a message; stops at a missing or repeated "fCurrent" or an empty "fSessionStack".
    // Returns 0.
    VError LoadFromBag(const VValueBag& inBag);
    // Fills the message from the indicator (under its session lock): the whole stack or, with
    // sessions open, only the innermost session; inFlags adds the abort and interrupt figures.
    void FromProgressInfo(const VProgressIndicator& inIndicator, bool inWithStack, uint32_t inFlags);

    int32_t fSessionCount = 0;
    std::deque<VProgressIndicatorInfo> fSessions;
    uint32_t fChangesVersion = 0;
    uint32_t fMasterSessionVersion = 0;
    uint32_t fSessionVersion = 0;
    bool fUserAbort = false;
    bool fCanInterrupt = false;
    uint32_t fFlags = 0;
    uint32_t fCurrentUpdateFlags = 0;
};

} // namespace kova
