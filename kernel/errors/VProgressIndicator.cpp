#include "kernel/errors/VProgressIndicator.h"

#include "kernel/errors/IProgressInfoCollector.h"
#include "kernel/errors/VMetricsManager.h"
#include "kernel/errors/VProgressManager.h"
#include "kernel/errors/VProgressSessionInfo.h"
#include "kernel/errors/VRemoteProgressSessionInfo.h"
#include "kernel/files/VStream.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VTask.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VValueBag.h"

#include <algorithm>
#include <new>
#include <vector>

namespace kova
{

namespace
{

// Holds a lock taken with TryToLock until the end of the scope, on every return.
class StTryLocker
{
public:
    explicit StTryLocker(VCriticalSection& inLock) : fLock(inLock), fLocked(inLock.TryToLock()) {}
    ~StTryLocker()
    {
        if (fLocked)
            fLock.Unlock();
    }
    StTryLocker(const StTryLocker&) = delete;
    StTryLocker& operator=(const StTryLocker&) = delete;

    bool IsLocked() const { return fLocked; }

private:
    VCriticalSection& fLock;
    bool fLocked;
};

// The fraction done of sessions given outermost first, the last being the current one.
template <class SESSIONS, class GET>
float PercentDone(const SESSIONS& inSessions, size_t inCount, GET inGet)
{
    if (inCount == 0)
        return 0;
    const VProgressIndicatorInfo& current = inGet(inSessions, inCount - 1);
    if (current.GetMax() <= 0)
        return float(current.GetValue());
    float scale = 1;
    float sum = 0;
    for (size_t i = 0; i + 1 < inCount; ++i)
    {
        const VProgressIndicatorInfo& session = inGet(inSessions, i);
        if (session.GetMax() < 1)
            return 0;
        scale *= float(session.GetMax());
        sum += float(session.GetValue()) / scale;
    }
    return sum + float(current.GetValue()) / (scale * float(current.GetMax()));
}

} // namespace

VProgressIndicator::VProgressIndicator() : VProgressIndicator(VUUID(true), 0) {}

VProgressIndicator::VProgressIndicator(const VUUID& inID, int32_t inSessionVersion)
    : fID(inID), fSessionVersion(uint32_t(inSessionVersion))
{
    VProgressManager::_RegisterProgress(this);
}

VProgressIndicator::~VProgressIndicator()
{
    // Normally gone already (DoOnRefCountZero); an indicator destroyed otherwise leaves here.
    VProgressManager::_UnregisterProgress(this);
}

void VProgressIndicator::DoOnRefCountZero()
{
    VProgressManager::_UnregisterProgress(this);
    delete this;
}

// ------------------------------------------------------------------------------------------------
// Sessions

void VProgressIndicator::BeginSession(int64_t inMax, int64_t inStartValue, const VString& inMessage,
                                      bool inCanInterrupt, IProgressInfoCollector* inCollector)
{
    if (GetSessionCount() == 0)
        fOwnerTaskID.store(VTaskMgr::GetCurrentTaskID(), std::memory_order_relaxed);
    StLocker locker(fSessionLock);
    _BumpChanges();
    if (GetSessionCount() == 0)
    {
        fSessionVersion.fetch_add(1, std::memory_order_acq_rel);
        if (inCollector == nullptr)
            inCollector = fDefaultCollector;
    }
    else
    {
        // The parent keeps its attributes, collector and collected information.
        fSessionStack.push_back(fCurrent);
    }
    // Its id, task id and attributes are not renewed: a nested session carries on its parent's
    // attributes.
    fCurrent.SetMessage(inMessage);
    fCurrent.SetValue(inStartValue);
    fCurrent.SetMax(inMax);
    fCurrent.SetCanInterrupt(inCanInterrupt);
    fCurrent._ResetStartTime();
    fCurrent.SetCollector(inCollector);
    fCurrent.SetCollectedInfo(nullptr);
    const int32_t count = fSessionCount.fetch_add(1, std::memory_order_acq_rel) + 1;
    DoBeginSession(count);
}

void VProgressIndicator::BeginSession(int64_t inMax, const VString& inMessage)
{
    BeginSession(inMax, 0, inMessage, GetCanInterrupt(), fDefaultCollector);
}

void VProgressIndicator::BeginSession(int64_t inMax, const VString& inMessage,
                                      IProgressInfoCollector* inCollector)
{
    BeginSession(inMax, 0, inMessage, GetCanInterrupt(), inCollector);
}

void VProgressIndicator::BeginSession(int64_t inMax, const VString& inMessage, bool inCanInterrupt,
                                      IProgressInfoCollector* inCollector)
{
    BeginSession(inMax, 0, inMessage, inCanInterrupt, inCollector);
}

void VProgressIndicator::BeginUndeterminedSession(const VString& inMessage)
{
    BeginSession(-1, 0, inMessage, GetCanInterrupt(), fDefaultCollector);
}

void VProgressIndicator::BeginUndeterminedSession(const VString& inMessage, bool inCanInterrupt,
                                                  IProgressInfoCollector* inCollector)
{
    BeginSession(-1, 0, inMessage, inCanInterrupt, inCollector);
}

void VProgressIndicator::EndSession()
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    if (IsRemoteSessionOpen())
        _EndRemoteSessions();
    // The mirrored sessions may have been all there was.
    if (GetSessionCount() > 0)
        _EndSession();
}

