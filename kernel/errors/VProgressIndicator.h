// VProgressIndicator reports the progress of a long operation as a stack of nested sessions: the
// operation begins a session with a maximum and a message, advances it, may begin inner sessions
// for its steps and ends them in reverse order. Every advance answers whether the work may go on
// (the user did not ask to stop and, for an interruptible indicator, the task is not dying). The
// fraction done counts the outermost session in whole units, each inner one as one unit of its
// parent. Streams drive one when they hold one.
//
//     VRefPtr<VProgressIndicator> progress(new VProgressIndicator);
//     progress->BeginSession(files.size(), VString("Copying {curValue} of {maxValue}"));
//     for (...) if (!progress->Increment(1)) break; // asked to stop
//     progress->EndSession();
//
// Threads: the working thread owns the sessions. Advances (Progress, Increment, Decrement) take no
// lock: the value and the changes version are atomics. Everything else that changes the sessions
// takes the session lock, which readers on other threads hold while they read them. Other
// threads mostly read snapshots: they request one (UpdateSessionsInfos, or the manager's
// GetAllProgressInfo), the working thread makes it at its next advance, and they take the latest
// one made (RetainSessionsInfos). An indicator registers itself with the progress manager under its
// id from construction until its last reference goes.
//
// An indicator may mirror the sessions of an indicator in another process from the messages of
// VRemoteProgressSessionInfo: GetProgressInfo fills one on the sender's side and
// UpdateFromRemoteInfo applies it on the receiver's, on top of the receiver's own sessions.
#pragma once

#include "kernel/errors/VProgressIndicatorInfo.h"
#include "kernel/tasks/VCriticalSection.h"
#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VUUID.h"

#include <atomic>
#include <cstdint>
#include <deque>

namespace kova
{

class IProgressInfoCollector;
class VProgressSessionInfo;
class VRemoteProgressSessionInfo;
class VStream;
class VValueBag;
class VValueSingle;

class VProgressIndicator : public VObject, public IRefCountable
{
public:
    // A new random id; registers with the manager when it exists.
    VProgressIndicator();
    VProgressIndicator(const VUUID& inID, int32_t inSessionVersion);
    VProgressIndicator(const VProgressIndicator&) = delete;
    VProgressIndicator& operator=(const VProgressIndicator&) = delete;
    ~VProgressIndicator() override;

    // The last reference went: the indicator leaves the manager (after DoMetrics) before it is
    // destroyed, so that no other thread can find it dying.
    void DoOnRefCountZero() override;

    const VUUID& GetID() const { return fID; }
    void Lock() const { fSessionLock.Lock(); }
    void Unlock() const { fSessionLock.Unlock(); }

    // Sessions.
    void BeginSession(int64_t inMax, int64_t inStartValue, const VString& inMessage, bool inCanInterrupt,
                      IProgressInfoCollector* inCollector);
    void BeginSession(int64_t inMax, const VString& inMessage);
    void BeginSession(int64_t inMax, const VString& inMessage, IProgressInfoCollector* inCollector);
    void BeginSession(int64_t inMax, const VString& inMessage, bool inCanInterrupt,
                      IProgressInfoCollector* inCollector);
    void BeginUndeterminedSession(const VString& inMessage);
    void BeginUndeterminedSession(const VString& inMessage, bool inCanInterrupt,
                                  IProgressInfoCollector* inCollector);
    // Closes the innermost session; mirrored sessions, when open, are all closed first.
    void EndSession();
    int32_t GetSessionCount() const { return fSessionCount.load(std::memory_order_acquire); }
    // The current session's message, maximum and value; interruptible, restarted, without
    // collector.
    void Reset(const VString& inMessage, int64_t inMax, int64_t inValue);

    // Advances: whether the work may go on (true without a session).
    bool Progress(int64_t inValue);
    bool Increment(int64_t inDelta = 1);
    bool Decrement(int64_t inDelta = 1);

    // The current session's figures; 0 without a session for the maximum.
    void SetMaxValue(int64_t inMax);
    int64_t GetMaxValue() const;
    int64_t GetCurrentValue() const { return fCurrent.GetValue(); }
    void SetMessage(const VString& inMessage);
    void SetMessageAndValue(const VString& inMessage, int64_t inValue);
    void SetMessageAndIncrementValue(const VString& inMessage, int64_t inDelta);
    // Filled in; nothing without a session.
    void GetMessage(VString& outMessage) const;
    void SetAttribute(const VString& inName, const VValueSingle& inValue);
    void RemoveAttribute(const VString& inName);
    // inForSession false: the indicator's flag (at any time); true: the current session's.
    void SetCanInterrupt(bool inCanInterrupt, bool inForSession);
    bool GetCanInterrupt() const { return fCanInterrupt.load(std::memory_order_relaxed); }
    // Replaces the current session's collector; the previous one in outPrevious when given.
    void SetProgressInfoCollector(IProgressInfoCollector* inCollector, IProgressInfoCollector** outPrevious);
    void SetDefaultCollector(IProgressInfoCollector* inCollector) { fDefaultCollector = inCollector; }

    // The fraction done, from 0 to 1 (the value itself for an undetermined current session).
    float ComputePercentDone() const;

