#include "kernel/values/VArrayBlob.h"

#include "kernel/files/VStream.h"

#include <cstring>

namespace kova
{

namespace
{

// A copy of any blob, or null when its bytes could not all be had.
VBlobWithPtr* CopyBlob(const VBlob& inBlob)
{
    auto* copy = new VBlobWithPtr(inBlob);
    if (!inBlob.IsNull() && copy->GetSize() != inBlob.GetSize())
    {
        delete copy;
        return nullptr;
    }
    return copy;
}

bool SameBytes(const VBlobWithPtr& inFirst, const VBlobWithPtr& inSecond)
{
    size_t size = inFirst.GetSize();
    return size == inSecond.GetSize() &&
           (size == 0 || std::memcmp(inFirst.GetDataPtr(), inSecond.GetDataPtr(), size) == 0);
}

} // namespace

VArrayBlob::VArrayBlob(int32_t inCount)
{
    SetCount(inCount);
}

VArrayBlob::VArrayBlob(const VArrayBlob& inOther) : VArrayOfValues(inOther)
{
    _CopyValues(inOther);
}

VArrayBlob& VArrayBlob::operator=(const VArrayBlob& inOther)
{
    Copy(inOther);
    return *this;
}

CompareResult VArrayBlob::_CompareValues(const VBlobWithPtr& inFirst, const VBlobWithPtr& inSecond) const
{
    return inFirst.CompareToSameKind(&inSecond, false);
}

VBlobWithPtr* VArrayBlob::_CopyValue(const VBlobWithPtr& inValue) const
{
    return CopyBlob(inValue);
}

// ---------------------------------------------------------------------------------------------
// Elements

void VArrayBlob::GetValue(VValueSingle& outValue, int32_t inIndex) const
{
    if (const VBlobWithPtr* slot = _Slot(inIndex); slot != nullptr)
    {
        slot->GetValue(outValue);
        return;
    }
    _GiveMissing(outValue, inIndex);
}

void VArrayBlob::FromValue(const VValueSingle& inValue, int32_t inIndex)
{
    const auto* blob = dynamic_cast<const VBlob*>(&inValue);
    if (blob == nullptr || !ValidIndex(inIndex))
        return;
    if (VBlobWithPtr* copy = CopyBlob(*blob); copy != nullptr)
        _Replace(inIndex, copy);
}

VValueSingle* VArrayBlob::CloneValue(int32_t inIndex) const
{
    auto* blob = new VBlobWithPtr;
    GetValue(*blob, inIndex);
    return blob;
}

CompareResult VArrayBlob::CompareTo(const VValueSingle& inValue, bool, int32_t inIndex) const
{
    const VBlobWithPtr* slot = _Slot(inIndex);
    if (slot == nullptr)
        return CR_SMALLER;
    return slot->CompareToSameKind(&inValue, false);
}

int32_t VArrayBlob::Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                         CompareMethod inMethod) const
{
    const auto* blob = dynamic_cast<const VBlob*>(&inValue);
    if (blob == nullptr || inMethod != CM_VALUE_EQUAL)
        return -1;
    // One copy gives the searched bytes whatever the blob's class.
    VBlobWithPtr searched(*blob);
    VBlobWithPtr* const* slots = _Slots();
    return FindInArray(fCount, inStart, inForward, inMethod,
                       [&](int32_t i) { return slots[i] != nullptr && SameBytes(searched, *slots[i]); });
}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VArrayBlob::WriteToStream(VStream* ioStream, int32_t inParam) const
{
    _WriteStreamHeader(ioStream, inParam);
    for (int32_t i = 0; i < fCount; ++i)
    {
        const VBlobWithPtr* slot = _Slots()[i];
        VError error = slot != nullptr ? slot->WriteToStream(ioStream, 0) : ioStream->Put<uint32_t>(0);
        if (error != VE_OK)
            return error;
    }
    return ioStream->GetLastError();
}

VError VArrayBlob::ReadFromStream(VStream* ioStream, int32_t)
{
    int32_t count = 0;
    VError error = _ReadStreamCount(ioStream, sizeof(uint32_t), count);
    if (error == VE_OK)
        error = _ResetForRead(count);
    for (int32_t i = 0; i < count && error == VE_OK; ++i)
    {
        auto* blob = new VBlobWithPtr;
        _Slots()[i] = blob;
        error = blob->ReadFromStream(ioStream, 0);
    }
    return error;
}

} // namespace kova