void VProgressIndicator::_EndSession()
{
    _CheckCollectInfo();
    _BumpChanges();
    if (!fSessionStack.empty())
    {
        fCurrent = fSessionStack.back();
        fSessionStack.pop_back();
    }
    const int32_t count = GetSessionCount();
    DoEndSession(count);
    if (fSessionCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        fSessionVersion.fetch_add(1, std::memory_order_acq_rel);
    DoMetrics();
}

void VProgressIndicator::_EndRemoteSessions()
{
    for (int32_t remaining = GetSessionCount() - fRemoteBaseCount; remaining > 0 && GetSessionCount() > 0;
         --remaining)
        _EndSession();
    fRemoteSessionOpen.store(false, std::memory_order_release);
}

void VProgressIndicator::_BeginRemoteSessions(const VRemoteProgressSessionInfo& inInfo)
{
    fRemoteSessionOpen.store(true, std::memory_order_release);
    fRemoteBaseCount = GetSessionCount();
    fMasterSessionVersion = inInfo.fSessionVersion;
    if (GetSessionCount() == 0)
        fSessionVersion.store(inInfo.fSessionVersion, std::memory_order_release);
    fChangesVersion.store(inInfo.fChangesVersion, std::memory_order_release);
    for (const VProgressIndicatorInfo& record : inInfo.fSessions)
    {
        if (GetSessionCount() > 0)
            fSessionStack.push_back(fCurrent);
        fCurrent = record;
        const int32_t count = fSessionCount.fetch_add(1, std::memory_order_acq_rel) + 1;
        DoBeginSession(count);
    }
}

void VProgressIndicator::Reset(const VString& inMessage, int64_t inMax, int64_t inValue)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    _BumpChanges();
    fCurrent.SetMessage(inMessage);
    fCurrent.SetMax(inMax);
    fCurrent.SetValue(inValue);
    fCurrent.SetCanInterrupt(true);
    fCurrent._ResetStartTime();
    fCurrent.SetCollector(nullptr);
    fCurrent.SetCollectedInfo(nullptr);
}

// ------------------------------------------------------------------------------------------------
// Advances

bool VProgressIndicator::Progress(int64_t inValue)
{
    return _Advance(inValue, false);
}

bool VProgressIndicator::Increment(int64_t inDelta)
{
    return _Advance(inDelta, true);
}

bool VProgressIndicator::Decrement(int64_t inDelta)
{
    // Negated without overflow: the value wraps as an increment's does.
    return _Advance(int64_t(0 - uint64_t(inDelta)), true);
}