    // The user's wish to stop (1), read at every advance.
    void SetUserAbort(bool inAbort) { fUserAbort.store(inAbort ? 1 : 0, std::memory_order_relaxed); }
    bool IsUserAbort() const { return fUserAbort.load(std::memory_order_relaxed) != 0; }
    void SetTitle(const VString& inTitle);
    void GetTitle(VString& outTitle) const;
    void SetUserInfo(const VString& inUserInfo);
    void GetUserInfo(VString& outUserInfo) const;

    uint32_t GetSessionVersion() const { return fSessionVersion.load(std::memory_order_acquire); }
    uint32_t GetChangesVersion() const { return fChangesVersion.load(std::memory_order_acquire); }
    int32_t GetOwnerTaskID() const { return fOwnerTaskID.load(std::memory_order_relaxed); }

    // Snapshots: asks for one (made at the working thread's next advance), and the latest one,
    // retained, or null.
    void UpdateSessionsInfos();
    VRefCountedSessionInfo* RetainSessionsInfos() const;
    // For the manager: the request without the check that a session is open.
    void _RequestSnapshot() { fRequestedVersion.fetch_add(1, std::memory_order_acq_rel); }

    // The session of that id (the current one first, then the stack, whose last match wins).
    bool GetProgressInfo(const VUUID& inSessionID, VProgressIndicatorInfo& outInfo) const;
    // Under the session lock with a session open: the current session becomes a copy of the
    // record.
    void SetProgressInfo(const VProgressIndicatorInfo& inInfo);
    // The summary for a display: the outermost session, the parent of the innermost and the
    // innermost. False when there is nothing to show, or when mirrored sessions are open and the
    // session lock is taken (try again later).
    bool GetProgressInfo(VProgressSessionInfo& outInfo) const;
    // A remote message, as a change of inPrevious when given; false when nothing changed since, or
    // when the session lock is taken (try again later).
    bool GetProgressInfo(VRemoteProgressSessionInfo& outInfo,
                         const VRemoteProgressSessionInfo* inPrevious) const;
    // Applies a remote message: its sessions are mirrored on top of this indicator's own.
    void UpdateFromRemoteInfo(const VRemoteProgressSessionInfo& inInfo);
    bool IsRemoteSessionOpen() const { return fRemoteSessionOpen.load(std::memory_order_acquire); }

    // The reference of the indicator for another process: the u16 1, the id, the session version.
    VError WriteInfoForRemote(VStream& ioStream) const;
    // "uuid" and "version"; outKind receives "VProgressIndicator".
    VError WriteInfoForRemote(VValueBag& ioBag, VString& outKind) const;

    // "UserInfo", "SessionCount", "Title", "CanInterrupt", and a "SessionInfo" element per session,
    // outermost first.
    virtual VError SaveInfoToBag(VValueBag& ioBag);
    virtual bool IsManagerValid() const { return true; }
    // Reports the current session to the activity metrics when it is timed.
    virtual void DoMetrics();

protected:
    // Hooks called with the session count under the session lock.
    virtual void DoBeginSession(int32_t /*inSessionCount*/) {}
    virtual void DoEndSession(int32_t /*inSessionCount*/) {}
    // Called by every advance: yields to other tasks; false when the user asked to stop.
    virtual bool DoProgress();

private:
    friend class VRemoteProgressSessionInfo;

    void _EndSession();
    // Ends the mirrored sessions and clears the flag. Under the session lock.
    void _EndRemoteSessions();
    // Mirrors the message's sessions on top of the own ones. Under the session lock.
    void _BeginRemoteSessions(const VRemoteProgressSessionInfo& inInfo);
    // Makes the requested snapshot, when one is due and a session is open.
    void _CheckCollectInfo();
    // The value set, or moved by inValue when inRelative; then DoProgress and the dying check.
    bool _Advance(int64_t inValue, bool inRelative);
    bool _CanGoOn(bool inAnswer) const;
    void _BumpChanges() { fChangesVersion.fetch_add(1, std::memory_order_acq_rel); }
    float _ComputePercentDone() const;

    const VUUID fID;
    mutable VCriticalSection fSessionLock;
    std::deque<VProgressIndicatorInfo> fSessionStack;
    VProgressIndicatorInfo fCurrent;
    std::atomic<int32_t> fSessionCount{0};
    std::atomic<bool> fRemoteSessionOpen{false};
    uint32_t fMasterSessionVersion = 0;
    int32_t fRemoteBaseCount = 0;
    std::atomic<bool> fCanInterrupt{true};
    VString fTitle;
    std::atomic<uint32_t> fSessionVersion{0};
    std::atomic<int32_t> fUserAbort{0};
    std::atomic<uint32_t> fChangesVersion{0};
    VString fUserInfo;
    IProgressInfoCollector* fDefaultCollector = nullptr;
    mutable VCriticalSection fSnapshotLock;
    VRefPtr<VRefCountedSessionInfo> fSnapshot;
    std::atomic<uint32_t> fCollectedVersion{0};
    std::atomic<uint32_t> fRequestedVersion{1};
    std::atomic<int32_t> fOwnerTaskID{0};
};

} // namespace kova
