#include "kernel/json/JSONExpandedSize.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONAddressTable.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <new>
#include <vector>

namespace kova
{

namespace
{

// One depth-first walk over the collections, on a stack of its own (a value made through
// references may nest deeper than any recursion would bear).
//
// Each collection's state in the table: its depth with kOnStack while its contents are walked;
// then its size, kept for the next time it is reached; or kAgain when its contents reached a
// collection further up the stack, so that what it costs depends on the way to it and is measured
// again each time.
class ExpansionWalk
{
public:
    ExpansionWalk(uint64_t inLimit, bool inDistinct) : fLimit(inLimit), fDistinct(inDistinct) {}

    uint64_t Measure(const VJSONValue& inRoot)
    {
        try
        {
            _Reach(inRoot);
            while (!fStack.empty() && fCounted <= fLimit)
            {
                Frame& top = fStack.back();
                if (top.fObject != nullptr)
                {
                    const std::vector<VJSONObject::Property>& properties = top.fObject->_GetProperties();
                    if (top.fNext < properties.size())
                    {
                        const VJSONObject::Property& property = properties[top.fNext++];
                        _Add(1 + uint64_t(property.fName.GetLength()));
                        _Reach(property.fValue);
                        continue;
                    }
                }
                else
                {
                    const std::vector<VJSONValue>& values = top.fArray->_GetValues();
                    if (top.fNext < values.size())
                    {
                        _Reach(values[top.fNext++]);
                        continue;
                    }
                }
                _Leave();
            }
        }
        catch (const std::bad_alloc&)
        {
            // No room to measure: as good as too large.
            return UINT64_MAX;
        }
        return fCounted;
    }

private:
    static constexpr size_t kOnStack = size_t(1) << 63;
    static constexpr size_t kAgain = SIZE_MAX;

    struct Frame
    {
        const VJSONObject* fObject;
        const VJSONArray* fArray;
        size_t fNext;
        uint64_t fSize;
        size_t fDepth;
        // The lowest depth its contents reached back to.
        size_t fLow;
    };

    void _Add(uint64_t inWeight)
    {
        fCounted += inWeight;
        if (!fStack.empty())
            fStack.back().fSize += inWeight;
    }

    void _Reach(const VJSONValue& inValue)
    {
        const VJSONObject* object = inValue.GetObject();
        const VJSONArray* array = inValue.GetArray();
        if (object == nullptr && array == nullptr)
        {
            int32_t length = 0;
            if (inValue.IsString())
                inValue.GetStringUnits(&length);
            _Add(1 + uint64_t(length));
            return;
        }
        const void* address = object != nullptr ? static_cast<const void*>(object) : array;
        const size_t* state = fTable.Find(address);
        if (state != nullptr && (fDistinct || *state != kAgain))
        {
            if (fDistinct)
                return;
            if ((*state & kOnStack) != 0)
            {
                _Add(1);
                fStack.back().fLow = std::min(fStack.back().fLow, *state & ~kOnStack);
                return;
            }
            _Add(*state);
            return;
        }
        uint64_t weight = 1;
        if (object != nullptr)
        {
            if (const VJSONBlob* blob = VJSONBlob::CastJSONObject(object))
                weight += blob->GetSize();
        }
        const size_t depth = fStack.size();
        fStack.push_back(Frame{object, array, 0, 0, depth, depth});
        *fTable.FindOrAdd(address, 0).first = depth | kOnStack;
        _Add(weight);
    }

    void _Leave()
    {
        const Frame left = fStack.back();
        fStack.pop_back();
        const void* address = left.fObject != nullptr ? static_cast<const void*>(left.fObject) : left.fArray;
        *fTable.FindOrAdd(address, 0).first = left.fLow >= left.fDepth ? size_t(left.fSize) : kAgain;
        if (!fStack.empty())
        {
            Frame& parent = fStack.back();
            parent.fSize += left.fSize;
            parent.fLow = std::min(parent.fLow, left.fLow);
        }
    }

    const uint64_t fLimit;
    const bool fDistinct;
    uint64_t fCounted = 0;
    std::vector<Frame> fStack;
    VJSONAddressTable fTable;
};

} // namespace

uint64_t JSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit)
{
    // Sizes stay below the table's marks.
    return ExpansionWalk(std::min<uint64_t>(inLimit, uint64_t(1) << 62), false).Measure(inValue);
}

uint64_t JSONDistinctSize(const VJSONValue& inValue)
{
    return ExpansionWalk(UINT64_MAX, true).Measure(inValue);
}

VError CheckJSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit)
{
    if (JSONExpandedSize(inValue, inLimit) <= inLimit)
        return VE_OK;
    _ThrowError(VE_JSON_EXPANSION_TOO_LARGE);
    return VE_JSON_EXPANSION_TOO_LARGE;
}

} // namespace kova