bool VProgressIndicator::_Advance(int64_t inValue, bool inRelative)
{
    _CheckCollectInfo();
    if (GetSessionCount() == 0)
        return true;
    // A store, not a locked increment: only the working thread advances, and the version is a hint
    // of change that a remote message, applied meanwhile, sets anyway.
    fChangesVersion.store(fChangesVersion.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    if (inRelative)
        fCurrent.AddToValue(inValue);
    else
        fCurrent.SetValue(inValue);
    return _CanGoOn(DoProgress());
}

bool VProgressIndicator::_CanGoOn(bool inAnswer) const
{
    if (!inAnswer || !GetCanInterrupt())
        return inAnswer;
    VTask* task = VTaskMgr::GetCurrentTask();
    return task == nullptr || task->GetState() < TS_DYING;
}

bool VProgressIndicator::DoProgress()
{
    VTaskMgr::Yield();
    return fUserAbort.load(std::memory_order_relaxed) != 1;
}

// ------------------------------------------------------------------------------------------------
// The current session

void VProgressIndicator::SetMaxValue(int64_t inMax)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetMax(inMax);
    _BumpChanges();
}

int64_t VProgressIndicator::GetMaxValue() const
{
    StLocker locker(fSessionLock);
    return GetSessionCount() > 0 ? fCurrent.GetMax() : 0;
}

void VProgressIndicator::SetMessage(const VString& inMessage)
{
    _CheckCollectInfo();
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetMessage(inMessage);
    _BumpChanges();
}

void VProgressIndicator::SetMessageAndValue(const VString& inMessage, int64_t inValue)
{
    _CheckCollectInfo();
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetMessage(inMessage);
    fCurrent.SetValue(inValue);
    _BumpChanges();
}

void VProgressIndicator::SetMessageAndIncrementValue(const VString& inMessage, int64_t inDelta)
{
    _CheckCollectInfo();
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetMessage(inMessage);
    fCurrent.AddToValue(inDelta);
    _BumpChanges();
}

void VProgressIndicator::GetMessage(VString& outMessage) const
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() > 0)
        fCurrent.GetMessage(outMessage);
}

void VProgressIndicator::SetAttribute(const VString& inName, const VValueSingle& inValue)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetAttribute(inName, inValue);
    _BumpChanges();
}

void VProgressIndicator::RemoveAttribute(const VString& inName)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.RemoveAttribute(inName);
    _BumpChanges();
}

void VProgressIndicator::SetCanInterrupt(bool inCanInterrupt, bool inForSession)
{
    if (!inForSession)
    {
        fCanInterrupt.store(inCanInterrupt, std::memory_order_relaxed);
        return;
    }
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    fCurrent.SetCanInterrupt(inCanInterrupt);
    _BumpChanges();
}

void VProgressIndicator::SetProgressInfoCollector(IProgressInfoCollector* inCollector,
                                                  IProgressInfoCollector** outPrevious)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    if (outPrevious != nullptr)
        *outPrevious = fCurrent.GetCollector();
    fCurrent.SetCollector(inCollector);
}

float VProgressIndicator::ComputePercentDone() const
{
    StLocker locker(fSessionLock);
    return _ComputePercentDone();
}

float VProgressIndicator::_ComputePercentDone() const
{
    if (GetSessionCount() == 0)
        return 0;
    return PercentDone(
        *this, fSessionStack.size() + 1,
        [](const VProgressIndicator& inIndicator, size_t inIndex) -> const VProgressIndicatorInfo&
        {
            return inIndex < inIndicator.fSessionStack.size() ? inIndicator.fSessionStack[inIndex]
                                                              : inIndicator.fCurrent;
        });
}

void VProgressIndicator::SetTitle(const VString& inTitle)
{
    StLocker locker(fSessionLock);
    fTitle.FromString(inTitle);
}

void VProgressIndicator::GetTitle(VString& outTitle) const
{
    StLocker locker(fSessionLock);
    outTitle.FromString(fTitle);
}

void VProgressIndicator::SetUserInfo(const VString& inUserInfo)
{
    StLocker locker(fSessionLock);
    fUserInfo.FromString(inUserInfo);
}

void VProgressIndicator::GetUserInfo(VString& outUserInfo) const
{
    StLocker locker(fSessionLock);
    outUserInfo.FromString(fUserInfo);
}

