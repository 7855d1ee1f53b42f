#include "kernel/values/VPackedDictionary.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/values/VBagArray.h"

#include <new>

namespace kova
{

VPackedDictionary<VPackedValue_VBagArray>::VPackedDictionary(const VPackedDictionary& inOther)
    : VPackedDictionary_elements_base()
{
    if (!CopyFrom(inOther))
        _ThrowError(VE_MEMORY_FULL);
}

VPackedDictionary<VPackedValue_VBagArray>::~VPackedDictionary()
{
    Destroy();
}

bool VPackedDictionary<VPackedValue_VBagArray>::CopyFrom(const VPackedDictionary& inOther)
{
    Destroy();
    if (!_CopyKeysFrom(inOther, false))
        return false;
    for (Slot& slot : fSlots)
        slot.fValue = nullptr;
    for (size_t i = 0; i < fSlots.size(); ++i)
    {
        const VBagArray* source = inOther.fSlots[i].fValue;
        if (source == nullptr)
            continue;
        VBagArray* copy = new (std::nothrow) VBagArray;
        if (copy == nullptr || !copy->_CopyBagsFrom(*source))
        {
            if (copy != nullptr)
                copy->Release();
            Destroy();
            return false;
        }
        fSlots[i].fValue = copy;
    }
    return true;
}

bool VPackedDictionary<VPackedValue_VBagArray>::SetValue(const StPackedDictionaryKey& inKey,
                                                         VBagArray* inArray)
{
    size_t index = _Find(inKey);
    if (index == kNotFound)
    {
        Slot slot;
        slot.fValue = inArray;
        if (_AppendKeyAndSlot(inKey, slot) == kNotFound)
            return false;
        if (inArray != nullptr)
            inArray->Retain();
        return true;
    }
    Slot& slot = fSlots[index];
    if (slot.fValue == inArray)
        return true;
    if (inArray != nullptr)
        inArray->Retain();
    VBagArray* old = slot.fValue;
    slot.fValue = inArray;
    if (old != nullptr)
        old->Release();
    return true;
}

VBagArray* VPackedDictionary<VPackedValue_VBagArray>::GetValue(const StPackedDictionaryKey& inKey) const
{
    size_t index = _Find(inKey);
    return index == kNotFound ? nullptr : fSlots[index].fValue;
}

bool VPackedDictionary<VPackedValue_VBagArray>::_AppendAdopting(const StPackedDictionaryKey& inKey,
                                                                VBagArray* inArray)
{
    Slot slot;
    slot.fValue = inArray;
    return _AppendKeyAndSlot(inKey, slot) != kNotFound;
}

void VPackedDictionary<VPackedValue_VBagArray>::Clear(const StPackedDictionaryKey& inKey)
{
    size_t index = _Find(inKey);
    if (index == kNotFound)
        return;
    VBagArray* array = fSlots[index].fValue;
    _RemoveKeyAndSlot(index);
    if (array != nullptr)
        array->Release();
}

void VPackedDictionary<VPackedValue_VBagArray>::Destroy()
{
    // Emptied before the releases, so that nothing they run finds released lists here.
    std::vector<Slot> slots;
    slots.swap(fSlots);
    _ClearKeys();
    for (Slot& slot : slots)
    {
        if (slot.fValue != nullptr)
            slot.fValue->Release();
    }
}

VError VPackedDictionary<VPackedValue_VBagArray>::ReadFromStream(VStream* ioStream, uint32_t inDepth)
{
    Destroy();
    // A failed read of the names leaves them cleared: nothing else is held yet.
    VError error = _ReadKeysFromStream(ioStream);
    if (error != VE_OK)
        return error;
    for (Slot& slot : fSlots)
        slot.fValue = nullptr;
    for (Slot& slot : fSlots)
    {
        VBagArray* array = new (std::nothrow) VBagArray;
        if (array == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            error = VE_MEMORY_FULL;
            break;
        }
        slot.fValue = array;
        error = array->ReadFromStreamMinimal(ioStream, inDepth);
        if (error != VE_OK)
            break;
    }
    if (error == VE_OK)
        error = ioStream->GetLastError();
    if (error != VE_OK)
        Destroy();
    return error;
}

} // namespace kova
