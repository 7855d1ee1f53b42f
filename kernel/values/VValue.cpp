#include "kernel/values/VValue.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/json/VJSONValue.h"
#include "kernel/text/VString.h"
#include "kernel/values/VEmpty.h"
#include "kernel/values/VValueInfo.h"

#include <map>
#include <mutex>

namespace kova
{

// The registry is constant-initialised (no constructor runs), so the descriptors that register
// from static initialisers of any unit find it ready. Its map comes from the global allocator,
// never from the memory manager, which does not exist yet then; it is never freed. Lookups and
// changes take the lock, so a late registration cannot race a lookup.
class VValueInfoRegistry
{
public:
    constexpr VValueInfoRegistry() = default;

    void Register(const VValueInfo* inInfo)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fInfos == nullptr)
            fInfos = new std::map<ValueKind, const VValueInfo*>;
        (*fInfos)[inInfo->GetTrueKind()] = inInfo;
    }

    void Unregister(const VValueInfo* inInfo)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fInfos != nullptr)
            fInfos->erase(inInfo->GetTrueKind());
    }

    const VValueInfo* Find(ValueKind inKind)
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fInfos == nullptr)
            return nullptr;
        auto found = fInfos->find(inKind);
        return found == fInfos->end() ? nullptr : found->second;
    }

private:
    std::mutex fMutex;
    std::map<ValueKind, const VValueInfo*>* fInfos = nullptr;
};

constinit VValueInfoRegistry VValue::sInfos;

namespace
{

// The descriptor of classes that name none of their own. Reached through a function so that a
// static initialiser of another unit may ask for it first.
const VValueInfo& DefaultValueInfo()
{
    static const VValueInfo_default<VEmpty, VK_UNDEFINED> sDefault;
    return sDefault;
}

// Built and registered before the entry point runs, like every other kind.
[[maybe_unused]] const VValueInfo& sDefaultValueInfoRegistered = DefaultValueInfo();

} // namespace

void VValue::SetNull(bool inNull)
{
    if (IsNull() == inNull)
        return;
    fFlags = inNull ? uint8_t(fFlags | kFlagNull) : uint8_t(fFlags & ~kFlagNull);
    DoNullChanged();
    // The hook may have changed the flags; the asked state wins.
    fFlags = inNull ? uint8_t(fFlags | kFlagNull) : uint8_t(fFlags & ~kFlagNull);
    if (!IsDirty())
    {
        fFlags |= kFlagDirty;
        DoDirtyChanged();
    }
}

void VValue::SetDirty(bool inDirty)
{
    if (IsDirty() == inDirty)
        return;
    fFlags = inDirty ? uint8_t(fFlags | kFlagDirty) : uint8_t(fFlags & ~kFlagDirty);
    DoDirtyChanged();
}

ValueKind VValue::GetTrueValueKind() const
{
    return GetValueInfo()->GetTrueKind();
}

// ---------------------------------------------------------------------------------------------
// Registry

void VValue::RegisterValueInfo(const VValueInfo* inInfo)
{
    if (inInfo != nullptr)
        sInfos.Register(inInfo);
}

void VValue::UnregisterValueInfo(const VValueInfo* inInfo)
{
    if (inInfo != nullptr)
        sInfos.Unregister(inInfo);
}

const VValueInfo* VValue::ValueInfoFromValueKind(ValueKind inKind)
{
    return sInfos.Find(inKind);
}

VValue* VValue::NewValueFromValueKind(ValueKind inKind)
{
    const VValueInfo* info = sInfos.Find(inKind);
    return info == nullptr ? nullptr : info->Generate();
}

CompareResult VValue::InvertCompResult(CompareResult inResult)
{
    if (inResult == CR_SMALLER)
        return CR_BIGGER;
    if (inResult == CR_BIGGER)
        return CR_SMALLER;
    return inResult;
}

// ---------------------------------------------------------------------------------------------
// Identity and JSON

const VValueInfo* VValue::GetValueInfo() const
{
    return &DefaultValueInfo();
}

void VValue::Clear() {}

