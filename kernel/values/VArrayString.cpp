#include "kernel/values/VArrayString.h"

#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"

namespace kova
{

namespace
{

// Stream markers of a slot.
constexpr uint32_t kSlotHoldsString = 2;
constexpr uint32_t kSlotIsEmpty = FourCharCode("NULL");

// The order and equality of two texts, collated by the calling task's international manager.
CompareResult CompareTexts(const VString& inFirst, const VString& inSecond, bool inDiacritical)
{
    return inFirst.CompareToString(inSecond, inDiacritical);
}

bool EqualTexts(const VString& inFirst, const VString& inSecond, bool inDiacritical)
{
    return inFirst.EqualToString(inSecond, inDiacritical);
}

} // namespace

VArrayString::VArrayString(int32_t inCount)
{
    SetCount(inCount);
}

VArrayString::VArrayString(const VArrayString& inOther) : VArrayOfValues(inOther)
{
    _CopyValues(inOther);
}

VArrayString& VArrayString::operator=(const VArrayString& inOther)
{
    Copy(inOther);
    return *this;
}

CompareResult VArrayString::_CompareValues(const VString& inFirst, const VString& inSecond) const
{
    return CompareTexts(inFirst, inSecond, true);
}

VString* VArrayString::_CopyValue(const VString& inValue) const
{
    return new VString(inValue);
}

// ---------------------------------------------------------------------------------------------
// Elements

void VArrayString::GetString(VString& outString, int32_t inIndex) const
{
    GetValue(outString, inIndex);
}

void VArrayString::FromString(const VString& inString, int32_t inIndex)
{
    if (!ValidIndex(inIndex))
        return;
    if (VString* slot = _Slot(inIndex); slot != nullptr)
        slot->FromString(inString);
    else
        _Replace(inIndex, new VString(inString));
}

void VArrayString::GetValue(VValueSingle& outValue, int32_t inIndex) const
{
    if (const VString* slot = _Slot(inIndex); slot != nullptr)
    {
        outValue.FromString(*slot);
        return;
    }
    _GiveMissing(outValue, inIndex);
}

void VArrayString::FromValue(const VValueSingle& inValue, int32_t inIndex)
{
    VString text;
    text.FromValue(inValue);
    FromString(text, inIndex);
}

VValueSingle* VArrayString::CloneValue(int32_t inIndex) const
{
    auto* text = new VString;
    GetValue(*text, inIndex);
    return text;
}

CompareResult VArrayString::CompareTo(const VValueSingle& inValue, bool inDiacritical, int32_t inIndex) const
{
    const VString* slot = _Slot(inIndex);
    if (slot == nullptr)
        return CR_SMALLER;
    VString text;
    inValue.GetString(text);
    return CompareTexts(*slot, text, inDiacritical);
}

int32_t VArrayString::Find(const VValueSingle& inValue, int32_t inStart, uint8_t inForward,
                           CompareMethod inMethod) const
{
    VString text;
    inValue.GetString(text);
    return Find(text, inStart, inForward, inMethod);
}

int32_t VArrayString::Find(const VString& inValue, int32_t inStart, uint8_t inForward,
                           CompareMethod inMethod) const
{
    VString* const* slots = _Slots();
    return FindInArray(fCount, inStart, inForward, inMethod,
                       [&](int32_t i)
                       {
                           if (slots[i] == nullptr)
                               return false;
                           if (inMethod == CM_VALUE_EQUAL)
                               return EqualTexts(inValue, *slots[i], false);
                           return MatchesCompareMethod(CompareTexts(inValue, *slots[i], false), inMethod);
                       });
}

int32_t VArrayString::QuickFind(const VString& inValue) const
{
    VString* const* slots = _Slots();
    return BisectArray(fCount,
                       [&](int32_t i)
                       {
                           if (slots[i] == nullptr)
                               return CR_SMALLER;
                           return InvertCompResult(CompareTexts(inValue, *slots[i], false));
                       });
}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VArrayString::WriteToStream(VStream* ioStream, int32_t inParam) const
{
    _WriteStreamHeader(ioStream, inParam);
    for (int32_t i = 0; i < fCount; ++i)
    {
        const VString* slot = _Slots()[i];
        if (slot == nullptr)
        {
            ioStream->Put(kSlotIsEmpty);
            continue;
        }
        ioStream->Put(kSlotHoldsString);
        slot->WriteToStream(ioStream, 0);
    }
    return ioStream->GetLastError();
}

VError VArrayString::ReadFromStream(VStream* ioStream, int32_t)
{
    int32_t count = 0;
    VError error = _ReadStreamCount(ioStream, sizeof(uint32_t), count);
    if (error == VE_OK)
        error = _ResetForRead(count);
    for (int32_t i = 0; i < count && error == VE_OK; ++i)
    {
        uint32_t marker = 0;
        error = ioStream->Get(marker);
        if (error != VE_OK || marker == kSlotIsEmpty)
            continue;
        if (marker != kSlotHoldsString)
            return ThrowCorruptData();
        auto* text = new VString;
        _Slots()[i] = text;
        error = text->ReadFromStream(ioStream, 0);
    }
    return error;
}

} // namespace kova
