#include "kernel/errors/VRemoteProgressSessionInfo.h"

#include "kernel/errors/VProgressIndicator.h"
#include "kernel/text/VString.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

namespace
{

const char* const kFlags = "fFlags";
const char* const kSessionCount = "fSessionCount";
const char* const kChangesVersion = "fChangesVersion";
const char* const kSessionVersion = "fSessionVersion";
const char* const kMasterSessionVersion = "fMasterSessionVersion";
const char* const kUserAbort = "fUserAbort";
const char* const kCanInterrupt = "fCanInterrupt";
const char* const kCurrent = "fCurrent";
const char* const kSessionStack = "fSessionStack";

void ReadUnsigned(const VValueBag& inBag, const char* inKey, uint32_t& ioValue)
{
    int32_t value = 0;
    if (inBag.GetLong(inKey, value))
        ioValue = uint32_t(value);
}

// A new record element written by the session, whole or as a change; false when memory ran out.
bool AddRecord(VValueBag& ioBag, const char* inKey, const VProgressIndicatorInfo& inSession,
               const VProgressIndicatorInfo* inPrevious)
{
    VRefPtr<VValueBag> element(new (std::nothrow) VValueBag);
    if (element == nullptr)
        return false;
    VString kind;
    inSession.SaveToBag(*element, kind, inPrevious);
    return ioBag.AddElement(inKey, element.Get());
}

} // namespace

VRemoteProgressSessionInfo::VRemoteProgressSessionInfo(const VRemoteProgressSessionInfo* inOther)
{
    if (inOther != nullptr)
        *this = *inOther;
}

VRemoteProgressSessionInfo::VRemoteProgressSessionInfo(const VRemoteProgressSessionInfo& inOther)
    : VObject(inOther)
{
    *this = inOther;
}

VRemoteProgressSessionInfo& VRemoteProgressSessionInfo::operator=(const VRemoteProgressSessionInfo& inOther)
{
    if (this == &inOther)
        return *this;
    fSessionCount = inOther.fSessionCount;
    fSessions = inOther.fSessions;
    fChangesVersion = inOther.fChangesVersion;
    fMasterSessionVersion = inOther.fMasterSessionVersion;
    fSessionVersion = inOther.fSessionVersion;
    fUserAbort = inOther.fUserAbort;
    fCanInterrupt = inOther.fCanInterrupt;
    fFlags = inOther.fFlags;
    return *this;
}

VRemoteProgressSessionInfo::~VRemoteProgressSessionInfo() = default;

void VRemoteProgressSessionInfo::Reset()
{
    fSessionCount = 0;
    fSessions.clear();
    fChangesVersion = 0;
    fMasterSessionVersion = 0;
    fSessionVersion = 0;
    fUserAbort = false;
    fCanInterrupt = false;
    fFlags = 0;
    fCurrentUpdateFlags = 0;
}

VError VRemoteProgressSessionInfo::SaveToBag(VValueBag& ioBag, VString& outKind,
                                             const VRemoteProgressSessionInfo* inPrevious) const
{
    outKind.FromCString("DistantSessionInfo");
    ioBag.SetLong(kFlags, int32_t(fFlags));
    if ((fFlags & kSESSION_COUNT) != 0)
        ioBag.SetLong(kSessionCount, fSessionCount);
    if ((fFlags & kCHANGES_VERSION) != 0)
        ioBag.SetLong(kChangesVersion, int32_t(fChangesVersion));
    if ((fFlags & kSESSION_VERSION) != 0)
        ioBag.SetLong(kSessionVersion, int32_t(fSessionVersion));
    if ((fFlags & kMASTER_SESSION_VERSION) != 0)
        ioBag.SetLong(kMasterSessionVersion, int32_t(fMasterSessionVersion));
    if ((fFlags & kUSER_ABORT) != 0)
        ioBag.SetBool(kUserAbort, fUserAbort);
    if ((fFlags & kCAN_INTERRUPT) != 0)
        ioBag.SetBool(kCanInterrupt, fCanInterrupt);
    if ((fFlags & kCURRENT_ONLY) != 0)
    {
        if (!fSessions.empty())
        {
            const VProgressIndicatorInfo* previous = inPrevious != nullptr &&
                                                             inPrevious->fSessionCount == fSessionCount &&
                                                             !inPrevious->fSessions.empty()
                                                         ? &inPrevious->fSessions.back()
                                                         : nullptr;
            AddRecord(ioBag, kCurrent, fSessions.back(), previous);
        }
    }
    else if ((fFlags & kSESSION_STACK) != 0)
    {
        for (const VProgressIndicatorInfo& session : fSessions)
            AddRecord(ioBag, kSessionStack, session, nullptr);
    }
    return VE_OK;
}

