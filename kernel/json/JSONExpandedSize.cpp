#include "kernel/json/JSONExpandedSize.h"

#include "kernel/errors/VErrorBase.h"
#include "kernel/json/JSONErrors.h"
#include "kernel/json/VJSONAddressTable.h"
#include "kernel/json/VJSONArray.h"
#include "kernel/json/VJSONBlob.h"
#include "kernel/json/VJSONObject.h"
#include "kernel/json/VJSONValue.h"

#include <algorithm>
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
// then its size, kept for the next time it is reached. When its contents reached collections
// further up the stack (a cycle), what it costs depends on the way to it: its size is kept in a
// memo that holds wherever those collections are all open again, since the walk then stops at
// each of them as it did, and at any other open one sooner. The memo names them, up to kMaxUp;
// and it holds in any case while the stack up to the deepest of them is the one it was measured
// under (the frame there is the same push). Reached anywhere else, the collection is measured
// again, and its memo rewritten for the new way.
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
    static constexpr size_t kMemo = size_t(1) << 62;
    static constexpr size_t kNoMemo = SIZE_MAX;
    static constexpr uint32_t kMaxUp = 8;
    // The count of a memo that reached more collections up the stack than it names.
    static constexpr uint32_t kTooManyUp = kMaxUp + 1;

    // A collection further up the stack that a walk reached.
    struct Up
    {
        const void* fAddress;
        size_t fDepth;
    };

    struct Memo
    {
        uint64_t fSize;
        uint32_t fCount; // or kTooManyUp
        const void* fUp[kMaxUp];
        // The depths the collections reached up lay between, and the push of the frame at fHigh.
        size_t fLow;
        size_t fHigh;
        uint64_t fAnchor;
    };

    struct Frame
    {
        const VJSONObject* fObject;
        const VJSONArray* fArray;
        size_t fNext;
        uint64_t fSize;
        size_t fDepth;
        uint64_t fPush;
        // The lowest and highest depths its contents reached back to (fLow == fDepth: none).
        size_t fLow;
        size_t fHigh;
        // Its collections up the stack are fUp's from here on, unless there were too many.
        size_t fFirstUp;
        bool fTooManyUp;
        // The memo to write again when it is measured again.
        size_t fMemo;
    };

    static const void* AddressOf(const Frame& inFrame)
    {
        return inFrame.fObject != nullptr ? static_cast<const void*>(inFrame.fObject) : inFrame.fArray;
    }

    void _Add(uint64_t inWeight)
    {
        fCounted += inWeight;
        if (!fStack.empty())
            fStack.back().fSize += inWeight;
    }

    // The top frame's contents reached an open collection at that depth.
    void _ReachedUp(const void* inAddress, size_t inDepth)
    {
        Frame& top = fStack.back();
        if (inDepth >= top.fDepth)
            return;
        top.fLow = std::min(top.fLow, inDepth);
        top.fHigh = std::max(top.fHigh, inDepth);
        if (top.fTooManyUp)
            return;
        for (size_t i = top.fFirstUp; i < fUp.size(); ++i)
        {
            if (fUp[i].fAddress == inAddress)
                return;
        }
        if (fUp.size() - top.fFirstUp == kMaxUp)
        {
            top.fTooManyUp = true;
            fUp.resize(top.fFirstUp);
            return;
        }
        fUp.push_back(Up{inAddress, inDepth});
    }

    // The top frame's contents reached open collections, more than can be named, at depths
    // from inLow to inHigh.
    void _ReachedUpMany(size_t inLow, size_t inHigh)
    {
        Frame& top = fStack.back();
        if (inLow >= top.fDepth)
            return;
        top.fLow = std::min(top.fLow, inLow);
        // Those at the top's own depth are the top itself: the highest of the others is below.
        top.fHigh = std::max(top.fHigh, std::min(inHigh, top.fDepth - 1));
        top.fTooManyUp = true;
        fUp.resize(top.fFirstUp);
    }

    // The depth of a collection whose contents are being walked, or SIZE_MAX.
    size_t _OpenDepth(const void* inAddress) const
    {
        const size_t* state = fTable.Find(inAddress);
        if (state == nullptr || (*state & kOnStack) == 0)
            return SIZE_MAX;
        return *state & ~kOnStack;
    }

    // True when the memo holds here, its size then counted.
    bool _ReuseMemo(const Memo& inMemo)
    {
        if (inMemo.fCount == kTooManyUp)
        {
            if (inMemo.fHigh >= fStack.size() || fStack[inMemo.fHigh].fPush != inMemo.fAnchor)
                return false;
            _Add(inMemo.fSize);
            _ReachedUpMany(inMemo.fLow, inMemo.fHigh);
            return true;
        }
        size_t depths[kMaxUp];
        for (uint32_t i = 0; i < inMemo.fCount; ++i)
        {
            depths[i] = _OpenDepth(inMemo.fUp[i]);
            if (depths[i] == SIZE_MAX)
                return false;
        }
        _Add(inMemo.fSize);
        for (uint32_t i = 0; i < inMemo.fCount; ++i)
            _ReachedUp(inMemo.fUp[i], depths[i]);
        return true;
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
        size_t memo = kNoMemo;
        if (state != nullptr && fDistinct)
            return;
        if (state != nullptr)
        {
            if ((*state & kOnStack) != 0)
            {
                _Add(1);
                _ReachedUp(address, *state & ~kOnStack);
                return;
            }
            if ((*state & kMemo) == 0)
            {
                _Add(*state);
                return;
            }
            memo = *state & ~kMemo;
            if (_ReuseMemo(fMemos[memo]))
                return;
        }
        uint64_t weight = 1;
        if (object != nullptr)
        {
            if (const VJSONBlob* blob = VJSONBlob::CastJSONObject(object))
                weight += blob->GetSize();
        }
        const size_t depth = fStack.size();
        fStack.push_back(Frame{object, array, 0, 0, depth, fPushes++, depth, 0, fUp.size(), false, memo});
        *fTable.FindOrAdd(address, 0).first = depth | kOnStack;
        _Add(weight);
    }

    void _Leave()
    {
        const Frame left = fStack.back();
        const uint32_t upCount = uint32_t(fUp.size() - left.fFirstUp);
        Up ups[kMaxUp];
        std::copy(fUp.begin() + ptrdiff_t(left.fFirstUp), fUp.end(), ups);
        fUp.resize(left.fFirstUp);
        size_t state = size_t(left.fSize);
        if (left.fLow < left.fDepth)
        {
            // A collection measured again keeps its memo: there is one at most per collection.
            size_t memo = left.fMemo;
            if (memo == kNoMemo)
            {
                memo = fMemos.size();
                fMemos.emplace_back();
            }
            Memo& kept = fMemos[memo];
            kept.fSize = left.fSize;
            kept.fCount = left.fTooManyUp ? kTooManyUp : upCount;
            for (uint32_t i = 0; i < upCount; ++i)
                kept.fUp[i] = ups[i].fAddress;
            kept.fLow = left.fLow;
            kept.fHigh = left.fHigh;
            kept.fAnchor = fStack[left.fHigh].fPush;
            state = kMemo | memo;
        }
        *fTable.FindOrAdd(AddressOf(left), 0).first = state;
        fStack.pop_back();
        if (fStack.empty())
            return;
        fStack.back().fSize += left.fSize;
        if (left.fTooManyUp)
            _ReachedUpMany(left.fLow, left.fHigh);
        for (uint32_t i = 0; i < upCount; ++i)
            _ReachedUp(ups[i].fAddress, ups[i].fDepth);
    }

    const uint64_t fLimit;
    const bool fDistinct;
    uint64_t fCounted = 0;
    uint64_t fPushes = 0;
    std::vector<Frame> fStack;
    VJSONAddressTable fTable;
    std::vector<Up> fUp;
    std::vector<Memo> fMemos;
};

} // namespace

uint64_t JSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit)
{
    // Sizes stay below the table's marks.
    return ExpansionWalk(std::min<uint64_t>(inLimit, (uint64_t(1) << 62) - 1), false).Measure(inValue);
}

uint64_t JSONDistinctSize(const VJSONValue& inValue)
{
    return ExpansionWalk(UINT64_MAX, true).Measure(inValue);
}

uint64_t JSONExpansionLimit(const VJSONValue& inValue)
{
    return JSONExpansionBound(JSONDistinctSize(inValue));
}

VError CheckJSONExpandedSize(const VJSONValue& inValue, uint64_t inLimit)
{
    if (JSONExpandedSize(inValue, inLimit) <= inLimit)
        return VE_OK;
    _ThrowError(VE_JSON_EXPANSION_TOO_LARGE);
    return VE_JSON_EXPANSION_TOO_LARGE;
}

} // namespace kova
