#include "kernel/values/VBagArray.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VValueBag.h"

#include <new>

namespace kova
{

VBagArray::VBagArray() = default;

VBagArray::VBagArray(const VBagArray& inOther) : VObject(inOther), IRefCountable()
{
    if (!_CopyBagsFrom(inOther))
        _ThrowError(VE_MEMORY_FULL);
}

VBagArray::~VBagArray()
{
    Destroy();
}

bool VBagArray::_CopyBagsFrom(const VBagArray& inOther)
{
    try
    {
        fBags.reserve(fBags.size() + inOther.fBags.size());
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    for (const VValueBag* bag : inOther.fBags)
    {
        VValueBag* copy = nullptr;
        if (bag != nullptr)
        {
            copy = bag->Clone();
            if (copy == nullptr)
                return false;
        }
        fBags.push_back(copy);
    }
    return true;
}

VValueBag* VBagArray::GetNth(int32_t inIndex) const
{
    if (inIndex < 1 || inIndex > GetCount())
        return nullptr;
    return fBags[size_t(inIndex - 1)];
}

bool VBagArray::AddTail(VValueBag* inBag)
{
    return AddNth(inBag, GetCount() + 1);
}

bool VBagArray::AddNth(VValueBag* inBag, int32_t inIndex)
{
    if (inBag == nullptr)
        return false;
    if (inIndex < 1)
        inIndex = 1;
    else if (inIndex > GetCount() + 1)
        inIndex = GetCount() + 1;
    try
    {
        fBags.insert(fBags.begin() + (inIndex - 1), inBag);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    inBag->Retain();
    return true;
}

void VBagArray::SetNth(VValueBag* inBag, int32_t inIndex)
{
    if (inBag == nullptr || inIndex < 1 || inIndex > GetCount())
        return;
    VValueBag*& slot = fBags[size_t(inIndex - 1)];
    if (slot == inBag)
        return;
    inBag->Retain();
    VValueBag* old = slot;
    slot = inBag;
    if (old != nullptr)
        old->Release();
}

void VBagArray::DeleteNth(int32_t inIndex)
{
    if (inIndex < 1 || inIndex > GetCount())
        return;
    VValueBag* bag = fBags[size_t(inIndex - 1)];
    fBags.erase(fBags.begin() + (inIndex - 1));
    if (bag != nullptr)
        bag->Release();
}

void VBagArray::Delete(VValueBag* inBag)
{
    int32_t index = Find(inBag);
    if (index != 0)
        fBags.erase(fBags.begin() + (index - 1));
}

int32_t VBagArray::Find(const VValueBag* inBag) const
{
    for (size_t i = 0; i < fBags.size(); ++i)
    {
        if (fBags[i] == inBag)
            return int32_t(i + 1);
    }
    return 0;
}

VValueBag* VBagArray::RetainNth(int32_t inIndex) const
{
    VValueBag* bag = GetNth(inIndex);
    if (bag == nullptr)
    {
        bag = new (std::nothrow) VValueBag;
        if (bag == nullptr)
            _ThrowError(VE_MEMORY_FULL);
        return bag;
    }
    bag->Retain();
    return bag;
}

void VBagArray::Destroy()
{
    // Emptied before the releases, so that nothing they run finds released bags here.
    std::vector<VValueBag*> bags;
    bags.swap(fBags);
    for (VValueBag* bag : bags)
    {
        if (bag != nullptr)
            bag->Release();
    }
}

VError VBagArray::WriteToStreamMinimal(VStream* ioStream) const
{
    ioStream->Put(uint32_t(fBags.size()));
    for (const VValueBag* bag : fBags)
    {
        VError error;
        if (bag == nullptr)
            error = ioStream->Put(uint8_t(0)); // read back as an empty bag
        else
            error = bag->WriteToStreamMinimal(ioStream, true);
        if (error != VE_OK)
            return error;
    }
    return ioStream->GetLastError();
}

VError VBagArray::ReadFromStreamMinimal(VStream* ioStream, uint32_t inDepth)
{
    VError error = ioStream->GetLastError();
    if (error != VE_OK)
        return error;
    int32_t count = 0;
    error = ioStream->Get(count);
    if (error != VE_OK || count < 1)
        return error;
    // Each bag takes at least its flags byte. The count takes no room ahead: every open level of
    // a nesting may claim all the bytes left, and room for each would be count times depth.
    if (!StreamHolds(ioStream, uint64_t(count)))
        return FailAtEndOfStream(ioStream);
    for (int32_t i = 0; i < count; ++i)
    {
        auto* bag = new (std::nothrow) VValueBag;
        if (bag == nullptr)
        {
            _ThrowError(VE_MEMORY_FULL);
            return VE_MEMORY_FULL;
        }
        error = bag->ReadFromStreamMinimal(ioStream, inDepth + 1);
        // AddTail raises its own failure; the list holds a reference of its own.
        if (error == VE_OK && !AddTail(bag))
            error = VE_MEMORY_FULL;
        bag->Release();
        if (error != VE_OK)
            return error;
    }
    return VE_OK;
}

} // namespace kova