VError VValue::FromJSONString(const VString&, uint32_t)
{
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

VError VValue::GetJSONString(VString&, uint32_t) const
{
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

VError VValue::FromJSONValue(const VJSONValue&)
{
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

VError VValue::GetJSONValue(VJSONValue& outJSONValue, uint32_t) const
{
    outJSONValue.SetUndefined();
    _ThrowError(VE_UNIMPLEMENTED);
    return VE_UNIMPLEMENTED;
}

// ---------------------------------------------------------------------------------------------
// Comparison: the base finds every pair equal; each form falls back on its plain twin.

CompareResult VValue::CompareToSameKindWithOptions(const VValue*, const VCompareOptions&) const
{
    return CR_EQUAL;
}

bool VValue::EqualToSameKindWithOptions(const VValue* inValue, const VCompareOptions& inOptions) const
{
    return CompareToSameKindWithOptions(inValue, inOptions) == CR_EQUAL;
}

CompareResult VValue::CompareToSameKindPtrWithOptions(const void*, const VCompareOptions&) const
{
    return CR_EQUAL;
}

bool VValue::EqualToSameKindPtrWithOptions(const void* inData, const VCompareOptions& inOptions) const
{
    return CompareToSameKindPtrWithOptions(inData, inOptions) == CR_EQUAL;
}

CompareResult VValue::Swap_CompareToSameKindPtrWithOptions(const void* inData,
                                                           const VCompareOptions& inOptions) const
{
    return InvertCompResult(CompareToSameKindPtrWithOptions(inData, inOptions));
}

CompareResult VValue::CompareToSameKind(const VValue*, bool) const
{
    return CR_EQUAL;
}

CompareResult VValue::CompareBeginingToSameKind(const VValue* inValue, bool inDiacritical) const
{
    return CompareToSameKind(inValue, inDiacritical);
}

bool VValue::EqualToSameKind(const VValue* inValue, bool inDiacritical) const
{
    return CompareToSameKind(inValue, inDiacritical) == CR_EQUAL;
}

bool VValue::FromValueSameKind(const VValue*)
{
    return false;
}

CompareResult VValue::CompareToSameKindPtr(const void*, bool) const
{
    return CR_EQUAL;
}

CompareResult VValue::Swap_CompareToSameKindPtr(const void* inData, bool inDiacritical) const
{
    return InvertCompResult(CompareToSameKindPtr(inData, inDiacritical));
}

CompareResult VValue::CompareBeginingToSameKindPtr(const void* inData, bool inDiacritical) const
{
    return CompareToSameKindPtr(inData, inDiacritical);
}

CompareResult VValue::IsTheBeginingToSameKindPtr(const void* inData, bool inDiacritical) const
{
    return CompareToSameKindPtr(inData, inDiacritical);
}

bool VValue::EqualToSameKindPtr(const void* inData, bool inDiacritical) const
{
    return CompareToSameKindPtr(inData, inDiacritical) == CR_EQUAL;
}

CompareResult VValue::CompareToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    return CompareToSameKind(inValue, inDiacritical);
}

CompareResult VValue::CompareBeginingToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    return CompareBeginingToSameKind(inValue, inDiacritical);
}

bool VValue::EqualToSameKind_Like(const VValue* inValue, bool inDiacritical) const
{
    return EqualToSameKind(inValue, inDiacritical);
}

CompareResult VValue::CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return CompareToSameKindPtr(inData, inDiacritical);
}

CompareResult VValue::Swap_CompareToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return Swap_CompareToSameKindPtr(inData, inDiacritical);
}

CompareResult VValue::CompareBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return CompareBeginingToSameKindPtr(inData, inDiacritical);
}

CompareResult VValue::IsTheBeginingToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return IsTheBeginingToSameKindPtr(inData, inDiacritical);
}

bool VValue::EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return EqualToSameKindPtr(inData, inDiacritical);
}

bool VValue::Swap_EqualToSameKindPtr_Like(const void* inData, bool inDiacritical) const
{
    return EqualToSameKindPtr(inData, inDiacritical);
}

// ---------------------------------------------------------------------------------------------
// Packed and stream forms: the base has none.

const void* VValue::LoadFromPtr(const void* inData, bool)
{
    return inData;
}

void* VValue::WriteToPtr(void* outData, bool, size_t) const
{
    return outData;
}

size_t VValue::GetSpace(uint64_t&, size_t) const
{
    return 0;
}

bool VValue::CanBeStreamed() const
{
    return false;
}

size_t VValue::GetFullSpaceOnDisk(uint64_t& ioOutsideSpace) const
{
    return GetSpace(ioOutsideSpace, 0);
}

VError VValue::ReadFromStream(VStream* ioStream, int32_t)
{
    return ioStream->GetLastError();
}

VError VValue::WriteToStream(VStream* ioStream, int32_t) const
{
    return ioStream->GetLastError();
}

size_t VValue::GetStreamSpace() const
{
    uint64_t outsideSpace = 0;
    return GetSpace(outsideSpace, 0);
}

// ---------------------------------------------------------------------------------------------
// Outside storage hooks

int32_t VValue::Flush(void*, void*) const
{
    return 0;
}

void VValue::SetReservedBlobNumber(int32_t) {}

VValue* VValue::FullyClone(bool) const
{
    return Clone();
}

void VValue::RestoreFromPop(void*) {}

void VValue::Detach(bool) {}

bool VValue::WillContainBlobData() const
{
    return false;
}

void VValue::SetOutsidePath(const VString&, bool) {}

void VValue::GetOutsidePath(VString& outPath, bool) const
{
    outPath.Clear();
}

void VValue::SetOutsideSuffixe(const VString&) {}

bool VValue::IsOutsidePath() const
{
    return false;
}

VError VValue::ReloadFromOutsidePath()
{
    return VE_OK;
}

bool VValue::ForcePathIfEmpty() const
{
    return false;
}

void VValue::SetForcePathIfEmpty(bool) {}

void VValue::SetHintRecNum(int32_t, int32_t, int32_t) {}

void VValue::AssociateRecord(void*, int32_t) {}

bool VValue::HasInternalPropertyChanged() const
{
    return false;
}

void VValue::ResetInternalPropertyChanged() {}

void VValue::AddJSONStamp(uint32_t) {}

VError VValue::ReadRawFromStream(VStream* ioStream, int32_t inParam)
{
    return ReadFromStream(ioStream, inParam);
}

VBlob* VValue::GetDataBlob() const
{
    return nullptr;
}

bool VValue::CanBeEvaluated() const
{
    return true;
}

void VValue::DoNullChanged() {}

void VValue::DoDirtyChanged() {}

} // namespace kova