// ------------------------------------------------------------------------------------------------
// Snapshots

void VProgressIndicator::UpdateSessionsInfos()
{
    if (GetSessionCount() > 0)
        _RequestSnapshot();
}

VRefCountedSessionInfo* VProgressIndicator::RetainSessionsInfos() const
{
    StLocker locker(fSnapshotLock);
    return RetainRefCountable(fSnapshot.Get());
}

void VProgressIndicator::_CheckCollectInfo()
{
    const uint32_t requested = fRequestedVersion.load(std::memory_order_acquire);
    if (requested == fCollectedVersion.load(std::memory_order_acquire) || GetSessionCount() == 0)
        return;
    // The collected information changes: readers of the live sessions hold this lock.
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    std::vector<VProgressIndicatorInfo*> copies;
    copies.reserve(fSessionStack.size() + 1);
    bool first = true;
    auto visit = [&](VProgressIndicatorInfo& ioSession)
    {
        if (IProgressInfoCollector* collector = ioSession.GetCollector())
            ioSession.SetCollectedInfo(collector->CollectInfo(this, first));
        first = false;
        if (VProgressIndicatorInfo* copy = new (std::nothrow) VProgressIndicatorInfo(ioSession))
            copies.push_back(copy);
    };
    for (VProgressIndicatorInfo& session : fSessionStack)
        visit(session);
    visit(fCurrent);
    VRefPtr<VRefCountedSessionInfo> snapshot(new (std::nothrow) VRefCountedSessionInfo(std::move(copies)));
    if (snapshot == nullptr)
        return;
    {
        StLocker snapshotLocker(fSnapshotLock);
        fSnapshot.Swap(snapshot);
    }
    fCollectedVersion.store(requested, std::memory_order_release);
}

// ------------------------------------------------------------------------------------------------
// Information

bool VProgressIndicator::GetProgressInfo(const VUUID& inSessionID, VProgressIndicatorInfo& outInfo) const
{
    StLocker locker(fSessionLock);
    if (fCurrent.GetID() == inSessionID)
    {
        outInfo = fCurrent;
        return true;
    }
    const VProgressIndicatorInfo* found = nullptr;
    for (const VProgressIndicatorInfo& session : fSessionStack)
    {
        if (session.GetID() == inSessionID)
            found = &session;
    }
    if (found != nullptr)
        outInfo = *found;
    return found != nullptr;
}

void VProgressIndicator::SetProgressInfo(const VProgressIndicatorInfo& inInfo)
{
    StLocker locker(fSessionLock);
    if (GetSessionCount() == 0)
        return;
    _BumpChanges();
    fCurrent = inInfo;
}

bool VProgressIndicator::GetProgressInfo(VProgressSessionInfo& outInfo) const
{
    outInfo.Clear();
    if (!IsRemoteSessionOpen())
    {
        if (GetSessionCount() > 0)
            const_cast<VProgressIndicator*>(this)->_RequestSnapshot();
        VRefPtr<VRefCountedSessionInfo> snapshot(RetainSessionsInfos());
        if (snapshot == nullptr || snapshot->GetSessions().empty())
            return false;
        const std::vector<VProgressIndicatorInfo*>& sessions = snapshot->GetSessions();
        const size_t count = sessions.size();
        outInfo.fFirst = *sessions.front();
        if (count >= 3)
        {
            outInfo.fSecond = *sessions[count - 2];
            outInfo.fThird = *sessions[count - 1];
        }
        else if (count == 2)
        {
            outInfo.fSecond = *sessions[1];
        }
        outInfo.fSessionCount = int32_t(count);
        outInfo.fSessionsShown = int32_t(std::min<size_t>(count, 3));
        // Of the sessions shown, never of the live ones, which the working thread changes meanwhile.
        outInfo.fPercentDone =
            PercentDone(sessions, count,
                        [](const std::vector<VProgressIndicatorInfo*>& inSessions,
                           size_t inIndex) -> const VProgressIndicatorInfo& { return *inSessions[inIndex]; });
        outInfo.fChangesVersion = GetChangesVersion();
        return true;
    }
    StTryLocker locker(fSessionLock);
    if (!locker.IsLocked())
        return false;
    const int32_t count = GetSessionCount();
    if (count == 1)
    {
        outInfo.fFirst = fCurrent;
    }
    else if (count == 2 && !fSessionStack.empty())
    {
        outInfo.fFirst = fSessionStack.front();
        outInfo.fSecond = fCurrent;
    }
    else if (count >= 3 && !fSessionStack.empty())
    {
        outInfo.fFirst = fSessionStack.front();
        outInfo.fSecond = fSessionStack.back();
        outInfo.fThird = fCurrent;
    }
    outInfo.fSessionCount = count;
    outInfo.fSessionsShown = std::min(count, 3);
    outInfo.fPercentDone = _ComputePercentDone();
    outInfo.fChangesVersion = GetChangesVersion();
    return count > 0;
}

