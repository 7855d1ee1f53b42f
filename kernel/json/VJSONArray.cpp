#include "kernel/json/VJSONArray.h"

#include "kernel/errors/KovaErrors.h"
#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONCloner.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VStorageLocker.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VCompareOptions.h"

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>

namespace kova
{

namespace
{

// Values destroyed last first, as they were made.
void DestroyLastFirst(std::vector<VJSONValue>& ioValues)
{
    while (!ioValues.empty())
        ioValues.pop_back();
}

const VJSONCollection* CollectionOf(const VJSONValue& inValue)
{
    if (const VJSONObject* object = inValue.GetObject())
        return object;
    return inValue.GetArray();
}

} // namespace

IJSONValueComparator::~IJSONValueComparator() = default;

VJSONArray::VJSONArray(bool inShared)
{
    // The array keeps the locker's first reference.
    if (inShared)
        fStorageLocker.store(new VStorageLocker(false, true), std::memory_order_relaxed);
}

VJSONArray::VJSONArray(VStorageLocker* inLocker)
{
    fStorageLocker.store(RetainRefCountable(inLocker), std::memory_order_relaxed);
}

VJSONArray::~VJSONArray()
{
    {
        StGraphLocker lock(_NeedsGraphLock());
        if (fGraph != nullptr)
        {
            DisconnectAll(0);
            fGraph->_Leave(this);
            VJSONGraph* graph = fGraph;
            fGraph = nullptr;
            graph->Release();
        }
    }
    DestroyLastFirst(fValues);
}

bool VJSONArray::_ChangeNeedsGraphLock(const VJSONValue* inStored) const
{
    if (_NeedsGraphLock())
        return true;
    const VJSONCollection* stored = inStored != nullptr ? CollectionOf(*inStored) : nullptr;
    return stored != nullptr && stored->_NeedsGraphLock();
}

// ---------------------------------------------------------------------------------------------
// Reading

size_t VJSONArray::_GetCountLocked() const
{
    StCollectionLocks locks(this, false);
    return fValues.size();
}

VJSONValue VJSONArray::GetAt(size_t inIndex) const
{
    StCollectionLocks locks(this, false);
    if (inIndex < fValues.size())
        return fValues[inIndex];
    return VJSONValue(VJSONValue::sUndefined);
}

bool VJSONArray::GetAt(size_t inIndex, VJSONValue& outValue) const
{
    StCollectionLocks locks(this, false);
    if (inIndex < fValues.size())
    {
        outValue = fValues[inIndex];
        return true;
    }
    outValue.SetUndefined();
    return false;
}

void VJSONArray::GetValues(std::vector<VJSONValue>& outValues) const
{
    StCollectionLocks locks(this, false);
    if (&outValues != &fValues)
        outValues = fValues;
}

uint32_t VJSONArray::GetStampAt(size_t inIndex) const
{
    StCollectionLocks locks(this, false);
    return inIndex < fValues.size() ? fValues[inIndex].GetStamp() : 0;
}

void VJSONArray::TouchStampAt(size_t inIndex)
{
    StCollectionLocks locks(this, false);
    if (inIndex < fValues.size())
        fValues[inIndex].TouchStamp();
}

VError VJSONArray::GetString(VString& outText, std::unordered_set<const VJSONArray*>* ioVisited) const
{
    StCollectionLocks locks(this, false);
    if (fValues.empty())
    {
        outText.Clear();
        return VE_OK;
    }
    StJSONNesting level;
    if (!level.IsOK())
        return VE_JSON_NOT_ENOUGH_STACK;
    std::unordered_set<const VJSONArray*> visited;
    if (ioVisited == nullptr)
        ioVisited = &visited;
    try
    {
        if (!ioVisited->insert(this).second)
        {
            _ThrowError(VE_JSON_CIRCULAR);
            return VE_OK;
        }
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    VError error = VE_OK;
    std::vector<VString> texts;
    try
    {
        texts.resize(fValues.size());
    }
    catch (const std::bad_alloc&)
    {
        ioVisited->erase(this);
        _ThrowError(VE_MEMORY_FULL);
        return VE_MEMORY_FULL;
    }
    // By index, checked at every step: an element's text may run code that changes this array.
    for (size_t i = 0; i < texts.size() && i < fValues.size() && error == VE_OK; ++i)
    {
        VJSONValue value(fValues[i]);
        error = value.GetString(texts[i], ioVisited);
    }
    ioVisited->erase(this);
    // A nested failure is the answer; the joined text is made only when every element gave its.
    if (error == VE_OK && !outText.Join(texts, u','))
        error = VE_STRING_ALLOC_FAILED;
    return error;
}

void VJSONArray::JoinAsString(const VString& inSeparator, VString& outText, bool inKeepEmpty,
                              bool inNullAsText) const
{
    outText.Clear();
    VJSONUser user(this);
    bool first = true;
    VString text;
    VJSONValue value;
    for (size_t i = 0; GetAt(i, value); ++i)
    {
        if (value.IsNull() || value.IsUndefined())
        {
            if (!inNullAsText)
                continue;
            text.FromString(VJSONValue::sNullString);
        }
        else
        {
            value.GetString(text);
            if (text.IsEmpty() && !inKeepEmpty)
                continue;
        }
        if (!first)
            outText.AppendString(inSeparator);
        outText.AppendString(text);
        first = false;
    }
}

bool VJSONArray::DeepEqualTo(const VJSONArray* inOther, const VCompareOptions& inOptions) const
{
    // Through the values, which hold the comparison's set of pairs.
    return VJSONValue(const_cast<VJSONArray*>(this))
        .DeepEqualTo(VJSONValue(const_cast<VJSONArray*>(inOther)), inOptions);
}

bool VJSONArray::_DeepEqualTo(const VJSONArray* inOther, const VCompareOptions& inOptions,
                              VJSONComparedPairs& ioPairs) const
{
    if (inOther == nullptr)
        return false;
    StCollectionLocks mine(this, false);
    StCollectionLocks theirs(inOther, false);
    if (fValues.size() != inOther->fValues.size())
        return false;
    if (!ioPairs.emplace(this, inOther).second)
        return true;
    StJSONNesting level;
    if (!level.IsOK())
        return false;
    for (size_t i = 0; i < fValues.size(); ++i)
    {
        if (!fValues[i]._DeepEqualTo(inOther->fValues[i], inOptions, ioPairs))
            return false;
    }
    return true;
}

VJSONValue VJSONArray::GetSelectedRows(const VJSONValue& inSelection) const
{
    static const VString sRanges("ranges");
    static const VString sStart("start");
    static const VString sEnd("end");

    VJSONValue result(JSON_object);
    VJSONValue ranges(JSON_array);
    result.GetObject()->SetProperty(sRanges, ranges);
    const VJSONArray* selection = inSelection.GetArray();
    if (selection == nullptr)
        return result;

    VCompareOptions options;
    options.SetEpsilon(1e-6);
    options.SetIntlManager(VTask::GetCurrentIntlManager());

    // Both lockers are taken in the order of their identifiers, so that two tasks selecting
    // across the same two arrays in opposite directions cannot wait for each other.
    VRefPtr<VStorageLocker> mine = GetStorageLocker();
    VRefPtr<VStorageLocker> theirs = selection->GetStorageLocker();
    const bool theirsFirst = mine && theirs && theirs->GetID() < mine->GetID();
    VJSONUser firstUser(theirsFirst ? std::move(theirs) : std::move(mine), false);
    VJSONUser secondUser(theirsFirst ? std::move(mine) : std::move(theirs), false);

    auto closeRange = [&](int32_t inStart, int32_t inEnd)
    {
        VJSONValue range(JSON_object);
        range.GetObject()->SetProperty(sStart, VJSONValue(double(inStart)));
        range.GetObject()->SetProperty(sEnd, VJSONValue(double(inEnd)));
        ranges.GetArray()->Push(range);
    };
    std::vector<VJSONValue> rows;
    std::vector<VJSONValue> candidates;
    GetValues(rows);
    selection->GetValues(candidates);
    int32_t openStart = -1;
    int32_t row = 0;
    for (; size_t(row) < rows.size() && row < INT32_MAX; ++row)
    {
        const VJSONValue& value = rows[size_t(row)];
        bool selected = false;
        for (size_t s = 0; s < candidates.size() && !selected; ++s)
        {
            const VJSONValue& candidate = candidates[s];
            if (value.IsObject())
                selected = candidate.IsObject() && candidate.GetObject() == value.GetObject();
            else
                selected = value.CompareTo(candidate, options) == CR_EQUAL;
        }
        if (selected && openStart < 0)
        {
            openStart = row;
        }
        else if (!selected && openStart >= 0)
        {
            closeRange(openStart, row - 1);
            openStart = -1;
        }
    }
    if (openStart >= 0)
        closeRange(openStart, row - 1);
    return result;
}

VError VJSONArray::Clone(VJSONValue& outValue, VJSONCloner& inCloner) const
{
    if (inCloner.GetMode() == VJSONCloner::kKeepShared && _GetLocker() != nullptr)
    {
        outValue.SetArray(const_cast<VJSONArray*>(this));
        return VE_OK;
    }
    VRefPtr<VJSONArray> copy(new VJSONArray(false));
    if (inCloner.GetMode() == VJSONCloner::kBindToOneLocker)
        copy->SetStorageLocker(inCloner.GetStorageLockerAndAssignIfNecessary());
    VJSONUser user(copy.Get());
    // The result first: a cycle back to this array finds the clone.
    outValue.SetArray(copy.Get());
    std::vector<VJSONValue> elements;
    GetValues(elements);
    try
    {
        StCollectionLocks locks(copy.Get(), copy->_NeedsGraphLock());
        copy->fValues.reserve(elements.size());
    }
    catch (const std::bad_alloc&)
    {
        // Grown one by one instead.
    }
    for (VJSONValue& element : elements)
    {
        VError error = inCloner.CloneValue(element);
        if (error != VE_OK)
            return error;
        if (!copy->Push(std::move(element)))
        {
            _ThrowError(VE_MEMORY_FULL);
            return VE_MEMORY_FULL;
        }
    }
    return VE_OK;
}

// ---------------------------------------------------------------------------------------------
// Changing

template <class VALUE>
bool VJSONArray::_Append(VALUE&& inValue)
{
    try
    {
        fValues.push_back(std::forward<VALUE>(inValue));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    catch (const std::length_error&)
    {
        return false;
    }
    fValues.back().TouchStamp();
    if (!VJSONGraph::Connect(&fGraph, fValues.back(), nullptr, this))
    {
        fValues.pop_back();
        return false;
    }
    return true;
}

bool VJSONArray::_Replace(size_t inIndex, const VJSONValue& inValue)
{
    // A value that is an element of this array is copied before the slot is emptied.
    VJSONValue value(inValue);
    VJSONValue previous(std::move(fValues[inIndex]));
    fValues[inIndex] = std::move(value);
    fValues[inIndex].TouchStamp();
    const VJSONCollection* stored = CollectionOf(fValues[inIndex]);
    if (stored != nullptr && stored == CollectionOf(previous))
        return true;
    if (!VJSONGraph::Connect(&fGraph, fValues[inIndex], nullptr, this))
    {
        fValues[inIndex] = std::move(previous);
        return false;
    }
    // Unlinked once out of the array, so that the local check sees the array as it now is.
    VJSONGraph::Disconnect(fGraph, previous);
    return true;
}

void VJSONArray::_TakeValues(size_t inFrom, std::vector<VJSONValue>& outValues)
{
    if (inFrom == 0)
    {
        outValues.swap(fValues);
        return;
    }
    const size_t count = fValues.size() - inFrom;
    try
    {
        outValues.reserve(count);
    }
    catch (const std::bad_alloc&)
    {
        // No room to take them out: they are destroyed in place below.
    }
    if (outValues.capacity() >= count)
    {
        for (size_t i = inFrom; i < fValues.size(); ++i)
            outValues.push_back(std::move(fValues[i]));
    }
    while (fValues.size() > inFrom)
        fValues.pop_back();
}

bool VJSONArray::Push(const VJSONValue& inValue)
{
    if (_GetLocker() == nullptr)
    {
        StGraphLocker lock(_ChangeNeedsGraphLock(&inValue));
        _TouchJSONStamp();
        // A value that is an element of this array is copied before the array may move.
        VJSONValue value(inValue);
        return _Append(std::move(value));
    }
    StCollectionLocks locks(this, true);
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return false;
    if (!_Append(VJSONValue(VJSONValue::sNull)))
        return false;
    if (SetAt(fValues.size() - 1, inValue))
        return true;
    // Refused: the placeholder goes again.
    fValues.pop_back();
    return false;
}

bool VJSONArray::Push(VJSONValue&& inValue)
{
    if (_GetLocker() != nullptr)
        return Push(static_cast<const VJSONValue&>(inValue));
    StGraphLocker lock(_ChangeNeedsGraphLock(&inValue));
    _TouchJSONStamp();
    return _Append(std::move(inValue));
}

bool VJSONArray::SetAt(size_t inIndex, const VJSONValue& inValue)
{
    StCollectionLocks locks(this, _ChangeNeedsGraphLock(&inValue));
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return false;
    // Past the end nothing is stored, nor admitted into the locker.
    if (inIndex >= fValues.size())
        return false;
    if (locks.GetLocker() != nullptr && !locks.GetLocker()->AssignValue(inValue))
        return false;
    _TouchJSONStamp();
    return _Replace(inIndex, inValue);
}

bool VJSONArray::SetAt_unchecked(size_t inIndex, const VJSONValue& inValue)
{
    return SetAt(inIndex, inValue);
}

void VJSONArray::RemoveAt(size_t inIndex, size_t inCount)
{
    std::vector<VJSONValue> removed;
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (inIndex >= fValues.size())
        return;
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return;
    const size_t end = inIndex + std::min(inCount, fValues.size() - inIndex);
    if (end > inIndex)
    {
        try
        {
            removed.reserve(end - inIndex);
        }
        catch (const std::bad_alloc&)
        {
            // No room to take them out first: unlinked without the local check, removed in place.
            for (size_t i = inIndex; i < end; ++i)
                VJSONGraph::DisconnectWithoutCheck(fGraph, fValues[i]);
            fValues.erase(fValues.begin() + ptrdiff_t(inIndex), fValues.begin() + ptrdiff_t(end));
            _TouchJSONStamp();
            return;
        }
        for (size_t i = inIndex; i < end; ++i)
            removed.push_back(std::move(fValues[i]));
        fValues.erase(fValues.begin() + ptrdiff_t(inIndex), fValues.begin() + ptrdiff_t(end));
        // Unlinked once out of the array; a check may empty the structure and clear fGraph.
        for (const VJSONValue& value : removed)
            VJSONGraph::Disconnect(fGraph, value);
    }
    _TouchJSONStamp();
}

bool VJSONArray::Resize(size_t inCount)
{
    std::vector<VJSONValue> removed;
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return false;
    bool grown = true;
    if (inCount < fValues.size())
    {
        DisconnectAll(inCount);
        _TakeValues(inCount, removed);
    }
    else if (inCount > fValues.size())
    {
        try
        {
            fValues.resize(inCount, VJSONValue(JSON_null));
        }
        catch (const std::bad_alloc&)
        {
            grown = false;
        }
        catch (const std::length_error&)
        {
            grown = false;
        }
    }
    _TouchJSONStamp();
    return grown;
}

bool VJSONArray::Resize(size_t inCount, JSONType inType)
{
    std::vector<VJSONValue> removed;
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return false;
    _TouchJSONStamp();
    if (inCount < fValues.size())
    {
        DisconnectAll(inCount);
        _TakeValues(inCount, removed);
        return true;
    }
    try
    {
        // One filler: every new slot refers to the same new object or array.
        VJSONValue filler(inType);
        fValues.reserve(inCount);
        while (fValues.size() < inCount)
        {
            if (!_Append(filler))
                return false;
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    catch (const std::length_error&)
    {
        return false;
    }
    return true;
}

void VJSONArray::Clear()
{
    std::vector<VJSONValue> removed;
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return;
    _TouchJSONStamp();
    DisconnectAll(0);
    _TakeValues(0, removed);
}

bool VJSONArray::Concatenate(const VJSONArray& inOther)
{
    // The other's elements may be shared, so the graph lock follows it too.
    StCollectionLocks locks(this, _NeedsGraphLock() || inOther._NeedsGraphLock());
    // The other is read under its own locks: its owner may change it meanwhile.
    StCollectionLocks otherLocks(&inOther, false);
    const size_t count = inOther.fValues.size();
    if (count == 0)
        return true;
    _TouchJSONStamp();
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
        return false;
    try
    {
        fValues.reserve(fValues.size() + count);
    }
    catch (const std::exception&)
    {
        return false;
    }
    // By index and up to the other's first count: the other may be this array.
    for (size_t i = 0; i < count; ++i)
    {
        VJSONValue value(inOther.fValues[i]);
        if (locks.GetLocker() != nullptr && !locks.GetLocker()->AssignValue(value))
            return false;
        if (!_Append(std::move(value)))
            return false;
    }
    return true;
}

void VJSONArray::Sort(IJSONValueComparator* inComparator)
{
    if (VRefPtr<VStorageLocker> locker = GetStorageLocker())
    {
        // Read without the locker's own lock: only the calling task can make the test true.
        if (!locker->IsHeldByCurrentTask())
        {
            _ThrowError(VE_JSON_ARRAY_NOT_HELD);
            return;
        }
    }
    if (inComparator == nullptr)
        return;
    const size_t count = fValues.size();
    std::vector<size_t> order;
    std::vector<size_t> scratch;
    try
    {
        order.resize(count);
        scratch.resize(count);
    }
    catch (const std::bad_alloc&)
    {
        _ThrowError(VE_MEMORY_FULL);
        _TouchJSONStamp();
        return;
    }
    for (size_t i = 0; i < count; ++i)
        order[i] = i;

    // The comparator sees copies, so that whatever it does to the array reaches no element
    // under sort; the array's own size is checked at every step.
    auto isLess = [&](size_t inFirst, size_t inSecond)
    {
        VJSONValue first;
        VJSONValue second;
        if (!GetAt(inFirst, first) || !GetAt(inSecond, second))
            throw std::out_of_range("element moved during the sort");
        return inComparator->IsLess(first, second);
    };
    bool sorted = true;
    try
    {
        // Bottom-up merge sort of the indexes: it reads only inside the two runs it merges,
        // whatever the comparator answers.
        for (size_t width = 1; width < count; width *= 2)
        {
            for (size_t left = 0; left < count; left += 2 * width)
            {
                size_t middle = std::min(left + width, count);
                size_t right = std::min(left + 2 * width, count);
                size_t a = left, b = middle, out = left;
                while (a < middle && b < right)
                    scratch[out++] = isLess(order[b], order[a]) ? order[b++] : order[a++];
                while (a < middle)
                    scratch[out++] = order[a++];
                while (b < right)
                    scratch[out++] = order[b++];
            }
            order.swap(scratch);
        }
        // A strict weak ordering never puts an element after one it must precede; an order that
        // contradicts itself shows here.
        for (size_t i = 1; i < count && sorted; ++i)
            sorted = !isLess(order[i], order[i - 1]);
    }
    catch (...)
    {
        sorted = false;
    }
    StCollectionLocks locks(this, _NeedsGraphLock());
    if (!sorted || fValues.size() != count)
        _ThrowError(VE_JSON_SORT_FAILED);
    else
        apply_permutation(fValues, order);
    _TouchJSONStamp();
}

bool VJSONArray::_AdoptValues(VJSONValue* inFirst, VJSONValue* inLast)
{
    try
    {
        fValues.reserve(fValues.size() + size_t(inLast - inFirst));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    for (VJSONValue* value = inFirst; value != inLast; ++value)
    {
        fValues.push_back(std::move(*value));
        fValues.back().TouchStamp();
    }
    return true;
}

void VJSONArray::SwapValues(std::vector<VJSONValue>& ioValues)
{
    if (&ioValues == &fValues)
        return;
    std::vector<VJSONValue> incoming;
    incoming.swap(ioValues);
    bool sharedValues = false;
    for (const VJSONValue& value : incoming)
        sharedValues = sharedValues || _ChangeNeedsGraphLock(&value);
    StCollectionLocks locks(this, _NeedsGraphLock() || sharedValues);
    if (!locks.CheckHeld(VE_JSON_ARRAY_NOT_HELD))
    {
        ioValues.swap(incoming);
        return;
    }
    _TouchJSONStamp();
    // The former elements go back to the caller, no longer counted by the graph.
    DisconnectAll(0);
    ioValues.swap(fValues);
    fValues.swap(incoming);
    for (size_t i = 0; i < fValues.size(); ++i)
    {
        if (!VJSONGraph::Connect(&fGraph, fValues[i], nullptr, this))
        {
            // Out of memory: the elements that could not be linked cannot stay.
            while (fValues.size() > i)
                fValues.pop_back();
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The graph

void VJSONArray::DisconnectAll(size_t inFrom)
{
    StGraphLocker lock(_NeedsGraphLock());
    if (fGraph == nullptr)
        return;
    for (size_t i = inFrom; i < fValues.size(); ++i)
        VJSONGraph::DisconnectWithoutCheck(fGraph, fValues[i]);
}

void VJSONArray::ClearFromGraph()
{
    std::vector<VJSONValue> removed;
    StGraphLocker lock(_NeedsGraphLock());
    DisconnectAll(0);
    _TakeValues(0, removed);
}

} // namespace kova
