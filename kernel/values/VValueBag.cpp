#include "kernel/values/VValueBag.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/files/VStream.h"
#include "kernel/tasks/VProcess.h"
#include "kernel/text/VString.h"
#include "kernel/values/IBaggable.h"
#include "kernel/values/PackedStreamChecks.h"
#include "kernel/values/VBagArray.h"
#include "kernel/values/VBoolean.h"
#include "kernel/values/VDuration.h"
#include "kernel/values/VInteger.h"
#include "kernel/values/VReal.h"
#include "kernel/values/VTime.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace kova
{

// Registered before the entry point runs.
const VValueInfo_default<VValueBag, VK_BAG> VValueBag::sInfo;

namespace
{

VError ThrowError(VError inError)
{
    _ThrowError(inError);
    return inError;
}

// Reads an attribute through a value of the kind and hands over its native datum; the output is
// left alone when the attribute is absent.
template <class VALUE, class NATIVE>
bool GetNative(const VValueBag& inBag, const StPackedDictionaryKey& inKey, NATIVE& outValue)
{
    VALUE value;
    if (!inBag.GetAttribute(inKey, value))
        return false;
    outValue = value.Get();
    return true;
}

bool RefuseSelf(const VValueBag* inBag, const VValueBag* inThis)
{
    if (inBag != inThis)
        return false;
    VString reason("a bag cannot be an element of itself");
    _ThrowError(VE_INVALID_PARAMETER, &reason);
    return true;
}

// The first bag of each name from inBag on, for inCount names; null when a level is missing.
VValueBag* FollowFirstElements(const VValueBag* inBag, const StPackedDictionaryKey* inKeys, size_t inCount)
{
    const VValueBag* bag = inBag;
    for (size_t i = 0; i < inCount && bag != nullptr; ++i)
    {
        VBagArray* array = bag->GetElements(inKeys[i]);
        bag = (array == nullptr || array->GetCount() == 0) ? nullptr : array->GetNth(1);
    }
    return const_cast<VValueBag*>(bag);
}

// The same, making each missing level the only element of its name.
VValueBag* FollowOrCreate(VValueBag* inBag, const StPackedDictionaryKey* inKeys, size_t inCount)
{
    VValueBag* bag = inBag;
    for (size_t i = 0; i < inCount && bag != nullptr; ++i)
    {
        VBagArray* array = bag->GetElements(inKeys[i]);
        VValueBag* child = (array == nullptr || array->GetCount() == 0) ? nullptr : array->GetNth(1);
        if (child == nullptr)
        {
            child = new (std::nothrow) VValueBag;
            if (child == nullptr)
            {
                _ThrowError(VE_MEMORY_FULL);
                return nullptr;
            }
            bool stored;
            if (array != nullptr && array->GetCount() != 0)
            {
                // A list whose first entry is null: the new bag takes that place.
                array->SetNth(child, 1);
                stored = array->GetNth(1) == child;
            }
            else
            {
                stored = bag->ReplaceElement(inKeys[i], child);
            }
            child->Release();
            if (!stored)
                return nullptr;
        }
        bag = child;
    }
    return bag;
}

// Reads the stream form of a list of strings: a signed count, then per entry 2 and a string, or
// any other 32-bit mark for an empty entry.
VError ReadStringList(VStream* ioStream, std::vector<VString>& outStrings)
{
    outStrings.clear();
    int32_t count = 0;
    VError error = ioStream->Get(count);
    if (error != VE_OK || count <= 0)
        return error;
    if (!StreamHolds(ioStream, uint64_t(count) * sizeof(uint32_t)))
        return FailAtEndOfStream(ioStream);
    try
    {
        outStrings.resize(size_t(count));
    }
    catch (const std::bad_alloc&)
    {
        return ThrowError(VE_MEMORY_FULL);
    }
    for (VString& text : outStrings)
    {
        uint32_t mark = 0;
        error = ioStream->Get(mark);
        if (error == VE_OK && mark == 2)
            error = text.ReadFromStream(ioStream, 0);
        if (error != VE_OK)
            return error;
    }
    return VE_OK;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and lifetime

VValueBag::VValueBag() = default;

VValueBag::VValueBag(const VValueBag& inOther) : VValue(inOther), IRefCountable()
{
    fFlags |= kFlagDirty;
    if (!_CopyContentFrom(inOther))
        _ThrowError(VE_MEMORY_FULL);
}

VValueBag::~VValueBag()
{
    delete fElements;
}

bool VValueBag::_CopyContentFrom(const VValueBag& inOther)
{
    if (!fAttributes.AssignFrom(inOther.fAttributes))
        return false;
    if (inOther.fElements == nullptr)
        return true;
    fElements = new (std::nothrow) VPackedDictionary_elements;
    return fElements != nullptr && fElements->CopyFrom(*inOther.fElements);
}

VValueBag* VValueBag::Clone() const
{
    VValueBag* clone = new (std::nothrow) VValueBag;
    if (clone == nullptr || !clone->_CopyContentFrom(*this))
    {
        if (clone != nullptr)
            clone->Release();
        _ThrowError(VE_MEMORY_FULL);
        return nullptr;
    }
    clone->fFlags = uint8_t(fFlags | kFlagDirty);
    return clone;
}

void VValueBag::Destroy()
{
    fAttributes.Destroy();
    VPackedDictionary_elements* elements = fElements;
    fElements = nullptr;
    delete elements;
}

const VValueInfo* VValueBag::GetValueInfo() const
{
    return &sInfo;
}

VPackedDictionary_elements* VValueBag::_EnsureElements()
{
    if (fElements == nullptr)
    {
        fElements = new (std::nothrow) VPackedDictionary_elements;
        if (fElements == nullptr)
            _ThrowError(VE_MEMORY_FULL);
    }
    return fElements;
}

// ---------------------------------------------------------------------------------------------
// Debug dump

void VValueBag::_DebugDumpText(VString& ioText) const
{
    VString name;
    VString value;
    for (size_t i = 0; i < fAttributes.GetCount(); ++i)
    {
        fAttributes.GetNthKeyString(i, name);
        value.Clear();
        if (const VValueSingle* object = fAttributes.GetNthValue(i))
            object->GetString(value);
        ioText.AppendString(name).AppendCString(" = ").AppendString(value).AppendUniChar(u'\n');
    }
    if (fElements == nullptr)
        return;
    for (size_t i = 0; i < fElements->GetCount(); ++i)
    {
        const VBagArray* array = fElements->GetNthValue(i);
        int32_t count = array == nullptr ? 0 : array->GetCount();
        fElements->GetNthKeyString(i, name);
        ioText.AppendCString("=======\n")
            .AppendLong(count)
            .AppendUniChar(u' ')
            .AppendString(name)
            .AppendCString(" :\n");
        for (int32_t j = 1; j <= count; ++j)
        {
            ioText.AppendCString("--\n");
            if (const VValueBag* bag = array->GetNth(j))
                bag->_DebugDumpText(ioText);
        }
    }
}

CharSet VValueBag::DebugDump(char* outBuffer, int& ioSize) const
{
    if (VProcess::sInstance == nullptr || outBuffer == nullptr || ioSize < int(sizeof(UniChar)))
    {
        ioSize = 0;
        return VTC_UTF_16;
    }
    VString text;
    _DebugDumpText(text);
    int32_t units = std::min(text.GetLength(), int32_t(ioSize / int(sizeof(UniChar))));
    std::memcpy(outBuffer, text.GetCPointer(), size_t(units) * sizeof(UniChar));
    ioSize = units * int(sizeof(UniChar));
    return VTC_UTF_16;
}

// ---------------------------------------------------------------------------------------------
// Attributes

bool VValueBag::SetAttribute(const StKey& inKey, const VValueSingle& inValue)
{
    if (fAttributes.SetExistingValue(inKey, inValue))
        return true;
    return fAttributes.Append(inKey, inValue);
}

bool VValueBag::GetAttribute(const StKey& inKey, VValueSingle& outValue) const
{
    return fAttributes.GetValue(inKey, outValue);
}

bool VValueBag::AttributeExists(const StKey& inKey) const
{
    return fAttributes._Find(inKey) != VPackedDictionary_attributes::kNotFound;
}

void VValueBag::RemoveAttribute(const StKey& inKey)
{
    fAttributes.Clear(inKey);
}

const VValueSingle* VValueBag::GetNthAttribute(int32_t inIndex, VString* outName) const
{
    if (inIndex < 1 || size_t(inIndex) > fAttributes.GetCount())
    {
        if (outName != nullptr)
            outName->Clear();
        return nullptr;
    }
    if (outName != nullptr)
        fAttributes.GetNthKeyString(size_t(inIndex - 1), *outName);
    return fAttributes.GetNthValue(size_t(inIndex - 1));
}

const VValueSingle* VValueBag::GetAttributeValue(const StKey& inKey) const
{
    size_t index = fAttributes._Find(inKey);
    return index == VPackedDictionary_attributes::kNotFound ? nullptr : fAttributes.GetNthValue(index);
}

bool VValueBag::SetBool(const StKey& inKey, bool inValue)
{
    return SetAttribute(inKey, VBoolean(inValue));
}

bool VValueBag::GetBool(const StKey& inKey, bool& outValue) const
{
    return GetNative<VBoolean>(*this, inKey, outValue);
}

bool VValueBag::SetLong(const StKey& inKey, int32_t inValue)
{
    return SetAttribute(inKey, VLong(inValue));
}

bool VValueBag::GetLong(const StKey& inKey, int32_t& outValue) const
{
    return GetNative<VLong>(*this, inKey, outValue);
}

bool VValueBag::SetLong8(const StKey& inKey, int64_t inValue)
{
    return SetAttribute(inKey, VLong8(inValue));
}

bool VValueBag::GetLong8(const StKey& inKey, int64_t& outValue) const
{
    return GetNative<VLong8>(*this, inKey, outValue);
}

bool VValueBag::SetReal(const StKey& inKey, double inValue)
{
    return SetAttribute(inKey, VReal(inValue));
}

bool VValueBag::GetReal(const StKey& inKey, double& outValue) const
{
    return GetNative<VReal>(*this, inKey, outValue);
}

bool VValueBag::SetString(const StKey& inKey, const VString& inValue)
{
    return SetAttribute(inKey, inValue);
}

bool VValueBag::GetString(const StKey& inKey, VString& outValue) const
{
    return GetAttribute(inKey, outValue);
}

bool VValueBag::SetVUUID(const StKey& inKey, const VUUID& inValue)
{
    return SetAttribute(inKey, inValue);
}

bool VValueBag::GetVUUID(const StKey& inKey, VUUID& outValue) const
{
    return GetAttribute(inKey, outValue);
}

bool VValueBag::SetTime(const StKey& inKey, const VTime& inValue)
{
    return SetAttribute(inKey, inValue);
}

bool VValueBag::GetTime(const StKey& inKey, VTime& outValue) const
{
    return GetAttribute(inKey, outValue);
}

bool VValueBag::SetDuration(const StKey& inKey, const VDuration& inValue)
{
    return SetAttribute(inKey, inValue);
}

bool VValueBag::GetDuration(const StKey& inKey, VDuration& outValue) const
{
    return GetAttribute(inKey, outValue);
}

// ---------------------------------------------------------------------------------------------
// Character data

const StPackedDictionaryKey& VValueBag::CDataAttributeName()
{
    static const StPackedDictionaryKey sKey("<>");
    return sKey;
}

void VValueBag::AppendToCData(const VString& inText)
{
    size_t index = fAttributes._Find(CDataAttributeName());
    VValueSingle* value =
        index == VPackedDictionary_attributes::kNotFound ? nullptr : fAttributes.GetNthValue(index);
    if (value == nullptr)
    {
        SetAttribute(CDataAttributeName(), inText);
        return;
    }
    if (auto* text = dynamic_cast<VString*>(value))
    {
        text->AppendString(inText);
        fAttributes._UpdateNthValue(index, nullptr);
        return;
    }
    VString* text = VString::NewString(0);
    if (text == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return;
    }
    value->GetString(*text);
    text->AppendString(inText);
    fAttributes._UpdateNthValue(index, text);
}

// ---------------------------------------------------------------------------------------------
// Elements

bool VValueBag::IsEmpty() const
{
    return fAttributes.IsEmpty() && GetElementNamesCount() == 0;
}

int32_t VValueBag::GetElementNamesCount() const
{
    return fElements == nullptr ? 0 : int32_t(fElements->GetCount());
}

VBagArray* VValueBag::GetNthElementName(int32_t inIndex, VString* outName) const
{
    if (inIndex < 1 || inIndex > GetElementNamesCount())
    {
        if (outName != nullptr)
            outName->Clear();
        return nullptr;
    }
    if (outName != nullptr)
        fElements->GetNthKeyString(size_t(inIndex - 1), *outName);
    return fElements->GetNthValue(size_t(inIndex - 1));
}

VBagArray* VValueBag::GetElements(const StKey& inKey) const
{
    return fElements == nullptr ? nullptr : fElements->GetValue(inKey);
}

bool VValueBag::SetElements(const StKey& inKey, VBagArray* inArray)
{
    VPackedDictionary_elements* elements = _EnsureElements();
    return elements != nullptr && elements->SetValue(inKey, inArray);
}

bool VValueBag::AddElement(const StKey& inKey, VValueBag* inBag)
{
    if (inBag == nullptr || RefuseSelf(inBag, this))
        return false;
    if (VBagArray* array = GetElements(inKey))
        return array->AddTail(inBag);
    VPackedDictionary_elements* elements = _EnsureElements();
    if (elements == nullptr)
        return false;
    auto* array = new (std::nothrow) VBagArray;
    if (array == nullptr)
    {
        _ThrowError(VE_MEMORY_FULL);
        return false;
    }
    bool stored = false;
    if (array->AddTail(inBag))
    {
        // A name stored with no list gets the new list; any other name is appended.
        if (elements->_Find(inKey) != VPackedDictionary_elements::kNotFound)
        {
            stored = elements->SetValue(inKey, array);
            array->Release();
        }
        else
        {
            stored = elements->_AppendAdopting(inKey, array);
            if (!stored)
                array->Release();
        }
    }
    else
    {
        array->Release();
    }
    return stored;
}

VError VValueBag::AddElement(const IBaggable* inObject)
{
    if (inObject == nullptr)
        return VE_OK;
    auto* bag = new (std::nothrow) VValueBag;
    if (bag == nullptr)
        return ThrowError(VE_MEMORY_FULL);
    VStr31 kind;
    VError error = inObject->SaveToBag(*bag, kind);
    if (error == VE_OK)
        AddElement(StKey(kind), bag);
    bag->Release();
    return error;
}

void VValueBag::RemoveElements(const StKey& inKey)
{
    if (fElements != nullptr)
        fElements->Clear(inKey);
}

bool VValueBag::ReplaceElement(const StKey& inKey, VValueBag* inBag)
{
    if (inBag == nullptr)
    {
        RemoveElements(inKey);
        return false;
    }
    if (RefuseSelf(inBag, this))
        return false;
    VBagArray* array = GetElements(inKey);
    if (array == nullptr)
        return AddElement(inKey, inBag);
    if (array->GetCount() == 1 && array->GetNth(1) == inBag)
        return false;
    // Retained first: the bag may be in the list it empties.
    inBag->Retain();
    array->Destroy();
    bool added = array->AddTail(inBag);
    inBag->Release();
    return added;
}

VValueBag* VValueBag::RetainUniqueElementWithAttribute(const StKey& inElementKey, const StKey& inAttributeKey,
                                                       const VValueSingle& inValue) const
{
    VBagArray* array = GetElements(inElementKey);
    if (array == nullptr)
        return nullptr;
    VValue* cloned = inValue.Clone();
    std::unique_ptr<VValueSingle> probe(cloned == nullptr ? nullptr : cloned->IsVValueSingle());
    if (probe == nullptr)
        return nullptr;
    VValueBag* found = nullptr;
    int32_t matches = 0;
    for (int32_t i = 1; i <= array->GetCount(); ++i)
    {
        VValueBag* bag = array->GetNth(i);
        // A null entry reads as an empty bag.
        if (bag == nullptr || !bag->GetAttribute(inAttributeKey, *probe))
            probe->Clear();
        if (probe->EqualTo(inValue, false))
        {
            if (++matches > 1)
                return nullptr;
            found = bag;
        }
    }
    if (found != nullptr)
        found->Retain();
    return found;
}

VValueBag* VValueBag::GetUniqueElementAnyKind(VString& outName) const
{
    if (GetElementNamesCount() == 1)
    {
        VBagArray* array = fElements->GetNthValue(0);
        if (array != nullptr && array->GetCount() == 1)
        {
            fElements->GetNthKeyString(0, outName);
            return array->GetNth(1);
        }
    }
    outName.Clear();
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Paths

void VValueBag::GetKeysFromPath(const VString& inPath, StKeyPath& outKeys)
{
    outKeys.clear();
    const UniChar* units = inPath.GetCPointer();
    int32_t length = inPath.GetLength();
    int32_t start = 0;
    VString segment;
    for (int32_t i = 0; i <= length; ++i)
    {
        bool atSlash = i < length && units[i] == u'/';
        if (!atSlash && i < length)
            continue;
        // The segment after the last slash counts only when not empty.
        if (atSlash || i > start)
        {
            segment.FromUniString(units + start, i - start);
            outKeys.emplace_back(segment);
        }
        start = i + 1;
    }
}

void VValueBag::GetKeysFromUTF8PathNoCopy(const char* inPath, StKeyPath& outKeys)
{
    outKeys.clear();
    if (inPath == nullptr)
        return;
    const char* start = inPath;
    for (const char* p = inPath;; ++p)
    {
        if (*p == '/')
        {
            outKeys.push_back(StPackedDictionaryKey::Borrowed(start, size_t(p - start)));
            start = p + 1;
        }
        else if (*p == 0)
        {
            if (p > start)
                outKeys.push_back(StPackedDictionaryKey::Borrowed(start, size_t(p - start)));
            break;
        }
    }
}

VValueBag* VValueBag::GetUniqueElementByPath(const StKeyPath& inPath) const
{
    return FollowFirstElements(this, inPath.data(), inPath.size());
}

VValueBag* VValueBag::GetUniqueElementByPath(const VString& inPath) const
{
    StKeyPath keys;
    GetKeysFromPath(inPath, keys);
    return GetUniqueElementByPath(keys);
}

VValueBag* VValueBag::GetElementByPathAndCreateIfDontExists(const StKeyPath& inPath)
{
    return FollowOrCreate(this, inPath.data(), inPath.size());
}

bool VValueBag::ReplaceElementByPath(const StKeyPath& inPath, VValueBag* inBag)
{
    if (inPath.empty())
        return false;
    if (inPath.size() == 1)
        return ReplaceElement(inPath[0], inBag);
    const StPackedDictionaryKey& last = inPath.back();
    if (inBag != nullptr)
    {
        VValueBag* parent = FollowOrCreate(this, inPath.data(), inPath.size() - 1);
        return parent != nullptr && parent->ReplaceElement(last, inBag);
    }
    VValueBag* parent = FollowFirstElements(this, inPath.data(), inPath.size() - 1);
    if (parent != nullptr)
        parent->RemoveElements(last);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Merging

bool VValueBag::_AddClones(const StKey& inKey, const VBagArray& inArray, int32_t inCount)
{
    for (int32_t i = 1; i <= inCount; ++i)
    {
        const VValueBag* source = inArray.GetNth(i);
        if (source == nullptr)
            continue;
        VValueBag* clone = source->Clone();
        if (clone == nullptr)
            return false;
        AddElement(inKey, clone);
        clone->Release();
    }
    return true;
}

bool VValueBag::UnionClone(const VValueBag* inOther)
{
    return _Merge(inOther, false);
}

bool VValueBag::Override(const VValueBag* inOther)
{
    return _Merge(inOther, true);
}

bool VValueBag::_Merge(const VValueBag* inOther, bool inOverride)
{
    if (inOther == nullptr)
        return true;
    const VPackedDictionary_attributes& attributes = inOther->fAttributes;
    for (size_t i = 0; i < attributes.GetCount(); ++i)
    {
        if (const VValueSingle* value = attributes.GetNthValue(i))
            SetAttribute(attributes.GetNthKey(i), *value);
    }
    if (inOther->fElements == nullptr)
        return true;
    // Counts are taken before adding: merging a bag with itself must not chase its own additions.
    size_t names = inOther->fElements->GetCount();
    for (size_t i = 0; i < names; ++i)
    {
        const VBagArray* theirs = inOther->fElements->GetNthValue(i);
        if (theirs == nullptr)
            continue;
        StPackedDictionaryKey key = inOther->fElements->GetNthKey(i);
        const VBagArray* mine = inOverride ? GetElements(key) : nullptr;
        if (mine != nullptr && mine->GetCount() == 1 && theirs->GetCount() == 1 &&
            mine->GetNth(1) != nullptr && theirs->GetNth(1) != nullptr)
        {
            if (!mine->GetNth(1)->_Merge(theirs->GetNth(1), true))
                return false;
        }
        else if (!_AddClones(key, *theirs, theirs->GetCount()))
        {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Sorting

namespace
{

const VValueBag::StBagElementsOrdering* FindOrdering(const VValueBag::StBagElementsOrdering* inTable,
                                                     const StPackedDictionaryKey& inName)
{
    for (const auto* record = inTable; record->fElementName != nullptr; ++record)
    {
        if (record->fElementName->Equals(inName.GetKey(), inName.GetKeyLength()))
            return record;
    }
    return nullptr;
}

} // namespace

bool VValueBag::PositionComparatorStrict(const std::pair<int32_t, int32_t>& inFirst,
                                         const std::pair<int32_t, int32_t>& inSecond)
{
    return inFirst.second < inSecond.second;
}

void VValueBag::SortElements(const StKey& inElementName, const StBagElementsOrdering* inTable)
{
    if (inTable == nullptr || GetElementNamesCount() == 0)
        return;
    if (const StBagElementsOrdering* record = FindOrdering(inTable, inElementName))
        _SortElements(record, inTable);
}

void VValueBag::_SortElements(const StBagElementsOrdering* inRecord, const StBagElementsOrdering* inTable)
{
    size_t count = fElements == nullptr ? 0 : fElements->GetCount();
    if (count >= 2)
    {
        std::vector<std::pair<int32_t, int32_t>> ranks;
        ranks.reserve(count);
        for (size_t i = 0; i < count; ++i)
        {
            StPackedDictionaryKey name = fElements->GetNthKey(i);
            int32_t rank = 0;
            for (int32_t j = 0; j < 10 && inRecord->fChildNames[j] != nullptr; ++j)
            {
                if (inRecord->fChildNames[j]->Equals(name.GetKey(), name.GetKeyLength()))
                {
                    rank = j + 1;
                    break;
                }
            }
            ranks.emplace_back(int32_t(i), rank);
        }
        bool outOfOrder = false;
        for (size_t i = 1; i < count && !outOfOrder; ++i)
            outOfOrder = ranks[i].second > 0 && ranks[i - 1].second > ranks[i].second;
        if (outOfOrder)
        {
            std::stable_sort(ranks.begin(), ranks.end(), PositionComparatorStrict);
            auto* sorted = new (std::nothrow) VPackedDictionary_elements;
            bool built = sorted != nullptr;
            for (size_t i = 0; built && i < count; ++i)
            {
                size_t position = size_t(ranks[i].first);
                built = sorted->SetValue(fElements->GetNthKey(position), fElements->GetNthValue(position));
            }
            if (built)
            {
                delete fElements;
                fElements = sorted;
            }
            else
            {
                delete sorted;
            }
        }
    }
    for (size_t i = 0; fElements != nullptr && i < fElements->GetCount(); ++i)
    {
        const VBagArray* array = fElements->GetNthValue(i);
        if (array == nullptr)
            continue;
        const StBagElementsOrdering* record = FindOrdering(inTable, fElements->GetNthKey(i));
        if (record == nullptr)
            continue;
        for (int32_t j = 1; j <= array->GetCount(); ++j)
        {
            VValueBag* bag = array->GetNth(j);
            if (bag != nullptr && bag->GetElementNamesCount() > 0)
                bag->_SortElements(record, inTable);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Stream form

VError VValueBag::WriteToStream(VStream* ioStream, int32_t) const
{
    ioStream->Put(kStreamSignature);
    ioStream->Put(kStreamVersion);
    ioStream->Put(uint16_t(0));
    VError error = WriteToStreamMinimal(ioStream, true);
    return error != VE_OK ? error : ioStream->GetLastError();
}

VError VValueBag::WriteToStreamMinimal(VStream* ioStream, bool inWithHash) const
{
    bool hasAttributes = !fAttributes.IsEmpty();
    bool hasElements = GetElementNamesCount() > 0;
    ioStream->Put(uint8_t((hasAttributes ? 1 : 0) | (hasElements ? 2 : 0)));
    if (hasAttributes)
    {
        // A failure of our own (packing out of memory) leaves the stream sound but cut: stop.
        if (VError error = fAttributes.WriteToStream(ioStream, inWithHash); error != VE_OK)
            return error;
    }
    if (hasElements)
    {
        fElements->_WriteKeysToStream(ioStream, inWithHash);
        for (size_t i = 0; i < fElements->GetCount(); ++i)
        {
            const VBagArray* array = fElements->GetNthValue(i);
            if (array == nullptr)
            {
                ioStream->Put(uint32_t(0));
                continue;
            }
            if (VError error = array->WriteToStreamMinimal(ioStream);
                error != VE_OK && ioStream->GetLastError() == VE_OK)
                return error;
        }
    }
    return ioStream->GetLastError();
}

VError VValueBag::ReadFromStream(VStream* ioStream, int32_t)
{
    Destroy();
    VError error = ioStream->GetLastError();
    if (error != VE_OK)
        return error;
    uint32_t signature = 0;
    uint16_t version = 0;
    uint16_t reserved = 0;
    ioStream->Get(signature);
    ioStream->Get(version);
    error = ioStream->Get(reserved);
    if (error != VE_OK)
        return error;
    if (signature != kStreamSignature)
        return ThrowError(VE_STREAM_BAD_SIGNATURE);
    if (version != kStreamVersion)
        return ThrowError(VE_STREAM_BAD_VERSION);
    error = ReadFromStreamMinimal(ioStream, 0);
    if (error != VE_OK)
        Destroy();
    return error;
}

VError VValueBag::ReadFromStreamMinimal(VStream* ioStream, uint32_t inDepth)
{
    if (inDepth > kMaxBagStreamDepth)
        return ThrowCorruptData();
    uint8_t flags = 0;
    VError error = ioStream->Get(flags);
    if (error != VE_OK)
        return error;
    return _ReadBlocks(ioStream, flags, inDepth);
}

VError VValueBag::_ReadBlocks(VStream* ioStream, uint8_t inFlags, uint32_t inDepth)
{
    if ((inFlags & ~3u) != 0)
        return ThrowCorruptData();
    VError error = VE_OK;
    if ((inFlags & 1) != 0)
        error = fAttributes.ReadFromStream(ioStream);
    if (error == VE_OK && (inFlags & 2) != 0)
    {
        VPackedDictionary_elements* elements = _EnsureElements();
        error = elements == nullptr ? VE_MEMORY_FULL : elements->ReadFromStream(ioStream, inDepth);
    }
    if (error != VE_OK)
        Destroy();
    return error;
}

VError VValueBag::_ReadFromStream_v1(VStream* ioStream)
{
    Destroy();
    std::vector<VString> names;
    VError error = ReadStringList(ioStream, names);
    int32_t count = 0;
    if (error == VE_OK)
        error = ioStream->Get(count);
    if (error == VE_OK && count > 0 && !StreamHolds(ioStream, uint64_t(count) * sizeof(uint32_t)))
        error = FailAtEndOfStream(ioStream);
    for (int32_t i = 0; error == VE_OK && i < count; ++i)
    {
        uint32_t kind = 0;
        error = ioStream->Get(kind);
        if (error != VE_OK)
            break;
        std::unique_ptr<VValue> value(VValue::NewValueFromValueKind(ValueKind(kind & 0xFFFF)));
        VValueSingle* single = value == nullptr ? nullptr : value->IsVValueSingle();
        if (single == nullptr)
            continue;
        error = single->ReadFromStream(ioStream, 0);
        if (error == VE_OK && size_t(i) < names.size())
            fAttributes.Append(StKey(names[size_t(i)]), *single);
    }
    if (error == VE_OK)
        error = ReadStringList(ioStream, names);
    count = 0;
    if (error == VE_OK)
        error = ioStream->Get(count);
    if (error == VE_OK && count > 0)
    {
        if (!StreamHolds(ioStream, uint64_t(count) * sizeof(uint32_t)))
            error = FailAtEndOfStream(ioStream);
        else if (_EnsureElements() == nullptr)
            error = VE_MEMORY_FULL;
    }
    for (int32_t i = 0; error == VE_OK && i < count; ++i)
    {
        auto* array = new (std::nothrow) VBagArray;
        if (array == nullptr)
        {
            error = ThrowError(VE_MEMORY_FULL);
            break;
        }
        error = array->ReadFromStreamMinimal(ioStream, 0);
        if (error == VE_OK && size_t(i) < names.size())
            fElements->SetValue(StKey(names[size_t(i)]), array);
        array->Release();
    }
    if (error != VE_OK)
        Destroy();
    return error;
}

} // namespace kova