bool VProgressIndicator::GetProgressInfo(VRemoteProgressSessionInfo& outInfo,
                                         const VRemoteProgressSessionInfo* inPrevious) const
{
    StTryLocker locker(fSessionLock);
    if (!locker.IsLocked())
        return false;
    uint32_t flags = 0;
    bool withStack = true;
    const int32_t count = GetSessionCount();
    if (inPrevious != nullptr)
    {
        if (inPrevious->fChangesVersion == GetChangesVersion())
            return false;
        if (IsUserAbort() != inPrevious->fUserAbort)
            flags |= VRemoteProgressSessionInfo::kUSER_ABORT;
        if (GetCanInterrupt() != inPrevious->fCanInterrupt)
            flags |= VRemoteProgressSessionInfo::kCAN_INTERRUPT;
        withStack = count != inPrevious->fSessionCount ||
                    (count > 0 && (inPrevious->fSessions.empty() ||
                                   fCurrent.GetStartTime() != inPrevious->fSessions.back().GetStartTime()));
    }
    else
    {
        flags = VRemoteProgressSessionInfo::kUSER_ABORT | VRemoteProgressSessionInfo::kCAN_INTERRUPT;
    }
    outInfo.FromProgressInfo(*this, withStack, flags);
    return true;
}

void VProgressIndicator::UpdateFromRemoteInfo(const VRemoteProgressSessionInfo& inInfo)
{
    StLocker locker(fSessionLock);
    const uint32_t flags = inInfo.fFlags;
    // A local wish to stop is never cleared by the other side.
    if ((flags & VRemoteProgressSessionInfo::kUSER_ABORT) != 0 && !IsUserAbort())
        SetUserAbort(inInfo.fUserAbort);
    if ((flags & VRemoteProgressSessionInfo::kCAN_INTERRUPT) != 0)
        fCanInterrupt.store(inInfo.fCanInterrupt, std::memory_order_relaxed);
    // Only what was read is applied: a message whose records could not be read changes no session.
    const bool hasRecords = !inInfo.fSessions.empty();
    const bool stack = (flags & VRemoteProgressSessionInfo::kSESSION_STACK) != 0 && hasRecords;
    if (!IsRemoteSessionOpen())
    {
        if (inInfo.fSessionCount != 0 && stack)
            _BeginRemoteSessions(inInfo);
        return;
    }
    if (inInfo.fSessionCount == 0 ||
        (fRemoteBaseCount > 0 && inInfo.fMasterSessionVersion != GetSessionVersion()))
    {
        // Nothing open over there any more, or a message of another run, whose stack, when it
        // carries one, is mirrored anew below.
        _EndRemoteSessions();
    }
    if ((flags & VRemoteProgressSessionInfo::kCURRENT_ONLY) != 0 && hasRecords)
    {
        // A change applies to an open mirror only.
        if (!IsRemoteSessionOpen())
            return;
        if (inInfo.fChangesVersion != GetChangesVersion())
            fCurrent.UpdateFromRemoteInfo(inInfo.fSessions.back(), inInfo.fCurrentUpdateFlags);
    }
    else if (stack)
    {
        const bool open = IsRemoteSessionOpen();
        if (inInfo.fSessionVersion != fMasterSessionVersion ||
            (open && inInfo.fSessions.size() != size_t(GetSessionCount() - fRemoteBaseCount)))
        {
            // Another run over there, or another depth: the mirrored part is built again, its
            // count that of the records received.
            if (open)
                _EndRemoteSessions();
            fSessionVersion.store(inInfo.fSessionVersion, std::memory_order_release);
            _BeginRemoteSessions(inInfo);
            return;
        }
        if (!open)
            return;
        if (inInfo.fChangesVersion != GetChangesVersion())
        {
            fCurrent = inInfo.fSessions.back();
            for (size_t i = 0; i + 1 < inInfo.fSessions.size(); ++i)
                fSessionStack[size_t(fRemoteBaseCount) + i] = inInfo.fSessions[i];
        }
    }
    else
    {
        return;
    }
    fChangesVersion.store(inInfo.fChangesVersion, std::memory_order_release);
}

