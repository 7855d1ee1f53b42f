#include "kernel/values/VArrayImage.h"

#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"

#include <memory>

namespace kova
{

namespace
{

// What the writer puts in place of an empty slot.
constexpr size_t kEmptySlotBytes = 8;

bool IsPicture(const VValueSingle& inValue)
{
    return inValue.GetTrueValueKind() == VK_IMAGE;
}

} // namespace

VArrayImage::VArrayImage(int32_t inCount)
{
    SetCount(inCount);
}

VArrayImage::VArrayImage(const VArrayImage& inOther) : VArrayOfValues(inOther)
{
    _CopyValues(inOther);
}

VArrayImage& VArrayImage::operator=(const VArrayImage& inOther)
{
    Copy(inOther);
    return *this;
}

CompareResult VArrayImage::_CompareValues(const VValueSingle&, const VValueSingle&) const
{
    return CR_EQUAL;
}

VValueSingle* VArrayImage::_CopyValue(const VValueSingle& inValue) const
{
    return static_cast<VValueSingle*>(inValue.Clone());
}

// ---------------------------------------------------------------------------------------------
// Elements

// Only the two states: copying the whole flags byte would hand the target the buffer marks of
// another class.
void VArrayImage::GetValue(VValueSingle& outValue, int32_t inIndex) const
{
    if (const VValueSingle* slot = _Slot(inIndex); slot != nullptr)
    {
        outValue.SetNull(slot->IsNull());
        outValue.SetDirty(slot->IsDirty());
        return;
    }
    _GiveMissing(outValue, inIndex);
}

void VArrayImage::FromValue(const VValueSingle& inValue, int32_t inIndex)
{
    if (!ValidIndex(inIndex) || !IsPicture(inValue))
        return;
    if (VValueSingle* copy = _CopyValue(inValue); copy != nullptr)
        _Replace(inIndex, copy);
}

VValueSingle* VArrayImage::CloneValue(int32_t inIndex) const
{
    const VValueSingle* slot = _Slot(inIndex);
    return slot != nullptr ? _CopyValue(*slot) : nullptr;
}

int32_t VArrayImage::Find(const VValueSingle&, int32_t, uint8_t, CompareMethod) const
{
    return -1;
}

void VArrayImage::Sort(int32_t, int32_t, uint8_t) {}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VArrayImage::WriteToStream(VStream* ioStream, int32_t) const
{
    // The kind is never written, whatever the tag.
    ioStream->Put<int32_t>(fCount);
    static constexpr uint8_t kEmptySlot[kEmptySlotBytes] = {};
    for (int32_t i = 0; i < fCount; ++i)
    {
        const VValueSingle* slot = _Slots()[i];
        VError error = slot != nullptr ? slot->WriteToStream(ioStream, 0)
                                       : ioStream->PutData(kEmptySlot, kEmptySlotBytes);
        if (error != VE_OK)
            return error;
    }
    return ioStream->GetLastError();
}

VError VArrayImage::ReadFromStream(VStream* ioStream, int32_t)
{
    SetCount(0);
    int32_t count = 0;
    VError error = _ReadStreamCount(ioStream, kEmptySlotBytes, count);
    if (error == VE_OK)
        error = _ResetForRead(count);
    const VValueInfo* pictures = VValue::ValueInfoFromValueKind(VK_IMAGE);
    for (int32_t i = 0; i < count && error == VE_OK; ++i)
    {
        if (pictures != nullptr)
        {
            std::unique_ptr<VValue> made(pictures->Generate());
            VValueSingle* picture = made != nullptr ? made->IsVValueSingle() : nullptr;
            if (picture == nullptr)
                return ThrowCorruptData();
            made.release();
            _Slots()[i] = picture;
            error = picture->ReadFromStream(ioStream, 0);
            continue;
        }
        uint8_t slot[kEmptySlotBytes];
        error = ioStream->GetData(slot, kEmptySlotBytes);
        for (size_t b = 0; b < kEmptySlotBytes && error == VE_OK; ++b)
        {
            if (slot[b] != 0)
                error = ThrowCorruptData();
        }
    }
    return error;
}

} // namespace kova