VError VRemoteProgressSessionInfo::LoadFromBag(const VValueBag& inBag)
{
    fSessions.clear();
    fCurrentUpdateFlags = 0;
    fFlags = 0;
    ReadUnsigned(inBag, kFlags, fFlags);
    if ((fFlags & kSESSION_COUNT) != 0)
        inBag.GetLong(kSessionCount, fSessionCount);
    if ((fFlags & kCHANGES_VERSION) != 0)
        ReadUnsigned(inBag, kChangesVersion, fChangesVersion);
    if ((fFlags & kSESSION_VERSION) != 0)
        ReadUnsigned(inBag, kSessionVersion, fSessionVersion);
    if ((fFlags & kMASTER_SESSION_VERSION) != 0)
        ReadUnsigned(inBag, kMasterSessionVersion, fMasterSessionVersion);
    if ((fFlags & kUSER_ABORT) != 0)
        inBag.GetBool(kUserAbort, fUserAbort);
    if ((fFlags & kCAN_INTERRUPT) != 0)
        inBag.GetBool(kCanInterrupt, fCanInterrupt);
    if ((fFlags & kCURRENT_ONLY) != 0)
    {
        VBagArray* current = inBag.GetElements(kCurrent);
        if (current == nullptr || current->GetCount() != 1 || current->GetNth(1) == nullptr)
            return VE_OK;
        VProgressIndicatorInfo session;
        session.LoadFromBag(*current->GetNth(1));
        fCurrentUpdateFlags = VProgressIndicatorInfo::GetUpdateFlags(*current->GetNth(1));
        fSessions.push_back(session);
    }
    else if ((fFlags & kSESSION_STACK) != 0)
    {
        VBagArray* stack = inBag.GetElements(kSessionStack);
        for (int32_t i = 1; stack != nullptr && i <= stack->GetCount(); ++i)
        {
            if (stack->GetNth(i) == nullptr)
                break;
            VProgressIndicatorInfo session;
            session.LoadFromBag(*stack->GetNth(i));
            session.SetRemote(true);
            fSessions.push_back(session);
        }
    }
    return VE_OK;
}

void VRemoteProgressSessionInfo::FromProgressInfo(const VProgressIndicator& inIndicator, bool inWithStack,
                                                  uint32_t inFlags)
{
    fFlags = inFlags | kSESSION_COUNT | kCHANGES_VERSION | kSESSION_VERSION | kMASTER_SESSION_VERSION;
    fSessionCount = inIndicator.GetSessionCount();
    fChangesVersion = inIndicator.GetChangesVersion();
    fSessionVersion = inIndicator.GetSessionVersion();
    fMasterSessionVersion = inIndicator.fMasterSessionVersion;
    fUserAbort = inIndicator.IsUserAbort();
    fCanInterrupt = inIndicator.GetCanInterrupt();
    fSessions.clear();
    if (inWithStack)
    {
        fSessions.assign(inIndicator.fSessionStack.begin(), inIndicator.fSessionStack.end());
        if (fSessionCount > 0)
            fSessions.push_back(inIndicator.fCurrent);
        fFlags |= kSESSION_STACK;
    }
    else if (fSessionCount > 0)
    {
        fSessions.push_back(inIndicator.fCurrent);
        fFlags |= kCURRENT_ONLY;
    }
}

} // namespace kova
