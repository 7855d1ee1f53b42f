#include "kernel/errors/VProgressIndicatorInfo.h"

#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/tasks/VSystem.h"
#include "kernel/tasks/VTaskMgr.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VTime.h"
#include "kernel/values/VValueBag.h"
#include "kernel/values/VValueSingle.h"

#include <cmath>
#include <limits>
#include <new>

namespace kova
{

namespace
{

// The keys of a record's bag form.
const char* const kUpdateFlags = "fUpdateFlags";
const char* const kMessage = "fMessage";
const char* const kValue = "fValue";
const char* const kMax = "fMax";
const char* const kStartTime = "fStartTime";
const char* const kCanInterrupt = "fCanInterrupt";
const char* const kExtraInfoBagVersion = "fExtraInfoBagVersion";
const char* const kExtraInfo = "ExtraInfo";

// The date of an instant that lies inElapsed milliseconds before now.
VTime TimeBeforeNow(uint32_t inElapsed)
{
    VTime time;
    VTime::Now(time);
    time.AddMilliseconds(-int64_t(inElapsed));
    return time;
}

} // namespace

VProgressIndicatorInfo::VProgressIndicatorInfo()
    : fTaskID(VTaskMgr::GetCurrentTaskID()), fID(true), fStartTime(VSystem::GetCurrentTime()), fTimed(true),
      fExtraInfoBagVersion(1)
{
}

VProgressIndicatorInfo::VProgressIndicatorInfo(const VProgressIndicatorInfo& inOther) : VObject(inOther)
{
    _CopyFrom(inOther);
}

VProgressIndicatorInfo& VProgressIndicatorInfo::operator=(const VProgressIndicatorInfo& inOther)
{
    if (this != &inOther)
        _CopyFrom(inOther);
    return *this;
}

VProgressIndicatorInfo& VProgressIndicatorInfo::operator=(const VProgressIndicatorInfo* inOther)
{
    if (inOther != nullptr)
        return *this = *inOther;
    SetValue(0);
    fMax = 0;
    fStartTime = 0;
    fMessage.Clear();
    fCanInterrupt = true;
    fExtraInfoBagVersion = 0;
    fExtraInfoBag = nullptr;
    fCollector = nullptr;
    fCollectedInfo = nullptr;
    return *this;
}

VProgressIndicatorInfo::~VProgressIndicatorInfo() = default;

void VProgressIndicatorInfo::_CopyFrom(const VProgressIndicatorInfo& inOther)
{
    fTaskID = inOther.fTaskID;
    fID = inOther.fID;
    fMessage.FromString(inOther.fMessage);
    SetValue(inOther.GetValue());
    fMax = inOther.fMax;
    fStartTime = inOther.fStartTime;
    fTimed = inOther.fTimed;
    fCanInterrupt = inOther.fCanInterrupt;
    fRemote = inOther.fRemote;
    fExtraInfoBag.Reset(inOther.fExtraInfoBag != nullptr ? inOther.fExtraInfoBag->Clone() : nullptr);
    fExtraInfoBagVersion = inOther.fExtraInfoBagVersion;
    fCollector = inOther.fCollector;
    fCollectedInfo = inOther.fCollectedInfo;
}

void VProgressIndicatorInfo::Reset()
{
    fMessage.Clear();
    SetValue(0);
    fMax = 0;
    _ResetStartTime();
    fCanInterrupt = true;
    fRemote = false;
    fExtraInfoBag = nullptr;
    ++fExtraInfoBagVersion;
    fCollector = nullptr;
    fCollectedInfo = nullptr;
}

void VProgressIndicatorInfo::_ResetStartTime()
{
    fStartTime = VSystem::GetCurrentTime();
    fTimed = true;
}

void VProgressIndicatorInfo::SetCollectedInfo(VJSONObject* inInfo)
{
    fCollectedInfo.Reset(inInfo);
}

VValueBag* VProgressIndicatorInfo::_EnsureExtraInfoBag()
{
    if (fExtraInfoBag == nullptr)
        fExtraInfoBag.Reset(new (std::nothrow) VValueBag);
    return fExtraInfoBag.Get();
}

void VProgressIndicatorInfo::SetAttribute(const VString& inName, const VValueSingle& inValue)
{
    if (VValueBag* bag = _EnsureExtraInfoBag(); bag != nullptr && bag->SetAttribute(inName, inValue))
        ++fExtraInfoBagVersion;
}

void VProgressIndicatorInfo::RemoveAttribute(const VString& inName)
{
    if (fExtraInfoBag == nullptr)
        return;
    fExtraInfoBag->RemoveAttribute(inName);
    ++fExtraInfoBagVersion;
}

VValueBag* VProgressIndicatorInfo::RetainExtraInfoBag() const
{
    return RetainRefCountable(fExtraInfoBag.Get());
}

VError VProgressIndicatorInfo::SaveToBag(VValueBag& ioBag, VString& outKind,
                                         const VProgressIndicatorInfo* inPrevious) const
{
    outKind.FromCString("VProgressIndicatorInfo");
    const int64_t value = GetValue();
    uint32_t flags = 0;
    if (inPrevious == nullptr)
        flags = kPROGRESS_UPDATE_ALL;
    else
    {
        if (!fMessage.EqualToString(inPrevious->fMessage, false))
            flags |= kPROGRESS_UPDATE_MESSAGE;
        if (value != inPrevious->GetValue())
            flags |= kPROGRESS_UPDATE_VALUE;
        if (fMax != inPrevious->fMax)
            flags |= kPROGRESS_UPDATE_MAX;
        if (fStartTime != inPrevious->fStartTime)
            flags |= kPROGRESS_UPDATE_START_TIME;
        if (fCanInterrupt != inPrevious->fCanInterrupt)
            flags |= kPROGRESS_UPDATE_CAN_INTERRUPT;
        if (fExtraInfoBagVersion != inPrevious->fExtraInfoBagVersion)
        {
            flags |= kPROGRESS_UPDATE_EXTRA_INFO_VERSION;
            if (fExtraInfoBag != nullptr)
                flags |= kPROGRESS_UPDATE_EXTRA_INFO;
        }
    }
    const bool all = flags == kPROGRESS_UPDATE_ALL;
    ioBag.SetLong(kUpdateFlags, int32_t(flags));
    if (all || (flags & kPROGRESS_UPDATE_MESSAGE) != 0)
        ioBag.SetString(kMessage, fMessage);
    if (all || (flags & kPROGRESS_UPDATE_VALUE) != 0)
        ioBag.SetLong8(kValue, value);
    if (all || (flags & kPROGRESS_UPDATE_MAX) != 0)
        ioBag.SetLong8(kMax, fMax);
    if (all || (flags & kPROGRESS_UPDATE_START_TIME) != 0)
        ioBag.SetLong(kStartTime, int32_t(fStartTime));
    if (all || (flags & kPROGRESS_UPDATE_CAN_INTERRUPT) != 0)
        ioBag.SetBool(kCanInterrupt, fCanInterrupt);
    if (all || (flags & kPROGRESS_UPDATE_EXTRA_INFO_VERSION) != 0)
        ioBag.SetLong(kExtraInfoBagVersion, int32_t(fExtraInfoBagVersion));
    if ((all || (flags & kPROGRESS_UPDATE_EXTRA_INFO) != 0) && fExtraInfoBag != nullptr)
    {
        VRefPtr<VValueBag> copy(fExtraInfoBag->Clone());
        if (copy != nullptr)
            ioBag.AddElement(kExtraInfo, copy.Get());
    }
    return VE_OK;
}

uint32_t VProgressIndicatorInfo::GetUpdateFlags(const VValueBag& inBag)
{
    int32_t flags = 0;
    return inBag.GetLong(kUpdateFlags, flags) ? uint32_t(flags) : kPROGRESS_UPDATE_ALL;
}

VError VProgressIndicatorInfo::LoadFromBag(const VValueBag& inBag)
{
    const uint32_t flags = GetUpdateFlags(inBag);
    const bool all = (flags & kPROGRESS_UPDATE_ALL) != 0;
    if (all && !inBag.GetString(kMessage, fMessage))
        fMessage.Clear();
    else if (!all && (flags & kPROGRESS_UPDATE_MESSAGE) != 0)
        inBag.GetString(kMessage, fMessage);
    int64_t number = 0;
    if ((all || (flags & kPROGRESS_UPDATE_VALUE) != 0) && inBag.GetLong8(kValue, number))
        SetValue(number);
    if (all || (flags & kPROGRESS_UPDATE_MAX) != 0)
        inBag.GetLong8(kMax, fMax);
    int32_t small = 0;
    if ((all || (flags & kPROGRESS_UPDATE_START_TIME) != 0) && inBag.GetLong(kStartTime, small))
        fStartTime = uint32_t(small);
    if (all || (flags & kPROGRESS_UPDATE_CAN_INTERRUPT) != 0)
        inBag.GetBool(kCanInterrupt, fCanInterrupt);
    if ((all || (flags & kPROGRESS_UPDATE_EXTRA_INFO_VERSION) != 0) &&
        inBag.GetLong(kExtraInfoBagVersion, small))
        fExtraInfoBagVersion = uint32_t(small);
    if (all || (flags & kPROGRESS_UPDATE_EXTRA_INFO) != 0)
    {
        // Exactly one "ExtraInfo" element, copied; anything else leaves no attributes.
        fExtraInfoBag = nullptr;
        VBagArray* elements = inBag.GetElements(kExtraInfo);
        if (elements != nullptr && elements->GetCount() == 1 && elements->GetNth(1) != nullptr)
            fExtraInfoBag.Reset(elements->GetNth(1)->Clone());
    }
    return VE_OK;
}

void VProgressIndicatorInfo::UpdateFromRemoteInfo(const VProgressIndicatorInfo& inOther, uint32_t inFlags)
{
    if ((inFlags & kPROGRESS_UPDATE_ALL) != 0)
    {
        *this = inOther;
        return;
    }
    if ((inFlags & kPROGRESS_UPDATE_MESSAGE) != 0)
        fMessage.FromString(inOther.fMessage);
    if ((inFlags & kPROGRESS_UPDATE_VALUE) != 0)
        SetValue(inOther.GetValue());
    if ((inFlags & kPROGRESS_UPDATE_MAX) != 0)
        fMax = inOther.fMax;
    if ((inFlags & kPROGRESS_UPDATE_CAN_INTERRUPT) != 0)
        fCanInterrupt = inOther.fCanInterrupt;
    if ((inFlags & kPROGRESS_UPDATE_EXTRA_INFO_VERSION) != 0)
        fExtraInfoBagVersion = inOther.fExtraInfoBagVersion;
    if ((inFlags & kPROGRESS_UPDATE_EXTRA_INFO) != 0)
        fExtraInfoBag.Reset(inOther.fExtraInfoBag != nullptr ? inOther.fExtraInfoBag->Clone() : nullptr);
}

uint32_t VProgressIndicatorInfo::GetElapsedMilliseconds() const
{
    // The clock's 32 bits wrap: the difference stays right across the wrap.
    return VSystem::GetCurrentTime() - fStartTime;
}

int64_t VProgressIndicatorInfo::GetRateValue() const
{
    if (fMax <= 0)
        return 0;
    const double rate = double(GetValue()) / double(fMax) * 100.0;
    if (std::isnan(rate) || rate <= 0)
        return 0;
    // 2^63 as a double: anything from there on is beyond a 64-bit integer.
    constexpr double kLimit = 9223372036854775808.0;
    return rate >= kLimit ? std::numeric_limits<int64_t>::max() : int64_t(rate);
}

void VProgressIndicatorInfo::GetMessage(VString& outMessage) const
{
    if (fMessage.IsEmpty())
        return;
    outMessage.FromString(fMessage);
    VRefPtr<VValueBag> figures(new (std::nothrow) VValueBag);
    if (figures == nullptr)
        return;
    const uint32_t elapsed = GetElapsedMilliseconds();
    figures->SetLong8("maxValue", fMax);
    figures->SetLong8("curValue", GetValue());
    figures->SetLong8("rateValue", GetRateValue());
    VString startTime;
    TimeBeforeNow(elapsed).GetString(startTime);
    figures->SetString("startTime", startTime);
    figures->SetDuration("duration", VDuration(int64_t(elapsed)));
    outMessage.Format(figures.Get(), true);
}

void VProgressIndicatorInfo::GetJSONObject(VJSONObject& outObject) const
{
    outObject.Clear();
    VString message;
    GetMessage(message);
    const uint32_t elapsed = GetElapsedMilliseconds();
    outObject.SetProperty("message", VJSONValue(message));
    outObject.SetProperty("maxValue", VJSONValue(double(fMax)));
    outObject.SetProperty("currentValue", VJSONValue(double(GetValue())));
    VJSONValue flag;
    flag.SetBool(fCanInterrupt);
    outObject.SetProperty("interruptible", flag);
    flag.SetBool(fRemote);
    outObject.SetProperty("remote", flag);
    VString id;
    fID.GetString(id);
    outObject.SetProperty("uuid", VJSONValue(id));
    outObject.SetProperty("taskId", VJSONValue(double(fTaskID)));
    VString startTime;
    TimeBeforeNow(elapsed).GetStringLocalTime(startTime);
    outObject.SetProperty("startTime", VJSONValue(startTime));
    outObject.SetProperty("duration", VJSONValue(double(elapsed)));
    if (fCollectedInfo != nullptr)
    {
        VJSONCloner cloner;
        VJSONValue copy(fCollectedInfo.Get());
        if (cloner.CloneValue(copy) == VE_OK && copy.IsObject())
            outObject.MergeWith(copy.GetObject(), false);
    }
}

VRefCountedSessionInfo::~VRefCountedSessionInfo()
{
    for (VProgressIndicatorInfo* session : fSessions)
        delete session;
}

} // namespace kova
