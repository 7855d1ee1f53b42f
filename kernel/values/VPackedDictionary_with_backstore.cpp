#include "kernel/values/VPackedDictionary_with_backstore.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VValueInfo.h"
#include "kernel/values/VValueSingle.h"

#include <cstring>
#include <new>
#include <utility>

namespace kova
{

namespace
{

size_t PackedSize(const VValueSingle& inValue)
{
    uint64_t outside = 0;
    return inValue.GetSpace(outside, 0);
}

// The packed size of the kinds whose size the stored form fixes, whatever their descriptor.
// 0 for the others.
size_t FixedDataBytes(ValueKind inKind)
{
    switch (inKind)
    {
    case VK_BOOLEAN:
    case VK_BYTE:
        return 1;
    case VK_WORD:
        return 2;
    case VK_LONG:
        return 4;
    case VK_LONG8:
    case VK_REAL:
    case VK_DURATION:
        return 8;
    default:
        return 0;
    }
}

// Entry bytes of an entry that came from outside, whose data may be in the other byte order.
// Only the data's first bytes are read, from a zeroed copy, so that a size cannot be computed
// from bytes beyond inAvailable. Every kind of the toolbox whose packed size depends on its data
// (strings, blobs) starts with a 32-bit count; the others do not read their bytes for a size.
size_t UntrustedEntryBytes(ValueKind inKind, const uint8_t* inData, size_t inAvailable, bool inSwapped)
{
    if (size_t fixed = FixedDataBytes(inKind); fixed != 0)
        return fixed + 2;
    const VValueInfo* info = VValue::ValueInfoFromValueKind(inKind);
    if (info == nullptr)
        return 2;
    uint8_t head[16] = {};
    std::memcpy(head, inData, inAvailable < sizeof(head) ? inAvailable : sizeof(head));
    if (inSwapped)
    {
        std::swap(head[0], head[3]);
        std::swap(head[1], head[2]);
    }
    return info->GetSizeOfValueDataPtr(head) + 2;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Value policy

bool VPackedValue_VValueSingle::SaveValueCheckSpace(const VValueSingle& inValue, uint16_t* ioEntry,
                                                    size_t inEntryBytes)
{
    size_t dataBytes = PackedSize(inValue);
    if (dataBytes + 2 != inEntryBytes)
        return false;
    ioEntry[0] = inValue.GetTrueValueKind();
    if (dataBytes != 0)
        inValue.WriteToPtr(ioEntry + 1, false, dataBytes);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Construction and copy

VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::VPackedDictionary_with_backstore(
    const VPackedDictionary_with_backstore& inOther)
    : VPackedDictionary_attributes_base()
{
    if (!AssignFrom(inOther))
        _ThrowError(VE_MEMORY_FULL);
}

VPackedDictionary_with_backstore<VPackedValue_VValueSingle>&
VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::operator=(
    const VPackedDictionary_with_backstore& inOther)
{
    if (!AssignFrom(inOther))
        _ThrowError(VE_MEMORY_FULL);
    return *this;
}

VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::~VPackedDictionary_with_backstore()
{
    _DeleteCachedValues();
}

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::AssignFrom(
    const VPackedDictionary_with_backstore& inOther)
{
    if (&inOther == this)
        return true;
    Destroy();
    if (!inOther._PackIfPending())
        return false;
    if (!_CopyKeysFrom(inOther, true))
        return false;
    try
    {
        fBackstore = inOther.fBackstore;
    }
    catch (const std::bad_alloc&)
    {
        _ClearKeys();
        return false;
    }
    // The copy holds packed values only.
    for (Slot& slot : fSlots)
        slot.fValue = nullptr;
    fPackPending = false;
    return true;
}

void VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::_DeleteCachedValues()
{
    for (Slot& slot : fSlots)
    {
        delete slot.fValue;
        slot.fValue = nullptr;
    }
}

void VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::Destroy()
{
    _DeleteCachedValues();
    _ClearKeys();
    fBackstore.clear();
    fBackstore.shrink_to_fit();
    fPackPending = false;
}

// ---------------------------------------------------------------------------------------------
// Entries

size_t VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::EntryBytes(const uint16_t* inEntry)
{
    ValueKind kind = inEntry[0];
    if (size_t fixed = FixedDataBytes(kind); fixed != 0)
        return fixed + 2;
    const VValueInfo* info = VValue::ValueInfoFromValueKind(kind);
    if (info == nullptr)
        return 2;
    return info->GetSizeOfValueDataPtr(inEntry + 1) + 2;
}

void VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::_WriteEntry(const VValueSingle& inValue,
                                                                              uint16_t* outEntry,
                                                                              size_t inDataBytes)
{
    outEntry[0] = inValue.GetTrueValueKind();
    if (inDataBytes != 0)
        inValue.WriteToPtr(outEntry + 1, false, inDataBytes);
}

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::Append(const StPackedDictionaryKey& inKey,
                                                                         const VValueSingle& inValue)
{
    size_t dataBytes = PackedSize(inValue);
    size_t units = EntryUnits(dataBytes + 2);
    size_t offset = fBackstore.size();
    try
    {
        fBackstore.resize(offset + units, 0);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    Slot slot;
    slot.fBackstoreOffset = offset;
    if (_AppendKeyAndSlot(inKey, slot) == kNotFound)
    {
        fBackstore.resize(offset);
        return false;
    }
    _WriteEntry(inValue, fBackstore.data() + offset, dataBytes);
    return true;
}

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::SetExistingValue(
    const StPackedDictionaryKey& inKey, const VValueSingle& inValue)
{
    size_t index = _Find(inKey);
    if (index == kNotFound)
        return false;
    Slot& slot = fSlots[index];
    if (slot.fValue == nullptr)
    {
        uint16_t* entry = fBackstore.data() + slot.fBackstoreOffset;
        if (VPackedValue_VValueSingle::SaveValueCheckSpace(inValue, entry, EntryBytes(entry)))
            return true;
        VValue* clone = inValue.Clone();
        if (clone == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            return true;
        }
        slot.fValue = clone->IsVValueSingle();
        fPackPending = true;
        return true;
    }
    if (slot.fValue != &inValue)
    {
        if (slot.fValue->GetTrueValueKind() != inValue.GetTrueValueKind() ||
            !slot.fValue->FromValueSameKind(&inValue))
        {
            VValue* clone = inValue.Clone();
            if (clone == nullptr)
            {
                _ThrowError(VE_MEMORY_FULL);
                return true;
            }
            delete slot.fValue;
            slot.fValue = clone->IsVValueSingle();
        }
    }
    fPackPending = true;
    return true;
}

VValueSingle* VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::GetNthValue(size_t inIndex) const
{
    if (inIndex >= fSlots.size())
        return nullptr;
    Slot& slot = fSlots[inIndex];
    if (slot.fValue != nullptr)
        return slot.fValue;
    const uint16_t* entry = fBackstore.data() + slot.fBackstoreOffset;
    const VValueInfo* info = VValue::ValueInfoFromValueKind(entry[0]);
    if (info == nullptr)
        return nullptr;
    VValue* value = info->LoadFromPtr(entry + 1, false);
    if (value == nullptr)
        return nullptr;
    slot.fValue = value->IsVValueSingle();
    if (slot.fValue == nullptr)
        delete value;
    return slot.fValue;
}

ValueKind VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::GetNthKind(size_t inIndex) const
{
    const Slot& slot = fSlots[inIndex];
    if (slot.fValue != nullptr)
        return slot.fValue->GetTrueValueKind();
    return fBackstore[slot.fBackstoreOffset];
}

void VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::_UpdateNthValue(size_t inIndex,
                                                                                  VValueSingle* inNewValue)
{
    Slot& slot = fSlots[inIndex];
    if (inNewValue != nullptr && inNewValue != slot.fValue)
    {
        delete slot.fValue;
        slot.fValue = inNewValue;
    }
    fPackPending = true;
}

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::GetValue(const StPackedDictionaryKey& inKey,
                                                                           VValueSingle& outValue) const
{
    size_t index = _Find(inKey);
    if (index == kNotFound)
        return false;
    Slot& slot = fSlots[index];
    if (slot.fValue == nullptr)
    {
        const uint16_t* entry = fBackstore.data() + slot.fBackstoreOffset;
        if (VValue::ValueInfoFromValueKind(entry[0]) == nullptr)
            return true;
        if (outValue.GetTrueValueKind() == entry[0])
        {
            outValue.LoadFromPtr(entry + 1, false);
            return true;
        }
        if (GetNthValue(index) == nullptr)
            return true;
    }
    slot.fValue->GetValue(outValue);
    return true;
}

void VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::Clear(const StPackedDictionaryKey& inKey)
{
    size_t index = _Find(inKey);
    if (index == kNotFound)
        return;
    Slot& slot = fSlots[index];
    delete slot.fValue;
    slot.fValue = nullptr;
    uint64_t begin = slot.fBackstoreOffset;
    uint64_t end = index + 1 < fSlots.size() ? fSlots[index + 1].fBackstoreOffset : fBackstore.size();
    uint64_t units = end - begin;
    fBackstore.erase(fBackstore.begin() + ptrdiff_t(begin), fBackstore.begin() + ptrdiff_t(end));
    for (size_t i = index + 1; i < fSlots.size(); ++i)
        fSlots[i].fBackstoreOffset -= units;
    _RemoveKeyAndSlot(index);
}

// ---------------------------------------------------------------------------------------------
// Packing

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::_Pack() const
{
    bool fits = true;
    for (Slot& slot : fSlots)
    {
        if (slot.fValue == nullptr)
            continue;
        uint16_t* entry = fBackstore.data() + slot.fBackstoreOffset;
        if (!VPackedValue_VValueSingle::SaveValueCheckSpace(*slot.fValue, entry, EntryBytes(entry)))
        {
            fits = false;
            break;
        }
    }
    if (fits)
        return true;

    // Rebuild back to back, stale entries dropped.
    std::vector<uint16_t> backstore;
    std::vector<Slot> slots;
    try
    {
        slots = fSlots;
        backstore.reserve(fBackstore.size());
        for (Slot& slot : slots)
        {
            size_t offset = backstore.size();
            const uint16_t* oldEntry = fBackstore.data() + slot.fBackstoreOffset;
            slot.fBackstoreOffset = offset;
            if (slot.fValue != nullptr)
            {
                size_t dataBytes = PackedSize(*slot.fValue);
                backstore.resize(offset + EntryUnits(dataBytes + 2), 0);
                _WriteEntry(*slot.fValue, backstore.data() + offset, dataBytes);
            }
            else
            {
                size_t units = EntryUnits(EntryBytes(oldEntry));
                backstore.insert(backstore.end(), oldEntry, oldEntry + units);
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    fBackstore.swap(backstore);
    fSlots.swap(slots);
    return true;
}

bool VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::_PackIfPending() const
{
    if (!fPackPending)
        return true;
    if (!_Pack())
        return false;
    fPackPending = false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::WriteToStream(VStream* ioStream,
                                                                                  bool inWithHash) const
{
    if (ioStream->GetLastError() != VE_OK)
        return ioStream->GetLastError();
    if (!_PackIfPending())
        return VE_MEMORY_FULL;
    _WriteKeysToStream(ioStream, inWithHash);
    ioStream->Put(uint32_t(fBackstore.size()));
    if (fBackstore.empty())
        return ioStream->GetLastError();
    if (!ioStream->NeedSwap())
    {
        ioStream->PutData(fBackstore.data(), fBackstore.size() * sizeof(uint16_t));
        return ioStream->GetLastError();
    }
    // The entries are swapped in a copy, so that a const dictionary stays untouched.
    std::vector<uint16_t> swapped;
    try
    {
        swapped = fBackstore;
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    for (const Slot& slot : fSlots)
    {
        uint16_t* entry = swapped.data() + slot.fBackstoreOffset;
        ValueKind kind = entry[0];
        entry[0] = ByteSwap(entry[0]);
        if (const VValueInfo* info = VValue::ValueInfoFromValueKind(kind))
        {
            if (EntryBytes(fBackstore.data() + slot.fBackstoreOffset) > 2)
                info->ByteSwapPtr(entry + 1, true);
        }
    }
    ioStream->PutData(swapped.data(), swapped.size() * sizeof(uint16_t));
    return ioStream->GetLastError();
}

VError VPackedDictionary_with_backstore<VPackedValue_VValueSingle>::ReadFromStream(VStream* ioStream)
{
    Destroy();
    // A failed read of the names leaves them cleared: nothing else is held yet.
    VError error = _ReadKeysFromStream(ioStream);
    if (error != VE_OK)
        return error;
    int32_t units = 0;
    error = ioStream->Get(units);
    if (error == VE_OK && (units < 0 || !StreamHolds(ioStream, uint64_t(units) * sizeof(uint16_t))))
        error = units < 0 ? ThrowCorruptData() : FailAtEndOfStream(ioStream);
    if (error == VE_OK)
    {
        try
        {
            fBackstore.resize(size_t(units));
        }
        catch (const std::bad_alloc&)
        {
            _ThrowError(VE_MEMORY_FULL);
            error = VE_MEMORY_FULL;
        }
    }
    if (error == VE_OK && units > 0)
        error = ioStream->GetData(fBackstore.data(), size_t(units) * sizeof(uint16_t));
    if (error != VE_OK)
    {
        Destroy();
        return error;
    }
    bool swap = ioStream->NeedSwap();
    size_t offset = 0;
    size_t total = fBackstore.size();
    for (Slot& slot : fSlots)
    {
        if (offset >= total)
        {
            Destroy();
            return ThrowCorruptData();
        }
        slot.fBackstoreOffset = offset;
        slot.fValue = nullptr;
        uint16_t* entry = fBackstore.data() + offset;
        if (swap)
            entry[0] = ByteSwap(entry[0]);
        size_t available = (total - offset) * sizeof(uint16_t) - 2;
        size_t bytes =
            UntrustedEntryBytes(entry[0], reinterpret_cast<const uint8_t*>(entry + 1), available, swap);
        if (bytes - 2 > available)
        {
            Destroy();
            return ThrowCorruptData();
        }
        if (swap && bytes > 2)
        {
            if (const VValueInfo* info = VValue::ValueInfoFromValueKind(entry[0]))
                info->ByteSwapPtr(entry + 1, false);
        }
        offset += EntryUnits(bytes);
    }
    return VE_OK;
}

} // namespace kova
