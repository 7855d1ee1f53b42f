// VProgressIndicatorInfo is the state of one progress session: its message (which may name the
// session's figures in braces: "Copying {curValue} of {maxValue}"), value and maximum, start time,
// whether it may be interrupted, its attributes (a value bag) and what its collector gathered. A
// progress indicator keeps a stack of them; snapshots, summaries and remote messages carry copies.
//
// Its forms: a value bag, whole or as the change from a previous record (SaveToBag, LoadFromBag,
// UpdateFromRemoteInfo), and a JSON object (GetJSONObject).
//
// The value is atomic: the working thread advances it without a lock while other threads read the
// record under the indicator's session lock. Every other field belongs to whoever holds that lock.
#pragma once

#include "kernel/text/VString.h"
#include "kernel/values/IRefCountable.h"
#include "kernel/values/KovaTypes.h"
#include "kernel/values/VObject.h"
#include "kernel/values/VRefPtr.h"
#include "kernel/values/VUUID.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kova
{

class IProgressInfoCollector;
class VJSONObject;
class VValueBag;
class VValueSingle;

// The fields a record carries as a change ("fUpdateFlags").
enum EProgressInfoUpdate : uint32_t
{
    kPROGRESS_UPDATE_MESSAGE = 0x001,
    kPROGRESS_UPDATE_VALUE = 0x002,
    kPROGRESS_UPDATE_MAX = 0x004,
    kPROGRESS_UPDATE_START_TIME = 0x008,
    kPROGRESS_UPDATE_CAN_INTERRUPT = 0x010,
    kPROGRESS_UPDATE_EXTRA_INFO_VERSION = 0x020,
    kPROGRESS_UPDATE_EXTRA_INFO = 0x040,
    kPROGRESS_UPDATE_ALL = 0x400,
};

class VProgressIndicatorInfo : public VObject
{
public:
    // The calling task's record: a new id, value and maximum 0, started now.
    VProgressIndicatorInfo();
    // Every field copied; the attributes deep-copied, the collected information shared.
    VProgressIndicatorInfo(const VProgressIndicatorInfo& inOther);
    VProgressIndicatorInfo& operator=(const VProgressIndicatorInfo& inOther);
    // As the copy; from null: value, maximum and start time 0, no message, interruptible, no
    // attributes, collector or collected information, version 0 (task id, id and timed kept).
    VProgressIndicatorInfo& operator=(const VProgressIndicatorInfo* inOther);
    ~VProgressIndicatorInfo() override;

    // As made anew, but for the task id and the id; the attributes go.
    void Reset();
    // Started now.
    void _ResetStartTime();

    int32_t GetTaskID() const { return fTaskID; }
    const VUUID& GetID() const { return fID; }
    const VString& GetRawMessage() const { return fMessage; }
    void SetMessage(const VString& inMessage) { fMessage.FromString(inMessage); }
    int64_t GetValue() const { return fValue.load(std::memory_order_relaxed); }
    void SetValue(int64_t inValue) { fValue.store(inValue, std::memory_order_relaxed); }
    // Wraps around rather than overflow.
    void AddToValue(int64_t inDelta) { fValue.fetch_add(inDelta, std::memory_order_relaxed); }
    int64_t GetMax() const { return fMax; }
    void SetMax(int64_t inMax) { fMax = inMax; }
    // Milliseconds of the system clock (VSystem::GetCurrentTime).
    uint32_t GetStartTime() const { return fStartTime; }
    bool IsTimed() const { return fTimed; }
    bool GetCanInterrupt() const { return fCanInterrupt; }
    void SetCanInterrupt(bool inCanInterrupt) { fCanInterrupt = inCanInterrupt; }
    bool IsRemote() const { return fRemote; }
    void SetRemote(bool inRemote) { fRemote = inRemote; }
    uint32_t GetExtraInfoBagVersion() const { return fExtraInfoBagVersion; }
    IProgressInfoCollector* GetCollector() const { return fCollector; }
    void SetCollector(IProgressInfoCollector* inCollector) { fCollector = inCollector; }
    // Not retained.
    VJSONObject* GetCollectedInfo() const { return fCollectedInfo.Get(); }
    // Takes over the caller's reference.
    void SetCollectedInfo(VJSONObject* inInfo);

    // The attributes: each change moves the version on.
    void SetAttribute(const VString& inName, const VValueSingle& inValue);
    void RemoveAttribute(const VString& inName);
    // The attributes retained, or null.
    VValueBag* RetainExtraInfoBag() const;

    // Writes the record, whole, or with a previous record only the fields that differ (0 when
    // none). outKind receives "VProgressIndicatorInfo". Returns 0.
    VError SaveToBag(VValueBag& ioBag, VString& outKind,
                     const VProgressIndicatorInfo* inPrevious = nullptr) const;
    // Reads what SaveToBag wrote (a record without "fUpdateFlags" is whole). Returns 0.
    VError LoadFromBag(const VValueBag& inBag);
    // The update flags of the bag: kPROGRESS_UPDATE_ALL when it has none.
    static uint32_t GetUpdateFlags(const VValueBag& inBag);
    // Takes the fields that the flags name (all of them with kPROGRESS_UPDATE_ALL); never the
    // start time.
    void UpdateFromRemoteInfo(const VProgressIndicatorInfo& inOther, uint32_t inFlags);

    // The message with its placeholders filled: {maxValue}, {curValue}, {rateValue} (the percentage
    // done, 0 without a maximum), {startTime} and {duration}. Nothing for an empty message.
    void GetMessage(VString& outMessage) const;
    // The object is emptied, then: "message", "maxValue", "currentValue", "interruptible",
    // "remote", "uuid", "taskId", "startTime" (local time), "duration" (ms), then a deep copy of
    // the collected information merged in.
    void GetJSONObject(VJSONObject& outObject) const;

    // Milliseconds since the start, and the percentage the value is of the maximum.
    uint32_t GetElapsedMilliseconds() const;
    int64_t GetRateValue() const;

private:
    void _CopyFrom(const VProgressIndicatorInfo& inOther);
    VValueBag* _EnsureExtraInfoBag();

    int32_t fTaskID = 0;
    VUUID fID;
    VString fMessage;
    std::atomic<int64_t> fValue{0};
    int64_t fMax = 0;
    uint32_t fStartTime = 0;
    bool fTimed = false;
    bool fCanInterrupt = true;
    bool fRemote = false;
    VRefPtr<VValueBag> fExtraInfoBag;
    uint32_t fExtraInfoBagVersion = 0;
    IProgressInfoCollector* fCollector = nullptr;
    VRefPtr<VJSONObject> fCollectedInfo;
};

// A snapshot of an indicator's sessions, outermost first: copies, owned, shared by reference
// counting with the readers that asked for it.
class VRefCountedSessionInfo : public VObject, public IRefCountable
{
public:
    VRefCountedSessionInfo() = default;
    explicit VRefCountedSessionInfo(std::vector<VProgressIndicatorInfo*>&& inSessions)
        : fSessions(std::move(inSessions))
    {
    }
    VRefCountedSessionInfo(const VRefCountedSessionInfo&) = delete;
    VRefCountedSessionInfo& operator=(const VRefCountedSessionInfo&) = delete;
    ~VRefCountedSessionInfo() override;

    const std::vector<VProgressIndicatorInfo*>& GetSessions() const { return fSessions; }

private:
    std::vector<VProgressIndicatorInfo*> fSessions;
};

} // namespace kova