VError VProgressIndicator::WriteInfoForRemote(VStream& ioStream) const
{
    // The u16 1 in the stream's byte order, written as two raw bytes.
    const uint16_t one = ioStream.NeedSwap() ? uint16_t(0x0100) : uint16_t(1);
    VError error = ioStream.PutData(&one, sizeof one);
    if (error == VE_OK)
        error = ioStream.PutValue(fID, false);
    if (error == VE_OK)
    {
        int32_t version = int32_t(GetSessionVersion());
        error = ioStream.PutLongs(&version, 1);
    }
    return error;
}

VError VProgressIndicator::WriteInfoForRemote(VValueBag& ioBag, VString& outKind) const
{
    ioBag.SetVUUID("uuid", fID);
    ioBag.SetLong("version", int32_t(GetSessionVersion()));
    outKind.FromCString("VProgressIndicator");
    return VE_OK;
}

VError VProgressIndicator::SaveInfoToBag(VValueBag& ioBag)
{
    StLocker locker(fSessionLock);
    ioBag.SetString("UserInfo", fUserInfo);
    ioBag.SetLong("SessionCount", GetSessionCount());
    ioBag.SetString("Title", fTitle);
    ioBag.SetBool("CanInterrupt", GetCanInterrupt());
    auto addSession = [&](const VProgressIndicatorInfo& inSession)
    {
        VRefPtr<VValueBag> element(new (std::nothrow) VValueBag);
        if (element == nullptr)
            return;
        VString kind;
        inSession.SaveToBag(*element, kind, nullptr);
        ioBag.AddElement("SessionInfo", element.Get());
    };
    for (const VProgressIndicatorInfo& session : fSessionStack)
        addSession(session);
    if (GetSessionCount() > 0)
        addSession(fCurrent);
    return VE_OK;
}

void VProgressIndicator::DoMetrics()
{
    StLocker locker(fSessionLock);
    if (!fCurrent.IsTimed())
        return;
    const uint32_t duration = fCurrent.GetElapsedMilliseconds();
    VRefPtr<VJSONObject> bind(VMetricsManager::Get().CreateBind(eMetricsKindProgress, duration));
    if (bind == nullptr)
        return;
    VRefPtr<VJSONObject> data(new (std::nothrow) VJSONObject);
    if (data == nullptr)
        return;
    fCurrent.GetJSONObject(*data);
    data->SetProperty("title", VJSONValue(fTitle));
    if (VRefPtr<VValueBag> extra(fCurrent.RetainExtraInfoBag()); extra != nullptr)
    {
        VError error = VE_OK;
        VRefPtr<VJSONObject> extraObject(extra->BuildJSONObject(error));
        if (error == VE_OK && extraObject != nullptr)
            data->SetProperty("extraInfo", VJSONValue(extraObject.Get()));
    }
    if (VJSONObject* collected = fCurrent.GetCollectedInfo())
    {
        VJSONCloner cloner;
        VJSONValue copy(collected);
        if (cloner.CloneValue(copy) == VE_OK)
            data->SetProperty("subOperations", copy);
    }
    VMetricsManager::Get().BindDatas(bind.Get(), data.Get());
}

} // namespace kova
