#include "kernel/json/VJSONArray.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/errors/KovaErrors.h"
#include "kernel/json/JSONDisposal.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/StJSONNesting.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/tasks/VTask.h"
#include "kernel/values/VCompareOptions.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace kova
{

IJSONValueComparator::~IJSONValueComparator() = default;

VJSONArray::VJSONArray() = default;

VJSONArray::~VJSONArray()
{
    // Last first, as the elements were made.
    while (!fValues.empty())
        fValues.pop_back();
}

void VJSONArray::DoOnRefCountZero()
{
    DisposeJSONCollection(this);
}

// ---------------------------------------------------------------------------------------------
// Reading

VJSONValue VJSONArray::GetAt(size_t inIndex) const
{
    if (inIndex < fValues.size())
        return fValues[inIndex];
    return VJSONValue(VJSONValue::sUndefined);
}

bool VJSONArray::GetAt(size_t inIndex, VJSONValue& outValue) const
{
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
    if (&outValues != &fValues)
        outValues = fValues;
}

uint32_t VJSONArray::GetStampAt(size_t inIndex) const
{
    return inIndex < fValues.size() ? fValues[inIndex].GetStamp() : 0;
}

void VJSONArray::TouchStampAt(size_t inIndex)
{
    if (inIndex < fValues.size())
        fValues[inIndex].TouchStamp();
}

VError VJSONArray::GetString(VString& outText, std::unordered_set<const VJSONArray*>* ioVisited) const
{
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
    bool first = true;
    VString text;
    for (size_t i = 0; i < fValues.size(); ++i)
    {
        VJSONValue value = GetAt(i);
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
    if (inOther == nullptr || fValues.size() != inOther->fValues.size())
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

    auto closeRange = [&](int32_t inStart, int32_t inEnd)
    {
        VJSONValue range(JSON_object);
        range.GetObject()->SetProperty(sStart, VJSONValue(double(inStart)));
        range.GetObject()->SetProperty(sEnd, VJSONValue(double(inEnd)));
        ranges.GetArray()->Push(range);
    };
    int32_t openStart = -1;
    int32_t row = 0;
    for (; size_t(row) < fValues.size() && row < INT32_MAX; ++row)
    {
        const VJSONValue& value = fValues[size_t(row)];
        bool selected = false;
        for (size_t s = 0; s < selection->fValues.size() && !selected; ++s)
        {
            const VJSONValue& candidate = selection->fValues[s];
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

// ---------------------------------------------------------------------------------------------
// Changing

bool VJSONArray::Push(const VJSONValue& inValue)
{
    try
    {
        fValues.push_back(inValue);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

bool VJSONArray::Push(VJSONValue&& inValue)
{
    try
    {
        fValues.push_back(std::move(inValue));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    fValues.back().TouchStamp();
    return true;
}

bool VJSONArray::SetAt(size_t inIndex, const VJSONValue& inValue)
{
    if (inIndex >= fValues.size())
        return false;
    fValues[inIndex] = inValue;
    return true;
}

bool VJSONArray::SetAt_unchecked(size_t inIndex, const VJSONValue& inValue)
{
    return SetAt(inIndex, inValue);
}

void VJSONArray::RemoveAt(size_t inIndex, size_t inCount)
{
    if (inIndex >= fValues.size())
        return;
    size_t end = inIndex + std::min(inCount, fValues.size() - inIndex);
    if (end == inIndex)
        return;
    // The removed values are dropped after the array is whole again.
    std::vector<VJSONValue> removed(std::make_move_iterator(fValues.begin() + ptrdiff_t(inIndex)),
                                    std::make_move_iterator(fValues.begin() + ptrdiff_t(end)));
    fValues.erase(fValues.begin() + ptrdiff_t(inIndex), fValues.begin() + ptrdiff_t(end));
}

bool VJSONArray::Resize(size_t inCount)
{
    return Resize(inCount, JSON_null);
}

bool VJSONArray::Resize(size_t inCount, JSONType inType)
{
    if (inCount < fValues.size())
    {
        std::vector<VJSONValue> removed(std::make_move_iterator(fValues.begin() + ptrdiff_t(inCount)),
                                        std::make_move_iterator(fValues.end()));
        fValues.resize(inCount);
        return true;
    }
    try
    {
        // One filler: every new slot refers to the same new object or array.
        VJSONValue filler(inType);
        fValues.resize(inCount, filler);
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
    removed.swap(fValues);
    while (!removed.empty())
        removed.pop_back();
}

bool VJSONArray::Concatenate(const VJSONArray& inOther)
{
    size_t count = inOther.fValues.size();
    if (count == 0)
        return true;
    try
    {
        fValues.reserve(fValues.size() + count);
        // By index and up to the other's first count: the other may be this array.
        for (size_t i = 0; i < count; ++i)
            fValues.push_back(inOther.fValues[i]);
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

void VJSONArray::Sort(IJSONValueComparator* inComparator)
{
    size_t count = fValues.size();
    if (inComparator == nullptr || count < 2)
        return;
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
        return;
    }
    for (size_t i = 0; i < count; ++i)
        order[i] = i;

    // The comparator sees copies, so that whatever it does to the array reaches no element
    // under sort; the array's own size is checked at every step.
    auto isLess = [&](size_t inFirst, size_t inSecond)
    {
        if (inFirst >= fValues.size() || inSecond >= fValues.size())
            throw std::out_of_range("element moved during the sort");
        VJSONValue first(fValues[inFirst]);
        VJSONValue second(fValues[inSecond]);
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
    if (!sorted || fValues.size() != count)
    {
        _ThrowError(VE_JSON_SORT_FAILED);
        return;
    }
    apply_permutation(fValues, order);
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
    if (&ioValues != &fValues)
        fValues.swap(ioValues);
}

} // namespace kova
